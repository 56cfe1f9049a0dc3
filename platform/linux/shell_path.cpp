#include "vks_platform.h"

#include <cstring>

namespace {

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

}  // namespace

extern "C" HRESULT WINAPI PathCreateFromUrlA(LPCSTR pszUrl, LPSTR pszPath, LPDWORD pcchPath, DWORD) {
    if (pszUrl == nullptr || pszPath == nullptr || pcchPath == nullptr) return E_INVALIDARG;
    if (strncasecmp(pszUrl, "file:", 5) != 0) return E_INVALIDARG;
    const char* rest = pszUrl + 5;
    if (std::strncmp(rest, "//", 2) == 0) {
        rest += 2;
        if (strncasecmp(rest, "localhost/", 10) == 0) {
            rest += 9;
        } else if (*rest != '/') {
            return E_INVALIDARG;  // a file on another host
        }
    }
    // Decode into the caller's buffer, counting what is needed.
    DWORD needed = 1;
    DWORD written = 0;
    for (const char* c = rest; *c != 0; ++c) {
        char out = *c;
        if (*c == '%' && HexValue(c[1]) >= 0 && HexValue(c[2]) >= 0) {
            out = static_cast<char>(HexValue(c[1]) * 16 + HexValue(c[2]));
            c += 2;
        }
        if (written + 1 < *pcchPath) pszPath[written++] = out;
        ++needed;
    }
    if (needed > *pcchPath) {
        // A buffer of size 0 gets nothing, not even a terminator.
        if (*pcchPath > 0) pszPath[0] = 0;
        *pcchPath = needed;
        return E_POINTER;
    }
    pszPath[written] = 0;
    *pcchPath = written;
    return S_OK;
}
