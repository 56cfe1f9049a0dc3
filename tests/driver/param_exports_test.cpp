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

    // The header, selector, flags and the block's size word (a get's capacity).
    static void ExpectCommand(const RecordedRequest& r, DWORD code, DWORD type, DWORD selector, DWORD flags,
                              DWORD blockBytes) {
        EXPECT_EQ(r.Code, code);
        EXPECT_EQ(r.Bytes.size(), kRequestBytes);
        EXPECT_EQ(r.OutputLength, kReplyBytes);
        const DWORD words[] = {kRequestBytes, type, 3, kDriverHandle, 0, 100, selector, flags, blockBytes};
        for (DWORD i = 0; i < std::size(words); ++i) EXPECT_EQ(r.U32(4 * i), words[i]) << "word " << i;
    }
    static void ExpectGet(const RecordedRequest& r, DWORD type, DWORD selector, DWORD flags, DWORD capacity) {
        ExpectCommand(r, 0x22C410, type, selector, flags, capacity);
    }

    // A set request: header, selector, flags, and a block of `blockBytes`
    // whose bytes outside `named` (offset, width pairs within the block) are 0.
    static void ExpectSet(const RecordedRequest& r, DWORD type, DWORD selector, DWORD flags, DWORD blockBytes,
                          const std::vector<std::pair<DWORD, DWORD>>& named) {
        ExpectCommand(r, 0x22C414, type, selector, flags, blockBytes);
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

// Any failure leaves the outputs alone: a reply block shorter than the
// fields, a driver status, a short transfer.
TEST_F(ParamExports, FailuresLeaveTheOutputsAlone) {
    const HVKS dec = Open(VKSDEVICETYPE_DECODER);
    const HVKS enc = Open(VKSDEVICETYPE_ENCODER);
    uint32_t a = 1, b = 2, c = 3, d = 4;
    Reply(VKSERROR_NO_ERROR, DeviceBlock(55, {{40, 10}, {44, 20}, {48, 30}}));
    EXPECT_EQ(VKSDecoderDeviceGetCropping(dec, &a, &b, &c, &d), VKSERROR_UNSUPPORTED);
    Reply(VKSERROR_INSUFFICIENT_RESOURCES, DeviceBlock(2208, {{32, 5000}}));
    EXPECT_EQ(VKSEncoderGetBitRate(enc, &a), VKSERROR_INSUFFICIENT_RESOURCES);
    PreparedReply shortTransfer;
    shortTransfer.Block = DeviceBlock(2208, {{32, 5000}});
    shortTransfer.Bytes = 100;
    device_.QueueReply(std::move(shortTransfer));
    EXPECT_EQ(VKSEncoderGetBitRate(enc, &a), VKSERROR_NOACCESS);
    EXPECT_EQ(a, 1u);
    EXPECT_EQ(b, 2u);
    EXPECT_EQ(c, 3u);
    EXPECT_EQ(d, 4u);
    // The picture size cannot be read: disabling cropping stops there.
    Reply(VKSERROR_INSUFFICIENT_RESOURCES);
    EXPECT_EQ(VKSDecoderDeviceEnableCropping(dec, 0), VKSERROR_INSUFFICIENT_RESOURCES);
    EXPECT_EQ(Requests().size(), 4u);
}

// Argument checks come before the handle is locked (an unknown handle would
// fail the lock), handle failures pass through (the audio delay maps its
// own), and a closed client or an argument out of range sends nothing.
TEST_F(ParamExports, RefusalsSendNothing) {
    const HVKS unknown = 0x00040999;
    uint32_t v = 5;
    EXPECT_EQ(VKSDecoderDeviceGetCropping(unknown, &v, &v, nullptr, &v), VKSERROR_INVALID_ARGUMENT);
    EXPECT_EQ(VKSDecoderDeviceGetRates(unknown, &v, &v, &v, nullptr), VKSERROR_INVALID_ARGUMENT);
    EXPECT_EQ(VKSDecoderDeviceGetRenderRate(unknown, nullptr), VKSERROR_INVALID_ARGUMENT);
    EXPECT_EQ(VKSDecoderDeviceGetHDCPHeader(unknown, nullptr), VKSERROR_INVALID_ARGUMENT);
    EXPECT_EQ(VKSEncoderIsLevelSupported(unknown, 1, nullptr), VKSERROR_INVALID_ARGUMENT);
    EXPECT_EQ(VKSEncoderDeviceSetHDCPHeader(unknown, nullptr), VKSERROR_INVALID_ARGUMENT);
    EXPECT_EQ(VKSEncoderSetAudioParam(unknown, nullptr), VKSERROR_INVALID_ARGUMENT);
    EXPECT_EQ(VKSNetworkSetSeeking(unknown, nullptr), VKSERROR_INVALID_ARGUMENT);
    EXPECT_EQ(VKSNetworkStreamGetJitter(unknown, 0, nullptr), VKSERROR_INVALID_ARGUMENT);
    EXPECT_EQ(VKSDecoderDeviceGetSyncMode(unknown, &v), HANDLEERROR_INVALID_HANDLE);
    EXPECT_EQ(VKSDecoderDeviceSetAudioVolume(0x00050001, 3), HANDLEERROR_INVALID_HANDLE);
    EXPECT_EQ(VKSDecoderDeviceEnableCropping(unknown, 1), HANDLEERROR_INVALID_HANDLE);
    EXPECT_EQ(VKSEncoderIsProfileSupported(unknown, 1, &v), HANDLEERROR_INVALID_HANDLE);
    EXPECT_EQ(VKSDecoderDeviceSetAudioDelay(unknown, 40), VKSERROR_INVALID_HANDLE);
    const HVKS closed = Open(VKSDEVICETYPE_NETWORK, 3, 0);
    EXPECT_EQ(VKSNetworkStreamGetTransport(closed, &v), VKSERROR_CLIENT_CLOSED);
    EXPECT_EQ(VKSNetworkStreamSetTransport(closed, 1), VKSERROR_CLIENT_CLOSED);
    EXPECT_EQ(v, 5u);
    EXPECT_EQ(VKSDecoderDeviceSetDeInterlace(Open(VKSDEVICETYPE_DECODER), 3, 1), VKSERROR_INVALID_ARGUMENT);
    const HVKS enc = Open(VKSDEVICETYPE_ENCODER);
    EXPECT_EQ(VKSEncoderSetRtspParams(enc, 1, nullptr), VKSERROR_INVALID_ARGUMENT);
    EXPECT_EQ(VKSEncoderSetRtspParams(enc, 1, std::string(2048, 'r').c_str()), VKSERROR_INVALID_ARGUMENT);
    EXPECT_EQ(VKSEncoderSetUdpMulticast(enc, 1, std::string(32, 'u').c_str()), VKSERROR_INVALID_ARGUMENT);
    // Seeking needs a time or a position, within the record's size word.
    const HVKS net = Open(VKSDEVICETYPE_NETWORK);
    NetworkSeekParams params{};
    params.Size = 4;
    params.Flags = VKS_SEEK_TIME_VALID;
    EXPECT_EQ(VKSNetworkSetSeeking(net, &params), VKSERROR_INVALID_ARGUMENT);
    params.Size = sizeof(params);
    params.Flags = 0;
    EXPECT_EQ(VKSNetworkSetSeeking(net, &params), VKSERROR_INVALID_ARGUMENT);
    for (uint32_t size : {8u, 16u}) {
        auto shortRecord = std::make_unique<uint8_t[]>(size);
        auto* shortParams = reinterpret_cast<NetworkSeekParams*>(shortRecord.get());
        shortParams->Size = size;
        shortParams->Flags = size == 8 ? VKS_SEEK_TIME_VALID : VKS_SEEK_POSITION_VALID;
        EXPECT_EQ(VKSNetworkSetSeeking(net, shortParams), VKSERROR_INVALID_ARGUMENT) << size;
    }
    EXPECT_TRUE(Requests().empty());
}

constexpr DWORD D = VKSDEVICETYPE_DECODER, E = VKSDEVICETYPE_ENCODER, N = VKSDEVICETYPE_NETWORK;

// The accessors with several values: each against the block it is given
// (16-bit fields are written as one word) and the request it sends.
struct MultiGetCase {
    const char* Name;
    DWORD Type, ReplyBytes;
    std::vector<std::pair<DWORD, DWORD>> Reply;
    VKSERROR (*Fn)(HVKS, uint32_t*);
    DWORD Selector, Flags;
    std::vector<uint32_t> Outputs;
};

const MultiGetCase kMultiGetters[] = {
    {"Cropping", D, 480, {{40, 10}, {44, 20}, {48, 1280}, {52, 720}},
     [](HVKS h, uint32_t* o) { return VKSDecoderDeviceGetCropping(h, &o[0], &o[1], &o[2], &o[3]); }, 0, 0x20,
     {10, 20, 1280, 720}},
    {"CroppingDefault", D, 56, {{52, 1080}},
     [](HVKS h, uint32_t* o) { return VKSDecoderDeviceGetCroppingDefault(h, &o[0], &o[1], &o[2], &o[3]); }, 3, 0x20,
     {0, 0, 0, 1080}},
    {"CroppingMaximum", D, 56, {{40, 7}},
     [](HVKS h, uint32_t* o) { return VKSDecoderDeviceGetCroppingMaximum(h, &o[0], &o[1], &o[2], &o[3]); }, 2, 0x20,
     {7, 0, 0, 0}},
    {"CroppingMinimum", D, 56, {{44, 8}},
     [](HVKS h, uint32_t* o) { return VKSDecoderDeviceGetCroppingMinimum(h, &o[0], &o[1], &o[2], &o[3]); }, 1, 0x20,
     {0, 8, 0, 0}},
    {"DeInterlace", D, 64, {{56, 9}, {60, 2}},
     [](HVKS h, uint32_t* o) { return VKSDecoderDeviceGetDeInterlace(h, &o[0], &o[1]); }, 0, 0xC0, {2, 9}},
    {"HDCPHeader", D, 116, {{108, 0xA1}, {112, 0xB2}},
     [](HVKS h, uint32_t* o) { return VKSDecoderDeviceGetHDCPHeader(h, o); }, 0, 0x400, {0xA1, 0xB2}},
    {"Resolution", D, 12, {{8, 3840 | 2160 << 16}},
     [](HVKS h, uint32_t* o) { return VKSDecoderDeviceGetResolution(h, &o[0], &o[1]); }, 0, 0x3, {3840, 2160}},
    {"DecoderRates", D, 480, {{16, 20}, {20, 60}, {24, 25}, {28, 50}, {32, 30}},
     [](HVKS h, uint32_t* o) { return VKSDecoderDeviceGetRates(h, &o[0], &o[1], &o[2], &o[3]); }, 0, 0x8,
     {25, 50, 60, 30}},
    {"RenderRate", D, 480, {{16, 20}, {20, 59}},
     [](HVKS h, uint32_t* o) { return VKSDecoderDeviceGetRenderRate(h, o); }, 0, 0x8, {59}},
    {"EncoderRates", E, 2208, {{8, 20}, {12, 1}, {16, 2}, {20, 3}, {24, 4}},
     [](HVKS h, uint32_t* o) { return VKSEncoderDeviceGetRates(h, &o[0], &o[1], &o[2], &o[3]); }, 0, 0x1,
     {2, 3, 1, 4}},
};

TEST_F(ParamExports, EveryMultiValueGetterReadsItsFields) {
    const HVKS handles[] = {Open(N), Open(D), Open(E)};
    for (const MultiGetCase& c : kMultiGetters) {
        SCOPED_TRACE(c.Name);
        std::vector<BYTE> block = DeviceBlock(c.ReplyBytes);
        for (const auto& [offset, value] : c.Reply) WriteU32(block.data(), offset, value);
        Reply(VKSERROR_NO_ERROR, block);
        const size_t before = Requests().size();
        uint32_t out[4] = {0xEEEE, 0xEEEE, 0xEEEE, 0xEEEE};
        EXPECT_EQ(c.Fn(handles[c.Type], out), VKSERROR_NO_ERROR);
        for (size_t i = 0; i < c.Outputs.size(); ++i) EXPECT_EQ(out[i], c.Outputs[i]) << i;
        const auto requests = Requests();
        ASSERT_EQ(requests.size(), before + 1);
        ExpectGet(requests.back(), c.Type, c.Selector, c.Flags, c.Type == E ? 2208 : 480);
    }
}

// A rates block reaches its values one threshold at a time: the decoder's by
// the block's size word, the encoder's by its frame-rate sub-block's.
TEST_F(ParamExports, RatesAreReadAsFarAsTheBlockReaches) {
    const HVKS dec = Open(D);
    const HVKS enc = Open(E);
    uint32_t p = 0, q = 0, r = 0, s = 0;
    Reply(VKSERROR_NO_ERROR, DeviceBlock(480, {{16, 12}, {20, 61}, {24, 26}, {28, 51}, {32, 31}}));
    EXPECT_EQ(VKSDecoderDeviceGetRates(dec, &p, &q, &r, &s), VKSERROR_UNSUPPORTED);
    EXPECT_EQ(r, 61u);
    EXPECT_EQ(p, 26u);
    EXPECT_EQ(q + s, 0u);
    Reply(VKSERROR_NO_ERROR, DeviceBlock(20, {{8, 20}, {12, 1}, {16, 2}}));
    EXPECT_EQ(VKSEncoderDeviceGetRates(enc, &p, &q, &r, &s), VKSERROR_UNSUPPORTED);
    EXPECT_EQ(r, 1u);
    EXPECT_EQ(p, 2u);
    // The frame rate needs 12 bytes of its sub-block.
    uint32_t rate = 7;
    Reply(VKSERROR_NO_ERROR, DeviceBlock(2208, {{8, 8}, {16, 25}}));
    EXPECT_EQ(VKSEncoderGetFrameRate(enc, &rate), VKSERROR_UNSUPPORTED);
    EXPECT_EQ(rate, 7u);
}

// The setters with several values or a composed block: each against its
// request (its named fields, and zero elsewhere in the block).
struct MultiSetCase {
    const char* Name;
    DWORD Type;
    VKSERROR (*Fn)(HVKS);
    DWORD Selector, Flags, BlockBytes;
    std::vector<std::pair<DWORD, DWORD>> Named;  // offset, width
    std::vector<std::pair<DWORD, DWORD>> Words;  // offset, value
};

const MultiSetCase kMultiSetters[] = {
    {"DeInterlace", D, [](HVKS h) { return VKSDecoderDeviceSetDeInterlace(h, 2, 7); }, 0, 0xC0, 480,
     {{56, 4}, {60, 4}}, {{60, 2}, {56, 7}}},
    {"Cropping", D, [](HVKS h) { return VKSDecoderDeviceSetCropping(h, 1, 2, 3, 4); }, 0, 0x20, 480, {{40, 16}},
     {{40, 1}, {44, 2}, {48, 3}, {52, 4}}},
    {"Scaling", D, [](HVKS h) { return VKSDecoderDeviceSetScaling(h, 5, 6); }, 0, 0x200, 480, {{64, 8}},
     {{64, 5}, {68, 6}}},
    {"HDCPHeader", E,
     [](HVKS h) {
         const uint32_t header[2] = {0x1234, 0x5678};
         return VKSEncoderDeviceSetHDCPHeader(h, header);
     },
     0, 0x200, 2208, {{2140, 12}}, {{2140, 12}, {2144, 0x1234}, {2148, 0x5678}}},
    {"Resolution", E, [](HVKS h) { return VKSEncoderSetResolution(h, 0x10000 + 1280, 720); }, 0, 0x6, 2208,
     {{28, 4}}, {{28, 1280 | 720 << 16}}},
    {"FrameRate", E, [](HVKS h) { return VKSEncoderSetFrameRate(h, 25); }, 0, 0x1, 2208, {{8, 4}, {16, 12}},
     {{8, 20}, {16, 25}, {20, 25}, {24, 25}}},
    {"AudioInputChannel", E, [](HVKS h) { return VKSEncoderSetAudioInputChannel(h, 2); }, 0, 0x1000, 2208,
     {{2160, 6}}, {{2160, 2}, {2164, 1}}},
    {"AudioParam", E,
     [](HVKS h) {
         EncoderAudioParams params{};
         params.Reserved0 = 0xDEAD;
         params.Value1 = 48000;
         params.Value2 = 2;
         params.Value3 = 128000;
         params.Value4 = 16;
         return VKSEncoderSetAudioParam(h, &params);
     },
     0, 0x2000, 2208, {{2168, 4}, {2172, 4}, {2176, 4}, {2180, 4}, {2188, 2}, {2192, 2}},
     {{2168, 40}, {2172, 48000}, {2176, 32}, {2180, 128000}, {2188, 2}, {2192, 16}}},
    {"LevelSupported", E,
     [](HVKS h) {
         uint32_t supported = 0;
         return VKSEncoderIsLevelSupported(h, 41, &supported);
     },
     4, 0x20, 2208, {{40, 4}}, {{40, 41}}},
    {"ProfileSupported", E,
     [](HVKS h) {
         uint32_t supported = 0;
         return VKSEncoderIsProfileSupported(h, 100, &supported);
     },
     4, 0x10, 2208, {{36, 4}}, {{36, 100}}},
    {"RtspParams", E, [](HVKS h) { return VKSEncoderSetRtspParams(h, 554, std::string(2047, 'r').c_str()); }, 0,
     0x800, 2208, {{88, 4 + 2047}}, {{88, 554}, {92, 0x72727272}, {92 + 2043, 0x72727272}}},
    {"UdpMulticast", E, [](HVKS h) { return VKSEncoderSetUdpMulticast(h, 5004, std::string(31, 'u').c_str()); }, 0,
     0x80, 2208, {{52, 4 + 31}}, {{52, 5004}, {56, 0x75757575}, {56 + 27, 0x75757575}}},
    {"Seeking", N,
     [](HVKS h) {
         NetworkSeekParams params{};
         params.Size = sizeof(params);
         params.Flags = VKS_SEEK_TIME_VALID;
         params.SeekTime = 1.5;
         return VKSNetworkSetSeeking(h, &params);
     },
     0, 0x10, 40, {{4, 4}, {28, 4}}, {{4, 0x10}, {28, 15000000}}},
};

TEST_F(ParamExports, EveryMultiValueSetterComposesItsBlock) {
    const HVKS handles[] = {Open(N), Open(D), Open(E)};
    for (const MultiSetCase& c : kMultiSetters) {
        SCOPED_TRACE(c.Name);
        const size_t before = Requests().size();
        EXPECT_EQ(c.Fn(handles[c.Type]), VKSERROR_NO_ERROR);
        const auto requests = Requests();
        ASSERT_EQ(requests.size(), before + 1);
        ExpectSet(requests.back(), c.Type, c.Selector, c.Flags, c.BlockBytes, c.Named);
        for (const auto& [offset, value] : c.Words) EXPECT_EQ(requests.back().U32(32 + offset), value) << offset;
    }
}

// A support query answers 1 when the driver takes the value, 0 when it calls
// it unsupported, and passes any other failure through.
TEST_F(ParamExports, SupportQueriesAnswerFromTheDriverStatus) {
    const HVKS h = Open(E);
    uint32_t supported = 7;
    Reply(VKSERROR_UNSUPPORTED);
    EXPECT_EQ(VKSEncoderIsLevelSupported(h, 41, &supported), VKSERROR_NO_ERROR);
    EXPECT_EQ(supported, 0u);
    EXPECT_EQ(VKSEncoderIsProfileSupported(h, 100, &supported), VKSERROR_NO_ERROR);
    EXPECT_EQ(supported, 1u);
    supported = 7;
    Reply(VKSERROR_INSUFFICIENT_RESOURCES);
    EXPECT_EQ(VKSEncoderIsProfileSupported(h, 100, &supported), VKSERROR_INSUFFICIENT_RESOURCES);
    EXPECT_EQ(supported, 7u);
}

// Disabling cropping reads the picture size and resets the rectangle to it;
// enabling sends only the switch.
TEST_F(ParamExports, EnableCroppingComposesFromThePictureSize) {
    const HVKS h = Open(D);
    Reply(VKSERROR_NO_ERROR, DeviceBlock(480, {{8, 1920 | 1080 << 16}, {40, 5}, {44, 6}}));
    EXPECT_EQ(VKSDecoderDeviceEnableCropping(h, 0), VKSERROR_NO_ERROR);
    Reply(VKSERROR_NO_ERROR, DeviceBlock(480));
    EXPECT_EQ(VKSDecoderDeviceEnableCropping(h, 1), VKSERROR_NO_ERROR);
    const auto requests = Requests();
    ASSERT_EQ(requests.size(), 4u);
    ExpectGet(requests[0], D, 0, 0x3, 480);
    ExpectSet(requests[1], D, 0, 0x30, 480, {{8, 4}, {48, 8}});
    EXPECT_EQ(requests[1].U32(32 + 48), 1920u);
    EXPECT_EQ(requests[1].U32(32 + 52), 1080u);
    ExpectSet(requests[3], D, 0, 0x10, 480, {{36, 4}});
    EXPECT_EQ(requests[3].U32(32 + 36), 1u);
}

// The accessors of one value against their requests: family, flags,
// selector, and the field read or written. The network port's accessors take
// an index they ignore.
template <VKSERROR (*F)(HVKS, uint32_t, uint32_t*)>
VKSERROR AnyIndex(HVKS h, uint32_t* value) {
    return F(h, 0xFFFFFFFF, value);
}
template <VKSERROR (*F)(HVKS, uint32_t, uint32_t)>
VKSERROR AnyIndex(HVKS h, uint32_t value) {
    return F(h, 0xFFFFFFFF, value);
}

struct GetterCase {
    const char* Name;
    VKSERROR (*Fn)(HVKS, uint32_t*);
    DWORD Type, BlockBytes, Flags, Selector, Offset, Width;
};
struct SetterCase {
    const char* Name;
    VKSERROR (*Fn)(HVKS, uint32_t);
    DWORD Type, BlockBytes, Flags, Offset, Width;
};

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
    {"GetCaching", AnyIndex<VKSNetworkStreamGetCaching>, N, 40, 0x1, 0, 8, 4},
    {"GetCachingDefault", AnyIndex<VKSNetworkStreamGetCachingDefault>, N, 40, 0x1, 3, 8, 4},
    {"GetCachingMaximum", AnyIndex<VKSNetworkStreamGetCachingMaximum>, N, 40, 0x1, 2, 8, 4},
    {"GetCachingMinimum", AnyIndex<VKSNetworkStreamGetCachingMinimum>, N, 40, 0x1, 1, 8, 4},
    {"GetCachingLimit", AnyIndex<VKSNetworkStreamGetCachingLimit>, N, 40, 0x40, 0, 12, 4},
    {"GetCachingLimitDefault", AnyIndex<VKSNetworkStreamGetCachingLimitDefault>, N, 40, 0x40, 3, 12, 4},
    {"GetCachingLimitMaximum", AnyIndex<VKSNetworkStreamGetCachingLimitMaximum>, N, 40, 0x40, 2, 12, 4},
    {"GetCachingLimitMinimum", AnyIndex<VKSNetworkStreamGetCachingLimitMinimum>, N, 40, 0x40, 1, 12, 4},
    {"GetJitter", AnyIndex<VKSNetworkStreamGetJitter>, N, 40, 0x8, 0, 16, 4},
    {"GetJitterDefault", AnyIndex<VKSNetworkStreamGetJitterDefault>, N, 40, 0x8, 3, 16, 4},
    {"GetJitterMaximum", AnyIndex<VKSNetworkStreamGetJitterMaximum>, N, 40, 0x8, 2, 16, 4},
    {"GetJitterMinimum", AnyIndex<VKSNetworkStreamGetJitterMinimum>, N, 40, 0x8, 1, 16, 4},
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
    {"SetCaching", AnyIndex<VKSNetworkStreamSetCaching>, N, 40, 0x1, 8, 4},
    {"SetCachingLimit", AnyIndex<VKSNetworkStreamSetCachingLimit>, N, 40, 0x40, 12, 4},
    {"SetJitter", AnyIndex<VKSNetworkStreamSetJitter>, N, 40, 0x8, 16, 4},
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
        EXPECT_EQ(requests[i].U32(32 + c.Offset), c.Width == 2 ? 0x7321u : 0x00077321u);
    }
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
