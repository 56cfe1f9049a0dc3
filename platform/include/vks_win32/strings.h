// Text: UTF-16 formatting with the Microsoft C runtime's conventions, code
// page conversion, and the wide string helpers of the C runtime.
#pragma once

#include "types.h"

#define CP_ACP 0
#define CP_OEMCP 1
#define CP_UTF8 65001
#define MB_ERR_INVALID_CHARS 0x00000008
#define WC_ERR_INVALID_CHARS 0x00000080
#define _TRUNCATE ((size_t)-1)
// errno value of the secure copies when _TRUNCATE cut the text (as on Windows).
#define STRUNCATE 80

extern "C" {
// Conversion between 8-bit code pages and UTF-16. The ANSI code page (CP_ACP)
// is Windows-1252 on Linux.
int WINAPI MultiByteToWideChar(UINT CodePage, DWORD dwFlags, LPCSTR lpMultiByteStr, int cbMultiByte,
                               LPWSTR lpWideCharStr, int cchWideChar);
int WINAPI WideCharToMultiByte(UINT CodePage, DWORD dwFlags, LPCWSTR lpWideCharStr, int cchWideChar,
                               LPSTR lpMultiByteStr, int cbMultiByte, LPCSTR lpDefaultChar, LPBOOL lpUsedDefaultChar);

// Formatting over UTF-16 with the Microsoft conventions: %s and %ls are wide
// texts, %hs and %S 8-bit texts, %c wide and %hc 8-bit characters, 'l' is 32
// bits and 'll'/'I64' 64 bits, 'I'/'z' pointer-sized; flags, width, precision
// and '*' as in C. Output never exceeds the buffer and is always terminated
// when the buffer holds at least one unit.
// Returns the number of units written, or -1 when the output was cut.
int _vsnwprintf_s(WCHAR* buffer, size_t sizeOfBuffer, size_t count, const WCHAR* format, va_list argptr);
int _snwprintf_s(WCHAR* buffer, size_t sizeOfBuffer, size_t count, const WCHAR* format, ...);

int _stricmp(const char* a, const char* b);
int _strnicmp(const char* a, const char* b, size_t n);
}

// The C runtime's wide string helpers for UTF-16 text. They are C++ overloads
// beside the C library's wchar_t forms, so both can be used in one program.
size_t wcslen(const WCHAR* s);
size_t wcsnlen(const WCHAR* s, size_t maxCount);
int wcscmp(const WCHAR* a, const WCHAR* b);
int wcsncmp(const WCHAR* a, const WCHAR* b, size_t n);
int _wcsicmp(const WCHAR* a, const WCHAR* b);
int _wcsnicmp(const WCHAR* a, const WCHAR* b, size_t n);
// Bounded copy and concatenation with the C runtime's secure forms: 0 on success,
// an errno value (EINVAL, ERANGE) and an empty destination on failure.
int wcscpy_s(WCHAR* dest, size_t destsz, const WCHAR* src);
int wcsncpy_s(WCHAR* dest, size_t destsz, const WCHAR* src, size_t count);
int wcscat_s(WCHAR* dest, size_t destsz, const WCHAR* src);
