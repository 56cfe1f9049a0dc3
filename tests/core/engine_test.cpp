#include "core/engine.h"

#include "support/test_env.h"

#include <gtest/gtest.h>

#include <thread>
#include <tuple>

using vkstest::ConfigKey;
using vkstest::OemKey;
using vkstest::ScopedDllPath;
using vkstest::ScopedRegistry;

namespace {

class EngineTest : public ::testing::Test {
protected:
    void TearDown() override {
        // Every test leaves the engine unloaded for the next one.
        while (Global.LoadCount > 0 && Global.Status == VKSERROR_NO_ERROR) VKSEngineFree(Global.hEngine);
    }
};

TEST_F(EngineTest, CallsBeforeAnyLoad) {
    EXPECT_EQ(VKSEngineFree(nullptr), VKSERROR_UNINITIALIZED);
    EXPECT_EQ(VKSEngineLoad(nullptr), VKSERROR_INVALID_ARGUMENT);
    EXPECT_EQ(Global.LoadCount, 0);
    EXPECT_EQ(VKSSetSystemEventFn(nullptr, nullptr), VKSERROR_NO_ERROR);
}

// The load count, the status and whether the two completion ports are open.
std::tuple<LONG, VKSERROR, bool, bool> State() {
    return {Global.LoadCount, Global.Status, Global.WorkerCompletionPort.hPort != nullptr,
            Global.DeviceCompletionPort.hPort != nullptr};
}

TEST_F(EngineTest, LoadLoadFreeFree) {
    VKSHENGINE first = nullptr, second = nullptr;
    ASSERT_EQ(VKSEngineLoad(&first), VKSERROR_NO_ERROR);
    ASSERT_NE(first, nullptr);
    ASSERT_EQ(VKSEngineLoad(&second), VKSERROR_NO_ERROR);
    EXPECT_EQ(first, second);
    int foreign = 0;
    EXPECT_EQ(VKSEngineFree(&foreign), VKSERROR_ILLEGAL_CALL);  // and the count stays
    EXPECT_EQ(State(), std::make_tuple(2, VKSERROR_NO_ERROR, true, true));
    EXPECT_EQ(VKSEngineFree(first), VKSERROR_NO_ERROR);
    EXPECT_EQ(State(), std::make_tuple(1, VKSERROR_NO_ERROR, true, true));
    EXPECT_EQ(VKSEngineFree(first), VKSERROR_NO_ERROR);
    EXPECT_EQ(State(), std::make_tuple(0, VKSERROR_UNINITIALIZED, false, false));
    // The engine handle keeps its value after the final free.
    EXPECT_EQ(VKSEngineFree(first), VKSERROR_UNINITIALIZED);
}

TEST_F(EngineTest, TwoThreadsLoadingTogetherShareOneEngine) {
    for (int round = 0; round < 20; ++round) {
        VKSHENGINE engines[2] = {};
        VKSERROR results[2] = {1, 1};
        std::thread a([&] { results[0] = VKSEngineLoad(&engines[0]); });
        std::thread b([&] { results[1] = VKSEngineLoad(&engines[1]); });
        a.join();
        b.join();
        EXPECT_EQ(results[0] | results[1], VKSERROR_NO_ERROR);
        EXPECT_EQ(engines[0], engines[1]);
        EXPECT_EQ(Global.LoadCount, 2);
        EXPECT_EQ(VKSEngineFree(engines[0]), VKSERROR_NO_ERROR);
        EXPECT_EQ(VKSEngineFree(engines[1]), VKSERROR_NO_ERROR);
        EXPECT_EQ(Global.LoadCount, 0);
    }
}

// Before a load, loaded, and after the free: no devices, no inputs.
TEST_F(EngineTest, MachineWithoutDevicesReportsZeroCounts) {
    VKSHENGINE engine = nullptr;
    for (int phase = 0; phase < 3; ++phase) {
        SCOPED_TRACE(phase);
        if (phase == 1) {
            ASSERT_EQ(VKSEngineLoad(&engine), VKSERROR_NO_ERROR);
        } else if (phase == 2) {
            ASSERT_EQ(VKSEngineFree(engine), VKSERROR_NO_ERROR);
        }
        for (auto getCount : {VKSNetworkPortGetCount, VKSDecoderGetCount, VKSEncoderGetCount, VKSDiscoGetCount}) {
            uint32_t count = 99;
            EXPECT_EQ(getCount(&count), VKSERROR_NO_ERROR);
            EXPECT_EQ(count, 0u);
        }
    }
}

// What a load decides from the OEM name and the override value: lazy ports
// for the one OEM (in any case) or a DWORD override of 1; a failed lookup is
// no failure of the load and falls back to the default ports.
TEST_F(EngineTest, OemNameAndOverrideChooseThePorts) {
    const std::string standins = vkstest::StandinDir();
    // A name, the registry, the library path, lazy ports, the OEM name's length.
    const std::tuple<const char*, std::string, std::string, bool, size_t> cases[] = {
        {"Orvel", OemKey("\"Name\"=\"Orvel\""), standins, true, 5},
        {"upper case", OemKey("\"Name\"=\"ORVEL\"") + ConfigKey("\"Completion_Port_Override\"=dword:00000000"),
         standins, true, 5},
        {"lower case", OemKey("\"Name\"=\"orvel\""), standins, true, 5},
        {"override as text", OemKey("\"Name\"=\"Acme\"") + ConfigKey("\"Completion_Port_Override\"=\"1\""),
         standins, false, 4},
        {"override", OemKey("\"Name\"=\"Acme\"") + ConfigKey("\"Completion_Port_Override\"=dword:00000001"),
         standins, true, 4},
        // Without an OEM answer the override is not read.
        {"no library", OemKey("\"Name\"=\"Orvel\"") + ConfigKey("\"Completion_Port_Override\"=dword:00000001"), "",
         false, 0},
        {"no entry point", OemKey("\"Name\"=\"Orvel\""), standins + "/without_entry", false, 0},
        {"lookup fails", OemKey("\"Name\"=\"Orvel\"\n\"Result\"=dword:00000005"), standins, false, 0},
    };
    for (const auto& [name, registry, dllPath, lazy, oemNameUnits] : cases) {
        SCOPED_TRACE(name);
        ScopedDllPath path(dllPath);
        ScopedRegistry keys(registry);
        VKSHENGINE engine = nullptr;
        ASSERT_EQ(VKSEngineLoad(&engine), VKSERROR_NO_ERROR);
        EXPECT_EQ(Global.bCompletionPortOverride != 0, lazy);
        EXPECT_EQ(Global.WorkerCompletionPort.hPort == nullptr, lazy);
        EXPECT_EQ(std::u16string(Global.pOEMName != nullptr ? Global.pOEMName : u"").size(), oemNameUnits);
        EXPECT_EQ(VKSEngineFree(engine), VKSERROR_NO_ERROR);
    }
}

}  // namespace
