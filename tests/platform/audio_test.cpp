// The simulated audio endpoint behind the audio session interfaces: COM and
// GUID helpers, the mix format and its configuration, the shared-mode rules
// of the audio client, the engine clock (padding, one event per period,
// underruns), the WAV recording, the "no endpoint" configuration and the
// multimedia class scheduler. Every test runs in its own process, so the
// configuration one sets does not reach another.
#include "vks_platform.h"
#include "vks_win32/audio_ext.h"
#include "vks_win32/linux_ext.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <chrono>
#include <fstream>
#include <string>
#include <tuple>
#include <vector>

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
    // Queues `frames` frames whose bytes come from fill(frameIndex, bytes).
    template <class Fill>
    void Write(UINT32 frames, Fill fill) {
        BYTE* data = nullptr;
        ASSERT_EQ(render->GetBuffer(frames, &data), S_OK);
        ASSERT_NE(data, nullptr);
        for (UINT32 i = 0; i < frames; ++i) fill(i, data + static_cast<size_t>(i) * mix->nBlockAlign);
        ASSERT_EQ(render->ReleaseBuffer(frames, 0), S_OK);
    }
    void WriteSilence(UINT32 frames) {
        Write(frames, [this](UINT32, BYTE* frame) { std::memset(frame, 0, mix->nBlockAlign); });
    }
};

VKS_AUDIO_STATS Stats() {
    VKS_AUDIO_STATS s{};
    VksAudioGetStats(&s);
    return s;
}

}  // namespace

TEST(AudioCom, InitialisationCounts) {
    IMMDeviceEnumerator* enumerator = nullptr;
    EXPECT_EQ(CoCreateInstance(CLSID_MMDeviceEnumerator, nullptr, CLSCTX_ALL, IID_IMMDeviceEnumerator,
                               reinterpret_cast<void**>(&enumerator)),
              CO_E_NOTINITIALIZED);
    EXPECT_EQ(enumerator, nullptr);
    EXPECT_EQ(Stats().comThreads, 0u);
    EXPECT_EQ(CoInitialize(nullptr), S_OK);
    EXPECT_EQ(CoInitialize(nullptr), S_FALSE);
    EXPECT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), RPC_E_CHANGED_MODE);
    EXPECT_EQ(Stats().comThreads, 1u);
    EXPECT_EQ(CoCreateInstance(IID_IUnknown, nullptr, CLSCTX_ALL, IID_IUnknown, reinterpret_cast<void**>(&enumerator)),
              REGDB_E_CLASSNOTREG);
    IUnknown* unknown = nullptr;
    ASSERT_EQ(CoCreateInstance(CLSID_MMDeviceEnumerator, nullptr, CLSCTX_ALL, IID_IUnknown,
                               reinterpret_cast<void**>(&unknown)),
              S_OK);
    ASSERT_EQ(unknown->QueryInterface(IID_IMMDeviceEnumerator, reinterpret_cast<void**>(&enumerator)), S_OK);
    EXPECT_EQ(unknown->Release(), 1u);
    void* other = nullptr;
    EXPECT_EQ(enumerator->QueryInterface(IID_IAudioClient, &other), E_NOINTERFACE);
    EXPECT_EQ(other, nullptr);
    EXPECT_EQ(Stats().comObjects, 1u);
    EXPECT_EQ(enumerator->Release(), 0u);
    EXPECT_EQ(Stats().comObjects, 0u);
    CoUninitialize();
    EXPECT_EQ(Stats().comThreads, 1u);  // the S_FALSE call counts too
    CoUninitialize();
    EXPECT_EQ(Stats().comThreads, 0u);
}

TEST(AudioCom, GuidTextAndConversion) {
    const GUID g = {0x0123ABCD, 0x4567, 0x89EF, {0xFE, 0xDC, 0xBA, 0x98, 0x76, 0x54, 0x32, 0x10}};
    WCHAR text[39];
    EXPECT_EQ(StringFromGUID2(g, text, 38), 0);
    EXPECT_EQ(StringFromGUID2(g, text, 39), 39);
    EXPECT_EQ(std::u16string(text), std::u16string(u"{0123ABCD-4567-89EF-FEDC-BA9876543210}"));
    // (The text's ASCII conversion and fresh GUIDs are checked through the
    // session id by AudioThreadTest.AllZeroSessionGuidIsReplacedAndReportedAsTheSessionId.)
    char narrow[39];
    EXPECT_EQ(wcstombs(nullptr, text, 0), 38u);
    EXPECT_EQ(wcstombs(narrow, u"a\u20ACb", sizeof narrow), static_cast<size_t>(-1));
    EXPECT_EQ(wcstombs(narrow, u"\u00E9t\u00E9", sizeof narrow), 3u);
    EXPECT_EQ(static_cast<unsigned char>(narrow[0]), 0xE9);
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
    Endpoint ep;
    ASSERT_EQ(ep.Activate(), S_OK);
    DWORD state = 0;
    EXPECT_EQ(ep.device->GetState(&state), S_OK);
    EXPECT_EQ(state, static_cast<DWORD>(DEVICE_STATE_ACTIVE));
    IMMDevice* capture = reinterpret_cast<IMMDevice*>(1);
    EXPECT_EQ(ep.enumerator->GetDefaultAudioEndpoint(eCapture, eMultimedia, &capture), E_NOTFOUND);
    EXPECT_EQ(capture, nullptr);
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

TEST(AudioClient, SharedModeRules) {
    Endpoint ep;
    ASSERT_EQ(ep.Activate(), S_OK);
    UINT32 frames = 0;
    EXPECT_EQ(ep.client->GetBufferSize(&frames), AUDCLNT_E_NOT_INITIALIZED);
    EXPECT_EQ(ep.client->Start(), AUDCLNT_E_NOT_INITIALIZED);
    void* service = nullptr;
    EXPECT_EQ(ep.client->GetService(IID_IAudioRenderClient, &service), AUDCLNT_E_NOT_INITIALIZED);

    WAVEFORMATEX other = *ep.mix;
    other.wFormatTag = WAVE_FORMAT_PCM;
    other.cbSize = 0;
    EXPECT_EQ(ep.client->Initialize(AUDCLNT_SHAREMODE_SHARED, 0, 200000, 0, &other, nullptr),
              AUDCLNT_E_UNSUPPORTED_FORMAT);
    WAVEFORMATEX* closest = nullptr;
    EXPECT_EQ(ep.client->IsFormatSupported(AUDCLNT_SHAREMODE_SHARED, &other, &closest), S_FALSE);
    ASSERT_NE(closest, nullptr);
    EXPECT_EQ(closest->wFormatTag, WAVE_FORMAT_EXTENSIBLE);
    CoTaskMemFree(closest);
    EXPECT_EQ(ep.client->Initialize(AUDCLNT_SHAREMODE_SHARED, 0, 200000, 100000, ep.mix, nullptr), E_INVALIDARG);

    // Not event-driven: no event handle expected, and Start needs none.
    ASSERT_EQ(ep.client->Initialize(AUDCLNT_SHAREMODE_SHARED, 0, 200000, 0, ep.mix, nullptr), S_OK);
    EXPECT_EQ(ep.client->Initialize(AUDCLNT_SHAREMODE_SHARED, 0, 200000, 0, ep.mix, nullptr),
              AUDCLNT_E_ALREADY_INITIALIZED);
    EXPECT_EQ(ep.client->GetBufferSize(&frames), S_OK);
    EXPECT_EQ(frames, 960u);
    HANDLE event = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    EXPECT_EQ(ep.client->SetEventHandle(event), AUDCLNT_E_EVENTHANDLE_NOT_EXPECTED);
    CloseHandle(event);
    EXPECT_EQ(ep.client->Stop(), S_FALSE);
    EXPECT_EQ(ep.client->Start(), S_OK);
    EXPECT_EQ(ep.client->Start(), AUDCLNT_E_NOT_STOPPED);
    EXPECT_EQ(ep.client->Reset(), AUDCLNT_E_NOT_STOPPED);
    EXPECT_EQ(ep.client->Stop(), S_OK);
}

TEST(AudioClient, EventDrivenNeedsItsEvent) {
    Endpoint ep;
    ASSERT_EQ(ep.Activate(), S_OK);
    ASSERT_EQ(ep.client->Initialize(AUDCLNT_SHAREMODE_SHARED, AUDCLNT_STREAMFLAGS_EVENTCALLBACK, 200000, 0, ep.mix,
                                    nullptr),
              S_OK);
    EXPECT_EQ(ep.client->Start(), AUDCLNT_E_EVENTHANDLE_NOT_SET);
    EXPECT_EQ(ep.client->SetEventHandle(nullptr), E_INVALIDARG);
    // The endpoint keeps its own handle: closing the caller's changes nothing.
    HANDLE event = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    EXPECT_EQ(ep.client->SetEventHandle(event), S_OK);
    const DWORD handles = VksOpenHandleCount();
    EXPECT_EQ(ep.client->Start(), S_OK);
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
// period's time has passed. The recording is a WAV file of the endpoint's
// format holding what was played, silence included, one period at a time.
TEST(AudioEngine, ClockPaddingEventsUnderrunsAndRecording) {
    ASSERT_TRUE(VksAudioSetFormat(VKS_AUDIO_FORMAT_PCM16_TAG, 48000, 2));
    const std::string path = ::testing::TempDir() + "vks_audio_record_" + std::to_string(getpid()) + ".wav";
    ASSERT_TRUE(VksAudioSetRecordFile(path.c_str()));
    auto frame = [](UINT32 i, BYTE* out) {
        const int16_t leftRight[2] = {static_cast<int16_t>(i), static_cast<int16_t>(-static_cast<int>(i))};
        std::memcpy(out, leftRight, 4);
    };
    VKS_AUDIO_STATS s{};
    {
        Endpoint ep;
        ASSERT_EQ(ep.Open(), S_OK);
        ASSERT_EQ(ep.mix->nBlockAlign, 4);
        ep.Write(960, frame);
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
        s = Stats();
        EXPECT_GE(s.periods, 1u + events);  // each event consumed was set by its own period
        EXPECT_EQ(s.underruns, s.periods - 2);
        EXPECT_EQ(s.framesPlayed, 960u);
        EXPECT_EQ(s.streamsStarted, 0u);
        // Stopped: the padding stays and nothing more is played.
        ep.WriteSilence(480);
        EXPECT_EQ(ep.Padding(), 480u);
        EXPECT_EQ(Stats().framesPlayed, 960u);
    }
    std::ifstream in(path, std::ios::binary);
    std::vector<unsigned char> file((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::remove(path.c_str());
    ASSERT_GE(file.size(), 44u + 3 * 480 * 4);
    const uint32_t data = static_cast<uint32_t>(file.size() - 44);
    EXPECT_EQ(data, s.periods * 480 * 4);  // whole periods
    // RIFF sizes, then the 16-byte format of the endpoint (PCM, 2 x 16 bits at 48 kHz).
    const uint32_t header[] = {0x46464952, data + 36, 0x45564157, 0x20746D66, 16, 0x00020001, 48000, 192000,
                               0x00100004, 0x61746164, data};
    EXPECT_EQ(std::memcmp(file.data(), header, sizeof header), 0);
    std::vector<unsigned char> played(data);  // the frames written, then silence
    for (UINT32 i = 0; i < 960; ++i) frame(i, played.data() + i * 4);
    EXPECT_TRUE(std::equal(played.begin(), played.end(), file.begin() + 44));
}

// Two streams of one session: the session's count follows the clients.
TEST(AudioEngine, SessionStreamCounts) {
    GUID session{};
    ASSERT_EQ(CoCreateGuid(&session), S_OK);
    EXPECT_EQ(VksAudioSessionStreamCount(&session), 0u);
    {
        Endpoint a, b;
        ASSERT_EQ(a.Open(&session), S_OK);
        EXPECT_EQ(VksAudioSessionStreamCount(&session), 1u);
        ASSERT_EQ(b.Open(&session), S_OK);
        EXPECT_TRUE(VksAudioWaitSessionStreamCount(&session, 2, kLongWait));
        EXPECT_EQ(Stats().streamsOpen, 2u);
    }
    EXPECT_TRUE(VksAudioWaitSessionStreamCount(&session, 0, kLongWait));
    EXPECT_EQ(Stats().streamsOpen, 0u);
    EXPECT_EQ(Stats().comObjects, 0u);
}

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
    index = 0;
    EXPECT_EQ(AvSetMmThreadCharacteristicsW(u"No Such Task", &index), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_TASK_NAME));
}
