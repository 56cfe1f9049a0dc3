// Discovery sessions against the device simulator: open, start and stop, the
// delivery of found devices through the records the library builds, error
// notifications, and ONVIF device events written to the log.
#include "vksacc.h"
#include "vkssim/sim.h"
#include "vks_win32/window_ext.h"

#include "support/bytes.h"
#include "support/sim_engine_test.h"
#include "support/callback_recorder.h"
#include "support/test_env.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

using namespace std::chrono_literals;
using vkstest::CallbackRecorder;
using vkstest::Bytes;
using vkstest::U32;
using vkstest::U64;

namespace {

constexpr uint32_t kStartCode = 0x22C4A8;
constexpr uint32_t kStopCode = 0x22C4AC;
constexpr uint32_t kFetchCode = 0x22C4B0;
constexpr uint32_t kEventCode = VKSSIM_IOCTL_EVENT_REQUEST;
constexpr size_t kEntity = VKS_DISCO_ENTITY_SIZE;

// One call of the discovery function, with everything its records lead to
// copied while the call lasts (the entity buffer is freed afterwards).
struct DiscoveryCall {
    HVKS handle = 0;
    VKSERROR status = 0;
    void* context = nullptr;
    uintptr_t parmsAddress = 0;
    std::vector<uint8_t> parms{}, data{}, list{}, entities{};
    uint32_t countPointee = 0;
    VKSERROR actionResult = 0;
};

class DiscoveryRecorder : public vkstest::CallLog<DiscoveryCall> {
public:
    // Something the function does on the worker thread before it returns.
    std::function<VKSERROR(HVKS)> action;

    static void VKSAPI Function(HVKS handle, DiscoParms* parms, void* context, VKSERROR status) {
        auto* self = static_cast<DiscoveryRecorder*>(context);
        DiscoveryCall call{handle, status, context, reinterpret_cast<uintptr_t>(parms)};
        if (parms != nullptr) {
            call.parms = Bytes(parms, sizeof(DiscoParms));
            if (parms->pCount != nullptr) call.countPointee = *parms->pCount;
            if (const DiscoData* data = parms->pDiscoData) {
                call.data = Bytes(data, sizeof(DiscoData));
                if (const DiscoEntityList* list = data->pEntityList) {
                    call.list = Bytes(list, sizeof(DiscoEntityList));
                    if (list->pEntity != nullptr) call.entities = Bytes(list->pEntity, list->EntitySize);
                }
            }
        }
        if (self->action) call.actionResult = self->action(handle);
        self->Add(std::move(call));
    }
};

// A found device's record as the simulated driver reports it.
std::vector<uint8_t> Thing(uint8_t fill, const std::string& name) {
    std::vector<uint8_t> thing(kEntity, fill);
    std::memcpy(thing.data(), name.c_str(), name.size() + 1);
    return thing;
}

// A record's bytes with its pointers (at `offsets`) cleared, to be compared
// whole with the record expected.
std::vector<uint8_t> WithoutPointers(std::vector<uint8_t> bytes, std::initializer_list<size_t> offsets) {
    for (size_t offset : offsets) {
        if (offset + 8 <= bytes.size()) std::memset(bytes.data() + offset, 0, 8);
    }
    return bytes;
}

// A record of `size` zero bytes but for the 32-bit `fields` at their offsets.
std::vector<uint8_t> Record(size_t size, std::initializer_list<std::pair<size_t, uint32_t>> fields) {
    std::vector<uint8_t> bytes(size, 0);
    for (const auto& [offset, value] : fields) std::memcpy(bytes.data() + offset, &value, sizeof value);
    return bytes;
}

// The parameters of a notification without records: only their size is set.
std::vector<uint8_t> EmptyParms() { return Record(64, {{0, 64}}); }

class DiscoveryTest : public vkstest::SimEngineTest {
protected:
    void SetUp() override {
        SimEngineTest::SetUp();
        ASSERT_EQ(AddDevice(1, 2, 0, 1), 0);
    }
    // Loads the engine and opens session_ with the recorder's function.
    void LoadAndOpen() {
        Load();
        session_ = Open(&driverHandle_);
        ASSERT_NE(session_, 0u);
        ASSERT_EQ(VKSDiscoverySetCallbackFn(session_, DiscoveryRecorder::Function, &recorder_), VKSERROR_NO_ERROR);
    }
    // Opens a session on decoder input 0 and returns it with its driver handle.
    HVKS Open(uint32_t* driverHandle) {
        HVKS handle = 0;
        EXPECT_EQ(VKSDiscoInit(0, &handle), VKSERROR_NO_ERROR);
        *driverHandle = DriverHandle(0, VKSDEVICETYPE_DISCOVERY, 0);
        // The session's event request is outstanding from the open on.
        EXPECT_TRUE(vkssim::WaitForHeld(0, kEventCode, 1, 5s));
        return handle;
    }
    // Raises an event and waits until the worker has handled it (it asks for
    // the next event only after it is done with this one); true if the
    // library fetched the delivery.
    bool ReportAndFetched(uint32_t interfaceNumber, uint64_t things) {
        const uint64_t mark = vkssim::RequestMark();
        EXPECT_TRUE(vkssim::ReportDiscoveredDevices(0, driverHandle_, interfaceNumber, things));
        EXPECT_TRUE(vkssim::WaitForRequest(kEventCode, mark, 5s).has_value());
        return SentSince(kFetchCode, mark);
    }
    static bool SentSince(uint32_t code, uint64_t mark) { return !Sent(code, mark).empty(); }

    uint32_t driverHandle_ = 0;
    HVKS session_ = 0;
    DiscoveryRecorder recorder_;
};

TEST_F(DiscoveryTest, FoundDevicesReachTheFunctionThroughTheRecords) {
    vkssim::DiscoveryResults results;
    results.interfaceNumber = 1;
    results.things = {Thing(0x11, "camera-a"), Thing(0x22, "camera-b"), Thing(0x33, "encoder-c")};
    ASSERT_TRUE(vkssim::SetDiscoveryResults(0, results));
    ASSERT_NO_FATAL_FAILURE(LoadAndOpen());

    const uint64_t mark = vkssim::RequestMark();
    ASSERT_EQ(VKSDiscoStart(0xDEAD, session_, 0x1122334455667788ull), VKSERROR_NO_ERROR);
    ASSERT_TRUE(recorder_.WaitFor(1));
    const auto start = Received(kStartCode, mark);
    EXPECT_EQ(std::make_tuple(start.U32(4), start.U32(8), start.U32(12), start.U32(24), start.U64(32)),
              std::make_tuple(uint32_t{VKSDEVICETYPE_DISCOVERY}, 0u, driverHandle_, 64u, 0x1122334455667788ull));

    const DiscoveryCall call = recorder_.Calls().at(0);
    EXPECT_EQ(std::make_tuple(call.handle, call.status, call.context),
              std::make_tuple(session_, VKSERROR_NO_ERROR, static_cast<void*>(&recorder_)));
    // The records, whole but for their pointers: DiscoParms with the count
    // behind its pointer, DiscoData, and the list of three things on interface 1.
    EXPECT_EQ(WithoutPointers(call.parms, {24, 48}), Record(64, {{0, 64}, {32, 1}, {56, 168}}));
    EXPECT_EQ(call.countPointee, 1u);
    EXPECT_EQ(WithoutPointers(call.data, {152}), Record(168, {{0, 168}, {160, 24}}));
    EXPECT_EQ(WithoutPointers(call.list, {8}), Record(24, {{0, 1}, {16, 3 * kEntity}}));
    std::vector<uint8_t> things;
    for (const auto& thing : results.things) things.insert(things.end(), thing.begin(), thing.end());
    EXPECT_EQ(call.entities, things);

    // The fetch named the very records the function saw.
    const auto fetch = Received(kFetchCode, mark);
    EXPECT_EQ(std::make_tuple(fetch.U64(24), fetch.U32(32), fetch.U32(12)),
              std::make_tuple(uint64_t{call.parmsAddress}, 64u, driverHandle_));
    EXPECT_TRUE(vkssim::GetDiscoverySession(0, driverHandle_)->started);

    // The worker asks for the next event after the delivery.
    EXPECT_TRUE(vkssim::WaitForHeld(0, kEventCode, 1, 5s));
    EXPECT_EQ(recorder_.Calls().size(), 1u);
}

// Deliveries the library does not fetch: another interface's, counts beyond
// what a delivery holds, and any without a function registered.
TEST_F(DiscoveryTest, DeliveriesThatAreNotFetched) {
    ASSERT_NO_FATAL_FAILURE(LoadAndOpen());
    // 2^62 things would wrap a 64-bit product; 4 million overflow the 32-bit
    // size word; 3 million would take 3.7 GB; 4097 is one more than a delivery holds.
    const std::pair<uint32_t, uint64_t> dropped[] = {{2, 5}, {1, 1ull << 62}, {1, 4000000}, {1, 3000000}, {1, 4097}};
    for (const auto& [interfaceNumber, things] : dropped) EXPECT_FALSE(ReportAndFetched(interfaceNumber, things));
    EXPECT_TRUE(recorder_.Calls().empty());
    EXPECT_TRUE(ReportAndFetched(1, 4096));
    ASSERT_EQ(recorder_.Calls().size(), 1u);
    EXPECT_EQ(U32(recorder_.Calls()[0].list, 16), 4096 * kEntity);

    ASSERT_EQ(VKSDiscoverySetCallbackFn(session_, nullptr, nullptr), VKSERROR_NO_ERROR);
    EXPECT_FALSE(ReportAndFetched(1, 3));
    EXPECT_EQ(recorder_.Calls().size(), 1u);
}

// Error notifications and a failed fetch come with empty parameters (the
// next delivery fetches normally); once the driver has closed the session,
// its starts and stops are not sent.
TEST_F(DiscoveryTest, ErrorsComeWithEmptyParameters) {
    vkssim::DiscoveryResults results;
    results.things = {Thing(0x44, "x")};
    ASSERT_TRUE(vkssim::SetDiscoveryResults(0, results));
    ASSERT_NO_FATAL_FAILURE(LoadAndOpen());
    vkssim::FailWithStatus(kFetchCode, VKSERROR_CMD_TIMEOUT, 1);
    ASSERT_EQ(VKSDiscoStart(0, session_, 0), VKSERROR_NO_ERROR);
    ASSERT_TRUE(recorder_.WaitFor(1));
    ASSERT_EQ(VKSDiscoStart(0, session_, 0), VKSERROR_NO_ERROR);
    ASSERT_TRUE(recorder_.WaitFor(2));
    EXPECT_EQ(recorder_.Calls()[1].status, VKSERROR_NO_ERROR);
    EXPECT_EQ(recorder_.Calls()[1].entities, results.things[0]);
    ASSERT_TRUE(vkssim::RaiseEvent(0, driverHandle_, VKSERROR_STREAM_STOPPED, 9));
    ASSERT_TRUE(vkssim::RaiseEvent(0, driverHandle_, VKSERROR_CLIENT_CLOSED));
    ASSERT_TRUE(recorder_.WaitFor(4));
    const VKSERROR expected[] = {VKSERROR_CMD_TIMEOUT, 0, VKSERROR_STREAM_STOPPED, VKSERROR_CLIENT_CLOSED};
    for (const size_t i : std::initializer_list<size_t>{0, 2, 3}) {
        const DiscoveryCall call = recorder_.Calls()[i];
        EXPECT_EQ(std::make_tuple(call.handle, call.status, call.context, call.parms),
                  std::make_tuple(session_, expected[i], static_cast<void*>(&recorder_), EmptyParms()));
    }
    const uint64_t mark = vkssim::RequestMark();
    EXPECT_EQ(VKSDiscoStart(0, session_, 0), VKSERROR_NO_ERROR);
    EXPECT_EQ(VKSDiscoStop(0, session_), VKSERROR_NO_ERROR);
    EXPECT_FALSE(SentSince(kStartCode, mark));
    EXPECT_FALSE(SentSince(kStopCode, mark));
}

TEST_F(DiscoveryTest, TheFunctionMayCloseItsOwnSession) {
    recorder_.action = [](HVKS handle) { return VKSDiscoUninit(0, handle); };
    ASSERT_NO_FATAL_FAILURE(LoadAndOpen());
    ASSERT_TRUE(vkssim::ReportDiscoveredDevices(0, driverHandle_, 1, 1));
    ASSERT_TRUE(recorder_.WaitFor(1));
    EXPECT_EQ(recorder_.Calls()[0].actionResult, VKSERROR_NO_ERROR);
    EXPECT_FALSE(vkssim::GetObject(0, driverHandle_).has_value());

    // The worker carries on with other sessions.
    recorder_.action = nullptr;
    uint32_t nextDriverHandle = 0;
    const HVKS next = Open(&nextDriverHandle);
    ASSERT_EQ(VKSDiscoverySetCallbackFn(next, DiscoveryRecorder::Function, &recorder_), VKSERROR_NO_ERROR);
    ASSERT_TRUE(vkssim::ReportDiscoveredDevices(0, nextDriverHandle, 1, 2));
    ASSERT_TRUE(recorder_.WaitFor(2));
    EXPECT_EQ(std::make_pair(recorder_.Calls()[1].handle, recorder_.Calls()[1].status),
              std::make_pair(next, VKSERROR_NO_ERROR));
}

// The last engine free closes the sessions and streams left open, in the
// order they were opened, while a session's function (its session held)
// closes a stream of its own: neither may wait for the other.
TEST_F(DiscoveryTest, TheFunctionMayCloseAStreamWhileTheEngineIsFreed) {
    vkstest::ScopedRegistry registry(vkstest::ConfigKey("\"DebugLevel\"=dword:00000001"));
    vkstest::DebugCapture capture;
    ASSERT_NO_FATAL_FAILURE(LoadAndOpen());
    HVKS stream = 0;
    ASSERT_EQ(VKSNetworkStreamOpenExA(0, "udp://239.1.1.1:5000", 0, &stream, nullptr), VKSERROR_NO_ERROR);
    char closing[64];
    std::snprintf(closing, sizeof closing, "DeviceClose: START - hVKS(0x%x)", session_);
    const HANDLE entered = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    recorder_.action = [&](HVKS) {
        SetEvent(entered);
        // Closes only once the engine free is waiting for this session.
        EXPECT_TRUE(capture.WaitFor(closing));
        return VKSNetworkStreamClose(stream);
    };
    ASSERT_TRUE(vkssim::ReportDiscoveredDevices(0, driverHandle_, 1, 1));
    ASSERT_EQ(WaitForSingleObject(entered, 5000), WAIT_OBJECT_0);
    CloseHandle(entered);
    Free();
    ASSERT_TRUE(recorder_.WaitFor(1));
    EXPECT_EQ(recorder_.Calls()[0].actionResult, VKSERROR_NO_ERROR);
    EXPECT_FALSE(vkssim::GetObject(0, driverHandle_).has_value());
    EXPECT_FALSE(capture.Contains("Cannot remove handle"));
}

TEST_F(DiscoveryTest, StartAndStopReportOnlyHandleAndEngineFailures) {
    HVKS session = 0;
    EXPECT_EQ(VKSDiscoInit(0, &session), VKSERROR_UNINITIALIZED);
    EXPECT_EQ(VKSDiscoStart(0, 0x40001, 0), VKSERROR_UNINITIALIZED);
    Load();
    EXPECT_EQ(VKSDiscoInit(2, &session), VKSERROR_INVALID_INPUT);

    uint32_t driverHandle = 0;
    session = Open(&driverHandle);
    vkssim::FailWithStatus(kStartCode, VKSERROR_UNEXPECTED, 1);
    vkssim::FailWithStatus(kStopCode, VKSERROR_INVALID_STATE, 1);
    uint64_t mark = vkssim::RequestMark();
    EXPECT_EQ(VKSDiscoStart(0, session, 7), VKSERROR_NO_ERROR);
    EXPECT_TRUE(SentSince(kStartCode, mark));
    mark = vkssim::RequestMark();
    EXPECT_EQ(VKSDiscoStop(0, session), VKSERROR_NO_ERROR);
    EXPECT_EQ(Received(kStopCode, mark).U32(12), driverHandle);
    // Repeated starts and stops reach the device each time; the refused
    // start had no effect.
    EXPECT_EQ(VKSDiscoStart(0, session, 8), VKSERROR_NO_ERROR);
    EXPECT_EQ(VKSDiscoStop(0, session), VKSERROR_NO_ERROR);
    const auto seen = vkssim::GetDiscoverySession(0, driverHandle);
    ASSERT_TRUE(seen.has_value());
    EXPECT_EQ(std::make_tuple(seen->starts, seen->stops, seen->startParams), std::make_tuple(1u, 1u, uint64_t{8}));

    // A second session on the same input is refused by the device.
    HVKS second = 0;
    EXPECT_EQ(VKSDiscoInit(0, &second), VKSERROR_DISCOVERY_DEVICE_IN_USE);

    EXPECT_EQ(VKSDiscoUninit(0, session), VKSERROR_NO_ERROR);
}

// --- ONVIF device events ---------------------------------------------------------------
// The log lines themselves are checked in tests/driver/onvif_events_test.cpp,
// which delivers through the library's own device handle. Here the event comes
// from the simulator, addressed to the device, and the platform finds the
// windows registered on that device's files.
TEST_F(DiscoveryTest, SimulatorOnvifEventIsLoggedAtTrace) {
    vkstest::ScopedRegistry registry(vkstest::ConfigKey("\"DebugLevel\"=dword:00000008"));
    vkstest::DebugCapture capture;
    Load();
    CallbackRecorder barrier;
    HVKS stream = 0;
    ASSERT_EQ(VKSNetworkStreamOpenExA(0, "udp://239.1.1.1:5000", 0, &stream, nullptr), VKSERROR_NO_ERROR);
    ASSERT_EQ(VKSNetworkStreamSetErrorFn(stream, 0, CallbackRecorder::NetworkError, &barrier), VKSERROR_NO_ERROR);
    // Once a display change has reached the stream, its window has registered
    // for the device's events.
    VksBroadcastDisplayChange(32, 1920, 1080);
    ASSERT_TRUE(barrier.WaitFor(1));
    vkssim::OnvifDevice device;
    device.hardwareId = "HW-SIM";
    ASSERT_TRUE(vkssim::RaiseOnvifDeviceEvent(0, vkssim::OnvifDeviceRecord(device)));
    // The device event may come from a thread of the driver's own (as the
    // Windows driver host sends it), so its last line is waited for.
    EXPECT_TRUE(capture.WaitFor("HardwareId: HW-SIM"));
    EXPECT_TRUE(capture.Contains("Found ONVIF device with 0 profiles"));
    EXPECT_EQ(VKSNetworkStreamClose(stream), VKSERROR_NO_ERROR);
}

}  // namespace
