// Loading and freeing the engine many times with devices present and objects
// left open must not leak handles, threads or memory (the sanitizer builds
// check the memory at exit).
#include "vksacc.h"
#include "vks_platform.h"
#include "vks_win32/linux_ext.h"
#include "vkssim/sim.h"

#include <gtest/gtest.h>

#include "support/process_counts.h"

namespace {

using vkstest::ThreadCount;

TEST(EngineCycles, ThousandLoadsAndFreesWithObjectsLeftOpenLeakNothing) {
    // Decoders open without audio: a thousand helper processes would make
    // this a test of process start-up rather than of the engine.
    VKSDecoderDeviceSetAudioDecodeEnabled(0);
    vkssim::Reset();
    vkssim::DeviceConfig config;
    config.inputs[VKSSIM_TYPE_NETWORK] = 2;
    config.inputs[VKSSIM_TYPE_DECODER] = 2;
    vkssim::AddDevice(config);
    vkssim::AddDevice(config);

    // One cycle first, so that lazily made process-wide state exists.
    VKSHENGINE engine = nullptr;
    ASSERT_EQ(VKSEngineLoad(&engine), VKSERROR_NO_ERROR);
    ASSERT_EQ(VKSEngineFree(engine), VKSERROR_NO_ERROR);
    const DWORD handlesBefore = VksOpenHandleCount();
    const size_t threadsBefore = ThreadCount();

    for (int cycle = 0; cycle < 1000; ++cycle) {
        ASSERT_EQ(VKSEngineLoad(&engine), VKSERROR_NO_ERROR) << cycle;
        HVKS stream = 0;
        HVKS decoder = 0;
        VKSGUID session{};
        ASSERT_EQ(VKSNetworkStreamOpenExA(cycle % 4, "rtsp://camera", 0, &stream, nullptr), VKSERROR_NO_ERROR);
        ASSERT_EQ(VKSDecoderDeviceOpenEx(cycle % 4, 0, 0, &decoder, nullptr, &session), VKSERROR_NO_ERROR);
        ASSERT_EQ(VKSEngineFree(engine), VKSERROR_NO_ERROR) << cycle;
    }

    EXPECT_EQ(VksOpenHandleCount(), handlesBefore);
    // (Before may itself count a thread of the first cycle still leaving.)
    EXPECT_LE(vkstest::ThreadCountSettledAtMost(threadsBefore), threadsBefore);
    vkssim::Reset();
}

}  // namespace
