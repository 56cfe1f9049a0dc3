// ONVIF device events reaching the notification window: the custom device
// event is delivered for the library's own device handle (the one the window
// registered), and the record's fields are checked in the TRACE log.
#include "core/engine.h"
#include "driver/device_tables.h"
#include "vksacc.h"
#include "vks_win32/window_ext.h"
#include "vkssim/sim.h"

#include "support/callback_recorder.h"
#include "support/sim_engine_test.h"
#include "support/test_env.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using vkstest::CallbackRecorder;

namespace {

const GUID kOnvifEventGuid = {0x5C0E9F41, 0x7B2D, 0x4A66, {0x9E, 0x13, 0xD4, 0xA8, 0xB2, 0xC7, 0xE5, 0x90}};

class OnvifEventTest : public vkstest::SimEngineTest {
protected:
    // Loads the engine with TRACE on and opens a network stream whose error
    // function serves as a barrier: the notification window handles sent
    // messages in order, so once a display change has reached the stream,
    // everything sent to the window before it has been handled.
    void SetUp() override {
        SimEngineTest::SetUp();
        ASSERT_EQ(AddDevice(1, 1, 0, 1), 0);
        Load();
        NetworkStreamOpenParams params{};
        ASSERT_EQ(VKSNetworkStreamOpenExA(0, "udp://239.1.1.1:5000", 0, &stream_, &params), VKSERROR_NO_ERROR);
        ASSERT_EQ(VKSNetworkStreamSetErrorFn(stream_, 0, CallbackRecorder::NetworkError, &barrier_),
                  VKSERROR_NO_ERROR);
        Barrier();  // the window has registered for device events by now
    }
    void TearDown() override {
        if (stream_ != 0) {
            EXPECT_EQ(VKSNetworkStreamClose(stream_), VKSERROR_NO_ERROR);
        }
        SimEngineTest::TearDown();
    }
    void Barrier() {
        const size_t before = barrier_.Calls().size();
        VksBroadcastDisplayChange(32, 1920, 1080);
        ASSERT_TRUE(barrier_.WaitFor(before + 1));
    }
    // Sends the event for the device file the window registered, waits until
    // the window has handled it, and returns the messages of the lines at
    // TRACE written meanwhile, in order (an idle engine writes none of its own).
    std::vector<std::string> Deliver(const std::vector<uint8_t>& data, const GUID& guid = kOnvifEventGuid) {
        capture_.Clear();
        VksDeliverCustomDeviceEvent(Global.NetworkPorts.pHead->hDevice, &guid, data.data(),
                                    static_cast<DWORD>(data.size()));
        Barrier();
        static const std::string kPrefix = "VKSACC: ";
        std::vector<std::string> lines;
        for (const std::string& line : capture_.Matching(" TRACE ")) {
            // "<thread> TRACE        : $$$ VKSACC: message"
            const size_t at = line.find(kPrefix);
            if (at != std::string::npos) lines.push_back(line.substr(at + kPrefix.size()));
        }
        return lines;
    }

    vkstest::ScopedRegistry registry_{vkstest::ConfigKey("\"DebugLevel\"=dword:0000000a")};
    vkstest::DebugCapture capture_;
    HVKS stream_ = 0;
    CallbackRecorder barrier_;
};

TEST_F(OnvifEventTest, DeviceRecordIsLoggedAtTrace) {
    const std::vector<uint8_t> record = vkssim::OnvifDeviceRecord(
        {"http://192.0.2.10/onvif/device_service", "Acme", "Cam 9", "1.2.3", "SN-0042", "HW-7",
         {{"Profile_1", "rtsp://192.0.2.10/main"}, {"Profile_2", "rtsp://192.0.2.10/sub"}}, -1});
    // Another device event with the same bytes is not read as a record.
    EXPECT_TRUE(Deliver(record, {0x12345678, 0x1234, 0x1234, {1, 2, 3, 4, 5, 6, 7, 8}}).empty());
    const std::vector<std::string> expected = {
        "Found ONVIF device with 2 profiles\n",
        "XAddrs: http://192.0.2.10/onvif/device_service\n",
        "Manufacturer: Acme\n",
        "Model: Cam 9\n",
        "FirmwareVersion: 1.2.3\n",
        "SerialNumber: SN-0042\n",
        "HardwareId: HW-7\n",
        "   Profile_1: rtsp://192.0.2.10/main\n",
        "   Profile_2: rtsp://192.0.2.10/sub\n",
    };
    EXPECT_EQ(Deliver(record), expected);
    EXPECT_FALSE(capture_.Contains("ONVIF device event holds"));  // every profile shown
}

TEST_F(OnvifEventTest, RecordsAreReadOnlyWithinTheirBounds) {
    // Fields filled to the last byte carry no terminator; the count names far
    // more profiles than the record holds.
    vkssim::OnvifDevice device{std::string(300, 'x'), std::string(128, 'm'), std::string(128, 'o'), "", "", "",
                               {{std::string(128, 'n'), std::string(256, 'v')}}, 0x7FFFFFFF};
    const auto lines = Deliver(vkssim::OnvifDeviceRecord(device));
    ASSERT_EQ(lines.size(), 8u);
    EXPECT_EQ(lines[0], "Found ONVIF device with 2147483647 profiles\n");
    EXPECT_EQ(lines[1], "XAddrs: " + std::string(256, 'x') + "\n");
    EXPECT_EQ(lines[2], "Manufacturer: " + std::string(128, 'm') + "\n");
    EXPECT_EQ(lines[3], "Model: " + std::string(128, 'o') + "\n");
    EXPECT_EQ(lines[7], "   " + std::string(128, 'n') + ": " + std::string(256, 'v') + "\n");
    EXPECT_TRUE(capture_.Contains("holds 1 of 2147483647 profiles"));

    // A count whose product with the profile size wraps 32 bits.
    device.reportedProfiles = 0xAAAAAAAB;  // * 384 wraps to a small number
    const std::vector<uint8_t> wrapping = vkssim::OnvifDeviceRecord(device);
    EXPECT_EQ(Deliver(wrapping).size(), 8u);

    // A record cut short of its fixed part is not read at all.
    EXPECT_TRUE(Deliver({wrapping.begin(), wrapping.begin() + 600}).empty());
    EXPECT_TRUE(capture_.Contains("ONVIF device event too short (600 bytes)"));
}

}  // namespace
