// Device information records: the wide form straight from the driver, the
// 8-bit form converted from it with the ANSI code page. They answer before the
// engine is loaded and after it is freed (no device then).
#include "core/engine.h"
#include "core/status_codes.h"
#include "driver/device_tables.h"

#include <cstring>

namespace {

VKSERROR GetInfoW(DWORD type, uint32_t index, VKSINFOW* info) {
    if (info == nullptr) return VKSERROR_INVALID_ARGUMENT;
    if (info->Size == 0) return VKSERROR_BUFFER_TOO_SMALL;
    const DeviceInfo* device = DeviceFindByIndex(type, index);
    if (device == nullptr) return VKSERROR_INVALID_INPUT;
    return DeviceGetInfo(device, type, info);
}

constexpr DWORD kInfoTextOffsetA = offsetof(VKSINFOA, DeviceData2);  // 308
constexpr DWORD kInfoHeadBytes = offsetof(VKSINFOA, Text);            // 52

VKSERROR GetInfoA(DWORD type, uint32_t index, VKSINFOA* info) {
    if (info == nullptr) return VKSERROR_INVALID_ARGUMENT;
    VKSINFOW wide;
    std::memset(&wide, 0, sizeof(wide));
    wide.Size = sizeof(VKSINFOW);
    const VKSERROR status = GetInfoW(type, index, &wide);
    if (status != VKSERROR_NO_ERROR) return status;

    const uint32_t size = info->Size;
    std::memcpy(info, &wide, size < kInfoHeadBytes ? size : kInfoHeadBytes);
    info->Size = size;
    if (size < kInfoTextOffsetA) return VKSERROR_NO_ERROR;

    // The driver's text is bounded by its field even if it lacks a terminator.
    if (WideToMultiByteBounded(CP_ACP, reinterpret_cast<const WCHAR*>(wide.Text), 255, info->Text,
                               static_cast<int>(sizeof(info->Text))) < 0) {
        return GetLastError();
    }
    const uint32_t tail = size - kInfoTextOffsetA < sizeof(info->DeviceData2) ? size - kInfoTextOffsetA
                                                                                 : sizeof(info->DeviceData2);
    std::memcpy(info->DeviceData2, wide.DeviceData2, tail);
    return VKSERROR_NO_ERROR;
}

}  // namespace

extern "C" {
VKSERROR VKSAPI VKSNetworkPortGetInfoW(uint32_t i, VKSINFOW* p) { return GetInfoW(VKSDEVICETYPE_NETWORK, i, p); }
VKSERROR VKSAPI VKSDecoderGetInfoW(uint32_t i, VKSINFOW* p) { return GetInfoW(VKSDEVICETYPE_DECODER, i, p); }
VKSERROR VKSAPI VKSEncoderGetInfoW(uint32_t i, VKSINFOW* p) { return GetInfoW(VKSDEVICETYPE_ENCODER, i, p); }
VKSERROR VKSAPI VKSDiscoGetInfoW(uint32_t i, VKSINFOW* p) { return GetInfoW(VKSDEVICETYPE_DISCOVERY, i, p); }
VKSERROR VKSAPI VKSNetworkPortGetInfoA(uint32_t i, VKSINFOA* p) { return GetInfoA(VKSDEVICETYPE_NETWORK, i, p); }
VKSERROR VKSAPI VKSDecoderGetInfoA(uint32_t i, VKSINFOA* p) { return GetInfoA(VKSDEVICETYPE_DECODER, i, p); }
VKSERROR VKSAPI VKSEncoderGetInfoA(uint32_t i, VKSINFOA* p) { return GetInfoA(VKSDEVICETYPE_ENCODER, i, p); }
VKSERROR VKSAPI VKSDiscoGetInfoA(uint32_t i, VKSINFOA* p) { return GetInfoA(VKSDEVICETYPE_DISCOVERY, i, p); }
}
