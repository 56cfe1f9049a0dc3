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

#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

using namespace std::chrono_literals;
using vkstest::CallbackRecorder;
using vkstest::U32;
using vkstest::U64;

namespace {

constexpr uint32_t kStartCode = 0x22C4A8;
constexpr uint32_t kStopCode = 0x22C4AC;
constexpr uint32_t kFetchCode = 0x22C4B0;
constexpr uint32_t kEventCode = VKSSIM_IOCTL_EVENT_REQUEST;
constexpr size_t kEntity = VKS_DISCO_ENTITY_SIZE;

std::vector<uint8_t> Bytes(const void* record, size_t size) {
    const auto* p = static_cast<const uint8_t*>(record);
    return std::vector<uint8_t>(p, p + size);
}

// One call of the discovery function, with everything its records lead to
// copied while the call lasts (the entity buffer is freed afterwards).
struct DiscoveryCall {
    HVKS handle = 0;
    VKSERROR status = 0;
    void* context = nullptr;
    uintptr_t parmsAddress = 0;
    uintptr_t dataAddress = 0;
    std::vector<uint8_t> parms, data, list, entities;
    uint32_t countPointee = 0;
    bool dataMatches = false;  // DiscoParms names the DiscoData that names the list
    VKSERROR actionResult = 0;
};

class DiscoveryRecorder {
public:
    // Something the function does on the worker thread before it returns.
    std::function<VKSERROR(HVKS)> action;

    static void VKSAPI Function(HVKS handle, DiscoParms* parms, void* context, VKSERROR status) {
        auto* self = static_cast<DiscoveryRecorder*>(context);
        DiscoveryCall call;
        call.handle = handle;
        call.status = status;
        call.context = context;
        call.parmsAddress = reinterpret_cast<uintptr_t>(parms);
        if (parms != nullptr) {
            call.parms = Bytes(parms, sizeof(DiscoParms));
            if (parms->pCount != nullptr) call.countPointee = *parms->pCount;
            const DiscoData* data = parms->pDiscoData;
            call.dataAddress = reinterpret_cast<uintptr_t>(data);
            if (data != nullptr) {
                call.data = Bytes(data, sizeof(DiscoData));
                const DiscoEntityList* list = data->pEntityList;
                call.dataMatches = U64(call.parms, 48) == reinterpret_cast<uintptr_t>(data) &&
                                   U64(call.data, 152) == reinterpret_cast<uintptr_t>(list);
                if (list != nullptr) {
                    call.list = Bytes(list, sizeof(DiscoEntityList));
                    if (list->pEntity != nullptr) call.entities = Bytes(list->pEntity, list->EntitySize);
                }
            }
        }
        if (self->action) call.actionResult = self->action(handle);
        std::lock_guard<std::mutex> lock(self->mutex_);
        self->calls_.push_back(std::move(call));
        self->changed_.notify_all();
    }

    bool WaitFor(size_t count, std::chrono::milliseconds timeout = 10s) {
        std::unique_lock<std::mutex> lock(mutex_);
        return changed_.wait_for(lock, timeout, [&] { return calls_.size() >= count; });
    }
    std::vector<DiscoveryCall> Calls() {
        std::lock_guard<std::mutex> lock(mutex_);
        return calls_;
    }

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<DiscoveryCall> calls_;
};

// A found device's record as the simulated driver reports it.
std::vector<uint8_t> Thing(uint8_t fill, const std::string& name) {
    std::vector<uint8_t> thing(kEntity, fill);
    std::memcpy(thing.data(), name.c_str(), name.size() + 1);
    return thing;
}

class DiscoveryTest : public vkstest::SimEngineTest {
protected:
    void SetUp() override {
        SimEngineTest::SetUp();
        ASSERT_EQ(AddDevice(1, 2, 0, 1), 0);
    }
    // Loads the engine and opens a session whose function is the recorder's.
    HVKS LoadAndOpen(uint32_t* driverHandle, DiscoveryRecorder* recorder) {
        EXPECT_EQ(VKSEngineLoad(&engine_), VKSERROR_NO_ERROR);
        loaded_ = true;
        const HVKS session = Open(driverHandle);
        EXPECT_EQ(VKSDiscoverySetCallbackFn(session, DiscoveryRecorder::Function, recorder), VKSERROR_NO_ERROR);
        return session;
    }
    // Opens a session on decoder input 0 and returns it with its driver handle.
    HVKS Open(uint32_t* driverHandle) {
        HVKS handle = 0;
        EXPECT_EQ(VKSDiscoInit(0, &handle), VKSERROR_NO_ERROR);
        const auto object = vkssim::FindObject(0, VKSDEVICETYPE_DISCOVERY, 0);
        EXPECT_TRUE(object.has_value());
        *driverHandle = object.has_value() ? object->handle : 0;
        // The session's event request is outstanding from the open on.
        EXPECT_TRUE(vkssim::WaitForHeld(0, kEventCode, 1, 5s));
        return handle;
    }
    // Raises an event and waits until the worker has handled it: it asks for
    // the next event only after it is done with this one.
    void ReportAndWaitHandled(uint32_t driverHandle, uint32_t interfaceNumber, uint64_t things, uint64_t* mark) {
        *mark = vkssim::RequestMark();
        ASSERT_TRUE(vkssim::ReportDiscoveredDevices(0, driverHandle, interfaceNumber, things));
        ASSERT_TRUE(vkssim::WaitForRequest(kEventCode, *mark, 5s).has_value());
    }
    static bool SentSince(uint32_t code, uint64_t mark) {
        for (const auto& r : vkssim::Requests()) {
            if (r.sequence >= mark && r.code == code) return true;
        }
        return false;
    }

};

TEST_F(DiscoveryTest, FoundDevicesReachTheFunctionThroughTheRecords) {
    vkssim::DiscoveryResults results;
    results.interfaceNumber = 1;
    results.things = {Thing(0x11, "camera-a"), Thing(0x22, "camera-b"), Thing(0x33, "encoder-c")};
    ASSERT_TRUE(vkssim::SetDiscoveryResults(0, results));
    uint32_t driverHandle = 0;
    DiscoveryRecorder recorder;
    const HVKS session = LoadAndOpen(&driverHandle, &recorder);
    ASSERT_NE(session, 0u);

    const uint64_t mark = vkssim::RequestMark();
    ASSERT_EQ(VKSDiscoStart(0xDEAD, session, 0x1122334455667788ull), VKSERROR_NO_ERROR);
    ASSERT_TRUE(recorder.WaitFor(1));

    const auto start = vkssim::WaitForRequest(kStartCode, mark, 1s);
    ASSERT_TRUE(start.has_value());
    EXPECT_EQ(start->U32(4), VKSDEVICETYPE_DISCOVERY);
    EXPECT_EQ(start->U32(8), 0u);
    EXPECT_EQ(start->U32(12), driverHandle);
    EXPECT_EQ(start->U32(24), 64u);
    EXPECT_EQ(start->U64(32), 0x1122334455667788ull);

    const auto calls = recorder.Calls();
    ASSERT_EQ(calls.size(), 1u);
    const DiscoveryCall& call = calls[0];
    EXPECT_EQ(call.handle, session);
    EXPECT_EQ(call.status, VKSERROR_NO_ERROR);
    EXPECT_EQ(call.context, &recorder);
    EXPECT_TRUE(call.dataMatches);

    // DiscoParms: its size, the count behind its pointer, the data record.
    ASSERT_EQ(call.parms.size(), 64u);
    EXPECT_EQ(U32(call.parms, 0), 64u);
    EXPECT_EQ(call.countPointee, 1u);
    EXPECT_EQ(U32(call.parms, 32), 1u);
    EXPECT_EQ(U64(call.parms, 48), call.dataAddress);
    EXPECT_EQ(U32(call.parms, 56), 168u);
    // DiscoData.
    ASSERT_EQ(call.data.size(), 168u);
    EXPECT_EQ(U32(call.data, 0), 168u);
    for (size_t i = 4; i < 152; ++i) EXPECT_EQ(call.data[i], 0u) << "DiscoData byte " << i;
    EXPECT_EQ(U32(call.data, 160), 24u);
    // DiscoEntityList: interface 1, three things of 1228 bytes.
    ASSERT_EQ(call.list.size(), 24u);
    EXPECT_EQ(U32(call.list, 0), 1u);
    EXPECT_EQ(U32(call.list, 16), 3684u);
    ASSERT_EQ(call.entities.size(), 3684u);
    for (size_t i = 0; i < 3; ++i) {
        const std::vector<uint8_t> got(call.entities.begin() + i * kEntity, call.entities.begin() + (i + 1) * kEntity);
        EXPECT_EQ(got, results.things[i]) << "thing " << i;
    }

    // The fetch named the very records the function saw.
    const auto fetch = vkssim::WaitForRequest(kFetchCode, mark, 1s);
    ASSERT_TRUE(fetch.has_value());
    EXPECT_EQ(fetch->U64(24), call.parmsAddress);
    EXPECT_EQ(fetch->U32(32), 64u);
    EXPECT_EQ(fetch->U32(12), driverHandle);
    EXPECT_TRUE(vkssim::GetDiscoverySession(0, driverHandle)->started);

    // The worker asks for the next event after the delivery.
    EXPECT_TRUE(vkssim::WaitForHeld(0, kEventCode, 1, 5s));
    ASSERT_EQ(VKSDiscoStop(0, session), VKSERROR_NO_ERROR);
    EXPECT_FALSE(vkssim::GetDiscoverySession(0, driverHandle)->started);
    EXPECT_EQ(VKSDiscoUninit(0, session), VKSERROR_NO_ERROR);
    EXPECT_FALSE(vkssim::FindObject(0, VKSDEVICETYPE_DISCOVERY, 0).has_value());
    EXPECT_EQ(recorder.Calls().size(), 1u);
}

// Deliveries the library does not fetch: another interface's, counts beyond
// what a delivery holds, and any without a function registered.
TEST_F(DiscoveryTest, DeliveriesThatAreNotFetched) {
    uint32_t driverHandle = 0;
    DiscoveryRecorder recorder;
    const HVKS session = LoadAndOpen(&driverHandle, &recorder);
    ASSERT_NE(session, 0u);
    uint64_t mark = 0;
    // 2^62 things would wrap a 64-bit product; 4 million overflow the 32-bit
    // size word; 3 million would take 3.7 GB; 4097 is one more than a delivery holds.
    const std::pair<uint32_t, uint64_t> dropped[] = {{2, 5}, {1, 1ull << 62}, {1, 4000000}, {1, 3000000}, {1, 4097}};
    for (const auto& [interfaceNumber, things] : dropped) {
        ReportAndWaitHandled(driverHandle, interfaceNumber, things, &mark);
    }
    EXPECT_FALSE(SentSince(kFetchCode, 0));
    EXPECT_TRUE(recorder.Calls().empty());
    ReportAndWaitHandled(driverHandle, 1, 4096, &mark);
    EXPECT_TRUE(SentSince(kFetchCode, mark));
    ASSERT_EQ(recorder.Calls().size(), 1u);
    EXPECT_EQ(U32(recorder.Calls()[0].list, 16), 4096 * kEntity);

    ASSERT_EQ(VKSDiscoverySetCallbackFn(session, nullptr, nullptr), VKSERROR_NO_ERROR);
    ReportAndWaitHandled(driverHandle, 1, 3, &mark);
    EXPECT_FALSE(SentSince(kFetchCode, mark));
    EXPECT_EQ(recorder.Calls().size(), 1u);
    EXPECT_EQ(VKSDiscoUninit(0, session), VKSERROR_NO_ERROR);
}

TEST_F(DiscoveryTest, ErrorNotificationsComeWithEmptyParameters) {
    uint32_t driverHandle = 0;
    DiscoveryRecorder recorder;
    const HVKS session = LoadAndOpen(&driverHandle, &recorder);
    ASSERT_NE(session, 0u);
    ASSERT_TRUE(vkssim::RaiseEvent(0, driverHandle, VKSERROR_STREAM_STOPPED, 9));
    ASSERT_TRUE(recorder.WaitFor(1));
    const DiscoveryCall call = recorder.Calls()[0];
    EXPECT_EQ(call.handle, session);
    EXPECT_EQ(call.status, VKSERROR_STREAM_STOPPED);
    EXPECT_EQ(call.context, &recorder);
    ASSERT_EQ(call.parms.size(), 64u);
    EXPECT_EQ(U32(call.parms, 0), 64u);
    for (size_t i = 4; i < 64; ++i) EXPECT_EQ(call.parms[i], 0u) << "DiscoParms byte " << i;
    EXPECT_EQ(VKSDiscoUninit(0, session), VKSERROR_NO_ERROR);
}

TEST_F(DiscoveryTest, AFailedFetchIsReportedAsItsFailure) {
    vkssim::DiscoveryResults results;
    results.things = {Thing(0x44, "x")};
    ASSERT_TRUE(vkssim::SetDiscoveryResults(0, results));
    uint32_t driverHandle = 0;
    DiscoveryRecorder recorder;
    const HVKS session = LoadAndOpen(&driverHandle, &recorder);
    ASSERT_NE(session, 0u);
    vkssim::FailWithStatus(kFetchCode, VKSERROR_CMD_TIMEOUT, 1);
    ASSERT_EQ(VKSDiscoStart(0, session, 0), VKSERROR_NO_ERROR);
    ASSERT_TRUE(recorder.WaitFor(1));
    DiscoveryCall call = recorder.Calls()[0];
    EXPECT_EQ(call.status, VKSERROR_CMD_TIMEOUT);
    EXPECT_EQ(U32(call.parms, 0), 64u);
    EXPECT_EQ(U64(call.parms, 48), 0u);  // no records behind it

    // The next delivery fetches normally.
    ASSERT_EQ(VKSDiscoStart(0, session, 0), VKSERROR_NO_ERROR);
    ASSERT_TRUE(recorder.WaitFor(2));
    call = recorder.Calls()[1];
    EXPECT_EQ(call.status, VKSERROR_NO_ERROR);
    ASSERT_EQ(call.entities.size(), kEntity);
    EXPECT_EQ(call.entities, results.things[0]);
    EXPECT_EQ(VKSDiscoUninit(0, session), VKSERROR_NO_ERROR);
}

TEST_F(DiscoveryTest, TheFunctionMayCloseItsOwnSession) {
    Load();
    uint32_t driverHandle = 0;
    const HVKS session = Open(&driverHandle);
    DiscoveryRecorder recorder;
    recorder.action = [](HVKS handle) { return VKSDiscoUninit(0, handle); };
    ASSERT_EQ(VKSDiscoverySetCallbackFn(session, DiscoveryRecorder::Function, &recorder), VKSERROR_NO_ERROR);
    ASSERT_TRUE(vkssim::ReportDiscoveredDevices(0, driverHandle, 1, 1));
    ASSERT_TRUE(recorder.WaitFor(1));
    EXPECT_EQ(recorder.Calls()[0].actionResult, VKSERROR_NO_ERROR);
    EXPECT_FALSE(vkssim::GetObject(0, driverHandle).has_value());
    EXPECT_EQ(VKSDiscoverySetCallbackFn(session, DiscoveryRecorder::Function, &recorder), VKSERROR_INVALID_HANDLE);

    // The worker carries on with other sessions.
    recorder.action = nullptr;
    uint32_t nextDriverHandle = 0;
    const HVKS next = Open(&nextDriverHandle);
    ASSERT_EQ(VKSDiscoverySetCallbackFn(next, DiscoveryRecorder::Function, &recorder), VKSERROR_NO_ERROR);
    ASSERT_TRUE(vkssim::ReportDiscoveredDevices(0, nextDriverHandle, 1, 2));
    ASSERT_TRUE(recorder.WaitFor(2));
    EXPECT_EQ(recorder.Calls()[1].handle, next);
    EXPECT_EQ(recorder.Calls()[1].status, VKSERROR_NO_ERROR);
    EXPECT_EQ(VKSDiscoUninit(0, next), VKSERROR_NO_ERROR);
}

// The last engine free closes the sessions and streams left open, in the
// order they were opened, while a session's function (its session held)
// closes a stream of its own: neither may wait for the other.
TEST_F(DiscoveryTest, TheFunctionMayCloseAStreamWhileTheEngineIsFreed) {
    vkstest::ScopedRegistry registry(vkstest::ConfigKey("\"DebugLevel\"=dword:00000001"));
    vkstest::DebugCapture capture;
    Load();
    uint32_t driverHandle = 0;
    const HVKS session = Open(&driverHandle);
    HVKS stream = 0;
    NetworkStreamOpenParams params{};
    ASSERT_EQ(VKSNetworkStreamOpenExA(0, "udp://239.1.1.1:5000", 0, &stream, &params), VKSERROR_NO_ERROR);
    char closing[64];
    std::snprintf(closing, sizeof closing, "DeviceClose: START - hVKS(0x%x)", session);
    std::mutex entered;
    std::condition_variable enteredChanged;
    bool inFunction = false;
    DiscoveryRecorder recorder;
    recorder.action = [&](HVKS) {
        {
            std::lock_guard<std::mutex> lock(entered);
            inFunction = true;
        }
        enteredChanged.notify_all();
        // Closes only once the engine free is waiting for this session.
        EXPECT_TRUE(capture.WaitFor(closing));
        return VKSNetworkStreamClose(stream);
    };
    ASSERT_EQ(VKSDiscoverySetCallbackFn(session, DiscoveryRecorder::Function, &recorder), VKSERROR_NO_ERROR);
    ASSERT_TRUE(vkssim::ReportDiscoveredDevices(0, driverHandle, 1, 1));
    {
        std::unique_lock<std::mutex> lock(entered);
        ASSERT_TRUE(enteredChanged.wait_for(lock, 5s, [&] { return inFunction; }));
    }
    loaded_ = false;
    EXPECT_EQ(VKSEngineFree(engine_), VKSERROR_NO_ERROR);
    ASSERT_TRUE(recorder.WaitFor(1));
    EXPECT_EQ(recorder.Calls()[0].actionResult, VKSERROR_NO_ERROR);
    EXPECT_FALSE(vkssim::GetObject(0, driverHandle).has_value());
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
    const auto stop = vkssim::WaitForRequest(kStopCode, mark, 1s);
    ASSERT_TRUE(stop.has_value());
    EXPECT_EQ(stop->U32(12), driverHandle);
    // Repeated starts and stops reach the device each time.
    EXPECT_EQ(VKSDiscoStart(0, session, 8), VKSERROR_NO_ERROR);
    EXPECT_EQ(VKSDiscoStop(0, session), VKSERROR_NO_ERROR);
    const auto seen = vkssim::GetDiscoverySession(0, driverHandle);
    ASSERT_TRUE(seen.has_value());
    EXPECT_EQ(seen->starts, 1u);  // the refused start had no effect
    EXPECT_EQ(seen->stops, 1u);
    EXPECT_EQ(seen->startParams, 8u);

    // A second session on the same input is refused by the device.
    HVKS second = 0;
    EXPECT_EQ(VKSDiscoInit(0, &second), VKSERROR_DISCOVERY_DEVICE_IN_USE);

    EXPECT_EQ(VKSDiscoUninit(0, session), VKSERROR_NO_ERROR);
    EXPECT_EQ(VKSDiscoUninit(0, session), HANDLEERROR_INVALID_HANDLE);
    EXPECT_EQ(VKSDiscoverySetCallbackFn(session, nullptr, nullptr), VKSERROR_INVALID_HANDLE);
}

TEST_F(DiscoveryTest, CommandsOfASessionTheDriverClosedAreRefused) {
    uint32_t driverHandle = 0;
    DiscoveryRecorder recorder;
    const HVKS session = LoadAndOpen(&driverHandle, &recorder);
    ASSERT_NE(session, 0u);
    ASSERT_TRUE(vkssim::RaiseEvent(0, driverHandle, VKSERROR_CLIENT_CLOSED));
    ASSERT_TRUE(recorder.WaitFor(1));
    EXPECT_EQ(recorder.Calls()[0].status, VKSERROR_CLIENT_CLOSED);
    const uint64_t mark = vkssim::RequestMark();
    EXPECT_EQ(VKSDiscoStart(0, session, 0), VKSERROR_NO_ERROR);
    EXPECT_EQ(VKSDiscoStop(0, session), VKSERROR_NO_ERROR);
    EXPECT_FALSE(SentSince(kStartCode, mark));
    EXPECT_FALSE(SentSince(kStopCode, mark));
    EXPECT_EQ(VKSDiscoUninit(0, session), VKSERROR_NO_ERROR);
}

// The delivery's log lines: those of the fetch are written whatever the
// level, the worker's at notification level only.
TEST_F(DiscoveryTest, DeliveryLogLines) {
    for (bool notification : {true, false}) {
        SCOPED_TRACE(notification);
        vkstest::ScopedRegistry registry(
            vkstest::ConfigKey(notification ? "\"DebugLevel\"=dword:00000001" : "\"DebugLevel\"=dword:00000000"));
        vkstest::DebugCapture capture;
        DiscoveryRecorder recorder;
        Load();
        uint32_t driverHandle = 0;
        const HVKS session = Open(&driverHandle);
        ASSERT_EQ(VKSDiscoverySetCallbackFn(session, DiscoveryRecorder::Function, &recorder), VKSERROR_NO_ERROR);
        ASSERT_TRUE(vkssim::ReportDiscoveredDevices(0, driverHandle, 1, 3));
        ASSERT_TRUE(recorder.WaitFor(1));
        EXPECT_EQ(VKSDiscoUninit(0, session), VKSERROR_NO_ERROR);
        Free();
        const DiscoveryCall call = recorder.Calls()[0];
        char parms[64];
        std::snprintf(parms, sizeof parms, "pDiscoParms(0x%016llX) pDiscoData(%016llX)\n",
                      static_cast<unsigned long long>(call.parmsAddress),
                      static_cast<unsigned long long>(call.dataAddress));
        EXPECT_TRUE(capture.Contains(std::string("VKSStartDiscoveryK: ") + parms));
        EXPECT_TRUE(capture.Contains("VKSStartDiscoveryK: pIn->Parms("));
        EXPECT_EQ(capture.Contains("WorkerThread: Got Interface(1) Things(3) alloc pEntity(0x"), notification);
        EXPECT_EQ(capture.Contains("WorkerThread: Get discovery data from Driver for 3 discovered things...\n"),
                  notification);
        char fn[64];
        std::snprintf(fn, sizeof fn, ") - DiscoArg(0x%x)\n",
                      static_cast<unsigned>(reinterpret_cast<uintptr_t>(&recorder)));
        EXPECT_EQ(capture.Contains(fn), notification);
    }
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
    NetworkStreamOpenParams params{};
    ASSERT_EQ(VKSNetworkStreamOpenExA(0, "udp://239.1.1.1:5000", 0, &stream, &params), VKSERROR_NO_ERROR);
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
