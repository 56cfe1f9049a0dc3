// The user-mode driver host: what its files share.
#pragma once

#ifndef VKS_PLATFORM_BUILD
#  define VKS_PLATFORM_BUILD 1
#endif
#include "vks_platform.h"
#include "vks_win32/driver.h"

#include <memory>
#include <string>
#include <vector>

namespace vks::host {

// One registered interface. Open files keep it alive after it was removed.
struct Interface {
    GUID interfaceClass;
    std::u16string path;
    std::u16string location;
    VKS_DRIVER_DISPATCH dispatch;
    void* deviceContext;
    DWORD instance;  // SP_DEVINFO_DATA::DevInst
};

// Loads the drivers once per process (VKS_DRIVERS, or the simulator when
// VKS_SIM_CONFIG is set); true when one was configured or an interface is
// registered. False: every call is the system's own.
bool DriversPresent();

// The interfaces of a class present now, in registration order.
std::vector<std::shared_ptr<const Interface>> InterfacesOfClass(const GUID& interfaceClass);

// The present interface whose path begins `fileName` (case-insensitively),
// followed by its end or a backslash; `rest` receives what follows.
std::shared_ptr<const Interface> FindInterfaceForFile(const wchar_t* fileName, const char16_t** rest);

// The interface of a simulated file handle, or null (device notifications).
std::shared_ptr<const Interface> InterfaceOfFile(HANDLE file);

}  // namespace vks::host
