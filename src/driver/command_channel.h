// The command frame and its issuing to the driver: every exchange with the
// kernel driver is one DeviceIoControl with a request and a reply buffer.
#pragma once

#include "vks_platform.h"
#include "vksacc.h"

#include <cstring>

struct UserHandle;

// Byte sizes of the standard request and reply, and of their headers.
constexpr DWORD kRequestBytes = 2824;
constexpr DWORD kReplyBytes = 8224;
constexpr DWORD kHeaderBytes = 24;
constexpr DWORD kFormatWord = 100;

// Request header word offsets.
constexpr DWORD kReqSize = 0, kReqType = 4, kReqChannel = 8, kReqHandle = 12, kReqSubIndex = 16, kReqFormat = 20;
// Reply header word offsets.
constexpr DWORD kRepSize = 0, kRepHandle = 4, kRepValue = 8, kRepStatus = 12, kRepFormat = 16;
constexpr DWORD kPayload = 24;

// The suffix appended to a device's interface path to name its driver file.
#define VKS_DEVICE_SUFFIX WSTR("\\VELANTIS\\742API")

// Command codes: device type 0x22, buffered, read and write access.
constexpr DWORD VksIoctl(DWORD function) { return 0x0022C000u + 4u * function; }
enum : DWORD {
    IOCTL_VKS_GET_DEVICE_INFO = 0x22C404,
    IOCTL_VKS_OPEN = 0x22C408,
    IOCTL_VKS_CLOSE = 0x22C40C,
    IOCTL_VKS_GET_PARAMS = 0x22C410,
    IOCTL_VKS_SET_PARAMS = 0x22C414,
    IOCTL_VKS_SET_STATE = 0x22C418,
    IOCTL_VKS_ENCODER_OUTPUT_SAMPLE = 0x22C41C,
    IOCTL_VKS_GET_INPUT_COUNT = 0x22C430,
    IOCTL_VKS_GET_RENDER_INPUT_NAME = 0x22C434,
    IOCTL_VKS_CONNECT_SOURCE = 0x22C438,
    IOCTL_VKS_EVENT = 0x22C454,
    IOCTL_VKS_DECODER_OUTPUT_SAMPLE = 0x22C484,
    IOCTL_VKS_DEVICE_SET_NOTIFY = 0x22C4E8,
};
static_assert(VksIoctl(0x101) == IOCTL_VKS_GET_DEVICE_INFO && VksIoctl(0x13E) == 0x22C4F8, "code rule");

// A standard request or reply, copied from its template.
struct CommandRequest {
    alignas(8) BYTE Bytes[kRequestBytes];
};
struct CommandReply {
    alignas(8) BYTE Bytes[kReplyBytes];
};
extern const CommandRequest kRequestTemplate;
extern const CommandReply kReplyTemplate;

// Little helpers for the frame's fields.
inline DWORD ReadU32(const BYTE* buffer, DWORD offset) {
    DWORD v;
    std::memcpy(&v, buffer + offset, sizeof(v));
    return v;
}
inline ULONGLONG ReadU64(const BYTE* buffer, DWORD offset) {
    ULONGLONG v;
    std::memcpy(&v, buffer + offset, sizeof(v));
    return v;
}
inline void WriteU32(BYTE* buffer, DWORD offset, DWORD v) { std::memcpy(buffer + offset, &v, sizeof(v)); }
inline void WriteU64(BYTE* buffer, DWORD offset, ULONGLONG v) { std::memcpy(buffer + offset, &v, sizeof(v)); }

// One overlapped command in flight: owned by the completion side from the
// moment the call is pending or done.
struct OVIOCTL {
    OVERLAPPED Overlapped;
    DWORD Code;
    DWORD Reserved;
    alignas(8) BYTE Reply[kReplyBytes];
};
static_assert(offsetof(OVIOCTL, Overlapped) == 0, "the OVERLAPPED record comes first");
static_assert(offsetof(OVIOCTL, Code) == 32 && offsetof(OVIOCTL, Reply) == 40, "OVIOCTL layout");

inline OVIOCTL* OvIoctlFromOverlapped(OVERLAPPED* overlapped) { return reinterpret_cast<OVIOCTL*>(overlapped); }

// Opens "<path><suffix>" for read and write, shared, existing, optionally
// overlapped. VKSERROR_DRIVER_NOT_FOUND on failure (the handle untouched).
VKSERROR DeviceFileOpen(const WCHAR* path, HANDLE* handle, BOOL overlapped, const WCHAR* suffix);
VKSERROR DeviceFileClose(HANDLE handle);

VKSERROR DeviceIoctlSync(HANDLE device, DWORD code, void* request, DWORD requestSize, void* reply, DWORD replySize);
OVIOCTL* AllocOvIoctl(DWORD code);
void FreeOvIoctl(OVIOCTL* block);
VKSERROR DeviceIoctlOverlapped(HANDLE deviceOv, OVIOCTL* block, DWORD code, void* request, DWORD requestSize,
                               void* reply, DWORD replySize);

VKSERROR FillCommandHeader(const UserHandle* object, BYTE* request);
VKSERROR HandleIoctlSync(const UserHandle* object, DWORD code, BYTE* request, BYTE* reply);
VKSERROR HandleIoctlOverlapped(const UserHandle* object, DWORD code, BYTE* request);
