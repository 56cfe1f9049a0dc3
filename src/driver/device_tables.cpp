// Device enumeration: every present device of the interface class is filed
// in four tables, one per type, addressed by global input index.
#include "driver/device_tables.h"

#include "core/engine.h"
#include "core/log.h"
#include "core/status_codes.h"
#include "driver/command_channel.h"

#include <cstdlib>

namespace {

// {6F1C2B84-9D3E-4A57-B0C6-2E8D7A5F9134}
const GUID kDeviceInterfaceClass = {0x6F1C2B84, 0x9D3E, 0x4A57, {0xB0, 0xC6, 0x2E, 0x8D, 0x7A, 0x5F, 0x91, 0x34}};

// The most inputs of one kind a device can have. Cards carry a handful of
// ports, decoders, encoders and discovery inputs each; the bound leaves room
// for any model while keeping what is done per input (a command per network
// port in VKSNetworkConfiguredInterfaceCount, say) short. A driver that
// reports more is not believed: that kind of input of the device is left out.
constexpr DWORD kMaxInputsPerDevice = 256;

// Asks the driver how many inputs of `type` the device has.
VKSERROR QueryInputCount(HANDLE device, DWORD type, DWORD* count) {
    CommandRequest request = kRequestTemplate;
    CommandReply reply = kReplyTemplate;
    WriteU32(request.Bytes, kReqType, type);
    WriteU32(request.Bytes, kPayload, 8);
    const VKSERROR status =
        DeviceIoctlSync(device, IOCTL_VKS_GET_INPUT_COUNT, request.Bytes, kRequestBytes, reply.Bytes, kReplyBytes);
    if (status == VKSERROR_NO_ERROR) *count = ReadU32(reply.Bytes, kPayload + 4);
    return status;
}

void CopyText(WCHAR* dest, size_t capacity, const WCHAR* src) {
    size_t i = 0;
    for (; src[i] != 0 && i + 1 < capacity; ++i) dest[i] = src[i];
    dest[i] = 0;
}

}  // namespace

DeviceInfo* BuildDeviceInfo(DWORD deviceIndex, const WCHAR* path, const WCHAR* location, HANDLE device,
                            TypeTotals& totals, DWORD type) {
    DeviceInfo* info = static_cast<DeviceInfo*>(std::calloc(1, sizeof(DeviceInfo)));
    if (info == nullptr) {
        LogError(WSTR("BuildDeviceInfo: Failed to allocate device info for Device:%u Type:%hs.\n"), deviceIndex,
                 DeviceTypeToString(type));
        return nullptr;
    }
    info->pSuffix = VKS_DEVICE_SUFFIX;
    info->Device = deviceIndex;
    CopyText(info->Path, 512, path);
    _snwprintf_s(info->Location, 256, _TRUNCATE, WSTR("%s"), location);
    DWORD count = 0;
    if (QueryInputCount(device, type, &count) != VKSERROR_NO_ERROR) {
        LogError(WSTR("BuildDeviceInfo: Failed to retreive input count for Device:%u Type:%hs.\n"), deviceIndex,
                 DeviceTypeToString(type));
        count = 0;
    }
    if (count > kMaxInputsPerDevice) {
        LogError(WSTR("BuildDeviceInfo: Device:%u Type:%hs reports %u inputs, more than a device has (%u); "
                      "none used.\n"),
                 deviceIndex, DeviceTypeToString(type), count, kMaxInputsPerDevice);
        count = 0;
    }
    info->FirstInput = totals.inputs;
    info->NumInputs = count;
    totals.inputs += count;
    totals.devices += 1;
    LogMessage(WSTR("BuildDeviceInfo: pDevInfo:%p Device:%u Type:%hs FirstInput:%u NumInputs:%u.\n"), info,
               deviceIndex, DeviceTypeToString(type), info->FirstInput, info->NumInputs);
    return info;
}

VKSERROR Build742Info(DeviceInfo** network, DeviceInfo** decoders, DeviceInfo** encoders, DeviceInfo** discoveries,
                      DWORD devices[4], DWORD inputs[4]) {
    DeviceInfo** heads[kDeviceTypeCount] = {network, decoders, encoders, discoveries};
    TypeTotals totals[kDeviceTypeCount] = {};
    for (DeviceInfo** head : heads) *head = nullptr;

    HDEVINFO set = SetupDiGetClassDevsW(&kDeviceInterfaceClass, nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
    if (set == INVALID_HANDLE_VALUE) return VKSERROR_HARDWARE_NOT_FOUND;

    bool recorded = false;
    for (DWORD index = 0;; ++index) {
        SP_DEVICE_INTERFACE_DATA interfaceData{};
        interfaceData.cbSize = sizeof(interfaceData);
        if (!SetupDiEnumDeviceInterfaces(set, nullptr, &kDeviceInterfaceClass, index, &interfaceData)) break;

        DWORD required = 0;
        SetupDiGetDeviceInterfaceDetailW(set, &interfaceData, nullptr, 0, &required, nullptr);
        if (required < sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W)) continue;
        auto* detail = static_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_W*>(std::calloc(1, required));
        if (detail == nullptr) continue;
        detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W);
        SP_DEVINFO_DATA deviceData{};
        deviceData.cbSize = sizeof(deviceData);
        WCHAR location[256] = {};
        if (!SetupDiGetDeviceInterfaceDetailW(set, &interfaceData, detail, required, nullptr, &deviceData) ||
            !SetupDiGetDeviceRegistryPropertyW(set, &deviceData, SPDRP_LOCATION_INFORMATION, nullptr,
                                               reinterpret_cast<BYTE*>(location), sizeof(location) - sizeof(WCHAR),
                                               nullptr)) {
            std::free(detail);
            continue;
        }
        const WCHAR* path = detail->DevicePath;
        LogMessage(WSTR("Build742Info: Device:%u Path:\"%s\" Location:\"%s\".\n"), index, path, location);

        HANDLE device = nullptr;
        HANDLE deviceOv = nullptr;
        DeviceFileOpen(path, &device, FALSE, VKS_DEVICE_SUFFIX);
        DeviceFileOpen(path, &deviceOv, TRUE, VKS_DEVICE_SUFFIX);

        DeviceInfo* records[kDeviceTypeCount] = {};
        bool complete = true;
        for (DWORD type = 0; type < kDeviceTypeCount; ++type) {
            records[type] = BuildDeviceInfo(index, path, location, device, totals[type], type);
            complete = complete && records[type] != nullptr;
        }
        if (complete) {
            records[VKSDEVICETYPE_NETWORK]->hDevice = device;
            records[VKSDEVICETYPE_NETWORK]->hDeviceOv = deviceOv;
            for (DWORD type = 0; type < kDeviceTypeCount; ++type) {
                records[type]->pNext = *heads[type];
                *heads[type] = records[type];
            }
            recorded = true;
        } else {
            for (DeviceInfo* record : records) std::free(record);
            if (device != nullptr) CloseHandle(device);
            if (deviceOv != nullptr) CloseHandle(deviceOv);
        }
        std::free(detail);
    }
    SetupDiDestroyDeviceInfoList(set);

    if (!recorded) return VKSERROR_HARDWARE_NOT_FOUND;
    for (DWORD type = 0; type < kDeviceTypeCount; ++type) {
        devices[type] = totals[type].devices;
        inputs[type] = totals[type].inputs;
    }
    return VKSERROR_NO_ERROR;
}

void FreeSingleTypeList(DEVICE_TABLE* table) {
    LogMessage(WSTR("FreeSingleTypeList: Free'ing list %p.\n"), table);
    DeviceInfo* item = table->pHead;
    while (item != nullptr) {
        DeviceInfo* next = item->pNext;
        LogMessage(WSTR("FreeSingleTypeList: pItem:%p Device:%u hDevice:%#x hDeviceOv:%#x pNext:%p.\n"), item,
                   item->Device, item->hDevice, item->hDeviceOv, next);
        if (item->hDevice != nullptr) {
            CloseHandle(item->hDevice);
            LogMessage(WSTR("FreeSingleTypeList: pItem:%p Device:%u CloseHandle( hDevice = %#x ).\n"), item,
                       item->Device, item->hDevice);
        }
        if (item->hDeviceOv != nullptr) {
            CloseHandle(item->hDeviceOv);
            LogMessage(WSTR("FreeSingleTypeList: pItem:%p Device:%u CloseHandle( hDevice = %#x ).\n"), item,
                       item->Device, item->hDeviceOv);
        }
        LogMessage(WSTR("FreeSingleTypeList: pItem:%p [Free'd] pNext:%p.\n"), item, next);
        std::free(item);
        item = next;
    }
    table->pHead = nullptr;
    table->Count = 0;
}

DeviceInfo* DeviceFindByIndex(DWORD type, DWORD index) {
    if (type >= kDeviceTypeCount) return nullptr;
    const DEVICE_TABLE* tables[] = {&Global.NetworkPorts, &Global.Decoders, &Global.Encoders, &Global.Discoveries};
    const DEVICE_TABLE* table = tables[type];
    if (index >= table->Count) return nullptr;
    for (DeviceInfo* item = table->pHead; item != nullptr; item = item->pNext) {
        if (item->FirstInput <= index && index - item->FirstInput < item->NumInputs) return item;
    }
    return nullptr;
}

VKSERROR DeviceGetInfo(const DeviceInfo* device, DWORD type, VKSINFOW* info) {
    HANDLE file = nullptr;
    const VKSERROR opened = DeviceFileOpen(device->Path, &file, FALSE, device->pSuffix);
    if (opened != VKSERROR_NO_ERROR) return opened;
    CommandRequest request = kRequestTemplate;
    CommandReply reply = kReplyTemplate;
    WriteU32(request.Bytes, kReqType, type);
    WriteU32(request.Bytes, kPayload, sizeof(VKSINFOW));
    VKSINFOW local;
    std::memset(&local, 0, sizeof(local));
    local.Size = sizeof(VKSINFOW);
    const VKSERROR status =
        DeviceIoctlSync(file, IOCTL_VKS_GET_DEVICE_INFO, request.Bytes, kRequestBytes, reply.Bytes, kReplyBytes);
    if (status == VKSERROR_NO_ERROR) {
        DWORD returned = ReadU32(reply.Bytes, kPayload);
        if (returned > sizeof(VKSINFOW)) returned = sizeof(VKSINFOW);
        std::memcpy(&local, reply.Bytes + kPayload, returned);
        local.Size = returned;
        const DWORD copied = info->Size < local.Size ? info->Size : local.Size;
        std::memcpy(info, &local, copied);
        info->Size = copied;
    }
    DeviceFileClose(file);
    return status;
}
