// Overlapped device I/O on the simulator: which commands are held, which finish
// at once, and what each completion carries. The completion port's own rules
// (pending status, packet fields, GetOverlappedResult) are checked by the
// conformance program conf_iocp.
#include "sim_fixture.h"

using namespace simtest;

namespace {

class Overlapped : public SimTest {
protected:
    void SetUp() override {
        SimTest::SetUp();
        ASSERT_EQ(AddDevice(), 0);
        sync_ = Open(0, false);
        file_ = Open(0, true);
        ASSERT_NE(file_, INVALID_HANDLE_VALUE);
        port_ = CreateIoCompletionPort(file_, nullptr, kKey, 0);
        ASSERT_NE(port_, nullptr);
    }
    void TearDown() override {
        SimTest::TearDown();
        CloseHandle(port_);
    }

    // Issues one command on the overlapped file: TRUE when done at once,
    // FALSE with the last error (ERROR_IO_PENDING when held).
    BOOL Issue(uint32_t code, RequestFrame& r, ReplyFrame& reply, OVERLAPPED& ov) {
        DWORD bytes = 0;
        return DeviceIoControl(file_, code, r.data(), r.size(), reply.data(), reply.size(), &bytes, &ov);
    }
    // Issues a command that must be held.
    void Hold(uint32_t code, RequestFrame& r, ReplyFrame& reply, OVERLAPPED& ov) {
        EXPECT_FALSE(Issue(code, r, reply, ov));
        EXPECT_EQ(GetLastError(), (DWORD)ERROR_IO_PENDING);
    }
    // Takes the next packet: its OVERLAPPED, and in *error 0 or the failure
    // it carries (WAIT_TIMEOUT when nothing arrives within `timeout`).
    LPOVERLAPPED Next(DWORD* error = nullptr, DWORD timeout = 10000) {
        DWORD bytes;
        ULONG_PTR key = 0;
        LPOVERLAPPED done = nullptr;
        const BOOL ok = GetQueuedCompletionStatus(port_, &bytes, &key, &done, timeout);
        if (error) *error = ok ? 0 : GetLastError();
        if (done) {
            EXPECT_EQ(key, kKey);
        }
        return done;
    }

    static constexpr ULONG_PTR kKey = 0x4242;
    HANDLE sync_ = nullptr;
    HANDLE file_ = nullptr;
    HANDLE port_ = nullptr;
};

TEST_F(Overlapped, EventRequestIsHeldUntilTheEventOrTakesAKeptOne) {
    uint32_t decoder = OpenObject(sync_, VKSSIM_TYPE_DECODER, 0);
    ASSERT_NE(decoder, 0u);
    RequestFrame r(VKSSIM_TYPE_DECODER, 0, decoder);
    ReplyFrame reply;
    OVERLAPPED ov{};
    Hold(VKSSIM_IOCTL_EVENT_REQUEST, r, reply, ov);
    EXPECT_EQ(Next(nullptr, 0), nullptr);
    const uint32_t payload = 0xCAFEF00D;
    ASSERT_TRUE(vkssim::RaiseEvent(0, decoder, VKSERROR_DECODED_FIRST_FRAME, 9, &payload, sizeof payload));
    EXPECT_EQ(Next(), &ov);
    EXPECT_EQ(ov.InternalHigh, (ULONG_PTR)reply.size());
    EXPECT_EQ(reply.Status(), VKSERROR_DECODED_FIRST_FRAME);
    EXPECT_EQ(reply.U32(VKSSIM_REPLY_VALUE), 9u);
    EXPECT_EQ(reply.U32(24), payload);

    // An event raised before the request is kept; the request is then done
    // at once, and a packet is queued all the same.
    uint32_t stream = OpenObject(sync_, VKSSIM_TYPE_NETWORK, 1, nullptr, "udp://@239.1.1.1:5000");
    ASSERT_TRUE(vkssim::RaiseEvent(0, stream, VKSERROR_STREAM_RESTARTED));
    EXPECT_EQ(vkssim::GetObject(0, stream)->queuedEvents, 1u);
    RequestFrame r2(VKSSIM_TYPE_NETWORK, 1, stream);
    OVERLAPPED ov2{};
    EXPECT_TRUE(Issue(VKSSIM_IOCTL_EVENT_REQUEST, r2, reply, ov2));
    EXPECT_EQ(reply.Status(), VKSERROR_STREAM_RESTARTED);
    EXPECT_EQ(Next(), &ov2);
}

TEST_F(Overlapped, ImmediateFailureQueuesNothingAnUnknownObjectIsAnsweredAtOnce) {
    vkssim::FailWithWin32Error(VKSSIM_IOCTL_EVENT_REQUEST, ERROR_NOACCESS, 1);
    RequestFrame r(VKSSIM_TYPE_DECODER, 0, 0x9999);
    ReplyFrame reply;
    OVERLAPPED ov{};
    EXPECT_FALSE(Issue(VKSSIM_IOCTL_EVENT_REQUEST, r, reply, ov));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_NOACCESS);
    DWORD error = 0;
    EXPECT_EQ(Next(&error, 0), nullptr);
    EXPECT_EQ(error, (DWORD)WAIT_TIMEOUT);

    EXPECT_TRUE(Issue(VKSSIM_IOCTL_EVENT_REQUEST, r, reply, ov));
    EXPECT_EQ(reply.Status(), VKSERROR_INVALID_HANDLE);
    EXPECT_EQ(Next(nullptr, 0), &ov);
}

TEST_F(Overlapped, FailedCompletionsArriveAsFailedPackets) {
    // A command answered at once...
    uint32_t encoder = OpenObject(sync_, VKSSIM_TYPE_ENCODER, 0);
    vkssim::FailCompletion(VKSSIM_IOCTL_SET_STATE, ERROR_GEN_FAILURE, 1);
    RequestFrame r(VKSSIM_TYPE_ENCODER, 0, encoder);
    r.U32(24, 2);
    ReplyFrame reply;
    OVERLAPPED ov{};
    Hold(VKSSIM_IOCTL_SET_STATE, r, reply, ov);
    DWORD error = 0;
    EXPECT_EQ(Next(&error), &ov);
    EXPECT_EQ(error, (DWORD)ERROR_GEN_FAILURE);
    // ... and a held one.
    uint32_t decoder = OpenObject(sync_, VKSSIM_TYPE_DECODER, 1);
    vkssim::FailCompletion(VKSSIM_IOCTL_EVENT_REQUEST, ERROR_DEVICE_NOT_CONNECTED, 1);
    RequestFrame e(VKSSIM_TYPE_DECODER, 1, decoder);
    OVERLAPPED ov2{};
    Hold(VKSSIM_IOCTL_EVENT_REQUEST, e, reply, ov2);
    ASSERT_TRUE(vkssim::RaiseEvent(0, decoder, VKSERROR_STREAM_STOPPED));
    EXPECT_EQ(Next(&error), &ov2);
    EXPECT_EQ(error, (DWORD)ERROR_DEVICE_NOT_CONNECTED);
}

TEST_F(Overlapped, AsynchronousCompletionMode) {
    vkssim::SetAsyncCompletion(true);
    RequestFrame r(VKSSIM_TYPE_DECODER);
    r.U32(24, 8);
    ReplyFrame reply;
    OVERLAPPED ov{};
    Hold(VKSSIM_IOCTL_GET_INPUT_COUNT, r, reply, ov);
    EXPECT_EQ(Next(), &ov);
    EXPECT_EQ(reply.U32(28), 2u);
    // A synchronous handle still waits for the answer.
    ReplyFrame syncReply;
    ASSERT_TRUE(Send(sync_, VKSSIM_IOCTL_GET_INPUT_COUNT, r, syncReply));
    EXPECT_EQ(syncReply.U32(28), 2u);
}

TEST_F(Overlapped, ClosingTheObjectEndsItsEventRequestClosingTheFileCancels) {
    uint32_t discovery = OpenObject(sync_, VKSSIM_TYPE_DISCOVERY, 0);
    RequestFrame r(VKSSIM_TYPE_DISCOVERY, 0, discovery);
    ReplyFrame reply;
    OVERLAPPED ov{};
    Hold(VKSSIM_IOCTL_EVENT_REQUEST, r, reply, ov);
    EXPECT_EQ(vkssim::HeldRequests(0, VKSSIM_IOCTL_EVENT_REQUEST), 1u);
    ReplyFrame closeReply;
    ASSERT_TRUE(Send(sync_, VKSSIM_IOCTL_CLOSE, r, closeReply));
    EXPECT_EQ(closeReply.Status(), 0u);
    EXPECT_EQ(Next(), &ov);
    EXPECT_EQ(reply.Status(), VKSERROR_NO_COMPLETION);
    EXPECT_FALSE(vkssim::GetObject(0, discovery).has_value());
    EXPECT_EQ(vkssim::HeldRequests(0), 0u);

    uint32_t decoder = OpenObject(sync_, VKSSIM_TYPE_DECODER, 0);
    RequestFrame e(VKSSIM_TYPE_DECODER, 0, decoder);
    Hold(VKSSIM_IOCTL_EVENT_REQUEST, e, reply, ov);
    Forget(file_);
    EXPECT_TRUE(CloseHandle(file_));
    DWORD error = 0;
    EXPECT_EQ(Next(&error), &ov);
    EXPECT_EQ(error, (DWORD)ERROR_OPERATION_ABORTED);
    // The object belongs to the synchronous file and lives on.
    EXPECT_TRUE(vkssim::GetObject(0, decoder).has_value());
}

TEST_F(Overlapped, DeviceNotificationsRegisterRaiseReregisterDeregister) {
    RequestFrame r;
    r.U32(24, VKSSIM_NOTIFY_REGISTER);
    ReplyFrame first;
    OVERLAPPED ov1{};
    Hold(VKSSIM_IOCTL_DEVICE_SET_NOTIFY, r, first, ov1);
    const uint32_t level = 3;
    EXPECT_EQ(vkssim::RaiseDeviceNotification(0, VKSERROR_EVENT_MEMORY_LEVEL_AMBER, &level, sizeof level), 1);
    EXPECT_EQ(Next(), &ov1);
    EXPECT_EQ(first.Status(), 0u);
    EXPECT_EQ(first.U32(24), VKSERROR_EVENT_MEMORY_LEVEL_AMBER);
    EXPECT_EQ(first.U32(28), level);

    // Raised while nobody is armed: kept for the next arming.
    EXPECT_EQ(vkssim::RaiseDeviceNotification(0, VKSERROR_EVENT_UPGRADE_PENDING), 1);
    r.U32(24, VKSSIM_NOTIFY_REREGISTER);
    ReplyFrame second;
    OVERLAPPED ov2{};
    EXPECT_TRUE(Issue(VKSSIM_IOCTL_DEVICE_SET_NOTIFY, r, second, ov2));
    EXPECT_EQ(second.U32(24), VKSERROR_EVENT_UPGRADE_PENDING);
    EXPECT_EQ(Next(), &ov2);

    ReplyFrame third;
    OVERLAPPED ov3{};
    Hold(VKSSIM_IOCTL_DEVICE_SET_NOTIFY, r, third, ov3);
    r.U32(24, VKSSIM_NOTIFY_DEREGISTER);
    ReplyFrame fourth;
    OVERLAPPED ov4{};
    EXPECT_TRUE(Issue(VKSSIM_IOCTL_DEVICE_SET_NOTIFY, r, fourth, ov4));
    EXPECT_EQ(fourth.U32(24), VKSERROR_NO_COMPLETION);
    // Both the held request and the DEREGISTER itself complete on the port.
    LPOVERLAPPED a = Next(), b = Next();
    EXPECT_TRUE((a == &ov3 && b == &ov4) || (a == &ov4 && b == &ov3));
    EXPECT_EQ(third.U32(24), VKSERROR_NO_COMPLETION);
    EXPECT_EQ(vkssim::RaiseDeviceNotification(0, VKSERROR_EVENT_MEMORY_LEVEL_RED), 0);
}

}  // namespace
