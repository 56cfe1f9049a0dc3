// The audio subsystem's pure parts: frame counts and latency from the
// endpoint's buffer, the format record told to the decoder, status
// conversion and the helper's command line.
#include "audio/audio_bridge.h"
#include "audio/audio_format.h"
#include "audio/audio_helper_process.h"
#include "core/log.h"

#include "support/test_env.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

namespace {

using Velantis::VKS::FormatHelperCommandLine;
using Velantis::VKS::kHelperCommandLineUnits;

// Turns every log level on for the test's duration.
struct LogEverything {
    DWORD saved = std::exchange(g_LogLevelMask, 0x1F);
    ~LogEverything() { g_LogLevelMask = saved; }
};

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
        const AudioStartFrames f = AudioStartFrameCounts(c.rate, c.buffer);
        EXPECT_EQ(std::tuple(f.Frames500, f.Frames250, f.Frames250PlusBuffer, AudioPlaybackLatencyMs(c.rate, c.buffer)),
                  std::tuple(c.frames500, c.frames250, c.frames250 + c.buffer, c.latencyMs));
    }
    EXPECT_DOUBLE_EQ(AudioBufferDurationMs(48000, 960), 20.0);
}

bool Has(const std::string& text, const char* part) { return text.find(part) != std::string::npos; }

// The record as words, so that a mismatch shows which one differs.
std::vector<uint32_t> Words(const AudioRequiredFormat& r) {
    std::vector<uint32_t> words(sizeof r / 4);
    std::memcpy(words.data(), &r, sizeof r);
    return words;
}

// Every field from the wave format; a format the decoder cannot be told is
// logged as an error.
TEST(AudioRequiredFormatMapping, SampleTypeSignAndValidBits) {
    LogEverything all;
    vkstest::DebugCapture capture;
    const GUID other = {0x12345678, 0x9ABC, 0xDEF0, {0x01, 0x23, 0x45, 0x67, 0x89, 0xAB, 0xCD, 0xEF}};
    const uint32_t stereo = KSAUDIO_SPEAKER_STEREO;
    struct Case {
        WORD tag;  // WAVE_FORMAT_PCM, or extensible, or another tag
        const GUID* subFormat;
        WORD bits, validBits;
        uint32_t mask;  // what the record must hold
        WORD wantValid;
        uint32_t type;
        uint8_t isSigned;
        const char* log = "";  // the error logged, if any
    };
    for (const Case& c : {
             Case{WAVE_FORMAT_PCM, &KSDATAFORMAT_SUBTYPE_PCM, 8, 0, 0, 8, kAudioSampleInteger, 0},
             Case{WAVE_FORMAT_PCM, &KSDATAFORMAT_SUBTYPE_PCM, 16, 0, 0, 16, kAudioSampleInteger, 1},
             Case{WAVE_FORMAT_EXTENSIBLE, &KSDATAFORMAT_SUBTYPE_PCM, 32, 24, stereo, 24, kAudioSampleInteger, 1},
             Case{WAVE_FORMAT_EXTENSIBLE, &KSDATAFORMAT_SUBTYPE_IEEE_FLOAT, 32, 32, stereo, 32, kAudioSampleFloat, 1},
             Case{WAVE_FORMAT_EXTENSIBLE, &other, 32, 32, stereo, 32, kAudioSampleUnknown, 1,
                  "Unhandled WAVE_FORMAT_EXTENSIBLE SubFormat:{12345678-9ABC-DEF0-0123-456789ABCDEF}"},
             Case{0x0055, &other, 16, 0, 0, 16, kAudioSampleUnknown, 1, "Unhandled WAVE_FORMAT:0x0055"}}) {
        SCOPED_TRACE(testing::Message() << c.tag << " " << c.bits << " type " << c.type);
        // 48 kHz stereo; the extension's 22 bytes only with its tag.
        const WORD block = static_cast<WORD>(2 * c.bits / 8);
        const WORD extension = c.tag == WAVE_FORMAT_EXTENSIBLE ? 22 : 0;
        const WAVEFORMATEXTENSIBLE f{{c.tag, 2, 48000, 48000u * block, block, c.bits, extension},
                                    {c.validBits}, KSAUDIO_SPEAKER_STEREO, *c.subFormat};
        capture.Clear();
        AudioRequiredFormat r;
        std::memset(&r, 0xAB, sizeof(r));
        FillRequiredFormat(&f.Format, &r);
        EXPECT_EQ(Words(r), Words({32, 48000, c.mask, 2, c.bits, c.wantValid, 0, c.type, 1, c.isSigned, {}}));
        const std::vector<std::string> logged = capture.Matching("Unhandled");
        EXPECT_EQ(logged.size(), *c.log != 0 ? 1u : 0u);
        for (const std::string& line : logged) EXPECT_TRUE(Has(line, "ERROR") && Has(line, c.log)) << line;
    }
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
    // 91 characters, terminated.
    EXPECT_EQ(vkstest::ToUtf8(line),
              "742AudioHelper.exe {0A0B0C0D-1122-3344-5566-778899AABBCC} 0000000000000ABC FEDCBA9876543210");
}

}  // namespace
