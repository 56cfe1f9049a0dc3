// The library against the device simulator: enumeration, the command
// channel's error mapping, device notifications, objects and their events.
#include "vksacc.h"
#include "vkssim/sim.h"

#include "support/bytes.h"
#include "support/sim_engine_test.h"
#include "support/callback_recorder.h"
#include "support/test_env.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstddef>
#include <cstring>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

using namespace std::chrono_literals;
using vkstest::CallbackRecorder;

namespace {

constexpr uint32_t kEventCode = VKSSIM_IOCTL_EVENT_REQUEST;

class DriverAccessTest : public vkstest::SimEngineTest {
protected:
    HVKS OpenDecoder(uint32_t index) {
        HVKS handle = 0;
        VKSGUID session{};
        NetworkStreamOpenParams params{};
        EXPECT_EQ(VKSDecoderDeviceOpenEx(index, 0x11, 0, &handle, &params, &session), VKSERROR_NO_ERROR);
        return handle;
    }
    HVKS OpenStream(uint32_t port, const char* address) {
        HVKS handle = 0;
        NetworkStreamOpenParams params{};
        params.TransportSelector = 3;
        EXPECT_EQ(VKSNetworkStreamOpenExA(port, address, 0, &handle, &params), VKSERROR_NO_ERROR) << address;
        return handle;
    }
};

TEST_F(DriverAccessTest, TablesCountInputsAcrossDevicesAndTheLastFreeClosesWhatIsLeft) {
    AddDevice(1, 2, 0, 1);
    AddDevice(2, 1, 1, 0);
    AddDevice(300000000, 0);  // more ports than a device has: none of them are used
    Load();
    std::vector<uint32_t> counts;
    for (auto get : {VKSDecoderGetCount, VKSNetworkPortGetCount, VKSNetworkConfiguredInterfaceCount, VKSEncoderGetCount,
                     VKSDiscoGetCount}) {
        uint32_t count = 0;
        EXPECT_EQ(get(&count), VKSERROR_NO_ERROR);
        counts.push_back(count);
    }
    // Decoders, ports, interfaces (one query per real port), encoders, discovery inputs.
    EXPECT_EQ(counts, (std::vector<uint32_t>{3, 3, 6, 1, 1}));

    // Decoder 2 is the first decoder of the second device: channel 0 there.
    HVKS decoder = OpenDecoder(2);
    ASSERT_NE(decoder, 0u);
    const auto objects = vkssim::Objects(1);
    ASSERT_EQ(objects.size(), 1u);
    EXPECT_EQ(std::make_tuple(objects[0].type, objects[0].channel, objects[0].openFlags),
              std::make_tuple(uint32_t{VKSDEVICETYPE_DECODER}, 0u, 0x11u));

    VKSINFOW info{};
    info.Size = sizeof(info);
    EXPECT_EQ(VKSDecoderGetInfoW(3, &info), VKSERROR_INVALID_INPUT);
    HVKS none = 0;
    VKSGUID session{};
    EXPECT_EQ(VKSDecoderDeviceOpenEx(3, 0, 0, &none, nullptr, &session), VKSERROR_INVALID_INPUT);

    // Streams left open (ports 1 and 2 are the second device's) are closed by
    // the last free.
    OpenStream(1, "rtsp://a");
    OpenStream(2, "rtsp://b");
    Free();
    for (const auto& o : vkssim::Objects(1)) EXPECT_NE(o.type, VKSDEVICETYPE_NETWORK);
}

TEST_F(DriverAccessTest, InformationRecordsAreCopiedBySizeAndDriverFailuresReachTheCaller) {
    AddDevice(1, 1, 1, 1);
    Load();
    VKSINFOW wide;
    std::memset(&wide, 0xAB, sizeof(wide));
    wide.Size = 100;
    ASSERT_EQ(VKSDecoderGetInfoW(0, &wide), VKSERROR_NO_ERROR);
    EXPECT_EQ(wide.Size, 100u);
    EXPECT_EQ(reinterpret_cast<uint8_t*>(&wide)[100], 0xAB);  // nothing past the size

    std::memset(&wide, 0, sizeof(wide));
    wide.Size = sizeof(wide);
    ASSERT_EQ(VKSDecoderGetInfoW(0, &wide), VKSERROR_NO_ERROR);
    EXPECT_LE(wide.Size, 584u);
    EXPECT_NE(wide.Text[0], 0);

    VKSINFOA narrow;
    std::memset(&narrow, 0xCD, sizeof(narrow));
    narrow.Size = 200;
    ASSERT_EQ(VKSDecoderGetInfoA(0, &narrow), VKSERROR_NO_ERROR);
    EXPECT_EQ(narrow.Size, 200u);
    EXPECT_EQ(static_cast<uint8_t>(narrow.Text[0]), 0xCD);  // no text below 308 bytes

    // A record that just reaches the text gets it.
    narrow.Size = offsetof(VKSINFOA, DeviceData2);
    ASSERT_EQ(VKSDecoderGetInfoA(0, &narrow), VKSERROR_NO_ERROR);
    for (int i = 0; i < 256 && wide.Text[i] != 0; ++i) EXPECT_EQ(narrow.Text[i], static_cast<char>(wide.Text[i]));

    wide.Size = 0;
    EXPECT_EQ(VKSDecoderGetInfoW(0, &wide), VKSERROR_BUFFER_TOO_SMALL);

    // Failures of the driver reach the caller. The overlapped mapping has its
    // own tests; here, the synchronous one, as an export reports it.
    VKSINFOW info{};
    info.Size = sizeof(info);
    const struct {
        uint32_t error;
        VKSERROR expected;
    } mapped[] = {{998, VKSERROR_NOACCESS}, {1450, VKSERROR_INSUFFICIENT_MEMORY}, {997, VKSERROR_ILLEGAL_CALL},
                  {5, VKSERROR_ILLEGAL_CALL}, {0, VKSERROR_UNEXPECTED}};
    for (const auto& c : mapped) {
        vkssim::FailWithWin32Error(VKSSIM_IOCTL_GET_DEVICE_INFO, c.error, 1);
        EXPECT_EQ(VKSDecoderGetInfoW(0, &info), c.expected) << c.error;
    }
    // An open command that fails without an error number opens nothing.
    vkssim::FailWithWin32Error(VKSSIM_IOCTL_OPEN, 0, 1);
    HVKS encoder = 0;
    EXPECT_EQ(VKSEncoderDeviceOpen(0, 0, &encoder), VKSERROR_UNEXPECTED);
    EXPECT_EQ(encoder, 0u);
    vkssim::ShortReply(VKSSIM_IOCTL_GET_DEVICE_INFO, 100, 1);
    EXPECT_EQ(VKSDecoderGetInfoW(0, &info), VKSERROR_NOACCESS);
    vkssim::FailWithStatus(VKSSIM_IOCTL_GET_DEVICE_INFO, VKSERROR_HDCP_PROTECTED, 1);
    EXPECT_EQ(VKSDecoderGetInfoW(0, &info), VKSERROR_HDCP_PROTECTED);
    vkssim::FailCreate(0, 2);
    EXPECT_EQ(VKSDecoderGetInfoW(0, &info), VKSERROR_DRIVER_NOT_FOUND);
}

TEST_F(DriverAccessTest, UpgradeEventsAreCountedAcrossDevices) {
    AddDevice(1, 1, 0, 0);
    AddDevice(1, 1, 0, 0);
    Load();
    CallbackRecorder recorder;
    ASSERT_EQ(VKSSetSystemEventFn(CallbackRecorder::SystemEvent, &recorder), VKSERROR_NO_ERROR);
    ASSERT_TRUE(vkssim::WaitForHeld(0, VKSSIM_IOCTL_DEVICE_SET_NOTIFY, 1, 5s));
    ASSERT_TRUE(vkssim::WaitForHeld(1, VKSSIM_IOCTL_DEVICE_SET_NOTIFY, 1, 5s));

    const uint32_t first = 0x11111111, second = 0x22222222;
    // Raises a notification and waits until the device is asked again.
    const auto raise = [](int device, VKSERROR code, const uint32_t* payload) {
        vkssim::RaiseDeviceNotification(device, code, payload, 4);
        ASSERT_TRUE(vkssim::WaitForHeld(device, VKSSIM_IOCTL_DEVICE_SET_NOTIFY, 1, 5s));
    };
    raise(0, VKSERROR_EVENT_UPGRADE_PENDING, &first);
    raise(0, VKSERROR_EVENT_UPGRADE_PENDING, &first);  // repeated: ignored
    raise(1, VKSERROR_EVENT_UPGRADE_PENDING, &second);
    raise(0, VKSERROR_EVENT_UPGRADE_COMPLETE, &first);
    raise(1, VKSERROR_EVENT_UPGRADE_COMPLETE, &second);
    ASSERT_TRUE(recorder.WaitFor(2));
    vkssim::RaiseDeviceNotification(1, VKSERROR_EVENT_MEMORY_LEVEL_RED, &second, 4);
    ASSERT_TRUE(recorder.WaitFor(3));
    const std::vector<VKSERROR> expected = {VKSERROR_EVENT_UPGRADE_PENDING, VKSERROR_EVENT_UPGRADE_COMPLETE,
                                            VKSERROR_EVENT_MEMORY_LEVEL_RED};
    EXPECT_EQ(recorder.Statuses(), expected);
    EXPECT_EQ(vkstest::U32(recorder.Calls()[1].payload, 0), second);  // the payload of the last device to finish

    // A device that ends its notifications is not asked again. Device 1's
    // end completes its re-armed request at once, so device 0's event comes
    // after it through the one completion thread: once that is reported,
    // device 1's end has been handled.
    ASSERT_TRUE(vkssim::WaitForHeld(1, VKSSIM_IOCTL_DEVICE_SET_NOTIFY, 1, 5s));
    vkssim::RaiseDeviceNotification(1, VKSERROR_NO_COMPLETION);
    vkssim::RaiseDeviceNotification(0, VKSERROR_EVENT_MEMORY_LEVEL_RED, &first, 4);
    ASSERT_TRUE(recorder.WaitFor(4));
    EXPECT_EQ(vkssim::HeldRequests(1, VKSSIM_IOCTL_DEVICE_SET_NOTIFY), 0u);
}

TEST_F(DriverAccessTest, DecoderEventsReachTheErrorFunctionInDecoderForm) {
    AddDevice(1, 1, 0, 0);
    Load();
    CallbackRecorder recorder;
    const HVKS decoder = OpenDecoder(0);
    ASSERT_EQ(VKSDecoderDeviceSetErrorFn(nullptr, 0, decoder, CallbackRecorder::DecoderError, &recorder),
              VKSERROR_NO_ERROR);
    const uint32_t object = DriverHandle(0, VKSDEVICETYPE_DECODER, 0);
    ASSERT_TRUE(vkssim::WaitForHeld(0, kEventCode, 1, 5s));

    vkssim::RaiseEvent(0, object, VKSERROR_STREAM_STOPPED, 7);
    ASSERT_TRUE(recorder.WaitFor(1));
    const auto call = recorder.Calls()[0];
    EXPECT_EQ(std::make_tuple(call.form, call.handle, call.status, call.context),
              std::make_tuple(int{CallbackRecorder::kDecoderError}, decoder, VKSERROR_STREAM_STOPPED,
                              static_cast<void*>(&recorder)));
    // A new event request follows each event.
    EXPECT_TRUE(vkssim::WaitForHeld(0, kEventCode, 1, 5s));

    // The firmware shutting down ends the chain: no callback, no new request.
    const uint64_t mark = vkssim::RequestMark();
    vkssim::RaiseEvent(0, object, VKSERROR_FW_SHUTDOWN);
    vkssim::RaiseEvent(0, object, VKSERROR_STREAM_RESTARTED);  // queued: nobody asks any more
    uint32_t state = 0;
    EXPECT_EQ(VKSDecoderDeviceGetState(decoder, &state), VKSERROR_NO_ERROR);  // worker is idle again
    EXPECT_FALSE(vkssim::WaitForRequest(kEventCode, mark, 200ms).has_value());
    EXPECT_EQ(recorder.Calls().size(), 1u);
    EXPECT_EQ(VKSDecoderDeviceClose(decoder), VKSERROR_NO_ERROR);
}

// A decoder connected first to no source (handle 0), then to a stream, and
// playing; a closed decoder's event chain ends.
TEST_F(DriverAccessTest, DecoderConnectedToAStreamAndPlaying) {
    AddDevice(1, 1, 0, 0);
    Load();
    const HVKS stream = OpenStream(0, "udp://239.1.1.1:5000");
    const HVKS decoder = OpenDecoder(0);
    uint64_t mark = vkssim::RequestMark();
    ASSERT_EQ(VKSDecoderDeviceSetState(0, 4, decoder, 2), VKSERROR_NO_ERROR);
    const auto connect = Received(VKSSIM_IOCTL_CONNECT_SOURCE, mark);
    EXPECT_EQ(std::make_pair(connect.U32(24), connect.U32(28)), std::make_pair(0u, 4u));

    const auto streamObject = vkssim::FindObject(0, VKSDEVICETYPE_NETWORK, 0);
    ASSERT_TRUE(streamObject.has_value());
    EXPECT_EQ(streamObject->transport, 3u);
    ASSERT_EQ(VKSDecoderDeviceSetState(stream, 9, decoder, 2), VKSERROR_NO_ERROR);
    const auto decoderObject = vkssim::FindObject(0, VKSDEVICETYPE_DECODER, 0);
    ASSERT_TRUE(decoderObject.has_value());
    EXPECT_EQ(std::make_tuple(decoderObject->source, decoderObject->connectArgument, decoderObject->state),
              std::make_tuple(streamObject->handle, 9u, 2u));
    EXPECT_EQ(vkssim::GetObject(0, streamObject->handle)->state, 2u);

    // Wrong handle kinds in either place.
    EXPECT_EQ(VKSDecoderDeviceSetState(decoder, 0, decoder, 1), VKSERROR_INVALID_HANDLE);
    EXPECT_EQ(VKSDecoderDeviceSetState(0, 0, stream, 1), VKSERROR_INVALID_HANDLE);

    // State 3 stays in the library; leaving it sends the new state.
    mark = vkssim::RequestMark();
    ASSERT_EQ(VKSNetworkStreamSetState(stream, 3), VKSERROR_NO_ERROR);
    ASSERT_EQ(VKSNetworkStreamSetState(stream, 3), VKSERROR_NO_ERROR);
    EXPECT_TRUE(Sent(VKSSIM_IOCTL_SET_STATE, mark).empty());
    ASSERT_EQ(VKSNetworkStreamSetState(stream, 2), VKSERROR_NO_ERROR);
    EXPECT_EQ(Received(VKSSIM_IOCTL_SET_STATE, mark).U32(24), 2u);

    ASSERT_TRUE(vkssim::WaitForHeld(0, kEventCode, 2, 5s));
    EXPECT_EQ(VKSDecoderDeviceClose(decoder), VKSERROR_NO_ERROR);
    EXPECT_EQ(vkssim::HeldRequests(0, kEventCode), 1u);
    EXPECT_EQ(VKSNetworkStreamClose(stream), VKSERROR_NO_ERROR);
    EXPECT_TRUE(vkssim::Objects(0).empty());
}

TEST_F(DriverAccessTest, ClosesRacingWithEvents) {
    AddDevice(1, 3, 0, 0);
    Load();
    // A decoder of its own marks the point by which the single worker thread
    // has finished everything it took before.
    CallbackRecorder marks;
    const HVKS marker = OpenDecoder(2);
    ASSERT_EQ(VKSDecoderDeviceSetErrorFn(nullptr, 0, marker, CallbackRecorder::DecoderError, &marks),
              VKSERROR_NO_ERROR);
    const uint32_t markerObject = DriverHandle(0, VKSDEVICETYPE_DECODER, 2);
    size_t markCount = 0;
    const auto settle = [&] {
        ASSERT_TRUE(vkssim::RaiseEvent(0, markerObject, VKSERROR_RESOLUTION_CHANGED));
        ASSERT_TRUE(marks.WaitFor(++markCount));
    };
    for (int round = 0; round < 20; ++round) {
        CallbackRecorder recorder;
        const HVKS decoder = OpenDecoder(round % 2);
        ASSERT_EQ(VKSDecoderDeviceSetErrorFn(nullptr, 0, decoder, CallbackRecorder::DecoderError, &recorder),
                  VKSERROR_NO_ERROR);
        const uint32_t object = DriverHandle(0, VKSDEVICETYPE_DECODER, round % 2);
        std::atomic<bool> stop{false};
        std::thread raiser([&] {
            while (!stop.load()) vkssim::RaiseEvent(0, object, VKSERROR_RESOLUTION_CHANGED);
        });
        recorder.WaitFor(3, 2s);
        EXPECT_EQ(VKSDecoderDeviceClose(decoder), VKSERROR_NO_ERROR);
        const size_t atClose = recorder.Calls().size();
        stop = true;
        raiser.join();
        // The error function is called once the worker has let go of the
        // object, so one call may still be on its way when the close returns;
        // none comes after it.
        ASSERT_NO_FATAL_FAILURE(settle());
        const size_t settled = recorder.Calls().size();
        EXPECT_LE(settled, atClose + 1);
        ASSERT_NO_FATAL_FAILURE(settle());
        EXPECT_EQ(recorder.Calls().size(), settled);
    }
    EXPECT_EQ(VKSDecoderDeviceClose(marker), VKSERROR_NO_ERROR);
}

// The last engine free made from a callback would wait for the thread it runs
// on: it is refused and leaves the engine as it was, on the worker thread
// (an error callback) and on the device completion thread (a system event).
TEST_F(DriverAccessTest, LastEngineFreeFromACallbackIsRefused) {
    AddDevice(1, 1, 0, 0);
    Load();
    struct Attempt {
        VKSHENGINE engine;
        vkstest::CallLog<VKSERROR> statuses{};
        void Free() { statuses.Add(VKSEngineFree(engine)); }
    };
    const std::vector<VKSERROR> refused = {VKSERROR_ILLEGAL_CALL};
    // From an error callback on the worker thread.
    Attempt fromWorker{engine_};
    const HVKS stream = OpenStream(0, "rtsp://camera");
    ASSERT_EQ(VKSNetworkStreamSetErrorFn(
                  stream, 0,
                  [](HVKS, uint32_t, VKSMEDIASAMPLE*, VKSERROR, void* context) { static_cast<Attempt*>(context)->Free(); },
                  &fromWorker),
              VKSERROR_NO_ERROR);
    const uint32_t object = DriverHandle(0, VKSDEVICETYPE_NETWORK, 0);
    ASSERT_TRUE(vkssim::RaiseEvent(0, object, VKSERROR_RECONNECTING));
    ASSERT_TRUE(fromWorker.statuses.WaitFor(1));
    EXPECT_EQ(fromWorker.statuses.Calls(), refused);
    // From the system-event callback on the device completion thread.
    Attempt fromDevice{engine_};
    ASSERT_EQ(VKSSetSystemEventFn([](VKSERROR, void*, void* context) { static_cast<Attempt*>(context)->Free(); },
                                  &fromDevice),
              VKSERROR_NO_ERROR);
    ASSERT_TRUE(vkssim::WaitForHeld(0, VKSSIM_IOCTL_DEVICE_SET_NOTIFY, 1, 5s));
    vkssim::RaiseDeviceNotification(0, VKSERROR_EVENT_MEMORY_LEVEL_RED);
    ASSERT_TRUE(fromDevice.statuses.WaitFor(1));
    EXPECT_EQ(fromDevice.statuses.Calls(), refused);
    ASSERT_EQ(VKSSetSystemEventFn(nullptr, nullptr), VKSERROR_NO_ERROR);
    // The engine still works, and its load is still the caller's to free.
    EXPECT_EQ(VKSNetworkStreamClose(stream), VKSERROR_NO_ERROR);
}

// A device that cannot be armed (its files cannot be opened, or it refuses
// the request) is left out; the devices after it are armed all the same, and
// the engine free sends DEREGISTER only to the armed ones.
TEST_F(DriverAccessTest, ADeviceThatCannotBeArmedIsSkipped) {
    // The middle device's interface path is 260 units, or the first request sent is refused.
    for (const bool longPath : {true, false}) {
        SCOPED_TRACE(longPath ? "interface path of 260 units" : "request refused");
        vkssim::Reset();
        AddDevice(1, 1, 0, 0);
        vkssim::DeviceConfig unopenable;
        if (longPath) unopenable.interfacePath = u"\\\\?\\" + std::u16string(256, u'p');
        vkssim::AddDevice(unopenable);
        AddDevice(1, 1, 0, 0);
        if (!longPath) vkssim::FailWithWin32Error(VKSSIM_IOCTL_DEVICE_SET_NOTIFY, 5, 1);
        Load();
        // A request the device holds was sent before the load returned.
        std::vector<int> skipped;
        for (int d = 0; d < 3; ++d) {
            if (vkssim::HeldRequests(d, VKSSIM_IOCTL_DEVICE_SET_NOTIFY) == 0) skipped.push_back(d);
        }
        ASSERT_EQ(skipped.size(), 1u);
        if (longPath) {
            EXPECT_EQ(skipped[0], 1);
        }
        const uint64_t freed = vkssim::RequestMark();
        Free();
        // The notification modes each device received, in order.
        std::vector<std::vector<uint32_t>> modes(3), expected(3, std::vector<uint32_t>{2});
        for (const auto& r : Sent(VKSSIM_IOCTL_DEVICE_SET_NOTIFY, freed)) modes.at(r.device).push_back(r.U32(24));
        expected[static_cast<size_t>(skipped[0])].clear();
        EXPECT_EQ(modes, expected);
    }
}

// A device that refuses DEREGISTER still holds its notification request: the
// engine free gets it back (cancelled) through the port before the port goes,
// so that its block is freed.
TEST_F(DriverAccessTest, EngineFreeGetsBackTheRequestOfADeviceThatRefusesDeregister) {
    vkstest::ScopedRegistry registry(vkstest::ConfigKey("\"DebugLevel\"=dword:00000003"));
    vkstest::DebugCapture capture;
    AddDevice(1, 1, 0, 0);
    Load();
    ASSERT_TRUE(vkssim::WaitForHeld(0, VKSSIM_IOCTL_DEVICE_SET_NOTIFY, 1, 5s));
    vkssim::FailWithWin32Error(VKSSIM_IOCTL_DEVICE_SET_NOTIFY, 31, 1);
    Free();
    EXPECT_EQ(vkssim::HeldRequests(0), 0u);
    EXPECT_EQ(capture.Matching("Dequeued a Failed Operation").size(), 1u);
}

TEST_F(DriverAccessTest, AFailedEventRequestIsReportedAndTheChainGoesOn) {
    AddDevice(1, 1, 0, 0);
    Load();
    CallbackRecorder recorder;
    // The stream's first event request will be failed by the driver.
    vkssim::FailCompletion(kEventCode, 31 /* ERROR_GEN_FAILURE */, 1);
    const HVKS stream = OpenStream(0, "rtsp://camera");
    ASSERT_EQ(VKSNetworkStreamSetErrorFn(stream, 0, CallbackRecorder::NetworkError, &recorder), VKSERROR_NO_ERROR);
    const uint32_t object = DriverHandle(0, VKSDEVICETYPE_NETWORK, 0);
    ASSERT_TRUE(vkssim::WaitForHeld(0, kEventCode, 1, 5s));
    vkssim::RaiseEvent(0, object, VKSERROR_RECONNECTING);
    ASSERT_TRUE(recorder.WaitForStatus(VKSERROR_UNEXPECTED));
    ASSERT_TRUE(vkssim::WaitForHeld(0, kEventCode, 1, 5s));
    vkssim::RaiseEvent(0, object, VKSERROR_RECONNECT_STREAM);
    EXPECT_TRUE(recorder.WaitForStatus(VKSERROR_RECONNECT_STREAM));
    EXPECT_EQ(VKSNetworkStreamClose(stream), VKSERROR_NO_ERROR);
}

}  // namespace
