// Stand-in for the rendering library "vidpane.dll". It draws nothing: it
// keeps what it is told per input and records every call, so that tests can
// check which calls the library makes, with which arguments and in which
// order. See vidpane_standin.h for the meaning of each entry point.
//
// Built a second time with VIDPANE_LEAVE_OUT_LAST_ENTRY defined, which omits
// ACCDrawInputMediaSample: a library the caller must refuse as a whole.
#include "vidpane_standin.h"

#include "vks_platform.h"
#include "vksacc.h"

#include <chrono>
#include <condition_variable>
#include <cstring>
#include <map>
#include <mutex>
#include <string>
#include <type_traits>
#include <vector>

#define VIDPANE_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

constexpr uint32_t kDefaultLoadValue = 0x5E01;
constexpr uint32_t kFirstInput = 0x7001;
constexpr size_t kTextUnits = sizeof(VidpaneStandinCall::Text) / sizeof(uint16_t);

struct State {
    std::mutex mutex;
    std::condition_variable changed;
    std::vector<VidpaneStandinCall> calls;
    std::map<uint32_t, VidpaneStandinInput> inputs;
    std::map<std::string, uint32_t> failures;
    uint32_t loadValue = kDefaultLoadValue;
    uint32_t nextInput = kFirstInput;
    VidpaneStandinHook hook = nullptr;
    void* hookContext = nullptr;
};

State& S() {
    static State state;
    return state;
}

// One call being answered: the record is filled while the lock is held and
// added with its status when the call ends; the hook runs after the lock is
// given up.
class Call {
public:
    explicit Call(const char* function) : lock_(S().mutex) {
        std::memset(&record_, 0, sizeof(record_));
        std::strncpy(record_.Function, function, sizeof(record_.Function) - 1);
        auto it = S().failures.find(function);
        if (it != S().failures.end()) {
            failed_ = true;
            forced_ = it->second;
            S().failures.erase(it);
        }
    }
    // True (and the status taken) when the call was told to fail.
    bool Failed() const { return failed_; }
    VidpaneStandinCall& Record() { return record_; }

    uint32_t Finish(uint32_t status) {
        if (failed_) status = forced_;
        record_.Status = status;
        record_.Sequence = S().calls.size();
        S().calls.push_back(record_);
        VidpaneStandinHook hook = S().hook;
        void* context = S().hookContext;
        S().changed.notify_all();
        lock_.unlock();
        if (hook != nullptr) hook(&record_, context);
        return status;
    }

private:
    std::unique_lock<std::mutex> lock_;
    VidpaneStandinCall record_;
    bool failed_ = false;
    uint32_t forced_ = 0;
};

// Copies a zero-terminated text into a unit array, cut to fit; returns the
// units copied.
template <typename Char>
uint32_t CopyText(const Char* text, uint16_t* out, size_t capacity) {
    size_t n = 0;
    for (; text != nullptr && text[n] != 0 && n + 1 < capacity; ++n) {
        out[n] = static_cast<uint16_t>(static_cast<std::make_unsigned_t<Char>>(text[n]));
    }
    out[n] = 0;
    return static_cast<uint32_t>(n);
}

VidpaneStandinInput* OpenInput(uint32_t hAcc) {
    auto it = S().inputs.find(hAcc);
    return it == S().inputs.end() || !it->second.Open ? nullptr : &it->second;
}

uint32_t SetText(const char* function, DWORD hAcc, DWORD line, DWORD colour, const uint16_t* units, uint32_t count) {
    Call call(function);
    VidpaneStandinCall& r = call.Record();
    r.HAcc = hAcc;
    r.Value1 = line;
    r.Value2 = colour;
    if (units != nullptr) {
        std::memcpy(r.Text, units, (count + 1) * sizeof(uint16_t));
        r.TextUnits = count;
    }
    if (call.Failed()) return call.Finish(0);
    VidpaneStandinInput* input = OpenInput(hAcc);
    if (input == nullptr) return call.Finish(VKSERROR_INVALID_HANDLE);
    if (units == nullptr) return call.Finish(VKSERROR_INVALID_ARGUMENT);
    input->Line = line;
    input->Colour = colour;
    std::memcpy(input->Text, units, (count + 1) * sizeof(uint16_t));
    input->TextUnits = count;
    return call.Finish(VKSERROR_NO_ERROR);
}

template <typename Char>
uint32_t GetText(const char* function, DWORD hAcc, void* arg1, void* arg2, void* arg3, void* arg4) {
    Call call(function);
    VidpaneStandinCall& r = call.Record();
    r.HAcc = hAcc;
    r.Pointers[0] = reinterpret_cast<uintptr_t>(arg1);
    r.Pointers[1] = reinterpret_cast<uintptr_t>(arg2);
    r.Pointers[2] = reinterpret_cast<uintptr_t>(arg3);
    r.Pointers[3] = reinterpret_cast<uintptr_t>(arg4);
    if (call.Failed()) return call.Finish(0);
    VidpaneStandinInput* input = OpenInput(hAcc);
    if (input == nullptr) return call.Finish(VKSERROR_INVALID_HANDLE);
    auto* line = static_cast<uint32_t*>(arg1);
    auto* colour = static_cast<uint32_t*>(arg2);
    auto* buffer = static_cast<Char*>(arg3);
    auto* units = static_cast<uint32_t*>(arg4);
    if (line == nullptr || colour == nullptr || buffer == nullptr || units == nullptr) {
        return call.Finish(VKSERROR_INVALID_ARGUMENT);
    }
    const uint32_t needed = input->TextUnits + 1;
    if (*units < needed) {
        *units = needed;
        return call.Finish(VKSERROR_BUFFER_TOO_SMALL);
    }
    for (uint32_t i = 0; i < needed; ++i) {
        const uint16_t unit = input->Text[i];
        buffer[i] = sizeof(Char) == 1 && unit > 0x7F ? static_cast<Char>('?') : static_cast<Char>(unit);
    }
    *line = input->Line;
    *colour = input->Colour;
    *units = needed;
    return call.Finish(VKSERROR_NO_ERROR);
}

uint32_t Unused(const char* function) {
    Call call(function);
    return call.Finish(VKSERROR_UNSUPPORTED);
}

}  // namespace

// --- The entry points the library calls --------------------------------------

VIDPANE_EXPORT DWORD WINAPI ACCLoad(DWORD* engine) {
    Call call("ACCLoad");
    if (call.Failed()) return call.Finish(0);
    if (engine == nullptr) return call.Finish(VKSERROR_INVALID_ARGUMENT);
    *engine = S().loadValue;
    call.Record().Engine = S().loadValue;
    return call.Finish(VKSERROR_NO_ERROR);
}

VIDPANE_EXPORT DWORD WINAPI ACCFree(DWORD engine) {
    Call call("ACCFree");
    call.Record().Engine = engine;
    return call.Finish(VKSERROR_NO_ERROR);
}

VIDPANE_EXPORT DWORD WINAPI ACCDeviceInputOpen(const VKSGUID* inputClass, const WCHAR* name, DWORD driverHandle,
                                               DWORD* mode, DWORD* hAcc) {
    Call call("ACCDeviceInputOpen");
    VidpaneStandinCall& r = call.Record();
    r.Value1 = driverHandle;
    if (inputClass != nullptr) std::memcpy(r.InputClass, inputClass, sizeof(r.InputClass));
    if (mode != nullptr) r.Value2 = *mode;
    r.TextUnits = CopyText(name, r.Text, kTextUnits);
    if (call.Failed()) return call.Finish(0);
    if (inputClass == nullptr || name == nullptr || mode == nullptr || hAcc == nullptr) {
        return call.Finish(VKSERROR_INVALID_ARGUMENT);
    }
    VidpaneStandinInput input;
    std::memset(&input, 0, sizeof(input));
    input.Open = 1;
    input.DriverHandle = driverHandle;
    input.Mode = *mode;
    CopyText(name, input.Name, kTextUnits);
    const uint32_t handle = S().nextInput++;
    S().inputs[handle] = input;
    *hAcc = handle;
    r.HAcc = handle;
    return call.Finish(VKSERROR_NO_ERROR);
}

VIDPANE_EXPORT DWORD WINAPI ACCSetState(DWORD hAcc, DWORD state) {
    Call call("ACCSetState");
    call.Record().HAcc = hAcc;
    call.Record().Value1 = state;
    if (call.Failed()) return call.Finish(0);
    VidpaneStandinInput* input = OpenInput(hAcc);
    if (input == nullptr) return call.Finish(VKSERROR_INVALID_HANDLE);
    input->State = state;
    return call.Finish(VKSERROR_NO_ERROR);
}

VIDPANE_EXPORT DWORD WINAPI ACCSetWindow(DWORD hAcc, void* window) {
    Call call("ACCSetWindow");
    call.Record().HAcc = hAcc;
    call.Record().Pointer = reinterpret_cast<uintptr_t>(window);
    if (call.Failed()) return call.Finish(0);
    VidpaneStandinInput* input = OpenInput(hAcc);
    if (input == nullptr) return call.Finish(VKSERROR_INVALID_HANDLE);
    input->Window = reinterpret_cast<uintptr_t>(window);
    return call.Finish(VKSERROR_NO_ERROR);
}

VIDPANE_EXPORT DWORD WINAPI ACCClose(DWORD hAcc) {
    Call call("ACCClose");
    call.Record().HAcc = hAcc;
    if (call.Failed()) return call.Finish(0);
    VidpaneStandinInput* input = OpenInput(hAcc);
    if (input == nullptr) return call.Finish(VKSERROR_INVALID_HANDLE);
    input->Open = 0;
    return call.Finish(VKSERROR_NO_ERROR);
}

VIDPANE_EXPORT DWORD WINAPI ACCGetNoSignalTextA(DWORD hAcc, void* arg1, void* arg2, void* arg3, void* arg4) {
    return GetText<char>("ACCGetNoSignalTextA", hAcc, arg1, arg2, arg3, arg4);
}

VIDPANE_EXPORT DWORD WINAPI ACCGetNoSignalTextW(DWORD hAcc, void* arg1, void* arg2, void* arg3, void* arg4) {
    return GetText<char16_t>("ACCGetNoSignalTextW", hAcc, arg1, arg2, arg3, arg4);
}

VIDPANE_EXPORT DWORD WINAPI ACCSetNoSignalTextA(DWORD hAcc, DWORD line, DWORD colour, const char* text) {
    uint16_t units[kTextUnits];
    const uint32_t count = CopyText(text, units, kTextUnits);
    return SetText("ACCSetNoSignalTextA", hAcc, line, colour, text != nullptr ? units : nullptr, count);
}

VIDPANE_EXPORT DWORD WINAPI ACCSetNoSignalTextW(DWORD hAcc, DWORD line, DWORD colour, const char16_t* text) {
    uint16_t units[kTextUnits];
    const uint32_t count = CopyText(text, units, kTextUnits);
    return SetText("ACCSetNoSignalTextW", hAcc, line, colour, text != nullptr ? units : nullptr, count);
}

// --- Entry points that must exist but that the library never calls ----------

#define VIDPANE_UNUSED(name) \
    VIDPANE_EXPORT DWORD WINAPI name() { return Unused(#name); }

VIDPANE_UNUSED(ACCGetState)
VIDPANE_UNUSED(ACCGetRunningSourceSize)
VIDPANE_UNUSED(ACCSetEventFn)
VIDPANE_UNUSED(ACCAudioGetVolumeMinimum)
VIDPANE_UNUSED(ACCAudioGetVolumeMaximum)
VIDPANE_UNUSED(ACCAudioGetVolumeDefault)
VIDPANE_UNUSED(ACCAudioGetVolume)
VIDPANE_UNUSED(ACCAudioSetVolume)
VIDPANE_UNUSED(ACCAudioGetMute)
VIDPANE_UNUSED(ACCAudioSetMute)
VIDPANE_UNUSED(ACCFileOpenW)
VIDPANE_UNUSED(ACCFileOpenA)
VIDPANE_UNUSED(ACCDVBOpen)
VIDPANE_UNUSED(ACCDVBSetChannel)
VIDPANE_UNUSED(ACCDVBScanForChannels)
VIDPANE_UNUSED(ACCDVBGetNumberOfTuners)
VIDPANE_UNUSED(ACCDVBGetNumberOfChannels)
VIDPANE_UNUSED(ACCDVBGetChannelInfoW)
VIDPANE_UNUSED(ACCDVBGetChannelInfoA)
VIDPANE_UNUSED(ACCDVBGetNumberOfScanEntries)
VIDPANE_UNUSED(ACCDVBGetScanEntry)
VIDPANE_UNUSED(ACCDVBSetScanEntries)
VIDPANE_UNUSED(ACCDrawOpen)
VIDPANE_UNUSED(ACCDrawSetMediaSampleReturnFn)
VIDPANE_UNUSED(ACCDrawQueueInputMediaSample)
#ifndef VIDPANE_LEAVE_OUT_LAST_ENTRY
VIDPANE_UNUSED(ACCDrawInputMediaSample)
#endif

// --- Test surface ----------------------------------------------------------------

VIDPANE_EXPORT void VidpaneStandin_Reset(void) {
    std::lock_guard<std::mutex> lock(S().mutex);
    S().calls.clear();
    S().inputs.clear();
    S().failures.clear();
    S().loadValue = kDefaultLoadValue;
    S().nextInput = kFirstInput;
    S().hook = nullptr;
    S().hookContext = nullptr;
}

VIDPANE_EXPORT size_t VidpaneStandin_CallCount(void) {
    std::lock_guard<std::mutex> lock(S().mutex);
    return S().calls.size();
}

VIDPANE_EXPORT int VidpaneStandin_GetCall(size_t index, VidpaneStandinCall* call) {
    std::lock_guard<std::mutex> lock(S().mutex);
    if (call == nullptr || index >= S().calls.size()) return 0;
    *call = S().calls[index];
    return 1;
}

VIDPANE_EXPORT int VidpaneStandin_WaitForCalls(size_t count, uint32_t timeoutMs) {
    std::unique_lock<std::mutex> lock(S().mutex);
    return S().changed.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] { return S().calls.size() >= count; })
               ? 1
               : 0;
}

VIDPANE_EXPORT void VidpaneStandin_FailNext(const char* function, uint32_t status) {
    if (function == nullptr) return;
    std::lock_guard<std::mutex> lock(S().mutex);
    S().failures[function] = status;
}

VIDPANE_EXPORT void VidpaneStandin_SetLoadValue(uint32_t engine) {
    std::lock_guard<std::mutex> lock(S().mutex);
    S().loadValue = engine;
}

VIDPANE_EXPORT int VidpaneStandin_GetInput(uint32_t hAcc, VidpaneStandinInput* input) {
    std::lock_guard<std::mutex> lock(S().mutex);
    auto it = S().inputs.find(hAcc);
    if (input == nullptr || it == S().inputs.end()) return 0;
    *input = it->second;
    return 1;
}

VIDPANE_EXPORT size_t VidpaneStandin_OpenInputCount(void) {
    std::lock_guard<std::mutex> lock(S().mutex);
    size_t open = 0;
    for (const auto& entry : S().inputs) open += entry.second.Open ? 1 : 0;
    return open;
}

VIDPANE_EXPORT void VidpaneStandin_SetCallHook(VidpaneStandinHook hook, void* context) {
    std::lock_guard<std::mutex> lock(S().mutex);
    S().hook = hook;
    S().hookContext = context;
}
