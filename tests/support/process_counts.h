// What a process holds, for tests that look for leaks: its threads (from
// /proc/self/task) and its handles.
#pragma once

#include "vks_platform.h"
#include "vks_win32/linux_ext.h"

#include <dirent.h>

#include <cstddef>

namespace vkstest {

inline size_t ThreadCount() {
    size_t count = 0;
    if (DIR* dir = opendir("/proc/self/task")) {
        while (dirent* entry = readdir(dir)) {
            if (entry->d_name[0] != '.') ++count;
        }
        closedir(dir);
    }
    return count;
}

// A thread whose handle was signalled may still be leaving the kernel's list
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
