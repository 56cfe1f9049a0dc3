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
    // Takes the next packet's OVERLAPPED (none when nothing arrives within `timeout`).
    LPOVERLAPPED Next(DWORD timeout = 10000) {
        DWORD bytes;
        ULONG_PTR key = 0;
        LPOVERLAPPED done = nullptr;
        GetQueuedCompletionStatus(port_, &bytes, &key, &done, timeout);
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
    EXPECT_EQ(Next(0), nullptr);
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

}  // namespace
