// A "file://" stream's file handed to the device block by block, on the
// device's requests for data and for new read positions.
#include "vksacc.h"
#include "vkssim/sim.h"

#include "support/sim_engine_test.h"
#include "support/callback_recorder.h"
#include "support/test_env.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <memory>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

using namespace std::chrono_literals;

constexpr size_t kFileBytes = 2500000;
constexpr uint32_t kBlock = 1048576;
constexpr auto kWait = 10s;

// Bytes that differ from block to block, so that a misplaced read shows.
std::vector<uint8_t> FileContents(size_t size) {
    std::vector<uint8_t> bytes(size);
    uint32_t x = 0x12345678u;
    for (auto& b : bytes) {
        x = x * 1664525u + 1013904223u;
        b = static_cast<uint8_t>(x >> 24);
    }
    return bytes;
}

class FileFeedingTest : public vkstest::SimEngineTest {
protected:
    void SetUp() override {
        // Errors and traces, for the lines the feeding writes.
        registry_ = std::make_unique<vkstest::ScopedRegistry>(vkstest::ConfigKey("\"DebugLevel\"=dword:00000009"));
        SimEngineTest::SetUp();
        ASSERT_EQ(AddDevice(1, 1), 0);
        Load();

        contents_ = FileContents(kFileBytes);
        char pattern[] = "/tmp/vks-feeding-XXXXXX";
        const int fd = mkstemp(pattern);
        ASSERT_GE(fd, 0);
        close(fd);
        path_ = pattern;
        std::ofstream(path_, std::ios::binary)
            .write(reinterpret_cast<const char*>(contents_.data()), static_cast<std::streamsize>(contents_.size()));
    }
    void TearDown() override {
        if (stream_ != 0) {
            EXPECT_EQ(VKSNetworkStreamClose(stream_), VKSERROR_NO_ERROR);
        }
        std::remove(path_.c_str());
        SimEngineTest::TearDown();
    }

    // Opens the stream with the recorder as its error function; returns the
    // driver's handle of it.
    uint32_t OpenStream(const std::string& address) {
        EXPECT_EQ(VKSNetworkStreamOpenExA(0, address.c_str(), 0, &stream_, nullptr), VKSERROR_NO_ERROR);
        EXPECT_EQ(VKSNetworkStreamSetErrorFn(stream_, 0, &vkstest::CallbackRecorder::NetworkError, &errors_),
                  VKSERROR_NO_ERROR);
        auto object = vkssim::FindObject(0, VKSSIM_TYPE_NETWORK, 0);
        EXPECT_TRUE(object.has_value());
        return object ? object->handle : 0;
    }
    uint32_t OpenFileStream() { return OpenStream("file://" + path_); }

    uint64_t Checksum(size_t offset, size_t size) const { return vkssim::FedChecksum(contents_.data() + offset, size); }
    std::vector<uint8_t> Head(size_t offset) const {
        return std::vector<uint8_t>(contents_.begin() + static_cast<std::ptrdiff_t>(offset),
                                    contents_.begin() + static_cast<std::ptrdiff_t>(offset + vkssim::kFedBlockHeadBytes));
    }

    // Asks for one block and waits until the device has taken it.
    vkssim::FedBlock AskAndTake(uint32_t handle, size_t count) {
        EXPECT_TRUE(vkssim::AskForData(0, handle));
        EXPECT_TRUE(vkssim::WaitForFedBlocks(0, handle, count, kWait));
        auto blocks = vkssim::FedBlocks(0, handle);
        return blocks.size() >= count ? blocks[count - 1] : vkssim::FedBlock{};
    }

    // Asks for data and waits until the worker has answered (its next event
    // request follows the answer).
    void AskAndWaitForAnswer(uint32_t handle) {
        const uint64_t mark = vkssim::RequestMark();
        ASSERT_TRUE(vkssim::AskForData(0, handle));
        ASSERT_TRUE(vkssim::WaitForRequest(VKSSIM_IOCTL_EVENT_REQUEST, mark, kWait).has_value());
        supplyMark_ = mark;
    }

    std::unique_ptr<vkstest::ScopedRegistry> registry_;
    vkstest::DebugCapture debug_;
    HVKS stream_ = 0;
    std::string path_;
    std::vector<uint8_t> contents_;
    vkstest::CallbackRecorder errors_;
    uint64_t supplyMark_ = 0;
};

TEST_F(FileFeedingTest, PlayingDeliversMebibyteBlocksThenAnEmptyOne) {
    const uint32_t handle = OpenFileStream();
    const uint64_t mark = vkssim::RequestMark();
    ASSERT_EQ(VKSNetworkStreamSetState(stream_, 2), VKSERROR_NO_ERROR);
    ASSERT_TRUE(errors_.WaitForStatus(VKSERROR_END_OF_STREAM, kWait));

    const auto blocks = vkssim::FedBlocks(0, handle);
    ASSERT_EQ(blocks.size(), 4u);
    const uint32_t sizes[] = {kBlock, kBlock, 402848, 0};
    size_t offset = 0;
    for (size_t i = 0; i < 4; ++i) {
        EXPECT_EQ(blocks[i].bytes, sizes[i]) << "block " << i;
        EXPECT_EQ(blocks[i].checksum, Checksum(offset, sizes[i])) << "block " << i;
        offset += sizes[i];
    }
    EXPECT_EQ(offset, kFileBytes);
    EXPECT_EQ(blocks[0].head, Head(0));
    EXPECT_EQ(blocks[2].head, Head(2 * kBlock));

    // Each block came in one supply command on the stream's driver handle,
    // with its size at 24 and its address at 32.
    const auto supplies = Sent(VKSSIM_IOCTL_SUPPLY_ENCODED_DATA, mark);
    ASSERT_EQ(supplies.size(), 4u);
    for (size_t i = 0; i < 4; ++i) {
        EXPECT_EQ(supplies[i].U32(VKSSIM_REQ_TYPE), VKSSIM_TYPE_NETWORK);
        EXPECT_EQ(supplies[i].U32(VKSSIM_REQ_HANDLE), handle);
        EXPECT_EQ(supplies[i].U32(24), sizes[i]);
        EXPECT_NE(supplies[i].U64(32), 0u);
        EXPECT_EQ(supplies[i].input.size(), static_cast<size_t>(VKSSIM_REQUEST_SIZE));
        EXPECT_FALSE(supplies[i].overlappedFile);
    }

    // The requests for data and the end reach the application only as the end.
    const auto calls = errors_.Calls();
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].handle, stream_);
    EXPECT_EQ(calls[0].status, VKSERROR_END_OF_STREAM);
    auto playback = vkssim::GetStreamPlayback(0, handle);
    ASSERT_TRUE(playback.has_value());
    EXPECT_EQ(playback->asks, 4u);
    EXPECT_TRUE(playback->ended);
}

TEST_F(FileFeedingTest, SeekMovesTheNextBlockToTheAskedPosition) {
    vkssim::SetStreamPacing(0, vkssim::StreamPacing{false, 0ms});
    const uint32_t handle = OpenFileStream();
    ASSERT_EQ(VKSNetworkStreamSetState(stream_, 2), VKSERROR_NO_ERROR);

    auto first = AskAndTake(handle, 1);
    EXPECT_EQ(first.bytes, kBlock);
    EXPECT_EQ(first.head, Head(0));

    // The seek event is handled before the request that follows it.
    ASSERT_TRUE(vkssim::RequestSeek(0, handle, 2000000));
    auto afterSeek = AskAndTake(handle, 2);
    EXPECT_EQ(afterSeek.bytes, 500000u);
    EXPECT_EQ(afterSeek.checksum, Checksum(2000000, 500000));
    EXPECT_EQ(afterSeek.head, Head(2000000));

    // At the end every further request gets an empty block.
    EXPECT_EQ(AskAndTake(handle, 3).bytes, 0u);
    EXPECT_EQ(AskAndTake(handle, 4).bytes, 0u);
    ASSERT_TRUE(vkssim::RequestSeek(0, handle, 0));
    auto again = AskAndTake(handle, 5);
    EXPECT_EQ(again.bytes, kBlock);
    EXPECT_EQ(again.checksum, Checksum(0, kBlock));

    // Beyond the end the seek succeeds and the next block is empty.
    ASSERT_TRUE(vkssim::RequestSeek(0, handle, 3000000));
    EXPECT_EQ(AskAndTake(handle, 6).bytes, 0u);
    EXPECT_FALSE(debug_.Contains("SEEK ERROR"));

    // Neither request reaches the application.
    for (const auto& call : errors_.Calls()) {
        EXPECT_NE(call.status, VKSERROR_NEED_DATA);
        EXPECT_NE(call.status, VKSERROR_SEEK_DATA);
    }
}

TEST_F(FileFeedingTest, PlayingStreamResumesAtTheSeekPosition) {
    const uint32_t handle = OpenFileStream();
    ASSERT_EQ(VKSNetworkStreamSetState(stream_, 2), VKSERROR_NO_ERROR);
    ASSERT_TRUE(errors_.WaitForStatus(VKSERROR_END_OF_STREAM, kWait));
    ASSERT_EQ(vkssim::FedBlocks(0, handle).size(), 4u);

    // A seek after the end plays the rest of the file again from there.
    ASSERT_TRUE(vkssim::RequestSeek(0, handle, 2 * kBlock));
    ASSERT_TRUE(vkssim::WaitForFedBlocks(0, handle, 6, kWait));
    ASSERT_TRUE(errors_.WaitFor(2, kWait));
    const auto blocks = vkssim::FedBlocks(0, handle);
    ASSERT_EQ(blocks.size(), 6u);
    EXPECT_EQ(blocks[4].bytes, 402848u);
    EXPECT_EQ(blocks[4].checksum, Checksum(2 * kBlock, 402848));
    EXPECT_EQ(blocks[5].bytes, 0u);
    EXPECT_EQ(errors_.Calls()[1].status, VKSERROR_END_OF_STREAM);
}

TEST_F(FileFeedingTest, RefusedSeekKeepsThePosition) {
    vkssim::SetStreamPacing(0, vkssim::StreamPacing{false, 0ms});
    const uint32_t handle = OpenFileStream();
    EXPECT_EQ(AskAndTake(handle, 1).bytes, kBlock);
    // A position beyond the signed range cannot be reached.
    ASSERT_TRUE(vkssim::RequestSeek(0, handle, 0x8000000000000000ull));
    auto next = AskAndTake(handle, 2);
    EXPECT_TRUE(debug_.Contains("SEEK ERROR, 83"));
    EXPECT_EQ(next.bytes, kBlock);
    EXPECT_EQ(next.head, Head(kBlock));
}

TEST_F(FileFeedingTest, RefusedBlockIsLoggedAndTheNextRequestIsServed) {
    vkssim::SetStreamPacing(0, vkssim::StreamPacing{false, 0ms});
    const uint32_t handle = OpenFileStream();
    vkssim::FailWithStatus(VKSSIM_IOCTL_SUPPLY_ENCODED_DATA, VKSERROR_INSUFFICIENT_MEMORY, 1);
    AskAndWaitForAnswer(handle);
    EXPECT_EQ(Sent(VKSSIM_IOCTL_SUPPLY_ENCODED_DATA, supplyMark_).size(), 1u);
    EXPECT_TRUE(debug_.Contains(" VKSSupplyEncodedData failed " + std::to_string(VKSERROR_INSUFFICIENT_MEMORY)));
    EXPECT_TRUE(vkssim::FedBlocks(0, handle).empty());

    // The refused block is not read again: the file moved on by one block.
    auto next = AskAndTake(handle, 1);
    EXPECT_EQ(next.bytes, kBlock);
    EXPECT_EQ(next.head, Head(kBlock));
    EXPECT_TRUE(errors_.Calls().empty());
}

TEST_F(FileFeedingTest, StreamWithoutFileLogsAndSendsNothing) {
    const uint32_t handle = OpenStream("rtsp://camera/live");
    AskAndWaitForAnswer(handle);
    EXPECT_EQ(Sent(VKSSIM_IOCTL_SUPPLY_ENCODED_DATA, supplyMark_).size(), 0u);
    EXPECT_TRUE(debug_.Contains(" SupplyEncodedData failed to ReadFile"));
    EXPECT_TRUE(errors_.Calls().empty());
    // A stream that does not play a file is never asked by itself.
    ASSERT_EQ(VKSNetworkStreamSetState(stream_, 2), VKSERROR_NO_ERROR);
    auto playback = vkssim::GetStreamPlayback(0, handle);
    ASSERT_TRUE(playback.has_value());
    EXPECT_EQ(playback->asks, 1u);
}

TEST_F(FileFeedingTest, PausedStreamIsNotAskedUntilItPlaysAgain) {
    const uint32_t handle = OpenFileStream();
    vkssim::SetStreamPacing(0, vkssim::StreamPacing{false, 0ms});
    ASSERT_EQ(VKSNetworkStreamSetState(stream_, 2), VKSERROR_NO_ERROR);
    EXPECT_EQ(AskAndTake(handle, 1).bytes, kBlock);
    ASSERT_EQ(VKSNetworkStreamSetState(stream_, 1), VKSERROR_NO_ERROR);
    // Automatic pacing on a paused stream asks nothing.
    ASSERT_TRUE(vkssim::SetStreamPacing(0, vkssim::StreamPacing{true, 0ms}));
    EXPECT_EQ(vkssim::GetStreamPlayback(0, handle)->asks, 1u);
    // Playing again continues where the first block ended, to the end.
    ASSERT_EQ(VKSNetworkStreamSetState(stream_, 2), VKSERROR_NO_ERROR);
    ASSERT_TRUE(errors_.WaitForStatus(VKSERROR_END_OF_STREAM, kWait));
    const auto blocks = vkssim::FedBlocks(0, handle);
    ASSERT_EQ(blocks.size(), 4u);
    EXPECT_EQ(blocks[1].head, Head(kBlock));
    EXPECT_EQ(blocks[2].bytes, 402848u);
    EXPECT_EQ(blocks[3].bytes, 0u);
}

}  // namespace
