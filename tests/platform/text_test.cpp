// Code page conversion and the wide string helpers.
#include "vks_platform.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <string>

namespace {

std::u16string Wide(UINT cp, const std::string& s, DWORD flags = 0) {
    WCHAR buf[64];
    int n = MultiByteToWideChar(cp, flags, s.data(), static_cast<int>(s.size()), buf, 64);
    return std::u16string(buf, n > 0 ? n : 0);
}

}  // namespace

TEST(CodePage, Utf8MaximalSubparts) {
    EXPECT_EQ(Wide(CP_UTF8, "\xE2\x82"), u"\uFFFD");                    // cut short: one
    EXPECT_EQ(Wide(CP_UTF8, "\xF0\x80\x80"), u"\uFFFD\uFFFD\uFFFD");   // overlong lead: each byte
    EXPECT_EQ(Wide(CP_UTF8, "\xF4\x90\x80\x80"), u"\uFFFD\uFFFD\uFFFD\uFFFD");  // beyond U+10FFFF
    EXPECT_EQ(Wide(CP_UTF8, "\xF5\x80\x80\x80"), u"\uFFFD\uFFFD\uFFFD\uFFFD");  // no lead byte
    EXPECT_EQ(Wide(CP_UTF8, "\xE2\x82x"), u"\uFFFDx");
    EXPECT_EQ(Wide(CP_UTF8, "\xEF\xBB\xBF" "a"), u"\uFEFFa");  // a BOM is a character
    EXPECT_EQ(Wide(CP_UTF8, std::string("a\0b", 3)), std::u16string(u"a\0b", 3));
}

TEST(CodePage, Flags) {
    WCHAR w[8];
    char c[8];
    SetLastError(0);
    EXPECT_EQ(MultiByteToWideChar(CP_UTF8, 1 /*MB_PRECOMPOSED*/, "a", 1, w, 8), 0);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_FLAGS));
    BOOL used = FALSE;
    SetLastError(0);
    EXPECT_EQ(WideCharToMultiByte(CP_UTF8, 0, u"a", 1, c, 8, nullptr, &used), 0);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    SetLastError(0);
    EXPECT_EQ(MultiByteToWideChar(12345, 0, "a", 1, w, 8), 0);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}

TEST(CodePage, AnsiIsWindows1252) {
    EXPECT_EQ(Wide(CP_ACP, "\x80\x9f\xe9\x81"), u"\u20ac\u0178\u00e9\u0081");
    char out[16];
    BOOL used = TRUE;
    EXPECT_EQ(WideCharToMultiByte(CP_ACP, 0, u"\u20ac\u00e9", -1, out, 16, nullptr, &used), 3);
    EXPECT_STREQ(out, "\x80\xe9");
    EXPECT_FALSE(used);
    EXPECT_EQ(WideCharToMultiByte(CP_ACP, 0, u"a\u4e2db", -1, out, 16, nullptr, &used), 4);
    EXPECT_STREQ(out, "a?b");
    EXPECT_TRUE(used);
    EXPECT_EQ(WideCharToMultiByte(CP_ACP, 0, u"\u0100", -1, out, 16, "*", nullptr), 2);  // no best fit
    EXPECT_STREQ(out, "*");
    SetLastError(0);
    EXPECT_EQ(WideCharToMultiByte(CP_ACP, 0, u"abc", -1, out, 2, nullptr, nullptr), 0);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    EXPECT_EQ(MultiByteToWideChar(CP_ACP, 0, "abc", -1, nullptr, 0), 4);
}

TEST(WideStrings, Comparisons) {
    EXPECT_EQ(wcslen(u"abc"), 3u);
    EXPECT_EQ(wcsnlen(u"abc", 2), 2u);
    EXPECT_EQ(wcscmp(u"abc", u"abc"), 0);
    EXPECT_LT(wcscmp(u"abc", u"abd"), 0);
    EXPECT_GT(wcscmp(u"\uFFFF", u"a"), 0);  // units compare unsigned
    EXPECT_EQ(wcsncmp(u"abcX", u"abcY", 3), 0);
    EXPECT_EQ(_wcsicmp(u"Hello", u"hELLO"), 0);
    EXPECT_EQ(_wcsicmp(u"\u00c9T\u00c9", u"\u00e9t\u00e9"), 0);
    EXPECT_NE(_wcsicmp(u"\u00d7", u"\u00f7"), 0);  // multiplication and division signs are not letters
    EXPECT_LT(_wcsicmp(u"a", u"B"), 0);
    EXPECT_EQ(_wcsnicmp(u"ABCx", u"abcy", 3), 0);
    EXPECT_EQ(_stricmp("MiXeD", "mixed"), 0);
    EXPECT_GT(_strnicmp("b", "A", 1), 0);
}

TEST(WideStrings, SecureCopies) {
    WCHAR buf[4];
    EXPECT_EQ(wcscpy_s(buf, 4, u"abc"), 0);
    EXPECT_EQ(std::u16string(buf), u"abc");
    EXPECT_EQ(wcscpy_s(buf, 4, u"abcd"), ERANGE);
    EXPECT_EQ(buf[0], 0);
    EXPECT_EQ(wcscpy_s(buf, 4, nullptr), EINVAL);
    EXPECT_EQ(wcscpy_s(nullptr, 4, u"a"), EINVAL);
    EXPECT_EQ(wcsncpy_s(buf, 4, u"abcdef", _TRUNCATE), STRUNCATE);
    EXPECT_EQ(std::u16string(buf), u"abc");
    EXPECT_EQ(wcsncpy_s(buf, 4, u"ab", _TRUNCATE), 0);
    EXPECT_EQ(wcsncpy_s(buf, 4, u"abcdef", 2), 0);
    EXPECT_EQ(std::u16string(buf), u"ab");
    EXPECT_EQ(wcsncpy_s(buf, 4, u"abcdef", 4), ERANGE);
    EXPECT_EQ(buf[0], 0);
    EXPECT_EQ(wcscpy_s(buf, 4, u"a"), 0);
    EXPECT_EQ(wcscat_s(buf, 4, u"bc"), 0);
    EXPECT_EQ(std::u16string(buf), u"abc");
    EXPECT_EQ(wcscat_s(buf, 4, u"d"), ERANGE);
    EXPECT_EQ(buf[0], 0);
}

// File URLs to paths: decoding, hosts, and buffers that are too small (a
// buffer of size 0 is never written).
TEST(ShellPath, PathCreateFromUrlA) {
    const struct {
        const char* url;
        DWORD size;
        HRESULT result;
        DWORD sizeAfter;
        const char* path;  // null: the buffer is as it was
    } cases[] = {
        {"file:///tmp/a%20b.ts", 16, S_OK, 11, "/tmp/a b.ts"},
        {"file://localhost/tmp/x", 16, S_OK, 6, "/tmp/x"},
        {"file:///tmp/x", 7, S_OK, 6, "/tmp/x"},
        {"file:///tmp/x", 6, E_POINTER, 7, ""},
        {"file:///tmp/x", 0, E_POINTER, 7, nullptr},
        {"file://host/tmp/x", 16, E_INVALIDARG, 16, nullptr},
        {"http://host/x", 16, E_INVALIDARG, 16, nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.url);
        char buffer[16];
        std::memset(buffer, 'Z', sizeof buffer);
        DWORD size = c.size;
        EXPECT_EQ(PathCreateFromUrlA(c.url, buffer, &size, 0), c.result);
        EXPECT_EQ(size, c.sizeAfter);
        if (c.path != nullptr) {
            EXPECT_STREQ(buffer, c.path);
        } else {
            EXPECT_EQ(buffer[0], 'Z');
        }
    }
}
