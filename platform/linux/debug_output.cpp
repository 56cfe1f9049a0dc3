// OutputDebugStringW / OutputDebugStringA and the in-process capture.
//
// Where the text goes is read from VKS_DEBUG_OUTPUT once, on the first call:
// unset or empty: nowhere; "stderr": standard error; anything else: a file the
// text is appended to (UTF-8). The text is written as given: like Windows, no
// line end is added. With no sink and no capture the calls return at once and
// never allocate; with a sink the UTF-8 form is built in a stack buffer.
#include "vks_platform.h"
#include "vks_win32/linux_ext.h"
#include "vks_text_internal.h"

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <pthread.h>
#include <unistd.h>

namespace {

// A recursive lock, statically initialised: a capture may itself call
// OutputDebugStringW, and nothing here may allocate before first use.
pthread_mutex_t g_lock = PTHREAD_RECURSIVE_MUTEX_INITIALIZER_NP;

// -1: no sink; otherwise the descriptor written to. Read once.
std::atomic<int> g_sinkFd{-1};
pthread_once_t g_sinkOnce = PTHREAD_ONCE_INIT;

std::atomic<VKS_DEBUG_CAPTURE> g_capture{nullptr};
void* g_captureContext = nullptr;  // guarded by g_lock

void OpenSink() {
    const char* target = std::getenv("VKS_DEBUG_OUTPUT");
    if (!target || !*target) return;
    if (std::strcmp(target, "stderr") == 0) {
        g_sinkFd.store(STDERR_FILENO);
        return;
    }
    int fd = ::open(target, O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) {
        std::fprintf(stderr, "vksplatform: cannot open VKS_DEBUG_OUTPUT file '%s': %s; debug output is discarded\n",
                     target, std::strerror(errno));
        return;
    }
    g_sinkFd.store(fd);
}

int SinkFd() {
    pthread_once(&g_sinkOnce, OpenSink);
    return g_sinkFd.load(std::memory_order_relaxed);
}

void WriteAll(int fd, const char* p, size_t n) {
    while (n) {
        ssize_t w = ::write(fd, p, n);
        if (w < 0) {
            if (errno == EINTR) continue;
            return;
        }
        p += w;
        n -= static_cast<size_t>(w);
    }
}

// Collects UTF-8 bytes in a stack buffer and writes it out when full. The
// caller holds g_lock, so a call's text is never interleaved with another's
// within the process.
struct Utf8Writer {
    explicit Utf8Writer(int f) : fd(f) {}
    int fd;
    char buf[1024];
    size_t n = 0;
    void Put(char32_t cp) {
        if (n + 4 > sizeof buf) Flush();
        n += static_cast<size_t>(vks::text::EncodeUtf8(cp, buf + n));
    }
    void Flush() {
        WriteAll(fd, buf, n);
        n = 0;
    }
};

struct Locked {
    Locked() { pthread_mutex_lock(&g_lock); }
    ~Locked() { pthread_mutex_unlock(&g_lock); }
};

}  // namespace

extern "C" void VksSetDebugCapture(VKS_DEBUG_CAPTURE capture, void* context) {
    Locked lock;
    g_captureContext = context;
    g_capture.store(capture);
}

extern "C" void WINAPI OutputDebugStringW(LPCWSTR lpOutputString) {
    if (!lpOutputString) return;
    const int fd = SinkFd();
    if (fd < 0 && !g_capture.load(std::memory_order_acquire)) return;
    Locked lock;
    if (VKS_DEBUG_CAPTURE capture = g_capture.load()) capture(lpOutputString, g_captureContext);
    if (fd >= 0) {
        Utf8Writer w(fd);
        size_t len = 0;
        while (lpOutputString[len]) ++len;
        for (size_t i = 0; i < len;) w.Put(vks::text::NextCodePoint(lpOutputString, len, i));
        w.Flush();
    }
}

// The 8-bit text is in the ANSI code page (Windows-1252 here), as on Windows.
extern "C" void WINAPI OutputDebugStringA(LPCSTR lpOutputString) {
    if (!lpOutputString) return;
    const int fd = SinkFd();
    if (fd < 0 && !g_capture.load(std::memory_order_acquire)) return;
    Locked lock;
    size_t len = std::strlen(lpOutputString);
    const auto* s = reinterpret_cast<const unsigned char*>(lpOutputString);
    if (VKS_DEBUG_CAPTURE capture = g_capture.load()) {
        WCHAR small[512];
        WCHAR* wide = len < 512 ? small : static_cast<WCHAR*>(std::malloc((len + 1) * sizeof(WCHAR)));
        if (wide) {
            for (size_t i = 0; i < len; ++i) wide[i] = vks::text::Cp1252ToUnit(s[i]);
            wide[len] = 0;
            capture(wide, g_captureContext);
            if (wide != small) std::free(wide);
        }
    }
    if (fd >= 0) {
        Utf8Writer w(fd);
        for (size_t i = 0; i < len; ++i) w.Put(vks::text::Cp1252ToUnit(s[i]));
        w.Flush();
    }
}
