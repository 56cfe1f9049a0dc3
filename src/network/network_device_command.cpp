#include "network/network_device_command.h"

#include "driver/device_tables.h"

#include <cstring>

static_assert(sizeof(VKSIPCONFIG) == 48 && sizeof(VKSIPCONFIGENTRY) == 24, "IP configuration is two 24-byte entries");
static_assert(offsetof(VKSIPCONFIGENTRY, IPv4Address) == 4, "the address word sits at entry offset 4");

VKSERROR NetworkDeviceFileOpen(const DeviceInfo* device, HANDLE* file) {
    return DeviceFileOpen(device->Path, file, FALSE, device->pSuffix);
}

VKSERROR NetworkDeviceCommand(const DeviceInfo* device, DWORD code, CommandRequest* request, CommandReply* reply) {
    HANDLE file = nullptr;
    const VKSERROR opened = NetworkDeviceFileOpen(device, &file);
    if (opened != VKSERROR_NO_ERROR) return opened;
    const VKSERROR status = DeviceIoctlSync(file, code, request->Bytes, kRequestBytes, reply->Bytes, kReplyBytes);
    DeviceFileClose(file);
    return status;
}

VKSERROR NetworkReadIpConfig(HANDLE file, VKSIPCONFIG* config) {
    CommandRequest request = kRequestTemplate;
    CommandReply reply = kReplyTemplate;
    const VKSERROR status = DeviceIoctlSync(file, IOCTL_VKS_NETWORK_GET_IP_CONFIG, request.Bytes, kRequestBytes,
                                            reply.Bytes, kReplyBytes);
    if (status == VKSERROR_NO_ERROR) std::memcpy(config, reply.Bytes + kPayload, sizeof(VKSIPCONFIG));
    return status;
}
