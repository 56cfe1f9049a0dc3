#include "driver/completion_port.h"

#include "core/engine.h"
#include "core/log.h"
#include "core/status_codes.h"
#include "driver/command_channel.h"
#include "driver/worker_dispatch.h"

#include <cstdlib>
#include <cstring>

VKSERROR InitialiseCompletionPort(COMPLETION_PORT* port, LPTHREAD_START_ROUTINE threadFunction, DWORD numThreads) {
    LogTrace(WSTR("InitialiseCompletionPort:%X: ENTER - pFn:%p NumThreads:%u."), port, threadFunction, numThreads);
    if (port == nullptr) return VKSERROR_INVALID_ARGUMENT;
    std::memset(port, 0, sizeof(*port));
    VKSERROR result = VKSERROR_NO_ERROR;

    port->hPort = CreateIoCompletionPort(INVALID_HANDLE_VALUE, nullptr, 0, 0);
    if (port->hPort == nullptr) {
        LogError(WSTR("InitialiseCompletionPort:%X: Failed to create IoCompletionPort."), port);
        result = VKSERROR_INSUFFICIENT_RESOURCES;
    } else {
        LogMessage(WSTR("InitialiseCompletionPort:%X: Created Completion Port %#x."), port, port->hPort);
        port->phThreads = static_cast<HANDLE*>(std::calloc(numThreads == 0 ? 1 : numThreads, sizeof(HANDLE)));
        if (port->phThreads == nullptr) {
            LogError(WSTR("InitialiseCompletionPort:%X: Failed to allocate thread handles."), port);
            result = VKSERROR_INSUFFICIENT_RESOURCES;
        } else {
            DWORD created = 0;
            for (; created < numThreads; ++created) {
                HANDLE thread = CreateThread(nullptr, 0, threadFunction, port->hPort, 0, nullptr);
                if (thread == nullptr) {
                    LogError(WSTR("InitialiseCompletionPort:%X: Failed to create thread."), port);
                    result = VKSERROR_INSUFFICIENT_RESOURCES;
                    break;
                }
                SetThreadPriority(thread, THREAD_PRIORITY_HIGHEST);
                port->phThreads[created] = thread;
                LogMessage(WSTR("InitialiseCompletionPort:%X: Created Thread %u - Handle:%#x hCompeletionPort:%#x."),
                           port, created, thread, port->hPort);
            }
            port->NumThreads = created;
        }
    }
    if (result != VKSERROR_NO_ERROR) UninitialiseCompletionPort(port);
    LogTrace(WSTR("InitialiseCompletionPort:%X: EXIT - Error:%hs.\n"), port, VKSErrorToString(result));
    return result;
}

namespace {

// A request may complete after its port's threads took their stop packet: a
// notification re-armed while the engine shuts down, say. Nobody will dequeue
// it, and every block a library port carries is an OVIOCTL that the thread
// would have freed, so it is freed here before the port goes.
void ReleaseLeftoverCompletions(HANDLE port) {
    for (;;) {
        DWORD bytes = 0;
        ULONG_PTR key = 0;
        OVERLAPPED* overlapped = nullptr;
        const BOOL dequeued = GetQueuedCompletionStatus(port, &bytes, &key, &overlapped, 0);
        if (overlapped == nullptr) {
            if (dequeued) continue;  // a surplus stop packet
            return;                  // empty (or the port failed)
        }
        LogTrace(WSTR("UninitialiseCompletionPort: releasing a late completion - Key:%#x lpOverlapped:%p.\n"), key,
                 overlapped);
        FreeOvIoctl(OvIoctlFromOverlapped(overlapped));
    }
}

}  // namespace

VKSERROR UninitialiseCompletionPort(COMPLETION_PORT* port) {
    LogTrace(WSTR("UninitialiseCompletionPort:%X: ENTER.\n"), port);
    VKSERROR result = VKSERROR_NO_ERROR;
    if (port == nullptr) {
        result = VKSERROR_INVALID_ARGUMENT;
    } else if (port->hPort == nullptr) {
        result = VKSERROR_INVALID_STATE;
    } else {
        for (DWORD i = 0; i < port->NumThreads; ++i) PostQueuedCompletionStatus(port->hPort, 0, 0, nullptr);
        // At most MAXIMUM_WAIT_OBJECTS threads per wait; the library runs one.
        for (DWORD first = 0; first < port->NumThreads; first += MAXIMUM_WAIT_OBJECTS) {
            const DWORD count = port->NumThreads - first < MAXIMUM_WAIT_OBJECTS ? port->NumThreads - first
                                                                               : MAXIMUM_WAIT_OBJECTS;
            WaitForMultipleObjects(count, port->phThreads + first, TRUE, INFINITE);
        }
        ReleaseLeftoverCompletions(port->hPort);
        for (DWORD i = 0; i < port->NumThreads; ++i) {
            LogMessage(WSTR("UninitialiseCompletionPort:%X: Closing handle %#x for thread %u."), port,
                       port->phThreads[i], i);
            CloseHandle(port->phThreads[i]);
            port->phThreads[i] = nullptr;
        }
        std::free(port->phThreads);
        CloseHandle(port->hPort);
        std::memset(port, 0, sizeof(*port));
    }
    LogTrace(WSTR("UninitialiseCompletionPort:%X: EXIT - Error:%hs.\n"), port, VKSErrorToString(result));
    return result;
}

bool OnCompletionPortThread(const COMPLETION_PORT* port) {
    const DWORD self = GetCurrentThreadId();
    for (DWORD i = 0; i < port->NumThreads; ++i) {
        if (port->phThreads[i] != nullptr && GetThreadId(port->phThreads[i]) == self) return true;
    }
    return false;
}

VKSERROR AssociateCompletionPort(COMPLETION_PORT* port, HANDLE hFileOv, ULONG_PTR completionKey) {
    LogTrace(WSTR("AssociateCompletionPort:%X: ENTER - hDriverOv:%#x CompletionKey:%#x.\n"), port, hFileOv,
             completionKey);
    VKSERROR result = VKSERROR_NO_ERROR;
    if (port == nullptr) {
        result = VKSERROR_INVALID_ARGUMENT;
    } else if (port->hPort == nullptr) {
        result = VKSERROR_INVALID_STATE;
    } else if (CreateIoCompletionPort(hFileOv, port->hPort, completionKey, 0) == nullptr) {
        LogError(WSTR("AssociateCompletionPort:%X: Failed - LastError:%08X.\n"), port, GetLastError());
        result = VKSERROR_UNEXPECTED;
    }
    LogTrace(WSTR("AssociateCompletionPort:%X: EXIT - Error:%hs.\n"), port, VKSErrorToString(result));
    return result;
}

VKSERROR StartWorkerCompletionPort() {
    return InitialiseCompletionPort(&Global.WorkerCompletionPort, WorkerThread, 1);
}

VKSERROR StopWorkerCompletionPort() { return UninitialiseCompletionPort(&Global.WorkerCompletionPort); }

DWORD WINAPI WorkerThread(LPVOID portHandle) {
    HANDLE port = static_cast<HANDLE>(portHandle);
    LogNotification(WSTR("WorkerThread:%X: ENTER - hCompletionPort:%#x.\n"), GetCurrentThreadId(), port);
    for (;;) {
        DWORD bytes = 0;
        ULONG_PTR key = 0;
        OVERLAPPED* overlapped = nullptr;
        const BOOL dequeued = GetQueuedCompletionStatus(port, &bytes, &key, &overlapped, 1000);
        if (!dequeued) {
            const DWORD error = GetLastError();
            if (overlapped == nullptr && error == WAIT_TIMEOUT) continue;
            if (overlapped == nullptr) key = 0;  // the port itself failed: stop
            // A request the driver failed still carries its block: it is
            // handled like any completion (its reply holds what the driver
            // wrote, and the block must be freed), and the thread goes on.
        }
        OVIOCTL* block = OvIoctlFromOverlapped(overlapped);
        if (!dequeued && block != nullptr && ReadU32(block->Reply, kRepStatus) == VKSERROR_NO_ERROR) {
            // The driver failed the request without a reply of its own.
            WriteU32(block->Reply, kRepStatus, VKSERROR_UNEXPECTED);
        }
        if (key == 0 || block == nullptr) {
            LogWarning(WSTR("WorkerThread: hVKS:%#x POVIOCTL:%p\n"), static_cast<DWORD>(key), block);
            FreeOvIoctl(block);
            LogNotification(WSTR("WorkerThread:%X: EXIT.\n"), GetCurrentThreadId());
            return 0;
        }
        WorkerDispatch(static_cast<DWORD>(key), block);
    }
}
