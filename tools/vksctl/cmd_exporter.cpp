// vksctl exporter: the devices' figures for Prometheus. Serves the text
// exposition format at /metrics (HTTP from cpp-httplib); every scrape reads
// fresh figures, one synchronous query per figure and device, so its cost is
// bounded by the number of devices. A query that fails counts an error and
// leaves its sample out; the scrape itself still succeeds.
#include "commands.h"
#include "device_groups.h"
#include "output.h"
#include "status_names.h"

#include <httplib.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <map>
#include <mutex>
#include <thread>

namespace vksctl {

namespace {

// The exporter's default port (documented in the README); unassigned among
// the ports exporters commonly use.
constexpr int kDefaultPort = 9742;

const char kHelp[] =
    "usage: vksctl exporter [--listen ADDR:PORT]\n"
    "\n"
    "Serves the devices' figures in the Prometheus text format at http://ADDR:PORT/metrics\n"
    "until Ctrl-C: per device (labels device, serial, location) the decoder and encoder\n"
    "loads, temperature, the core load, hardware counter and memory usage records (as\n"
    "32-bit words: the device defines their layout), the network streams the device\n"
    "serves, per input (labels index, kind) its presence, the system events seen by\n"
    "status, the engine status, and the exporter's own scrape duration and errors. Every\n"
    "scrape reads fresh figures. A decoder's or stream's state belongs to the process\n"
    "that opened it and cannot be read from another one.\n"
    "\n"
    "options:\n"
    "  --listen ADDR:PORT   where to listen (default 127.0.0.1:9742; port 0: any free port,\n"
    "                       printed on the first line)\n";

// Label values escape backslash, double quote and line feed.
std::string Escape(const std::string& value) {
    std::string out;
    for (char c : value) {
        if (c == '\\' || c == '"') out += '\\';
        if (c == '\n') {
            out += "\\n";
            continue;
        }
        out += c;
    }
    return out;
}

class Exposition {
public:
    // Each family once, with its help and type, before its samples.
    void Family(const char* name, const char* type, const char* help) {
        text_ += "# HELP ";
        text_ += name;
        text_ += ' ';
        text_ += help;
        text_ += "\n# TYPE ";
        text_ += name;
        text_ += ' ';
        text_ += type;
        text_ += '\n';
    }
    void Sample(const char* name, const std::string& labels, double value) {
        char number[48];
        std::snprintf(number, sizeof number, "%.17g", value);
        text_ += name;
        if (!labels.empty()) text_ += "{" + labels + "}";
        text_ += ' ';
        text_ += number;
        text_ += '\n';
    }
    const std::string& Text() const { return text_; }

private:
    std::string text_;
};

struct Device {
    DeviceGroup group;
    std::string labels;  // device="...",serial="...",location="..."
};

// Counts kept between scrapes.
struct Counters {
    std::mutex mutex;
    std::map<std::string, uint64_t> events;         // by status name
    std::map<std::string, uint64_t> queryErrors;    // by labels of device and query
    uint64_t scrapes = 0;
    uint64_t scrapeErrors = 0;                      // scrapes with any failed query
};

void VKSAPI OnSystemEvent(VKSERROR event, void*, void* context) {
    auto* counters = static_cast<Counters*>(context);
    const char* name = StatusName(event);
    std::lock_guard lock(counters->mutex);
    ++counters->events[name ? name : Hex32(event)];
}

std::string Scrape(const std::vector<Device>& devices, Counters& counters, VKSERROR engineStatus) {
    const auto start = std::chrono::steady_clock::now();
    Exposition e;
    bool failed = false;
    std::vector<std::pair<std::string, std::string>> errors;  // labels, query
    auto check = [&](VKSERROR status, const Device& d, const char* query) {
        if (status == VKSERROR_NO_ERROR) return true;
        failed = true;
        errors.emplace_back(d.labels, query);
        return false;
    };

    struct Figures {
        VKSERROR load = 1, encoderLoad = 1, temperature = 1, core = 1, counters = 1, memory = 1, clients = 1;
        uint32_t loadValue = 0, encoderLoadValue = 0, temperatureValue = 0, coreWord = 0, clientsValue = 0;
        VKSCORELOAD coreRecord{};
        VKSTEMPERATUREDETAIL detail{};
        VKSHARDWARECOUNTERS countersRecord{};
        VKSMEMORYUSAGEDIAGS memoryRecord{};
    };
    std::vector<Figures> all(devices.size());
    for (size_t i = 0; i < devices.size(); ++i) {
        const Device& d = devices[i];
        Figures& f = all[i];
        const uint32_t decoder = d.group.decoders.front();
        check(f.load = VKSDecoderGetCurrentLoad(decoder, &f.loadValue), d, "decoder_load");
        if (!d.group.encoders.empty())
            check(f.encoderLoad = VKSEncoderGetCurrentLoad(d.group.encoders.front(), &f.encoderLoadValue), d,
                  "encoder_load");
        check(f.temperature = VKSDecoderGetTemperature(decoder, &f.temperatureValue, &f.detail), d, "temperature");
        check(f.core = VKSDecoderGetCoreLoad(decoder, &f.coreRecord, &f.coreWord), d, "core_load");
        check(f.counters = VKSGetHardwareCounters(decoder, &f.countersRecord), d, "hardware_counters");
        check(f.memory = VKSGetMemoryUsageDiags(decoder, &f.memoryRecord), d, "memory_usage");
        check(f.clients = VKSNetworkStreamGetNumClients(decoder, &f.clientsValue), d, "network_clients");
    }

    e.Family("vksacc_engine_status", "gauge", "Status of the engine load: 1 for the status it has.");
    e.Sample("vksacc_engine_status", "status=\"" + Escape(StatusName(engineStatus) ? StatusName(engineStatus) : "") +
                                         "\",code=\"" + Hex32(engineStatus) + "\"",
             1);
    e.Family("vksacc_device_info", "gauge", "One per device; its identity in labels.");
    for (const Device& d : devices) e.Sample("vksacc_device_info", d.labels, 1);
    e.Family("vksacc_input_info", "gauge", "One per input of a device, by global index and kind.");
    for (const Device& d : devices) {
        for (auto [kind, list] : {std::pair{"decoder", &d.group.decoders}, std::pair{"encoder", &d.group.encoders},
                                  std::pair{"network_port", &d.group.ports}})
            for (uint32_t index : *list)
                e.Sample("vksacc_input_info",
                         d.labels + ",index=\"" + std::to_string(index) + "\",kind=\"" + kind + "\"", 1);
    }
    auto gauge = [&](const char* name, const char* help, auto value, auto status) {
        e.Family(name, "gauge", help);
        for (size_t i = 0; i < devices.size(); ++i)
            if (status(all[i]) == VKSERROR_NO_ERROR) e.Sample(name, devices[i].labels, value(all[i]));
    };
    gauge("vksacc_decoder_load_percent", "Current decoder load of the device, percent.",
          [](const Figures& f) { return f.loadValue; }, [](const Figures& f) { return f.load; });
    gauge("vksacc_encoder_load_percent", "Current encoder load of the device, percent.",
          [](const Figures& f) { return f.encoderLoadValue; }, [](const Figures& f) { return f.encoderLoad; });
    gauge("vksacc_temperature_celsius", "Device temperature, degrees Celsius.",
          [](const Figures& f) { return f.temperatureValue; }, [](const Figures& f) { return f.temperature; });
    // The device's own count, whichever processes opened the streams.
    gauge("vksacc_network_streams", "Network streams open on the device, as the device counts them.",
          [](const Figures& f) { return f.clientsValue; }, [](const Figures& f) { return f.clients; });
    gauge("vksacc_core_load_word", "The word that follows the core load record.",
          [](const Figures& f) { return f.coreWord; }, [](const Figures& f) { return f.core; });
    auto words = [&](const char* name, const char* help, auto record, auto status) {
        e.Family(name, "gauge", help);
        for (size_t i = 0; i < devices.size(); ++i) {
            if (status(all[i]) != VKSERROR_NO_ERROR) continue;
            const auto list = record(all[i]);
            for (size_t w = 0; w < list.size(); ++w)
                e.Sample(name, devices[i].labels + ",word=\"" + std::to_string(w) + "\"", list[w]);
        }
    };
    words("vksacc_core_load_record_word", "Core load record as 32-bit words (layout defined by the device).",
          [](const Figures& f) { return Words(f.coreRecord.Data); }, [](const Figures& f) { return f.core; });
    words("vksacc_hardware_counters_word", "Hardware counters record as 32-bit words (layout defined by the device).",
          [](const Figures& f) { return Words(f.countersRecord.Data); }, [](const Figures& f) { return f.counters; });
    words("vksacc_memory_usage_word", "Memory usage record as 32-bit words (layout defined by the device).",
          [](const Figures& f) { return Words(f.memoryRecord.Data); }, [](const Figures& f) { return f.memory; });

    std::lock_guard lock(counters.mutex);
    for (const auto& [labels, query] : errors) ++counters.queryErrors[labels + ",query=\"" + query + "\""];
    ++counters.scrapes;
    if (failed) ++counters.scrapeErrors;
    e.Family("vksacc_system_events_total", "counter", "System events received since the exporter started, by status.");
    for (const auto& [name, count] : counters.events)
        e.Sample("vksacc_system_events_total", "status=\"" + Escape(name) + "\"", static_cast<double>(count));
    e.Family("vksacc_query_errors_total", "counter", "Device queries that failed, by device and query.");
    for (const auto& [labels, count] : counters.queryErrors)
        e.Sample("vksacc_query_errors_total", labels, static_cast<double>(count));
    e.Family("vksacc_exporter_scrapes_total", "counter", "Scrapes served.");
    e.Sample("vksacc_exporter_scrapes_total", "", static_cast<double>(counters.scrapes));
    e.Family("vksacc_exporter_scrape_errors_total", "counter", "Scrapes in which at least one query failed.");
    e.Sample("vksacc_exporter_scrape_errors_total", "", static_cast<double>(counters.scrapeErrors));
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
    e.Family("vksacc_exporter_scrape_duration_seconds", "gauge", "Time this scrape took to read the devices.");
    e.Sample("vksacc_exporter_scrape_duration_seconds", "", took.count());
    return e.Text();
}

bool ParseListen(const std::string& text, std::string* host, int* port) {
    const size_t colon = text.rfind(':');
    if (colon == std::string::npos || colon == 0) return false;
    uint32_t p = 0;
    if (!ParseU32(text.substr(colon + 1), &p) || p > 65535) return false;
    *host = text.substr(0, colon);
    if (host->size() > 2 && host->front() == '[' && host->back() == ']') *host = host->substr(1, host->size() - 2);
    *port = static_cast<int>(p);
    return true;
}

}  // namespace

int CmdExporter(Context& context, Args& args) {
    if (args.Flag("--help") || args.Flag("-h")) {
        std::fputs(kHelp, stdout);
        return kExitOk;
    }
    const std::string listen = args.Value("--listen").value_or("127.0.0.1:" + std::to_string(kDefaultPort));
    if (!args.Finish()) return UsageError("exporter", args.Error());
    std::string host;
    int port = 0;
    if (!ParseListen(listen, &host, &port))
        return UsageError("exporter", "--listen takes ADDR:PORT (port 0 to 65535), not '" + listen + "'");

    Engine engine;
    const VKSERROR engineStatus = engine.Load();
    Counters counters;
    if (engine.Loaded()) VKSSetSystemEventFn(OnSystemEvent, &counters);
    std::vector<Device> devices;
    for (DeviceGroup& g : GroupDevices()) {
        if (g.decoders.empty()) continue;
        const DeviceIdentity id = DecoderIdentity(g.decoders.front());
        Device d;
        d.labels = "device=\"" + Escape(g.name) + "\",serial=\"" + Escape(id.serial) + "\",location=\"" +
                   Escape(id.location) + "\"";
        d.group = std::move(g);
        devices.push_back(std::move(d));
    }

    httplib::Server server;
    // The library's default also sets SO_REUSEPORT, with which a second
    // exporter would share the port silently; a port in use must be an error.
    server.set_socket_options([](socket_t sock) {
        int yes = 1;
        ::setsockopt(sock, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    });
    std::mutex scrapeMutex;  // one scrape at a time: the device queries are not free
    server.Get("/metrics", [&](const httplib::Request&, httplib::Response& response) {
        std::lock_guard lock(scrapeMutex);
        response.set_content(Scrape(devices, counters, engineStatus), "text/plain; version=0.0.4; charset=utf-8");
    });
    server.Get("/", [](const httplib::Request&, httplib::Response& response) {
        response.set_content("vksctl exporter: the metrics are at /metrics\n", "text/plain");
    });
    errno = 0;
    const int bound = port == 0 ? server.bind_to_any_port(host.c_str()) : (server.bind_to_port(host.c_str(), port) ? port : -1);
    if (bound <= 0) {
        const int error = errno;
        if (engine.Loaded()) VKSSetSystemEventFn(nullptr, nullptr);
        PrintError("exporter", "cannot listen on " + listen + ": " +
                                   (error == EADDRINUSE ? std::string("the port is in use")
                                    : error != 0        ? std::string(std::strerror(error))
                                                        : std::string("not an address of this machine")));
        return kExitFailure;
    }
    std::printf("serving http://%s:%d/metrics (%zu devices)\n", host.c_str(), bound, devices.size());
    std::fflush(stdout);
    std::thread serving([&] { server.listen_after_bind(); });
    while (WaitForWake(-1)) {
    }
    server.stop();
    serving.join();
    if (engine.Loaded()) VKSSetSystemEventFn(nullptr, nullptr);
    const VKSERROR freed = engine.Free();
    if (freed != VKSERROR_NO_ERROR) return FailWith("exporter", "freeing the engine", freed);
    return kExitOk;
}

}  // namespace vksctl
