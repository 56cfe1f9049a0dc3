// The Linux layer's controls of its simulated audio endpoint. Windows sound
// goes to the real default endpoint, which has none of them: in the Windows
// test programs (tests/windows/test_hooks.cpp) the settings fail (FALSE) or do
// nothing, the counters stay at zero and the waits fail at once. The tests
// that need them are in tests/windows/wine_exclusions.txt.
#pragma once

#include <windows.h>
#include <audioclient.h>

extern "C" {

typedef enum VKS_AUDIO_FORMAT_KIND {
    VKS_AUDIO_FORMAT_FLOAT32 = 0,      // WAVE_FORMAT_EXTENSIBLE, IEEE float, 32 bits (the default)
    VKS_AUDIO_FORMAT_FLOAT32_TAG = 1,  // WAVE_FORMAT_IEEE_FLOAT, 32 bits
    VKS_AUDIO_FORMAT_PCM16 = 2,        // WAVE_FORMAT_EXTENSIBLE, PCM, 16 bits
    VKS_AUDIO_FORMAT_PCM16_TAG = 3,    // WAVE_FORMAT_PCM, 16 bits
    VKS_AUDIO_FORMAT_PCM8 = 4,         // WAVE_FORMAT_PCM, 8 bits (unsigned samples)
    VKS_AUDIO_FORMAT_UNKNOWN = 5,      // WAVE_FORMAT_EXTENSIBLE, 32 bits, a SubFormat that is neither PCM nor float
} VKS_AUDIO_FORMAT_KIND;

// The shared-mode mix format: a kind, a rate (0 keeps 48000) and a channel
// count (0 keeps 2; at most 8). FALSE for values out of range.
BOOL VksAudioSetFormat(VKS_AUDIO_FORMAT_KIND kind, DWORD samplesPerSec, WORD channels);
// The default device period in 100-ns units (at least 1 ms, at most 1 s).
BOOL VksAudioSetPeriod(REFERENCE_TIME hnsPeriod);
// FALSE: GetDefaultAudioEndpoint fails with E_NOTFOUND.
void VksAudioSetEndpointPresent(BOOL present);
// Makes IMMDevice::Activate in this process wait until the event is set
// (null: no wait), so that tests can hold a stream's opening at a known
// point. Not passed on to child processes.
void VksAudioSetActivateGate(HANDLE gate);
// Records what the endpoint plays into a WAV file (UTF-8 path; null stops
// recording). The file is created (truncated) when the endpoint next plays.
BOOL VksAudioSetRecordFile(const char* path);
// Back to the configuration of the environment.
void VksAudioResetConfiguration(void);

typedef struct VKS_AUDIO_STATS {
    ULONGLONG periods;       // engine periods processed with at least one stream started
    ULONGLONG framesPlayed;  // stream frames consumed by the engine (summed over streams)
    ULONGLONG underruns;     // periods in which a started stream had less than a period queued
    DWORD streamsOpen;       // initialised audio clients in this process
    DWORD streamsStarted;    // of them, started
    DWORD mmcssTasks;        // threads registered with AvSetMmThreadCharacteristicsW, not yet reverted
    DWORD comObjects;        // audio objects (enumerators, devices, clients, render clients) alive
    DWORD comThreads;        // threads of this process with COM initialised
} VKS_AUDIO_STATS;
void VksAudioGetStats(VKS_AUDIO_STATS* stats);
// Sets periods, framesPlayed and underruns back to 0.
void VksAudioResetCounters(void);

// Initialised audio clients of a session, in this process and in every
// process of its tree (processes started with CreateProcessW share one count).
DWORD VksAudioSessionStreamCount(const GUID* session);

// Waits until a counter reaches a value: TRUE when it did, FALSE after the
// time-out (INFINITE for none).
BOOL VksAudioWaitPeriods(ULONGLONG periods, DWORD milliseconds);
BOOL VksAudioWaitFramesPlayed(ULONGLONG frames, DWORD milliseconds);
BOOL VksAudioWaitUnderruns(ULONGLONG underruns, DWORD milliseconds);
BOOL VksAudioWaitStreamsStarted(DWORD streams, DWORD milliseconds);
// Waits until the session's count (as VksAudioSessionStreamCount) equals `count`.
BOOL VksAudioWaitSessionStreamCount(const GUID* session, DWORD count, DWORD milliseconds);
}
