// Code page conversion, the wide string helpers, and the corner cases of
// _snwprintf_s (and through it _vsnwprintf_s) beyond the conformance checks.
#include "vks_platform.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <climits>
#include <cstring>
#include <string>
#include <utility>

namespace {

std::u16string Wide(UINT cp, const std::string& s, DWORD flags = 0) {
    WCHAR buf[64];
    int n = MultiByteToWideChar(cp, flags, s.data(), static_cast<int>(s.size()), buf, 64);
    return std::u16string(buf, n > 0 ? n : 0);
}

// A call that fails (result 0) with the given last error.
#define EXPECT_FAILS(call, error)                                 \
    do {                                                          \
        SetLastError(0);                                          \
        EXPECT_EQ((call), 0);                                     \
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(error));     \
    } while (0)

template <typename... Args>
std::u16string F(const char16_t* format, Args... args) {
    WCHAR buf[512];
    int n = _snwprintf_s(buf, 512, _TRUNCATE, format, args...);
    EXPECT_GE(n, 0);
    return buf;
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
    BOOL used = FALSE;
    EXPECT_FAILS(MultiByteToWideChar(CP_UTF8, 1 /*MB_PRECOMPOSED*/, "a", 1, w, 8), ERROR_INVALID_FLAGS);
    EXPECT_FAILS(WideCharToMultiByte(CP_UTF8, 0, u"a", 1, c, 8, nullptr, &used), ERROR_INVALID_PARAMETER);
    EXPECT_FAILS(MultiByteToWideChar(12345, 0, "a", 1, w, 8), ERROR_INVALID_PARAMETER);
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
    EXPECT_FAILS(WideCharToMultiByte(CP_ACP, 0, u"abc", -1, out, 2, nullptr, nullptr), ERROR_INSUFFICIENT_BUFFER);
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

// Each call's result and the text it leaves in a buffer of 4 units.
TEST(WideStrings, SecureCopies) {
    WCHAR buf[4];
    using R = std::pair<int, std::u16string>;
    auto after = [&](int result) { return R(result, buf); };
    EXPECT_EQ(after(wcscpy_s(buf, 4, u"abc")), R(0, u"abc"));
    EXPECT_EQ(after(wcscpy_s(buf, 4, u"abcd")), R(ERANGE, u""));
    EXPECT_EQ(wcscpy_s(buf, 4, nullptr), EINVAL);
    EXPECT_EQ(wcscpy_s(nullptr, 4, u"a"), EINVAL);
    EXPECT_EQ(after(wcsncpy_s(buf, 4, u"abcdef", _TRUNCATE)), R(STRUNCATE, u"abc"));
    EXPECT_EQ(after(wcsncpy_s(buf, 4, u"ab", _TRUNCATE)), R(0, u"ab"));
    EXPECT_EQ(after(wcsncpy_s(buf, 4, u"xyzdef", 2)), R(0, u"xy"));
    EXPECT_EQ(after(wcsncpy_s(buf, 4, u"abcdef", 4)), R(ERANGE, u""));
    EXPECT_EQ(after(wcscpy_s(buf, 4, u"a")), R(0, u"a"));
    EXPECT_EQ(after(wcscat_s(buf, 4, u"bc")), R(0, u"abc"));
    EXPECT_EQ(after(wcscat_s(buf, 4, u"d")), R(ERANGE, u""));
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

// Flags, sizes, texts and characters, floating point and odd conversions.
TEST(Format, Conversions) {
    EXPECT_EQ(F(u"[%-08d]", 42), u"[42      ]");  // '-' wins over '0'
    EXPECT_EQ(F(u"[%+.3d]", 7), u"[+007]");
    EXPECT_EQ(F(u"[%08.3d]", 7), u"[     007]");  // a precision disables '0'
    EXPECT_EQ(F(u"[%.0d]", 0), u"[]");
    EXPECT_EQ(F(u"[%#o]", 0u), u"[0]");
    EXPECT_EQ(F(u"[%#08x]", 0x1fu), u"[0x00001f]");
    EXPECT_EQ(F(u"[%+u]", 5u), u"[5]");
    EXPECT_EQ(F(u"[% 5d]", -3), u"[   -3]");
    EXPECT_EQ(F(u"[%*d]", -4, 1), u"[1   ]");  // a negative width means '-'
    EXPECT_EQ(F(u"[%.*d]", -1, 5), u"[5]");   // a negative precision is ignored
    EXPECT_EQ(F(u"%hhd|%hhu", 0x1ff, 0x1ff), u"-1|255");
    EXPECT_EQ(F(u"%zu|%Id|%I32u|%I32d", static_cast<size_t>(1) << 40, static_cast<intptr_t>(-1), 4294967295u, -1),
              u"1099511627776|-1|4294967295|-1");
    EXPECT_EQ(F(u"%I64X|%llX", 0xFFFFFFFFFFFFFFFFull, 0x8000000000000000ull),
              u"FFFFFFFFFFFFFFFF|8000000000000000");
    EXPECT_EQ(F(u"%ld", -1), u"-1");  // 'l' is 32 bits: an int argument is right
    EXPECT_EQ(F(u"%lc%wc%C%hc", static_cast<int>(u'\u20ac'), static_cast<int>(u'w'), 'C', 'h'), u"\u20acwCh");
    EXPECT_EQ(F(u"%ls|%ws|%hs", u"\u00e9\U0001F600", u"w", "\xe9"), u"\u00e9\U0001F600|w|\u00e9");
    EXPECT_EQ(F(u"[%.3s]", static_cast<const WCHAR*>(nullptr)), u"[(nu]");
    EXPECT_EQ(F(u"[%-3c]", static_cast<int>(u'x')), u"[x  ]");
    EXPECT_EQ(F(u"%e", 12345.678), u"1.234568e+04");
    EXPECT_EQ(F(u"%.2E", 0.000123), u"1.23E-04");
    EXPECT_EQ(F(u"%G", 1e20), u"1E+20");
    EXPECT_EQ(F(u"%+010.2f", 3.14159), u"+000003.14");
    EXPECT_EQ(F(u"%a", 1.0), u"0x1p+0");
    EXPECT_EQ(F(u"%.1f", 1e300).size(), 303u);
    EXPECT_EQ(F(u"%#.0f", 3.0), u"3.");
    EXPECT_EQ(F(u"100%"), u"100%");           // a trailing '%' stays
    EXPECT_EQ(F(u"%y|%d", 5), u"%y|5");       // an unknown conversion is printed as is
    int n = 0;
    EXPECT_EQ(F(u"a%nb", &n), u"ab");         // %n writes nothing
    EXPECT_EQ(n, 0);
    EXPECT_EQ(F(u"%p", static_cast<void*>(nullptr)), u"0000000000000000");
    EXPECT_EQ(F(u"[%20p]", reinterpret_cast<void*>(0xABCull)), u"[    0000000000000ABC]");
}

TEST(Format, BufferLimits) {
    WCHAR buf[10];
    for (auto& c : buf) c = u'#';
    // _TRUNCATE: 4 units and the terminator in a buffer of 5; the rest untouched.
    EXPECT_EQ(_snwprintf_s(buf, 5, _TRUNCATE, u"%d", 123456789), -1);
    EXPECT_EQ(std::u16string(buf), u"1234");
    EXPECT_EQ(buf[5], u'#');
    // A buffer of one unit holds only the terminator.
    EXPECT_EQ(_snwprintf_s(buf, 1, _TRUNCATE, u"x"), -1);
    EXPECT_EQ(buf[0], 0);
    EXPECT_EQ(_snwprintf_s(buf, 1, _TRUNCATE, u""), 0);
    // A count of at least the buffer size that does not fit: empty, -1, ERANGE.
    errno = 0;
    EXPECT_EQ(_snwprintf_s(buf, 5, 5, u"%s", u"abcdefg"), -1);
    EXPECT_EQ(buf[0], 0);
    EXPECT_EQ(errno, ERANGE);
    EXPECT_EQ(buf[5], u'#');
    // Invalid parameters.
    errno = 0;
    EXPECT_EQ(_snwprintf_s(nullptr, 5, _TRUNCATE, u"x"), -1);
    EXPECT_EQ(errno, EINVAL);
    EXPECT_EQ(_snwprintf_s(buf, 0, _TRUNCATE, u"x"), -1);
    EXPECT_EQ(_snwprintf_s(buf, 5, _TRUNCATE, nullptr), -1);
}

// Widths and precisions at the ends of int into a small buffer: the buffer
// fills and the call ends at once (no padding past the end), INT_MIN's
// magnitude included.
TEST(Format, ExtremeWidthsAndPrecisions) {
    const auto start = std::chrono::steady_clock::now();
    const struct {
        const char16_t* format;
        int value;
        const char16_t* head;  // then `fill` up to the 15 units the buffer holds
        char16_t fill;
    } cases[] = {
        {u"[%*d]", INT_MIN, u"[1", u' '},   {u"[%*d]", INT_MAX, u"[", u' '},
        {u"[%-*d]", INT_MAX, u"[1", u' '},  {u"[%0*d]", INT_MAX, u"[", u'0'},
        {u"[%.*d]", INT_MAX, u"[", u'0'},   {u"[%*s]", INT_MAX, u"[", u' '},
    };
    for (const auto& c : cases) {
        std::u16string expected = c.head;
        expected.resize(15, c.fill);
        SCOPED_TRACE(std::string(c.format, c.format + std::char_traits<char16_t>::length(c.format)));
        WCHAR buf[16];
        const int n = c.format[3] == u's' ? _snwprintf_s(buf, 16, _TRUNCATE, c.format, c.value, u"")
                                          : _snwprintf_s(buf, 16, _TRUNCATE, c.format, c.value, 1);
        EXPECT_EQ(n, -1);
        EXPECT_EQ(std::u16string(buf), expected);
    }
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1));
}
