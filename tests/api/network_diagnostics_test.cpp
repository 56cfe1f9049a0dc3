// Stream diagnostics of a device, and the network tests a device runs: ping,
// trace-route, the port test and the configured interfaces.
#include "vks_platform.h"
#include "vksacc.h"
#include "vkssim/sim.h"

#include "support/bytes.h"
#include "support/sim_engine_test.h"
#include "support/test_env.h"

#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <string>
#include <vector>

namespace {

using namespace std::chrono_literals;

constexpr uint32_t kGetDiagnostics = 0x22C498, kGetIpConfig = 0x22C458, kPing = 0x22C4E0, kTraceRoute = 0x22C4E4;
constexpr size_t kEntryBytes = 2752;

using vkstest::U16;
using vkstest::U32;

class NetworkDiagnosticsTest : public vkstest::SimEngineTest {
protected:
    void SetUp() override {
        SimEngineTest::SetUp();
        AddDevice(1, 2);
        AddDevice(1, 2);
        Load();
    }
    static vkssim::Request Last(uint32_t code, uint64_t mark) {
        auto all = Sent(code, mark);
        EXPECT_FALSE(all.empty());
        return all.empty() ? vkssim::Request{} : all.back();
    }
};

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
// entry filled with `fill`.
std::array<uint8_t, 396> Convert(const std::vector<uint8_t>& record, const std::vector<Expected>& fields,
                                 uint8_t fill) {
    std::array<uint8_t, 396> out;
    out.fill(fill);
    for (const auto& f : fields) {
        uint8_t* d = out.data() + f.destination;
        switch (f.width) {
        case W32: std::memcpy(d, record.data() + f.source, 4); break;
        case W32From16: {
            const uint32_t v = U16(record.data(), f.source);
            std::memcpy(d, &v, 4);
            break;
        }
        case W16: std::memcpy(d, record.data() + f.source, 2); break;
        case W16FromLow32: {
            const uint16_t v = static_cast<uint16_t>(U32(record.data(), f.source) & 0xFFFF);
            std::memcpy(d, &v, 2);
            break;
        }
        case W256: std::memcpy(d, record.data() + f.source, 256); break;
        }
    }
    return out;
}

struct DiagnosticsCall {
    VKSNETWORKDIAGNOSTICS request{};
    std::vector<uint64_t> first, second;
    std::vector<VKSSTREAMDIAGNOSTICS> streams;

    DiagnosticsCall(uint32_t n, uint32_t m, uint8_t fill = 0xCD) : first(m + 1, 0x5555), second(m + 1, 0x6666) {
        std::memset(&request, 0x77, sizeof(request));
        request.NumStreams = n;
        request.NumInterfaces = m;
        streams.resize(n);
        if (!streams.empty()) std::memset(streams.data(), fill, streams.size() * sizeof(VKSSTREAMDIAGNOSTICS));
        request.pFirstCounters = first.data();
        request.pSecondCounters = second.data();
        request.pStreams = streams.empty() ? nullptr : streams.data();
    }
    const uint8_t* Entry(size_t k) const { return reinterpret_cast<const uint8_t*>(&streams[k]); }
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

    EXPECT_EQ(call.first[0], 0x1111u);
    EXPECT_EQ(call.first[1], 0x2222000000002222ull);
    EXPECT_EQ(call.second[0], 0x3333u);
    EXPECT_EQ(call.second[1], 0x4444000000004444ull);
    EXPECT_EQ(call.first[2], 0x5555u);  // beyond M: untouched
    EXPECT_EQ(call.second[2], 0x6666u);

    const auto kinds = {std::make_pair(0, &kKind1), std::make_pair(1, &kKind2), std::make_pair(2, &kOtherKinds)};
    for (const auto& [k, fields] : kinds) {
        const auto expected = Convert(d.entries[k], *fields, 0xCD);
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
    // Offset 0 and the unwritten ranges of kind 2.
    EXPECT_EQ(U32(call.Entry(1), 0), 0xCDCDCDCDu);
    for (size_t offset = 32; offset <= 80; offset += 4) EXPECT_EQ(U32(call.Entry(1), offset), 0xCDCDCDCDu);
    for (size_t offset = 108; offset < 388; ++offset) EXPECT_EQ(call.Entry(1)[offset], 0xCD);
}

TEST_F(NetworkDiagnosticsTest, RequestCarriesTheEnlargedSizesAndN) {
    const uint64_t mark = vkssim::RequestMark();
    DiagnosticsCall call(2, 1);
    ASSERT_EQ(VKSNetworkStreamGetDiagnostics(1, &call.request), VKSERROR_NO_ERROR);
    const auto r = Last(kGetDiagnostics, mark);
    EXPECT_EQ(r.device, 0);
    EXPECT_EQ(r.input.size(), 2824u + 2 * kEntryBytes);
    EXPECT_EQ(r.U32(0), 2824u + 2 * kEntryBytes);
    EXPECT_EQ(r.outputLength, 8224u + 2 * kEntryBytes);
    EXPECT_EQ(r.U32(32), 2792u + 2 * kEntryBytes);
    EXPECT_EQ(r.U32(36), 2u);
    EXPECT_EQ(r.U32(4), 0u);
    EXPECT_EQ(r.U32(8), 0u);
    EXPECT_EQ(r.U32(20), 100u);
    // The device's defaults: kind 1 and kind 2, interface 0's counters only.
    EXPECT_EQ(call.first[0], 0x1000000000000001ull);
    EXPECT_EQ(call.second[0], 0x2000000000000001ull);
    EXPECT_EQ(call.first[1], 0x5555u);
    EXPECT_EQ(U32(call.Entry(0), 88), 1u);
    EXPECT_EQ(U32(call.Entry(1), 88), 2u);
}

TEST_F(NetworkDiagnosticsTest, NothingWantedStillSendsTheStandardCommand) {
    const uint64_t mark = vkssim::RequestMark();
    VKSNETWORKDIAGNOSTICS request;
    std::memset(&request, 0, sizeof(request));
    ASSERT_EQ(VKSNetworkStreamGetDiagnostics(0, &request), VKSERROR_NO_ERROR);
    const auto r = Last(kGetDiagnostics, mark);
    EXPECT_EQ(r.input.size(), 2824u);
    EXPECT_EQ(r.outputLength, 8224u);
    EXPECT_EQ(r.U32(32), 2792u);
    EXPECT_EQ(r.U32(36), 0u);
    VKSNETWORKDIAGNOSTICS zero;
    std::memset(&zero, 0, sizeof(zero));
    EXPECT_EQ(0, std::memcmp(&request, &zero, sizeof(zero)));
}

TEST_F(NetworkDiagnosticsTest, StreamsBeyondTheDevicesGetTheCommonFieldsOfAnEmptyRecord) {
    DiagnosticsCall call(3, 0);
    ASSERT_EQ(VKSNetworkStreamGetDiagnostics(0, &call.request), VKSERROR_NO_ERROR);
    EXPECT_EQ(U32(call.Entry(2), 4), 0u);
    EXPECT_EQ(U32(call.Entry(2), 84), 0u);
    EXPECT_EQ(U32(call.Entry(2), 88), 0u);
    EXPECT_EQ(U32(call.Entry(2), 0), 0xCDCDCDCDu);
    EXPECT_EQ(U32(call.Entry(2), 8), 0xCDCDCDCDu);
}

TEST_F(NetworkDiagnosticsTest, RefusedRequestsSendNothing) {
    const uint64_t mark = vkssim::RequestMark();
    // More interfaces than the device reports counters for.
    DiagnosticsCall three(1, 3);
    EXPECT_EQ(VKSNetworkStreamGetDiagnostics(0, &three.request), VKSERROR_INVALID_ARGUMENT);
    EXPECT_EQ(three.first[0], 0x5555u);
    // Arrays missing for what was asked.
    DiagnosticsCall noCounters(1, 1);
    noCounters.request.pSecondCounters = nullptr;
    EXPECT_EQ(VKSNetworkStreamGetDiagnostics(0, &noCounters.request), VKSERROR_INVALID_ARGUMENT);
    DiagnosticsCall noStreams(1, 0);
    noStreams.request.pStreams = nullptr;
    EXPECT_EQ(VKSNetworkStreamGetDiagnostics(0, &noStreams.request), VKSERROR_INVALID_ARGUMENT);
    // A count whose packets could not state their size.
    DiagnosticsCall huge(0, 0);
    huge.request.NumStreams = 0xFFFFFFFFu;
    huge.request.pStreams = reinterpret_cast<VKSSTREAMDIAGNOSTICS*>(huge.first.data());
    EXPECT_EQ(VKSNetworkStreamGetDiagnostics(0, &huge.request), VKSERROR_INSUFFICIENT_MEMORY);
    huge.request.NumStreams = (0xFFFFFFFFu - 8224u) / 2752u + 1;
    EXPECT_EQ(VKSNetworkStreamGetDiagnostics(0, &huge.request), VKSERROR_INSUFFICIENT_MEMORY);
    EXPECT_TRUE(Sent(kGetDiagnostics, mark).empty());
}

TEST_F(NetworkDiagnosticsTest, AFailedCommandWritesNothing) {
    vkssim::FailWithStatus(kGetDiagnostics, VKSERROR_INSUFFICIENT_RESOURCES, 1);
    DiagnosticsCall call(2, 2);
    EXPECT_EQ(VKSNetworkStreamGetDiagnostics(0, &call.request), VKSERROR_INSUFFICIENT_RESOURCES);
    EXPECT_EQ(call.first[0], 0x5555u);
    EXPECT_EQ(call.second[1], 0x6666u);
    for (size_t i = 0; i < sizeof(VKSSTREAMDIAGNOSTICS); ++i) ASSERT_EQ(call.Entry(0)[i], 0xCD);

    vkssim::ShortReply(kGetDiagnostics, 100, 1);
    EXPECT_EQ(VKSNetworkStreamGetDiagnostics(0, &call.request), VKSERROR_NOACCESS);
    EXPECT_EQ(call.first[0], 0x5555u);
}

// ---- Ping and trace-route -------------------------------------------------------------------

class NetworkTestsTest : public NetworkDiagnosticsTest {
protected:
    void SetUp() override {
        registry_ = std::make_unique<vkstest::ScopedRegistry>(vkstest::ConfigKey("\"DebugLevel\"=dword:00000001"));
        NetworkDiagnosticsTest::SetUp();
        vkssim::SetNetworkDestination(1, "10.20.30.40", vkssim::NetworkReach::Reachable, 3);
        vkssim::SetNetworkDestination(1, "10.20.30.41", vkssim::NetworkReach::Unreachable);
        vkssim::SetNetworkDestination(1, "10.20.30.42", vkssim::NetworkReach::Silent);
    }
    void TearDown() override {
        NetworkDiagnosticsTest::TearDown();
        registry_.reset();
    }
    std::unique_ptr<vkstest::ScopedRegistry> registry_;
};

TEST_F(NetworkTestsTest, PingAnswersFromTheDevicesTable) {
    const uint64_t mark = vkssim::RequestMark();
    EXPECT_EQ(VKSNetworkPingIPAddressA(2, 255, "10.20.30.40"), VKSERROR_DIAG_PING_SUCCESS);
    EXPECT_EQ(VKSNetworkPingIPAddressA(2, 255, "10.20.30.41"), VKSERROR_DIAG_PING_FAIL);
    EXPECT_EQ(VKSNetworkPingIPAddressA(2, 255, "10.20.30.42"), VKSERROR_DIAG_PING_TIMEOUT);
    // The table belongs to the second device only.
    EXPECT_EQ(VKSNetworkPingIPAddressA(0, 255, "10.20.30.40"), VKSERROR_DIAG_PING_TIMEOUT);
    const auto pings = Sent(kPing, mark);
    ASSERT_EQ(pings.size(), 4u);
    EXPECT_EQ(pings[0].device, 1);
    EXPECT_EQ(pings[0].input.size(), 2824u);
    EXPECT_EQ(pings[0].input[24], 255);
    EXPECT_STREQ(reinterpret_cast<const char*>(pings[0].input.data() + 25), "10.20.30.40");
    EXPECT_EQ(pings[0].U32(4), 0u);
    EXPECT_EQ(pings[0].U32(8), 0u);
}

TEST_F(NetworkTestsTest, PingLogsItsStartAndAnInterfaceByteBelow255) {
    vkstest::DebugCapture capture;
    const uint64_t mark = vkssim::RequestMark();
    const char* destination = "10.20.30.40";
    EXPECT_EQ(VKSNetworkPingIPAddressA(3, 0, destination), VKSERROR_DIAG_PING_SUCCESS);
    EXPECT_TRUE(capture.Contains("VKSACC::VKSNetworkPingIPAddressA: START -- check ping from device(3) to "
                                 "pUriDestination("));
    EXPECT_TRUE(capture.Contains(")(10.20.30.40)"));
    EXPECT_TRUE(capture.Contains("VKSNetworkPingIPAddressA: NetIfc is unsuported"));
    // The byte is still sent as given.
    EXPECT_EQ(Last(kPing, mark).input[24], 0);

    capture.Clear();
    EXPECT_EQ(VKSNetworkPingIPAddressA(3, 255, destination), VKSERROR_DIAG_PING_SUCCESS);
    EXPECT_FALSE(capture.Contains("NetIfc is unsuported"));
}

TEST_F(NetworkTestsTest, PingDestinationLimits) {
    const uint64_t mark = vkssim::RequestMark();
    const std::string longest(2047, '7');
    vkssim::SetNetworkDestination(1, longest, vkssim::NetworkReach::Reachable);
    EXPECT_EQ(VKSNetworkPingIPAddressA(2, 255, longest.c_str()), VKSERROR_DIAG_PING_SUCCESS);
    EXPECT_EQ(Last(kPing, mark).input[25 + 2047], 0);

    const uint64_t before = vkssim::RequestMark();
    const std::string tooLong(2048, '7');
    EXPECT_EQ(VKSNetworkPingIPAddressA(2, 255, tooLong.c_str()), VKSERROR_BUFFER_TOO_SMALL);
    EXPECT_TRUE(Sent(kPing, before).empty());
}

TEST_F(NetworkTestsTest, PingWideConvertsToUtf8) {
    const uint64_t mark = vkssim::RequestMark();
    EXPECT_EQ(VKSNetworkPingIPAddressW(2, 255, u"10.20.30.40"), VKSERROR_DIAG_PING_SUCCESS);
    vkssim::SetNetworkDestination(1, "h\xC3\xB4te.example", vkssim::NetworkReach::Unreachable);
    EXPECT_EQ(VKSNetworkPingIPAddressW(2, 255, u"h\u00F4te.example"), VKSERROR_DIAG_PING_FAIL);
    EXPECT_STREQ(reinterpret_cast<const char*>(Last(kPing, mark).input.data() + 25), "h\xC3\xB4te.example");
    EXPECT_EQ(Sent(kPing, mark).size(), 2u);
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
};

TEST_F(NetworkTestsTest, TraceRouteCopiesTheBlocksWhenComplete) {
    const uint64_t mark = vkssim::RequestMark();
    Reports two(2, 8200);
    ASSERT_EQ(VKSNetworkTraceRoute(2, 255, "10.20.30.40", &two.results, 2), VKSERROR_DIAG_TRACEROUTE_COMPLETE);
    EXPECT_EQ(U32(two.blocks[0].Data, 0), 0u);
    EXPECT_EQ(U32(two.blocks[1].Data, 0), 1u);
    EXPECT_EQ(U32(two.blocks[1].Data, 8), 3u);  // hops
    EXPECT_EQ(two.Text(0).rfind("traceroute to 10.20.30.40\n", 0), 0u);
    // Block 0 lists hops 1 and 3, block 1 hop 2 (by way of the interface's network).
    EXPECT_NE(two.Text(0).find("\n3  10.20.30.40  3.12 ms\n"), std::string::npos);
    EXPECT_NE(two.Text(1).find("\n2  192.168.1.2  2.8 ms\n"), std::string::npos);
    EXPECT_EQ(two.blocks[1].Data[4099], 0);
    const auto r = Last(kTraceRoute, mark);
    EXPECT_EQ(r.input[24], 255);
    EXPECT_STREQ(reinterpret_cast<const char*>(r.input.data() + 25), "10.20.30.40");
    EXPECT_EQ(r.U32(2076), 2u);

    // One block asked for: the area's second block stays as it was.
    Reports one(2, 4100);
    ASSERT_EQ(VKSNetworkTraceRoute(2, 255, "10.20.30.40", &one.results, 1), VKSERROR_DIAG_TRACEROUTE_COMPLETE);
    EXPECT_EQ(U32(one.blocks[0].Data, 4), 1u);
    EXPECT_EQ(one.blocks[1].Data[0], 0xEE);
    EXPECT_EQ(Last(kTraceRoute, mark).U32(2076), 1u);
}

TEST_F(NetworkTestsTest, TraceRouteResultsOtherThanCompleteCopyNothing) {
    Reports area(2, 8200);
    EXPECT_EQ(VKSNetworkTraceRoute(2, 255, "10.20.30.41", &area.results, 2), VKSERROR_DIAG_TRACEROUTE_FAIL);
    EXPECT_EQ(VKSNetworkTraceRoute(2, 255, "10.20.30.42", &area.results, 2), VKSERROR_DIAG_TRACEROUTE_TIMEOUT);
    vkssim::FailWithStatus(kTraceRoute, VKSERROR_DIAG_TRACEROUTE_SUCCESS, 1);
    EXPECT_EQ(VKSNetworkTraceRoute(2, 255, "10.20.30.40", &area.results, 2), VKSERROR_DIAG_TRACEROUTE_SUCCESS);
    for (size_t j = 0; j < 2; ++j)
        for (size_t i = 0; i < sizeof(VKSTRACEROUTEREPORT); ++i) ASSERT_EQ(area.blocks[j].Data[i], 0xEE);
}

TEST_F(NetworkTestsTest, TraceRouteRefusals) {
    vkstest::DebugCapture capture;
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
    EXPECT_FALSE(capture.Contains("wrong memmory allocation"));
    Reports wrongSize(2, 8199);
    EXPECT_EQ(VKSNetworkTraceRoute(2, 255, "10.20.30.40", &wrongSize.results, 2), VKSERROR_BUFFER_TOO_SMALL);
    EXPECT_TRUE(capture.Contains("VKSNetworkTraceRoute: wrong memmory allocation"));
    EXPECT_TRUE(Sent(kTraceRoute, mark).empty());
    for (size_t i = 0; i < sizeof(VKSTRACEROUTEREPORT); ++i) ASSERT_EQ(wrongSize.blocks[0].Data[i], 0xEE);

    EXPECT_EQ(VKSNetworkTraceRoute(2, 1, "10.20.30.40", &two.results, 2), VKSERROR_DIAG_TRACEROUTE_COMPLETE);
    EXPECT_TRUE(capture.Contains("VKSNetworkTraceRoute: netIfc is unsuported"));
    EXPECT_TRUE(capture.Contains("VKSACC::VKSNetworkTraceRoute: START -- check traceroute from device(2) to "
                                 "pUriDestination("));
}

TEST_F(NetworkTestsTest, PortTestIsUnsupported) {
    EXPECT_EQ(VKSNetworkPortTestAddressA(0, "10.20.30.40", 80), VKSERROR_UNSUPPORTED);
    EXPECT_EQ(VKSNetworkPortTestAddressW(0, u"10.20.30.40", 80), VKSERROR_UNSUPPORTED);
}

// ---- Configured interfaces --------------------------------------------------------------------

TEST_F(NetworkDiagnosticsTest, InterfaceInfoWritesFamilyAndAddressBytes) {
    ASSERT_TRUE(vkssim::SetNetworkInterfaceAddresses(0, 0x0A000001u, 0));
    VKSINTERFACEADDRESS entries[2];
    std::memset(entries, 0xEE, sizeof(entries));
    uint32_t count = 2;
    ASSERT_EQ(VKSNetworkConfiguredInterfaceInfo(0, entries, &count), VKSERROR_NO_ERROR);
    EXPECT_EQ(count, 1u);
    const uint8_t* e = reinterpret_cast<const uint8_t*>(&entries[0]);
    EXPECT_EQ(U16(e, 8), 2u);
    EXPECT_EQ(e[12], 10);
    EXPECT_EQ(e[13], 0);
    EXPECT_EQ(e[14], 0);
    EXPECT_EQ(e[15], 1);
    for (size_t i : {0, 7, 10, 11, 16, 135}) EXPECT_EQ(e[i], 0xEE) << i;
    EXPECT_EQ(entries[1].Family, 0xEEEE);

    // Only interface 1 configured: it takes the first entry.
    ASSERT_TRUE(vkssim::SetNetworkInterfaceAddresses(1, 0, 0xC0A80A0Bu));
    count = 2;
    ASSERT_EQ(VKSNetworkConfiguredInterfaceInfo(1, entries, &count), VKSERROR_NO_ERROR);
    EXPECT_EQ(count, 1u);
    EXPECT_EQ(std::vector<uint8_t>(entries[0].Address, entries[0].Address + 4), (std::vector<uint8_t>{192, 168, 10, 11}));
}

TEST_F(NetworkDiagnosticsTest, InterfaceInfoWithCapacityOneAndTwoAddresses) {
    VKSINTERFACEADDRESS entries[2];
    std::memset(entries, 0xEE, sizeof(entries));
    uint32_t count = 1;
    EXPECT_EQ(VKSNetworkConfiguredInterfaceInfo(0, entries, &count), VKSERROR_BUFFER_TOO_SMALL);
    EXPECT_EQ(count, 1u);
    // The first entry was filled (192.168.1.100), the second never touched.
    EXPECT_EQ(entries[0].Family, 2u);
    EXPECT_EQ(std::vector<uint8_t>(entries[0].Address, entries[0].Address + 4), (std::vector<uint8_t>{192, 168, 1, 100}));
    EXPECT_EQ(entries[1].Family, 0xEEEE);

    count = 2;
    ASSERT_EQ(VKSNetworkConfiguredInterfaceInfo(0, entries, &count), VKSERROR_NO_ERROR);
    EXPECT_EQ(count, 2u);
    EXPECT_EQ(std::vector<uint8_t>(entries[1].Address, entries[1].Address + 4), (std::vector<uint8_t>{10, 0, 0, 1}));

    // No room at all and nowhere to write.
    count = 0;
    EXPECT_EQ(VKSNetworkConfiguredInterfaceInfo(0, nullptr, &count), VKSERROR_BUFFER_TOO_SMALL);
    EXPECT_EQ(count, 0u);
    count = 1;
    EXPECT_EQ(VKSNetworkConfiguredInterfaceInfo(0, nullptr, &count), VKSERROR_INVALID_ARGUMENT);
}

TEST_F(NetworkDiagnosticsTest, InterfaceInfoFailures) {
    VKSINTERFACEADDRESS entries[2];
    uint32_t count = 2;
    EXPECT_EQ(VKSNetworkConfiguredInterfaceInfo(2, entries, &count), VKSERROR_INVALID_INPUT);
    vkssim::FailWithStatus(kGetIpConfig, VKSERROR_INSUFFICIENT_RESOURCES, 1);
    EXPECT_EQ(VKSNetworkConfiguredInterfaceInfo(0, entries, &count), VKSERROR_NOACCESS);
    vkssim::FailCreate(0, ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(VKSNetworkConfiguredInterfaceInfo(0, entries, &count), VKSERROR_INVALID_HANDLE);
    vkssim::FailCreate(0, 0);
    EXPECT_EQ(count, 2u);
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
    const auto queries = Sent(kGetIpConfig, mark);
    ASSERT_EQ(queries.size(), 2u);
    EXPECT_EQ(queries[0].device, 0);
    EXPECT_EQ(queries[1].device, 1);

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
}

TEST(NetworkInterfacesWithoutEngine, AnswerWithNoPorts) {
    vkssim::Reset();
    vkssim::AddDevice(vkssim::DeviceConfig{});
    uint32_t count = 99;
    EXPECT_EQ(VKSNetworkConfiguredInterfaceCount(&count), VKSERROR_NO_ERROR);
    EXPECT_EQ(count, 0u);
    VKSINTERFACEADDRESS entry;
    count = 1;
    EXPECT_EQ(VKSNetworkConfiguredInterfaceInfo(0, &entry, &count), VKSERROR_INVALID_INPUT);
    vkssim::Reset();
}

}  // namespace
