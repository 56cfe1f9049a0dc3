// Discovery sessions: open, callback registration, start, stop and close.
#include "core/engine.h"
#include "core/log.h"
#include "discovery/discovery_commands.h"
#include "driver/command_channel.h"
#include "driver/device_tables.h"
#include "objects/device_objects.h"
#include "objects/handle_table.h"
#include "objects/open_handle_list.h"
#include "objects/user_handle.h"

namespace {

// Start command request fields.
constexpr DWORD kStartParmsSize = 24;   // u32
constexpr DWORD kStartParmsValue = 32;  // u64, passed through untouched

VKSERROR VKSDiscoveryStartK(const UserHandle* object, ULONGLONG startParams) {
    CommandRequest request = kRequestTemplate;
    CommandReply reply = kReplyTemplate;
    WriteU32(request.Bytes, kStartParmsSize, kDiscoStartParmsSize);
    WriteU64(request.Bytes, kStartParmsValue, startParams);
    return HandleIoctlSync(object, IOCTL_VKS_DISCOVERY_START, request.Bytes, reply.Bytes);
}

VKSERROR VKSDiscoveryStopK(const UserHandle* object) {
    CommandRequest request = kRequestTemplate;
    CommandReply reply = kReplyTemplate;
    return HandleIoctlSync(object, IOCTL_VKS_DISCOVERY_STOP, request.Bytes, reply.Bytes);
}

}  // namespace

extern "C" {

VKSERROR VKSAPI VKSDiscoInit(uint32_t DecoderIndex, HVKS* phVKS) {
    const VKSERROR engine = EngineStatus();
    if (engine != VKSERROR_NO_ERROR) return engine;
    const DeviceInfo* device = DeviceFindByIndex(VKSDEVICETYPE_DECODER, DecoderIndex);
    if (device == nullptr) return VKSERROR_INVALID_INPUT;
    const VKSERROR status =
        DeviceOpen(DecoderIndex, device, VKSDEVICETYPE_DISCOVERY, nullptr, 0, phVKS, 0, nullptr, nullptr);
    if (status == VKSERROR_NO_ERROR) AddHandleToList(*phVKS);
    return status;
}

VKSERROR VKSAPI VKSDiscoverySetCallbackFn(HVKS hVKS, VKSDISCOVERYFN pFn, void* pContext) {
    UserHandle* object = nullptr;
    if (LockHandleAs(hVKS, &object) != 0) return VKSERROR_INVALID_HANDLE;
    // Only the discovery records' delivery and the error path of a DISCOVERY
    // object read this pair, so storing it on another kind is harmless.
    object->pDiscoveryFn = reinterpret_cast<void*>(pFn);
    object->pDiscoveryArg = pContext;
    UnlockHandle(hVKS, object);
    return VKSERROR_NO_ERROR;
}

VKSERROR VKSAPI VKSDiscoStart(uint64_t, HVKS hVKS, uint64_t StartParams) {
    const VKSERROR engine = EngineStatus();
    if (engine != VKSERROR_NO_ERROR) return engine;
    UserHandle* object = nullptr;
    const VKSERROR locked = LockHandleAs(hVKS, &object);
    if (locked != VKSERROR_NO_ERROR) return locked;
    const VKSERROR sent = VKSDiscoveryStartK(object, StartParams);
    UnlockHandle(hVKS, object);
    // The device's answer is not the caller's concern: its findings arrive as
    // notifications or not at all.
    if (sent != VKSERROR_NO_ERROR) LogTrace(WSTR("VKSDiscoStart: hVKS(0x%x) device answered 0x%08x\n"), hVKS, sent);
    return VKSERROR_NO_ERROR;
}

VKSERROR VKSAPI VKSDiscoStop(uint64_t, HVKS hVKS) {
    const VKSERROR engine = EngineStatus();
    if (engine != VKSERROR_NO_ERROR) return engine;
    UserHandle* object = nullptr;
    const VKSERROR locked = LockHandleAs(hVKS, &object);
    if (locked != VKSERROR_NO_ERROR) return locked;
    const VKSERROR sent = VKSDiscoveryStopK(object);
    UnlockHandle(hVKS, object);
    if (sent != VKSERROR_NO_ERROR) LogTrace(WSTR("VKSDiscoStop: hVKS(0x%x) device answered 0x%08x\n"), hVKS, sent);
    return VKSERROR_NO_ERROR;
}

VKSERROR VKSAPI VKSDiscoUninit(uint64_t, HVKS hVKS) {
    const VKSERROR status = DeviceClose(hVKS);
    RemoveHandleFromList(hVKS);
    return status;
}

}  // extern "C"
