// The parameter frames' bounds, as pure functions over byte buffers: bounds
// that no export reaches with its own blocks. What each export sends and
// reads (the seek time conversion too) is param_exports_test's.
#include "driver/command_channel.h"
#include "driver/param_accessors.h"
#include "driver/param_commands.h"

#include <gtest/gtest.h>

#include <tuple>
#include <vector>

namespace {

// The copy takes the smaller of the caller's capacity and the device's block,
// and never reads past the reply.
TEST(ParamFrame, ReplyCopyIsBoundedByCapacityDeviceBlockAndReply) {
    // The capacity, the device's block, the bytes copied.
    const std::tuple<DWORD, DWORD, DWORD> cases[] = {{40, 480, 40}, {480, 12, 12}, {~0u, ~0u, kReplyBytes - 32}};
    for (const auto& [capacity, deviceBytes, copied] : cases) {
        SCOPED_TRACE(capacity);
        CommandReply reply = kReplyTemplate;
        WriteU32(reply.Bytes, 32, deviceBytes);
        for (DWORD i = 4; i < kReplyBytes - 32; ++i) reply.Bytes[32 + i] = static_cast<BYTE>(i | 1);
        std::vector<BYTE> block(kReplyBytes, 0);
        WriteU32(block.data(), 0, capacity);
        EXPECT_EQ(CopyGetParameterReply(reply.Bytes, block.data()), copied);
        EXPECT_EQ(ReadU32(block.data(), 0), copied);
        EXPECT_EQ(block[copied - 1], static_cast<BYTE>((copied - 1) | 1));
        if (copied < block.size()) {
            EXPECT_EQ(block[copied], 0) << "nothing past the copy is written";
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

}  // namespace
