// Synchronous device I/O through CreateFileW and DeviceIoControl, the device
// commands and the request log. (Fault injection is exercised through the
// library by the API and command channel tests, with its effects checked.)
#include "sim_fixture.h"

#include <thread>

using namespace simtest;

namespace {

class DeviceIo : public SimTest {};

TEST_F(DeviceIo, OpensTheDeviceFileAndRefusesOtherNames) {
    ASSERT_EQ(AddDevice(), 0);
    EXPECT_NE(Open(0, false), INVALID_HANDLE_VALUE);
    std::u16string other = vkssim::InterfacePath(0) + u"\\OTHER";
    EXPECT_EQ(CreateFileW(other.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(CreateFileW(u"\\\\?\\nothing#here#0#{00000000-0000-0000-0000-000000000000}\\VELANTIS\\742API",
                          GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr),
              INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_FILE_NOT_FOUND);
    // Interface paths match without regard to case.
    std::u16string upper = FileName(0);
    for (auto& c : upper)
        if (c >= u'a' && c <= u'z') c = static_cast<char16_t>(c - 32);
    EXPECT_NE(Keep(CreateFileW(upper.c_str(), GENERIC_READ | GENERIC_WRITE, 3, nullptr, OPEN_EXISTING, 0, nullptr)),
              INVALID_HANDLE_VALUE);
}

TEST_F(DeviceIo, InputCountPerKind) {
    ASSERT_EQ(AddDevice(3, 2, 0, 1), 0);
    HANDLE h = Open(0, false);
    const uint32_t expected[] = {3, 2, 0, 1};
    for (uint32_t type = 0; type < 4; ++type) {
        RequestFrame r(type);
        r.U32(24, 8);
        ReplyFrame reply;
        DWORD bytes = 0;
        ASSERT_TRUE(Send(h, VKSSIM_IOCTL_GET_INPUT_COUNT, r, reply, &bytes));
        EXPECT_EQ(bytes, reply.size());
        EXPECT_EQ(reply.U32(0), reply.size());
        EXPECT_EQ(reply.Status(), 0u);
        EXPECT_EQ(reply.U32(16), 100u);
        EXPECT_EQ(reply.U32(24), 8u);
        EXPECT_EQ(reply.U32(28), expected[type]);
    }
    RequestFrame bad(7);
    bad.U32(24, 8);
    ReplyFrame reply;
    ASSERT_TRUE(Send(h, VKSSIM_IOCTL_GET_INPUT_COUNT, bad, reply));
    EXPECT_EQ(reply.Status(), VKSERROR_INVALID_INPUT);
}

// (The name from the configuration is sim_config_test's; a shorter request
// is the API tests'.)
TEST_F(DeviceIo, DeviceInformationRecord) {
    ASSERT_EQ(AddDevice(2, 4), 0);
    HANDLE h = Open(0, false);
    RequestFrame r(VKSSIM_TYPE_DECODER);
    r.U32(24, sizeof(VKSINFOW));
    ReplyFrame reply;
    ASSERT_TRUE(Send(h, VKSSIM_IOCTL_GET_DEVICE_INFO, r, reply));
    ASSERT_EQ(reply.Status(), 0u);
    EXPECT_EQ(reply.U32(24), sizeof(VKSINFOW));
    EXPECT_EQ(reply.U32(24 + 12), 4u);  // inputs of the kind asked for
    // A replaced record is reported as given.
    std::vector<uint8_t> custom(sizeof(VKSINFOW), 0xAB);
    ASSERT_TRUE(vkssim::SetDeviceInfo(0, VKSSIM_TYPE_DECODER, custom.data(), custom.size()));
    ReplyFrame replaced;
    ASSERT_TRUE(Send(h, VKSSIM_IOCTL_GET_DEVICE_INFO, r, replaced));
    EXPECT_EQ(replaced.U32(24), sizeof(VKSINFOW));
    EXPECT_EQ(replaced.bytes[24 + 583], 0xAB);
}

TEST_F(DeviceIo, RequestLogHoldsTheExactBytes) {
    ASSERT_EQ(AddDevice(), 0);
    HANDLE h = Open(0, false);
    vkssim::ClearRequests();
    uint64_t mark = vkssim::RequestMark();
    RequestFrame r(VKSSIM_TYPE_ENCODER, 0, 0);
    r.U32(24, 8);
    for (size_t i = 40; i < r.bytes.size(); ++i) r.bytes[i] = static_cast<uint8_t>(i * 7);
    ReplyFrame reply;
    ASSERT_TRUE(Send(h, VKSSIM_IOCTL_GET_INPUT_COUNT, r, reply));
    auto got = vkssim::WaitForRequest(VKSSIM_IOCTL_GET_INPUT_COUNT, mark, kWait);
    ASSERT_TRUE(got.has_value());
    EXPECT_EQ(got->sequence, mark);
    EXPECT_EQ(got->device, 0);
    EXPECT_FALSE(got->overlappedFile);
    EXPECT_EQ(got->outputLength, VKSSIM_REPLY_SIZE);
    EXPECT_EQ(got->input, r.bytes);
    EXPECT_EQ(vkssim::Requests().size(), 1u);
    EXPECT_FALSE(vkssim::WaitForRequest(VKSSIM_IOCTL_OPEN, mark, std::chrono::milliseconds(0)).has_value());

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
        EXPECT_EQ(log[i].sequence, mark + 3 + i);
        EXPECT_EQ(log[i].input, sent[2 + i]);
    }
    vkssim::SetRequestLogLimit(2);
    log = vkssim::Requests();
    ASSERT_EQ(log.size(), 2u);
    EXPECT_EQ(log[0].input, sent[3]);
    EXPECT_EQ(log[1].input, sent[4]);
    vkssim::ClearRequests();
    EXPECT_TRUE(vkssim::Requests().empty());
    Send(h, VKSSIM_IOCTL_GET_INPUT_COUNT, r, reply);
    // A request ending in zeros after one that did not: its handler and its
    // log entry see zeros there, not the bytes before.
    RequestFrame bare(VKSSIM_TYPE_ENCODER, 0, 0);
    ASSERT_TRUE(Send(h, VKSSIM_IOCTL_GET_INPUT_COUNT, bare, reply));
    EXPECT_EQ(reply.Status(), VKSERROR_BUFFER_TOO_SMALL);
    log = vkssim::Requests();
    ASSERT_EQ(log.size(), 2u);
    EXPECT_EQ(log[0].input, r.bytes);
    EXPECT_EQ(log[1].input, bare.bytes);
    vkssim::SetRequestLogLimit(4096);
}

TEST_F(DeviceIo, SynchronousEventRequestBlocksUntilTheEvent) {
    ASSERT_EQ(AddDevice(), 0);
    HANDLE h = Open(0, false);
    uint32_t handle = OpenObject(h, VKSSIM_TYPE_DECODER, 0);
    ASSERT_NE(handle, 0u);
    ReplyFrame reply;
    BOOL ok = FALSE;
    std::thread waiter([&] {
        RequestFrame r(VKSSIM_TYPE_DECODER, 0, handle);
        ok = Send(h, VKSSIM_IOCTL_EVENT_REQUEST, r, reply);
    });
    ASSERT_TRUE(vkssim::WaitForHeld(0, VKSSIM_IOCTL_EVENT_REQUEST, 1, kWait));
    const uint8_t payload[] = {1, 2, 3, 4};
    ASSERT_TRUE(vkssim::RaiseEvent(0, handle, VKSERROR_STREAM_STOPPED, 77, payload, sizeof payload));
    waiter.join();
    EXPECT_TRUE(ok);
    EXPECT_EQ(reply.Status(), VKSERROR_STREAM_STOPPED);
    EXPECT_EQ(reply.U32(VKSSIM_REPLY_VALUE), 77u);
    EXPECT_EQ(reply.U32(VKSSIM_REPLY_HANDLE), handle);
    EXPECT_EQ(reply.U32(24), 0x04030201u);
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

}  // namespace
