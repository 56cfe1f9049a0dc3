// Key material of a decoder: pre-shared key entries in the decoder parameter
// block, and the 32-byte encryption keys record.
#include "vksacc.h"
#include "vkssim/sim.h"

#include "support/sim_engine_test.h"
#include "support/test_env.h"

#include <gtest/gtest.h>

#include <array>
#include <chrono>
#include <memory>
#include <optional>
#include <vector>

namespace {

using namespace std::chrono_literals;

// Where the set parameter request carries its fields.
constexpr size_t kSelector = 24, kFlags = 28, kBlock = 32;
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
        registry_ = std::make_unique<vkstest::ScopedRegistry>(vkstest::ConfigKey("\"DebugLevel\"=dword:00000001"));
        SimEngineTest::SetUp();
        ASSERT_EQ(AddDevice(1, 1), 0);
        Load();
        VKSGUID session{};
        session.Data1 = 0x5E55;
        ASSERT_EQ(VKSDecoderDeviceOpenEx(0, 0, 0, &decoder_, nullptr, &session), VKSERROR_NO_ERROR);
        auto object = vkssim::FindObject(0, VKSSIM_TYPE_DECODER, 0);
        ASSERT_TRUE(object.has_value());
        driverHandle_ = object->handle;
    }
    void TearDown() override {
        if (decoder_ != 0) {
            EXPECT_EQ(VKSDecoderDeviceClose(decoder_), VKSERROR_NO_ERROR);
        }
        SimEngineTest::TearDown();
    }

    // The one request with the code sent since the mark, if exactly one was.
    static std::optional<vkssim::Request> OnlyRequest(uint32_t code, uint64_t mark) {
        std::optional<vkssim::Request> found;
        size_t n = 0;
        for (const auto& r : vkssim::Requests()) {
            if (r.sequence >= mark && r.code == code) {
                found = r;
                ++n;
            }
        }
        return n == 1 ? found : std::nullopt;
    }

    // Sets a PSK entry and returns the set parameter request it sent.
    vkssim::Request SetPsk(const uint8_t* data, size_t length, uint32_t datatype) {
        const uint64_t mark = vkssim::RequestMark();
        EXPECT_EQ(VKSDecoderDeviceSetPSKEncryptionData(decoder_, data, static_cast<uint8_t>(length), datatype),
                  VKSERROR_NO_ERROR);
        auto request = OnlyRequest(VKSSIM_IOCTL_SET_PARAMETER, mark);
        EXPECT_TRUE(request.has_value());
        return request.value_or(vkssim::Request{});
    }

    // Every block byte outside [from, from + size) is 0, but the size word.
    static void ExpectBlockClearOutside(const vkssim::Request& r, size_t from, size_t size) {
        for (size_t i = kBlock + 4; i < kBlock + kDecoderBlockBytes; ++i) {
            if (i >= from && i < from + size) continue;
            ASSERT_EQ(r.input[i], 0u) << "block byte " << (i - kBlock);
        }
    }

    std::unique_ptr<vkstest::ScopedRegistry> registry_;
    vkstest::DebugCapture debug_;
    HVKS decoder_ = 0;
    uint32_t driverHandle_ = 0;
};

// Each entry sits in its own place of the block, padded with zeros, its
// length after it; nothing else of the block is set.
TEST_F(ContentProtectionTest, PskEntriesLandInTheirPlace) {
    const struct {
        size_t length;
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
        const auto r = SetPsk(data.data(), row.length, row.datatype);
        ASSERT_EQ(r.input.size(), static_cast<size_t>(VKSSIM_REQUEST_SIZE));
        EXPECT_EQ(r.U32(VKSSIM_REQ_TYPE), VKSSIM_TYPE_DECODER);
        EXPECT_EQ(r.U32(VKSSIM_REQ_HANDLE), driverHandle_);
        EXPECT_EQ(r.U32(kSelector), 0u);
        EXPECT_EQ(r.U32(kFlags), row.flags);
        EXPECT_EQ(r.U32(kBlock), kDecoderBlockBytes);
        data.back() = 0;
        data.resize(32, 0);
        EXPECT_EQ(std::vector<uint8_t>(r.input.begin() + row.entry, r.input.begin() + row.entry + 32), data);
        EXPECT_EQ(r.input[row.entry + 32], row.length);
        ExpectBlockClearOutside(r, row.entry, 33);
    }
}

TEST_F(ContentProtectionTest, LengthAbove32AndUnknownDatatypeAreRefusedWithoutSending) {
    const auto data = Pattern(33, 1);
    const uint64_t mark = vkssim::RequestMark();
    EXPECT_EQ(VKSDecoderDeviceSetPSKEncryptionData(decoder_, data.data(), 8, 2), VKSERROR_INVALID_ARGUMENT);
    EXPECT_TRUE(debug_.Contains("GetPSKDataEntryForDatatype: Unrecognised datatype: 2."));
    EXPECT_FALSE(debug_.Contains("Supplied length exceeds"));
    EXPECT_EQ(VKSDecoderDeviceSetPSKEncryptionData(decoder_, data.data(), 33, VKS_PSK_DATATYPE_0),
              VKSERROR_INVALID_ARGUMENT);
    EXPECT_TRUE(debug_.Contains("SetPSKEncryptionDataValue: Supplied length exceeds available storage (length:33)."));
    // Null pointers are refused before the handle is looked at.
    EXPECT_EQ(VKSDecoderDeviceSetPSKEncryptionData(0xBAD, nullptr, 4, VKS_PSK_DATATYPE_1), VKSERROR_INVALID_ARGUMENT);
    EXPECT_EQ(VKSDecoderDeviceSetEncryptionKeys(0xBAD, nullptr), VKSERROR_INVALID_ARGUMENT);
    EXPECT_EQ(vkssim::RequestMark(), mark);
}

TEST_F(ContentProtectionTest, HandleAndDriverFailuresPassThrough) {
    const auto data = Pattern(4, 1);
    VKSENCRYPTIONKEYS keys{};
    EXPECT_EQ(VKSDecoderDeviceSetPSKEncryptionData(0xBAD, data.data(), 4, VKS_PSK_DATATYPE_0), 0x01170003u);
    EXPECT_EQ(VKSDecoderDeviceSetEncryptionKeys(0xBAD, &keys), 0x01170003u);
    vkssim::FailWithStatus(VKSSIM_IOCTL_SET_PARAMETER, VKSERROR_INVALID_STATE, 1);
    EXPECT_EQ(VKSDecoderDeviceSetPSKEncryptionData(decoder_, data.data(), 4, VKS_PSK_DATATYPE_0), VKSERROR_INVALID_STATE);
    vkssim::FailWithStatus(VKSSIM_IOCTL_SET_ENCRYPTION_KEYS, VKSERROR_INVALID_STATE, 1);
    EXPECT_EQ(VKSDecoderDeviceSetEncryptionKeys(decoder_, &keys), VKSERROR_INVALID_STATE);
    EXPECT_FALSE(vkssim::GetEncryptionKeys(0, driverHandle_).has_value());
}

TEST_F(ContentProtectionTest, EncryptionKeysAreSentUnchanged) {
    VKSENCRYPTIONKEYS keys;
    for (uint8_t i = 0; i < 16; ++i) {
        keys.First[i] = static_cast<uint8_t>(0x10 + i);
        keys.Second[i] = static_cast<uint8_t>(0xF0 - i);
    }
    const uint64_t mark = vkssim::RequestMark();
    ASSERT_EQ(VKSDecoderDeviceSetEncryptionKeys(decoder_, &keys), VKSERROR_NO_ERROR);
    auto r = OnlyRequest(VKSSIM_IOCTL_SET_ENCRYPTION_KEYS, mark);
    ASSERT_TRUE(r.has_value());
    ASSERT_EQ(r->input.size(), static_cast<size_t>(VKSSIM_REQUEST_SIZE));
    EXPECT_EQ(r->U32(VKSSIM_REQ_TYPE), VKSSIM_TYPE_DECODER);
    EXPECT_EQ(r->U32(VKSSIM_REQ_HANDLE), driverHandle_);
    EXPECT_EQ(r->U32(VKSSIM_REQ_FORMAT), VKSSIM_FORMAT_WORD);
    EXPECT_FALSE(r->overlappedFile);
    const uint8_t* bytes = reinterpret_cast<const uint8_t*>(&keys);
    EXPECT_EQ(std::vector<uint8_t>(r->input.begin() + 24, r->input.begin() + 56), std::vector<uint8_t>(bytes, bytes + 32));
    // Nothing else of the request carries data.
    for (size_t i = 56; i < r->input.size(); ++i) ASSERT_EQ(r->input[i], 0u) << i;

    auto kept = vkssim::GetEncryptionKeys(0, driverHandle_);
    ASSERT_TRUE(kept.has_value());
    EXPECT_EQ(std::vector<uint8_t>(kept->begin(), kept->end()), std::vector<uint8_t>(bytes, bytes + 32));
}

TEST_F(ContentProtectionTest, TheObjectTypeIsLeftToTheDevice) {
    HVKS stream = 0;
    ASSERT_EQ(VKSNetworkStreamOpenExA(0, "udp://239.1.1.1:5000", 0, &stream, nullptr), VKSERROR_NO_ERROR);
    VKSENCRYPTIONKEYS keys{};
    const uint64_t mark = vkssim::RequestMark();
    // The device refuses keys for a network stream; the library sent them.
    EXPECT_EQ(VKSDecoderDeviceSetEncryptionKeys(stream, &keys), VKSERROR_UNSUPPORTED);
    auto r = OnlyRequest(VKSSIM_IOCTL_SET_ENCRYPTION_KEYS, mark);
    ASSERT_TRUE(r.has_value());
    EXPECT_EQ(r->U32(VKSSIM_REQ_TYPE), VKSSIM_TYPE_NETWORK);
    EXPECT_EQ(VKSNetworkStreamClose(stream), VKSERROR_NO_ERROR);
}

}  // namespace
