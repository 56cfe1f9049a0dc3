#include "driver/worker_dispatch.h"

#include "core/log.h"
#include "core/status_codes.h"
#include "objects/handle_table.h"

#include <cstdlib>

void FreeOvIoctl(OVIOCTL* block) { std::free(block); }

void WorkerDispatch(DWORD hvks, OVIOCTL* block) {
    void* object = nullptr;
    const DWORD locked = LockHandle(hvks, &object);
    if (locked != 0) {
        LogWarning(WSTR("WorkerThread: LockHandle( hVKS=%p, &pUserHandle=%p ) Failed with result %#x\n"),
                   reinterpret_cast<void*>(static_cast<ULONG_PTR>(hvks)), &object, locked);
        FreeOvIoctl(block);
        return;
    }
    UnlockHandle(hvks, object);
    FreeOvIoctl(block);
}
