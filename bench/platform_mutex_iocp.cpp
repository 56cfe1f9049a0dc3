// Cost of the two kernel-object paths the library hits per request: an
// uncontended mutex wait + release, and a completion-port post + dequeue.
// A plain Win32 program, so the same figures can be taken on Windows.
//   platform_mutex_iocp [iterations]
#include "vks_platform.h"

#include <cstdio>
#include <cstdlib>

namespace {

double Seconds(const LARGE_INTEGER& a, const LARGE_INTEGER& b, const LARGE_INTEGER& f) {
    return double(b.QuadPart - a.QuadPart) / double(f.QuadPart);
}

}  // namespace

int main(int argc, char** argv) {
    const long n = argc > 1 ? std::atol(argv[1]) : 2000000;
    LARGE_INTEGER f, a, b;
    QueryPerformanceFrequency(&f);

    HANDLE mutex = CreateMutexW(nullptr, FALSE, nullptr);
    for (long i = 0; i < n / 10; ++i) {  // warm-up
        WaitForSingleObject(mutex, INFINITE);
        ReleaseMutex(mutex);
    }
    QueryPerformanceCounter(&a);
    for (long i = 0; i < n; ++i) {
        if (WaitForSingleObject(mutex, INFINITE) != WAIT_OBJECT_0 || !ReleaseMutex(mutex)) {
            std::fprintf(stderr, "mutex round trip failed\n");
            return 1;
        }
    }
    QueryPerformanceCounter(&b);
    std::printf("mutex wait+release    %8.1f ns/op  (%ld iterations)\n", Seconds(a, b, f) * 1e9 / double(n), n);
    CloseHandle(mutex);

    HANDLE port = CreateIoCompletionPort(INVALID_HANDLE_VALUE, nullptr, 0, 1);
    OVERLAPPED ov{};
    DWORD bytes;
    ULONG_PTR key;
    LPOVERLAPPED got;
    for (long i = 0; i < n / 10; ++i) {
        PostQueuedCompletionStatus(port, 1, 2, &ov);
        GetQueuedCompletionStatus(port, &bytes, &key, &got, 0);
    }
    QueryPerformanceCounter(&a);
    for (long i = 0; i < n; ++i) {
        if (!PostQueuedCompletionStatus(port, 1, 2, &ov) || !GetQueuedCompletionStatus(port, &bytes, &key, &got, 0)) {
            std::fprintf(stderr, "completion round trip failed\n");
            return 1;
        }
    }
    QueryPerformanceCounter(&b);
    std::printf("iocp post+dequeue     %8.1f ns/op  (%ld iterations)\n", Seconds(a, b, f) * 1e9 / double(n), n);
    CloseHandle(port);
    return 0;
}
