// The renderer bridge's render input name copy and its entry point table
// (whose names the API tests check by loading the stand-in renderer).
#include "driver/command_channel.h"
#include "objects/renderer.h"

#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <string>

namespace {

void PutName(CommandReply& reply, const std::u16string& name) {
    std::memcpy(reply.Bytes + kPayload, name.c_str(), (name.size() + 1) * sizeof(WCHAR));
}

TEST(RendererName, ShortNameIsCopiedWhole) {
    CommandReply reply = kReplyTemplate;
    PutName(reply, u"VKSRENDER:1:0");
    WCHAR name[kRenderInputNameUnits];
    std::memset(name, 0x55, sizeof(name));
    CopyRenderInputName(reply.Bytes, name);
    EXPECT_EQ(std::u16string(name), u"VKSRENDER:1:0");
}

TEST(RendererName, NameWithoutTerminatorIsCutTo255Units) {
    CommandReply reply = kReplyTemplate;
    PutName(reply, std::u16string(400, u'x'));  // longer than the name field
    WCHAR name[kRenderInputNameUnits + 4];
    std::memset(name, 0x55, sizeof(name));
    CopyRenderInputName(reply.Bytes, name);
    EXPECT_EQ(std::u16string(name), std::u16string(kRenderInputNameUnits - 1, u'x'));
    // Nothing is written past the name's 256 units.
    EXPECT_EQ(name[kRenderInputNameUnits], 0x5555);
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
