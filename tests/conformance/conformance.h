// A tiny harness for the platform conformance programs. Each program is a
// plain Win32 program: it builds against our layer on Linux and against the
// real Windows headers with mingw-w64, and the same checks must pass on both.
#pragma once

#include "vks_platform.h"

#include <cstdio>
#include <cstdlib>
#include <initializer_list>

namespace conformance {

inline int& Failures() {
    static int failures = 0;
    return failures;
}
inline int& Checks() {
    static int checks = 0;
    return checks;
}

inline void Report(bool ok, const char* expr, const char* file, int line) {
    ++Checks();
    if (!ok) {
        ++Failures();
        std::fprintf(stderr, "%s:%d: check failed: %s\n", file, line, expr);
    }
}

template <typename A, typename B>
inline void ReportEq(const A& a, const B& b, const char* ea, const char* eb, const char* file, int line) {
    ++Checks();
    if (!(a == b)) {
        ++Failures();
        std::fprintf(stderr, "%s:%d: check failed: %s == %s (%lld vs %lld)\n", file, line, ea, eb,
                     static_cast<long long>(a), static_cast<long long>(b));
    }
}

// Wine reports a few results differently from Windows; the checks that
// differ name both or are skipped there. Our layer follows Windows.
inline bool OnWine() {
#if defined(_WIN32)
    return GetProcAddress(GetModuleHandleA("ntdll.dll"), "wine_get_version") != nullptr;
#else
    return false;
#endif
}

// Runs fn(arg) on a new thread.
inline HANDLE Start(LPTHREAD_START_ROUTINE fn, void* arg) { return CreateThread(nullptr, 0, fn, arg, 0, nullptr); }

// Waits for a thread, closes its handle and gives its exit code.
inline DWORD Join(HANDLE thread) {
    DWORD code = 0xDEAD;
    WaitForSingleObject(thread, INFINITE);
    GetExitCodeThread(thread, &code);
    CloseHandle(thread);
    return code;
}

// Runs a callable (a lambda giving the thread's exit code) on a new thread,
// with CreateThread's creation flags, thread id and stack size. The thread
// works on its own copy, freed before the call so that a thread ending in
// ExitThread leaks nothing; what the callable refers to must outlive the
// thread.
template <typename F>
DWORD WINAPI CallOnThread(void* p) {
    F f(*static_cast<F*>(p));
    delete static_cast<F*>(p);
    return static_cast<DWORD>(f());
}
template <typename F>
HANDLE Start(F f, DWORD flags = 0, DWORD* id = nullptr, SIZE_T stackSize = 0) {
    return CreateThread(nullptr, stackSize, CallOnThread<F>, new F(f), flags, id);
}

// Runs a callable on a new thread, waits for it and gives its exit code.
template <typename F>
DWORD Run(F f) {
    return Join(Start(f));
}

// Milliseconds on the performance counter since `start`.
inline double MillisecondsSince(const LARGE_INTEGER& start) {
    LARGE_INTEGER f, now;
    QueryPerformanceFrequency(&f);
    QueryPerformanceCounter(&now);
    return double(now.QuadPart - start.QuadPart) * 1000.0 / double(f.QuadPart);
}

inline HANDLE NewEvent(bool manual, bool initial) { return CreateEventW(nullptr, manual, initial, nullptr); }

inline bool Signaled(HANDLE h) { return WaitForSingleObject(h, 0) == WAIT_OBJECT_0; }

inline void CloseAll(std::initializer_list<HANDLE> handles) {
    for (HANDLE h : handles) CloseHandle(h);
}

// Steps through a script on one object and checks every step, stopping at
// the first that fails: 's' SetEvent, 'r' ResetEvent, 'p' ReleaseSemaphore
// by one, 'm' ReleaseMutex, 'x' a ReleaseMutex that fails with
// ERROR_NOT_OWNER; and waits that do not block: '+' signalled (and taken),
// '-' times out.
inline bool Step(HANDLE h, char step) {
    SetLastError(0);
    switch (step) {
    case 's': return SetEvent(h) != FALSE;
    case 'r': return ResetEvent(h) != FALSE;
    case 'p': return ReleaseSemaphore(h, 1, nullptr) != FALSE;
    case 'm': return ReleaseMutex(h) != FALSE;
    case 'x': return !ReleaseMutex(h) && GetLastError() == ERROR_NOT_OWNER;
    case '+': return WaitForSingleObject(h, 0) == WAIT_OBJECT_0;
    case '-': return WaitForSingleObject(h, 0) == WAIT_TIMEOUT;
    default: return false;
    }
}
// True when every step holds; else says which step failed.
inline bool Steps(HANDLE h, const char* steps) {
    int i = 0;
    while (steps[i] && Step(h, steps[i])) ++i;
    if (steps[i]) std::fprintf(stderr, "step %d ('%c') of \"%s\" failed:\n", i, steps[i], steps);
    return steps[i] == 0;
}

// Prints the closing line and gives the exit status.
inline int Finish(const char* program) {
    std::printf("%s: %d passed, %d failed\n", program, Checks() - Failures(), Failures());
    return Failures() == 0 ? 0 : 1;
}

}  // namespace conformance

#define CHECK(expr) ::conformance::Report(static_cast<bool>(expr), #expr, __FILE__, __LINE__)
#define CHECK_EQ(a, b) ::conformance::ReportEq((a), (b), #a, #b, __FILE__, __LINE__)
// Both sides compared as DWORD values (wait results, error codes).
#define CHECK_DW(a, b) \
    ::conformance::ReportEq(static_cast<DWORD>(a), static_cast<DWORD>(b), #a, #b, __FILE__, __LINE__)
#define CHECK_STEPS(h, steps) CHECK(::conformance::Steps((h), (steps)))
// A call that fails (expr true) and sets the given last error.
#define CHECK_ERR(expr, error)                                  \
    do {                                                        \
        SetLastError(0);                                        \
        CHECK(expr);                                            \
        CHECK_EQ(GetLastError(), static_cast<DWORD>(error));    \
    } while (0)
