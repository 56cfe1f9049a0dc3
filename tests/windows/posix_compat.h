// Included first in every source of the Windows test programs: the POSIX
// environment calls the suite uses, on the Windows environment.
//
// The program's CRT and the Win32 environment block are both set, so that
// GetEnvironmentVariableW, getenv and child processes all see the change.
// VKS_DLL_PATH is the Linux layer's extra DLL search folder; on Windows the
// same is SetDllDirectory (one folder, which is all the tests give).
#pragma once

#ifdef __cplusplus
#include <cstdlib>
#include <cstring>
#else
#include <stdlib.h>
#include <string.h>
#endif

#include <windows.h>

static inline int setenv(const char* name, const char* value, int overwrite) {
    if (!overwrite && getenv(name) != NULL) return 0;
    if (_putenv_s(name, value) != 0 || !SetEnvironmentVariableA(name, value)) return -1;
    if (strcmp(name, "VKS_DLL_PATH") == 0) SetDllDirectoryA(value);
    return 0;
}

static inline int unsetenv(const char* name) {
    // An empty value removes the variable from the CRT's copy.
    _putenv_s(name, "");
    SetEnvironmentVariableA(name, NULL);
    if (strcmp(name, "VKS_DLL_PATH") == 0) SetDllDirectoryA(NULL);
    return 0;
}
