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
