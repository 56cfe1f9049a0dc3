// Text helpers shared by the string, conversion, formatting, registry, debug
// output and module parts of the platform layer. Internal: not installed.
#pragma once

#include "vks_win32/types.h"

#include <cstddef>
#include <cstdint>

namespace vks::text {

// Case folding used by the case-insensitive comparisons (_wcsicmp, registry
// key and value names, module names): ASCII and Latin-1 letters. Windows folds
// more of the Basic Multilingual Plane; the names the product uses are ASCII.
inline char16_t FoldLower(char16_t c) {
    if (c >= u'A' && c <= u'Z') return static_cast<char16_t>(c + 32);
    if (c >= 0xC0 && c <= 0xDE && c != 0xD7) return static_cast<char16_t>(c + 32);
    return c;
}
inline char FoldLowerA(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; }

inline bool IsHighSurrogate(char16_t c) { return c >= 0xD800 && c <= 0xDBFF; }
inline bool IsLowSurrogate(char16_t c) { return c >= 0xDC00 && c <= 0xDFFF; }

// Decodes one code point from UTF-16 at s[i] (n units available), replacing a
// lone surrogate with U+FFFD. Advances i. Sets *invalid when a lone surrogate
// was met.
inline char32_t NextCodePoint(const char16_t* s, size_t n, size_t& i, bool* invalid = nullptr) {
    char16_t c = s[i++];
    if (IsHighSurrogate(c)) {
        if (i < n && IsLowSurrogate(s[i])) {
            char16_t d = s[i++];
            return 0x10000 + ((static_cast<char32_t>(c) - 0xD800) << 10) + (d - 0xDC00);
        }
        if (invalid) *invalid = true;
        return 0xFFFD;
    }
    if (IsLowSurrogate(c)) {
        if (invalid) *invalid = true;
        return 0xFFFD;
    }
    return c;
}

// Writes the UTF-8 form of cp into out (4 bytes room) and returns its length.
inline int EncodeUtf8(char32_t cp, char* out) {
    if (cp < 0x80) {
        out[0] = static_cast<char>(cp);
        return 1;
    }
    if (cp < 0x800) {
        out[0] = static_cast<char>(0xC0 | (cp >> 6));
        out[1] = static_cast<char>(0x80 | (cp & 0x3F));
        return 2;
    }
    if (cp < 0x10000) {
        out[0] = static_cast<char>(0xE0 | (cp >> 12));
        out[1] = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out[2] = static_cast<char>(0x80 | (cp & 0x3F));
        return 3;
    }
    out[0] = static_cast<char>(0xF0 | (cp >> 18));
    out[1] = static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    out[2] = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out[3] = static_cast<char>(0x80 | (cp & 0x3F));
    return 4;
}

// Decodes one code point from strict UTF-8 at s[i] (n bytes available).
// Returns U+FFFD for an ill-formed sequence, consuming its maximal subpart
// (the Unicode recommended practice, which Windows follows), and sets
// *invalid. Advances i by at least one byte.
char32_t DecodeUtf8(const unsigned char* s, size_t n, size_t& i, bool* invalid);

// Windows-1252: the byte for a UTF-16 unit, or -1 when it has none.
int Cp1252FromUnit(char16_t c);
// Windows-1252: the UTF-16 unit for a byte (bytes the code page leaves
// undefined map onto the C1 control of the same value, as Windows does).
char16_t Cp1252ToUnit(unsigned char b);

}  // namespace vks::text
