// The network side of a device: information records of open network
// streams, the device-wide queries and settings addressed by a decoder input,
// stream diagnostics, the network tests a device runs (ping, trace-route, the
// port test) and the configured interfaces.
#include "vks_platform.h"
#include "vksacc.h"
#include "vkssim/sim.h"

#include "support/bytes.h"
#include "support/request_frame.h"
#include "support/sim_engine_test.h"
#include "support/test_env.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <iterator>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

namespace {

using namespace std::chrono_literals;

constexpr uint32_t kGetInfo = 0x22C428, kGetMediaStreamInfo = 0x22C42C, kGetIpConfig = 0x22C458,
                   kSetIpConfig = 0x22C45C, kGetMacAddresses = 0x22C468, kGetLogFiles = 0x22C46C,
                   kStartDebugLog = 0x22C470, kGetDiagnostics = 0x22C498, kGetNumClients = 0x22C4A0,
                   kGetFileSize = 0x22C4A4, kPing = 0x22C4E0, kTraceRoute = 0x22C4E4;
constexpr uint32_t kEntryBytes = 2752;

using vkstest::Mismatch;
using vkstest::RequestFrame;
using vkstest::U16;
using vkstest::U32;

// Two devices with two decoders each and `kPorts` network ports each.
template <uint32_t kPorts>
class NetworkTest : public vkstest::SimEngineTest {
protected:
    void SetUp() override {
        SimEngineTest::SetUp();
        AddDevice(kPorts, 2);
        AddDevice(kPorts, 2);
        Load();
    }
    // The engine's free closes the stream.
    HVKS OpenStream(uint32_t port = 1) {
        EXPECT_EQ(VKSNetworkStreamOpenExA(port, "udp://239.1.1.1:5000", 0, &stream_, nullptr), VKSERROR_NO_ERROR);
        return stream_;
    }

    HVKS stream_ = 0;
};
using NetworkInfoTest = NetworkTest<2>;
using NetworkDiagnosticsTest = NetworkTest<1>;

// ---- Stream information records -----------------------------------------------------------

// A record of `bytes` bytes filled with 0xEE, its count word saying so.
std::vector<uint8_t> Record(uint32_t bytes) {
    std::vector<uint8_t> record(std::max<uint32_t>(bytes, 16), 0xEE);
    std::memcpy(record.data(), &bytes, 4);
    return record;
}

// The device's record is copied up to the smaller of the caller's count and
// the device's; a device size beyond the reply is cut to the reply.
TEST_F(NetworkInfoTest, InfoCopiesTheSmallerOfBothCounts) {
    const HVKS stream = OpenStream(1);
    const uint32_t object = DriverHandle(0, VKSSIM_TYPE_NETWORK, 1);

    const uint64_t mark = vkssim::RequestMark();
    auto record = Record(1000);
    ASSERT_EQ(VKSNetworkStreamGetInfo(stream, record.data()), VKSERROR_NO_ERROR);
    // Size, handle, port, the address's length and the media streams; nothing beyond.
    EXPECT_EQ(std::make_tuple(U32(record.data(), 0), U32(record.data(), 4), U32(record.data(), 8),
                              U32(record.data(), 20), U32(record.data(), 24), record[40]),
              std::make_tuple(40u, object, 1u, 21u, 2u, uint8_t{0xEE}));
    const auto request = Received(kGetInfo, mark);
    EXPECT_EQ(Mismatch(request.input, RequestFrame(VKSDEVICETYPE_NETWORK, 1, object).U32(24, 16)), "");

    // A count below the device's: exactly that many bytes, the count kept.
    record = Record(8);
    ASSERT_EQ(VKSNetworkStreamGetInfo(stream, record.data()), VKSERROR_NO_ERROR);
    EXPECT_EQ(std::make_tuple(U32(record.data(), 0), U32(record.data(), 4), record[8]),
              std::make_tuple(8u, object, uint8_t{0xEE}));

    ASSERT_TRUE(vkssim::SetNetworkInfoSizeWord(0, 0xFFFFFFF0u));
    record = Record(10000);
    ASSERT_EQ(VKSNetworkStreamGetInfo(stream, record.data()), VKSERROR_NO_ERROR);
    EXPECT_EQ(U32(record.data(), 0), 8224u - 24u);
    EXPECT_EQ(record[8200], 0xEE);
}

// The media stream's index goes in the request; a failed command copies nothing.
TEST_F(NetworkInfoTest, MediaStreamInfoCarriesTheIndex) {
    const HVKS stream = OpenStream();
    const uint64_t mark = vkssim::RequestMark();
    auto record = Record(200);
    ASSERT_EQ(VKSNetworkStreamGetMediaStreamInfo(stream, 1, record.data()), VKSERROR_NO_ERROR);
    EXPECT_EQ(U32(record.data(), 0), 56u);
    EXPECT_EQ(U32(record.data(), 4), 1u);
    EXPECT_EQ(U32(record.data(), 8), 2u);  // audio
    const auto request = Received(kGetMediaStreamInfo, mark);
    EXPECT_EQ(request.U32(16), 1u);
    EXPECT_EQ(request.U32(24), 40u);

    record = Record(200);
    EXPECT_EQ(VKSNetworkStreamGetMediaStreamInfo(stream, 9, record.data()), VKSERROR_INVALID_ARGUMENT);
    EXPECT_EQ(record, Record(200));

    // Handles of other objects send nothing (the engine's free closes the decoder).
    const uint64_t before = vkssim::RequestMark();
    const HVKS decoder = OpenDecoder();
    EXPECT_EQ(VKSNetworkStreamGetInfo(decoder, record.data()), VKSERROR_INVALID_HANDLE);
    EXPECT_EQ(VKSNetworkStreamGetMediaStreamInfo(decoder, 0, record.data()), VKSERROR_INVALID_HANDLE);
    EXPECT_TRUE(Sent(kGetInfo, before).empty() && Sent(kGetMediaStreamInfo, before).empty());
}

// ---- Device-wide queries ---------------------------------------------------------------------

TEST_F(NetworkInfoTest, IpConfigReadsAndWritesTheDeviceOfTheDecoderInput) {
    // Decoder index 2 is the first input of the second device.
    const uint64_t mark = vkssim::RequestMark();
    VKSIPCONFIG config;
    ASSERT_EQ(VKSNetworkStreamGetIPConfig(2, &config), VKSERROR_NO_ERROR);
    EXPECT_EQ(config.Interface[0].IPv4Address, 0xC0A80165u);  // 192.168.1.101
    EXPECT_EQ(config.Interface[1].IPv4Address, 0x0A000101u);  // 10.0.1.1
    const auto get = Received(kGetIpConfig, mark);
    EXPECT_EQ(get.device, 1);
    EXPECT_EQ(Mismatch(get.input, RequestFrame()), "");  // no type, no channel
    EXPECT_FALSE(get.overlappedFile);

    std::array<uint8_t, 48> wanted;
    for (size_t i = 0; i < wanted.size(); ++i) wanted[i] = static_cast<uint8_t>(0x30 + i);
    std::memcpy(&config, wanted.data(), sizeof(config));
    ASSERT_EQ(VKSNetworkStreamSetIPConfig(3, &config), VKSERROR_NO_ERROR);
    EXPECT_EQ(Mismatch(Received(kSetIpConfig, mark).input, RequestFrame().Put(24, wanted.data(), 48)), "");
    EXPECT_EQ(vkssim::GetNetworkIpConfig(1), wanted);
    // The other device is unchanged.
    ASSERT_EQ(VKSNetworkStreamGetIPConfig(0, &config), VKSERROR_NO_ERROR);
    EXPECT_EQ(config.Interface[0].IPv4Address, 0xC0A80164u);
}

// The interface count is two whatever the handle, open or not.
TEST_F(NetworkInfoTest, MacAddressesClientsFileSizeAndInterfaceCount) {
    const std::array<uint8_t, 12> macs = {1, 2, 3, 4, 5, 6, 0xA1, 0xA2, 0xA3, 0xA4, 0xA5, 0xA6};
    ASSERT_TRUE(vkssim::SetNetworkMacAddresses(0, macs));
    ASSERT_TRUE(vkssim::SetNetworkClients(0, 3));
    ASSERT_TRUE(vkssim::SetNetworkFileSize(0, 0x00ABCDEF));
    VKSMACADDRESSES addresses;
    uint32_t clients = 99, size = 0, interfaces = 77;
    ASSERT_EQ(VKSNetworkStreamGetMacAddresses(1, &addresses), VKSERROR_NO_ERROR);
    ASSERT_EQ(VKSNetworkStreamGetNumClients(0, &clients), VKSERROR_NO_ERROR);
    ASSERT_EQ(VKSNetworkStreamGetFileSize(0, &size), VKSERROR_NO_ERROR);
    ASSERT_EQ(VKSNetworkStreamGetNumIfcs(0x12345, &interfaces), VKSERROR_NO_ERROR);
    EXPECT_EQ(0, std::memcmp(&addresses, macs.data(), 12));
    EXPECT_EQ(std::make_tuple(clients, size, interfaces), std::make_tuple(3u, 0x00ABCDEFu, 2u));
}

// Refusals send nothing; a failed command writes nothing.
TEST_F(NetworkInfoTest, RefusalsAndFailuresWriteNothing) {
    const uint64_t mark = vkssim::RequestMark();
    // Index before the null pointer (null pointers alone: the export sweep).
    EXPECT_EQ(VKSNetworkStreamGetIPConfig(4, nullptr), VKSERROR_INVALID_INPUT);
    EXPECT_EQ(VKSNetworkStreamStartDebugLogA(4, 0, 0, "a", "b", 0), VKSERROR_INVALID_INPUT);
    Free();
    uint32_t size = 5;
    EXPECT_EQ(VKSNetworkStreamGetFileSize(0, &size), VKSERROR_UNINITIALIZED);
    Load();
    for (uint32_t code : {kGetIpConfig, kGetFileSize, kStartDebugLog}) EXPECT_TRUE(Sent(code, mark).empty());

    vkssim::FailWithStatus(kGetIpConfig, VKSERROR_NOACCESS, 1);
    vkssim::FailWithStatus(kGetNumClients, VKSERROR_INSUFFICIENT_RESOURCES, 1);
    VKSIPCONFIG config;
    std::memset(&config, 0xEE, sizeof(config));
    EXPECT_EQ(VKSNetworkStreamGetIPConfig(0, &config), VKSERROR_NOACCESS);
    EXPECT_EQ(config.Interface[0].IPv4Address, 0xEEEEEEEEu);
    uint32_t clients = 1234;
    EXPECT_EQ(VKSNetworkStreamGetNumClients(0, &clients), VKSERROR_INSUFFICIENT_RESOURCES);
    EXPECT_EQ(clients, 1234u);
}

// Texts go with their terminators: the longest that fits is sent, one more
// character is refused without sending.
TEST_F(NetworkInfoTest, LogFilesPathAndDebugLogTextLimits) {
    uint64_t mark = vkssim::RequestMark();
    for (const std::u16string& path : {std::u16string(u"C:\\logs\\vks"), std::u16string(259, u'x')}) {
        ASSERT_EQ(VKSNetworkStreamGetLogFilesW(1, path.c_str()), VKSERROR_NO_ERROR);
        const RequestFrame expected = RequestFrame().Put(24, path.data(), 2 * path.size());
        EXPECT_EQ(Mismatch(Received(kGetLogFiles, mark).input, expected), "");
    }
    const std::string longest(127, 'L');
    ASSERT_EQ(VKSNetworkStreamStartDebugLogA(0, 0x11, 0x22, "capture", longest.c_str(), 0x33), VKSERROR_NO_ERROR);
    const RequestFrame expected =
        RequestFrame().U32(24, 0x11).U32(28, 0x22).Put(32, "capture", 7).Put(160, longest.data(), 127).U32(288, 0x33);
    EXPECT_EQ(Mismatch(Received(kStartDebugLog, mark).input, expected), "");

    mark = vkssim::RequestMark();
    const std::string tooLong(128, 'L');
    EXPECT_EQ(VKSNetworkStreamGetLogFilesW(1, std::u16string(260, u'x').c_str()), VKSERROR_INVALID_ARGUMENT);
    EXPECT_EQ(VKSNetworkStreamStartDebugLogA(0, 0, 0, tooLong.c_str(), "b", 0), VKSERROR_INVALID_ARGUMENT);
    EXPECT_EQ(VKSNetworkStreamStartDebugLogA(0, 0, 0, "a", tooLong.c_str(), 0), VKSERROR_INVALID_ARGUMENT);
    EXPECT_TRUE(Sent(kGetLogFiles, mark).empty());
    EXPECT_TRUE(Sent(kStartDebugLog, mark).empty());
}

// ---- Stream diagnostics -----------------------------------------------------------------

// The conversion written out field by field: where each value lands in the
// caller's entry and where it comes from in the device's record.
enum Width { W32, W32From16, W16, W16FromLow32, W256 };
struct Expected {
    size_t destination;
    Width width;
    size_t source;
};

const std::vector<Expected> kKind1 = {
    {4, W32, 0},       {8, W32, 40},          {12, W32, 32},         {16, W32, 36},     {20, W32, 28},
    {24, W32From16, 16}, {28, W32From16, 18}, {32, W32, 48},         {36, W32, 52},     {40, W32, 56},
    {44, W32, 60},     {48, W32, 508},        {52, W32, 512},        {56, W32, 68},     {60, W32, 64},
    {64, W32, 496},    {68, W32, 504},        {72, W32, 4},          {76, W32, 2736},   {80, W32, 2740},
    {84, W32, 2744},   {88, W32, 2748},       {108, W32, 156},       {112, W256, 164},  {372, W32, 84},
    {376, W32, 88},    {380, W32, 100},       {384, W32, 104},       {388, W32, 128},   {392, W16, 136},
    {394, W16FromLow32, 108},
};
const std::vector<Expected> kKind2 = {
    {4, W32, 0},           {8, W32, 552},         {12, W32, 544},  {16, W32, 548},   {20, W32, 540},
    {24, W32From16, 556},  {28, W32From16, 558},  {84, W32, 2744}, {88, W32, 2748},  {92, W32, 2684},
    {96, W32, 2672},       {100, W32, 2676},      {104, W32, 2680}, {388, W32, 2708}, {392, W16, 2716},
    {394, W16, 2692},
};
const std::vector<Expected> kOtherKinds = {{4, W32, 0}, {84, W32, 2744}, {88, W32, 2748}};

// The caller's entry as it must be after the conversion of `record` onto an
// entry filled with 0xCD.
std::array<uint8_t, 396> Convert(const std::vector<uint8_t>& record, const std::vector<Expected>& fields) {
    std::array<uint8_t, 396> out;
    out.fill(0xCD);
    for (const auto& f : fields) {
        uint32_t value = U32(record.data(), f.source);
        if (f.width == W32From16) value = U16(record.data(), f.source);
        const size_t bytes = f.width == W256 ? 256 : f.width == W16 || f.width == W16FromLow32 ? 2 : 4;
        const void* from = f.width == W256 ? static_cast<const void*>(record.data() + f.source) : &value;
        std::memcpy(out.data() + f.destination, from, bytes);
    }
    return out;
}

struct DiagnosticsCall {
    VKSNETWORKDIAGNOSTICS request{};
    std::vector<uint64_t> first, second;
    std::vector<VKSSTREAMDIAGNOSTICS> streams;

    DiagnosticsCall(uint32_t n, uint32_t m) : first(m + 1, 0x5555), second(m + 1, 0x6666), streams(n) {
        std::memset(&request, 0x77, sizeof(request));
        request.NumStreams = n;
        request.NumInterfaces = m;
        if (n != 0) std::memset(streams.data(), 0xCD, n * sizeof(VKSSTREAMDIAGNOSTICS));
        request.pFirstCounters = first.data();
        request.pSecondCounters = second.data();
        request.pStreams = streams.empty() ? nullptr : streams.data();
    }
    const uint8_t* Entry(size_t k) const { return reinterpret_cast<const uint8_t*>(&streams[k]); }
    // Nothing of the counters and entries was written.
    bool Untouched() const {
        const auto* bytes = reinterpret_cast<const uint8_t*>(streams.data());
        const size_t size = streams.size() * sizeof(VKSSTREAMDIAGNOSTICS);
        return std::all_of(bytes, bytes + size, [](uint8_t b) { return b == 0xCD; }) && first[0] == 0x5555 &&
               second[0] == 0x6666;
    }
};

TEST_F(NetworkDiagnosticsTest, EveryFieldOfKindsOneAndTwoAndOfOtherKinds) {
    vkssim::NetworkDiagnostics d;
    d.firstCounter[0] = 0x1111;
    d.firstCounter[1] = 0x2222000000002222ull;
    d.secondCounter[0] = 0x3333;
    d.secondCounter[1] = 0x4444000000004444ull;
    d.entries = {vkssim::NetworkDiagnosticsPattern(1, 3), vkssim::NetworkDiagnosticsPattern(2, 4),
                 vkssim::NetworkDiagnosticsPattern(7, 5)};
    // The text field of kind 1 holds distinct bytes throughout.
    for (size_t i = 0; i < 256; ++i) d.entries[0][164 + i] = static_cast<uint8_t>(i ^ 0xA5);
    ASSERT_TRUE(vkssim::SetNetworkDiagnostics(1, d));

    DiagnosticsCall call(3, 2);
    // Decoder index 2 is the first input of the second device.
    ASSERT_EQ(VKSNetworkStreamGetDiagnostics(2, &call.request), VKSERROR_NO_ERROR);
    // Beyond M: untouched.
    EXPECT_EQ(call.first, (std::vector<uint64_t>{0x1111, 0x2222000000002222ull, 0x5555}));
    EXPECT_EQ(call.second, (std::vector<uint64_t>{0x3333, 0x4444000000004444ull, 0x6666}));

    const auto kinds = {std::make_pair(0, &kKind1), std::make_pair(1, &kKind2), std::make_pair(2, &kOtherKinds)};
    for (const auto& [k, fields] : kinds) {
        const auto expected = Convert(d.entries[k], *fields);
        for (size_t offset = 0; offset < expected.size(); ++offset) {
            EXPECT_EQ(call.Entry(k)[offset], expected[offset]) << "entry " << k << " offset " << offset;
        }
    }
    // Spot checks against the pattern itself, so that the expectations above
    // cannot agree with the library by both being empty.
    EXPECT_EQ(U32(call.Entry(0), 8), vkssim::NetworkPatternWord(3, 40));
    EXPECT_EQ(U32(call.Entry(0), 28), vkssim::NetworkPatternWord(3, 16) >> 16);
    EXPECT_EQ(U32(call.Entry(1), 92), vkssim::NetworkPatternWord(4, 2684));
    EXPECT_EQ(U32(call.Entry(2), 88), 7u);
    EXPECT_EQ(U32(call.Entry(2), 84), vkssim::NetworkPatternWord(5, 2744));
}

// The command grows by one device record per stream wanted; with nothing
// wanted it is the standard command, and the caller's record is only read.
// Streams beyond the device's records get the common fields of an empty one.
TEST_F(NetworkDiagnosticsTest, RequestCarriesTheEnlargedSizesAndN) {
    for (uint32_t n : {3u, 0u}) {
        SCOPED_TRACE(n);
        const uint64_t mark = vkssim::RequestMark();
        DiagnosticsCall call(n, n == 0 ? 0 : 1);
        const VKSNETWORKDIAGNOSTICS before = call.request;
        ASSERT_EQ(VKSNetworkStreamGetDiagnostics(1, &call.request), VKSERROR_NO_ERROR);
        const auto r = Received(kGetDiagnostics, mark);
        EXPECT_EQ(r.device, 0);
        EXPECT_EQ(r.outputLength, 8224u + n * kEntryBytes);
        const RequestFrame expected = RequestFrame(0, 0, 0, 2824 + n * kEntryBytes).U32(32, 2792 + n * kEntryBytes);
        EXPECT_EQ(Mismatch(r.input, RequestFrame(expected).U32(36, n)), "");
        EXPECT_EQ(std::memcmp(&before, &call.request, sizeof before), 0);
        if (n == 0) continue;
        // The device's defaults: kind 1 and kind 2, interface 0's counters only.
        EXPECT_EQ(call.first, (std::vector<uint64_t>{0x1000000000000001ull, 0x5555}));
        EXPECT_EQ(call.second[0], 0x2000000000000001ull);
        // Kinds 1 and 2, then an empty record's common fields (the others as they were).
        EXPECT_EQ((std::vector<uint32_t>{U32(call.Entry(0), 88), U32(call.Entry(1), 88), U32(call.Entry(2), 0),
                                         U32(call.Entry(2), 4), U32(call.Entry(2), 8), U32(call.Entry(2), 84),
                                         U32(call.Entry(2), 88)}),
                  (std::vector<uint32_t>{1, 2, 0xCDCDCDCDu, 0, 0xCDCDCDCDu, 0, 0}));
    }
}

// Refused requests send nothing; a failed command writes nothing.
TEST_F(NetworkDiagnosticsTest, RefusedRequestsAndFailedCommandsWriteNothing) {
    const uint64_t mark = vkssim::RequestMark();
    // More interfaces than the device reports counters for.
    DiagnosticsCall three(1, 3);
    EXPECT_EQ(VKSNetworkStreamGetDiagnostics(0, &three.request), VKSERROR_INVALID_ARGUMENT);
    EXPECT_TRUE(three.Untouched());
    // Arrays missing for what was asked.
    DiagnosticsCall noCounters(1, 1);
    noCounters.request.pSecondCounters = nullptr;
    EXPECT_EQ(VKSNetworkStreamGetDiagnostics(0, &noCounters.request), VKSERROR_INVALID_ARGUMENT);
    DiagnosticsCall noStreams(1, 0);
    noStreams.request.pStreams = nullptr;
    EXPECT_EQ(VKSNetworkStreamGetDiagnostics(0, &noStreams.request), VKSERROR_INVALID_ARGUMENT);
    // A count whose packets could not state their size.
    DiagnosticsCall huge(0, 0);
    huge.request.pStreams = reinterpret_cast<VKSSTREAMDIAGNOSTICS*>(huge.first.data());
    for (uint32_t count : {0xFFFFFFFFu, (0xFFFFFFFFu - 8224u) / kEntryBytes + 1}) {
        huge.request.NumStreams = count;
        EXPECT_EQ(VKSNetworkStreamGetDiagnostics(0, &huge.request), VKSERROR_INSUFFICIENT_MEMORY) << count;
    }
    EXPECT_TRUE(Sent(kGetDiagnostics, mark).empty());

    vkssim::FailWithStatus(kGetDiagnostics, VKSERROR_INSUFFICIENT_RESOURCES, 1);
    DiagnosticsCall call(2, 2);
    EXPECT_EQ(VKSNetworkStreamGetDiagnostics(0, &call.request), VKSERROR_INSUFFICIENT_RESOURCES);
    EXPECT_TRUE(call.Untouched());
    vkssim::ShortReply(kGetDiagnostics, 100, 1);
    EXPECT_EQ(VKSNetworkStreamGetDiagnostics(0, &call.request), VKSERROR_NOACCESS);
    EXPECT_TRUE(call.Untouched());
}

// ---- Ping and trace-route -------------------------------------------------------------------

class NetworkTestsTest : public NetworkDiagnosticsTest {
protected:
    void SetUp() override {
        NetworkDiagnosticsTest::SetUp();
        vkssim::SetNetworkDestination(1, "10.20.30.40", vkssim::NetworkReach::Reachable, 3);
        vkssim::SetNetworkDestination(1, "10.20.30.41", vkssim::NetworkReach::Unreachable);
        vkssim::SetNetworkDestination(1, "10.20.30.42", vkssim::NetworkReach::Silent);
    }
    // The request of a network test: the interface byte, then the destination.
    static RequestFrame Frame(uint8_t netIfc, const std::string& destination) {
        return RequestFrame().Put(24, &netIfc, 1).Put(25, destination.data(), destination.size());
    }
    vkstest::ScopedRegistry registry_{vkstest::ConfigKey("\"DebugLevel\"=dword:00000001")};
    vkstest::DebugCapture capture_;
};

// The answer is the device's; an interface byte below 255 is logged as
// unsupported and sent all the same; the longest destination fits with its
// terminator, one more character is refused; the wide form sends UTF-8.
TEST_F(NetworkTestsTest, PingAnswersFromTheDevicesTable) {
    const std::string longest(2047, '7');
    vkssim::SetNetworkDestination(1, longest, vkssim::NetworkReach::Reachable);
    const struct {
        uint32_t index;
        uint8_t netIfc;
        std::string destination;
        VKSERROR expected;
        int device;
    } rows[] = {
        {2, 255, "10.20.30.40", VKSERROR_DIAG_PING_SUCCESS, 1},
        {2, 255, "10.20.30.41", VKSERROR_DIAG_PING_FAIL, 1},
        {2, 255, "10.20.30.42", VKSERROR_DIAG_PING_TIMEOUT, 1},
        {0, 255, "10.20.30.40", VKSERROR_DIAG_PING_TIMEOUT, 0},  // the table belongs to the second device only
        {3, 0, "10.20.30.40", VKSERROR_DIAG_PING_SUCCESS, 1},
        {2, 255, longest, VKSERROR_DIAG_PING_SUCCESS, 1},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.destination.substr(0, 12) + " " + std::to_string(row.netIfc));
        capture_.Clear();
        const uint64_t mark = vkssim::RequestMark();
        EXPECT_EQ(VKSNetworkPingIPAddressA(row.index, row.netIfc, row.destination.c_str()), row.expected);
        const auto r = Received(kPing, mark);
        EXPECT_EQ(r.device, row.device);
        EXPECT_EQ(Mismatch(r.input, Frame(row.netIfc, row.destination)), "");
        EXPECT_EQ(capture_.Contains("VKSNetworkPingIPAddressA: NetIfc is unsuported"), row.netIfc != 255);
    }
    uint64_t mark = vkssim::RequestMark();
    EXPECT_EQ(VKSNetworkPingIPAddressA(2, 255, std::string(2048, '7').c_str()), VKSERROR_BUFFER_TOO_SMALL);
    EXPECT_TRUE(Sent(kPing, mark).empty());
    vkssim::SetNetworkDestination(1, "h\xC3\xB4te.example", vkssim::NetworkReach::Unreachable);
    EXPECT_EQ(VKSNetworkPingIPAddressW(2, 255, u"h\u00F4te.example"), VKSERROR_DIAG_PING_FAIL);
    EXPECT_EQ(Mismatch(Received(kPing, mark).input, Frame(255, "h\xC3\xB4te.example")), "");
}

struct Reports {
    std::vector<VKSTRACEROUTEREPORT> blocks;
    VKSTRACEROUTERESULTS results{};
    explicit Reports(size_t count, uint32_t size) : blocks(count) {
        if (count != 0) std::memset(blocks.data(), 0xEE, count * sizeof(VKSTRACEROUTEREPORT));
        results.Size = size;
        results.pReports = blocks.data();
    }
    std::string Text(size_t j) const { return reinterpret_cast<const char*>(blocks[j].Data + 12); }
    bool Untouched(size_t j) const {
        return std::all_of(std::begin(blocks[j].Data), std::end(blocks[j].Data), [](uint8_t b) { return b == 0xEE; });
    }
};

TEST_F(NetworkTestsTest, TraceRouteCopiesTheBlocksWhenComplete) {
    const uint64_t mark = vkssim::RequestMark();
    Reports two(2, 8200);
    ASSERT_EQ(VKSNetworkTraceRoute(2, 255, "10.20.30.40", &two.results, 2), VKSERROR_DIAG_TRACEROUTE_COMPLETE);
    // The blocks' indexes, and the hops in the last.
    EXPECT_EQ(std::make_tuple(U32(two.blocks[0].Data, 0), U32(two.blocks[1].Data, 0), U32(two.blocks[1].Data, 8)),
              std::make_tuple(0u, 1u, 3u));
    EXPECT_EQ(two.Text(0).rfind("traceroute to 10.20.30.40\n", 0), 0u);
    // Block 0 lists hops 1 and 3, block 1 hop 2 (by way of the interface's network).
    EXPECT_NE(two.Text(0).find("\n3  10.20.30.40  3.12 ms\n"), std::string::npos);
    EXPECT_NE(two.Text(1).find("\n2  192.168.1.2  2.8 ms\n"), std::string::npos);
    EXPECT_EQ(two.blocks[1].Data[4099], 0);
    EXPECT_EQ(Mismatch(Received(kTraceRoute, mark).input, Frame(255, "10.20.30.40").U32(2076, 2)), "");

    // One block asked for: the area's second block stays as it was.
    Reports one(2, 4100);
    ASSERT_EQ(VKSNetworkTraceRoute(2, 255, "10.20.30.40", &one.results, 1), VKSERROR_DIAG_TRACEROUTE_COMPLETE);
    EXPECT_EQ(U32(one.blocks[0].Data, 4), 1u);
    EXPECT_TRUE(one.Untouched(1));
    EXPECT_EQ(Received(kTraceRoute, mark).U32(2076), 1u);

    // Results other than complete copy nothing.
    Reports area(2, 8200);
    EXPECT_EQ(VKSNetworkTraceRoute(2, 255, "10.20.30.41", &area.results, 2), VKSERROR_DIAG_TRACEROUTE_FAIL);
    EXPECT_EQ(VKSNetworkTraceRoute(2, 255, "10.20.30.42", &area.results, 2), VKSERROR_DIAG_TRACEROUTE_TIMEOUT);
    vkssim::FailWithStatus(kTraceRoute, VKSERROR_DIAG_TRACEROUTE_SUCCESS, 1);
    EXPECT_EQ(VKSNetworkTraceRoute(2, 255, "10.20.30.40", &area.results, 2), VKSERROR_DIAG_TRACEROUTE_SUCCESS);
    EXPECT_TRUE(area.Untouched(0) && area.Untouched(1));
}

TEST_F(NetworkTestsTest, TraceRouteRefusals) {
    const uint64_t mark = vkssim::RequestMark();
    Reports three(3, 12300);
    EXPECT_EQ(VKSNetworkTraceRoute(2, 255, "10.20.30.40", &three.results, 3), VKSERROR_BUFFER_TOO_SMALL);
    Reports two(2, 8200);
    EXPECT_EQ(VKSNetworkTraceRoute(2, 255, "10.20.30.40", &two.results, 0), VKSERROR_INVALID_INPUT);
    const std::string tooLong(2048, '7');
    EXPECT_EQ(VKSNetworkTraceRoute(2, 255, tooLong.c_str(), &two.results, 2), VKSERROR_BUFFER_TOO_SMALL);
    Reports noArea(0, 4100);
    noArea.results.pReports = nullptr;
    EXPECT_EQ(VKSNetworkTraceRoute(2, 255, "10.20.30.40", &noArea.results, 1), VKSERROR_INVALID_ARGUMENT);
    EXPECT_FALSE(capture_.Contains("wrong memmory allocation"));
    Reports wrongSize(2, 8199);
    EXPECT_EQ(VKSNetworkTraceRoute(2, 255, "10.20.30.40", &wrongSize.results, 2), VKSERROR_BUFFER_TOO_SMALL);
    EXPECT_TRUE(capture_.Contains("VKSNetworkTraceRoute: wrong memmory allocation"));
    EXPECT_TRUE(Sent(kTraceRoute, mark).empty());
    EXPECT_TRUE(wrongSize.Untouched(0));

    EXPECT_EQ(VKSNetworkTraceRoute(2, 1, "10.20.30.40", &two.results, 2), VKSERROR_DIAG_TRACEROUTE_COMPLETE);
    EXPECT_TRUE(capture_.Contains("VKSNetworkTraceRoute: netIfc is unsuported"));
    EXPECT_EQ(VKSNetworkPortTestAddressA(0, "10.20.30.40", 80), VKSERROR_UNSUPPORTED);
    EXPECT_EQ(VKSNetworkPortTestAddressW(0, u"10.20.30.40", 80), VKSERROR_UNSUPPORTED);
}

// ---- Configured interfaces --------------------------------------------------------------------

// An entry as the library leaves it: family and address written, the rest as it was (0xEE).
VKSINTERFACEADDRESS Entry(std::array<uint8_t, 4> address, uint16_t family = 2) {
    VKSINTERFACEADDRESS e;
    std::memset(&e, 0xEE, sizeof e);
    if (family == 0xEEEE) return e;
    e.Family = family;
    std::memcpy(e.Address, address.data(), 4);
    return e;
}
std::string Bytes(const VKSINTERFACEADDRESS& e) { return std::string(reinterpret_cast<const char*>(&e), sizeof e); }
const VKSINTERFACEADDRESS kUntouched = Entry({}, 0xEEEE);

TEST_F(NetworkDiagnosticsTest, InterfaceInfoWritesFamilyAndAddressBytes) {
    const auto check = [](int device, uint32_t capacity, VKSERROR status, uint32_t filled,
                          const VKSINTERFACEADDRESS& first, const VKSINTERFACEADDRESS& second) {
        SCOPED_TRACE(testing::Message() << "device " << device << ", room for " << capacity);
        VKSINTERFACEADDRESS entries[2] = {kUntouched, kUntouched};
        uint32_t count = capacity;
        EXPECT_EQ(VKSNetworkConfiguredInterfaceInfo(device, entries, &count), status);
        EXPECT_EQ(count, filled);
        EXPECT_EQ(Bytes(entries[0]), Bytes(first));
        EXPECT_EQ(Bytes(entries[1]), Bytes(second));
    };
    // The defaults, 192.168.1.100 and 10.0.0.1: with room for one, that one is filled.
    check(0, 1, VKSERROR_BUFFER_TOO_SMALL, 1, Entry({192, 168, 1, 100}), kUntouched);
    check(0, 2, VKSERROR_NO_ERROR, 2, Entry({192, 168, 1, 100}), Entry({10, 0, 0, 1}));
    ASSERT_TRUE(vkssim::SetNetworkInterfaceAddresses(0, 0x0A000001u, 0));
    check(0, 2, VKSERROR_NO_ERROR, 1, Entry({10, 0, 0, 1}), kUntouched);
    // Only interface 1 configured: it takes the first entry.
    ASSERT_TRUE(vkssim::SetNetworkInterfaceAddresses(1, 0, 0xC0A80A0Bu));
    check(1, 2, VKSERROR_NO_ERROR, 1, Entry({192, 168, 10, 11}), kUntouched);
    // Failures pass through and leave the count.
    check(2, 2, VKSERROR_INVALID_INPUT, 2, kUntouched, kUntouched);
    vkssim::FailWithStatus(kGetIpConfig, VKSERROR_INSUFFICIENT_RESOURCES, 1);
    check(0, 2, VKSERROR_NOACCESS, 2, kUntouched, kUntouched);
    vkssim::FailCreate(0, ERROR_FILE_NOT_FOUND);
    check(0, 2, VKSERROR_INVALID_HANDLE, 2, kUntouched, kUntouched);
    vkssim::FailCreate(0, 0);
    // No room at all and nowhere to write.
    uint32_t count = 0;
    EXPECT_EQ(VKSNetworkConfiguredInterfaceInfo(0, nullptr, &count), VKSERROR_BUFFER_TOO_SMALL);
    EXPECT_EQ(count, 0u);
    count = 1;
    EXPECT_EQ(VKSNetworkConfiguredInterfaceInfo(0, nullptr, &count), VKSERROR_INVALID_ARGUMENT);
}

TEST_F(NetworkDiagnosticsTest, InterfaceCountOverAllPorts) {
    // Port 0 on the first device, port 1 on the second.
    ASSERT_TRUE(vkssim::SetNetworkInterfaceAddresses(0, 0x0A000001u, 0));
    uint32_t count = 99;
    ASSERT_EQ(VKSNetworkConfiguredInterfaceCount(&count), VKSERROR_NO_ERROR);
    EXPECT_EQ(count, 3u);
    const uint64_t mark = vkssim::RequestMark();
    ASSERT_TRUE(vkssim::SetNetworkInterfaceAddresses(1, 0, 0));
    ASSERT_EQ(VKSNetworkConfiguredInterfaceCount(&count), VKSERROR_NO_ERROR);
    EXPECT_EQ(count, 1u);
    std::vector<int> devices;
    for (const auto& query : Sent(kGetIpConfig, mark)) devices.push_back(query.device);
    EXPECT_EQ(devices, (std::vector<int>{0, 1}));

    // A failing second port stops the count with what was counted so far.
    vkssim::FailCreate(1, ERROR_FILE_NOT_FOUND);
    count = 99;
    EXPECT_EQ(VKSNetworkConfiguredInterfaceCount(&count), VKSERROR_INVALID_HANDLE);
    EXPECT_EQ(count, 1u);
    vkssim::FailCreate(1, 0);
    vkssim::FailWithStatus(kGetIpConfig, VKSERROR_INSUFFICIENT_RESOURCES, 1);
    count = 99;
    EXPECT_EQ(VKSNetworkConfiguredInterfaceCount(&count), VKSERROR_NOACCESS);
    EXPECT_EQ(count, 0u);

    // Without an engine: no ports, and no decoder index resolves.
    Free();
    count = 99;
    EXPECT_EQ(VKSNetworkConfiguredInterfaceCount(&count), VKSERROR_NO_ERROR);
    EXPECT_EQ(count, 0u);
    VKSINTERFACEADDRESS entry;
    count = 1;
    EXPECT_EQ(VKSNetworkConfiguredInterfaceInfo(0, &entry, &count), VKSERROR_INVALID_INPUT);
}

}  // namespace
