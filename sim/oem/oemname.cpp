// Stand-in for the OEM information library "oemname.dll".
//
// GetOEMFromRegistryEx answers from the registry key
// HKEY_LOCAL_MACHINE\SOFTWARE\VELANTIS\OEM:
//   "Name"   (REG_SZ)    the OEM name handed out;
//   "Result" (REG_DWORD) a result to return instead (0 means answer normally).
// Without the key or the name the lookup fails with ERROR_FILE_NOT_FOUND, as a
// machine without OEM data does.
#include "vks_platform.h"

namespace {

WCHAR g_Name[512];

}  // namespace

extern "C" __attribute__((visibility("default"))) LONG WINAPI GetOEMFromRegistryEx(WCHAR** name, ULONGLONG* second) {
    if (name == nullptr) return ERROR_INVALID_PARAMETER;
    *name = nullptr;
    if (second != nullptr) *second = 0;
    HKEY key = nullptr;
    LONG result = RegOpenKeyExW(HKEY_LOCAL_MACHINE, WSTR("SOFTWARE\\VELANTIS\\OEM"), 0, KEY_READ, &key);
    if (result != ERROR_SUCCESS) return result;
    DWORD forced = 0;
    DWORD type = 0;
    DWORD size = sizeof(forced);
    if (RegQueryValueExW(key, WSTR("Result"), nullptr, &type, reinterpret_cast<BYTE*>(&forced), &size) ==
            ERROR_SUCCESS &&
        type == REG_DWORD && forced != 0) {
        RegCloseKey(key);
        return static_cast<LONG>(forced);
    }
    size = sizeof(g_Name) - sizeof(WCHAR);
    result = RegQueryValueExW(key, WSTR("Name"), nullptr, &type, reinterpret_cast<BYTE*>(g_Name), &size);
    RegCloseKey(key);
    if (result != ERROR_SUCCESS) return result;
    if (type != REG_SZ) return ERROR_INVALID_DATA;
    g_Name[size / sizeof(WCHAR)] = 0;
    *name = g_Name;
    return ERROR_SUCCESS;
}
