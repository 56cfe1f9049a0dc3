// The command frame and its issuing to the driver.
#pragma once

#include "vks_platform.h"
#include "vksacc.h"

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

// One overlapped command in flight: owned by the completion side from the
// moment the call is pending or done.
struct OVIOCTL {
    OVERLAPPED Overlapped;
    DWORD Code;
    DWORD Reserved;
    BYTE Reply[kReplyBytes];
};
static_assert(offsetof(OVIOCTL, Overlapped) == 0, "the OVERLAPPED record comes first");
static_assert(offsetof(OVIOCTL, Code) == 32 && offsetof(OVIOCTL, Reply) == 40, "OVIOCTL layout");

inline OVIOCTL* OvIoctlFromOverlapped(OVERLAPPED* overlapped) { return reinterpret_cast<OVIOCTL*>(overlapped); }
void FreeOvIoctl(OVIOCTL* block);
