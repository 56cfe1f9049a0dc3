// The per-decoder audio render thread: a shared-mode, event-driven render
// stream in the decoder's audio session, fed straight from the decoder once
// per endpoint period. The subsystem reports in HRESULTs.
#pragma once

#include "vks_platform.h"
#include "vksacc.h"

#include <atomic>
#include <memory>

namespace Velantis::VKS {
class AudioHelperProcess;
}

// One per decoder with audio; owned by the decoder's handle record.
struct VKSAUDIOTHREAD {
    HANDLE hThread;
    HANDLE hEventThreadStart;  // auto-reset: configuration has ended
    HANDLE hEventThreadStop;   // manual-reset: set by AudioThreadDestroy
    DWORD dwThreadId;
    std::atomic<HRESULT> Result;  // the configuration result, then the thread's final result
    std::atomic<DWORD> State;     // 0 to 5
    GUID SessionGuid;
    WAVEFORMATEX* pFormat;   // the render stream's format (heap copy)
    HANDLE hEventSourceSet;  // auto-reset: the decoder's stream carries audio
    HVKS hVKSDec;
};
typedef VKSAUDIOTHREAD* PVKSAUDIOTHREAD;
typedef PVKSAUDIOTHREAD* PPVKSAUDIOTHREAD;

// The audio thread's working record; the helper process opens its stream
// with the same record and leaves the fields after the first six empty.
struct AudioStreamContext {
    IMMDevice* pDevice;
    IAudioClient* pAudioClient;
    IAudioRenderClient* pRenderClient;
    HANDLE hEventBufferReady;  // auto-reset, given to the client
    GUID EventContextGuid;
    UINT32 BufferFrameCount;
    HANDLE hEventDataBuffered;  // auto-reset, signalled by the decoder
    HANDLE hEventDataReady;     // manual-reset, signalled by the decoder
    HANDLE hAvrt;
    DWORD AvrtTaskIndex;
    std::shared_ptr<Velantis::VKS::AudioHelperProcess> HelperProcess;
    BOOL bComInitialised;  // the stream open's CoInitialize succeeded
    BOOL bOverReportLogged;  // a frames-written count beyond the frames asked was logged
};

enum AudioWaitType : DWORD { AudioWaitDataBuffered = 0, AudioWaitDataAvailable = 1, AudioWaitBufferReady = 2 };

// States of VKSAUDIOTHREAD.
enum : DWORD {
    kAudioStateCreated = 0,
    kAudioStateConfiguring = 1,
    kAudioStateConfigured = 2,
    kAudioStateRendering = 3,
    kAudioStateStopping = 4,
    kAudioStateStopped = 5,
};

// Creates the decoder's audio thread and waits (10 s at most) until it has
// configured itself; then tells the decoder the format. *ppThread must be null;
// it receives the record whenever one was made, success or not.
HRESULT AudioThreadCreate(PPVKSAUDIOTHREAD ppThread, HVKS hVKSDec, VKSGUID* pSessionGuid);
// Stops the thread if it runs, closes and frees everything, nulls *ppThread.
HRESULT AudioThreadDestroy(PPVKSAUDIOTHREAD ppThread);
// Wakes the thread: the decoder's stream carries audio.
HRESULT AudioThreadNotifyAudioAvailable(PVKSAUDIOTHREAD thread);

// Opens the render stream (shared with the helper process, which passes a
// null ppFormat), and closes it.
HRESULT AudioThreadWASAPIStreamOpen(AudioStreamContext* context, const GUID* pSessionGuid, WAVEFORMATEX** ppFormat);
void AudioThreadWASAPIStreamClose(AudioStreamContext* context);

// The fill with its retry rule (exposed for the benchmark and tests).
HRESULT AudioThreadLoadData(AudioStreamContext* context, PVKSAUDIOTHREAD thread);

// Closes a handle if set (a failure is logged) and clears it.
void SafeCloseHandle(HANDLE& handle);

// The session GUID a record uses.
inline const GUID& AudioThreadSessionGuid(const VKSAUDIOTHREAD* thread) { return thread->SessionGuid; }
