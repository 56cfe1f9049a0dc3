// Device health by index against the device simulator: loads and predicted
// loads, core load, temperature, the diagnostic records and the device tests,
// with the request bytes each one sends and the figures it returns.
#include "vksacc.h"
#include "vkssim/sim.h"
#include "vks_platform.h"
#include "vks_win32/linux_ext.h"

#include "support/sim_engine_test.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

using namespace std::chrono_literals;

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

template <size_t N>
void Fill(uint8_t (&bytes)[N], uint8_t first) {
    for (size_t i = 0; i < N; ++i) bytes[i] = static_cast<uint8_t>(first + i);
}
std::vector<uint8_t> Bytes(const void* p, size_t n) {
    const auto* b = static_cast<const uint8_t*>(p);
    return std::vector<uint8_t>(b, b + n);
}

class HealthTest : public vkstest::SimEngineTest {
protected:
    void SetUp() override {
        SimEngineTest::SetUp();
        // Device 0: decoders 0-1, encoder 0. Device 1: decoder 2, encoders 1-2.
        ASSERT_EQ(AddDevice(1, 2, 1), 0);
        ASSERT_EQ(AddDevice(1, 1, 2), 1);
        for (int d = 0; d < 2; ++d) {
            figures_[d] = Figures(d);
            ASSERT_TRUE(vkssim::SetHealthFigures(d, figures_[d]));
        }
    }
    // Figures that differ between the devices, so that the index is seen to
    // select the device.
    static vkssim::HealthFigures Figures(int device) {
        vkssim::HealthFigures f;
        const uint32_t base = 100u * static_cast<uint32_t>(device + 1);
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
        return f;
    }
    // The single request with `code` sent since `mark`.
    static vkssim::Request SentOne(uint32_t code, uint64_t mark) {
        const auto request = vkssim::WaitForRequest(code, mark, 1s);
        EXPECT_TRUE(request.has_value()) << std::hex << code;
        return request.value_or(vkssim::Request{});
    }
    // The whole-device request header: size and format words, nothing else
    // but (for predictions) the device type.
    static void ExpectPlainHeader(const vkssim::Request& r, uint32_t type = 0) {
        ASSERT_EQ(r.input.size(), 2824u);
        EXPECT_EQ(r.U32(0), 2824u);
        EXPECT_EQ(r.U32(4), type);
        EXPECT_EQ(r.U32(8), 0u);
        EXPECT_EQ(r.U32(12), 0u);
        EXPECT_EQ(r.U32(16), 0u);
        EXPECT_EQ(r.U32(20), 100u);
        EXPECT_EQ(r.outputLength, 8224u);
        EXPECT_FALSE(r.overlappedFile);
    }
    static bool AllZero(const vkssim::Request& r, size_t from, size_t to) {
        for (size_t i = from; i < to && i < r.input.size(); ++i) {
            if (r.input[i] != 0) return false;
        }
        return true;
    }

    vkssim::HealthFigures figures_[2];
};

// Every query by index: the index selects the device, the request is the
// plain header, the figures land in the caller's outputs; a failure passes
// the driver's status through and writes nothing; an unknown index sends
// nothing.
TEST_F(HealthTest, QueriesByIndex) {
    using Expect = std::vector<uint8_t> (*)(const vkssim::HealthFigures&);
    struct Row {
        const char* name;
        uint32_t code;
        uint32_t index;
        int device;
        VKSERROR (*call)(uint32_t index, uint8_t* out);
        Expect expected;
    };
    const Row rows[] = {
        {"decoder load", kCurrentLoad, 2, 1,
         [](uint32_t i, uint8_t* out) { return VKSDecoderGetCurrentLoad(i, reinterpret_cast<uint32_t*>(out)); },
         [](const vkssim::HealthFigures& f) { return Bytes(&f.currentLoad, 4); }},
        {"encoder load", kCurrentLoad, 0, 0,
         [](uint32_t i, uint8_t* out) { return VKSEncoderGetCurrentLoad(i, reinterpret_cast<uint32_t*>(out)); },
         [](const vkssim::HealthFigures& f) { return Bytes(&f.currentLoad, 4); }},
        {"encoder load on device 1", kCurrentLoad, 2, 1,
         [](uint32_t i, uint8_t* out) { return VKSEncoderGetCurrentLoad(i, reinterpret_cast<uint32_t*>(out)); },
         [](const vkssim::HealthFigures& f) { return Bytes(&f.currentLoad, 4); }},
        {"core load", kCoreLoad, 2, 1,
         [](uint32_t i, uint8_t* out) {
             return VKSDecoderGetCoreLoad(i, reinterpret_cast<VKSCORELOAD*>(out), reinterpret_cast<uint32_t*>(out + 16));
         },
         [](const vkssim::HealthFigures& f) {
             auto b = Bytes(f.coreLoad, 16);
             for (uint8_t x : Bytes(&f.coreLoadWord, 4)) b.push_back(x);
             return b;
         }},
        {"temperature", kTemperature, 1, 0,
         [](uint32_t i, uint8_t* out) {
             return VKSDecoderGetTemperature(i, reinterpret_cast<uint32_t*>(out),
                                             reinterpret_cast<VKSTEMPERATUREDETAIL*>(out + 4));
         },
         [](const vkssim::HealthFigures& f) {
             auto b = Bytes(&f.temperature, 4);
             for (uint8_t x : Bytes(f.temperatureDetail, 16)) b.push_back(x);
             return b;
         }},
        {"crypto contents", kCryptoContents, 0, 0,
         [](uint32_t i, uint8_t* out) { return VKSGetCryptoContents(i, reinterpret_cast<VKSCRYPTOCONTENTS*>(out)); },
         [](const vkssim::HealthFigures& f) { return Bytes(f.cryptoContents, 24); }},
        {"hardware counters", kHardwareCounters, 2, 1,
         [](uint32_t i, uint8_t* out) {
             return VKSGetHardwareCounters(i, reinterpret_cast<VKSHARDWARECOUNTERS*>(out));
         },
         [](const vkssim::HealthFigures& f) { return Bytes(f.hardwareCounters, 24); }},
        {"memory usage", kMemoryUsage, 1, 0,
         [](uint32_t i, uint8_t* out) {
             return VKSGetMemoryUsageDiags(i, reinterpret_cast<VKSMEMORYUSAGEDIAGS*>(out));
         },
         [](const vkssim::HealthFigures& f) { return Bytes(f.memoryUsage, 56); }},
    };
    Load();
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const std::vector<uint8_t> expected = row.expected(figures_[row.device]);
        alignas(8) uint8_t out[64];
        std::memset(out, 0x5A, sizeof out);
        uint64_t mark = vkssim::RequestMark();
        ASSERT_EQ(row.call(row.index, out), VKSERROR_NO_ERROR);
        EXPECT_EQ(Bytes(out, expected.size()), expected);
        const auto request = SentOne(row.code, mark);
        ExpectPlainHeader(request);
        EXPECT_EQ(request.device, row.device);
        EXPECT_TRUE(AllZero(request, 24, 2824));

        vkssim::FailWithStatus(row.code, VKSERROR_CMD_TIMEOUT, 1);
        std::memset(out, 0x5A, sizeof out);
        EXPECT_EQ(row.call(row.index, out), VKSERROR_CMD_TIMEOUT);
        EXPECT_EQ(Bytes(out, expected.size()), std::vector<uint8_t>(expected.size(), 0x5A));
        mark = vkssim::RequestMark();
        EXPECT_EQ(row.call(3, out), VKSERROR_INVALID_INPUT);
        EXPECT_EQ(vkssim::RequestMark(), mark);
    }
}

// Outputs left out are not written; with none at all the call is illegal and
// sends nothing.
TEST_F(HealthTest, OutputsMayBeLeftOut) {
    Load();
    uint32_t word = 0;
    ASSERT_EQ(VKSDecoderGetCoreLoad(0, nullptr, &word), VKSERROR_NO_ERROR);
    EXPECT_EQ(word, figures_[0].coreLoadWord);
    VKSTEMPERATUREDETAIL detail;
    std::memset(&detail, 0, sizeof(detail));
    ASSERT_EQ(VKSDecoderGetTemperature(2, nullptr, &detail), VKSERROR_NO_ERROR);
    EXPECT_EQ(std::memcmp(detail.Data, figures_[1].temperatureDetail, 16), 0);
    const uint64_t mark = vkssim::RequestMark();
    EXPECT_EQ(VKSDecoderGetTemperature(0, nullptr, nullptr), VKSERROR_ILLEGAL_CALL);
    EXPECT_EQ(VKSDecoderGetCoreLoad(0, nullptr, nullptr), VKSERROR_ILLEGAL_CALL);
    EXPECT_EQ(VKSDecoderGetCurrentLoad(0, nullptr), VKSERROR_ILLEGAL_CALL);
    EXPECT_EQ(VKSEncoderGetCurrentLoad(0, nullptr), VKSERROR_ILLEGAL_CALL);
    // The index lookup comes before the null-pointer checks.
    EXPECT_EQ(VKSDecoderGetCoreLoad(3, nullptr, nullptr), VKSERROR_INVALID_INPUT);
    EXPECT_EQ(vkssim::RequestMark(), mark);
}

TEST_F(HealthTest, DecoderPrediction) {
    Load();
    uint64_t mark = vkssim::RequestMark();
    uint32_t load = 0;
    const char* address = "rtsp://198.51.100.7/stream1";
    ASSERT_EQ(VKSDecoderPredictNewLoad(1, address, &load), VKSERROR_NO_ERROR);
    EXPECT_EQ(load, figures_[0].predictedDecoderLoad);
    auto request = SentOne(kPredictLoad, mark);
    ExpectPlainHeader(request, VKSDEVICETYPE_DECODER);
    const std::string sent(reinterpret_cast<const char*>(request.input.data() + 28));
    EXPECT_EQ(sent, address);
    EXPECT_TRUE(AllZero(request, 28 + sent.size(), 2824));

    // No address: the command goes with an all-zero text field.
    mark = vkssim::RequestMark();
    ASSERT_EQ(VKSDecoderPredictNewLoad(2, nullptr, &load), VKSERROR_NO_ERROR);
    EXPECT_EQ(load, figures_[1].predictedDecoderLoad);
    EXPECT_TRUE(AllZero(SentOne(kPredictLoad, mark), 24, 2824));

    // 2047 characters fit with the terminator; 2048 do not and send nothing.
    const std::string longest(2047, 'a');
    mark = vkssim::RequestMark();
    ASSERT_EQ(VKSDecoderPredictNewLoad(0, longest.c_str(), &load), VKSERROR_NO_ERROR);
    request = SentOne(kPredictLoad, mark);
    EXPECT_EQ(request.input[28 + 2046], 'a');
    EXPECT_EQ(request.input[28 + 2047], 0);
    const std::string tooLong(2048, 'b');
    mark = vkssim::RequestMark();
    load = 0x5555;
    EXPECT_EQ(VKSDecoderPredictNewLoad(0, tooLong.c_str(), &load), VKSERROR_BUFFER_TOO_SMALL);
    EXPECT_EQ(load, 0x5555u);
    EXPECT_EQ(VKSDecoderPredictNewLoad(0, address, nullptr), VKSERROR_ILLEGAL_CALL);
    EXPECT_EQ(VKSDecoderPredictNewLoad(3, nullptr, &load), VKSERROR_INVALID_INPUT);
    EXPECT_EQ(vkssim::RequestMark(), mark);
}

TEST_F(HealthTest, EncoderPrediction) {
    Load();
    uint64_t mark = vkssim::RequestMark();
    uint32_t load = 0;
    EncoderLoadParams params{};
    params.Reserved0 = 0xEEEEEEEE;
    params.LoadParams[0] = 1920;
    params.LoadParams[1] = 1080;
    params.LoadParams[2] = 60;
    params.LoadParams[3] = 8000000;
    ASSERT_EQ(VKSEncoderPredictNewLoad(1, 0xFFFF, &load, &params), VKSERROR_NO_ERROR);
    EXPECT_EQ(load, figures_[1].predictedEncoderLoad);
    const auto current = SentOne(kCurrentLoad, mark);
    EXPECT_EQ(current.device, 1);
    const auto request = SentOne(kPredictLoad, mark);
    EXPECT_GT(request.sequence, current.sequence);
    ExpectPlainHeader(request, VKSDEVICETYPE_ENCODER);
    EXPECT_TRUE(AllZero(request, 24, 2076));
    for (uint32_t i = 0; i < 4; ++i) EXPECT_EQ(request.U32(2076 + 4 * i), params.LoadParams[i]);
    EXPECT_TRUE(AllZero(request, 2092, 2824));  // the unsent first word is nowhere

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
    EXPECT_EQ(VKSEncoderPredictNewLoad(0, 0, nullptr, &params), VKSERROR_ILLEGAL_CALL);
    EXPECT_EQ(VKSEncoderPredictNewLoad(3, 0, &load, nullptr), VKSERROR_INVALID_INPUT);
}

TEST_F(HealthTest, DeviceTestsReturnTheDeviceStatus) {
    EXPECT_EQ(VKSDecoderTestMemUsage(0), VKSERROR_UNINITIALIZED);
    EXPECT_EQ(VKSEncoderIncrementLoad(0, nullptr), VKSERROR_UNSUPPORTED);
    EXPECT_EQ(VKSEncoderDecrementLoad(0, nullptr), VKSERROR_UNSUPPORTED);
    Load();
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
        const auto request = SentOne(row.code, mark);
        ExpectPlainHeader(request);
        EXPECT_EQ(request.device, row.index == 2 ? 1 : 0);
        EXPECT_EQ(row.call(3), VKSERROR_INVALID_INPUT);
    }
    vkssim::HealthFigures failing = figures_[1];
    failing.memUsageStatus = VKSERROR_TEST_FAIL;
    ASSERT_TRUE(vkssim::SetHealthFigures(1, failing));
    EXPECT_EQ(VKSDecoderTestMemUsage(2), VKSERROR_TEST_FAIL);
    EXPECT_EQ(VKSDecoderTestMemUsage(0), VKSERROR_TEST_COMPLETE);  // the other device is unchanged

    // A device whose file cannot be opened; the other still answers.
    uint32_t load = 0;
    vkssim::FailCreate(1, 2);
    EXPECT_EQ(VKSDecoderGetCurrentLoad(2, &load), VKSERROR_DRIVER_NOT_FOUND);
    EXPECT_EQ(VKSDecoderTestForceLockup(2), VKSERROR_DRIVER_NOT_FOUND);
    EXPECT_EQ(VKSDecoderGetCurrentLoad(0, &load), VKSERROR_NO_ERROR);
    vkssim::FailCreate(1, 0);
    vkssim::FailWithWin32Error(kCoreLoad, 998, 1);
    EXPECT_EQ(VKSDecoderGetCoreLoad(0, nullptr, &load), VKSERROR_NOACCESS);
}

TEST_F(HealthTest, EveryCallClosesTheFileItOpened) {
    Load();
    uint32_t load = 0;
    uint32_t temperature = 0;
    VKSMEMORYUSAGEDIAGS usage;
    EncoderLoadParams params{};
    const DWORD before = VksOpenHandleCount();
    EXPECT_EQ(VKSDecoderGetCurrentLoad(0, &load), VKSERROR_NO_ERROR);
    EXPECT_EQ(VKSDecoderGetCurrentLoad(0, nullptr), VKSERROR_ILLEGAL_CALL);
    EXPECT_EQ(VKSEncoderPredictNewLoad(0, 0, &load, &params), VKSERROR_NO_ERROR);
    EXPECT_EQ(VKSEncoderPredictNewLoad(0, 0, &load, nullptr), VKSERROR_INVALID_ARGUMENT);
    EXPECT_EQ(VKSDecoderPredictNewLoad(0, std::string(4000, 'c').c_str(), &load), VKSERROR_BUFFER_TOO_SMALL);
    EXPECT_EQ(VKSDecoderGetTemperature(0, &temperature, nullptr), VKSERROR_NO_ERROR);
    EXPECT_EQ(VKSDecoderGetTemperature(0, nullptr, nullptr), VKSERROR_ILLEGAL_CALL);
    EXPECT_EQ(VKSDecoderGetCoreLoad(0, nullptr, nullptr), VKSERROR_ILLEGAL_CALL);
    EXPECT_EQ(VKSGetMemoryUsageDiags(0, &usage), VKSERROR_NO_ERROR);
    vkssim::FailWithStatus(kTestForceLockup, VKSERROR_CMD_TIMEOUT, 1);
    EXPECT_EQ(VKSDecoderTestForceLockup(0), VKSERROR_CMD_TIMEOUT);
    EXPECT_EQ(VksOpenHandleCount(), before);
}

}  // namespace
