// The audio render thread and the session helpers against the simulated
// decoder and audio endpoint: what the decoder is told, the fill's retry,
// slow configuration, shared and fresh sessions, and a helper that will not
// leave.
#include "audio/audio_helper_process.h"
#include "audio/audio_thread.h"
#include "vksacc.h"
#include "vks_win32/audio_ext.h"
#include "vkssim/sim.h"

#include "core/engine.h"
#include "objects/handle_table.h"
#include "support/process_counts.h"
#include "support/sim_engine_test.h"
#include "support/test_env.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <algorithm>
#include <cstring>
#include <fstream>
#include <optional>
#include <string>
#include <thread>
#include <tuple>
#include <type_traits>

namespace {

using namespace std::chrono_literals;
using Velantis::VKS::AudioHelperProcessManager;

constexpr auto kWait = 5s;

// The manager can never be destroyed, so an audio thread that lets go of a
// helper after the library's static objects are gone finds its lock intact.
static_assert(!std::is_destructible_v<AudioHelperProcessManager>, "the helper manager outlives every holder");

const GUID* AsGuid(const VKSGUID& g) { return reinterpret_cast<const GUID*>(&g); }

// The events a helper process inherited, as the platform handed them over
// (the environment the process started with).
size_t InheritedEventCount(DWORD pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/environ", std::ios::binary);
    const std::string key = "VKS_INHERITED_EVENTS=";
    for (std::string entry; std::getline(in, entry, '\0');)
        if (entry.rfind(key, 0) == 0 && entry.size() > key.size())
            return static_cast<size_t>(std::count(entry.begin(), entry.end(), ',')) + 1;
    return 0;
}

// One device with a network port and two decoders that open with audio.
class AudioThreadTest : public vkstest::SimEngineTest {
protected:
    void SetUp() override {
        SimEngineTest::SetUp();
        VksAudioResetConfiguration();
        VksAudioResetCounters();
        ASSERT_EQ(AddDevice(1, 2), 0);
        Load();
        ASSERT_EQ(VKSDecoderDeviceSetAudioDecodeEnabled(1), VKSERROR_NO_ERROR);
    }
    void TearDown() override {
        for (uint32_t index : {0u, 1u})
            if (decoders_[index] != 0) Close(index);
        SimEngineTest::TearDown();
        VksAudioSetActivateGate(nullptr);
        VksAudioResetConfiguration();
    }

    // Opens decoder `index` with `given` as its session GUID; sessions_[index]
    // holds the GUID the open wrote back.
    HVKS Open(uint32_t index, const VKSGUID& given = {}) {
        sessions_[index] = given;
        EXPECT_EQ(VKSDecoderDeviceOpenEx(index, 0, 0, &decoders_[index], nullptr, &sessions_[index]),
                  VKSERROR_NO_ERROR);
        return decoders_[index];
    }
    static size_t Helpers() { return AudioHelperProcessManager::Instance().EntryCount(); }
    static VKS_AUDIO_STATS Stats() {
        VKS_AUDIO_STATS stats;
        VksAudioGetStats(&stats);
        return stats;
    }
    void Close(uint32_t index) {
        EXPECT_EQ(VKSDecoderDeviceClose(decoders_[index]), VKSERROR_NO_ERROR);
        decoders_[index] = 0;
    }
    static uint32_t DriverHandle(uint32_t channel) {
        const std::optional<vkssim::Object> o = vkssim::FindObject(0, VKSSIM_TYPE_DECODER, channel);
        return o ? o->handle : 0;
    }
    // The driver reports that decoder 0's stream carries audio; then, unless
    // `loads` is 0, the decoder renders that many periods from the endpoint's
    // started stream.
    static void AudioExists(uint32_t loads = 0) {
        ASSERT_TRUE(vkssim::RaiseEvent(0, DriverHandle(0), VKSERROR_AUDIO_EXISTS));
        ASSERT_TRUE(loads == 0 || vkssim::WaitForDecoderAudioLoads(0, DriverHandle(0), loads, kWait));
    }
    // The audio thread stopped (state 5) with its exit code 0 and this result.
    bool EndedWith(const char* result) {
        return !capture_.Matching(std::string("State:5. ExitCode:00000000. ThreadResult:") + result).empty();
    }

    HVKS decoders_[2] = {0, 0};
    VKSGUID sessions_[2] = {};
    vkstest::ScopedRegistry registry_{vkstest::ConfigKey("\"DebugLevel\"=dword:0000001f")};
    vkstest::DebugCapture capture_;
};

TEST_F(AudioThreadTest, DecoderIsToldFormatThenLatencyAndStartsWithTheFrameCounts) {
    // 48 kHz stereo float, 10 ms period.
    const uint64_t mark = vkssim::RequestMark();
    ASSERT_NE(Open(0), 0u);
    AudioExists(3);

    // The format write comes before the latency write.
    std::optional<vkssim::Request> format, latency;
    for (const vkssim::Request& r : vkssim::Requests()) {
        if (r.sequence < mark || r.code != VKSSIM_IOCTL_SET_PARAMETER) continue;
        if (r.U32(28) == 0x800 && !format) format = r;
        if (r.U32(28) == 0x8000 && !latency) latency = r;
    }
    ASSERT_TRUE(format && latency);
    EXPECT_LT(format->sequence, latency->sequence);
    // Block from request offset 32: format at block offset 116, latency at 84.
    // The format record: size, rate, stereo mask, 2 channels of 32 bits, 32
    // valid bits, float, the one, signed.
    std::vector<uint32_t> words;
    for (size_t at = 32 + 116; at < 32 + 116 + 32; at += 4) words.push_back(format->U32(at));
    EXPECT_EQ(words, (std::vector<uint32_t>{32, 48000, 3, 0x00200002, 32, 2, 1, 1}));

    const std::optional<vkssim::DecoderAudioState> state = vkssim::GetDecoderAudio(0, DriverHandle(0));
    ASSERT_TRUE(state);
    EXPECT_EQ(std::tuple(state->frameSize, state->frames250), std::tuple(8u, 12000u));
    // The latency is 250 ms plus the endpoint's buffer, in whole ms. Our
    // endpoint's buffer is 960 frames (270 ms); Wine's shared-mode buffer is
    // its own choice, so the buffer is read back from the start command.
    const uint32_t bufferFrames = state->framesBuffer - state->frames250;
    EXPECT_GE(bufferFrames, 480u);  // at least one 10 ms period
    EXPECT_EQ(latency->U32(32 + 84), 250u + (bufferFrames * 1000u + 24000u) / 48000u);
    EXPECT_TRUE(state->readyEvent != 0 && state->bufferedEvent != 0);

    const uint64_t closeMark = vkssim::RequestMark();
    Close(0);
    EXPECT_TRUE(vkssim::WaitForRequest(VKSSIM_IOCTL_AUDIO_STOP, closeMark, 0ms));
    EXPECT_TRUE(EndedWith("00000000"));
}

TEST_F(AudioThreadTest, AllZeroSessionGuidIsReplacedAndReportedAsTheSessionId) {
    ASSERT_NE(Open(0), 0u);
    ASSERT_NE(Open(1), 0u);
    // Two GUIDs, each written back: a helper for each, found by it.
    EXPECT_EQ(Helpers(), 2u);
    for (const VKSGUID& session : sessions_) {
        const auto helper = AudioHelperProcessManager::Instance().GetSessionProcess(*AsGuid(session));
        ASSERT_NE(helper, nullptr);
        EXPECT_NE(helper->Information().dwProcessId, 0u);
    }

    char text[VKS_AUDIO_SESSION_ID_SIZE + 8];
    std::memset(text, 'x', sizeof(text));
    ASSERT_EQ(VKSDecoderDeviceGetAudioSessionId(decoders_[0], text), VKSERROR_NO_ERROR);
    EXPECT_EQ(std::strlen(text), 38u);
    WCHAR expected[40];
    StringFromGUID2(*AsGuid(sessions_[0]), expected, 40);
    EXPECT_EQ(std::string(text), vkstest::ToUtf8(expected));
    EXPECT_EQ(text[39], 'x');
}

TEST_F(AudioThreadTest, TwoDecodersOfOneSessionShareOneHelperUntilBothClose) {
    const VKSGUID session = {0x7E57A0D1, 0x0001, 0x0002, {1, 2, 3, 4, 5, 6, 7, 8}};
    ASSERT_NE(Open(0, session), 0u);
    ASSERT_NE(Open(1, session), 0u);
    EXPECT_EQ(std::memcmp(&sessions_[0], &sessions_[1], sizeof session), 0);
    EXPECT_EQ(Helpers(), 1u);
    // The helper's stream and the two decoders' streams are in the session.
    EXPECT_TRUE(VksAudioWaitSessionStreamCount(AsGuid(session), 3, 5000));

    Close(0);
    EXPECT_TRUE(VksAudioWaitSessionStreamCount(AsGuid(session), 2, 5000));
    EXPECT_EQ(Helpers(), 1u);
    Close(1);
    // The helper was stopped before the close returned.
    EXPECT_EQ(Helpers(), 0u);
    EXPECT_TRUE(VksAudioWaitSessionStreamCount(AsGuid(session), 0, 5000));
}

TEST_F(AudioThreadTest, FailingLoadCommandsShortenTheFillWithoutSpinning) {
    ASSERT_NE(Open(0), 0u);
    AudioExists(3);
    // Every load now fails while the decoder keeps Data Ready set.
    vkssim::FailWithStatus(VKSSIM_IOCTL_AUDIO_LOAD, VKSERROR_UNEXPECTED);
    const uint64_t mark = vkssim::RequestMark();
    ASSERT_TRUE(VksAudioWaitPeriods(Stats().periods + 20, 5000));
    const size_t loads = Sent(VKSSIM_IOCTL_AUDIO_LOAD, mark).size();
    // About one failed load per period, not a retry loop.
    EXPECT_TRUE(loads >= 10 && loads <= 60) << loads;
    EXPECT_TRUE(capture_.Contains("AudioThreadLoadDecodedAudio: Failed to get"));
    vkssim::ClearFaults();
    // The thread is still rendering: a close stops it normally.
    Close(0);
    EXPECT_TRUE(EndedWith("00000000"));
}

TEST_F(AudioThreadTest, SlowConfigurationIsWaitedForThenAbortsAndDestroysCleanly) {
    HANDLE gate = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    ASSERT_NE(gate, nullptr);
    VksAudioSetActivateGate(gate);  // the thread's stream open waits here
    char text[64];
    // A helper that takes 600 ms to start and an endpoint whose first
    // activation takes a second (a loaded machine) still give the decoder its
    // sound. The delays are the condition under test, not a synchronisation.
    setenv("VKS_AUDIO_HELPER_START_DELAY_MS", "600", 1);
    std::thread release([gate] {
        std::this_thread::sleep_for(1s);
        SetEvent(gate);
    });
    Open(1);
    release.join();
    unsetenv("VKS_AUDIO_HELPER_START_DELAY_MS");
    EXPECT_EQ(VKSDecoderDeviceGetAudioSessionId(decoders_[1], text), VKSERROR_NO_ERROR);
    Close(1);
    ResetEvent(gate);
    capture_.Clear();

    // An endpoint that does not answer within the wait: decoders open
    // without audio here, so that the test drives the thread itself.
    ASSERT_EQ(VKSDecoderDeviceSetAudioDecodeEnabled(0), VKSERROR_NO_ERROR);
    const HVKS decoder = Open(0);
    ASSERT_NE(decoder, 0u);
    EXPECT_EQ(VKSDecoderDeviceGetAudioSessionId(decoder, text), VKSERROR_UNEXPECTED);

    VKSAUDIOTHREAD* thread = nullptr;
    EXPECT_EQ(AudioThreadCreate(&thread, decoder, &sessions_[0]), E_ABORT);
    ASSERT_NE(thread, nullptr);
    EXPECT_TRUE(capture_.Contains("AudioThreadCreate: Thread start wait aborted (WaitResult:00000102)"));
    // A record that is already set is not made again.
    VKSAUDIOTHREAD* const made = thread;
    EXPECT_EQ(AudioThreadCreate(&thread, decoder, &sessions_[0]), E_INVALIDARG);
    EXPECT_EQ(thread, made);
    SetEvent(gate);
    EXPECT_EQ(AudioThreadDestroy(&thread), S_OK);
    EXPECT_EQ(thread, nullptr);
    EXPECT_EQ(AudioThreadDestroy(&thread), E_INVALIDARG);
    VksAudioSetActivateGate(nullptr);
    CloseHandle(gate);
    // The thread finished configuring, met the stop event at its first wait
    // and shut down: a stop request, not a failure.
    EXPECT_TRUE(capture_.Contains("Thread Stop Event whilst waiting for AudioAvailable Event"));
    EXPECT_TRUE(EndedWith("00000000"));
    EXPECT_EQ(Stats().streamsOpen, 0u);
    EXPECT_EQ(Helpers(), 0u);
}

// The decoder's audio faults: each is met where it happens, logged, and the
// thread ends (by itself or at the close) with the result it should keep.
TEST_F(AudioThreadTest, DecoderAudioFaults) {
    const struct {
        vkssim::DecoderAudioFault fault;
        int count;          // -1: every load
        uint32_t loads;     // rendering reached before the close, or
        uint32_t waitCode;  // a command the thread sends, and
        const char* waitLine;
        std::vector<const char*> lines;
        const char* absent;
        const char* result;
    } cases[] = {
        // The pre-fill asked for the whole buffer ({B} frames: 960 on our
        // endpoint, Wine's own size under Wine) and got half ({H}); the retry
        // pass asked for, and got, the other half.
        {vkssim::DecoderAudioFault::ShortDelivery, 1, 4, 0, "AudioThread: Loop Start.",
         {"AudioThreadLoadData: Requested:{B} Recieved:{H} Retry:0.",
          "AudioThreadLoadData: Requested:{H} Recieved:{H} Retry:1.",
          "AudioThreadLoadData: Successfully filled buffer with {H} frames on retry."},
         nullptr, "00000000"},
        // Over-reported frames are clamped and rendering goes on.
        {vkssim::DecoderAudioFault::OverReport, -1, 10, 0, nullptr, {"AudioThreadLoadData: Source reported"},
         "Failed to release buffer", "00000000"},
        // A failing start ends the thread, which still stops the decoder's stream.
        {vkssim::DecoderAudioFault::FailStart, -1, 0, VKSSIM_IOCTL_AUDIO_STOP, "AudioThread: EXIT.",
         {"AudioThread: Error requesting decoded audio stream."}, nullptr, "80040001"},
        // A decoder that delivers nothing is stopped while the thread waits.
        {vkssim::DecoderAudioFault::NoDelivery, -1, 0, VKSSIM_IOCTL_AUDIO_START, nullptr,
         {"Thread Stop Event whilst waiting for DataBuffered Event"}, nullptr, "00000000"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.lines.front());
        ASSERT_TRUE(vkssim::SetDecoderAudio(0, vkssim::DecoderAudio{.fault = c.fault, .faultCount = c.count}));
        capture_.Clear();
        ASSERT_NE(Open(0), 0u);
        const uint64_t mark = vkssim::RequestMark();
        AudioExists(c.loads);
        ASSERT_TRUE(c.waitCode == 0 || vkssim::WaitForRequest(c.waitCode, mark, kWait));
        EXPECT_TRUE(c.waitLine == nullptr || capture_.WaitFor(c.waitLine, kWait));
        const std::optional<vkssim::DecoderAudioState> state = vkssim::GetDecoderAudio(0, DriverHandle(0));
        const uint32_t buffer = state ? state->framesBuffer - state->frames250 : 0;
        Close(0);
        for (std::string line : c.lines) {
            for (const auto& [mark, value] : {std::pair{"{B}", buffer}, std::pair{"{H}", buffer / 2}})
                for (size_t at; (at = line.find(mark)) != std::string::npos;) line.replace(at, 3, std::to_string(value));
            EXPECT_TRUE(capture_.Contains(line)) << line;
        }
        EXPECT_FALSE(c.absent != nullptr && capture_.Contains(c.absent));
        EXPECT_TRUE(EndedWith(c.result));
    }
}

// Each fresh session has its own helper, which inherits its own two events
// and nothing else: neither another session's events nor any other
// inheritable handle of the application. A helper that ignores its stop
// event is terminated.
TEST_F(AudioThreadTest, HelperInheritsOnlyItsOwnEventsAndIsTerminatedIfItIgnoresItsStop) {
    SECURITY_ATTRIBUTES inherit{sizeof(inherit), nullptr, TRUE};
    HANDLE unrelated = CreateEventW(&inherit, TRUE, FALSE, nullptr);
    ASSERT_NE(unrelated, nullptr);
    ASSERT_NE(Open(1), 0u);
    setenv("VKS_AUDIO_HELPER_IGNORE_STOP", "1", 1);
    ASSERT_NE(Open(0), 0u);
    unsetenv("VKS_AUDIO_HELPER_IGNORE_STOP");
    const VKSGUID session = sessions_[0];
    for (const VKSGUID& s : sessions_) {
        const auto helper = AudioHelperProcessManager::Instance().GetSessionProcess(*AsGuid(s));
        ASSERT_NE(helper, nullptr);
        EXPECT_EQ(InheritedEventCount(helper->Information().dwProcessId), 2u);
    }
    CloseHandle(unrelated);
    ASSERT_TRUE(VksAudioWaitSessionStreamCount(AsGuid(session), 2, 5000));
    Close(0);
    EXPECT_EQ(capture_.Matching("LogWaitFailure: Wait timed-out on helper process exit (WaitResult:00000102)").size(),
              1u);
    EXPECT_FALSE(capture_.Contains("after termination"));
    // The helper is gone: its stream no longer counts in the session.
    EXPECT_TRUE(VksAudioWaitSessionStreamCount(AsGuid(session), 0, 5000));
}

// Every step of a decoder open that can fail after the driver made its
// object: the driver is told to close it, the audio thread and its helper go,
// and the process holds as many threads and handles as before.
TEST_F(AudioThreadTest, OpenFailingAfterTheDriverOpenLeavesNothingBehind) {
    // The renderer takes part in the open: the engine is loaded again with it.
    Free();
    vkstest::ScopedDllPath dllPath(vkstest::StandinDir());
    Load();
    ASSERT_NE(Global.hRendererLibrary, nullptr);
    // A retired handle's record (with its lock and closing signal) is issued
    // again at once, so that handle counts compare across opens.
    HandleTableSetTickSource([] {
        static DWORD tick = 0;
        return tick += kHandleReuseDelayMs + 1;
    });
    // One whole decoder life first, so that lazily made process-wide state exists.
    Open(0);
    Close(0);
    ASSERT_TRUE(VksAudioWaitSessionStreamCount(AsGuid(sessions_[0]), 0, 5000));

    // No session GUID (refused as an argument), the renderer's input name
    // failing, and a worker port that is not there refusing the binding.
    enum Fault { kNoSession, kRendererInputName, kPortBinding };
    for (const Fault fault : {kNoSession, kRendererInputName, kPortBinding}) {
        SCOPED_TRACE(fault);
        const DWORD handles = VksOpenHandleCount();
        const size_t threads = vkstest::ThreadCount();
        const LONG opened = Global.OpenDeviceCount;
        const uint64_t mark = vkssim::RequestMark();
        VKSGUID session{};
        HVKS decoder = 0;
        const COMPLETION_PORT workerPort = Global.WorkerCompletionPort;
        if (fault == kRendererInputName)
            vkssim::FailWithStatus(VKSSIM_IOCTL_GET_RENDER_INPUT_NAME, VKSERROR_INVALID_STATE, 1);
        if (fault == kPortBinding) Global.WorkerCompletionPort.hPort = nullptr;
        EXPECT_EQ(VKSDecoderDeviceOpenEx(0, 0, 0, &decoder, nullptr, fault == kNoSession ? nullptr : &session),
                  fault == kNoSession ? VKSERROR_INVALID_ARGUMENT : VKSERROR_INVALID_STATE);
        Global.WorkerCompletionPort = workerPort;
        EXPECT_EQ(decoder, 0u);
        EXPECT_EQ(Sent(VKSSIM_IOCTL_CLOSE, mark).size(), 1u);
        EXPECT_TRUE(vkssim::Objects(0).empty());
        EXPECT_EQ(Global.OpenDeviceCount, opened);
        EXPECT_TRUE(VksAudioWaitSessionStreamCount(AsGuid(session), 0, 5000));
        EXPECT_EQ(VksOpenHandleCount(), handles);
        EXPECT_LE(vkstest::ThreadCountSettledAtMost(threads), threads);
    }
    HandleTableSetTickSource(nullptr);
}

// A close made while another close of the same handle has let its lock go
// (here: from inside it, while its audio thread stops) neither sends the
// close command again nor counts the object off a second time.
TEST_F(AudioThreadTest, SecondCloseOfAHandleBeingClosedDoesNothing) {
    const HVKS decoder = Open(0);
    ASSERT_NE(decoder, 0u);
    const LONG opened = Global.OpenDeviceCount;
    EXPECT_GT(opened, 0);  // the open counted the object
    struct Nested {
        HVKS decoder;
        DWORD status = 0;
        bool done = false;
    } nested{decoder};
    VksSetDebugCapture(
        [](LPCWSTR line, void* context) {
            auto* n = static_cast<Nested*>(context);
            if (!n->done && vkstest::ToUtf8(line).find("AudioThreadDestroy: ENTER") != std::string::npos) {
                n->done = true;
                n->status = VKSDecoderDeviceClose(n->decoder);
            }
        },
        &nested);
    const uint64_t mark = vkssim::RequestMark();
    Close(0);
    VksSetDebugCapture(nullptr, nullptr);
    ASSERT_TRUE(nested.done);
    EXPECT_EQ(nested.status, HANDLEERROR_INVALID_HANDLE);
    EXPECT_EQ(Sent(VKSSIM_IOCTL_CLOSE, mark).size(), 1u);
    EXPECT_EQ(Global.OpenDeviceCount, opened - 1);
}

}  // namespace
