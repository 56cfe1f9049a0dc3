// The audio objects of the simulated endpoint: device enumerator, endpoint
// device, audio client and render client, with the Windows shared-mode
// rules and HRESULTs. The engine (audio_engine.cpp) plays what the render
// clients queue.
#include "audio_internal.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <utility>

namespace vks::audio {
namespace {

// Reference counting shared by the objects; the count of live objects is a
// test counter.
template <class Interface>
class ComObject : public Interface {
public:
    ComObject() { g_comObjects.fetch_add(1); }
    ULONG STDMETHODCALLTYPE AddRef() override { return refs_.fetch_add(1) + 1; }
    ULONG STDMETHODCALLTYPE Release() override {
        const ULONG left = refs_.fetch_sub(1) - 1;
        if (left == 0) delete this;
        return left;
    }

protected:
    virtual ~ComObject() { g_comObjects.fetch_sub(1); }
    HRESULT Answer(REFIID riid, const IID& own, void** ppv) {
        if (!ppv) return E_POINTER;
        if (riid == IID_IUnknown || riid == own) {
            AddRef();
            *ppv = static_cast<Interface*>(this);
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }

private:
    std::atomic<ULONG> refs_{1};
};

bool SameFormat(const WAVEFORMATEX* a, const MixFormat& mix) {
    const size_t size = sizeof(WAVEFORMATEX) + a->cbSize;
    return size == mix.Size() && std::memcmp(a, mix.Get(), size) == 0;
}

WAVEFORMATEX* TaskCopy(const MixFormat& f) {
    auto* copy = static_cast<WAVEFORMATEX*>(CoTaskMemAlloc(f.Size()));
    if (copy) std::memcpy(copy, f.Get(), f.Size());
    return copy;
}

class AudioClient;

class RenderClient final : public ComObject<IAudioRenderClient> {
public:
    explicit RenderClient(AudioClient* client);
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
        return Answer(riid, IID_IAudioRenderClient, ppv);
    }
    HRESULT STDMETHODCALLTYPE GetBuffer(UINT32 NumFramesRequested, BYTE** ppData) override;
    HRESULT STDMETHODCALLTYPE ReleaseBuffer(UINT32 NumFramesWritten, DWORD dwFlags) override;

private:
    ~RenderClient() override;
    AudioClient* const client_;  // referenced
};

class AudioClient final : public ComObject<IAudioClient> {
public:
    AudioClient(const MixFormat& format, REFERENCE_TIME period) : format_(format), period_(period) {}
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
        return Answer(riid, IID_IAudioClient, ppv);
    }

    HRESULT STDMETHODCALLTYPE Initialize(AUDCLNT_SHAREMODE ShareMode, DWORD StreamFlags,
                                         REFERENCE_TIME hnsBufferDuration, REFERENCE_TIME hnsPeriodicity,
                                         const WAVEFORMATEX* pFormat, LPCGUID AudioSessionGuid) override {
        constexpr DWORD kKnownFlags = AUDCLNT_STREAMFLAGS_CROSSPROCESS | AUDCLNT_STREAMFLAGS_EVENTCALLBACK |
                                      AUDCLNT_STREAMFLAGS_NOPERSIST | AUDCLNT_STREAMFLAGS_RATEADJUST |
                                      AUDCLNT_STREAMFLAGS_SRC_DEFAULT_QUALITY | AUDCLNT_STREAMFLAGS_AUTOCONVERTPCM |
                                      AUDCLNT_SESSIONFLAGS_EXPIREWHENUNOWNED | AUDCLNT_SESSIONFLAGS_DISPLAY_HIDE |
                                      AUDCLNT_SESSIONFLAGS_DISPLAY_HIDEWHENEXPIRED;
        {
            std::lock_guard<std::mutex> lock(EngineMutex());
            if (stream_.registered) return AUDCLNT_E_ALREADY_INITIALIZED;
        }
        if (ShareMode == AUDCLNT_SHAREMODE_EXCLUSIVE) return AUDCLNT_E_EXCLUSIVE_MODE_NOT_ALLOWED;
        if (ShareMode != AUDCLNT_SHAREMODE_SHARED) return E_INVALIDARG;
        if (!pFormat) return E_POINTER;
        // Loopback capture is not simulated.
        if (StreamFlags & ~kKnownFlags) return E_INVALIDARG;
        if (hnsBufferDuration < 0 || hnsPeriodicity != 0) return E_INVALIDARG;
        // Shared mode plays the mix format only; no conversion is simulated.
        if (!SameFormat(pFormat, format_)) return AUDCLNT_E_UNSUPPORTED_FORMAT;

        Stream& s = stream_;
        s.format = format_;
        s.period = period_;
        s.blockAlign = format_.wfx.Format.nBlockAlign;
        const DWORD rate = format_.wfx.Format.nSamplesPerSec;
        s.periodFrames = static_cast<UINT32>(rate * period_ / 10000000);
        const UINT32 requested = static_cast<UINT32>((static_cast<ULONGLONG>(hnsBufferDuration) * rate + 9999999) / 10000000);
        s.bufferFrames = std::max(requested, s.periodFrames);
        try {
            s.ring.assign(static_cast<size_t>(s.bufferFrames) * s.blockAlign, 0);
            s.writeArea.assign(static_cast<size_t>(s.bufferFrames) * s.blockAlign, 0);
        } catch (const std::bad_alloc&) {
            return E_OUTOFMEMORY;
        }
        s.eventDriven = (StreamFlags & AUDCLNT_STREAMFLAGS_EVENTCALLBACK) != 0;
        s.session = AudioSessionGuid ? *AudioSessionGuid : GUID{};
        RegisterStream(&s);
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE GetBufferSize(UINT32* pNumBufferFrames) override {
        if (!pNumBufferFrames) return E_POINTER;
        std::lock_guard<std::mutex> lock(EngineMutex());
        if (!stream_.registered) return AUDCLNT_E_NOT_INITIALIZED;
        *pNumBufferFrames = stream_.bufferFrames;
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE GetStreamLatency(REFERENCE_TIME* phnsLatency) override {
        if (!phnsLatency) return E_POINTER;
        std::lock_guard<std::mutex> lock(EngineMutex());
        if (!stream_.registered) return AUDCLNT_E_NOT_INITIALIZED;
        *phnsLatency = stream_.period;
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE GetCurrentPadding(UINT32* pNumPaddingFrames) override {
        if (!pNumPaddingFrames) return E_POINTER;
        std::lock_guard<std::mutex> lock(EngineMutex());
        if (!stream_.registered) return AUDCLNT_E_NOT_INITIALIZED;
        *pNumPaddingFrames = stream_.queued;
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE IsFormatSupported(AUDCLNT_SHAREMODE ShareMode, const WAVEFORMATEX* pFormat,
                                                WAVEFORMATEX** ppClosestMatch) override {
        if (ppClosestMatch) *ppClosestMatch = nullptr;
        if (!pFormat) return E_POINTER;
        if (ShareMode == AUDCLNT_SHAREMODE_EXCLUSIVE) return AUDCLNT_E_UNSUPPORTED_FORMAT;
        if (ShareMode != AUDCLNT_SHAREMODE_SHARED) return E_INVALIDARG;
        if (!ppClosestMatch) return E_POINTER;
        if (SameFormat(pFormat, format_)) return S_OK;
        *ppClosestMatch = TaskCopy(format_);
        return *ppClosestMatch ? S_FALSE : E_OUTOFMEMORY;
    }

    HRESULT STDMETHODCALLTYPE GetMixFormat(WAVEFORMATEX** ppDeviceFormat) override {
        if (!ppDeviceFormat) return E_POINTER;
        *ppDeviceFormat = TaskCopy(format_);
        return *ppDeviceFormat ? S_OK : E_OUTOFMEMORY;
    }

    HRESULT STDMETHODCALLTYPE GetDevicePeriod(REFERENCE_TIME* phnsDefaultDevicePeriod,
                                              REFERENCE_TIME* phnsMinimumDevicePeriod) override {
        if (!phnsDefaultDevicePeriod && !phnsMinimumDevicePeriod) return E_POINTER;
        if (phnsDefaultDevicePeriod) *phnsDefaultDevicePeriod = period_;
        // The shortest period a shared-mode engine usually offers: 3 ms.
        if (phnsMinimumDevicePeriod) *phnsMinimumDevicePeriod = std::min<REFERENCE_TIME>(period_, 30000);
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE Start() override {
        std::lock_guard<std::mutex> lock(EngineMutex());
        if (!stream_.registered) return AUDCLNT_E_NOT_INITIALIZED;
        if (stream_.started) return AUDCLNT_E_NOT_STOPPED;
        if (stream_.eventDriven && !stream_.event) return AUDCLNT_E_EVENTHANDLE_NOT_SET;
        StreamStartedLocked(&stream_, true);
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE Stop() override {
        std::lock_guard<std::mutex> lock(EngineMutex());
        if (!stream_.registered) return AUDCLNT_E_NOT_INITIALIZED;
        if (!stream_.started) return S_FALSE;
        StreamStartedLocked(&stream_, false);
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE Reset() override {
        std::lock_guard<std::mutex> lock(EngineMutex());
        if (!stream_.registered) return AUDCLNT_E_NOT_INITIALIZED;
        if (stream_.started) return AUDCLNT_E_NOT_STOPPED;
        if (stream_.pending) return AUDCLNT_E_BUFFER_OPERATION_PENDING;
        if (stream_.queued == 0) return S_FALSE;
        stream_.queued = 0;
        stream_.readFrame = 0;
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE SetEventHandle(HANDLE eventHandle) override {
        {
            std::lock_guard<std::mutex> lock(EngineMutex());
            if (!stream_.registered) return AUDCLNT_E_NOT_INITIALIZED;
            if (!stream_.eventDriven) return AUDCLNT_E_EVENTHANDLE_NOT_EXPECTED;
        }
        if (!eventHandle || eventHandle == INVALID_HANDLE_VALUE) return E_INVALIDARG;
        // The engine keeps its own handle, so the caller may close theirs.
        HANDLE mine = nullptr;
        if (!DuplicateHandle(GetCurrentProcess(), eventHandle, GetCurrentProcess(), &mine, 0, FALSE,
                             DUPLICATE_SAME_ACCESS)) {
            return E_INVALIDARG;
        }
        HANDLE old;
        {
            std::lock_guard<std::mutex> lock(EngineMutex());
            old = std::exchange(stream_.event, mine);
        }
        if (old) CloseHandle(old);
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE GetService(REFIID riid, void** ppv) override {
        if (!ppv) return E_POINTER;
        *ppv = nullptr;
        {
            std::lock_guard<std::mutex> lock(EngineMutex());
            if (!stream_.registered) return AUDCLNT_E_NOT_INITIALIZED;
        }
        if (riid != IID_IAudioRenderClient) return E_NOINTERFACE;
        auto* render = new (std::nothrow) RenderClient(this);
        if (!render) return E_OUTOFMEMORY;
        *ppv = static_cast<IAudioRenderClient*>(render);
        return S_OK;
    }

    // For the render client; engine mutex held by the caller where noted.
    Stream& StreamLocked() { return stream_; }

private:
    ~AudioClient() override { UnregisterStream(&stream_); }
    const MixFormat format_;
    const REFERENCE_TIME period_;
    Stream stream_;
};

RenderClient::RenderClient(AudioClient* client) : client_(client) { client_->AddRef(); }
RenderClient::~RenderClient() { client_->Release(); }

HRESULT RenderClient::GetBuffer(UINT32 NumFramesRequested, BYTE** ppData) {
    if (!ppData) return E_POINTER;
    std::lock_guard<std::mutex> lock(EngineMutex());
    Stream& s = client_->StreamLocked();
    *ppData = nullptr;
    if (!s.registered) return AUDCLNT_E_NOT_INITIALIZED;
    if (s.pending) return AUDCLNT_E_OUT_OF_ORDER;
    if (NumFramesRequested > s.bufferFrames - s.queued) return AUDCLNT_E_BUFFER_TOO_LARGE;
    s.pending = true;
    s.pendingFrames = NumFramesRequested;
    if (NumFramesRequested > 0) *ppData = s.writeArea.data();
    return S_OK;
}

HRESULT RenderClient::ReleaseBuffer(UINT32 NumFramesWritten, DWORD dwFlags) {
    constexpr DWORD kFlags =
        AUDCLNT_BUFFERFLAGS_DATA_DISCONTINUITY | AUDCLNT_BUFFERFLAGS_SILENT | AUDCLNT_BUFFERFLAGS_TIMESTAMP_ERROR;
    if (dwFlags & ~kFlags) return E_INVALIDARG;
    std::lock_guard<std::mutex> lock(EngineMutex());
    Stream& s = client_->StreamLocked();
    if (!s.pending) return AUDCLNT_E_OUT_OF_ORDER;
    if (NumFramesWritten > s.pendingFrames) return AUDCLNT_E_INVALID_SIZE;
    const bool silent = (dwFlags & AUDCLNT_BUFFERFLAGS_SILENT) != 0;
    const BYTE silence = (s.format.wfx.Format.wFormatTag == WAVE_FORMAT_PCM && s.format.wfx.Format.wBitsPerSample == 8)
                             ? 0x80
                             : 0;
    UINT32 writeFrame = (s.readFrame + s.queued) % s.bufferFrames;
    for (UINT32 done = 0; done < NumFramesWritten;) {
        const UINT32 run = std::min(NumFramesWritten - done, s.bufferFrames - writeFrame);
        BYTE* to = s.ring.data() + static_cast<size_t>(writeFrame) * s.blockAlign;
        if (silent) {
            std::memset(to, silence, static_cast<size_t>(run) * s.blockAlign);
        } else {
            std::memcpy(to, s.writeArea.data() + static_cast<size_t>(done) * s.blockAlign,
                        static_cast<size_t>(run) * s.blockAlign);
        }
        writeFrame = (writeFrame + run) % s.bufferFrames;
        done += run;
    }
    s.queued += NumFramesWritten;
    s.pending = false;
    s.pendingFrames = 0;
    return S_OK;
}

class Device final : public ComObject<IMMDevice> {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
        return Answer(riid, IID_IMMDevice, ppv);
    }
    HRESULT STDMETHODCALLTYPE Activate(REFIID iid, DWORD, PROPVARIANT*, void** ppInterface) override {
        if (!ppInterface) return E_POINTER;
        *ppInterface = nullptr;
        if (iid != IID_IAudioClient) return E_NOINTERFACE;
        const Config c = CurrentConfig();
        if (c.activateGate != nullptr) WaitForSingleObject(c.activateGate, INFINITE);
        auto* client = new (std::nothrow) AudioClient(MakeFormat(c.kind, c.rate, c.channels), c.period);
        if (!client) return E_OUTOFMEMORY;
        *ppInterface = static_cast<IAudioClient*>(client);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE OpenPropertyStore(DWORD, IPropertyStore** ppProperties) override {
        if (ppProperties) *ppProperties = nullptr;
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE GetId(LPWSTR* ppstrId) override {
        if (!ppstrId) return E_POINTER;
        static const WCHAR kId[] = u"{0.0.0.00000000}.{vks-simulated-render-endpoint}";
        *ppstrId = static_cast<LPWSTR>(CoTaskMemAlloc(sizeof kId));
        if (!*ppstrId) return E_OUTOFMEMORY;
        std::memcpy(*ppstrId, kId, sizeof kId);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetState(DWORD* pdwState) override {
        if (!pdwState) return E_POINTER;
        *pdwState = DEVICE_STATE_ACTIVE;
        return S_OK;
    }
};

class Enumerator final : public ComObject<IMMDeviceEnumerator> {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
        return Answer(riid, IID_IMMDeviceEnumerator, ppv);
    }
    HRESULT STDMETHODCALLTYPE EnumAudioEndpoints(EDataFlow, DWORD, IMMDeviceCollection** ppDevices) override {
        if (ppDevices) *ppDevices = nullptr;
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE GetDefaultAudioEndpoint(EDataFlow dataFlow, ERole role, IMMDevice** ppEndpoint) override {
        if (!ppEndpoint) return E_POINTER;
        *ppEndpoint = nullptr;
        if (dataFlow != eRender && dataFlow != eCapture) return E_INVALIDARG;
        if (role != eConsole && role != eMultimedia && role != eCommunications) return E_INVALIDARG;
        // Only a render endpoint exists, and only when configured.
        if (dataFlow == eCapture || !CurrentConfig().present) return E_NOTFOUND;
        auto* device = new (std::nothrow) Device;
        if (!device) return E_OUTOFMEMORY;
        *ppEndpoint = device;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetDevice(LPCWSTR, IMMDevice** ppDevice) override {
        if (ppDevice) *ppDevice = nullptr;
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE RegisterEndpointNotificationCallback(IMMNotificationClient*) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE UnregisterEndpointNotificationCallback(IMMNotificationClient*) override {
        return E_NOTIMPL;
    }
};

}  // namespace

HRESULT CreateDeviceEnumerator(REFIID riid, void** ppv) {
    auto* enumerator = new (std::nothrow) Enumerator;
    if (!enumerator) return E_OUTOFMEMORY;
    const HRESULT hr = enumerator->QueryInterface(riid, ppv);
    enumerator->Release();
    return hr;
}

}  // namespace vks::audio
