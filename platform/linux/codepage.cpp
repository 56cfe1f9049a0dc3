// MultiByteToWideChar / WideCharToMultiByte for UTF-8 and the ANSI code page.
// The ANSI code page is Windows-1252 (see platform/README.md for why).
#include "vks_platform.h"
#include "vks_text_internal.h"

namespace vks::text {

namespace {
// Windows-1252 bytes 0x80..0x9F. Undefined bytes map onto the C1 control of
// the same value, as the Windows table does.
constexpr char16_t kCp1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,  // 80..87
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,  // 88..8F
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,  // 90..97
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,  // 98..9F
};
}  // namespace

char16_t Cp1252ToUnit(unsigned char b) {
    if (b >= 0x80 && b <= 0x9F) return kCp1252High[b - 0x80];
    return b;
}

int Cp1252FromUnit(char16_t c) {
    if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) return c;
    for (int i = 0; i < 32; ++i)
        if (kCp1252High[i] == c) return 0x80 + i;
    return -1;
}

char32_t DecodeUtf8(const unsigned char* s, size_t n, size_t& i, bool* invalid) {
    unsigned char b = s[i];
    if (b < 0x80) {
        ++i;
        return b;
    }
    int need;
    char32_t cp;
    unsigned char lo = 0x80, hi = 0xBF;  // allowed range of the second byte
    if (b >= 0xC2 && b <= 0xDF) {
        need = 1;
        cp = b & 0x1F;
    } else if (b >= 0xE0 && b <= 0xEF) {
        need = 2;
        cp = b & 0x0F;
        if (b == 0xE0) lo = 0xA0;  // overlong
        if (b == 0xED) hi = 0x9F;  // surrogates
    } else if (b >= 0xF0 && b <= 0xF4) {
        need = 3;
        cp = b & 0x07;
        if (b == 0xF0) lo = 0x90;  // overlong
        if (b == 0xF4) hi = 0x8F;  // beyond U+10FFFF
    } else {
        ++i;
        if (invalid) *invalid = true;
        return 0xFFFD;
    }
    size_t j = i + 1;
    for (int k = 0; k < need; ++k, ++j) {
        unsigned char c = j < n ? s[j] : 0;
        unsigned char l = k == 0 ? lo : 0x80, h = k == 0 ? hi : 0xBF;
        if (j >= n || c < l || c > h) {
            i = j;  // the maximal subpart ends before the offending byte
            if (invalid) *invalid = true;
            return 0xFFFD;
        }
        cp = (cp << 6) | (c & 0x3F);
    }
    i = j;
    return cp;
}

}  // namespace vks::text

using namespace vks::text;

namespace {

bool IsAnsi(UINT cp) { return cp == CP_ACP || cp == CP_OEMCP || cp == 3 /*CP_THREAD_ACP*/ || cp == 1252; }

// Counts or writes output units; reports whether the output fitted.
template <typename T>
struct Out {
    T* buf;
    int cap;  // 0: size query
    int n = 0;
    bool overflow = false;
    void Put(T v) {
        if (cap > 0) {
            if (n >= cap) {
                overflow = true;
                return;
            }
            buf[n] = v;
        }
        ++n;
    }
};

int Fail(DWORD error) {
    SetLastError(error);
    return 0;
}

}  // namespace

extern "C" int WINAPI MultiByteToWideChar(UINT CodePage, DWORD dwFlags, LPCSTR lpMultiByteStr, int cbMultiByte,
                                          LPWSTR lpWideCharStr, int cchWideChar) {
    if (!lpMultiByteStr || cbMultiByte == 0 || cbMultiByte < -1 || cchWideChar < 0 ||
        (cchWideChar > 0 && !lpWideCharStr) ||
        (cchWideChar > 0 && static_cast<const void*>(lpMultiByteStr) == static_cast<const void*>(lpWideCharStr)))
        return Fail(ERROR_INVALID_PARAMETER);
    const bool utf8 = CodePage == CP_UTF8;
    if (!utf8 && !IsAnsi(CodePage)) return Fail(ERROR_INVALID_PARAMETER);
    if (utf8 ? (dwFlags & ~static_cast<DWORD>(MB_ERR_INVALID_CHARS)) != 0 : (dwFlags & ~0xFu) != 0)
        return Fail(ERROR_INVALID_FLAGS);

    const auto* s = reinterpret_cast<const unsigned char*>(lpMultiByteStr);
    size_t n;
    if (cbMultiByte == -1) {
        n = 0;
        while (s[n]) ++n;
        ++n;  // the terminator is converted and counted
    } else {
        n = static_cast<size_t>(cbMultiByte);
    }
    Out<WCHAR> out{lpWideCharStr, cchWideChar};
    if (utf8) {
        bool invalid = false;
        for (size_t i = 0; i < n;) {
            char32_t cp = DecodeUtf8(s, n, i, &invalid);
            if (invalid && (dwFlags & MB_ERR_INVALID_CHARS)) return Fail(ERROR_NO_UNICODE_TRANSLATION);
            if (cp >= 0x10000) {
                cp -= 0x10000;
                out.Put(static_cast<WCHAR>(0xD800 + (cp >> 10)));
                out.Put(static_cast<WCHAR>(0xDC00 + (cp & 0x3FF)));
            } else {
                out.Put(static_cast<WCHAR>(cp));
            }
        }
    } else {
        for (size_t i = 0; i < n; ++i) out.Put(Cp1252ToUnit(s[i]));
    }
    if (out.overflow) return Fail(ERROR_INSUFFICIENT_BUFFER);
    return out.n;
}

extern "C" int WINAPI WideCharToMultiByte(UINT CodePage, DWORD dwFlags, LPCWSTR lpWideCharStr, int cchWideChar,
                                          LPSTR lpMultiByteStr, int cbMultiByte, LPCSTR lpDefaultChar,
                                          LPBOOL lpUsedDefaultChar) {
    if (!lpWideCharStr || cchWideChar == 0 || cchWideChar < -1 || cbMultiByte < 0 ||
        (cbMultiByte > 0 && !lpMultiByteStr) ||
        (cbMultiByte > 0 && static_cast<const void*>(lpMultiByteStr) == static_cast<const void*>(lpWideCharStr)))
        return Fail(ERROR_INVALID_PARAMETER);
    const bool utf8 = CodePage == CP_UTF8;
    if (!utf8 && !IsAnsi(CodePage)) return Fail(ERROR_INVALID_PARAMETER);
    if (utf8) {
        // UTF-8 has no default character.
        if (lpDefaultChar || lpUsedDefaultChar) return Fail(ERROR_INVALID_PARAMETER);
        if ((dwFlags & ~static_cast<DWORD>(WC_ERR_INVALID_CHARS)) != 0) return Fail(ERROR_INVALID_FLAGS);
    }

    size_t n;
    if (cchWideChar == -1) {
        n = 0;
        while (lpWideCharStr[n]) ++n;
        ++n;
    } else {
        n = static_cast<size_t>(cchWideChar);
    }
    Out<char> out{lpMultiByteStr, cbMultiByte};
    if (utf8) {
        for (size_t i = 0; i < n;) {
            bool invalid = false;
            char32_t cp = NextCodePoint(lpWideCharStr, n, i, &invalid);
            if (invalid && (dwFlags & WC_ERR_INVALID_CHARS)) return Fail(ERROR_NO_UNICODE_TRANSLATION);
            char tmp[4];
            int len = EncodeUtf8(cp, tmp);
            for (int k = 0; k < len; ++k) out.Put(tmp[k]);
        }
    } else {
        const char def = lpDefaultChar ? *lpDefaultChar : '?';
        bool used = false;
        // Per UTF-16 unit, as the Windows tables work: no best-fit mapping.
        for (size_t i = 0; i < n; ++i) {
            int b = Cp1252FromUnit(lpWideCharStr[i]);
            if (b < 0) {
                used = true;
                out.Put(def);
            } else {
                out.Put(static_cast<char>(b));
            }
        }
        if (lpUsedDefaultChar) *lpUsedDefaultChar = used ? TRUE : FALSE;
    }
    if (out.overflow) return Fail(ERROR_INSUFFICIENT_BUFFER);
    return out.n;
}
