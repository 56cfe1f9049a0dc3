// Encoders against the device simulator: open, state and registrations, raw
// input and output samples with the completion write-back, the encoder's
// notifications, the encryption-keys request, and the capture-card interface.
#include "vksacc.h"
#include "vkssim/sim.h"

#include "support/bytes.h"
#include "support/callback_recorder.h"
#include "support/request_frame.h"
#include "support/sim_engine_test.h"
#include "support/test_env.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <memory>
#include <utility>
#include <vector>

using namespace std::chrono_literals;
using vkstest::CallbackCall;
using vkstest::CallbackRecorder;
using vkstest::Mismatch;
using vkstest::RequestFrame;
using vkstest::U32;

namespace {

constexpr uint32_t kOutputSampleCode = 0x22C41Cu;
constexpr uint32_t kSupplyRawDataCode = 0x22C490u;
constexpr uint32_t kCaptureOpenCode = 0x22C4B8u;
constexpr uint32_t kCaptureCloseCode = 0x22C4BCu;
constexpr uint32_t kCapturePauseCode = 0x22C4C0u;
constexpr uint32_t kCaptureUnpauseCode = 0x22C4C4u;
constexpr uint32_t kCapturePausePushCode = 0x22C4DCu;
constexpr auto kWait = 10s;

// The encoder's callback forms, recorded as calls: the error function as
// kEncoderError, the sample return and the keys function as these.
constexpr int kReturn = 10, kKeys = 11;

void VKSAPI OnError(HVKS h, VKSMEDIASAMPLE* sample, VKSERROR status, void* context) {
    static_cast<CallbackRecorder*>(context)->Add(
        {CallbackRecorder::kEncoderError, nullptr, 0, h, 0, sample, status, context, {}});
}
void VKSAPI OnReturn(HVKS h, VKSMEDIASAMPLE* sample, void* context) {
    static_cast<CallbackRecorder*>(context)->Add({kReturn, nullptr, 0, h, 0, sample, 0, context, {}});
}
void VKSAPI OnKeys(void* lead, uint32_t leadValue, HVKS h, uint32_t middle, void* request, void* context) {
    const auto* bytes = static_cast<const uint8_t*>(request);
    CallbackCall call{kKeys, lead, leadValue, h, middle, nullptr, 0, context, {}};
    if (bytes != nullptr) call.payload.assign(bytes, bytes + vkssim::kEncryptionKeyRequestSize);
    static_cast<CallbackRecorder*>(context)->Add(call);
}

// The fields of a call that a comparison can print.
auto Fields(const CallbackCall& c) {
    return std::make_tuple(c.form, c.leadingPointer, c.leadingValue, c.handle, c.value, c.sample, c.status, c.context);
}

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

uint64_t Address(const void* p) { return static_cast<uint64_t>(reinterpret_cast<uintptr_t>(p)); }

class EncoderTest : public vkstest::SimEngineTest {
protected:
    void SetUp() override {
        SimEngineTest::SetUp();
        device_ = AddDevice(1, 1, 1);
        ASSERT_EQ(device_, 0);
    }
    // Loads the engine when asked, opens encoder 0 and finds the driver's
    // object behind it; with `all`, registers every callback.
    void OpenEncoder(bool load = true, bool all = true, uint32_t option = 0) {
        if (load) Load();
        ASSERT_EQ(VKSEncoderDeviceOpen(0, option, &encoder_), VKSERROR_NO_ERROR);
        simHandle_ = DriverHandle(device_, VKSSIM_TYPE_ENCODER, 0);
        // Samples stay held until a test produces them.
        ASSERT_TRUE(vkssim::SetEncoderFrameRate(device_, simHandle_, 0));
        ASSERT_TRUE(vkssim::WaitForHeld(device_, VKSSIM_IOCTL_EVENT_REQUEST, 1, kWait));
        if (!all) return;
        ASSERT_EQ(VKSEncoderDeviceSetErrorFn(encoder_, &OnError, &recorder_), VKSERROR_NO_ERROR);
        ASSERT_EQ(VKSEncoderDeviceSetOutputMediaSampleReturnFn(encoder_, &OnReturn, &recorder_), VKSERROR_NO_ERROR);
        ASSERT_EQ(VKSEncoderDeviceSetEncryptionKeysFn(encoder_, &OnKeys, &recorder_), VKSERROR_NO_ERROR);
    }
    RequestFrame Frame() const { return RequestFrame(VKSDEVICETYPE_ENCODER, 0, simHandle_); }
    void Raise(VKSERROR code, size_t calls) {
        ASSERT_TRUE(vkssim::RaiseEvent(device_, simHandle_, code));
        ASSERT_TRUE(recorder_.WaitFor(calls));
    }
    // A call of the error function with this status and no sample.
    CallbackCall ErrorCall(VKSERROR status) {
        return {CallbackRecorder::kEncoderError, nullptr, 0, encoder_, 0, nullptr, status, &recorder_, {}};
    }

    int device_ = -1;
    HVKS encoder_ = 0;
    uint32_t simHandle_ = 0;
    CallbackRecorder recorder_;
};

TEST_F(EncoderTest, OpenCarriesTheOptionStateAndCloseEndsTheObject) {
    HVKS handle = 0;
    EXPECT_EQ(VKSEncoderDeviceOpen(0, 0, &handle), VKSERROR_UNINITIALIZED);
    EXPECT_EQ(VKSEncoderDeviceSetInputMediaSampleReturnFn(0, nullptr, nullptr), VKSERROR_UNSUPPORTED);
    EXPECT_EQ(VKSEncoderDeviceFlushMediaSamples(0), VKSERROR_UNSUPPORTED);
    Load();
    EXPECT_EQ(VKSEncoderDeviceOpen(1, 0, &handle), VKSERROR_INVALID_INPUT);
    EXPECT_TRUE(vkssim::Objects(device_).empty());
    OpenEncoder(false, false, 0x25);
    EXPECT_EQ(vkssim::GetObject(device_, simHandle_)->openFlags, 0x25u);

    uint32_t state = 7;
    ASSERT_EQ(VKSEncoderDeviceSetState(encoder_, 2), VKSERROR_NO_ERROR);
    EXPECT_EQ(vkssim::GetObject(device_, simHandle_)->state, 2u);
    ASSERT_EQ(VKSEncoderDeviceGetState(encoder_, &state), VKSERROR_NO_ERROR);
    EXPECT_EQ(state, 2u);

    EXPECT_EQ(VKSEncoderDeviceClose(encoder_), VKSERROR_NO_ERROR);
    EXPECT_FALSE(vkssim::GetObject(device_, simHandle_).has_value());
}

// Entry 0's address goes with the summed length of all entries; kind 1 also
// carries the media type's format words.
TEST_F(EncoderTest, InputSendsTheSummedLengthAndOnlyEntryZerosPointer) {
    OpenEncoder(true, false);
    // Three planes laid out back to back behind entry 0.
    TestSample t(600);
    for (size_t i = 0; i < t.data.size(); ++i) t.data[i] = static_cast<uint8_t>(i * 7);
    t.buffers.BufferCount = 3;
    for (uint32_t i = 0, offset = 0; i < 3; offset += 100 * (i + 1), ++i) {
        t.buffers.Buffers[i].pData = t.data.data() + offset;
        t.buffers.Buffers[i].Length = 100 * (i + 1);
    }
    RequestFrame expected = Frame().U32(32, 600).U64(40, Address(t.data.data()));
    for (uint32_t kind : {2u, 1u}) {
        t.sample.Kind = kind;
        if (kind == 1) expected.U32(24, t.type.FormatWord1).U32(28, t.type.FormatWord2);
        const uint64_t mark = vkssim::RequestMark();
        ASSERT_EQ(VKSEncoderDeviceChainInputMediaSample(encoder_, &t.sample), VKSERROR_NO_ERROR);
        EXPECT_EQ(Mismatch(Received(kSupplyRawDataCode, mark).input, expected), "") << "kind " << kind;
    }
    auto input = vkssim::GetEncoderInput(device_, simHandle_);
    ASSERT_TRUE(input.has_value());
    EXPECT_EQ(input->lastChecksum, vkssim::EncoderChecksum(t.data.data(), t.data.size()));
}

// Samples that cannot be sent are refused before a command goes out; the
// driver's own status comes back unchanged.
TEST_F(EncoderTest, InputAndOutputRefuseWhatTheyCannotSend) {
    OpenEncoder(true, false);
    struct Case {
        const char* what;
        void (*spoil)(TestSample&);
        VKSERROR input, output;
    };
    const Case cases[] = {
        {"no buffer list", [](TestSample& t) { t.sample.pBuffers = nullptr; }, VKSERROR_INVALID_ARGUMENT,
         VKSERROR_INVALID_ARGUMENT},
        {"more entries than the list holds", [](TestSample& t) { t.buffers.BufferCount = 4; },
         VKSERROR_INVALID_ARGUMENT, VKSERROR_NO_ERROR},
        {"lengths whose sum overflows",
         [](TestSample& t) {
             t.buffers.BufferCount = 2;
             t.buffers.Buffers[0].Length = 0xFFFFFFF0u;
             t.buffers.Buffers[1].Length = 0x20u;
         },
         VKSERROR_INVALID_ARGUMENT, VKSERROR_NO_ERROR},
        {"no data behind entry 0", [](TestSample& t) { t.buffers.Buffers[0].pData = nullptr; },
         VKSERROR_ILLEGAL_CALL, VKSERROR_ILLEGAL_CALL},
        {"empty first buffer", [](TestSample& t) { t.buffers.Buffers[0].Length = 0; }, VKSERROR_NO_ERROR,
         VKSERROR_ILLEGAL_CALL},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        for (bool output : {false, true}) {
            const VKSERROR expected = output ? c.output : c.input;
            if (expected == VKSERROR_NO_ERROR) continue;
            TestSample t(64);
            c.spoil(t);
            const uint64_t mark = vkssim::RequestMark();
            EXPECT_EQ(output ? VKSEncoderDeviceChainOutputMediaSample(encoder_, &t.sample)
                             : VKSEncoderDeviceChainInputMediaSample(encoder_, &t.sample),
                      expected);
            EXPECT_TRUE(Sent(output ? kOutputSampleCode : kSupplyRawDataCode, mark).empty());
        }
    }
    TestSample t(64);
    vkssim::FailWithStatus(kSupplyRawDataCode, VKSERROR_ENC_DMA_ERROR, 1);
    EXPECT_EQ(VKSEncoderDeviceChainInputMediaSample(encoder_, &t.sample), VKSERROR_ENC_DMA_ERROR);
    EXPECT_EQ(VKSEncoderDeviceChainInputMediaSample(encoder_, &t.sample), VKSERROR_NO_ERROR);
}

// Three plane values go with layout 2 only; the media type's words with kind 2 only.
TEST_F(EncoderTest, OutputRequestCarriesTheSampleFields) {
    OpenEncoder(true, false);
    TestSample planes(4096);
    planes.sample.Kind = 2;
    planes.sample.Layout = 2;
    planes.buffers.Planes.FirstPlaneValues[0] = 0xF1F1F1F1F1F1F1F1ull;
    planes.buffers.Planes.SecondPlaneValues[0] = 0xF2F2F2F2F2F2F2F2ull;
    planes.buffers.Planes.ThirdPlaneValues[0] = 0xF3F3F3F3F3F3F3F3ull;
    TestSample single(256);
    single.sample.Kind = 3;
    single.buffers.Planes.FirstPlaneValues[0] = 0xF1;
    for (TestSample* t : {&planes, &single}) {
        RequestFrame expected = Frame().U32(32, t->buffers.Buffers[0].Length).U32(36, t->sample.Kind);
        expected.U32(40, t->sample.SampleWord).U32(44, t->sample.Layout).U32(48, t->buffers.Buffers[0].BufferWord);
        expected.U32(52, t->buffers.Buffers[0].Length).U64(64, Address(t->data.data()));
        expected.U64(104, Address(t->data.data())).U64(112, Address(&t->sample));
        if (t == &planes) {
            expected.U32(24, t->type.FormatWord1).U32(28, t->type.FormatWord2).U64(56, 0xF3F3F3F3F3F3F3F3ull);
            expected.U64(72, 0xF2F2F2F2F2F2F2F2ull).U64(88, 0xF1F1F1F1F1F1F1F1ull);
        }
        const uint64_t mark = vkssim::RequestMark();
        ASSERT_EQ(VKSEncoderDeviceChainOutputMediaSample(encoder_, &t->sample), VKSERROR_NO_ERROR);
        EXPECT_EQ(Mismatch(Received(kOutputSampleCode, mark).input, expected), "") << "layout " << t->sample.Layout;
    }
    EXPECT_EQ(vkssim::HeldEncoderSamples(device_, simHandle_), 2u);
    // The samples are still the device's: they must outlive the encoder.
    EXPECT_EQ(VKSEncoderDeviceClose(encoder_), VKSERROR_NO_ERROR);
}

// An application that queues its output samples first and then starts the
// encoder gets them filled and returned in order: the state change alone
// starts the clock.
TEST_F(EncoderTest, MatchingCompletionWritesBackAndReturnsTheSample) {
    OpenEncoder();
    ASSERT_TRUE(vkssim::SetEncoderFrameRate(device_, simHandle_, vkssim::kEncoderFrameRateFromBlock));
    TestSample first(1000), second(1000);
    ASSERT_EQ(VKSEncoderDeviceChainOutputMediaSample(encoder_, &first.sample), VKSERROR_NO_ERROR);
    ASSERT_EQ(VKSEncoderDeviceChainOutputMediaSample(encoder_, &second.sample), VKSERROR_NO_ERROR);
    // Let the clock see the samples while the encoder is not streaming.
    ASSERT_TRUE(vkssim::WaitForEncoderSamples(device_, simHandle_, 2, kWait));
    ASSERT_EQ(VKSEncoderDeviceSetState(encoder_, 2), VKSERROR_NO_ERROR);
    ASSERT_TRUE(recorder_.WaitFor(2));
    auto calls = recorder_.Calls();
    ASSERT_EQ(calls.size(), 2u);
    TestSample* samples[] = {&first, &second};
    for (size_t i = 0; i < 2; ++i) {
        const VKSMEDIABUFFERS& b = samples[i]->buffers;
        EXPECT_EQ(Fields(calls[i]), Fields({kReturn, nullptr, 0, encoder_, 0, &samples[i]->sample, 0, &recorder_, {}}));
        // Frame i at the parameter block's 30 frames per second.
        EXPECT_EQ(b.CompletionValue1, i * 10000000u / 30);
        EXPECT_EQ(b.CompletionValue2, i);
        EXPECT_EQ(b.Buffers[0].FilledLength, 1000u);
    }
    const uint8_t startCode[5] = {0, 0, 0, 1, 0x65};
    EXPECT_EQ(std::memcmp(first.data.data(), startCode, sizeof startCode), 0);
}

// A completion the library cannot match to its sample goes to the error
// function and leaves the sample alone; a null or unknown sample address is
// not followed. An overlong fill is bound by the buffer. Without a return
// function a completion calls nothing but is written all the same.
TEST_F(EncoderTest, CompletionsThatDoNotMatchTheirSample) {
    struct Case {
        vkssim::EncoderEcho echo;
        int form;
        VKSERROR status;
        bool sampleGiven;
        uint32_t filled;
    };
    const Case cases[] = {
        {vkssim::EncoderEcho::ForeignBuffer, CallbackRecorder::kEncoderError, VKSERROR_BUFFER_NOT_VALID, true,
         0x33333333u},
        {vkssim::EncoderEcho::NullSample, CallbackRecorder::kEncoderError, VKSERROR_UNEXPECTED, false, 0x33333333u},
        {vkssim::EncoderEcho::ForeignSample, CallbackRecorder::kEncoderError, VKSERROR_UNEXPECTED, false,
         0x33333333u},
        {vkssim::EncoderEcho::OverlongFill, kReturn, VKSERROR_NO_ERROR, true, 1000u},
        {vkssim::EncoderEcho::Matching, 0, VKSERROR_NO_ERROR, false, 1000u},
    };
    OpenEncoder();
    std::vector<std::unique_ptr<TestSample>> samples;  // the device may still name them
    size_t seen = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.echo));
        ASSERT_TRUE(vkssim::SetEncoderEcho(device_, simHandle_, c.echo));
        samples.push_back(std::make_unique<TestSample>(1000));
        TestSample& t = *samples.back();
        if (c.form == 0) {
            ASSERT_EQ(VKSEncoderDeviceSetOutputMediaSampleReturnFn(encoder_, nullptr, nullptr), VKSERROR_NO_ERROR);
        }
        ASSERT_EQ(VKSEncoderDeviceChainOutputMediaSample(encoder_, &t.sample), VKSERROR_NO_ERROR);
        ASSERT_EQ(vkssim::ProduceEncoderSamples(device_, simHandle_, 1), 1u);
        if (c.form == 0) {
            // The worker handles completions in order: once this event is
            // reported, the sample before it has been handled.
            Raise(VKSERROR_ENC_DMA_ERROR, ++seen);
            EXPECT_EQ(Fields(recorder_.Calls().back()), Fields(ErrorCall(VKSERROR_ENC_DMA_ERROR)));
        } else {
            ASSERT_TRUE(recorder_.WaitFor(++seen));
            EXPECT_EQ(Fields(recorder_.Calls().back()),
                      Fields({c.form, nullptr, 0, encoder_, 0, c.sampleGiven ? &t.sample : nullptr, c.status,
                              &recorder_, {}}));
        }
        EXPECT_EQ(t.buffers.Buffers[0].FilledLength, c.filled);
        if (c.form == CallbackRecorder::kEncoderError) {
            EXPECT_EQ(t.buffers.CompletionValue1, 0x1111111111111111ull);
        }
    }
    EXPECT_EQ(recorder_.Calls().size(), seen);
}

// Closing hands held samples back without callbacks; a second encoder's
// event is reported after whatever the closed one left. Once the device says
// its client closed, commands fail before they are sent.
TEST_F(EncoderTest, ClosingHandsBackHeldSamplesWithoutCallbacks) {
    OpenEncoder();
    TestSample a(512), b(512);
    ASSERT_EQ(VKSEncoderDeviceChainOutputMediaSample(encoder_, &a.sample), VKSERROR_NO_ERROR);
    ASSERT_EQ(VKSEncoderDeviceChainOutputMediaSample(encoder_, &b.sample), VKSERROR_NO_ERROR);
    ASSERT_EQ(VKSEncoderDeviceClose(encoder_), VKSERROR_NO_ERROR);
    EXPECT_EQ(vkssim::HeldEncoderSamples(device_, simHandle_), 0u);

    OpenEncoder(false);
    Raise(VKSERROR_ENC_DMA_ERROR, 1);
    Raise(VKSERROR_CLIENT_CLOSED, 2);
    EXPECT_EQ(recorder_.Calls().at(0).handle, encoder_);
    Rmv204InterfaceParams params{};
    params.Size = sizeof(params);
    const uint64_t mark = vkssim::RequestMark();
    EXPECT_EQ(VKSEncoderDeviceChainInputMediaSample(encoder_, &a.sample), VKSERROR_CLIENT_CLOSED);
    EXPECT_EQ(VKSEncoderDeviceChainOutputMediaSample(encoder_, &a.sample), VKSERROR_CLIENT_CLOSED);
    EXPECT_EQ(VKSEncoderOpenRmv204Interface(encoder_, &params), VKSERROR_CLIENT_CLOSED);
    EXPECT_EQ(VKSEncoderPausePushFrames(encoder_), VKSERROR_CLIENT_CLOSED);
    for (uint32_t code : {kSupplyRawDataCode, kOutputSampleCode, kCaptureOpenCode, kCapturePausePushCode}) {
        EXPECT_TRUE(Sent(code, mark).empty()) << std::hex << code;
    }
}

TEST_F(EncoderTest, NotificationsReachTheErrorFunctionAfterTheirLogLine) {
    vkstest::ScopedRegistry registry(vkstest::ConfigKey("\"DebugLevel\"=dword:00000001"));
    vkstest::DebugCapture capture;
    OpenEncoder();
    const struct {
        VKSERROR code;
        const char* line;  // the NOTIFICATION line before the error function, or null
    } cases[] = {
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
        ASSERT_NO_FATAL_FAILURE(Raise(c.code, ++expected)) << std::hex << c.code;
        EXPECT_EQ(Fields(recorder_.Calls().back()), Fields(ErrorCall(c.code)));
        const char* line = c.line != nullptr ? c.line : "WorkerThread: Got";
        EXPECT_EQ(capture.Contains(line), c.line != nullptr) << std::hex << c.code << " " << line;
    }
}

TEST_F(EncoderTest, EncryptionKeysFunctionGetsTheRequestInItsOwnArgumentOrder) {
    OpenEncoder();
    ASSERT_TRUE(vkssim::AskForEncryptionKeys(device_, simHandle_));
    ASSERT_TRUE(recorder_.WaitFor(1));
    // Not an error: the next event is the first thing the error function sees.
    Raise(VKSERROR_ENC_DMA_ERROR, 2);
    // Registered as null, the keys function is off.
    ASSERT_EQ(VKSEncoderDeviceSetEncryptionKeysFn(encoder_, nullptr, nullptr), VKSERROR_NO_ERROR);
    ASSERT_TRUE(vkssim::AskForEncryptionKeys(device_, simHandle_));
    Raise(VKSERROR_ENC_DMA_ERROR, 3);
    auto calls = recorder_.Calls();
    ASSERT_EQ(calls.size(), 3u);
    EXPECT_EQ(Fields(calls[0]), Fields({kKeys, nullptr, 0, encoder_, 0, nullptr, 0, &recorder_, {}}));
    // The request's size, and its number: the first.
    ASSERT_EQ(calls[0].payload.size(), vkssim::kEncryptionKeyRequestSize);
    EXPECT_EQ(std::make_pair(U32(calls[0].payload, 0), U32(calls[0].payload, 8)),
              std::make_pair(vkssim::kEncryptionKeyRequestSize, 1u));
    EXPECT_EQ(Fields(calls[2]), Fields(ErrorCall(VKSERROR_ENC_DMA_ERROR)));

    // Streaming with encryption asks for keys by itself, with the type.
    ASSERT_EQ(VKSEncoderDeviceSetEncryptionKeysFn(encoder_, &OnKeys, &recorder_), VKSERROR_NO_ERROR);
    ASSERT_EQ(VKSEncoderSetEncryptionType(encoder_, 2), VKSERROR_NO_ERROR);
    ASSERT_EQ(VKSEncoderDeviceSetState(encoder_, 2), VKSERROR_NO_ERROR);
    TestSample t(256);
    ASSERT_EQ(VKSEncoderDeviceChainInputMediaSample(encoder_, &t.sample), VKSERROR_NO_ERROR);
    ASSERT_TRUE(recorder_.WaitFor(4));
    EXPECT_EQ(recorder_.Calls()[3].form, kKeys);
    EXPECT_EQ(U32(recorder_.Calls()[3].payload, 4), 2u);  // the encryption type
}

// Callbacks that close their own encoder, as an application that gives up
// might. The worker carries on and serves the next open.
struct Closer {
    vkstest::CallLog<std::pair<VKSERROR, VKSERROR>> results;  // the close's and a state query's after it

    static void VKSAPI CloseFromKeys(void*, uint32_t, HVKS h, uint32_t, void*, void* context) {
        CloseFromError(h, nullptr, 0, context);
    }
    static void VKSAPI CloseFromError(HVKS h, VKSMEDIASAMPLE*, VKSERROR, void* context) {
        const VKSERROR closed = VKSEncoderDeviceClose(h);
        uint32_t state = 0;
        static_cast<Closer*>(context)->results.Add({closed, VKSEncoderDeviceGetState(h, &state)});
    }
};

// From the keys function and from the error function; with the completion
// port override the last close stops the worker thread, and made from a
// callback on that very thread it must not wait for itself.
TEST_F(EncoderTest, CallbacksMayCloseTheirOwnHandle) {
    for (int variant = 0; variant < 3; ++variant) {
        SCOPED_TRACE(variant);
        std::unique_ptr<vkstest::ScopedRegistry> registry;
        if (variant == 2) {
            registry = std::make_unique<vkstest::ScopedRegistry>(
                vkstest::OemKey("\"Name\"=\"Acme\"") +
                vkstest::ConfigKey("\"Completion_Port_Override\"=dword:00000001"));
        }
        OpenEncoder(true, false);
        Closer closer;
        TestSample held(256);
        ASSERT_EQ(VKSEncoderDeviceChainOutputMediaSample(encoder_, &held.sample), VKSERROR_NO_ERROR);
        const uint32_t closedHandle = simHandle_;
        const uint64_t mark = vkssim::RequestMark();
        if (variant == 0) {
            ASSERT_EQ(VKSEncoderDeviceSetEncryptionKeysFn(encoder_, &Closer::CloseFromKeys, &closer), 0u);
            ASSERT_TRUE(vkssim::AskForEncryptionKeys(device_, simHandle_));
        } else {
            ASSERT_EQ(VKSEncoderDeviceSetErrorFn(encoder_, &Closer::CloseFromError, &closer), 0u);
            ASSERT_TRUE(vkssim::RaiseEvent(device_, simHandle_, VKSERROR_ENC_DMA_ERROR));
        }
        ASSERT_TRUE(closer.results.WaitFor(1));
        EXPECT_EQ(closer.results.Calls()[0].first, VKSERROR_NO_ERROR);
        EXPECT_NE(closer.results.Calls()[0].second, VKSERROR_NO_ERROR);

        OpenEncoder(false);
        Raise(VKSERROR_ENC_DMA_ERROR, variant + 1);
        EXPECT_EQ(recorder_.Calls()[variant].handle, encoder_);
        // A keys request is not an event: no event request follows it for the
        // object closed in its function.
        for (const auto& r : Sent(VKSSIM_IOCTL_EVENT_REQUEST, mark)) {
            EXPECT_TRUE(variant != 0 || r.U32(12) != closedHandle);
        }
        EXPECT_EQ(VKSEncoderDeviceClose(encoder_), VKSERROR_NO_ERROR);
        Free();
    }
}

// The open sends the record's two words and its identification, nothing
// else; the other commands carry no payload. The device's state decides and
// its status is passed back.
TEST_F(EncoderTest, CaptureInterfaceCommandsSendOnlyWhatTheDeviceReads) {
    Rmv204InterfaceParams params;
    std::memset(&params, 0xEE, sizeof(params));
    params.Size = 0;
    EXPECT_EQ(VKSEncoderOpenRmv204Interface(0, &params), VKSERROR_BUFFER_TOO_SMALL);
    params.Size = 1;
    EXPECT_EQ(VKSEncoderOpenRmv204Interface(0, &params), VKSERROR_UNINITIALIZED);
    EXPECT_EQ(VKSEncoderPausePushFrames(0), VKSERROR_UNINITIALIZED);
    OpenEncoder(true, false);
    // Nothing is open yet: the device refuses and the library passes it on.
    EXPECT_EQ(VKSEncoderPauseRmv204Interface(encoder_), VKSERROR_INVALID_STATE);
    params.InterfaceWord1 = 0x01020304;
    params.InterfaceWord2 = 0x05060708;
    for (int i = 0; i < 16; ++i) params.Identification[i] = static_cast<uint8_t>(0x40 + i);

    const uint64_t mark = vkssim::RequestMark();
    ASSERT_EQ(VKSEncoderOpenRmv204Interface(encoder_, &params), VKSERROR_NO_ERROR);
    const RequestFrame expected =
        Frame().U32(24, 56).U32(28, 0x01020304).U32(32, 0x05060708).Put(54, params.Identification, 16);
    EXPECT_EQ(Mismatch(Received(kCaptureOpenCode, mark).input, expected), "");
    const auto capture = [&] {
        return vkssim::GetCaptureInterface(device_, simHandle_).value_or(vkssim::CaptureInterface{});
    };
    EXPECT_TRUE(capture().open);
    EXPECT_EQ(VKSEncoderOpenRmv204Interface(encoder_, &params), VKSERROR_INVALID_STATE);

    using Flag = bool vkssim::CaptureInterface::*;
    const struct {
        VKSERROR (VKSAPI* call)(HVKS);
        uint32_t code;
        Flag flag;
        bool value;
    } steps[] = {
        {VKSEncoderPauseRmv204Interface, kCapturePauseCode, &vkssim::CaptureInterface::paused, true},
        {VKSEncoderUnpauseRmv204Interface, kCaptureUnpauseCode, &vkssim::CaptureInterface::paused, false},
        {VKSEncoderPausePushFrames, kCapturePausePushCode, &vkssim::CaptureInterface::pushPaused, true},
        {VKSEncoderCloseRmv204Interface, kCaptureCloseCode, &vkssim::CaptureInterface::open, false},
    };
    for (const auto& step : steps) {
        const uint64_t before = vkssim::RequestMark();
        ASSERT_EQ(step.call(encoder_), VKSERROR_NO_ERROR) << std::hex << step.code;
        EXPECT_EQ(Mismatch(Received(step.code, before).input, Frame()), "") << std::hex << step.code;
        EXPECT_EQ(capture().*step.flag, step.value) << std::hex << step.code;
    }
    vkssim::FailWithStatus(kCaptureUnpauseCode, VKSERROR_ENC_DMA_ERROR, 1);
    EXPECT_EQ(VKSEncoderUnpauseRmv204Interface(encoder_), VKSERROR_ENC_DMA_ERROR);
}

}  // namespace
