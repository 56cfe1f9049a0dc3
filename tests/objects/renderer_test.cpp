// The renderer bridge's render input name copy and its entry point table
// (whose names the API tests check by loading the stand-in renderer).
#include "driver/command_channel.h"
#include "objects/renderer.h"

#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <string>

namespace {

// A name is copied up to its terminator or 255 units, and terminated; nothing
// is written past the name's 256 units.
TEST(RendererName, IsCopiedUpTo255UnitsAndTerminated) {
    for (const std::u16string& sent : {std::u16string(u"VKSRENDER:1:0"), std::u16string(400, u'x')}) {
        CommandReply reply = kReplyTemplate;
        std::memcpy(reply.Bytes + kPayload, sent.c_str(), (sent.size() + 1) * sizeof(WCHAR));
        WCHAR name[kRenderInputNameUnits + 4];
        std::memset(name, 0x55, sizeof(name));
        CopyRenderInputName(reply.Bytes, name);
        EXPECT_EQ(std::u16string(name), sent.substr(0, kRenderInputNameUnits - 1));
        EXPECT_EQ(name[kRenderInputNameUnits], 0x5555);
    }
}

// Each entry point is bound by its own name: a repeated name would bind two
// slots to one function, which loading the stand-in renderer cannot notice.
TEST(RendererTable, NamesAreDistinct) {
    std::set<std::string> names;
    for (size_t i = 0; i < kRendererFunctionCount; ++i) names.insert(RendererFunctionName(i));
    EXPECT_EQ(names.size(), kRendererFunctionCount);
    EXPECT_EQ(RendererFunctionName(kRendererFunctionCount), nullptr);
}

}  // namespace
