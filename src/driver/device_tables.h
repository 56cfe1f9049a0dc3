// The four device tables built at engine load, indexed by global input index.
#pragma once

#include "vks_platform.h"
#include "vksacc.h"

struct DeviceInfo {
    DeviceInfo* pNext;
    HANDLE hDevice;    // synchronous device file; NETWORK record only
    HANDLE hDeviceOv;  // overlapped device file; NETWORK record only
    WCHAR Path[512];
    WCHAR Location[256];
    const WCHAR* pSuffix;
    DWORD NumInputs;
    DWORD FirstInput;
    DWORD Device;
    volatile LONG bUpgradePending;
    // Bound to the device port with its notification request sent; only such
    // a device is sent DEREGISTER at the end.
    BYTE bNotifyArmed;
};

struct DEVICE_TABLE;

// Running totals of one type while enumerating: devices and inputs so far.
struct TypeTotals {
    DWORD devices;
    DWORD inputs;
};

// Enumerates the devices into the four tables; for each type reports the
// number of devices and of inputs. VKSERROR_HARDWARE_NOT_FOUND without devices.
VKSERROR Build742Info(DeviceInfo** network, DeviceInfo** decoders, DeviceInfo** encoders, DeviceInfo** discoveries,
                      DWORD devices[4], DWORD inputs[4]);
// Closes the file handles and frees every record of one table.
void FreeSingleTypeList(DEVICE_TABLE* table);
// The record whose input range holds `index`, or null.
DeviceInfo* DeviceFindByIndex(DWORD type, DWORD index);
// Builds one record; null when it cannot be allocated.
DeviceInfo* BuildDeviceInfo(DWORD deviceIndex, const WCHAR* path, const WCHAR* location, HANDLE device,
                            TypeTotals& totals, DWORD type);
// Queries the device's information record into the caller's (size-prefixed).
VKSERROR DeviceGetInfo(const DeviceInfo* device, DWORD type, VKSINFOW* info);
inline DWORD DeviceChannelFromIndex(const DeviceInfo* device, DWORD index) { return index - device->FirstInput; }
