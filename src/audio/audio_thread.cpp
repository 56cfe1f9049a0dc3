#include "audio/audio_thread.h"

#include "audio/audio_bridge.h"
#include "audio/audio_format.h"
#include "audio/audio_helper_process.h"
#include "core/log.h"

#include <cstdlib>
#include <cstring>
#include <new>

namespace {

using Velantis::VKS::AudioHelperProcessManager;

// The render stream: cross-process, event-driven, not persisted, in a session
// that expires with its last stream and hides itself then.
constexpr DWORD kStreamFlags = AUDCLNT_STREAMFLAGS_CROSSPROCESS | AUDCLNT_STREAMFLAGS_EVENTCALLBACK |
                               AUDCLNT_STREAMFLAGS_NOPERSIST | AUDCLNT_SESSIONFLAGS_EXPIREWHENUNOWNED |
                               AUDCLNT_SESSIONFLAGS_DISPLAY_HIDEWHENEXPIRED;
static_assert(kStreamFlags == 0x500D0000, "stream and session flags");

// How long a decoder open waits for the render thread to set up its stream.
// Configuration's own waits are short (250 ms for the helper), but the first
// activation of an endpoint in a process loads the system's audio stack and
// can take seconds on a loaded machine; a shorter wait would open the
// decoder without sound although the endpoint is fine. Bounded all the same:
// an endpoint that never answers must not hold up the open for good.
constexpr DWORD kThreadStartWaitMs = 10000;
constexpr HRESULT kNotFound = HRESULT_FROM_WIN32(ERROR_NOT_FOUND);
static_assert(static_cast<DWORD>(kNotFound) == 0x80070490u, "ERROR_NOT_FOUND as an HRESULT");

const WCHAR kEmpty[] = WSTR("");

DWORD Tid() { return GetCurrentThreadId(); }

// Every "...%s Result:0x%08X. LastError:0x%08X. Thread:%08X\n" failure line.
void LogFailure(const WCHAR* format, HRESULT hr) {
    const DWORD lastError = GetLastError();
    LogError(format, kEmpty, static_cast<DWORD>(hr), lastError, Tid());
}

bool IsNullGuid(const GUID& guid) {
    static const GUID kNull{};
    return std::memcmp(&guid, &kNull, sizeof(GUID)) == 0;
}

template <typename T>
void ReleaseAndClear(T*& object) {
    if (object != nullptr) object->Release();
    object = nullptr;
}

HRESULT AudioThreadGUIDCreate(GUID* guid, const WCHAR* label) {
    const WCHAR* action = WSTR("Reusing");
    if (IsNullGuid(*guid)) {
        const HRESULT hr = CoCreateGuid(guid);
        if (FAILED(hr)) {
            LogFailure(WSTR("AudioThreadGUIDCreate: CoCreateGuid Failed.%s Result:0x%08X. LastError:0x%08X. Thread:%08X\n"), hr);
            return hr;
        }
        action = WSTR("Generated");
    }
    const GuidText text = FormatGuid(*guid);
    LogNotification(WSTR("AudioThreadGUIDCreate: %s %s: %s. Thread:%08X\n"), action, label, text.Text, Tid());
    return S_OK;
}

HRESULT AudioThreadConfigureFormat(IAudioClient* client, WAVEFORMATEX** copy) {
    if (client == nullptr) {
        LogFailure(WSTR("AudioThreadConfigureFormat: Invalid IAudioClient pointer.%s Result:0x%08X. LastError:0x%08X. Thread:%08X\n"),
                   E_POINTER);
        return E_POINTER;
    }
    WAVEFORMATEX* mix = nullptr;
    HRESULT hr = client->GetMixFormat(&mix);
    if (FAILED(hr)) {
        LogFailure(WSTR("AudioThreadConfigureFormat: GetMixFormat Failed.%s Result:0x%08X. LastError:0x%08X. Thread:%08X\n"), hr);
        return hr;
    }
    DumpWaveFormat(WSTR("AudioThreadConfigureFormat: Selected Format:"), mix);
    if (mix == nullptr) {
        hr = S_FALSE;
    } else {
        std::free(*copy);
        *copy = nullptr;
        const size_t bytes = sizeof(WAVEFORMATEX) + mix->cbSize;
        auto* made = static_cast<WAVEFORMATEX*>(std::malloc(bytes));
        if (made == nullptr) {
            hr = E_OUTOFMEMORY;
            LogFailure(WSTR("AudioThreadConfigureFormat: Use Mix Format Failed.%s Result:0x%08X. LastError:0x%08X. Thread:%08X\n"), hr);
        } else {
            std::memcpy(made, mix, bytes);
            *copy = made;
        }
    }
    CoTaskMemFree(mix);
    return hr;
}

HRESULT AudioThreadGetRequiredFormat(const VKSAUDIOTHREAD* thread, AudioRequiredFormat* required) {
    if (thread == nullptr || required == nullptr) return E_INVALIDARG;
    if (thread->pFormat == nullptr) return E_PENDING;
    FillRequiredFormat(thread->pFormat, required);
    return S_OK;
}

const WCHAR* WaitTypeName(DWORD type) {
    switch (type) {
        case AudioWaitDataBuffered: return WSTR("DataBuffered");
        case AudioWaitDataAvailable: return WSTR("DataAvailable");
        case AudioWaitBufferReady: return WSTR("BufferReady");
        default: return WSTR("NULL");
    }
}

HRESULT AudioThreadWaitForEventOrStop(HANDLE event, HANDLE stop, DWORD timeout, const WCHAR* name) {
    LogVerbose(WSTR("AudioThreadWaitForEventOrStop: ENTER. Event:%p (%s). hEventThreadStop:%p. Thread:%08X\n"), event,
               name, stop, Tid());
    // The stop event comes first so that it wins when both are set.
    const HANDLE handles[2] = {stop, event};
    const DWORD result = WaitForMultipleObjects(2, handles, FALSE, timeout);
    HRESULT hr;
    if (result == WAIT_OBJECT_0) {
        LogNotification(WSTR("AudioThreadWaitForEventOrStop: Thread Stop Event whilst waiting for %s Event. Thread:%08X\n"),
                        name, Tid());
        hr = E_ABORT;
    } else if (result == WAIT_OBJECT_0 + 1) {
        LogVerbose(WSTR("AudioThreadWaitForEventOrStop: %s Event occurred. Thread:%08X\n"), name, Tid());
        hr = S_OK;
    } else {
        LogError(WSTR("AudioThreadWaitForEventOrStop: Wait for %s failed with result: 0x%08X. LastError:0x%08X. Thread:%08X\n"),
                 name, result, GetLastError(), Tid());
        hr = E_FAIL;
    }
    LogVerbose(WSTR("AudioThreadWaitForEventOrStop: EXIT. Event:%p (%s). Thread:%08X\n"), event, name, Tid());
    return hr;
}

HRESULT AudioThreadWaitForEvent(AudioStreamContext* context, VKSAUDIOTHREAD* thread, DWORD type) {
    LogVerbose(WSTR("AudioThreadWaitForEvent: ENTER. type:%d Thread:%08X\n"), static_cast<int>(type), Tid());
    HANDLE event = nullptr;
    DWORD timeout = 0;
    switch (type) {
        case AudioWaitDataBuffered: event = context->hEventDataBuffered; timeout = INFINITE; break;
        case AudioWaitDataAvailable: event = context->hEventDataReady; timeout = INFINITE; break;
        case AudioWaitBufferReady: event = context->hEventBufferReady; timeout = INFINITE; break;
        default: break;
    }
    const HRESULT hr = AudioThreadWaitForEventOrStop(event, thread->hEventThreadStop, timeout, WaitTypeName(type));
    LogVerbose(WSTR("AudioThreadWaitForEvent: EXIT. type:%d Thread:%08X\n"), static_cast<int>(type), Tid());
    return hr;
}

HRESULT AudioThreadWaitForAudioAvailable(VKSAUDIOTHREAD* thread) {
    LogTrace(WSTR("AudioThreadWaitForAudioAvailable: ENTER. Thread:%08X\n"), Tid());
    const HRESULT hr =
        AudioThreadWaitForEventOrStop(thread->hEventSourceSet, thread->hEventThreadStop, INFINITE, WSTR("AudioAvailable"));
    if (SUCCEEDED(hr)) {
        LogNotification(WSTR("AudioThreadWaitForAudioAvailable: Source Set. Result:0x%08X. Thread:%08X\n"),
                        static_cast<DWORD>(hr), Tid());
    }
    LogTrace(WSTR("AudioThreadWaitForAudioAvailable: EXIT. Thread:%08X\n"), Tid());
    return hr;
}

HRESULT AudioThreadAVRTPrioritySet(AudioStreamContext* context) {
    LogTrace(WSTR("AudioThreadAVRTPrioritySet: ENTER. Thread:%08X\n"), Tid());
    HRESULT hr = S_OK;
    context->hAvrt = AvSetMmThreadCharacteristicsW(WSTR("Pro Audio"), &context->AvrtTaskIndex);
    if (context->hAvrt == nullptr) {
        hr = E_FAIL;
        LogFailure(WSTR("AudioThreadAVRTPrioritySet: Failed to set thread priority.%s Result:0x%08X. LastError:0x%08X. Thread:%08X\n"), hr);
    } else {
        LogNotification(WSTR("AudioThreadAVRTPrioritySet: Successfully set thread priority. Thread:%08X\n"), Tid());
    }
    LogTrace(WSTR("AudioThreadAVRTPrioritySet: EXIT. Result:0x%08X. Thread:%08X\n"), static_cast<DWORD>(hr), Tid());
    return hr;
}

HRESULT AudioThreadAVRTPriorityRevert(AudioStreamContext* context) {
    LogTrace(WSTR("AudioThreadAVRTPriorityRevert: ENTER. Thread:%08X\n"), Tid());
    HRESULT hr = S_FALSE;
    if (context->hAvrt != nullptr) {
        if (AvRevertMmThreadCharacteristics(context->hAvrt)) {
            hr = S_OK;
            LogNotification(WSTR("AudioThreadAVRTPriorityRevert: Successfully reverted thread priority. Thread:%08X\n"), Tid());
        } else {
            hr = E_FAIL;
            LogFailure(WSTR("AudioThreadAVRTPriorityRevert: Failed to revert thread priority.%s Result:0x%08X. LastError:0x%08X. Thread:%08X\n"), hr);
        }
        context->hAvrt = nullptr;
    }
    LogTrace(WSTR("AudioThreadAVRTPriorityRevert: EXIT. Result:0x%08X. Thread:%08X\n"), static_cast<DWORD>(hr), Tid());
    return hr;
}

HRESULT AudioThreadNotifyPlaybackLatency(AudioStreamContext* context, VKSAUDIOTHREAD* thread) {
    const DWORD latency = AudioPlaybackLatencyMs(thread->pFormat->nSamplesPerSec, context->BufferFrameCount);
    const HRESULT hr = HResultFromVKSError(VKSAccAudioSetLatency(thread->hVKSDec, latency));
    LogTrace(WSTR("AudioThreadNotifyPlaybackLatency: Latency:%ums. Result:0x%08X. Thread:%08X\n"), latency,
             static_cast<DWORD>(hr), Tid());
    return hr;
}

HRESULT AudioThreadRequestAudioStart(AudioStreamContext* context, VKSAUDIOTHREAD* thread) {
    const AudioStartFrames frames = AudioStartFrameCounts(thread->pFormat->nSamplesPerSec, context->BufferFrameCount);
    const VKSERROR code =
        VKSAccAudioRequestAudioStart(thread->hVKSDec, thread->pFormat->nBlockAlign, frames.Frames500, frames.Frames250,
                                     frames.Frames250PlusBuffer, context->hEventDataReady, context->hEventDataBuffered);
    const HRESULT hr = HResultFromVKSError(code);
    LogNotification(WSTR("AudioThreadRequestAudioStart: Request Data Stream Start. Result:0x%08X VKSERROR:0x%08X. Thread:%08X\n"),
                    static_cast<DWORD>(hr), code, Tid());
    return hr;
}

HRESULT AudioThreadRequestAudioStop(VKSAUDIOTHREAD* thread) {
    const HRESULT hr = HResultFromVKSError(VKSAccAudioRequestAudioStop(thread->hVKSDec));
    LogNotification(WSTR("AudioThreadRequestAudioStop: Request Data Stream Stop. Result:0x%08X. Thread:%08X\n"),
                    static_cast<DWORD>(hr), Tid());
    return hr;
}

HRESULT AudioThreadRenderStart(AudioStreamContext* context) {
    const HRESULT hr = context->pAudioClient->Start();
    LogNotification(WSTR("AudioThreadRenderStart: Thread:%08X\n"), Tid());
    return hr;
}

HRESULT AudioThreadGetBufferAvailable(AudioStreamContext* context, UINT32* frames) {
    UINT32 padding = 0;
    const HRESULT hr = context->pAudioClient->GetCurrentPadding(&padding);
    if (FAILED(hr)) {
        LogFailure(WSTR("AudioThreadGetBufferAvailable: AudioThreadGetBufferAvailable: GetCurrentPadding Failed.%s Result:0x%08X. LastError:0x%08X. Thread:%08X\n"), hr);
        return hr;
    }
    *frames = context->BufferFrameCount - padding;
    return hr;
}

HRESULT AudioThreadLoadDecodedAudio(VKSAUDIOTHREAD* thread, BYTE* buffer, UINT32 frames, DWORD* written) {
    const VKSERROR code =
        VKSAccAudioLoadData(thread->hVKSDec, buffer, thread->pFormat->nBlockAlign * frames, frames, written);
    if (code == VKSERROR_NO_ERROR) return S_OK;
    const HRESULT hr = HResultFromVKSError(code);
    if (FAILED(hr)) {
        const DWORD lastError = GetLastError();
        LogError(WSTR("AudioThreadLoadDecodedAudio: Failed to get %d frames from source. Result:0x%08X. LastError:0x%08X. Thread:%08X\n"),
                 static_cast<int>(frames), static_cast<DWORD>(hr), lastError, Tid());
    }
    return hr;
}

void AudioThreadDeconfigure(AudioStreamContext* context) {
    LogTrace(WSTR("AudioThreadDeconfigure: ENTER. Thread:%08X\n"), Tid());
    AudioThreadWASAPIStreamClose(context);
    SafeCloseHandle(context->hEventDataReady);
    SafeCloseHandle(context->hEventDataBuffered);
    LogTrace(WSTR("AudioThreadDeconfigure: EXIT. Thread:%08X\n"), Tid());
}

HRESULT AudioThreadConfigure(AudioStreamContext* context, VKSAUDIOTHREAD* thread) {
    LogTrace(WSTR("AudioThreadConfigure: ENTER. Thread:%08X\n"), Tid());
    HRESULT hr = AudioThreadGUIDCreate(&thread->SessionGuid, WSTR("Session GUID"));
    if (FAILED(hr)) {
        LogFailure(WSTR("AudioThreadConfigure: : Failed to create AudioSessionGUID.%s Result:0x%08X. LastError:0x%08X. Thread:%08X\n"), hr);
    }
    if (SUCCEEDED(hr)) {
        context->HelperProcess = AudioHelperProcessManager::Instance().GetSessionProcess(thread->SessionGuid);
        if (!context->HelperProcess) {
            hr = E_FAIL;
            LogFailure(WSTR("AudioThreadConfigure: Failed to get helper process for session.%s Result:0x%08X. LastError:0x%08X. Thread:%08X\n"), hr);
        }
    }
    if (SUCCEEDED(hr) && !context->HelperProcess->WaitForProcessStart()) {
        hr = E_FAIL;
        LogFailure(WSTR("AudioThreadConfigure: Error waiting for helper process to start.%s Result:0x%08X. LastError:0x%08X. Thread:%08X\n"), hr);
    }
    if (SUCCEEDED(hr)) {
        hr = AudioThreadWASAPIStreamOpen(context, &thread->SessionGuid, &thread->pFormat);
        if (FAILED(hr)) {
            LogFailure(WSTR("AudioThreadConfigure: Failed to open stream.%s Result:0x%08X. LastError:0x%08X. Thread:%08X\n"), hr);
        }
    }
    if (SUCCEEDED(hr)) {
        context->hEventDataReady = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        if (context->hEventDataReady == nullptr) {
            hr = E_FAIL;
            LogFailure(WSTR("AudioThreadConfigure: Failed to create Data Ready Event.%s Result:0x%08X. LastError:0x%08X. Thread:%08X\n"), hr);
        }
    }
    if (SUCCEEDED(hr)) {
        context->hEventDataBuffered = CreateEventW(nullptr, FALSE, FALSE, nullptr);
        if (context->hEventDataBuffered == nullptr) {
            hr = E_FAIL;
            LogFailure(WSTR("AudioThreadConfigure: Failed to create Data Buffered Event.%s Result:0x%08X. LastError:0x%08X. Thread:%08X\n"), hr);
        }
    }
    if (FAILED(hr)) {
        LogError(WSTR("AudioThreadConfigure: Failed - Result:0x%08X. Thread:%08X\n"), static_cast<DWORD>(hr), Tid());
        AudioThreadDeconfigure(context);
        std::free(thread->pFormat);
        thread->pFormat = nullptr;
    }
    LogTrace(WSTR("AudioThreadConfigure: EXIT. Thread:%08X\n"), Tid());
    return hr;
}

// The first failure is kept: a shutdown step's result replaces it only while
// the result so far is not a failure.
void KeepFirstFailure(VKSAUDIOTHREAD* thread, HRESULT hr) {
    if (FAILED(hr) && !FAILED(thread->Result.load())) thread->Result.store(hr);
}

DWORD WINAPI AudioThread(LPVOID parameter) {
    AudioStreamContext context{};
    auto* thread = static_cast<VKSAUDIOTHREAD*>(parameter);
    LogNotification(WSTR("AudioThread: ENTER. PVKSAUDIOTHREAD:%p. Thread:%08X\n"), thread, Tid());
    if (thread == nullptr) {
        LogError(WSTR("AudioThread: Invalid Thread Parameter, Thread:%08X\n"), Tid());
        return 0;
    }
    thread->State.store(kAudioStateConfiguring);
    thread->Result.store(AudioThreadConfigure(&context, thread));
    SetEvent(thread->hEventThreadStart);
    if (!FAILED(thread->Result.load())) {
        thread->State.store(kAudioStateConfigured);
        HRESULT hr = S_OK;
        const WCHAR* failure = nullptr;
        // Each step runs only while every step before it succeeded; the text
        // of the first failing one is logged.
        auto step = [&](HRESULT result, const WCHAR* text) {
            if (failure != nullptr) return;
            hr = result;
            if (FAILED(hr)) failure = text;
        };
        step(AudioThreadNotifyPlaybackLatency(&context, thread),
             WSTR("AudioThread: Failed to update playback latency.%s Result:0x%08X. LastError:0x%08X. Thread:%08X\n"));
        if (failure == nullptr)
            step(AudioThreadWaitForAudioAvailable(thread),
                 WSTR("AudioThread: Error waiting for source.%s Result:0x%08X. LastError:0x%08X. Thread:%08X\n"));
        if (failure == nullptr)
            step(AudioThreadAVRTPrioritySet(&context),
                 WSTR("AudioThread: Error setting thread priority.%s Result:0x%08X. LastError:0x%08X. Thread:%08X\n"));
        if (failure == nullptr)
            step(AudioThreadRequestAudioStart(&context, thread),
                 WSTR("AudioThread: Error requesting decoded audio stream.%s Result:0x%08X. LastError:0x%08X. Thread:%08X\n"));
        if (failure == nullptr)
            step(AudioThreadWaitForEvent(&context, thread, AudioWaitDataBuffered),
                 WSTR("AudioThread: Error waiting for data to buffer.%s Result:0x%08X. LastError:0x%08X. Thread:%08X\n"));
        if (failure == nullptr)
            step(AudioThreadLoadData(&context, thread),
                 WSTR("AudioThread: Error loading data.%s Result:0x%08X. LastError:0x%08X. Thread:%08X\n"));
        if (failure == nullptr)
            step(AudioThreadRenderStart(&context),
                 WSTR("AudioThread: Error starting client.%s Result:0x%08X. LastError:0x%08X. Thread:%08X\n"));
        if (failure == nullptr) {
            thread->State.store(kAudioStateRendering);
            LogNotification(WSTR("AudioThread: Loop Start. Thread:%08X\n"), Tid());
            for (;;) {
                hr = AudioThreadWaitForEvent(&context, thread, AudioWaitBufferReady);
                if (FAILED(hr)) {
                    failure = WSTR("AudioThread: Error waiting for buffer.%s Result:0x%08X. LastError:0x%08X. Thread:%08X\n");
                    break;
                }
                hr = AudioThreadLoadData(&context, thread);
                if (FAILED(hr)) {
                    failure = WSTR("AudioThread: Unrecoverable Error loading data.%s Result:0x%08X. LastError:0x%08X. Thread:%08X\n");
                    break;
                }
            }
        }
        LogFailure(failure, hr);
        if (thread->State.load() == kAudioStateRendering) {
            LogNotification(WSTR("AudioThread: Loop Exit. Thread:%08X\n"), Tid());
        }
        // A stop request is not a failure.
        if (hr == E_ABORT && WaitForSingleObject(thread->hEventThreadStop, 0) == WAIT_OBJECT_0) hr = S_OK;
        thread->Result.store(hr);
        thread->State.store(kAudioStateStopping);
        KeepFirstFailure(thread, AudioThreadRequestAudioStop(thread));
        const HRESULT stopped = context.pAudioClient->Stop();
        if (FAILED(stopped)) {
            const DWORD lastError = GetLastError();
            LogError(WSTR("AudioThread: Error stoping client. Result:0x%08X. LastError:0x%08X. Thread:%08X\n"),
                     static_cast<DWORD>(stopped), lastError, Tid());
        }
        KeepFirstFailure(thread, stopped);
        KeepFirstFailure(thread, AudioThreadAVRTPriorityRevert(&context));
        AudioThreadDeconfigure(&context);
        thread->State.store(kAudioStateStopped);
    }
    LogNotification(WSTR("AudioThread: EXIT. Thread:%08X\n"), Tid());
    // The last reference to the session's helper stops it.
    context.HelperProcess.reset();
    return 0;
}

}  // namespace

void SafeCloseHandle(HANDLE& handle) {
    if (handle == nullptr) return;
    if (!CloseHandle(handle)) {
        LogError(WSTR("SafeCloseHandle: Failed to close handle %p. LastError:0x%08X. Thread:%08X\n"), handle,
                 GetLastError(), Tid());
    }
    handle = nullptr;
}

HRESULT AudioThreadWASAPIStreamOpen(AudioStreamContext* context, const GUID* pSessionGuid, WAVEFORMATEX** ppFormat) {
    WAVEFORMATEX* format = nullptr;
    IMMDeviceEnumerator* enumerator = nullptr;
    REFERENCE_TIME defaultPeriod = 0, minimumPeriod = 0;
    const WCHAR* failure = nullptr;
    HRESULT hr = CoInitialize(nullptr);
    if (FAILED(hr)) {
        failure = WSTR("AudioThreadWASAPIStreamOpen: CoInitialize Failed.%s Result:0x%08X. LastError:0x%08X. Thread:%08X\n");
    } else {
        context->bComInitialised = TRUE;
        hr = CoCreateInstance(CLSID_MMDeviceEnumerator, nullptr, CLSCTX_ALL, IID_IMMDeviceEnumerator,
                              reinterpret_cast<void**>(&enumerator));
        if (FAILED(hr)) failure = WSTR("AudioThreadWASAPIStreamOpen: CoCreate IMMDeviceEnumerator Failed.%s Result:0x%08X. LastError:0x%08X. Thread:%08X\n");
    }
    if (failure == nullptr) {
        hr = enumerator->GetDefaultAudioEndpoint(eRender, eMultimedia, &context->pDevice);
        if (FAILED(hr)) failure = WSTR("AudioThreadWASAPIStreamOpen: Get AudioEndpoint Failed.%s Result:0x%08X. LastError:0x%08X. Thread:%08X\n");
    }
    if (failure == nullptr) {
        hr = context->pDevice->Activate(IID_IAudioClient, CLSCTX_ALL, nullptr,
                                        reinterpret_cast<void**>(&context->pAudioClient));
        if (FAILED(hr)) failure = WSTR("AudioThreadWASAPIStreamOpen: AudioEndpoint Activate Failed.%s Result:0x%08X. LastError:0x%08X. Thread:%08X\n");
    }
    if (failure == nullptr) {
        hr = context->pAudioClient->GetDevicePeriod(&defaultPeriod, &minimumPeriod);
        if (FAILED(hr)) {
            failure = WSTR("AudioThreadWASAPIStreamOpen: GetDevicePeriod Failed.%s Result:0x%08X. LastError:0x%08X. Thread:%08X\n");
        } else {
            LogNotification(WSTR("AudioThreadWASAPIStreamOpen: Device Periods - Default:%d00 ns, Minimum:%d00 ns. Thread:%08X\n"),
                            static_cast<int>(defaultPeriod), static_cast<int>(minimumPeriod), Tid());
        }
    }
    if (failure == nullptr) {
        hr = AudioThreadConfigureFormat(context->pAudioClient, &format);
        if (FAILED(hr)) failure = WSTR("AudioThreadWASAPIStreamOpen: Format Configuration Failed.%s Result:0x%08X. LastError:0x%08X. Thread:%08X\n");
    }
    if (failure == nullptr) {
        hr = context->pAudioClient->Initialize(AUDCLNT_SHAREMODE_SHARED, kStreamFlags, 2 * defaultPeriod, 0, format,
                                               pSessionGuid);
        if (FAILED(hr)) failure = WSTR("AudioThreadWASAPIStreamOpen: Initialize Failed.%s Result:0x%08X. LastError:0x%08X. Thread:%08X\n");
    }
    if (failure == nullptr) {
        hr = context->pAudioClient->GetBufferSize(&context->BufferFrameCount);
        if (FAILED(hr)) {
            failure = WSTR("AudioThreadWASAPIStreamOpen: GetBufferSize Failed.%s Result:0x%08X. LastError:0x%08X. Thread:%08X\n");
        } else {
            LogNotification(WSTR("AudioThreadWASAPIStreamOpen: Buffer Frame Count:%d (Duration:%.3fms). Thread:%08X\n"),
                            static_cast<int>(context->BufferFrameCount),
                            format != nullptr ? AudioBufferDurationMs(format->nSamplesPerSec, context->BufferFrameCount) : 0.0,
                            Tid());
        }
    }
    if (failure == nullptr) {
        context->hEventBufferReady = CreateEventW(nullptr, FALSE, FALSE, nullptr);
        if (context->hEventBufferReady == nullptr) {
            hr = E_FAIL;
            failure = WSTR("AudioThreadWASAPIStreamOpen: Failed to create Buffer Ready Event.%s Result:0x%08X. LastError:0x%08X. Thread:%08X\n");
        } else {
            hr = context->pAudioClient->SetEventHandle(context->hEventBufferReady);
            if (FAILED(hr)) failure = WSTR("AudioThreadWASAPIStreamOpen: Failed to set Buffer Ready Event.%s Result:0x%08X. LastError:0x%08X. Thread:%08X\n");
        }
    }
    if (failure == nullptr) {
        hr = context->pAudioClient->GetService(IID_IAudioRenderClient, reinterpret_cast<void**>(&context->pRenderClient));
        if (FAILED(hr)) failure = WSTR("AudioThreadWASAPIStreamOpen: Failed to get Render Client.%s Result:0x%08X. LastError:0x%08X. Thread:%08X\n");
    }
    if (failure == nullptr) {
        hr = AudioThreadGUIDCreate(&context->EventContextGuid, WSTR("Event Context GUID"));
        if (FAILED(hr)) failure = WSTR("AudioThreadWASAPIStreamOpen: Failed to create EventContextGUID.%s Result:0x%08X. LastError:0x%08X. Thread:%08X\n");
    }
    if (failure != nullptr) LogFailure(failure, hr);
    if (ppFormat != nullptr) {
        *ppFormat = format;
    } else {
        std::free(format);
    }
    ReleaseAndClear(enumerator);
    LogTrace(WSTR("AudioThreadWASAPIStreamOpen: EXIT. Thread:%08X\n"), Tid());
    return hr;
}

void AudioThreadWASAPIStreamClose(AudioStreamContext* context) {
    LogTrace(WSTR("AudioThreadWASAPIStreamClose: ENTER. Thread:%08X\n"), Tid());
    ReleaseAndClear(context->pRenderClient);
    ReleaseAndClear(context->pAudioClient);
    SafeCloseHandle(context->hEventBufferReady);
    ReleaseAndClear(context->pDevice);
    if (context->bComInitialised) {
        CoUninitialize();
        context->bComInitialised = FALSE;
    }
    LogTrace(WSTR("AudioThreadWASAPIStreamClose: EXIT. Thread:%08X\n"), Tid());
}

HRESULT AudioThreadLoadData(AudioStreamContext* context, VKSAUDIOTHREAD* thread) {
    bool retry = false;
    for (;;) {
        DWORD written = 0;
        UINT32 freeFrames = 0;
        HRESULT hr;
        if (retry) {
            hr = AudioThreadWaitForEvent(context, thread, AudioWaitDataAvailable);
            if (FAILED(hr)) {
                LogFailure(WSTR("AudioThreadLoadData: Error waiting for data.%s Result:0x%08X. LastError:0x%08X. Thread:%08X\n"), hr);
                return hr;
            }
        }
        hr = AudioThreadGetBufferAvailable(context, &freeFrames);
        if (FAILED(hr)) {
            LogFailure(WSTR("AudioThreadLoadData: Failed to get buffer availability.%s Result:0x%08X. LastError:0x%08X. Thread:%08X\n"), hr);
            return hr;
        }
        HRESULT pass;
        bool loadFailed = false;
        if (freeFrames == 0) {
            LogTrace(WSTR("AudioThreadLoadData: No space in the buffer. Thread:%08X\n"), Tid());
            pass = S_FALSE;
        } else {
            BYTE* buffer = nullptr;
            hr = context->pRenderClient->GetBuffer(freeFrames, &buffer);
            if (FAILED(hr)) {
                LogFailure(WSTR("AudioThreadLoadData: Failed to get buffer.%s Result:0x%08X. LastError:0x%08X. Thread:%08X\n"), hr);
                return hr;
            }
            // A decoder that cannot deliver only shortens the fill.
            pass = AudioThreadLoadDecodedAudio(thread, buffer, freeFrames, &written);
            if (FAILED(pass)) {
                loadFailed = true;
                pass = S_FALSE;
            }
            // The device cannot have written more than it was asked for; a
            // larger count would make ReleaseBuffer fail and end rendering.
            if (written > freeFrames) {
                if (!context->bOverReportLogged) {
                    LogError(WSTR("AudioThreadLoadData: Source reported %u frames written for %u asked; "
                                  "counted as %u. Thread:%08X\n"),
                             written, freeFrames, freeFrames, Tid());
                    context->bOverReportLogged = TRUE;
                }
                written = freeFrames;
            }
            hr = context->pRenderClient->ReleaseBuffer(written, 0);
            if (FAILED(hr)) {
                LogFailure(WSTR("AudioThreadLoadData: Failed to release buffer.%s Result:0x%08X. LastError:0x%08X. Thread:%08X\n"), hr);
                return hr;
            }
        }
        LogMessage(WSTR("AudioThreadLoadData: Requested:%d Recieved:%d Retry:%d. Thread:%08X\n"),
                   static_cast<int>(freeFrames), static_cast<int>(written), retry ? 1 : 0, Tid());
        if (written < freeFrames) {
            LogTrace(WSTR("AudioThreadLoadData: Recieved less frames than requested - Requested:%d Recieved:%d WasRetry:%d. HRESULT:%08X, Thread:%08X\n"),
                     static_cast<int>(freeFrames), static_cast<int>(written), retry ? 1 : 0, static_cast<DWORD>(pass), Tid());
            // A load command that failed is not retried at once: the decoder
            // may keep Data Ready set, and retrying would spin this thread at
            // full speed. The fill ends short; the next period tries again.
            if (loadFailed) return pass;
            retry = true;
            continue;
        }
        if (retry) {
            LogTrace(WSTR("AudioThreadLoadData: Successfully filled buffer with %d frames on retry. Thread:%08X\n"),
                     static_cast<int>(written), Tid());
        }
        return pass;
    }
}

HRESULT AudioThreadCreate(PPVKSAUDIOTHREAD ppThread, HVKS hVKSDec, VKSGUID* pSessionGuid) {
    LogTrace(WSTR("AudioThreadCreate: ENTER - PPVKSAUDIOTHREAD:%p. Thread:%08X\n"), ppThread, Tid());
    if (ppThread == nullptr) {
        LogError(WSTR("AudioThreadCreate: Invalid PPVKSAUDIOTHREAD. Thread:%08X\n"), Tid());
        return E_INVALIDARG;
    }
    if (*ppThread != nullptr) {
        LogError(WSTR("AudioThreadCreate: Invalid *PPVKSAUDIOTHREAD:%p. Thread:%08X\n"), *ppThread, Tid());
        return E_INVALIDARG;
    }
    if (pSessionGuid == nullptr) {
        LogError(WSTR("AudioThreadCreate: Invalid Session GUID pointer. Thread:%08X\n"), Tid());
        return E_INVALIDARG;
    }
    auto* thread = new (std::nothrow) VKSAUDIOTHREAD{};
    if (thread == nullptr) return E_OUTOFMEMORY;
    LogTrace(WSTR("AudioThreadCreate: USING - PVKSAUDIOTHREAD:%p. Thread:%08X\n"), thread, Tid());
    thread->Result.store(S_FALSE);
    thread->State.store(kAudioStateCreated);
    static_assert(sizeof(VKSGUID) == sizeof(GUID), "one GUID layout");
    std::memcpy(&thread->SessionGuid, pSessionGuid, sizeof(GUID));
    thread->hVKSDec = hVKSDec;

    HRESULT hr = S_OK;
    thread->hEventThreadStart = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    if (thread->hEventThreadStart == nullptr) {
        hr = E_FAIL;
        LogFailure(WSTR("AudioThreadCreate: Failed to create Thread Start event.%s Result:0x%08X. LastError:0x%08X. Thread:%08X\n"), hr);
    }
    if (SUCCEEDED(hr)) {
        thread->hEventThreadStop = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        if (thread->hEventThreadStop == nullptr) {
            hr = E_FAIL;
            LogFailure(WSTR("AudioThreadCreate: Failed to create Thread Stop event.%s Result:0x%08X. LastError:0x%08X. Thread:%08X\n"), hr);
        }
    }
    if (SUCCEEDED(hr)) {
        thread->hEventSourceSet = CreateEventW(nullptr, FALSE, FALSE, nullptr);
        if (thread->hEventSourceSet == nullptr) {
            hr = E_FAIL;
            LogFailure(WSTR("AudioThreadCreate: Failed to create Source Set event.%s Result:0x%08X. LastError:0x%08X. Thread:%08X\n"), hr);
        }
    }
    if (SUCCEEDED(hr)) {
        DWORD id = 0;
        thread->hThread = CreateThread(nullptr, 0, AudioThread, thread, 0, &id);
        if (thread->hThread == nullptr) {
            hr = E_FAIL;
            LogFailure(WSTR("AudioThreadCreate: Failed to create thread.%s Result:0x%08X. LastError:0x%08X. Thread:%08X\n"), hr);
        } else {
            thread->dwThreadId = id;
            LogNotification(WSTR("AudioThreadCreate: Started AudioThread:%08X for PVKSAUDIOTHREAD:%p. Thread:%08X\n"), id,
                            thread, Tid());
        }
    }
    if (SUCCEEDED(hr)) {
        const DWORD wait = WaitForSingleObject(thread->hEventThreadStart, kThreadStartWaitMs);
        if (wait != WAIT_OBJECT_0) {
            hr = E_ABORT;
            const DWORD lastError = GetLastError();
            LogError(WSTR("AudioThreadCreate: Thread start wait aborted (WaitResult:%08X). Result:0x%08X. LastError:0x%08X. Thread:%08X\n"),
                     wait, static_cast<DWORD>(hr), lastError, Tid());
        } else {
            hr = thread->Result.load();
            if (FAILED(hr)) {
                LogFailure(WSTR("AudioThreadCreate: Thread failed to start.%s Result:0x%08X. LastError:0x%08X. Thread:%08X\n"), hr);
            } else {
                std::memcpy(pSessionGuid, &thread->SessionGuid, sizeof(GUID));
                AudioRequiredFormat required;
                hr = AudioThreadGetRequiredFormat(thread, &required);
                if (FAILED(hr)) {
                    LogFailure(WSTR("AudioThreadCreate: Failed to get the required format.%s Result:0x%08X. LastError:0x%08X. Thread:%08X\n"), hr);
                } else {
                    const VKSERROR code = VKSAccAudioSetFormat(hVKSDec, &required);
                    hr = code == VKSERROR_NO_ERROR ? S_OK : HResultFromVKSError(code);
                    if (FAILED(hr)) {
                        LogFailure(WSTR("AudioThreadCreate: AudioThreadCreate: Failed to notify the decode client of the required audio format.%s Result:0x%08X. LastError:0x%08X. Thread:%08X\n"), hr);
                    }
                }
            }
        }
    }
    if (hr == kNotFound) hr = S_FALSE;
    *ppThread = thread;
    LogTrace(WSTR("AudioThreadCreate: EXIT - PPVKSAUDIOTHREAD:%p. PVKSAUDIOTHREAD:%p. Thread:%08X\n"), ppThread, thread, Tid());
    return hr;
}

HRESULT AudioThreadDestroy(PPVKSAUDIOTHREAD ppThread) {
    LogTrace(WSTR("AudioThreadDestroy: ENTER - PPVKSAUDIOTHREAD:%p. Thread:%08X\n"), ppThread, Tid());
    if (ppThread == nullptr || *ppThread == nullptr) {
        LogError(WSTR("AudioThreadDestroy: Invalid PPVKSAUDIOTHREAD. Thread:%08X\n"), Tid());
        return E_INVALIDARG;
    }
    VKSAUDIOTHREAD* thread = *ppThread;
    if (thread->hThread != nullptr) {
        DWORD exitCode = 0;
        GetExitCodeThread(thread->hThread, &exitCode);
        if (exitCode == STILL_ACTIVE) {
            LogNotification(WSTR("AudioThreadDestroy: Stopping AudioThread:%08X. State:%1X. Thread:%08X\n"),
                            thread->dwThreadId, thread->State.load(), Tid());
            if (!SetEvent(thread->hEventThreadStop)) {
                LogError(WSTR("AudioThreadDestroy: Failed setting ThreadStop event (%p) for AudioThread:%08X. Thread:%08X\n"),
                         thread->hEventThreadStop, thread->dwThreadId, Tid());
            }
            LogMessage(WSTR("AudioThreadDestroy: Waiting for AudioThread:%08X to Stop. Thread:%08X\n"), thread->dwThreadId,
                       Tid());
            WaitForSingleObject(thread->hThread, INFINITE);
            GetExitCodeThread(thread->hThread, &exitCode);
            LogNotification(WSTR("AudioThreadDestroy: Stopped AudioThread:%08X for PVKSAUDIOTHREAD:%p. Thread:%08X\n"),
                            thread->dwThreadId, thread, Tid());
        }
        LogNotification(WSTR("AudioThreadDestroy: AudioThread:%08X for PVKSAUDIOTHREAD:%p. State:%1X. ExitCode:%08X. ThreadResult:%08X. Thread:%08X\n"),
                        thread->dwThreadId, thread, thread->State.load(), exitCode,
                        static_cast<DWORD>(thread->Result.load()), Tid());
    }
    SafeCloseHandle(thread->hThread);
    SafeCloseHandle(thread->hEventThreadStart);
    SafeCloseHandle(thread->hEventThreadStop);
    SafeCloseHandle(thread->hEventSourceSet);
    std::free(thread->pFormat);
    delete thread;
    *ppThread = nullptr;
    LogTrace(WSTR("AudioThreadDestroy: EXIT - PPVKSAUDIOTHREAD:%p. Thread:%08X\n"), ppThread, Tid());
    return S_OK;
}

HRESULT AudioThreadNotifyAudioAvailable(PVKSAUDIOTHREAD thread) {
    LogTrace(WSTR("AudioThreadNotifyAudioAvailable: ENTER - PVKSAUDIOTHREAD:%p. Thread:%08X\n"), thread, Tid());
    if (thread == nullptr) {
        LogError(WSTR("AudioThreadNotifyAudioAvailable: Invalid PVKSAUDIOTHREAD Thread:%08X\n"), Tid());
        return E_INVALIDARG;
    }
    LogNotification(WSTR("AudioThreadNotifyAudioAvailable: Notifying AudioThread:%08X of Audio Availability. Thread:%08X\n"),
                    thread->dwThreadId, Tid());
    if (!SetEvent(thread->hEventSourceSet)) {
        LogError(WSTR("AudioThreadNotifyAudioAvailable: Failed setting Audio Available event (%p) for AudioThread:%08X. Thread:%08X\n"),
                 thread->hEventSourceSet, thread->dwThreadId, Tid());
        return E_FAIL;
    }
    LogTrace(WSTR("AudioThreadNotifyAudioAvailable: EXIT - PVKSAUDIOTHREAD:%p. Thread:%08X\n"), thread, Tid());
    return S_OK;
}
