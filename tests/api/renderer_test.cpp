// The renderer bridge against the vidpane stand-in: which renderer calls a
// decoder's life makes and in which order, a rendering library lacking one
// entry point or missing altogether, and the pass-through exports.
#include "vksacc.h"
#include "vks_platform.h"
#include "vkssim/sim.h"

#include "support/sim_engine_test.h"
#include "support/callback_recorder.h"
#include "support/test_env.h"
#include "vidpane/vidpane_standin.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

using namespace std::chrono_literals;
using vkstest::CallbackRecorder;

namespace {

constexpr uint32_t kLoadValue = 0x5E01;  // the stand-in's default engine value
const VKSHWND kWindow1 = reinterpret_cast<VKSHWND>(static_cast<uintptr_t>(0x10A0));
const VKSHWND kWindow2 = reinterpret_cast<VKSHWND>(static_cast<uintptr_t>(0x20B0));

uint64_t Bits(VKSHWND window) { return reinterpret_cast<uintptr_t>(window); }
std::string MissingOneDir() { return vkstest::StandinDir() + "/vidpane_missing_one"; }

// The stand-in, loaded by the test itself so that its record outlives the
// engine's own reference, with its test surface resolved by name.
class Standin {
public:
    ~Standin() {
        if (module_ != nullptr) FreeLibrary(module_);
    }
    bool Load(const std::string& folder) {
        const std::string path = folder + "/vidpane.dll";
        const std::u16string wide(path.begin(), path.end());
        module_ = LoadLibraryW(wide.c_str());
        const bool ok = module_ != nullptr && Resolve(Reset, "VidpaneStandin_Reset") &&
                        Resolve(CallCount, "VidpaneStandin_CallCount") && Resolve(GetCall, "VidpaneStandin_GetCall") &&
                        Resolve(FailNext, "VidpaneStandin_FailNext") &&
                        Resolve(SetLoadValue, "VidpaneStandin_SetLoadValue") &&
                        Resolve(GetInput, "VidpaneStandin_GetInput") &&
                        Resolve(OpenInputCount, "VidpaneStandin_OpenInputCount") &&
                        Resolve(SetCallHook, "VidpaneStandin_SetCallHook");
        if (ok) Reset();
        return ok;
    }
    std::vector<VidpaneStandinCall> Calls() const {
        std::vector<VidpaneStandinCall> calls(CallCount());
        for (size_t i = 0; i < calls.size(); ++i) GetCall(i, &calls[i]);
        return calls;
    }

    VidpaneStandin_ResetFn Reset = nullptr;
    VidpaneStandin_CallCountFn CallCount = nullptr;
    VidpaneStandin_GetCallFn GetCall = nullptr;
    VidpaneStandin_FailNextFn FailNext = nullptr;
    VidpaneStandin_SetLoadValueFn SetLoadValue = nullptr;
    VidpaneStandin_GetInputFn GetInput = nullptr;
    VidpaneStandin_OpenInputCountFn OpenInputCount = nullptr;
    VidpaneStandin_SetCallHookFn SetCallHook = nullptr;

private:
    template <typename Fn>
    bool Resolve(Fn& fn, const char* name) {
        fn = reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(module_, name)));
        return fn != nullptr;
    }
    HMODULE module_ = nullptr;
};

// A call in a form that reads well in a failed comparison (fields a function
// does not have are 0).
std::string Make(const char* function, uint32_t engine, uint32_t hAcc, uint32_t value1, uint32_t value2,
                 uint64_t pointer) {
    char text[160];
    std::snprintf(text, sizeof text, "%s(engine %#x, input %#x, %#x, %u, %#llx)", function, engine, hAcc, value1,
                  value2, static_cast<unsigned long long>(pointer));
    return text;
}
std::string Describe(const VidpaneStandinCall& c) {
    return Make(c.Function, c.Engine, c.HAcc, c.Value1, c.Value2, c.Pointer);
}
std::vector<std::string> Describe(const std::vector<VidpaneStandinCall>& calls) {
    std::vector<std::string> out;
    for (const auto& c : calls) out.push_back(Describe(c));
    return out;
}
// ACCLoad and ACCFree carry the engine value, the others a first value.
std::string Call(const char* function, uint32_t hAcc, uint32_t value) {
    const bool engine = std::strcmp(function, "ACCLoad") == 0 || std::strcmp(function, "ACCFree") == 0;
    return Make(function, engine ? value : 0, hAcc, engine ? 0 : value, 0, 0);
}
std::string Open(uint32_t driverHandle, uint32_t hAcc) { return Make("ACCDeviceInputOpen", 0, hAcc, driverHandle, 2, 0); }
std::string Window(uint32_t hAcc, VKSHWND window) { return Make("ACCSetWindow", 0, hAcc, 0, 0, Bits(window)); }

std::u16string Text(const uint16_t* units, size_t count) { return std::u16string(units, units + count); }

class RendererTest : public vkstest::SimEngineTest {
protected:
    void SetUp() override {
        SimEngineTest::SetUp();
        AddDevice(1, 2, 1);
    }
    // The engine's free closes what a test leaves open.
    // Loads the stand-in where the engine will find it, then the engine.
    void LoadWithStandin() {
        dllPath_ = std::make_unique<vkstest::ScopedDllPath>(vkstest::StandinDir());
        ASSERT_TRUE(standin_.Load(vkstest::StandinDir()));
        Load();
    }
    // The stand-in and the engine, a stream, and decoder 0 with its input.
    void StartDecoder() {
        ASSERT_NO_FATAL_FAILURE(LoadWithStandin());
        ASSERT_EQ(VKSNetworkStreamOpenExA(0, "udp://239.1.1.1:5000", 0, &stream_, nullptr), VKSERROR_NO_ERROR);
        decoder_ = OpenDecoder(0);
        ASSERT_NE(decoder_, 0u);
        hAcc_ = standin_.Calls()[1].HAcc;
        ASSERT_EQ(VKSDecoderDeviceSetErrorFn(nullptr, 0, decoder_, &CallbackRecorder::DecoderError, &recorder_),
                  VKSERROR_NO_ERROR);
    }
    static VKSERROR TryOpenDecoder(HVKS* handle) {
        VKSGUID session{};
        return VKSDecoderDeviceOpenEx(0, 0, 0, handle, nullptr, &session);
    }
    // The driver's handle of the decoder on a channel.
    static uint32_t Driver(uint32_t channel) { return DriverHandle(0, VKSSIM_TYPE_DECODER, channel); }
    // Raises the first-frame event for decoder 0 and waits until its error
    // function has seen it (the renderer call comes before that).
    void RaiseFirstFrame() {
        const size_t seen = recorder_.Calls().size();
        ASSERT_TRUE(vkssim::RaiseEvent(0, Driver(0), VKSERROR_DECODED_FIRST_FRAME));
        ASSERT_TRUE(recorder_.WaitFor(seen + 1));
        EXPECT_EQ(recorder_.Calls()[seen].status, VKSERROR_DECODED_FIRST_FRAME);
    }
    // The stand-in's calls from the `from`-th on.
    std::vector<std::string> CallsFrom(size_t from) const {
        const auto all = Describe(standin_.Calls());
        return std::vector<std::string>(all.begin() + static_cast<std::ptrdiff_t>(std::min(from, all.size())),
                                        all.end());
    }

    Standin standin_;
    std::unique_ptr<vkstest::ScopedDllPath> dllPath_;
    HVKS stream_ = 0, decoder_ = 0;
    uint32_t hAcc_ = 0;
    CallbackRecorder recorder_;
};

TEST_F(RendererTest, CallsFromDecoderOpenToCloseComeInOrder) {
    ASSERT_NO_FATAL_FAILURE(StartDecoder());
    const uint32_t driver = Driver(0);
    ASSERT_NE(driver, 0u);

    // The input open carries the render input name, the input class, the
    // decoder's driver handle and the mode word.
    auto calls = standin_.Calls();
    ASSERT_EQ(calls.size(), 3u) << ::testing::PrintToString(Describe(calls));
    ASSERT_NE(hAcc_, 0u);
    EXPECT_EQ(Text(calls[1].Text, calls[1].TextUnits), u"VKSRENDER:0:0");
    const uint8_t inputClass[16] = {0xD4, 0x91, 0x2E, 0x6B, 0x7A, 0x0C, 0x38, 0x4F,
                                    0x9A, 0x5D, 0x2E, 0x81, 0xC4, 0xF7, 0xB3, 0x9A};
    EXPECT_EQ(std::memcmp(calls[1].InputClass, inputClass, 16), 0);

    // From state 0 to 2, state 1 and a return to 2 without state 3: no run
    // state; a failed state change moves nothing (the stream's change comes
    // first).
    for (uint32_t state : {2u, 1u, 2u, 0u}) {
        EXPECT_EQ(VKSDecoderDeviceSetState(stream_, 0, decoder_, state), VKSERROR_NO_ERROR);
    }
    vkssim::FailWithStatus(VKSSIM_IOCTL_SET_STATE, VKSERROR_INVALID_STATE, 2);
    EXPECT_EQ(VKSDecoderDeviceSetState(stream_, 0, decoder_, 1), VKSERROR_INVALID_STATE);
    // Before the first frame only the window is given.
    EXPECT_EQ(VKSDecoderDeviceSetWindow(nullptr, 0, decoder_, kWindow1), VKSERROR_NO_ERROR);
    for (uint32_t state : {1u, 3u, 2u}) {
        EXPECT_EQ(VKSDecoderDeviceSetState(stream_, 0, decoder_, state), VKSERROR_NO_ERROR);
    }
    RaiseFirstFrame();
    // After it, a window change also moves the renderer's state.
    EXPECT_EQ(VKSDecoderDeviceSetWindow(nullptr, 0, decoder_, nullptr), VKSERROR_NO_ERROR);
    EXPECT_EQ(VKSDecoderDeviceSetWindow(nullptr, 0, decoder_, kWindow2), VKSERROR_NO_ERROR);

    VidpaneStandinInput input{};
    ASSERT_EQ(standin_.GetInput(hAcc_, &input), 1);
    EXPECT_EQ(std::make_tuple(input.Open, input.DriverHandle, input.Window, input.State),
              std::make_tuple(1u, driver, Bits(kWindow2), 0u));

    // The input is closed while the driver's object still exists.
    struct CloseProbe {
        uint32_t driver = 0;
        bool seen = false, objectAlive = false;
    } probe{driver};
    standin_.SetCallHook(
        [](const VidpaneStandinCall* call, void* context) {
            auto* p = static_cast<CloseProbe*>(context);
            if (std::strcmp(call->Function, "ACCClose") != 0) return;
            p->seen = true;
            p->objectAlive = vkssim::GetObject(0, p->driver).has_value();
        },
        &probe);
    EXPECT_EQ(VKSDecoderDeviceClose(decoder_), VKSERROR_NO_ERROR);
    standin_.SetCallHook(nullptr, nullptr);
    EXPECT_EQ(std::make_pair(probe.seen, probe.objectAlive), std::make_pair(true, true));
    EXPECT_FALSE(vkssim::GetObject(0, driver).has_value());
    EXPECT_EQ(VKSNetworkStreamClose(stream_), VKSERROR_NO_ERROR);
    Free();

    const std::vector<std::string> expected = {
        Call("ACCLoad", 0, kLoadValue),
        Open(driver, hAcc_),
        Call("ACCSetState", hAcc_, 3),   // just opened
        Call("ACCSetState", hAcc_, 2),   // decoder state 1 (from 0 to 2 before it: nothing)
        Window(hAcc_, kWindow1),         // before the first frame: nothing else
        Call("ACCSetState", hAcc_, 2),   // decoder state 1
        Call("ACCSetState", hAcc_, 3),   // decoder state 3
        Call("ACCSetState", hAcc_, 0),   // decoder from 3 to 2
        Call("ACCSetState", hAcc_, 0),   // first decoded frame
        Window(hAcc_, nullptr),
        Call("ACCSetState", hAcc_, 1),   // no window after the first frame
        Window(hAcc_, kWindow2),
        Call("ACCSetState", hAcc_, 0),   // a window after the first frame
        Call("ACCClose", hAcc_, 0),
        Call("ACCFree", 0, kLoadValue),
    };
    EXPECT_EQ(Describe(standin_.Calls()), expected);
    EXPECT_EQ(standin_.OpenInputCount(), 0u);
}

TEST_F(RendererTest, SetWindowReturnsTheRenderersStatus) {
    ASSERT_NO_FATAL_FAILURE(StartDecoder());
    const size_t before = standin_.CallCount();
    standin_.FailNext("ACCSetWindow", VKSERROR_INVALID_STATE);
    EXPECT_EQ(VKSDecoderDeviceSetWindow(nullptr, 0, decoder_, kWindow1), VKSERROR_INVALID_STATE);
    RaiseFirstFrame();
    // After the first frame: a failed window change sends no state; a failed
    // state change is the export's result.
    standin_.FailNext("ACCSetWindow", VKSERROR_BUFFER_TOO_SMALL);
    EXPECT_EQ(VKSDecoderDeviceSetWindow(nullptr, 0, decoder_, kWindow1), VKSERROR_BUFFER_TOO_SMALL);
    standin_.FailNext("ACCSetState", VKSERROR_INSUFFICIENT_RESOURCES);
    EXPECT_EQ(VKSDecoderDeviceSetWindow(nullptr, 0, decoder_, kWindow2), VKSERROR_INSUFFICIENT_RESOURCES);
    EXPECT_EQ(CallsFrom(before),
              (std::vector<std::string>{Window(hAcc_, kWindow1), Call("ACCSetState", hAcc_, 0),
                                        Window(hAcc_, kWindow1), Window(hAcc_, kWindow2),
                                        Call("ACCSetState", hAcc_, 0)}));

    // Objects without a renderer input.
    const size_t after = standin_.CallCount();
    EXPECT_EQ(VKSDecoderDeviceSetWindow(nullptr, 0, stream_, kWindow1), VKSERROR_UNSUPPORTED);
    EXPECT_EQ(standin_.CallCount(), after);
}

TEST_F(RendererTest, EachDecoderHasItsOwnInput) {
    ASSERT_NO_FATAL_FAILURE(LoadWithStandin());
    const HVKS first = OpenDecoder(0);
    decoder_ = OpenDecoder(1);
    auto calls = standin_.Calls();
    ASSERT_EQ(calls.size(), 5u);
    const uint32_t hAcc0 = calls[1].HAcc;
    const uint32_t hAcc1 = calls[3].HAcc;
    EXPECT_NE(hAcc0, hAcc1);
    EXPECT_EQ(Text(calls[3].Text, calls[3].TextUnits), u"VKSRENDER:0:1");
    EXPECT_EQ(calls[3].Value1, Driver(1));

    CallbackRecorder recorder0;
    ASSERT_EQ(VKSDecoderDeviceSetErrorFn(nullptr, 0, first, &CallbackRecorder::DecoderError, &recorder0), 0u);
    ASSERT_EQ(VKSDecoderDeviceSetErrorFn(nullptr, 0, decoder_, &CallbackRecorder::DecoderError, &recorder_), 0u);
    // The worker starts the second decoder's renderer while this thread
    // gives the first its window.
    ASSERT_TRUE(vkssim::RaiseEvent(0, Driver(1), VKSERROR_DECODED_FIRST_FRAME));
    EXPECT_EQ(VKSDecoderDeviceSetWindow(nullptr, 0, first, kWindow1), VKSERROR_NO_ERROR);
    ASSERT_TRUE(recorder_.WaitForStatus(VKSERROR_DECODED_FIRST_FRAME));
    EXPECT_EQ(VKSDecoderDeviceSetWindow(nullptr, 0, decoder_, nullptr), VKSERROR_NO_ERROR);

    VidpaneStandinInput input0{}, input1{};
    ASSERT_EQ(standin_.GetInput(hAcc0, &input0), 1);
    ASSERT_EQ(standin_.GetInput(hAcc1, &input1), 1);
    // The first has no frame yet: still as opened.
    EXPECT_EQ(std::make_tuple(input0.Window, input0.State), std::make_tuple(Bits(kWindow1), 3u));
    EXPECT_EQ(std::make_tuple(input1.Window, input1.State), std::make_tuple(uint64_t(0), 1u));
    EXPECT_TRUE(recorder0.Calls().empty());

    EXPECT_EQ(VKSDecoderDeviceClose(first), VKSERROR_NO_ERROR);
    EXPECT_EQ(standin_.OpenInputCount(), 1u);
    EXPECT_EQ(VKSDecoderDeviceClose(decoder_), VKSERROR_NO_ERROR);
    EXPECT_EQ(standin_.OpenInputCount(), 0u);
}

// A failed input open, or a failed query of the render input name, fails
// the decoder open and leaves nothing behind: the decoder opens again.
TEST_F(RendererTest, FailedRendererSetUpFailsTheDecoderOpen) {
    ASSERT_NO_FATAL_FAILURE(LoadWithStandin());
    vkssim::FailWithStatus(VKSSIM_IOCTL_GET_RENDER_INPUT_NAME, VKSERROR_INVALID_STATE, 1);
    HVKS decoder = 0;
    EXPECT_EQ(TryOpenDecoder(&decoder), VKSERROR_INVALID_STATE);
    EXPECT_EQ(decoder, 0u);
    EXPECT_EQ(standin_.CallCount(), 1u);  // ACCLoad only
    standin_.FailNext("ACCDeviceInputOpen", VKSERROR_INSUFFICIENT_RESOURCES);
    EXPECT_EQ(TryOpenDecoder(&decoder), VKSERROR_INSUFFICIENT_RESOURCES);
    EXPECT_EQ(decoder, 0u);
    auto calls = standin_.Calls();
    ASSERT_EQ(calls.size(), 2u);  // the failed open, and no state
    EXPECT_EQ(calls[1].Status, VKSERROR_INSUFFICIENT_RESOURCES);
    EXPECT_FALSE(vkssim::FindObject(0, VKSSIM_TYPE_DECODER, 0).has_value());
    decoder_ = OpenDecoder(0);
    ASSERT_NE(decoder_, 0u);
    EXPECT_EQ(standin_.OpenInputCount(), 1u);
    EXPECT_EQ(VKSDecoderDeviceSetWindow(nullptr, 0, decoder_, kWindow1), VKSERROR_NO_ERROR);
}

// A rendering library lacking one entry point, none at all, or one whose
// engine does not load: decoders open, start and stop without a renderer.
// The library is held from the engine's load to its free; an incomplete one
// is released at once.
TEST_F(RendererTest, WithoutAUsableRendererDecodersStillWork) {
    const struct {
        const char* what;
        std::string folder;
        bool noEngine;
    } cases[] = {
        {"library lacking one name", MissingOneDir(), false},
        {"no library", "", false},
        {"renderer engine that does not load", vkstest::StandinDir(), true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        vkstest::ScopedDllPath path(c.folder);
        if (!c.noEngine) {
            Load();
            EXPECT_EQ(GetModuleHandleW(WSTR("vidpane.dll")), nullptr);
            Free();
        }
        Standin standin;
        ASSERT_TRUE(c.folder.empty() || standin.Load(c.folder));
        if (c.noEngine) standin.SetLoadValue(0);
        Load();
        const uint64_t mark = vkssim::RequestMark();
        ASSERT_EQ(VKSNetworkStreamOpenExA(0, "udp://239.1.1.1:5000", 0, &stream_, nullptr), VKSERROR_NO_ERROR);
        decoder_ = OpenDecoder(0);
        ASSERT_NE(decoder_, 0u);
        EXPECT_TRUE(Sent(VKSSIM_IOCTL_GET_RENDER_INPUT_NAME, mark).empty());
        EXPECT_EQ(VKSDecoderDeviceSetWindow(nullptr, 0, decoder_, kWindow1), VKSERROR_UNSUPPORTED);
        EXPECT_EQ(VKSDecoderDeviceSetNoSignalTextW(decoder_, 1, 2, u"none"), VKSERROR_UNSUPPORTED);
        uint32_t line = 0, colour = 0, units = 16;
        char buffer[16] = {};
        EXPECT_EQ(VKSDecoderDeviceGetNoSignalTextA(decoder_, &line, &colour, buffer, &units), VKSERROR_UNSUPPORTED);
        for (uint32_t state : {3u, 2u, 1u}) {
            EXPECT_EQ(VKSDecoderDeviceSetState(stream_, 0, decoder_, state), VKSERROR_NO_ERROR);
            if (state != 3) {
                EXPECT_EQ(vkssim::FindObject(0, VKSSIM_TYPE_DECODER, 0)->state, state);
            }
        }
        EXPECT_EQ(VKSDecoderDeviceClose(decoder_), VKSERROR_NO_ERROR);
        EXPECT_EQ(VKSNetworkStreamClose(stream_), VKSERROR_NO_ERROR);
        Free();
        if (c.folder.empty()) continue;
        // ACCFree is only for an engine that exists.
        const auto expected = c.noEngine ? std::vector<std::string>{Call("ACCLoad", 0, 0)} : std::vector<std::string>{};
        EXPECT_EQ(Describe(standin.Calls()), expected);
    }

    vkstest::ScopedDllPath path(vkstest::StandinDir());
    Load();
    EXPECT_NE(GetModuleHandleW(WSTR("vidpane.dll")), nullptr);
    Free();
    EXPECT_EQ(GetModuleHandleW(WSTR("vidpane.dll")), nullptr);
}

TEST_F(RendererTest, NoSignalTextRoundTrip) {
    ASSERT_NO_FATAL_FAILURE(StartDecoder());
    // 8-bit text, its two words passed through unchanged.
    ASSERT_EQ(VKSDecoderDeviceSetNoSignalTextA(decoder_, 2, 0xFF00FFu, "No signal"), VKSERROR_NO_ERROR);
    uint32_t line = 0, colour = 0, units = 32;
    char narrow[32] = {};
    ASSERT_EQ(VKSDecoderDeviceGetNoSignalTextA(decoder_, &line, &colour, narrow, &units), VKSERROR_NO_ERROR);
    EXPECT_STREQ(narrow, "No signal");
    EXPECT_EQ(std::make_tuple(line, colour, units), std::make_tuple(2u, 0xFF00FFu, 10u));
    auto calls = standin_.Calls();
    ASSERT_GE(calls.size(), 2u);
    const VidpaneStandinCall& set = calls[calls.size() - 2];
    EXPECT_EQ(Describe(set), Make("ACCSetNoSignalTextA", 0, hAcc_, 2, 0xFF00FFu, 0));
    EXPECT_EQ(Text(set.Text, set.TextUnits), u"No signal");
    EXPECT_EQ(Describe(calls.back()), Make("ACCGetNoSignalTextA", 0, hAcc_, 0, 0, 0));
    EXPECT_EQ(calls.back().Pointers[2], reinterpret_cast<uintptr_t>(narrow));

    // UTF-16 text, read back in both forms.
    const char16_t* wideText = u"Kein Signal \u00e9";
    ASSERT_EQ(VKSDecoderDeviceSetNoSignalTextW(decoder_, 3, 7, wideText), VKSERROR_NO_ERROR);
    char16_t wide[32] = {};
    units = 32;
    ASSERT_EQ(VKSDecoderDeviceGetNoSignalTextW(decoder_, &line, &colour, wide, &units), VKSERROR_NO_ERROR);
    EXPECT_EQ(std::u16string(wide), std::u16string(wideText));
    EXPECT_EQ(std::make_tuple(line, colour), std::make_tuple(3u, 7u));
    units = 32;
    ASSERT_EQ(VKSDecoderDeviceGetNoSignalTextA(decoder_, &line, &colour, narrow, &units), VKSERROR_NO_ERROR);
    EXPECT_STREQ(narrow, "Kein Signal ?");

    // The renderer's own status comes back, with what it wrote.
    units = 4;
    std::memset(narrow, 0, sizeof narrow);
    EXPECT_EQ(VKSDecoderDeviceGetNoSignalTextA(decoder_, &line, &colour, narrow, &units), VKSERROR_BUFFER_TOO_SMALL);
    EXPECT_EQ(units, 14u);
    EXPECT_EQ(narrow[0], 0);

    // Objects without a renderer input answer unsupported without a call.
    const size_t before = standin_.CallCount();
    units = 32;
    EXPECT_EQ(VKSDecoderDeviceGetNoSignalTextA(stream_, &line, &colour, narrow, &units), VKSERROR_UNSUPPORTED);
    EXPECT_EQ(VKSDecoderDeviceSetNoSignalTextW(stream_, 1, 1, u"x"), VKSERROR_UNSUPPORTED);
    EXPECT_EQ(standin_.CallCount(), before);
}

}  // namespace
