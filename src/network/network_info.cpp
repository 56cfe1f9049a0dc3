// Information records of an open network stream and its media streams, and
// the number of network interfaces a stream may use.
#include "driver/command_channel.h"
#include "network/network_device_command.h"
#include "objects/handle_table.h"
#include "objects/user_handle.h"

#include <cstring>

namespace {

// Bytes the device is asked for: the stream record and the media stream record.
constexpr DWORD kStreamInfoRequest = 16;
constexpr DWORD kMediaStreamInfoRequest = 40;
// The reply's payload is all a device record can occupy, whatever its size
// word claims.
constexpr DWORD kReplyPayloadBytes = kReplyBytes - kPayload;
// Every network stream can use the device's two interfaces.
constexpr uint32_t kNetworkInterfaces = 2;

// Copies the smaller of the caller's capacity and the device's record size
// from the reply into the caller's size-prefixed record and stores that count.
void CopySizePrefixed(const CommandReply& reply, void* record) {
    DWORD deviceBytes = ReadU32(reply.Bytes, kPayload);
    if (deviceBytes > kReplyPayloadBytes) deviceBytes = kReplyPayloadBytes;
    DWORD capacity;
    std::memcpy(&capacity, record, sizeof(capacity));
    const DWORD copied = capacity < deviceBytes ? capacity : deviceBytes;
    std::memcpy(record, reply.Bytes + kPayload, copied);
    std::memcpy(record, &copied, sizeof(copied));
}

// One information command on an open network stream, under its handle lock.
VKSERROR QueryStreamRecord(HVKS hVKS, DWORD code, DWORD subIndex, DWORD requestedBytes, void* record) {
    if (record == nullptr) return VKSERROR_ILLEGAL_CALL;
    UserHandle* object = nullptr;
    const VKSERROR locked = LockHandleAs(hVKS, &object);
    if (locked != VKSERROR_NO_ERROR) return locked;
    VKSERROR status = VKSERROR_INVALID_HANDLE;
    if (object->Type == VKSDEVICETYPE_NETWORK) {
        CommandRequest request = kRequestTemplate;
        CommandReply reply = kReplyTemplate;
        WriteU32(request.Bytes, kReqSubIndex, subIndex);
        WriteU32(request.Bytes, kPayload, requestedBytes);
        status = HandleIoctlSync(object, code, request.Bytes, reply.Bytes);
        if (status == VKSERROR_NO_ERROR) CopySizePrefixed(reply, record);
    }
    UnlockHandle(hVKS, object);
    return status;
}

}  // namespace

extern "C" {

VKSERROR VKSAPI VKSNetworkStreamGetInfo(HVKS hVKS, void* pInfo) {
    return QueryStreamRecord(hVKS, IOCTL_VKS_NETWORK_GET_INFO, 0, kStreamInfoRequest, pInfo);
}

VKSERROR VKSAPI VKSNetworkStreamGetMediaStreamInfo(HVKS hVKS, uint32_t MediaStreamIndex, void* pInfo) {
    return QueryStreamRecord(hVKS, IOCTL_VKS_NETWORK_GET_MEDIA_STREAM_INFO, MediaStreamIndex, kMediaStreamInfoRequest,
                             pInfo);
}

VKSERROR VKSAPI VKSNetworkStreamGetNumIfcs(HVKS, uint32_t* pCount) {
    if (pCount == nullptr) return VKSERROR_INVALID_ARGUMENT;
    *pCount = kNetworkInterfaces;
    return VKSERROR_NO_ERROR;
}

}  // extern "C"
