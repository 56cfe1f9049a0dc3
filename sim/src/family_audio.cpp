// Decoded audio of a decoder: the start, load and stop commands. After the
// start command the decoder produces PCM in the format it was told (the
// decoder block's audio format field) as a tone, paced by the clock in 10 ms
// chunks, keeps at most the start command's 500 ms of frames (more is
// dropped, as a decoder that is not emptied drops its oldest audio), signals
// the start command's Data Buffered event once 250 ms are buffered and keeps
// its Data Ready event set while it holds frames. The load command writes up
// to the frames asked straight at the address it carries.
//
// Faults, per device (configuration file or SetDecoderAudio): a decoder that
// delivers half the frames asked, one that never produces anything, and a
// start command that fails.
#include "family_clock.h"
#include "sim_internal.h"

#include "vkssim/sim_c.h"

#include <algorithm>
#include <chrono>
#include <cmath>

namespace vkssim::detail {

namespace {

using Clock = std::chrono::steady_clock;

constexpr uint32_t kLoadCode = VKSSIM_IOCTL_AUDIO_LOAD, kStartCode = VKSSIM_IOCTL_AUDIO_START,
                   kStopCode = VKSSIM_IOCTL_AUDIO_STOP;
// Decoder block: the 32-byte audio format the library writes.
constexpr size_t kFormatOffset = 116;
constexpr auto kChunk = std::chrono::milliseconds(10);
constexpr double kAmplitude = 0.5;

struct Format {
    uint32_t rate = 0;
    uint16_t channels = 0;
    uint16_t bits = 0;
    uint32_t sampleType = 0;  // 0 unknown, 1 integer, 2 float
};

struct DecoderAudioRecord {
    std::shared_ptr<Device> device;
    uint32_t handle = 0;
    DecoderAudioState state;
    Format format;
    HANDLE ready = nullptr, buffered = nullptr;
    Clock::time_point startedAt;
    uint64_t chunksAccounted = 0;
    uint64_t level = 0;      // frames held
    uint64_t toneIndex = 0;  // frames delivered since the start: the tone's phase
    bool bufferedSignalled = false;
    bool readySet = false;
    int faultUses = 0;  // loads the fault has still to apply to (-1: all)
};

using Key = std::pair<const Device*, uint32_t>;

Clock::time_point SweepDecoders(Clock::time_point now, std::vector<Completion>& completions);

struct Family {
    std::map<const Device*, std::pair<std::shared_ptr<Device>, DecoderAudio>> settings;
    std::map<Key, DecoderAudioRecord> decoders;
    std::condition_variable changed;  // with the machine lock
    Clock::time_point nextSweep{};     // while decoders produce; reset when none does
    FamilyClock timer{changed, SweepDecoders};
};

Family& F() {
    M();
    static Family family;
    return family;
}

DecoderAudio SettingsOf(Family& f, const std::shared_ptr<Device>& device) {
    auto it = f.settings.find(device.get());
    if (it != f.settings.end()) return it->second.second;
    DecoderAudio audio;
    audio.toneHz = device->config.audioToneHz;
    audio.fault = device->config.audioFault;
    audio.faultCount = device->config.audioFaultCount;
    return audio;
}

Format ReadFormat(const SimObject& o) {
    Format format;
    if (o.params.size() < kFormatOffset + 32) return format;
    const uint8_t* p = o.params.data() + kFormatOffset;
    std::memcpy(&format.rate, p + 4, 4);
    std::memcpy(&format.channels, p + 12, 2);
    std::memcpy(&format.bits, p + 14, 2);
    std::memcpy(&format.sampleType, p + 20, 4);
    return format;
}

// One frame of the tone at phase index n, every channel alike.
void WriteFrame(uint8_t* out, uint32_t frameSize, const Format& format, uint32_t toneHz, uint64_t n) {
    std::memset(out, 0, frameSize);
    if (format.rate == 0 || format.channels == 0 || format.sampleType == 0) return;
    const double phase = 2.0 * 3.14159265358979323846 * static_cast<double>(toneHz) *
                         static_cast<double>(n % format.rate) / static_cast<double>(format.rate);
    const double v = kAmplitude * std::cos(phase);
    const uint32_t bytes = format.bits / 8;
    if (bytes == 0) return;
    uint8_t sample[8] = {};
    if (format.sampleType == 2 && bytes == 4) {
        const float s = static_cast<float>(v);
        std::memcpy(sample, &s, 4);
    } else if (format.sampleType == 2 && bytes == 8) {
        std::memcpy(sample, &v, 8);
    } else if (format.sampleType == 1 && bytes == 1) {
        sample[0] = static_cast<uint8_t>(128 + std::lround(v * 127.0));
    } else if (format.sampleType == 1 && bytes <= 4) {
        const double full = static_cast<double>((1ull << (format.bits - 1)) - 1);
        const auto s = static_cast<int64_t>(std::llround(v * full));
        std::memcpy(sample, &s, bytes);  // little-endian: the low bytes
    } else {
        return;
    }
    for (uint32_t c = 0; c < format.channels && (c + 1) * bytes <= frameSize; ++c)
        std::memcpy(out + c * bytes, sample, bytes);
}

// The device keeps its own references to the application's events, as a
// driver references the objects behind the handles it is given: a handle the
// application closes, or that is reused, is never signalled by mistake.
HANDLE Reference(uint64_t value) {
    HANDLE own = nullptr;
    const auto handle = reinterpret_cast<HANDLE>(static_cast<uintptr_t>(value));
    if (handle == nullptr ||
        !DuplicateHandle(GetCurrentProcess(), handle, GetCurrentProcess(), &own, 0, FALSE, DUPLICATE_SAME_ACCESS)) {
        return nullptr;
    }
    return own;
}

void DropEvents(DecoderAudioRecord& r) {
    if (r.ready != nullptr) CloseHandle(r.ready);
    if (r.buffered != nullptr) CloseHandle(r.buffered);
    r.ready = nullptr;
    r.buffered = nullptr;
}

bool ObjectAlive(const DecoderAudioRecord& r) {
    if (!r.device->present) return false;
    auto it = r.device->objects.find(r.handle);
    return it != r.device->objects.end() && it->second.info.type == VKSSIM_TYPE_DECODER;
}

// Brings the decoder's buffer up to now and signals what is due.
void Produce(Family& f, DecoderAudioRecord& r, Clock::time_point now) {
    if (!r.state.started) return;
    const DecoderAudio settings = SettingsOf(f, r.device);
    if (settings.fault == DecoderAudioFault::NoDelivery) return;
    const uint64_t chunks = static_cast<uint64_t>((now - r.startedAt) / kChunk);
    const uint64_t chunkFrames = std::max<uint32_t>(r.format.rate / 100, 1);
    if (chunks > r.chunksAccounted) {
        r.level += (chunks - r.chunksAccounted) * chunkFrames;
        r.chunksAccounted = chunks;
        const uint64_t capacity = std::max<uint32_t>(r.state.frames500, 1);
        if (r.level > capacity) {
            r.state.framesDropped += r.level - capacity;
            r.level = capacity;
        }
    }
    if (!r.bufferedSignalled && r.level >= r.state.frames250 && r.buffered != nullptr) {
        r.bufferedSignalled = true;
        SetEvent(r.buffered);
    }
    if (!r.readySet && r.level > 0 && r.ready != nullptr) {
        r.readySet = true;
        SetEvent(r.ready);
    }
}

void EnsureTimer(Family& f) { f.timer.StartLocked(); }

// Started decoders produce what their clock says is due, every half chunk.
Clock::time_point SweepDecoders(Clock::time_point now, std::vector<Completion>&) {
    Family& f = F();
    bool any = false;
    for (auto it = f.decoders.begin(); it != f.decoders.end();) {
        DecoderAudioRecord& r = it->second;
        if (!ObjectAlive(r)) {
            // The decoder closed without a stop.
            DropEvents(r);
            it = f.decoders.erase(it);
            continue;
        }
        if (r.state.started) {
            any = true;
            Produce(f, r, now);
        }
        ++it;
    }
    if (!any) {
        f.nextSweep = Clock::time_point{};
        return Clock::time_point::max();
    }
    if (f.nextSweep == Clock::time_point{}) f.nextSweep = now;
    f.nextSweep += kChunk / 2;
    if (f.nextSweep < now) f.nextSweep = now + kChunk / 2;
    return f.nextSweep;
}

SimObject* FindDecoder(Command& c) {
    auto it = c.device.objects.find(c.Handle());
    if (it == c.device.objects.end() || it->second.info.type != VKSSIM_TYPE_DECODER) return nullptr;
    return &it->second;
}

DecoderAudioRecord& RecordOf(Family& f, const std::shared_ptr<Device>& device, uint32_t handle) {
    auto [it, made] = f.decoders.try_emplace(Key{device.get(), handle});
    if (made) {
        it->second.device = device;
        it->second.handle = handle;
    }
    return it->second;
}

// 24 frame size, 28 frames in 500 ms, 32 frames in 250 ms, 36 those plus one
// endpoint buffer, 40 u64 Data Ready event, 48 u64 Data Buffered event.
void Start(Command& c) {
    SimObject* o = FindDecoder(c);
    if (o == nullptr) {
        c.status = VKSERROR_INVALID_HANDLE;
        return;
    }
    Family& f = F();
    DecoderAudioRecord& r = RecordOf(f, c.file.device, o->info.handle);
    ++r.state.starts;
    const DecoderAudio settings = SettingsOf(f, c.file.device);
    if (settings.fault == DecoderAudioFault::FailStart) {
        c.status = settings.failStatus;
        return;
    }
    r.state.started = true;
    r.state.frameSize = c.InU32(24);
    r.state.frames500 = c.InU32(28);
    r.state.frames250 = c.InU32(32);
    r.state.framesBuffer = c.InU32(36);
    r.state.readyEvent = c.InU64(40);
    r.state.bufferedEvent = c.InU64(48);
    DropEvents(r);
    r.ready = Reference(r.state.readyEvent);
    r.buffered = Reference(r.state.bufferedEvent);
    r.format = ReadFormat(*o);
    r.startedAt = Clock::now();
    r.chunksAccounted = 0;
    r.level = 0;
    r.toneIndex = 0;
    r.bufferedSignalled = false;
    r.readySet = false;
    r.faultUses = settings.faultCount;
    EnsureTimer(f);
}

// 24 buffer bytes, 28 frames asked, 32 u64 buffer address; reply 24 frames written.
void Load(Command& c) {
    SimObject* o = FindDecoder(c);
    if (o == nullptr) {
        c.status = VKSERROR_INVALID_HANDLE;
        return;
    }
    Family& f = F();
    auto it = f.decoders.find(Key{c.file.device.get(), o->info.handle});
    if (it == f.decoders.end() || !it->second.state.started) {
        c.status = VKSERROR_ILLEGAL_CALL;
        return;
    }
    DecoderAudioRecord& r = it->second;
    const uint32_t bytes = c.InU32(24), asked = c.InU32(28);
    auto* buffer = reinterpret_cast<uint8_t*>(static_cast<uintptr_t>(c.InU64(32)));
    if (buffer == nullptr || r.state.frameSize == 0) {
        c.status = VKSERROR_INVALID_ARGUMENT;
        return;
    }
    Produce(f, r, Clock::now());
    const DecoderAudio settings = SettingsOf(f, c.file.device);
    uint64_t frames = std::min<uint64_t>({asked, bytes / r.state.frameSize, r.level});
    if (settings.fault == DecoderAudioFault::ShortDelivery && r.faultUses != 0 && frames > 0) {
        // Half, rounded up: a short decoder still makes progress, so that a
        // fill that retries until the buffer is full comes to an end.
        frames = std::min<uint64_t>(frames, (static_cast<uint64_t>(asked) + 1) / 2);
        if (r.faultUses > 0) --r.faultUses;
        ++r.state.shortLoads;
    }
    for (uint64_t i = 0; i < frames; ++i)
        WriteFrame(buffer + i * r.state.frameSize, r.state.frameSize, r.format, settings.toneHz, r.toneIndex + i);
    r.toneIndex += frames;
    r.level -= frames;
    ++r.state.loads;
    r.state.framesRequested += asked;
    r.state.framesDelivered += frames;
    if (r.level == 0 && r.readySet) {
        // Nothing left: Data Ready comes back with the next chunk.
        r.readySet = false;
        ResetEvent(r.ready);
    }
    uint64_t reported = frames;
    if (settings.fault == DecoderAudioFault::OverReport && r.faultUses != 0) {
        reported = asked + 1000ull;
        if (r.faultUses > 0) --r.faultUses;
    }
    c.OutU32(24, static_cast<uint32_t>(reported));
    f.changed.notify_all();
}

void Stop(Command& c) {
    SimObject* o = FindDecoder(c);
    if (o == nullptr) {
        c.status = VKSERROR_INVALID_HANDLE;
        return;
    }
    Family& f = F();
    DecoderAudioRecord& r = RecordOf(f, c.file.device, o->info.handle);
    ++r.state.stops;
    r.state.started = false;
    DropEvents(r);
    f.changed.notify_all();
}

void RegisterAudioFamily(Machine& m) {
    m.handlers[kStartCode] = Start;
    m.handlers[kLoadCode] = Load;
    m.handlers[kStopCode] = Stop;
}
VKSSIM_FAMILY(RegisterAudioFamily);

}  // namespace
}  // namespace vkssim::detail

// --- Control surface: decoded audio ----------------------------------------------------
namespace vkssim {

using namespace detail;

bool SetDecoderAudio(int device, const DecoderAudio& audio) {
    Machine& m = M();
    Family& f = F();
    std::lock_guard lock(m.mu);
    if (m.DeviceAt(device) == nullptr) return false;
    const std::shared_ptr<Device>& owner = m.devices[static_cast<size_t>(device)];
    f.settings[owner.get()] = {owner, audio};
    return true;
}

std::optional<DecoderAudioState> GetDecoderAudio(int device, uint32_t decoder) {
    Machine& m = M();
    Family& f = F();
    std::lock_guard lock(m.mu);
    if (m.DeviceAt(device) == nullptr) return std::nullopt;
    auto it = f.decoders.find(Key{m.devices[static_cast<size_t>(device)].get(), decoder});
    if (it == f.decoders.end()) return std::nullopt;
    return it->second.state;
}

bool WaitForDecoderAudioLoads(int device, uint32_t decoder, uint32_t loads, std::chrono::milliseconds timeout) {
    Machine& m = M();
    Family& f = F();
    std::unique_lock lock(m.mu);
    return f.changed.wait_for(lock, timeout, [&] {
        if (m.DeviceAt(device) == nullptr) return false;
        auto it = f.decoders.find(Key{m.devices[static_cast<size_t>(device)].get(), decoder});
        return it != f.decoders.end() && it->second.state.loads >= loads;
    });
}

double DecoderAudioTone(uint32_t toneHz, uint32_t rate, uint64_t frame) {
    const double phase = 2.0 * 3.14159265358979323846 * static_cast<double>(toneHz) *
                         static_cast<double>(frame % rate) / static_cast<double>(rate);
    return kAmplitude * std::cos(phase);
}

}  // namespace vkssim
