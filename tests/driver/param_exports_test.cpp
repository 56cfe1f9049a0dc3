// The parameter accessor exports, end to end: an open object in the handle
// table whose device file belongs to a fake driver that records each request
// and answers with a prepared reply.
#include "driver/command_channel.h"
#include "driver/param_blocks.h"
#include "objects/handle_table.h"
#include "objects/user_handle.h"
#include "support/request_frame.h"
#include "vks_platform.h"
#include "vks_win32/driver.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cstring>
#include <deque>
#include <iterator>
#include <limits>
#include <mutex>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

namespace {

struct RecordedRequest {
    DWORD Code = 0;
    std::vector<BYTE> Bytes;
    DWORD OutputLength = 0;

    DWORD U32(DWORD offset) const { return ReadU32(Bytes.data(), offset); }
};

// A reply: the standard reply with a status word and, from offset 32, a block.
struct PreparedReply {
    VKSERROR Status = VKSERROR_NO_ERROR;
    std::vector<BYTE> Block;  // empty: none
    DWORD Bytes = kReplyBytes;  // how many output bytes the completion reports
};

// A test-only driver: one device interface whose files record the bytes of
// every device control request and answer each with the next prepared reply
// (success with no block when none is queued). Requests are completed from
// inside the dispatch routine, so a synchronous command has been recorded by
// the time it returns.
class FakeParamDevice {
public:
    static constexpr const WCHAR* kPath = WSTR("\\\\?\\vkstest#param#{0}");

    FakeParamDevice() {
        static const GUID kClass = {0x5a1e7c11, 0x0b3d, 0x4c2e, {0x9f, 0x10, 0x22, 0x41, 0x6d, 0x8a, 0x01, 0x77}};
        static const VKS_DRIVER_DISPATCH kDispatch = {&Create, &DeviceControl, &Close};
        registration = VksRegisterDeviceInterface(&kClass, kPath, WSTR("test"), &kDispatch, this);
    }
    ~FakeParamDevice() {
        if (registration != nullptr) VksUnregisterDeviceInterface(registration);
    }

    void* registration = nullptr;
    std::mutex mu;
    std::deque<PreparedReply> replies;
    std::vector<RecordedRequest> requests;

private:
    static DWORD Create(void* device, LPCWSTR /*rest*/, BOOL /*overlapped*/, void** file) {
        *file = device;
        return 0;
    }
    static void Close(void* /*file*/) {}

    static void DeviceControl(void* file, VKS_IRP* irp) {
        auto* self = static_cast<FakeParamDevice*>(file);
        DWORD inLength = 0, outLength = 0;
        const auto* in = static_cast<const BYTE*>(VksIrpInput(irp, &inLength));
        auto* out = static_cast<BYTE*>(VksIrpOutput(irp, &outLength));
        PreparedReply reply;
        {
            std::lock_guard lock(self->mu);
            self->requests.push_back({VksIrpControlCode(irp), std::vector<BYTE>(in, in + inLength), outLength});
            if (!self->replies.empty()) {
                reply = std::move(self->replies.front());
                self->replies.pop_front();
            }
        }
        // The input and the output share one buffer: write the reply over it.
        const DWORD n = std::min(outLength, kReplyBytes);
        std::memcpy(out, kReplyTemplate.Bytes, n);
        if (n >= 16) WriteU32(out, kRepStatus, reply.Status);
        if (!reply.Block.empty() && n > 32) {
            std::memcpy(out + 32, reply.Block.data(), std::min<size_t>(reply.Block.size(), n - 32));
        }
        VksCompleteRequest(irp, 0, std::min(reply.Bytes, outLength));
    }
};

constexpr DWORD kDriverHandle = 0x00C0FFEE;
constexpr DWORD kGet = 0x22C410, kSet = 0x22C414;
constexpr DWORD N = VKSDEVICETYPE_NETWORK, D = VKSDEVICETYPE_DECODER, E = VKSDEVICETYPE_ENCODER;
constexpr DWORD kBlockBytes[] = {40, 480, 2208};  // by object type: network, decoder, encoder

// A device block of `size` bytes with its size word set and the given u32
// fields.
std::vector<BYTE> DeviceBlock(DWORD size, const std::vector<std::pair<DWORD, DWORD>>& fields = {}) {
    std::vector<BYTE> block(size < 4 ? 4 : size, 0);
    WriteU32(block.data(), 0, size);
    for (const auto& [offset, value] : fields) WriteU32(block.data(), offset, value);
    return block;
}

class ParamExports : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_NE(device_.registration, nullptr);
        HandleTableConfig config{};
        config.Size = sizeof(config);
        config.BucketCount = 128;
        config.Tag = 4;
        ASSERT_EQ(InitialiseHandleTable(&config), 0u);
        for (DWORD type : {N, D, E}) handles_[type] = Open(type);
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

    void Reply(VKSERROR status, std::vector<BYTE> block = {}, DWORD bytes = kReplyBytes) {
        std::lock_guard lock(device_.mu);
        device_.replies.push_back(PreparedReply{status, std::move(block), bytes});
    }

    // The requests made since the last call, which should be `count`.
    std::vector<RecordedRequest> NewRequests(size_t count) {
        std::lock_guard lock(device_.mu);
        std::vector<RecordedRequest> requests(device_.requests.begin() + static_cast<std::ptrdiff_t>(seen_),
                                              device_.requests.end());
        seen_ += requests.size();
        EXPECT_EQ(requests.size(), count);
        return requests;
    }

    // The whole set request: the header, selector, flags and `block`, zeros
    // after it. A get request is the same with its capacity word as the block.
    static void ExpectSet(const RecordedRequest& r, DWORD type, DWORD selector, DWORD flags,
                          const std::vector<BYTE>& block, DWORD code = kSet) {
        EXPECT_EQ(r.Code, code);
        EXPECT_EQ(r.OutputLength, kReplyBytes);
        vkstest::RequestFrame expected(type, 3, kDriverHandle);
        expected.U32(24, selector).U32(28, flags).Put(32, block.data(), block.size());
        EXPECT_EQ(vkstest::Mismatch(r.Bytes, expected), "");
    }
    static void ExpectGet(const RecordedRequest& r, DWORD type, DWORD selector, DWORD flags) {
        ExpectSet(r, type, selector, flags, DeviceBlock(kBlockBytes[type]), kGet);
    }

    FakeParamDevice device_;
    std::vector<std::pair<HVKS, HANDLE>> opened_;
    HVKS handles_[3] = {};
    size_t seen_ = 0;
};

// Any failure leaves the outputs alone, all of them: a reply block shorter
// than the fields, a driver status, a short transfer.
TEST_F(ParamExports, FailuresLeaveTheOutputsAlone) {
    std::array<uint32_t, 4> o = {1, 2, 3, 4};
    Reply(VKSERROR_NO_ERROR, DeviceBlock(55, {{40, 10}, {44, 20}, {48, 30}}));
    EXPECT_EQ(VKSDecoderDeviceGetCropping(handles_[D], &o[0], &o[1], &o[2], &o[3]), VKSERROR_UNSUPPORTED);
    Reply(VKSERROR_INSUFFICIENT_RESOURCES, DeviceBlock(2208, {{32, 5000}}));
    EXPECT_EQ(VKSEncoderGetBitRate(handles_[E], &o[0]), VKSERROR_INSUFFICIENT_RESOURCES);
    Reply(VKSERROR_NO_ERROR, DeviceBlock(2208, {{32, 5000}}), 100);
    EXPECT_EQ(VKSEncoderGetBitRate(handles_[E], &o[0]), VKSERROR_NOACCESS);
    EXPECT_EQ(o, (std::array<uint32_t, 4>{1, 2, 3, 4}));
    // The picture size cannot be read: disabling cropping stops there.
    Reply(VKSERROR_INSUFFICIENT_RESOURCES);
    EXPECT_EQ(VKSDecoderDeviceEnableCropping(handles_[D], 0), VKSERROR_INSUFFICIENT_RESOURCES);
    NewRequests(4);
}

// Handle failures pass through (the audio delay maps its own), and a closed
// client or an argument out of range sends nothing. (Null pointers with any
// handle are the export sweep's.)
TEST_F(ParamExports, RefusalsSendNothing) {
    const HVKS unknown = 0x00040999;
    uint32_t v = 5;
    EXPECT_EQ(VKSDecoderDeviceGetSyncMode(unknown, &v), HANDLEERROR_INVALID_HANDLE);
    EXPECT_EQ(VKSDecoderDeviceSetAudioVolume(0x00050001, 3), HANDLEERROR_INVALID_HANDLE);
    EXPECT_EQ(VKSDecoderDeviceEnableCropping(unknown, 1), HANDLEERROR_INVALID_HANDLE);
    EXPECT_EQ(VKSEncoderIsProfileSupported(unknown, 1, &v), HANDLEERROR_INVALID_HANDLE);
    EXPECT_EQ(VKSDecoderDeviceSetAudioDelay(unknown, 40), VKSERROR_INVALID_HANDLE);
    const HVKS closed = Open(N, 3, 0);
    EXPECT_EQ(VKSNetworkStreamGetTransport(closed, &v), VKSERROR_CLIENT_CLOSED);
    EXPECT_EQ(VKSNetworkStreamSetTransport(closed, 1), VKSERROR_CLIENT_CLOSED);
    EXPECT_EQ(v, 5u);
    EXPECT_EQ(VKSDecoderDeviceSetDeInterlace(handles_[D], 3, 1), VKSERROR_INVALID_ARGUMENT);
    EXPECT_EQ(VKSEncoderSetRtspParams(handles_[E], 1, nullptr), VKSERROR_INVALID_ARGUMENT);
    EXPECT_EQ(VKSEncoderSetRtspParams(handles_[E], 1, std::string(2048, 'r').c_str()), VKSERROR_INVALID_ARGUMENT);
    EXPECT_EQ(VKSEncoderSetUdpMulticast(handles_[E], 1, std::string(32, 'u').c_str()), VKSERROR_INVALID_ARGUMENT);
    // Seeking needs a time or a position, within the record's size word
    // (the values past it are valid, and must not be read).
    // A time that does not fit 32 signed bits of 100 ns (or is not a number)
    // is refused too.
    const uint32_t all = sizeof(NetworkSeekParams), time = VKS_SEEK_TIME_VALID;
    const std::tuple<uint32_t, uint32_t, double> seeks[] = {
        {4, time, 1.0},   {8, time, 1.0},    {16, VKS_SEEK_POSITION_VALID, 1.0},
        {all, 0, 1.0},    {all, time, 215.0}, {all, time, -215.0},
        {all, time, std::numeric_limits<double>::quiet_NaN()}};
    for (const auto& [size, flags, seconds] : seeks) {
        const NetworkSeekParams params{size, flags, seconds, 1};
        EXPECT_EQ(VKSNetworkSetSeeking(handles_[N], &params), VKSERROR_INVALID_ARGUMENT) << size << " " << seconds;
    }
    NewRequests(0);
}

using Getter = VKSERROR (*)(HVKS, uint32_t*);
using Setter = VKSERROR (*)(HVKS, uint32_t);
template <auto F>
VKSERROR Two(HVKS h, uint32_t* o) {
    return F(h, &o[0], &o[1]);
}
template <auto F>
VKSERROR Four(HVKS h, uint32_t* o) {
    return F(h, &o[0], &o[1], &o[2], &o[3]);
}

// The accessors with several values, by selector (current, minimum, maximum,
// default; none where the export does not exist): each against the block it
// is given (16-bit fields are written as one word) and the request it sends.
struct MultiGetCase {
    const char* Name;
    DWORD Type, ReplyBytes;
    std::vector<std::pair<DWORD, DWORD>> Reply;
    std::array<Getter, 4> Get;
    DWORD Flags;
    std::vector<uint32_t> Outputs;
};

const MultiGetCase kMultiGetters[] = {
    {"Cropping", D, 56, {{40, 10}, {44, 20}, {48, 1280}, {52, 720}},
     {Four<VKSDecoderDeviceGetCropping>, Four<VKSDecoderDeviceGetCroppingMinimum>,
      Four<VKSDecoderDeviceGetCroppingMaximum>, Four<VKSDecoderDeviceGetCroppingDefault>},
     0x20, {10, 20, 1280, 720}},
    {"DeInterlace", D, 64, {{56, 9}, {60, 2}}, {Two<VKSDecoderDeviceGetDeInterlace>}, 0xC0, {2, 9}},
    {"HDCPHeader", D, 116, {{108, 0xA1}, {112, 0xB2}}, {VKSDecoderDeviceGetHDCPHeader}, 0x400, {0xA1, 0xB2}},
    {"Resolution", D, 12, {{8, 3840 | 2160 << 16}}, {Two<VKSDecoderDeviceGetResolution>}, 0x3, {3840, 2160}},
    {"DecoderRates", D, 480, {{16, 20}, {20, 60}, {24, 25}, {28, 50}, {32, 30}},
     {Four<VKSDecoderDeviceGetRates>}, 0x8, {25, 50, 60, 30}},
    {"RenderRate", D, 480, {{16, 20}, {20, 59}}, {VKSDecoderDeviceGetRenderRate}, 0x8, {59}},
    {"EncoderRates", E, 2208, {{8, 20}, {12, 1}, {16, 2}, {20, 3}, {24, 4}}, {Four<VKSEncoderDeviceGetRates>}, 0x1,
     {2, 3, 1, 4}},
};

TEST_F(ParamExports, EveryMultiValueGetterReadsItsFields) {
    for (const MultiGetCase& c : kMultiGetters) {
        for (DWORD selector = 0; selector < c.Get.size(); ++selector) {
            if (c.Get[selector] == nullptr) continue;
            SCOPED_TRACE(testing::Message() << c.Name << " selector " << selector);
            Reply(VKSERROR_NO_ERROR, DeviceBlock(c.ReplyBytes, c.Reply));
            std::vector<uint32_t> out(4, 0xEEEE);
            EXPECT_EQ(c.Get[selector](handles_[c.Type], out.data()), VKSERROR_NO_ERROR);
            out.resize(c.Outputs.size());
            EXPECT_EQ(out, c.Outputs);
            for (const RecordedRequest& r : NewRequests(1)) ExpectGet(r, c.Type, selector, c.Flags);
        }
    }
}

// A rates block reaches its values one threshold at a time: the decoder's by
// the block's size word, the encoder's by its frame-rate sub-block's.
TEST_F(ParamExports, RatesAreReadAsFarAsTheBlockReaches) {
    uint32_t p = 0, q = 0, r = 0, s = 0;
    Reply(VKSERROR_NO_ERROR, DeviceBlock(480, {{16, 12}, {20, 61}, {24, 26}, {28, 51}, {32, 31}}));
    EXPECT_EQ(VKSDecoderDeviceGetRates(handles_[D], &p, &q, &r, &s), VKSERROR_UNSUPPORTED);
    EXPECT_EQ(std::vector<uint32_t>({p, q, r, s}), std::vector<uint32_t>({26, 0, 61, 0}));
    Reply(VKSERROR_NO_ERROR, DeviceBlock(20, {{8, 20}, {12, 1}, {16, 2}}));
    EXPECT_EQ(VKSEncoderDeviceGetRates(handles_[E], &p, &q, &r, &s), VKSERROR_UNSUPPORTED);
    EXPECT_EQ(std::vector<uint32_t>({p, r}), std::vector<uint32_t>({2, 1}));
    // The frame rate needs 12 bytes of its sub-block.
    uint32_t rate = 7;
    Reply(VKSERROR_NO_ERROR, DeviceBlock(2208, {{8, 8}, {16, 25}}));
    EXPECT_EQ(VKSEncoderGetFrameRate(handles_[E], &rate), VKSERROR_UNSUPPORTED);
    EXPECT_EQ(rate, 7u);
}

// The setters with several values or a composed block: each against the
// whole block it sends (its words, and any text, on zeros).
struct MultiSetCase {
    const char* Name;
    DWORD Type;
    VKSERROR (*Fn)(HVKS);
    DWORD Selector, Flags;
    std::vector<std::pair<DWORD, DWORD>> Words;  // offset, value
    DWORD TextAt = 0;
    std::string Text = {};
};

uint32_t g_supported = 0;
const uint32_t kHeader[2] = {0x1234, 0x5678};
const EncoderAudioParams kAudio = {0xDEAD, 48000, 2, 0, 128000, 16, 0};  // the first word is not sent
// Seek times go in units of 100 ns, truncated toward zero; a position only
// when it is valid.
const NetworkSeekParams kSeekLast = {sizeof(NetworkSeekParams), VKS_SEEK_TIME_VALID, 214.7483647, 7};  // 2^31 - 1
const NetworkSeekParams kSeekBoth = {sizeof(NetworkSeekParams), VKS_SEEK_TIME_VALID | VKS_SEEK_POSITION_VALID,
                                     -0.00000019, 0x123456789};
const NetworkSeekParams kSeekPosition = {sizeof(NetworkSeekParams), VKS_SEEK_POSITION_VALID, 1.5, 0x123456789};
const std::string kRtsp(2047, 'r'), kUdp(31, 'u');

const MultiSetCase kMultiSetters[] = {
    {"DeInterlace", D, [](HVKS h) { return VKSDecoderDeviceSetDeInterlace(h, 2, 7); }, 0, 0xC0, {{60, 2}, {56, 7}}},
    {"Cropping", D, [](HVKS h) { return VKSDecoderDeviceSetCropping(h, 1, 2, 3, 4); }, 0, 0x20,
     {{40, 1}, {44, 2}, {48, 3}, {52, 4}}},
    {"Scaling", D, [](HVKS h) { return VKSDecoderDeviceSetScaling(h, 5, 6); }, 0, 0x200, {{64, 5}, {68, 6}}},
    {"HDCPHeader", E, [](HVKS h) { return VKSEncoderDeviceSetHDCPHeader(h, kHeader); }, 0, 0x200,
     {{2140, 12}, {2144, 0x1234}, {2148, 0x5678}}},
    {"Resolution", E, [](HVKS h) { return VKSEncoderSetResolution(h, 0x10000 + 1280, 720); }, 0, 0x6,
     {{28, 1280 | 720 << 16}}},
    {"FrameRate", E, [](HVKS h) { return VKSEncoderSetFrameRate(h, 25); }, 0, 0x1,
     {{8, 20}, {16, 25}, {20, 25}, {24, 25}}},
    {"AudioInputChannel", E, [](HVKS h) { return VKSEncoderSetAudioInputChannel(h, 2); }, 0, 0x1000,
     {{2160, 2}, {2164, 1}}},
    {"AudioParam", E, [](HVKS h) { return VKSEncoderSetAudioParam(h, &kAudio); }, 0, 0x2000,
     {{2168, 40}, {2172, 48000}, {2176, 32}, {2180, 128000}, {2188, 2}, {2192, 16}}},
    {"LevelSupported", E, [](HVKS h) { return VKSEncoderIsLevelSupported(h, 41, &g_supported); }, 4, 0x20,
     {{40, 41}}},
    {"ProfileSupported", E, [](HVKS h) { return VKSEncoderIsProfileSupported(h, 100, &g_supported); }, 4, 0x10,
     {{36, 100}}},
    {"RtspParams", E, [](HVKS h) { return VKSEncoderSetRtspParams(h, 554, kRtsp.c_str()); }, 0, 0x800, {{88, 554}},
     92, kRtsp},
    {"UdpMulticast", E, [](HVKS h) { return VKSEncoderSetUdpMulticast(h, 5004, kUdp.c_str()); }, 0, 0x80,
     {{52, 5004}}, 56, kUdp},
    {"SeekingLast", N, [](HVKS h) { return VKSNetworkSetSeeking(h, &kSeekLast); }, 0, 0x10,
     {{4, 0x10}, {28, 0x7FFFFFFF}}},
    {"SeekingBoth", N, [](HVKS h) { return VKSNetworkSetSeeking(h, &kSeekBoth); }, 0, 0x30,
     {{4, 0x30}, {28, 0xFFFFFFFF}, {32, 0x23456789}, {36, 1}}},
    {"SeekingPosition", N, [](HVKS h) { return VKSNetworkSetSeeking(h, &kSeekPosition); }, 0, 0x20,
     {{4, 0x20}, {32, 0x23456789}, {36, 1}}},
};

TEST_F(ParamExports, EveryMultiValueSetterComposesItsBlock) {
    for (const MultiSetCase& c : kMultiSetters) {
        SCOPED_TRACE(c.Name);
        EXPECT_EQ(c.Fn(handles_[c.Type]), VKSERROR_NO_ERROR);
        std::vector<BYTE> block = DeviceBlock(kBlockBytes[c.Type], c.Words);
        std::copy(c.Text.begin(), c.Text.end(), block.begin() + c.TextAt);
        for (const RecordedRequest& r : NewRequests(1)) ExpectSet(r, c.Type, c.Selector, c.Flags, block);
    }
}

// A support query answers 1 when the driver takes the value, 0 when it calls
// it unsupported, and passes any other failure through.
TEST_F(ParamExports, SupportQueriesAnswerFromTheDriverStatus) {
    const VKSERROR busy = VKSERROR_INSUFFICIENT_RESOURCES;
    const std::tuple<VKSERROR, VKSERROR, uint32_t> cases[] = {
        {VKSERROR_UNSUPPORTED, VKSERROR_NO_ERROR, 0}, {VKSERROR_NO_ERROR, VKSERROR_NO_ERROR, 1}, {busy, busy, 7}};
    for (const auto& [driver, status, supported] : cases) {
        uint32_t answer = 7;
        Reply(driver);
        EXPECT_EQ(VKSEncoderIsLevelSupported(handles_[E], 41, &answer), status) << driver;
        EXPECT_EQ(answer, supported) << driver;
    }
}

// Disabling cropping reads the picture size and resets the rectangle to it;
// enabling sends only the switch.
TEST_F(ParamExports, EnableCroppingComposesFromThePictureSize) {
    Reply(VKSERROR_NO_ERROR, DeviceBlock(480, {{8, 1920 | 1080 << 16}, {40, 5}, {44, 6}}));
    EXPECT_EQ(VKSDecoderDeviceEnableCropping(handles_[D], 0), VKSERROR_NO_ERROR);
    Reply(VKSERROR_NO_ERROR, DeviceBlock(480));
    EXPECT_EQ(VKSDecoderDeviceEnableCropping(handles_[D], 1), VKSERROR_NO_ERROR);
    const auto requests = NewRequests(4);
    ASSERT_EQ(requests.size(), 4u);
    ExpectGet(requests[0], D, 0, 0x3);
    ExpectSet(requests[1], D, 0, 0x30, DeviceBlock(480, {{8, 1920 | 1080 << 16}, {48, 1920}, {52, 1080}}));
    ExpectSet(requests[3], D, 0, 0x10, DeviceBlock(480, {{36, 1}}));
}

// The accessors of one field: its getters by selector (current, minimum,
// maximum, default; none where the export does not exist) and its setter.
// The network port's accessors take an index they ignore.
template <VKSERROR (*F)(HVKS, uint32_t, uint32_t*)>
VKSERROR AnyIndex(HVKS h, uint32_t* value) {
    return F(h, 0xFFFFFFFF, value);
}
template <VKSERROR (*F)(HVKS, uint32_t, uint32_t)>
VKSERROR AnyIndex(HVKS h, uint32_t value) {
    return F(h, 0xFFFFFFFF, value);
}

struct FieldCase {
    const char* Name;
    DWORD Type, Flags, Offset, Width;
    std::array<Getter, 4> Get;
    Setter Set;
};

const FieldCase kFields[] = {
    {"CroppingEnabled", D, 0x10, 36, 4, {VKSDecoderDeviceIsCroppingEnabled}, nullptr},
    {"SyncMode", D, 0x4000, 148, 4, {VKSDecoderDeviceGetSyncMode}, VKSDecoderDeviceSetSyncMode},
    {"AudioDelay", D, 0x2000, 80, 4, {}, VKSDecoderDeviceSetAudioDelay},
    {"AudioVolume", D, 0x1000, 76, 4, {}, VKSDecoderDeviceSetAudioVolume},
    {"RateManagementControl", D, 0x10000, 152, 4, {}, VKSDecoderDeviceSetRateManagementControl},
    {"FrameRate", E, 0x1, 16, 4,
     {VKSEncoderGetFrameRate, VKSEncoderGetFrameRateMinimum, VKSEncoderGetFrameRateMaximum,
      VKSEncoderGetFrameRateDefault},
     nullptr},
    {"BitRate", E, 0x8, 32, 4,
     {VKSEncoderGetBitRate, VKSEncoderGetBitRateMinimum, VKSEncoderGetBitRateMaximum, VKSEncoderGetBitRateDefault},
     VKSEncoderSetBitRate},
    {"Profile", E, 0x10, 36, 4, {VKSEncoderGetProfile, nullptr, nullptr, VKSEncoderGetProfileDefault},
     VKSEncoderSetProfile},
    {"Level", E, 0x20, 40, 4, {VKSEncoderGetLevel, nullptr, nullptr, VKSEncoderGetLevelDefault}, VKSEncoderSetLevel},
    {"KeyFrameInterval", E, 0x40, 44, 2,
     {VKSEncoderGetKeyFrameInterval, VKSEncoderGetKeyFrameIntervalMinimum, VKSEncoderGetKeyFrameIntervalMaximum,
      VKSEncoderGetKeyFrameIntervalDefault},
     VKSEncoderSetKeyFrameInterval},
    {"Codec", E, 0x400, 2156, 4, {}, VKSEncoderSetCodec},
    {"EncryptionType", E, 0x100, 2152, 4, {}, VKSEncoderSetEncryptionType},
    {"Transport", N, 0x2, 20, 4, {VKSNetworkStreamGetTransport}, VKSNetworkStreamSetTransport},
    {"ProgramId", N, 0x4, 24, 4, {VKSNetworkStreamGetProgramId}, VKSNetworkStreamSetProgramId},
    {"Caching", N, 0x1, 8, 4,
     {AnyIndex<VKSNetworkStreamGetCaching>, AnyIndex<VKSNetworkStreamGetCachingMinimum>,
      AnyIndex<VKSNetworkStreamGetCachingMaximum>, AnyIndex<VKSNetworkStreamGetCachingDefault>},
     AnyIndex<VKSNetworkStreamSetCaching>},
    {"CachingLimit", N, 0x40, 12, 4,
     {AnyIndex<VKSNetworkStreamGetCachingLimit>, AnyIndex<VKSNetworkStreamGetCachingLimitMinimum>,
      AnyIndex<VKSNetworkStreamGetCachingLimitMaximum>, AnyIndex<VKSNetworkStreamGetCachingLimitDefault>},
     AnyIndex<VKSNetworkStreamSetCachingLimit>},
    {"Jitter", N, 0x8, 16, 4,
     {AnyIndex<VKSNetworkStreamGetJitter>, AnyIndex<VKSNetworkStreamGetJitterMinimum>,
      AnyIndex<VKSNetworkStreamGetJitterMaximum>, AnyIndex<VKSNetworkStreamGetJitterDefault>},
     AnyIndex<VKSNetworkStreamSetJitter>},
};

// Each getter: a block one byte short of its field is unsupported and writes
// nothing, the field is read at its width, a null output is refused before
// sending. Each setter: its field alone, and the driver's status as result.
TEST_F(ParamExports, EverySingleFieldAccessorUsesItsFieldFlagsAndSelector) {
    for (const FieldCase& c : kFields) {
        SCOPED_TRACE(c.Name);
        const HVKS h = handles_[c.Type];
        const DWORD end = c.Offset + c.Width, sent = 0x00051234;
        for (DWORD selector = 0; selector < c.Get.size(); ++selector) {
            if (c.Get[selector] == nullptr) continue;
            SCOPED_TRACE(selector);
            Reply(VKSERROR_NO_ERROR, DeviceBlock(end - 1));
            uint32_t value = 0xEEEE;
            EXPECT_EQ(c.Get[selector](h, &value), VKSERROR_UNSUPPORTED);
            EXPECT_EQ(value, 0xEEEEu);
            std::vector<BYTE> block = DeviceBlock(end);
            if (c.Type == E && c.Flags == 0x1) WriteU32(block.data(), 8, 20);  // the frame-rate sub-block's size
            std::memcpy(block.data() + c.Offset, &sent, c.Width);
            Reply(VKSERROR_NO_ERROR, block);
            EXPECT_EQ(c.Get[selector](h, &value), VKSERROR_NO_ERROR);
            EXPECT_EQ(value, c.Width == 2 ? 0x1234u : sent);
            EXPECT_EQ(c.Get[selector](h, nullptr), VKSERROR_INVALID_ARGUMENT);
            for (const RecordedRequest& r : NewRequests(2)) ExpectGet(r, c.Type, selector, c.Flags);
        }
        if (c.Set == nullptr) continue;
        Reply(VKSERROR_INSUFFICIENT_RESOURCES);
        EXPECT_EQ(c.Set(h, 0x00077321), VKSERROR_INSUFFICIENT_RESOURCES);
        std::vector<BYTE> block = DeviceBlock(kBlockBytes[c.Type]);
        WriteU32(block.data(), c.Offset, c.Width == 2 ? 0x7321u : 0x00077321u);
        for (const RecordedRequest& r : NewRequests(1)) ExpectSet(r, c.Type, 0, c.Flags, block);
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
            for (int i = 0; i < kCalls; ++i) failures += VKSEncoderSetBitRate(handles[t], 1000 * t + i) != 0;
        });
    }
    for (auto& thread : threads) thread.join();
    EXPECT_EQ(failures.load(), 0);
    std::vector<int> next(kThreads, 0);
    for (const RecordedRequest& r : NewRequests(kThreads * kCalls)) {
        const DWORD t = r.U32(8) - 10;
        ASSERT_LT(t, static_cast<DWORD>(kThreads));
        EXPECT_EQ(r.U32(12), 0x100 + t);
        // Calls of one thread reach the device in their order.
        EXPECT_EQ(r.U32(32 + 32), 1000 * t + static_cast<DWORD>(next[t]++));
    }
}

}  // namespace
