#include "driver/device_tables.h"

#include "core/engine.h"
#include "core/log.h"

#include <cstdlib>

VKSERROR Build742Info(DeviceInfo** network, DeviceInfo** decoders, DeviceInfo** encoders, DeviceInfo** discoveries,
                      DWORD devices[4], DWORD inputs[4]) {
    *network = *decoders = *encoders = *discoveries = nullptr;
    return VKSERROR_HARDWARE_NOT_FOUND;
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
        std::free(item);
        LogMessage(WSTR("FreeSingleTypeList: pItem:%p [Free'd] pNext:%p.\n"), item, next);
        item = next;
    }
    table->pHead = nullptr;
    table->Count = 0;
}

DeviceInfo* DeviceFindByIndex(DWORD type, DWORD index) {
    const DEVICE_TABLE* tables[] = {&Global.NetworkPorts, &Global.Decoders, &Global.Encoders, &Global.Discoveries};
    if (type >= 4) return nullptr;
    const DEVICE_TABLE* table = tables[type];
    if (index >= table->Count) return nullptr;
    for (DeviceInfo* item = table->pHead; item != nullptr; item = item->pNext) {
        if (item->FirstInput <= index && index - item->FirstInput < item->NumInputs) return item;
    }
    return nullptr;
}
