// What an application hands a decoder: key material (pre-shared key entries
// in the decoder parameter block, the 32-byte encryption keys record) and
// output samples, which come back through the return function; an echoed
// address that is not one of the application's samples is never handed on.
#include "vksacc.h"
#include "vkssim/sim.h"

#include "support/callback_recorder.h"
#include "support/request_frame.h"
#include "support/sim_engine_test.h"
#include "support/test_env.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <tuple>
#include <vector>

namespace {

using vkstest::CallbackRecorder;
using vkstest::Mismatch;
using vkstest::RequestFrame;

// Where the set parameter request carries its fields.
constexpr size_t kFlags = 28, kBlock = 32;
constexpr size_t kEntry0 = kBlock + 412, kEntry1 = kBlock + 445;
constexpr uint32_t kDecoderBlockBytes = 480;

std::vector<uint8_t> Pattern(size_t size, uint8_t first) {
    std::vector<uint8_t> bytes(size);
    for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<uint8_t>(first + 7 * i);
    return bytes;
}

class ContentProtectionTest : public vkstest::SimEngineTest {
protected:
    void SetUp() override {
        SimEngineTest::SetUp();
        ASSERT_EQ(AddDevice(1, 1), 0);
        Load();
        decoder_ = OpenDecoder();
        driverHandle_ = DriverHandle(0, VKSSIM_TYPE_DECODER, 0);
    }

    vkstest::ScopedRegistry registry_{vkstest::ConfigKey("\"DebugLevel\"=dword:00000001")};
    vkstest::DebugCapture debug_;
    HVKS decoder_ = 0;
    uint32_t driverHandle_ = 0;
};

// Each entry sits in its own place of the block, padded with zeros, its
// length after it; nothing else of the block is set.
TEST_F(ContentProtectionTest, PskEntriesLandInTheirPlace) {
    const struct {
        uint8_t length;
        uint32_t datatype;
        size_t entry;
        uint32_t flags;
    } rows[] = {
        {32, VKS_PSK_DATATYPE_0, kEntry0, 0x80000u},
        {16, VKS_PSK_DATATYPE_1, kEntry1, 0x100000u},
        {1, VKS_PSK_DATATYPE_0, kEntry0, 0x80000u},
        {0, VKS_PSK_DATATYPE_1, kEntry1, 0x100000u},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.length);
        auto data = Pattern(row.length, 0x11);
        data.push_back(0xFF);  // never sent
        const uint64_t mark = vkssim::RequestMark();
        EXPECT_EQ(VKSDecoderDeviceSetPSKEncryptionData(decoder_, data.data(), row.length, row.datatype),
                  VKSERROR_NO_ERROR);
        RequestFrame expected(VKSSIM_TYPE_DECODER, 0, driverHandle_);
        expected.U32(kFlags, row.flags).U32(kBlock, kDecoderBlockBytes).Put(row.entry, data.data(), row.length);
        expected.Put(row.entry + 32, &row.length, 1);
        EXPECT_EQ(Mismatch(Received(VKSSIM_IOCTL_SET_PARAMETER, mark).input, expected), "");
    }
}

TEST_F(ContentProtectionTest, RefusalsSendNothingAndFailuresPassThrough) {
    const auto data = Pattern(33, 1);
    const uint64_t mark = vkssim::RequestMark();
    EXPECT_EQ(VKSDecoderDeviceSetPSKEncryptionData(decoder_, data.data(), 8, 2), VKSERROR_INVALID_ARGUMENT);
    EXPECT_TRUE(debug_.Contains("GetPSKDataEntryForDatatype: Unrecognised datatype: 2."));
    EXPECT_FALSE(debug_.Contains("Supplied length exceeds"));
    EXPECT_EQ(VKSDecoderDeviceSetPSKEncryptionData(decoder_, data.data(), 33, VKS_PSK_DATATYPE_0),
              VKSERROR_INVALID_ARGUMENT);
    EXPECT_TRUE(debug_.Contains("SetPSKEncryptionDataValue: Supplied length exceeds available storage (length:33)."));
    EXPECT_EQ(vkssim::RequestMark(), mark);

    // The driver's status passes through (the handle table's: the export sweep).
    VKSENCRYPTIONKEYS keys{};
    vkssim::FailWithStatus(VKSSIM_IOCTL_SET_PARAMETER, VKSERROR_INVALID_STATE, 1);
    EXPECT_EQ(VKSDecoderDeviceSetPSKEncryptionData(decoder_, data.data(), 4, VKS_PSK_DATATYPE_0), VKSERROR_INVALID_STATE);
    vkssim::FailWithStatus(VKSSIM_IOCTL_SET_ENCRYPTION_KEYS, VKSERROR_INVALID_STATE, 1);
    EXPECT_EQ(VKSDecoderDeviceSetEncryptionKeys(decoder_, &keys), VKSERROR_INVALID_STATE);
    EXPECT_FALSE(vkssim::GetEncryptionKeys(0, driverHandle_).has_value());
}

// The keys go unchanged in the request's payload; the object's type is left
// to the device, which refuses keys for a network stream.
TEST_F(ContentProtectionTest, EncryptionKeysAreSentUnchanged) {
    VKSENCRYPTIONKEYS keys;
    for (uint8_t i = 0; i < 16; ++i) {
        keys.First[i] = static_cast<uint8_t>(0x10 + i);
        keys.Second[i] = static_cast<uint8_t>(0xF0 - i);
    }
    uint64_t mark = vkssim::RequestMark();
    ASSERT_EQ(VKSDecoderDeviceSetEncryptionKeys(decoder_, &keys), VKSERROR_NO_ERROR);
    const RequestFrame expected = RequestFrame(VKSSIM_TYPE_DECODER, 0, driverHandle_).Put(24, &keys, 32);
    const auto sent = Received(VKSSIM_IOCTL_SET_ENCRYPTION_KEYS, mark);
    EXPECT_EQ(Mismatch(sent.input, expected), "");
    EXPECT_FALSE(sent.overlappedFile);

    HVKS stream = 0;
    ASSERT_EQ(VKSNetworkStreamOpenExA(0, "udp://239.1.1.1:5000", 0, &stream, nullptr), VKSERROR_NO_ERROR);
    mark = vkssim::RequestMark();
    EXPECT_EQ(VKSDecoderDeviceSetEncryptionKeys(stream, &keys), VKSERROR_UNSUPPORTED);
    EXPECT_EQ(Received(VKSSIM_IOCTL_SET_ENCRYPTION_KEYS, mark).U32(VKSSIM_REQ_TYPE), VKSSIM_TYPE_NETWORK);
    EXPECT_EQ(VKSNetworkStreamClose(stream), VKSERROR_NO_ERROR);
}

class DecoderOutputSampleTest : public ContentProtectionTest {
protected:
    void SetUp() override {
        ContentProtectionTest::SetUp();
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
        ASSERT_TRUE(vkssim::SetDecoderSampleEcho(0, driverHandle_, echo));
        const bool ours = echo == Echo::Matching;
        const size_t before = recorder_.Calls().size();
        EXPECT_EQ(VKSDecoderDeviceChainOutputMediaSample(decoder_, &sample_), VKSERROR_NO_ERROR);
        EXPECT_EQ(VKSDecoderDeviceChainOutputMediaSample(decoder_, &sample_), VKSERROR_NO_ERROR);
        ASSERT_TRUE(recorder_.WaitFor(before + 2));
        const auto calls = recorder_.Calls();
        ASSERT_EQ(calls.size(), before + 2);
        const int form = ours ? CallbackRecorder::kDecoderSampleReturn : CallbackRecorder::kDecoderError;
        const VKSERROR status = ours ? VKSERROR_NO_ERROR : VKSERROR_UNEXPECTED;
        const auto expected = std::make_tuple(form, ours ? &sample_ : nullptr, decoder_, status);
        for (size_t i = before; i < calls.size(); ++i) {
            EXPECT_EQ(std::make_tuple(calls[i].form, calls[i].sample, calls[i].handle, calls[i].status), expected);
        }
    }
}

}  // namespace
