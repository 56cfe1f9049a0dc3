// vksctl health: loads, temperature, counters and memory figures of each
// device, once or every --watch seconds; the device tests on request.
#include "commands.h"
#include "device_groups.h"
#include "event_queue.h"
#include "json_writer.h"
#include "output.h"
#include "status_names.h"

#include <cstdio>
#include <cstring>
#include <unistd.h>

namespace vksctl {

namespace {

const char kHelp[] =
    "usage: vksctl health [--watch S] [--count N] [--tests] [--json]\n"
    "\n"
    "Shows each device's current decoder and encoder load (percent), core loads,\n"
    "temperature (degrees Celsius), and its hardware counters and memory usage records.\n"
    "The device defines the layout of the core load, counters and memory records and\n"
    "names none of their fields: they are shown as 32-bit words, marked opaque.\n"
    "\n"
    "options:\n"
    "  --watch S   repeat every S seconds until Ctrl-C (or --count rounds)\n"
    "  --count N   with --watch: stop after N rounds (0: until Ctrl-C, the default)\n"
    "  --tests     also run the three device tests (force lockup, stop-upgrade-reboot,\n"
    "              memory usage) on each device: they lock the device up and reboot it,\n"
    "              so they need --yes (or a yes on a terminal). A test the device\n"
    "              reports in progress (the lockup) passes when the device answers\n"
    "              again within --test-timeout\n"
    "  --yes       run the tests without asking\n"
    "  --test-timeout S\n"
    "              how long to wait for the device to answer again (default 60)\n";

// Asks on a terminal; anything but y or yes is no.
bool Confirmed(size_t devices) {
    if (!::isatty(STDIN_FILENO) || !::isatty(STDERR_FILENO)) return false;
    std::fprintf(stderr, "vksctl health: the tests lock up and reboot %zu device(s). Run them? [y/N] ", devices);
    char answer[16] = {};
    if (!std::fgets(answer, sizeof answer, stdin)) return false;
    return std::strcmp(answer, "y\n") == 0 || std::strcmp(answer, "yes\n") == 0;
}

struct Figures {
    std::string name;
    uint32_t decoder = 0;
    VKSERROR loadStatus = 0, encoderLoadStatus = 0, coreStatus = 0, temperatureStatus = 0, countersStatus = 0,
             memoryStatus = 0;
    uint32_t load = 0, encoderLoad = 0, coreWord = 0, temperature = 0;
    bool haveEncoder = false;
    VKSCORELOAD core{};
    VKSTEMPERATUREDETAIL detail{};
    VKSHARDWARECOUNTERS counters{};
    VKSMEMORYUSAGEDIAGS memory{};
};

Figures Read(const DeviceGroup& group) {
    Figures f;
    f.name = group.name;
    f.decoder = group.decoders.front();
    f.loadStatus = VKSDecoderGetCurrentLoad(f.decoder, &f.load);
    if (!group.encoders.empty()) {
        f.haveEncoder = true;
        f.encoderLoadStatus = VKSEncoderGetCurrentLoad(group.encoders.front(), &f.encoderLoad);
    }
    f.coreStatus = VKSDecoderGetCoreLoad(f.decoder, &f.core, &f.coreWord);
    f.temperatureStatus = VKSDecoderGetTemperature(f.decoder, &f.temperature, &f.detail);
    f.countersStatus = VKSGetHardwareCounters(f.decoder, &f.counters);
    f.memoryStatus = VKSGetMemoryUsageDiags(f.decoder, &f.memory);
    return f;
}

std::string Value(VKSERROR status, const std::string& text) {
    return status == VKSERROR_NO_ERROR ? text : "(" + StatusText(status) + ")";
}

void PrintText(const std::vector<Figures>& all) {
    Table table({"DEVICE", "DECODER", "LOAD", "ENC LOAD", "TEMP", "CORES"});
    for (const Figures& f : all)
        table.Row({f.name, std::to_string(f.decoder), Value(f.loadStatus, std::to_string(f.load) + "%"),
                   f.haveEncoder ? Value(f.encoderLoadStatus, std::to_string(f.encoderLoad) + "%") : "-",
                   Value(f.temperatureStatus, std::to_string(f.temperature) + " C"),
                   Value(f.coreStatus, JoinWords(Words(f.core.Data)))});
    table.Print();
    for (const Figures& f : all) {
        std::printf("%s (decoder %u)\n", f.name.c_str(), f.decoder);
        // The device defines these records' layouts and nothing names their
        // fields: shown as the words they hold, and said to be so.
        std::printf("  hardware counters (opaque 24-byte record, 32-bit words): %s\n",
                    Value(f.countersStatus, JoinWords(Words(f.counters.Data))).c_str());
        std::printf("  memory usage (opaque 56-byte record, 32-bit words):      %s\n",
                    Value(f.memoryStatus, JoinWords(Words(f.memory.Data))).c_str());
    }
}

void WriteWords(JsonWriter& j, const char* name, VKSERROR status, const std::vector<uint32_t>& words) {
    j.Key(name);
    if (status != VKSERROR_NO_ERROR) {
        j.BeginObject().Member("error", StatusText(status)).EndObject();
        return;
    }
    j.BeginArray();
    for (uint32_t w : words) j.Number(uint64_t{w});
    j.EndArray();
}

void WriteFigures(JsonWriter& j, const Figures& f) {
    j.BeginObject().Member("device", f.name).Member("decoder", f.decoder);
    if (f.loadStatus == VKSERROR_NO_ERROR) j.Member("load", f.load);
    if (f.haveEncoder && f.encoderLoadStatus == VKSERROR_NO_ERROR) j.Member("encoder_load", f.encoderLoad);
    if (f.temperatureStatus == VKSERROR_NO_ERROR) j.Member("temperature", f.temperature);
    WriteWords(j, "core_load", f.coreStatus, Words(f.core.Data));
    WriteWords(j, "hardware_counters", f.countersStatus, Words(f.counters.Data));
    WriteWords(j, "memory_usage", f.memoryStatus, Words(f.memory.Data));
    j.EndObject();
}

}  // namespace

int CmdHealth(Context& context, Args& args) {
    if (args.Flag("--help") || args.Flag("-h")) {
        std::fputs(kHelp, stdout);
        return kExitOk;
    }
    const auto watch = args.Seconds("--watch");
    const auto countOption = args.U32("--count");
    const bool tests = args.Flag("--tests");
    const bool yes = args.Flag("--yes");
    const double testTimeout = args.Seconds("--test-timeout").value_or(60);
    if (!args.Finish()) return UsageError("health", args.Error());
    if (watch && *watch <= 0) return UsageError("health", "--watch takes a positive number of seconds");
    // Without an interval, rounds would follow each other with no pause
    // (and flood the driver): --count only makes sense with --watch.
    if (countOption && !watch) return UsageError("health", "--count goes with --watch S");
    const uint32_t count = countOption.value_or(watch ? 0 : 1);
    const bool json = context.global.json;

    Engine engine;
    if (!LoadEngine("health", &engine)) return kExitFailure;
    std::vector<DeviceGroup> groups;
    for (DeviceGroup& g : GroupDevices())
        if (!g.decoders.empty()) groups.push_back(std::move(g));
    if (groups.empty()) {
        PrintError("health", "no devices with decoders");
        return kExitFailure;
    }
    if (tests && !yes && !Confirmed(groups.size()))
        return UsageError("health", "--tests locks up and reboots every device: add --yes to run them");

    // One document at the end; with --watch, one document per round as it
    // happens (JSON Lines), so that a reader sees each round at once.
    const bool lines = json && watch;
    JsonWriter j;
    if (!lines) j.BeginObject().Key("rounds").BeginArray();
    EventQueue clock;  // only its time and its wait
    int exitStatus = kExitOk;
    for (uint32_t round = 0; count == 0 || round < count; ++round) {
        // Wakes come only from Ctrl-C here; wait out the interval.
        while (watch && round > 0 && clock.Elapsed() < *watch * round)
            if (!WaitUntil(clock, 0, *watch * round, 1000)) break;
        if (StopRequested()) break;
        std::vector<Figures> all;
        for (const DeviceGroup& g : groups) all.push_back(Read(g));
        for (const Figures& f : all)
            if (f.loadStatus != VKSERROR_NO_ERROR) exitStatus = kExitFailure;
        if (json) {
            JsonWriter line;
            JsonWriter& w = lines ? line : j;
            w.BeginObject().Member("seconds", clock.Elapsed()).Key("devices").BeginArray();
            for (const Figures& f : all) WriteFigures(w, f);
            w.EndArray().EndObject();
            if (lines) line.Print();
        } else {
            if (watch) std::printf("--- %.1f s\n", clock.Elapsed());
            PrintText(all);
        }
        std::fflush(stdout);
    }
    if (!lines) j.EndArray();
    else j.BeginObject();

    if (tests && !StopRequested()) {
        static const struct {
            const char* name;
            VKSERROR(VKSAPI* run)(uint32_t);
        } kTests[] = {{"force-lockup", VKSDecoderTestForceLockup},
                      {"stop-upgrade-reboot", VKSDecoderTestStopUpgradeReboot},
                      {"memory-usage", VKSDecoderTestMemUsage}};
        Table table({"DEVICE", "TEST", "RESULT"});
        j.Key("tests").BeginArray();
        for (const DeviceGroup& g : groups)
            for (const auto& t : kTests) {
                const VKSERROR result = t.run(g.decoders.front());
                std::string text = StatusText(result);
                bool ok = result == VKSERROR_TEST_COMPLETE;
                if (result == VKSERROR_TEST_IN_PROGRESS) {
                    // The device reports no later outcome: the lockup test has
                    // passed when the device answers again (after its reboot).
                    const double since = clock.Elapsed();
                    uint32_t load = 0;
                    while (!(ok = VKSDecoderGetCurrentLoad(g.decoders.front(), &load) == VKSERROR_NO_ERROR) &&
                           clock.Elapsed() - since < testTimeout && WaitForWake(200)) {
                    }
                    char note[96];
                    std::snprintf(note, sizeof note,
                                  ok ? ", then the device answered again after %.1f s"
                                     : ", and the device did not answer again within %.3g s",
                                  ok ? clock.Elapsed() - since : testTimeout);
                    text += note;
                }
                if (!ok) exitStatus = kExitFailure;
                table.Row({g.name, t.name, text});
                j.BeginObject().Member("device", g.name).Member("test", t.name);
                j.Member("result", StatusName(result) ? StatusName(result) : "").Member("code", Hex32(result));
                j.Member("passed", ok).Member("outcome", text);
                j.EndObject();
            }
        j.EndArray();
        if (!json) table.Print();
    }
    j.EndObject();
    const VKSERROR freed = engine.Free();
    if (json && (!lines || tests)) j.Print();
    if (freed != VKSERROR_NO_ERROR) return FailWith("health", "freeing the engine", freed);
    return exitStatus;
}

}  // namespace vksctl
