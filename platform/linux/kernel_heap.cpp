// The process heap, on the C library's allocator (16-byte alignment, as on
// 64-bit Windows).
#include "vks_win32/kernel.h"

#include <cstdlib>
#include <cstring>

namespace {
// The process heap's handle is an address, as on Windows, not a kernel handle.
alignas(16) char g_processHeap[16];
}  // namespace

extern "C" {

HANDLE WINAPI GetProcessHeap(void) { return g_processHeap; }

LPVOID WINAPI HeapAlloc(HANDLE hHeap, DWORD dwFlags, SIZE_T dwBytes) {
    // A zero-byte request still gives a distinct, freeable block.
    const size_t size = dwBytes ? dwBytes : 1;
    void* p = (dwFlags & HEAP_ZERO_MEMORY) ? std::calloc(1, size) : std::malloc(size);
    if (!p) SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return p;
}

BOOL WINAPI HeapFree(HANDLE hHeap, DWORD dwFlags, LPVOID lpMem) {
    std::free(lpMem);
    return TRUE;
}

}  // extern "C"
