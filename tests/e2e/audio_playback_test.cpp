// End to end: an application plays a local file with audio through a decoder
// for a few seconds; the simulated endpoint records what it played. Every
// period must have found its frames (no underrun) and the recording must be
// the decoder's tone without a gap from its first frame to its last.
#include "vksacc.h"
#include "vks_platform.h"
#include "vks_win32/audio_ext.h"
#include "vkssim/sim.h"

#include "support/callback_recorder.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

using namespace std::chrono_literals;
using vkstest::CallbackRecorder;

constexpr uint32_t kRate = 48000;
constexpr uint32_t kToneHz = 750;
constexpr uint64_t kSecondsPlayed = 3;

std::string TempPath(const char* stem) {
    std::string pattern = std::string("/tmp/") + stem + "-XXXXXX";
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back(0);
    const int fd = mkstemp(buffer.data());
    if (fd >= 0) close(fd);
    return buffer.data();
}

// The float samples of a WAV file's data chunk (empty if it is not one).
std::vector<float> ReadFloatWav(const std::string& path, uint16_t* channels) {
    std::ifstream in(path, std::ios::binary);
    const std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::vector<float> samples;
    if (bytes.size() < 12 || std::memcmp(bytes.data(), "RIFF", 4) != 0 || std::memcmp(bytes.data() + 8, "WAVE", 4) != 0)
        return samples;
    size_t at = 12;
    uint16_t bits = 0;
    while (at + 8 <= bytes.size()) {
        uint32_t size = 0;
        std::memcpy(&size, bytes.data() + at + 4, 4);
        const uint8_t* body = bytes.data() + at + 8;
        if (std::memcmp(bytes.data() + at, "fmt ", 4) == 0) {
            std::memcpy(channels, body + 2, 2);
            std::memcpy(&bits, body + 14, 2);
        } else if (std::memcmp(bytes.data() + at, "data", 4) == 0 && bits == 32) {
            const size_t available = std::min<size_t>(size, bytes.size() - (at + 8));
            samples.resize(available / 4);
            std::memcpy(samples.data(), body, samples.size() * 4);
            return samples;
        }
        at += 8 + size + (size & 1);
    }
    return samples;
}

TEST(AudioPlayback, AStreamWithAudioPlaysAContinuousToneWithoutGlitches) {
    vkssim::Reset();
    vkssim::DeviceConfig config;
    config.inputs[VKSSIM_TYPE_NETWORK] = 1;
    config.inputs[VKSSIM_TYPE_DECODER] = 1;
    config.streamAudio = true;
    config.audioToneHz = kToneHz;
    ASSERT_EQ(vkssim::AddDevice(config), 0);

    const std::string media = TempPath("vks-audio-media");
    std::vector<char> contents(256 * 1024, 'm');
    std::ofstream(media, std::ios::binary).write(contents.data(), static_cast<std::streamsize>(contents.size()));
    const std::string recording = TempPath("vks-audio-recording");
    VksAudioResetConfiguration();  // 48 kHz stereo float, 10 ms periods
    ASSERT_TRUE(VksAudioSetRecordFile(recording.c_str()));
    VksAudioResetCounters();

    VKSHENGINE engine = nullptr;
    ASSERT_EQ(VKSEngineLoad(&engine), VKSERROR_NO_ERROR);
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
    EXPECT_EQ(VKSEngineFree(engine), VKSERROR_NO_ERROR);
    VKS_AUDIO_STATS stats;
    VksAudioGetStats(&stats);
    VksAudioSetRecordFile(nullptr);
    vkssim::Reset();

    EXPECT_EQ(stats.underruns, 0u);
    EXPECT_EQ(stats.streamsOpen, 0u);
    EXPECT_EQ(stats.mmcssTasks, 0u);
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
    for (size_t k = 0; k < frames; ++k) {
        const float expected = static_cast<float>(vkssim::DecoderAudioTone(kToneHz, kRate, k));
        for (size_t c = 0; c < 2; ++c) {
            if (std::fabs(samples[2 * k + c] - expected) > 1e-6f) {
                if (mismatches++ == 0) firstMismatch = k;
            }
        }
    }
    EXPECT_EQ(mismatches, 0u) << "first at frame " << firstMismatch << " of " << frames;
}

}  // namespace
