// Decoder output samples against the simulator: a sample comes back through
// the return function, and an echoed address that is not one of the
// application's samples is never handed to the application.
#include "vksacc.h"
#include "vkssim/sim.h"

#include "support/callback_recorder.h"
#include "support/sim_engine_test.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <vector>

namespace {

using vkstest::CallbackRecorder;

class DecoderOutputSampleTest : public vkstest::SimEngineTest {
protected:
    void SetUp() override {
        SimEngineTest::SetUp();
        device_ = AddDevice(1, 1);
        Load();
        VKSGUID session{};
        NetworkStreamOpenParams params{};
        ASSERT_EQ(VKSDecoderDeviceOpenEx(0, 0, 0, &decoder_, &params, &session), VKSERROR_NO_ERROR);
        for (const auto& o : vkssim::Objects(device_)) {
            if (o.type == VKSSIM_TYPE_DECODER) simHandle_ = o.handle;
        }
        ASSERT_EQ(VKSDecoderDeviceSetErrorFn(nullptr, 0, decoder_, &CallbackRecorder::DecoderError, &recorder_),
                  VKSERROR_NO_ERROR);
        ASSERT_EQ(VKSDecoderDeviceSetOutputMediaSampleReturnFn(decoder_, &CallbackRecorder::DecoderSampleReturn,
                                                               &recorder_),
                  VKSERROR_NO_ERROR);
        buffers_.BufferCount = 1;
        buffers_.Buffers[0].pData = data_;
        buffers_.Buffers[0].Length = sizeof data_;
        sample_.pMediaType = &type_;
        sample_.pBuffers = &buffers_;
    }
    void TearDown() override {
        if (decoder_ != 0) {
            EXPECT_EQ(VKSDecoderDeviceClose(decoder_), VKSERROR_NO_ERROR);
        }
        SimEngineTest::TearDown();
    }
    // Chains the sample twice and returns the two callbacks it led to.
    std::vector<vkstest::CallbackCall> ChainTwice() {
        const size_t before = recorder_.Calls().size();
        EXPECT_EQ(VKSDecoderDeviceChainOutputMediaSample(decoder_, &sample_), VKSERROR_NO_ERROR);
        EXPECT_EQ(VKSDecoderDeviceChainOutputMediaSample(decoder_, &sample_), VKSERROR_NO_ERROR);
        EXPECT_TRUE(recorder_.WaitFor(before + 2));
        const auto calls = recorder_.Calls();
        return {calls.begin() + static_cast<std::ptrdiff_t>(before), calls.end()};
    }

    int device_ = -1;
    uint32_t simHandle_ = 0;
    HVKS decoder_ = 0;
    CallbackRecorder recorder_;
    uint8_t data_[64] = {};
    VKSMEDIATYPE type_{};
    VKSMEDIABUFFERS buffers_{};
    VKSMEDIASAMPLE sample_{};
};

// The sample's own address comes back through the return function; a null
// or unknown echo goes to the error function without a sample.
TEST_F(DecoderOutputSampleTest, SampleComesBackOnlyWhenTheEchoIsOneOfTheApplications) {
    using Echo = vkssim::EncoderEcho;
    for (auto echo : {Echo::Matching, Echo::NullSample, Echo::ForeignSample}) {
        SCOPED_TRACE(static_cast<int>(echo));
        ASSERT_TRUE(vkssim::SetDecoderSampleEcho(device_, simHandle_, echo));
        const bool ours = echo == Echo::Matching;
        const auto calls = ChainTwice();
        ASSERT_EQ(calls.size(), 2u);
        for (const auto& call : calls) {
            EXPECT_EQ(call.form, ours ? CallbackRecorder::kDecoderSampleReturn : CallbackRecorder::kDecoderError);
            EXPECT_EQ(call.sample, ours ? &sample_ : nullptr);
            EXPECT_EQ(call.handle, decoder_);
            EXPECT_EQ(call.status, ours ? VKSERROR_NO_ERROR : VKSERROR_UNEXPECTED);
        }
    }
}

}  // namespace
