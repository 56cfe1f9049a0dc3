// The ground most API tests stand on: a fresh simulated machine for each test
// and an engine that is freed however the test ends.
#pragma once

#include "vksacc.h"
#include "vkssim/sim.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <vector>

namespace vkstest {

class SimEngineTest : public ::testing::Test {
protected:
    // Derived fixtures call this first, then add their devices. Decoders open
    // without audio: a render thread would add its own commands to the
    // request log at times of its choosing. Sound has tests of its own.
    void SetUp() override {
        VKSDecoderDeviceSetAudioDecodeEnabled(0);
        vkssim::Reset();
    }
    // Derived fixtures close their objects first, then call this.
    void TearDown() override {
        if (loaded_) {
            EXPECT_EQ(VKSEngineFree(engine_), VKSERROR_NO_ERROR);
        }
        vkssim::Reset();
    }

    // Adds a device with these input counts; returns its index.
    static int AddDevice(uint32_t network, uint32_t decoders, uint32_t encoders = 0, uint32_t discovery = 0) {
        vkssim::DeviceConfig config;
        config.inputs[VKSSIM_TYPE_NETWORK] = network;
        config.inputs[VKSSIM_TYPE_DECODER] = decoders;
        config.inputs[VKSSIM_TYPE_ENCODER] = encoders;
        config.inputs[VKSSIM_TYPE_DISCOVERY] = discovery;
        return vkssim::AddDevice(config);
    }
    void Load() {
        ASSERT_EQ(VKSEngineLoad(&engine_), VKSERROR_NO_ERROR);
        loaded_ = true;
    }
    void Free() {
        ASSERT_EQ(VKSEngineFree(engine_), VKSERROR_NO_ERROR);
        loaded_ = false;
    }

    // The requests with `code` the driver received since `mark`.
    static std::vector<vkssim::Request> Sent(uint32_t code, uint64_t mark) {
        auto found = vkssim::Requests();
        std::erase_if(found, [&](const vkssim::Request& r) { return r.code != code || r.sequence < mark; });
        return found;
    }

    // The last request with `code` since `mark`, once one has come.
    static vkssim::Request Received(uint32_t code, uint64_t mark) {
        EXPECT_TRUE(vkssim::WaitForRequest(code, mark, std::chrono::seconds(10)).has_value()) << std::hex << code;
        const auto found = Sent(code, mark);
        return found.empty() ? vkssim::Request{} : found.back();
    }
    // Opens decoder `index` without options or parameters; 0 if that fails.
    static HVKS OpenDecoder(uint32_t index = 0) {
        HVKS handle = 0;
        VKSGUID session{};
        EXPECT_EQ(VKSDecoderDeviceOpenEx(index, 0, 0, &handle, nullptr, &session), VKSERROR_NO_ERROR);
        return handle;
    }
    // The driver's handle of the object of `type` on `channel` of `device`; 0 if there is none.
    static uint32_t DriverHandle(int device, uint32_t type, uint32_t channel) {
        const auto object = vkssim::FindObject(device, type, channel);
        EXPECT_TRUE(object.has_value()) << "type " << type << " channel " << channel;
        return object.has_value() ? object->handle : 0;
    }

    VKSHENGINE engine_ = nullptr;
    bool loaded_ = false;
};

}  // namespace vkstest
