// The simulated decoder's decoded audio in a format the library's own tests
// do not ask for (16-bit integers): the start, load and stop commands, the
// tone, and the two events. (Float output, the frame counts and the stop at
// close are checked through the library by the audio thread and playback
// tests.)
#include "sim_fixture.h"

#include <cmath>
#include <vector>

using namespace simtest;

namespace {

using SimAudio = SimTest;

TEST_F(SimAudio, DeliversTheToneInTheToldFormatUntilStopped) {
    ASSERT_TRUE(vkssim::LoadConfigText("[device]\ndecoders = 1\naudio_tone_hz = 1000\n"));
    HANDLE h = Open(0, false);
    const uint32_t decoder = OpenObject(h, VKSSIM_TYPE_DECODER, 0);
    ASSERT_NE(decoder, 0u);
    // Sends one command to the decoder with these request words and pointers.
    const auto Command = [&](uint32_t code, std::initializer_list<std::pair<size_t, uint32_t>> words,
                             std::initializer_list<std::pair<size_t, const void*>> pointers = {}) {
        RequestFrame r(VKSSIM_TYPE_DECODER, 0, decoder);
        for (const auto& [offset, value] : words) r.U32(offset, value);
        for (const auto& [offset, pointer] : pointers) r.U64(offset, reinterpret_cast<uintptr_t>(pointer));
        ReplyFrame reply;
        EXPECT_TRUE(Send(h, code, r, reply));
        return reply;
    };
    // The audio format (flags 0x800, at block offset 116): 48 kHz, two
    // channels of 16 bits, integer samples.
    const size_t f = 32 + 116;
    const ReplyFrame format = Command(VKSSIM_IOCTL_SET_PARAMETER, {{28, 0x800}, {32, 480}, {f, 32}, {f + 4, 48000},
                                                                   {f + 12, 2 | 16 << 16}, {f + 20, 1}, {f + 24, 1}});
    ASSERT_EQ(format.Status(), 0u);
    HANDLE ready = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    HANDLE buffered = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    const ReplyFrame start = Command(VKSSIM_IOCTL_AUDIO_START, {{24, 4}, {28, 24000}, {32, 12000}, {36, 12960}},
                                     {{40, ready}, {48, buffered}});
    ASSERT_EQ(start.Status(), 0u);
    // 250 ms are buffered within a generous bound; Data Ready is set by then.
    ASSERT_EQ(WaitForSingleObject(buffered, 5000), WAIT_OBJECT_0);
    EXPECT_EQ(WaitForSingleObject(ready, 0), WAIT_OBJECT_0);

    std::vector<int16_t> samples(2 * 48000);
    const auto load = [&](uint32_t frames) {
        return Command(VKSSIM_IOCTL_AUDIO_LOAD, {{24, 4 * frames}, {28, frames}}, {{32, samples.data()}});
    };
    ReplyFrame reply = load(960);
    ASSERT_EQ(reply.Status(), 0u);
    ASSERT_EQ(reply.U32(24), 960u);
    for (uint32_t n = 0; n < 960; ++n) {
        const auto expected = static_cast<int16_t>(std::llround(vkssim::DecoderAudioTone(1000, 48000, n) * 32767.0));
        ASSERT_EQ(samples[2 * n], expected) << n;
        ASSERT_EQ(samples[2 * n + 1], expected) << n;
    }
    // Asking for more than it holds empties it and resets Data Ready. The
    // clock may buffer the next chunk at any moment (often, under a
    // sanitizer): a Data Ready that is set again must have frames behind it.
    EXPECT_LT(load(48000).U32(24), 48000u);
    if (WaitForSingleObject(ready, 0) == WAIT_OBJECT_0) {
        EXPECT_GT(load(48000).U32(24), 0u) << "Data Ready is set with nothing buffered";
    }
    // The next chunk sets it again.
    EXPECT_EQ(WaitForSingleObject(ready, 5000), WAIT_OBJECT_0);
    EXPECT_EQ(Command(VKSSIM_IOCTL_AUDIO_STOP, {}).Status(), 0u);
    EXPECT_FALSE(vkssim::GetDecoderAudio(0, decoder)->started);
    EXPECT_EQ(load(960).Status(), static_cast<uint32_t>(VKSERROR_ILLEGAL_CALL)) << "a load after the stop";
    CloseHandle(ready);
    CloseHandle(buffered);
}

}  // namespace
