// Windows: custom device events of simulated devices. A real driver raises
// them with IoReportTargetDeviceChangeAsynchronous; the host delivers them as
// the system does, WM_DEVICECHANGE(DBT_CUSTOMEVENT, DEV_BROADCAST_HANDLE*) to
// each window registered with RegisterDeviceNotificationW on a file of the
// device. Delivery is asynchronous (a host thread sends the messages), so a
// driver never blocks on a window thread.
#pragma once

#include <windows.h>

#include "vks_host.h"

extern "C" {
VKS_HOST_API void VksDeliverCustomDeviceEvent(HANDLE deviceFile, const GUID* eventGuid, const void* data,
                                              DWORD dataSize);
VKS_HOST_API void VksDeliverCustomDeviceEventToDevice(const void* deviceRegistration, const GUID* eventGuid,
                                                      const void* data, DWORD dataSize);
}
