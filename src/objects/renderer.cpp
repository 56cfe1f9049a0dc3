// The rendering library: a table of 36 entry points resolved by name, of which
// the library calls ten. A library that lacks any one of them is not used at
// all, so that a partial or foreign library can never be called half-way.
#include "objects/renderer.h"

#include "core/engine.h"
#include "core/log.h"
#include "driver/command_channel.h"
#include "objects/user_handle.h"

#include <cstring>

namespace {

// Entry points in resolution order; the enum names the ones that are called.
constexpr const char* kFunctionNames[kRendererFunctionCount] = {
    "ACCLoad",
    "ACCFree",
    "ACCClose",
    "ACCSetWindow",
    "ACCGetState",
    "ACCSetState",
    "ACCGetRunningSourceSize",
    "ACCSetEventFn",
    "ACCGetNoSignalTextW",
    "ACCGetNoSignalTextA",
    "ACCSetNoSignalTextW",
    "ACCSetNoSignalTextA",
    "ACCAudioGetVolumeMinimum",
    "ACCAudioGetVolumeMaximum",
    "ACCAudioGetVolumeDefault",
    "ACCAudioGetVolume",
    "ACCAudioSetVolume",
    "ACCAudioGetMute",
    "ACCAudioSetMute",
    "ACCFileOpenW",
    "ACCFileOpenA",
    "ACCDVBOpen",
    "ACCDVBSetChannel",
    "ACCDVBScanForChannels",
    "ACCDVBGetNumberOfTuners",
    "ACCDVBGetNumberOfChannels",
    "ACCDVBGetChannelInfoW",
    "ACCDVBGetChannelInfoA",
    "ACCDVBGetNumberOfScanEntries",
    "ACCDVBGetScanEntry",
    "ACCDVBSetScanEntries",
    "ACCDeviceInputOpen",
    "ACCDrawOpen",
    "ACCDrawSetMediaSampleReturnFn",
    "ACCDrawQueueInputMediaSample",
    "ACCDrawInputMediaSample",
};

enum : size_t {
    kAccLoad = 0,
    kAccFree = 1,
    kAccClose = 2,
    kAccSetWindow = 3,
    kAccSetState = 5,
    kAccGetNoSignalTextW = 8,
    kAccGetNoSignalTextA = 9,
    kAccSetNoSignalTextW = 10,
    kAccSetNoSignalTextA = 11,
    kAccDeviceInputOpen = 31,
};

using AccLoadFn = DWORD(WINAPI*)(DWORD* engine);
using AccFreeFn = DWORD(WINAPI*)(DWORD engine);
using AccCloseFn = DWORD(WINAPI*)(DWORD hAcc);
using AccSetWindowFn = DWORD(WINAPI*)(DWORD hAcc, VKSHWND window);
using AccSetStateFn = DWORD(WINAPI*)(DWORD hAcc, DWORD state);
using AccGetNoSignalTextFn = DWORD(WINAPI*)(DWORD hAcc, void* arg1, void* arg2, void* arg3, void* arg4);
using AccSetNoSignalTextAFn = DWORD(WINAPI*)(DWORD hAcc, DWORD arg1, DWORD arg2, const char* text);
using AccSetNoSignalTextWFn = DWORD(WINAPI*)(DWORD hAcc, DWORD arg1, DWORD arg2, const VKSWCHAR* text);
using AccDeviceInputOpenFn = DWORD(WINAPI*)(const VKSGUID* inputClass, const WCHAR* name, DWORD hvksHandle,
                                            DWORD* mode, DWORD* hAcc);

// Filled at engine load and cleared at the last free; read by the exports and
// the worker only while the engine is up, so it needs no lock of its own.
FARPROC g_Functions[kRendererFunctionCount];

template <typename Fn>
Fn Function(size_t index) {
    // Through the generic function pointer type: the slot holds the entry
    // point's real type, which only the call site knows.
    return reinterpret_cast<Fn>(reinterpret_cast<void (*)()>(g_Functions[index]));
}

// The renderer input class given to every input open.
constexpr VKSGUID kRendererInputClass = {0x6B2E91D4, 0x0C7A, 0x4F38, {0x9A, 0x5D, 0x2E, 0x81, 0xC4, 0xF7, 0xB3, 0x9A}};
static_assert(sizeof(VKSGUID) == 16, "the input class is a 16-byte identifier");

// The mode word handed to every input open.
constexpr DWORD kInputOpenMode = 2;

// Renderer states.
constexpr DWORD kRendererRun = 0;
constexpr DWORD kRendererNoWindow = 1;
constexpr DWORD kRendererPaused = 2;
constexpr DWORD kRendererStopped = 3;

void ClearFunctions() { std::memset(g_Functions, 0, sizeof(g_Functions)); }

// Renderer states outside the window export: their statuses are not acted on.
void SetRendererState(DWORD hAcc, DWORD state) { Function<AccSetStateFn>(kAccSetState)(hAcc, state); }

}  // namespace

const char* RendererFunctionName(size_t index) {
    return index < kRendererFunctionCount ? kFunctionNames[index] : nullptr;
}

DWORD RendererLibraryLoad() {
    Global.hRendererLibrary = nullptr;
    Global.hRendererEngine = 0;
    ClearFunctions();

    HMODULE library = LoadLibraryW(WSTR("vidpane.dll"));
    if (library == nullptr) {
        const DWORD error = GetLastError();
        LogMessage(WSTR("RendererLibraryLoad: vidpane.dll not loaded (%u), no renderer\n"), error);
        return error != 0 ? error : kRendererLibraryIncomplete;
    }
    for (size_t i = 0; i < kRendererFunctionCount; ++i) {
        g_Functions[i] = GetProcAddress(library, kFunctionNames[i]);
        if (g_Functions[i] == nullptr) {
            LogWarning(WSTR("RendererLibraryLoad: vidpane.dll lacks %hs, no renderer\n"), kFunctionNames[i]);
            ClearFunctions();
            FreeLibrary(library);
            return kRendererLibraryIncomplete;
        }
    }
    Global.hRendererLibrary = library;
    Function<AccLoadFn>(kAccLoad)(&Global.hRendererEngine);
    return 0;
}

void RendererLibraryFree() {
    if (Global.hRendererEngine != 0) {
        if (Global.hRendererLibrary != nullptr) Function<AccFreeFn>(kAccFree)(Global.hRendererEngine);
        Global.hRendererEngine = 0;
    }
    if (Global.hRendererLibrary != nullptr) {
        FreeLibrary(Global.hRendererLibrary);
        Global.hRendererLibrary = nullptr;
    }
    ClearFunctions();
}

bool RendererReady() { return Global.hRendererLibrary != nullptr && Global.hRendererEngine != 0; }

void CopyRenderInputName(const BYTE* reply, WCHAR* name) {
    // The reply buffer holds far more than the name, so the copy never reads
    // past it; the last unit is forced to a terminator whatever the driver sent.
    std::memcpy(name, reply + kPayload, kRenderInputNameUnits * sizeof(WCHAR));
    name[kRenderInputNameUnits - 1] = 0;
}
static_assert(kPayload + kRenderInputNameUnits * sizeof(WCHAR) <= kReplyBytes, "the name fits the reply");

void RendererFirstFrame(UserHandle* object) {
    if (object->HAcc == 0 || !RendererReady()) return;
    object->bFirstFrame = 1;
    SetRendererState(object->HAcc, kRendererRun);
}

VKSERROR RendererOpenInput(UserHandle* object) {
    if (!RendererReady()) return VKSERROR_NO_ERROR;

    CommandRequest request = kRequestTemplate;
    CommandReply reply = kReplyTemplate;
    VKSERROR status = HandleIoctlSync(object, IOCTL_VKS_GET_RENDER_INPUT_NAME, request.Bytes, reply.Bytes);
    if (status != VKSERROR_NO_ERROR) return status;
    WCHAR name[kRenderInputNameUnits];
    CopyRenderInputName(reply.Bytes, name);

    // The renderer gets its own copy of the class; the handle is kept only
    // once the open has succeeded, so a failed open leaves no input behind.
    VKSGUID inputClass = kRendererInputClass;
    DWORD mode = kInputOpenMode;
    DWORD hAcc = 0;
    status = Function<AccDeviceInputOpenFn>(kAccDeviceInputOpen)(&inputClass, name, object->HVKSHandle, &mode, &hAcc);
    if (status != VKSERROR_NO_ERROR) return status;
    object->HAcc = hAcc;
    object->bFirstFrame = 0;
    if (hAcc != 0) SetRendererState(hAcc, kRendererStopped);
    return VKSERROR_NO_ERROR;
}

void RendererCloseInput(UserHandle* object) {
    if (object->HAcc == 0) return;
    if (RendererReady()) Function<AccCloseFn>(kAccClose)(object->HAcc);
    // Forgotten at once: the close gives the handle's lock up before the
    // handle is retired, and nothing may reach the closed input meanwhile.
    object->HAcc = 0;
    object->bFirstFrame = 0;
}

void RendererFollowDecoderState(UserHandle* object, DWORD previousState, DWORD newState) {
    if (object->HAcc == 0 || !RendererReady()) return;
    if (newState == 3) {
        SetRendererState(object->HAcc, kRendererStopped);
    } else if (newState == 1) {
        SetRendererState(object->HAcc, kRendererPaused);
    } else if (newState == 2 && previousState == 3) {
        SetRendererState(object->HAcc, kRendererRun);
    }
}

VKSERROR RendererSetWindow(UserHandle* object, VKSHWND window) {
    if (object->HAcc == 0 || !RendererReady()) return VKSERROR_UNSUPPORTED;
    VKSERROR result = Function<AccSetWindowFn>(kAccSetWindow)(object->HAcc, window);
    if (result == VKSERROR_NO_ERROR && object->bFirstFrame == 1) {
        result = Function<AccSetStateFn>(kAccSetState)(object->HAcc,
                                                       window == nullptr ? kRendererNoWindow : kRendererRun);
    }
    return result;
}

VKSERROR RendererGetNoSignalTextA(UserHandle* object, void* arg1, void* arg2, void* arg3, void* arg4) {
    if (object->HAcc == 0 || !RendererReady()) return VKSERROR_UNSUPPORTED;
    return Function<AccGetNoSignalTextFn>(kAccGetNoSignalTextA)(object->HAcc, arg1, arg2, arg3, arg4);
}

VKSERROR RendererGetNoSignalTextW(UserHandle* object, void* arg1, void* arg2, void* arg3, void* arg4) {
    if (object->HAcc == 0 || !RendererReady()) return VKSERROR_UNSUPPORTED;
    return Function<AccGetNoSignalTextFn>(kAccGetNoSignalTextW)(object->HAcc, arg1, arg2, arg3, arg4);
}

VKSERROR RendererSetNoSignalTextA(UserHandle* object, DWORD arg1, DWORD arg2, const char* text) {
    if (object->HAcc == 0 || !RendererReady()) return VKSERROR_UNSUPPORTED;
    return Function<AccSetNoSignalTextAFn>(kAccSetNoSignalTextA)(object->HAcc, arg1, arg2, text);
}

VKSERROR RendererSetNoSignalTextW(UserHandle* object, DWORD arg1, DWORD arg2, const VKSWCHAR* text) {
    if (object->HAcc == 0 || !RendererReady()) return VKSERROR_UNSUPPORTED;
    return Function<AccSetNoSignalTextWFn>(kAccSetNoSignalTextW)(object->HAcc, arg1, arg2, text);
}
