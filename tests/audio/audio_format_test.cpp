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

TEST(AudioFrameCounts, At48kHzA960FrameBufferGives20MsAnd270MsAndTheStartCounts) {
    EXPECT_DOUBLE_EQ(AudioBufferDurationMs(48000, 960), 20.0);
    EXPECT_EQ(AudioPlaybackLatencyMs(48000, 960), 270u);
    const AudioStartFrames frames = AudioStartFrameCounts(48000, 960);
    EXPECT_EQ(frames.Frames500, 24000u);
    EXPECT_EQ(frames.Frames250, 12000u);
    EXPECT_EQ(frames.Frames250PlusBuffer, 12960u);
}

TEST(AudioFrameCounts, FractionalFramesRoundUpAndLatencyRoundsHalvesAway) {
    // 44100 Hz, 882 frames: 20 ms exactly; 11025 frames in 250 ms.
    const AudioStartFrames frames = AudioStartFrameCounts(44100, 882);
    EXPECT_EQ(frames.Frames250, 11025u);
    EXPECT_EQ(frames.Frames500, 22050u);
    EXPECT_EQ(frames.Frames250PlusBuffer, 11025u + 882u);
    // 22050 Hz, 11 frames: 0.4988 ms -> 250; 12 frames: 0.544 ms -> 251.
    EXPECT_EQ(AudioPlaybackLatencyMs(22050, 11), 250u);
    EXPECT_EQ(AudioPlaybackLatencyMs(22050, 12), 251u);
    // 11025 frames in 250 ms at 44100; 250 ms at 8001 Hz is 2000.25 frames: 2001.
    EXPECT_EQ(AudioStartFrameCounts(8001, 160).Frames250, 2001u);
}

TEST(AudioRequiredFormatMapping, EveryFieldOfExtensibleFloat) {
    const WAVEFORMATEXTENSIBLE f = Extensible(KSDATAFORMAT_SUBTYPE_IEEE_FLOAT, 32, 32);
    AudioRequiredFormat r;
    std::memset(&r, 0xAB, sizeof(r));
    FillRequiredFormat(&f.Format, &r);
    EXPECT_EQ(r.Size, 32u);
    EXPECT_EQ(r.SamplesPerSec, 48000u);
    EXPECT_EQ(r.ChannelMask, static_cast<uint32_t>(KSAUDIO_SPEAKER_STEREO));
    EXPECT_EQ(r.Channels, 2);
    EXPECT_EQ(r.BitsPerSample, 32);
    EXPECT_EQ(r.ValidBitsPerSample, 32);
    EXPECT_EQ(r.SampleType, kAudioSampleFloat);
    EXPECT_EQ(r.One, 1u);
    EXPECT_EQ(r.Signed, 1);
    EXPECT_EQ(r.Reserved18, 0);
    EXPECT_EQ(r.Reserved29[0] | r.Reserved29[1] | r.Reserved29[2], 0);
}

TEST(AudioRequiredFormatMapping, SampleTypeSignAndValidBits) {
    struct Case {
        WORD tag;  // WAVE_FORMAT_PCM, or extensible PCM
        WORD bits, validBits;
        uint32_t type;
        uint8_t isSigned;
        WORD wantValid;
        uint32_t mask;
    };
    for (const Case& c : {Case{WAVE_FORMAT_PCM, 8, 0, kAudioSampleInteger, 0, 8, 0},  // 8-bit PCM is unsigned
                          Case{WAVE_FORMAT_PCM, 16, 0, kAudioSampleInteger, 1, 16, 0},
                          Case{WAVE_FORMAT_EXTENSIBLE, 32, 24, kAudioSampleInteger, 1, 24,
                               static_cast<uint32_t>(KSAUDIO_SPEAKER_STEREO)}}) {
        WAVEFORMATEXTENSIBLE f = Extensible(KSDATAFORMAT_SUBTYPE_PCM, c.bits, c.validBits);
        if (c.tag == WAVE_FORMAT_PCM) {
            f.Format.wFormatTag = WAVE_FORMAT_PCM;
            f.Format.cbSize = 0;
        }
        AudioRequiredFormat r;
        FillRequiredFormat(&f.Format, &r);
        EXPECT_EQ(r.SampleType, c.type) << c.bits;
        EXPECT_EQ(r.Signed, c.isSigned) << c.bits;
        EXPECT_EQ(r.BitsPerSample, c.bits);
        EXPECT_EQ(r.ValidBitsPerSample, c.wantValid) << c.bits;
        EXPECT_EQ(r.ChannelMask, c.mask) << c.bits;
    }
}

TEST(AudioRequiredFormatMapping, UnknownSubFormatIsLoggedAndLeftUnknown) {
    LogEverything all;
    vkstest::DebugCapture capture;
    const GUID other = {0x12345678, 0x9ABC, 0xDEF0, {0x01, 0x23, 0x45, 0x67, 0x89, 0xAB, 0xCD, 0xEF}};
    const WAVEFORMATEXTENSIBLE f = Extensible(other, 32, 32);
    AudioRequiredFormat r;
    FillRequiredFormat(&f.Format, &r);
    EXPECT_EQ(r.SampleType, kAudioSampleUnknown);
    EXPECT_EQ(r.One, 1u);
    EXPECT_EQ(r.Signed, 1);
    const auto lines = capture.Matching("Unhandled WAVE_FORMAT_EXTENSIBLE SubFormat:{12345678-9ABC-DEF0-0123-456789ABCDEF}");
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_NE(lines[0].find("ERROR"), std::string::npos);
}

TEST(AudioRequiredFormatMapping, UnknownTagIsLogged) {
    LogEverything all;
    vkstest::DebugCapture capture;
    WAVEFORMATEX f{};
    f.wFormatTag = 0x0055;
    f.wBitsPerSample = 16;
    AudioRequiredFormat r;
    FillRequiredFormat(&f, &r);
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

TEST(AudioSessionHash, FollowsTheFieldRuleAndSeparatesFields) {
    const GUID zero{};
    // Every field of the zero GUID hashes to the FNV-1a of zero bytes; the
    // result is the rotate-and-xor of eleven such values.
    auto fnv = [](const uint8_t* p, size_t n) {
        uint64_t h = 0xCBF29CE484222325ull;
        for (size_t i = 0; i < n; ++i) h = (h ^ p[i]) * 0x100000001B3ull;
        return h;
    };
    const uint8_t zeros[4] = {};
    uint64_t expected = 0;
    const size_t sizes[11] = {4, 2, 2, 1, 1, 1, 1, 1, 1, 1, 1};
    for (size_t size : sizes) expected = ((expected << 1) | (expected >> 63)) ^ fnv(zeros, size);
    EXPECT_EQ(SessionGuidHash{}(zero), static_cast<size_t>(expected));
    // GUIDs that differ in one byte anywhere hash apart.
    std::unordered_set<size_t> hashes;
    for (int byte = 0; byte < 16; ++byte) {
        GUID g{};
        reinterpret_cast<uint8_t*>(&g)[byte] = 1;
        hashes.insert(SessionGuidHash{}(g));
    }
    EXPECT_EQ(hashes.size(), 16u);
}

}  // namespace
