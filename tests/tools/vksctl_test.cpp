// vksctl run as a person runs it: a fresh process with real arguments for
// every command against the simulator, including wrong input; its output
// and exit status are checked, and every --json document must parse.
// Most cases are rows: arguments, exit status, what the output must hold.
// Rows that tests/windows/vksctl_under_wine.sh checks in the same words are
// left to it; those here check more (streams apart, line counts, JSON) or
// what only Linux has (signals, /proc, the exporter).
#include "run_program.h"
#include "vksacc.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <httplib.h>
#include <netinet/in.h>
#include <nlohmann/json.hpp>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <algorithm>
#include <iterator>
#include <string>
#include <vector>

namespace {

using vkstest::Lines;
using vkstest::ProgramResult;
using vkstest::RunOptions;

const std::string kDefault = VKSCTL_DEFAULT_SIM_CONFIG;
const std::string kStream = "udp://239.1.1.1:5000";

// The shipped configuration unless a row names another, and nothing from the
// developer's environment.
RunOptions Simulator(const std::string& config = kDefault, const std::string& drivers = "") {
    RunOptions o;
    o.env = {{"VKS_SIM_CONFIG", config}, {"VKS_DRIVERS", drivers},   {"VKS_REGISTRY_FILE", ""},
             {"VKS_DEBUG_OUTPUT", ""},   {"VKS_AUDIO_RECORD", ""}, {"VKS_DLL_PATH", ""}};
    return o;
}

// The simulator, with `signal` sent once standard output shows `when`.
RunOptions Signalled(const std::string& when, int signal) {
    RunOptions o = Simulator();
    o.signalWhen = when;
    o.signal = signal;
    return o;
}

ProgramResult Vksctl(const std::vector<std::string>& args, const RunOptions& options = Simulator()) {
    return vkstest::RunProgram(VKSCTL_PATH, args, options);
}

bool Contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

// A file written for a test and removed after it.
struct TempFile {
    explicit TempFile(size_t bytes = 0, const std::string& text = "") {
        char pattern[] = "/tmp/vksctl-test-XXXXXX";
        close(mkstemp(pattern));
        path = pattern;
        std::ofstream out(path, std::ios::binary);
        out << text;
        for (size_t i = 0; i < bytes; ++i) out.put(static_cast<char>((i * 131) ^ (i >> 9)));
    }
    ~TempFile() { std::remove(path.c_str()); }
    std::string path;
};

// What a stream must hold: `text` somewhere, or on exactly `lines` lines
// (0: nowhere).
struct Want {
    std::string text;
    int lines = -1;
};

struct Row {
    std::vector<std::string> args;
    int exit = 0;
    std::vector<Want> out = {};
    // A failure: exactly one line on standard error (besides the simulator
    // notice), from vksctl, holding this text.
    std::string error = "";
    std::vector<Want> err = {};
    RunOptions options = Simulator();
};

void Expect(const std::string& stream, const std::vector<Want>& wants) {
    const std::vector<std::string> lines = Lines(stream);
    for (const Want& w : wants) {
        const auto has = [&w](const std::string& line) { return Contains(line, w.text); };
        if (w.lines < 0)
            EXPECT_TRUE(Contains(stream, w.text)) << "missing '" << w.text << "' in\n" << stream;
        else
            EXPECT_EQ(std::ranges::count_if(lines, has), w.lines) << w.text << " in\n" << stream;
    }
}

ProgramResult Check(const Row& row) {
    SCOPED_TRACE(testing::PrintToString(row.args));
    const ProgramResult r = Vksctl(row.args, row.options);
    EXPECT_EQ(r.exitStatus, row.exit) << r.out << r.err;
    Expect(r.out, row.out);
    Expect(r.err, row.err);
    std::vector<std::string> errors = Lines(r.err);
    std::erase_if(errors, [](const std::string& line) { return line.rfind("vksctl: using ", 0) == 0; });
    // A success says nothing there, unless the row expects it to.
    if (!row.error.empty() || (row.err.empty() && row.exit == 0)) {
        EXPECT_TRUE(row.error.empty() ? errors.empty()
                                      : errors.size() == 1 && Contains(errors[0], row.error) &&
                                            errors[0].rfind("vksctl", 0) == 0)
            << "want one line with '" << row.error << "', got:\n" << r.err;
    }
    // --json output is one document, or one per line with --watch; each parses.
    if (std::ranges::count(row.args, "--json") != 0 && !nlohmann::json::accept(r.out)) {
        for (const auto& line : Lines(r.out)) EXPECT_TRUE(nlohmann::json::accept(line)) << line;
    }
    return r;
}

void CheckAll(const std::vector<Row>& rows) {
    for (const Row& row : rows) Check(row);
}

TEST(VksctlCommandLine, HelpVersionCompletionAndManualPage) {
    const auto r = Vksctl({"--help"});
    EXPECT_EQ(r.exitStatus, 0);
    for (const char* command : {"devices", "play", "encode", "discover", "health", "net", "param", "events"}) {
        EXPECT_TRUE(Contains(r.out, std::string("  ") + command)) << command;
        const auto help = Vksctl({command, "--help"});
        EXPECT_EQ(help.exitStatus, 0) << command;
        EXPECT_EQ(help.out.rfind(std::string("usage: vksctl ") + command, 0), 0u) << help.out;
        EXPECT_TRUE(help.err.empty()) << help.err;
    }
    EXPECT_EQ(Vksctl({"--version"}).out, "vksctl " VKSACC_VERSION_STRING " (library " VKSACC_VERSION_STRING ")\n");
    EXPECT_EQ(Vksctl({"help", "play"}).out, Vksctl({"play", "--help"}).out);
    // The completion reads the commands and options from the help text.
    const std::string folder = std::filesystem::path(VKSCTL_PATH).parent_path();
    const auto completion = vkstest::RunProgram(
        "/bin/bash", {"-c", "PATH=" + folder + ":$PATH; source " VKSCTL_COMPLETION "; "
                            "COMP_WORDS=(vksctl ex); COMP_CWORD=1; _vksctl; echo ${COMPREPLY[@]}; "
                            "COMP_WORDS=(vksctl play --first); COMP_CWORD=2; _vksctl; echo ${COMPREPLY[@]}"});
    EXPECT_EQ(completion.out, "exporter\n--first-frame-timeout\n") << completion.err;
    std::ifstream page(VKSCTL_MANPAGE);
    Expect(std::string(std::istreambuf_iterator<char>(page), {}),
           {{".TH VKSCTL 1"}, {".SH EXPORTER\n.nf\nusage: vksctl exporter"}});
}

TEST(VksctlCommandLine, WrongWordsConfigurationsAndDrivers) {
    TempFile config(0, "[device]\ndecoders = 2\nfrobs = 3\n");
    CheckAll({
        {{}, 2, {}, "", {{"usage: vksctl"}}},
        {{"play", "--port", "seven", kStream}, 2, {}, "--port takes a number, not 'seven'"},
        {{"play"}, 2, {}, "the stream address is missing"},
        {{"--log-level", "loud", "devices"}, 2, {}, "unknown log level 'loud'"},
        {{"--registry", "/nonexistent/r.reg", "devices"}, 2, {}, "registry file /nonexistent/r.reg does not exist"},
        {{"--sim-config", "/nonexistent/s.conf", "devices"}, 2, {}, "configuration /nonexistent/s.conf does not exist"},
        {{"--sim-config", "/tmp", "devices"}, 2, {}, "simulator configuration /tmp is a folder"},
        {{"devices"}, 2, {}, "simulator configuration " + config.path + ": ", {{"frobs"}}, Simulator(config.path)},
        {{"devices"}, 2, {}, "driver module nosuchdriver named in VKS_DRIVERS cannot be loaded", {},
         Simulator("", "nosuchdriver")},
        {{"--log-level", "trace", "devices"}, 0, {}, "", {{"VKSEngineLoad"}}},
        {{"devices"}, 0, {}, "", {{"VKSACC", 0}}},
        // Nothing configured: the shipped simulator, and a notice that says
        // so. Two devices: 2 + 2 ports, 2 + 4 decoders, one encoder and one
        // discovery input each.
        {{"devices"}, 0,
         {{"network port ", 4}, {"decoder ", 6}, {"encoder ", 2}, {"discovery input ", 2}, {"VKS Media Device A"},
          {"VKS Media Device B"}, {"data:", 0}},
         "", {{"vksctl: using the simulator with its default configuration ", 1}, {"(no devices are configured)"}},
         Simulator("")},
    });
}

TEST(VksctlQueries, DevicesDiscoverNetAndParam) {
    TempFile identity(0, "[device]\nserial = 0x12345678\nfirmware = 4.7\n");
    TempFile empty(0, "[device]\n");
    CheckAll({
        // devices: the information record decoded, global options after the command.
        {{"devices", "--json"}, 0,
         {{"\"decoders\":[{\"index\":0,\"name\":\"VKS Media Device A\""},
          {"{\"index\":5,\"name\":\"VKS Media Device B\""}, {"\"discovery_inputs\":["}, {"\"device_data\":["}},
         "", {{"using the simulator"}}},
        {{"devices"}, 0, {{"0x12345678  4.7", 6}, {"PCI bus 3, slot 0", 6}}, "", {}, Simulator(identity.path)},
        {{"--json", "devices"}, 0,
         {{"\"serial\":\"0x12345678\",\"firmware\":\"4.7\",\"location\":\"PCI bus 3, slot 0\""}},
         "", {}, Simulator(identity.path)},
        // One pair of lines per input: 4 ports, 6 decoders, 2 encoders, 2 inputs.
        {{"devices", "--records"}, 0, {{"  data: ", 14}, {"  data2: ", 14}}},
        // discover: what was found, and what to pass to play.
        {{"discover"}, 0,
         {{"Simulated camera 0.1"}, {"Simulated camera 0.2"}, {"(the record names no stream address)", 2}}},
        {{"discover", "--json", "--decoder", "2"}, 0, {{"\"text\":\"Simulated camera 1.1\""}}},
        {{"discover", "--seconds", "0.1"}, 0, {{"found nothing"}}, "", {}, Simulator(empty.path)},
        // net
        {{"net"}, 0, {{"192.168.1.100"}, {"192.168.1.101"}, {"00:1d:2f:00:00:01"}, {"configured interfaces:"}}},
        {{"net", "--json"}, 0, {{"\"mac\":["}}},
        {{"net", "ping", "127.0.0.1"}, 0,
         {{"answered, VKSERROR_DIAG_PING_SUCCESS (0x01345400); command round trip "}}},
        {{"net", "traceroute", "--reports", "2", "127.0.0.1"}, 0, {{"traceroute to 127.0.0.1", 2}}},
        {{"--json", "net", "traceroute", "127.0.0.1"}, 0, {{"VKSERROR_DIAG_TRACEROUTE_COMPLETE"}}},
        {{"net", "ping"}, 2, {}, "ping needs a destination"},
        {{"net", "teleport"}, 2, {}, "unknown action 'teleport'"},
        {{"net", "ping", "--decoder", "9", "127.0.0.1"}, 2, {}, "no decoder 9"},
        {{"net", "ping", "--ifc", "7", "127.0.0.1"}, 2, {}, "--ifc takes 0, 1 or 255"},
        // param: each selector, a set read back, units, the valid range.
        {{"param", "get", "encoder", "bit-rate"}, 0, {{"encoder 0 bit-rate (current): "}}},
        {{"param", "get", "encoder", "key-frame-interval", "--max"}, 0, {{"(maximum)"}}},
        {{"param", "get", "stream", "jitter", "--selector", "default", "--json"}, 0,
         {{"\"selector\":\"default\",\"values\":["}}},
        {{"param", "get", "decoder", "cropping", "--index", "3"}, 0, {{"decoder 3 cropping (current): "}}},
        {{"param", "set", "stream", "jitter", "40"}, 0, {{"lasts only while vksctl has the stream open"}}},
        {{"--json", "param", "list"}, 0,
         {{"\"name\":\"caching-limit\""}, {"\"meaning\":\"bits per second\",\"unit\":\"bit/s\""}}},
        {{"param", "get", "encoder", "sharpness"}, 2, {}, "unknown encoder parameter 'sharpness' (known: frame-rate,"},
        {{"param", "get", "toaster", "heat"}, 2, {}, "unknown family 'toaster'"},
        {{"param", "set", "encoder", "profile", "3"}, 1, {}, "setting encoder profile to 3: VKSERROR_"},
        {{"param", "set", "decoder", "resolution", "1,2"}, 1, {}, "is read-only"},
        {{"param", "set", "decoder", "cropping", "1,2"}, 2, {}, "cropping takes 4 numbers"},
        {{"param", "get", "encoder", "profile", "--min"}, 1, {}, "has no minimum value"},
        {{"param", "get", "encoder", "profile", "--index", "5"}, 2, {}, "no encoder 5"},
    });
}

TEST(VksctlPlay, PlaysFilesAndStreamsAndFreesTheEngine) {
    TempFile file(1500000), small(200000);
    const std::string name = small.path.substr(small.path.rfind('/') + 1);
    RunOptions inTmp = Simulator();
    inTmp.cwd = "/tmp";
    std::vector<Row> rows = {
        {{"play", "file://" + file.path}, 0,
         {{"playing file://"}, {"VKSERROR_DECODED_FIRST_FRAME: first frame decoded"}, {"VKSERROR_AUDIO_EXISTS"},
          {"VKSERROR_END_OF_STREAM: end of stream"}, {"fed 1500000 of 1500000 bytes"}, {"engine freed"}}},
        {{"play", "--json", "--decoder", "1", "file://" + small.path}, 0,
         {{"\"end_of_stream\":true"}, {"\"bytes_fed\":200000,\"file_size\":200000"}, {"\"engine_freed\":true"}}},
        {{"play", kStream}, 0, {{"interrupted"}, {"closed the decoder and the stream; engine freed"}}, "", {},
         Signalled("playing udp://", SIGINT)},
        // The decoder's own device gives the port by default.
        {{"play", "--decoder", "2", small.path}, 0, {{"port 2, decoder 2"}}},
        {{"play", "--seconds", "0.1", "--param", "jitter=40", "--param", "sync-mode=1", kStream}, 0},
    };
    // Bare, relative and upper-case addresses become the absolute file address.
    for (const std::string& given : {small.path, name, "./" + name, "file://" + name, "FILE://" + small.path})
        rows.push_back(
            {{"play", given}, 0, {{"playing file://" + small.path}, {"fed 200000 of 200000 bytes"}}, "", {}, inTmp});
    CheckAll(rows);

    // `vksctl play ... | head -2`: the reader goes away; no SIGPIPE death.
    RunOptions o = Simulator();
    o.closeOutputWhen = "playing udp://";
    Check({{"--log-level", "trace", "play", kStream}, 0, {}, "", {{"DeviceClose: START", 2}, {"VKSEngineFree: Exit"}},
           o});
}

TEST(VksctlPlay, WhatCannotPlayFailsWithOneLine) {
    TempFile locked(1000);
    ::chmod(locked.path.c_str(), 0);
    TempFile noDecoders(0, "[device]\nnetwork = 1\ndecoders = 0\n");
    std::vector<Row> rows = {
        {{"play", "file:///nonexistent/clip.ts"}, 1, {}, "file /nonexistent/clip.ts does not exist"},
        {{"play", "/tmp"}, 1, {}, "file /tmp is a folder, not a file"},
        {{"play", "--wav", "/nonexistent/out.wav", kStream}, 2, {}, "folder /nonexistent does not exist"},
        {{"play", "--decoder", "99", kStream}, 2, {}, "no decoder 99 (there are 6: 0 to 5)"},
        {{"play", "--port", "4", kStream}, 2, {}, "no network port 4"},
        {{"play", "--port", "99999999999", kStream}, 2, {}, "--port 99999999999 is too large"},
        {{"play", "--param", "warp=9", kStream}, 2, {}, "unknown parameter 'warp'"},
        {{"play", kStream}, 2, {}, "no decoder 0 (there are none)", {}, Simulator(noDecoders.path)},
    };
    if (::geteuid() != 0)  // root reads whatever it likes
        rows.push_back({{"play", locked.path}, 1, {}, "permission denied"});
    CheckAll(rows);
}

TEST(VksctlPlay, WavOptionRecordsWhatTheEndpointRendered) {
    // Thirty 1 MiB blocks: about a second and a half of playing, time for the
    // sound to start (its first 250 ms are buffered before anything plays).
    TempFile file(30 * 1048576), wav;
    std::remove(wav.path.c_str());
    const auto r = Check({{"play", "--wav", wav.path, "file://" + file.path}, 0, {{"audio: "}}});
    unsigned long long frames = 0;
    const size_t at = r.out.find("audio: ");
    ASSERT_NE(at, std::string::npos);
    ASSERT_EQ(std::sscanf(r.out.c_str() + at, "audio: %llu frames rendered", &frames), 1) << r.out;
    // Whatever the endpoint rendered was recorded after the 44-byte header.
    EXPECT_TRUE(frames == 0 || std::filesystem::file_size(wav.path) > 44u) << r.out;
}

// An application killed while it plays takes its audio helper with it: the
// helper ends within a second instead of waiting for its stop event for ever.
TEST(VksctlPlay, KilledWhilePlayingTakesItsAudioHelperWithIt) {
    const auto r = Vksctl({"--log-level", "errors", "play", kStream}, Signalled("playing udp://", SIGKILL));
    EXPECT_EQ(r.exitStatus, 128 + SIGKILL) << r.err;
    // The helper's process id, from the library's launch line.
    const std::string key = "LaunchProcess: Success - dwProcessId:";
    const size_t at = r.err.find(key);
    ASSERT_NE(at, std::string::npos) << r.err;
    const pid_t helper = static_cast<pid_t>(std::atoi(r.err.c_str() + at + key.size()));
    ASSERT_GT(helper, 0);
    const int fd = static_cast<int>(syscall(SYS_pidfd_open, helper, 0));
    // Gone already, or gone within the second.
    pollfd ended{fd, POLLIN, 0};
    EXPECT_TRUE(fd < 0 ? errno == ESRCH : poll(&ended, 1, 1000) == 1)
        << "the helper outlived its application by more than a second";
    if (fd >= 0) close(fd);
}

TEST(VksctlEncode, WritesSamplesAndRefusesWhatCannotEncode) {
    TempFile out;
    CheckAll({
        {{"encode", "--frames", "5", "--fps", "60", "--output", out.path}, 0,
         {{"5 samples"}, {"samples/s"}, {"encoder closed; engine freed"}}},
        {{"--json", "encode", "--frames", "3", "--fps", "60", "--output", "/dev/null"}, 0,
         {{"\"frames\":3,"}, {"\"frame_rate\":60"}}},
        {{"encode", "--profile", "3", "--output", "/dev/null"}, 1, {}, "cannot set the profile to 3: VKSERROR_"},
        {{"encode"}, 2, {}, "--output FILE is missing"},
        {{"encode", "--encoder", "2", "--output", "/dev/null"}, 2, {}, "no encoder 2"},
        {{"encode", "--width", "640", "--output", "/dev/null"}, 2, {}, "--width and --height go together"},
        {{"encode", "--param", "bit-rate=1", "--output", "/dev/null"}, 1, {},
         "setting encoder bit-rate to 1: VKSERROR_INVALID_ARGUMENT (0x01340005) (valid: 64000 to"},
    });
    // Every sample starts with a start code; the first is a key frame.
    std::string head(5, '\0');
    std::ifstream(out.path, std::ios::binary).read(head.data(), 5);
    EXPECT_EQ(head, std::string("\0\0\0\1\x65", 5));
    // --output -: the samples on standard output, the figures on standard error.
    const auto r = Check({{"encode", "--frames", "2", "--fps", "60", "--param", "bit-rate=64000", "--output", "-"}, 0,
                          {}, "", {{"2 samples"}}});
    EXPECT_EQ(r.out.substr(0, 4), std::string("\0\0\0\1", 4));
}

TEST(VksctlHealth, FiguresTestsAndWatch) {
    CheckAll({
        {{"health"}, 0,
         {{"35%", 2}, {"47 C", 2}, {"hardware counters (opaque 24-byte record", 2}, {"force-lockup", 0}}},
        {{"--json", "health"}, 0, {{"\"load\":35,\"encoder_load\":35,\"temperature\":47"}}},
        {{"health", "--tests"}, 2, {{"force-lockup", 0}}, "add --yes to run them"},
        // Each result is final: the lockup, in progress when asked, has its
        // outcome when the device answers again.
        {{"health", "--tests", "--yes"}, 0,
         {{"VKSERROR_TEST_IN_PROGRESS (0x01346401), then the device answered again after", 2},
          {"VKSERROR_TEST_COMPLETE", 4}}},
        {{"health", "--watch", "0.05", "--count", "2"}, 0, {{"--- ", 2}}},
        // JSON Lines: one document per round.
        {{"--json", "health", "--watch", "0.05", "--count", "2"}, 0, {{"{\"", 2}}},
        {{"health", "--watch", "0"}, 2, {}, "--watch takes a positive number of seconds"},
        {{"health", "--count", "3"}, 2, {}, "--count goes with --watch S"},
    });
}

TEST(VksctlEvents, NamesTheDeviceEachEventCameFrom) {
    TempFile one(0, "[device]\nnotify_on_info = 0x0134F403, 0x0134F401\n");
    // Of two devices, only the second sends anything.
    TempFile two(0, "[device]\nname = First\n[device]\nname = Second\nnotify_on_info = 0x0134F404\n");
    CheckAll({
        {{"events", "--count", "2"}, 0,
         {{"VKSERROR_EVENT_MEMORY_LEVEL_AMBER: memory level amber, from VKS Media Device 0"},
          {"VKSERROR_EVENT_UPGRADE_PENDING: firmware upgrade pending"}, {"2 events; engine freed"}},
         "", {}, Simulator(one.path)},
        {{"events", "--count", "1"}, 0, {{"VKSERROR_EVENT_MEMORY_LEVEL_RED: memory level red, from Second"}}, "", {},
         Simulator(two.path)},
        {{"--json", "events", "--count", "1"}, 0,
         {{"\"name\":\"VKSERROR_EVENT_MEMORY_LEVEL_RED\""}, {"\"device\":\"Second\""}}, "", {}, Simulator(two.path)},
        {{"events"}, 0, {{"0 events; engine freed"}}, "", {}, Signalled("watching system events", SIGINT)},
    });
}

// A loopback port free at this moment, for a server that cannot be told port 0.
int FreeLoopbackPort() {
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof a;
    const bool ok = bind(fd, reinterpret_cast<sockaddr*>(&a), size) == 0 &&
                    getsockname(fd, reinterpret_cast<sockaddr*>(&a), &size) == 0;
    close(fd);
    return ok ? ntohs(a.sin_port) : 0;
}

TEST(VksctlExporter, PrometheusScrapesTheSimulatorsFigures) {
    Check({{"exporter", "--listen", "localhost"}, 2, {}, "--listen takes ADDR:PORT"});
    vkstest::Program exporter(VKSCTL_PATH, {"exporter", "--listen", "127.0.0.1:0"}, Simulator());
    ASSERT_TRUE(exporter.WaitForOutput("/metrics", 20000)) << exporter.Err();
    int port = 0;
    ASSERT_EQ(std::sscanf(exporter.Out().c_str(), "serving http://127.0.0.1:%d/metrics", &port), 1) << exporter.Out();

    httplib::Client client("127.0.0.1", port);
    auto metrics = client.Get("/metrics");
    ASSERT_TRUE(metrics && metrics->status == 200);
    // The type a scraper picks its parser by: the text format.
    EXPECT_EQ(metrics->get_header_value("Content-Type"), "text/plain; version=0.0.4; charset=utf-8");
    const std::string a = "{device=\"VKS Media Device A\",serial=\"0x5A000001\",location=\"PCI bus 3, slot 0\"";
    Expect(metrics->body, {{"vksacc_temperature_celsius" + a + "} 47\n"},
                           {"vksacc_network_streams" + a + "} 0\n"},
                           {"vksacc_input_info{device=\"VKS Media Device B\",serial=\"0x5A000002\","
                            "location=\"PCI bus 4, slot 0\",index=\"5\",kind=\"decoder\"} 1\n"}});
    const auto missing = client.Get("/nosuch");
    EXPECT_TRUE(missing && missing->status == 404);

    // The exposition passes the checks of Prometheus's own parser (promtool).
    TempFile exposition(0, metrics->body);
    const auto promtool = vkstest::RunProgram("/bin/sh", {"-c", "promtool check metrics < " + exposition.path});
    EXPECT_EQ(promtool.exitStatus, 0) << promtool.out << promtool.err;

    // A second exporter on the same port says so.
    const std::string address = "127.0.0.1:" + std::to_string(port);
    Check({{"exporter", "--listen", address}, 1, {}, "cannot listen on " + address + ": the port is in use"});

    // A real Prometheus on loopback scrapes it every 200 ms; its query API
    // answers the temperature of both devices.
    ASSERT_EQ(access("/usr/bin/prometheus", X_OK), 0) << "prometheus is missing: run scripts/setup.sh";
    char folder[] = "/tmp/vksctl-prometheus-XXXXXX";
    ASSERT_NE(mkdtemp(folder), nullptr);
    const int webPort = FreeLoopbackPort();
    std::ofstream(std::string(folder) + "/prometheus.yml")
        << "global:\n  scrape_interval: 200ms\nscrape_configs:\n  - job_name: vksacc\n    static_configs:\n"
        << "      - targets: ['" << address << "']\n";
    vkstest::Program prometheus("/usr/bin/prometheus",
                                {std::string("--config.file=") + folder + "/prometheus.yml",
                                 std::string("--storage.tsdb.path=") + folder + "/data",
                                 "--web.listen-address=127.0.0.1:" + std::to_string(webPort)});
    httplib::Client api("127.0.0.1", webPort);
    std::string answer;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (std::chrono::steady_clock::now() < deadline) {
        auto r = api.Get("/api/v1/query?query=vksacc_temperature_celsius");
        if (r && r->status == 200) answer = r->body;
        if (Contains(answer, "VKS Media Device A") && Contains(answer, "VKS Media Device B")) break;
        prometheus.WaitForOutput("\x01never\x01", 200);  // drains its log while waiting
    }
    const auto prometheusEnd = prometheus.Stop(SIGTERM);
    std::filesystem::remove_all(folder);
    size_t devices = 0;
    for (size_t at = 0; (at = answer.find("\"47\"]", at)) != std::string::npos; ++at) ++devices;
    EXPECT_EQ(devices, 2u) << answer << prometheusEnd.err.substr(0, 3000);

    const auto end = exporter.Stop(SIGINT);
    EXPECT_EQ(end.exitStatus, 0) << end.err;
}

}  // namespace
