// The device completion port: every device keeps one notification request
// outstanding; its completions carry device-wide events (firmware upgrade,
// memory level) to the system-event callback.
#include "driver/device_notify.h"

#include "core/engine.h"
#include "core/log.h"
#include "core/status_codes.h"
#include "driver/command_channel.h"
#include "driver/device_tables.h"

namespace {

// How long the engine free waits for the devices to give back their
// notification requests before it closes the port.
constexpr DWORD kRequestsBackWaitMs = 2000;

// Notification requests sent and not yet come back. The port is not closed
// while one is out: its completion would land on a closed port and its block
// would never be freed.
volatile LONG g_outstanding = 0;
HANDLE g_allBack = nullptr;  // manual-reset; set while none is out
// Set once the engine free has begun: a completion is then not re-armed.
volatile LONG g_closing = 0;

void RequestBack() {
    if (InterlockedDecrement(&g_outstanding) == 0 && g_allBack != nullptr) SetEvent(g_allBack);
}

// Frees a block that came back through the port.
void FreeReturnedBlock(OVIOCTL* block) {
    const bool notify = block != nullptr && block->Code == IOCTL_VKS_DEVICE_SET_NOTIFY;
    FreeOvIoctl(block);
    if (notify) RequestBack();
}

void DeviceNotificationHandler(DeviceInfo* device, VKSERROR code, void* payload) {
    // Every delivery below names the device that sent the event.
    const auto DeliverSystemEvent = [device](VKSERROR event, void* data) {
        ::DeliverSystemEvent(event, data, device->FirstInput);
    };
    switch (code) {
        case VKSERROR_EVENT_UPGRADE_PENDING:
            if (InterlockedExchange(&device->bUpgradePending, 1) == 1) return;
            if (InterlockedIncrement(&Global.UpgradePendingCount) == 1) DeliverSystemEvent(code, payload);
            return;
        case VKSERROR_EVENT_UPGRADE_COMPLETE:
            if (InterlockedExchange(&device->bUpgradePending, 0) == 0) return;
            if (InterlockedDecrement(&Global.UpgradePendingCount) == 0) DeliverSystemEvent(code, payload);
            return;
        case VKSERROR_EVENT_MEMORY_LEVEL_GREEN:
        case VKSERROR_EVENT_MEMORY_LEVEL_AMBER:
        case VKSERROR_EVENT_MEMORY_LEVEL_RED:
            DeliverSystemEvent(code, payload);
            return;
        default:
            LogWarning(WSTR("DeviceNotificationHandler:%08X: Unhandled Notification: %hs.\n"), GetCurrentThreadId(),
                       VKSErrorToString(code));
            return;
    }
}

void DeviceIoCompletionHandler(DeviceInfo* device, OVIOCTL* block) {
    const VKSERROR status = ReadU32(block->Reply, kRepStatus);
    LogVerbose(WSTR("DeviceIoCompletionHandler:%08X: pDevice:%p pIOCTL:%p Code:%#X VKSError:%hs(%08X).\n"),
               GetCurrentThreadId(), device, block, block->Code, VKSErrorToString(status), status);
    if (block->Code != IOCTL_VKS_DEVICE_SET_NOTIFY) {
        LogWarning(WSTR("DeviceIoCompletionHandler:%08X: Completion for unexpected IOCTL Code:%#X.\n"),
                   GetCurrentThreadId(), block->Code);
        return;
    }
    const VKSERROR code = ReadU32(block->Reply, kPayload);
    LogTrace(WSTR("DeviceIoCompletionHandler:%08X: Received IOCTL_VKS_DEVICE_SET_NOTIFY - pDevice:%p "
                  "Notification:%hs(%#08x) IoctlResult:%hs(%#08x).\n"),
             GetCurrentThreadId(), device, VKSErrorToString(code), code, VKSErrorToString(status), status);
    DeviceNotificationHandler(device, code, block->Reply + kPayload + 4);
    if (code != VKSERROR_NO_COMPLETION && InterlockedCompareExchange(&g_closing, 0, 0) == 0) {
        SendSetNotify(device->hDeviceOv, NOTIFY_MODE_REREGISTER);
    }
}

}  // namespace

VKSERROR SendSetNotify(HANDLE deviceOv, DWORD mode) {
    OVIOCTL* block = AllocOvIoctl(IOCTL_VKS_DEVICE_SET_NOTIFY);
    if (block == nullptr) return VKSERROR_INSUFFICIENT_MEMORY;
    CommandRequest request = kRequestTemplate;
    WriteU32(request.Bytes, kPayload, mode);
    WriteU32(block->Reply, kPayload, 0);
    // Counted before it is sent: its completion may come back at once.
    if (InterlockedIncrement(&g_outstanding) == 1 && g_allBack != nullptr) ResetEvent(g_allBack);
    const VKSERROR sent = DeviceIoctlOverlapped(deviceOv, block, IOCTL_VKS_DEVICE_SET_NOTIFY, request.Bytes,
                                                kRequestBytes, block->Reply, kReplyBytes);
    if (sent != VKSERROR_NO_ERROR) RequestBack();  // no completion will come
    return sent;
}

VKSERROR DeviceCompletionPortOpenAndRegister(DEVICE_TABLE* networkPorts) {
    VKSERROR result = InitialiseCompletionPort(&Global.DeviceCompletionPort, DeviceIoCompletionThread, 1);
    if (result != VKSERROR_NO_ERROR) return result;
    InterlockedExchange(&g_closing, 0);
    g_allBack = CreateEventW(nullptr, TRUE, InterlockedCompareExchange(&g_outstanding, 0, 0) == 0, nullptr);
    // A device that cannot be armed is left out; the others still are.
    for (DeviceInfo* device = networkPorts->pHead; device != nullptr; device = device->pNext) {
        device->bNotifyArmed = 0;
        if (AssociateCompletionPort(&Global.DeviceCompletionPort, device->hDeviceOv,
                                    reinterpret_cast<ULONG_PTR>(device)) != VKSERROR_NO_ERROR) {
            LogError(WSTR("DeviceCompletionPortOpenAndRegister: Device:%u (%p) cannot be bound to the device port; "
                          "it sends no notifications.\n"),
                     device->Device, device);
            continue;
        }
        const VKSERROR sent = SendSetNotify(device->hDeviceOv, NOTIFY_MODE_REGISTER);
        if (sent != VKSERROR_NO_ERROR) {
            LogError(WSTR("DeviceCompletionPortOpenAndRegister: Device Notification registration failed for "
                          "device:%u (%p) with %hs"),
                     device->Device, device, VKSErrorToString(sent));
            continue;
        }
        device->bNotifyArmed = 1;
    }
    return result;
}

VKSERROR DeviceCompletionPortClose(DEVICE_TABLE* networkPorts) {
    InterlockedExchange(&g_closing, 1);
    for (DeviceInfo* device = networkPorts->pHead; device != nullptr; device = device->pNext) {
        if (!device->bNotifyArmed) continue;
        device->bNotifyArmed = 0;
        const VKSERROR sent = SendSetNotify(device->hDeviceOv, NOTIFY_MODE_DEREGISTER);
        if (sent != VKSERROR_NO_ERROR) {
            // The device keeps the request it holds until its file closes:
            // closed now, it gives the request back (cancelled) while the port
            // still runs.
            LogWarning(WSTR("DeviceCompletionPortClose: DEREGISTER failed for device:%u (%p) with %hs; closing its "
                            "file.\n"),
                       device->Device, device, VKSErrorToString(sent));
            CloseHandle(device->hDeviceOv);
            device->hDeviceOv = nullptr;
        }
    }
    if (g_allBack != nullptr) {
        if (WaitForSingleObject(g_allBack, kRequestsBackWaitMs) != WAIT_OBJECT_0) {
            LogError(WSTR("DeviceCompletionPortClose: %d notification requests not given back by the devices.\n"),
                     static_cast<int>(InterlockedCompareExchange(&g_outstanding, 0, 0)));
        }
        CloseHandle(g_allBack);
        g_allBack = nullptr;
    }
    return UninitialiseCompletionPort(&Global.DeviceCompletionPort);
}

DWORD WINAPI DeviceIoCompletionThread(LPVOID portHandle) {
    HANDLE port = static_cast<HANDLE>(portHandle);
    const DWORD self = GetCurrentThreadId();
    LogNotification(WSTR("DeviceIoCompletionThread:%08X-%p: ENTER.\n"), self, port);
    for (;;) {
        DWORD bytes = 0;
        ULONG_PTR key = 0;
        OVERLAPPED* overlapped = nullptr;
        const BOOL dequeued = GetQueuedCompletionStatus(port, &bytes, &key, &overlapped, INFINITE);
        const DWORD error = dequeued ? 0 : GetLastError();
        LogVerbose(WSTR("DeviceIoCompletionThread:%08X-%p: bDequeueSuccess:%u dwBytes:%lu CompletionKey:%#x "
                        "lpOverlapped:%p.\n"),
                   self, port, dequeued, bytes, key, overlapped);
        OVIOCTL* block = OvIoctlFromOverlapped(overlapped);
        if (dequeued) {
            if (key == 0) {
                LogNotification(WSTR("DeviceIoCompletionThread:%08X-%p: Thread Stop Received.\n"), self, port);
                FreeReturnedBlock(block);
                break;
            }
            if (block == nullptr) {
                LogError(WSTR("DeviceIoCompletionThread:%08X-%p: Invalid lpOverlapped.\n"), self, port);
                continue;
            }
            DeviceIoCompletionHandler(reinterpret_cast<DeviceInfo*>(key), block);
            FreeReturnedBlock(block);
            continue;
        }
        if (block != nullptr) {
            LogWarning(WSTR("DeviceIoCompletionThread:%08X-%p: Dequeued a Failed Operation - lpOverlapped:%p.\n"),
                       self, port, overlapped);
            FreeReturnedBlock(block);
            continue;
        }
        if (error == WAIT_TIMEOUT) continue;
        if (error == ERROR_ABANDONED_WAIT_0) {
            LogWarning(WSTR("DeviceIoCompletionThread:%08X-%p: Completion Port Closed Unexpectedly.\n"), self, port);
        } else {
            LogError(WSTR("DeviceIoCompletionThread:%08X-%p: Unexpected Dequeue failure - LastError:%#X.\n"), self,
                     port, error);
        }
        break;
    }
    LogNotification(WSTR("DeviceIoCompletionThread:%08X-%p: EXIT.\n"), self, port);
    return 0;
}
