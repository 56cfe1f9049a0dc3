// Internals shared by the files that implement the kernel object model
// (handles.cpp, sync.cpp, threads.cpp, iocp.cpp). Other platform files use
// kernel_object.h only.
#pragma once

#include "kernel_object.h"

#include <condition_variable>

namespace vks::kernel {

class Mutex;
class ThreadObject;

// Per-thread record. Created on a thread's first use of the layer and
// destroyed when the thread ends (see threads.cpp); all fields but `id` and
// `wake` are guarded by the kernel lock.
struct ThreadState {
    DWORD id = 0;
    std::condition_variable wake;  // a blocked wait of this thread sleeps here
    ThreadObject* thread = nullptr;  // its thread object, once one exists (owning)
    Mutex* ownedMutexes = nullptr;   // list of mutexes the thread owns
    DWORD exitCode = 0;
};

// A blocked wait of one thread on up to MAXIMUM_WAIT_OBJECTS objects.
struct Waiter {
    ThreadState* thread;
    KernelObject* const* objects;
    WaitBlock* blocks;  // one per object, linked into that object's list
    DWORD count;
    bool waitAll;
    bool done = false;
    DWORD result = WAIT_TIMEOUT;
};

struct WaitBlock {
    WaitBlock* prev;
    WaitBlock* next;
    Waiter* waiter;
};

// Access to KernelObject's bookkeeping for the implementation files.
struct KernelAccess {
    static long& Handles(KernelObject* o) { return o->handles_; }
    static WaitBlock*& Head(KernelObject* o) { return o->waitHead_; }
    static WaitBlock*& Tail(KernelObject* o) { return o->waitTail_; }
    static void*& Name(KernelObject* o) { return o->name_; }
    static long Refs(KernelObject* o) { return o->refs_.load(std::memory_order_relaxed); }
};

// Process-wide lock object (a plain global: constant-initialised and never
// destroyed, so threads still running at exit can use it).
extern std::mutex g_kernelLock;

// threads.cpp: the object behind GetCurrentThread()/GetCurrentProcess(),
// created on demand. Lock held.
KernelObject* CurrentThreadObjectLocked(ThreadState* ts) noexcept;
KernelObject* ProcessObjectLocked() noexcept;

// sync.cpp: the thread ends owning these mutexes; they become abandoned.
// Lock held.
void AbandonMutexesLocked(ThreadState* ts) noexcept;

// sync.cpp: first satisfiable outcome for a wait, consuming the objects, or
// WAIT_TIMEOUT when the wait cannot be satisfied now. Lock held.
DWORD TrySatisfyLocked(ThreadState* ts, KernelObject* const* objects, DWORD count, bool waitAll) noexcept;

// Named objects: finds a live object with this name (referenced) or records
// `created` under it. Returns the existing object or null. Lock held.
KernelObject* FindOrAddNamedLocked(LPCWSTR name, KernelObject* created) noexcept;

// Thread-local last error.
extern thread_local DWORD t_lastError;

}  // namespace vks::kernel
