// Values of the public header that other components and applications compare
// against as numbers: a slip in one is invisible to the library's own code,
// which uses the names (order and uniqueness are asserted where the names are
// listed).
#include "vksacc.h"

#include <gtest/gtest.h>

namespace {

TEST(HeaderStatusCodes, ValuesFollowTheGroupOffsetRule) {
    struct Row {
        uint32_t value, expected;
    };
    // One or more codes of each group, at both ends of the failure and the
    // notification ranges.
    const Row rows[] = {
        {VKSERROR_NO_ERROR, 0x00000000u},          {VKSERROR_IGNORE_ERROR, 0x00000001u},
        {VKSERROR_UNINITIALIZED, 0x01340000u},     {VKSERROR_INVALID_ARGUMENT, 0x01340005u},
        {VKSERROR_ILLEGAL_CALL, 0x0134000Au},      {VKSERROR_NO_DATA, 0x01340026u},
        {VKSERROR_UNKNOWN_TIMEOUT, 0x013400FEu},   {VKSERROR_UNKNOWN_ERROR, 0x013400FFu},
        {VKSERROR_UPGRADE_PENDING, 0x01340400u},   {VKSERROR_INVALID_CONNECTION, 0x01341000u},
        {VKSERROR_NETWORK_DEVICE_IN_USE, 0x0134100Au}, {VKSERROR_STREAM_STOPPED, 0x01341400u},
        {VKSERROR_RECONNECT_STREAM, 0x0134140Au},  {VKSERROR_INVALID_STREAM, 0x01342000u},
        {VKSERROR_AUDIO_AVAILABLE, 0x01342403u},   {VKSERROR_PORT_IN_USE, 0x0134300Cu},
        {VKSERROR_ENC_NOTIFY_NO_NETWORK, 0x01343406u}, {VKSERROR_DISCOVERY_DEVICE_IN_USE, 0x01344000u},
        {VKSERROR_DISCOVERY_DATA, 0x01344401u},    {VKSERROR_DIAG_PING_SUCCESS, 0x01345400u},
        {VKSERROR_DIAG_TRACEROUTE_COMPLETE, 0x01345406u}, {VKSERROR_TEST_FAIL, 0x01346402u},
        {VKSERROR_EVENT_UPGRADE_COMPLETE, 0x0134F400u}, {VKSERROR_EVENT_MEMORY_LEVEL_RED, 0x0134F404u},
        {HANDLEERROR_BAD_CONFIG, 0x01170001u},     {HANDLEERROR_INVALID_HANDLE, 0x01170003u},
        {HANDLEERROR_NO_MEMORY, 0x01170005u},      {HANDLEERROR_NO_HANDLE, 0x01170007u},
    };
    for (const Row& row : rows) EXPECT_EQ(row.value, row.expected) << std::hex << row.expected;
}

}  // namespace
