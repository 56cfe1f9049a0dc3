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

class HealthTest : public vkstest::SimEngineTest {
protected:
    void SetUp() override {
        SimEngineTest::SetUp();
        // Device 0: decoders 0-1, encoder 0. Device 1: decoder 2, encoders 1-2.
        AddDevice(2, 1);
        AddDevice(1, 2);
        figures_[0] = Figures(0);
        figures_[1] = Figures(1);
        ASSERT_TRUE(vkssim::SetHealthFigures(0, figures_[0]));
        ASSERT_TRUE(vkssim::SetHealthFigures(1, figures_[1]));
    }
    static void AddDevice(uint32_t decoders, uint32_t encoders) {
        ASSERT_GE(SimEngineTest::AddDevice(1, decoders, encoders), 0);
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
    static vkssim::Request Sent(uint32_t code, uint64_t mark) {
        const auto request = vkssim::WaitForRequest(code, mark, 1s);
        EXPECT_TRUE(request.has_value()) << std::hex << code;
        return request.value_or(vkssim::Request{});
    }
    static size_t CountSince(uint32_t code, uint64_t mark) {
        size_t n = 0;
        for (const auto& r : vkssim::Requests()) {
            if (r.sequence >= mark && r.code == code) ++n;
        }
        return n;
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

TEST_F(HealthTest, CurrentLoads) {
    Load();
    uint64_t mark = vkssim::RequestMark();
    uint32_t load = 0;
    ASSERT_EQ(VKSDecoderGetCurrentLoad(2, &load), VKSERROR_NO_ERROR);
    EXPECT_EQ(load, figures_[1].currentLoad);
    const auto request = Sent(kCurrentLoad, mark);
    ExpectPlainHeader(request);
    EXPECT_EQ(request.device, 1);
    EXPECT_TRUE(AllZero(request, 24, 2824));

    mark = vkssim::RequestMark();
    ASSERT_EQ(VKSEncoderGetCurrentLoad(0, &load), VKSERROR_NO_ERROR);
    EXPECT_EQ(load, figures_[0].currentLoad);
    EXPECT_EQ(Sent(kCurrentLoad, mark).device, 0);
    ASSERT_EQ(VKSEncoderGetCurrentLoad(2, &load), VKSERROR_NO_ERROR);
    EXPECT_EQ(load, figures_[1].currentLoad);

    // Nothing is written on failure; the driver's status passes through.
    vkssim::FailWithStatus(kCurrentLoad, VKSERROR_CMD_TIMEOUT, 1);
    load = 0xABCD;
    EXPECT_EQ(VKSDecoderGetCurrentLoad(0, &load), VKSERROR_CMD_TIMEOUT);
    EXPECT_EQ(load, 0xABCDu);
}

TEST_F(HealthTest, DecoderPrediction) {
    Load();
    uint64_t mark = vkssim::RequestMark();
    uint32_t load = 0;
    const char* address = "rtsp://198.51.100.7/stream1";
    ASSERT_EQ(VKSDecoderPredictNewLoad(1, address, &load), VKSERROR_NO_ERROR);
    EXPECT_EQ(load, figures_[0].predictedDecoderLoad);
    auto request = Sent(kPredictLoad, mark);
    ExpectPlainHeader(request, VKSDEVICETYPE_DECODER);
    const std::string sent(reinterpret_cast<const char*>(request.input.data() + 28));
    EXPECT_EQ(sent, address);
    EXPECT_TRUE(AllZero(request, 28 + sent.size(), 2824));

    // No address: the command goes with an all-zero text field.
    mark = vkssim::RequestMark();
    ASSERT_EQ(VKSDecoderPredictNewLoad(2, nullptr, &load), VKSERROR_NO_ERROR);
    EXPECT_EQ(load, figures_[1].predictedDecoderLoad);
    request = Sent(kPredictLoad, mark);
    EXPECT_EQ(request.U32(4), VKSDEVICETYPE_DECODER);
    EXPECT_TRUE(AllZero(request, 24, 2824));

    // 2047 characters fit with the terminator; 2048 do not and send nothing.
    const std::string longest(2047, 'a');
    mark = vkssim::RequestMark();
    ASSERT_EQ(VKSDecoderPredictNewLoad(0, longest.c_str(), &load), VKSERROR_NO_ERROR);
    request = Sent(kPredictLoad, mark);
    EXPECT_EQ(request.input[28 + 2046], 'a');
    EXPECT_EQ(request.input[28 + 2047], 0);
    const std::string tooLong(2048, 'b');
    mark = vkssim::RequestMark();
    load = 0x5555;
    EXPECT_EQ(VKSDecoderPredictNewLoad(0, tooLong.c_str(), &load), VKSERROR_BUFFER_TOO_SMALL);
    EXPECT_EQ(load, 0x5555u);
    EXPECT_EQ(CountSince(kPredictLoad, mark), 0u);

    EXPECT_EQ(VKSDecoderPredictNewLoad(0, address, nullptr), VKSERROR_ILLEGAL_CALL);
    EXPECT_EQ(CountSince(kPredictLoad, mark), 0u);
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
    const auto current = Sent(kCurrentLoad, mark);
    EXPECT_EQ(current.device, 1);
    const auto request = Sent(kPredictLoad, mark);
    EXPECT_GT(request.sequence, current.sequence);
    ExpectPlainHeader(request, VKSDEVICETYPE_ENCODER);
    EXPECT_TRUE(AllZero(request, 24, 2076));
    EXPECT_EQ(request.U32(2076), 1920u);
    EXPECT_EQ(request.U32(2080), 1080u);
    EXPECT_EQ(request.U32(2084), 60u);
    EXPECT_EQ(request.U32(2088), 8000000u);
    EXPECT_TRUE(AllZero(request, 2092, 2824));  // the unsent first word is nowhere

    // Without parameters: the current load is stored, then the refusal.
    mark = vkssim::RequestMark();
    load = 0;
    EXPECT_EQ(VKSEncoderPredictNewLoad(0, 0, &load, nullptr), VKSERROR_INVALID_ARGUMENT);
    EXPECT_EQ(load, figures_[0].currentLoad);
    EXPECT_EQ(CountSince(kPredictLoad, mark), 0u);

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
    EXPECT_EQ(CountSince(kPredictLoad, mark), 0u);

    EXPECT_EQ(VKSEncoderPredictNewLoad(0, 0, nullptr, &params), VKSERROR_ILLEGAL_CALL);
}

TEST_F(HealthTest, IncrementAndDecrementAreUnsupportedEvenUnloaded) {
    EncoderLoadParams params{};
    EXPECT_EQ(VKSEncoderIncrementLoad(0, &params), VKSERROR_UNSUPPORTED);
    EXPECT_EQ(VKSEncoderDecrementLoad(0, nullptr), VKSERROR_UNSUPPORTED);
    Load();
    EXPECT_EQ(VKSEncoderIncrementLoad(99, nullptr), VKSERROR_UNSUPPORTED);
    EXPECT_EQ(VKSEncoderDecrementLoad(0, &params), VKSERROR_UNSUPPORTED);
}

TEST_F(HealthTest, CoreLoadFillsEachOutputGiven) {
    Load();
    uint64_t mark = vkssim::RequestMark();
    VKSCORELOAD record;
    std::memset(&record, 0, sizeof(record));
    uint32_t word = 0;
    ASSERT_EQ(VKSDecoderGetCoreLoad(2, &record, &word), VKSERROR_NO_ERROR);
    EXPECT_EQ(std::memcmp(record.Data, figures_[1].coreLoad, 16), 0);
    EXPECT_EQ(word, figures_[1].coreLoadWord);
    ExpectPlainHeader(Sent(kCoreLoad, mark));

    std::memset(&record, 0xFF, sizeof(record));
    ASSERT_EQ(VKSDecoderGetCoreLoad(0, &record, nullptr), VKSERROR_NO_ERROR);
    EXPECT_EQ(std::memcmp(record.Data, figures_[0].coreLoad, 16), 0);
    word = 0;
    ASSERT_EQ(VKSDecoderGetCoreLoad(0, nullptr, &word), VKSERROR_NO_ERROR);
    EXPECT_EQ(word, figures_[0].coreLoadWord);

    mark = vkssim::RequestMark();
    EXPECT_EQ(VKSDecoderGetCoreLoad(0, nullptr, nullptr), VKSERROR_ILLEGAL_CALL);
    EXPECT_EQ(CountSince(kCoreLoad, mark), 0u);
}

TEST_F(HealthTest, TemperatureFillsEachOutputGiven) {
    Load();
    uint64_t mark = vkssim::RequestMark();
    uint32_t temperature = 0;
    VKSTEMPERATUREDETAIL detail;
    std::memset(&detail, 0, sizeof(detail));
    ASSERT_EQ(VKSDecoderGetTemperature(1, &temperature, &detail), VKSERROR_NO_ERROR);
    EXPECT_EQ(temperature, figures_[0].temperature);
    EXPECT_EQ(std::memcmp(detail.Data, figures_[0].temperatureDetail, 16), 0);
    ExpectPlainHeader(Sent(kTemperature, mark));

    // Only the record: it is filled and nothing else.
    std::memset(&detail, 0, sizeof(detail));
    ASSERT_EQ(VKSDecoderGetTemperature(2, nullptr, &detail), VKSERROR_NO_ERROR);
    EXPECT_EQ(std::memcmp(detail.Data, figures_[1].temperatureDetail, 16), 0);
    temperature = 0;
    ASSERT_EQ(VKSDecoderGetTemperature(2, &temperature, nullptr), VKSERROR_NO_ERROR);
    EXPECT_EQ(temperature, figures_[1].temperature);

    mark = vkssim::RequestMark();
    EXPECT_EQ(VKSDecoderGetTemperature(0, nullptr, nullptr), VKSERROR_ILLEGAL_CALL);
    EXPECT_EQ(CountSince(kTemperature, mark), 0u);

    vkssim::FailWithStatus(kTemperature, VKSERROR_CMD_TIMEOUT, 1);
    temperature = 0x99;
    std::memset(&detail, 0x5A, sizeof(detail));
    EXPECT_EQ(VKSDecoderGetTemperature(0, &temperature, &detail), VKSERROR_CMD_TIMEOUT);
    EXPECT_EQ(temperature, 0x99u);
    EXPECT_EQ(detail.Data[0], 0x5A);
}

TEST_F(HealthTest, DiagnosticRecords) {
    Load();
    uint64_t mark = vkssim::RequestMark();
    VKSCRYPTOCONTENTS crypto;
    std::memset(&crypto, 0, sizeof(crypto));
    ASSERT_EQ(VKSGetCryptoContents(0, &crypto), VKSERROR_NO_ERROR);
    EXPECT_EQ(std::memcmp(crypto.Data, figures_[0].cryptoContents, 24), 0);
    ExpectPlainHeader(Sent(kCryptoContents, mark));

    mark = vkssim::RequestMark();
    VKSHARDWARECOUNTERS counters;
    std::memset(&counters, 0, sizeof(counters));
    ASSERT_EQ(VKSGetHardwareCounters(2, &counters), VKSERROR_NO_ERROR);
    EXPECT_EQ(std::memcmp(counters.Data, figures_[1].hardwareCounters, 24), 0);
    ExpectPlainHeader(Sent(kHardwareCounters, mark));

    mark = vkssim::RequestMark();
    VKSMEMORYUSAGEDIAGS usage;
    std::memset(&usage, 0, sizeof(usage));
    ASSERT_EQ(VKSGetMemoryUsageDiags(1, &usage), VKSERROR_NO_ERROR);
    EXPECT_EQ(std::memcmp(usage.Data, figures_[0].memoryUsage, 56), 0);
    ExpectPlainHeader(Sent(kMemoryUsage, mark));

    // Null records are refused before the index is looked up.
    mark = vkssim::RequestMark();
    EXPECT_EQ(VKSGetCryptoContents(77, nullptr), VKSERROR_INVALID_ARGUMENT);
    EXPECT_EQ(VKSGetHardwareCounters(77, nullptr), VKSERROR_INVALID_ARGUMENT);
    EXPECT_EQ(VKSGetMemoryUsageDiags(77, nullptr), VKSERROR_INVALID_ARGUMENT);
    EXPECT_EQ(vkssim::RequestMark(), mark);

    vkssim::FailWithStatus(kMemoryUsage, VKSERROR_UNEXPECTED, 1);
    std::memset(&usage, 0x3C, sizeof(usage));
    EXPECT_EQ(VKSGetMemoryUsageDiags(0, &usage), VKSERROR_UNEXPECTED);
    EXPECT_EQ(usage.Data[55], 0x3C);
}

TEST_F(HealthTest, DeviceTestsReturnTheDeviceStatus) {
    Load();
    uint64_t mark = vkssim::RequestMark();
    EXPECT_EQ(VKSDecoderTestForceLockup(0), VKSERROR_TEST_IN_PROGRESS);
    ExpectPlainHeader(Sent(kTestForceLockup, mark));
    mark = vkssim::RequestMark();
    EXPECT_EQ(VKSDecoderTestStopUpgradeReboot(1), VKSERROR_TEST_COMPLETE);
    ExpectPlainHeader(Sent(kTestStopUpgradeReboot, mark));
    mark = vkssim::RequestMark();
    EXPECT_EQ(VKSDecoderTestMemUsage(2), VKSERROR_TEST_COMPLETE);
    const auto request = Sent(kTestMemUsage, mark);
    ExpectPlainHeader(request);
    EXPECT_EQ(request.device, 1);

    vkssim::HealthFigures failing = figures_[1];
    failing.memUsageStatus = VKSERROR_TEST_FAIL;
    failing.forceLockupStatus = VKSERROR_NO_ERROR;
    ASSERT_TRUE(vkssim::SetHealthFigures(1, failing));
    EXPECT_EQ(VKSDecoderTestMemUsage(2), VKSERROR_TEST_FAIL);
    EXPECT_EQ(VKSDecoderTestForceLockup(2), VKSERROR_NO_ERROR);
    EXPECT_EQ(VKSDecoderTestMemUsage(0), VKSERROR_TEST_COMPLETE);  // the other device is unchanged
}

TEST_F(HealthTest, EngineIndexAndFileFailures) {
    uint32_t load = 0;
    uint32_t temperature = 0;
    VKSCRYPTOCONTENTS crypto;
    EXPECT_EQ(VKSDecoderGetCurrentLoad(0, &load), VKSERROR_UNINITIALIZED);
    EXPECT_EQ(VKSEncoderPredictNewLoad(0, 0, &load, nullptr), VKSERROR_UNINITIALIZED);
    EXPECT_EQ(VKSDecoderGetTemperature(0, &temperature, nullptr), VKSERROR_UNINITIALIZED);
    EXPECT_EQ(VKSGetCryptoContents(0, &crypto), VKSERROR_UNINITIALIZED);
    EXPECT_EQ(VKSDecoderTestMemUsage(0), VKSERROR_UNINITIALIZED);
    Load();

    const uint64_t mark = vkssim::RequestMark();
    // Decoder indexes 0-2 and encoder indexes 0-2 exist.
    EXPECT_EQ(VKSDecoderGetCurrentLoad(3, &load), VKSERROR_INVALID_INPUT);
    EXPECT_EQ(VKSEncoderGetCurrentLoad(3, &load), VKSERROR_INVALID_INPUT);
    EXPECT_EQ(VKSDecoderPredictNewLoad(3, nullptr, &load), VKSERROR_INVALID_INPUT);
    EXPECT_EQ(VKSEncoderPredictNewLoad(3, 0, &load, nullptr), VKSERROR_INVALID_INPUT);
    EXPECT_EQ(VKSDecoderGetCoreLoad(3, nullptr, &load), VKSERROR_INVALID_INPUT);
    EXPECT_EQ(VKSDecoderGetTemperature(3, &temperature, nullptr), VKSERROR_INVALID_INPUT);
    EXPECT_EQ(VKSGetCryptoContents(3, &crypto), VKSERROR_INVALID_INPUT);
    EXPECT_EQ(VKSDecoderTestForceLockup(3), VKSERROR_INVALID_INPUT);
    EXPECT_EQ(VKSDecoderTestStopUpgradeReboot(0xFFFFFFFF), VKSERROR_INVALID_INPUT);
    EXPECT_EQ(VKSDecoderTestMemUsage(3), VKSERROR_INVALID_INPUT);
    // The index lookup comes before the null-pointer checks.
    EXPECT_EQ(VKSDecoderGetCurrentLoad(3, nullptr), VKSERROR_INVALID_INPUT);
    EXPECT_EQ(VKSDecoderGetCoreLoad(3, nullptr, nullptr), VKSERROR_INVALID_INPUT);
    EXPECT_EQ(vkssim::RequestMark(), mark);

    EXPECT_EQ(VKSDecoderGetCurrentLoad(0, nullptr), VKSERROR_ILLEGAL_CALL);
    EXPECT_EQ(VKSEncoderGetCurrentLoad(0, nullptr), VKSERROR_ILLEGAL_CALL);
    EXPECT_EQ(vkssim::RequestMark(), mark);

    vkssim::FailCreate(1, 2);
    EXPECT_EQ(VKSDecoderGetCurrentLoad(2, &load), VKSERROR_DRIVER_NOT_FOUND);
    EXPECT_EQ(VKSDecoderTestForceLockup(2), VKSERROR_DRIVER_NOT_FOUND);
    EXPECT_EQ(VKSDecoderGetCurrentLoad(0, &load), VKSERROR_NO_ERROR);  // the other device answers
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
