// Information records of open network streams and the device-wide network
// queries and settings addressed by a decoder input.
#include "vks_platform.h"
#include "vksacc.h"
#include "vkssim/sim.h"

#include "support/bytes.h"
#include "support/request_frame.h"
#include "support/sim_engine_test.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <string>
#include <vector>

namespace {

using namespace std::chrono_literals;

constexpr uint32_t kGetInfo = 0x22C428, kGetMediaStreamInfo = 0x22C42C, kGetIpConfig = 0x22C458,
                   kSetIpConfig = 0x22C45C, kGetMacAddresses = 0x22C468, kGetLogFiles = 0x22C46C,
                   kStartDebugLog = 0x22C470, kGetNumClients = 0x22C4A0, kGetFileSize = 0x22C4A4;

using vkstest::Mismatch;
using vkstest::RequestFrame;
using vkstest::U32;

class NetworkInfoTest : public vkstest::SimEngineTest {
protected:
    void SetUp() override {
        SimEngineTest::SetUp();
        AddDevice(2, 2);
        AddDevice(2, 2);
        Load();
    }
    void TearDown() override {
        if (stream_ != 0) {
            EXPECT_EQ(VKSNetworkStreamClose(stream_), VKSERROR_NO_ERROR);
        }
        SimEngineTest::TearDown();
    }

    HVKS OpenStream(uint32_t port = 1) {
        EXPECT_EQ(VKSNetworkStreamOpenExA(port, "udp://239.1.1.1:5000", 0, &stream_, nullptr), VKSERROR_NO_ERROR);
        return stream_;
    }
    static vkssim::Request Last(uint32_t code, uint64_t mark) {
        auto all = Sent(code, mark);
        EXPECT_FALSE(all.empty());
        return all.empty() ? vkssim::Request{} : all.back();
    }

    HVKS stream_ = 0;
};

// ---- Stream information records -----------------------------------------------------------

// A record of `bytes` bytes filled with 0xEE, its count word saying so.
std::vector<uint8_t> Record(uint32_t bytes) {
    std::vector<uint8_t> record(std::max<uint32_t>(bytes, 16), 0xEE);
    std::memcpy(record.data(), &bytes, 4);
    return record;
}

TEST_F(NetworkInfoTest, NumIfcsIsTwoWhateverTheHandle) {
    for (HVKS handle : {HVKS(0), HVKS(0x12345), OpenStream()}) {
        uint32_t count = 77;
        EXPECT_EQ(VKSNetworkStreamGetNumIfcs(handle, &count), VKSERROR_NO_ERROR);
        EXPECT_EQ(count, 2u);
    }
}

// The device's record is copied up to the smaller of the caller's count and
// the device's; a device size beyond the reply is cut to the reply.
TEST_F(NetworkInfoTest, InfoCopiesTheSmallerOfBothCounts) {
    const HVKS stream = OpenStream(1);
    const auto object = vkssim::FindObject(0, VKSSIM_TYPE_NETWORK, 1);
    ASSERT_TRUE(object.has_value());

    const uint64_t mark = vkssim::RequestMark();
    auto record = Record(1000);
    ASSERT_EQ(VKSNetworkStreamGetInfo(stream, record.data()), VKSERROR_NO_ERROR);
    EXPECT_EQ(U32(record.data(), 0), 40u);
    EXPECT_EQ(U32(record.data(), 4), object->handle);
    EXPECT_EQ(U32(record.data(), 8), 1u);                                   // port
    EXPECT_EQ(U32(record.data(), 20), std::string("udp://@239.1.1.1:5000").size());
    EXPECT_EQ(U32(record.data(), 24), 2u);                                  // media streams
    EXPECT_EQ(record[40], 0xEE);
    const auto request = Last(kGetInfo, mark);
    EXPECT_EQ(Mismatch(request.input, RequestFrame(VKSDEVICETYPE_NETWORK, 1, object->handle).U32(24, 16)), "");

    // A count below the device's: exactly that many bytes, the count kept.
    record = Record(8);
    ASSERT_EQ(VKSNetworkStreamGetInfo(stream, record.data()), VKSERROR_NO_ERROR);
    EXPECT_EQ(U32(record.data(), 0), 8u);
    EXPECT_EQ(U32(record.data(), 4), object->handle);
    EXPECT_EQ(record[8], 0xEE);

    ASSERT_TRUE(vkssim::SetNetworkInfoSizeWord(0, 0xFFFFFFF0u));
    record = Record(10000);
    ASSERT_EQ(VKSNetworkStreamGetInfo(stream, record.data()), VKSERROR_NO_ERROR);
    EXPECT_EQ(U32(record.data(), 0), 8224u - 24u);
    EXPECT_EQ(record[8200], 0xEE);
}

// The media stream's index goes in the request; a failed command copies nothing.
TEST_F(NetworkInfoTest, MediaStreamInfoCarriesTheIndex) {
    const HVKS stream = OpenStream();
    const uint64_t mark = vkssim::RequestMark();
    auto record = Record(200);
    ASSERT_EQ(VKSNetworkStreamGetMediaStreamInfo(stream, 1, record.data()), VKSERROR_NO_ERROR);
    EXPECT_EQ(U32(record.data(), 0), 56u);
    EXPECT_EQ(U32(record.data(), 4), 1u);
    EXPECT_EQ(U32(record.data(), 8), 2u);  // audio
    const auto request = Last(kGetMediaStreamInfo, mark);
    EXPECT_EQ(request.U32(16), 1u);
    EXPECT_EQ(request.U32(24), 40u);

    record = Record(200);
    EXPECT_EQ(VKSNetworkStreamGetMediaStreamInfo(stream, 9, record.data()), VKSERROR_INVALID_ARGUMENT);
    EXPECT_EQ(record, Record(200));
}

TEST_F(NetworkInfoTest, NullRecordsAndOtherHandles) {
    const HVKS stream = OpenStream();
    const uint64_t mark = vkssim::RequestMark();
    EXPECT_EQ(VKSNetworkStreamGetInfo(stream, nullptr), VKSERROR_ILLEGAL_CALL);
    EXPECT_EQ(VKSNetworkStreamGetMediaStreamInfo(stream, 0, nullptr), VKSERROR_ILLEGAL_CALL);
    HVKS decoder = 0;
    VKSGUID session{};
    ASSERT_EQ(VKSDecoderDeviceOpenEx(0, 0, 0, &decoder, nullptr, &session), VKSERROR_NO_ERROR);
    uint32_t record[16] = {sizeof(record)};
    EXPECT_EQ(VKSNetworkStreamGetInfo(decoder, record), VKSERROR_INVALID_HANDLE);
    EXPECT_EQ(VKSNetworkStreamGetMediaStreamInfo(decoder, 0, record), VKSERROR_INVALID_HANDLE);
    EXPECT_TRUE(Sent(kGetInfo, mark).empty());
    EXPECT_TRUE(Sent(kGetMediaStreamInfo, mark).empty());
    EXPECT_EQ(VKSDecoderDeviceClose(decoder), VKSERROR_NO_ERROR);
}

// ---- Device-wide queries ---------------------------------------------------------------------

TEST_F(NetworkInfoTest, IpConfigReadsAndWritesTheDeviceOfTheDecoderInput) {
    // Decoder index 2 is the first input of the second device.
    const uint64_t mark = vkssim::RequestMark();
    VKSIPCONFIG config;
    ASSERT_EQ(VKSNetworkStreamGetIPConfig(2, &config), VKSERROR_NO_ERROR);
    EXPECT_EQ(config.Interface[0].IPv4Address, 0xC0A80165u);  // 192.168.1.101
    EXPECT_EQ(config.Interface[1].IPv4Address, 0x0A000101u);  // 10.0.1.1
    const auto get = Last(kGetIpConfig, mark);
    EXPECT_EQ(get.device, 1);
    EXPECT_EQ(Mismatch(get.input, RequestFrame()), "");  // no type, no channel
    EXPECT_FALSE(get.overlappedFile);

    std::array<uint8_t, 48> wanted;
    for (size_t i = 0; i < wanted.size(); ++i) wanted[i] = static_cast<uint8_t>(0x30 + i);
    std::memcpy(&config, wanted.data(), sizeof(config));
    ASSERT_EQ(VKSNetworkStreamSetIPConfig(3, &config), VKSERROR_NO_ERROR);
    EXPECT_EQ(Mismatch(Last(kSetIpConfig, mark).input, RequestFrame().Put(24, wanted.data(), 48)), "");
    EXPECT_EQ(vkssim::GetNetworkIpConfig(1), wanted);

    VKSIPCONFIG back{};
    ASSERT_EQ(VKSNetworkStreamGetIPConfig(3, &back), VKSERROR_NO_ERROR);
    EXPECT_EQ(0, std::memcmp(&back, wanted.data(), 48));
    // The other device is unchanged.
    ASSERT_EQ(VKSNetworkStreamGetIPConfig(0, &back), VKSERROR_NO_ERROR);
    EXPECT_EQ(back.Interface[0].IPv4Address, 0xC0A80164u);
}

TEST_F(NetworkInfoTest, MacAddressesClientsAndFileSize) {
    const std::array<uint8_t, 12> macs = {1, 2, 3, 4, 5, 6, 0xA1, 0xA2, 0xA3, 0xA4, 0xA5, 0xA6};
    ASSERT_TRUE(vkssim::SetNetworkMacAddresses(0, macs));
    VKSMACADDRESSES addresses;
    ASSERT_EQ(VKSNetworkStreamGetMacAddresses(1, &addresses), VKSERROR_NO_ERROR);
    EXPECT_EQ(0, std::memcmp(&addresses, macs.data(), 12));

    uint32_t clients = 99;
    ASSERT_EQ(VKSNetworkStreamGetNumClients(0, &clients), VKSERROR_NO_ERROR);
    EXPECT_EQ(clients, 0u);
    OpenStream();
    ASSERT_EQ(VKSNetworkStreamGetNumClients(0, &clients), VKSERROR_NO_ERROR);
    EXPECT_EQ(clients, 1u);

    ASSERT_TRUE(vkssim::SetNetworkFileSize(0, 0x00ABCDEF));
    uint32_t size = 0;
    ASSERT_EQ(VKSNetworkStreamGetFileSize(0, &size), VKSERROR_NO_ERROR);
    EXPECT_EQ(size, 0x00ABCDEFu);
}

// Refusals send nothing; a failed command writes nothing.
TEST_F(NetworkInfoTest, RefusalsAndFailuresWriteNothing) {
    const uint64_t mark = vkssim::RequestMark();
    EXPECT_EQ(VKSNetworkStreamGetIPConfig(0, nullptr), VKSERROR_ILLEGAL_CALL);
    EXPECT_EQ(VKSNetworkStreamGetFileSize(0, nullptr), VKSERROR_ILLEGAL_CALL);
    // Index before the null pointer.
    EXPECT_EQ(VKSNetworkStreamGetIPConfig(4, nullptr), VKSERROR_INVALID_INPUT);
    EXPECT_EQ(VKSNetworkStreamStartDebugLogA(4, 0, 0, "a", "b", 0), VKSERROR_INVALID_INPUT);
    Free();
    uint32_t size = 5;
    EXPECT_EQ(VKSNetworkStreamGetFileSize(0, &size), VKSERROR_UNINITIALIZED);
    Load();
    for (uint32_t code : {kGetIpConfig, kGetFileSize, kStartDebugLog}) EXPECT_TRUE(Sent(code, mark).empty());

    vkssim::FailWithStatus(kGetIpConfig, VKSERROR_NOACCESS, 1);
    vkssim::FailWithStatus(kGetNumClients, VKSERROR_INSUFFICIENT_RESOURCES, 1);
    VKSIPCONFIG config;
    std::memset(&config, 0xEE, sizeof(config));
    EXPECT_EQ(VKSNetworkStreamGetIPConfig(0, &config), VKSERROR_NOACCESS);
    EXPECT_EQ(config.Interface[0].IPv4Address, 0xEEEEEEEEu);
    uint32_t clients = 1234;
    EXPECT_EQ(VKSNetworkStreamGetNumClients(0, &clients), VKSERROR_INSUFFICIENT_RESOURCES);
    EXPECT_EQ(clients, 1234u);
    vkssim::ShortReply(kGetFileSize, 100, 1);
    EXPECT_EQ(VKSNetworkStreamGetFileSize(0, &size), VKSERROR_NOACCESS);
    EXPECT_EQ(size, 5u);
    vkssim::FailCreate(0, ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(VKSNetworkStreamGetFileSize(0, &size), VKSERROR_DRIVER_NOT_FOUND);
    vkssim::FailCreate(0, 0);
}

// Texts go with their terminators: the longest that fits is sent, one more
// character is refused without sending.
TEST_F(NetworkInfoTest, LogFilesPathAndDebugLogTextLimits) {
    uint64_t mark = vkssim::RequestMark();
    for (const std::u16string& path : {std::u16string(u"C:\\logs\\vks"), std::u16string(259, u'x')}) {
        ASSERT_EQ(VKSNetworkStreamGetLogFilesW(1, path.c_str()), VKSERROR_NO_ERROR);
        EXPECT_EQ(Mismatch(Last(kGetLogFiles, mark).input, RequestFrame().Put(24, path.data(), 2 * path.size())), "");
    }
    const std::string longest(127, 'L');
    ASSERT_EQ(VKSNetworkStreamStartDebugLogA(0, 0x11, 0x22, "capture", longest.c_str(), 0x33), VKSERROR_NO_ERROR);
    const RequestFrame expected =
        RequestFrame().U32(24, 0x11).U32(28, 0x22).Put(32, "capture", 7).Put(160, longest.data(), 127).U32(288, 0x33);
    EXPECT_EQ(Mismatch(Last(kStartDebugLog, mark).input, expected), "");

    mark = vkssim::RequestMark();
    const std::string tooLong(128, 'L');
    EXPECT_EQ(VKSNetworkStreamGetLogFilesW(1, std::u16string(260, u'x').c_str()), VKSERROR_INVALID_ARGUMENT);
    EXPECT_EQ(VKSNetworkStreamStartDebugLogA(0, 0, 0, tooLong.c_str(), "b", 0), VKSERROR_INVALID_ARGUMENT);
    EXPECT_EQ(VKSNetworkStreamStartDebugLogA(0, 0, 0, "a", tooLong.c_str(), 0), VKSERROR_INVALID_ARGUMENT);
    EXPECT_TRUE(Sent(kGetLogFiles, mark).empty());
    EXPECT_TRUE(Sent(kStartDebugLog, mark).empty());
}

}  // namespace
