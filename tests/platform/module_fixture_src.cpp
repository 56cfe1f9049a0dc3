// Test module for module_test.cpp: reports attach and detach through
// OutputDebugStringW (the test captures it) and refuses the attach when
// VKS_TEST_REFUSE_ATTACH is set.
#include "vks_platform.h"

#include <cstdlib>

VKS_DLL_ENTRY(DllMain)

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
    if (reason == DLL_PROCESS_ATTACH) {
        OutputDebugStringW(u"fixture attach");
        const char* refuse = std::getenv("VKS_TEST_REFUSE_ATTACH");
        return refuse && *refuse ? FALSE : TRUE;
    }
    if (reason == DLL_PROCESS_DETACH) OutputDebugStringW(reserved ? u"fixture detach exiting" : u"fixture detach");
    return TRUE;
}

extern "C" __attribute__((visibility("default"))) int FixtureAnswer() { return 42; }
