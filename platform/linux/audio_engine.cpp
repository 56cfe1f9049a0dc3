// The simulated endpoint's engine: configuration, the real-time clock that
// plays started streams once per device period, glitch accounting, the WAV
// recording of what is played, and the test controls of audio_ext.h.
//
// While at least one stream is started an engine thread runs. Every period
// it takes one period of frames from each started stream (what is queued, at
// most a period; a stream that had less than a period queued counts an
// underrun), mixes them into the recording, and sets each started stream's
// event. A late wake-up does not make up the periods it missed, so a slow
// machine plays less but does not invent underruns.
#include "audio_internal.h"
#include "process_internal.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>
#include <utility>

namespace vks::audio {

std::atomic<DWORD> g_comObjects{0};
std::atomic<DWORD> g_mmcssTasks{0};

namespace {

// A SubFormat that is neither PCM nor float (the S/PDIF AC-3 subtype).
constexpr GUID kOtherSubFormat = {0x00000092, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71}};

struct Recording {
    int fd = -1;
    std::string path;
    MixFormat format;
    uint64_t dataBytes = 0;
    uint32_t headerBytes = 0;
};

// Never destroyed: the engine thread may outlive main.
struct Engine {
    std::mutex mutex;
    std::condition_variable changed;
    bool configRead = false;
    Config config;
    std::vector<Stream*> streams;
    DWORD open = 0;
    DWORD started = 0;
    bool threadRunning = false;
    ULONGLONG periods = 0;
    ULONGLONG framesPlayed = 0;
    ULONGLONG underruns = 0;
    Recording recording;
    std::vector<BYTE> mix;
    std::vector<float> accumulator;
};

Engine& E() {
    static Engine* engine = new Engine;
    return *engine;
}

const struct {
    const char* name;
    VKS_AUDIO_FORMAT_KIND kind;
} kFormatNames[] = {
    {"float32", VKS_AUDIO_FORMAT_FLOAT32}, {"float32-tag", VKS_AUDIO_FORMAT_FLOAT32_TAG},
    {"pcm16", VKS_AUDIO_FORMAT_PCM16},     {"pcm16-tag", VKS_AUDIO_FORMAT_PCM16_TAG},
    {"pcm8", VKS_AUDIO_FORMAT_PCM8},       {"unknown", VKS_AUDIO_FORMAT_UNKNOWN},
};

void Complain(const char* variable, const char* value) {
    char line[256];
    std::snprintf(line, sizeof line, "vksplatform: %s=%s is not understood; the default applies\n", variable, value);
    OutputDebugStringA(line);
}

bool ValidFormat(VKS_AUDIO_FORMAT_KIND kind, DWORD rate, WORD channels) {
    return kind >= VKS_AUDIO_FORMAT_FLOAT32 && kind <= VKS_AUDIO_FORMAT_UNKNOWN && rate >= 8000 && rate <= 384000 &&
           channels >= 1 && channels <= 8;
}

Config ConfigFromEnvironment() {
    Config c;
    if (const char* v = getenv("VKS_AUDIO_FORMAT"); v && *v) {
        // name[:rate[:channels]]
        std::string text(v);
        std::string name = text.substr(0, text.find(':'));
        bool ok = false;
        for (const auto& f : kFormatNames) {
            if (name == f.name) {
                c.kind = f.kind;
                ok = true;
            }
        }
        unsigned rate = c.rate, channels = c.channels;
        const size_t colon = text.find(':');
        if (ok && colon != std::string::npos) {
            const int n = std::sscanf(text.c_str() + colon + 1, "%u:%u", &rate, &channels);
            ok = n >= 1;
        }
        if (ok && ValidFormat(c.kind, rate, static_cast<WORD>(channels)) && channels <= 8) {
            c.rate = rate;
            c.channels = static_cast<WORD>(channels);
        } else {
            Complain("VKS_AUDIO_FORMAT", v);
            c.kind = VKS_AUDIO_FORMAT_FLOAT32;
        }
    }
    if (const char* v = getenv("VKS_AUDIO_PERIOD_MS"); v && *v) {
        char* end = nullptr;
        const double ms = std::strtod(v, &end);
        if (*end == '\0' && ms >= 1.0 && ms <= 1000.0) {
            c.period = static_cast<REFERENCE_TIME>(std::llround(ms * 10000.0));
        } else {
            Complain("VKS_AUDIO_PERIOD_MS", v);
        }
    }
    if (const char* v = getenv("VKS_AUDIO_ENDPOINT"); v && *v) {
        if (std::strcmp(v, "none") == 0) {
            c.present = false;
        } else if (std::strcmp(v, "default") != 0) {
            Complain("VKS_AUDIO_ENDPOINT", v);
        }
    }
    if (const char* v = getenv("VKS_AUDIO_RECORD")) c.record = v;
    return c;
}

Config& ConfigLocked() {
    Engine& e = E();
    if (!e.configRead) {
        e.config = ConfigFromEnvironment();
        e.configRead = true;
    }
    return e.config;
}

// --- Recording --------------------------------------------------------------------------------
void PutU32(BYTE* p, uint32_t v) { std::memcpy(p, &v, 4); }

void WriteAll(int fd, const void* data, size_t size, off_t offset) {
    const BYTE* p = static_cast<const BYTE*>(data);
    while (size > 0) {
        const ssize_t n = pwrite(fd, p, size, offset);
        if (n <= 0) return;
        p += n;
        size -= static_cast<size_t>(n);
        offset += n;
    }
}

// RIFF/WAVE header: the fmt chunk holds the format as the endpoint uses it
// (16 bytes for PCM, the whole WAVEFORMATEX or WAVEFORMATEXTENSIBLE else).
void WriteHeaderLocked(Recording& r) {
    BYTE header[12 + 8 + 40 + 8] = {};
    const uint32_t fmtBytes = r.format.wfx.Format.wFormatTag == WAVE_FORMAT_PCM ? 16u : static_cast<uint32_t>(r.format.Size());
    const uint32_t data = static_cast<uint32_t>(std::min<uint64_t>(r.dataBytes, 0xFFFFFFFFull - 64));
    std::memcpy(header, "RIFF", 4);
    PutU32(header + 4, 4 + 8 + fmtBytes + 8 + data);
    std::memcpy(header + 8, "WAVE", 4);
    std::memcpy(header + 12, "fmt ", 4);
    PutU32(header + 16, fmtBytes);
    std::memcpy(header + 20, r.format.Get(), fmtBytes);
    BYTE* d = header + 20 + fmtBytes;
    std::memcpy(d, "data", 4);
    PutU32(d + 4, data);
    r.headerBytes = 20 + fmtBytes + 8;
    WriteAll(r.fd, header, r.headerBytes, 0);
}

void CloseRecordingLocked(Recording& r) {
    if (r.fd >= 0) close(r.fd);
    r.fd = -1;
    r.dataBytes = 0;
}

bool OpenRecordingLocked(Engine& e) {
    Recording& r = e.recording;
    const std::string& path = ConfigLocked().record;
    if (path.empty()) return false;
    if (r.fd >= 0 && r.path == path) return true;
    CloseRecordingLocked(r);
    r.path = path;
    r.fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (r.fd < 0) {
        Complain("VKS_AUDIO_RECORD (cannot create)", path.c_str());
        r.path.clear();
        return false;
    }
    r.format = MakeFormat(ConfigLocked().kind, ConfigLocked().rate, ConfigLocked().channels);
    r.dataBytes = 0;
    WriteHeaderLocked(r);
    return true;
}

bool SameFormat(const MixFormat& a, const MixFormat& b) {
    return a.Size() == b.Size() && std::memcmp(a.Get(), b.Get(), a.Size()) == 0;
}

enum class SampleKind { Float32, Int16, UInt8, Other };

SampleKind KindOf(const MixFormat& f) {
    const WAVEFORMATEX& w = f.wfx.Format;
    GUID sub{};
    if (w.wFormatTag == WAVE_FORMAT_EXTENSIBLE) sub = f.wfx.SubFormat;
    const bool isFloat = w.wFormatTag == WAVE_FORMAT_IEEE_FLOAT ||
                         (w.wFormatTag == WAVE_FORMAT_EXTENSIBLE && sub == KSDATAFORMAT_SUBTYPE_IEEE_FLOAT);
    const bool isPcm = w.wFormatTag == WAVE_FORMAT_PCM ||
                       (w.wFormatTag == WAVE_FORMAT_EXTENSIBLE && sub == KSDATAFORMAT_SUBTYPE_PCM);
    if (isFloat && w.wBitsPerSample == 32) return SampleKind::Float32;
    if (isPcm && w.wBitsPerSample == 16) return SampleKind::Int16;
    if (isPcm && w.wBitsPerSample == 8) return SampleKind::UInt8;
    return SampleKind::Other;
}

// --- The clock ----------------------------------------------------------------------------------
// Takes up to `frames` frames from the stream into `out` (silence after
// what was queued). Returns the frames taken.
UINT32 TakeLocked(Stream* s, UINT32 frames, BYTE* out) {
    const UINT32 take = std::min(frames, s->queued);
    const UINT32 align = s->blockAlign;
    for (UINT32 done = 0; done < take;) {
        const UINT32 run = std::min(take - done, s->bufferFrames - s->readFrame);
        std::memcpy(out + static_cast<size_t>(done) * align, s->ring.data() + static_cast<size_t>(s->readFrame) * align,
                    static_cast<size_t>(run) * align);
        s->readFrame = (s->readFrame + run) % s->bufferFrames;
        done += run;
    }
    s->queued -= take;
    const BYTE silence = KindOf(s->format) == SampleKind::UInt8 ? 0x80 : 0;
    std::memset(out + static_cast<size_t>(take) * align, silence, static_cast<size_t>(frames - take) * align);
    return take;
}

void TickLocked(Engine& e, REFERENCE_TIME period) {
    const bool recording = OpenRecordingLocked(e);
    const MixFormat& recFormat = e.recording.format;
    const SampleKind kind = KindOf(recFormat);
    const UINT32 recFrames = static_cast<UINT32>(recFormat.wfx.Format.nSamplesPerSec * period / 10000000);
    const UINT32 recAlign = recFormat.wfx.Format.nBlockAlign;
    const size_t samples = static_cast<size_t>(recFrames) * recFormat.wfx.Format.nChannels;
    bool mixedAny = false;
    if (recording) {
        e.accumulator.assign(samples, 0.0f);
        e.mix.assign(static_cast<size_t>(recFrames) * recAlign, kind == SampleKind::UInt8 ? 0x80 : 0);
    }
    std::vector<BYTE> periodBytes;
    for (Stream* s : e.streams) {
        if (!s->started) continue;
        const UINT32 frames = static_cast<UINT32>(s->format.wfx.Format.nSamplesPerSec * period / 10000000);
        if (s->queued < frames) ++e.underruns;
        periodBytes.resize(static_cast<size_t>(frames) * s->blockAlign);
        e.framesPlayed += TakeLocked(s, frames, periodBytes.data());
        if (!recording || frames != recFrames || !SameFormat(s->format, recFormat)) continue;
        // Mixed as the endpoint would: samples add up, integers saturate.
        if (kind == SampleKind::Other) {
            if (!mixedAny) std::memcpy(e.mix.data(), periodBytes.data(), e.mix.size());
        } else {
            for (size_t i = 0; i < samples; ++i) {
                float v;
                if (kind == SampleKind::Float32) {
                    std::memcpy(&v, periodBytes.data() + i * 4, 4);
                } else if (kind == SampleKind::Int16) {
                    int16_t x;
                    std::memcpy(&x, periodBytes.data() + i * 2, 2);
                    v = x;
                } else {
                    v = static_cast<float>(periodBytes[i]) - 128.0f;
                }
                e.accumulator[i] += v;
            }
        }
        mixedAny = true;
    }
    ++e.periods;
    if (recording) {
        if (kind != SampleKind::Other) {
            for (size_t i = 0; i < samples; ++i) {
                const float v = e.accumulator[i];
                if (kind == SampleKind::Float32) {
                    std::memcpy(e.mix.data() + i * 4, &v, 4);
                } else if (kind == SampleKind::Int16) {
                    const int16_t x = static_cast<int16_t>(std::clamp(v, -32768.0f, 32767.0f));
                    std::memcpy(e.mix.data() + i * 2, &x, 2);
                } else {
                    e.mix[i] = static_cast<BYTE>(std::clamp(v, -128.0f, 127.0f) + 128.0f);
                }
            }
        }
        Recording& r = e.recording;
        WriteAll(r.fd, e.mix.data(), e.mix.size(), static_cast<off_t>(r.headerBytes + r.dataBytes));
        r.dataBytes += e.mix.size();
        WriteHeaderLocked(r);
    }
    for (Stream* s : e.streams) {
        if (s->started && s->event) SetEvent(s->event);
    }
    e.changed.notify_all();
}

void EngineThread() {
    Engine& e = E();
    using Clock = std::chrono::steady_clock;
    std::unique_lock<std::mutex> lock(e.mutex);
    const REFERENCE_TIME period = ConfigLocked().period;
    const auto step = std::chrono::microseconds(period / 10);
    auto next = Clock::now() + step;
    for (;;) {
        e.changed.wait_until(lock, next, [&] { return e.started == 0 || Clock::now() >= next; });
        if (e.started == 0) break;
        if (Clock::now() < next) continue;
        TickLocked(e, period);
        next += step;
        const auto now = Clock::now();
        if (now > next) next = now + step;
    }
    e.threadRunning = false;
    e.changed.notify_all();
}

template <class Pred>
BOOL WaitFor(DWORD milliseconds, Pred pred) {
    Engine& e = E();
    std::unique_lock<std::mutex> lock(e.mutex);
    if (milliseconds == INFINITE) {
        e.changed.wait(lock, pred);
        return TRUE;
    }
    return e.changed.wait_for(lock, std::chrono::milliseconds(milliseconds), pred) ? TRUE : FALSE;
}

}  // namespace

MixFormat MakeFormat(VKS_AUDIO_FORMAT_KIND kind, DWORD rate, WORD channels) {
    MixFormat f;
    WAVEFORMATEX& w = f.wfx.Format;
    WORD bits = 32;
    GUID sub = KSDATAFORMAT_SUBTYPE_IEEE_FLOAT;
    WORD tag = WAVE_FORMAT_EXTENSIBLE;
    switch (kind) {
        case VKS_AUDIO_FORMAT_FLOAT32: break;
        case VKS_AUDIO_FORMAT_FLOAT32_TAG: tag = WAVE_FORMAT_IEEE_FLOAT; break;
        case VKS_AUDIO_FORMAT_PCM16: bits = 16; sub = KSDATAFORMAT_SUBTYPE_PCM; break;
        case VKS_AUDIO_FORMAT_PCM16_TAG: bits = 16; tag = WAVE_FORMAT_PCM; break;
        case VKS_AUDIO_FORMAT_PCM8: bits = 8; tag = WAVE_FORMAT_PCM; break;
        case VKS_AUDIO_FORMAT_UNKNOWN: sub = kOtherSubFormat; break;
    }
    w.wFormatTag = tag;
    w.nChannels = channels;
    w.nSamplesPerSec = rate;
    w.wBitsPerSample = bits;
    w.nBlockAlign = static_cast<WORD>(channels * bits / 8);
    w.nAvgBytesPerSec = rate * w.nBlockAlign;
    w.cbSize = 0;
    if (tag == WAVE_FORMAT_EXTENSIBLE) {
        w.cbSize = sizeof(WAVEFORMATEXTENSIBLE) - sizeof(WAVEFORMATEX);
        f.wfx.Samples.wValidBitsPerSample = bits;
        f.wfx.dwChannelMask = channels == 1   ? KSAUDIO_SPEAKER_MONO
                              : channels == 2 ? KSAUDIO_SPEAKER_STEREO
                                              : (1u << channels) - 1;
        f.wfx.SubFormat = sub;
    }
    return f;
}

Config CurrentConfig() {
    std::lock_guard<std::mutex> lock(E().mutex);
    return ConfigLocked();
}

std::mutex& EngineMutex() { return E().mutex; }

void RegisterStream(Stream* stream) {
    {
        Engine& e = E();
        std::lock_guard<std::mutex> lock(e.mutex);
        e.streams.push_back(stream);
        stream->registered = true;
        ++e.open;
        e.changed.notify_all();
    }
    process::AddSessionStream(stream->session, +1);
}

void UnregisterStream(Stream* stream) {
    HANDLE event = nullptr;
    {
        Engine& e = E();
        std::lock_guard<std::mutex> lock(e.mutex);
        if (!stream->registered) return;
        if (stream->started) StreamStartedLocked(stream, false);
        e.streams.erase(std::remove(e.streams.begin(), e.streams.end(), stream), e.streams.end());
        stream->registered = false;
        --e.open;
        event = std::exchange(stream->event, nullptr);
        e.changed.notify_all();
    }
    if (event) CloseHandle(event);
    process::AddSessionStream(stream->session, -1);
}

void StreamStartedLocked(Stream* stream, bool started) {
    Engine& e = E();
    stream->started = started;
    if (started) {
        ++e.started;
        if (!e.threadRunning) {
            e.threadRunning = true;
            std::thread(EngineThread).detach();
        }
    } else {
        --e.started;
    }
    e.changed.notify_all();
}

}  // namespace vks::audio

namespace vks::process {

void AudioEnvironmentForChild(char* buffer, size_t size) noexcept {
    if (size == 0) return;
    buffer[0] = '\0';
    const audio::Config c = audio::CurrentConfig();
    if (!c.overridden) return;
    const char* name = "float32";
    for (const auto& f : audio::kFormatNames) {
        if (f.kind == c.kind) name = f.name;
    }
    std::snprintf(buffer, size, "VKS_AUDIO_FORMAT=%s:%u:%u\nVKS_AUDIO_PERIOD_MS=%.4f\nVKS_AUDIO_ENDPOINT=%s\n", name,
                  static_cast<unsigned>(c.rate), static_cast<unsigned>(c.channels), c.period / 10000.0,
                  c.present ? "default" : "none");
}

}  // namespace vks::process

using namespace vks::audio;

extern "C" {

BOOL VksAudioSetFormat(VKS_AUDIO_FORMAT_KIND kind, DWORD samplesPerSec, WORD channels) {
    if (samplesPerSec == 0) samplesPerSec = 48000;
    if (channels == 0) channels = 2;
    if (!ValidFormat(kind, samplesPerSec, channels)) return FALSE;
    std::lock_guard<std::mutex> lock(E().mutex);
    Config& c = ConfigLocked();
    c.kind = kind;
    c.rate = samplesPerSec;
    c.channels = channels;
    c.overridden = true;
    return TRUE;
}

BOOL VksAudioSetPeriod(REFERENCE_TIME hnsPeriod) {
    if (hnsPeriod < 10000 || hnsPeriod > 10000000) return FALSE;
    std::lock_guard<std::mutex> lock(E().mutex);
    Config& c = ConfigLocked();
    c.period = hnsPeriod;
    c.overridden = true;
    return TRUE;
}

void VksAudioSetActivateGate(HANDLE gate) {
    std::lock_guard<std::mutex> lock(E().mutex);
    ConfigLocked().activateGate = gate;
}

void VksAudioSetEndpointPresent(BOOL present) {
    std::lock_guard<std::mutex> lock(E().mutex);
    Config& c = ConfigLocked();
    c.present = present != FALSE;
    c.overridden = true;
}

BOOL VksAudioSetRecordFile(const char* path) {
    std::lock_guard<std::mutex> lock(E().mutex);
    ConfigLocked().record = path ? path : "";
    CloseRecordingLocked(E().recording);
    E().recording.path.clear();
    return TRUE;
}

void VksAudioResetConfiguration(void) {
    std::lock_guard<std::mutex> lock(E().mutex);
    E().config = ConfigFromEnvironment();
    E().configRead = true;
    CloseRecordingLocked(E().recording);
    E().recording.path.clear();
}

void VksAudioGetStats(VKS_AUDIO_STATS* stats) {
    if (!stats) return;
    Engine& e = E();
    std::lock_guard<std::mutex> lock(e.mutex);
    stats->periods = e.periods;
    stats->framesPlayed = e.framesPlayed;
    stats->underruns = e.underruns;
    stats->streamsOpen = e.open;
    stats->streamsStarted = e.started;
    stats->mmcssTasks = g_mmcssTasks.load();
    stats->comObjects = g_comObjects.load();
    stats->comThreads = ComThreadCount();
}

void VksAudioResetCounters(void) {
    Engine& e = E();
    std::lock_guard<std::mutex> lock(e.mutex);
    e.periods = 0;
    e.framesPlayed = 0;
    e.underruns = 0;
}

DWORD VksAudioSessionStreamCount(const GUID* session) {
    const GUID none{};
    return vks::process::SessionStreamCount(session ? *session : none);
}

BOOL VksAudioWaitPeriods(ULONGLONG periods, DWORD milliseconds) {
    return WaitFor(milliseconds, [&] { return E().periods >= periods; });
}
BOOL VksAudioWaitFramesPlayed(ULONGLONG frames, DWORD milliseconds) {
    return WaitFor(milliseconds, [&] { return E().framesPlayed >= frames; });
}
BOOL VksAudioWaitUnderruns(ULONGLONG underruns, DWORD milliseconds) {
    return WaitFor(milliseconds, [&] { return E().underruns >= underruns; });
}
BOOL VksAudioWaitStreamsStarted(DWORD streams, DWORD milliseconds) {
    return WaitFor(milliseconds, [&] { return E().started == streams; });
}

BOOL VksAudioWaitSessionStreamCount(const GUID* session, DWORD count, DWORD milliseconds) {
    vks::process::SharedBlock* block = vks::process::Shared();
    const GUID none{};
    const GUID& g = session ? *session : none;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
    for (;;) {
        const uint32_t seen = block ? block->changes.load(std::memory_order_acquire) : 0;
        if (vks::process::SessionStreamCount(g) == count) return TRUE;
        DWORD wait = INFINITE;
        if (milliseconds != INFINITE) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
            if (left.count() <= 0) return FALSE;
            wait = static_cast<DWORD>(left.count());
        }
        if (!block) return FALSE;
        // A process that ends without a reaper in the tree changes no word:
        // look again at least every 100 ms.
        vks::process::WaitForChange(block, seen, std::min<DWORD>(wait, 100));
    }
}

}  // extern "C"
