// POSIX (Linux): the operating-system layer of os.h, and the stop handling
// and wait of session.h: signals taken by a thread of our own, a pipe that
// wakes the main thread.
#include "os.h"
#include "session.h"

#include <atomic>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dlfcn.h>
#include <fcntl.h>
#include <poll.h>
#include <strings.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace vksctl {

namespace os {

const char kListSeparator = ':';

bool IsFile(const std::string& path) {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool IsDirectory(const std::string& path) {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::string ExecutableDirectory() {
    char path[PATH_MAX];
    const ssize_t n = ::readlink("/proc/self/exe", path, sizeof path - 1);
    if (n <= 0) return ".";
    path[n] = 0;
    std::string p(path);
    const size_t slash = p.rfind('/');
    return slash == std::string::npos ? "." : p.substr(0, slash);
}

std::string LibraryDirectory() {
    Dl_info info{};
    if (!::dladdr(reinterpret_cast<void*>(&VKSEngineLoad), &info) || !info.dli_fname) return ".";
    const std::string p(info.dli_fname);
    const size_t slash = p.rfind('/');
    return slash == std::string::npos ? "." : p.substr(0, slash);
}

std::string RealPath(const std::string& path) {
    char resolved[PATH_MAX];
    return ::realpath(path.c_str(), resolved) ? std::string(resolved) : std::string();
}

std::string AbsolutePath(const std::string& path) {
    if (!path.empty() && path[0] == '/') return path;
    char cwd[PATH_MAX];
    if (!::getcwd(cwd, sizeof cwd)) return path;
    std::string base(cwd);
    std::string rest = path;
    while (rest.rfind("./", 0) == 0) rest = rest.substr(2);
    return base == "/" ? "/" + rest : base + "/" + rest;
}

std::string MakeTemporaryFile(std::string* error) {
    char pattern[] = "/tmp/vksctl-registry-XXXXXX";
    const int fd = ::mkstemp(pattern);
    if (fd < 0) {
        *error = std::strerror(errno);
        return {};
    }
    ::close(fd);
    return pattern;
}

void SetEnvironment(const char* name, const char* value) {
    if (value)
        ::setenv(name, value, 1);
    else
        ::unsetenv(name);
}

std::string ModuleFileName(const std::string& name) {
    if (name.size() >= 3 && name.compare(name.size() - 3, 3, ".so") == 0) return name;
    std::string base = name;
    if (base.size() > 4 && strcasecmp(base.c_str() + base.size() - 4, ".dll") == 0) base.resize(base.size() - 4);
    return "lib" + base + ".so";
}

void* LoadModule(const std::string& path, std::string* error) {
    void* module = ::dlopen(path.c_str(), RTLD_LAZY | RTLD_LOCAL);
    if (!module) {
        const char* text = ::dlerror();
        *error = text ? text : "cannot be loaded";
    }
    return module;
}

void* ModuleSymbol(void* module, const char* name) { return ::dlsym(module, name); }

void UnloadModule(void* module) { ::dlclose(module); }

void* LoadedSymbol(const char* name) { return ::dlsym(RTLD_DEFAULT, name); }

void UseStandinFolder(const std::string& folder) {
    const char* dllPath = std::getenv("VKS_DLL_PATH");
    if (!dllPath || !*dllPath) ::setenv("VKS_DLL_PATH", folder.c_str(), 1);
}

}  // namespace os

namespace {

std::atomic<bool> g_stop{false};
int g_wakePipe[2] = {-1, -1};

}  // namespace

void InstallStopHandler() {
    if (g_wakePipe[0] < 0 && ::pipe2(g_wakePipe, O_CLOEXEC | O_NONBLOCK) != 0) g_wakePipe[0] = g_wakePipe[1] = -1;
    // The signals are blocked in every thread (the library's threads are all
    // started later, from this one, and inherit the mask), so that no
    // library call is ever interrupted; one thread of our own takes them
    // and only sets the flag and wakes the main thread.
    static sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    ::pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
    // A closed standard output (`vksctl play ... | head -2`) must not kill
    // the process with the engine loaded and a helper process running: writes
    // fail with EPIPE instead, and WaitForWake treats it as Ctrl-C.
    ::signal(SIGPIPE, SIG_IGN);
    std::thread([] {
        int signal = 0;
        while (::sigwait(&stopSignals, &signal) == 0) {
            g_stop = true;
            Wake();
        }
    }).detach();
}

bool StopRequested() {
    if (!g_stop && OutputClosed()) g_stop = true;
    return g_stop;
}

bool OutputClosed() {
    if (std::ferror(stdout) && errno == EPIPE) return true;
    // The reader of a pipe has gone: POLLERR on the write end, even before
    // anything more is written.
    pollfd p{STDOUT_FILENO, 0, 0};
    return ::poll(&p, 1, 0) > 0 && (p.revents & POLLERR);
}

void Wake() {
    if (g_wakePipe[1] >= 0) {
        const char byte = 1;
        // A full pipe already wakes the reader; nothing is lost.
        [[maybe_unused]] ssize_t n = ::write(g_wakePipe[1], &byte, 1);
    }
}

bool WaitForWake(int milliseconds) {
    if (StopRequested()) return false;
    if (g_wakePipe[0] >= 0) {
        pollfd p[2] = {{g_wakePipe[0], POLLIN, 0}, {STDOUT_FILENO, 0, 0}};
        const int ready = ::poll(p, 2, milliseconds);
        if (ready > 0 && (p[1].revents & POLLERR)) g_stop = true;
        if (ready > 0 && (p[0].revents & POLLIN)) {
            char drain[64];
            while (::read(g_wakePipe[0], drain, sizeof drain) > 0) {
            }
        }
    } else if (milliseconds > 0) {
        ::usleep(static_cast<useconds_t>(milliseconds) * 1000);
    }
    return !StopRequested();
}

}  // namespace vksctl
