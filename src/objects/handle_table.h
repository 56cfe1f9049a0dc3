// The handle table behind every HVKS: issues handle values, maps them to the
// objects the library keeps, and gives each handle its own re-entrant lock and
// a closing signal so that a handle being closed makes every waiter fail
// instead of touching freed memory.
#pragma once

#include "vks_platform.h"

typedef DWORD HANDLEERROR_CODE;

#ifndef HANDLEERROR_BAD_CONFIG
#define HANDLEERROR_BAD_CONFIG 0x01170001u
#define HANDLEERROR_ALREADY_INITIALISED 0x01170002u
#define HANDLEERROR_INVALID_HANDLE 0x01170003u
#define HANDLEERROR_NO_MEMORY 0x01170005u
#define HANDLEERROR_BAD_BUCKET_COUNT 0x01170006u
#define HANDLEERROR_NO_HANDLE 0x01170007u
#endif

// The table's settings, given once at start-up.
struct HandleTableConfig {
    DWORD Size;         // sizeof(HandleTableConfig)
    DWORD BucketCount;  // non-zero power of two
    WORD Tag;           // high half of every handle value
    WORD Reserved0;
    DWORD Reserved1;
    void* (*Allocate)(size_t bytes);  // object blocks
    void (*Release)(void* block);
    void* Reserved2[3];
};
static_assert(sizeof(HandleTableConfig) == 56, "the settings record is 56 bytes");

// Milliseconds a retired value stays unusable before it may be issued again.
constexpr DWORD kHandleReuseDelayMs = 30000;

DWORD InitialiseHandleTable(const HandleTableConfig* config);
DWORD UninitialiseHandleTable();
DWORD CreateHandle(size_t objectSize, DWORD* handle);
DWORD LockHandle(DWORD handle, void** object);
DWORD UnlockHandle(DWORD handle, void* object);
DWORD ReleaseHandle(DWORD handle, void* object);
DWORD LockAndReleaseHandle(DWORD handle);
DWORD RelockHandle(DWORD handle, void* object, void** relocked);

// Copies up to `capacity` values of handles that are issued and not retired;
// returns how many there are.
size_t CopyLiveHandles(DWORD* handles, size_t capacity);

// Typed convenience over LockHandle for the library's own records.
template <typename T>
inline DWORD LockHandleAs(DWORD handle, T** object) {
    void* raw = nullptr;
    const DWORD status = LockHandle(handle, &raw);
    *object = static_cast<T*>(raw);
    return status;
}

// Test support: the clock used for the reuse delay (GetTickCount by default;
// null restores it).
void HandleTableSetTickSource(DWORD (*tickSource)());
