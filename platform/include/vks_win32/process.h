// Processes: CreateProcessW with inherited handles, process waits, exit codes
// and termination, and handle inheritance flags. Layouts and constants are
// those of 64-bit Windows; the Linux mapping of executable names, command
// lines and inherited events is described in platform/README.md.
#pragma once

#include "types.h"

#define CREATE_NEW_CONSOLE 0x00000010
#define CREATE_NEW_PROCESS_GROUP 0x00000200
#define CREATE_UNICODE_ENVIRONMENT 0x00000400
#define CREATE_NO_WINDOW 0x08000000
#define DETACHED_PROCESS 0x00000008
#define NORMAL_PRIORITY_CLASS 0x00000020
#define HANDLE_FLAG_INHERIT 0x00000001
#define HANDLE_FLAG_PROTECT_FROM_CLOSE 0x00000002
#define STARTF_USESHOWWINDOW 0x00000001
#define STARTF_USESTDHANDLES 0x00000100

typedef struct _STARTUPINFOW {
    DWORD cb;
    LPWSTR lpReserved;
    LPWSTR lpDesktop;
    LPWSTR lpTitle;
    DWORD dwX;
    DWORD dwY;
    DWORD dwXSize;
    DWORD dwYSize;
    DWORD dwXCountChars;
    DWORD dwYCountChars;
    DWORD dwFillAttribute;
    DWORD dwFlags;
    WORD wShowWindow;
    WORD cbReserved2;
    LPBYTE lpReserved2;
    HANDLE hStdInput;
    HANDLE hStdOutput;
    HANDLE hStdError;
} STARTUPINFOW, *LPSTARTUPINFOW;
static_assert(sizeof(STARTUPINFOW) == 104, "STARTUPINFOW is 104 bytes on 64-bit Windows");

typedef struct _PROCESS_INFORMATION {
    HANDLE hProcess;
    HANDLE hThread;
    DWORD dwProcessId;
    DWORD dwThreadId;
} PROCESS_INFORMATION, *PPROCESS_INFORMATION, *LPPROCESS_INFORMATION;
static_assert(sizeof(PROCESS_INFORMATION) == 24, "PROCESS_INFORMATION is 24 bytes on 64-bit Windows");

extern "C" {
// Starts a program. Only the inheritable events of the caller (created with
// SECURITY_ATTRIBUTES whose bInheritHandle is TRUE, or marked with
// SetHandleInformation) are inherited when bInheritHandles is TRUE, with the
// same handle values, and are shared with the child: setting one in either
// process releases waiters in both. CREATE_SUSPENDED is not supported
// (ERROR_NOT_SUPPORTED); window, console and priority flags are accepted and
// have no effect; STARTUPINFOW is read for nothing but its presence.
BOOL WINAPI CreateProcessW(LPCWSTR lpApplicationName, LPWSTR lpCommandLine,
                           LPSECURITY_ATTRIBUTES lpProcessAttributes, LPSECURITY_ATTRIBUTES lpThreadAttributes,
                           BOOL bInheritHandles, DWORD dwCreationFlags, LPVOID lpEnvironment,
                           LPCWSTR lpCurrentDirectory, LPSTARTUPINFOW lpStartupInfo,
                           LPPROCESS_INFORMATION lpProcessInformation);
#define CreateProcess CreateProcessW
BOOL WINAPI GetExitCodeProcess(HANDLE hProcess, LPDWORD lpExitCode);
BOOL WINAPI TerminateProcess(HANDLE hProcess, UINT uExitCode);
DWORD WINAPI GetProcessId(HANDLE Process);
[[noreturn]] void WINAPI ExitProcess(UINT uExitCode);
// Only inheritable events (see CreateProcessW) can be marked inheritable;
// marking another object fails with ERROR_NOT_SUPPORTED. Clearing the flag
// always succeeds. HANDLE_FLAG_PROTECT_FROM_CLOSE is not supported.
BOOL WINAPI SetHandleInformation(HANDLE hObject, DWORD dwMask, DWORD dwFlags);
BOOL WINAPI GetHandleInformation(HANDLE hObject, LPDWORD lpdwFlags);
}
