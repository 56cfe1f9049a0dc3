// Status codes, device types and the text helpers shared by every subsystem.
#pragma once

#include "vks_platform.h"
#include "vksacc.h"

// Number of device kinds (VKSDEVICETYPE_NETWORK .. VKSDEVICETYPE_DISCOVERY).
constexpr DWORD kDeviceTypeCount = 4;

// VKSErrorToString, the name of a status code, is exported: vksacc.h.

// "NETWORK", "DECODER", "ENCODER", "DISCOVERY", or "Invalid".
const char* DeviceTypeToString(DWORD type);

// Converts UTF-16 text to a newly allocated UTF-8 text (release with free()).
// Null when the input is null or the conversion fails.
char* WideToUtf8Alloc(const WCHAR* text);

// Converts `text` up to `units` units or its terminator into `out` (room for
// `outBytes` bytes, at least 1) in the code page: as many whole characters as
// fit, terminated after the bytes written. Returns the bytes written, or -1
// (empty text, GetLastError set) when the conversion fails otherwise.
int WideToMultiByteBounded(UINT codePage, const WCHAR* text, int units, char* out, int outBytes);
