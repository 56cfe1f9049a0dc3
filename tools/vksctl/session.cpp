#include "session.h"

#include "output.h"

#include <atomic>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <poll.h>
#include <sstream>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace vksctl {

namespace {

std::atomic<bool> g_stop{false};
int g_wakePipe[2] = {-1, -1};
std::string g_temporaryRegistry;

bool FileExists(const std::string& path) {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool DirectoryExists(const std::string& path) {
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

// The shipped simulator configuration: beside an installed vksctl, then in
// the source tree it was built from.
std::string DefaultSimConfig() {
    const std::string installed = ExecutableDirectory() + "/../share/vksacc/sim/default.conf";
    char resolved[PATH_MAX];
    if (FileExists(installed) && ::realpath(installed.c_str(), resolved)) return resolved;
#ifdef VKSCTL_SOURCE_SIM_CONFIG
    if (FileExists(VKSCTL_SOURCE_SIM_CONFIG)) return VKSCTL_SOURCE_SIM_CONFIG;
#endif
    return {};
}

// The stand-in rendering and OEM libraries: beside an installed vksctl, or
// in the build tree.
std::string StandinDirectory() {
    for (const char* relative : {"/../lib/vksacc/standins", "/../standins"}) {
        const std::string dir = ExecutableDirectory() + relative;
        char resolved[PATH_MAX];
        if (DirectoryExists(dir) && ::realpath(dir.c_str(), resolved)) return resolved;
    }
    return {};
}

bool LogLevelMask(const std::string& text, uint32_t* mask) {
    static const struct {
        const char* name;
        uint32_t mask;
    } kLevels[] = {{"none", 0x00},     {"errors", 0x01}, {"warnings", 0x03}, {"messages", 0x07},
                   {"trace", 0x0F},    {"verbose", 0x1F}, {"all", 0x1F}};
    for (const auto& level : kLevels)
        if (text == level.name) {
            *mask = level.mask;
            return true;
        }
    return ParseU32(text, mask) && *mask <= 0xFF;
}

// A registry file with the user's values (if any) and DebugLevel set.
bool WriteLogLevelRegistry(const std::string& base, uint32_t mask) {
    std::string body;
    if (!base.empty()) {
        std::ifstream in(base, std::ios::binary);
        std::stringstream text;
        text << in.rdbuf();
        body = text.str();
        if (body.size() >= 2 && static_cast<unsigned char>(body[0]) == 0xFF &&
            static_cast<unsigned char>(body[1]) == 0xFE) {
            PrintError("", "--log-level cannot be combined with a UTF-16 registry file; set DebugLevel in it instead");
            return false;
        }
        // Drop the header line: ours comes first.
        const size_t end = body.find('\n');
        body = end == std::string::npos ? std::string() : body.substr(end + 1);
    }
    char pattern[] = "/tmp/vksctl-registry-XXXXXX";
    const int fd = ::mkstemp(pattern);
    if (fd < 0) {
        PrintError("", std::string("cannot make a temporary registry file: ") + std::strerror(errno));
        return false;
    }
    ::close(fd);
    g_temporaryRegistry = pattern;
    char level[16];
    std::snprintf(level, sizeof level, "%08x", mask);
    std::ofstream out(g_temporaryRegistry, std::ios::binary);
    out << "Windows Registry Editor Version 5.00\n\n"
        << body << "\n\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes\\CLSID\\{3A71D0C2-5B9E-4d17-A6F3-0C94E2B8D715}]\n"
        << "\"DebugLevel\"=dword:" << level << "\n";
    ::setenv("VKS_REGISTRY_FILE", g_temporaryRegistry.c_str(), 1);
    return true;
}

}  // namespace

bool PrepareEnvironment(Context* context) {
    const GlobalOptions& g = context->global;
    if (!g.registry.empty()) {
        if (!FileExists(g.registry)) {
            PrintError("", "registry file " + g.registry + " does not exist");
            return false;
        }
        ::setenv("VKS_REGISTRY_FILE", g.registry.c_str(), 1);
    }
    if (!g.logLevel.empty()) {
        uint32_t mask = 0;
        if (!LogLevelMask(g.logLevel, &mask)) {
            PrintError("", "unknown log level '" + g.logLevel +
                               "' (none, errors, warnings, messages, trace, verbose, or a DebugLevel mask)");
            return false;
        }
        const char* current = std::getenv("VKS_REGISTRY_FILE");
        if (!WriteLogLevelRegistry(current ? current : "", mask)) return false;
        // Diagnostics that go nowhere would make the option useless.
        if (!std::getenv("VKS_DEBUG_OUTPUT")) ::setenv("VKS_DEBUG_OUTPUT", "stderr", 1);
    }

    // The devices: an explicit simulator configuration, one from the
    // environment, other drivers from the environment, or (on a machine
    // with nothing configured) the shipped simulator configuration.
    std::string how;
    if (!g.simConfig.empty()) {
        if (!FileExists(g.simConfig)) {
            PrintError("", "simulator configuration " + g.simConfig + " does not exist");
            return false;
        }
        context->simConfig = g.simConfig;
        how = "the simulator with " + g.simConfig;
    } else if (const char* env = std::getenv("VKS_SIM_CONFIG"); env && *env && !std::getenv("VKS_DRIVERS")) {
        context->simConfig = env;
        how = std::string("the simulator with ") + env + " (VKS_SIM_CONFIG)";
    } else if (!std::getenv("VKS_DRIVERS")) {
        context->simConfig = DefaultSimConfig();
        if (context->simConfig.empty()) {
            PrintError("", "no devices are configured and the simulator's default configuration was not found; "
                           "use --sim-config FILE");
            return false;
        }
        how = "the simulator with its default configuration " + context->simConfig +
              " (no devices are configured)";
    }
    if (!context->simConfig.empty()) {
        context->simulator = true;
        ::setenv("VKS_SIM_CONFIG", context->simConfig.c_str(), 1);
        ::unsetenv("VKS_DRIVERS");
        const char* dllPath = std::getenv("VKS_DLL_PATH");
        if (!dllPath || !*dllPath) {
            const std::string standins = StandinDirectory();
            if (!standins.empty()) ::setenv("VKS_DLL_PATH", standins.c_str(), 1);
        }
        // With --json the first line of standard output is the document.
        std::fprintf(g.json ? stderr : stdout, "vksctl: using %s\n", how.c_str());
        std::fflush(stdout);
    }
    return true;
}

void CleanUpEnvironment() {
    if (!g_temporaryRegistry.empty()) {
        std::remove(g_temporaryRegistry.c_str());
        g_temporaryRegistry.clear();
    }
}

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

VKSERROR Engine::Load() {
    const VKSERROR status = VKSEngineLoad(&handle_);
    loaded_ = status == VKSERROR_NO_ERROR;
    if (!loaded_) {
        // A failed load still counts its caller; free it as the library asks.
        VKSEngineFree(handle_);
        handle_ = nullptr;
    }
    return status;
}

VKSERROR Engine::Free() {
    if (!loaded_) return VKSERROR_NO_ERROR;
    loaded_ = false;
    return VKSEngineFree(handle_);
}

bool LoadEngine(const std::string& command, Engine* engine) {
    const VKSERROR status = engine->Load();
    if (status == VKSERROR_NO_ERROR) return true;
    FailWith(command, "the engine did not load", status);
    return false;
}

uint32_t CountOf(VKSDEVICETYPE type) {
    uint32_t count = 0;
    VKSERROR status = VKSERROR_UNEXPECTED;
    switch (type) {
        case VKSDEVICETYPE_NETWORK: status = VKSNetworkPortGetCount(&count); break;
        case VKSDEVICETYPE_DECODER: status = VKSDecoderGetCount(&count); break;
        case VKSDEVICETYPE_ENCODER: status = VKSEncoderGetCount(&count); break;
        case VKSDEVICETYPE_DISCOVERY: status = VKSDiscoGetCount(&count); break;
        default: break;
    }
    return status == VKSERROR_NO_ERROR ? count : 0;
}

const char* KindName(VKSDEVICETYPE type) {
    switch (type) {
        case VKSDEVICETYPE_NETWORK: return "network port";
        case VKSDEVICETYPE_DECODER: return "decoder";
        case VKSDEVICETYPE_ENCODER: return "encoder";
        case VKSDEVICETYPE_DISCOVERY: return "discovery input";
        default: return "input";
    }
}

std::string CheckIndex(VKSDEVICETYPE type, uint32_t index) {
    const uint32_t count = CountOf(type);
    if (index < count) return {};
    char text[160];
    if (count == 0)
        std::snprintf(text, sizeof text, "no %s %u (there are none)", KindName(type), index);
    else
        std::snprintf(text, sizeof text, "no %s %u (there are %u: 0 to %u)", KindName(type), index, count, count - 1);
    return text;
}

}  // namespace vksctl
