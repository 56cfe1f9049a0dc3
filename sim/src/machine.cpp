// The simulated machine: device registration, the driver's dispatch routines
// (create, device control, close), fault injection and the request log.
#include "sim_internal.h"

#include <algorithm>
#include <cstdio>

namespace vkssim::detail {

std::vector<FamilyEntry>& FamilyRegistrars() {
    static std::vector<FamilyEntry> registrars;
    return registrars;
}


namespace {

const GUID kInterfaceClass = VKSSIM_INTERFACE_CLASS_INIT;

DWORD DispatchCreate(void* deviceContext, const char16_t* rest, BOOL overlapped, void** fileContext);
void DispatchDeviceControl(void* fileContext, VKS_IRP* irp);
void DispatchClose(void* fileContext);

const VKS_DRIVER_DISPATCH kDispatch = {DispatchCreate, DispatchDeviceControl, DispatchClose};

bool EqualsIgnoreCase(const char16_t* a, const char16_t* b) {
    for (;; ++a, ++b) {
        char16_t x = *a, y = *b;
        if (x >= u'a' && x <= u'z') x = static_cast<char16_t>(x - 32);
        if (y >= u'a' && y <= u'z') y = static_cast<char16_t>(y - 32);
        if (x != y) return false;
        if (x == 0) return true;
    }
}

std::shared_ptr<Device> FindDevice(Machine& m, void* context) {
    for (auto& d : m.devices)
        if (d.get() == context) return d;
    return nullptr;
}

DWORD DispatchCreate(void* deviceContext, const char16_t* rest, BOOL overlapped, void** fileContext) {
    Machine& m = M();
    std::lock_guard lock(m.mu);
    std::shared_ptr<Device> device = FindDevice(m, deviceContext);
    if (!device || !device->present) return ERROR_FILE_NOT_FOUND;
    if (auto it = m.createFaults.find(device->index); it != m.createFaults.end() && it->second != 0)
        return it->second;
    // The device exposes one file: its command channel.
    if (rest[0] != 0 && !EqualsIgnoreCase(rest, VKSSIM_FILE_SUFFIX)) return ERROR_FILE_NOT_FOUND;
    auto* file = new File;
    file->id = m.nextFileId++;
    file->device = device;
    file->overlapped = overlapped != FALSE;
    device->files.push_back(file);
    *fileContext = file;
    return ERROR_SUCCESS;
}

void DispatchDeviceControl(void* fileContext, VKS_IRP* irp) {
    Machine& m = M();
    auto* file = static_cast<File*>(fileContext);
    const uint32_t code = VksIrpControlCode(irp);
    DWORD inLength = 0, outLength = 0;
    const void* inData = VksIrpInput(irp, &inLength);
    std::vector<Completion> completions = m.TakeCompletionList();
    {
        std::unique_lock lock(m.mu);
        Device& device = *file->device;
        const auto* inBytes = static_cast<const uint8_t*>(inData);
        uint8_t* out = static_cast<uint8_t*>(VksIrpOutput(irp, &outLength));
        const size_t used = UsedLength(inBytes, inLength);
        const uint64_t sequence = m.nextSequence++;
        if (m.logRequests) {
            LoggedRequest& entry = m.log.Append(m.logLimit);
            entry.request.sequence = sequence;
            entry.request.device = device.index;
            entry.request.file = file->id;
            entry.request.code = code;
            entry.request.overlappedFile = file->overlapped;
            entry.request.outputLength = outLength;
            entry.request.input.assign(inBytes, inBytes + used);
            entry.inputLength = inLength;
            m.requestArrived.notify_all();
        }
        const std::span<const uint8_t> in = m.StageInput(inBytes, inLength, used);

        uint32_t faultValue = 0;
        if (!device.present) {
            completions.push_back({irp, ERROR_DEVICE_NOT_CONNECTED, 0});
        } else if (TakeFault(m.win32Faults, code, &faultValue)) {
            // Error 0 fails the request without an error number.
            completions.push_back({irp, faultValue == 0 ? VKS_IRP_FAILED_WITHOUT_ERROR : faultValue, 0});
        } else if (inLength < VKSSIM_HEADER_SIZE) {
            completions.push_back({irp, ERROR_INVALID_PARAMETER, 0});
        } else if (outLength < VKSSIM_HEADER_SIZE) {
            completions.push_back({irp, ERROR_INSUFFICIENT_BUFFER, 0});
        } else {
            Command cmd{device, *file, irp, code, in, out, outLength, completions};
            std::memset(out, 0, outLength);
            uint32_t status = 0;
            auto handler = m.handlers.find(code);
            if (TakeFault(m.statusFaults, code, &status)) {
                cmd.status = status;
                cmd.replyHandle = cmd.Handle();
            } else if (handler == m.handlers.end()) {
                // An unknown code is refused as a driver refuses one it does not implement.
                completions.push_back({irp, ERROR_INVALID_FUNCTION, 0});
                goto done;
            } else {
                uint32_t v = 0;
                if (TakeFault(m.completionFaults, code, &v)) cmd.failError = v;
                if (TakeFault(m.shortFaults, code, &v)) cmd.shortBytes = v;
                cmd.replyHandle = cmd.Handle();
                handler->second(cmd);
                if (cmd.held) {
                    m.heldChanged.notify_all();
                    goto done;
                }
            }
            PutU32(out + VKSSIM_REPLY_SIZE_WORD, outLength);
            PutU32(out + VKSSIM_REPLY_HANDLE, cmd.replyHandle);
            PutU32(out + VKSSIM_REPLY_VALUE, cmd.value);
            PutU32(out + VKSSIM_REPLY_STATUS, cmd.status);
            PutU32(out + VKSSIM_REPLY_FORMAT, VKSSIM_FORMAT_WORD);
            DWORD bytes = std::min<DWORD>(outLength, cmd.shortBytes);
            if (cmd.failError != 0) {
                m.Defer({{irp, cmd.failError, 0}});
            } else if (m.asyncCompletion) {
                m.Defer({{irp, ERROR_SUCCESS, bytes}});
            } else {
                completions.push_back({irp, ERROR_SUCCESS, bytes});
            }
        }
    done:;
    }
    RunCompletions(completions);
    m.GiveCompletionList(std::move(completions));
}

void DispatchClose(void* fileContext) {
    Machine& m = M();
    auto* file = static_cast<File*>(fileContext);
    std::vector<Completion> completions;
    {
        std::lock_guard lock(m.mu);
        Device& device = *file->device;
        // Objects opened through this file end with it, as their owner is gone.
        std::vector<uint32_t> owned;
        for (auto& [handle, object] : device.objects)
            if (object.owner == file) owned.push_back(handle);
        for (uint32_t handle : owned) EndObject(device, handle, completions);
        // Whatever else is still held for this file is cancelled.
        for (auto& [handle, object] : device.objects) {
            for (auto it = object.eventIrps.begin(); it != object.eventIrps.end();) {
                if (it->file == file) {
                    AbortHeld(*it, ERROR_OPERATION_ABORTED, completions);
                    it = object.eventIrps.erase(it);
                } else {
                    ++it;
                }
            }
        }
        for (auto& held : file->notifyIrps) AbortHeld(held, ERROR_OPERATION_ABORTED, completions);
        file->notifyIrps.clear();
        device.files.erase(std::remove(device.files.begin(), device.files.end(), file), device.files.end());
        m.heldChanged.notify_all();
    }
    RunCompletions(completions);
    delete file;
}

std::u16string Ascii(const std::string& s) { return std::u16string(s.begin(), s.end()); }

}  // namespace

uint32_t Command::InU32(size_t offset) const {
    if (offset + 4 > in.size()) return 0;
    return GetU32(in.data() + offset);
}
uint64_t Command::InU64(size_t offset) const {
    if (offset + 8 > in.size()) return 0;
    uint64_t v;
    std::memcpy(&v, in.data() + offset, 8);
    return v;
}
void Command::OutU32(size_t offset, uint32_t v) {
    if (offset + 4 <= outLength) PutU32(out + offset, v);
}
void Command::OutU64(size_t offset, uint64_t v) {
    if (offset + 8 <= outLength) PutU64(out + offset, v);
}
void Command::OutBytes(size_t offset, const void* data, size_t size) {
    if (size == 0 || offset >= outLength) return;
    std::memcpy(out + offset, data, std::min<size_t>(size, outLength - offset));
}
HeldIrp Command::Hold() {
    held = true;
    return HeldIrp{irp, &file, failError, shortBytes};
}

Machine::Machine() {
    std::vector<FamilyEntry> families = FamilyRegistrars();
    std::sort(families.begin(), families.end(),
              [](const FamilyEntry& a, const FamilyEntry& b) { return std::strcmp(a.source, b.source) < 0; });
    for (const FamilyEntry& family : families) family.registrar(*this);
}

Machine::~Machine() {
    {
        std::lock_guard lock(mu);
        stopping_ = true;
    }
    deferredChanged_.notify_all();
    if (completer_.joinable()) completer_.join();
}

std::span<const uint8_t> Machine::StageInput(const uint8_t* bytes, size_t length, size_t used) {
    if (input_.size() < length) input_.resize(length);  // grows to the longest request seen, zeroed
    if (inputDirty_ > used) std::memset(input_.data() + used, 0, inputDirty_ - used);
    if (used != 0) std::memcpy(input_.data(), bytes, used);
    inputDirty_ = used;
    return {input_.data(), length};
}

Device* Machine::DeviceAt(int index) {
    if (index < 0 || static_cast<size_t>(index) >= devices.size()) return nullptr;
    return devices[index].get();
}

// Called with the lock held.
void Machine::Defer(std::vector<Completion> completions) {
    for (auto& c : completions) deferred_.push_back(c);
    if (!completer_.joinable()) completer_ = std::thread([this] { CompletionThread(); });
    deferredChanged_.notify_all();
}

void Machine::CompletionThread() {
    std::unique_lock lock(mu);
    for (;;) {
        deferredChanged_.wait(lock, [&] { return stopping_ || !deferred_.empty(); });
        if (stopping_) return;
        std::vector<Completion> batch(deferred_.begin(), deferred_.end());
        deferred_.clear();
        lock.unlock();
        RunCompletions(batch);
        lock.lock();
    }
}

Machine& M() {
    struct Holder {
        Machine* machine = new Machine;
        ~Holder() {
            if (TearDownMachineAtExit()) delete machine;
        }
    };
    static Holder holder;
    return *holder.machine;
}

bool TakeFault(std::unordered_map<uint32_t, Machine::Fault>& faults, uint32_t code, uint32_t* value) {
    auto it = faults.find(code);
    if (it == faults.end() || it->second.count == 0) return false;
    *value = it->second.value;
    if (it->second.count > 0 && --it->second.count == 0) faults.erase(it);
    return true;
}

void CompleteHeld(const HeldIrp& held, uint32_t handle, uint32_t value, uint32_t status, size_t payloadOffset,
                  const void* payload, size_t payloadSize, std::vector<Completion>& completions) {
    if (held.failError != 0) {
        completions.push_back({held.irp, held.failError, 0});
        return;
    }
    DWORD length = 0;
    auto* out = static_cast<uint8_t*>(VksIrpOutput(held.irp, &length));
    std::memset(out, 0, length);
    PutU32(out + VKSSIM_REPLY_SIZE_WORD, length);
    PutU32(out + VKSSIM_REPLY_HANDLE, handle);
    PutU32(out + VKSSIM_REPLY_VALUE, value);
    PutU32(out + VKSSIM_REPLY_STATUS, status);
    PutU32(out + VKSSIM_REPLY_FORMAT, VKSSIM_FORMAT_WORD);
    if (payloadSize != 0 && payloadOffset < length)
        std::memcpy(out + payloadOffset, payload, std::min<size_t>(payloadSize, length - payloadOffset));
    completions.push_back({held.irp, ERROR_SUCCESS, std::min<DWORD>(length, held.shortBytes)});
}

void AbortHeld(const HeldIrp& held, DWORD error, std::vector<Completion>& completions) {
    completions.push_back({held.irp, error, 0});
}

std::vector<Completion> Machine::TakeCompletionList() {
    std::lock_guard lock(spareMu);
    if (spareCompletions.empty()) return {};
    std::vector<Completion> list = std::move(spareCompletions.back());
    spareCompletions.pop_back();
    return list;
}

void Machine::GiveCompletionList(std::vector<Completion>&& list) {
    list.clear();
    std::lock_guard lock(spareMu);
    spareCompletions.push_back(std::move(list));
}

void RunCompletions(std::vector<Completion>& completions) {
    for (auto& c : completions) VksCompleteRequest(c.irp, c.error, c.bytes);
    completions.clear();
}

int AddDeviceLocked(Machine& m, const DeviceConfig& config) {
    auto device = std::make_shared<Device>();
    device->index = static_cast<int>(m.devices.size());
    device->config = config;
    DeviceConfig& c = device->config;
    char text[160];
    if (c.name.empty()) {
        std::snprintf(text, sizeof text, "VKS Media Device %d", device->index);
        c.name = Ascii(text);
    }
    if (c.location.empty()) {
        std::snprintf(text, sizeof text, "PCI bus %d, device 0, function 0", device->index + 3);
        c.location = Ascii(text);
    }
    if (c.interfacePath.empty()) {
        std::snprintf(text, sizeof text,
                      "\\\\?\\PCI#VEN_1D2F&DEV_7420&SUBSYS_00011D2F&REV_01#4&2f8a6c1&0&%02XE0#"
                      "{6f1c2b84-9d3e-4a57-b0c6-2e8d7a5f9134}",
                      device->index);
        c.interfacePath = Ascii(text);
    }
    if (c.serial == 0) c.serial = 0x5A000001u + static_cast<uint32_t>(device->index);
    if (c.streamsPerPort == 0) c.streamsPerPort = 16;
    for (uint32_t t = 0; t < VKSSIM_TYPE_COUNT; ++t) device->info[t] = DefaultDeviceInfo(*device, t);
    device->registration = VksRegisterDeviceInterface(&kInterfaceClass, c.interfacePath.c_str(), c.location.c_str(),
                                                      &kDispatch, device.get());
    if (!device->registration) return -1;
    m.devices.push_back(device);
    return device->index;
}

namespace {

void RemoveDeviceLocked(Machine& m, Device& device, std::vector<Completion>& completions) {
    if (!device.present) return;
    device.present = false;
    VksUnregisterDeviceInterface(device.registration);
    device.registration = nullptr;
    // A device that goes away cancels everything it held.
    for (auto& [handle, object] : device.objects) {
        for (auto& held : object.eventIrps) AbortHeld(held, ERROR_DEVICE_NOT_CONNECTED, completions);
        object.eventIrps.clear();
    }
    for (File* f : device.files) {
        for (auto& held : f->notifyIrps) AbortHeld(held, ERROR_DEVICE_NOT_CONNECTED, completions);
        f->notifyIrps.clear();
    }
    m.heldChanged.notify_all();
}

}  // namespace
}  // namespace vkssim::detail

// --- Control surface ---------------------------------------------------------------------
namespace vkssim {

using namespace detail;

uint32_t Request::U32(size_t offset) const {
    if (offset + 4 > input.size()) return 0;
    return GetU32(input.data() + offset);
}
uint64_t Request::U64(size_t offset) const {
    if (offset + 8 > input.size()) return 0;
    uint64_t v;
    std::memcpy(&v, input.data() + offset, 8);
    return v;
}

void Reset() {
    Machine& m = M();
    std::vector<Completion> completions;
    {
        std::lock_guard lock(m.mu);
        for (auto& d : m.devices) RemoveDeviceLocked(m, *d, completions);
        m.devices.clear();
        m.statusFaults.clear();
        m.shortFaults.clear();
        m.win32Faults.clear();
        m.completionFaults.clear();
        m.createFaults.clear();
        m.asyncCompletion = false;
        m.log.clear();
        m.configLoadedFromEnvironment = false;  // a fresh machine reads its configuration again
    }
    RunCompletions(completions);
}

bool LoadConfigText(const std::string& text, std::string* error) {
    std::vector<DeviceConfig> configs;
    std::vector<DeviceExtras> extras;
    if (!ParseConfig(text, &configs, error, &extras)) return false;
    std::vector<int> added;
    {
        Machine& m = M();
        std::lock_guard lock(m.mu);
        for (size_t i = 0; i < configs.size(); ++i) {
            const int index = AddDeviceLocked(m, configs[i]);
            if (index < 0) {
                if (error) *error = "the device interface could not be registered";
                return false;
            }
            m.devices[static_cast<size_t>(index)]->notifyOnInfo = extras[i].notifyOnInfo;
            added.push_back(index);
        }
    }
    // The other families keep their settings under the same lock, so they
    // are applied once the devices are in place.
    for (size_t i = 0; i < added.size(); ++i) {
        const DeviceExtras& e = extras[i];
        if (e.streamIntervalMs >= 0) {
            StreamPacing pacing;
            pacing.interval = std::chrono::milliseconds(e.streamIntervalMs);
            SetStreamPacing(added[i], pacing);
        }
        if (e.discovered > 0) {
            DiscoveryResults results;
            for (uint32_t k = 0; k < e.discovered; ++k) {
                char name[64];
                std::snprintf(name, sizeof name, "Simulated camera %d.%u", added[i], k + 1);
                std::vector<uint8_t> thing(VKS_DISCO_ENTITY_SIZE, 0);
                std::memcpy(thing.data(), name, std::strlen(name));
                results.things.push_back(std::move(thing));
            }
            SetDiscoveryResults(added[i], results);
        }
    }
    return true;
}

bool LoadConfigFile(const std::string& path, std::string* error) {
    FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) {
        if (error) *error = "cannot open " + path;
        return false;
    }
    std::string text;
    char buffer[4096];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0) text.append(buffer, n);
    std::fclose(f);
    return LoadConfigText(text, error);
}

int AddDevice(const DeviceConfig& config) {
    Machine& m = M();
    std::lock_guard lock(m.mu);
    return AddDeviceLocked(m, config);
}

bool RemoveDevice(int device) {
    Machine& m = M();
    std::vector<Completion> completions;
    {
        std::lock_guard lock(m.mu);
        Device* d = m.DeviceAt(device);
        if (!d || !d->present) return false;
        RemoveDeviceLocked(m, *d, completions);
    }
    RunCompletions(completions);
    return true;
}

int DeviceCount() {
    Machine& m = M();
    std::lock_guard lock(m.mu);
    return static_cast<int>(m.devices.size());
}

std::u16string InterfacePath(int device) {
    Machine& m = M();
    std::lock_guard lock(m.mu);
    Device* d = m.DeviceAt(device);
    return d ? d->config.interfacePath : std::u16string();
}

std::u16string Location(int device) {
    Machine& m = M();
    std::lock_guard lock(m.mu);
    Device* d = m.DeviceAt(device);
    return d ? d->config.location : std::u16string();
}

bool SetDeviceInfo(int device, uint32_t type, const void* info, size_t size) {
    Machine& m = M();
    std::lock_guard lock(m.mu);
    Device* d = m.DeviceAt(device);
    if (!d || type >= VKSSIM_TYPE_COUNT || (size != 0 && !info)) return false;
    std::vector<uint8_t> record(sizeof(VKSINFOW), 0);
    if (size) std::memcpy(record.data(), info, std::min(size, record.size()));
    d->info[type] = std::move(record);
    return true;
}

bool SetParameterBlockSize(int device, uint32_t type, uint32_t size) {
    Machine& m = M();
    std::lock_guard lock(m.mu);
    Device* d = m.DeviceAt(device);
    if (!d || type >= VKSSIM_TYPE_COUNT || size > FullBlockSize(type)) return false;
    d->blockSize[type] = size;
    return true;
}

namespace {
Object Snapshot(const SimObject& o) {
    Object r = o.info;
    r.pendingEventRequests = o.eventIrps.size();
    r.queuedEvents = o.events.size();
    return r;
}
}  // namespace

std::vector<Object> Objects(int device) {
    Machine& m = M();
    std::lock_guard lock(m.mu);
    std::vector<Object> result;
    if (Device* d = m.DeviceAt(device))
        for (auto& [handle, object] : d->objects) result.push_back(Snapshot(object));
    return result;
}

std::optional<Object> FindObject(int device, uint32_t type, uint32_t channel) {
    Machine& m = M();
    std::lock_guard lock(m.mu);
    if (Device* d = m.DeviceAt(device))
        for (auto& [handle, object] : d->objects)
            if (object.info.type == type && object.info.channel == channel) return Snapshot(object);
    return std::nullopt;
}

std::optional<Object> GetObject(int device, uint32_t handle) {
    Machine& m = M();
    std::lock_guard lock(m.mu);
    if (Device* d = m.DeviceAt(device))
        if (auto it = d->objects.find(handle); it != d->objects.end()) return Snapshot(it->second);
    return std::nullopt;
}

bool RaiseEvent(int device, uint32_t handle, uint32_t code, uint32_t value, const void* payload, size_t size) {
    Machine& m = M();
    std::vector<Completion> completions;
    {
        std::lock_guard lock(m.mu);
        Device* d = m.DeviceAt(device);
        if (!d) return false;
        auto it = d->objects.find(handle);
        if (it == d->objects.end()) return false;
        PendingEvent event{code, value, {}};
        if (size) event.payload.assign(static_cast<const uint8_t*>(payload), static_cast<const uint8_t*>(payload) + size);
        DeliverEvent(it->second, std::move(event), completions);
        m.heldChanged.notify_all();
    }
    RunCompletions(completions);
    return true;
}

int RaiseDeviceNotification(int device, uint32_t code, const void* payload, size_t size) {
    Machine& m = M();
    std::vector<Completion> completions;
    int reached = 0;
    {
        std::lock_guard lock(m.mu);
        Device* d = m.DeviceAt(device);
        if (!d || !d->present) return 0;
        std::vector<uint8_t> data(sizeof(uint32_t) + size);
        PutU32(data.data(), code);
        if (size) std::memcpy(data.data() + 4, payload, size);
        for (File* f : d->files) {
            if (!f->notifyRegistered) continue;
            ++reached;
            if (!f->notifyIrps.empty()) {
                HeldIrp held = f->notifyIrps.front();
                f->notifyIrps.pop_front();
                CompleteHeld(held, 0, 0, VKSERROR_NO_ERROR, VKSSIM_PAYLOAD, data.data(), data.size(), completions);
            } else {
                f->notifications.push_back(PendingEvent{code, 0, std::vector<uint8_t>(data.begin() + 4, data.end())});
            }
        }
        m.heldChanged.notify_all();
    }
    RunCompletions(completions);
    return reached;
}

namespace {
size_t HeldLocked(Machine& m, int device, uint32_t code) {
    Device* d = m.DeviceAt(device);
    if (!d) return 0;
    size_t n = 0;
    if (code == 0 || code == VKSSIM_IOCTL_EVENT_REQUEST)
        for (auto& [handle, object] : d->objects) n += object.eventIrps.size();
    if (code == 0 || code == VKSSIM_IOCTL_DEVICE_SET_NOTIFY)
        for (File* f : d->files) n += f->notifyIrps.size();
    return n;
}
}  // namespace

size_t HeldRequests(int device, uint32_t code) {
    Machine& m = M();
    std::lock_guard lock(m.mu);
    return HeldLocked(m, device, code);
}

bool WaitForHeld(int device, uint32_t code, size_t count, std::chrono::milliseconds timeout) {
    Machine& m = M();
    std::unique_lock lock(m.mu);
    return m.heldChanged.wait_for(lock, timeout, [&] { return HeldLocked(m, device, code) >= count; });
}

namespace {
void SetFault(std::unordered_map<uint32_t, Machine::Fault> Machine::*table, uint32_t code, uint32_t value,
              int count) {
    Machine& m = M();
    std::lock_guard lock(m.mu);
    if (count == 0)
        (m.*table).erase(code);
    else
        (m.*table)[code] = Machine::Fault{value, count};
}
}  // namespace

void FailWithStatus(uint32_t code, uint32_t status, int count) { SetFault(&Machine::statusFaults, code, status, count); }
void ShortReply(uint32_t code, uint32_t bytes, int count) { SetFault(&Machine::shortFaults, code, bytes, count); }
void FailWithWin32Error(uint32_t code, uint32_t error, int count) {
    SetFault(&Machine::win32Faults, code, error, count);
}
void FailCompletion(uint32_t code, uint32_t error, int count) {
    SetFault(&Machine::completionFaults, code, error, count);
}
void FailCreate(int device, uint32_t error) {
    Machine& m = M();
    std::lock_guard lock(m.mu);
    m.createFaults[device] = error;
}
void SetAsyncCompletion(bool on) {
    Machine& m = M();
    std::lock_guard lock(m.mu);
    m.asyncCompletion = on;
}
void ClearFaults() {
    Machine& m = M();
    std::lock_guard lock(m.mu);
    m.statusFaults.clear();
    m.shortFaults.clear();
    m.win32Faults.clear();
    m.completionFaults.clear();
    m.createFaults.clear();
    m.asyncCompletion = false;
}

std::vector<Request> Requests() {
    Machine& m = M();
    std::lock_guard lock(m.mu);
    std::vector<Request> copy;
    copy.reserve(m.log.size());
    for (size_t i = 0; i < m.log.size(); ++i) copy.push_back(m.log.At(i).Expanded());
    return copy;
}

uint64_t RequestMark() {
    Machine& m = M();
    std::lock_guard lock(m.mu);
    return m.nextSequence;
}

void ClearRequests() {
    Machine& m = M();
    std::lock_guard lock(m.mu);
    m.log.clear();
}

void SetRequestLogging(bool on) {
    Machine& m = M();
    std::lock_guard lock(m.mu);
    m.logRequests = on;
}

void SetRequestLogLimit(size_t entries) {
    Machine& m = M();
    std::lock_guard lock(m.mu);
    m.logLimit = entries == 0 ? 1 : entries;
    m.log.Trim(m.logLimit);
}

std::optional<Request> WaitForRequest(uint32_t code, uint64_t since, std::chrono::milliseconds timeout) {
    Machine& m = M();
    std::unique_lock lock(m.mu);
    const LoggedRequest* found = nullptr;
    auto match = [&] {
        for (size_t i = 0; i < m.log.size(); ++i) {
            const LoggedRequest& r = m.log.At(i);
            if (r.request.sequence >= since && (code == 0 || r.request.code == code)) {
                found = &r;
                return true;
            }
        }
        return false;
    };
    if (!m.requestArrived.wait_for(lock, timeout, match)) return std::nullopt;
    return found->Expanded();
}

}  // namespace vkssim

// The module's entry point: the platform calls it when it loads the simulator as
// the driver of the machine. The configuration named by VKS_SIM_CONFIG is read
// once per process.
extern "C" __attribute__((visibility("default"))) BOOL VksDriverEntry(void) {
    using namespace vkssim::detail;
    const char* path = std::getenv("VKS_SIM_CONFIG");
    {
        Machine& m = M();
        std::lock_guard lock(m.mu);
        if (!path || !*path || m.configLoadedFromEnvironment) return TRUE;
        m.configLoadedFromEnvironment = true;
    }
    std::string error;
    if (!vkssim::LoadConfigFile(path, &error)) {
        std::fprintf(stderr, "vkssim: %s: %s\n", path, error.c_str());
        return FALSE;
    }
    return TRUE;
}
