// Device interface registration and the loading of driver modules.
#include "driver_registry_internal.h"

#include "vks_win32/module.h"

#include <cstdlib>
#include <mutex>

namespace vks::devices {

namespace {

struct Registry {
    std::mutex mu;
    std::vector<std::shared_ptr<Interface>> interfaces;
    uint32_t nextInstance = 1;
};

// Never destroyed: drivers may unregister from their own static destructors,
// which run after this file's would.
Registry& R() {
    static Registry* registry = new Registry;
    return *registry;
}

char16_t Upper(char16_t c) { return c >= u'a' && c <= u'z' ? static_cast<char16_t>(c - 32) : c; }

void LoadModule(const std::string& name) {
    std::u16string wide(name.begin(), name.end());
    HMODULE module = LoadLibraryW(wide.c_str());
    if (!module) return;
    auto entry = reinterpret_cast<VKS_DRIVER_ENTRY>(GetProcAddress(module, "VksDriverEntry"));
    // A module without an entry point is no driver; it stays loaded, as
    // unloading a module that may have registered nothing gains nothing.
    if (entry) entry();
}

void LoadDrivers() {
    const char* drivers = std::getenv("VKS_DRIVERS");
    if (drivers) {
        std::string list(drivers);
        size_t start = 0;
        while (start <= list.size()) {
            size_t end = list.find(':', start);
            if (end == std::string::npos) end = list.size();
            if (end > start) LoadModule(list.substr(start, end - start));
            start = end + 1;
        }
        return;
    }
    const char* config = std::getenv("VKS_SIM_CONFIG");
    if (config && *config) LoadModule("vkssim.dll");
}

}  // namespace

void EnsureDriversLoaded() {
    static std::once_flag once;
    std::call_once(once, LoadDrivers);
}

std::vector<std::shared_ptr<const Interface>> InterfacesOfClass(const GUID& interfaceClass) {
    Registry& r = R();
    std::lock_guard lock(r.mu);
    std::vector<std::shared_ptr<const Interface>> result;
    for (auto& i : r.interfaces)
        if (i->interfaceClass == interfaceClass) result.push_back(i);
    return result;
}

std::shared_ptr<const Interface> FindInterfaceForFile(const char16_t* fileName, const char16_t** rest) {
    Registry& r = R();
    std::lock_guard lock(r.mu);
    for (auto& i : r.interfaces) {
        const char16_t* p = fileName;
        size_t k = 0;
        while (k < i->path.size() && *p && Upper(*p) == Upper(i->path[k])) ++p, ++k;
        if (k == i->path.size() && (*p == 0 || *p == u'\\')) {
            *rest = p;
            return i;
        }
    }
    return nullptr;
}

}  // namespace vks::devices

using namespace vks::devices;

extern "C" {

void* VksRegisterDeviceInterface(const GUID* interfaceClass, LPCWSTR interfacePath, LPCWSTR location,
                                 const VKS_DRIVER_DISPATCH* dispatch, void* deviceContext) {
    if (!interfaceClass || !interfacePath || !*interfacePath || !dispatch || !dispatch->Create ||
        !dispatch->DeviceControl || !dispatch->Close)
        return nullptr;
    auto i = std::make_shared<Interface>();
    i->interfaceClass = *interfaceClass;
    i->path = interfacePath;
    i->location = location ? location : u"";
    i->dispatch = *dispatch;
    i->deviceContext = deviceContext;
    Registry& r = R();
    std::lock_guard lock(r.mu);
    for (auto& existing : r.interfaces)
        if (existing->path.size() == i->path.size()) {
            bool same = true;
            for (size_t k = 0; k < i->path.size() && same; ++k) same = Upper(existing->path[k]) == Upper(i->path[k]);
            if (same) return nullptr;  // one path names one interface
        }
    i->instance = r.nextInstance++;
    r.interfaces.push_back(i);
    return i.get();
}

void VksUnregisterDeviceInterface(void* registration) {
    Registry& r = R();
    std::lock_guard lock(r.mu);
    for (auto it = r.interfaces.begin(); it != r.interfaces.end(); ++it)
        if (it->get() == registration) {
            r.interfaces.erase(it);
            return;
        }
}

}  // extern "C"
