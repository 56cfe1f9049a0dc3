// The simulator's configuration text and the C surface. (The entry point
// with the default configuration is loader_test's.)
#include "sim_fixture.h"
#include "vkssim/sim_c.h"

using namespace simtest;

namespace {

class Config : public SimTest {};

TEST_F(Config, ParsesDevicesAndKeys) {
    std::string error;
    ASSERT_TRUE(vkssim::LoadConfigText("# comment\n[device]\nname = Ünit\nnetwork=3\ndecoders = 0\n"
                                       "location = Slot 9\nfirmware = 4.1\nserial = 17\n\n[DEVICE]\n",
                                       &error))
        << error;
    ASSERT_EQ(vkssim::DeviceCount(), 2);
    EXPECT_EQ(vkssim::Location(0), u"Slot 9");
    HANDLE h = Open(0, false);
    RequestFrame r(VKSSIM_TYPE_NETWORK);
    r.U32(24, sizeof(VKSINFOW));
    ReplyFrame reply;
    ASSERT_TRUE(Send(h, VKSSIM_IOCTL_GET_DEVICE_INFO, r, reply));
    VKSINFOW info;
    std::memcpy(&info, &reply.bytes[24], sizeof info);
    EXPECT_EQ(std::u16string(info.Text), u"\u00DCnit");
    // The counts, firmware and serial number are checked as vksctl lists them.
}

// Every mistake is refused with its line, and loads no device.
TEST_F(Config, RejectsMistakesWithTheLine) {
    // A text, and what its error names.
    const std::pair<const char*, const char*> cases[] = {
        {"[device]\ncolour = blue\n", "line 2"},
        {"decoders = 1\n", "line 1"},
        {"[device]\ndecoders = many\n", "line 2"},
        {"[device]\ndecoders = 65\n", "bad count for decoders"},
        {"[machine]\n", "unknown section"},
        {"[device]\nstream_audio = 2\n", "line 2: stream_audio takes 0 or 1"},
        {"[device]\n\nstream_interval_ms = soon\n", "line 3"},
        {"[device]\ndiscovered = 65\n", "line 2"},
        {"[device]\nnotify_on_info = 0x0134F402, amber\n", "bad code in notify_on_info"},
        {"[device]\naudio_fault = loud\n", "audio_fault"},
    };
    for (const auto& [text, expected] : cases) {
        std::string error;
        EXPECT_FALSE(vkssim::LoadConfigText(text, &error)) << text;
        EXPECT_NE(error.find(expected), std::string::npos) << text << " gave " << error;
        EXPECT_EQ(vkssim::DeviceCount(), 0);
    }
}

// The C surface's conversions: configurations, paths, requests, objects and
// error texts (its one-line forwarders are left out).
TEST_F(Config, CSurface) {
    VKSSIM_DEVICE_CONFIG c;
    vkssim_default_device_config(&c);
    c.name = u"C device";
    c.inputs[VKSSIM_TYPE_ENCODER] = 3;
    ASSERT_EQ(vkssim_add_device(&c), 0);
    EXPECT_EQ(vkssim_device_count(), 1);
    char16_t path[300];
    ASSERT_GT(vkssim_interface_path(0, path, 300), 1u);
    HANDLE h = Open(0, false);
    uint64_t mark = vkssim_request_mark();
    uint32_t handle = OpenObject(h, VKSSIM_TYPE_ENCODER, 2);
    ASSERT_NE(handle, 0u);
    VKSSIM_REQUEST req;
    uint8_t input[VKSSIM_REQUEST_SIZE];
    ASSERT_EQ(vkssim_wait_for_request(VKSSIM_IOCTL_OPEN, mark, 10000, &req, input, sizeof input), 1);
    EXPECT_EQ(req.inputLength, VKSSIM_REQUEST_SIZE);
    EXPECT_EQ(input[8], 2);
    VKSSIM_OBJECT o;
    ASSERT_EQ(vkssim_find_object(0, VKSSIM_TYPE_ENCODER, 2, &o), 1);
    EXPECT_EQ(o.handle, handle);
    EXPECT_EQ(vkssim_raise_event(0, handle, VKSERROR_ENCODED_FIRST_FRAME, 0, nullptr, 0), 1);
    EXPECT_EQ(vkssim_objects(0, &o, 1), 1u);
    EXPECT_EQ(o.queuedEvents, 1u);
    char error[64];
    EXPECT_EQ(vkssim_load_config_text("[device]\nx=1\n", error, sizeof error), 0);
    EXPECT_NE(std::string(error).find("unknown key"), std::string::npos);
}

}  // namespace
