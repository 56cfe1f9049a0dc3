// Network family: information records of open network streams, and the
// device-wide network commands (IP configuration, MAC addresses, clients,
// file size, log files, debug log, stream diagnostics, ping, trace-route).
// Ping and trace-route never touch a real network: destinations answer from
// a table kept per device.
#include "sim_internal.h"
#include "vkssim/sim_c.h"

#include <algorithm>
#include <cstdio>
#include <string>

namespace vkssim::detail {

namespace {

// Command codes of the family.
constexpr uint32_t kGetInfo = 0x22C428, kGetMediaStreamInfo = 0x22C42C;
constexpr uint32_t kGetIpConfig = 0x22C458, kSetIpConfig = 0x22C45C, kGetMacAddresses = 0x22C468;
constexpr uint32_t kGetLogFiles = 0x22C46C, kStartDebugLog = 0x22C470, kGetDiagnostics = 0x22C498;
constexpr uint32_t kGetNumClients = 0x22C4A0, kGetFileSize = 0x22C4A4, kPing = 0x22C4E0, kTraceRoute = 0x22C4E4;

// Information records the device keeps for a stream and a media stream.
constexpr uint32_t kStreamInfoBytes = 40, kMediaStreamInfoBytes = 56, kMediaStreams = 2;
// Reply word of the count and size queries.
constexpr size_t kValueWord = 32;
// Log files: UTF-16 path at 24, 260 units with the terminator.
constexpr size_t kLogPathUnits = 260;
// Debug log fields.
constexpr size_t kDebugText1 = 32, kDebugText2 = 160, kDebugTextBytes = 128;
// Diagnostics: working size and N words, counters and records in the reply.
constexpr size_t kDiagStreamCount = 36, kDiagCounters = 40, kDiagEntries = 72;
constexpr size_t kDiagEntryBytes = kNetworkDiagnosticsEntryBytes;
// Ping and trace-route fields.
constexpr size_t kInterfaceByte = 24, kDestination = 25, kDestinationBytes = 2048, kReportCount = 2076;
constexpr size_t kReportBytes = 4100;
constexpr uint8_t kAnyInterface = 255;

static_assert(kDiagEntryBytes == VKSSIM_NETWORK_DIAGNOSTICS_ENTRY_SIZE, "one record size");
static_assert(static_cast<uint32_t>(NetworkReach::Reachable) == VKSSIM_NETWORK_REACHABLE &&
                  static_cast<uint32_t>(NetworkReach::Unreachable) == VKSSIM_NETWORK_UNREACHABLE &&
                  static_cast<uint32_t>(NetworkReach::Silent) == VKSSIM_NETWORK_SILENT,
              "reach values");

struct Destination {
    NetworkReach reach = NetworkReach::Reachable;
    uint32_t hops = 3;
};

// What one device answers; kept by device position, and made afresh when a
// different device takes that position.
struct NetworkState {
    std::weak_ptr<Device> owner;
    std::array<uint8_t, 48> ipConfig{};
    std::array<uint8_t, 12> macs{};
    uint32_t fileSize = 1048576;
    int32_t clients = -1;
    uint32_t infoSizeWord = 0;
    NetworkDiagnostics diagnostics;
    std::map<std::string, Destination> destinations;
};

void InitialiseState(NetworkState& s, const Device& d) {
    const uint32_t n = static_cast<uint32_t>(d.index);
    const uint32_t addresses[2] = {0xC0A80164u + n, 0x0A000001u + ((n & 0xFF) << 8)};
    s.ipConfig.fill(0);
    for (size_t i = 0; i < 2; ++i) {
        uint8_t* entry = s.ipConfig.data() + 24 * i;
        PutU32(entry + 0, 1);  // static configuration
        PutU32(entry + 4, addresses[i]);
        PutU32(entry + 8, 0xFFFFFF00u);                      // netmask
        PutU32(entry + 12, (addresses[i] & 0xFFFFFF00u) | 1);  // gateway
        PutU32(entry + 16, 0x08080808u);                     // name server
        PutU32(entry + 20, 1500);                            // MTU
    }
    s.macs = {0x00, 0x1D, 0x2F, static_cast<uint8_t>(n), 0x00, 0x01,
              0x00, 0x1D, 0x2F, static_cast<uint8_t>(n), 0x00, 0x02};
    s.fileSize = 1048576;
    s.clients = -1;
    s.infoSizeWord = 0;
    s.diagnostics = NetworkDiagnostics{};
    s.diagnostics.firstCounter[0] = 0x1000000000000001ull;
    s.diagnostics.firstCounter[1] = 0x1000000000000002ull;
    s.diagnostics.secondCounter[0] = 0x2000000000000001ull;
    s.diagnostics.secondCounter[1] = 0x2000000000000002ull;
    s.diagnostics.entries = {NetworkDiagnosticsPattern(1, 1), NetworkDiagnosticsPattern(2, 2)};
    s.destinations.clear();
}

// Never destroyed: library threads may still send commands while the
// process's statics are torn down.
std::map<int, NetworkState>& States() {
    static auto* states = new std::map<int, NetworkState>;
    return *states;
}

// Called with the machine lock held.
NetworkState& StateOf(const std::shared_ptr<Device>& device) {
    NetworkState& s = States()[device->index];
    if (s.owner.lock() != device) {
        s.owner = device;
        InitialiseState(s, *device);
    }
    return s;
}

NetworkState* StateAt(Machine& m, int device) {
    if (m.DeviceAt(device) == nullptr) return nullptr;
    return &StateOf(m.devices[static_cast<size_t>(device)]);
}

std::string Dotted(uint32_t address) {
    char text[16];
    std::snprintf(text, sizeof text, "%u.%u.%u.%u", address >> 24, (address >> 16) & 0xFF, (address >> 8) & 0xFF,
                  address & 0xFF);
    return text;
}

uint32_t InterfaceAddress(const NetworkState& s, size_t i) { return GetU32(s.ipConfig.data() + 24 * i + 4); }

Destination Lookup(const NetworkState& s, const std::string& destination) {
    if (auto it = s.destinations.find(destination); it != s.destinations.end()) return it->second;
    if (destination == "127.0.0.1") return {NetworkReach::Reachable, 1};
    for (size_t i = 0; i < 2; ++i) {
        const uint32_t a = InterfaceAddress(s, i);
        if (a != 0 && destination == Dotted(a)) return {NetworkReach::Reachable, 1};
    }
    return {NetworkReach::Silent, 0};
}

SimObject* FindStream(Command& c) {
    auto it = c.device.objects.find(c.Handle());
    if (it == c.device.objects.end() || it->second.info.type != VKSSIM_TYPE_NETWORK) return nullptr;
    return &it->second;
}

// A size-prefixed record at reply 24, its size word as the device reports it.
void PutRecord(Command& c, NetworkState& s, std::vector<uint8_t> record) {
    PutU32(record.data(), s.infoSizeWord != 0 ? s.infoSizeWord : static_cast<uint32_t>(record.size()));
    c.OutBytes(VKSSIM_PAYLOAD, record.data(), record.size());
}

// Stream record: 0 size, 4 driver handle, 8 port, 12 state, 16 transport,
// 20 address length, 24 media streams, 28 reserved, 32 u64 length value.
void GetInfo(Command& c) {
    SimObject* o = FindStream(c);
    if (!o) {
        c.status = VKSERROR_INVALID_HANDLE;
        return;
    }
    std::vector<uint8_t> r(kStreamInfoBytes, 0);
    PutU32(&r[4], o->info.handle);
    PutU32(&r[8], o->info.channel);
    PutU32(&r[12], o->info.state);
    PutU32(&r[16], o->info.transport);
    PutU32(&r[20], static_cast<uint32_t>(o->info.address.size()));
    PutU32(&r[24], kMediaStreams);
    PutU64(&r[32], o->info.lengthValue);
    PutRecord(c, StateOf(c.file.device), std::move(r));
}

// Media stream record (sub-index at request 16): 0 size, 4 index, 8 kind
// (1 video, 2 audio), 12 codec tag, 16 bit rate, 20 width or channels,
// 24 height or sample rate, 28 stream handle, then 0x5A bytes.
void GetMediaStreamInfo(Command& c) {
    SimObject* o = FindStream(c);
    if (!o) {
        c.status = VKSERROR_INVALID_HANDLE;
        return;
    }
    const uint32_t index = c.InU32(VKSSIM_REQ_SUBINDEX);
    if (index >= kMediaStreams) {
        c.status = VKSERROR_INVALID_ARGUMENT;
        return;
    }
    std::vector<uint8_t> r(kMediaStreamInfoBytes, 0x5A);
    const bool video = index == 0;
    PutU32(&r[4], index);
    PutU32(&r[8], video ? 1 : 2);
    PutU32(&r[12], video ? 0x34363248u : 0x43414120u);  // "H264", " AAC"
    PutU32(&r[16], video ? 8000000 : 128000);
    PutU32(&r[20], video ? 1920 : 2);
    PutU32(&r[24], video ? 1080 : 48000);
    PutU32(&r[28], o->info.handle);
    PutRecord(c, StateOf(c.file.device), std::move(r));
}

void GetIpConfig(Command& c) {
    NetworkState& s = StateOf(c.file.device);
    c.OutBytes(VKSSIM_PAYLOAD, s.ipConfig.data(), s.ipConfig.size());
}

void SetIpConfig(Command& c) {
    if (c.in.size() < VKSSIM_PAYLOAD + 48) {
        c.status = VKSERROR_INVALID_ARGUMENT;
        return;
    }
    NetworkState& s = StateOf(c.file.device);
    std::memcpy(s.ipConfig.data(), c.in.data() + VKSSIM_PAYLOAD, s.ipConfig.size());
}

void GetMacAddresses(Command& c) {
    NetworkState& s = StateOf(c.file.device);
    c.OutBytes(VKSSIM_PAYLOAD, s.macs.data(), s.macs.size());
}

// Reply 24: u32 size of the answer (12), 32: the value.
void PutValue(Command& c, uint32_t value) {
    c.OutU32(VKSSIM_PAYLOAD, 12);
    c.OutU32(kValueWord, value);
}

void GetNumClients(Command& c) {
    NetworkState& s = StateOf(c.file.device);
    uint32_t clients = 0;
    if (s.clients >= 0) {
        clients = static_cast<uint32_t>(s.clients);
    } else {
        for (auto& [h, o] : c.device.objects)
            if (o.info.type == VKSSIM_TYPE_NETWORK) ++clients;
    }
    PutValue(c, clients);
}

void GetFileSize(Command& c) { PutValue(c, StateOf(c.file.device).fileSize); }

// A text field that must hold its terminator.
bool TerminatedIn(std::span<const uint8_t> in, size_t offset, size_t bytes) {
    if (in.size() < offset + bytes) return false;
    return std::find(in.begin() + offset, in.begin() + offset + bytes, 0) != in.begin() + offset + bytes;
}

// The device gathers its log files for the host to fetch; it needs a
// terminated, non-empty destination path.
void GetLogFiles(Command& c) {
    if (c.in.size() < VKSSIM_PAYLOAD + 2 * kLogPathUnits) {
        c.status = VKSERROR_INVALID_ARGUMENT;
        return;
    }
    size_t units = 0;
    while (units < kLogPathUnits) {
        uint16_t unit;
        std::memcpy(&unit, c.in.data() + VKSSIM_PAYLOAD + 2 * units, 2);
        if (unit == 0) break;
        ++units;
    }
    if (units == 0 || units == kLogPathUnits) c.status = VKSERROR_INVALID_ARGUMENT;
}

void StartDebugLog(Command& c) {
    if (!TerminatedIn(c.in, kDebugText1, kDebugTextBytes) || !TerminatedIn(c.in, kDebugText2, kDebugTextBytes))
        c.status = VKSERROR_INVALID_ARGUMENT;
}

// Request 36: N. The request and the reply must both have room for N records.
void GetDiagnostics(Command& c) {
    const uint64_t streams = c.InU32(kDiagStreamCount);
    if (c.in.size() < VKSSIM_REQUEST_SIZE + kDiagEntryBytes * streams ||
        c.outLength < VKSSIM_REPLY_SIZE + kDiagEntryBytes * streams) {
        c.status = VKSERROR_BUFFER_TOO_SMALL;
        return;
    }
    const NetworkDiagnostics& d = StateOf(c.file.device).diagnostics;
    const uint64_t counters[4] = {d.firstCounter[0], d.firstCounter[1], d.secondCounter[0], d.secondCounter[1]};
    c.OutBytes(kDiagCounters, counters, sizeof counters);
    const size_t filled = std::min<size_t>(streams, d.entries.size());
    for (size_t k = 0; k < filled; ++k) {
        const auto& e = d.entries[k];
        c.OutBytes(kDiagEntries + kDiagEntryBytes * k, e.data(), std::min(e.size(), kDiagEntryBytes));
    }
}

// The destination text of a test, or false when it is empty or unterminated.
bool TestDestination(Command& c, std::string* destination) {
    if (!TerminatedIn(c.in, kDestination, kDestinationBytes) || c.in[kDestination] == 0) return false;
    *destination = reinterpret_cast<const char*>(c.in.data() + kDestination);
    return true;
}

// Interface byte: 0 or 1 names an interface, which must be configured; 255
// lets the device choose. Other values name no interface.
bool InterfaceUsable(const NetworkState& s, uint8_t interfaceByte) {
    if (interfaceByte == kAnyInterface) return InterfaceAddress(s, 0) != 0 || InterfaceAddress(s, 1) != 0;
    return interfaceByte < 2 && InterfaceAddress(s, interfaceByte) != 0;
}

void Ping(Command& c) {
    std::string destination;
    if (!TestDestination(c, &destination)) {
        c.status = VKSERROR_INVALID_ARGUMENT;
        return;
    }
    const NetworkState& s = StateOf(c.file.device);
    if (!InterfaceUsable(s, c.in[kInterfaceByte])) {
        c.status = VKSERROR_DIAG_PING_FAIL;
        return;
    }
    switch (Lookup(s, destination).reach) {
    case NetworkReach::Reachable: c.status = VKSERROR_DIAG_PING_SUCCESS; break;
    case NetworkReach::Unreachable: c.status = VKSERROR_DIAG_PING_FAIL; break;
    case NetworkReach::Silent: c.status = VKSERROR_DIAG_PING_TIMEOUT; break;
    }
}

// Report block: 0 block index, 4 blocks, 8 hops, 12 text ("traceroute to
// <destination>" then one line per hop; block j lists the hops j, j + blocks,
// ...), terminated.
std::vector<uint8_t> RouteBlock(const NetworkState& s, const std::string& destination, uint32_t hops, uint32_t block,
                                uint32_t blocks) {
    std::vector<uint8_t> r(kReportBytes, 0);
    PutU32(&r[0], block);
    PutU32(&r[4], blocks);
    PutU32(&r[8], hops);
    const uint32_t first = InterfaceAddress(s, 0) != 0 ? InterfaceAddress(s, 0) : InterfaceAddress(s, 1);
    std::string text = "traceroute to " + destination + "\n";
    for (uint32_t hop = block + 1; hop <= hops; hop += blocks) {
        const std::string via = hop == hops ? destination : Dotted((first & 0xFFFFFF00u) | (hop & 0xFF));
        char time[32];
        std::snprintf(time, sizeof time, "  %u.%u ms\n", hop, 4 * hop);
        text += std::to_string(hop) + "  " + via + time;
    }
    std::memcpy(&r[12], text.data(), std::min(text.size(), kReportBytes - 13));
    return r;
}

void TraceRoute(Command& c) {
    std::string destination;
    const uint32_t blocks = c.InU32(kReportCount);
    if (!TestDestination(c, &destination) || blocks == 0 || blocks > 2) {
        c.status = VKSERROR_INVALID_ARGUMENT;
        return;
    }
    const NetworkState& s = StateOf(c.file.device);
    if (!InterfaceUsable(s, c.in[kInterfaceByte])) {
        c.status = VKSERROR_DIAG_TRACEROUTE_FAIL;
        return;
    }
    const Destination d = Lookup(s, destination);
    switch (d.reach) {
    case NetworkReach::Reachable:
        c.status = VKSERROR_DIAG_TRACEROUTE_COMPLETE;
        for (uint32_t j = 0; j < blocks; ++j) {
            const auto block = RouteBlock(s, destination, d.hops, j, blocks);
            c.OutBytes(VKSSIM_PAYLOAD + kReportBytes * j, block.data(), block.size());
        }
        break;
    case NetworkReach::Unreachable: c.status = VKSERROR_DIAG_TRACEROUTE_FAIL; break;
    case NetworkReach::Silent: c.status = VKSERROR_DIAG_TRACEROUTE_TIMEOUT; break;
    }
}

}  // namespace

static void RegisterNetworkFamily(Machine& m) {
    m.handlers[kGetInfo] = GetInfo;
    m.handlers[kGetMediaStreamInfo] = GetMediaStreamInfo;
    m.handlers[kGetIpConfig] = GetIpConfig;
    m.handlers[kSetIpConfig] = SetIpConfig;
    m.handlers[kGetMacAddresses] = GetMacAddresses;
    m.handlers[kGetLogFiles] = GetLogFiles;
    m.handlers[kStartDebugLog] = StartDebugLog;
    m.handlers[kGetDiagnostics] = GetDiagnostics;
    m.handlers[kGetNumClients] = GetNumClients;
    m.handlers[kGetFileSize] = GetFileSize;
    m.handlers[kPing] = Ping;
    m.handlers[kTraceRoute] = TraceRoute;
}
VKSSIM_FAMILY(RegisterNetworkFamily);

}  // namespace vkssim::detail

// --- Control surface: network family ----------------------------------------------------------
namespace vkssim {

using namespace detail;

namespace {
// Runs `change` on a device's network state under the machine lock.
template <typename F>
bool WithState(int device, F change) {
    Machine& m = M();
    std::lock_guard lock(m.mu);
    NetworkState* s = StateAt(m, device);
    if (!s) return false;
    change(*s);
    return true;
}
}  // namespace

uint32_t NetworkPatternWord(uint32_t seed, uint32_t offset) {
    return (seed << 28) | ((offset & 0xFFF) << 16) | 0x8000u | (offset & 0xFFF);
}

std::vector<uint8_t> NetworkDiagnosticsPattern(uint32_t kind, uint32_t seed) {
    std::vector<uint8_t> entry(kNetworkDiagnosticsEntryBytes, 0);
    for (size_t o = 0; o + 4 <= entry.size(); o += 4) PutU32(&entry[o], NetworkPatternWord(seed, o));
    PutU32(&entry[kNetworkDiagnosticsKindOffset], kind);
    return entry;
}

bool SetNetworkDiagnostics(int device, const NetworkDiagnostics& diagnostics) {
    for (const auto& e : diagnostics.entries)
        if (e.size() != kNetworkDiagnosticsEntryBytes) return false;
    return WithState(device, [&](NetworkState& s) { s.diagnostics = diagnostics; });
}

NetworkDiagnostics GetNetworkDiagnostics(int device) {
    NetworkDiagnostics d;
    WithState(device, [&](NetworkState& s) { d = s.diagnostics; });
    return d;
}

bool SetNetworkIpConfig(int device, const std::array<uint8_t, 48>& record) {
    return WithState(device, [&](NetworkState& s) { s.ipConfig = record; });
}

std::array<uint8_t, 48> GetNetworkIpConfig(int device) {
    std::array<uint8_t, 48> r{};
    WithState(device, [&](NetworkState& s) { r = s.ipConfig; });
    return r;
}

bool SetNetworkInterfaceAddresses(int device, uint32_t address0, uint32_t address1) {
    return WithState(device, [&](NetworkState& s) {
        PutU32(s.ipConfig.data() + 4, address0);
        PutU32(s.ipConfig.data() + 28, address1);
    });
}

bool SetNetworkMacAddresses(int device, const std::array<uint8_t, 12>& addresses) {
    return WithState(device, [&](NetworkState& s) { s.macs = addresses; });
}

bool SetNetworkFileSize(int device, uint32_t size) {
    return WithState(device, [&](NetworkState& s) { s.fileSize = size; });
}

bool SetNetworkClients(int device, int32_t clients) {
    return WithState(device, [&](NetworkState& s) { s.clients = clients < 0 ? -1 : clients; });
}

bool SetNetworkInfoSizeWord(int device, uint32_t sizeWord) {
    return WithState(device, [&](NetworkState& s) { s.infoSizeWord = sizeWord; });
}

bool SetNetworkDestination(int device, const std::string& destination, NetworkReach reach, uint32_t hops) {
    return WithState(device, [&](NetworkState& s) { s.destinations[destination] = Destination{reach, hops}; });
}

bool ClearNetworkDestinations(int device) {
    return WithState(device, [&](NetworkState& s) { s.destinations.clear(); });
}

}  // namespace vkssim

extern "C" {

int vkssim_network_set_diagnostics(int device, const uint64_t counters[4], const void* entries, size_t entryCount) {
    vkssim::NetworkDiagnostics d;
    if (counters) {
        d.firstCounter[0] = counters[0];
        d.firstCounter[1] = counters[1];
        d.secondCounter[0] = counters[2];
        d.secondCounter[1] = counters[3];
    }
    if (entryCount != 0 && !entries) return 0;
    const auto* bytes = static_cast<const uint8_t*>(entries);
    for (size_t k = 0; k < entryCount; ++k)
        d.entries.emplace_back(bytes + k * vkssim::kNetworkDiagnosticsEntryBytes,
                               bytes + (k + 1) * vkssim::kNetworkDiagnosticsEntryBytes);
    return vkssim::SetNetworkDiagnostics(device, d) ? 1 : 0;
}

void vkssim_network_diagnostics_pattern(uint32_t kind, uint32_t seed, void* entry) {
    if (!entry) return;
    const auto e = vkssim::NetworkDiagnosticsPattern(kind, seed);
    std::memcpy(entry, e.data(), e.size());
}

int vkssim_network_set_ip_config(int device, const void* record) {
    if (!record) return 0;
    std::array<uint8_t, 48> r;
    std::memcpy(r.data(), record, r.size());
    return vkssim::SetNetworkIpConfig(device, r) ? 1 : 0;
}

int vkssim_network_get_ip_config(int device, void* record) {
    if (!record || device < 0 || device >= vkssim::DeviceCount()) return 0;
    const auto r = vkssim::GetNetworkIpConfig(device);
    std::memcpy(record, r.data(), r.size());
    return 1;
}

int vkssim_network_set_interface_addresses(int device, uint32_t address0, uint32_t address1) {
    return vkssim::SetNetworkInterfaceAddresses(device, address0, address1) ? 1 : 0;
}

int vkssim_network_set_mac_addresses(int device, const void* addresses) {
    if (!addresses) return 0;
    std::array<uint8_t, 12> r;
    std::memcpy(r.data(), addresses, r.size());
    return vkssim::SetNetworkMacAddresses(device, r) ? 1 : 0;
}

int vkssim_network_set_file_size(int device, uint32_t size) { return vkssim::SetNetworkFileSize(device, size) ? 1 : 0; }

int vkssim_network_set_clients(int device, int32_t clients) {
    return vkssim::SetNetworkClients(device, clients) ? 1 : 0;
}

int vkssim_network_set_info_size_word(int device, uint32_t sizeWord) {
    return vkssim::SetNetworkInfoSizeWord(device, sizeWord) ? 1 : 0;
}

int vkssim_network_set_destination(int device, const char* destination, uint32_t reach, uint32_t hops) {
    if (!destination || reach > VKSSIM_NETWORK_SILENT) return 0;
    return vkssim::SetNetworkDestination(device, destination, static_cast<vkssim::NetworkReach>(reach), hops) ? 1 : 0;
}

int vkssim_network_clear_destinations(int device) { return vkssim::ClearNetworkDestinations(device) ? 1 : 0; }

}  // extern "C"
