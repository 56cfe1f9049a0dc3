// The simulated decoder's decoded audio: the start, load and stop commands,
// the tone in the format told, the two events, and the faults of the
// configuration text.
#include "sim_fixture.h"

#include <chrono>
#include <cmath>

using namespace simtest;

namespace {

using namespace std::chrono_literals;

constexpr uint32_t kDecoderBlockBytes = 480;

class SimAudio : public SimTest {
protected:
    // Tells the decoder its format: 48 kHz, `channels` of `bits`, sample type.
    void SetFormat(HANDLE h, uint32_t decoder, uint16_t channels, uint16_t bits, uint32_t sampleType) {
        RequestFrame r(VKSSIM_TYPE_DECODER, 0, decoder);
        r.U32(24, 0);      // current values
        r.U32(28, 0x800);  // audio format
        r.U32(32, kDecoderBlockBytes);
        const size_t f = 32 + 116;
        r.U32(f, 32);
        r.U32(f + 4, 48000);
        r.U32(f + 12, static_cast<uint32_t>(channels) | (static_cast<uint32_t>(bits) << 16));
        r.U32(f + 20, sampleType);
        r.U32(f + 24, 1);
        ReplyFrame reply;
        ASSERT_TRUE(Send(h, VKSSIM_IOCTL_SET_PARAMETER, r, reply));
        ASSERT_EQ(reply.Status(), 0u);
    }
    uint32_t Start(HANDLE h, uint32_t decoder, uint32_t frameSize, HANDLE ready, HANDLE buffered) {
        RequestFrame r(VKSSIM_TYPE_DECODER, 0, decoder);
        r.U32(24, frameSize);
        r.U32(28, 24000);
        r.U32(32, 12000);
        r.U32(36, 12960);
        r.U64(40, reinterpret_cast<uintptr_t>(ready));
        r.U64(48, reinterpret_cast<uintptr_t>(buffered));
        ReplyFrame reply;
        EXPECT_TRUE(Send(h, VKSSIM_IOCTL_AUDIO_START, r, reply));
        return reply.Status();
    }
    uint32_t Load(HANDLE h, uint32_t decoder, void* buffer, uint32_t bytes, uint32_t frames, uint32_t* written) {
        RequestFrame r(VKSSIM_TYPE_DECODER, 0, decoder);
        r.U32(24, bytes);
        r.U32(28, frames);
        r.U64(32, reinterpret_cast<uintptr_t>(buffer));
        ReplyFrame reply;
        EXPECT_TRUE(Send(h, VKSSIM_IOCTL_AUDIO_LOAD, r, reply));
        *written = reply.U32(24);
        return reply.Status();
    }
};

TEST_F(SimAudio, BuffersThenDeliversTheToneInTheToldFormatAndStops) {
    ASSERT_TRUE(vkssim::LoadConfigText("[device]\ndecoders = 1\naudio_tone_hz = 1000\n"));
    HANDLE h = Open(0, false);
    const uint32_t decoder = OpenObject(h, VKSSIM_TYPE_DECODER, 0);
    ASSERT_NE(decoder, 0u);
    SetFormat(h, decoder, 2, 16, 1);
    HANDLE ready = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    HANDLE buffered = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    ASSERT_EQ(Start(h, decoder, 4, ready, buffered), 0u);
    // 250 ms are buffered within a generous bound; Data Ready is set by then.
    ASSERT_EQ(WaitForSingleObject(buffered, 5000), WAIT_OBJECT_0);
    EXPECT_EQ(WaitForSingleObject(ready, 0), WAIT_OBJECT_0);

    int16_t samples[2 * 960] = {};
    uint32_t written = 0;
    ASSERT_EQ(Load(h, decoder, samples, sizeof samples, 960, &written), 0u);
    EXPECT_EQ(written, 960u);
    for (uint32_t n = 0; n < written; ++n) {
        const auto expected = static_cast<int16_t>(std::llround(vkssim::DecoderAudioTone(1000, 48000, n) * 32767.0));
        ASSERT_EQ(samples[2 * n], expected) << n;
        ASSERT_EQ(samples[2 * n + 1], expected) << n;
    }
    // Asking for more than it holds empties it and resets Data Ready. The
    // clock may buffer the next chunk at any moment (often, under a
    // sanitizer): a Data Ready that is set again must have frames behind it.
    std::vector<int16_t> big(2 * 48000);
    ASSERT_EQ(Load(h, decoder, big.data(), static_cast<uint32_t>(big.size() * 2), 48000, &written), 0u);
    EXPECT_LT(written, 48000u);
    uint32_t loads = 2;
    if (WaitForSingleObject(ready, 0) == WAIT_OBJECT_0) {
        ASSERT_EQ(Load(h, decoder, big.data(), static_cast<uint32_t>(big.size() * 2), 48000, &written), 0u);
        EXPECT_GT(written, 0u) << "Data Ready is set with nothing buffered";
        ++loads;
    }
    // The next chunk sets it again.
    EXPECT_EQ(WaitForSingleObject(ready, 5000), WAIT_OBJECT_0);

    RequestFrame stop(VKSSIM_TYPE_DECODER, 0, decoder);
    ReplyFrame reply;
    ASSERT_TRUE(Send(h, VKSSIM_IOCTL_AUDIO_STOP, stop, reply));
    EXPECT_EQ(reply.Status(), 0u);
    const auto state = vkssim::GetDecoderAudio(0, decoder);
    ASSERT_TRUE(state);
    EXPECT_FALSE(state->started);
    EXPECT_EQ(state->frameSize, 4u);
    EXPECT_EQ(state->frames250, 12000u);
    EXPECT_EQ(state->loads, loads);
    // A load after the stop is refused.
    EXPECT_EQ(Load(h, decoder, samples, sizeof samples, 960, &written), static_cast<uint32_t>(VKSERROR_ILLEGAL_CALL));
    CloseHandle(ready);
    CloseHandle(buffered);
}

}  // namespace
