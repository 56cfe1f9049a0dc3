// The C runtime's wide string helpers over UTF-16, and the 8-bit
// case-insensitive comparisons.
#include "vks_platform.h"
#include "vks_text_internal.h"

#include <cerrno>

using vks::text::FoldLower;
using vks::text::FoldLowerA;

size_t wcslen(const WCHAR* s) {
    size_t n = 0;
    while (s[n]) ++n;
    return n;
}

size_t wcsnlen(const WCHAR* s, size_t maxCount) {
    size_t n = 0;
    while (n < maxCount && s[n]) ++n;
    return n;
}

int wcscmp(const WCHAR* a, const WCHAR* b) {
    for (;; ++a, ++b) {
        if (*a != *b) return *a < *b ? -1 : 1;
        if (!*a) return 0;
    }
}

int wcsncmp(const WCHAR* a, const WCHAR* b, size_t n) {
    for (; n; --n, ++a, ++b) {
        if (*a != *b) return *a < *b ? -1 : 1;
        if (!*a) return 0;
    }
    return 0;
}

// Like the C runtime: the difference of the lower-case forms.
int _wcsnicmp(const WCHAR* a, const WCHAR* b, size_t n) {
    for (; n; --n, ++a, ++b) {
        int ca = FoldLower(*a), cb = FoldLower(*b);
        if (ca != cb) return ca - cb;
        if (!ca) return 0;
    }
    return 0;
}

int _wcsicmp(const WCHAR* a, const WCHAR* b) { return _wcsnicmp(a, b, static_cast<size_t>(-1)); }

extern "C" int _strnicmp(const char* a, const char* b, size_t n) {
    for (; n; --n, ++a, ++b) {
        int ca = static_cast<unsigned char>(FoldLowerA(*a)), cb = static_cast<unsigned char>(FoldLowerA(*b));
        if (ca != cb) return ca - cb;
        if (!ca) return 0;
    }
    return 0;
}

extern "C" int _stricmp(const char* a, const char* b) { return _strnicmp(a, b, static_cast<size_t>(-1)); }

int wcscpy_s(WCHAR* dest, size_t destsz, const WCHAR* src) {
    if (!dest || destsz == 0) return EINVAL;
    if (!src) {
        dest[0] = 0;
        return EINVAL;
    }
    size_t i = 0;
    for (; i < destsz; ++i) {
        dest[i] = src[i];
        if (!src[i]) return 0;
    }
    dest[0] = 0;
    return ERANGE;
}

int wcsncpy_s(WCHAR* dest, size_t destsz, const WCHAR* src, size_t count) {
    if (count == 0 && !dest && destsz == 0) return 0;
    if (!dest || destsz == 0) return EINVAL;
    if (count == 0) {
        dest[0] = 0;
        return 0;
    }
    if (!src) {
        dest[0] = 0;
        return EINVAL;
    }
    if (count == _TRUNCATE) {
        size_t i = 0;
        for (; i + 1 < destsz && src[i]; ++i) dest[i] = src[i];
        dest[i] = 0;
        return src[i] ? STRUNCATE : 0;
    }
    size_t len = wcsnlen(src, count);
    if (len >= destsz) {
        dest[0] = 0;
        return ERANGE;
    }
    for (size_t i = 0; i < len; ++i) dest[i] = src[i];
    dest[len] = 0;
    return 0;
}

int wcscat_s(WCHAR* dest, size_t destsz, const WCHAR* src) {
    if (!dest || destsz == 0) return EINVAL;
    if (!src) {
        dest[0] = 0;
        return EINVAL;
    }
    size_t start = wcsnlen(dest, destsz);
    if (start == destsz) {  // destination not terminated
        dest[0] = 0;
        return EINVAL;
    }
    size_t i = 0;
    for (; start + i < destsz; ++i) {
        dest[start + i] = src[i];
        if (!src[i]) return 0;
    }
    dest[0] = 0;
    return ERANGE;
}
