// _vsnwprintf_s / _snwprintf_s: UTF-16 formatting with the Microsoft C
// runtime's conventions (see strings.h). Never allocates and never writes past
// the buffer; floating-point conversions use the C library on a stack buffer.
#include "vks_platform.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace {

// Collects output units up to a limit and remembers whether anything was cut.
struct Sink {
    WCHAR* buf;
    size_t limit;  // units that may be written (the terminator excluded)
    size_t n = 0;
    bool cut = false;
    void Put(WCHAR c) {
        if (n < limit)
            buf[n++] = c;
        else
            cut = true;
    }
    // A width or precision can ask for up to 2^31 units: only what fits is
    // written, at once.
    void Repeat(WCHAR c, long count) {
        if (count <= 0) return;
        if (static_cast<unsigned long>(count) > limit - n) {
            cut = true;
            count = static_cast<long>(limit - n);
        }
        for (; count > 0; --count) buf[n++] = c;
    }
};

struct Field {
    bool left = false, plus = false, space = false, zero = false, alt = false;
    long width = 0;
    long precision = -1;  // -1: not given
};

enum class Size { Default, Char, Short, Long32, Long64, Ptr };

static_assert(sizeof(long) > sizeof(int), "the magnitude of any int width fits a long");

void PadBefore(Sink& out, const Field& field, long len) {
    if (!field.left) out.Repeat(u' ', field.width - len);
}
void PadAfter(Sink& out, const Field& field, long len) {
    if (field.left) out.Repeat(u' ', field.width - len);
}

void PutWide(Sink& out, const Field& field, const WCHAR* s) {
    static const WCHAR kNull[] = u"(null)";
    if (!s) s = kNull;
    long len = 0;
    while (s[len] && (field.precision < 0 || len < field.precision)) ++len;
    PadBefore(out, field, len);
    for (long i = 0; i < len; ++i) out.Put(s[i]);
    PadAfter(out, field, len);
}

// 8-bit text is widened byte for byte, as the C runtime does in its default
// "C" locale.
void PutNarrow(Sink& out, const Field& field, const char* s) {
    if (!s) s = "(null)";
    long len = 0;
    while (s[len] && (field.precision < 0 || len < field.precision)) ++len;
    PadBefore(out, field, len);
    for (long i = 0; i < len; ++i) out.Put(static_cast<unsigned char>(s[i]));
    PadAfter(out, field, len);
}

void PutChar(Sink& out, const Field& field, WCHAR c) {
    PadBefore(out, field, 1);
    out.Put(c);
    PadAfter(out, field, 1);
}

// Integer conversions d i u o x X and p.
void PutInteger(Sink& out, Field field, unsigned long long magnitude, bool negative, WCHAR conv) {
    char digits[32];
    int nd = 0;
    unsigned base = (conv == u'o') ? 8 : (conv == u'x' || conv == u'X' || conv == u'p') ? 16 : 10;
    const char* set = (conv == u'x') ? "0123456789abcdef" : "0123456789ABCDEF";
    for (unsigned long long v = magnitude; v; v /= base) digits[nd++] = set[v % base];

    long precision = field.precision;
    if (precision >= 0) field.zero = false;  // a precision overrides the 0 flag
    if (precision < 0) precision = 1;
    long zeros = precision > nd ? precision - nd : 0;

    char prefix[3];
    int np = 0;
    if (conv == u'd' || conv == u'i') {
        if (negative)
            prefix[np++] = '-';
        else if (field.plus)
            prefix[np++] = '+';
        else if (field.space)
            prefix[np++] = ' ';
    } else if (field.alt && magnitude != 0 && (conv == u'x' || conv == u'X')) {
        prefix[np++] = '0';
        prefix[np++] = static_cast<char>(conv);
    } else if (field.alt && conv == u'o' && zeros == 0) {
        zeros = 1;  // '#' makes the first octal digit a zero
    }

    long len = np + zeros + nd;
    if (field.zero && !field.left && field.width > len) {
        zeros += field.width - len;
        len = field.width;
    }
    PadBefore(out, field, len);
    for (int i = 0; i < np; ++i) out.Put(static_cast<unsigned char>(prefix[i]));
    out.Repeat(u'0', zeros);
    while (nd) out.Put(static_cast<unsigned char>(digits[--nd]));
    PadAfter(out, field, len);
}

// Floating-point conversions through the C library into a stack buffer.
void PutDouble(Sink& out, Field field, double value, WCHAR conv) {
    char fmt[16];
    int k = 0;
    fmt[k++] = '%';
    if (field.left) fmt[k++] = '-';
    if (field.plus) fmt[k++] = '+';
    if (field.space) fmt[k++] = ' ';
    if (field.zero) fmt[k++] = '0';
    if (field.alt) fmt[k++] = '#';
    // Bounds keep the largest %f (309 integral digits) within the buffer.
    int width = static_cast<int>(field.width > 300 ? 300 : field.width);
    int precision = static_cast<int>(field.precision > 300 ? 300 : field.precision);
    // %a without a precision prints the exact value; the others default to 6.
    const bool withPrecision = field.precision >= 0 || (conv != u'a' && conv != u'A');
    if (precision < 0) precision = 6;
    fmt[k++] = '*';
    if (withPrecision) {
        fmt[k++] = '.';
        fmt[k++] = '*';
    }
    fmt[k++] = static_cast<char>(conv);
    fmt[k] = 0;
    char text[1024];
    int n = withPrecision ? std::snprintf(text, sizeof text, fmt, width, precision, value)
                          : std::snprintf(text, sizeof text, fmt, width, value);
    if (n < 0) return;
    if (static_cast<size_t>(n) >= sizeof text) n = sizeof text - 1;
    for (int i = 0; i < n; ++i) out.Put(static_cast<unsigned char>(text[i]));
}

bool IsDigit(WCHAR c) { return c >= u'0' && c <= u'9'; }

// Formats into out; va_list handling follows the C rules for promotions.
void Format(Sink& out, const WCHAR* f, va_list ap) {
    // Once something was cut the result is -1 whatever follows: stop there.
    while (*f && !out.cut) {
        if (*f != u'%') {
            out.Put(*f++);
            continue;
        }
        const WCHAR* start = f++;
        if (*f == u'%') {
            out.Put(u'%');
            ++f;
            continue;
        }
        Field field;
        for (;; ++f) {
            if (*f == u'-')
                field.left = true;
            else if (*f == u'+')
                field.plus = true;
            else if (*f == u' ')
                field.space = true;
            else if (*f == u'0')
                field.zero = true;
            else if (*f == u'#')
                field.alt = true;
            else
                break;
        }
        if (*f == u'*') {
            // A negative width is the '-' flag and its magnitude; INT_MIN's
            // magnitude does not fit an int, so it is taken in a long.
            long w = va_arg(ap, int);
            if (w < 0) {
                field.left = true;
                w = -w;
            }
            field.width = w;
            ++f;
        } else {
            while (IsDigit(*f)) {
                if (field.width < 100000) field.width = field.width * 10 + (*f - u'0');
                ++f;
            }
        }
        if (*f == u'.') {
            ++f;
            if (*f == u'*') {
                int p = va_arg(ap, int);
                field.precision = p < 0 ? -1 : p;
                ++f;
            } else {
                field.precision = 0;
                while (IsDigit(*f)) {
                    if (field.precision < 100000) field.precision = field.precision * 10 + (*f - u'0');
                    ++f;
                }
            }
        }
        Size size = Size::Default;
        bool narrow = false, wide = false;  // explicit h / l|w on c and s
        if (f[0] == u'h' && f[1] == u'h') {
            size = Size::Char;
            narrow = true;
            f += 2;
        } else if (*f == u'h') {
            size = Size::Short;
            narrow = true;
            ++f;
        } else if (f[0] == u'l' && f[1] == u'l') {
            size = Size::Long64;
            f += 2;
        } else if (*f == u'l' || *f == u'w') {
            size = Size::Long32;  // long is 32 bits on Windows
            wide = true;
            ++f;
        } else if (f[0] == u'I' && f[1] == u'6' && f[2] == u'4') {
            size = Size::Long64;
            f += 3;
        } else if (f[0] == u'I' && f[1] == u'3' && f[2] == u'2') {
            size = Size::Long32;
            f += 3;
        } else if (*f == u'I' || *f == u'z' || *f == u't' || *f == u'j') {
            size = *f == u'j' ? Size::Long64 : Size::Ptr;
            ++f;
        } else if (*f == u'L') {
            ++f;  // long double is double on Windows
        }

        WCHAR conv = *f;
        if (!conv) {  // the format ended inside a conversion: print it as is
            for (const WCHAR* p = start; p < f; ++p) out.Put(*p);
            break;
        }
        ++f;
        switch (conv) {
            case u'd':
            case u'i': {
                long long v;
                switch (size) {
                    case Size::Char: v = static_cast<signed char>(va_arg(ap, int)); break;
                    case Size::Short: v = static_cast<short>(va_arg(ap, int)); break;
                    case Size::Long64: v = va_arg(ap, long long); break;
                    case Size::Ptr: v = va_arg(ap, intptr_t); break;
                    default: v = va_arg(ap, int); break;
                }
                unsigned long long m = v < 0 ? 0ull - static_cast<unsigned long long>(v) : static_cast<unsigned long long>(v);
                PutInteger(out, field, m, v < 0, u'd');
                break;
            }
            case u'u':
            case u'o':
            case u'x':
            case u'X': {
                unsigned long long v;
                switch (size) {
                    case Size::Char: v = static_cast<unsigned char>(va_arg(ap, unsigned)); break;
                    case Size::Short: v = static_cast<unsigned short>(va_arg(ap, unsigned)); break;
                    case Size::Long64: v = va_arg(ap, unsigned long long); break;
                    case Size::Ptr: v = va_arg(ap, uintptr_t); break;
                    default: v = va_arg(ap, unsigned); break;
                }
                if (conv == u'u') field.plus = field.space = false;
                PutInteger(out, field, v, false, conv);
                break;
            }
            case u'p': {
                // The Microsoft form: all the digits of a pointer, upper case,
                // without a prefix.
                Field p = field;
                p.precision = 2 * static_cast<long>(sizeof(void*));
                p.alt = false;
                PutInteger(out, p, reinterpret_cast<uintptr_t>(va_arg(ap, void*)), false, u'p');
                break;
            }
            case u'c':
            case u'C': {
                // In the wide functions %c is wide and %C 8-bit; h and l force
                // the width.
                int c = va_arg(ap, int);
                bool isNarrow = narrow || (conv == u'C' && !wide);
                PutChar(out, field, isNarrow ? static_cast<WCHAR>(static_cast<unsigned char>(c)) : static_cast<WCHAR>(c));
                break;
            }
            case u's':
            case u'S': {
                // In the wide functions %s is wide and %S 8-bit; h and l|w force
                // the width.
                bool isNarrow = narrow || (conv == u'S' && !wide);
                if (isNarrow)
                    PutNarrow(out, field, va_arg(ap, const char*));
                else
                    PutWide(out, field, va_arg(ap, const WCHAR*));
                break;
            }
            case u'f':
            case u'F':
            case u'e':
            case u'E':
            case u'g':
            case u'G':
            case u'a':
            case u'A':
                PutDouble(out, field, va_arg(ap, double), conv);
                break;
            case u'n':
                // Disabled, as in the Microsoft runtime: writing through %n
                // is refused and nothing is printed for it.
                (void)va_arg(ap, void*);
                break;
            default:
                // Unknown conversion: its text is printed as it was.
                for (const WCHAR* p = start; p < f; ++p) out.Put(*p);
                break;
        }
    }
}

}  // namespace

extern "C" int _vsnwprintf_s(WCHAR* buffer, size_t sizeOfBuffer, size_t count, const WCHAR* format,
                             va_list argptr) {
    if (count == 0 && !buffer && sizeOfBuffer == 0) return 0;
    if (!buffer || sizeOfBuffer == 0 || !format) {
        errno = EINVAL;
        return -1;
    }
    const bool truncate = count == _TRUNCATE;
    const bool countLimits = !truncate && count < sizeOfBuffer;
    Sink out{buffer, truncate ? sizeOfBuffer - 1 : countLimits ? count : sizeOfBuffer - 1};
    va_list ap;
    va_copy(ap, argptr);
    Format(out, format, ap);
    va_end(ap);
    buffer[out.n] = 0;
    if (!out.cut) return static_cast<int>(out.n);
    if (truncate || countLimits) return -1;
    // The output did not fit and the caller asked for no truncation: the
    // Microsoft runtime empties the buffer and reports ERANGE through its
    // invalid-parameter handler; we do the same without ending the process.
    buffer[0] = 0;
    errno = ERANGE;
    return -1;
}

extern "C" int _snwprintf_s(WCHAR* buffer, size_t sizeOfBuffer, size_t count, const WCHAR* format, ...) {
    va_list ap;
    va_start(ap, format);
    int r = _vsnwprintf_s(buffer, sizeOfBuffer, count, format, ap);
    va_end(ap);
    return r;
}
