// A tiny harness for the platform conformance programs. Each program is a
// plain Win32 program: it builds against our layer on Linux and against the
// real Windows headers with mingw-w64, and the same checks must pass on both.
#pragma once

#include "vks_platform.h"

#include <cstdio>
#include <cstdlib>

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

// Prints the closing line and gives the exit status.
inline int Finish(const char* program) {
    std::printf("%s: %d passed, %d failed\n", program, Checks() - Failures(), Failures());
    return Failures() == 0 ? 0 : 1;
}

}  // namespace conformance

#define CHECK(expr) ::conformance::Report(static_cast<bool>(expr), #expr, __FILE__, __LINE__)
#define CHECK_EQ(a, b) ::conformance::ReportEq((a), (b), #a, #b, __FILE__, __LINE__)
// A call that fails (expr true) and sets the given last error.
#define CHECK_ERR(expr, error)                                  \
    do {                                                        \
        SetLastError(0);                                        \
        CHECK(expr);                                            \
        CHECK_EQ(GetLastError(), static_cast<DWORD>(error));    \
    } while (0)
