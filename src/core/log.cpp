#include "core/log.h"

DWORD g_LogLevelMask = 0;

namespace {

WCHAR g_LogPrefix[kLogPrefixUnits] = {};

// Copies at most capacity-1 units and always terminates.
void CopyBounded(WCHAR* dest, size_t capacity, const WCHAR* src) {
    size_t i = 0;
    for (; src != nullptr && src[i] != 0 && i + 1 < capacity; ++i) dest[i] = src[i];
    dest[i] = 0;
}

size_t Length(const WCHAR* text, size_t capacity) {
    size_t n = 0;
    while (n < capacity && text[n] != 0) ++n;
    return n;
}

}  // namespace

void LogInitialise(const WCHAR* modulePrefix) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, VKS_CONFIG_KEY, 0, KEY_READ | KEY_WOW64_64KEY, &key) == ERROR_SUCCESS) {
        DWORD value = 0;
        DWORD type = 0;
        DWORD size = sizeof(value);
        if (RegQueryValueExW(key, WSTR("DebugLevel"), nullptr, &type, reinterpret_cast<BYTE*>(&value), &size) ==
                ERROR_SUCCESS &&
            type == REG_DWORD && size == sizeof(DWORD)) {
            g_LogLevelMask = value;
        }
        RegCloseKey(key);
    }
    CopyBounded(g_LogPrefix, kLogPrefixUnits, modulePrefix);
}

const WCHAR* LogPrefix() { return g_LogPrefix; }

void LogWriteLine(const WCHAR* levelName, const WCHAR* format, va_list args) {
    WCHAR line[kLogLineUnits];
    line[0] = 0;
    _snwprintf_s(line, kLogLineUnits, _TRUNCATE, WSTR("<%08X> %-12s : %s"), GetCurrentThreadId(), levelName,
                 g_LogPrefix);
    size_t used = Length(line, kLogLineUnits);
    bool cut = false;
    if (used + 1 < kLogLineUnits) {
        cut = _vsnwprintf_s(line + used, kLogLineUnits - used, _TRUNCATE, format, args) < 0;
        used += Length(line + used, kLogLineUnits - used);
    } else {
        cut = true;
    }
    const bool needsLineFeed = used == 0 || line[used - 1] != WSTR('\n');
    // A message that fills the buffer exactly leaves no room for its line
    // feed and terminator: it did not fit either.
    if (!cut && needsLineFeed && used + 2 > kLogLineUnits) cut = true;
    if (cut) {
        // The message did not fit: end the line with a visible mark and the
        // line feed, inside the buffer.
        static const WCHAR kCutMark[] = WSTR("...\n");
        const size_t markUnits = sizeof(kCutMark) / sizeof(WCHAR);  // with terminator
        if (used > kLogLineUnits - markUnits) used = kLogLineUnits - markUnits;
        for (size_t i = 0; i < markUnits; ++i) line[used + i] = kCutMark[i];
    } else if (needsLineFeed) {
        line[used] = WSTR('\n');
        line[used + 1] = 0;
    }
    OutputDebugStringW(line);
}

#define VKS_LOG_LEVEL_FUNCTION(function, bit, name)        \
    void function(const WCHAR* format, ...) {              \
        if ((g_LogLevelMask & (bit)) == 0) return;         \
        va_list args;                                      \
        va_start(args, format);                            \
        LogWriteLine(WSTR(name), format, args);            \
        va_end(args);                                      \
    }

VKS_LOG_LEVEL_FUNCTION(LogError, LOG_LEVEL_ERROR, "ERROR")
VKS_LOG_LEVEL_FUNCTION(LogNotification, LOG_LEVEL_ERROR, "NOTIFICATION")
VKS_LOG_LEVEL_FUNCTION(LogWarning, LOG_LEVEL_WARNING, "WARNING")
VKS_LOG_LEVEL_FUNCTION(LogMessage, LOG_LEVEL_MESSAGE, "LOG")
VKS_LOG_LEVEL_FUNCTION(LogTrace, LOG_LEVEL_TRACE, "TRACE")
VKS_LOG_LEVEL_FUNCTION(LogVerbose, LOG_LEVEL_VERBOSE, "VERBOSE")
