// The renderer bridge's render input name copy (the entry point table is
// exercised through the stand-in renderer by the API tests).
#include "driver/command_channel.h"
#include "objects/renderer.h"

#include <gtest/gtest.h>

#include <cstring>
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

}  // namespace
