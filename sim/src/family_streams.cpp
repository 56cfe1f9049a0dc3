// Playing streams: a network stream opened on a "file://" address does not
// read its file; once in state 2 it asks the application for each block of
// encoded data (VKSERROR_NEED_DATA), takes the block by address during the
// supply command, can be told to ask for a new read position
// (VKSERROR_SEEK_DATA), and reports VKSERROR_END_OF_STREAM after an empty
// block. Decoders connected to a stream that has received data report their
// first decoded frame (and VKSERROR_AUDIO_EXISTS when the stream carries
// audio). Also the decoder's set encryption keys command, whose keys are kept.
//
// The family keeps its records per object, keyed by device and driver handle,
// and follows state changes by wrapping the object family's set-state handler.
// A timer thread, started only when a device asks at an interval, makes the
// paced requests.
#include "family_clock.h"
#include "sim_internal.h"

#include "vkssim/sim_c.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>

namespace vkssim::detail {

namespace {

using Clock = std::chrono::steady_clock;

constexpr uint32_t kPlaying = 2;

// Supply request: u32 number of bytes at 24, u64 address of the block at 32.
constexpr size_t kSupplyBytes = 24, kSupplyAddress = 32;
// The device refuses blocks larger than this (the application sends 1 MiB).
constexpr uint32_t kMaxBlockBytes = 64u << 20;
// Set encryption keys request: the 32-byte record at 24.
constexpr size_t kKeysOffset = 24, kKeysBytes = 32;
// Fed blocks kept per stream; older ones are dropped (the totals still count them).
constexpr size_t kFedBlocksKept = 65536;
// Decoder output sample: the request carries the sample's address at 224; the
// reply echoes it at 216 (reply offsets count from the start, payload at 24).
constexpr uint32_t kIoctlDecoderOutputSample = 0x22C484u;
constexpr size_t kSampleAddress = 224, kReplySampleEcho = 216;

struct DeviceSettings {
    std::shared_ptr<Device> device;  // keeps the address from being reused for another device
    StreamPacing pacing;
    bool audio = false;
};

struct StreamRecord {
    std::shared_ptr<Device> device;
    uint32_t handle = 0;
    std::deque<FedBlock> blocks;
    StreamPlayback playback;
    uint32_t outstanding = 0;  // data requests asked and not yet answered
    std::optional<bool> audio; // unset: the device's setting
    std::optional<Clock::time_point> askAt;
};

struct DecoderRecord {
    std::shared_ptr<Device> device;
    uint32_t reportedSource = 0;  // stream whose first frame was reported; 0 none
    std::optional<std::array<uint8_t, kKeysBytes>> keys;
    uint32_t keyCommands = 0;
    uint32_t samplesReturned = 0;
    EncoderEcho sampleEcho = EncoderEcho::Matching;
};

using Key = std::pair<const Device*, uint32_t>;

Clock::time_point SweepPacedStreams(Clock::time_point now, std::vector<Completion>& completions);

struct Family {
    std::map<const Device*, DeviceSettings> devices;
    std::map<Key, StreamRecord> streams;
    std::map<Key, DecoderRecord> decoders;
    std::condition_variable fedChanged;  // with the machine lock
    std::condition_variable timerChanged;
    FamilyClock timer{timerChanged, SweepPacedStreams};
};

// Made after the machine, so that it is destroyed (and its thread stopped)
// before the machine goes. Never called while the machine is being made.
Family& F() {
    M();
    static Family family;
    return family;
}

// The object family's set-state handler, wrapped by this family.
Handler g_innerSetState = nullptr;

bool IsFileStream(const SimObject& o) {
    return o.info.type == VKSSIM_TYPE_NETWORK && o.info.address.compare(0, 7, "file://") == 0;
}

SimObject* FindTyped(Device& device, uint32_t handle, uint32_t type) {
    auto it = device.objects.find(handle);
    if (it == device.objects.end() || it->second.info.type != type) return nullptr;
    return &it->second;
}

DeviceSettings& SettingsOf(Family& f, const std::shared_ptr<Device>& device) {
    DeviceSettings& s = f.devices[device.get()];
    if (!s.device) {
        s.device = device;
        s.audio = device->config.streamAudio;
    }
    return s;
}

StreamRecord& StreamOf(Family& f, const std::shared_ptr<Device>& device, uint32_t handle) {
    auto [it, made] = f.streams.try_emplace(Key{device.get(), handle});
    if (made) {
        it->second.device = device;
        it->second.handle = handle;
    }
    return it->second;
}

DecoderRecord& DecoderOf(Family& f, const std::shared_ptr<Device>& device, uint32_t handle) {
    auto [it, made] = f.decoders.try_emplace(Key{device.get(), handle});
    if (made) it->second.device = device;
    return it->second;
}

// The control surface names devices by index.
std::shared_ptr<Device> DeviceByIndex(Machine& m, int index) {
    return m.DeviceAt(index) != nullptr ? m.devices[static_cast<size_t>(index)] : nullptr;
}

uint64_t Fnv1a(const uint8_t* data, size_t size) {
    uint64_t h = 0xCBF29CE484222325ull;
    for (size_t i = 0; i < size; ++i) {
        h ^= data[i];
        h *= 0x100000001B3ull;
    }
    return h;
}

void AskForBlock(StreamRecord& r, SimObject& o, std::vector<Completion>& completions) {
    ++r.outstanding;
    ++r.playback.asks;
    r.askAt.reset();
    DeliverEvent(o, PendingEvent{VKSERROR_NEED_DATA, 0, {}}, completions);
}

// Asks for the next block when the stream plays its file on its own and
// nothing is asked yet: at once, or after the device's interval.
void AskIfDue(Family& f, StreamRecord& r, SimObject& o, bool afterBlock, std::vector<Completion>& completions) {
    const StreamPacing& pacing = SettingsOf(f, r.device).pacing;
    if (!pacing.automatic || !IsFileStream(o) || o.info.state != kPlaying || r.outstanding != 0 ||
        r.playback.ended) {
        return;
    }
    if (!afterBlock || pacing.interval.count() <= 0) {
        AskForBlock(r, o, completions);
        return;
    }
    if (!r.askAt) r.askAt = Clock::now() + pacing.interval;
    f.timer.StartLocked();
}

bool StreamHasAudio(Family& f, const StreamRecord& r) {
    return r.audio.value_or(SettingsOf(f, r.device).audio);
}

// A decoder playing from a stream that has received data shows its first
// frame, once per connection; a device with automatic events already reports
// first frames on its own.
void ReportFirstFrameIfDue(Family& f, Device& device, const std::shared_ptr<Device>& owner, SimObject& decoder,
                           std::vector<Completion>& completions) {
    DecoderRecord& d = DecoderOf(f, owner, decoder.info.handle);
    if (decoder.info.state != kPlaying || decoder.info.source == 0) {
        d.reportedSource = 0;
        return;
    }
    if (device.config.autoEvents || d.reportedSource == decoder.info.source) return;
    auto it = f.streams.find(Key{owner.get(), decoder.info.source});
    if (it == f.streams.end() || !it->second.playback.dataArrived) return;
    d.reportedSource = decoder.info.source;
    DeliverEvent(decoder, PendingEvent{VKSERROR_DECODED_FIRST_FRAME, 0, {}}, completions);
    if (StreamHasAudio(f, it->second)) DeliverEvent(decoder, PendingEvent{VKSERROR_AUDIO_EXISTS, 0, {}}, completions);
}

void ReportFirstFramesOf(Family& f, Device& device, const std::shared_ptr<Device>& owner, uint32_t stream,
                         std::vector<Completion>& completions) {
    for (auto& [handle, o] : device.objects)
        if (o.info.type == VKSSIM_TYPE_DECODER && o.info.source == stream)
            ReportFirstFrameIfDue(f, device, owner, o, completions);
}

// File streams whose next request is due ask for it.
Clock::time_point SweepPacedStreams(Clock::time_point now, std::vector<Completion>& completions) {
    Family& f = F();
    auto wake = Clock::time_point::max();
    for (auto& [key, r] : f.streams) {
        if (!r.askAt) continue;
        SimObject* o = r.device->present ? FindTyped(*r.device, r.handle, VKSSIM_TYPE_NETWORK) : nullptr;
        if (o == nullptr) {
            r.askAt.reset();
            continue;
        }
        if (*r.askAt > now) {
            wake = std::min(wake, *r.askAt);
            continue;
        }
        r.askAt.reset();
        AskIfDue(f, r, *o, false, completions);
    }
    return wake;
}

// --- Commands ------------------------------------------------------------------------

// The object family sets the state; a file stream that starts playing asks
// for its first block, and a decoder that starts playing may show a frame.
void SetState(Command& c) {
    g_innerSetState(c);
    if (c.status != VKSERROR_NO_ERROR) return;
    auto it = c.device.objects.find(c.Handle());
    if (it == c.device.objects.end()) return;
    Family& f = F();
    SimObject& o = it->second;
    if (o.info.type == VKSSIM_TYPE_NETWORK && IsFileStream(o)) {
        AskIfDue(f, StreamOf(f, c.file.device, o.info.handle), o, false, c.completions);
    } else if (o.info.type == VKSSIM_TYPE_DECODER) {
        ReportFirstFrameIfDue(f, c.device, c.file.device, o, c.completions);
    }
}

// The block travels by address into the caller's memory, which the device
// reads while the command runs.
void SupplyEncodedData(Command& c) {
    SimObject* o = FindTyped(c.device, c.Handle(), VKSSIM_TYPE_NETWORK);
    if (o == nullptr) {
        c.status = VKSERROR_INVALID_HANDLE;
        return;
    }
    const uint32_t bytes = c.InU32(kSupplyBytes);
    const auto* data = reinterpret_cast<const uint8_t*>(static_cast<uintptr_t>(c.InU64(kSupplyAddress)));
    if (bytes > kMaxBlockBytes || (bytes != 0 && data == nullptr)) {
        c.status = VKSERROR_INVALID_ARGUMENT;
        return;
    }
    Family& f = F();
    StreamRecord& r = StreamOf(f, c.file.device, o->info.handle);
    FedBlock block;
    block.bytes = bytes;
    block.checksum = Fnv1a(data, bytes);
    block.head.assign(data, data + std::min<size_t>(bytes, kFedBlockHeadBytes));
    if (r.blocks.size() >= kFedBlocksKept) r.blocks.pop_front();
    r.blocks.push_back(std::move(block));
    ++r.playback.blocks;
    r.playback.bytes += bytes;
    if (r.outstanding != 0) --r.outstanding;
    f.fedChanged.notify_all();
    if (bytes == 0) {
        // An empty block is the end of the file: the stream has played out.
        r.playback.ended = true;
        DeliverEvent(*o, PendingEvent{VKSERROR_END_OF_STREAM, 0, {}}, c.completions);
        return;
    }
    r.playback.ended = false;
    if (!r.playback.dataArrived) {
        r.playback.dataArrived = true;
        ReportFirstFramesOf(f, c.device, c.file.device, o->info.handle, c.completions);
    }
    AskIfDue(f, r, *o, true, c.completions);
}

// Decoders keep the 32-byte record; the keys themselves are the device's business.
void SetEncryptionKeys(Command& c) {
    auto it = c.device.objects.find(c.Handle());
    if (it == c.device.objects.end()) {
        c.status = VKSERROR_INVALID_HANDLE;
        return;
    }
    if (it->second.info.type != VKSSIM_TYPE_DECODER) {
        c.status = VKSERROR_UNSUPPORTED;
        return;
    }
    if (c.in.size() < kKeysOffset + kKeysBytes) {
        c.status = VKSERROR_INVALID_ARGUMENT;
        return;
    }
    DecoderRecord& d = DecoderOf(F(), c.file.device, c.Handle());
    std::array<uint8_t, kKeysBytes> keys{};
    std::memcpy(keys.data(), c.in.data() + kKeysOffset, kKeysBytes);
    d.keys = keys;
    ++d.keyCommands;
}

// Hands the sample back at once, numbered from 1 in the value, its address
// echoed as the decoder's echo setting says.
void DecoderOutputSample(Command& c) {
    auto it = c.device.objects.find(c.Handle());
    if (it == c.device.objects.end()) {
        c.status = VKSERROR_INVALID_HANDLE;
        return;
    }
    if (it->second.info.type != VKSSIM_TYPE_DECODER) {
        c.status = VKSERROR_UNSUPPORTED;
        return;
    }
    if (c.in.size() < kSampleAddress + 8) {
        c.status = VKSERROR_INVALID_ARGUMENT;
        return;
    }
    DecoderRecord& d = DecoderOf(F(), c.file.device, c.Handle());
    const uint64_t sample = c.InU64(kSampleAddress);
    c.value = ++d.samplesReturned;
    c.OutU64(kReplySampleEcho, d.sampleEcho == EncoderEcho::NullSample      ? 0
                               : d.sampleEcho == EncoderEcho::ForeignSample ? sample + 0x40
                                                                            : sample);
}

void RegisterStreamsFamily(Machine& m) {
    auto setState = m.handlers.find(VKSSIM_IOCTL_SET_STATE);
    if (setState == m.handlers.end()) {
        // The object family registers first (the sources are linked in name
        // order); without it there is nothing to follow.
        std::fprintf(stderr, "vkssim: the streams family found no set-state handler to follow\n");
    } else {
        g_innerSetState = setState->second;
        setState->second = SetState;
    }
    m.handlers[VKSSIM_IOCTL_SUPPLY_ENCODED_DATA] = SupplyEncodedData;
    m.handlers[VKSSIM_IOCTL_SET_ENCRYPTION_KEYS] = SetEncryptionKeys;
    m.handlers[kIoctlDecoderOutputSample] = DecoderOutputSample;
}
VKSSIM_FAMILY(RegisterStreamsFamily);

// Looks up a network stream of the control surface, under the machine lock.
SimObject* StreamObject(Machine& m, int device, uint32_t stream, std::shared_ptr<Device>* owner) {
    *owner = DeviceByIndex(m, device);
    if (!*owner || !(*owner)->present) return nullptr;
    return FindTyped(**owner, stream, VKSSIM_TYPE_NETWORK);
}

}  // namespace
}  // namespace vkssim::detail

// --- Control surface: playing streams ---------------------------------------------------
namespace vkssim {

using namespace detail;

uint64_t FedChecksum(const void* data, size_t size) { return Fnv1a(static_cast<const uint8_t*>(data), size); }

bool SetStreamPacing(int device, const StreamPacing& pacing) {
    Machine& m = M();
    Family& f = F();
    std::vector<Completion> completions;
    {
        std::lock_guard lock(m.mu);
        std::shared_ptr<Device> owner = DeviceByIndex(m, device);
        if (!owner) return false;
        SettingsOf(f, owner).pacing = pacing;
        // Streams already playing follow the new pace at once.
        for (auto& [handle, o] : owner->objects) {
            if (!IsFileStream(o)) continue;
            StreamRecord& r = StreamOf(f, owner, handle);
            r.askAt.reset();
            if (owner->present) AskIfDue(f, r, o, false, completions);
        }
        m.heldChanged.notify_all();
    }
    RunCompletions(completions);
    return true;
}

bool SetStreamAudio(int device, bool hasAudio) {
    Machine& m = M();
    Family& f = F();
    std::lock_guard lock(m.mu);
    std::shared_ptr<Device> owner = DeviceByIndex(m, device);
    if (!owner) return false;
    SettingsOf(f, owner).audio = hasAudio;
    return true;
}

bool SetStreamHasAudio(int device, uint32_t stream, bool hasAudio) {
    Machine& m = M();
    Family& f = F();
    std::lock_guard lock(m.mu);
    std::shared_ptr<Device> owner;
    if (!StreamObject(m, device, stream, &owner)) return false;
    StreamOf(f, owner, stream).audio = hasAudio;
    return true;
}

bool AskForData(int device, uint32_t stream) {
    Machine& m = M();
    Family& f = F();
    std::vector<Completion> completions;
    {
        std::lock_guard lock(m.mu);
        std::shared_ptr<Device> owner;
        SimObject* o = StreamObject(m, device, stream, &owner);
        if (!o) return false;
        AskForBlock(StreamOf(f, owner, stream), *o, completions);
        m.heldChanged.notify_all();
    }
    RunCompletions(completions);
    return true;
}

bool RequestSeek(int device, uint32_t stream, uint64_t position) {
    Machine& m = M();
    Family& f = F();
    std::vector<Completion> completions;
    {
        std::lock_guard lock(m.mu);
        std::shared_ptr<Device> owner;
        SimObject* o = StreamObject(m, device, stream, &owner);
        if (!o) return false;
        StreamRecord& r = StreamOf(f, owner, stream);
        PendingEvent event{VKSERROR_SEEK_DATA, 0, std::vector<uint8_t>(8, 0)};
        PutU64(event.payload.data(), position);
        ++r.playback.seeks;
        DeliverEvent(*o, std::move(event), completions);
        // A stream that had played out plays again from the new position.
        r.playback.ended = false;
        AskIfDue(f, r, *o, false, completions);
        m.heldChanged.notify_all();
    }
    RunCompletions(completions);
    return true;
}

std::vector<FedBlock> FedBlocks(int device, uint32_t stream) {
    Machine& m = M();
    Family& f = F();
    std::lock_guard lock(m.mu);
    std::shared_ptr<Device> owner = DeviceByIndex(m, device);
    if (!owner) return {};
    auto it = f.streams.find(Key{owner.get(), stream});
    if (it == f.streams.end()) return {};
    return std::vector<FedBlock>(it->second.blocks.begin(), it->second.blocks.end());
}

bool WaitForFedBlocks(int device, uint32_t stream, size_t count, std::chrono::milliseconds timeout) {
    Machine& m = M();
    Family& f = F();
    std::unique_lock lock(m.mu);
    return f.fedChanged.wait_for(lock, timeout, [&] {
        std::shared_ptr<Device> owner = DeviceByIndex(m, device);
        if (!owner) return false;
        auto it = f.streams.find(Key{owner.get(), stream});
        return it != f.streams.end() && it->second.playback.blocks >= count;
    });
}

std::optional<StreamPlayback> GetStreamPlayback(int device, uint32_t stream) {
    Machine& m = M();
    Family& f = F();
    std::lock_guard lock(m.mu);
    std::shared_ptr<Device> owner = DeviceByIndex(m, device);
    if (!owner) return std::nullopt;
    auto it = f.streams.find(Key{owner.get(), stream});
    if (it == f.streams.end()) return std::nullopt;
    return it->second.playback;
}

bool SetDecoderSampleEcho(int device, uint32_t decoder, EncoderEcho echo) {
    Machine& m = M();
    Family& f = F();
    std::lock_guard lock(m.mu);
    std::shared_ptr<Device> owner = DeviceByIndex(m, device);
    if (!owner || owner->objects.count(decoder) == 0) return false;
    DecoderOf(f, owner, decoder).sampleEcho = echo;
    return true;
}

std::optional<std::array<uint8_t, 32>> GetEncryptionKeys(int device, uint32_t decoder) {
    Machine& m = M();
    Family& f = F();
    std::lock_guard lock(m.mu);
    std::shared_ptr<Device> owner = DeviceByIndex(m, device);
    if (!owner) return std::nullopt;
    auto it = f.decoders.find(Key{owner.get(), decoder});
    if (it == f.decoders.end() || !it->second.keys) return std::nullopt;
    return *it->second.keys;
}

}  // namespace vkssim

// --- C control surface: playing streams ---------------------------------------------------
extern "C" {

VKSSIM_API int vkssim_set_stream_pacing(int device, int automatic, uint32_t intervalMs) {
    vkssim::StreamPacing pacing;
    pacing.automatic = automatic != 0;
    pacing.interval = std::chrono::milliseconds(intervalMs);
    return vkssim::SetStreamPacing(device, pacing) ? 1 : 0;
}

VKSSIM_API int vkssim_set_stream_audio(int device, int hasAudio) {
    return vkssim::SetStreamAudio(device, hasAudio != 0) ? 1 : 0;
}

VKSSIM_API int vkssim_set_stream_has_audio(int device, uint32_t stream, int hasAudio) {
    return vkssim::SetStreamHasAudio(device, stream, hasAudio != 0) ? 1 : 0;
}

VKSSIM_API int vkssim_ask_for_data(int device, uint32_t stream) { return vkssim::AskForData(device, stream) ? 1 : 0; }

VKSSIM_API int vkssim_request_seek(int device, uint32_t stream, uint64_t position) {
    return vkssim::RequestSeek(device, stream, position) ? 1 : 0;
}

VKSSIM_API size_t vkssim_fed_blocks(int device, uint32_t stream, VKSSIM_FED_BLOCK* blocks, size_t capacity) {
    const std::vector<vkssim::FedBlock> all = vkssim::FedBlocks(device, stream);
    for (size_t i = 0; i < all.size() && i < capacity && blocks != nullptr; ++i) {
        std::memset(&blocks[i], 0, sizeof(blocks[i]));
        blocks[i].bytes = all[i].bytes;
        blocks[i].checksum = all[i].checksum;
        blocks[i].headLength = static_cast<uint32_t>(all[i].head.size());
        std::memcpy(blocks[i].head, all[i].head.data(), all[i].head.size());
    }
    return all.size();
}

VKSSIM_API int vkssim_wait_for_fed_blocks(int device, uint32_t stream, size_t count, uint32_t timeoutMs) {
    return vkssim::WaitForFedBlocks(device, stream, count, std::chrono::milliseconds(timeoutMs)) ? 1 : 0;
}

VKSSIM_API uint64_t vkssim_fed_checksum(const void* data, size_t size) { return vkssim::FedChecksum(data, size); }

VKSSIM_API int vkssim_get_stream_playback(int device, uint32_t stream, VKSSIM_STREAM_PLAYBACK* playback) {
    const std::optional<vkssim::StreamPlayback> p = vkssim::GetStreamPlayback(device, stream);
    if (!p || playback == nullptr) return 0;
    playback->asks = p->asks;
    playback->seeks = p->seeks;
    playback->blocks = p->blocks;
    playback->ended = p->ended ? 1 : 0;
    playback->dataArrived = p->dataArrived ? 1 : 0;
    playback->bytes = p->bytes;
    return 1;
}

VKSSIM_API int vkssim_get_encryption_keys(int device, uint32_t decoder, uint8_t* keys) {
    const std::optional<std::array<uint8_t, 32>> k = vkssim::GetEncryptionKeys(device, decoder);
    if (!k || keys == nullptr) return 0;
    std::memcpy(keys, k->data(), k->size());
    return 1;
}

}  // extern "C"

VKSSIM_API int vkssim_set_decoder_sample_echo(int device, uint32_t decoder, uint32_t echo) {
    if (echo != VKSSIM_ENCODER_ECHO_MATCHING && echo != VKSSIM_ENCODER_ECHO_NULL_SAMPLE &&
        echo != VKSSIM_ENCODER_ECHO_FOREIGN_SAMPLE) {
        return 0;
    }
    return vkssim::SetDecoderSampleEcho(device, decoder, static_cast<vkssim::EncoderEcho>(echo)) ? 1 : 0;
}
