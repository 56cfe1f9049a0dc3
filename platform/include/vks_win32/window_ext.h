// Linux only: the system's side of window notifications. On Windows the
// system tells windows about display changes and device events; here the
// stand-ins and the tests do it through these calls.
//
// Delivery is that of SendNotifyMessage: a window of the calling thread has
// its procedure called before the call returns; a window of another thread
// gets the message queued as a sent message (handled before that thread's
// posted messages, by GetMessageW/PeekMessageW/SendMessageW, and never seen
// by the message loop itself) and the call returns without waiting. So a
// caller never blocks on a window thread that may itself be waiting for the
// caller. Data a message points at is copied and stays valid until the
// window procedure returns.
#pragma once

#include "window.h"

extern "C" {

// WM_DISPLAYCHANGE (wParam = bits per pixel, lParam = MAKELPARAM(width,
// height)) to every top-level window that is not message-only.
void VksBroadcastDisplayChange(DWORD bitsPerPixel, DWORD width, DWORD height);

// WM_DEVICECHANGE(DBT_CUSTOMEVENT, DEV_BROADCAST_HANDLE*) for each device
// notification registered with exactly this handle. The record carries the
// registration's handle and HDEVNOTIFY, the event GUID, dbch_nameoffset -1
// and `dataSize` bytes of `data`; dbch_size is offsetof(dbch_data) + dataSize.
void VksDeliverCustomDeviceEvent(HANDLE deviceFile, const GUID* eventGuid, const void* data, DWORD dataSize);

// The same for every registration whose handle is a file of the device
// `deviceRegistration` (the token VksRegisterDeviceInterface returned), so
// that each handle opened on the device gets its own record.
void VksDeliverCustomDeviceEventToDevice(const void* deviceRegistration, const GUID* eventGuid, const void* data,
                                         DWORD dataSize);
}
