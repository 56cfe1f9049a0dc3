// The audio subsystem's pure parts: frame counts and latency from the
// endpoint's buffer, the format record told to the decoder, status
// conversion, the session hash and the helper's command line.
#include "audio/audio_bridge.h"
#include "audio/audio_format.h"
#include "audio/audio_helper_process.h"
#include "core/log.h"

#include "support/test_env.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <unordered_set>

namespace {

using Velantis::VKS::FormatHelperCommandLine;
using Velantis::VKS::kHelperCommandLineUnits;
using Velantis::VKS::SessionGuidHash;

// Turns every log level on for the test's duration.
class LogEverything {
public:
    LogEverything() : saved_(g_LogLevelMask) { g_LogLevelMask = 0x1F; }
    ~LogEverything() { g_LogLevelMask = saved_; }

private:
    DWORD saved_;
};

WAVEFORMATEXTENSIBLE Extensible(const GUID& subFormat, WORD bits, WORD validBits) {
    WAVEFORMATEXTENSIBLE f{};
    f.Format.wFormatTag = WAVE_FORMAT_EXTENSIBLE;
    f.Format.nChannels = 2;
    f.Format.nSamplesPerSec = 48000;
    f.Format.wBitsPerSample = bits;
    f.Format.nBlockAlign = static_cast<WORD>(2 * bits / 8);
    f.Format.nAvgBytesPerSec = 48000u * f.Format.nBlockAlign;
    f.Format.cbSize = 22;
    f.Samples.wValidBitsPerSample = validBits;
    f.dwChannelMask = KSAUDIO_SPEAKER_STEREO;
    f.SubFormat = subFormat;
    return f;
}

// Frame counts round up, the latency (250 ms and the buffer) rounds halves away.
TEST(AudioFrameCounts, FromRateAndBufferFrames) {
    const struct {
        DWORD rate, buffer;
        UINT32 frames500, frames250, latencyMs;
    } cases[] = {
        {48000, 960, 24000, 12000, 270},
        {44100, 882, 22050, 11025, 270},
        {22050, 11, 11025, 5513, 250},  // 0.4988 ms
        {22050, 12, 11025, 5513, 251},  // 0.544 ms
        {8001, 160, 4001, 2001, 270},   // 2000.25 frames in 250 ms
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.rate);
        const AudioStartFrames frames = AudioStartFrameCounts(c.rate, c.buffer);
        EXPECT_EQ(frames.Frames500, c.frames500);
        EXPECT_EQ(frames.Frames250, c.frames250);
        EXPECT_EQ(frames.Frames250PlusBuffer, c.frames250 + c.buffer);
        EXPECT_EQ(AudioPlaybackLatencyMs(c.rate, c.buffer), c.latencyMs);
    }
    EXPECT_DOUBLE_EQ(AudioBufferDurationMs(48000, 960), 20.0);
}

TEST(AudioRequiredFormatMapping, SampleTypeSignAndValidBits) {
    const GUID other = {0x12345678, 0x9ABC, 0xDEF0, {0x01, 0x23, 0x45, 0x67, 0x89, 0xAB, 0xCD, 0xEF}};
    const uint32_t stereo = KSAUDIO_SPEAKER_STEREO;
    struct Case {
        WORD tag;  // WAVE_FORMAT_PCM, or extensible
        const GUID* subFormat;
        WORD bits, validBits;
        uint32_t type;
        uint8_t isSigned;
        WORD wantValid;
        uint32_t mask;
    };
    for (const Case& c : {Case{WAVE_FORMAT_PCM, &KSDATAFORMAT_SUBTYPE_PCM, 8, 0, kAudioSampleInteger, 0, 8, 0},
                          Case{WAVE_FORMAT_PCM, &KSDATAFORMAT_SUBTYPE_PCM, 16, 0, kAudioSampleInteger, 1, 16, 0},
                          Case{WAVE_FORMAT_EXTENSIBLE, &KSDATAFORMAT_SUBTYPE_PCM, 32, 24, kAudioSampleInteger, 1, 24,
                               stereo},
                          Case{WAVE_FORMAT_EXTENSIBLE, &KSDATAFORMAT_SUBTYPE_IEEE_FLOAT, 32, 32, kAudioSampleFloat, 1,
                               32, stereo},
                          Case{WAVE_FORMAT_EXTENSIBLE, &other, 32, 32, kAudioSampleUnknown, 1, 32, stereo}}) {
        SCOPED_TRACE(testing::Message() << c.bits << " type " << c.type);
        WAVEFORMATEXTENSIBLE f = Extensible(*c.subFormat, c.bits, c.validBits);
        if (c.tag == WAVE_FORMAT_PCM) {
            f.Format.wFormatTag = WAVE_FORMAT_PCM;
            f.Format.cbSize = 0;
        }
        AudioRequiredFormat r;
        std::memset(&r, 0xAB, sizeof(r));
        FillRequiredFormat(&f.Format, &r);
        EXPECT_EQ(r.Size, 32u);
        EXPECT_EQ(r.SamplesPerSec, 48000u);
        EXPECT_EQ(r.Channels, 2);
        EXPECT_EQ(r.SampleType, c.type);
        EXPECT_EQ(r.Signed, c.isSigned);
        EXPECT_EQ(r.BitsPerSample, c.bits);
        EXPECT_EQ(r.ValidBitsPerSample, c.wantValid);
        EXPECT_EQ(r.ChannelMask, c.mask);
        EXPECT_EQ(r.One, 1u);
        EXPECT_EQ(r.Reserved18, 0);
        EXPECT_EQ(r.Reserved29[0] | r.Reserved29[1] | r.Reserved29[2], 0);
    }
}

// A format the decoder cannot be told is logged as an error.
TEST(AudioRequiredFormatMapping, UnknownFormatsAreLogged) {
    LogEverything all;
    vkstest::DebugCapture capture;
    const GUID other = {0x12345678, 0x9ABC, 0xDEF0, {0x01, 0x23, 0x45, 0x67, 0x89, 0xAB, 0xCD, 0xEF}};
    const WAVEFORMATEXTENSIBLE f = Extensible(other, 32, 32);
    AudioRequiredFormat r;
    FillRequiredFormat(&f.Format, &r);
    const auto lines = capture.Matching("Unhandled WAVE_FORMAT_EXTENSIBLE SubFormat:{12345678-9ABC-DEF0-0123-456789ABCDEF}");
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_NE(lines[0].find("ERROR"), std::string::npos);
    WAVEFORMATEX tagged{};
    tagged.wFormatTag = 0x0055;
    tagged.wBitsPerSample = 16;
    FillRequiredFormat(&tagged, &r);
    EXPECT_EQ(r.SampleType, kAudioSampleUnknown);
    EXPECT_TRUE(capture.Contains("Unhandled WAVE_FORMAT:0x0055"));
}

TEST(AudioStatusConversion, NotificationsSucceedErrorsFailOthersAreUnexpected) {
    EXPECT_EQ(HResultFromVKSError(0), S_OK);
    EXPECT_EQ(static_cast<uint32_t>(HResultFromVKSError(0x01340005u)), 0x80040005u);
    EXPECT_EQ(static_cast<uint32_t>(HResultFromVKSError(0x01342400u)), 0x00042400u);
    EXPECT_EQ(static_cast<uint32_t>(HResultFromVKSError(0x013423FFu)), 0x800423FFu);
    LogEverything all;
    vkstest::DebugCapture capture;
    EXPECT_EQ(HResultFromVKSError(1), E_UNEXPECTED);
    EXPECT_TRUE(capture.Contains("Not an VKSERROR:00000001"));
}

TEST(AudioHelperCommandLine, IsAlways91CharactersWithUpperCaseHandles) {
    const GUID session = {0x0A0B0C0D, 0x1122, 0x3344, {0x55, 0x66, 0x77, 0x88, 0x99, 0xAA, 0xBB, 0xCC}};
    WCHAR line[kHelperCommandLineUnits];
    FormatHelperCommandLine(session, reinterpret_cast<HANDLE>(0xabcULL), reinterpret_cast<HANDLE>(0xFEDCBA9876543210ULL),
                            line);
    EXPECT_EQ(vkstest::ToUtf8(line),
              "742AudioHelper.exe {0A0B0C0D-1122-3344-5566-778899AABBCC} 0000000000000ABC FEDCBA9876543210");
    EXPECT_EQ(std::char_traits<char16_t>::length(line), 91u);
}

// GUIDs that differ in one byte anywhere hash apart.
TEST(AudioSessionHash, EveryByteCounts) {
    std::unordered_set<size_t> hashes;
    for (int byte = 0; byte < 16; ++byte) {
        GUID g{};
        reinterpret_cast<uint8_t*>(&g)[byte] = 1;
        hashes.insert(SessionGuidHash{}(g));
    }
    hashes.insert(SessionGuidHash{}(GUID{}));
    EXPECT_EQ(hashes.size(), 17u);
}

}  // namespace
