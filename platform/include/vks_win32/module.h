// Module loading. "name.dll" maps onto the shared object "libname.so"; see the
// search order in platform/README.md.
#pragma once

#include "types.h"

#define DLL_PROCESS_DETACH 0
#define DLL_PROCESS_ATTACH 1
#define DLL_THREAD_ATTACH 2
#define DLL_THREAD_DETACH 3
#define MAX_PATH 260

extern "C" {
HMODULE WINAPI LoadLibraryW(LPCWSTR lpLibFileName);
FARPROC WINAPI GetProcAddress(HMODULE hModule, LPCSTR lpProcName);
BOOL WINAPI FreeLibrary(HMODULE hLibModule);
HMODULE WINAPI GetModuleHandleW(LPCWSTR lpModuleName);
DWORD WINAPI GetModuleFileNameW(HMODULE hModule, LPWSTR lpFilename, DWORD nSize);
BOOL WINAPI DisableThreadLibraryCalls(HMODULE hLibModule);
}

// Stands for DllMain on Linux: a module defines its entry point with
// VKS_DLL_ENTRY(DllMain); the platform layer calls it with DLL_PROCESS_ATTACH
// when the shared object is loaded (with the module's own handle) and with
// DLL_PROCESS_DETACH when it is unloaded.
typedef BOOL(WINAPI* VKS_DLL_ENTRY_PROC)(HINSTANCE, DWORD, LPVOID);
extern "C" void VksRegisterDllEntry(VKS_DLL_ENTRY_PROC entry, const void* addressInModule);
extern "C" void VksUnregisterDllEntry(VKS_DLL_ENTRY_PROC entry, const void* addressInModule);
#define VKS_DLL_ENTRY(fn)                                                                        \
    extern "C" BOOL WINAPI fn(HINSTANCE, DWORD, LPVOID);                                         \
    __attribute__((constructor)) static void vks_dll_attach_##fn() { VksRegisterDllEntry(fn, (const void*)&fn); } \
    __attribute__((destructor)) static void vks_dll_detach_##fn() { VksUnregisterDllEntry(fn, (const void*)&fn); }
