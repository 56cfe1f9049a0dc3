// Open, close and state of every object type.
#include "objects/device_objects.h"

#include "audio/audio_thread.h"
#include "core/engine.h"
#include "core/log.h"
#include "driver/command_channel.h"
#include "driver/completion_port.h"
#include "driver/device_tables.h"
#include "driver/notification_thread.h"
#include "driver/worker_dispatch.h"
#include "objects/output_samples.h"
#include "objects/handle_table.h"
#include "objects/renderer.h"
#include "objects/user_handle.h"

#include <cstdlib>
#include <cstring>

namespace {

// Open command request fields after the header.
constexpr DWORD kOpenAddressPointer = 24;
constexpr DWORD kOpenAddressSize = 2072;
constexpr DWORD kOpenLengthValue = 2080;
constexpr DWORD kOpenTransport = 2088;
constexpr DWORD kOpenStreamOptions = 2092;  // 32 bytes
constexpr DWORD kOpenFlags = 2124;
constexpr DWORD kOpenSystemEvents = 2128;
constexpr size_t kStreamOptionsBytes = 32;

bool SystemEventFunctionRegistered() {
    // Read without the engine lock: a snapshot at the time of the open.
    return __atomic_load_n(&Global.pSystemEventFn, __ATOMIC_RELAXED) != nullptr ||
           __atomic_load_n(&Global.pSystemEventFnEx, __ATOMIC_RELAXED) != nullptr;
}

void CloseIfOpen(HANDLE& handle) {
    if (handle != nullptr && handle != INVALID_HANDLE_VALUE) CloseHandle(handle);
    handle = nullptr;
}

// What a failed open has to give back besides its handle: the stream's files,
// the description text and both device files.
void CloseObjectFiles(UserHandle* object) {
    CloseIfOpen(object->hPlaybackFile);
    CloseIfOpen(object->hDescriptionFile);
    std::free(object->pDescriptionText);
    object->pDescriptionText = nullptr;
    CloseIfOpen(object->hDeviceOv);
    CloseIfOpen(object->hDevice);
}

// Sends the open command; stores the driver's handle on success.
VKSERROR SendOpen(UserHandle* object, const PreparedAddress& address, DWORD openFlags, DWORD transport,
                  const BYTE* streamOptions, bool systemEvents) {
    CommandRequest request = kRequestTemplate;
    CommandReply reply = kReplyTemplate;
    WriteU32(request.Bytes, kReqType, object->Type);
    WriteU32(request.Bytes, kReqChannel, object->Channel);
    WriteU32(request.Bytes, kReqHandle, 0);
    char* copy = nullptr;
    if (object->Type == VKSDEVICETYPE_NETWORK) {
        if (address.text != nullptr && address.size != 0) {
            copy = static_cast<char*>(std::malloc(address.size));
            if (copy == nullptr) return VKSERROR_INSUFFICIENT_MEMORY;
            std::memcpy(copy, address.text, address.size - 1);
            copy[address.size - 1] = 0;
        }
        WriteU64(request.Bytes, kOpenAddressPointer, reinterpret_cast<ULONG_PTR>(copy));
        WriteU32(request.Bytes, kOpenAddressSize, copy != nullptr ? address.size : 0);
        WriteU64(request.Bytes, kOpenLengthValue, address.length);
        WriteU32(request.Bytes, kOpenTransport, transport);
        if (streamOptions != nullptr) std::memcpy(request.Bytes + kOpenStreamOptions, streamOptions, kStreamOptionsBytes);
    } else {
        WriteU32(request.Bytes, kOpenFlags, openFlags);
    }
    request.Bytes[kOpenSystemEvents] = systemEvents ? 1 : 0;
    const VKSERROR status =
        DeviceIoctlSync(object->hDevice, IOCTL_VKS_OPEN, request.Bytes, kRequestBytes, reply.Bytes, kReplyBytes);
    std::free(copy);
    if (status == VKSERROR_NO_ERROR) object->HVKSHandle = ReadU32(reply.Bytes, kRepHandle);
    return status;
}

// Gives a decoder its audio thread, or lets it open without audio when the
// thread cannot be made. Called with the handle locked and returns with it
// locked, except when it could not be taken back: then `object` is null.
VKSERROR AttachAudioThread(HVKS handle, UserHandle*& object, VKSGUID* sessionGuid) {
    if (sessionGuid == nullptr) return VKSERROR_INVALID_ARGUMENT;
    if (SUCCEEDED(AudioThreadCreate(&object->pAudioThread, handle, sessionGuid))) return VKSERROR_NO_ERROR;
    VKSAUDIOTHREAD* thread = object->pAudioThread;
    object->pAudioThread = nullptr;
    UserHandle* before = object;
    // The audio thread's shutdown takes the handle's lock for its stop command.
    UnlockHandle(handle, object);
    // A failure before any record was made leaves nothing to destroy.
    const bool destroyed = thread == nullptr || SUCCEEDED(AudioThreadDestroy(&thread));
    void* relocked = nullptr;
    const DWORD status = RelockHandle(handle, before, &relocked);
    object = static_cast<UserHandle*>(relocked);
    if (status != 0) return status;
    return destroyed ? VKSERROR_NO_ERROR : VKSERROR_UNEXPECTED;
}

// Undoes an open that failed after the driver made its object: the renderer
// input, the audio thread and the driver object go, then the handle. Called
// with the handle locked (or, with `object` null, no longer ours: only the
// copies taken before it was let go remain).
void RetireFailedOpen(HVKS handle, UserHandle* object, const UserHandle& leading) {
    VKSAUDIOTHREAD* audio = nullptr;
    if (object != nullptr) {
        RendererCloseInput(object);
        audio = object->pAudioThread;
        object->pAudioThread = nullptr;
        UnlockHandle(handle, object);
    }
    if (audio != nullptr) AudioThreadDestroy(&audio);
    if (leading.HVKSHandle != 0) {
        const VKSERROR closed = VKSCloseK(leading.Type, leading.hDevice, leading.HVKSHandle, leading.Channel);
        if (closed != VKSERROR_NO_ERROR) {
            LogWarning(WSTR("DeviceOpen: hVKS(0x%x) - VKSCloseK() returned 0x%08x\n"), handle, closed);
        }
    }
    void* relocked = nullptr;
    if (object != nullptr && RelockHandle(handle, object, &relocked) == 0) {
        CloseObjectFiles(object);
        ReleaseHandle(handle, object);
        return;
    }
    // The record is gone with its handle; its device files are still ours.
    HANDLE device = leading.hDevice;
    HANDLE deviceOv = leading.hDeviceOv;
    CloseIfOpen(deviceOv);
    CloseIfOpen(device);
}

}  // namespace

VKSERROR VKSCloseK(DWORD type, HANDLE device, DWORD hvksHandle, DWORD channel) {
    UserHandle leading{};
    leading.Type = type;
    leading.hDevice = device;
    leading.HVKSHandle = hvksHandle;
    leading.Channel = channel;
    CommandRequest request = kRequestTemplate;
    CommandReply reply = kReplyTemplate;
    return HandleIoctlSync(&leading, IOCTL_VKS_CLOSE, request.Bytes, reply.Bytes);
}

VKSERROR DeviceOpen(DWORD index, const DeviceInfo* device, DWORD type, const char* address, DWORD openFlags, HVKS* out,
                    DWORD transportSelector, const BYTE* streamOptions, VKSGUID* sessionGuid, UINT addressCodePage) {
    if (out == nullptr) return VKSERROR_INVALID_ARGUMENT;
    LogNotification(WSTR("DeviceOpen: START - device(%u) pHVKS(%p) pURL(%p)(%S)\n"), index, out, address,
                    address != nullptr ? address : "");

    DWORD handle = 0;
    VKSERROR status = CreateHandle(sizeof(UserHandle), &handle);
    UserHandle* object = nullptr;
    if (status == VKSERROR_NO_ERROR) {
        status = LockHandleAs(handle, &object);
        if (status != VKSERROR_NO_ERROR) LockAndReleaseHandle(handle);
    }
    if (status != VKSERROR_NO_ERROR) {
        LogNotification(WSTR("DeviceOpen: FAILED END - *pHVKS(%p)(0x%x) error(0x%x)\n"), out, *out, status);
        return status;
    }

    std::memset(object, 0, sizeof(*object));
    PreparedAddress prepared{};
    status = DeviceFileOpen(device->Path, &object->hDevice, FALSE, device->pSuffix);
    if (status == VKSERROR_NO_ERROR) status = DeviceFileOpen(device->Path, &object->hDeviceOv, TRUE, device->pSuffix);
    const bool systemEvents = SystemEventFunctionRegistered();
    object->Type = type;
    object->Channel = DeviceChannelFromIndex(device, index);
    object->State = 0;

    if (status == VKSERROR_NO_ERROR && type == VKSDEVICETYPE_NETWORK) {
        status = PrepareStreamAddress(index, out, object, address, addressCodePage, &prepared);
    }
    if (status == VKSERROR_NO_ERROR) {
        if (Global.bCompletionPortOverride && Global.OpenDeviceCount == 0 && Global.hNotificationThread == nullptr) {
            StartNotificationThread();
        }
        status = SendOpen(object, prepared, openFlags, transportSelector, streamOptions, systemEvents);
    }
    std::free(prepared.owned);

    // From here on the driver holds an object for this open: every failure
    // sends it the close command.
    UserHandle leading{};
    if (status == VKSERROR_NO_ERROR) leading = *object;

    if (status == VKSERROR_NO_ERROR && type == VKSDEVICETYPE_DECODER && Global.bAudioDecodeEnabled) {
        status = AttachAudioThread(handle, object, sessionGuid);
    }
    if (status == VKSERROR_NO_ERROR && Global.bCompletionPortOverride && Global.OpenDeviceCount == 0 &&
        Global.WorkerCompletionPort.hPort == nullptr) {
        status = StartWorkerCompletionPort();
    }
    if (status == VKSERROR_NO_ERROR && type == VKSDEVICETYPE_DECODER) status = RendererOpenInput(object);
    if (status == VKSERROR_NO_ERROR) {
        status = AssociateCompletionPort(&Global.WorkerCompletionPort, object->hDeviceOv, handle);
        if (status == VKSERROR_NO_ERROR) RequestEvent(object);
    }

    if (status != VKSERROR_NO_ERROR) {
        if (object == nullptr || leading.HVKSHandle != 0) {
            RetireFailedOpen(handle, object, leading);
        } else {
            CloseObjectFiles(object);
            UnlockHandle(handle, object);
            LockAndReleaseHandle(handle);
        }
        LogNotification(WSTR("DeviceOpen: FAILED END - *pHVKS(%p)(0x%x) error(0x%x)\n"), out, *out, status);
        return status;
    }

    InterlockedIncrement(&Global.OpenDeviceCount);
    LogNotification(WSTR("DeviceOpen: END - type(%d) hVKS(0x%x) HVKSHandle(0x%x) HAcc(0x%x)\n"), type, handle,
                    object->HVKSHandle, object->HAcc);
    UnlockHandle(handle, object);
    *out = handle;
    return VKSERROR_NO_ERROR;
}

VKSERROR DeviceClose(HVKS handle) {
    LogNotification(WSTR("DeviceClose: START - hVKS(0x%x)\n"), handle);
    UserHandle* object = nullptr;
    VKSERROR result = LockHandleAs(handle, &object);
    if (result != VKSERROR_NO_ERROR) {
        LogNotification(WSTR("DeviceClose: END - hVKS(0x%x) error(0x%x)\n"), handle, result);
        return result;
    }
    if (object->bClosing) {
        UnlockHandle(handle, object);
        result = HANDLEERROR_INVALID_HANDLE;
        LogNotification(WSTR("DeviceClose: END - hVKS(0x%x) error(0x%x)\n"), handle, result);
        return result;
    }
    object->bClosing = 1;
    if (object->Type == VKSDEVICETYPE_DECODER) RendererCloseInput(object);
    const DWORD type = object->Type;
    HANDLE device = object->hDevice;
    const DWORD hvksHandle = object->HVKSHandle;
    const DWORD channel = object->Channel;
    CloseIfOpen(object->hPlaybackFile);
    VKSAUDIOTHREAD* audio = nullptr;
    if (type == VKSDEVICETYPE_DECODER) {
        audio = object->pAudioThread;
        object->pAudioThread = nullptr;
    }
    UnlockHandle(handle, object);
    if (audio != nullptr) AudioThreadDestroy(&audio);

    const VKSERROR closed = VKSCloseK(type, device, hvksHandle, channel);
    if (closed != VKSERROR_NO_ERROR) {
        LogWarning(WSTR("DeviceClose: hVKS(0x%x) - VKSCloseK() returned 0x%08x\n"), handle, closed);
    }

    void* relocked = nullptr;
    result = RelockHandle(handle, object, &relocked);
    if (result == VKSERROR_NO_ERROR) {
        CloseIfOpen(object->hDevice);
        CloseIfOpen(object->hDeviceOv);
        OutputSamplesFree(object);
        ReleaseHandle(handle, object);
    }
    // Only the close that retired the handle counts it off.
    if (result == VKSERROR_NO_ERROR && InterlockedDecrement(&Global.OpenDeviceCount) == 0 &&
        Global.bCompletionPortOverride) {
        // A close made from a callback runs on the worker or the notification
        // thread, which cannot wait for itself to end: that thread is left
        // running for the next open or the engine free.
        if (!OnCompletionPortThread(&Global.WorkerCompletionPort)) StopWorkerCompletionPort();
        if (!OnNotificationThread()) StopNotificationThread();
    }
    LogNotification(WSTR("DeviceClose: END - hVKS(0x%x) error(0x%x)\n"), handle, result);
    return result;
}

VKSERROR DeviceSetState(HVKS handle, DWORD state) {
    LogTrace(WSTR("VKSACC::DeviceSetState: VKSHandle (0x%x) State (%d) Enter\n"), handle, state);
    UserHandle* object = nullptr;
    VKSERROR result = LockHandleAs(handle, &object);
    if (result == VKSERROR_NO_ERROR) {
        if (state != object->State) {
            if (state != 3) {
                CommandRequest request = kRequestTemplate;
                CommandReply reply = kReplyTemplate;
                WriteU32(request.Bytes, kPayload, state);
                result = HandleIoctlSync(object, IOCTL_VKS_SET_STATE, request.Bytes, reply.Bytes);
            }
            if (result == VKSERROR_NO_ERROR) object->State = state;
        }
        UnlockHandle(handle, object);
    }
    LogTrace(WSTR("VKSACC::DeviceSetState: VKSHandle (0x%x) State (%d) Error (0x%x) Exit\n"), handle, state, result);
    return result;
}

VKSERROR DeviceGetState(HVKS handle, uint32_t* state) {
    LogTrace(WSTR("VKSACC::DeviceGetState: VKSHandle (0x%x) Enter\n"), handle);
    if (state == nullptr) return VKSERROR_INVALID_ARGUMENT;
    UserHandle* object = nullptr;
    VKSERROR result = LockHandleAs(handle, &object);
    if (result == VKSERROR_NO_ERROR) {
        *state = object->State;
        UnlockHandle(handle, object);
    }
    LogTrace(WSTR("VKSACC::DeviceGetState: VKSHandle (0x%x) Error (0x%x) Exit\n"), handle, result);
    return result;
}
