// Device I/O through CreateFileW, DeviceIoControl and the setup API on the
// simulator: the request log, refusals, completions, and the device interface
// sets. (Fault injection is exercised through the library by the API and
// command channel tests, with its effects checked.)
#include "sim_fixture.h"

#include <chrono>
#include <thread>

using namespace simtest;

namespace {

class DeviceIo : public SimTest {
protected:
    void SetUp() override {
        SimTest::SetUp();
        ASSERT_EQ(vkssim::AddDevice({}), 0);
    }
};

TEST_F(DeviceIo, RequestLogHoldsTheExactBytes) {
    HANDLE h = Open(0, false);
    vkssim::ClearRequests();
    const uint64_t mark = vkssim::RequestMark();
    ReplyFrame reply;
    // Sends an input count request whose bytes from 40 on are `fill(i)`.
    const auto send = [&](size_t size, auto fill) {
        RequestFrame r(VKSSIM_TYPE_ENCODER, 0, 0, static_cast<uint32_t>(size));
        r.U32(24, 8);
        for (size_t i = 40; i < size; ++i) r.bytes[i] = static_cast<uint8_t>(fill(i));
        Send(h, VKSSIM_IOCTL_GET_INPUT_COUNT, r, reply);
        return r.bytes;
    };
    // A full log reuses its oldest entries: still the newest requests, in
    // order, each with exactly its own bytes (shorter ones too).
    vkssim::SetRequestLogLimit(3);
    std::vector<std::vector<uint8_t>> sent;
    for (int k = 0; k < 5; ++k) {
        sent.push_back(send(k == 4 ? 64 : VKSSIM_REQUEST_SIZE, [k](size_t i) { return i + k; }));
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
    // (The entries' other fields, and waits for requests, are read by every API test.)
    vkssim::ClearRequests();
    EXPECT_TRUE(vkssim::Requests().empty());
    // A request ending in zeros after one that did not: its handler and its
    // log entry see zeros there, not the bytes before.
    const auto again = send(VKSSIM_REQUEST_SIZE, [](size_t) { return 0x5A; });
    RequestFrame bare(VKSSIM_TYPE_ENCODER, 0, 0);
    ASSERT_TRUE(Send(h, VKSSIM_IOCTL_GET_INPUT_COUNT, bare, reply));
    EXPECT_EQ(reply.Status(), VKSERROR_BUFFER_TOO_SMALL);
    log = vkssim::Requests();
    ASSERT_EQ(log.size(), 2u);
    EXPECT_EQ(log[0].input, again);
    EXPECT_EQ(log[1].input, bare.bytes);
    vkssim::SetRequestLogLimit(4096);
}

TEST_F(DeviceIo, ClosingTheHandleReleasesABlockedSynchronousRequest) {
    uint32_t handle = OpenObject(Open(0, false), VKSSIM_TYPE_DECODER, 1);
    HANDLE h = Open(0, false);
    Forget(h);
    bool failed = false;
    std::thread waiter([&] {
        RequestFrame r(VKSSIM_TYPE_DECODER, 1, handle);
        ReplyFrame reply;
        failed = FailsWith(Send(h, VKSSIM_IOCTL_EVENT_REQUEST, r, reply), ERROR_OPERATION_ABORTED);
    });
    ASSERT_TRUE(vkssim::WaitForHeld(0, VKSSIM_IOCTL_EVENT_REQUEST, 1, std::chrono::seconds(10)));
    EXPECT_TRUE(CloseHandle(h));
    waiter.join();
    EXPECT_TRUE(failed);
}

TEST_F(DeviceIo, UnknownCodesAndOtherHandlesAreRefused) {
    RequestFrame r;
    ReplyFrame reply;
    HANDLE event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    EXPECT_TRUE(FailsWith(Send(Open(0, false), 0x22C7FC, r, reply), ERROR_INVALID_FUNCTION));
    EXPECT_TRUE(FailsWith(Send(event, VKSSIM_IOCTL_OPEN, r, reply), ERROR_INVALID_HANDLE));
    EXPECT_TRUE(FailsWith(Send(nullptr, VKSSIM_IOCTL_OPEN, r, reply), ERROR_INVALID_HANDLE));
    CloseHandle(event);
}

TEST_F(DeviceIo, SetupApiSizesAndSnapshots) {
    HDEVINFO set = SetupDiGetClassDevsW(&kClass, nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
    SP_DEVICE_INTERFACE_DATA data{};
    data.cbSize = 24;  // a 32-bit layout
    EXPECT_TRUE(FailsWith(SetupDiEnumDeviceInterfaces(set, nullptr, &kClass, 0, &data), ERROR_INVALID_USER_BUFFER));
    data.cbSize = sizeof data;
    ASSERT_TRUE(SetupDiEnumDeviceInterfaces(set, nullptr, &kClass, 0, &data));

    DWORD required = 0;
    EXPECT_TRUE(FailsWith(SetupDiGetDeviceInterfaceDetailW(set, &data, nullptr, 0, &required, nullptr),
                          ERROR_INSUFFICIENT_BUFFER));
    EXPECT_EQ(required, 4 + (vkssim::InterfacePath(0).size() + 1) * 2);
    std::vector<uint8_t> buffer(required);
    auto* detail = reinterpret_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_W*>(buffer.data());
    detail->cbSize = required;  // the whole size instead of the fixed part
    EXPECT_TRUE(FailsWith(SetupDiGetDeviceInterfaceDetailW(set, &data, detail, required, nullptr, nullptr),
                          ERROR_INVALID_USER_BUFFER));
    detail->cbSize = 8;
    EXPECT_TRUE(FailsWith(SetupDiGetDeviceInterfaceDetailW(set, &data, detail, required - 2, nullptr, nullptr),
                          ERROR_INSUFFICIENT_BUFFER));
    SP_DEVINFO_DATA devinfo{};
    devinfo.cbSize = 28;
    EXPECT_TRUE(FailsWith(SetupDiGetDeviceInterfaceDetailW(set, &data, detail, required, nullptr, &devinfo),
                          ERROR_INVALID_USER_BUFFER));
    devinfo.cbSize = sizeof devinfo;
    ASSERT_TRUE(SetupDiGetDeviceInterfaceDetailW(set, &data, detail, required, nullptr, &devinfo));

    DWORD size = 0;
    EXPECT_TRUE(FailsWith(SetupDiGetDeviceRegistryPropertyW(set, &devinfo, SPDRP_LOCATION_INFORMATION, nullptr,
                                                            nullptr, 0, &size),
                          ERROR_INSUFFICIENT_BUFFER));
    EXPECT_EQ(size, (vkssim::Location(0).size() + 1) * 2);
    BYTE text[512];
    EXPECT_TRUE(FailsWith(SetupDiGetDeviceRegistryPropertyW(set, &devinfo, SPDRP_FRIENDLYNAME, nullptr, text,
                                                            sizeof text, nullptr),
                          ERROR_INVALID_DATA));
    EXPECT_TRUE(SetupDiDestroyDeviceInfoList(set));
    EXPECT_TRUE(FailsWith(SetupDiDestroyDeviceInfoList(set), ERROR_INVALID_HANDLE));

    // A set is a snapshot; a removed device cannot be opened.
    ASSERT_EQ(vkssim::AddDevice({}), 1);
    HDEVINFO before = SetupDiGetClassDevsW(&kClass, nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
    ASSERT_TRUE(vkssim::RemoveDevice(0));
    HDEVINFO after = SetupDiGetClassDevsW(&kClass, nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
    EXPECT_TRUE(SetupDiEnumDeviceInterfaces(before, nullptr, &kClass, 1, &data));
    EXPECT_TRUE(SetupDiEnumDeviceInterfaces(after, nullptr, &kClass, 0, &data));
    EXPECT_TRUE(FailsWith(SetupDiEnumDeviceInterfaces(after, nullptr, &kClass, 1, &data), ERROR_NO_MORE_ITEMS));
    EXPECT_TRUE(FailsWith(Open(0, false) != INVALID_HANDLE_VALUE, ERROR_FILE_NOT_FOUND));
    EXPECT_NE(Open(1, false), INVALID_HANDLE_VALUE);
    SetupDiDestroyDeviceInfoList(before);
    SetupDiDestroyDeviceInfoList(after);
}

// Every request the device answers at once can be completed later instead,
// from the simulator's own thread; a synchronous handle still waits for the
// answer. (Which commands are held, and what a completion carries, are the
// API tests'; the completion port's own rules are conf_iocp's.)
TEST_F(DeviceIo, AsynchronousCompletionMode) {
    HANDLE file = Open(0, true);
    HANDLE port = CreateIoCompletionPort(file, nullptr, 9, 0);
    ASSERT_NE(port, nullptr);
    vkssim::SetAsyncCompletion(true);
    RequestFrame r(VKSSIM_TYPE_DECODER);
    r.U32(24, 8);
    ReplyFrame reply;
    OVERLAPPED ov{};
    DWORD bytes = 0;
    EXPECT_TRUE(FailsWith(DeviceIoControl(file, VKSSIM_IOCTL_GET_INPUT_COUNT, r.bytes.data(), VKSSIM_REQUEST_SIZE,
                                          reply.bytes.data(), VKSSIM_REPLY_SIZE, &bytes, &ov),
                          ERROR_IO_PENDING));
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
