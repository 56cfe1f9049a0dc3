// The setup API with simulated interfaces listed after the real ones of the
// same class. While a driver is configured, a set asked for by interface
// class is the host's: it holds the system's set and the simulated
// interfaces, and the system's set answers for its own members. A simulated
// member is marked in its Reserved word (the top bit, which no user-mode
// address has).
#include "host_internal.h"

#include <cstddef>
#include <cstring>
#include <mutex>
#include <set>

namespace vks::host {

namespace {

constexpr ULONG_PTR kSimulated = static_cast<ULONG_PTR>(1) << (sizeof(ULONG_PTR) * 8 - 1);

struct HostSet {
    HDEVINFO real = INVALID_HANDLE_VALUE;
    DWORD realCount = 0;
    GUID interfaceClass{};
    std::vector<std::shared_ptr<const Interface>> simulated;
};

std::mutex g_mu;
std::set<const void*> g_sets;

HostSet* Ours(HDEVINFO set) {
    std::lock_guard lock(g_mu);
    return g_sets.count(set) ? static_cast<HostSet*>(set) : nullptr;
}

const Interface* Member(HostSet* set, ULONG_PTR reserved) {
    if (!(reserved & kSimulated)) return nullptr;
    const ULONG_PTR index = reserved & ~kSimulated;
    return index < set->simulated.size() ? set->simulated[index].get() : nullptr;
}

BOOL Fail(DWORD error) {
    SetLastError(error);
    return FALSE;
}

}  // namespace

}  // namespace vks::host

using namespace vks::host;

extern "C" {

HDEVINFO WINAPI VksHostSetupDiGetClassDevsW(const GUID* classGuid, PCWSTR enumerator, HWND parent, DWORD flags) {
    if (!classGuid || enumerator || !(flags & DIGCF_DEVICEINTERFACE) || (flags & DIGCF_ALLCLASSES) ||
        !DriversPresent())
        return ::SetupDiGetClassDevsW(classGuid, enumerator, parent, flags);
    auto* set = new HostSet;
    set->interfaceClass = *classGuid;
    set->simulated = InterfacesOfClass(*classGuid);
    set->real = ::SetupDiGetClassDevsW(classGuid, enumerator, parent, flags);
    if (set->real != INVALID_HANDLE_VALUE) {
        SP_DEVICE_INTERFACE_DATA data{};
        data.cbSize = sizeof data;
        while (::SetupDiEnumDeviceInterfaces(set->real, nullptr, classGuid, set->realCount, &data)) ++set->realCount;
    }
    {
        std::lock_guard lock(g_mu);
        g_sets.insert(set);
    }
    SetLastError(ERROR_SUCCESS);
    return static_cast<HDEVINFO>(set);
}

BOOL WINAPI VksHostSetupDiEnumDeviceInterfaces(HDEVINFO handle, PSP_DEVINFO_DATA device, const GUID* classGuid,
                                               DWORD index, PSP_DEVICE_INTERFACE_DATA data) {
    HostSet* set = Ours(handle);
    if (!set) return ::SetupDiEnumDeviceInterfaces(handle, device, classGuid, index, data);
    if (!data || !classGuid) return Fail(ERROR_INVALID_PARAMETER);
    if (data->cbSize != sizeof(SP_DEVICE_INTERFACE_DATA)) return Fail(ERROR_INVALID_USER_BUFFER);
    const Interface* only = nullptr;
    if (device) {
        if (device->cbSize != sizeof(SP_DEVINFO_DATA)) return Fail(ERROR_INVALID_USER_BUFFER);
        only = Member(set, device->Reserved);
        if (!only) {
            if (set->real == INVALID_HANDLE_VALUE) return Fail(ERROR_INVALID_PARAMETER);
            return ::SetupDiEnumDeviceInterfaces(set->real, device, classGuid, index, data);
        }
    }
    DWORD seen = 0;
    if (!only && set->real != INVALID_HANDLE_VALUE && IsEqualGUID(*classGuid, set->interfaceClass)) {
        if (index < set->realCount) return ::SetupDiEnumDeviceInterfaces(set->real, nullptr, classGuid, index, data);
        seen = set->realCount;
    }
    if (IsEqualGUID(*classGuid, set->interfaceClass)) {
        for (size_t i = 0; i < set->simulated.size(); ++i) {
            if (only && set->simulated[i].get() != only) continue;
            if (seen++ != index) continue;
            data->InterfaceClassGuid = set->interfaceClass;
            data->Flags = SPINT_ACTIVE;
            data->Reserved = kSimulated | i;
            SetLastError(ERROR_SUCCESS);
            return TRUE;
        }
    }
    return Fail(ERROR_NO_MORE_ITEMS);
}

BOOL WINAPI VksHostSetupDiGetDeviceInterfaceDetailW(HDEVINFO handle, PSP_DEVICE_INTERFACE_DATA data,
                                                    PSP_DEVICE_INTERFACE_DETAIL_DATA_W detail, DWORD detailSize,
                                                    PDWORD required, PSP_DEVINFO_DATA device) {
    HostSet* set = Ours(handle);
    if (!set) return ::SetupDiGetDeviceInterfaceDetailW(handle, data, detail, detailSize, required, device);
    if (!data) return Fail(ERROR_INVALID_PARAMETER);
    if (data->cbSize != sizeof(SP_DEVICE_INTERFACE_DATA)) return Fail(ERROR_INVALID_USER_BUFFER);
    const Interface* i = Member(set, data->Reserved);
    if (!i) {
        if (set->real == INVALID_HANDLE_VALUE) return Fail(ERROR_INVALID_PARAMETER);
        return ::SetupDiGetDeviceInterfaceDetailW(set->real, data, detail, detailSize, required, device);
    }
    constexpr DWORD kPathOffset = offsetof(SP_DEVICE_INTERFACE_DETAIL_DATA_W, DevicePath);
    if (detail) {
        if (detailSize < kPathOffset + sizeof(WCHAR)) return Fail(ERROR_INVALID_USER_BUFFER);
        if (detail->cbSize != sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W)) return Fail(ERROR_INVALID_USER_BUFFER);
    } else if (detailSize != 0) {
        return Fail(ERROR_INVALID_USER_BUFFER);
    }
    if (device && device->cbSize != sizeof(SP_DEVINFO_DATA)) return Fail(ERROR_INVALID_USER_BUFFER);
    const DWORD needed = kPathOffset + static_cast<DWORD>((i->path.size() + 1) * sizeof(WCHAR));
    if (required) *required = needed;
    if (device) {
        device->ClassGuid = GUID{};
        device->DevInst = i->instance;
        device->Reserved = data->Reserved;
    }
    if (detailSize < needed) return Fail(ERROR_INSUFFICIENT_BUFFER);
    std::memcpy(detail->DevicePath, i->path.c_str(), (i->path.size() + 1) * sizeof(WCHAR));
    SetLastError(ERROR_SUCCESS);
    return TRUE;
}

BOOL WINAPI VksHostSetupDiGetDeviceRegistryPropertyW(HDEVINFO handle, PSP_DEVINFO_DATA device, DWORD property,
                                                     PDWORD type, PBYTE buffer, DWORD size, PDWORD required) {
    HostSet* set = Ours(handle);
    if (!set) return ::SetupDiGetDeviceRegistryPropertyW(handle, device, property, type, buffer, size, required);
    if (!device) return Fail(ERROR_INVALID_PARAMETER);
    if (device->cbSize != sizeof(SP_DEVINFO_DATA)) return Fail(ERROR_INVALID_USER_BUFFER);
    const Interface* i = Member(set, device->Reserved);
    if (!i) {
        if (set->real == INVALID_HANDLE_VALUE) return Fail(ERROR_INVALID_PARAMETER);
        return ::SetupDiGetDeviceRegistryPropertyW(set->real, device, property, type, buffer, size, required);
    }
    if (!buffer && size != 0) return Fail(ERROR_INVALID_PARAMETER);
    // A simulated device has one property: its location.
    if (property != SPDRP_LOCATION_INFORMATION || i->location.empty()) return Fail(ERROR_INVALID_DATA);
    const DWORD needed = static_cast<DWORD>((i->location.size() + 1) * sizeof(WCHAR));
    if (required) *required = needed;
    if (type) *type = REG_SZ;
    if (size < needed) return Fail(ERROR_INSUFFICIENT_BUFFER);
    std::memcpy(buffer, i->location.c_str(), needed);
    SetLastError(ERROR_SUCCESS);
    return TRUE;
}

BOOL WINAPI VksHostSetupDiDestroyDeviceInfoList(HDEVINFO handle) {
    {
        std::lock_guard lock(g_mu);
        if (!g_sets.erase(handle)) return ::SetupDiDestroyDeviceInfoList(handle);
    }
    auto* set = static_cast<HostSet*>(handle);
    if (set->real != INVALID_HANDLE_VALUE) ::SetupDiDestroyDeviceInfoList(set->real);
    delete set;
    SetLastError(ERROR_SUCCESS);
    return TRUE;
}

}  // extern "C"
