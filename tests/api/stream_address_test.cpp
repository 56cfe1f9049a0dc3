// Stream addresses as the driver receives them in the open command.
#include "vksacc.h"
#include "vkssim/sim.h"

#include "support/sim_engine_test.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace {

using namespace std::chrono_literals;

class StreamAddressTest : public vkstest::SimEngineTest {
protected:
    void SetUp() override {
        SimEngineTest::SetUp();
        AddDevice(1, 0);
        Load();
    }
    void TearDown() override {
        std::error_code ignored;
        for (auto file = files_.rbegin(); file != files_.rend(); ++file) std::filesystem::remove(*file, ignored);
        SimEngineTest::TearDown();
    }

    // The address text the simulator saw for the last open.
    static std::string LastAddress() {
        std::string address;
        for (const auto& o : vkssim::Objects(0)) address = o.address;
        return address;
    }
    // A name is a path, so that one outside ASCII names the same file on
    // every system (stored as UTF-8 on Linux, as UTF-16 on Windows).
    std::string WriteFile(const std::filesystem::path& name, const std::string& text) {
        std::ofstream(name, std::ios::binary) << text;
        files_.push_back(name);
        return name.string();
    }

    std::vector<std::filesystem::path> files_;
};

// UDP addresses get the multicast marker; others go as given, session
// descriptions (up to 2048 bytes of video, their path's backslashes made
// slashes) with their text. The request carries the sent length with its
// terminator (at 2072) and a word that is the text length for other than UDP,
// the file size for files (at 2080).
TEST_F(StreamAddressTest, AddressesAsTheDriverReceivesThem) {
    constexpr uint64_t kAny = ~0ull;
    char cwd[512];
    ASSERT_NE(getcwd(cwd, sizeof(cwd)), nullptr);
    const std::string file =
        std::string("file://") + cwd + "/" + WriteFile("vks-address-test.ts", std::string(12345, 'x'));
    const std::string body = "v=0\r\nm=video 5000 RTP/AVP 96\r\n";
    const std::string exact = body + std::string(2048 - body.size(), 'a');
    WriteFile("vks-exact.sdp", exact);
    WriteFile("vks-long.sdp", exact + "a");
    WriteFile("vks-audio.sdp", "v=0\r\nm=audio 5000 RTP/AVP 0\r\n");
    mkdir("vks-sdp-dir", 0755);
    files_.push_back("vks-sdp-dir");
    WriteFile("vks-sdp-dir/a.sdp", "m=video 1 RTP/AVP 96");
    const std::string exactSent = "sdp:///vks-exact.sdp URL" + exact + " SDP";
    char backslashed[] = "sdp:///vks-sdp-dir\\a.sdp";
    const struct {
        const char* given;
        VKSERROR status;
        const char* sent;
        uint64_t length, word;
    } rows[] = {
        {"udp://239.1.1.1:5000", VKSERROR_NO_ERROR, "udp://@239.1.1.1:5000", 22, 0},
        {"udp://@239.1.1.1:5000", VKSERROR_NO_ERROR, "udp://@239.1.1.1:5000", 22, 0},
        {"rtsp://camera/live", VKSERROR_NO_ERROR, "rtsp://camera/live", 19, 18},
        {"FILE://x", VKSERROR_NO_ERROR, "FILE://x", kAny, kAny},
        {"Sdp://y", VKSERROR_NO_ERROR, "Sdp://y", kAny, kAny},
        {nullptr, VKSERROR_NO_ERROR, "", 0, kAny},
        {file.c_str(), VKSERROR_NO_ERROR, file.c_str(), kAny, 12345},
        {"file:///no/such/file.ts", VKSERROR_INVALID_INPUT, nullptr, kAny, kAny},
        {"sdp:///vks-exact.sdp", VKSERROR_NO_ERROR, exactSent.c_str(), 2048 + 20 + 9, 0},
        {"sdp:///vks-long.sdp", VKSERROR_INVALID_INPUT, nullptr, kAny, kAny},
        {"sdp://vks-audio.sdp", VKSERROR_INVALID_INPUT, nullptr, kAny, kAny},
        {"sdp:///vks-missing.sdp", VKSERROR_INVALID_INPUT, nullptr, kAny, kAny},
        {backslashed, VKSERROR_NO_ERROR, "sdp:///vks-sdp-dir/a.sdp URLm=video 1 RTP/AVP 96 SDP", kAny, kAny},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.given ? row.given : "null");
        const uint64_t mark = vkssim::RequestMark();
        HVKS stream = 0;
        ASSERT_EQ(VKSNetworkStreamOpenExA(0, row.given, 0, &stream, nullptr), row.status);
        const auto open = vkssim::WaitForRequest(VKSSIM_IOCTL_OPEN, mark, 0ms).value_or(vkssim::Request{});
        if (row.status == VKSERROR_NO_ERROR) {
            EXPECT_EQ(LastAddress(), row.sent);
            EXPECT_EQ(VKSNetworkStreamClose(stream), VKSERROR_NO_ERROR);
        }
        if (row.length != kAny) {
            EXPECT_EQ(open.U32(2072), row.length);
        }
        if (row.word != kAny) {
            EXPECT_EQ(open.U64(2080), row.word);
        }
    }
    EXPECT_STREQ(backslashed, "sdp:///vks-sdp-dir\\a.sdp");  // the caller's text is left alone
    HVKS stream = 0;
    ASSERT_EQ(VKSNetworkStreamOpenExW(0, u"rtsp://k\u00e4mera", 0, &stream, nullptr), VKSERROR_NO_ERROR);
    EXPECT_EQ(LastAddress(), "rtsp://k\xc3\xa4mera");
    EXPECT_EQ(VKSNetworkStreamClose(stream), VKSERROR_NO_ERROR);

    // A file name outside ASCII through both opens: the 8-bit address is in
    // the ANSI code page (Windows-1252: one byte for the e acute), the wide
    // one is UTF-16.
    WriteFile(std::filesystem::path(u"vks-caf\u00e9.ts"), std::string(100, 'x'));
    const std::string ansi = std::string("file://") + cwd + "/vks-caf\xE9.ts";
    std::u16string wide;
    for (unsigned char c : ansi) wide += static_cast<char16_t>(c);  // Windows-1252 below 0x100 outside 0x80-0x9F
    for (bool useWide : {false, true}) {
        SCOPED_TRACE(useWide ? "wide" : "8-bit");
        const uint64_t mark = vkssim::RequestMark();
        ASSERT_EQ(useWide ? VKSNetworkStreamOpenExW(0, reinterpret_cast<const VKSWCHAR*>(wide.c_str()), 0, &stream,
                                                    nullptr)
                          : VKSNetworkStreamOpenExA(0, ansi.c_str(), 0, &stream, nullptr),
                  VKSERROR_NO_ERROR);
        EXPECT_EQ(vkssim::WaitForRequest(VKSSIM_IOCTL_OPEN, mark, 0ms)->U64(2080), 100u);
        EXPECT_EQ(VKSNetworkStreamClose(stream), VKSERROR_NO_ERROR);
    }
}

}  // namespace
