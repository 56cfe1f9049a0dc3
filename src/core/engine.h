// The engine: the library's single process-wide record, and its load and free.
#pragma once

#include "vks_platform.h"
#include "vksacc.h"
#include "driver/completion_port.h"

struct DeviceInfo;

// One device table: the devices that have inputs of one type, and the total
// number of those inputs.
struct DEVICE_TABLE {
    DeviceInfo* pHead;
    DWORD Count;
};

struct GLOBAL {
    HINSTANCE hInstance;
    VKSHENGINE hEngine;
    volatile BYTE bLoaded;
    COMPLETION_PORT DeviceCompletionPort;
    COMPLETION_PORT WorkerCompletionPort;
    VKSERROR Status = VKSERROR_UNINITIALIZED;
    volatile LONG LoadCount;
    volatile LONG OpenDeviceCount;
    DEVICE_TABLE NetworkPorts;
    DEVICE_TABLE Decoders;
    DEVICE_TABLE Encoders;
    DEVICE_TABLE Discoveries;
    BYTE bCompletionPortOverride;
    WCHAR* pOEMName;
    HMODULE hRendererLibrary;
    DWORD hRendererEngine;
    HANDLE hNotificationThread;
    void* hNotificationWindow;
    HANDLE hHandleListMutex;
    void* pHandleList;
    BOOL bAudioDecodeEnabled = TRUE;
    CRITICAL_SECTION EngineLock;
    volatile LONG UpgradePendingCount;
    VKSSYSTEMEVENTFN pSystemEventFn;
    void* pSystemEventContext;
    VKSSYSTEMEVENTFNEX pSystemEventFnEx;
    void* pSystemEventContextEx;
};

extern GLOBAL Global;

// The internal value of a missing OEM library or entry point.
constexpr VKSERROR kOemLookupMissing = 0x00060001;
// Units of the OEM name store, terminator included.
constexpr size_t kOemNameUnits = 256;

// Calls the system-event callback, if any, with the pair copied under EngineLock.
// `portIndex`: the first network port of the device that sent the event.
void DeliverSystemEvent(VKSERROR code, void* payload, DWORD portIndex);

// Engine status as the exports that address a device by index see it: the
// status, read after bLoaded so that a load in progress reads as not loaded.
VKSERROR EngineStatus();
