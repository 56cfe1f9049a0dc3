// Sleep, tick counts and the performance counter, all on CLOCK_MONOTONIC.
#include "vks_win32/kernel.h"

#include <errno.h>
#include <sched.h>
#include <time.h>
#include <unistd.h>

namespace {

uint64_t MonotonicNanoseconds() noexcept {
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<uint64_t>(ts.tv_sec) * 1000000000u + static_cast<uint64_t>(ts.tv_nsec);
}

}  // namespace

extern "C" {

void WINAPI Sleep(DWORD dwMilliseconds) {
    if (dwMilliseconds == 0) {
        // Gives up the rest of the time slice, as on Windows.
        sched_yield();
        return;
    }
    if (dwMilliseconds == INFINITE) {
        for (;;) pause();
    }
    timespec left{static_cast<time_t>(dwMilliseconds / 1000), static_cast<long>(dwMilliseconds % 1000) * 1000000L};
    while (nanosleep(&left, &left) == -1 && errno == EINTR) {
    }
}

// Milliseconds since boot, like Windows; the 32-bit form wraps every 49.7 days.
ULONGLONG WINAPI GetTickCount64(void) { return MonotonicNanoseconds() / 1000000u; }
DWORD WINAPI GetTickCount(void) { return static_cast<DWORD>(GetTickCount64()); }

BOOL WINAPI QueryPerformanceCounter(LARGE_INTEGER* lpPerformanceCount) {
    lpPerformanceCount->QuadPart = static_cast<LONGLONG>(MonotonicNanoseconds());
    return TRUE;
}

BOOL WINAPI QueryPerformanceFrequency(LARGE_INTEGER* lpFrequency) {
    lpFrequency->QuadPart = 1000000000;
    return TRUE;
}

}  // extern "C"
