// Cost of the driver host's "is this a simulated file?" check on calls that
// go to the system: the same real call made directly and through the host,
// with no simulated file open (one atomic load) and with one open (a shared
// lock and a table lookup). A plain Windows program (the host exists only
// there); prints nanoseconds per call.
//   host_check_bench [iterations]
#include "vks_platform.h"
#include "vks_win32/driver.h"

#include <cstdio>
#include <cstdlib>

namespace {

DWORD Create(void*, const char16_t*, BOOL, void** file) {
    *file = nullptr;
    return ERROR_SUCCESS;
}
void Control(void*, VKS_IRP* irp) { VksCompleteRequest(irp, ERROR_SUCCESS, 0); }
void Close(void*) {}

template <class Call>
double NanosecondsPerCall(long n, Call call) {
    LARGE_INTEGER f, a, b;
    QueryPerformanceFrequency(&f);
    for (long i = 0; i < n / 10; ++i) call();
    QueryPerformanceCounter(&a);
    for (long i = 0; i < n; ++i) call();
    QueryPerformanceCounter(&b);
    return double(b.QuadPart - a.QuadPart) * 1e9 / double(f.QuadPart) / double(n);
}

void Measure(const char* when, long n, HANDLE file) {
    // A user-mode call (a finished request's result) and a system call (a
    // device control the file system refuses).
    OVERLAPPED done{};
    DWORD bytes = 0;
    const double resultDirect = NanosecondsPerCall(n, [&] { ::GetOverlappedResult(file, &done, &bytes, FALSE); });
    const double resultHost = NanosecondsPerCall(n, [&] { GetOverlappedResult(file, &done, &bytes, FALSE); });
    const double ioctlDirect =
        NanosecondsPerCall(n / 10, [&] { ::DeviceIoControl(file, 0x90000, nullptr, 0, nullptr, 0, &bytes, nullptr); });
    const double ioctlHost =
        NanosecondsPerCall(n / 10, [&] { DeviceIoControl(file, 0x90000, nullptr, 0, nullptr, 0, &bytes, nullptr); });
    std::printf("%-28s GetOverlappedResult %7.1f ns direct, %7.1f ns through the host (+%.1f)\n", when, resultDirect,
                resultHost, resultHost - resultDirect);
    std::printf("%-28s DeviceIoControl     %7.1f ns direct, %7.1f ns through the host (+%.1f)\n", when, ioctlDirect,
                ioctlHost, ioctlHost - ioctlDirect);
}

}  // namespace

int main(int argc, char** argv) {
    const long n = argc > 1 ? std::atol(argv[1]) : 2000000;
    wchar_t self[MAX_PATH];
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    HANDLE file = CreateFileW(self, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return 1;
    Measure("no simulated file open:", n, file);

    static const GUID kClass = {0x2b9d4e61, 0x7a0c, 0x4f3e, {0x8d, 0x15, 0x6e, 0x20, 0xc4, 0x91, 0x3a, 0x57}};
    static const VKS_DRIVER_DISPATCH dispatch = {Create, Control, Close};
    void* registration = VksRegisterDeviceInterface(&kClass, u"\\\\?\\bench#host", u"", &dispatch, nullptr);
    HANDLE simulated = CreateFileW(L"\\\\?\\bench#host", 0, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (simulated == INVALID_HANDLE_VALUE) return 1;
    Measure("one simulated file open:", n, file);
    const double sync = NanosecondsPerCall(n / 10, [&] {
        DeviceIoControl(simulated, 0x220000, nullptr, 0, nullptr, 0, nullptr, nullptr);
    });
    std::printf("%-28s synchronous request on a simulated file: %.1f ns\n", "", sync);
    CloseHandle(simulated);
    VksUnregisterDeviceInterface(registration);
    CloseHandle(file);
    return 0;
}
