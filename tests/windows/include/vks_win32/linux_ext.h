// The Linux layer's test hooks, for the Windows test programs (tests/windows/
// test_hooks.cpp): the same calls, made of what Windows offers.
#pragma once

#include <windows.h>

extern "C" {
// Every OutputDebugString line of the process, on the calling thread, before
// the call returns (a vectored exception handler sees the debug-print
// exception first). Null removes the capture.
typedef void (*VKS_DEBUG_CAPTURE)(LPCWSTR line, void* context);
void VksSetDebugCapture(VKS_DEBUG_CAPTURE capture, void* context);

// GetProcessHandleCount.
DWORD VksOpenHandleCount(void);

// Imports the regedit file VKS_REGISTRY_FILE names into the registry, after
// deleting the keys the previous import made (unset: only that).
void VksReloadRegistry(void);
}
