// The small module conf_module loads: an exported function, and a DllMain
// that records its attach (and reports its detach) so the program can check
// that the entry point ran with the module's own handle.
#include "vks_platform.h"

#if defined(_WIN32)
#  define CONF_EXPORT extern "C" __declspec(dllexport)
#else
#  define CONF_EXPORT extern "C" __attribute__((visibility("default")))
#endif

namespace {
int g_attachCount = 0;
HMODULE g_self = nullptr;
LONG* g_detachFlag = nullptr;
}  // namespace

VKS_DLL_ENTRY(DllMain)

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) {
        ++g_attachCount;
        g_self = instance;
        DisableThreadLibraryCalls(instance);
    } else if (reason == DLL_PROCESS_DETACH) {
        if (g_detachFlag) *g_detachFlag = 1;
    }
    return TRUE;
}

CONF_EXPORT int ConfModuleAttachCount() { return g_attachCount; }
CONF_EXPORT HMODULE ConfModuleSelf() { return g_self; }
CONF_EXPORT int ConfModuleAdd(int a, int b) { return a + b; }
// The flag is set to 1 when the module's DllMain sees DLL_PROCESS_DETACH.
CONF_EXPORT void ConfModuleSetDetachFlag(LONG* flag) { g_detachFlag = flag; }
