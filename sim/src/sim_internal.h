// The simulator's machine: devices, open files, open objects, held requests,
// faults and the request log, all behind one lock. Command families live in
// their own files (family_*.cpp) and add their handlers to the machine's
// table by command code.
#pragma once

#include "vks_platform.h"
#include "vks_win32/driver.h"
#include "vksacc.h"
#include "vkssim/sim.h"

#include <array>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <span>
#include <thread>
#include <unordered_map>
#include <vector>

namespace vkssim::detail {

struct Device;
struct File;

// A request the device keeps until something happens (an event, a
// notification, the file's close).
struct HeldIrp {
    VKS_IRP* irp = nullptr;
    File* file = nullptr;
    uint32_t failError = 0;           // complete with this Windows error instead
    uint32_t shortBytes = UINT32_MAX;  // return at most this many bytes
};

struct PendingEvent {
    uint32_t code = 0;
    uint32_t value = 0;
    std::vector<uint8_t> payload;
};

struct SimObject {
    Object info;
    File* owner = nullptr;  // the file the open command came on
    std::deque<HeldIrp> eventIrps;
    std::deque<PendingEvent> events;
    std::vector<uint8_t> params;  // current parameter block (full size)
};

struct File {
    uint64_t id = 0;
    std::shared_ptr<Device> device;
    bool overlapped = false;
    bool notifyRegistered = false;
    std::deque<HeldIrp> notifyIrps;
    std::deque<PendingEvent> notifications;
};

struct Device {
    int index = 0;
    DeviceConfig config;
    void* registration = nullptr;
    bool present = true;
    std::array<std::vector<uint8_t>, VKSSIM_TYPE_COUNT> info;  // VKSINFOW per kind
    std::array<uint32_t, VKSSIM_TYPE_COUNT> blockSize{};       // 0: full size
    std::map<uint32_t, SimObject> objects;                     // by driver handle
    uint32_t nextHandle = 0x1001;
    std::vector<File*> files;
    // Notifications raised once, to the files registered for them, by the
    // first information request made while one is registered: an
    // application that lists its devices after registering its system-event
    // function sees them (a configured machine's way of showing system
    // events without a test).
    std::vector<uint32_t> notifyOnInfo;
    bool notifyOnInfoRaised = false;
};

// A request to hand back to the platform once the machine lock is released.
struct Completion {
    VKS_IRP* irp;
    DWORD error;
    DWORD bytes;
};

// One request being answered.
struct Command {
    Device& device;
    File& file;
    VKS_IRP* irp;
    uint32_t code;
    std::span<const uint8_t> in;  // the request's bytes (a copy: the reply is written over the original)
    uint8_t* out;
    uint32_t outLength;
    std::vector<Completion>& completions;
    // Reply header words; the dispatcher writes them after the handler ran.
    uint32_t status = 0;
    uint32_t value = 0;
    uint32_t replyHandle = 0;
    // The handler kept the request (HoldIrp); the dispatcher leaves it alone.
    bool held = false;
    // Faults that a held request carries until it completes.
    uint32_t failError = 0;
    uint32_t shortBytes = UINT32_MAX;

    uint32_t InU32(size_t offset) const;
    uint64_t InU64(size_t offset) const;
    uint32_t Type() const { return InU32(VKSSIM_REQ_TYPE); }
    uint32_t Channel() const { return InU32(VKSSIM_REQ_CHANNEL); }
    uint32_t Handle() const { return InU32(VKSSIM_REQ_HANDLE); }
    void OutU32(size_t offset, uint32_t v);
    void OutU64(size_t offset, uint64_t v);
    void OutBytes(size_t offset, const void* data, size_t size);
    HeldIrp Hold();  // marks the request held and returns its record
};

using Handler = void (*)(Command&);

// A logged request. Requests are mostly their zeroed template, so only the
// bytes up to the last non-zero one are kept (the rest read back as zeros):
// logging then touches a few cache lines per request instead of the whole
// request, which keeps the log cheap when nobody reads it.
struct LoggedRequest {
    Request request;         // `input` holds the bytes up to the last non-zero one
    size_t inputLength = 0;  // the length as sent
    Request Expanded() const {
        Request r = request;
        r.input.resize(inputLength);
        return r;
    }
};

// The length of a request without its trailing zero bytes.
inline size_t UsedLength(const uint8_t* bytes, size_t length) {
    while (length >= 32) {
        uint64_t a, b, c, d;
        std::memcpy(&a, bytes + length - 32, 8);
        std::memcpy(&b, bytes + length - 24, 8);
        std::memcpy(&c, bytes + length - 16, 8);
        std::memcpy(&d, bytes + length - 8, 8);
        if ((a | b | c | d) != 0) break;
        length -= 32;
    }
    while (length > 0 && bytes[length - 1] == 0) --length;
    return length;
}

// The newest requests, oldest first, in a ring. Once the ring has filled,
// the oldest entry is reused in place (its input buffer keeps its capacity),
// so that logging a request allocates and frees nothing.
class RequestLog {
public:
    // The entry for a new request; the oldest one goes when `limit` are kept.
    LoggedRequest& Append(size_t limit) {
        if (count_ < ring_.size()) return ring_[(head_ + count_++) % ring_.size()];
        if (head_ == 0 && count_ < limit) {
            ++count_;
            return ring_.emplace_back();
        }
        LoggedRequest& oldest = ring_[head_];
        head_ = (head_ + 1) % ring_.size();
        return oldest;
    }
    // Keeps the newest `limit` entries.
    void Trim(size_t limit) {
        std::vector<LoggedRequest> kept;
        const size_t n = count_ < limit ? count_ : limit;
        kept.reserve(n);
        for (size_t i = count_ - n; i < count_; ++i) kept.push_back(std::move(At(i)));
        ring_ = std::move(kept);
        head_ = 0;
        count_ = ring_.size();
    }
    void clear() noexcept {
        head_ = 0;  // the entries stay, to be reused
        count_ = 0;
    }
    size_t size() const noexcept { return count_; }
    LoggedRequest& At(size_t i) noexcept { return ring_[(head_ + i) % ring_.size()]; }
    const LoggedRequest& At(size_t i) const noexcept { return ring_[(head_ + i) % ring_.size()]; }

private:
    std::vector<LoggedRequest> ring_;
    size_t head_ = 0;
    size_t count_ = 0;
};

class Machine {
public:
    Machine();
    ~Machine();

    std::mutex mu;
    std::condition_variable requestArrived;
    std::condition_variable heldChanged;

    std::vector<std::shared_ptr<Device>> devices;
    std::unordered_map<uint32_t, Handler> handlers;
    uint64_t nextFileId = 1;
    bool configLoadedFromEnvironment = false;

    struct Fault {
        uint32_t value = 0;
        int count = 0;  // -1 always
    };
    std::unordered_map<uint32_t, Fault> statusFaults, shortFaults, win32Faults, completionFaults;
    std::unordered_map<int, uint32_t> createFaults;
    bool asyncCompletion = false;

    // The log keeps the newest requests only, so that a long session does
    // not grow without bound.
    RequestLog log;
    size_t logLimit = 4096;
    bool logRequests = true;  // off: requests are answered without being recorded
    uint64_t nextSequence = 0;
    // Copies the request being answered for its handler (under `mu`): the
    // handler writes its reply over the request's own buffer.
    std::span<const uint8_t> StageInput(const uint8_t* bytes, size_t length, size_t used);
    // Completion lists kept for reuse, so that a warm synchronous command
    // allocates nothing. Not thread_local: this library is loaded at run
    // time, and its threads' dynamic TLS would be torn down outside it.
    std::mutex spareMu;
    std::vector<std::vector<Completion>> spareCompletions;
    std::vector<Completion> TakeCompletionList();
    void GiveCompletionList(std::vector<Completion>&& list);

    Device* DeviceAt(int index);  // null when out of range

    // Run under `mu` when an object ends (closed, or with the file that owns
    // it): a family that holds requests of the object completes them there,
    // as a driver's close does, not later from a thread of its own.
    std::vector<void (*)(Device& device, uint32_t handle, std::vector<Completion>& completions)> objectEnded;

    // Hands completions to the simulator's completion thread.
    void Defer(std::vector<Completion> completions);

private:
    void CompletionThread();
    std::thread completer_;
    std::condition_variable deferredChanged_;
    std::deque<Completion> deferred_;
    bool stopping_ = false;
    // StageInput's copy; every byte from `inputDirty_` on is zero, so that a
    // request is staged by copying only its used bytes.
    std::vector<uint8_t> input_;
    size_t inputDirty_ = 0;
};

Machine& M();
// Whether the machine is torn down when the process exits (exit_teardown.cpp).
bool TearDownMachineAtExit();

// Takes one use of a fault; true (and the fault's value) when it applies.
bool TakeFault(std::unordered_map<uint32_t, Machine::Fault>& faults, uint32_t code, uint32_t* value);

// Writes a complete reply into a held request's output and queues its
// completion: header (size, handle, value, status, format word) and payload
// from `payloadOffset`.
void CompleteHeld(const HeldIrp& held, uint32_t handle, uint32_t value, uint32_t status, size_t payloadOffset,
                  const void* payload, size_t payloadSize, std::vector<Completion>& completions);
// Completes a held request with a Windows error and no data.
void AbortHeld(const HeldIrp& held, DWORD error, std::vector<Completion>& completions);
void RunCompletions(std::vector<Completion>& completions);

// Event delivery shared by the object family and the control surface.
void DeliverEvent(SimObject& object, PendingEvent event, std::vector<Completion>& completions);
// Ends an object: its held event requests complete with VKSERROR_NO_COMPLETION.
void EndObject(Device& device, uint32_t handle, std::vector<Completion>& completions);
// A fresh parameter block of a kind for a selector (current values for 0).
std::vector<uint8_t> ParameterBlock(uint32_t type, uint32_t selector);
uint32_t FullBlockSize(uint32_t type);
// The VKSINFOW a device reports for a kind unless replaced.
std::vector<uint8_t> DefaultDeviceInfo(const Device& device, uint32_t type);

// Each command family lives in its own family_*.cpp and registers its
// handlers with VKSSIM_FAMILY(function), run when the machine is made, in the
// order of the source file names (whatever order the toolchain runs static
// constructors in: a family may wrap a handler of one named before it).
using FamilyRegistrar = void (*)(Machine& m);
struct FamilyEntry {
    const char* source;
    FamilyRegistrar registrar;
};
std::vector<FamilyEntry>& FamilyRegistrars();
struct FamilyRegistration {
    FamilyRegistration(const char* source, FamilyRegistrar registrar) {
        FamilyRegistrars().push_back({source, registrar});
    }
};
#define VKSSIM_FAMILY(function) static const FamilyRegistration vkssim_family_##function(__FILE__, function)

// Device registration with the platform (machine.cpp).
int AddDeviceLocked(Machine& m, const DeviceConfig& config);

// Settings of a configured device that belong to later families rather than
// to DeviceConfig: applied once the device is in place.
struct DeviceExtras {
    int streamIntervalMs = -1;              // stream_interval_ms (-1: the family's default)
    uint32_t discovered = 0;                // discovered: things each discovery start finds
    std::vector<uint32_t> notifyOnInfo;     // notify_on_info: codes raised once, on an information request
};

// Configuration text (config.cpp): parses and returns the devices and, when
// asked for, their extra settings (one entry per device).
bool ParseConfig(const std::string& text, std::vector<DeviceConfig>* devices, std::string* error,
                 std::vector<DeviceExtras>* extras = nullptr);

inline void PutU32(uint8_t* p, uint32_t v) { std::memcpy(p, &v, 4); }
inline void PutU16(uint8_t* p, uint16_t v) { std::memcpy(p, &v, 2); }
inline void PutU64(uint8_t* p, uint64_t v) { std::memcpy(p, &v, 8); }
inline uint32_t GetU32(const uint8_t* p) {
    uint32_t v;
    std::memcpy(&v, p, 4);
    return v;
}

}  // namespace vkssim::detail
