// Discovery: start and stop of a discovery object's search, the fetch of what
// it found (written through the addresses of the caller's records while the
// command runs), and ONVIF device events sent to notification windows.
#include "sim_internal.h"

#include "vks_win32/window_ext.h"
#include "vkssim/sim_c.h"

#include <algorithm>

namespace vkssim::detail {

namespace {

constexpr uint32_t kIoctlDiscoveryStart = 0x22C4A8;
constexpr uint32_t kIoctlDiscoveryStop = 0x22C4AC;
constexpr uint32_t kIoctlDiscoveryGetData = 0x22C4B0;

// Request fields.
constexpr size_t kStartSize = 24;    // u32
constexpr size_t kStartParams = 32;  // u64
constexpr size_t kFetchParms = 24;   // u64 address of the caller's DiscoParms
constexpr size_t kFetchSize = 32;    // u32

// Event payload fields (reply offsets 168 and 176).
constexpr size_t kEventInterface = 168 - VKSSIM_PAYLOAD;
constexpr size_t kEventThings = 176 - VKSSIM_PAYLOAD;
constexpr size_t kEventPayloadBytes = kEventThings + 8;

const GUID kOnvifEventGuid = {0x5C0E9F41, 0x7B2D, 0x4A66, {0x9E, 0x13, 0xD4, 0xA8, 0xB2, 0xC7, 0xE5, 0x90}};

// ONVIF record fields after the broadcast header.
constexpr size_t kOnvifXAddrs = 0, kOnvifXAddrsBytes = 256;
constexpr size_t kOnvifManufacturer = 256, kOnvifModel = 384, kOnvifFirmware = 512, kOnvifSerial = 640,
                 kOnvifHardwareId = 768, kOnvifTextBytes = 128;
constexpr size_t kOnvifProfileCount = 896, kOnvifProfiles = 900;
constexpr size_t kOnvifProfileName = 128, kOnvifProfileValue = 256;

// Per device, kept with a weak reference so that a device made after a reset
// at the same address starts afresh.
struct DeviceDiscovery {
    std::weak_ptr<Device> owner;
    DiscoveryResults results;
    std::map<uint32_t, DiscoverySession> sessions;  // by driver handle
};
std::map<const Device*, DeviceDiscovery> g_discovery;  // guarded by M().mu

DeviceDiscovery& StateOf(Device& device) {
    DeviceDiscovery& state = g_discovery[&device];
    std::shared_ptr<Device> current = M().devices.at(static_cast<size_t>(device.index));
    if (state.owner.lock() != current) {
        state = DeviceDiscovery{};
        state.owner = current;
    }
    return state;
}

SimObject* FindDiscoveryObject(Device& device, uint32_t handle) {
    auto it = device.objects.find(handle);
    if (it == device.objects.end() || it->second.info.type != VKSSIM_TYPE_DISCOVERY) return nullptr;
    return &it->second;
}

PendingEvent DiscoveredEvent(uint32_t interfaceNumber, uint64_t things) {
    PendingEvent event{VKSERROR_DISCOVERED_DEVICES, 0, std::vector<uint8_t>(kEventPayloadBytes, 0)};
    PutU32(&event.payload[kEventInterface], interfaceNumber);
    PutU64(&event.payload[kEventThings], things);
    return event;
}

void Start(Command& c) {
    SimObject* o = FindDiscoveryObject(c.device, c.Handle());
    if (!o) {
        c.status = VKSERROR_INVALID_HANDLE;
        return;
    }
    DeviceDiscovery& state = StateOf(c.device);
    DiscoverySession& session = state.sessions[c.Handle()];
    session.started = true;
    session.startSize = c.InU32(kStartSize);
    session.startParams = c.InU64(kStartParams);
    ++session.starts;
    if (!state.results.things.empty())
        DeliverEvent(*o, DiscoveredEvent(state.results.interfaceNumber, state.results.things.size()), c.completions);
}

void Stop(Command& c) {
    if (!FindDiscoveryObject(c.device, c.Handle())) {
        c.status = VKSERROR_INVALID_HANDLE;
        return;
    }
    DiscoverySession& session = StateOf(c.device).sessions[c.Handle()];
    session.started = false;
    ++session.stops;
}

std::vector<uint8_t> Snapshot(const void* record, size_t size) {
    const auto* bytes = static_cast<const uint8_t*>(record);
    return std::vector<uint8_t>(bytes, bytes + size);
}

// The records travel by address into the caller's memory, which the device
// reads and writes while the command runs, as a driver does with the buffers
// of a synchronous request.
void Fetch(Command& c) {
    if (!FindDiscoveryObject(c.device, c.Handle())) {
        c.status = VKSERROR_INVALID_HANDLE;
        return;
    }
    DeviceDiscovery& state = StateOf(c.device);
    DiscoverySession& session = state.sessions[c.Handle()];
    ++session.fetches;
    session.parms.clear();
    session.data.clear();
    session.entityList.clear();
    session.thingsWritten = 0;

    auto* parms = reinterpret_cast<const DiscoParms*>(static_cast<uintptr_t>(c.InU64(kFetchParms)));
    if (!parms || c.InU32(kFetchSize) < sizeof(DiscoParms) || parms->Size < sizeof(DiscoParms)) {
        c.status = VKSERROR_INVALID_ARGUMENT;
        return;
    }
    session.parms = Snapshot(parms, sizeof(DiscoParms));
    const DiscoData* data = parms->pDiscoData;
    if (!data || parms->DiscoDataSize < sizeof(DiscoData) || data->Size < sizeof(DiscoData)) {
        c.status = VKSERROR_INVALID_ARGUMENT;
        return;
    }
    session.data = Snapshot(data, sizeof(DiscoData));
    DiscoEntityList* list = data->pEntityList;
    if (!list || data->EntityListSize < sizeof(DiscoEntityList)) {
        c.status = VKSERROR_INVALID_ARGUMENT;
        return;
    }
    session.entityList = Snapshot(list, sizeof(DiscoEntityList));
    if (!list->pEntity && list->EntitySize != 0) {
        c.status = VKSERROR_INVALID_ARGUMENT;
        return;
    }
    const size_t slots = list->EntitySize / VKS_DISCO_ENTITY_SIZE;
    const size_t count = std::min(slots, state.results.things.size());
    auto* entities = static_cast<uint8_t*>(list->pEntity);
    for (size_t i = 0; i < count; ++i) {
        const std::vector<uint8_t>& thing = state.results.things[i];
        std::memcpy(entities + i * VKS_DISCO_ENTITY_SIZE, thing.data(),
                    std::min<size_t>(thing.size(), VKS_DISCO_ENTITY_SIZE));
    }
    session.thingsWritten = static_cast<uint32_t>(count);
    c.value = static_cast<uint32_t>(count);
}

void PutText(std::vector<uint8_t>& record, size_t offset, size_t field, const std::string& text) {
    std::memcpy(&record[offset], text.data(), std::min(field, text.size()));
}

}  // namespace

static void RegisterDiscoveryFamily(Machine& m) {
    m.handlers[kIoctlDiscoveryStart] = Start;
    m.handlers[kIoctlDiscoveryStop] = Stop;
    m.handlers[kIoctlDiscoveryGetData] = Fetch;
}
VKSSIM_FAMILY(RegisterDiscoveryFamily);

}  // namespace vkssim::detail

// --- Control surface ---------------------------------------------------------------------
namespace vkssim {

using namespace detail;

bool SetDiscoveryResults(int device, const DiscoveryResults& results) {
    Machine& m = M();
    std::lock_guard lock(m.mu);
    Device* d = m.DeviceAt(device);
    if (!d) return false;
    StateOf(*d).results = results;
    return true;
}

bool ReportDiscoveredDevices(int device, uint32_t handle, uint32_t interfaceNumber, uint64_t things) {
    Machine& m = M();
    std::vector<Completion> completions;
    {
        std::lock_guard lock(m.mu);
        Device* d = m.DeviceAt(device);
        if (!d) return false;
        SimObject* o = FindDiscoveryObject(*d, handle);
        if (!o) return false;
        DeliverEvent(*o, DiscoveredEvent(interfaceNumber, things), completions);
        m.heldChanged.notify_all();
    }
    RunCompletions(completions);
    return true;
}

std::optional<DiscoverySession> GetDiscoverySession(int device, uint32_t handle) {
    Machine& m = M();
    std::lock_guard lock(m.mu);
    Device* d = m.DeviceAt(device);
    if (!d) return std::nullopt;
    DeviceDiscovery& state = StateOf(*d);
    auto it = state.sessions.find(handle);
    if (it == state.sessions.end()) return std::nullopt;
    return it->second;
}

std::vector<uint8_t> OnvifDeviceRecord(const OnvifDevice& device) {
    std::vector<uint8_t> record(kOnvifProfiles + device.profiles.size() * (kOnvifProfileName + kOnvifProfileValue), 0);
    PutText(record, kOnvifXAddrs, kOnvifXAddrsBytes, device.xaddrs);
    PutText(record, kOnvifManufacturer, kOnvifTextBytes, device.manufacturer);
    PutText(record, kOnvifModel, kOnvifTextBytes, device.model);
    PutText(record, kOnvifFirmware, kOnvifTextBytes, device.firmwareVersion);
    PutText(record, kOnvifSerial, kOnvifTextBytes, device.serialNumber);
    PutText(record, kOnvifHardwareId, kOnvifTextBytes, device.hardwareId);
    const uint32_t count = device.reportedProfiles >= 0 ? static_cast<uint32_t>(device.reportedProfiles)
                                                         : static_cast<uint32_t>(device.profiles.size());
    PutU32(&record[kOnvifProfileCount], count);
    size_t at = kOnvifProfiles;
    for (const auto& [name, value] : device.profiles) {
        PutText(record, at, kOnvifProfileName, name);
        PutText(record, at + kOnvifProfileName, kOnvifProfileValue, value);
        at += kOnvifProfileName + kOnvifProfileValue;
    }
    return record;
}

bool RaiseOnvifDeviceEvent(int device, const std::vector<uint8_t>& data) {
    const void* registration = nullptr;
    {
        Machine& m = M();
        std::lock_guard lock(m.mu);
        Device* d = m.DeviceAt(device);
        if (!d || !d->present) return false;
        registration = d->registration;
    }
    // Delivery never waits for the window's thread, and is made outside the
    // machine lock all the same: the window's thread may be sending commands.
    VksDeliverCustomDeviceEventToDevice(registration, &kOnvifEventGuid, data.data(), static_cast<DWORD>(data.size()));
    return true;
}

}  // namespace vkssim

extern "C" {

int vkssim_set_discovery_results(int device, uint32_t interfaceNumber, const void* things, size_t thingSize,
                                 size_t count) {
    if (count != 0 && (!things || thingSize == 0)) return 0;
    vkssim::DiscoveryResults results;
    results.interfaceNumber = interfaceNumber;
    const auto* bytes = static_cast<const uint8_t*>(things);
    for (size_t i = 0; i < count; ++i)
        results.things.emplace_back(bytes + i * thingSize, bytes + (i + 1) * thingSize);
    return vkssim::SetDiscoveryResults(device, results) ? 1 : 0;
}

int vkssim_report_discovered_devices(int device, uint32_t handle, uint32_t interfaceNumber, uint64_t things) {
    return vkssim::ReportDiscoveredDevices(device, handle, interfaceNumber, things) ? 1 : 0;
}

int vkssim_raise_onvif_device_event(int device, const void* data, size_t size) {
    if (size != 0 && !data) return 0;
    const auto* bytes = static_cast<const uint8_t*>(data);
    return vkssim::RaiseOnvifDeviceEvent(device, std::vector<uint8_t>(bytes, bytes + size)) ? 1 : 0;
}

}  // extern "C"
