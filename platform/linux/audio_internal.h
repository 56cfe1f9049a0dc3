// Internals of the simulated audio endpoint: its configuration, the engine
// that plays the started streams in real time, and the stream records the
// audio clients keep. Internal: not installed.
//
// Locking: one engine mutex guards the configuration, every stream record
// and the counters. It is taken before the kernel lock (the engine sets the
// streams' events while holding it), never after.
#pragma once

#include "vks_win32/audio_ext.h"
#include "vks_win32/kernel.h"
#include "vks_win32/strings.h"

#include <atomic>
#include <mutex>
#include <string>
#include <vector>

namespace vks::audio {

// A mix format as the endpoint hands it out: 18 bytes, or 40 for
// WAVE_FORMAT_EXTENSIBLE.
struct MixFormat {
    WAVEFORMATEXTENSIBLE wfx{};
    size_t Size() const { return sizeof(WAVEFORMATEX) + wfx.Format.cbSize; }
    const WAVEFORMATEX* Get() const { return &wfx.Format; }
};

struct Config {
    VKS_AUDIO_FORMAT_KIND kind = VKS_AUDIO_FORMAT_FLOAT32;
    DWORD rate = 48000;
    WORD channels = 2;
    REFERENCE_TIME period = 100000;  // 10 ms
    bool present = true;
    std::string record;  // WAV file path; empty: no recording
    bool overridden = false;  // changed through audio_ext.h since the environment was read
    HANDLE activateGate = nullptr;  // IMMDevice::Activate waits for it (tests; never inherited)
};

MixFormat MakeFormat(VKS_AUDIO_FORMAT_KIND kind, DWORD rate, WORD channels);
// The configuration now (read from the environment on first use).
Config CurrentConfig();

// One initialised audio client. Fields are guarded by the engine mutex,
// except writeArea's bytes between GetBuffer and ReleaseBuffer, which belong
// to the caller.
struct Stream {
    MixFormat format;
    REFERENCE_TIME period = 0;
    UINT32 blockAlign = 0;
    UINT32 periodFrames = 0;
    UINT32 bufferFrames = 0;
    std::vector<BYTE> ring;  // bufferFrames frames of queued audio
    UINT32 readFrame = 0;
    UINT32 queued = 0;  // the padding
    std::vector<BYTE> writeArea;  // what GetBuffer hands out
    bool pending = false;
    UINT32 pendingFrames = 0;
    bool eventDriven = false;
    bool started = false;
    HANDLE event = nullptr;  // our duplicate of the caller's event
    GUID session{};
    bool registered = false;
};

// Engine entry points; each takes the engine mutex itself unless named Locked.
void RegisterStream(Stream* stream);    // after Initialize
void UnregisterStream(Stream* stream);  // when the client goes away
std::mutex& EngineMutex();
// Under the engine mutex: a stream was started or stopped.
void StreamStartedLocked(Stream* stream, bool started);

// Counters of live objects.
extern std::atomic<DWORD> g_comObjects;
extern std::atomic<DWORD> g_mmcssTasks;

// com.cpp: threads with COM initialised, and whether the calling one is.
DWORD ComThreadCount() noexcept;
bool ComInitializedOnThisThread() noexcept;

// audio_client.cpp: the enumerator behind CoCreateInstance.
HRESULT CreateDeviceEnumerator(REFIID riid, void** ppv);

}  // namespace vks::audio
