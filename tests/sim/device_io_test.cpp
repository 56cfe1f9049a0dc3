// Device I/O through CreateFileW, DeviceIoControl and the setup API on the
// simulator: the request log, refusals, completions, and the device interface
// sets. (Fault injection is exercised through the library by the API and
// command channel tests, with its effects checked.)
#include "sim_fixture.h"

#include <thread>

using namespace simtest;

namespace {

class DeviceIo : public SimTest {};

TEST_F(DeviceIo, RequestLogHoldsTheExactBytes) {
    ASSERT_EQ(AddDevice(), 0);
    HANDLE h = Open(0, false);
    vkssim::ClearRequests();
    const uint64_t mark = vkssim::RequestMark();
    ReplyFrame reply;
    // A full log reuses its oldest entries: still the newest requests, in
    // order, each with exactly its own bytes (shorter ones too).
    vkssim::SetRequestLogLimit(3);
    std::vector<std::vector<uint8_t>> sent;
    for (int k = 0; k < 5; ++k) {
        RequestFrame next(VKSSIM_TYPE_ENCODER, 0, 0);
        next.U32(24, 8);
        next.bytes.resize(k == 4 ? 64 : next.bytes.size());
        next.U32(0, static_cast<uint32_t>(next.bytes.size()));
        for (size_t i = 40; i < next.bytes.size(); ++i) next.bytes[i] = static_cast<uint8_t>(i + k);
        Send(h, VKSSIM_IOCTL_GET_INPUT_COUNT, next, reply);
        sent.push_back(next.bytes);
    }
    std::vector<vkssim::Request> log = vkssim::Requests();
    ASSERT_EQ(log.size(), 3u);
    for (size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(log[i].sequence, mark + 2 + i);
        EXPECT_EQ(log[i].input, sent[2 + i]);
    }
    vkssim::SetRequestLogLimit(2);
    log = vkssim::Requests();
    ASSERT_EQ(log.size(), 2u);
    EXPECT_EQ(log[0].input, sent[3]);
    EXPECT_EQ(log[1].input, sent[4]);
    EXPECT_FALSE(log[1].overlappedFile);
    EXPECT_EQ(log[1].outputLength, VKSSIM_REPLY_SIZE);
    EXPECT_FALSE(vkssim::WaitForRequest(VKSSIM_IOCTL_OPEN, mark, std::chrono::milliseconds(0)).has_value());
    vkssim::ClearRequests();
    EXPECT_TRUE(vkssim::Requests().empty());
    RequestFrame again(VKSSIM_TYPE_ENCODER, 0, 0);
    again.U32(24, 8);
    for (size_t i = 40; i < again.bytes.size(); ++i) again.bytes[i] = 0x5A;
    Send(h, VKSSIM_IOCTL_GET_INPUT_COUNT, again, reply);
    // A request ending in zeros after one that did not: its handler and its
    // log entry see zeros there, not the bytes before.
    RequestFrame bare(VKSSIM_TYPE_ENCODER, 0, 0);
    ASSERT_TRUE(Send(h, VKSSIM_IOCTL_GET_INPUT_COUNT, bare, reply));
    EXPECT_EQ(reply.Status(), VKSERROR_BUFFER_TOO_SMALL);
    log = vkssim::Requests();
    ASSERT_EQ(log.size(), 2u);
    EXPECT_EQ(log[0].input, again.bytes);
    EXPECT_EQ(log[1].input, bare.bytes);
    vkssim::SetRequestLogLimit(4096);
}

TEST_F(DeviceIo, ClosingTheHandleReleasesABlockedSynchronousRequest) {
    ASSERT_EQ(AddDevice(), 0);
    HANDLE owner = Open(0, false);
    uint32_t handle = OpenObject(owner, VKSSIM_TYPE_DECODER, 1);
    HANDLE h = Open(0, false);
    Forget(h);
    BOOL ok = TRUE;
    DWORD error = 0;
    std::thread waiter([&] {
        RequestFrame r(VKSSIM_TYPE_DECODER, 1, handle);
        ReplyFrame reply;
        ok = Send(h, VKSSIM_IOCTL_EVENT_REQUEST, r, reply);
        error = GetLastError();
    });
    ASSERT_TRUE(vkssim::WaitForHeld(0, VKSSIM_IOCTL_EVENT_REQUEST, 1, kWait));
    EXPECT_TRUE(CloseHandle(h));
    waiter.join();
    EXPECT_FALSE(ok);
    EXPECT_EQ(error, (DWORD)ERROR_OPERATION_ABORTED);
}

TEST_F(DeviceIo, UnknownCodesAndOtherHandlesAreRefused) {
    ASSERT_EQ(AddDevice(), 0);
    RequestFrame r;
    ReplyFrame reply;
    EXPECT_FALSE(Send(Open(0, false), 0x22C7FC, r, reply));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_INVALID_FUNCTION);
    HANDLE event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    DWORD bytes;
    EXPECT_FALSE(DeviceIoControl(event, VKSSIM_IOCTL_OPEN, nullptr, 0, nullptr, 0, &bytes, nullptr));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_INVALID_HANDLE);
    CloseHandle(event);
    EXPECT_FALSE(DeviceIoControl(nullptr, VKSSIM_IOCTL_OPEN, nullptr, 0, nullptr, 0, &bytes, nullptr));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_INVALID_HANDLE);
}


class SetupApi : public SimTest {};

TEST_F(SetupApi, DetailSizeQueryAndWrongSizes) {
    ASSERT_EQ(AddDevice(), 0);
    HDEVINFO set = SetupDiGetClassDevsW(&kClass, nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
    SP_DEVICE_INTERFACE_DATA data{};
    data.cbSize = 24;  // a 32-bit layout
    EXPECT_FALSE(SetupDiEnumDeviceInterfaces(set, nullptr, &kClass, 0, &data));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_INVALID_USER_BUFFER);
    data.cbSize = sizeof data;
    ASSERT_TRUE(SetupDiEnumDeviceInterfaces(set, nullptr, &kClass, 0, &data));

    DWORD required = 0;
    EXPECT_FALSE(SetupDiGetDeviceInterfaceDetailW(set, &data, nullptr, 0, &required, nullptr));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_INSUFFICIENT_BUFFER);
    EXPECT_EQ(required, 4 + (vkssim::InterfacePath(0).size() + 1) * 2);

    std::vector<uint8_t> buffer(required);
    auto* detail = reinterpret_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_W*>(buffer.data());
    detail->cbSize = required;  // the whole size instead of the fixed part
    EXPECT_FALSE(SetupDiGetDeviceInterfaceDetailW(set, &data, detail, required, nullptr, nullptr));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_INVALID_USER_BUFFER);
    detail->cbSize = 8;
    EXPECT_FALSE(SetupDiGetDeviceInterfaceDetailW(set, &data, detail, required - 2, nullptr, nullptr));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_INSUFFICIENT_BUFFER);

    SP_DEVINFO_DATA devinfo{};
    devinfo.cbSize = 28;
    EXPECT_FALSE(SetupDiGetDeviceInterfaceDetailW(set, &data, detail, required, nullptr, &devinfo));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_INVALID_USER_BUFFER);
    devinfo.cbSize = sizeof devinfo;
    ASSERT_TRUE(SetupDiGetDeviceInterfaceDetailW(set, &data, detail, required, nullptr, &devinfo));

    DWORD size = 0;
    EXPECT_FALSE(SetupDiGetDeviceRegistryPropertyW(set, &devinfo, SPDRP_LOCATION_INFORMATION, nullptr, nullptr, 0,
                                                   &size));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_INSUFFICIENT_BUFFER);
    EXPECT_EQ(size, (vkssim::Location(0).size() + 1) * 2);
    BYTE text[512];
    EXPECT_FALSE(SetupDiGetDeviceRegistryPropertyW(set, &devinfo, SPDRP_FRIENDLYNAME, nullptr, text, sizeof text,
                                                   nullptr));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_INVALID_DATA);
    EXPECT_TRUE(SetupDiDestroyDeviceInfoList(set));
    EXPECT_FALSE(SetupDiDestroyDeviceInfoList(set));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_INVALID_HANDLE);
}

TEST_F(SetupApi, SetIsASnapshotAndRemovedDevicesCannotBeOpened) {
    ASSERT_EQ(AddDevice(), 0);
    ASSERT_EQ(AddDevice(), 1);
    HDEVINFO before = SetupDiGetClassDevsW(&kClass, nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
    ASSERT_TRUE(vkssim::RemoveDevice(0));
    HDEVINFO after = SetupDiGetClassDevsW(&kClass, nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
    SP_DEVICE_INTERFACE_DATA data{};
    data.cbSize = sizeof data;
    EXPECT_TRUE(SetupDiEnumDeviceInterfaces(before, nullptr, &kClass, 1, &data));
    EXPECT_TRUE(SetupDiEnumDeviceInterfaces(after, nullptr, &kClass, 0, &data));
    EXPECT_FALSE(SetupDiEnumDeviceInterfaces(after, nullptr, &kClass, 1, &data));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_NO_MORE_ITEMS);
    EXPECT_EQ(Open(0, false), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_FILE_NOT_FOUND);
    EXPECT_NE(Open(1, false), INVALID_HANDLE_VALUE);
    SetupDiDestroyDeviceInfoList(before);
    SetupDiDestroyDeviceInfoList(after);
}

// Every request the device answers at once can be completed later instead,
// from the simulator's own thread; a synchronous handle still waits for the
// answer. (Which commands are held, and what a completion carries, are the
// API tests'; the completion port's own rules are conf_iocp's.)
TEST_F(DeviceIo, AsynchronousCompletionMode) {
    ASSERT_EQ(AddDevice(), 0);
    HANDLE file = Open(0, true);
    HANDLE port = CreateIoCompletionPort(file, nullptr, 9, 0);
    ASSERT_NE(port, nullptr);
    vkssim::SetAsyncCompletion(true);
    RequestFrame r(VKSSIM_TYPE_DECODER);
    r.U32(24, 8);
    ReplyFrame reply;
    OVERLAPPED ov{};
    DWORD bytes = 0;
    EXPECT_FALSE(DeviceIoControl(file, VKSSIM_IOCTL_GET_INPUT_COUNT, r.data(), r.size(), reply.data(), reply.size(),
                                 &bytes, &ov));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_IO_PENDING);
    ULONG_PTR key = 0;
    LPOVERLAPPED done = nullptr;
    ASSERT_TRUE(GetQueuedCompletionStatus(port, &bytes, &key, &done, 10000));
    EXPECT_EQ(done, &ov);
    EXPECT_EQ(key, 9u);
    EXPECT_EQ(reply.U32(28), 2u);
    ReplyFrame syncReply;
    ASSERT_TRUE(Send(Open(0, false), VKSSIM_IOCTL_GET_INPUT_COUNT, r, syncReply));
    EXPECT_EQ(syncReply.U32(28), 2u);
    CloseHandle(port);
}

}  // namespace
