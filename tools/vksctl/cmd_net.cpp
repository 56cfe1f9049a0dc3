// vksctl net: ping and trace-route from a device, its configured interfaces,
// IP configuration and MAC addresses.
#include "commands.h"
#include "device_groups.h"
#include "json_writer.h"
#include "output.h"
#include "status_names.h"

#include <cctype>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <vector>

namespace vksctl {

namespace {

const char kHelp[] =
    "usage: vksctl net [ACTION] [options]\n"
    "\n"
    "actions:\n"
    "  (none)            interfaces, IP configuration and MAC addresses of every device\n"
    "  interfaces        the configured IPv4 interfaces of every network port\n"
    "  ipconfig          the IP configuration of each device\n"
    "  mac               the MAC addresses of each device\n"
    "  ping DEST         ping DEST from the device of --decoder\n"
    "  traceroute DEST   trace the route to DEST from the device of --decoder\n"
    "\n"
    "options:\n"
    "  --decoder N       the device, by one of its decoder indexes (default 0)\n"
    "  --ifc N           the device interface to use: 0, 1 or 255 for any (default 255)\n"
    "  --reports N       trace-route report blocks, 1 or 2 (default 1)\n";

std::string MacText(const uint8_t* a) {
    char text[24];
    std::snprintf(text, sizeof text, "%02x:%02x:%02x:%02x:%02x:%02x", a[0], a[1], a[2], a[3], a[4], a[5]);
    return text;
}

// The report block's layout is the device's; it carries readable text after
// a short header of words. Everything printable from the first letter on.
std::string ReportText(const VKSTRACEROUTEREPORT& report) {
    size_t start = 0;
    while (start < sizeof report.Data && !std::isalpha(report.Data[start])) ++start;
    std::string text;
    for (size_t i = start; i < sizeof report.Data && report.Data[i] != 0; ++i) {
        const char c = static_cast<char>(report.Data[i]);
        if (std::isprint(static_cast<unsigned char>(c)) || c == '\n') text += c;
    }
    return text;
}

int Interfaces(JsonWriter& j, bool json) {
    uint32_t total = 0;
    const VKSERROR counted = VKSNetworkConfiguredInterfaceCount(&total);
    j.Key("interfaces").BeginArray();
    Table table({"PORT", "ADDRESS"});
    int exitStatus = kExitOk;
    for (uint32_t port = 0, n = CountOf(VKSDEVICETYPE_NETWORK); port < n; ++port) {
        VKSINTERFACEADDRESS entries[8];
        std::memset(entries, 0, sizeof entries);
        uint32_t count = 8;
        const VKSERROR status = VKSNetworkConfiguredInterfaceInfo(port, entries, &count);
        if (status != VKSERROR_NO_ERROR) {
            table.Row({std::to_string(port), "(" + StatusText(status) + ")"});
            j.BeginObject().Member("port", port).Member("error", StatusText(status)).EndObject();
            exitStatus = kExitFailure;
            continue;
        }
        for (uint32_t i = 0; i < count; ++i) {
            const uint8_t* a = entries[i].Address;
            const std::string address = std::to_string(a[0]) + "." + std::to_string(a[1]) + "." +
                                        std::to_string(a[2]) + "." + std::to_string(a[3]);
            table.Row({std::to_string(port), address});
            j.BeginObject().Member("port", port).Member("address", address).EndObject();
        }
    }
    j.EndArray();
    if (counted == VKSERROR_NO_ERROR) j.Member("interface_count", total);
    if (!json) {
        std::printf("configured interfaces: %s\n",
                    counted == VKSERROR_NO_ERROR ? std::to_string(total).c_str() : StatusText(counted).c_str());
        table.Print();
    }
    return exitStatus;
}

int IpConfig(JsonWriter& j, bool json, const std::vector<DeviceGroup>& groups) {
    j.Key("ipconfig").BeginArray();
    Table table({"DEVICE", "DECODER", "INTERFACE", "IPV4"});
    int exitStatus = kExitOk;
    for (const DeviceGroup& g : groups) {
        VKSIPCONFIG config;
        std::memset(&config, 0, sizeof config);
        const VKSERROR status = VKSNetworkStreamGetIPConfig(g.decoders.front(), &config);
        j.BeginObject().Member("device", g.name).Member("decoder", g.decoders.front());
        if (status != VKSERROR_NO_ERROR) {
            j.Member("error", StatusText(status));
            table.Row({g.name, std::to_string(g.decoders.front()), "-", "(" + StatusText(status) + ")"});
            exitStatus = kExitFailure;
        } else {
            j.Key("interfaces").BeginArray();
            for (int i = 0; i < 2; ++i) {
                const uint32_t a = config.Interface[i].IPv4Address;
                const std::string text = a ? Dotted(a) : "not configured";
                j.String(a ? Dotted(a) : "");
                table.Row({g.name, std::to_string(g.decoders.front()), std::to_string(i), text});
            }
            j.EndArray();
        }
        j.EndObject();
    }
    j.EndArray();
    if (!json) table.Print();
    return exitStatus;
}

int Mac(JsonWriter& j, bool json, const std::vector<DeviceGroup>& groups) {
    j.Key("mac").BeginArray();
    Table table({"DEVICE", "DECODER", "MAC 0", "MAC 1"});
    int exitStatus = kExitOk;
    for (const DeviceGroup& g : groups) {
        VKSMACADDRESSES macs;
        std::memset(&macs, 0, sizeof macs);
        const VKSERROR status = VKSNetworkStreamGetMacAddresses(g.decoders.front(), &macs);
        j.BeginObject().Member("device", g.name).Member("decoder", g.decoders.front());
        if (status != VKSERROR_NO_ERROR) {
            j.Member("error", StatusText(status));
            table.Row({g.name, std::to_string(g.decoders.front()), "(" + StatusText(status) + ")", ""});
            exitStatus = kExitFailure;
        } else {
            j.Key("addresses").BeginArray().String(MacText(macs.Address[0])).String(MacText(macs.Address[1])).EndArray();
            table.Row({g.name, std::to_string(g.decoders.front()), MacText(macs.Address[0]), MacText(macs.Address[1])});
        }
        j.EndObject();
    }
    j.EndArray();
    if (!json) table.Print();
    return exitStatus;
}

}  // namespace

int CmdNet(Context& context, Args& args) {
    if (args.Flag("--help") || args.Flag("-h")) {
        std::fputs(kHelp, stdout);
        return kExitOk;
    }
    const uint32_t decoder = args.U32("--decoder").value_or(0);
    const uint32_t ifc = args.U32("--ifc").value_or(255);
    const uint32_t reports = args.U32("--reports").value_or(1);
    const std::string action = args.Positional().value_or("");
    std::string destination;
    if (action == "ping" || action == "traceroute") {
        auto d = args.Positional();
        if (!d) return UsageError("net", action + " needs a destination");
        destination = *d;
    } else if (!action.empty() && action != "interfaces" && action != "ipconfig" && action != "mac") {
        return UsageError("net", "unknown action '" + action + "'");
    }
    if (!args.Finish()) return UsageError("net", args.Error());
    if (ifc > 1 && ifc != 255) return UsageError("net", "--ifc takes 0, 1 or 255");
    if (reports < 1 || reports > VKS_TRACEROUTE_MAX_REPORTS) return UsageError("net", "--reports takes 1 or 2");
    const bool json = context.global.json;

    Engine engine;
    if (!LoadEngine("net", &engine)) return kExitFailure;
    JsonWriter j;
    j.BeginObject();
    int exitStatus = kExitOk;
    if (action == "ping" || action == "traceroute") {
        const std::string problem = CheckIndex(VKSDEVICETYPE_DECODER, decoder);
        if (!problem.empty()) {
            PrintError("net", problem);
            return kExitUsage;  // a wrong number on the command line
        }
        j.Member("action", action).Member("destination", destination).Member("decoder", decoder);
        if (action == "ping") {
            // The device's answer carries no time: what can be shown is the
            // whole command's round trip, which bounds the ping's from above.
            const auto start = std::chrono::steady_clock::now();
            const VKSERROR result = VKSNetworkPingIPAddressA(decoder, static_cast<uint8_t>(ifc), destination.c_str());
            const std::chrono::duration<double, std::milli> took = std::chrono::steady_clock::now() - start;
            j.Member("result", StatusName(result) ? StatusName(result) : "").Member("code", Hex32(result));
            j.Member("command_round_trip_ms", took.count());
            if (!json) {
                const char* meaning = result == VKSERROR_DIAG_PING_SUCCESS   ? "answered"
                                      : result == VKSERROR_DIAG_PING_FAIL    ? "unreachable"
                                      : result == VKSERROR_DIAG_PING_TIMEOUT ? "no answer (timed out)"
                                                                             : "ping failed";
                std::printf("ping %s from decoder %u's device: %s, %s; command round trip %.1f ms (the device "
                            "reports no time of its own)\n",
                            destination.c_str(), decoder, meaning, StatusText(result).c_str(), took.count());
            }
            if (result != VKSERROR_DIAG_PING_SUCCESS) exitStatus = kExitFailure;
        } else {
            std::vector<VKSTRACEROUTEREPORT> blocks(reports);
            std::memset(blocks.data(), 0, blocks.size() * sizeof(VKSTRACEROUTEREPORT));
            VKSTRACEROUTERESULTS results;
            std::memset(&results, 0, sizeof results);
            results.Size = reports * VKS_TRACEROUTE_REPORT_SIZE;
            results.pReports = blocks.data();
            const VKSERROR result =
                VKSNetworkTraceRoute(decoder, static_cast<uint8_t>(ifc), destination.c_str(), &results, reports);
            j.Member("result", StatusName(result) ? StatusName(result) : "").Member("code", Hex32(result));
            j.Key("reports").BeginArray();
            if (!json) std::printf("trace-route to %s: %s\n", destination.c_str(), StatusText(result).c_str());
            if (result == VKSERROR_DIAG_TRACEROUTE_COMPLETE) {
                for (const VKSTRACEROUTEREPORT& block : blocks) {
                    const std::string text = ReportText(block);
                    j.String(text);
                    if (!json) std::printf("%s%s", text.c_str(), text.empty() || text.back() != '\n' ? "\n" : "");
                }
            } else {
                exitStatus = kExitFailure;
            }
            j.EndArray();
        }
    } else {
        std::vector<DeviceGroup> groups;
        for (DeviceGroup& g : GroupDevices())
            if (!g.decoders.empty()) groups.push_back(std::move(g));
        if (action.empty() || action == "interfaces") exitStatus |= Interfaces(j, json);
        if (action.empty() && !json) std::printf("\n");
        if (action.empty() || action == "ipconfig") exitStatus |= IpConfig(j, json, groups);
        if (action.empty() && !json) std::printf("\n");
        if (action.empty() || action == "mac") exitStatus |= Mac(j, json, groups);
    }
    j.EndObject();
    const VKSERROR freed = engine.Free();
    if (json) j.Print();
    if (freed != VKSERROR_NO_ERROR) return FailWith("net", "freeing the engine", freed);
    return exitStatus;
}

}  // namespace vksctl
