// The diagnostic log: one line per call to the debugger output stream,
// filtered by a level mask read from the configuration key.
#pragma once

#include "vks_platform.h"

enum : DWORD {
    LOG_LEVEL_ERROR = 0x01,  // errors and notifications share this bit
    LOG_LEVEL_WARNING = 0x02,
    LOG_LEVEL_MESSAGE = 0x04,
    LOG_LEVEL_TRACE = 0x08,
    LOG_LEVEL_VERBOSE = 0x10,
};

// Units of one composed line, terminator included.
constexpr size_t kLogLineUnits = 2048;
// Units of the module prefix store, terminator included.
constexpr size_t kLogPrefixUnits = 60;

// The library's configuration key under HKEY_LOCAL_MACHINE.
#define VKS_CONFIG_KEY WSTR("SOFTWARE\\Classes\\CLSID\\{3A71D0C2-5B9E-4d17-A6F3-0C94E2B8D715}")

// Process-wide level mask; 0 (everything off) until LogInitialise.
extern DWORD g_LogLevelMask;

// Reads DebugLevel (a 4-byte REG_DWORD; anything else leaves the mask as it
// is) and stores the module prefix printed on every line.
void LogInitialise(const WCHAR* modulePrefix);

void LogError(const WCHAR* format, ...);
void LogNotification(const WCHAR* format, ...);
void LogWarning(const WCHAR* format, ...);
void LogMessage(const WCHAR* format, ...);
void LogTrace(const WCHAR* format, ...);
void LogVerbose(const WCHAR* format, ...);

// Composes "<thread id> level : prefix message" in a stack buffer and sends it.
void LogWriteLine(const WCHAR* levelName, const WCHAR* format, va_list args);

// Test support: the prefix currently stored.
const WCHAR* LogPrefix();
