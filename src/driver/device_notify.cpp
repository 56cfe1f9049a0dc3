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

void DeviceNotificationHandler(DeviceInfo* device, VKSERROR code, void* payload) {
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
    if (code != VKSERROR_NO_COMPLETION) SendSetNotify(device->hDeviceOv, NOTIFY_MODE_REREGISTER);
}

}  // namespace

VKSERROR SendSetNotify(HANDLE deviceOv, DWORD mode) {
    OVIOCTL* block = AllocOvIoctl(IOCTL_VKS_DEVICE_SET_NOTIFY);
    if (block == nullptr) return VKSERROR_INSUFFICIENT_MEMORY;
    CommandRequest request = kRequestTemplate;
    WriteU32(request.Bytes, kPayload, mode);
    WriteU32(block->Reply, kPayload, 0);
    return DeviceIoctlOverlapped(deviceOv, block, IOCTL_VKS_DEVICE_SET_NOTIFY, request.Bytes, kRequestBytes,
                                 block->Reply, kReplyBytes);
}

VKSERROR DeviceCompletionPortOpenAndRegister(DEVICE_TABLE* networkPorts) {
    VKSERROR result = InitialiseCompletionPort(&Global.DeviceCompletionPort, DeviceIoCompletionThread, 1);
    if (result != VKSERROR_NO_ERROR) return result;
    for (DeviceInfo* device = networkPorts->pHead; device != nullptr; device = device->pNext) {
        if (AssociateCompletionPort(&Global.DeviceCompletionPort, device->hDeviceOv,
                                    reinterpret_cast<ULONG_PTR>(device)) != VKSERROR_NO_ERROR) {
            return result;
        }
        result = SendSetNotify(device->hDeviceOv, NOTIFY_MODE_REGISTER);
        if (result != VKSERROR_NO_ERROR) {
            LogError(WSTR("DeviceCompletionPortOpenAndRegister: Device Notification registration failed for "
                          "device:%u (%p) with %hs"),
                     device->Device, device, VKSErrorToString(result));
            return result;
        }
    }
    return result;
}

VKSERROR DeviceCompletionPortClose(DEVICE_TABLE* networkPorts) {
    for (DeviceInfo* device = networkPorts->pHead; device != nullptr; device = device->pNext) {
        SendSetNotify(device->hDeviceOv, NOTIFY_MODE_DEREGISTER);
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
                FreeOvIoctl(block);
                break;
            }
            if (block == nullptr) {
                LogError(WSTR("DeviceIoCompletionThread:%08X-%p: Invalid lpOverlapped.\n"), self, port);
                continue;
            }
            DeviceIoCompletionHandler(reinterpret_cast<DeviceInfo*>(key), block);
            FreeOvIoctl(block);
            continue;
        }
        if (block != nullptr) {
            LogWarning(WSTR("DeviceIoCompletionThread:%08X-%p: Dequeued a Failed Operation - lpOverlapped:%p.\n"),
                       self, port, overlapped);
            FreeOvIoctl(block);
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
