// A "file://" stream's file handed to the device block by block, on the
// device's requests for data and for new read positions; and an application's
// whole session on such a file, through a decoder to the end.
#include "vksacc.h"
#include "vkssim/sim.h"

#include "support/sim_engine_test.h"
#include "support/callback_recorder.h"
#include "support/test_env.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <memory>
#include <string>
#include <tuple>
#include <unistd.h>
#include <vector>

namespace {

using namespace std::chrono_literals;
using vkstest::CallbackRecorder;

constexpr size_t kFileBytes = 2500000;
constexpr uint32_t kBlock = 1048576;
constexpr auto kWait = 10s;

class FileFeedingTest : public vkstest::SimEngineTest {
protected:
    void SetUp() override {
        // Errors and traces, for the lines the feeding writes.
        registry_ = std::make_unique<vkstest::ScopedRegistry>(vkstest::ConfigKey("\"DebugLevel\"=dword:00000009"));
        SimEngineTest::SetUp();
        ASSERT_EQ(AddDevice(1, 1), 0);
        Load();
        // Bytes that differ from block to block, so that a misplaced read shows.
        contents_.resize(kFileBytes);
        uint32_t x = 0x12345678u;
        for (auto& b : contents_) b = static_cast<uint8_t>((x = x * 1664525u + 1013904223u) >> 24);
        char pattern[] = "/tmp/vks-feeding-XXXXXX";
        const int fd = mkstemp(pattern);
        ASSERT_GE(fd, 0);
        close(fd);
        path_ = pattern;
        std::ofstream(path_, std::ios::binary)
            .write(reinterpret_cast<const char*>(contents_.data()), static_cast<std::streamsize>(contents_.size()));
    }
    // The engine's free closes the stream.
    void TearDown() override {
        std::remove(path_.c_str());
        SimEngineTest::TearDown();
    }

    // Opens the stream with the recorder as its error function; returns the
    // driver's handle of it.
    uint32_t OpenStream(const std::string& address) {
        EXPECT_EQ(VKSNetworkStreamOpenExA(0, address.c_str(), 0, &stream_, nullptr), VKSERROR_NO_ERROR);
        EXPECT_EQ(VKSNetworkStreamSetErrorFn(stream_, 0, &CallbackRecorder::NetworkError, &errors_), VKSERROR_NO_ERROR);
        return DriverHandle(0, VKSSIM_TYPE_NETWORK, 0);
    }
    uint32_t OpenFileStream() { return OpenStream("file://" + path_); }

    // What the device should have taken for `size` bytes of the file at
    // `offset`, and what it took, comparable as a whole.
    std::tuple<uint32_t, uint64_t, std::vector<uint8_t>> Expected(size_t offset, uint32_t size) const {
        const uint8_t* at = contents_.data() + std::min(offset, kFileBytes);
        const size_t head = std::min(size_t{size}, vkssim::kFedBlockHeadBytes);
        return {size, vkssim::FedChecksum(at, size), std::vector<uint8_t>(at, at + head)};
    }
    static std::tuple<uint32_t, uint64_t, std::vector<uint8_t>> Got(const vkssim::FedBlock& block) {
        return {block.bytes, block.checksum, block.head};
    }

    // Asks for one block and waits until the device has taken it.
    vkssim::FedBlock AskAndTake(uint32_t handle, size_t count) {
        EXPECT_TRUE(vkssim::AskForData(0, handle));
        EXPECT_TRUE(vkssim::WaitForFedBlocks(0, handle, count, kWait));
        auto blocks = vkssim::FedBlocks(0, handle);
        return blocks.size() >= count ? blocks[count - 1] : vkssim::FedBlock{};
    }

    // Asks for data and waits until the worker has answered (its next event
    // request follows the answer); returns the supply commands it sent.
    size_t AskAndCountSupplies(uint32_t handle) {
        const uint64_t mark = vkssim::RequestMark();
        EXPECT_TRUE(vkssim::AskForData(0, handle));
        EXPECT_TRUE(vkssim::WaitForRequest(VKSSIM_IOCTL_EVENT_REQUEST, mark, kWait).has_value());
        return Sent(VKSSIM_IOCTL_SUPPLY_ENCODED_DATA, mark).size();
    }

    std::unique_ptr<vkstest::ScopedRegistry> registry_;
    vkstest::DebugCapture debug_;
    HVKS stream_ = 0;
    std::string path_;
    std::vector<uint8_t> contents_;
    CallbackRecorder errors_;
};

// Load, a stream on the file and a decoder, the callbacks, connect and play
// to the end of the file; then a seek after the end plays the rest again.
TEST_F(FileFeedingTest, ASessionPlaysTheFileThroughADecoderInMebibyteBlocksThenAnEmptyOne) {
    ASSERT_TRUE(vkssim::SetStreamAudio(0, true));
    CallbackRecorder systemEvents, decoderErrors;
    EXPECT_EQ(VKSSetSystemEventFn(&CallbackRecorder::SystemEvent, &systemEvents), VKSERROR_NO_ERROR);
    const uint64_t mark = vkssim::RequestMark();
    const uint32_t handle = OpenFileStream();
    EXPECT_EQ(vkssim::GetObject(0, handle)->address, "file://" + path_);
    EXPECT_EQ(Received(VKSSIM_IOCTL_OPEN, mark).input.at(2128), 1u);  // a system event function is registered
    const HVKS decoder = OpenDecoder();
    ASSERT_EQ(VKSDecoderDeviceSetErrorFn(nullptr, 0, decoder, &CallbackRecorder::DecoderError, &decoderErrors),
              VKSERROR_NO_ERROR);
    ASSERT_EQ(VKSDecoderDeviceSetState(stream_, 0x5A, decoder, 2), VKSERROR_NO_ERROR);
    uint32_t decoderState = 0, streamState = 0;
    EXPECT_EQ(VKSDecoderDeviceGetState(decoder, &decoderState), VKSERROR_NO_ERROR);
    EXPECT_EQ(VKSNetworkStreamGetState(stream_, &streamState), VKSERROR_NO_ERROR);
    EXPECT_EQ(std::make_pair(decoderState, streamState), std::make_pair(2u, 2u));
    EXPECT_EQ(vkssim::FindObject(0, VKSSIM_TYPE_DECODER, 0)->source, handle);

    // The first frame, the audio, and the end of the file.
    ASSERT_TRUE(decoderErrors.WaitFor(2, kWait));
    ASSERT_TRUE(errors_.WaitForStatus(VKSERROR_END_OF_STREAM, kWait));
    const uint32_t sizes[] = {kBlock, kBlock, 402848, 0};
    auto blocks = vkssim::FedBlocks(0, handle);
    ASSERT_EQ(blocks.size(), 4u);
    // Each block came in one supply command on the stream's driver handle,
    // with its size at 24 and its address at 32.
    const auto supplies = Sent(VKSSIM_IOCTL_SUPPLY_ENCODED_DATA, mark);
    ASSERT_EQ(supplies.size(), 4u);
    size_t offset = 0;
    for (size_t i = 0; i < 4; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(Got(blocks[i]), Expected(offset, sizes[i]));
        offset += sizes[i];
        const auto& s = supplies[i];
        EXPECT_EQ(std::make_tuple(s.U32(VKSSIM_REQ_TYPE), s.U32(VKSSIM_REQ_HANDLE), s.U32(24), s.U64(32) != 0,
                                  s.input.size(), s.overlappedFile),
                  std::make_tuple(uint32_t{VKSSIM_TYPE_NETWORK}, handle, sizes[i], true, size_t{VKSSIM_REQUEST_SIZE},
                                  false));
    }
    EXPECT_EQ(offset, kFileBytes);
    // The requests for data and the end reach the application only as the end.
    const auto playback = vkssim::GetStreamPlayback(0, handle).value_or(vkssim::StreamPlayback{});
    EXPECT_EQ(std::make_pair(playback.asks, playback.ended), std::make_pair(4u, true));

    // A seek after the end plays the rest of the file again from there.
    ASSERT_TRUE(vkssim::RequestSeek(0, handle, 2 * kBlock));
    ASSERT_TRUE(vkssim::WaitForFedBlocks(0, handle, 6, kWait));
    ASSERT_TRUE(errors_.WaitFor(2, kWait));
    blocks = vkssim::FedBlocks(0, handle);
    ASSERT_EQ(blocks.size(), 6u);
    EXPECT_EQ(Got(blocks[4]), Expected(2 * kBlock, 402848));
    EXPECT_EQ(blocks[5].bytes, 0u);
    EXPECT_EQ(errors_.Statuses(), (std::vector<VKSERROR>{VKSERROR_END_OF_STREAM, VKSERROR_END_OF_STREAM}));
    EXPECT_EQ(errors_.Calls()[0].handle, stream_);

    // After the close nothing more arrives. The decoder form leads with a
    // null pointer and a zero.
    EXPECT_EQ(VKSDecoderDeviceClose(decoder), VKSERROR_NO_ERROR);
    std::vector<std::tuple<void*, uint32_t, HVKS, VKSERROR>> decoderCalls;
    for (const auto& c : decoderErrors.Calls()) {
        decoderCalls.emplace_back(c.leadingPointer, c.leadingValue, c.handle, c.status);
    }
    EXPECT_EQ(decoderCalls, (decltype(decoderCalls){{nullptr, 0, decoder, VKSERROR_DECODED_FIRST_FRAME},
                                                    {nullptr, 0, decoder, VKSERROR_AUDIO_EXISTS}}));
    EXPECT_TRUE(systemEvents.Calls().empty());
}

// Seeks move the next block, a refused one keeps the position; neither kind
// of request reaches the application.
TEST_F(FileFeedingTest, SeekMovesTheNextBlockToTheAskedPosition) {
    vkssim::SetStreamPacing(0, vkssim::StreamPacing{false, 0ms});
    const uint32_t handle = OpenFileStream();
    ASSERT_EQ(VKSNetworkStreamSetState(stream_, 2), VKSERROR_NO_ERROR);
    EXPECT_EQ(Got(AskAndTake(handle, 1)), Expected(0, kBlock));

    // A position beyond the signed range cannot be reached.
    ASSERT_TRUE(vkssim::RequestSeek(0, handle, 0x8000000000000000ull));
    EXPECT_EQ(Got(AskAndTake(handle, 2)), Expected(kBlock, kBlock));
    EXPECT_TRUE(debug_.Contains("SEEK ERROR, 83"));

    // The seek event is handled before the request that follows it.
    ASSERT_TRUE(vkssim::RequestSeek(0, handle, 2000000));
    EXPECT_EQ(Got(AskAndTake(handle, 3)), Expected(2000000, 500000));

    // At the end every further request gets an empty block.
    EXPECT_EQ(AskAndTake(handle, 4).bytes, 0u);
    EXPECT_EQ(AskAndTake(handle, 5).bytes, 0u);
    ASSERT_TRUE(vkssim::RequestSeek(0, handle, 0));
    EXPECT_EQ(Got(AskAndTake(handle, 6)), Expected(0, kBlock));

    // Beyond the end the seek succeeds and the next block is empty.
    ASSERT_TRUE(vkssim::RequestSeek(0, handle, 3000000));
    EXPECT_EQ(AskAndTake(handle, 7).bytes, 0u);
    EXPECT_EQ(debug_.Matching("SEEK ERROR").size(), 1u);
    for (VKSERROR status : errors_.Statuses()) {
        EXPECT_TRUE(status != VKSERROR_NEED_DATA && status != VKSERROR_SEEK_DATA) << std::hex << status;
    }
}

TEST_F(FileFeedingTest, RefusedBlockIsLoggedAndTheNextRequestIsServed) {
    vkssim::SetStreamPacing(0, vkssim::StreamPacing{false, 0ms});
    const uint32_t handle = OpenFileStream();
    vkssim::FailWithStatus(VKSSIM_IOCTL_SUPPLY_ENCODED_DATA, VKSERROR_INSUFFICIENT_MEMORY, 1);
    EXPECT_EQ(AskAndCountSupplies(handle), 1u);
    EXPECT_TRUE(debug_.Contains(" VKSSupplyEncodedData failed " + std::to_string(VKSERROR_INSUFFICIENT_MEMORY)));
    EXPECT_TRUE(vkssim::FedBlocks(0, handle).empty());
    // The refused block is not read again: the file moved on by one block.
    EXPECT_EQ(Got(AskAndTake(handle, 1)), Expected(kBlock, kBlock));
    EXPECT_TRUE(errors_.Calls().empty());
}

TEST_F(FileFeedingTest, StreamWithoutFileLogsAndSendsNothing) {
    const uint32_t handle = OpenStream("rtsp://camera/live");
    EXPECT_EQ(AskAndCountSupplies(handle), 0u);
    EXPECT_TRUE(debug_.Contains(" SupplyEncodedData failed to ReadFile"));
    EXPECT_TRUE(errors_.Calls().empty());
    // A stream that does not play a file is never asked by itself.
    ASSERT_EQ(VKSNetworkStreamSetState(stream_, 2), VKSERROR_NO_ERROR);
    EXPECT_EQ(vkssim::GetStreamPlayback(0, handle)->asks, 1u);
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
    EXPECT_EQ(Got(blocks[1]), Expected(kBlock, kBlock));
    EXPECT_EQ(blocks[2].bytes, 402848u);
    EXPECT_EQ(blocks[3].bytes, 0u);
}

}  // namespace
