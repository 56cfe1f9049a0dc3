#include "core/status_codes.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <tuple>
#include <vector>

// 113 names in all: the two values below the scheme and the rest inside
// 0x0134xxxx, each of the form VKSERROR_*. A value is given its own name;
// values outside the scheme give empty text.
TEST(StatusNames, EveryNameFollowsTheNumberingRule) {
    std::vector<VKSERROR> codes = {0, 1};
    for (VKSERROR code = 0x01340000; code <= 0x0134FFFF; ++code) codes.push_back(code);
    int named = 0;
    for (VKSERROR code : codes) {
        const char* name = VKSErrorToString(code);
        if (*name == 0) continue;
        ++named;
        EXPECT_EQ(std::strncmp(name, "VKSERROR_", 9), 0) << name;
    }
    EXPECT_EQ(named, 113);
    EXPECT_STREQ(VKSErrorToString(VKSERROR_SEEK_DATA), "VKSERROR_SEEK_DATA");
    for (VKSERROR code : {0x2u, 0x02340005u, 0xFFFFFFFFu}) EXPECT_STREQ(VKSErrorToString(code), "") << std::hex << code;
    // Device types are named up to the last; past it, "Invalid".
    EXPECT_STREQ(DeviceTypeToString(VKSDEVICETYPE_DISCOVERY), "DISCOVERY");
    EXPECT_STREQ(DeviceTypeToString(kDeviceTypeCount), "Invalid");
}

TEST(WideToUtf8, ConvertsAndRejectsNull) {
    EXPECT_EQ(WideToUtf8Alloc(nullptr), nullptr);
    const std::pair<const char16_t*, const char*> cases[] = {
        {u"udp://239.1.1.1:5000 \u00e9\u20ac", "udp://239.1.1.1:5000 \xc3\xa9\xe2\x82\xac"}, {u"", ""}};
    for (const auto& [wide, utf8] : cases) {
        char* text = WideToUtf8Alloc(wide);
        EXPECT_STREQ(text, utf8);
        std::free(text);
    }
}

// The terminator goes after the bytes written, which in a multibyte code page
// are more than the units; a text too long for the buffer loses whole
// characters only.
TEST(WideToMultiByte, TerminatesAtTheBytesWritten) {
    // The code page, the text, the output's size, what comes out.
    const std::tuple<UINT, const char16_t*, int, const char*> cases[] = {
        {CP_UTF8, u"Cam\u00e9ra \U0001F600", 32, "Cam\xc3\xa9ra \xf0\x9f\x98\x80"},
        {CP_UTF8, u"Cam\u00e9ra \U0001F600", 11, "Cam\xc3\xa9ra "},  // the pair whole or not at all
        {CP_UTF8, u"\u00e9\u00e9\u00e9", 6, "\xc3\xa9\xc3\xa9"},
        {CP_ACP, u"Cam\u00e9ra \u20ac\u0100", 32, "Cam\xe9ra \x80?"},
        {CP_ACP, u"", 4, ""},
    };
    for (const auto& [codePage, text, outBytes, expected] : cases) {
        char out[32];
        std::memset(out, 'Z', sizeof out);
        EXPECT_EQ(WideToMultiByteBounded(codePage, text, 255, out, outBytes), static_cast<int>(std::strlen(expected)));
        EXPECT_STREQ(out, expected);
    }
}
