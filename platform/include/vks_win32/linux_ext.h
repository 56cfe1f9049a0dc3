// Linux-only extensions of the platform layer: hooks that the stand-ins and
// the tests use where Windows has no counterpart reachable from user code.
#pragma once

#include "types.h"

extern "C" {
// Debug output. By default OutputDebugStringW writes nowhere; VKS_DEBUG_OUTPUT
// set to "stderr" sends lines to standard error, any other value names a file
// that lines are appended to. A capture installed here receives every line as
// well (the exact UTF-16 text passed to OutputDebugStringW); null removes it.
typedef void (*VKS_DEBUG_CAPTURE)(LPCWSTR line, void* context);
void VksSetDebugCapture(VKS_DEBUG_CAPTURE capture, void* context);

// The number of handles open in the process (kernel objects, files), for
// tests that look for leaks.
DWORD VksOpenHandleCount(void);

// Registry: reload the registry file (tests point VKS_REGISTRY_FILE at a new
// file and call this; the file is otherwise read once, on first use).
void VksReloadRegistry(void);
}
