// The device completion port: one notification request outstanding per device,
// whose completions carry device-wide events to the system-event callback.
#pragma once

#include "vks_platform.h"
#include "vksacc.h"

struct DEVICE_TABLE;

// The payload word of a notification request.
enum : DWORD {
    NOTIFY_MODE_REGISTER = 0,
    NOTIFY_MODE_REREGISTER = 1,
    NOTIFY_MODE_DEREGISTER = 2,
};

// Creates the device port with its thread and arms every device that can be
// armed; one that cannot be bound or sent its request is logged and left out.
VKSERROR DeviceCompletionPortOpenAndRegister(DEVICE_TABLE* networkPorts);
// Sends DEREGISTER to every armed device, waits for their requests to come
// back (a device that refuses DEREGISTER has its file closed), then stops the
// port.
VKSERROR DeviceCompletionPortClose(DEVICE_TABLE* networkPorts);
// Sends one notification request on a device's overlapped file.
VKSERROR SendSetNotify(HANDLE deviceOv, DWORD mode);
DWORD WINAPI DeviceIoCompletionThread(LPVOID port);
