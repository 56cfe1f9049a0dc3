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

// Extended start-up information: the attribute list CreateProcessW reads
// when dwCreationFlags holds EXTENDED_STARTUPINFO_PRESENT.
#define EXTENDED_STARTUPINFO_PRESENT 0x00080000
#define PROC_THREAD_ATTRIBUTE_HANDLE_LIST 0x00020002
#define PROC_THREAD_ATTRIBUTE_JOB_LIST 0x0002000D
typedef struct _PROC_THREAD_ATTRIBUTE_LIST* PPROC_THREAD_ATTRIBUTE_LIST, *LPPROC_THREAD_ATTRIBUTE_LIST;

typedef struct _STARTUPINFOEXW {
    STARTUPINFOW StartupInfo;
    LPPROC_THREAD_ATTRIBUTE_LIST lpAttributeList;
} STARTUPINFOEXW, *LPSTARTUPINFOEXW;
static_assert(sizeof(STARTUPINFOEXW) == 112, "STARTUPINFOEXW is 112 bytes on 64-bit Windows");

// Job objects: only the kill-on-close limit is supported.
#define JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE 0x00002000
typedef enum _JOBOBJECTINFOCLASS { JobObjectExtendedLimitInformation = 9 } JOBOBJECTINFOCLASS;

typedef struct _JOBOBJECT_BASIC_LIMIT_INFORMATION {
    LARGE_INTEGER PerProcessUserTimeLimit;
    LARGE_INTEGER PerJobUserTimeLimit;
    DWORD LimitFlags;
    SIZE_T MinimumWorkingSetSize;
    SIZE_T MaximumWorkingSetSize;
    DWORD ActiveProcessLimit;
    ULONG_PTR Affinity;
    DWORD PriorityClass;
    DWORD SchedulingClass;
} JOBOBJECT_BASIC_LIMIT_INFORMATION;
static_assert(sizeof(JOBOBJECT_BASIC_LIMIT_INFORMATION) == 64, "64 bytes on 64-bit Windows");

typedef struct _IO_COUNTERS {
    ULONGLONG ReadOperationCount;
    ULONGLONG WriteOperationCount;
    ULONGLONG OtherOperationCount;
    ULONGLONG ReadTransferCount;
    ULONGLONG WriteTransferCount;
    ULONGLONG OtherTransferCount;
} IO_COUNTERS;

typedef struct _JOBOBJECT_EXTENDED_LIMIT_INFORMATION {
    JOBOBJECT_BASIC_LIMIT_INFORMATION BasicLimitInformation;
    IO_COUNTERS IoInfo;
    SIZE_T ProcessMemoryLimit;
    SIZE_T JobMemoryLimit;
    SIZE_T PeakProcessMemoryUsed;
    SIZE_T PeakJobMemoryUsed;
} JOBOBJECT_EXTENDED_LIMIT_INFORMATION;
static_assert(sizeof(JOBOBJECT_EXTENDED_LIMIT_INFORMATION) == 144, "144 bytes on 64-bit Windows");

extern "C" {
// Starts a program. Only the inheritable events of the caller (created with
// SECURITY_ATTRIBUTES whose bInheritHandle is TRUE, or marked with
// SetHandleInformation) are inherited when bInheritHandles is TRUE, with the
// same handle values, and are shared with the child: setting one in either
// process releases waiters in both. CREATE_SUSPENDED is not supported
// (ERROR_NOT_SUPPORTED); window, console and priority flags are accepted and
// have no effect; STARTUPINFOW is read for nothing but its presence.
// With EXTENDED_STARTUPINFO_PRESENT the start-up information is a
// STARTUPINFOEXW whose attribute list may name the only handles the child
// inherits (PROC_THREAD_ATTRIBUTE_HANDLE_LIST; each must be inheritable, else
// ERROR_INVALID_PARAMETER) and jobs the child starts in
// (PROC_THREAD_ATTRIBUTE_JOB_LIST).
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

// Attribute lists: at most 4 attributes; dwFlags must be 0. The list keeps
// the value pointers given to UpdateProcThreadAttribute (as on Windows, the
// values must stay valid until CreateProcessW has used the list).
BOOL WINAPI InitializeProcThreadAttributeList(LPPROC_THREAD_ATTRIBUTE_LIST lpAttributeList, DWORD dwAttributeCount,
                                              DWORD dwFlags, SIZE_T* lpSize);
BOOL WINAPI UpdateProcThreadAttribute(LPPROC_THREAD_ATTRIBUTE_LIST lpAttributeList, DWORD dwFlags,
                                      DWORD_PTR Attribute, PVOID lpValue, SIZE_T cbSize, PVOID lpPreviousValue,
                                      SIZE_T* lpReturnSize);
void WINAPI DeleteProcThreadAttributeList(LPPROC_THREAD_ATTRIBUTE_LIST lpAttributeList);

// Job objects, unnamed only (a name: ERROR_NOT_SUPPORTED). With
// JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE set, the processes of the job are ended
// when its last handle is closed, and so when the process holding it ends,
// however it ends. A process joins a job only as it starts
// (PROC_THREAD_ATTRIBUTE_JOB_LIST, one job); AssignProcessToJobObject is not
// offered.
HANDLE WINAPI CreateJobObjectW(LPSECURITY_ATTRIBUTES lpJobAttributes, LPCWSTR lpName);
BOOL WINAPI SetInformationJobObject(HANDLE hJob, JOBOBJECTINFOCLASS JobObjectInformationClass,
                                   LPVOID lpJobObjectInformation, DWORD cbJobObjectInformationLength);
}
