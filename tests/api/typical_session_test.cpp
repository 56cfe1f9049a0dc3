// An application's whole session: load, count the inputs, open a stream on a
// local file and a decoder, register the callbacks, connect and play to the
// end of the file, close, free.
#include "vksacc.h"
#include "vkssim/sim.h"

#include "support/callback_recorder.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

using namespace std::chrono_literals;
using vkstest::CallbackRecorder;

constexpr size_t kFileBytes = 2500000;
constexpr uint32_t kConnectArgument = 0x5A;
constexpr auto kWait = 10s;

TEST(TypicalSessionTest, PlaysALocalFileThroughADecoderToTheEnd) {
    vkssim::Reset();
    vkssim::DeviceConfig config;
    config.inputs[VKSSIM_TYPE_NETWORK] = 1;
    config.inputs[VKSSIM_TYPE_DECODER] = 1;
    ASSERT_EQ(vkssim::AddDevice(config), 0);
    ASSERT_TRUE(vkssim::SetStreamAudio(0, true));

    std::vector<uint8_t> contents(kFileBytes);
    for (size_t i = 0; i < contents.size(); ++i) contents[i] = static_cast<uint8_t>((i * 131) ^ (i >> 9));
    char pattern[] = "/tmp/vks-session-XXXXXX";
    const int fd = mkstemp(pattern);
    ASSERT_GE(fd, 0);
    close(fd);
    const std::string path = pattern;
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(contents.data()), static_cast<std::streamsize>(contents.size()));

    // 1. Load and count.
    VKSHENGINE engine = nullptr;
    ASSERT_EQ(VKSEngineLoad(&engine), VKSERROR_NO_ERROR);
    uint32_t ports = 0, decoders = 0;
    EXPECT_EQ(VKSNetworkPortGetCount(&ports), VKSERROR_NO_ERROR);
    EXPECT_EQ(VKSDecoderGetCount(&decoders), VKSERROR_NO_ERROR);
    EXPECT_EQ(ports, 1u);
    EXPECT_EQ(decoders, 1u);
    CallbackRecorder systemEvents;
    EXPECT_EQ(VKSSetSystemEventFn(&CallbackRecorder::SystemEvent, &systemEvents), VKSERROR_NO_ERROR);

    // 2. A stream on the file.
    HVKS stream = 0;
    const std::string address = "file://" + path;
    const uint64_t openMark = vkssim::RequestMark();
    ASSERT_EQ(VKSNetworkStreamOpenExA(0, address.c_str(), 0, &stream, nullptr), VKSERROR_NO_ERROR);
    auto streamObject = vkssim::FindObject(0, VKSSIM_TYPE_NETWORK, 0);
    ASSERT_TRUE(streamObject.has_value());
    EXPECT_EQ(streamObject->address, address);
    EXPECT_EQ(streamObject->lengthValue, kFileBytes);
    auto open = vkssim::WaitForRequest(VKSSIM_IOCTL_OPEN, openMark, 0ms);
    ASSERT_TRUE(open.has_value());
    EXPECT_EQ(open->input[2128], 1u);  // a system event function is registered

    // 3. A decoder with its audio session.
    HVKS decoder = 0;
    VKSGUID session{};
    session.Data1 = 0xA0D10;
    ASSERT_EQ(VKSDecoderDeviceOpenEx(0, 0, 0, &decoder, nullptr, &session), VKSERROR_NO_ERROR);
    auto decoderObject = vkssim::FindObject(0, VKSSIM_TYPE_DECODER, 0);
    ASSERT_TRUE(decoderObject.has_value());
    EXPECT_NE(stream, decoder);

    // 4. Window and callbacks. The window's result depends on the rendering
    // library being present, which this session does not need.
    (void)VKSDecoderDeviceSetWindow(nullptr, 0, decoder, nullptr);
    CallbackRecorder decoderErrors, streamErrors;
    ASSERT_EQ(VKSDecoderDeviceSetErrorFn(nullptr, 0, decoder, &CallbackRecorder::DecoderError, &decoderErrors),
              VKSERROR_NO_ERROR);
    ASSERT_EQ(VKSNetworkStreamSetErrorFn(stream, 0, &CallbackRecorder::NetworkError, &streamErrors),
              VKSERROR_NO_ERROR);

    // 5. Connect and play.
    ASSERT_EQ(VKSDecoderDeviceSetState(stream, kConnectArgument, decoder, 2), VKSERROR_NO_ERROR);
    uint32_t state = 0;
    EXPECT_EQ(VKSDecoderDeviceGetState(decoder, &state), VKSERROR_NO_ERROR);
    EXPECT_EQ(state, 2u);
    EXPECT_EQ(VKSNetworkStreamGetState(stream, &state), VKSERROR_NO_ERROR);
    EXPECT_EQ(state, 2u);
    EXPECT_EQ(vkssim::GetObject(0, decoderObject->handle)->source, streamObject->handle);

    // 6. The first frame, the audio, and the end of the file.
    ASSERT_TRUE(decoderErrors.WaitFor(2, kWait));
    ASSERT_TRUE(streamErrors.WaitForStatus(VKSERROR_END_OF_STREAM, kWait));
    const auto blocks = vkssim::FedBlocks(0, streamObject->handle);
    ASSERT_EQ(blocks.size(), 4u);
    EXPECT_EQ(blocks[2].checksum, vkssim::FedChecksum(contents.data() + 2 * 1048576, 402848));

    // 7. Close and free.
    EXPECT_EQ(VKSDecoderDeviceClose(decoder), VKSERROR_NO_ERROR);
    EXPECT_EQ(VKSNetworkStreamClose(stream), VKSERROR_NO_ERROR);
    EXPECT_TRUE(vkssim::Objects(0).empty());
    EXPECT_EQ(VKSEngineFree(engine), VKSERROR_NO_ERROR);

    // Everything the application was told, after the engine is gone: nothing
    // more can arrive. The decoder form leads with a null pointer and a zero.
    const auto decoderCalls = decoderErrors.Calls();
    ASSERT_EQ(decoderCalls.size(), 2u);
    const VKSERROR decoderCodes[] = {VKSERROR_DECODED_FIRST_FRAME, VKSERROR_AUDIO_EXISTS};
    for (size_t i = 0; i < 2; ++i) {
        EXPECT_EQ(decoderCalls[i].leadingPointer, nullptr);
        EXPECT_EQ(decoderCalls[i].leadingValue, 0u);
        EXPECT_EQ(decoderCalls[i].handle, decoder);
        EXPECT_EQ(decoderCalls[i].status, decoderCodes[i]);
    }
    ASSERT_EQ(streamErrors.Calls().size(), 1u);
    EXPECT_TRUE(systemEvents.Calls().empty());

    std::remove(path.c_str());
    vkssim::Reset();
}

}  // namespace
