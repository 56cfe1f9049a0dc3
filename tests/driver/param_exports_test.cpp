// The parameter accessor exports, end to end: an open object in the handle
// table whose device file belongs to a fake driver that records each request
// and answers with a prepared reply.
#include "driver/command_channel.h"
#include "driver/param_blocks.h"
#include "objects/handle_table.h"
#include "objects/user_handle.h"
#include "param_fake_device.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace {

using paramtest::FakeParamDevice;
using paramtest::PreparedReply;
using paramtest::RecordedRequest;

constexpr DWORD kDriverHandle = 0x00C0FFEE;

// A device block of `size` bytes with its size word set and the given u32
// fields.
std::vector<BYTE> DeviceBlock(DWORD size, std::initializer_list<std::pair<DWORD, DWORD>> fields = {}) {
    std::vector<BYTE> block(size < 4 ? 4 : size, 0);
    WriteU32(block.data(), 0, size);
    for (const auto& [offset, value] : fields) WriteU32(block.data(), offset, value);
    return block;
}

class ParamExports : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(device_.Registered());
        HandleTableConfig config{};
        config.Size = sizeof(config);
        config.BucketCount = 128;
        config.Tag = 4;
        ASSERT_EQ(InitialiseHandleTable(&config), 0u);
    }

    void TearDown() override {
        for (auto& [handle, file] : opened_) {
            LockAndReleaseHandle(handle);
            CloseHandle(file);
        }
        UninitialiseHandleTable();
    }

    // An open object of `type` on the fake device.
    HVKS Open(DWORD type, DWORD channel = 3, DWORD driverHandle = kDriverHandle) {
        HANDLE file = nullptr;
        EXPECT_EQ(DeviceFileOpen(FakeParamDevice::kPath, &file, FALSE, VKS_DEVICE_SUFFIX), VKSERROR_NO_ERROR);
        DWORD handle = 0;
        EXPECT_EQ(CreateHandle(sizeof(UserHandle), &handle), 0u);
        UserHandle* object = nullptr;
        EXPECT_EQ(LockHandleAs(handle, &object), 0u);
        std::memset(object, 0, sizeof(*object));
        object->Type = type;
        object->hDevice = file;
        object->HVKSHandle = driverHandle;
        object->Channel = channel;
        EXPECT_EQ(UnlockHandle(handle, object), 0u);
        opened_.push_back({handle, file});
        return handle;
    }

    void Reply(VKSERROR status, std::vector<BYTE> block = {}) {
        PreparedReply reply;
        reply.Status = status;
        reply.Block = std::move(block);
        device_.QueueReply(std::move(reply));
    }

    std::vector<RecordedRequest> Requests() const { return device_.Requests(); }

    RecordedRequest OnlyRequest() const {
        const auto requests = Requests();
        EXPECT_EQ(requests.size(), 1u);
        return requests.empty() ? RecordedRequest{} : requests.front();
    }

    static void ExpectHeader(const RecordedRequest& r, DWORD code, DWORD type, DWORD channel = 3,
                             DWORD driverHandle = kDriverHandle) {
        EXPECT_EQ(r.Code, code);
        EXPECT_EQ(r.Bytes.size(), kRequestBytes);
        EXPECT_EQ(r.OutputLength, kReplyBytes);
        EXPECT_EQ(r.U32(0), kRequestBytes);
        EXPECT_EQ(r.U32(4), type);
        EXPECT_EQ(r.U32(8), channel);
        EXPECT_EQ(r.U32(12), driverHandle);
        EXPECT_EQ(r.U32(16), 0u);
        EXPECT_EQ(r.U32(20), 100u);
    }

    static void ExpectGet(const RecordedRequest& r, DWORD type, DWORD selector, DWORD flags, DWORD capacity) {
        ExpectHeader(r, 0x22C410, type);
        EXPECT_EQ(r.U32(24), selector);
        EXPECT_EQ(r.U32(28), flags);
        EXPECT_EQ(r.U32(32), capacity);
    }

    // A set request: header, selector, flags, and a block of `blockBytes`
    // whose bytes outside `named` (offset, width pairs within the block) are 0.
    static void ExpectSet(const RecordedRequest& r, DWORD type, DWORD selector, DWORD flags, DWORD blockBytes,
                          std::initializer_list<std::pair<DWORD, DWORD>> named) {
        ExpectHeader(r, 0x22C414, type);
        EXPECT_EQ(r.U32(24), selector);
        EXPECT_EQ(r.U32(28), flags);
        EXPECT_EQ(r.U32(32), blockBytes);
        std::vector<bool> inField(blockBytes, false);
        for (DWORD i = 0; i < 4; ++i) inField[i] = true;
        for (const auto& [offset, width] : named)
            for (DWORD i = 0; i < width; ++i) inField[offset + i] = true;
        for (DWORD i = 0; i < blockBytes; ++i) {
            if (!inField[i]) {
                EXPECT_EQ(r.Bytes[32 + i], 0) << "block byte " << i;
            }
        }
    }

    FakeParamDevice device_;
    std::vector<std::pair<HVKS, HANDLE>> opened_;
};

TEST_F(ParamExports, GetCroppingSendsTheRectangleFlagsAndReadsFourValues) {
    const HVKS h = Open(VKSDEVICETYPE_DECODER);
    Reply(VKSERROR_NO_ERROR, DeviceBlock(480, {{40, 10}, {44, 20}, {48, 1280}, {52, 720}}));
    uint32_t a = 0, b = 0, c = 0, d = 0;
    ASSERT_EQ(VKSDecoderDeviceGetCropping(h, &a, &b, &c, &d), VKSERROR_NO_ERROR);
    ExpectGet(OnlyRequest(), VKSDEVICETYPE_DECODER, 0, 0x20, 480);
    EXPECT_EQ(a, 10u);
    EXPECT_EQ(b, 20u);
    EXPECT_EQ(c, 1280u);
    EXPECT_EQ(d, 720u);
}

TEST_F(ParamExports, CroppingVariantsSendTheirSelectors) {
    const HVKS h = Open(VKSDEVICETYPE_DECODER);
    uint32_t a = 0, b = 0, c = 0, d = 0;
    Reply(VKSERROR_NO_ERROR, DeviceBlock(56, {{52, 1080}}));
    EXPECT_EQ(VKSDecoderDeviceGetCroppingDefault(h, &a, &b, &c, &d), VKSERROR_NO_ERROR);
    EXPECT_EQ(d, 1080u);
    EXPECT_EQ(VKSDecoderDeviceGetCroppingMaximum(h, &a, &b, &c, &d), VKSERROR_UNSUPPORTED) << "no block came back";
    EXPECT_EQ(VKSDecoderDeviceGetCroppingMinimum(h, &a, &b, &c, &d), VKSERROR_UNSUPPORTED);
    const auto requests = Requests();
    ASSERT_EQ(requests.size(), 3u);
    EXPECT_EQ(requests[0].U32(24), 3u);
    EXPECT_EQ(requests[1].U32(24), 2u);
    EXPECT_EQ(requests[2].U32(24), 1u);
}

TEST_F(ParamExports, ShortReplyBlockIsUnsupportedAndLeavesOutputsAlone) {
    const HVKS h = Open(VKSDEVICETYPE_DECODER);
    Reply(VKSERROR_NO_ERROR, DeviceBlock(55, {{40, 10}, {44, 20}, {48, 30}}));
    uint32_t a = 1, b = 2, c = 3, d = 4;
    EXPECT_EQ(VKSDecoderDeviceGetCropping(h, &a, &b, &c, &d), VKSERROR_UNSUPPORTED);
    EXPECT_EQ(a, 1u);
    EXPECT_EQ(b, 2u);
    EXPECT_EQ(c, 3u);
    EXPECT_EQ(d, 4u);
}

TEST_F(ParamExports, DriverFailurePassesThroughAndLeavesOutputsAlone) {
    const HVKS h = Open(VKSDEVICETYPE_ENCODER);
    Reply(VKSERROR_INSUFFICIENT_RESOURCES, DeviceBlock(2208, {{32, 5000}}));
    uint32_t rate = 9;
    EXPECT_EQ(VKSEncoderGetBitRate(h, &rate), VKSERROR_INSUFFICIENT_RESOURCES);
    EXPECT_EQ(rate, 9u);
}

TEST_F(ParamExports, ShortTransferIsNoAccess) {
    const HVKS h = Open(VKSDEVICETYPE_ENCODER);
    PreparedReply reply;
    reply.Block = DeviceBlock(2208, {{32, 5000}});
    reply.Bytes = 100;
    device_.QueueReply(std::move(reply));
    uint32_t rate = 9;
    EXPECT_EQ(VKSEncoderGetBitRate(h, &rate), VKSERROR_NOACCESS);
    EXPECT_EQ(rate, 9u);
}

TEST_F(ParamExports, NullOutPointerIsRefusedBeforeTheHandleIsLocked) {
    uint32_t v = 0;
    // An unknown handle would fail the lock; the argument check comes first.
    EXPECT_EQ(VKSDecoderDeviceGetCropping(0x00040999, &v, &v, nullptr, &v), VKSERROR_INVALID_ARGUMENT);
    EXPECT_EQ(VKSDecoderDeviceGetRates(0x00040999, &v, &v, &v, nullptr), VKSERROR_INVALID_ARGUMENT);
    EXPECT_EQ(VKSDecoderDeviceGetRenderRate(0x00040999, nullptr), VKSERROR_INVALID_ARGUMENT);
    EXPECT_EQ(VKSDecoderDeviceGetHDCPHeader(0x00040999, nullptr), VKSERROR_INVALID_ARGUMENT);
    EXPECT_EQ(VKSEncoderIsLevelSupported(0x00040999, 1, nullptr), VKSERROR_INVALID_ARGUMENT);
    EXPECT_EQ(VKSEncoderDeviceSetHDCPHeader(0x00040999, nullptr), VKSERROR_INVALID_ARGUMENT);
    EXPECT_EQ(VKSEncoderSetAudioParam(0x00040999, nullptr), VKSERROR_INVALID_ARGUMENT);
    EXPECT_EQ(VKSNetworkSetSeeking(0x00040999, nullptr), VKSERROR_INVALID_ARGUMENT);
    EXPECT_EQ(VKSNetworkStreamGetJitter(0x00040999, 0, nullptr), VKSERROR_INVALID_ARGUMENT);
    EXPECT_TRUE(Requests().empty());
}

TEST_F(ParamExports, HandleFailuresPassThroughExceptForAudioDelay) {
    uint32_t v = 0;
    EXPECT_EQ(VKSDecoderDeviceGetSyncMode(0x00040999, &v), HANDLEERROR_INVALID_HANDLE);
    EXPECT_EQ(VKSDecoderDeviceSetAudioVolume(0x00050001, 3), HANDLEERROR_INVALID_HANDLE);
    EXPECT_EQ(VKSDecoderDeviceEnableCropping(0x00040999, 1), HANDLEERROR_INVALID_HANDLE);
    EXPECT_EQ(VKSEncoderIsProfileSupported(0x00040999, 1, &v), HANDLEERROR_INVALID_HANDLE);
    EXPECT_EQ(VKSDecoderDeviceSetAudioDelay(0x00040999, 40), VKSERROR_INVALID_HANDLE);
    EXPECT_TRUE(Requests().empty());
}

TEST_F(ParamExports, AudioDelayOnAnOpenDecoder) {
    const HVKS h = Open(VKSDEVICETYPE_DECODER);
    EXPECT_EQ(VKSDecoderDeviceSetAudioDelay(h, 40), VKSERROR_NO_ERROR);
    const RecordedRequest r = OnlyRequest();
    ExpectSet(r, VKSDEVICETYPE_DECODER, 0, 0x2000, 480, {{80, 4}});
    EXPECT_EQ(r.U32(32 + 80), 40u);
}

TEST_F(ParamExports, ClosedClientSendsNothing) {
    const HVKS h = Open(VKSDEVICETYPE_NETWORK, 3, 0);
    uint32_t v = 5;
    EXPECT_EQ(VKSNetworkStreamGetTransport(h, &v), VKSERROR_CLIENT_CLOSED);
    EXPECT_EQ(VKSNetworkStreamSetTransport(h, 1), VKSERROR_CLIENT_CLOSED);
    EXPECT_EQ(v, 5u);
    EXPECT_TRUE(Requests().empty());
}

TEST_F(ParamExports, DeInterlaceModeAboveTwoIsRefusedAndModeTwoIsSent) {
    const HVKS h = Open(VKSDEVICETYPE_DECODER);
    EXPECT_EQ(VKSDecoderDeviceSetDeInterlace(h, 3, 1), VKSERROR_INVALID_ARGUMENT);
    EXPECT_TRUE(Requests().empty());
    EXPECT_EQ(VKSDecoderDeviceSetDeInterlace(h, 2, 7), VKSERROR_NO_ERROR);
    const RecordedRequest r = OnlyRequest();
    ExpectSet(r, VKSDEVICETYPE_DECODER, 0, 0xC0, 480, {{56, 4}, {60, 4}});
    EXPECT_EQ(r.U32(32 + 60), 2u);
    EXPECT_EQ(r.U32(32 + 56), 7u);
}

TEST_F(ParamExports, GetDeInterlaceReadsModeAndSecondValue) {
    const HVKS h = Open(VKSDEVICETYPE_DECODER);
    Reply(VKSERROR_NO_ERROR, DeviceBlock(64, {{56, 9}, {60, 2}}));
    uint32_t mode = 0, second = 0;
    EXPECT_EQ(VKSDecoderDeviceGetDeInterlace(h, &mode, &second), VKSERROR_NO_ERROR);
    ExpectGet(OnlyRequest(), VKSDEVICETYPE_DECODER, 0, 0xC0, 480);
    EXPECT_EQ(mode, 2u);
    EXPECT_EQ(second, 9u);
}

TEST_F(ParamExports, DisablingCroppingResetsTheRectangleToThePicture) {
    const HVKS h = Open(VKSDEVICETYPE_DECODER);
    std::vector<BYTE> picture = DeviceBlock(480, {{40, 5}, {44, 6}});
    const WORD width = 1920, height = 1080;
    std::memcpy(picture.data() + 8, &width, 2);
    std::memcpy(picture.data() + 10, &height, 2);
    Reply(VKSERROR_NO_ERROR, picture);
    EXPECT_EQ(VKSDecoderDeviceEnableCropping(h, 0), VKSERROR_NO_ERROR);
    const auto requests = Requests();
    ASSERT_EQ(requests.size(), 2u);
    ExpectGet(requests[0], VKSDEVICETYPE_DECODER, 0, 0x3, 480);
    const RecordedRequest& set = requests[1];
    ExpectHeader(set, 0x22C414, VKSDEVICETYPE_DECODER);
    EXPECT_EQ(set.U32(28), 0x30u);
    EXPECT_EQ(set.U32(32), 480u);
    EXPECT_EQ(set.U32(32 + 36), 0u);
    EXPECT_EQ(set.U32(32 + 40), 0u);
    EXPECT_EQ(set.U32(32 + 44), 0u);
    EXPECT_EQ(set.U32(32 + 48), 1920u);
    EXPECT_EQ(set.U32(32 + 52), 1080u);
}

TEST_F(ParamExports, EnablingCroppingSendsOnlyTheSwitch) {
    const HVKS h = Open(VKSDEVICETYPE_DECODER);
    Reply(VKSERROR_NO_ERROR, DeviceBlock(480));
    EXPECT_EQ(VKSDecoderDeviceEnableCropping(h, 1), VKSERROR_NO_ERROR);
    const auto requests = Requests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[1].U32(28), 0x10u);
    EXPECT_EQ(requests[1].U32(32 + 36), 1u);
}

TEST_F(ParamExports, EnableCroppingStopsWhenThePictureSizeCannotBeRead) {
    const HVKS h = Open(VKSDEVICETYPE_DECODER);
    Reply(VKSERROR_INSUFFICIENT_RESOURCES);
    EXPECT_EQ(VKSDecoderDeviceEnableCropping(h, 0), VKSERROR_INSUFFICIENT_RESOURCES);
    EXPECT_EQ(Requests().size(), 1u);
}

TEST_F(ParamExports, DecoderRatesAndRenderRate) {
    const HVKS h = Open(VKSDEVICETYPE_DECODER);
    Reply(VKSERROR_NO_ERROR, DeviceBlock(480, {{16, 20}, {20, 60}, {24, 25}, {28, 50}, {32, 30}}));
    uint32_t p = 0, q = 0, r = 0, s = 0;
    EXPECT_EQ(VKSDecoderDeviceGetRates(h, &p, &q, &r, &s), VKSERROR_NO_ERROR);
    EXPECT_EQ(p, 25u);
    EXPECT_EQ(q, 50u);
    EXPECT_EQ(r, 60u);
    EXPECT_EQ(s, 30u);
    Reply(VKSERROR_NO_ERROR, DeviceBlock(480, {{16, 20}, {20, 59}}));
    uint32_t rate = 0;
    EXPECT_EQ(VKSDecoderDeviceGetRenderRate(h, &rate), VKSERROR_NO_ERROR);
    EXPECT_EQ(rate, 59u);
    const auto requests = Requests();
    ASSERT_EQ(requests.size(), 2u);
    ExpectGet(requests[1], VKSDEVICETYPE_DECODER, 0, 0x8, 480);
    // A whole block whose rates sub-block holds only r and p.
    Reply(VKSERROR_NO_ERROR, DeviceBlock(480, {{16, 12}, {20, 61}, {24, 26}, {28, 51}, {32, 31}}));
    EXPECT_EQ(VKSDecoderDeviceGetRates(h, &p, &q, &r, &s), VKSERROR_UNSUPPORTED);
    EXPECT_EQ(r, 61u);
    EXPECT_EQ(p, 26u);
    EXPECT_EQ(q, 50u);
    EXPECT_EQ(s, 30u);
}

TEST_F(ParamExports, EncoderRatesWithAShortBlockOrSubBlock) {
    const HVKS h = Open(VKSDEVICETYPE_ENCODER);
    Reply(VKSERROR_NO_ERROR, DeviceBlock(20, {{8, 20}, {12, 1}, {16, 2}}));
    uint32_t p = 0, q = 0, r = 0, s = 0;
    EXPECT_EQ(VKSEncoderDeviceGetRates(h, &p, &q, &r, &s), VKSERROR_UNSUPPORTED);
    ExpectGet(OnlyRequest(), VKSDEVICETYPE_ENCODER, 0, 0x1, 2208);
    EXPECT_EQ(r, 1u);
    EXPECT_EQ(p, 2u);
    EXPECT_EQ(q, 0u);
    EXPECT_EQ(s, 0u);
    // A whole block: the frame rate needs 12 bytes of its sub-block.
    uint32_t rate = 7;
    Reply(VKSERROR_NO_ERROR, DeviceBlock(2208, {{8, 8}, {16, 25}}));
    EXPECT_EQ(VKSEncoderGetFrameRate(h, &rate), VKSERROR_UNSUPPORTED);
    EXPECT_EQ(rate, 7u);
    Reply(VKSERROR_NO_ERROR, DeviceBlock(2208, {{8, 12}, {16, 25}}));
    EXPECT_EQ(VKSEncoderGetFrameRate(h, &rate), VKSERROR_NO_ERROR);
    EXPECT_EQ(rate, 25u);
}

TEST_F(ParamExports, HdcpHeaderGetAndSet) {
    const HVKS dec = Open(VKSDEVICETYPE_DECODER);
    const HVKS enc = Open(VKSDEVICETYPE_ENCODER);
    Reply(VKSERROR_NO_ERROR, DeviceBlock(116, {{108, 0xA1}, {112, 0xB2}}));
    uint32_t header[2] = {};
    EXPECT_EQ(VKSDecoderDeviceGetHDCPHeader(dec, header), VKSERROR_NO_ERROR);
    EXPECT_EQ(header[0], 0xA1u);
    EXPECT_EQ(header[1], 0xB2u);
    const uint32_t out[2] = {0x1234, 0x5678};
    EXPECT_EQ(VKSEncoderDeviceSetHDCPHeader(enc, out), VKSERROR_NO_ERROR);
    const auto requests = Requests();
    ASSERT_EQ(requests.size(), 2u);
    ExpectGet(requests[0], VKSDEVICETYPE_DECODER, 0, 0x400, 480);
    ExpectSet(requests[1], VKSDEVICETYPE_ENCODER, 0, 0x200, 2208, {{2140, 12}});
    EXPECT_EQ(requests[1].U32(32 + 2140), 12u);
    EXPECT_EQ(requests[1].U32(32 + 2144), 0x1234u);
    EXPECT_EQ(requests[1].U32(32 + 2148), 0x5678u);
}

TEST_F(ParamExports, ResolutionsAreSixteenBitFields) {
    const HVKS dec = Open(VKSDEVICETYPE_DECODER);
    const HVKS enc = Open(VKSDEVICETYPE_ENCODER);
    std::vector<BYTE> block = DeviceBlock(12);
    const WORD width = 3840, height = 2160;
    std::memcpy(block.data() + 8, &width, 2);
    std::memcpy(block.data() + 10, &height, 2);
    Reply(VKSERROR_NO_ERROR, block);
    uint32_t w = 0, hgt = 0;
    EXPECT_EQ(VKSDecoderDeviceGetResolution(dec, &w, &hgt), VKSERROR_NO_ERROR);
    EXPECT_EQ(w, 3840u);
    EXPECT_EQ(hgt, 2160u);
    EXPECT_EQ(VKSEncoderSetResolution(enc, 0x10000 + 1280, 720), VKSERROR_NO_ERROR);
    const auto requests = Requests();
    ASSERT_EQ(requests.size(), 2u);
    ExpectGet(requests[0], VKSDEVICETYPE_DECODER, 0, 0x3, 480);
    ExpectSet(requests[1], VKSDEVICETYPE_ENCODER, 0, 0x6, 2208, {{28, 4}});
    EXPECT_EQ(requests[1].U16(32 + 28), 1280);
    EXPECT_EQ(requests[1].U16(32 + 30), 720);
}

TEST_F(ParamExports, EncoderFrameRateFillsTheSubBlock) {
    const HVKS h = Open(VKSDEVICETYPE_ENCODER);
    EXPECT_EQ(VKSEncoderSetFrameRate(h, 25), VKSERROR_NO_ERROR);
    const RecordedRequest r = OnlyRequest();
    ExpectSet(r, VKSDEVICETYPE_ENCODER, 0, 0x1, 2208, {{8, 4}, {16, 12}});
    EXPECT_EQ(r.U32(32 + 8), 20u);
    EXPECT_EQ(r.U32(32 + 16), 25u);
    EXPECT_EQ(r.U32(32 + 20), 25u);
    EXPECT_EQ(r.U32(32 + 24), 25u);
}

TEST_F(ParamExports, EncoderAudioInputAndAudioParams) {
    const HVKS h = Open(VKSDEVICETYPE_ENCODER);
    EXPECT_EQ(VKSEncoderSetAudioInputChannel(h, 2), VKSERROR_NO_ERROR);
    EncoderAudioParams params{};
    params.Reserved0 = 0xDEAD;
    params.Value1 = 48000;
    params.Value2 = 2;
    params.Value3 = 128000;
    params.Value4 = 16;
    EXPECT_EQ(VKSEncoderSetAudioParam(h, &params), VKSERROR_NO_ERROR);
    const auto requests = Requests();
    ASSERT_EQ(requests.size(), 2u);
    ExpectSet(requests[0], VKSDEVICETYPE_ENCODER, 0, 0x1000, 2208, {{2160, 6}});
    EXPECT_EQ(requests[0].U32(32 + 2160), 2u);
    EXPECT_EQ(requests[0].U16(32 + 2164), 1);
    ExpectSet(requests[1], VKSDEVICETYPE_ENCODER, 0, 0x2000, 2208,
              {{2168, 4}, {2172, 4}, {2176, 4}, {2180, 4}, {2188, 2}, {2192, 2}});
    EXPECT_EQ(requests[1].U32(32 + 2168), 40u);
    EXPECT_EQ(requests[1].U32(32 + 2172), 48000u);
    EXPECT_EQ(requests[1].U32(32 + 2176), 32u);
    EXPECT_EQ(requests[1].U32(32 + 2180), 128000u);
    EXPECT_EQ(requests[1].U16(32 + 2188), 2);
    EXPECT_EQ(requests[1].U16(32 + 2192), 16);
}

TEST_F(ParamExports, SupportQueriesOfferTheValueWithTheTestSelector) {
    const HVKS h = Open(VKSDEVICETYPE_ENCODER);
    uint32_t supported = 7;
    Reply(VKSERROR_UNSUPPORTED);
    EXPECT_EQ(VKSEncoderIsLevelSupported(h, 41, &supported), VKSERROR_NO_ERROR);
    EXPECT_EQ(supported, 0u);
    Reply(VKSERROR_NO_ERROR);
    EXPECT_EQ(VKSEncoderIsProfileSupported(h, 100, &supported), VKSERROR_NO_ERROR);
    EXPECT_EQ(supported, 1u);
    supported = 7;
    Reply(VKSERROR_INSUFFICIENT_RESOURCES);
    EXPECT_EQ(VKSEncoderIsProfileSupported(h, 100, &supported), VKSERROR_INSUFFICIENT_RESOURCES);
    EXPECT_EQ(supported, 7u);
    const auto requests = Requests();
    ASSERT_EQ(requests.size(), 3u);
    ExpectSet(requests[0], VKSDEVICETYPE_ENCODER, 4, 0x20, 2208, {{40, 4}});
    EXPECT_EQ(requests[0].U32(32 + 40), 41u);
    ExpectSet(requests[1], VKSDEVICETYPE_ENCODER, 4, 0x10, 2208, {{36, 4}});
    EXPECT_EQ(requests[1].U32(32 + 36), 100u);
}

TEST_F(ParamExports, RtspAndMulticastTextsMustFit) {
    const HVKS h = Open(VKSDEVICETYPE_ENCODER);
    const std::string rtspMax(2047, 'r'), rtspTooLong(2048, 'r');
    const std::string udpMax(31, 'u'), udpTooLong(32, 'u');
    EXPECT_EQ(VKSEncoderSetRtspParams(h, 1, nullptr), VKSERROR_INVALID_ARGUMENT);
    EXPECT_EQ(VKSEncoderSetRtspParams(h, 1, rtspTooLong.c_str()), VKSERROR_INVALID_ARGUMENT);
    EXPECT_EQ(VKSEncoderSetUdpMulticast(h, 1, udpTooLong.c_str()), VKSERROR_INVALID_ARGUMENT);
    EXPECT_TRUE(Requests().empty());
    EXPECT_EQ(VKSEncoderSetRtspParams(h, 554, rtspMax.c_str()), VKSERROR_NO_ERROR);
    EXPECT_EQ(VKSEncoderSetUdpMulticast(h, 5004, udpMax.c_str()), VKSERROR_NO_ERROR);
    const auto requests = Requests();
    ASSERT_EQ(requests.size(), 2u);
    ExpectSet(requests[0], VKSDEVICETYPE_ENCODER, 0, 0x800, 2208, {{88, 4 + 2047}});
    EXPECT_EQ(requests[0].U32(32 + 88), 554u);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(&requests[0].Bytes[32 + 92])), rtspMax);
    ExpectSet(requests[1], VKSDEVICETYPE_ENCODER, 0, 0x80, 2208, {{52, 4 + 31}});
    EXPECT_EQ(requests[1].U32(32 + 52), 5004u);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(&requests[1].Bytes[32 + 56])), udpMax);
}

TEST_F(ParamExports, SeekingNeedsTimeOrPosition) {
    const HVKS h = Open(VKSDEVICETYPE_NETWORK);
    NetworkSeekParams params{};
    params.Size = 4;
    params.Flags = VKS_SEEK_TIME_VALID;
    EXPECT_EQ(VKSNetworkSetSeeking(h, &params), VKSERROR_INVALID_ARGUMENT);
    params.Size = sizeof(params);
    params.Flags = 0;
    EXPECT_EQ(VKSNetworkSetSeeking(h, &params), VKSERROR_INVALID_ARGUMENT);
    // Records only as long as their size word: a field they do not hold is not read.
    for (uint32_t size : {8u, 16u}) {
        auto shortRecord = std::make_unique<uint8_t[]>(size);
        auto* shortParams = reinterpret_cast<NetworkSeekParams*>(shortRecord.get());
        shortParams->Size = size;
        shortParams->Flags = size == 8 ? VKS_SEEK_TIME_VALID : VKS_SEEK_POSITION_VALID;
        EXPECT_EQ(VKSNetworkSetSeeking(h, shortParams), VKSERROR_INVALID_ARGUMENT) << size;
    }
    EXPECT_TRUE(Requests().empty());
    params.Flags = VKS_SEEK_TIME_VALID;
    params.SeekTime = 1.5;
    EXPECT_EQ(VKSNetworkSetSeeking(h, &params), VKSERROR_NO_ERROR);
    const RecordedRequest r = OnlyRequest();
    ExpectSet(r, VKSDEVICETYPE_NETWORK, 0, 0x10, 40, {{4, 4}, {28, 4}});
    EXPECT_EQ(r.U32(32 + 4), 0x10u);
    EXPECT_EQ(r.U32(32 + 28), 15000000u);
}

// Every accessor of the common shapes against its expected request: family,
// flags, selector, and the field it reads or writes.
struct GetterCase {
    const char* Name;
    VKSERROR (*Fn)(HVKS, uint32_t*);
    DWORD Type, BlockBytes, Flags, Selector, Offset, Width;
};
struct NetworkGetterCase {
    const char* Name;
    VKSERROR (*Fn)(HVKS, uint32_t, uint32_t*);
    DWORD Flags, Selector, Offset;
};
struct SetterCase {
    const char* Name;
    VKSERROR (*Fn)(HVKS, uint32_t);
    DWORD Type, BlockBytes, Flags, Offset, Width;
};
struct NetworkSetterCase {
    const char* Name;
    VKSERROR (*Fn)(HVKS, uint32_t, uint32_t);
    DWORD Flags, Offset;
};

constexpr DWORD D = VKSDEVICETYPE_DECODER, E = VKSDEVICETYPE_ENCODER, N = VKSDEVICETYPE_NETWORK;

const GetterCase kGetters[] = {
    {"IsCroppingEnabled", VKSDecoderDeviceIsCroppingEnabled, D, 480, 0x10, 0, 36, 4},
    {"GetSyncMode", VKSDecoderDeviceGetSyncMode, D, 480, 0x4000, 0, 148, 4},
    {"GetFrameRate", VKSEncoderGetFrameRate, E, 2208, 0x1, 0, 16, 4},
    {"GetFrameRateDefault", VKSEncoderGetFrameRateDefault, E, 2208, 0x1, 3, 16, 4},
    {"GetFrameRateMaximum", VKSEncoderGetFrameRateMaximum, E, 2208, 0x1, 2, 16, 4},
    {"GetFrameRateMinimum", VKSEncoderGetFrameRateMinimum, E, 2208, 0x1, 1, 16, 4},
    {"GetBitRate", VKSEncoderGetBitRate, E, 2208, 0x8, 0, 32, 4},
    {"GetBitRateDefault", VKSEncoderGetBitRateDefault, E, 2208, 0x8, 3, 32, 4},
    {"GetBitRateMaximum", VKSEncoderGetBitRateMaximum, E, 2208, 0x8, 2, 32, 4},
    {"GetBitRateMinimum", VKSEncoderGetBitRateMinimum, E, 2208, 0x8, 1, 32, 4},
    {"GetProfile", VKSEncoderGetProfile, E, 2208, 0x10, 0, 36, 4},
    {"GetProfileDefault", VKSEncoderGetProfileDefault, E, 2208, 0x10, 3, 36, 4},
    {"GetLevel", VKSEncoderGetLevel, E, 2208, 0x20, 0, 40, 4},
    {"GetLevelDefault", VKSEncoderGetLevelDefault, E, 2208, 0x20, 3, 40, 4},
    {"GetKeyFrameInterval", VKSEncoderGetKeyFrameInterval, E, 2208, 0x40, 0, 44, 2},
    {"GetKeyFrameIntervalDefault", VKSEncoderGetKeyFrameIntervalDefault, E, 2208, 0x40, 3, 44, 2},
    {"GetKeyFrameIntervalMaximum", VKSEncoderGetKeyFrameIntervalMaximum, E, 2208, 0x40, 2, 44, 2},
    {"GetKeyFrameIntervalMinimum", VKSEncoderGetKeyFrameIntervalMinimum, E, 2208, 0x40, 1, 44, 2},
    {"GetTransport", VKSNetworkStreamGetTransport, N, 40, 0x2, 0, 20, 4},
    {"GetProgramId", VKSNetworkStreamGetProgramId, N, 40, 0x4, 0, 24, 4},
};

const NetworkGetterCase kNetworkGetters[] = {
    {"GetCaching", VKSNetworkStreamGetCaching, 0x1, 0, 8},
    {"GetCachingDefault", VKSNetworkStreamGetCachingDefault, 0x1, 3, 8},
    {"GetCachingMaximum", VKSNetworkStreamGetCachingMaximum, 0x1, 2, 8},
    {"GetCachingMinimum", VKSNetworkStreamGetCachingMinimum, 0x1, 1, 8},
    {"GetCachingLimit", VKSNetworkStreamGetCachingLimit, 0x40, 0, 12},
    {"GetCachingLimitDefault", VKSNetworkStreamGetCachingLimitDefault, 0x40, 3, 12},
    {"GetCachingLimitMaximum", VKSNetworkStreamGetCachingLimitMaximum, 0x40, 2, 12},
    {"GetCachingLimitMinimum", VKSNetworkStreamGetCachingLimitMinimum, 0x40, 1, 12},
    {"GetJitter", VKSNetworkStreamGetJitter, 0x8, 0, 16},
    {"GetJitterDefault", VKSNetworkStreamGetJitterDefault, 0x8, 3, 16},
    {"GetJitterMaximum", VKSNetworkStreamGetJitterMaximum, 0x8, 2, 16},
    {"GetJitterMinimum", VKSNetworkStreamGetJitterMinimum, 0x8, 1, 16},
};

const SetterCase kSetters[] = {
    {"SetSyncMode", VKSDecoderDeviceSetSyncMode, D, 480, 0x4000, 148, 4},
    {"SetAudioDelay", VKSDecoderDeviceSetAudioDelay, D, 480, 0x2000, 80, 4},
    {"SetAudioVolume", VKSDecoderDeviceSetAudioVolume, D, 480, 0x1000, 76, 4},
    {"SetRateManagementControl", VKSDecoderDeviceSetRateManagementControl, D, 480, 0x10000, 152, 4},
    {"SetBitRate", VKSEncoderSetBitRate, E, 2208, 0x8, 32, 4},
    {"SetProfile", VKSEncoderSetProfile, E, 2208, 0x10, 36, 4},
    {"SetLevel", VKSEncoderSetLevel, E, 2208, 0x20, 40, 4},
    {"SetKeyFrameInterval", VKSEncoderSetKeyFrameInterval, E, 2208, 0x40, 44, 2},
    {"SetCodec", VKSEncoderSetCodec, E, 2208, 0x400, 2156, 4},
    {"SetEncryptionType", VKSEncoderSetEncryptionType, E, 2208, 0x100, 2152, 4},
    {"SetTransport", VKSNetworkStreamSetTransport, N, 40, 0x2, 20, 4},
    {"SetProgramId", VKSNetworkStreamSetProgramId, N, 40, 0x4, 24, 4},
};

const NetworkSetterCase kNetworkSetters[] = {
    {"SetCaching", VKSNetworkStreamSetCaching, 0x1, 8},
    {"SetCachingLimit", VKSNetworkStreamSetCachingLimit, 0x40, 12},
    {"SetJitter", VKSNetworkStreamSetJitter, 0x8, 16},
};

TEST_F(ParamExports, EveryGetterReadsItsFieldWithItsFlagsAndSelector) {
    const HVKS handles[] = {Open(N), Open(D), Open(E)};
    for (const GetterCase& c : kGetters) {
        SCOPED_TRACE(c.Name);
        const DWORD end = c.Offset + c.Width;
        // One byte short of the field: unsupported, output untouched.
        Reply(VKSERROR_NO_ERROR, DeviceBlock(end - 1));
        uint32_t value = 0xEEEE;
        EXPECT_EQ(c.Fn(handles[c.Type], &value), VKSERROR_UNSUPPORTED);
        EXPECT_EQ(value, 0xEEEEu);
        std::vector<BYTE> block = DeviceBlock(end);
        if (c.Type == E && c.Flags == 0x1) WriteU32(block.data(), 8, 20);  // the frame-rate sub-block's size
        const DWORD sent = 0x00051234;
        std::memcpy(block.data() + c.Offset, &sent, c.Width);
        Reply(VKSERROR_NO_ERROR, block);
        EXPECT_EQ(c.Fn(handles[c.Type], &value), VKSERROR_NO_ERROR);
        EXPECT_EQ(value, c.Width == 2 ? 0x1234u : sent);
        EXPECT_EQ(c.Fn(handles[c.Type], nullptr), VKSERROR_INVALID_ARGUMENT);
    }
    const auto requests = Requests();
    ASSERT_EQ(requests.size(), 2 * std::size(kGetters));
    for (size_t i = 0; i < std::size(kGetters); ++i) {
        SCOPED_TRACE(kGetters[i].Name);
        for (size_t k = 0; k < 2; ++k) {
            ExpectGet(requests[2 * i + k], kGetters[i].Type, kGetters[i].Selector, kGetters[i].Flags,
                      kGetters[i].BlockBytes);
        }
    }
}

TEST_F(ParamExports, EveryNetworkGetterIgnoresItsExtraArgument) {
    const HVKS h = Open(N);
    for (const NetworkGetterCase& c : kNetworkGetters) {
        SCOPED_TRACE(c.Name);
        Reply(VKSERROR_NO_ERROR, DeviceBlock(c.Offset + 3));
        uint32_t value = 0xEEEE;
        EXPECT_EQ(c.Fn(h, 0xFFFFFFFF, &value), VKSERROR_UNSUPPORTED);
        EXPECT_EQ(value, 0xEEEEu);
        Reply(VKSERROR_NO_ERROR, DeviceBlock(40, {{c.Offset, 1000 + c.Offset}}));
        EXPECT_EQ(c.Fn(h, 0xFFFFFFFF, &value), VKSERROR_NO_ERROR);
        EXPECT_EQ(value, 1000 + c.Offset);
    }
    const auto requests = Requests();
    ASSERT_EQ(requests.size(), 2 * std::size(kNetworkGetters));
    for (size_t i = 0; i < std::size(kNetworkGetters); ++i) {
        SCOPED_TRACE(kNetworkGetters[i].Name);
        ExpectGet(requests[2 * i + 1], N, kNetworkGetters[i].Selector, kNetworkGetters[i].Flags, 40);
    }
}

TEST_F(ParamExports, EverySetterWritesItsFieldWithItsFlags) {
    const HVKS handles[] = {Open(N), Open(D), Open(E)};
    for (const SetterCase& c : kSetters) {
        SCOPED_TRACE(c.Name);
        Reply(VKSERROR_INSUFFICIENT_RESOURCES);
        EXPECT_EQ(c.Fn(handles[c.Type], 0x00077321), VKSERROR_INSUFFICIENT_RESOURCES) << "the driver status is the result";
    }
    const auto requests = Requests();
    ASSERT_EQ(requests.size(), std::size(kSetters));
    for (size_t i = 0; i < std::size(kSetters); ++i) {
        const SetterCase& c = kSetters[i];
        SCOPED_TRACE(c.Name);
        ExpectSet(requests[i], c.Type, 0, c.Flags, c.BlockBytes, {{c.Offset, c.Width}});
        if (c.Width == 2) {
            EXPECT_EQ(requests[i].U16(32 + c.Offset), 0x7321);
        } else {
            EXPECT_EQ(requests[i].U32(32 + c.Offset), 0x00077321u);
        }
    }
}

TEST_F(ParamExports, EveryNetworkSetterIgnoresItsExtraArgument) {
    const HVKS h = Open(N);
    for (const NetworkSetterCase& c : kNetworkSetters) EXPECT_EQ(c.Fn(h, 0xFFFFFFFF, 500 + c.Offset), VKSERROR_NO_ERROR);
    const auto requests = Requests();
    ASSERT_EQ(requests.size(), std::size(kNetworkSetters));
    for (size_t i = 0; i < std::size(kNetworkSetters); ++i) {
        const NetworkSetterCase& c = kNetworkSetters[i];
        SCOPED_TRACE(c.Name);
        ExpectSet(requests[i], N, 0, c.Flags, 40, {{c.Offset, 4}});
        EXPECT_EQ(requests[i].U32(32 + c.Offset), 500 + c.Offset);
    }
}

TEST_F(ParamExports, CroppingAndScalingSetters) {
    const HVKS h = Open(D);
    EXPECT_EQ(VKSDecoderDeviceSetCropping(h, 1, 2, 3, 4), VKSERROR_NO_ERROR);
    EXPECT_EQ(VKSDecoderDeviceSetScaling(h, 5, 6), VKSERROR_NO_ERROR);
    const auto requests = Requests();
    ASSERT_EQ(requests.size(), 2u);
    ExpectSet(requests[0], D, 0, 0x20, 480, {{40, 16}});
    for (DWORD i = 0; i < 4; ++i) EXPECT_EQ(requests[0].U32(32 + 40 + 4 * i), i + 1);
    ExpectSet(requests[1], D, 0, 0x200, 480, {{64, 8}});
    EXPECT_EQ(requests[1].U32(32 + 64), 5u);
    EXPECT_EQ(requests[1].U32(32 + 68), 6u);
}

// Accessors on different handles run at once; each request carries its own
// object's header and value.
TEST_F(ParamExports, ConcurrentSettersOnDifferentHandles) {
    constexpr int kThreads = 4, kCalls = 50;
    std::vector<HVKS> handles;
    for (int t = 0; t < kThreads; ++t) handles.push_back(Open(E, 10 + t, 0x100 + t));
    std::atomic<int> failures{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < kCalls; ++i) {
                if (VKSEncoderSetBitRate(handles[t], 1000 * t + i) != VKSERROR_NO_ERROR) ++failures;
            }
        });
    }
    for (auto& thread : threads) thread.join();
    EXPECT_EQ(failures.load(), 0);
    const auto requests = Requests();
    ASSERT_EQ(requests.size(), static_cast<size_t>(kThreads * kCalls));
    std::vector<int> next(kThreads, 0);
    for (const RecordedRequest& r : requests) {
        const DWORD t = r.U32(8) - 10;
        ASSERT_LT(t, static_cast<DWORD>(kThreads));
        EXPECT_EQ(r.U32(12), 0x100 + t);
        // Calls of one thread reach the device in their order.
        EXPECT_EQ(r.U32(32 + 32), 1000 * t + static_cast<DWORD>(next[t]++));
    }
}

}  // namespace
