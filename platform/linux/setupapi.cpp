// The setup API over the registered device interfaces. A device information
// set is a snapshot: interfaces registered or removed after
// SetupDiGetClassDevsW do not change it. Each interface is its own device.
#include "driver_registry_internal.h"
#include "vks_win32/device.h"
#include "vks_win32/kernel.h"

#include <cstring>
#include <mutex>
#include <unordered_set>

namespace {

using vks::devices::Interface;

struct InfoSet {
    std::vector<std::shared_ptr<const Interface>> interfaces;
};

// The setup class of the devices (media devices).
constexpr GUID kMediaSetupClass = {0x4d36e96c, 0xe325, 0x11ce, {0xbf, 0xc1, 0x08, 0x00, 0x2b, 0xe1, 0x03, 0x18}};

std::mutex g_setsLock;
std::unordered_set<InfoSet*>& Sets() {
    static auto* sets = new std::unordered_set<InfoSet*>;
    return *sets;
}

// Resolves a set handle; the set stays valid until destroyed by its owner,
// who must not destroy it while using it (as on Windows).
InfoSet* Lookup(HDEVINFO handle) {
    std::lock_guard lock(g_setsLock);
    auto* set = static_cast<InfoSet*>(handle);
    if (Sets().count(set)) return set;
    SetLastError(ERROR_INVALID_HANDLE);
    return nullptr;
}

BOOL Fail(DWORD error) {
    SetLastError(error);
    return FALSE;
}

void FillDevInfo(PSP_DEVINFO_DATA data, const Interface& i, size_t position) {
    data->ClassGuid = kMediaSetupClass;
    data->DevInst = i.instance;
    data->Reserved = position + 1;
}

// The set's element that a device record or interface record names (its
// position plus one in Reserved); null when it names none.
const Interface* Element(InfoSet* set, ULONG_PTR reserved) {
    if (reserved == 0 || reserved > set->interfaces.size()) return nullptr;
    return set->interfaces[reserved - 1].get();
}

}  // namespace

extern "C" {

HDEVINFO WINAPI SetupDiGetClassDevsW(const GUID* ClassGuid, PCWSTR Enumerator, HWND hwndParent, DWORD Flags) {
    if (!ClassGuid && !(Flags & DIGCF_ALLCLASSES)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return INVALID_HANDLE_VALUE;
    }
    vks::devices::EnsureDriversLoaded();
    auto* set = new InfoSet;
    // Only interfaces are registered here, so only an interface listing finds
    // anything; every registered interface is present.
    if ((Flags & DIGCF_DEVICEINTERFACE) && ClassGuid && !(Flags & DIGCF_ALLCLASSES))
        set->interfaces = vks::devices::InterfacesOfClass(*ClassGuid);
    {
        std::lock_guard lock(g_setsLock);
        Sets().insert(set);
    }
    SetLastError(ERROR_SUCCESS);
    return set;
}

BOOL WINAPI SetupDiEnumDeviceInterfaces(HDEVINFO DeviceInfoSet, PSP_DEVINFO_DATA DeviceInfoData,
                                        const GUID* InterfaceClassGuid, DWORD MemberIndex,
                                        PSP_DEVICE_INTERFACE_DATA DeviceInterfaceData) {
    InfoSet* set = Lookup(DeviceInfoSet);
    if (!set) return FALSE;
    if (!DeviceInterfaceData || !InterfaceClassGuid) return Fail(ERROR_INVALID_PARAMETER);
    if (DeviceInterfaceData->cbSize != sizeof(SP_DEVICE_INTERFACE_DATA)) return Fail(ERROR_INVALID_USER_BUFFER);
    const Interface* device = nullptr;
    if (DeviceInfoData) {
        if (DeviceInfoData->cbSize != sizeof(SP_DEVINFO_DATA)) return Fail(ERROR_INVALID_USER_BUFFER);
        device = Element(set, DeviceInfoData->Reserved);
        if (!device) return Fail(ERROR_INVALID_PARAMETER);
    }
    DWORD seen = 0;
    for (size_t k = 0; k < set->interfaces.size(); ++k) {
        const Interface& i = *set->interfaces[k];
        if (i.interfaceClass != *InterfaceClassGuid || (device && device != &i)) continue;
        if (seen++ != MemberIndex) continue;
        DeviceInterfaceData->InterfaceClassGuid = i.interfaceClass;
        DeviceInterfaceData->Flags = SPINT_ACTIVE;
        DeviceInterfaceData->Reserved = k + 1;
        SetLastError(ERROR_SUCCESS);
        return TRUE;
    }
    return Fail(ERROR_NO_MORE_ITEMS);
}

BOOL WINAPI SetupDiGetDeviceInterfaceDetailW(HDEVINFO DeviceInfoSet, PSP_DEVICE_INTERFACE_DATA DeviceInterfaceData,
                                             PSP_DEVICE_INTERFACE_DETAIL_DATA_W DeviceInterfaceDetailData,
                                             DWORD DeviceInterfaceDetailDataSize, PDWORD RequiredSize,
                                             PSP_DEVINFO_DATA DeviceInfoData) {
    InfoSet* set = Lookup(DeviceInfoSet);
    if (!set) return FALSE;
    if (!DeviceInterfaceData) return Fail(ERROR_INVALID_PARAMETER);
    if (DeviceInterfaceData->cbSize != sizeof(SP_DEVICE_INTERFACE_DATA)) return Fail(ERROR_INVALID_USER_BUFFER);
    const Interface* i = Element(set, DeviceInterfaceData->Reserved);
    if (!i) return Fail(ERROR_INVALID_PARAMETER);
    constexpr DWORD kPathOffset = offsetof(SP_DEVICE_INTERFACE_DETAIL_DATA_W, DevicePath);
    if (DeviceInterfaceDetailData) {
        if (DeviceInterfaceDetailDataSize < kPathOffset + sizeof(WCHAR)) return Fail(ERROR_INVALID_USER_BUFFER);
        if (DeviceInterfaceDetailData->cbSize != sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W))
            return Fail(ERROR_INVALID_USER_BUFFER);
    } else if (DeviceInterfaceDetailDataSize != 0) {
        return Fail(ERROR_INVALID_USER_BUFFER);
    }
    if (DeviceInfoData && DeviceInfoData->cbSize != sizeof(SP_DEVINFO_DATA)) return Fail(ERROR_INVALID_USER_BUFFER);
    const DWORD required = kPathOffset + static_cast<DWORD>((i->path.size() + 1) * sizeof(WCHAR));
    if (RequiredSize) *RequiredSize = required;
    if (DeviceInfoData) FillDevInfo(DeviceInfoData, *i, DeviceInterfaceData->Reserved - 1);
    if (DeviceInterfaceDetailDataSize < required) return Fail(ERROR_INSUFFICIENT_BUFFER);
    std::memcpy(DeviceInterfaceDetailData->DevicePath, i->path.c_str(), (i->path.size() + 1) * sizeof(WCHAR));
    SetLastError(ERROR_SUCCESS);
    return TRUE;
}

BOOL WINAPI SetupDiGetDeviceRegistryPropertyW(HDEVINFO DeviceInfoSet, PSP_DEVINFO_DATA DeviceInfoData,
                                              DWORD Property, PDWORD PropertyRegDataType, PBYTE PropertyBuffer,
                                              DWORD PropertyBufferSize, PDWORD RequiredSize) {
    InfoSet* set = Lookup(DeviceInfoSet);
    if (!set) return FALSE;
    if (!DeviceInfoData) return Fail(ERROR_INVALID_PARAMETER);
    if (DeviceInfoData->cbSize != sizeof(SP_DEVINFO_DATA)) return Fail(ERROR_INVALID_USER_BUFFER);
    const Interface* i = Element(set, DeviceInfoData->Reserved);
    if (!i) return Fail(ERROR_INVALID_PARAMETER);
    if (!PropertyBuffer && PropertyBufferSize != 0) return Fail(ERROR_INVALID_PARAMETER);
    // The only property the devices carry is their location.
    if (Property != SPDRP_LOCATION_INFORMATION || i->location.empty()) return Fail(ERROR_INVALID_DATA);
    const DWORD required = static_cast<DWORD>((i->location.size() + 1) * sizeof(WCHAR));
    if (RequiredSize) *RequiredSize = required;
    if (PropertyRegDataType) *PropertyRegDataType = REG_SZ;
    if (PropertyBufferSize < required) return Fail(ERROR_INSUFFICIENT_BUFFER);
    std::memcpy(PropertyBuffer, i->location.c_str(), required);
    SetLastError(ERROR_SUCCESS);
    return TRUE;
}

BOOL WINAPI SetupDiDestroyDeviceInfoList(HDEVINFO DeviceInfoSet) {
    auto* set = static_cast<InfoSet*>(DeviceInfoSet);
    {
        std::lock_guard lock(g_setsLock);
        if (!Sets().erase(set)) return Fail(ERROR_INVALID_HANDLE);
    }
    delete set;
    SetLastError(ERROR_SUCCESS);
    return TRUE;
}

}  // extern "C"
