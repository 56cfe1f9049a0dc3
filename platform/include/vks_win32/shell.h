// Shell path helpers.
#pragma once

#include "types.h"

extern "C" {
// Converts a "file:" URL to a local path: "file:///tmp/a%20b.ts" gives
// "/tmp/a b.ts" ("file://localhost/..." likewise). S_OK; E_INVALIDARG for
// anything but a local file URL; E_POINTER when the path does not fit in
// *pcchPath characters (which then holds the size needed, terminator included).
HRESULT WINAPI PathCreateFromUrlA(LPCSTR pszUrl, LPSTR pszPath, LPDWORD pcchPath, DWORD dwFlags);
}
