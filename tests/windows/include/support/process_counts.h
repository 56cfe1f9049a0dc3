// What a process holds, for tests that look for leaks: its threads (a
// Toolhelp snapshot) and its handles. Windows counterpart of
// tests/support/process_counts.h.
#pragma once

#include <windows.h>
#include <tlhelp32.h>

#include <cstddef>

#include "vks_win32/linux_ext.h"

namespace vkstest {

inline size_t ThreadCount() {
    size_t count = 0;
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    if (snapshot == INVALID_HANDLE_VALUE) return 0;
    THREADENTRY32 entry{sizeof entry};
    for (BOOL more = Thread32First(snapshot, &entry); more; more = Thread32Next(snapshot, &entry))
        count += entry.th32OwnerProcessID == GetCurrentProcessId();
    CloseHandle(snapshot);
    return count;
}

// A thread whose handle was signalled may still be leaving the system's list
// for a moment: this allows it that moment (up to five seconds), no more.
inline size_t ThreadCountSettledAtMost(size_t limit) {
    const ULONGLONG deadline = GetTickCount64() + 5000;
    size_t count = ThreadCount();
    while (count > limit && GetTickCount64() < deadline) {
        Sleep(1);
        count = ThreadCount();
    }
    return count;
}

}  // namespace vkstest
