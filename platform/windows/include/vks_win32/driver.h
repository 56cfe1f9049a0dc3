// Windows: the seam between the user-mode driver host (platform/windows) and a
// simulated driver. The same seam as the Linux layer's (see its driver.h):
// a driver registers device interfaces of an interface class; the setup API
// lists them beside the real ones; CreateFileW on an interface path asks the
// driver to create a file; each DeviceIoControl on that file is one request
// handed to DeviceControl; the last close asks the driver to close the file.
// Requests complete now or later, from any thread, as a real driver's do.
//
// Texts are UTF-16 in char16_t, as on Linux, so that one driver source serves
// both platforms.
//
// Drivers are DLLs named in VKS_DRIVERS (semicolon-separated, loaded with
// LoadLibraryW) whose exported "VksDriverEntry" registers their interfaces;
// with VKS_DRIVERS unset and VKS_SIM_CONFIG set, "vkssim.dll" is loaded. They
// are loaded on the first use of the setup API or of CreateFileW on a device
// path. With neither variable set, no driver is loaded and every call is the
// system's own.
#pragma once

#include <windows.h>

#include "vks_host.h"

extern "C" {

typedef struct VKS_IRP VKS_IRP;

typedef struct VKS_DRIVER_DISPATCH {
    DWORD (*Create)(void* deviceContext, const char16_t* rest, BOOL overlapped, void** fileContext);
    void (*DeviceControl)(void* fileContext, VKS_IRP* irp);
    void (*Close)(void* fileContext);
} VKS_DRIVER_DISPATCH;

VKS_HOST_API DWORD VksIrpControlCode(const VKS_IRP* irp);
VKS_HOST_API const void* VksIrpInput(const VKS_IRP* irp, DWORD* inputLength);
VKS_HOST_API void* VksIrpOutput(VKS_IRP* irp, DWORD* outputLength);
VKS_HOST_API void VksCompleteRequest(VKS_IRP* irp, DWORD win32Error, DWORD bytes);
// `win32Error` of a request that fails without an error number, as Windows
// reports a driver failure status that maps to no Win32 error: a synchronous
// DeviceIoControl, or an overlapped one completed at once, returns FALSE and
// GetLastError gives 0.
#define VKS_IRP_FAILED_WITHOUT_ERROR 0xFFFFFFFFu

VKS_HOST_API void* VksRegisterDeviceInterface(const GUID* interfaceClass, const char16_t* interfacePath,
                                              const char16_t* location, const VKS_DRIVER_DISPATCH* dispatch,
                                              void* deviceContext);
VKS_HOST_API void VksUnregisterDeviceInterface(void* registration);

typedef BOOL (*VKS_DRIVER_ENTRY)(void);
}
