#include "session.h"

#include "files.h"
#include "os.h"
#include "output.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <vector>

namespace vksctl {

namespace {

std::string g_temporaryRegistry;

using os::ExecutableDirectory;
using os::LibraryDirectory;

// The shipped simulator configuration: beside an installed vksctl, then in
// the source tree it was built from.
std::string DefaultSimConfig() {
    const std::string installed = ExecutableDirectory() + "/../share/vksacc/sim/default.conf";
    if (os::IsFile(installed)) {
        if (std::string resolved = os::RealPath(installed); !resolved.empty()) return resolved;
    }
#ifdef VKSCTL_SOURCE_SIM_CONFIG
    if (os::IsFile(VKSCTL_SOURCE_SIM_CONFIG)) return VKSCTL_SOURCE_SIM_CONFIG;
#endif
    return {};
}

// The stand-in rendering and OEM libraries: beside an installed vksctl, or
// in the build tree.
std::string StandinDirectory() {
    for (const char* relative : {"/../lib/vksacc/standins", "/../standins"}) {
        const std::string dir = ExecutableDirectory() + relative;
        if (os::IsDirectory(dir)) {
            if (std::string resolved = os::RealPath(dir); !resolved.empty()) return resolved;
        }
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

// A driver module named as the platform names it ("name", "name.dll",
// "libname.so" or a path), searched where the platform searches: the
// VKS_DLL_PATH folders, vksctl's folder, the library's folder. "" when it
// loads; else why not. Loading it here runs nothing of the driver's.
std::string DriverModuleProblem(const std::string& name) {
    std::string file = name;
    std::replace(file.begin(), file.end(), '\\', '/');
    const size_t slash = file.rfind('/');
    std::string folder = slash == std::string::npos ? "" : file.substr(0, slash);
    std::string base = slash == std::string::npos ? file : file.substr(slash + 1);
    base = os::ModuleFileName(base);
    std::vector<std::string> folders;
    if (!folder.empty()) {
        folders.push_back(folder);
    } else {
        if (const char* path = std::getenv("VKS_DLL_PATH")) {
            std::string list(path);
            for (size_t start = 0; start <= list.size();) {
                size_t end = list.find(os::kListSeparator, start);
                if (end == std::string::npos) end = list.size();
                if (end > start) folders.push_back(list.substr(start, end - start));
                start = end + 1;
            }
        }
        folders.push_back(ExecutableDirectory());
        folders.push_back(LibraryDirectory());
    }
    std::string why = "not found";
    for (const std::string& f : folders) {
        const std::string candidate = f + "/" + base;
        if (!os::IsFile(candidate)) continue;
        void* module = os::LoadModule(candidate, &why);
        if (!module) continue;
        const bool driver = os::ModuleSymbol(module, "VksDriverEntry") != nullptr;
        os::UnloadModule(module);
        return driver ? std::string() : "driver module " + name + " (" + candidate + ") has no VksDriverEntry";
    }
    return "driver module " + name + " named in VKS_DRIVERS cannot be loaded: " + why;
}

// The simulator reports the first error of a configuration only as a line
// on standard error and then runs with no devices; vksctl checks the file
// with the simulator's own parser first and stops there instead.
std::string SimConfigProblem(const std::string& config) {
    std::string error;
    void* sim = os::LoadModule(LibraryDirectory() + "/" + os::ModuleFileName("vkssim"), &error);
    if (!sim) return {};  // the library reports a missing simulator itself
    using Load = int (*)(const char*, char*, size_t);
    using Reset = void (*)();
    auto load = reinterpret_cast<Load>(os::ModuleSymbol(sim, "vkssim_load_config_file"));
    auto reset = reinterpret_cast<Reset>(os::ModuleSymbol(sim, "vkssim_reset"));
    std::string problem;
    if (load && reset) {
        char error[512] = {};
        if (!load(config.c_str(), error, sizeof error)) problem = "simulator configuration " + config + ": " + error;
        // The check must leave no devices behind: the driver entry loads the
        // file again when the engine starts.
        reset();
    }
    os::UnloadModule(sim);
    return problem;
}

}  // namespace

bool PrepareEnvironment(Context* context) {
    const GlobalOptions& g = context->global;
    if (!g.registry.empty()) {
        if (const std::string problem = ReadableFileProblem("registry file", g.registry); !problem.empty()) {
            PrintError("", problem);
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
        if (const std::string problem = ReadableFileProblem("simulator configuration", g.simConfig);
            !problem.empty()) {
            PrintError("", problem);
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
        if (const std::string problem = ReadableFileProblem("simulator configuration", context->simConfig);
            !problem.empty()) {
            PrintError("", problem);
            return false;
        }
        if (const std::string problem = SimConfigProblem(context->simConfig); !problem.empty()) {
            PrintError("", problem);
            return false;
        }
        context->simulator = true;
        os::SetEnvironment("VKS_SIM_CONFIG", context->simConfig.c_str());
        os::SetEnvironment("VKS_DRIVERS", nullptr);
        if (const std::string standins = StandinDirectory(); !standins.empty()) os::UseStandinFolder(standins);
        // A notice, not output: standard output carries only what was asked for.
        std::fprintf(stderr, "vksctl: using %s\n", how.c_str());
    } else if (const char* drivers = std::getenv("VKS_DRIVERS")) {
        std::string list(drivers);
        for (size_t start = 0; start <= list.size();) {
            size_t end = list.find(os::kListSeparator, start);
            if (end == std::string::npos) end = list.size();
            if (end > start) {
                if (const std::string problem = DriverModuleProblem(list.substr(start, end - start)); !problem.empty()) {
                    PrintError("", problem);
                    return false;
                }
            }
            start = end + 1;
        }
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
