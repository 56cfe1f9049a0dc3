// Engine load and free: one engine per process, shared by its users through a
// load counter.
#include "core/engine.h"

#include "core/log.h"
#include "core/status_codes.h"
#include "driver/completion_port.h"
#include "driver/device_tables.h"
#include "driver/device_notify.h"
#include "driver/notification_thread.h"
#include "objects/device_objects.h"
#include "objects/handle_table.h"
#include "objects/open_handle_list.h"
#include "objects/renderer.h"

#include <cstring>

// Constant-initialised, so that it is in place before any module constructor
// (the DllMain stand-in among them) runs.
constinit GLOBAL Global{};

namespace {

WCHAR g_OemName[kOemNameUnits];

// 8-bit flag published with release and read with acquire, so that a joining
// caller that sees it set also sees the status and the engine handle.
bool IsLoaded() { return __atomic_load_n(&Global.bLoaded, __ATOMIC_ACQUIRE) != 0; }
void SetLoaded(bool loaded) { __atomic_store_n(&Global.bLoaded, static_cast<BYTE>(loaded ? 1 : 0), __ATOMIC_RELEASE); }

typedef LONG(WINAPI* GetOEMFromRegistryExFn)(WCHAR** name, ULONGLONG* second);

// Asks the OEM library for the OEM name; returns the lookup's result.
VKSERROR LookUpOemName() {
    HMODULE library = LoadLibraryW(WSTR("oemname.dll"));
    if (library == nullptr) return kOemLookupMissing;
    VKSERROR result = kOemLookupMissing;
    // Through void*: FARPROC does not convert to another function type without a warning.
    auto lookup = reinterpret_cast<GetOEMFromRegistryExFn>(
        reinterpret_cast<void*>(GetProcAddress(library, "GetOEMFromRegistryEx")));
    if (lookup != nullptr) {
        WCHAR* name = nullptr;
        ULONGLONG second = 0;
        result = static_cast<VKSERROR>(lookup(&name, &second));
        if (result == VKSERROR_NO_ERROR && name != nullptr) {
            // Copied before the library goes; a longer name is cut to fit.
            size_t i = 0;
            for (; name[i] != 0 && i + 1 < kOemNameUnits; ++i) g_OemName[i] = name[i];
            g_OemName[i] = 0;
            Global.pOEMName = g_OemName;
        }
    }
    FreeLibrary(library);
    return result;
}

// Completion_Port_Override counts only as a 4-byte REG_DWORD.
bool ReadCompletionPortOverride() {
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, VKS_CONFIG_KEY, 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
    DWORD value = 0;
    DWORD type = 0;
    DWORD size = sizeof(value);
    const LONG queried =
        RegQueryValueExW(key, WSTR("Completion_Port_Override"), nullptr, &type, reinterpret_cast<BYTE*>(&value), &size);
    RegCloseKey(key);
    return queried == ERROR_SUCCESS && type == REG_DWORD && size == sizeof(DWORD) && value != 0;
}

}  // namespace

VKS_DLL_ENTRY(DllMain)

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) {
        DisableThreadLibraryCalls(instance);
        Global.hInstance = instance;
    }
    return TRUE;
}

VKSERROR EngineStatus() { return IsLoaded() ? Global.Status : VKSERROR_UNINITIALIZED; }

void DeliverSystemEvent(VKSERROR code, void* payload, DWORD portIndex) {
    EnterCriticalSection(&Global.EngineLock);
    VKSSYSTEMEVENTFN function = Global.pSystemEventFn;
    void* context = Global.pSystemEventContext;
    VKSSYSTEMEVENTFNEX functionEx = Global.pSystemEventFnEx;
    void* contextEx = Global.pSystemEventContextEx;
    LeaveCriticalSection(&Global.EngineLock);
    if (function != nullptr) function(code, payload, context);
    if (functionEx != nullptr) functionEx(code, payload, portIndex, contextEx);
}

extern "C" VKSERROR VKSAPI VKSEngineLoad(VKSHENGINE* phEngine) {
    LogTrace(WSTR("VKSACC::VKSEngineLoad: Enter\n"));
    if (phEngine == nullptr) return VKSERROR_INVALID_ARGUMENT;

    if (InterlockedIncrement(&Global.LoadCount) > 1) {
        // Join the engine that another caller loads or has loaded.
        while (!IsLoaded()) Sleep(10);
        *phEngine = Global.hEngine;
        return Global.Status;
    }

    InitializeCriticalSection(&Global.EngineLock);
    LogInitialise(WSTR("$$$ VKSACC: "));

    Global.pOEMName = nullptr;
    Global.Status = LookUpOemName();
    if (Global.Status == VKSERROR_NO_ERROR) {
        Global.bCompletionPortOverride =
            (Global.pOEMName != nullptr && _wcsicmp(Global.pOEMName, WSTR("Orvel")) == 0) || ReadCompletionPortOverride()
                ? 1
                : 0;
    } else {
        // Without an OEM answer the default mode applies, as on the first load
        // of a process; a mode decided by an earlier load must not turn a
        // failed lookup into a failed engine.
        Global.bCompletionPortOverride = 0;
    }
    if (!Global.bCompletionPortOverride) Global.Status = StartWorkerCompletionPort();

    if (Global.Status == VKSERROR_NO_ERROR) {
        RendererLibraryLoad();

        HandleTableConfig config{};
        config.Size = sizeof(config);
        config.BucketCount = 128;
        config.Tag = 4;
        InitialiseHandleTable(&config);

        Global.hHandleListMutex = CreateMutexW(nullptr, FALSE, nullptr);

        DWORD devices[kDeviceTypeCount] = {};
        DWORD inputs[kDeviceTypeCount] = {};
        if (Build742Info(&Global.NetworkPorts.pHead, &Global.Decoders.pHead, &Global.Encoders.pHead,
                         &Global.Discoveries.pHead, devices, inputs) == VKSERROR_NO_ERROR) {
            Global.NetworkPorts.Count = inputs[VKSDEVICETYPE_NETWORK];
            Global.Decoders.Count = inputs[VKSDEVICETYPE_DECODER];
            Global.Encoders.Count = inputs[VKSDEVICETYPE_ENCODER];
            Global.Discoveries.Count = inputs[VKSDEVICETYPE_DISCOVERY];
        }

        if (!Global.bCompletionPortOverride) StartNotificationThread();

        Global.hEngine = reinterpret_cast<VKSHENGINE>(Global.hInstance);
        *phEngine = Global.hEngine;
        Global.Status = DeviceCompletionPortOpenAndRegister(&Global.NetworkPorts);
    }

    LogTrace(WSTR("VKSACC::VKSEngineLoad: Error (0x%x) Exit\n"), Global.Status);
    SetLoaded(true);
    return Global.Status;
}

// True on a thread the engine free waits for: the worker, the device
// completion thread or the notification thread.
static bool OnEngineThread() {
    return OnCompletionPortThread(&Global.WorkerCompletionPort) ||
           OnCompletionPortThread(&Global.DeviceCompletionPort) || OnNotificationThread();
}

static DWORD CloseListedStream(DWORD handle) { return VKSNetworkStreamClose(handle); }

// Decoders and encoders still open at the last free: closed as their close
// exports would, so that the driver and the files are let go of.
static void CloseRemainingObjects() {
    DWORD handles[64];
    for (;;) {
        const size_t live = CopyLiveHandles(handles, 64);
        if (live == 0) return;
        const size_t count = live < 64 ? live : 64;
        bool closedAny = false;
        for (size_t i = 0; i < count; ++i) closedAny |= DeviceClose(handles[i]) == VKSERROR_NO_ERROR;
        if (!closedAny) return;
    }
}

extern "C" VKSERROR VKSAPI VKSEngineFree(VKSHENGINE hEngine) {
    LogTrace(WSTR("VKSACC::VKSEngineFree: Enter\n"));
    if (hEngine != Global.hEngine) return VKSERROR_ILLEGAL_CALL;
    if (Global.Status != VKSERROR_NO_ERROR) return Global.Status;

    // The last free waits for the library's own threads to end: made on one of
    // them (from a callback) it would wait for itself for ever.
    if (InterlockedCompareExchange(&Global.LoadCount, 1, 1) == 1 && OnEngineThread()) {
        LogError(WSTR("VKSACC::VKSEngineFree: called from a callback on the library's thread %08X; the engine is "
                      "not freed.\n"),
                 GetCurrentThreadId());
        return VKSERROR_ILLEGAL_CALL;
    }

    if (InterlockedDecrement(&Global.LoadCount) == 0) {
        DeviceCompletionPortClose(&Global.NetworkPorts);
        // Objects the application left open are closed while the worker still
        // runs, so that the completions of their cancelled requests are
        // handled (and their blocks freed) before it stops.
        CloseAllListedHandles(CloseListedStream);
        if (Global.hHandleListMutex != nullptr) {
            CloseHandle(Global.hHandleListMutex);
            Global.hHandleListMutex = nullptr;
        }
        CloseRemainingObjects();
        // Without the override they run from the load; with it the last close
        // stops them, unless that close came from one of them.
        if (!Global.bCompletionPortOverride || Global.WorkerCompletionPort.hPort != nullptr) StopWorkerCompletionPort();
        StopNotificationThread();
        UninitialiseHandleTable();
        RendererLibraryFree();
        FreeSingleTypeList(&Global.NetworkPorts);
        FreeSingleTypeList(&Global.Decoders);
        FreeSingleTypeList(&Global.Encoders);
        FreeSingleTypeList(&Global.Discoveries);
        Global.Status = VKSERROR_UNINITIALIZED;
        SetLoaded(false);
        DeleteCriticalSection(&Global.EngineLock);
    }

    LogTrace(WSTR("VKSACC::VKSEngineFree: Exit\n"));
    return VKSERROR_NO_ERROR;
}

extern "C" VKSERROR VKSAPI VKSSetSystemEventFn(VKSSYSTEMEVENTFN pFn, void* pContext) {
    // The lock exists only while the engine is loaded; outside that time the
    // pair is stored unguarded (no dispatcher runs then).
    const bool loaded = IsLoaded();
    if (loaded) EnterCriticalSection(&Global.EngineLock);
    Global.pSystemEventFn = pFn;
    Global.pSystemEventContext = pContext;
    if (loaded) LeaveCriticalSection(&Global.EngineLock);
    return VKSERROR_NO_ERROR;
}

extern "C" VKSERROR VKSAPI VKSSetSystemEventFnEx(VKSSYSTEMEVENTFNEX pFn, void* pContext) {
    const bool loaded = IsLoaded();
    if (loaded) EnterCriticalSection(&Global.EngineLock);
    Global.pSystemEventFnEx = pFn;
    Global.pSystemEventContextEx = pContext;
    if (loaded) LeaveCriticalSection(&Global.EngineLock);
    return VKSERROR_NO_ERROR;
}
