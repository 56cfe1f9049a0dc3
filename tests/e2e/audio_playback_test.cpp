// End to end: an application plays a local file with audio through a decoder
// for a few seconds; the simulated endpoint records what it played. Every
// period must have found its frames (no underrun) and the recording must be
// the decoder's tone without a gap from its first frame to its last.
#include "vksacc.h"
#include "vks_platform.h"
#include "vks_win32/audio_ext.h"
#include "vkssim/sim.h"

#include "support/bytes.h"
#include "support/callback_recorder.h"
#include "support/sim_engine_test.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <tuple>
#include <vector>

namespace {

using namespace std::chrono_literals;
using vkstest::CallbackRecorder;
using vkstest::U16;
using vkstest::U32;

constexpr uint32_t kRate = 48000;
constexpr uint32_t kToneHz = 750;
constexpr uint64_t kSecondsPlayed = 3;

// The float samples of the endpoint's recording: its fmt chunk comes first,
// the data chunk right after it (empty if the file is not such a WAV file).
std::vector<float> ReadFloatWav(const std::string& path, uint16_t* channels) {
    std::ifstream in(path, std::ios::binary);
    const std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const size_t data = bytes.size() < 36 ? 0 : 20 + U32(bytes, 16);
    if (data == 0 || std::memcmp(bytes.data(), "RIFF", 4) != 0 || std::memcmp(bytes.data() + 8, "WAVEfmt ", 8) != 0 ||
        U16(bytes.data(), 34) != 32 || data + 8 > bytes.size() || std::memcmp(bytes.data() + data, "data", 4) != 0)
        return {};
    *channels = U16(bytes.data(), 22);
    std::vector<float> samples(std::min<size_t>(U32(bytes, data + 4), bytes.size() - data - 8) / 4);
    std::memcpy(samples.data(), bytes.data() + data + 8, samples.size() * 4);
    return samples;
}

using AudioPlayback = vkstest::SimEngineTest;

TEST_F(AudioPlayback, AStreamWithAudioPlaysAContinuousToneWithoutGlitches) {
    vkssim::DeviceConfig config;
    config.inputs[VKSSIM_TYPE_NETWORK] = 1;
    config.inputs[VKSSIM_TYPE_DECODER] = 1;
    config.streamAudio = true;
    config.audioToneHz = kToneHz;
    ASSERT_EQ(vkssim::AddDevice(config), 0);

    const std::string media = "/tmp/vks-audio-media-" + std::to_string(GetCurrentProcessId());
    std::ofstream(media, std::ios::binary) << std::string(256 * 1024, 'm');
    const std::string recording = media + ".wav";
    VksAudioResetConfiguration();  // 48 kHz stereo float, 10 ms periods
    ASSERT_TRUE(VksAudioSetRecordFile(recording.c_str()));
    VksAudioResetCounters();

    Load();
    ASSERT_EQ(VKSDecoderDeviceSetAudioDecodeEnabled(1), VKSERROR_NO_ERROR);
    HVKS stream = 0, decoder = 0;
    ASSERT_EQ(VKSNetworkStreamOpenExA(0, ("file://" + media).c_str(), 0, &stream, nullptr), VKSERROR_NO_ERROR);
    VKSGUID session{};
    ASSERT_EQ(VKSDecoderDeviceOpenEx(0, 0, 0, &decoder, nullptr, &session), VKSERROR_NO_ERROR);
    char sessionId[VKS_AUDIO_SESSION_ID_SIZE];
    ASSERT_EQ(VKSDecoderDeviceGetAudioSessionId(decoder, sessionId), VKSERROR_NO_ERROR);
    CallbackRecorder decoderErrors;
    ASSERT_EQ(VKSDecoderDeviceSetErrorFn(nullptr, 0, decoder, &CallbackRecorder::DecoderError, &decoderErrors),
              VKSERROR_NO_ERROR);
    ASSERT_EQ(VKSDecoderDeviceSetState(stream, 0, decoder, 2), VKSERROR_NO_ERROR);
    ASSERT_TRUE(decoderErrors.WaitForStatus(VKSERROR_AUDIO_EXISTS, 10s));

    // A few seconds of sound, counted by the endpoint.
    ASSERT_TRUE(VksAudioWaitFramesPlayed(kSecondsPlayed * kRate, 20000));
    EXPECT_EQ(VKSDecoderDeviceClose(decoder), VKSERROR_NO_ERROR);
    EXPECT_EQ(VKSNetworkStreamClose(stream), VKSERROR_NO_ERROR);
    Free();
    VKS_AUDIO_STATS stats;
    VksAudioGetStats(&stats);
    VksAudioSetRecordFile(nullptr);

    // No underrun, and every stream and MMCSS task ended.
    EXPECT_EQ(std::tuple(stats.underruns, stats.streamsOpen, stats.mmcssTasks), std::tuple(0u, 0u, 0u));
    EXPECT_GE(stats.framesPlayed, kSecondsPlayed * kRate);

    uint16_t channels = 0;
    const std::vector<float> samples = ReadFloatWav(recording, &channels);
    std::remove(recording.c_str());
    std::remove(media.c_str());
    ASSERT_EQ(channels, 2);
    const size_t frames = samples.size() / 2;
    ASSERT_GE(frames, kSecondsPlayed * kRate);
    // The first recorded frame is the decoder's first: the tone from phase 0.
    size_t mismatches = 0, firstMismatch = 0;
    for (size_t i = 0; i < 2 * frames; ++i) {
        const float expected = static_cast<float>(vkssim::DecoderAudioTone(kToneHz, kRate, i / 2));
        if (std::fabs(samples[i] - expected) > 1e-6f && mismatches++ == 0) firstMismatch = i / 2;
    }
    EXPECT_EQ(mismatches, 0u) << "first at frame " << firstMismatch << " of " << frames;
}

}  // namespace
