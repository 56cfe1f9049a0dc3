// vksctl events: the system events the devices send (firmware upgrade
// pending and complete, memory levels) until Ctrl-C or --seconds.
#include "commands.h"
#include "device_groups.h"
#include "event_queue.h"
#include "json_writer.h"
#include "output.h"
#include "status_names.h"

#include <cstdio>

namespace vksctl {

namespace {

const char kHelp[] =
    "usage: vksctl events [--seconds S] [--count N] [--json]\n"
    "\n"
    "Registers for the devices' system events (firmware upgrade pending and complete,\n"
    "memory level green, amber and red) and prints each as it arrives with the device\n"
    "that sent it, until Ctrl-C, until --seconds have passed, or until --count events\n"
    "have arrived.\n";

// The sending device's first network port travels as the report's value.
void VKSAPI OnSystemEvent(VKSERROR event, void*, uint32_t portIndex, void* context) {
    static_cast<EventQueue*>(context)->Push("system", event, portIndex);
}

const char* Meaning(VKSERROR event) {
    switch (event) {
        case VKSERROR_EVENT_UPGRADE_COMPLETE: return "firmware upgrade complete";
        case VKSERROR_EVENT_UPGRADE_PENDING: return "firmware upgrade pending";
        case VKSERROR_EVENT_MEMORY_LEVEL_GREEN: return "memory level green";
        case VKSERROR_EVENT_MEMORY_LEVEL_AMBER: return "memory level amber";
        case VKSERROR_EVENT_MEMORY_LEVEL_RED: return "memory level red";
        default: return "system event";
    }
}

}  // namespace

int CmdEvents(Context& context, Args& args) {
    if (args.Flag("--help") || args.Flag("-h")) {
        std::fputs(kHelp, stdout);
        return kExitOk;
    }
    const double seconds = args.Seconds("--seconds").value_or(-1);
    const uint32_t count = args.U32("--count").value_or(0);
    if (!args.Finish()) return UsageError("events", args.Error());
    const bool json = context.global.json;

    EventQueue queue;
    Engine engine;
    if (!LoadEngine("events", &engine)) return kExitFailure;
    VKSSetSystemEventFnEx(OnSystemEvent, &queue);
    // Events that arrive before the function is registered are lost: the
    // engine must be loaded to register it, and the devices are armed by the
    // load. Listing the devices comes after, so that it names what is watched.
    std::string names;
    const std::vector<DeviceGroup> groups = GroupDevices();
    for (const DeviceGroup& g : groups) names += (names.empty() ? "" : ", ") + g.name;
    if (!json) {
        std::printf("watching system events of %zu device%s (%s); Ctrl-C to stop\n", groups.size(),
                    groups.size() == 1 ? "" : "s", names.c_str());
        std::fflush(stdout);
    }
    auto deviceOf = [&groups](uint32_t port) -> std::string {
        for (const DeviceGroup& g : groups)
            for (uint32_t p : g.ports)
                if (p == port) return g.name;
        return "network port " + std::to_string(port);
    };
    std::vector<Reported> seen;
    bool interrupted = false;
    while (count == 0 || seen.size() < count) {
        if (!WaitUntil(queue, 0, seconds, 1000)) {
            interrupted = true;
            break;
        }
        for (const Reported& r : queue.Take()) {
            seen.push_back(r);
            if (!json) {
                const char* name = StatusName(r.status);
                std::printf("%7.3fs  %s: %s, from %s\n", r.seconds, name ? name : Hex32(r.status).c_str(),
                            Meaning(r.status), deviceOf(r.value).c_str());
                std::fflush(stdout);
            }
        }
        if (seconds >= 0 && queue.Elapsed() >= seconds) break;
    }
    // Off before the engine goes, so that no event arrives half way.
    VKSSetSystemEventFnEx(nullptr, nullptr);
    const VKSERROR freed = engine.Free();
    for (const Reported& r : queue.Take()) seen.push_back(r);
    if (json) {
        JsonWriter j;
        j.BeginObject().Key("events").BeginArray();
        for (const Reported& r : seen) {
            j.BeginObject().Member("seconds", r.seconds);
            j.Member("name", StatusName(r.status) ? StatusName(r.status) : "").Member("code", Hex32(r.status));
            j.Member("meaning", Meaning(r.status)).Member("device", deviceOf(r.value)).EndObject();
        }
        j.EndArray().Member("interrupted", interrupted).EndObject();
        j.Print();
    } else {
        std::printf("%zu event%s; engine freed\n", seen.size(), seen.size() == 1 ? "" : "s");
    }
    if (freed != VKSERROR_NO_ERROR) return FailWith("events", "freeing the engine", freed);
    return kExitOk;
}

}  // namespace vksctl
