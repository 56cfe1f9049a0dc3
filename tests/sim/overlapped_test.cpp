// Overlapped device I/O: pending requests, completion packets, events, and the
// difference between requests that finish at once and those that fail at once.
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

    // Nothing is queued on the port right now.
    bool PortEmpty() {
        DWORD bytes;
        ULONG_PTR key;
        LPOVERLAPPED ov;
        BOOL ok = GetQueuedCompletionStatus(port_, &bytes, &key, &ov, 0);
        return !ok && ov == nullptr && GetLastError() == WAIT_TIMEOUT;
    }

    static constexpr ULONG_PTR kKey = 0x4242;
    HANDLE sync_ = nullptr;
    HANDLE file_ = nullptr;
    HANDLE port_ = nullptr;
};

TEST_F(Overlapped, PendingEventRequestCompletesThroughThePort) {
    uint32_t handle = OpenObject(sync_, VKSSIM_TYPE_DECODER, 0);
    ASSERT_NE(handle, 0u);
    RequestFrame r(VKSSIM_TYPE_DECODER, 0, handle);
    ReplyFrame reply;
    OVERLAPPED ov{};
    ov.hEvent = CreateEventW(nullptr, TRUE, TRUE, nullptr);
    DWORD bytes = 123;
    EXPECT_FALSE(DeviceIoControl(file_, VKSSIM_IOCTL_EVENT_REQUEST, r.data(), r.size(), reply.data(), reply.size(),
                                 &bytes, &ov));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_IO_PENDING);
    EXPECT_EQ(ov.Internal, (ULONG_PTR)0x103);
    EXPECT_EQ(WaitForSingleObject(ov.hEvent, 0), (DWORD)WAIT_TIMEOUT);  // reset when the request went out
    EXPECT_TRUE(PortEmpty());

    const uint32_t payload = 0xCAFEF00D;
    ASSERT_TRUE(vkssim::RaiseEvent(0, handle, VKSERROR_DECODED_FIRST_FRAME, 9, &payload, sizeof payload));
    ULONG_PTR key = 0;
    LPOVERLAPPED done = nullptr;
    ASSERT_TRUE(GetQueuedCompletionStatus(port_, &bytes, &key, &done, 10000));
    EXPECT_EQ(key, kKey);
    EXPECT_EQ(done, &ov);
    EXPECT_EQ(bytes, reply.size());
    EXPECT_EQ(ov.Internal, 0u);
    EXPECT_EQ(ov.InternalHigh, (ULONG_PTR)reply.size());
    EXPECT_EQ(WaitForSingleObject(ov.hEvent, 0), (DWORD)WAIT_OBJECT_0);
    EXPECT_EQ(reply.Status(), VKSERROR_DECODED_FIRST_FRAME);
    EXPECT_EQ(reply.U32(VKSSIM_REPLY_VALUE), 9u);
    EXPECT_EQ(reply.U32(24), payload);
    DWORD transferred = 0;
    EXPECT_TRUE(GetOverlappedResult(file_, &ov, &transferred, FALSE));
    EXPECT_EQ(transferred, reply.size());
    CloseHandle(ov.hEvent);
}

TEST_F(Overlapped, EventRaisedBeforeTheRequestIsKept) {
    uint32_t handle = OpenObject(sync_, VKSSIM_TYPE_NETWORK, 1, nullptr, "udp://@239.1.1.1:5000");
    ASSERT_NE(handle, 0u);
    ASSERT_TRUE(vkssim::RaiseEvent(0, handle, VKSERROR_STREAM_RESTARTED));
    EXPECT_EQ(vkssim::GetObject(0, handle)->queuedEvents, 1u);
    RequestFrame r(VKSSIM_TYPE_NETWORK, 1, handle);
    ReplyFrame reply;
    OVERLAPPED ov{};
    DWORD bytes = 0;
    // Done at once: TRUE, and a packet is queued all the same.
    EXPECT_TRUE(DeviceIoControl(file_, VKSSIM_IOCTL_EVENT_REQUEST, r.data(), r.size(), reply.data(), reply.size(),
                                &bytes, &ov));
    EXPECT_EQ(bytes, reply.size());
    EXPECT_EQ(reply.Status(), VKSERROR_STREAM_RESTARTED);
    ULONG_PTR key;
    LPOVERLAPPED done;
    ASSERT_TRUE(GetQueuedCompletionStatus(port_, &bytes, &key, &done, 10000));
    EXPECT_EQ(done, &ov);
    EXPECT_EQ(key, kKey);
}

TEST_F(Overlapped, ImmediateFailureQueuesNothing) {
    vkssim::FailWithWin32Error(VKSSIM_IOCTL_EVENT_REQUEST, ERROR_NOACCESS, 1);
    RequestFrame r;
    ReplyFrame reply;
    OVERLAPPED ov{};
    DWORD bytes = 0;
    EXPECT_FALSE(DeviceIoControl(file_, VKSSIM_IOCTL_EVENT_REQUEST, r.data(), r.size(), reply.data(), reply.size(),
                                 &bytes, &ov));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_NOACCESS);
    EXPECT_TRUE(PortEmpty());
}

TEST_F(Overlapped, UnknownObjectIsAnsweredAtOnce) {
    RequestFrame r(VKSSIM_TYPE_DECODER, 0, 0x9999);
    ReplyFrame reply;
    OVERLAPPED ov{};
    DWORD bytes = 0;
    EXPECT_TRUE(DeviceIoControl(file_, VKSSIM_IOCTL_EVENT_REQUEST, r.data(), r.size(), reply.data(), reply.size(),
                                &bytes, &ov));
    EXPECT_EQ(reply.Status(), VKSERROR_INVALID_HANDLE);
    EXPECT_FALSE(PortEmpty());
}

TEST_F(Overlapped, FailedCompletionArrivesAsAFailedPacket) {
    uint32_t handle = OpenObject(sync_, VKSSIM_TYPE_ENCODER, 0);
    ASSERT_NE(handle, 0u);
    vkssim::FailCompletion(VKSSIM_IOCTL_SET_STATE, ERROR_GEN_FAILURE, 1);
    RequestFrame r(VKSSIM_TYPE_ENCODER, 0, handle);
    r.U32(24, 2);
    ReplyFrame reply;
    OVERLAPPED ov{};
    DWORD bytes = 0;
    BOOL ok = DeviceIoControl(file_, VKSSIM_IOCTL_SET_STATE, r.data(), r.size(), reply.data(), reply.size(), &bytes, &ov);
    EXPECT_FALSE(ok);
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_IO_PENDING);
    ULONG_PTR key;
    LPOVERLAPPED done = nullptr;
    EXPECT_FALSE(GetQueuedCompletionStatus(port_, &bytes, &key, &done, 10000));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_GEN_FAILURE);
    EXPECT_EQ(done, &ov);
    EXPECT_EQ(bytes, 0u);
    EXPECT_FALSE(GetOverlappedResult(file_, &ov, &bytes, FALSE));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_GEN_FAILURE);
}

TEST_F(Overlapped, FailedCompletionOfAHeldRequest) {
    uint32_t handle = OpenObject(sync_, VKSSIM_TYPE_DECODER, 1);
    vkssim::FailCompletion(VKSSIM_IOCTL_EVENT_REQUEST, ERROR_DEVICE_NOT_CONNECTED, 1);
    RequestFrame r(VKSSIM_TYPE_DECODER, 1, handle);
    ReplyFrame reply;
    OVERLAPPED ov{};
    DWORD bytes;
    EXPECT_FALSE(DeviceIoControl(file_, VKSSIM_IOCTL_EVENT_REQUEST, r.data(), r.size(), reply.data(), reply.size(),
                                 &bytes, &ov));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_IO_PENDING);
    ASSERT_TRUE(vkssim::RaiseEvent(0, handle, VKSERROR_STREAM_STOPPED));
    ULONG_PTR key;
    LPOVERLAPPED done = nullptr;
    EXPECT_FALSE(GetQueuedCompletionStatus(port_, &bytes, &key, &done, 10000));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_DEVICE_NOT_CONNECTED);
    EXPECT_EQ(done, &ov);
}

TEST_F(Overlapped, AsynchronousCompletionMode) {
    vkssim::SetAsyncCompletion(true);
    RequestFrame r(VKSSIM_TYPE_DECODER);
    r.U32(24, 8);
    ReplyFrame reply;
    OVERLAPPED ov{};
    DWORD bytes;
    EXPECT_FALSE(DeviceIoControl(file_, VKSSIM_IOCTL_GET_INPUT_COUNT, r.data(), r.size(), reply.data(), reply.size(),
                                 &bytes, &ov));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_IO_PENDING);
    ULONG_PTR key;
    LPOVERLAPPED done = nullptr;
    ASSERT_TRUE(GetQueuedCompletionStatus(port_, &bytes, &key, &done, 10000));
    EXPECT_EQ(done, &ov);
    EXPECT_EQ(reply.U32(28), 2u);
    // A synchronous handle still waits for the answer.
    ReplyFrame syncReply;
    ASSERT_TRUE(Send(sync_, VKSSIM_IOCTL_GET_INPUT_COUNT, r, syncReply));
    EXPECT_EQ(syncReply.U32(28), 2u);
}

TEST_F(Overlapped, ClosingTheObjectEndsItsEventRequest) {
    uint32_t handle = OpenObject(sync_, VKSSIM_TYPE_DISCOVERY, 0);
    ASSERT_NE(handle, 0u);
    RequestFrame r(VKSSIM_TYPE_DISCOVERY, 0, handle);
    ReplyFrame reply;
    OVERLAPPED ov{};
    DWORD bytes;
    EXPECT_FALSE(DeviceIoControl(file_, VKSSIM_IOCTL_EVENT_REQUEST, r.data(), r.size(), reply.data(), reply.size(),
                                 &bytes, &ov));
    EXPECT_EQ(vkssim::HeldRequests(0, VKSSIM_IOCTL_EVENT_REQUEST), 1u);
    RequestFrame close(VKSSIM_TYPE_DISCOVERY, 0, handle);
    ReplyFrame closeReply;
    ASSERT_TRUE(Send(sync_, VKSSIM_IOCTL_CLOSE, close, closeReply));
    EXPECT_EQ(closeReply.Status(), 0u);
    ULONG_PTR key;
    LPOVERLAPPED done = nullptr;
    ASSERT_TRUE(GetQueuedCompletionStatus(port_, &bytes, &key, &done, 10000));
    EXPECT_EQ(done, &ov);
    EXPECT_EQ(reply.Status(), VKSERROR_NO_COMPLETION);
    EXPECT_FALSE(vkssim::GetObject(0, handle).has_value());
    EXPECT_EQ(vkssim::HeldRequests(0), 0u);
}

TEST_F(Overlapped, ClosingTheFileCancelsWhatItHolds) {
    uint32_t handle = OpenObject(sync_, VKSSIM_TYPE_DECODER, 0);
    RequestFrame r(VKSSIM_TYPE_DECODER, 0, handle);
    ReplyFrame reply;
    OVERLAPPED ov{};
    DWORD bytes;
    EXPECT_FALSE(DeviceIoControl(file_, VKSSIM_IOCTL_EVENT_REQUEST, r.data(), r.size(), reply.data(), reply.size(),
                                 &bytes, &ov));
    Forget(file_);
    EXPECT_TRUE(CloseHandle(file_));
    ULONG_PTR key;
    LPOVERLAPPED done = nullptr;
    EXPECT_FALSE(GetQueuedCompletionStatus(port_, &bytes, &key, &done, 10000));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_OPERATION_ABORTED);
    EXPECT_EQ(done, &ov);
    // The object belongs to the synchronous file and lives on.
    EXPECT_TRUE(vkssim::GetObject(0, handle).has_value());
}

TEST_F(Overlapped, DeviceNotificationsRegisterRaiseReregisterDeregister) {
    RequestFrame r;
    r.U32(24, VKSSIM_NOTIFY_REGISTER);
    ReplyFrame first;
    OVERLAPPED ov1{};
    DWORD bytes;
    EXPECT_FALSE(DeviceIoControl(file_, VKSSIM_IOCTL_DEVICE_SET_NOTIFY, r.data(), r.size(), first.data(), first.size(),
                                 &bytes, &ov1));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_IO_PENDING);
    const uint32_t level = 3;
    EXPECT_EQ(vkssim::RaiseDeviceNotification(0, VKSERROR_EVENT_MEMORY_LEVEL_AMBER, &level, sizeof level), 1);
    ULONG_PTR key;
    LPOVERLAPPED done = nullptr;
    ASSERT_TRUE(GetQueuedCompletionStatus(port_, &bytes, &key, &done, 10000));
    EXPECT_EQ(done, &ov1);
    EXPECT_EQ(first.Status(), 0u);
    EXPECT_EQ(first.U32(24), VKSERROR_EVENT_MEMORY_LEVEL_AMBER);
    EXPECT_EQ(first.U32(28), level);

    // Raised while nobody is armed: kept for the next arming.
    EXPECT_EQ(vkssim::RaiseDeviceNotification(0, VKSERROR_EVENT_UPGRADE_PENDING), 1);
    r.U32(24, VKSSIM_NOTIFY_REREGISTER);
    ReplyFrame second;
    OVERLAPPED ov2{};
    EXPECT_TRUE(DeviceIoControl(file_, VKSSIM_IOCTL_DEVICE_SET_NOTIFY, r.data(), r.size(), second.data(), second.size(),
                                &bytes, &ov2));
    EXPECT_EQ(second.U32(24), VKSERROR_EVENT_UPGRADE_PENDING);
    ASSERT_TRUE(GetQueuedCompletionStatus(port_, &bytes, &key, &done, 10000));
    EXPECT_EQ(done, &ov2);

    ReplyFrame third;
    OVERLAPPED ov3{};
    EXPECT_FALSE(DeviceIoControl(file_, VKSSIM_IOCTL_DEVICE_SET_NOTIFY, r.data(), r.size(), third.data(), third.size(),
                                 &bytes, &ov3));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_IO_PENDING);
    r.U32(24, VKSSIM_NOTIFY_DEREGISTER);
    ReplyFrame fourth;
    OVERLAPPED ov4{};
    EXPECT_TRUE(DeviceIoControl(file_, VKSSIM_IOCTL_DEVICE_SET_NOTIFY, r.data(), r.size(), fourth.data(), fourth.size(),
                                &bytes, &ov4));
    EXPECT_EQ(fourth.U32(24), VKSERROR_NO_COMPLETION);
    // Both the held request and the DEREGISTER itself complete on the port.
    LPOVERLAPPED a = nullptr, b = nullptr;
    ASSERT_TRUE(GetQueuedCompletionStatus(port_, &bytes, &key, &a, 10000));
    ASSERT_TRUE(GetQueuedCompletionStatus(port_, &bytes, &key, &b, 10000));
    EXPECT_TRUE((a == &ov3 && b == &ov4) || (a == &ov4 && b == &ov3));
    EXPECT_EQ(third.U32(24), VKSERROR_NO_COMPLETION);
    EXPECT_EQ(vkssim::RaiseDeviceNotification(0, VKSERROR_EVENT_MEMORY_LEVEL_RED), 0);
}

}  // namespace
