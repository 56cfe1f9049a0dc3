// The list of device interfaces that drivers registered, shared by the setup
// API (which lists them) and device I/O (which opens them).
#pragma once

#include "vks_win32/driver.h"

#include <memory>
#include <string>
#include <vector>

namespace vks::devices {

// One registered interface. Open files keep it alive after it was removed.
struct Interface {
    GUID interfaceClass;
    std::u16string path;
    std::u16string location;
    VKS_DRIVER_DISPATCH dispatch;
    void* deviceContext;
    uint32_t instance;  // the device's instance number (SP_DEVINFO_DATA::DevInst)
};

// Loads the driver modules once per process (VKS_DRIVERS, or the simulator
// when VKS_SIM_CONFIG is set). Thread-safe; later calls return at once.
void EnsureDriversLoaded();

// The interfaces of a class present now, in registration order.
std::vector<std::shared_ptr<const Interface>> InterfacesOfClass(const GUID& interfaceClass);

// The present interface whose path begins `fileName`, case-insensitively, and is
// followed by the end of the name or a backslash; `rest` receives what follows.
std::shared_ptr<const Interface> FindInterfaceForFile(const char16_t* fileName, const char16_t** rest);

}  // namespace vks::devices
