// Included first in every source of the Windows test programs: the POSIX
// calls the suite uses (environment, paths), made of Windows calls.
//
// The program's CRT and the Win32 environment block are both set, so that
// GetEnvironmentVariableW, getenv and child processes all see the change.
// VKS_DLL_PATH is the Linux layer's extra DLL search folder; on Windows the
// same is SetDllDirectory (one folder, which is all the tests give).
#pragma once

#ifdef __cplusplus
#include <cstdio>
#include <cstdlib>
#include <cstring>
#else
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#endif

#include <sys/types.h>

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

// readlink of "/proc/<pid>/exe" and realpath, as the tests use them: a
// program's and a module's full path, with '/' between folders.
static inline void VksTestSlashes(char* path) {
    for (; *path != '\0'; ++path) *path = *path == '\\' ? '/' : *path;
}

static inline ssize_t readlink(const char* link, char* buffer, size_t size) {
    unsigned long pid = 0;
    char tail[8] = {0};
    if (sscanf(link, "/proc/%lu/%7s", &pid, tail) != 2 || strcmp(tail, "exe") != 0 || size == 0) return -1;
    HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid);
    if (process == NULL) return -1;
    char path[MAX_PATH];
    DWORD length = MAX_PATH;
    const BOOL ok = QueryFullProcessImageNameA(process, 0, path, &length);
    CloseHandle(process);
    if (!ok) return -1;
    VksTestSlashes(path);
    if (length > size) length = (DWORD)size;
    memcpy(buffer, path, length);
    return (ssize_t)length;
}

static inline char* realpath(const char* path, char* resolved) {
    if (_fullpath(resolved, path, MAX_PATH) == NULL) return NULL;
    VksTestSlashes(resolved);
    return resolved;
}
