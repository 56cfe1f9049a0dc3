// Open objects on the simulated device: open, close, state, connection.
#include "sim_fixture.h"

using namespace simtest;

namespace {

class Objects : public SimTest {
protected:
    void SetUp() override {
        SimTest::SetUp();
        ASSERT_EQ(vkssim::AddDevice({}), 0);
        h_ = Open(0, false);
    }
    // One command with two argument words, on `file` (the fixture's when null); returns the status.
    uint32_t Command(uint32_t code, uint32_t type, uint32_t handle, uint32_t a = 0, uint32_t b = 0,
                     HANDLE file = nullptr) {
        RequestFrame r(type, 0, handle);
        r.U32(24, a).U32(28, b);
        ReplyFrame reply;
        EXPECT_TRUE(Send(file != nullptr ? file : h_, code, r, reply));
        return reply.Status();
    }
    HANDLE h_ = nullptr;
};

TEST_F(Objects, DecoderConnectsToAStreamOnly) {
    uint32_t stream = OpenObject(h_, VKSSIM_TYPE_NETWORK, 0, nullptr, "udp://@1.2.3.4:5");
    uint32_t decoder = OpenObject(h_, VKSSIM_TYPE_DECODER, 0);
    uint32_t encoder = OpenObject(h_, VKSSIM_TYPE_ENCODER, 0);
    uint32_t status = 0;
    EXPECT_EQ(OpenObject(h_, VKSSIM_TYPE_DECODER, 0, &status), 0u) << "a decoder input serves one object";
    EXPECT_EQ(status, VKSERROR_DECODER_DEVICE_IN_USE);
    EXPECT_EQ(Command(VKSSIM_IOCTL_CONNECT_SOURCE, VKSSIM_TYPE_DECODER, decoder, stream, 7), 0u);
    EXPECT_EQ(vkssim::GetObject(0, decoder)->source, stream);
    EXPECT_EQ(vkssim::GetObject(0, decoder)->connectArgument, 7u);
    EXPECT_EQ(Command(VKSSIM_IOCTL_CONNECT_SOURCE, VKSSIM_TYPE_DECODER, decoder, encoder), VKSERROR_INVALID_CONNECTION);
    EXPECT_EQ(Command(VKSSIM_IOCTL_CONNECT_SOURCE, VKSSIM_TYPE_ENCODER, encoder, stream), VKSERROR_INVALID_HANDLE);
    EXPECT_EQ(Command(VKSSIM_IOCTL_CONNECT_SOURCE, VKSSIM_TYPE_DECODER, decoder, 0), 0u);
    EXPECT_EQ(vkssim::GetObject(0, decoder)->source, 0u);
    // Closing the stream disconnects the decoder fed by it.
    EXPECT_EQ(Command(VKSSIM_IOCTL_CONNECT_SOURCE, VKSSIM_TYPE_DECODER, decoder, stream), 0u);
    EXPECT_EQ(Command(VKSSIM_IOCTL_CLOSE, VKSSIM_TYPE_NETWORK, stream), 0u);
    EXPECT_EQ(vkssim::GetObject(0, decoder)->source, 0u);
    EXPECT_EQ(Command(VKSSIM_IOCTL_CLOSE, VKSSIM_TYPE_NETWORK, stream), VKSERROR_INVALID_HANDLE);
}

TEST_F(Objects, AutomaticFirstFrameWhenConfigured) {
    vkssim::DeviceConfig c;
    c.autoEvents = true;
    ASSERT_EQ(vkssim::AddDevice(c), 1);
    HANDLE h = Open(1, false);
    uint32_t stream = OpenObject(h, VKSSIM_TYPE_NETWORK, 0, nullptr, "udp://@1.2.3.4:5");
    uint32_t decoder = OpenObject(h, VKSSIM_TYPE_DECODER, 0);
    ASSERT_EQ(Command(VKSSIM_IOCTL_CONNECT_SOURCE, VKSSIM_TYPE_DECODER, decoder, stream, 0, h), 0u);
    ASSERT_EQ(Command(VKSSIM_IOCTL_SET_STATE, VKSSIM_TYPE_DECODER, decoder, 2, 0, h), 0u);
    EXPECT_EQ(vkssim::GetObject(1, decoder)->queuedEvents, 1u);
    EXPECT_EQ(Command(VKSSIM_IOCTL_EVENT_REQUEST, VKSSIM_TYPE_DECODER, decoder, 0, 0, h),
              static_cast<uint32_t>(VKSERROR_DECODED_FIRST_FRAME));
}

TEST_F(Objects, ClosingTheOwningFileEndsItsObjects) {
    HANDLE owner = Open(0, false);
    uint32_t decoder = OpenObject(owner, VKSSIM_TYPE_DECODER, 0);
    ASSERT_TRUE(vkssim::GetObject(0, decoder).has_value());
    Forget(owner);
    CloseHandle(owner);
    EXPECT_FALSE(vkssim::GetObject(0, decoder).has_value());
    EXPECT_NE(OpenObject(h_, VKSSIM_TYPE_DECODER, 0), 0u);
}

}  // namespace
