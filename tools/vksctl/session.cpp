#include "session.h"

#include "output.h"

#include "os.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

namespace vksctl {

namespace {

std::string g_temporaryRegistry;

// The shipped simulator configuration: beside an installed vksctl, then in
// the source tree it was built from.
std::string DefaultSimConfig() {
    const std::string installed = os::ExecutableDirectory() + "/../share/vksacc/sim/default.conf";
    if (os::IsFile(installed)) return os::RealPath(installed);
#ifdef VKSCTL_SOURCE_SIM_CONFIG
    if (os::IsFile(VKSCTL_SOURCE_SIM_CONFIG)) return VKSCTL_SOURCE_SIM_CONFIG;
#endif
    return {};
}

// The stand-in rendering and OEM libraries: beside an installed vksctl, or
// in the build tree.
std::string StandinDirectory() {
    for (const char* relative : {"/../lib/vksacc/standins", "/../standins"}) {
        const std::string dir = os::ExecutableDirectory() + relative;
        if (os::IsDirectory(dir)) return os::RealPath(dir);
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
    std::string error;
    g_temporaryRegistry = os::MakeTemporaryFile(&error);
    if (g_temporaryRegistry.empty()) {
        PrintError("", "cannot make a temporary registry file: " + error);
        return false;
    }
    char level[16];
    std::snprintf(level, sizeof level, "%08x", mask);
    std::ofstream out(g_temporaryRegistry, std::ios::binary);
    out << "Windows Registry Editor Version 5.00\n\n"
        << body << "\n\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes\\CLSID\\{3A71D0C2-5B9E-4d17-A6F3-0C94E2B8D715}]\n"
        << "\"DebugLevel\"=dword:" << level << "\n";
    os::SetEnvironment("VKS_REGISTRY_FILE", g_temporaryRegistry.c_str());
    return true;
}

}  // namespace

bool PrepareEnvironment(Context* context) {
    const GlobalOptions& g = context->global;
    if (!g.registry.empty()) {
        if (!os::IsFile(g.registry)) {
            PrintError("", "registry file " + g.registry + " does not exist");
            return false;
        }
        os::SetEnvironment("VKS_REGISTRY_FILE", g.registry.c_str());
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
        if (!std::getenv("VKS_DEBUG_OUTPUT")) os::SetEnvironment("VKS_DEBUG_OUTPUT", "stderr");
    }

    // The devices: an explicit simulator configuration, one from the
    // environment, other drivers from the environment, or (on a machine
    // with nothing configured) the shipped simulator configuration.
    std::string how;
    if (!g.simConfig.empty()) {
        if (!os::IsFile(g.simConfig)) {
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
        os::SetEnvironment("VKS_SIM_CONFIG", context->simConfig.c_str());
        os::SetEnvironment("VKS_DRIVERS", nullptr);
        const char* dllPath = std::getenv("VKS_DLL_PATH");
        if (!dllPath || !*dllPath) {
            const std::string standins = StandinDirectory();
            if (!standins.empty()) os::UseStandinFolder(standins);
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
