// The platform's Windows extension, and the Linux layer's display-change
// broadcast, made as Windows makes it (tests/windows/test_hooks.cpp).
#pragma once

#include_next "vks_win32/window_ext.h"

extern "C" {
// SendNotifyMessageW(HWND_BROADCAST, WM_DISPLAYCHANGE, ...): every top-level
// window that is not message-only.
void VksBroadcastDisplayChange(DWORD bitsPerPixel, DWORD width, DWORD height);
}
