// I/O completion ports serviced by the library's own threads.
#pragma once

#include "vks_platform.h"
#include "vksacc.h"

// One port and the threads that service it; all zero while it does not exist.
struct COMPLETION_PORT {
    HANDLE hPort;
    HANDLE* phThreads;
    DWORD NumThreads;
};

// Creates the port and `numThreads` threads running `threadFunction` with the
// port handle as argument, at THREAD_PRIORITY_HIGHEST.
VKSERROR InitialiseCompletionPort(COMPLETION_PORT* port, LPTHREAD_START_ROUTINE threadFunction, DWORD numThreads);
// Posts one stop packet per thread, waits for them and closes the port.
VKSERROR UninitialiseCompletionPort(COMPLETION_PORT* port);
// True when the calling thread is one of the port's threads, which cannot
// uninitialise the port: it would wait for itself.
bool OnCompletionPortThread(const COMPLETION_PORT* port);
// Binds an overlapped file handle to the port with a completion key.
VKSERROR AssociateCompletionPort(COMPLETION_PORT* port, HANDLE hFileOv, ULONG_PTR completionKey);

VKSERROR StartWorkerCompletionPort();
VKSERROR StopWorkerCompletionPort();

// The worker port's thread: turns completions of commands on open objects
// into callbacks.
DWORD WINAPI WorkerThread(LPVOID port);
