// The driver list of the user-mode host: loading the configured drivers and
// the interfaces they register.
#include "host_internal.h"

#include <mutex>

namespace vks::host {

namespace {

std::mutex g_mu;
std::vector<std::shared_ptr<const Interface>> g_interfaces;  // present ones
DWORD g_nextInstance = 0x7E000001;
INIT_ONCE g_loadOnce = INIT_ONCE_STATIC_INIT;
bool g_configured = false;

std::wstring Environment(const wchar_t* name) {
    DWORD n = GetEnvironmentVariableW(name, nullptr, 0);
    if (n == 0) return {};
    std::wstring value(n, L'\0');
    n = GetEnvironmentVariableW(name, value.data(), n);
    value.resize(n);
    return value;
}

void Report(const std::wstring& text) { OutputDebugStringW(text.c_str()); }

BOOL CALLBACK LoadDrivers(PINIT_ONCE, PVOID, PVOID*) {
    const DWORD lastError = GetLastError();
    std::vector<std::wstring> names;
    const std::wstring drivers = Environment(L"VKS_DRIVERS");
    if (!drivers.empty()) {
        size_t start = 0;
        while (start <= drivers.size()) {
            size_t end = drivers.find(L';', start);
            if (end == std::wstring::npos) end = drivers.size();
            if (end > start) names.push_back(drivers.substr(start, end - start));
            start = end + 1;
        }
    } else if (!Environment(L"VKS_SIM_CONFIG").empty()) {
        names.push_back(L"vkssim.dll");
    }
    g_configured = !names.empty();
    for (const std::wstring& name : names) {
        HMODULE module = LoadLibraryW(name.c_str());
        if (!module) {
            Report(L"vksplatform: driver " + name + L" not loaded (error " + std::to_wstring(GetLastError()) + L")\n");
            continue;
        }
        auto entry = reinterpret_cast<VKS_DRIVER_ENTRY>(
            reinterpret_cast<void*>(GetProcAddress(module, "VksDriverEntry")));
        if (!entry || !entry()) Report(L"vksplatform: driver " + name + L" did not start\n");
    }
    SetLastError(lastError);
    return TRUE;
}

char16_t Fold(char16_t c) { return c >= u'a' && c <= u'z' ? static_cast<char16_t>(c - 32) : c; }

}  // namespace

bool DriversPresent() {
    InitOnceExecuteOnce(&g_loadOnce, LoadDrivers, nullptr, nullptr);
    if (g_configured) return true;
    // A program may also be its own driver (the conformance programs are).
    std::lock_guard lock(g_mu);
    return !g_interfaces.empty();
}

std::vector<std::shared_ptr<const Interface>> InterfacesOfClass(const GUID& interfaceClass) {
    std::lock_guard lock(g_mu);
    std::vector<std::shared_ptr<const Interface>> out;
    for (const auto& i : g_interfaces)
        if (IsEqualGUID(i->interfaceClass, interfaceClass)) out.push_back(i);
    return out;
}

std::shared_ptr<const Interface> FindInterfaceForFile(const wchar_t* fileName, const char16_t** rest) {
    const auto* name = reinterpret_cast<const char16_t*>(fileName);
    std::lock_guard lock(g_mu);
    for (const auto& i : g_interfaces) {
        size_t n = 0;
        while (n < i->path.size() && name[n] && Fold(name[n]) == Fold(i->path[n])) ++n;
        if (n != i->path.size() || (name[n] != 0 && name[n] != u'\\')) continue;
        *rest = name + n;
        return i;
    }
    return nullptr;
}

}  // namespace vks::host

using namespace vks::host;

extern "C" {

void* VksRegisterDeviceInterface(const GUID* interfaceClass, const char16_t* interfacePath, const char16_t* location,
                                 const VKS_DRIVER_DISPATCH* dispatch, void* deviceContext) {
    if (!interfaceClass || !interfacePath || !*interfacePath || !dispatch || !dispatch->Create ||
        !dispatch->DeviceControl || !dispatch->Close)
        return nullptr;
    auto i = std::make_shared<Interface>();
    i->interfaceClass = *interfaceClass;
    i->path = interfacePath;
    if (location) i->location = location;
    i->dispatch = *dispatch;
    i->deviceContext = deviceContext;
    std::lock_guard lock(g_mu);
    i->instance = g_nextInstance++;
    g_interfaces.push_back(i);
    return i.get();
}

void VksUnregisterDeviceInterface(void* registration) {
    std::lock_guard lock(g_mu);
    for (auto it = g_interfaces.begin(); it != g_interfaces.end(); ++it)
        if (it->get() == registration) {
            g_interfaces.erase(it);
            return;
        }
}

}  // extern "C"
