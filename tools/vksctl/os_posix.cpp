#include "os.h"
#include "session.h"

#include <atomic>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace vksctl {

namespace os {

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

std::string RealPath(const std::string& path) {
    char resolved[PATH_MAX];
    return ::realpath(path.c_str(), resolved) ? std::string(resolved) : std::string();
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

void UseStandinFolder(const std::string& folder) { ::setenv("VKS_DLL_PATH", folder.c_str(), 1); }

bool StandardOutputIsTerminal() { return ::isatty(STDOUT_FILENO) != 0; }

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
    std::thread([] {
        int signal = 0;
        while (::sigwait(&stopSignals, &signal) == 0) {
            g_stop = true;
            Wake();
        }
    }).detach();
}

bool StopRequested() { return g_stop; }

void Wake() {
    if (g_wakePipe[1] >= 0) {
        const char byte = 1;
        // A full pipe already wakes the reader; nothing is lost.
        [[maybe_unused]] ssize_t n = ::write(g_wakePipe[1], &byte, 1);
    }
}

bool WaitForWake(int milliseconds) {
    if (g_stop) return false;
    if (g_wakePipe[0] >= 0) {
        pollfd p{g_wakePipe[0], POLLIN, 0};
        const int ready = ::poll(&p, 1, milliseconds);
        if (ready > 0) {
            char drain[64];
            while (::read(g_wakePipe[0], drain, sizeof drain) > 0) {
            }
        }
    } else if (milliseconds > 0) {
        ::usleep(static_cast<useconds_t>(milliseconds) * 1000);
    }
    return !g_stop;
}

}  // namespace vksctl
