// The life of every open object: the open, close and state routines that the
// decoder, encoder, network-stream and discovery exports share.
#pragma once

#include "vks_platform.h"
#include "vksacc.h"

struct DeviceInfo;

// `addressCodePage` is the code page of the address text: the ANSI code page
// from the 8-bit exports, UTF-8 from the wide ones (which convert to UTF-8).
VKSERROR DeviceOpen(DWORD index, const DeviceInfo* device, DWORD type, const char* address, DWORD openFlags, HVKS* handle,
                    DWORD transportSelector, const BYTE* streamOptions, VKSGUID* sessionGuid,
                    UINT addressCodePage = CP_ACP);
VKSERROR DeviceClose(HVKS handle);
VKSERROR DeviceSetState(HVKS handle, DWORD state);
VKSERROR DeviceGetState(HVKS handle, uint32_t* state);

// Sends the close command for an object described by its leading fields.
VKSERROR VKSCloseK(DWORD type, HANDLE device, DWORD hvksHandle, DWORD channel);

// A stream address in the form the driver takes.
struct PreparedAddress {
    const char* text;    // what is sent (the caller's text or `owned`)
    char* owned;         // a new buffer to free after the open, or null
    DWORD size;          // bytes sent, terminator included
    ULONGLONG length;    // the length value of the open command
};

// Prepares the address of a network stream (see the rules in device_open.cpp).
// May open the playback file into the object. Logs and returns a status.
struct UserHandle;
VKSERROR PrepareStreamAddress(DWORD index, HVKS* out, UserHandle* object, const char* address, UINT codePage,
                              PreparedAddress* prepared);
