// The simulated audio endpoint behind the audio session interfaces: COM and
// GUID helpers, the mix format and its configuration, the shared-mode rules
// of the audio client, the engine clock (padding, one event per period,
// underruns), the "no endpoint" configuration and the
// multimedia class scheduler. Every test runs in its own process, so the
// configuration one sets does not reach another.
#include "vks_platform.h"
#include "vks_win32/audio_ext.h"
#include "vks_win32/linux_ext.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <chrono>
#include <tuple>

namespace {

// Long enough for a loaded machine; a passing run never waits this long.
constexpr DWORD kLongWait = 10000;

template <class T>
void SafeRelease(T*& p) {
    if (p) p->Release();
    p = nullptr;
}

// COM initialised on the test's thread, an enumerator, the default render
// endpoint and an audio client on it.
struct Endpoint {
    IMMDeviceEnumerator* enumerator = nullptr;
    IMMDevice* device = nullptr;
    IAudioClient* client = nullptr;
    IAudioRenderClient* render = nullptr;
    HANDLE event = nullptr;
    WAVEFORMATEX* mix = nullptr;

    Endpoint() {
        EXPECT_TRUE(SUCCEEDED(CoInitialize(nullptr)));
        EXPECT_EQ(CoCreateInstance(CLSID_MMDeviceEnumerator, nullptr, CLSCTX_ALL, IID_IMMDeviceEnumerator,
                                   reinterpret_cast<void**>(&enumerator)),
                  S_OK);
    }
    ~Endpoint() {
        if (client) client->Stop();
        SafeRelease(render);
        SafeRelease(client);
        SafeRelease(device);
        SafeRelease(enumerator);
        if (event) CloseHandle(event);
        CoTaskMemFree(mix);
        CoUninitialize();
    }
    HRESULT Activate() {
        HRESULT hr = enumerator->GetDefaultAudioEndpoint(eRender, eMultimedia, &device);
        void** out = reinterpret_cast<void**>(&client);
        if (SUCCEEDED(hr)) hr = device->Activate(IID_IAudioClient, CLSCTX_ALL, nullptr, out);
        return SUCCEEDED(hr) ? client->GetMixFormat(&mix) : hr;
    }
    // The stream as the product opens it: shared, event-driven, in a session,
    // with a buffer of two default periods.
    HRESULT Open(const GUID* session = nullptr) {
        REFERENCE_TIME period = 0, minimum = 0;
        event = CreateEventW(nullptr, FALSE, FALSE, nullptr);
        HRESULT hr = Activate();
        if (SUCCEEDED(hr)) hr = client->GetDevicePeriod(&period, &minimum);
        if (SUCCEEDED(hr)) hr = client->Initialize(AUDCLNT_SHAREMODE_SHARED, 0x500D0000, period * 2, 0, mix, session);
        if (SUCCEEDED(hr)) hr = client->SetEventHandle(event);
        if (SUCCEEDED(hr)) hr = client->GetService(IID_IAudioRenderClient, reinterpret_cast<void**>(&render));
        return hr;
    }
    UINT32 Padding() {
        UINT32 padding = 0xFFFFFFFF;
        EXPECT_EQ(client->GetCurrentPadding(&padding), S_OK);
        return padding;
    }
    void WriteSilence(UINT32 frames) {
        BYTE* data = nullptr;
        ASSERT_EQ(render->GetBuffer(frames, &data), S_OK);
        ASSERT_NE(data, nullptr);
        ASSERT_EQ(render->ReleaseBuffer(frames, AUDCLNT_BUFFERFLAGS_SILENT), S_OK);
    }
};

VKS_AUDIO_STATS Stats() {
    VKS_AUDIO_STATS s{};
    VksAudioGetStats(&s);
    return s;
}

}  // namespace

// COM counts the threads that initialised it (S_FALSE calls too) and the
// objects alive.
TEST(AudioCom, InitialisationCounts) {
    IMMDeviceEnumerator* enumerator = nullptr;
    void** out = reinterpret_cast<void**>(&enumerator);
    EXPECT_EQ(CoCreateInstance(CLSID_MMDeviceEnumerator, nullptr, CLSCTX_ALL, IID_IMMDeviceEnumerator, out),
              CO_E_NOTINITIALIZED);
    EXPECT_EQ(enumerator, nullptr);
    EXPECT_EQ(CoInitialize(nullptr), S_OK);
    EXPECT_EQ(CoInitialize(nullptr), S_FALSE);
    EXPECT_EQ(Stats().comThreads, 1u);
    ASSERT_EQ(CoCreateInstance(CLSID_MMDeviceEnumerator, nullptr, CLSCTX_ALL, IID_IMMDeviceEnumerator, out), S_OK);
    EXPECT_EQ(Stats().comObjects, 1u);
    EXPECT_EQ(enumerator->Release(), 0u);
    EXPECT_EQ(Stats().comObjects, 0u);
    CoUninitialize();
    EXPECT_EQ(Stats().comThreads, 1u);
    CoUninitialize();
    EXPECT_EQ(Stats().comThreads, 0u);
}

TEST(AudioCom, GuidTextAndConversion) {
    const GUID g = {0x0123ABCD, 0x4567, 0x89EF, {0xFE, 0xDC, 0xBA, 0x98, 0x76, 0x54, 0x32, 0x10}};
    WCHAR text[39];
    EXPECT_EQ(StringFromGUID2(g, text, 38), 0);
    EXPECT_EQ(StringFromGUID2(g, text, 39), 39);
    EXPECT_EQ(std::u16string(text), std::u16string(u"{0123ABCD-4567-89EF-FEDC-BA9876543210}"));
    // (The text's conversion by wcstombs and fresh GUIDs are checked through
    // the session id by AudioThreadTest.AllZeroSessionGuidIsReplacedAndReportedAsTheSessionId.)
}

// The mix format and the device period: the default, from the environment
// (a name it does not know keeps the default) and from the controls. Each
// row starts from the environment's configuration.
TEST(AudioEndpoint, MixFormatsAndPeriods) {
    const GUID* const kFloat = &KSDATAFORMAT_SUBTYPE_IEEE_FLOAT;
    const GUID* const kPcm = &KSDATAFORMAT_SUBTYPE_PCM;
    const struct {
        const char* format;  // VKS_AUDIO_FORMAT (null: unset)
        const char* periodMs;  // VKS_AUDIO_PERIOD_MS (null: unset)
        int control;           // a VksAudioSetFormat kind with the row's rate (-1: none)
        WORD tag, channels;
        DWORD rate;
        WORD bits, align, cbSize;
        const GUID* sub;  // for WAVE_FORMAT_EXTENSIBLE; null: neither PCM nor float
        REFERENCE_TIME period;
    } rows[] = {
        {nullptr, nullptr, -1, WAVE_FORMAT_EXTENSIBLE, 2, 48000, 32, 8, 22, kFloat, 100000},
        {"pcm8:22050:1", "5", -1, WAVE_FORMAT_PCM, 1, 22050, 8, 1, 0, nullptr, 50000},
        {"no-such-format", nullptr, -1, WAVE_FORMAT_EXTENSIBLE, 2, 48000, 32, 8, 22, kFloat, 100000},
        {nullptr, nullptr, VKS_AUDIO_FORMAT_PCM16, WAVE_FORMAT_EXTENSIBLE, 2, 44100, 16, 4, 22, kPcm, 100000},
        {nullptr, nullptr, VKS_AUDIO_FORMAT_UNKNOWN, WAVE_FORMAT_EXTENSIBLE, 2, 48000, 32, 8, 22, nullptr, 100000},
        {nullptr, nullptr, VKS_AUDIO_FORMAT_FLOAT32_TAG, WAVE_FORMAT_IEEE_FLOAT, 2, 48000, 32, 8, 0, nullptr, 100000},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(::testing::Message() << (r.format ? r.format : "-") << " " << r.control);
        r.format ? setenv("VKS_AUDIO_FORMAT", r.format, 1) : unsetenv("VKS_AUDIO_FORMAT");
        r.periodMs ? setenv("VKS_AUDIO_PERIOD_MS", r.periodMs, 1) : unsetenv("VKS_AUDIO_PERIOD_MS");
        VksAudioResetConfiguration();
        if (r.control >= 0) {
            ASSERT_TRUE(VksAudioSetFormat(static_cast<VKS_AUDIO_FORMAT_KIND>(r.control), r.rate, 2));
        }
        Endpoint ep;
        ASSERT_EQ(ep.Activate(), S_OK);
        const auto* x = reinterpret_cast<const WAVEFORMATEXTENSIBLE*>(ep.mix);
        const WAVEFORMATEX& m = *ep.mix;
        EXPECT_EQ(std::make_tuple(m.wFormatTag, m.nChannels, m.nSamplesPerSec, m.wBitsPerSample, m.nBlockAlign,
                                  m.nAvgBytesPerSec, m.cbSize),
                  std::make_tuple(r.tag, r.channels, r.rate, r.bits, r.align, r.rate * r.align, r.cbSize));
        if (r.tag == WAVE_FORMAT_EXTENSIBLE) {
            EXPECT_EQ(std::make_pair(x->Samples.wValidBitsPerSample, x->dwChannelMask),
                      std::make_pair(r.bits, static_cast<DWORD>(KSAUDIO_SPEAKER_STEREO)));
            EXPECT_TRUE(r.sub ? x->SubFormat == *r.sub : x->SubFormat != *kPcm && x->SubFormat != *kFloat);
        }
        REFERENCE_TIME period = 0, minimum = 0;
        EXPECT_EQ(ep.client->GetDevicePeriod(&period, &minimum), S_OK);
        EXPECT_EQ(std::make_pair(period, minimum), std::make_pair(r.period, REFERENCE_TIME{30000}));
    }
    EXPECT_FALSE(VksAudioSetFormat(VKS_AUDIO_FORMAT_PCM16, 48000, 9));
    EXPECT_FALSE(VksAudioSetPeriod(5000));
}

// "none" in the environment, or the control: no render endpoint.
TEST(AudioEndpoint, NoEndpoint) {
    setenv("VKS_AUDIO_ENDPOINT", "none", 1);
    VksAudioResetConfiguration();
    {
        Endpoint ep;
        IMMDevice* device = reinterpret_cast<IMMDevice*>(1);
        EXPECT_EQ(ep.enumerator->GetDefaultAudioEndpoint(eRender, eMultimedia, &device), HRESULT(0x80070490));
        EXPECT_EQ(device, nullptr);
    }
    unsetenv("VKS_AUDIO_ENDPOINT");
    VksAudioResetConfiguration();
    EXPECT_EQ(Endpoint().Activate(), S_OK);
    VksAudioSetEndpointPresent(FALSE);
    EXPECT_EQ(Endpoint().Activate(), E_NOTFOUND);
}

// A client refuses what comes out of order: calls before Initialize, a
// second Initialize, Start without the event an event-driven stream needs,
// a second Start. The endpoint keeps its own copy of the event handle.
TEST(AudioClient, SharedModeRules) {
    Endpoint ep;
    ASSERT_EQ(ep.Activate(), S_OK);
    UINT32 frames = 0;
    EXPECT_EQ(ep.client->GetBufferSize(&frames), AUDCLNT_E_NOT_INITIALIZED);
    EXPECT_EQ(ep.client->Start(), AUDCLNT_E_NOT_INITIALIZED);
    void* service = nullptr;
    EXPECT_EQ(ep.client->GetService(IID_IAudioRenderClient, &service), AUDCLNT_E_NOT_INITIALIZED);
    const DWORD flags = AUDCLNT_STREAMFLAGS_EVENTCALLBACK;
    ASSERT_EQ(ep.client->Initialize(AUDCLNT_SHAREMODE_SHARED, flags, 200000, 0, ep.mix, nullptr), S_OK);
    EXPECT_EQ(ep.client->Initialize(AUDCLNT_SHAREMODE_SHARED, flags, 200000, 0, ep.mix, nullptr),
              AUDCLNT_E_ALREADY_INITIALIZED);
    EXPECT_EQ(ep.client->GetBufferSize(&frames), S_OK);
    EXPECT_EQ(frames, 960u);
    EXPECT_EQ(ep.client->Start(), AUDCLNT_E_EVENTHANDLE_NOT_SET);
    EXPECT_EQ(ep.client->SetEventHandle(nullptr), E_INVALIDARG);
    HANDLE event = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    EXPECT_EQ(ep.client->SetEventHandle(event), S_OK);
    const DWORD handles = VksOpenHandleCount();
    EXPECT_EQ(ep.client->Stop(), S_FALSE);
    EXPECT_EQ(ep.client->Start(), S_OK);
    EXPECT_EQ(ep.client->Start(), AUDCLNT_E_NOT_STOPPED);
    EXPECT_EQ(ep.client->Reset(), AUDCLNT_E_NOT_STOPPED);
    EXPECT_EQ(ep.client->Stop(), S_OK);
    CloseHandle(event);
    EXPECT_EQ(VksOpenHandleCount(), handles - 1);
    ep.client->Release();
    ep.client = nullptr;
    EXPECT_EQ(VksOpenHandleCount(), handles - 2);
}

TEST(AudioClient, BufferOrder) {
    Endpoint ep;
    ASSERT_EQ(ep.Open(), S_OK);
    EXPECT_EQ(ep.render->ReleaseBuffer(0, 0), AUDCLNT_E_OUT_OF_ORDER);
    BYTE* data = nullptr;
    EXPECT_EQ(ep.render->GetBuffer(961, &data), AUDCLNT_E_BUFFER_TOO_LARGE);
    ASSERT_EQ(ep.render->GetBuffer(100, &data), S_OK);
    std::memset(data, 0x7F, 100 * 8);
    BYTE* again = nullptr;
    EXPECT_EQ(ep.render->GetBuffer(10, &again), AUDCLNT_E_OUT_OF_ORDER);
    EXPECT_EQ(ep.client->Reset(), AUDCLNT_E_BUFFER_OPERATION_PENDING);
    EXPECT_EQ(ep.render->ReleaseBuffer(101, 0), AUDCLNT_E_INVALID_SIZE);
    EXPECT_EQ(ep.render->ReleaseBuffer(60, AUDCLNT_BUFFERFLAGS_SILENT), S_OK);
    EXPECT_EQ(ep.Padding(), 60u);
    EXPECT_EQ(ep.render->GetBuffer(900, &data), S_OK);
    EXPECT_EQ(ep.render->ReleaseBuffer(900, 0), S_OK);
    EXPECT_EQ(ep.Padding(), 960u);
    EXPECT_EQ(ep.render->GetBuffer(1, &data), AUDCLNT_E_BUFFER_TOO_LARGE);
    EXPECT_EQ(ep.client->Reset(), S_OK);
    EXPECT_EQ(ep.Padding(), 0u);
}

// Nothing plays before Start; afterwards each period takes one period of
// frames (480 at 48 kHz and 10 ms) and sets the event, no sooner than the
// period's time has passed. (What was played, as the recording holds it, is
// checked by AudioPlayback and vksctl's --wav test.)
TEST(AudioEngine, ClockPaddingEventsAndUnderruns) {
    Endpoint ep;
    ASSERT_EQ(ep.Open(), S_OK);
    ep.WriteSilence(960);
    EXPECT_EQ(ep.Padding(), 960u);
    EXPECT_EQ(WaitForSingleObject(ep.event, 0), (DWORD)WAIT_TIMEOUT);
    EXPECT_EQ(Stats().streamsStarted, 0u);

    const auto start = std::chrono::steady_clock::now();
    ASSERT_EQ(ep.client->Start(), S_OK);
    EXPECT_EQ(Stats().streamsStarted, 1u);
    ASSERT_EQ(WaitForSingleObject(ep.event, kLongWait), (DWORD)WAIT_OBJECT_0);
    UINT32 padding = ep.Padding();
    EXPECT_LT(padding, 960u);
    EXPECT_EQ(padding % 480, 0u);
    ASSERT_TRUE(VksAudioWaitFramesPlayed(960, kLongWait));
    const auto elapsed = std::chrono::steady_clock::now() - start;
    EXPECT_GE(std::chrono::duration_cast<std::chrono::microseconds>(elapsed).count(), 19000);
    EXPECT_EQ(ep.Padding(), 0u);

    // Every event a period set stands for a period the engine processed. A
    // period that finds less than a period queued is an underrun: with two
    // periods queued and no refill, every period after the second is one.
    int events = 0;
    for (; events < 3; ++events) ASSERT_EQ(WaitForSingleObject(ep.event, kLongWait), (DWORD)WAIT_OBJECT_0);
    ASSERT_TRUE(VksAudioWaitUnderruns(2, kLongWait));
    ASSERT_EQ(ep.client->Stop(), S_OK);
    const VKS_AUDIO_STATS s = Stats();
    EXPECT_GE(s.periods, 1u + events);  // each event consumed was set by its own period
    EXPECT_EQ(s.underruns, s.periods - 2);
    EXPECT_EQ(s.framesPlayed, 960u);
    EXPECT_EQ(s.streamsStarted, 0u);
    // Stopped: the padding stays and nothing more is played.
    ep.WriteSilence(480);
    EXPECT_EQ(ep.Padding(), 480u);
    EXPECT_EQ(Stats().framesPlayed, 960u);
}

// (A session's stream count is followed by AudioThreadTest through the
// decoders that share a session.)
TEST(AudioScheduler, ProAudioRegistration) {
    DWORD index = 0;
    HANDLE task = AvSetMmThreadCharacteristicsW(u"Pro Audio", &index);
    ASSERT_NE(task, nullptr);
    EXPECT_NE(index, 0u);
    EXPECT_EQ(Stats().mmcssTasks, 1u);
    EXPECT_TRUE(AvRevertMmThreadCharacteristics(task));
    EXPECT_EQ(Stats().mmcssTasks, 0u);
    EXPECT_FALSE(AvRevertMmThreadCharacteristics(task));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
}
