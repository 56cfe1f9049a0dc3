// Encoders: raw input samples, output samples held until the encoder's frame
// clock (or the control surface) fills them, the request for encryption keys,
// and the capture-card interface. The family keeps its own records per
// encoder object, keyed by device and driver handle, and one producer thread
// that runs the frame clocks and hands back what the device can no longer
// fill (object closed, file closed, device gone).
#include "family_clock.h"
#include "sim_internal.h"

#include "vkssim/sim_c.h"

#include <algorithm>
#include <chrono>

namespace vkssim::detail {

namespace {

using Clock = std::chrono::steady_clock;

constexpr uint32_t kIoctlOutputSample = 0x22C41Cu;
constexpr uint32_t kIoctlSupplyRawData = 0x22C490u;
constexpr uint32_t kIoctlCaptureOpen = 0x22C4B8u;
constexpr uint32_t kIoctlCaptureClose = 0x22C4BCu;
constexpr uint32_t kIoctlCapturePause = 0x22C4C0u;
constexpr uint32_t kIoctlCaptureUnpause = 0x22C4C4u;
constexpr uint32_t kIoctlCapturePausePushFrames = 0x22C4DCu;

// Raw input request: format words, total length, u64 data pointer.
constexpr size_t kInFormat1 = 24, kInFormat2 = 28, kInLength = 32, kInData = 40;
// Output sample request: length of entry 0, u64 data pointer, u64 sample address.
constexpr size_t kOutLength = 32, kOutData = 64, kOutUserData = 112;
// Output sample reply, from offset 24: two u64 completion values, the u32
// filled length, then the echoed u64 buffer and sample addresses.
constexpr size_t kRepValue1 = 0, kRepValue2 = 8, kRepFilled = 16, kRepBufferEcho = 24, kRepSampleEcho = 32;
constexpr size_t kRepBytes = 40;
// Capture-card open request: the 56-byte interface record at 24.
constexpr size_t kCaptureRecord = 24, kCaptureRecordBytes = 56;
// Encoder parameter block fields the encoder works from.
constexpr size_t kBlockFrameRate = 16, kBlockBitRate = 32, kBlockKeyInterval = 44, kBlockEncryptionType = 2152;

constexpr uint32_t kStreaming = 2;  // object state in which the frame clock runs

struct HeldSample {
    HeldIrp irp;
    uint64_t fileId = 0;
    uint64_t data = 0;
    uint32_t length = 0;
    uint64_t sample = 0;
};

struct EncoderRecord {
    std::shared_ptr<Device> device;
    uint32_t handle = 0;
    std::deque<HeldSample> samples;
    uint32_t frameRate = kEncoderFrameRateFromBlock;
    EncoderEcho echo = EncoderEcho::Matching;
    uint64_t frames = 0;
    Clock::time_point nextFrame{};
    bool clockRunning = false;
    bool keysAsked = false;  // since the object last entered state 2
    uint32_t keyRequests = 0;
    EncoderInput input;
    CaptureInterface capture;
};

using Key = std::pair<const Device*, uint32_t>;

Clock::time_point SweepEncoders(Clock::time_point now, std::vector<Completion>& completions);

// The producer is woken by the machine's held-request condition, which every
// change to what an encoder holds notifies.
struct Family {
    std::map<Key, EncoderRecord> encoders;
    FamilyClock producer{M().heldChanged, SweepEncoders};
};

// Made after the machine, so that it is destroyed (and its thread stopped)
// before the machine goes.
Family& F() {
    M();
    static Family family;
    return family;
}

// Under the machine lock.
void StartProducer(Family& f) { f.producer.StartLocked(); }

SimObject* FindEncoderObject(Device& device, uint32_t handle) {
    auto it = device.objects.find(handle);
    if (it == device.objects.end() || it->second.info.type != VKSSIM_TYPE_ENCODER) return nullptr;
    return &it->second;
}

// The record of an open encoder object, made on first use.
EncoderRecord* RecordFor(Family& f, const std::shared_ptr<Device>& device, uint32_t handle) {
    if (!FindEncoderObject(*device, handle)) return nullptr;
    auto [it, made] = f.encoders.try_emplace(Key{device.get(), handle});
    if (made) {
        it->second.device = device;
        it->second.handle = handle;
        StartProducer(f);
    }
    return &it->second;
}

// The control surface names devices by index.
EncoderRecord* RecordAt(Machine& m, Family& f, int device, uint32_t handle) {
    if (!m.DeviceAt(device)) return nullptr;
    return RecordFor(f, m.devices[device], handle);
}

uint32_t BlockU32(const SimObject& o, size_t offset) {
    return offset + 4 <= o.params.size() ? GetU32(o.params.data() + offset) : 0;
}
uint16_t BlockU16(const SimObject& o, size_t offset) {
    uint16_t v = 0;
    if (offset + 2 <= o.params.size()) std::memcpy(&v, o.params.data() + offset, 2);
    return v;
}

uint32_t FrameRate(const EncoderRecord& r, const SimObject& o) {
    return r.frameRate == kEncoderFrameRateFromBlock ? BlockU32(o, kBlockFrameRate) : r.frameRate;
}

bool FileOpen(const Device& device, uint64_t id) {
    for (File* f : device.files)
        if (f->id == id) return true;
    return false;
}

// The key request the device sends with VKSERROR_ENC_NOTIFY_ENCR_KEY.
std::vector<uint8_t> KeyRequest(const EncoderRecord& r, const SimObject& o) {
    std::vector<uint8_t> data(kEncryptionKeyRequestSize, 0);
    PutU32(data.data(), kEncryptionKeyRequestSize);
    PutU32(data.data() + 4, BlockU32(o, kBlockEncryptionType));
    PutU32(data.data() + 8, r.keyRequests);
    PutU32(data.data() + 12, o.info.channel);
    for (size_t i = 0; i < 16; ++i)
        data[16 + i] = static_cast<uint8_t>(r.device->config.serial >> (8 * (i % 4))) ^ static_cast<uint8_t>(r.keyRequests + i);
    return data;
}

void AskForKeys(EncoderRecord& r, SimObject& o, std::vector<Completion>& completions) {
    ++r.keyRequests;
    // An ask while not streaming (the control surface's) leaves the one that
    // the next start of streaming makes.
    if (o.info.state == kStreaming) r.keysAsked = true;
    DeliverEvent(o, PendingEvent{VKSERROR_ENC_NOTIFY_ENCR_KEY, 0, KeyRequest(r, o)}, completions);
}

// An encoder with an encryption type asks for keys once each time it starts
// streaming, before it encodes anything.
void AskForKeysIfDue(EncoderRecord& r, SimObject& o, std::vector<Completion>& completions) {
    if (o.info.state != kStreaming) {
        r.keysAsked = false;
        return;
    }
    if (!r.keysAsked && BlockU32(o, kBlockEncryptionType) != 0) AskForKeys(r, o, completions);
}

uint64_t Fnv1a(const uint8_t* data, size_t size) {
    uint64_t h = 0xCBF29CE484222325ull;
    for (size_t i = 0; i < size; ++i) {
        h ^= data[i];
        h *= 0x100000001B3ull;
    }
    return h;
}

void Reply(const HeldSample& s, uint32_t handle, uint32_t status, uint64_t value1, uint64_t value2, uint32_t filled,
           EncoderEcho echo, std::vector<Completion>& completions) {
    uint8_t reply[kRepBytes] = {};
    PutU64(reply + kRepValue1, value1);
    PutU64(reply + kRepValue2, value2);
    // An overlong fill claims 4096 bytes more than the buffer holds.
    PutU32(reply + kRepFilled, echo == EncoderEcho::OverlongFill && status == 0 ? s.length + 4096 : filled);
    // A foreign buffer or sample echo names an address next to the real one.
    PutU64(reply + kRepBufferEcho, echo == EncoderEcho::ForeignBuffer ? s.data + 0x40 : s.data);
    PutU64(reply + kRepSampleEcho, echo == EncoderEcho::NullSample      ? 0
                                   : echo == EncoderEcho::ForeignSample ? s.sample + 0x40
                                                                        : s.sample);
    CompleteHeld(s.irp, handle, 0, status, VKSSIM_PAYLOAD, reply, sizeof reply, completions);
}

// Encodes one frame into the sample's buffer and completes it: an Annex B
// style start code and a frame type byte, then bytes counting from the frame
// number; completion value 1 is the frame's time in 100 ns units, value 2 its
// number.
void ProduceOne(EncoderRecord& r, SimObject& o, std::vector<Completion>& completions) {
    HeldSample s = r.samples.front();
    r.samples.pop_front();
    // A stopped clock still stamps frames at the parameter block's rate.
    uint32_t rate = FrameRate(r, o);
    if (rate == 0) rate = std::max<uint32_t>(BlockU32(o, kBlockFrameRate), 1);
    const uint32_t bitRate = BlockU32(o, kBlockBitRate);
    const uint32_t keyInterval = std::max<uint32_t>(BlockU16(o, kBlockKeyInterval), 1);
    const uint64_t frame = r.frames++;
    const uint32_t frameBytes = std::max<uint32_t>(bitRate / 8 / rate, 16);
    const uint32_t filled = std::min(frameBytes, s.length);
    auto* out = reinterpret_cast<uint8_t*>(static_cast<uintptr_t>(s.data));
    const uint8_t header[5] = {0, 0, 0, 1, static_cast<uint8_t>(frame % keyInterval == 0 ? 0x65 : 0x41)};
    for (uint32_t i = 0; i < filled; ++i)
        out[i] = i < sizeof header ? header[i] : static_cast<uint8_t>(frame + i);
    Reply(s, r.handle, VKSERROR_NO_ERROR, frame * 10000000ull / rate, frame, filled, r.echo, completions);
}

// Hands back every sample of a record that can no longer be filled, and runs
// the frame clock. Returns false when the record has ended.
bool Sweep(EncoderRecord& r, Clock::time_point now, Clock::time_point* wake, std::vector<Completion>& completions) {
    Machine& m = M();
    Device& device = *r.device;
    const bool deviceThere =
        device.present && std::find(m.devices.begin(), m.devices.end(), r.device) != m.devices.end();
    if (!deviceThere) {
        for (auto& s : r.samples) AbortHeld(s.irp, ERROR_DEVICE_NOT_CONNECTED, completions);
        r.samples.clear();
        return false;
    }
    SimObject* o = FindEncoderObject(device, r.handle);
    if (!o) return false;  // closed: its samples came back with the close (EncoderEnded)
    for (auto it = r.samples.begin(); it != r.samples.end();) {
        if (!FileOpen(device, it->fileId)) {
            AbortHeld(it->irp, ERROR_OPERATION_ABORTED, completions);
            it = r.samples.erase(it);
        } else {
            ++it;
        }
    }
    AskForKeysIfDue(r, *o, completions);
    const uint32_t rate = FrameRate(r, *o);
    const bool capturePaused = r.capture.open && (r.capture.paused || r.capture.pushPaused);
    if (o->info.state != kStreaming || rate == 0 || capturePaused) {
        r.clockRunning = false;
        return true;
    }
    const auto period = std::chrono::duration_cast<Clock::duration>(std::chrono::seconds(1)) / rate;
    if (!r.clockRunning) {
        r.clockRunning = true;
        r.nextFrame = now + period;
    }
    if (!r.samples.empty() && r.nextFrame <= now) {
        ProduceOne(r, *o, completions);
        // A clock that fell behind starts again rather than bursting.
        r.nextFrame = r.nextFrame + period > now ? r.nextFrame + period : now + period;
    }
    if (!r.samples.empty()) *wake = std::min(*wake, r.nextFrame);
    return true;
}

Clock::time_point SweepEncoders(Clock::time_point now, std::vector<Completion>& completions) {
    Family& f = F();
    auto wake = Clock::time_point::max();
    for (auto it = f.encoders.begin(); it != f.encoders.end();) {
        if (Sweep(it->second, now, &wake, completions)) {
            ++it;
        } else {
            it = f.encoders.erase(it);
        }
    }
    return wake;
}

// --- Commands ------------------------------------------------------------------------

// Held until the frame clock or the control surface fills it; refused at once
// (with the addresses echoed) when there is nothing to fill.
void OutputSample(Command& c) {
    Family& f = F();
    HeldSample s;
    s.fileId = c.file.id;
    s.data = c.InU64(kOutData);
    s.length = c.InU32(kOutLength);
    s.sample = c.InU64(kOutUserData);
    c.OutU64(VKSSIM_PAYLOAD + kRepBufferEcho, s.data);
    c.OutU64(VKSSIM_PAYLOAD + kRepSampleEcho, s.sample);
    EncoderRecord* r = RecordFor(f, c.file.device, c.Handle());
    if (!r) {
        c.status = VKSERROR_INVALID_HANDLE;
        return;
    }
    if (s.data == 0 || s.length == 0) {
        c.status = VKSERROR_INVALID_ARGUMENT;
        return;
    }
    s.irp = c.Hold();
    r->samples.push_back(s);
}

// The device reads the whole region at once while the command runs.
void SupplyRawData(Command& c) {
    Family& f = F();
    EncoderRecord* r = RecordFor(f, c.file.device, c.Handle());
    if (!r) {
        c.status = VKSERROR_INVALID_HANDLE;
        return;
    }
    const uint64_t data = c.InU64(kInData);
    const uint32_t length = c.InU32(kInLength);
    if (data == 0) {
        c.status = VKSERROR_INVALID_ARGUMENT;
        return;
    }
    EncoderInput& in = r->input;
    ++in.samples;
    in.bytes += length;
    in.lastFormat1 = c.InU32(kInFormat1);
    in.lastFormat2 = c.InU32(kInFormat2);
    in.lastLength = length;
    in.lastChecksum = Fnv1a(reinterpret_cast<const uint8_t*>(static_cast<uintptr_t>(data)), length);
    AskForKeysIfDue(*r, *FindEncoderObject(c.device, c.Handle()), c.completions);
}

// The capture-card interface: open it once, then pause, resume, pause the
// pushing of frames, close.
void Capture(Command& c) {
    Family& f = F();
    EncoderRecord* r = RecordFor(f, c.file.device, c.Handle());
    if (!r) {
        c.status = VKSERROR_INVALID_HANDLE;
        return;
    }
    CaptureInterface& ci = r->capture;
    if (c.code == kIoctlCaptureOpen) {
        if (ci.open) {
            c.status = VKSERROR_INVALID_STATE;
            return;
        }
        if (c.InU32(kCaptureRecord) != kCaptureRecordBytes) {
            c.status = VKSERROR_INVALID_ARGUMENT;
            return;
        }
        ci.record.assign(kCaptureRecordBytes, 0);
        if (c.in.size() >= kCaptureRecord + kCaptureRecordBytes)
            std::memcpy(ci.record.data(), c.in.data() + kCaptureRecord, kCaptureRecordBytes);
        ci.word1 = GetU32(ci.record.data() + 4);
        ci.word2 = GetU32(ci.record.data() + 8);
        std::memcpy(ci.identification, ci.record.data() + 30, sizeof ci.identification);
        ci.open = true;
        ci.paused = ci.pushPaused = false;
        ++ci.opens;
        return;
    }
    if (!ci.open) {
        c.status = VKSERROR_INVALID_STATE;
        return;
    }
    switch (c.code) {
    case kIoctlCaptureClose: ci.open = ci.paused = ci.pushPaused = false; break;
    case kIoctlCapturePause: ci.paused = true; break;
    case kIoctlCaptureUnpause: ci.paused = ci.pushPaused = false; break;
    case kIoctlCapturePausePushFrames: ci.pushPaused = true; break;
    default: break;
    }
    // A resumed interface may let the frame clock run again.
    M().heldChanged.notify_all();
}

// A closed encoder's samples come back unfilled with its close.
void EncoderEnded(Device& device, uint32_t handle, std::vector<Completion>& completions) {
    Family& f = F();
    auto it = f.encoders.find(Key{&device, handle});
    if (it == f.encoders.end()) return;
    for (auto& s : it->second.samples)
        Reply(s, handle, VKSERROR_NO_COMPLETION, 0, 0, 0, EncoderEcho::Matching, completions);
    it->second.samples.clear();
}

void RegisterEncoderFamily(Machine& m) {
    m.objectEnded.push_back(EncoderEnded);
    m.handlers[kIoctlOutputSample] = OutputSample;
    m.handlers[kIoctlSupplyRawData] = SupplyRawData;
    m.handlers[kIoctlCaptureOpen] = Capture;
    m.handlers[kIoctlCaptureClose] = Capture;
    m.handlers[kIoctlCapturePause] = Capture;
    m.handlers[kIoctlCaptureUnpause] = Capture;
    m.handlers[kIoctlCapturePausePushFrames] = Capture;
}
VKSSIM_FAMILY(RegisterEncoderFamily);

}  // namespace
}  // namespace vkssim::detail

// --- Control surface: encoders -------------------------------------------------------------
namespace vkssim {

using namespace detail;

uint64_t EncoderChecksum(const void* data, size_t size) { return Fnv1a(static_cast<const uint8_t*>(data), size); }

bool SetEncoderFrameRate(int device, uint32_t handle, uint32_t framesPerSecond) {
    Machine& m = M();
    Family& f = F();
    {
        std::lock_guard lock(m.mu);
        EncoderRecord* r = RecordAt(m, f, device, handle);
        if (!r) return false;
        r->frameRate = framesPerSecond;
        r->clockRunning = false;
    }
    m.heldChanged.notify_all();
    return true;
}

size_t ProduceEncoderSamples(int device, uint32_t handle, size_t count) {
    Machine& m = M();
    Family& f = F();
    std::vector<Completion> completions;
    size_t produced = 0;
    {
        std::lock_guard lock(m.mu);
        EncoderRecord* r = RecordAt(m, f, device, handle);
        if (!r) return 0;
        SimObject* o = FindEncoderObject(*r->device, handle);
        for (; produced < count && !r->samples.empty(); ++produced) ProduceOne(*r, *o, completions);
        m.heldChanged.notify_all();
    }
    RunCompletions(completions);
    return produced;
}

bool SetEncoderEcho(int device, uint32_t handle, EncoderEcho echo) {
    Machine& m = M();
    Family& f = F();
    std::lock_guard lock(m.mu);
    EncoderRecord* r = RecordAt(m, f, device, handle);
    if (!r) return false;
    r->echo = echo;
    return true;
}

namespace {
size_t HeldSamplesLocked(Machine& m, Family& f, int device, uint32_t handle) {
    Device* d = m.DeviceAt(device);
    if (!d) return 0;
    auto it = f.encoders.find(Key{d, handle});
    return it == f.encoders.end() ? 0 : it->second.samples.size();
}
}  // namespace

size_t HeldEncoderSamples(int device, uint32_t handle) {
    Machine& m = M();
    Family& f = F();
    std::lock_guard lock(m.mu);
    return HeldSamplesLocked(m, f, device, handle);
}

bool WaitForEncoderSamples(int device, uint32_t handle, size_t count, std::chrono::milliseconds timeout) {
    Machine& m = M();
    Family& f = F();
    std::unique_lock lock(m.mu);
    return m.heldChanged.wait_for(lock, timeout, [&] { return HeldSamplesLocked(m, f, device, handle) >= count; });
}

bool AskForEncryptionKeys(int device, uint32_t handle) {
    Machine& m = M();
    Family& f = F();
    std::vector<Completion> completions;
    {
        std::lock_guard lock(m.mu);
        EncoderRecord* r = RecordAt(m, f, device, handle);
        if (!r) return false;
        AskForKeys(*r, *FindEncoderObject(*r->device, handle), completions);
        m.heldChanged.notify_all();
    }
    RunCompletions(completions);
    return true;
}

std::optional<EncoderInput> GetEncoderInput(int device, uint32_t handle) {
    Machine& m = M();
    Family& f = F();
    std::lock_guard lock(m.mu);
    EncoderRecord* r = RecordAt(m, f, device, handle);
    if (!r) return std::nullopt;
    return r->input;
}

std::optional<CaptureInterface> GetCaptureInterface(int device, uint32_t handle) {
    Machine& m = M();
    Family& f = F();
    std::lock_guard lock(m.mu);
    EncoderRecord* r = RecordAt(m, f, device, handle);
    if (!r) return std::nullopt;
    return r->capture;
}

std::optional<EncoderOutput> GetEncoderOutput(int device, uint32_t handle) {
    Machine& m = M();
    Family& f = F();
    std::lock_guard lock(m.mu);
    EncoderRecord* r = RecordAt(m, f, device, handle);
    if (!r) return std::nullopt;
    EncoderOutput out;
    out.framesProduced = r->frames;
    out.heldSamples = r->samples.size();
    out.keyRequests = r->keyRequests;
    return out;
}

}  // namespace vkssim

// --- C control surface: encoders ---------------------------------------------------------
extern "C" {

int vkssim_set_encoder_frame_rate(int device, uint32_t handle, uint32_t framesPerSecond) {
    return vkssim::SetEncoderFrameRate(device, handle, framesPerSecond) ? 1 : 0;
}

size_t vkssim_produce_encoder_samples(int device, uint32_t handle, size_t count) {
    return vkssim::ProduceEncoderSamples(device, handle, count);
}

int vkssim_set_encoder_echo(int device, uint32_t handle, uint32_t echo) {
    if (echo > VKSSIM_ENCODER_ECHO_OVERLONG_FILL) return 0;
    return vkssim::SetEncoderEcho(device, handle, static_cast<vkssim::EncoderEcho>(echo)) ? 1 : 0;
}

size_t vkssim_held_encoder_samples(int device, uint32_t handle) { return vkssim::HeldEncoderSamples(device, handle); }

int vkssim_wait_for_encoder_samples(int device, uint32_t handle, size_t count, uint32_t timeoutMs) {
    return vkssim::WaitForEncoderSamples(device, handle, count, std::chrono::milliseconds(timeoutMs)) ? 1 : 0;
}

int vkssim_ask_for_encryption_keys(int device, uint32_t handle) {
    return vkssim::AskForEncryptionKeys(device, handle) ? 1 : 0;
}

int vkssim_get_encoder_input(int device, uint32_t handle, VKSSIM_ENCODER_INPUT* input) {
    auto in = vkssim::GetEncoderInput(device, handle);
    if (!in || !input) return 0;
    input->samples = in->samples;
    input->bytes = in->bytes;
    input->lastFormat1 = in->lastFormat1;
    input->lastFormat2 = in->lastFormat2;
    input->lastLength = in->lastLength;
    input->lastChecksum = in->lastChecksum;
    return 1;
}

int vkssim_get_capture_interface(int device, uint32_t handle, VKSSIM_CAPTURE_INTERFACE* capture) {
    auto ci = vkssim::GetCaptureInterface(device, handle);
    if (!ci || !capture) return 0;
    capture->open = ci->open ? 1 : 0;
    capture->paused = ci->paused ? 1 : 0;
    capture->pushPaused = ci->pushPaused ? 1 : 0;
    capture->opens = ci->opens;
    capture->word1 = ci->word1;
    capture->word2 = ci->word2;
    std::memcpy(capture->identification, ci->identification, sizeof capture->identification);
    std::memset(capture->record, 0, sizeof capture->record);
    std::memcpy(capture->record, ci->record.data(), std::min(ci->record.size(), sizeof capture->record));
    return 1;
}

}  // extern "C"
