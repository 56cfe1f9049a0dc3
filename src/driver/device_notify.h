// The device completion port: one notification request outstanding per device,
// whose completions carry device-wide events to the system-event callback.
#pragma once

#include "vks_platform.h"
#include "vksacc.h"

struct DEVICE_TABLE;

VKSERROR DeviceCompletionPortOpenAndRegister(DEVICE_TABLE* networkPorts);
VKSERROR DeviceCompletionPortClose(DEVICE_TABLE* networkPorts);
DWORD WINAPI DeviceIoCompletionThread(LPVOID port);
