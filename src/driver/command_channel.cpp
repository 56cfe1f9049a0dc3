#include "driver/command_channel.h"

#include "objects/user_handle.h"

#include <cstdlib>

namespace {

template <typename Buffer>
constexpr Buffer MakeTemplate(DWORD sizeWord, DWORD formatOffset) {
    Buffer b{};
    for (DWORD i = 0; i < 4; ++i) b.Bytes[i] = static_cast<BYTE>(sizeWord >> (8 * i));
    b.Bytes[formatOffset] = static_cast<BYTE>(kFormatWord);
    return b;
}

bool IsUsable(HANDLE h) { return h != nullptr && h != INVALID_HANDLE_VALUE; }

}  // namespace

const CommandRequest kRequestTemplate = MakeTemplate<CommandRequest>(kRequestBytes, kReqFormat);
const CommandReply kReplyTemplate = MakeTemplate<CommandReply>(kReplyBytes, kRepFormat);

VKSERROR DeviceFileOpen(const WCHAR* path, HANDLE* handle, BOOL overlapped, const WCHAR* suffix) {
    if (path == nullptr || handle == nullptr) return VKSERROR_DRIVER_NOT_FOUND;
    WCHAR name[MAX_PATH];
    // A path and suffix that do not fit name no device.
    if (_snwprintf_s(name, MAX_PATH, _TRUNCATE, WSTR("%s%s"), path, suffix != nullptr ? suffix : WSTR("")) < 0) {
        return VKSERROR_DRIVER_NOT_FOUND;
    }
    HANDLE file = CreateFileW(name, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, overlapped ? FILE_FLAG_OVERLAPPED : 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return VKSERROR_DRIVER_NOT_FOUND;
    *handle = file;
    return VKSERROR_NO_ERROR;
}

VKSERROR DeviceFileClose(HANDLE handle) {
    if (handle == nullptr) return VKSERROR_INVALID_ARGUMENT;
    CloseHandle(handle);
    return VKSERROR_NO_ERROR;
}

VKSERROR DeviceIoctlSync(HANDLE device, DWORD code, void* request, DWORD requestSize, void* reply, DWORD replySize) {
    if (!IsUsable(device)) return VKSERROR_DRIVER_NOT_FOUND;
    if (request == nullptr || reply == nullptr) return VKSERROR_ILLEGAL_CALL;
    DWORD returned = 0;
    if (DeviceIoControl(device, code, request, requestSize, reply, replySize, &returned, nullptr)) {
        return returned == replySize ? ReadU32(static_cast<BYTE*>(reply), kRepStatus) : VKSERROR_NOACCESS;
    }
    switch (GetLastError()) {
        // A failure without an error number: the reply may still hold the
        // template's zero status, which must not read as success.
        case 0: return VKSERROR_UNEXPECTED;
        case ERROR_IO_PENDING: return VKSERROR_ILLEGAL_CALL;
        case ERROR_NOACCESS: return VKSERROR_NOACCESS;
        case ERROR_NO_SYSTEM_RESOURCES: return VKSERROR_INSUFFICIENT_MEMORY;
        default: return VKSERROR_ILLEGAL_CALL;
    }
}

OVIOCTL* AllocOvIoctl(DWORD code) {
    OVIOCTL* block = static_cast<OVIOCTL*>(std::malloc(sizeof(OVIOCTL)));
    if (block == nullptr) return nullptr;
    std::memset(&block->Overlapped, 0, sizeof(block->Overlapped));
    block->Code = code;
    block->Reserved = 0;
    std::memcpy(block->Reply, kReplyTemplate.Bytes, kReplyBytes);
    return block;
}

void FreeOvIoctl(OVIOCTL* block) { std::free(block); }

VKSERROR DeviceIoctlOverlapped(HANDLE deviceOv, OVIOCTL* block, DWORD code, void* request, DWORD requestSize,
                               void* reply, DWORD replySize) {
    if (block == nullptr) return VKSERROR_ILLEGAL_CALL;
    if (!IsUsable(deviceOv)) {
        FreeOvIoctl(block);
        return VKSERROR_DRIVER_NOT_FOUND;
    }
    if (DeviceIoControl(deviceOv, code, request, requestSize, reply, replySize, nullptr, &block->Overlapped)) {
        // Done at once. Its completion packet is queued all the same and the
        // block already belongs to the completion side, which may have freed
        // it by now: the reply is not read here. The driver's status reaches
        // the object's callbacks through that completion.
        return VKSERROR_NO_ERROR;
    }
    const DWORD error = GetLastError();
    if (error == ERROR_IO_PENDING) return VKSERROR_NO_ERROR;
    FreeOvIoctl(block);
    switch (error) {
        case 0: return VKSERROR_UNEXPECTED;
        case ERROR_NOACCESS: return VKSERROR_NOACCESS;
        case ERROR_NO_SYSTEM_RESOURCES: return VKSERROR_INSUFFICIENT_MEMORY;
        default: return VKSERROR_ILLEGAL_CALL;
    }
}

VKSERROR FillCommandHeader(const UserHandle* object, BYTE* request) {
    if (object == nullptr || request == nullptr) return VKSERROR_INVALID_ARGUMENT;
    if (object->hDevice == nullptr) return VKSERROR_ILLEGAL_CALL;
    if (object->HVKSHandle == 0) return VKSERROR_CLIENT_CLOSED;
    WriteU32(request, kReqType, object->Type);
    WriteU32(request, kReqChannel, object->Channel);
    WriteU32(request, kReqHandle, object->HVKSHandle);
    return VKSERROR_NO_ERROR;
}

VKSERROR HandleIoctlSync(const UserHandle* object, DWORD code, BYTE* request, BYTE* reply) {
    const VKSERROR filled = FillCommandHeader(object, request);
    if (filled != VKSERROR_NO_ERROR) return filled;
    if (reply == nullptr) return VKSERROR_INVALID_ARGUMENT;
    return DeviceIoctlSync(object->hDevice, code, request, ReadU32(request, kReqSize), reply,
                           ReadU32(reply, kRepSize));
}

VKSERROR HandleIoctlOverlapped(const UserHandle* object, DWORD code, BYTE* request) {
    const VKSERROR filled = FillCommandHeader(object, request);
    if (filled != VKSERROR_NO_ERROR) return filled;
    OVIOCTL* block = AllocOvIoctl(code);
    if (block == nullptr) return VKSERROR_INSUFFICIENT_MEMORY;
    return DeviceIoctlOverlapped(object->hDeviceOv, block, code, request, ReadU32(request, kReqSize), block->Reply,
                                 kReplyBytes);
}
