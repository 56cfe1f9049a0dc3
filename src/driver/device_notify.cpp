#include "driver/device_notify.h"

#include "core/engine.h"
#include "core/log.h"
#include "driver/command_channel.h"
#include "driver/device_tables.h"

VKSERROR DeviceCompletionPortOpenAndRegister(DEVICE_TABLE* networkPorts) {
    return InitialiseCompletionPort(&Global.DeviceCompletionPort, DeviceIoCompletionThread, 1);
}

VKSERROR DeviceCompletionPortClose(DEVICE_TABLE* networkPorts) {
    return UninitialiseCompletionPort(&Global.DeviceCompletionPort);
}

DWORD WINAPI DeviceIoCompletionThread(LPVOID portHandle) {
    HANDLE port = static_cast<HANDLE>(portHandle);
    LogNotification(WSTR("DeviceIoCompletionThread:%08X-%p: ENTER.\n"), GetCurrentThreadId(), port);
    for (;;) {
        DWORD bytes = 0;
        ULONG_PTR key = 0;
        OVERLAPPED* overlapped = nullptr;
        const BOOL dequeued = GetQueuedCompletionStatus(port, &bytes, &key, &overlapped, INFINITE);
        LogVerbose(WSTR("DeviceIoCompletionThread:%08X-%p: bDequeueSuccess:%u dwBytes:%lu CompletionKey:%#x lpOverlapped:%p.\n"),
                   GetCurrentThreadId(), port, dequeued, bytes, key, overlapped);
        if (dequeued && key == 0) {
            LogNotification(WSTR("DeviceIoCompletionThread:%08X-%p: Thread Stop Received.\n"), GetCurrentThreadId(), port);
            break;
        }
        if (!dequeued && overlapped == nullptr) {
            const DWORD error = GetLastError();
            if (error == WAIT_TIMEOUT) continue;
            if (error == ERROR_ABANDONED_WAIT_0) {
                LogWarning(WSTR("DeviceIoCompletionThread:%08X-%p: Completion Port Closed Unexpectedly.\n"),
                           GetCurrentThreadId(), port);
            } else {
                LogError(WSTR("DeviceIoCompletionThread:%08X-%p: Unexpected Dequeue failure - LastError:%#X.\n"),
                         GetCurrentThreadId(), port, error);
            }
            break;
        }
        FreeOvIoctl(OvIoctlFromOverlapped(overlapped));
    }
    LogNotification(WSTR("DeviceIoCompletionThread:%08X-%p: EXIT.\n"), GetCurrentThreadId(), port);
    return 0;
}
