// The open-handle list: the handles of network streams and discovery
// sessions, closed by the engine at shut-down and walked by the notification
// thread. Guarded by Global.hHandleListMutex, which is taken before any
// handle lock.
#pragma once

#include "vks_platform.h"

void AddHandleToList(DWORD handle);
void RemoveHandleFromList(DWORD handle);

// Copies up to `capacity` handle values (in list order) under the list mutex;
// returns how many the list holds.
size_t CopyHandleList(DWORD* handles, size_t capacity);

// At shut-down: closes every listed handle with `close`, taking the head until
// the list is empty; the list mutex is held only between the closes.
void CloseAllListedHandles(DWORD (*close)(DWORD handle));
