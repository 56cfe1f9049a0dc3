// vksctl: a command-line tool for people who run these devices, built on the
// library's public interface only.
#include "commands.h"
#include "output.h"
#include "session.h"

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

using namespace vksctl;

struct Command {
    const char* name;
    int (*run)(Context&, Args&);
    const char* summary;
};

const Command kCommands[] = {
    {"devices", CmdDevices, "list the network ports, decoders, encoders and discovery inputs"},
    {"play", CmdPlay, "play a stream address through a decoder (file://, sdp://, udp://, ...)"},
    {"encode", CmdEncode, "run an encoder and write what it encodes to a file"},
    {"discover", CmdDiscover, "run a discovery session and list what it finds"},
    {"health", CmdHealth, "loads, temperature, counters and memory of each device"},
    {"net", CmdNet, "ping, trace-route, interfaces, IP configuration, MAC addresses"},
    {"param", CmdParam, "get or set a parameter of a decoder, encoder or network stream"},
    {"events", CmdEvents, "watch system events (upgrades, memory levels) until Ctrl-C"},
    {"exporter", CmdExporter, "serve the devices' figures to Prometheus at /metrics until Ctrl-C"},
};

void PrintUsage(FILE* out) {
    std::fprintf(out,
                 "usage: vksctl [global options] COMMAND [options]\n"
                 "\n"
                 "commands:\n");
    for (const Command& c : kCommands) std::fprintf(out, "  %-9s %s\n", c.name, c.summary);
    std::fprintf(out,
                 "\n"
                 "global options (also accepted after the command):\n"
                 "  --json               machine-readable output (one JSON document on standard output)\n"
                 "  --log-level LEVEL    library diagnostics: none, errors, warnings, messages, trace,\n"
                 "                       verbose, or a DebugLevel mask; written to VKS_DEBUG_OUTPUT\n"
                 "                       (standard error unless set)\n"
                 "  --registry FILE      the registry file the library reads (VKS_REGISTRY_FILE)\n"
                 "  --sim-config FILE    run against the device simulator with this configuration\n"
                 "  --help               this text; 'vksctl help COMMAND' or 'vksctl COMMAND --help'\n"
                 "                       for a command\n"
                 "  --version            vksctl's and the library's versions\n"
                 "\n"
                 "With no driver configured (VKS_SIM_CONFIG and VKS_DRIVERS unset), vksctl runs against\n"
                 "the simulator with its shipped default configuration and says so on its first line.\n"
                 "Exit status: 0 success, 1 the library or a device refused, 2 a wrong command line.\n");
}

// Global options may also follow the command word.
bool TakeGlobalOptions(Args& args, GlobalOptions* g) {
    if (args.Flag("--json")) g->json = true;
    if (auto v = args.Value("--log-level")) g->logLevel = *v;
    if (auto v = args.Value("--registry")) g->registry = *v;
    if (auto v = args.Value("--sim-config")) g->simConfig = *v;
    return !args.Failed();
}

}  // namespace

int main(int argc, char** argv) {
    Context context;
    const int commandIndex = ParseGlobalOptions(argc, argv, &context.global);
    if (commandIndex < 0) return kExitUsage;
    if (context.global.version) {
        const uint32_t library = VKSGetVersion();
        std::printf("vksctl %s (library %u.%u.%u)\n", VKSACC_VERSION_STRING, library >> 16, (library >> 8) & 0xFF,
                    library & 0xFF);
        return kExitOk;
    }
    // "vksctl help" is --help; "vksctl help COMMAND" is that command's.
    std::vector<char*> rewritten(argv, argv + argc);
    if (commandIndex < argc && std::strcmp(argv[commandIndex], "help") == 0) {
        rewritten.erase(rewritten.begin() + commandIndex);
        context.global.help = true;
        argv = rewritten.data();
        --argc;
    }
    if (commandIndex >= argc) {
        if (context.global.help) {
            PrintUsage(stdout);
            return kExitOk;
        }
        PrintUsage(stderr);
        return kExitUsage;
    }
    const std::string name = argv[commandIndex];
    const Command* command = nullptr;
    for (const Command& c : kCommands)
        if (name == c.name) command = &c;
    if (!command) return UsageError("", "unknown command '" + name + "'");

    Args args(name, std::vector<std::string>(argv + commandIndex + 1, argv + argc));
    if (!TakeGlobalOptions(args, &context.global)) return UsageError(name, args.Error());
    if (context.global.help) args = Args(name, {"--help"});

    // Help needs no devices; everything else sets up the environment first.
    bool wantsHelp = false;
    {
        Args copy = args;
        wantsHelp = copy.Flag("--help") || copy.Flag("-h");
    }
    if (!wantsHelp) {
        if (!PrepareEnvironment(&context)) {
            CleanUpEnvironment();
            return kExitUsage;
        }
        InstallStopHandler();
    }
    const int status = command->run(context, args);
    CleanUpEnvironment();
    std::fflush(stdout);
    return status;
}
