// Corner cases of _snwprintf_s / _vsnwprintf_s beyond the conformance checks.
#include "vks_platform.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <climits>
#include <string>

namespace {

template <typename... Args>
std::u16string F(const char16_t* format, Args... args) {
    WCHAR buf[512];
    int n = _snwprintf_s(buf, 512, _TRUNCATE, format, args...);
    EXPECT_GE(n, 0);
    return buf;
}

}  // namespace

TEST(Format, Flags) {
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
}

TEST(Format, Sizes) {
    EXPECT_EQ(F(u"%hhd|%hhu", 0x1ff, 0x1ff), u"-1|255");
    EXPECT_EQ(F(u"%zu|%Id|%I32u|%I32d", static_cast<size_t>(1) << 40, static_cast<intptr_t>(-1), 4294967295u, -1),
              u"1099511627776|-1|4294967295|-1");
    EXPECT_EQ(F(u"%I64X|%llX", 0xFFFFFFFFFFFFFFFFull, 0x8000000000000000ull),
              u"FFFFFFFFFFFFFFFF|8000000000000000");
    EXPECT_EQ(F(u"%ld", -1), u"-1");  // 'l' is 32 bits: an int argument is right
}

TEST(Format, TextAndCharacters) {
    EXPECT_EQ(F(u"%lc%wc%C%hc", static_cast<int>(u'\u20ac'), static_cast<int>(u'w'), 'C', 'h'), u"\u20acwCh");
    EXPECT_EQ(F(u"%ls|%ws|%hs", u"\u00e9\U0001F600", u"w", "\xe9"), u"\u00e9\U0001F600|w|\u00e9");
    EXPECT_EQ(F(u"[%.3s]", static_cast<const WCHAR*>(nullptr)), u"[(nu]");
    EXPECT_EQ(F(u"[%-3c]", static_cast<int>(u'x')), u"[x  ]");
}

TEST(Format, Floating) {
    EXPECT_EQ(F(u"%e", 12345.678), u"1.234568e+04");
    EXPECT_EQ(F(u"%.2E", 0.000123), u"1.23E-04");
    EXPECT_EQ(F(u"%G", 1e20), u"1E+20");
    EXPECT_EQ(F(u"%+010.2f", 3.14159), u"+000003.14");
    EXPECT_EQ(F(u"%a", 1.0), u"0x1p+0");
    EXPECT_EQ(F(u"%.1f", 1e300).size(), 303u);
    EXPECT_EQ(F(u"%#.0f", 3.0), u"3.");
}

TEST(Format, OddConversions) {
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
    // Exactly fitting output is not cut.
    EXPECT_EQ(_snwprintf_s(buf, 5, _TRUNCATE, u"%s", u"abcd"), 4);
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

namespace {
int Forward(WCHAR* buf, size_t size, const WCHAR* format, ...) {
    va_list ap;
    va_start(ap, format);
    int n = _vsnwprintf_s(buf, size, _TRUNCATE, format, ap);
    va_end(ap);
    return n;
}
}  // namespace

TEST(Format, VaListForm) {
    WCHAR buf[32];
    EXPECT_EQ(Forward(buf, 32, u"%s=%u", u"n", 9u), 3);
    EXPECT_EQ(std::u16string(buf), u"n=9");
}
