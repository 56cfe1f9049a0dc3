// dladdr for the Windows test programs: the module holding an address.
#pragma once

#include <windows.h>

typedef struct {
    const char* dli_fname;
    void* dli_fbase;
    const char* dli_sname;
    void* dli_saddr;
} Dl_info;

static inline int dladdr(const void* address, Dl_info* info) {
    static char name[MAX_PATH];
    HMODULE module = NULL;
    if (!GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                            (LPCSTR)address, &module) ||
        GetModuleFileNameA(module, name, MAX_PATH) == 0) {
        return 0;
    }
    *info = (Dl_info){name, module, NULL, NULL};
    return 1;
}
