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

#include <memory>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

using namespace std::chrono_literals;
using vkstest::CallbackRecorder;

namespace {

constexpr uint32_t kLoadValue = 0x5E01;  // the stand-in's default engine value
const VKSHWND kWindow1 = reinterpret_cast<VKSHWND>(static_cast<uintptr_t>(0x10A0));
const VKSHWND kWindow2 = reinterpret_cast<VKSHWND>(static_cast<uintptr_t>(0x20B0));

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
        if (module_ == nullptr) return false;
        Reset = Resolve<VidpaneStandin_ResetFn>("VidpaneStandin_Reset");
        CallCount = Resolve<VidpaneStandin_CallCountFn>("VidpaneStandin_CallCount");
        GetCall = Resolve<VidpaneStandin_GetCallFn>("VidpaneStandin_GetCall");
        WaitForCalls = Resolve<VidpaneStandin_WaitForCallsFn>("VidpaneStandin_WaitForCalls");
        FailNext = Resolve<VidpaneStandin_FailNextFn>("VidpaneStandin_FailNext");
        SetLoadValue = Resolve<VidpaneStandin_SetLoadValueFn>("VidpaneStandin_SetLoadValue");
        GetInput = Resolve<VidpaneStandin_GetInputFn>("VidpaneStandin_GetInput");
        OpenInputCount = Resolve<VidpaneStandin_OpenInputCountFn>("VidpaneStandin_OpenInputCount");
        SetCallHook = Resolve<VidpaneStandin_SetCallHookFn>("VidpaneStandin_SetCallHook");
        if (!Reset || !CallCount || !GetCall || !WaitForCalls || !FailNext || !SetLoadValue || !GetInput ||
            !OpenInputCount || !SetCallHook) {
            return false;
        }
        Reset();
        return true;
    }
    HMODULE Module() const { return module_; }
    std::vector<VidpaneStandinCall> Calls() const {
        std::vector<VidpaneStandinCall> calls(CallCount());
        for (size_t i = 0; i < calls.size(); ++i) GetCall(i, &calls[i]);
        return calls;
    }

    VidpaneStandin_ResetFn Reset = nullptr;
    VidpaneStandin_CallCountFn CallCount = nullptr;
    VidpaneStandin_GetCallFn GetCall = nullptr;
    VidpaneStandin_WaitForCallsFn WaitForCalls = nullptr;
    VidpaneStandin_FailNextFn FailNext = nullptr;
    VidpaneStandin_SetLoadValueFn SetLoadValue = nullptr;
    VidpaneStandin_GetInputFn GetInput = nullptr;
    VidpaneStandin_OpenInputCountFn OpenInputCount = nullptr;
    VidpaneStandin_SetCallHookFn SetCallHook = nullptr;

private:
    template <typename Fn>
    Fn Resolve(const char* name) {
        return reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(module_, name)));
    }
    HMODULE module_ = nullptr;
};

// A call in a form that reads well in a failed comparison (fields a function
// does not have are 0).
std::string Describe(const VidpaneStandinCall& c) {
    char text[160];
    std::snprintf(text, sizeof text, "%s(engine %#x, input %#x, %#x, %u, %#llx)", c.Function, c.Engine, c.HAcc,
                  c.Value1, c.Value2, static_cast<unsigned long long>(c.Pointer));
    return text;
}
std::vector<std::string> Describe(const std::vector<VidpaneStandinCall>& calls) {
    std::vector<std::string> out;
    for (const auto& c : calls) out.push_back(Describe(c));
    return out;
}
std::string Make(const char* function, uint32_t engine, uint32_t hAcc, uint32_t value1, uint32_t value2,
                 uintptr_t pointer) {
    VidpaneStandinCall c{};
    std::snprintf(c.Function, sizeof c.Function, "%s", function);
    c.Engine = engine;
    c.HAcc = hAcc;
    c.Value1 = value1;
    c.Value2 = value2;
    c.Pointer = pointer;
    return Describe(c);
}
// ACCLoad and ACCFree carry the engine value, the others a first value.
std::string Call(const char* function, uint32_t hAcc, uint32_t value) {
    const bool engine = std::strcmp(function, "ACCLoad") == 0 || std::strcmp(function, "ACCFree") == 0;
    return Make(function, engine ? value : 0, hAcc, engine ? 0 : value, 0, 0);
}
std::string Open(uint32_t driverHandle, uint32_t hAcc) { return Make("ACCDeviceInputOpen", 0, hAcc, driverHandle, 2, 0); }
std::string Window(uint32_t hAcc, VKSHWND window) {
    return Make("ACCSetWindow", 0, hAcc, 0, 0, reinterpret_cast<uintptr_t>(window));
}

std::u16string Text(const uint16_t* units, size_t count) { return std::u16string(units, units + count); }

class RendererTest : public vkstest::SimEngineTest {
protected:
    void SetUp() override {
        SimEngineTest::SetUp();
        AddDevice(1, 2, 1);
    }
    // Loads the stand-in where the engine will find it, then the engine.
    void LoadWithStandin(Standin& standin) {
        dllPath_ = std::make_unique<vkstest::ScopedDllPath>(vkstest::StandinDir());
        ASSERT_TRUE(standin.Load(vkstest::StandinDir()));
        Load();
    }
    std::unique_ptr<vkstest::ScopedDllPath> dllPath_;
    static VKSERROR TryOpenDecoder(uint32_t index, HVKS* handle) {
        VKSGUID session{0x1234, 1, 2, {3, 4, 5, 6, 7, 8, 9, 10}};
        NetworkStreamOpenParams params{};
        return VKSDecoderDeviceOpenEx(index, 0, 0, handle, &params, &session);
    }
    static HVKS OpenDecoder(uint32_t index) {
        HVKS handle = 0;
        EXPECT_EQ(TryOpenDecoder(index, &handle), VKSERROR_NO_ERROR);
        return handle;
    }
    static HVKS OpenStream() {
        HVKS handle = 0;
        NetworkStreamOpenParams params{};
        params.TransportSelector = 1;
        EXPECT_EQ(VKSNetworkStreamOpenExA(0, "udp://239.1.1.1:5000", 0, &handle, &params), VKSERROR_NO_ERROR);
        return handle;
    }
    // The driver's handle of the decoder on a channel.
    static uint32_t DriverHandle(uint32_t channel) {
        auto object = vkssim::FindObject(0, VKSSIM_TYPE_DECODER, channel);
        return object ? object->handle : 0;
    }
    static bool RenderInputNameAsked(uint64_t since) {
        for (const auto& r : vkssim::Requests()) {
            if (r.sequence >= since && r.code == VKSSIM_IOCTL_GET_RENDER_INPUT_NAME) return true;
        }
        return false;
    }
    // Raises the first-frame event for a decoder and waits until its error
    // function has seen it (the renderer call comes before that).
    static void RaiseFirstFrame(uint32_t driverHandle, CallbackRecorder& recorder, size_t seen) {
        ASSERT_TRUE(vkssim::RaiseEvent(0, driverHandle, VKSERROR_DECODED_FIRST_FRAME));
        ASSERT_TRUE(recorder.WaitFor(seen + 1));
        EXPECT_EQ(recorder.Calls()[seen].status, VKSERROR_DECODED_FIRST_FRAME);
    }

};

TEST_F(RendererTest, CallsFromDecoderOpenToCloseComeInOrder) {
    Standin standin;
    ASSERT_NO_FATAL_FAILURE(LoadWithStandin(standin));
    const HVKS stream = OpenStream();
    const HVKS decoder = OpenDecoder(0);
    ASSERT_NE(decoder, 0u);
    const uint32_t driver = DriverHandle(0);
    ASSERT_NE(driver, 0u);

    // The input open carries the render input name, the input class, the
    // decoder's driver handle and the mode word.
    auto calls = standin.Calls();
    ASSERT_EQ(calls.size(), 3u) << ::testing::PrintToString(Describe(calls));
    const uint32_t hAcc = calls[1].HAcc;
    ASSERT_NE(hAcc, 0u);
    EXPECT_EQ(Text(calls[1].Text, calls[1].TextUnits), u"VKSRENDER:0:0");
    const uint8_t inputClass[16] = {0xD4, 0x91, 0x2E, 0x6B, 0x7A, 0x0C, 0x38, 0x4F,
                                    0x9A, 0x5D, 0x2E, 0x81, 0xC4, 0xF7, 0xB3, 0x9A};
    EXPECT_EQ(std::memcmp(calls[1].InputClass, inputClass, 16), 0);

    CallbackRecorder recorder;
    ASSERT_EQ(VKSDecoderDeviceSetErrorFn(nullptr, 0, decoder, &CallbackRecorder::DecoderError, &recorder),
              VKSERROR_NO_ERROR);
    // Before the first frame only the window is given.
    EXPECT_EQ(VKSDecoderDeviceSetWindow(nullptr, 0, decoder, kWindow1), VKSERROR_NO_ERROR);
    EXPECT_EQ(VKSDecoderDeviceSetState(stream, 0, decoder, 1), VKSERROR_NO_ERROR);
    EXPECT_EQ(VKSDecoderDeviceSetState(stream, 0, decoder, 3), VKSERROR_NO_ERROR);
    EXPECT_EQ(VKSDecoderDeviceSetState(stream, 0, decoder, 2), VKSERROR_NO_ERROR);
    RaiseFirstFrame(driver, recorder, 0);
    // After it, a window change also moves the renderer's state.
    EXPECT_EQ(VKSDecoderDeviceSetWindow(nullptr, 0, decoder, nullptr), VKSERROR_NO_ERROR);
    EXPECT_EQ(VKSDecoderDeviceSetWindow(nullptr, 0, decoder, kWindow2), VKSERROR_NO_ERROR);

    VidpaneStandinInput input{};
    ASSERT_EQ(standin.GetInput(hAcc, &input), 1);
    EXPECT_EQ(input.Open, 1u);
    EXPECT_EQ(input.DriverHandle, driver);
    EXPECT_EQ(input.Window, reinterpret_cast<uintptr_t>(kWindow2));
    EXPECT_EQ(input.State, 0u);

    // The input is closed while the driver's object still exists.
    struct CloseProbe {
        uint32_t driver = 0;
        bool seen = false;
        bool objectAlive = false;
    } probe{driver};
    standin.SetCallHook(
        [](const VidpaneStandinCall* call, void* context) {
            auto* p = static_cast<CloseProbe*>(context);
            if (std::strcmp(call->Function, "ACCClose") != 0) return;
            p->seen = true;
            p->objectAlive = vkssim::GetObject(0, p->driver).has_value();
        },
        &probe);
    EXPECT_EQ(VKSDecoderDeviceClose(decoder), VKSERROR_NO_ERROR);
    standin.SetCallHook(nullptr, nullptr);
    EXPECT_TRUE(probe.seen);
    EXPECT_TRUE(probe.objectAlive);
    EXPECT_FALSE(vkssim::GetObject(0, driver).has_value());
    EXPECT_EQ(VKSNetworkStreamClose(stream), VKSERROR_NO_ERROR);
    Free();

    const std::vector<std::string> expected = {
        Call("ACCLoad", 0, kLoadValue),
        Open(driver, hAcc),
        Call("ACCSetState", hAcc, 3),   // just opened
        Window(hAcc, kWindow1),         // before the first frame: nothing else
        Call("ACCSetState", hAcc, 2),   // decoder state 1
        Call("ACCSetState", hAcc, 3),   // decoder state 3
        Call("ACCSetState", hAcc, 0),   // decoder from 3 to 2
        Call("ACCSetState", hAcc, 0),   // first decoded frame
        Window(hAcc, nullptr),
        Call("ACCSetState", hAcc, 1),   // no window after the first frame
        Window(hAcc, kWindow2),
        Call("ACCSetState", hAcc, 0),   // a window after the first frame
        Call("ACCClose", hAcc, 0),
        Call("ACCFree", 0, kLoadValue),
    };
    EXPECT_EQ(Describe(standin.Calls()), expected);
    EXPECT_EQ(standin.OpenInputCount(), 0u);
}

TEST_F(RendererTest, StateOneAndReturnToTwoWithoutStateThreeSendNoRunState) {
    Standin standin;
    ASSERT_NO_FATAL_FAILURE(LoadWithStandin(standin));
    const HVKS stream = OpenStream();
    const HVKS decoder = OpenDecoder(0);
    const size_t before = standin.CallCount();
    const uint32_t hAcc = standin.Calls()[1].HAcc;
    EXPECT_EQ(VKSDecoderDeviceSetState(stream, 0, decoder, 2), VKSERROR_NO_ERROR);  // from 0: nothing
    EXPECT_EQ(VKSDecoderDeviceSetState(stream, 0, decoder, 1), VKSERROR_NO_ERROR);  // renderer 2
    EXPECT_EQ(VKSDecoderDeviceSetState(stream, 0, decoder, 2), VKSERROR_NO_ERROR);  // from 1: nothing
    EXPECT_EQ(VKSDecoderDeviceSetState(stream, 0, decoder, 0), VKSERROR_NO_ERROR);  // nothing
    // A failed state change moves nothing (the stream's change comes first).
    vkssim::FailWithStatus(VKSSIM_IOCTL_SET_STATE, VKSERROR_INVALID_STATE, 2);
    EXPECT_EQ(VKSDecoderDeviceSetState(stream, 0, decoder, 1), VKSERROR_INVALID_STATE);
    auto calls = standin.Calls();
    calls.erase(calls.begin(), calls.begin() + static_cast<std::ptrdiff_t>(before));
    EXPECT_EQ(Describe(calls), std::vector<std::string>{Call("ACCSetState", hAcc, 2)});
    EXPECT_EQ(VKSDecoderDeviceClose(decoder), VKSERROR_NO_ERROR);
    EXPECT_EQ(VKSNetworkStreamClose(stream), VKSERROR_NO_ERROR);
}

TEST_F(RendererTest, SetWindowReturnsTheRenderersStatus) {
    Standin standin;
    ASSERT_NO_FATAL_FAILURE(LoadWithStandin(standin));
    const HVKS stream = OpenStream();
    const HVKS decoder = OpenDecoder(0);
    const uint32_t hAcc = standin.Calls()[1].HAcc;

    standin.FailNext("ACCSetWindow", VKSERROR_INVALID_STATE);
    EXPECT_EQ(VKSDecoderDeviceSetWindow(nullptr, 0, decoder, kWindow1), VKSERROR_INVALID_STATE);

    CallbackRecorder recorder;
    ASSERT_EQ(VKSDecoderDeviceSetErrorFn(nullptr, 0, decoder, &CallbackRecorder::DecoderError, &recorder),
              VKSERROR_NO_ERROR);
    RaiseFirstFrame(DriverHandle(0), recorder, 0);
    // After the first frame: a failed window change sends no state; a failed
    // state change is the export's result.
    standin.FailNext("ACCSetWindow", VKSERROR_BUFFER_TOO_SMALL);
    EXPECT_EQ(VKSDecoderDeviceSetWindow(nullptr, 0, decoder, kWindow1), VKSERROR_BUFFER_TOO_SMALL);
    standin.FailNext("ACCSetState", VKSERROR_INSUFFICIENT_RESOURCES);
    EXPECT_EQ(VKSDecoderDeviceSetWindow(nullptr, 0, decoder, kWindow2), VKSERROR_INSUFFICIENT_RESOURCES);

    const auto calls = Describe(standin.Calls());
    const std::vector<std::string> tail(calls.end() - 5, calls.end());
    EXPECT_EQ(tail, (std::vector<std::string>{Window(hAcc, kWindow1), Call("ACCSetState", hAcc, 0),
                                              Window(hAcc, kWindow1), Window(hAcc, kWindow2),
                                              Call("ACCSetState", hAcc, 0)}));

    // Objects without a renderer input, and handles that are not open.
    const size_t before = standin.CallCount();
    EXPECT_EQ(VKSDecoderDeviceSetWindow(nullptr, 0, stream, kWindow1), VKSERROR_UNSUPPORTED);
    EXPECT_EQ(standin.CallCount(), before);
    EXPECT_EQ(VKSDecoderDeviceClose(decoder), VKSERROR_NO_ERROR);
    EXPECT_EQ(VKSDecoderDeviceSetWindow(nullptr, 0, decoder, kWindow1), HANDLEERROR_INVALID_HANDLE);
    EXPECT_EQ(VKSNetworkStreamClose(stream), VKSERROR_NO_ERROR);
}

TEST_F(RendererTest, EachDecoderHasItsOwnInput) {
    Standin standin;
    ASSERT_NO_FATAL_FAILURE(LoadWithStandin(standin));
    const HVKS first = OpenDecoder(0);
    const HVKS second = OpenDecoder(1);
    auto calls = standin.Calls();
    ASSERT_EQ(calls.size(), 5u);
    const uint32_t hAcc0 = calls[1].HAcc;
    const uint32_t hAcc1 = calls[3].HAcc;
    EXPECT_NE(hAcc0, hAcc1);
    EXPECT_EQ(Text(calls[3].Text, calls[3].TextUnits), u"VKSRENDER:0:1");
    EXPECT_EQ(calls[3].Value1, DriverHandle(1));

    CallbackRecorder recorder0;
    CallbackRecorder recorder1;
    ASSERT_EQ(VKSDecoderDeviceSetErrorFn(nullptr, 0, first, &CallbackRecorder::DecoderError, &recorder0), 0u);
    ASSERT_EQ(VKSDecoderDeviceSetErrorFn(nullptr, 0, second, &CallbackRecorder::DecoderError, &recorder1), 0u);
    // The worker starts the second decoder's renderer while this thread
    // gives the first its window.
    ASSERT_TRUE(vkssim::RaiseEvent(0, DriverHandle(1), VKSERROR_DECODED_FIRST_FRAME));
    EXPECT_EQ(VKSDecoderDeviceSetWindow(nullptr, 0, first, kWindow1), VKSERROR_NO_ERROR);
    ASSERT_TRUE(recorder1.WaitForStatus(VKSERROR_DECODED_FIRST_FRAME));
    EXPECT_EQ(VKSDecoderDeviceSetWindow(nullptr, 0, second, nullptr), VKSERROR_NO_ERROR);

    VidpaneStandinInput input0{};
    VidpaneStandinInput input1{};
    ASSERT_EQ(standin.GetInput(hAcc0, &input0), 1);
    ASSERT_EQ(standin.GetInput(hAcc1, &input1), 1);
    EXPECT_EQ(input0.Window, reinterpret_cast<uintptr_t>(kWindow1));
    EXPECT_EQ(input0.State, 3u);  // no frame yet: still as opened
    EXPECT_EQ(input1.Window, 0u);
    EXPECT_EQ(input1.State, 1u);
    EXPECT_TRUE(recorder0.Calls().empty());

    EXPECT_EQ(VKSDecoderDeviceClose(first), VKSERROR_NO_ERROR);
    EXPECT_EQ(standin.OpenInputCount(), 1u);
    EXPECT_EQ(VKSDecoderDeviceClose(second), VKSERROR_NO_ERROR);
    EXPECT_EQ(standin.OpenInputCount(), 0u);
}

// A failed input open, or a failed query of the render input name, fails
// the decoder open and leaves nothing behind: the decoder opens again.
TEST_F(RendererTest, FailedRendererSetUpFailsTheDecoderOpen) {
    Standin standin;
    ASSERT_NO_FATAL_FAILURE(LoadWithStandin(standin));
    vkssim::FailWithStatus(VKSSIM_IOCTL_GET_RENDER_INPUT_NAME, VKSERROR_INVALID_STATE, 1);
    HVKS decoder = 0;
    EXPECT_EQ(TryOpenDecoder(0, &decoder), VKSERROR_INVALID_STATE);
    EXPECT_EQ(decoder, 0u);
    EXPECT_EQ(standin.CallCount(), 1u);  // ACCLoad only
    standin.FailNext("ACCDeviceInputOpen", VKSERROR_INSUFFICIENT_RESOURCES);
    EXPECT_EQ(TryOpenDecoder(0, &decoder), VKSERROR_INSUFFICIENT_RESOURCES);
    EXPECT_EQ(decoder, 0u);
    auto calls = standin.Calls();
    ASSERT_EQ(calls.size(), 2u);  // the failed open, and no state
    EXPECT_EQ(calls[1].Status, VKSERROR_INSUFFICIENT_RESOURCES);
    EXPECT_FALSE(vkssim::FindObject(0, VKSSIM_TYPE_DECODER, 0).has_value());
    decoder = OpenDecoder(0);
    ASSERT_NE(decoder, 0u);
    EXPECT_EQ(standin.OpenInputCount(), 1u);
    EXPECT_EQ(VKSDecoderDeviceSetWindow(nullptr, 0, decoder, kWindow1), VKSERROR_NO_ERROR);
    EXPECT_EQ(VKSDecoderDeviceClose(decoder), VKSERROR_NO_ERROR);
}

// A rendering library lacking one entry point, none at all, or one whose
// engine does not load: decoders open, start and stop without a renderer.
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
        Standin standin;
        ASSERT_TRUE(c.folder.empty() || standin.Load(c.folder));
        if (c.noEngine) standin.SetLoadValue(0);
        Load();
        const uint64_t mark = vkssim::RequestMark();
        const HVKS stream = OpenStream();
        const HVKS decoder = OpenDecoder(0);
        ASSERT_NE(decoder, 0u);
        EXPECT_FALSE(RenderInputNameAsked(mark));
        EXPECT_EQ(VKSDecoderDeviceSetWindow(nullptr, 0, decoder, kWindow1), VKSERROR_UNSUPPORTED);
        EXPECT_EQ(VKSDecoderDeviceSetNoSignalTextW(decoder, 1, 2, u"none"), VKSERROR_UNSUPPORTED);
        uint32_t line = 0, colour = 0, units = 16;
        char buffer[16] = {};
        EXPECT_EQ(VKSDecoderDeviceGetNoSignalTextA(decoder, &line, &colour, buffer, &units), VKSERROR_UNSUPPORTED);
        for (uint32_t state : {3u, 2u, 1u}) {
            EXPECT_EQ(VKSDecoderDeviceSetState(stream, 0, decoder, state), VKSERROR_NO_ERROR);
            if (state != 3) {
                EXPECT_EQ(vkssim::FindObject(0, VKSSIM_TYPE_DECODER, 0)->state, state);
            }
        }
        EXPECT_EQ(VKSDecoderDeviceClose(decoder), VKSERROR_NO_ERROR);
        EXPECT_EQ(VKSNetworkStreamClose(stream), VKSERROR_NO_ERROR);
        Free();
        if (c.folder.empty()) continue;
        // ACCFree is only for an engine that exists.
        const auto expected = c.noEngine ? std::vector<std::string>{Call("ACCLoad", 0, 0)} : std::vector<std::string>{};
        EXPECT_EQ(Describe(standin.Calls()), expected);
    }
    // The variant really lacks the last entry point and has the others.
    Standin variant;
    ASSERT_TRUE(variant.Load(MissingOneDir()));
    EXPECT_EQ(GetProcAddress(variant.Module(), "ACCDrawInputMediaSample"), nullptr);
    EXPECT_NE(GetProcAddress(variant.Module(), "ACCDrawQueueInputMediaSample"), nullptr);
}

TEST_F(RendererTest, LibraryIsHeldFromLoadToFreeAndAnIncompleteOneIsReleased) {
    {
        vkstest::ScopedDllPath path(MissingOneDir());
        Load();
        EXPECT_EQ(GetModuleHandleW(WSTR("vidpane.dll")), nullptr);
        Free();
    }
    {
        vkstest::ScopedDllPath path(vkstest::StandinDir());
        Load();
        EXPECT_NE(GetModuleHandleW(WSTR("vidpane.dll")), nullptr);
        Free();
        EXPECT_EQ(GetModuleHandleW(WSTR("vidpane.dll")), nullptr);
    }
}

TEST_F(RendererTest, NoSignalTextRoundTrip) {
    Standin standin;
    ASSERT_NO_FATAL_FAILURE(LoadWithStandin(standin));
    const HVKS decoder = OpenDecoder(0);
    const uint32_t hAcc = standin.Calls()[1].HAcc;

    // 8-bit text, its two words passed through unchanged.
    ASSERT_EQ(VKSDecoderDeviceSetNoSignalTextA(decoder, 2, 0xFF00FFu, "No signal"), VKSERROR_NO_ERROR);
    uint32_t line = 0, colour = 0, units = 32;
    char narrow[32] = {};
    ASSERT_EQ(VKSDecoderDeviceGetNoSignalTextA(decoder, &line, &colour, narrow, &units), VKSERROR_NO_ERROR);
    EXPECT_STREQ(narrow, "No signal");
    EXPECT_EQ(line, 2u);
    EXPECT_EQ(colour, 0xFF00FFu);
    EXPECT_EQ(units, 10u);
    auto calls = standin.Calls();
    ASSERT_GE(calls.size(), 2u);
    const VidpaneStandinCall& set = calls[calls.size() - 2];
    const VidpaneStandinCall& get = calls.back();
    EXPECT_STREQ(set.Function, "ACCSetNoSignalTextA");
    EXPECT_EQ(set.HAcc, hAcc);
    EXPECT_EQ(set.Value1, 2u);
    EXPECT_EQ(set.Value2, 0xFF00FFu);
    EXPECT_EQ(Text(set.Text, set.TextUnits), u"No signal");
    EXPECT_STREQ(get.Function, "ACCGetNoSignalTextA");
    EXPECT_EQ(get.HAcc, hAcc);
    EXPECT_EQ(get.Pointers[2], reinterpret_cast<uintptr_t>(narrow));

    // UTF-16 text, read back in both forms.
    const char16_t* wideText = u"Kein Signal \u00e9";
    ASSERT_EQ(VKSDecoderDeviceSetNoSignalTextW(decoder, 3, 7, wideText), VKSERROR_NO_ERROR);
    char16_t wide[32] = {};
    units = 32;
    ASSERT_EQ(VKSDecoderDeviceGetNoSignalTextW(decoder, &line, &colour, wide, &units), VKSERROR_NO_ERROR);
    EXPECT_EQ(std::u16string(wide), std::u16string(wideText));
    EXPECT_EQ(line, 3u);
    EXPECT_EQ(colour, 7u);
    units = 32;
    ASSERT_EQ(VKSDecoderDeviceGetNoSignalTextA(decoder, &line, &colour, narrow, &units), VKSERROR_NO_ERROR);
    EXPECT_STREQ(narrow, "Kein Signal ?");

    // The renderer's own status comes back, with what it wrote.
    units = 4;
    std::memset(narrow, 0, sizeof narrow);
    EXPECT_EQ(VKSDecoderDeviceGetNoSignalTextA(decoder, &line, &colour, narrow, &units), VKSERROR_BUFFER_TOO_SMALL);
    EXPECT_EQ(units, 14u);
    EXPECT_EQ(narrow[0], 0);
    EXPECT_EQ(VKSDecoderDeviceSetNoSignalTextA(decoder, 0, 0, nullptr), VKSERROR_INVALID_ARGUMENT);

    // Objects without a renderer input answer unsupported without a call;
    // a handle that is not open gives the handle table's status.
    const HVKS other = OpenStream();
    const size_t before = standin.CallCount();
    units = 32;
    EXPECT_EQ(VKSDecoderDeviceGetNoSignalTextA(other, &line, &colour, narrow, &units), VKSERROR_UNSUPPORTED);
    EXPECT_EQ(VKSDecoderDeviceSetNoSignalTextW(other, 1, 1, u"x"), VKSERROR_UNSUPPORTED);
    EXPECT_EQ(standin.CallCount(), before);
    EXPECT_EQ(VKSNetworkStreamClose(other), VKSERROR_NO_ERROR);
    EXPECT_EQ(VKSDecoderDeviceClose(decoder), VKSERROR_NO_ERROR);
}

}  // namespace
