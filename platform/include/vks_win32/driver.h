// Linux only: the seam between the platform layer's device I/O and a driver.
//
// It is shaped as Windows shapes it: a driver registers device interfaces of
// an interface class; the setup API lists them; CreateFileW on an interface
// path followed by a suffix asks the driver to create a file; every
// DeviceIoControl on that file becomes one request (an IRP) handed to the
// driver's DeviceControl routine; CloseHandle of the last handle of the file
// asks the driver to close it. The driver completes each request at once (from
// inside DeviceControl) or later, from any thread. Completing copies the
// driver's output into the caller's buffer (buffered method), stores status
// and bytes in the caller's OVERLAPPED, signals its event and the file, and
// queues a packet on the completion port bound to the file.
//
// Drivers are shared objects named in VKS_DRIVERS (colon-separated module
// names, loaded with LoadLibraryW) whose exported "VksDriverEntry" registers
// their interfaces; they are loaded on the first use of the setup API or of
// CreateFileW on a device path. When VKS_DRIVERS is unset and VKS_SIM_CONFIG
// is set, the device simulator "vkssim" is loaded.
#pragma once

#include "types.h"

extern "C" {

typedef struct VKS_IRP VKS_IRP;

typedef struct VKS_DRIVER_DISPATCH {
    // Opens a file on a device. `rest` is the file name after the interface
    // path (for example u"\\VELANTIS\\742API"); an empty text when nothing
    // follows. Returns a Windows error number (0 on success) and the driver's
    // per-file context.
    DWORD (*Create)(void* deviceContext, LPCWSTR rest, BOOL overlapped, void** fileContext);
    // One device control request. The driver completes it with
    // VksCompleteRequest, now or later. Requests still pending when the file
    // is closed must be completed by the driver's Close (as Windows' cleanup
    // does); the platform waits for none of them.
    void (*DeviceControl)(void* fileContext, VKS_IRP* irp);
    // The last handle of the file was closed.
    void (*Close)(void* fileContext);
} VKS_DRIVER_DISPATCH;

// Request accessors. The input and output buffers are the request's own
// system buffer (one buffer, as the buffered method has it: the input is
// copied in at submission, and the output is written over it).
DWORD VksIrpControlCode(const VKS_IRP* irp);
const void* VksIrpInput(const VKS_IRP* irp, DWORD* inputLength);
void* VksIrpOutput(VKS_IRP* irp, DWORD* outputLength);
// Completes a request: `win32Error` 0 for success (DeviceIoControl then
// returns TRUE), otherwise the error number the caller's GetLastError gives;
// `bytes` is the number of output bytes to copy back (at most the output
// length). The request must not be touched afterwards.
void VksCompleteRequest(VKS_IRP* irp, DWORD win32Error, DWORD bytes);
// `win32Error` of a request that fails without an error number, as Windows
// reports a driver failure status that maps to no Win32 error: a synchronous
// DeviceIoControl, or an overlapped one completed at once, returns FALSE and
// GetLastError gives 0.
#define VKS_IRP_FAILED_WITHOUT_ERROR 0xFFFFFFFFu

// Registers one device interface. `interfacePath` is what the setup API
// returns as the device path; `location` its SPDRP_LOCATION_INFORMATION text.
// Returns a registration token, or null when the arguments are unusable.
void* VksRegisterDeviceInterface(const GUID* interfaceClass, LPCWSTR interfacePath, LPCWSTR location,
                                 const VKS_DRIVER_DISPATCH* dispatch, void* deviceContext);
// Removes an interface: it no longer appears in the setup API and new opens
// fail; files already open stay usable until closed.
void VksUnregisterDeviceInterface(void* registration);

// Entry point that a driver module exports as "VksDriverEntry".
typedef BOOL (*VKS_DRIVER_ENTRY)(void);
}
