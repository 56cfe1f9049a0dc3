// Text conversion shared by the exports whose wide form hands over to the
// 8-bit form.
#include "core/status_codes.h"

#include <cstdlib>

char* WideToUtf8Alloc(const WCHAR* text) {
    if (text == nullptr) return nullptr;
    const int size = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
    if (size == 0) return nullptr;
    char* result = static_cast<char*>(std::malloc(static_cast<size_t>(size)));
    if (result == nullptr) return nullptr;
    if (WideCharToMultiByte(CP_UTF8, 0, text, -1, result, size, nullptr, nullptr) == 0) {
        std::free(result);
        return nullptr;
    }
    return result;
}

int WideToMultiByteBounded(UINT codePage, const WCHAR* text, int units, char* out, int outBytes) {
    int n = 0;
    while (n < units && text[n] != 0) ++n;
    for (;;) {
        if (n == 0) {
            out[0] = 0;
            return 0;
        }
        const int written = WideCharToMultiByte(codePage, 0, text, n, out, outBytes - 1, nullptr, nullptr);
        if (written > 0) {
            // The count of bytes, not of units: in a multibyte code page the
            // two differ.
            out[written] = 0;
            return written;
        }
        if (GetLastError() != ERROR_INSUFFICIENT_BUFFER) {
            out[0] = 0;
            return -1;
        }
        // Too long for the buffer: drop the last character, never half of a
        // surrogate pair.
        --n;
        if (n > 0 && text[n] >= 0xDC00 && text[n] <= 0xDFFF && text[n - 1] >= 0xD800 && text[n - 1] <= 0xDBFF) --n;
    }
}
