#include "core/status_codes.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

TEST(StatusNames, NamedValuesOutsideAndInsideTheScheme) {
    EXPECT_STREQ(VKSErrorToString(0), "VKSERROR_NO_ERROR");
    EXPECT_STREQ(VKSErrorToString(1), "VKSERROR_IGNORE_ERROR");
    EXPECT_STREQ(VKSErrorToString(0x01340005), "VKSERROR_INVALID_ARGUMENT");
    EXPECT_STREQ(VKSErrorToString(0x013400FF), "VKSERROR_UNKNOWN_ERROR");
    EXPECT_STREQ(VKSErrorToString(0x01341407), "VKSERROR_SEEK_DATA");
    EXPECT_STREQ(VKSErrorToString(0x01344400), "VKSERROR_DISCOVERED_DEVICES");
    EXPECT_STREQ(VKSErrorToString(0x0134F404), "VKSERROR_EVENT_MEMORY_LEVEL_RED");
}

TEST(StatusNames, UnnamedValuesGiveEmptyText) {
    for (VKSERROR code : {0x2u, 0x01340027u, 0x013400FDu, 0x01340100u, 0x01340401u, 0x0134100Bu, 0x01345000u,
                          0x01347400u, 0x0134F405u, 0x02340005u, 0xFFFFFFFFu}) {
        const char* name = VKSErrorToString(code);
        ASSERT_NE(name, nullptr) << std::hex << code;
        EXPECT_STREQ(name, "") << std::hex << code;
    }
}

TEST(StatusNames, EveryNameMatchesTheNumberingRule) {
    // Scan the whole 0x0134xxxx space: 113 names in all, each of the form
    // VKSERROR_*, and every named value has the 0x134 marker.
    int named = 2;
    for (VKSERROR code = 0x01340000; code <= 0x0134FFFF; ++code) {
        const char* name = VKSErrorToString(code);
        if (*name == 0) continue;
        ++named;
        EXPECT_EQ(std::strncmp(name, "VKSERROR_", 9), 0) << name;
    }
    EXPECT_EQ(named, 113);
}

TEST(DeviceTypeNames, KnownAndUnknown) {
    EXPECT_STREQ(DeviceTypeToString(0), "NETWORK");
    EXPECT_STREQ(DeviceTypeToString(1), "DECODER");
    EXPECT_STREQ(DeviceTypeToString(2), "ENCODER");
    EXPECT_STREQ(DeviceTypeToString(3), "DISCOVERY");
    EXPECT_STREQ(DeviceTypeToString(4), "Invalid");
    EXPECT_STREQ(DeviceTypeToString(0xFFFFFFFF), "Invalid");
}

TEST(WideToUtf8, ConvertsAndRejectsNull) {
    EXPECT_EQ(WideToUtf8Alloc(nullptr), nullptr);
    char* text = WideToUtf8Alloc(u"udp://239.1.1.1:5000 \u00e9\u20ac");
    ASSERT_NE(text, nullptr);
    EXPECT_STREQ(text, "udp://239.1.1.1:5000 \xc3\xa9\xe2\x82\xac");
    std::free(text);
    char* empty = WideToUtf8Alloc(u"");
    ASSERT_NE(empty, nullptr);
    EXPECT_STREQ(empty, "");
    std::free(empty);
}

// The terminator goes after the bytes written, which in a multibyte code page
// are more than the units; a text too long for the buffer loses whole
// characters only.
TEST(WideToMultiByte, TerminatesAtTheBytesWritten) {
    const struct {
        UINT codePage;
        const char16_t* text;
        int outBytes;
        const char* expected;
    } cases[] = {
        {CP_UTF8, u"Cam\u00e9ra \U0001F600", 32, "Cam\xc3\xa9ra \xf0\x9f\x98\x80"},
        {CP_UTF8, u"Cam\u00e9ra \U0001F600", 11, "Cam\xc3\xa9ra "},  // the pair whole or not at all
        {CP_UTF8, u"\u00e9\u00e9\u00e9", 6, "\xc3\xa9\xc3\xa9"},
        {CP_ACP, u"Cam\u00e9ra \u20ac\u0100", 32, "Cam\xe9ra \x80?"},
        {CP_ACP, u"", 4, ""},
    };
    for (const auto& c : cases) {
        char out[32];
        std::memset(out, 'Z', sizeof out);
        const int written = WideToMultiByteBounded(c.codePage, c.text, 255, out, c.outBytes);
        EXPECT_EQ(written, static_cast<int>(std::strlen(c.expected)));
        EXPECT_STREQ(out, c.expected);
    }
}
