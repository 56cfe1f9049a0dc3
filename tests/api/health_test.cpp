// Device health by index against the device simulator: loads and predicted
// loads, core load, temperature, the diagnostic records and the device tests,
// with the request bytes each one sends and the figures it returns.
#include "vksacc.h"
#include "vkssim/sim.h"
#include "vks_platform.h"
#include "vks_win32/linux_ext.h"

#include "support/bytes.h"
#include "support/request_frame.h"
#include "support/sim_engine_test.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <cstring>
#include <string>
#include <vector>

using vkstest::Bytes;
using vkstest::Mismatch;
using vkstest::RequestFrame;

namespace {

constexpr uint32_t kCurrentLoad = 0x22C44C;
constexpr uint32_t kTemperature = 0x22C450;
constexpr uint32_t kCryptoContents = 0x22C460;
constexpr uint32_t kPredictLoad = 0x22C494;
constexpr uint32_t kCoreLoad = 0x22C4D4;
constexpr uint32_t kHardwareCounters = 0x22C4D8;
constexpr uint32_t kTestForceLockup = 0x22C4EC;
constexpr uint32_t kTestStopUpgradeReboot = 0x22C4F0;
constexpr uint32_t kTestMemUsage = 0x22C4F4;
constexpr uint32_t kMemoryUsage = 0x22C4F8;

using Figures = vkssim::HealthFigures;

template <size_t N>
void Fill(uint8_t (&bytes)[N], uint8_t first) {
    for (size_t i = 0; i < N; ++i) bytes[i] = static_cast<uint8_t>(first + i);
}
template <typename T>
T* As(uint8_t* p) {
    return reinterpret_cast<T*>(p);
}

class HealthTest : public vkstest::SimEngineTest {
protected:
    void SetUp() override {
        SimEngineTest::SetUp();
        // Device 0: decoders 0-1, encoder 0. Device 1: decoder 2, encoders 1-2.
        ASSERT_EQ(AddDevice(1, 2, 1), 0);
        ASSERT_EQ(AddDevice(1, 1, 2), 1);
        // Figures that differ between the devices, so that the index is seen
        // to select the device.
        for (int d = 0; d < 2; ++d) {
            Figures& f = figures_[d];
            const uint32_t base = 100u * static_cast<uint32_t>(d + 1);
            f.currentLoad = base + 1;
            f.predictedDecoderLoad = base + 2;
            f.predictedEncoderLoad = base + 3;
            Fill(f.coreLoad, static_cast<uint8_t>(base + 10));
            f.coreLoadWord = base + 4;
            f.temperature = base + 5;
            Fill(f.temperatureDetail, static_cast<uint8_t>(base + 30));
            Fill(f.cryptoContents, static_cast<uint8_t>(base + 50));
            Fill(f.hardwareCounters, static_cast<uint8_t>(base + 80));
            Fill(f.memoryUsage, static_cast<uint8_t>(base + 110));
            ASSERT_TRUE(vkssim::SetHealthFigures(d, f));
        }
    }
    // Every call closes the device file it opened, however it ends.
    void TearDown() override {
        if (loaded_) {
            EXPECT_EQ(VksOpenHandleCount(), handles_);
        }
        SimEngineTest::TearDown();
    }
    void LoadEngine() {
        Load();
        handles_ = VksOpenHandleCount();
    }
    // A whole-device command: a standard synchronous exchange whose header
    // carries no channel and no handle.
    static void ExpectSent(const vkssim::Request& r, const RequestFrame& expected) {
        EXPECT_EQ(Mismatch(r.input, expected), "");
        EXPECT_EQ(r.outputLength, 8224u);
        EXPECT_FALSE(r.overlappedFile);
    }

    Figures figures_[2];
    DWORD handles_ = 0;
};

// Every query by index: the index selects the device, the request is the
// plain header, the figures land in the caller's outputs; a failure passes
// the driver's status through and writes nothing. (An unknown index: the
// predictions and the device tests.)
TEST_F(HealthTest, QueriesByIndex) {
    struct Part {
        size_t offset, size;  // in the figures
    };
    struct Row {
        const char* name;
        uint32_t code;
        uint32_t index;
        int device;
        VKSERROR (*call)(uint32_t index, uint8_t* out);
        std::vector<Part> expected;  // the output, part by part
    };
    const Row rows[] = {
        {"decoder load", kCurrentLoad, 2, 1,
         [](uint32_t i, uint8_t* o) { return VKSDecoderGetCurrentLoad(i, As<uint32_t>(o)); },
         {{offsetof(Figures, currentLoad), 4}}},
        {"encoder load on device 1", kCurrentLoad, 2, 1,
         [](uint32_t i, uint8_t* o) { return VKSEncoderGetCurrentLoad(i, As<uint32_t>(o)); },
         {{offsetof(Figures, currentLoad), 4}}},
        {"core load", kCoreLoad, 2, 1,
         [](uint32_t i, uint8_t* o) { return VKSDecoderGetCoreLoad(i, As<VKSCORELOAD>(o), As<uint32_t>(o + 16)); },
         {{offsetof(Figures, coreLoad), 16}, {offsetof(Figures, coreLoadWord), 4}}},
        {"temperature", kTemperature, 1, 0,
         [](uint32_t i, uint8_t* o) {
             return VKSDecoderGetTemperature(i, As<uint32_t>(o), As<VKSTEMPERATUREDETAIL>(o + 4));
         },
         {{offsetof(Figures, temperature), 4}, {offsetof(Figures, temperatureDetail), 16}}},
        {"crypto contents", kCryptoContents, 0, 0,
         [](uint32_t i, uint8_t* o) { return VKSGetCryptoContents(i, As<VKSCRYPTOCONTENTS>(o)); },
         {{offsetof(Figures, cryptoContents), 24}}},
        {"hardware counters", kHardwareCounters, 2, 1,
         [](uint32_t i, uint8_t* o) { return VKSGetHardwareCounters(i, As<VKSHARDWARECOUNTERS>(o)); },
         {{offsetof(Figures, hardwareCounters), 24}}},
        {"memory usage", kMemoryUsage, 1, 0,
         [](uint32_t i, uint8_t* o) { return VKSGetMemoryUsageDiags(i, As<VKSMEMORYUSAGEDIAGS>(o)); },
         {{offsetof(Figures, memoryUsage), 56}}},
    };
    LoadEngine();
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        std::vector<uint8_t> expected;
        for (const Part& part : row.expected) {
            const auto bytes = Bytes(reinterpret_cast<const uint8_t*>(&figures_[row.device]) + part.offset, part.size);
            expected.insert(expected.end(), bytes.begin(), bytes.end());
        }
        alignas(8) uint8_t out[64];
        std::memset(out, 0x5A, sizeof out);
        const uint64_t mark = vkssim::RequestMark();
        ASSERT_EQ(row.call(row.index, out), VKSERROR_NO_ERROR);
        EXPECT_EQ(Bytes(out, expected.size()), expected);
        const auto request = Received(row.code, mark);
        ExpectSent(request, RequestFrame());
        EXPECT_EQ(request.device, row.device);

        vkssim::FailWithStatus(row.code, VKSERROR_CMD_TIMEOUT, 1);
        std::memset(out, 0x5A, sizeof out);
        EXPECT_EQ(row.call(row.index, out), VKSERROR_CMD_TIMEOUT);
        EXPECT_EQ(Bytes(out, expected.size()), std::vector<uint8_t>(expected.size(), 0x5A));
    }
}

// Outputs left out are not written; with none at all the call is illegal and
// sends nothing.
TEST_F(HealthTest, OutputsMayBeLeftOut) {
    LoadEngine();
    uint32_t word = 0;
    ASSERT_EQ(VKSDecoderGetCoreLoad(0, nullptr, &word), VKSERROR_NO_ERROR);
    EXPECT_EQ(word, figures_[0].coreLoadWord);
    VKSTEMPERATUREDETAIL detail{};
    ASSERT_EQ(VKSDecoderGetTemperature(2, nullptr, &detail), VKSERROR_NO_ERROR);
    EXPECT_EQ(std::memcmp(detail.Data, figures_[1].temperatureDetail, 16), 0);
    const uint64_t mark = vkssim::RequestMark();
    EXPECT_EQ(VKSDecoderGetTemperature(0, nullptr, nullptr), VKSERROR_ILLEGAL_CALL);
    EXPECT_EQ(VKSDecoderGetCoreLoad(0, nullptr, nullptr), VKSERROR_ILLEGAL_CALL);
    // The index lookup comes before the null-pointer checks.
    EXPECT_EQ(VKSDecoderGetCoreLoad(3, nullptr, nullptr), VKSERROR_INVALID_INPUT);
    EXPECT_EQ(vkssim::RequestMark(), mark);
}

// The address goes as text, whole up to 2047 characters with the
// terminator; no address sends an all-zero text field.
TEST_F(HealthTest, DecoderPrediction) {
    LoadEngine();
    const std::string address = "rtsp://198.51.100.7/stream1", longest(2047, 'a');
    const struct {
        uint32_t index;
        const std::string* address;
        int device;
    } rows[] = {{1, &address, 0}, {2, nullptr, 1}, {0, &longest, 0}};
    for (const auto& row : rows) {
        const uint64_t mark = vkssim::RequestMark();
        uint32_t load = 0;
        ASSERT_EQ(VKSDecoderPredictNewLoad(row.index, row.address ? row.address->c_str() : nullptr, &load),
                  VKSERROR_NO_ERROR);
        EXPECT_EQ(load, figures_[row.device].predictedDecoderLoad);
        RequestFrame expected(VKSDEVICETYPE_DECODER);
        if (row.address != nullptr) expected.Put(28, row.address->data(), row.address->size());
        ExpectSent(Received(kPredictLoad, mark), expected);
    }
    const uint64_t mark = vkssim::RequestMark();
    uint32_t load = 0x5555;
    EXPECT_EQ(VKSDecoderPredictNewLoad(0, std::string(2048, 'b').c_str(), &load), VKSERROR_BUFFER_TOO_SMALL);
    EXPECT_EQ(load, 0x5555u);
    EXPECT_EQ(VKSDecoderPredictNewLoad(3, nullptr, &load), VKSERROR_INVALID_INPUT);
    EXPECT_EQ(vkssim::RequestMark(), mark);
}

// The current load first, then the prediction with the four values (the
// record's first word is not sent).
TEST_F(HealthTest, EncoderPrediction) {
    LoadEngine();
    uint64_t mark = vkssim::RequestMark();
    uint32_t load = 0;
    EncoderLoadParams params{0xEEEEEEEE, {1920, 1080, 60, 8000000}};
    ASSERT_EQ(VKSEncoderPredictNewLoad(1, 0xFFFF, &load, &params), VKSERROR_NO_ERROR);
    EXPECT_EQ(load, figures_[1].predictedEncoderLoad);
    const auto current = Received(kCurrentLoad, mark);
    EXPECT_EQ(current.device, 1);
    const auto request = Received(kPredictLoad, mark);
    EXPECT_GT(request.sequence, current.sequence);
    ExpectSent(request, RequestFrame(VKSDEVICETYPE_ENCODER).Put(2076, params.LoadParams, 16));

    // Without parameters: the current load is stored, then the refusal.
    mark = vkssim::RequestMark();
    load = 0;
    EXPECT_EQ(VKSEncoderPredictNewLoad(0, 0, &load, nullptr), VKSERROR_INVALID_ARGUMENT);
    EXPECT_EQ(load, figures_[0].currentLoad);
    EXPECT_TRUE(Sent(kPredictLoad, mark).empty());

    // A failed prediction leaves the current load in place.
    vkssim::FailWithStatus(kPredictLoad, VKSERROR_INVALID_STATE, 1);
    load = 0;
    EXPECT_EQ(VKSEncoderPredictNewLoad(0, 0, &load, &params), VKSERROR_INVALID_STATE);
    EXPECT_EQ(load, figures_[0].currentLoad);

    // A failed current load stops there.
    vkssim::FailWithStatus(kCurrentLoad, VKSERROR_CMD_TIMEOUT, 1);
    mark = vkssim::RequestMark();
    load = 0x77;
    EXPECT_EQ(VKSEncoderPredictNewLoad(0, 0, &load, &params), VKSERROR_CMD_TIMEOUT);
    EXPECT_EQ(load, 0x77u);
    EXPECT_TRUE(Sent(kPredictLoad, mark).empty());
    EXPECT_EQ(VKSEncoderPredictNewLoad(3, 0, &load, nullptr), VKSERROR_INVALID_INPUT);
}

TEST_F(HealthTest, DeviceTestsReturnTheDeviceStatus) {
    EXPECT_EQ(VKSDecoderTestMemUsage(0), VKSERROR_UNINITIALIZED);
    EXPECT_EQ(VKSEncoderIncrementLoad(0, nullptr), VKSERROR_UNSUPPORTED);
    EXPECT_EQ(VKSEncoderDecrementLoad(0, nullptr), VKSERROR_UNSUPPORTED);
    LoadEngine();
    const struct {
        VKSERROR (*call)(uint32_t);
        uint32_t code, index;
        VKSERROR expected;
    } rows[] = {
        {VKSDecoderTestForceLockup, kTestForceLockup, 0, VKSERROR_TEST_IN_PROGRESS},
        {VKSDecoderTestStopUpgradeReboot, kTestStopUpgradeReboot, 1, VKSERROR_TEST_COMPLETE},
        {VKSDecoderTestMemUsage, kTestMemUsage, 2, VKSERROR_TEST_COMPLETE},
    };
    for (const auto& row : rows) {
        const uint64_t mark = vkssim::RequestMark();
        EXPECT_EQ(row.call(row.index), row.expected);
        const auto request = Received(row.code, mark);
        ExpectSent(request, RequestFrame());
        EXPECT_EQ(request.device, row.index == 2 ? 1 : 0);
        EXPECT_EQ(row.call(3), VKSERROR_INVALID_INPUT);
    }
    vkssim::HealthFigures failing = figures_[1];
    failing.memUsageStatus = VKSERROR_TEST_FAIL;
    ASSERT_TRUE(vkssim::SetHealthFigures(1, failing));
    EXPECT_EQ(VKSDecoderTestMemUsage(2), VKSERROR_TEST_FAIL);
    EXPECT_EQ(VKSDecoderTestMemUsage(0), VKSERROR_TEST_COMPLETE);  // the other device is unchanged
}

}  // namespace
