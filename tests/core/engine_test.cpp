#include "core/engine.h"

#include "support/test_env.h"

#include <gtest/gtest.h>

#include <thread>

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

TEST_F(EngineTest, FreeBeforeAnyLoadReportsUninitialised) {
    EXPECT_EQ(VKSEngineFree(nullptr), VKSERROR_UNINITIALIZED);
}

TEST_F(EngineTest, NullOutParameterIsRefusedWithoutCounting) {
    EXPECT_EQ(VKSEngineLoad(nullptr), VKSERROR_INVALID_ARGUMENT);
    EXPECT_EQ(Global.LoadCount, 0);
}

TEST_F(EngineTest, LoadLoadFreeFree) {
    VKSHENGINE first = nullptr;
    VKSHENGINE second = nullptr;
    ASSERT_EQ(VKSEngineLoad(&first), VKSERROR_NO_ERROR);
    ASSERT_NE(first, nullptr);
    ASSERT_EQ(VKSEngineLoad(&second), VKSERROR_NO_ERROR);
    EXPECT_EQ(first, second);
    EXPECT_EQ(Global.LoadCount, 2);
    EXPECT_NE(Global.WorkerCompletionPort.hPort, nullptr);

    EXPECT_EQ(VKSEngineFree(first), VKSERROR_NO_ERROR);
    EXPECT_EQ(Global.LoadCount, 1);
    EXPECT_EQ(Global.Status, VKSERROR_NO_ERROR);
    EXPECT_NE(Global.WorkerCompletionPort.hPort, nullptr);

    EXPECT_EQ(VKSEngineFree(first), VKSERROR_NO_ERROR);
    EXPECT_EQ(Global.LoadCount, 0);
    EXPECT_EQ(Global.Status, VKSERROR_UNINITIALIZED);
    EXPECT_EQ(Global.WorkerCompletionPort.hPort, nullptr);
    EXPECT_EQ(Global.DeviceCompletionPort.hPort, nullptr);

    // The engine handle keeps its value after the final free.
    EXPECT_EQ(VKSEngineFree(first), VKSERROR_UNINITIALIZED);
}

TEST_F(EngineTest, FreeWithAForeignHandleIsAnIllegalCall) {
    VKSHENGINE engine = nullptr;
    ASSERT_EQ(VKSEngineLoad(&engine), VKSERROR_NO_ERROR);
    int foreign = 0;
    EXPECT_EQ(VKSEngineFree(&foreign), VKSERROR_ILLEGAL_CALL);
    EXPECT_EQ(Global.LoadCount, 1);
    EXPECT_EQ(VKSEngineFree(engine), VKSERROR_NO_ERROR);
}

TEST_F(EngineTest, TwoThreadsLoadingTogetherShareOneEngine) {
    for (int round = 0; round < 20; ++round) {
        VKSHENGINE engines[2] = {};
        VKSERROR results[2] = {1, 1};
        std::thread a([&] { results[0] = VKSEngineLoad(&engines[0]); });
        std::thread b([&] { results[1] = VKSEngineLoad(&engines[1]); });
        a.join();
        b.join();
        EXPECT_EQ(results[0], VKSERROR_NO_ERROR);
        EXPECT_EQ(results[1], VKSERROR_NO_ERROR);
        EXPECT_EQ(engines[0], engines[1]);
        EXPECT_EQ(Global.LoadCount, 2);
        EXPECT_EQ(VKSEngineFree(engines[0]), VKSERROR_NO_ERROR);
        EXPECT_EQ(VKSEngineFree(engines[1]), VKSERROR_NO_ERROR);
        EXPECT_EQ(Global.LoadCount, 0);
    }
}

TEST_F(EngineTest, MachineWithoutDevicesReportsZeroCounts) {
    uint32_t count = 99;
    EXPECT_EQ(VKSDecoderGetCount(&count), VKSERROR_NO_ERROR);
    EXPECT_EQ(count, 0u);
    VKSHENGINE engine = nullptr;
    ASSERT_EQ(VKSEngineLoad(&engine), VKSERROR_NO_ERROR);
    for (auto getCount : {VKSNetworkPortGetCount, VKSDecoderGetCount, VKSEncoderGetCount, VKSDiscoGetCount}) {
        count = 99;
        EXPECT_EQ(getCount(&count), VKSERROR_NO_ERROR);
        EXPECT_EQ(count, 0u);
        EXPECT_EQ(getCount(nullptr), VKSERROR_INVALID_ARGUMENT);
    }
    EXPECT_EQ(VKSEngineFree(engine), VKSERROR_NO_ERROR);
    count = 99;
    EXPECT_EQ(VKSEncoderGetCount(&count), VKSERROR_NO_ERROR);
    EXPECT_EQ(count, 0u);
}

// Loads and frees once, returning what the load decided.
struct LoadOutcome {
    VKSERROR status;
    bool lazyPorts;
    bool workerPortRunning;
    std::u16string oemName;
};

LoadOutcome LoadAndFree() {
    VKSHENGINE engine = nullptr;
    LoadOutcome outcome{};
    outcome.status = VKSEngineLoad(&engine);
    outcome.lazyPorts = Global.bCompletionPortOverride != 0;
    outcome.workerPortRunning = Global.WorkerCompletionPort.hPort != nullptr;
    outcome.oemName = Global.pOEMName != nullptr ? Global.pOEMName : u"";
    if (outcome.status == VKSERROR_NO_ERROR) VKSEngineFree(engine);
    return outcome;
}

TEST_F(EngineTest, OemNameOrvelInAnyCaseChoosesLazyPorts) {
    ScopedDllPath dllPath(vkstest::StandinDir());
    for (const char* name : {"Orvel", "ORVEL", "orvel"}) {
        ScopedRegistry registry(OemKey(std::string("\"Name\"=\"") + name + "\"") +
                                ConfigKey("\"Completion_Port_Override\"=dword:00000000"));
        const LoadOutcome outcome = LoadAndFree();
        EXPECT_EQ(outcome.status, VKSERROR_NO_ERROR) << name;
        EXPECT_TRUE(outcome.lazyPorts) << name;
        EXPECT_FALSE(outcome.workerPortRunning) << name;
        EXPECT_EQ(outcome.oemName.size(), 5u) << name;
    }
}

TEST_F(EngineTest, CompletionPortOverrideCountsOnlyAsDword) {
    ScopedDllPath dllPath(vkstest::StandinDir());
    {
        ScopedRegistry registry(OemKey("\"Name\"=\"Acme\"") + ConfigKey("\"Completion_Port_Override\"=\"1\""));
        const LoadOutcome outcome = LoadAndFree();
        EXPECT_FALSE(outcome.lazyPorts);
        EXPECT_TRUE(outcome.workerPortRunning);
    }
    {
        ScopedRegistry registry(OemKey("\"Name\"=\"Acme\"") + ConfigKey("\"Completion_Port_Override\"=dword:00000001"));
        const LoadOutcome outcome = LoadAndFree();
        EXPECT_TRUE(outcome.lazyPorts);
        EXPECT_FALSE(outcome.workerPortRunning);
    }
}

TEST_F(EngineTest, FailedOemLookupIsNotAnEngineFailure) {
    ScopedRegistry registry(OemKey("\"Name\"=\"Orvel\""));
    {
        ScopedDllPath dllPath("");  // no OEM library to be found
        const LoadOutcome outcome = LoadAndFree();
        EXPECT_EQ(outcome.status, VKSERROR_NO_ERROR);
        EXPECT_TRUE(outcome.oemName.empty());
        EXPECT_TRUE(outcome.workerPortRunning);
    }
    {
        ScopedDllPath dllPath(vkstest::StandinDir() + "/without_entry");
        const LoadOutcome outcome = LoadAndFree();
        EXPECT_EQ(outcome.status, VKSERROR_NO_ERROR);
        EXPECT_TRUE(outcome.oemName.empty());
    }
}

TEST_F(EngineTest, FailedLookupAfterALazyLoadFallsBackToDefaultPorts) {
    ScopedDllPath dllPath(vkstest::StandinDir());
    {
        ScopedRegistry registry(OemKey("\"Name\"=\"Orvel\""));
        EXPECT_TRUE(LoadAndFree().lazyPorts);
    }
    {
        ScopedRegistry registry(OemKey("\"Name\"=\"Orvel\"\n\"Result\"=dword:00000005"));
        const LoadOutcome outcome = LoadAndFree();
        EXPECT_EQ(outcome.status, VKSERROR_NO_ERROR);
        EXPECT_FALSE(outcome.lazyPorts);
        EXPECT_TRUE(outcome.workerPortRunning);
    }
}

TEST_F(EngineTest, SystemEventFunctionCanBeSetOutsideTheEngineLifetime) {
    EXPECT_EQ(VKSSetSystemEventFn(nullptr, nullptr), VKSERROR_NO_ERROR);
    VKSHENGINE engine = nullptr;
    ASSERT_EQ(VKSEngineLoad(&engine), VKSERROR_NO_ERROR);
    int context = 0;
    auto fn = [](VKSERROR, void*, void*) {};
    EXPECT_EQ(VKSSetSystemEventFn(fn, &context), VKSERROR_NO_ERROR);
    EXPECT_EQ(Global.pSystemEventContext, &context);
    EXPECT_EQ(VKSEngineFree(engine), VKSERROR_NO_ERROR);
    EXPECT_EQ(VKSSetSystemEventFn(nullptr, nullptr), VKSERROR_NO_ERROR);
}

}  // namespace
