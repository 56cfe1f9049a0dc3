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
    EXPECT_EQ(reply.U32(24 + 12), 3u);
    EXPECT_EQ(reply.U32(24 + 24), 0x00040001u);
    EXPECT_EQ(reply.U32(24 + 32), 17u);
}

TEST_F(Config, RejectsMistakesWithTheLine) {
    std::string error;
    EXPECT_FALSE(vkssim::LoadConfigText("[device]\ncolour = blue\n", &error));
    EXPECT_NE(error.find("line 2"), std::string::npos);
    EXPECT_FALSE(vkssim::LoadConfigText("decoders = 1\n", &error));
    EXPECT_FALSE(vkssim::LoadConfigText("[device]\ndecoders = many\n", &error));
    EXPECT_FALSE(vkssim::LoadConfigText("[machine]\n", &error));
    EXPECT_EQ(vkssim::DeviceCount(), 0);
}

TEST_F(Config, LaterFamiliesKeysAreCheckedWithTheLine) {
    std::string error;
    EXPECT_FALSE(vkssim::LoadConfigText("[device]\nstream_audio = 2\n", &error));
    EXPECT_NE(error.find("line 2: stream_audio takes 0 or 1"), std::string::npos) << error;
    EXPECT_FALSE(vkssim::LoadConfigText("[device]\n\nstream_interval_ms = soon\n", &error));
    EXPECT_NE(error.find("line 3"), std::string::npos) << error;
    EXPECT_FALSE(vkssim::LoadConfigText("[device]\ndiscovered = 65\n", &error));
    EXPECT_FALSE(vkssim::LoadConfigText("[device]\nnotify_on_info = 0x0134F402, amber\n", &error));
    EXPECT_NE(error.find("bad code in notify_on_info"), std::string::npos) << error;
    EXPECT_EQ(vkssim::DeviceCount(), 0);
}

// A configured device raises its listed notifications once, in order, when
// it is asked for its information while a file is registered for them.
TEST_F(Config, NotificationsOnInfoReachRegisteredFilesOnce) {
    std::string error;
    ASSERT_TRUE(vkssim::LoadConfigText("[device]\nnotify_on_info = 0x0134F403, 0x0134F401\n", &error)) << error;
    HANDLE h = Open(0, false);
    RequestFrame info(VKSSIM_TYPE_DECODER);
    info.U32(24, sizeof(VKSINFOW));
    ReplyFrame infoReply;
    // Nobody registered yet: nothing is raised, and nothing is used up.
    ASSERT_TRUE(Send(h, VKSSIM_IOCTL_GET_DEVICE_INFO, info, infoReply));
    RequestFrame r;
    r.U32(24, VKSSIM_NOTIFY_REGISTER);
    OVERLAPPED ov{};
    ov.hEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    HANDLE notify = Open(0, true);
    ReplyFrame first;
    DWORD bytes = 0;
    EXPECT_FALSE(DeviceIoControl(notify, VKSSIM_IOCTL_DEVICE_SET_NOTIFY, r.data(), r.size(), first.data(),
                                 first.size(), &bytes, &ov));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_IO_PENDING);
    ASSERT_TRUE(Send(h, VKSSIM_IOCTL_GET_DEVICE_INFO, info, infoReply));
    ASSERT_EQ(WaitForSingleObject(ov.hEvent, 10000), WAIT_OBJECT_0);
    EXPECT_EQ(first.U32(24), VKSERROR_EVENT_MEMORY_LEVEL_AMBER);
    // The second waits for the next arming; a later request raises no more.
    ASSERT_TRUE(Send(h, VKSSIM_IOCTL_GET_DEVICE_INFO, info, infoReply));
    r.U32(24, VKSSIM_NOTIFY_REREGISTER);
    ResetEvent(ov.hEvent);
    ReplyFrame second;
    EXPECT_TRUE(DeviceIoControl(notify, VKSSIM_IOCTL_DEVICE_SET_NOTIFY, r.data(), r.size(), second.data(),
                                second.size(), &bytes, &ov));
    EXPECT_EQ(second.U32(24), VKSERROR_EVENT_UPGRADE_PENDING);
    ReplyFrame third;
    ResetEvent(ov.hEvent);
    EXPECT_FALSE(DeviceIoControl(notify, VKSSIM_IOCTL_DEVICE_SET_NOTIFY, r.data(), r.size(), third.data(),
                                 third.size(), &bytes, &ov));
    EXPECT_EQ(vkssim::HeldRequests(0, VKSSIM_IOCTL_DEVICE_SET_NOTIFY), 1u);
    // Closing the file cancels the held request while `third` and `ov` live.
    Forget(notify);
    CloseHandle(notify);
    EXPECT_EQ(WaitForSingleObject(ov.hEvent, 10000), WAIT_OBJECT_0);
    CloseHandle(ov.hEvent);
}

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
    vkssim_fail_with_status(VKSSIM_IOCTL_SET_STATE, VKSERROR_INVALID_STATE, 1);
    RequestFrame r(VKSSIM_TYPE_ENCODER, 2, handle);
    r.U32(24, 1);
    ReplyFrame reply;
    ASSERT_TRUE(Send(h, VKSSIM_IOCTL_SET_STATE, r, reply));
    EXPECT_EQ(reply.Status(), VKSERROR_INVALID_STATE);
    char error[64];
    EXPECT_EQ(vkssim_load_config_text("[device]\nx=1\n", error, sizeof error), 0);
    EXPECT_NE(std::string(error).find("unknown key"), std::string::npos);
}

}  // namespace
