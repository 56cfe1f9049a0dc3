// Encoders against the device simulator: open, state and registrations, raw
// input and output samples with the completion write-back, the encoder's
// notifications, the encryption-keys request, and the capture-card interface.
#include "vksacc.h"
#include "vkssim/sim.h"

#include "support/sim_engine_test.h"
#include "support/test_env.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

using namespace std::chrono_literals;

namespace {

constexpr uint32_t kOutputSampleCode = 0x22C41Cu;
constexpr uint32_t kSupplyRawDataCode = 0x22C490u;
constexpr uint32_t kCaptureOpenCode = 0x22C4B8u;
constexpr uint32_t kCaptureCloseCode = 0x22C4BCu;
constexpr uint32_t kCapturePauseCode = 0x22C4C0u;
constexpr uint32_t kCaptureUnpauseCode = 0x22C4C4u;
constexpr uint32_t kCapturePausePushCode = 0x22C4DCu;
constexpr auto kWait = 10s;

enum Form { kError = 1, kReturn, kKeys };

struct Call {
    Form form = kError;
    void* leadingPointer = nullptr;
    uint32_t leadingValue = 0;
    HVKS handle = 0;
    uint32_t middleValue = 0;
    VKSMEDIASAMPLE* sample = nullptr;
    VKSERROR status = 0;
    void* context = nullptr;
    std::vector<uint8_t> payload;
    std::thread::id thread;
};

// Collects the encoder callbacks; tests wait on it.
class Recorder {
public:
    void Add(Call call) {
        call.thread = std::this_thread::get_id();
        std::lock_guard<std::mutex> lock(mutex_);
        calls_.push_back(std::move(call));
        changed_.notify_all();
    }
    bool WaitFor(size_t count) {
        std::unique_lock<std::mutex> lock(mutex_);
        return changed_.wait_for(lock, kWait, [&] { return calls_.size() >= count; });
    }
    std::vector<Call> Calls() {
        std::lock_guard<std::mutex> lock(mutex_);
        return calls_;
    }
    void Clear() {
        std::lock_guard<std::mutex> lock(mutex_);
        calls_.clear();
    }

    static void VKSAPI OnError(HVKS h, VKSMEDIASAMPLE* sample, VKSERROR status, void* context) {
        Call c;
        c.form = kError;
        c.handle = h;
        c.sample = sample;
        c.status = status;
        c.context = context;
        static_cast<Recorder*>(context)->Add(std::move(c));
    }
    static void VKSAPI OnReturn(HVKS h, VKSMEDIASAMPLE* sample, void* context) {
        Call c;
        c.form = kReturn;
        c.handle = h;
        c.sample = sample;
        c.context = context;
        static_cast<Recorder*>(context)->Add(std::move(c));
    }
    static void VKSAPI OnKeys(void* lead, uint32_t leadValue, HVKS h, uint32_t middle, void* request, void* context) {
        Call c;
        c.form = kKeys;
        c.leadingPointer = lead;
        c.leadingValue = leadValue;
        c.handle = h;
        c.middleValue = middle;
        const auto* bytes = static_cast<const uint8_t*>(request);
        if (bytes != nullptr) c.payload.assign(bytes, bytes + vkssim::kEncryptionKeyRequestSize);
        c.context = context;
        static_cast<Recorder*>(context)->Add(std::move(c));
    }

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<Call> calls_;
};

// A media sample with its buffer list, media type and data, at fixed addresses.
struct TestSample {
    VKSMEDIASAMPLE sample{};
    VKSMEDIABUFFERS buffers{};
    VKSMEDIATYPE type{};
    std::vector<uint8_t> data;

    explicit TestSample(uint32_t length) : data(length, 0xCC) {
        sample.Kind = 1;
        sample.SampleWord = 0x5A5A0001;
        sample.pMediaType = &type;
        sample.Layout = 1;
        sample.pBuffers = &buffers;
        type.FormatWord1 = 0x31637661;
        type.FormatWord2 = 0x00000780;
        buffers.BufferCount = 1;
        buffers.Buffers[0].pData = data.data();
        buffers.Buffers[0].Length = length;
        buffers.Buffers[0].BufferWord = 0x0B0B0B0B;
        buffers.CompletionValue1 = 0x1111111111111111ull;
        buffers.CompletionValue2 = 0x2222222222222222ull;
        buffers.Buffers[0].FilledLength = 0x33333333u;
    }
};

uint32_t U32(const std::vector<uint8_t>& bytes, size_t offset) {
    uint32_t v = 0;
    std::memcpy(&v, bytes.data() + offset, 4);
    return v;
}
uint64_t U64(const std::vector<uint8_t>& bytes, size_t offset) {
    uint64_t v = 0;
    std::memcpy(&v, bytes.data() + offset, 8);
    return v;
}
uint64_t Address(const void* p) { return static_cast<uint64_t>(reinterpret_cast<uintptr_t>(p)); }

// Every byte of [from, to) is zero.
bool ZeroRange(const std::vector<uint8_t>& bytes, size_t from, size_t to) {
    for (size_t i = from; i < to && i < bytes.size(); ++i) {
        if (bytes[i] != 0) return false;
    }
    return true;
}

class EncoderTest : public vkstest::SimEngineTest {
protected:
    void SetUp() override {
        SimEngineTest::SetUp();
        device_ = AddDevice(1, 1, 1);
        ASSERT_EQ(device_, 0);
    }
    void TearDown() override {
        if (encoder_ != 0) VKSEncoderDeviceClose(encoder_);
        SimEngineTest::TearDown();
    }
    // The error function closes its own encoder; the worker carries on and
    // serves the next open. Defined after Closer below.
    void CloseFromTheErrorFunctionThenOpenAgain();
    void CompleteOneEchoing(vkssim::EncoderEcho echo, TestSample& t, Call* call);
    // Opens encoder 0 and finds the driver's object behind it.
    void OpenEncoder(uint32_t option = 0) {
        ASSERT_EQ(VKSEncoderDeviceOpen(0, option, &encoder_), VKSERROR_NO_ERROR);
        auto object = vkssim::FindObject(device_, VKSSIM_TYPE_ENCODER, 0);
        ASSERT_TRUE(object.has_value());
        simHandle_ = object->handle;
        // Samples stay held until a test produces them.
        ASSERT_TRUE(vkssim::SetEncoderFrameRate(device_, simHandle_, 0));
        ASSERT_TRUE(vkssim::WaitForHeld(device_, VKSSIM_IOCTL_EVENT_REQUEST, 1, kWait));
    }
    void RegisterAll() {
        ASSERT_EQ(VKSEncoderDeviceSetErrorFn(encoder_, &Recorder::OnError, &recorder_), VKSERROR_NO_ERROR);
        ASSERT_EQ(VKSEncoderDeviceSetOutputMediaSampleReturnFn(encoder_, &Recorder::OnReturn, &recorder_),
                  VKSERROR_NO_ERROR);
        ASSERT_EQ(VKSEncoderDeviceSetEncryptionKeysFn(encoder_, &Recorder::OnKeys, &recorder_), VKSERROR_NO_ERROR);
    }
    // The one request with the code sent since `mark`.
    std::vector<uint8_t> SentSince(uint64_t mark, uint32_t code) {
        auto request = vkssim::WaitForRequest(code, mark, kWait);
        EXPECT_TRUE(request.has_value());
        return request ? request->input : std::vector<uint8_t>();
    }
    size_t CountSince(uint64_t mark, uint32_t code) {
        size_t n = 0;
        for (const auto& r : vkssim::Requests()) {
            if (r.sequence >= mark && r.code == code) ++n;
        }
        return n;
    }

    int device_ = -1;
    HVKS encoder_ = 0;
    uint32_t simHandle_ = 0;
    Recorder recorder_;
};

// --- Open, close, state, registrations ----------------------------------------------------

TEST_F(EncoderTest, OpenNeedsTheEngineAndAKnownIndex) {
    HVKS handle = 0;
    EXPECT_EQ(VKSEncoderDeviceOpen(0, 0, &handle), VKSERROR_UNINITIALIZED);
    Load();
    EXPECT_EQ(VKSEncoderDeviceOpen(1, 0, &handle), VKSERROR_INVALID_INPUT);
    EXPECT_EQ(VKSEncoderDeviceOpen(0, 0, nullptr), VKSERROR_INVALID_ARGUMENT);
    EXPECT_TRUE(vkssim::Objects(device_).empty());
}

TEST_F(EncoderTest, OpenCarriesTheOptionAndCloseEndsTheObject) {
    Load();
    OpenEncoder(0x25);
    auto object = vkssim::GetObject(device_, simHandle_);
    ASSERT_TRUE(object.has_value());
    EXPECT_EQ(object->type, VKSSIM_TYPE_ENCODER);
    EXPECT_EQ(object->openFlags, 0x25u);

    uint32_t state = 7;
    ASSERT_EQ(VKSEncoderDeviceGetState(encoder_, &state), VKSERROR_NO_ERROR);
    EXPECT_EQ(state, 0u);
    ASSERT_EQ(VKSEncoderDeviceSetState(encoder_, 2), VKSERROR_NO_ERROR);
    EXPECT_EQ(vkssim::GetObject(device_, simHandle_)->state, 2u);
    ASSERT_EQ(VKSEncoderDeviceGetState(encoder_, &state), VKSERROR_NO_ERROR);
    EXPECT_EQ(state, 2u);
    EXPECT_EQ(VKSEncoderDeviceGetState(encoder_, nullptr), VKSERROR_INVALID_ARGUMENT);

    EXPECT_EQ(VKSEncoderDeviceClose(encoder_), VKSERROR_NO_ERROR);
    EXPECT_FALSE(vkssim::GetObject(device_, simHandle_).has_value());
    EXPECT_NE(VKSEncoderDeviceClose(encoder_), VKSERROR_NO_ERROR);
    encoder_ = 0;
}

TEST_F(EncoderTest, RegistrationsRefuseHandlesThatAreNotEncoders) {
    Load();
    HVKS decoder = 0;
    VKSGUID session{};
    ASSERT_EQ(VKSDecoderDeviceOpenEx(0, 0, 0, &decoder, nullptr, &session), VKSERROR_NO_ERROR);
    EXPECT_EQ(VKSEncoderDeviceSetErrorFn(decoder, &Recorder::OnError, &recorder_), VKSERROR_INVALID_HANDLE);
    EXPECT_EQ(VKSEncoderDeviceSetEncryptionKeysFn(decoder, &Recorder::OnKeys, &recorder_), VKSERROR_INVALID_HANDLE);
    EXPECT_EQ(VKSEncoderDeviceSetOutputMediaSampleReturnFn(decoder, &Recorder::OnReturn, &recorder_),
              VKSERROR_INVALID_HANDLE);
    EXPECT_EQ(VKSDecoderDeviceClose(decoder), VKSERROR_NO_ERROR);

    EXPECT_NE(VKSEncoderDeviceSetErrorFn(0x12345678, &Recorder::OnError, &recorder_), VKSERROR_NO_ERROR);
    EXPECT_NE(VKSEncoderDeviceSetEncryptionKeysFn(0x12345678, &Recorder::OnKeys, &recorder_), VKSERROR_NO_ERROR);
    EXPECT_NE(VKSEncoderDeviceSetOutputMediaSampleReturnFn(0x12345678, &Recorder::OnReturn, &recorder_),
              VKSERROR_NO_ERROR);
}

TEST_F(EncoderTest, InputReturnAndFlushAreUnsupportedWhateverTheArguments) {
    EXPECT_EQ(VKSEncoderDeviceSetInputMediaSampleReturnFn(0, nullptr, nullptr), VKSERROR_UNSUPPORTED);
    EXPECT_EQ(VKSEncoderDeviceFlushMediaSamples(0), VKSERROR_UNSUPPORTED);
    Load();
    OpenEncoder();
    EXPECT_EQ(VKSEncoderDeviceSetInputMediaSampleReturnFn(encoder_, &Recorder::OnReturn, &recorder_),
              VKSERROR_UNSUPPORTED);
    EXPECT_EQ(VKSEncoderDeviceFlushMediaSamples(encoder_), VKSERROR_UNSUPPORTED);
}

// --- Raw input ----------------------------------------------------------------------------

TEST_F(EncoderTest, InputSendsTheSummedLengthAndOnlyEntryZerosPointer) {
    Load();
    OpenEncoder();
    // Three planes laid out back to back behind entry 0.
    std::vector<uint8_t> region(600);
    for (size_t i = 0; i < region.size(); ++i) region[i] = static_cast<uint8_t>(i * 7);
    VKSMEDIATYPE type{};
    type.FormatWord1 = 0xA1;
    type.FormatWord2 = 0xB2;
    VKSMEDIABUFFERS buffers{};
    buffers.BufferCount = 3;
    buffers.Buffers[0].pData = region.data();
    buffers.Buffers[0].Length = 100;
    buffers.Buffers[1].pData = region.data() + 100;
    buffers.Buffers[1].Length = 200;
    buffers.Buffers[2].pData = region.data() + 300;
    buffers.Buffers[2].Length = 300;
    VKSMEDIASAMPLE sample{};
    sample.Kind = 2;  // a media type that input does not use
    sample.pMediaType = &type;
    sample.pBuffers = &buffers;

    uint64_t mark = vkssim::RequestMark();
    ASSERT_EQ(VKSEncoderDeviceChainInputMediaSample(encoder_, &sample), VKSERROR_NO_ERROR);
    auto sent = SentSince(mark, kSupplyRawDataCode);
    ASSERT_EQ(sent.size(), 2824u);
    EXPECT_EQ(U32(sent, 4), VKSDEVICETYPE_ENCODER);
    EXPECT_EQ(U32(sent, 12), simHandle_);
    EXPECT_EQ(U32(sent, 24), 0u);
    EXPECT_EQ(U32(sent, 28), 0u);
    EXPECT_EQ(U32(sent, 32), 600u);
    EXPECT_EQ(U64(sent, 40), Address(region.data()));
    EXPECT_TRUE(ZeroRange(sent, 48, sent.size()));
    auto input = vkssim::GetEncoderInput(device_, simHandle_);
    ASSERT_TRUE(input.has_value());
    EXPECT_EQ(input->lastLength, 600u);
    EXPECT_EQ(input->lastChecksum, vkssim::EncoderChecksum(region.data(), region.size()));

    // Kind 1 carries the media type's format words.
    sample.Kind = 1;
    mark = vkssim::RequestMark();
    ASSERT_EQ(VKSEncoderDeviceChainInputMediaSample(encoder_, &sample), VKSERROR_NO_ERROR);
    sent = SentSince(mark, kSupplyRawDataCode);
    EXPECT_EQ(U32(sent, 24), 0xA1u);
    EXPECT_EQ(U32(sent, 28), 0xB2u);
    EXPECT_EQ(vkssim::GetEncoderInput(device_, simHandle_)->samples, 2u);
}

TEST_F(EncoderTest, InputRefusesWhatItCannotSend) {
    Load();
    OpenEncoder();
    TestSample t(64);
    const uint64_t mark = vkssim::RequestMark();
    EXPECT_EQ(VKSEncoderDeviceChainInputMediaSample(encoder_, nullptr), VKSERROR_INVALID_ARGUMENT);
    t.sample.pBuffers = nullptr;
    EXPECT_EQ(VKSEncoderDeviceChainInputMediaSample(encoder_, &t.sample), VKSERROR_INVALID_ARGUMENT);
    t.sample.pBuffers = &t.buffers;
    // More entries than the list has room for.
    t.buffers.BufferCount = 4;
    EXPECT_EQ(VKSEncoderDeviceChainInputMediaSample(encoder_, &t.sample), VKSERROR_INVALID_ARGUMENT);
    // Lengths whose sum does not fit the length field.
    t.buffers.BufferCount = 2;
    t.buffers.Buffers[0].Length = 0xFFFFFFF0u;
    t.buffers.Buffers[1].Length = 0x20u;
    EXPECT_EQ(VKSEncoderDeviceChainInputMediaSample(encoder_, &t.sample), VKSERROR_INVALID_ARGUMENT);
    // No data behind entry 0.
    t.buffers.BufferCount = 1;
    t.buffers.Buffers[0].Length = 64;
    t.buffers.Buffers[0].pData = nullptr;
    EXPECT_EQ(VKSEncoderDeviceChainInputMediaSample(encoder_, &t.sample), VKSERROR_ILLEGAL_CALL);
    EXPECT_EQ(CountSince(mark, kSupplyRawDataCode), 0u);
    EXPECT_NE(VKSEncoderDeviceChainInputMediaSample(0x12345678, &t.sample), VKSERROR_NO_ERROR);

    // The driver's status comes back unchanged.
    t.buffers.Buffers[0].pData = t.data.data();
    vkssim::FailWithStatus(kSupplyRawDataCode, VKSERROR_ENC_DMA_ERROR, 1);
    EXPECT_EQ(VKSEncoderDeviceChainInputMediaSample(encoder_, &t.sample), VKSERROR_ENC_DMA_ERROR);
    EXPECT_EQ(VKSEncoderDeviceChainInputMediaSample(encoder_, &t.sample), VKSERROR_NO_ERROR);
}

// --- Output samples -----------------------------------------------------------------------

TEST_F(EncoderTest, OutputRequestCarriesTheSampleFields) {
    vkstest::ScopedRegistry registry(vkstest::ConfigKey(""));
    vkstest::DebugCapture capture;
    Load();
    OpenEncoder();
    TestSample t(4096);
    t.sample.Kind = 2;
    t.sample.Layout = 2;
    t.buffers.Planes.FirstPlaneValues[0] = 0xF1F1F1F1F1F1F1F1ull;
    t.buffers.Planes.SecondPlaneValues[0] = 0xF2F2F2F2F2F2F2F2ull;
    t.buffers.Planes.ThirdPlaneValues[0] = 0xF3F3F3F3F3F3F3F3ull;

    const uint64_t mark = vkssim::RequestMark();
    ASSERT_EQ(VKSEncoderDeviceChainOutputMediaSample(encoder_, &t.sample), VKSERROR_NO_ERROR);
    auto sent = SentSince(mark, kOutputSampleCode);
    ASSERT_EQ(sent.size(), 2824u);
    EXPECT_EQ(U32(sent, 0), 2824u);
    EXPECT_EQ(U32(sent, 4), VKSDEVICETYPE_ENCODER);
    EXPECT_EQ(U32(sent, 12), simHandle_);
    EXPECT_EQ(U32(sent, 24), t.type.FormatWord1);
    EXPECT_EQ(U32(sent, 28), t.type.FormatWord2);
    EXPECT_EQ(U32(sent, 32), 4096u);
    EXPECT_EQ(U32(sent, 36), 2u);
    EXPECT_EQ(U32(sent, 40), t.sample.SampleWord);
    EXPECT_EQ(U32(sent, 44), 2u);
    EXPECT_EQ(U32(sent, 48), t.buffers.Buffers[0].BufferWord);
    EXPECT_EQ(U32(sent, 52), 4096u);
    EXPECT_EQ(U64(sent, 56), 0xF3F3F3F3F3F3F3F3ull);
    EXPECT_EQ(U64(sent, 64), Address(t.data.data()));
    EXPECT_EQ(U64(sent, 72), 0xF2F2F2F2F2F2F2F2ull);
    EXPECT_EQ(U64(sent, 88), 0xF1F1F1F1F1F1F1F1ull);
    EXPECT_EQ(U64(sent, 104), Address(t.data.data()));
    EXPECT_EQ(U64(sent, 112), Address(&t.sample));
    EXPECT_TRUE(ZeroRange(sent, 80, 88));
    EXPECT_TRUE(ZeroRange(sent, 96, 104));
    EXPECT_TRUE(ZeroRange(sent, 120, sent.size()));
    EXPECT_EQ(vkssim::HeldEncoderSamples(device_, simHandle_), 1u);

    // Logged whatever the level (none is configured here); %p prints 16
    // upper-case hex digits.
    char expected[96];
    std::snprintf(expected, sizeof expected, "Setting PUserData into driver of value %016llX",
                  static_cast<unsigned long long>(Address(&t.sample)));
    EXPECT_TRUE(capture.Contains(expected)) << expected;

    // Single-plane layout: no plane values; a media type with another kind is not used.
    TestSample single(256);
    single.sample.Kind = 3;
    single.buffers.Planes.FirstPlaneValues[0] = 0xF1;
    const uint64_t second = vkssim::RequestMark();
    ASSERT_EQ(VKSEncoderDeviceChainOutputMediaSample(encoder_, &single.sample), VKSERROR_NO_ERROR);
    sent = SentSince(second, kOutputSampleCode);
    EXPECT_EQ(U32(sent, 24), 0u);
    EXPECT_EQ(U32(sent, 28), 0u);
    EXPECT_EQ(U64(sent, 56), 0u);
    EXPECT_EQ(U64(sent, 72), 0u);
    EXPECT_EQ(U64(sent, 88), 0u);

    // The samples are still the device's: they must outlive the encoder.
    EXPECT_EQ(VKSEncoderDeviceClose(encoder_), VKSERROR_NO_ERROR);
    encoder_ = 0;
}

TEST_F(EncoderTest, OutputRefusesAnEmptyFirstBuffer) {
    Load();
    OpenEncoder();
    TestSample t(128);
    const uint64_t mark = vkssim::RequestMark();
    EXPECT_EQ(VKSEncoderDeviceChainOutputMediaSample(encoder_, nullptr), VKSERROR_INVALID_ARGUMENT);
    t.sample.pBuffers = nullptr;
    EXPECT_EQ(VKSEncoderDeviceChainOutputMediaSample(encoder_, &t.sample), VKSERROR_INVALID_ARGUMENT);
    t.sample.pBuffers = &t.buffers;
    t.buffers.Buffers[0].Length = 0;
    EXPECT_EQ(VKSEncoderDeviceChainOutputMediaSample(encoder_, &t.sample), VKSERROR_ILLEGAL_CALL);
    // A length with nowhere to write it.
    t.buffers.Buffers[0].Length = 128;
    t.buffers.Buffers[0].pData = nullptr;
    EXPECT_EQ(VKSEncoderDeviceChainOutputMediaSample(encoder_, &t.sample), VKSERROR_ILLEGAL_CALL);
    EXPECT_EQ(CountSince(mark, kOutputSampleCode), 0u);
    EXPECT_NE(VKSEncoderDeviceChainOutputMediaSample(0x12345678, &t.sample), VKSERROR_NO_ERROR);
}

TEST_F(EncoderTest, MatchingCompletionWritesBackAndReturnsTheSample) {
    Load();
    OpenEncoder();
    RegisterAll();
    TestSample first(1000), second(1000);
    ASSERT_EQ(VKSEncoderDeviceChainOutputMediaSample(encoder_, &first.sample), VKSERROR_NO_ERROR);
    ASSERT_EQ(VKSEncoderDeviceChainOutputMediaSample(encoder_, &second.sample), VKSERROR_NO_ERROR);
    ASSERT_EQ(vkssim::ProduceEncoderSamples(device_, simHandle_, 2), 2u);
    ASSERT_TRUE(recorder_.WaitFor(2));

    auto calls = recorder_.Calls();
    ASSERT_EQ(calls.size(), 2u);
    for (const auto& c : calls) {
        EXPECT_EQ(c.form, kReturn);
        EXPECT_EQ(c.handle, encoder_);
        EXPECT_EQ(c.context, &recorder_);
        EXPECT_NE(c.thread, std::this_thread::get_id());
    }
    EXPECT_EQ(calls[0].sample, &first.sample);
    EXPECT_EQ(calls[1].sample, &second.sample);
    // Frame 0 and frame 1 at the parameter block's 30 frames per second.
    EXPECT_EQ(first.buffers.CompletionValue1, 0u);
    EXPECT_EQ(first.buffers.CompletionValue2, 0u);
    EXPECT_EQ(second.buffers.CompletionValue1, 10000000u / 30);
    EXPECT_EQ(second.buffers.CompletionValue2, 1u);
    EXPECT_EQ(first.buffers.Buffers[0].FilledLength, 1000u);
    EXPECT_EQ(second.buffers.Buffers[0].FilledLength, 1000u);
    const uint8_t startCode[5] = {0, 0, 0, 1, 0x65};
    EXPECT_EQ(std::memcmp(first.data.data(), startCode, sizeof startCode), 0);
}

// The device completes one queued output sample echoing `echo`; the one
// callback that follows must be the error function's.
void EncoderTest::CompleteOneEchoing(vkssim::EncoderEcho echo, TestSample& t, Call* call) {
    Load();
    OpenEncoder();
    RegisterAll();
    ASSERT_TRUE(vkssim::SetEncoderEcho(device_, simHandle_, echo));
    ASSERT_EQ(VKSEncoderDeviceChainOutputMediaSample(encoder_, &t.sample), VKSERROR_NO_ERROR);
    ASSERT_EQ(vkssim::ProduceEncoderSamples(device_, simHandle_, 1), 1u);
    ASSERT_TRUE(recorder_.WaitFor(1));
    auto calls = recorder_.Calls();
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].form, kError);
    EXPECT_EQ(calls[0].handle, encoder_);
    EXPECT_EQ(calls[0].context, &recorder_);
    *call = calls[0];
}

TEST_F(EncoderTest, ForeignBufferGoesToTheErrorFunctionAndLeavesTheSample) {
    TestSample t(1000);
    Call call;
    ASSERT_NO_FATAL_FAILURE(CompleteOneEchoing(vkssim::EncoderEcho::ForeignBuffer, t, &call));
    EXPECT_EQ(call.sample, &t.sample);
    EXPECT_EQ(call.status, VKSERROR_BUFFER_NOT_VALID);
    EXPECT_EQ(t.buffers.CompletionValue1, 0x1111111111111111ull);
    EXPECT_EQ(t.buffers.CompletionValue2, 0x2222222222222222ull);
    EXPECT_EQ(t.buffers.Buffers[0].FilledLength, 0x33333333u);
}

// A null or unknown sample address is not followed: the error function gets
// no sample, and nothing is read or written through the address.
TEST_F(EncoderTest, UnknownSampleEchoGoesToTheErrorFunctionAsUnexpected) {
    for (auto echo : {vkssim::EncoderEcho::NullSample, vkssim::EncoderEcho::ForeignSample}) {
        SCOPED_TRACE(static_cast<int>(echo));
        TestSample t(1000);
        Call call;
        ASSERT_NO_FATAL_FAILURE(CompleteOneEchoing(echo, t, &call));
        EXPECT_EQ(call.sample, nullptr);
        EXPECT_EQ(call.status, VKSERROR_UNEXPECTED);
        EXPECT_EQ(t.buffers.CompletionValue1, 0x1111111111111111ull);
        EXPECT_EQ(VKSEncoderDeviceClose(encoder_), VKSERROR_NO_ERROR);
        encoder_ = 0;
        Free();
        recorder_.Clear();
    }
}

TEST_F(EncoderTest, FilledLengthIsBoundByTheBuffer) {
    Load();
    OpenEncoder();
    RegisterAll();
    ASSERT_TRUE(vkssim::SetEncoderEcho(device_, simHandle_, vkssim::EncoderEcho::OverlongFill));
    TestSample t(1000);
    ASSERT_EQ(VKSEncoderDeviceChainOutputMediaSample(encoder_, &t.sample), VKSERROR_NO_ERROR);
    ASSERT_EQ(vkssim::ProduceEncoderSamples(device_, simHandle_, 1), 1u);
    ASSERT_TRUE(recorder_.WaitFor(1));
    EXPECT_EQ(recorder_.Calls()[0].form, kReturn);
    EXPECT_EQ(t.buffers.Buffers[0].FilledLength, 1000u);
}

TEST_F(EncoderTest, CompletionWithoutAReturnFunctionCallsNothing) {
    Load();
    OpenEncoder();
    ASSERT_EQ(VKSEncoderDeviceSetErrorFn(encoder_, &Recorder::OnError, &recorder_), VKSERROR_NO_ERROR);
    TestSample t(1000);
    ASSERT_EQ(VKSEncoderDeviceChainOutputMediaSample(encoder_, &t.sample), VKSERROR_NO_ERROR);
    ASSERT_EQ(vkssim::ProduceEncoderSamples(device_, simHandle_, 1), 1u);
    // The worker handles completions in order: once this event is reported,
    // the sample before it has been handled.
    ASSERT_TRUE(vkssim::RaiseEvent(device_, simHandle_, VKSERROR_ENC_DMA_ERROR));
    ASSERT_TRUE(recorder_.WaitFor(1));
    auto calls = recorder_.Calls();
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].status, VKSERROR_ENC_DMA_ERROR);
    EXPECT_EQ(t.buffers.Buffers[0].FilledLength, 1000u);  // written all the same
}

TEST_F(EncoderTest, FrameClockFillsSamplesWhileStreaming) {
    Load();
    OpenEncoder();
    RegisterAll();
    std::vector<std::unique_ptr<TestSample>> samples;
    for (int i = 0; i < 3; ++i) {
        samples.push_back(std::make_unique<TestSample>(2048));
        ASSERT_EQ(VKSEncoderDeviceChainOutputMediaSample(encoder_, &samples.back()->sample), VKSERROR_NO_ERROR);
    }
    ASSERT_TRUE(vkssim::SetEncoderFrameRate(device_, simHandle_, vkssim::kEncoderFrameRateFromBlock));
    ASSERT_EQ(VKSEncoderDeviceSetState(encoder_, 2), VKSERROR_NO_ERROR);
    // The clock looks at the state when something wakes it.
    ASSERT_TRUE(vkssim::SetEncoderFrameRate(device_, simHandle_, 120));
    ASSERT_TRUE(recorder_.WaitFor(3));
    auto calls = recorder_.Calls();
    for (size_t i = 0; i < calls.size(); ++i) {
        EXPECT_EQ(calls[i].form, kReturn);
        EXPECT_EQ(calls[i].sample, &samples[i]->sample);
        EXPECT_EQ(samples[i]->buffers.CompletionValue2, i);
    }
}

// An application that queues its output samples first and then starts the
// encoder gets them filled: the state change alone starts the frame clock.
TEST_F(EncoderTest, StreamingStateAloneStartsTheFrameClock) {
    Load();
    OpenEncoder();
    RegisterAll();
    ASSERT_TRUE(vkssim::SetEncoderFrameRate(device_, simHandle_, 120));
    std::vector<std::unique_ptr<TestSample>> samples;
    for (int i = 0; i < 2; ++i) {
        samples.push_back(std::make_unique<TestSample>(2048));
        ASSERT_EQ(VKSEncoderDeviceChainOutputMediaSample(encoder_, &samples.back()->sample), VKSERROR_NO_ERROR);
    }
    // Let the clock see the samples while the encoder is not streaming.
    ASSERT_TRUE(vkssim::WaitForEncoderSamples(device_, simHandle_, 2, kWait));
    ASSERT_EQ(VKSEncoderDeviceSetState(encoder_, 2), VKSERROR_NO_ERROR);
    ASSERT_TRUE(recorder_.WaitFor(2));
    for (const Call& call : recorder_.Calls()) EXPECT_EQ(call.form, kReturn);
}

TEST_F(EncoderTest, ClosingHandsBackHeldSamplesWithoutCallbacks) {
    Load();
    OpenEncoder();
    RegisterAll();
    TestSample a(512), b(512);
    ASSERT_EQ(VKSEncoderDeviceChainOutputMediaSample(encoder_, &a.sample), VKSERROR_NO_ERROR);
    ASSERT_EQ(VKSEncoderDeviceChainOutputMediaSample(encoder_, &b.sample), VKSERROR_NO_ERROR);
    ASSERT_EQ(VKSEncoderDeviceClose(encoder_), VKSERROR_NO_ERROR);
    encoder_ = 0;
    EXPECT_EQ(vkssim::HeldEncoderSamples(device_, simHandle_), 0u);

    // A second encoder's event is reported after whatever the closed one left.
    OpenEncoder();
    ASSERT_EQ(VKSEncoderDeviceSetErrorFn(encoder_, &Recorder::OnError, &recorder_), VKSERROR_NO_ERROR);
    ASSERT_TRUE(vkssim::RaiseEvent(device_, simHandle_, VKSERROR_ENC_DMA_ERROR));
    ASSERT_TRUE(recorder_.WaitFor(1));
    auto calls = recorder_.Calls();
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].handle, encoder_);
}

// --- Notifications ------------------------------------------------------------------------

struct NotificationCase {
    VKSERROR code;
    const char* line;  // the NOTIFICATION line before the error function, or null
};

TEST_F(EncoderTest, NotificationsReachTheErrorFunctionAfterTheirLogLine) {
    vkstest::ScopedRegistry registry(vkstest::ConfigKey("\"DebugLevel\"=dword:00000001"));
    vkstest::DebugCapture capture;
    Load();
    OpenEncoder();
    RegisterAll();
    const NotificationCase cases[] = {
        {VKSERROR_NO_LANDING_PLACE, "WorkerThread: Got AVKS2 encode error(1343004)"},
        {VKSERROR_ENC_BUFFER_OVERFLOW, "WorkerThread: Got AVKS2 video/audio encode warning(1343005)"},
        {VKSERROR_ENC_AUD_BUFFER_OVERFLOW, "WorkerThread: Got AVKS2 video/audio encode warning(1343009)"},
        {VKSERROR_ENC_DMA_ERROR, "WorkerThread: Got AVKS2 encode error(1343006)"},
        {VKSERROR_ENC_AUD_LOAD_ERROR, "WorkerThread: Got AVKS2 encode error(1343008)"},
        {VKSERROR_ENC_INTERNAL_STREAMER_ERROR, "WorkerThread: Got GSTError from the AVKS2 Encoder(134300a)"},
        {VKSERROR_ENC_INTERNAL_STREAMER_WARNING, "WorkerThread: Got GSTWarning from the AVKS2 Encoder(134300b)"},
        {VKSERROR_ENC_NOTIFY_NO_NETWORK, "WorkerThread: Got GSTWarning from the AVKS2 Encoder(1343406)"},
        {VKSERROR_ENC_NOTIFY_DMA_STOPPED, "WorkerThread: Got Video or Audio thread stopped(1343402)"},
        {VKSERROR_ENC_NOTIFY_AUDIO_ACQUISITION_STOPPED, "WorkerThread: Got Video or Audio thread stopped(1343405)"},
        {VKSERROR_ENCODER_DEVICE_IN_USE, nullptr},
        {VKSERROR_ENC_NOTIFY_START_STREAM_CAPTURE, nullptr},
        {VKSERROR_ENC_NOTIFY_STOP_STREAM_CAPTURE, nullptr},
        {VKSERROR_STREAM_STOPPED, nullptr},
    };
    size_t expected = 0;
    for (const auto& c : cases) {
        capture.Clear();
        ASSERT_TRUE(vkssim::RaiseEvent(device_, simHandle_, c.code));
        ASSERT_TRUE(recorder_.WaitFor(++expected)) << std::hex << c.code;
        const Call call = recorder_.Calls().back();
        EXPECT_EQ(call.form, kError);
        EXPECT_EQ(call.handle, encoder_);
        EXPECT_EQ(call.sample, nullptr);
        EXPECT_EQ(call.status, c.code);
        EXPECT_EQ(call.context, &recorder_);
        if (c.line != nullptr) {
            EXPECT_TRUE(capture.Contains(c.line)) << c.line;
        } else {
            EXPECT_FALSE(capture.Contains("WorkerThread: Got")) << std::hex << c.code;
        }
    }
    // Each notification was followed by a new event request.
    EXPECT_TRUE(vkssim::WaitForHeld(device_, VKSSIM_IOCTL_EVENT_REQUEST, 1, kWait));
}

TEST_F(EncoderTest, EncryptionKeysFunctionGetsTheRequestInItsOwnArgumentOrder) {
    Load();
    OpenEncoder();
    RegisterAll();
    ASSERT_TRUE(vkssim::AskForEncryptionKeys(device_, simHandle_));
    ASSERT_TRUE(recorder_.WaitFor(1));
    // Not an error: the next event is the first thing the error function sees.
    ASSERT_TRUE(vkssim::RaiseEvent(device_, simHandle_, VKSERROR_ENC_DMA_ERROR));
    ASSERT_TRUE(recorder_.WaitFor(2));
    auto calls = recorder_.Calls();
    ASSERT_EQ(calls.size(), 2u);
    const Call& keys = calls[0];
    EXPECT_EQ(keys.form, kKeys);
    EXPECT_EQ(keys.leadingPointer, nullptr);
    EXPECT_EQ(keys.leadingValue, 0u);
    EXPECT_EQ(keys.handle, encoder_);
    EXPECT_EQ(keys.middleValue, 0u);
    EXPECT_EQ(keys.context, &recorder_);
    ASSERT_EQ(keys.payload.size(), vkssim::kEncryptionKeyRequestSize);
    EXPECT_EQ(U32(keys.payload, 0), vkssim::kEncryptionKeyRequestSize);
    EXPECT_EQ(U32(keys.payload, 8), 1u);  // the first request
    EXPECT_EQ(calls[1].form, kError);
    EXPECT_EQ(calls[1].status, VKSERROR_ENC_DMA_ERROR);
}

TEST_F(EncoderTest, StreamingWithEncryptionAsksForKeys) {
    Load();
    OpenEncoder();
    RegisterAll();
    ASSERT_EQ(VKSEncoderSetEncryptionType(encoder_, 2), VKSERROR_NO_ERROR);
    ASSERT_EQ(VKSEncoderDeviceSetState(encoder_, 2), VKSERROR_NO_ERROR);
    TestSample t(256);
    ASSERT_EQ(VKSEncoderDeviceChainInputMediaSample(encoder_, &t.sample), VKSERROR_NO_ERROR);
    ASSERT_TRUE(recorder_.WaitFor(1));
    auto calls = recorder_.Calls();
    EXPECT_EQ(calls[0].form, kKeys);
    EXPECT_EQ(U32(calls[0].payload, 4), 2u);  // the encryption type
}

TEST_F(EncoderTest, RegistrationWithNullSwitchesTheCallbackOff) {
    Load();
    OpenEncoder();
    RegisterAll();
    ASSERT_EQ(VKSEncoderDeviceSetEncryptionKeysFn(encoder_, nullptr, nullptr), VKSERROR_NO_ERROR);
    ASSERT_TRUE(vkssim::AskForEncryptionKeys(device_, simHandle_));
    ASSERT_TRUE(vkssim::RaiseEvent(device_, simHandle_, VKSERROR_ENC_DMA_ERROR));
    ASSERT_TRUE(recorder_.WaitFor(1));
    auto calls = recorder_.Calls();
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].form, kError);
}

// A keys function that closes its own encoder, as an application that gives
// up on encryption might.
struct Closer {
    std::atomic<VKSERROR> closeResult{0xFFFFFFFFu};
    std::atomic<VKSERROR> stateAfterClose{0};
    Recorder done;

    static void VKSAPI CloseFromKeys(void*, uint32_t, HVKS h, uint32_t, void*, void* context) {
        auto* self = static_cast<Closer*>(context);
        self->closeResult = VKSEncoderDeviceClose(h);
        uint32_t state = 0;
        self->stateAfterClose = VKSEncoderDeviceGetState(h, &state);
        self->done.Add(Call{});
    }
    static void VKSAPI CloseFromError(HVKS h, VKSMEDIASAMPLE*, VKSERROR, void* context) {
        auto* self = static_cast<Closer*>(context);
        self->closeResult = VKSEncoderDeviceClose(h);
        self->done.Add(Call{});
    }
};

void EncoderTest::CloseFromTheErrorFunctionThenOpenAgain() {
    OpenEncoder();
    Closer closer;
    ASSERT_EQ(VKSEncoderDeviceSetErrorFn(encoder_, &Closer::CloseFromError, &closer), VKSERROR_NO_ERROR);
    ASSERT_TRUE(vkssim::RaiseEvent(device_, simHandle_, VKSERROR_ENC_DMA_ERROR));
    ASSERT_TRUE(closer.done.WaitFor(1));
    EXPECT_EQ(closer.closeResult.load(), VKSERROR_NO_ERROR);
    encoder_ = 0;
    OpenEncoder();
    ASSERT_EQ(VKSEncoderDeviceSetErrorFn(encoder_, &Recorder::OnError, &recorder_), VKSERROR_NO_ERROR);
    ASSERT_TRUE(vkssim::RaiseEvent(device_, simHandle_, VKSERROR_ENC_DMA_ERROR));
    ASSERT_TRUE(recorder_.WaitFor(1));
}

TEST_F(EncoderTest, KeysFunctionMayCloseItsOwnHandle) {
    Load();
    OpenEncoder();
    Closer closer;
    ASSERT_EQ(VKSEncoderDeviceSetEncryptionKeysFn(encoder_, &Closer::CloseFromKeys, &closer), VKSERROR_NO_ERROR);
    TestSample held(256);
    ASSERT_EQ(VKSEncoderDeviceChainOutputMediaSample(encoder_, &held.sample), VKSERROR_NO_ERROR);
    const uint32_t closedHandle = simHandle_;
    const uint64_t mark = vkssim::RequestMark();
    ASSERT_TRUE(vkssim::AskForEncryptionKeys(device_, simHandle_));
    ASSERT_TRUE(closer.done.WaitFor(1));
    EXPECT_EQ(closer.closeResult.load(), VKSERROR_NO_ERROR);
    EXPECT_NE(closer.stateAfterClose.load(), VKSERROR_NO_ERROR);
    encoder_ = 0;

    // The worker goes on: a new encoder's event reaches its error function.
    OpenEncoder();
    ASSERT_EQ(VKSEncoderDeviceSetErrorFn(encoder_, &Recorder::OnError, &recorder_), VKSERROR_NO_ERROR);
    ASSERT_TRUE(vkssim::RaiseEvent(device_, simHandle_, VKSERROR_ENC_DMA_ERROR));
    ASSERT_TRUE(recorder_.WaitFor(1));
    EXPECT_EQ(recorder_.Calls()[0].handle, encoder_);
    // No event request was sent for the closed object after its close.
    for (const auto& r : vkssim::Requests()) {
        if (r.sequence >= mark && r.code == VKSSIM_IOCTL_EVENT_REQUEST) {
            EXPECT_NE(r.U32(12), closedHandle);
        }
    }
}

TEST_F(EncoderTest, ErrorFunctionMayCloseItsOwnHandle) {
    Load();
    CloseFromTheErrorFunctionThenOpenAgain();
}

// With the completion port override the last close stops the worker thread;
// made from a callback on that very thread, it must not wait for itself. The
// worker left running serves the next open, and the engine free ends it.
TEST_F(EncoderTest, LastCloseFromACallbackInOverrideModeDoesNotHang) {
    vkstest::ScopedRegistry registry(vkstest::OemKey("\"Name\"=\"Acme\"") +
                                     vkstest::ConfigKey("\"Completion_Port_Override\"=dword:00000001"));
    Load();
    CloseFromTheErrorFunctionThenOpenAgain();
}

TEST_F(EncoderTest, ClosedClientFailsCommandsBeforeSending) {
    Load();
    OpenEncoder();
    RegisterAll();
    ASSERT_TRUE(vkssim::RaiseEvent(device_, simHandle_, VKSERROR_CLIENT_CLOSED));
    ASSERT_TRUE(recorder_.WaitFor(1));
    TestSample t(256);
    Rmv204InterfaceParams params{};
    params.Size = sizeof(params);
    const uint64_t mark = vkssim::RequestMark();
    EXPECT_EQ(VKSEncoderDeviceChainInputMediaSample(encoder_, &t.sample), VKSERROR_CLIENT_CLOSED);
    EXPECT_EQ(VKSEncoderDeviceChainOutputMediaSample(encoder_, &t.sample), VKSERROR_CLIENT_CLOSED);
    EXPECT_EQ(VKSEncoderOpenRmv204Interface(encoder_, &params), VKSERROR_CLIENT_CLOSED);
    EXPECT_EQ(VKSEncoderPausePushFrames(encoder_), VKSERROR_CLIENT_CLOSED);
    EXPECT_EQ(CountSince(mark, kSupplyRawDataCode) + CountSince(mark, kOutputSampleCode) +
                  CountSince(mark, kCaptureOpenCode) + CountSince(mark, kCapturePausePushCode),
              0u);
}

// --- Capture-card interface ---------------------------------------------------------------

TEST_F(EncoderTest, CaptureOpenChecksTheRecordBeforeTheEngine) {
    Rmv204InterfaceParams params{};
    EXPECT_EQ(VKSEncoderOpenRmv204Interface(0, nullptr), VKSERROR_INVALID_ARGUMENT);
    EXPECT_EQ(VKSEncoderOpenRmv204Interface(0, &params), VKSERROR_BUFFER_TOO_SMALL);
    params.Size = 1;
    EXPECT_EQ(VKSEncoderOpenRmv204Interface(0, &params), VKSERROR_UNINITIALIZED);
    EXPECT_EQ(VKSEncoderCloseRmv204Interface(0), VKSERROR_UNINITIALIZED);
    EXPECT_EQ(VKSEncoderPauseRmv204Interface(0), VKSERROR_UNINITIALIZED);
    EXPECT_EQ(VKSEncoderUnpauseRmv204Interface(0), VKSERROR_UNINITIALIZED);
    EXPECT_EQ(VKSEncoderPausePushFrames(0), VKSERROR_UNINITIALIZED);
    Load();
    EXPECT_NE(VKSEncoderOpenRmv204Interface(0x12345678, &params), VKSERROR_NO_ERROR);
    EXPECT_NE(VKSEncoderPausePushFrames(0x12345678), VKSERROR_NO_ERROR);
}

TEST_F(EncoderTest, CaptureOpenSendsOnlyTheFieldsTheDeviceReads) {
    Load();
    OpenEncoder();
    Rmv204InterfaceParams params;
    std::memset(&params, 0xEE, sizeof(params));
    params.Size = 1;
    params.InterfaceWord1 = 0x01020304;
    params.InterfaceWord2 = 0x05060708;
    for (int i = 0; i < 16; ++i) params.Identification[i] = static_cast<uint8_t>(0x40 + i);

    const uint64_t mark = vkssim::RequestMark();
    ASSERT_EQ(VKSEncoderOpenRmv204Interface(encoder_, &params), VKSERROR_NO_ERROR);
    auto sent = SentSince(mark, kCaptureOpenCode);
    ASSERT_EQ(sent.size(), 2824u);
    EXPECT_EQ(U32(sent, 4), VKSDEVICETYPE_ENCODER);
    EXPECT_EQ(U32(sent, 12), simHandle_);
    EXPECT_EQ(U32(sent, 24), 56u);
    EXPECT_EQ(U32(sent, 28), 0x01020304u);
    EXPECT_EQ(U32(sent, 32), 0x05060708u);
    EXPECT_TRUE(ZeroRange(sent, 36, 54));  // record bytes 12 to 29
    for (int i = 0; i < 16; ++i) EXPECT_EQ(sent[54 + i], 0x40 + i);
    EXPECT_TRUE(ZeroRange(sent, 70, sent.size()));  // record bytes 46 to 55 and beyond

    auto ci = vkssim::GetCaptureInterface(device_, simHandle_);
    ASSERT_TRUE(ci.has_value());
    EXPECT_TRUE(ci->open);
    EXPECT_EQ(ci->word1, 0x01020304u);
    EXPECT_EQ(ci->word2, 0x05060708u);
    EXPECT_EQ(ci->identification[15], 0x4F);

    // The device's state decides: a second open is refused and passed back.
    EXPECT_EQ(VKSEncoderOpenRmv204Interface(encoder_, &params), VKSERROR_INVALID_STATE);
}

TEST_F(EncoderTest, CaptureCommandsCarryNoPayloadAndPassTheDeviceStatusBack) {
    Load();
    OpenEncoder();
    // Nothing is open yet: the device refuses and the library passes it on.
    EXPECT_EQ(VKSEncoderPauseRmv204Interface(encoder_), VKSERROR_INVALID_STATE);
    Rmv204InterfaceParams params{};
    params.Size = sizeof(params);
    ASSERT_EQ(VKSEncoderOpenRmv204Interface(encoder_, &params), VKSERROR_NO_ERROR);

    struct Step {
        VKSERROR (VKSAPI* call)(HVKS);
        uint32_t code;
    };
    const Step steps[] = {
        {VKSEncoderPauseRmv204Interface, kCapturePauseCode},
        {VKSEncoderUnpauseRmv204Interface, kCaptureUnpauseCode},
        {VKSEncoderPausePushFrames, kCapturePausePushCode},
        {VKSEncoderCloseRmv204Interface, kCaptureCloseCode},
    };
    for (const auto& step : steps) {
        const uint64_t mark = vkssim::RequestMark();
        ASSERT_EQ(step.call(encoder_), VKSERROR_NO_ERROR) << std::hex << step.code;
        auto sent = SentSince(mark, step.code);
        ASSERT_EQ(sent.size(), 2824u);
        EXPECT_EQ(U32(sent, 12), simHandle_);
        EXPECT_TRUE(ZeroRange(sent, 24, sent.size())) << std::hex << step.code;
        auto ci = vkssim::GetCaptureInterface(device_, simHandle_);
        ASSERT_TRUE(ci.has_value());
        const bool expected = step.code == kCapturePauseCode      ? ci->paused
                              : step.code == kCaptureUnpauseCode  ? !ci->paused
                              : step.code == kCapturePausePushCode ? ci->pushPaused
                                                                   : !ci->open;
        EXPECT_TRUE(expected) << std::hex << step.code;
    }
    vkssim::FailWithStatus(kCaptureUnpauseCode, VKSERROR_ENC_DMA_ERROR, 1);
    EXPECT_EQ(VKSEncoderUnpauseRmv204Interface(encoder_), VKSERROR_ENC_DMA_ERROR);
}

}  // namespace
