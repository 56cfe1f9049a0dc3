// Loading and freeing the engine many times with devices present and objects
// left open must not leak handles, threads or memory (the sanitizer builds
// check the memory at exit).
#include "vksacc.h"
#include "vks_platform.h"
#include "vks_win32/linux_ext.h"
#include "vkssim/sim.h"

#include <gtest/gtest.h>

#include "support/process_counts.h"
#include "support/sim_engine_test.h"

namespace {

class EngineCycles : public vkstest::SimEngineTest {};

// Decoders open without audio (as the fixture has them): a thousand helper
// processes would make this a test of process start-up rather than of the
// engine.
TEST_F(EngineCycles, ThousandLoadsAndFreesWithObjectsLeftOpenLeakNothing) {
    AddDevice(2, 2);
    AddDevice(2, 2);
    // One cycle first, so that lazily made process-wide state exists.
    Load();
    Free();
    const DWORD handlesBefore = VksOpenHandleCount();
    const size_t threadsBefore = vkstest::ThreadCount();

    for (int cycle = 0; cycle < 1000; ++cycle) {
        SCOPED_TRACE(cycle);
        ASSERT_NO_FATAL_FAILURE(Load());
        HVKS stream = 0;
        ASSERT_EQ(VKSNetworkStreamOpenExA(cycle % 4, "rtsp://camera", 0, &stream, nullptr), VKSERROR_NO_ERROR);
        ASSERT_NE(OpenDecoder(cycle % 4), 0u);
        ASSERT_NO_FATAL_FAILURE(Free());
    }

    EXPECT_EQ(VksOpenHandleCount(), handlesBefore);
    // (Before may itself count a thread of the first cycle still leaving.)
    EXPECT_LE(vkstest::ThreadCountSettledAtMost(threadsBefore), threadsBefore);
}

}  // namespace
