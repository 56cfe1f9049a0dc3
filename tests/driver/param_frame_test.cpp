// The parameter frames' bounds and the seek time conversion, as pure
// functions over byte buffers; what each export sends and reads is
// param_exports_test's.
#include "driver/command_channel.h"
#include "driver/param_accessors.h"
#include "driver/param_commands.h"

#include <gtest/gtest.h>

#include <limits>
#include <vector>

namespace {

// The copy takes the smaller of the caller's capacity and the device's block,
// and never reads past the reply.
TEST(ParamFrame, ReplyCopyIsBoundedByCapacityDeviceBlockAndReply) {
    const struct {
        DWORD capacity, deviceBytes, copied;
    } cases[] = {{40, 480, 40}, {480, 12, 12}, {0xFFFFFFFF, 0xFFFFFFFF, kReplyBytes - 32}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.capacity);
        CommandReply reply = kReplyTemplate;
        WriteU32(reply.Bytes, 32, c.deviceBytes);
        for (DWORD i = 4; i < kReplyBytes - 32; ++i) reply.Bytes[32 + i] = static_cast<BYTE>(i | 1);
        std::vector<BYTE> block(kReplyBytes, 0);
        WriteU32(block.data(), 0, c.capacity);
        EXPECT_EQ(CopyGetParameterReply(reply.Bytes, block.data()), c.copied);
        EXPECT_EQ(ReadU32(block.data(), 0), c.copied);
        EXPECT_EQ(block[c.copied - 1], static_cast<BYTE>((c.copied - 1) | 1));
        if (c.copied < block.size()) {
            EXPECT_EQ(block[c.copied], 0) << "nothing past the copy is written";
        }
    }
}

TEST(ParamFrame, SetRequestRefusesABlockThatDoesNotFit) {
    CommandRequest request = kRequestTemplate;
    std::vector<BYTE> block(kRequestBytes, 0x5A);
    WriteU32(block.data(), 0, kRequestBytes - 32 + 1);
    EXPECT_EQ(BuildSetParameterRequest(request.Bytes, 0, 0x1, block.data()), VKSERROR_INVALID_ARGUMENT);
    EXPECT_EQ(ReadU32(request.Bytes, 28), 0u);
    WriteU32(block.data(), 0, 40);
    EXPECT_EQ(BuildSetParameterRequest(request.Bytes, 0, 0x1, block.data()), VKSERROR_NO_ERROR);
    EXPECT_EQ(request.Bytes[32 + 39], 0x5A);
    EXPECT_EQ(request.Bytes[32 + 40], 0) << "only the block's own bytes are sent";
}

// Seek times go in units of 100 ns, truncated toward zero; one that does not
// fit 32 signed bits (or is not a number) composes nothing.
TEST(ParamFrame, SeekComposition) {
    ParamBlockBuffer block;
    NetworkSeekParams params{};
    params.Size = sizeof(params);
    params.Flags = VKS_SEEK_TIME_VALID | VKS_SEEK_POSITION_VALID;
    params.SeekTime = -0.00000019;
    params.SeekPosition = 0x123456789ull;
    EXPECT_EQ(ComposeSeek(params, block.Bytes), 0x30u);
    EXPECT_EQ(static_cast<int32_t>(ReadU32(block.Bytes, 28)), -1);
    EXPECT_EQ(ReadU64(block.Bytes, 32), 0x123456789ull);
    params.Flags = VKS_SEEK_POSITION_VALID;
    EXPECT_EQ(ComposeSeek(params, block.Bytes), 0x20u);
    EXPECT_EQ(ReadU32(block.Bytes, 28), 0u);
    params.Flags = VKS_SEEK_TIME_VALID;
    params.SeekTime = 214.7483647;  // 2^31 - 1 units
    EXPECT_EQ(ComposeSeek(params, block.Bytes), 0x10u);
    EXPECT_EQ(ReadU32(block.Bytes, 28), 0x7FFFFFFFu);
    EXPECT_EQ(ReadU64(block.Bytes, 32), 0u) << "the position is not valid";
    for (double bad : {215.0, -215.0, std::numeric_limits<double>::quiet_NaN()}) {
        params.SeekTime = bad;
        EXPECT_EQ(ComposeSeek(params, block.Bytes), 0u) << bad;
    }
}

}  // namespace
