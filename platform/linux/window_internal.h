// Internals shared by the window manager files (window.cpp: classes,
// windows, queues; window_device.cpp: device notifications and the
// notification hooks). Other platform files need only the declaration of
// VksDeviceRegistrationOfHandle below.
#pragma once

#include "vks_win32/kernel.h"
#include "vks_win32/window.h"

#include <memory>
#include <mutex>
#include <vector>

// The device a file handle was opened on: the registration token that
// VksRegisterDeviceInterface returned for it, or null when the handle is not
// an open device file. Device I/O (device_io.cpp) defines it.
extern "C" const void* VksDeviceRegistrationOfHandle(HANDLE file);

namespace vks::window {

// Guards every class, window, queue and device notification. It is taken
// outside the kernel lock (the kernel lock stays innermost) and is never held
// while a window procedure runs.
std::mutex& WindowLock() noexcept;

// Owned data that a queued message's lParam points at.
struct Payload {
    std::unique_ptr<unsigned char[]> bytes;
    size_t size = 0;
};

// Delivers a message as SendNotifyMessage does: a window of the calling
// thread gets its procedure called now; another thread's window gets the
// message queued as a sent message and the call returns at once. When
// `payload` has bytes, lParam is replaced by a pointer to them, kept until
// the procedure has returned. False (ERROR_INVALID_WINDOW_HANDLE) when the
// window does not exist.
bool SendNotify(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam, Payload payload) noexcept;

// True when hwnd names a live window. Lock held.
bool IsWindowLocked(HWND hwnd) noexcept;

// Top-level windows that broadcasts reach (not message-only), in creation
// order. Lock not held.
void BroadcastTargets(std::vector<HWND>& out);

}  // namespace vks::window
