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
