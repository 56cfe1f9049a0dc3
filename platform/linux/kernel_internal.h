// Internals shared by the files that implement the kernel object model
// (handles.cpp, sync.cpp, threads.cpp, iocp.cpp). Other platform files use
// kernel_object.h only.
#pragma once

#include "kernel_object.h"

#include <cstdint>

namespace vks::kernel {

class ThreadObject;

// A thread's record for lock-free handle lookups: never freed, reused by
// later threads. `seq` is odd while the thread is inside a ReadSection.
struct alignas(64) Reader {
    std::atomic<uint64_t> seq{0};
    std::atomic<bool> busy{true};
    Reader* next = nullptr;
    int depth = 0;  // nesting; only its thread uses it
};
Reader* AcquireReader() noexcept;
void ReleaseReader(Reader* reader) noexcept;

// Per-thread record. Created on a thread's first use of the layer and
// destroyed when the thread ends (see threads.cpp).
struct ThreadState {
    DWORD id = 0;
    Reader* reader = nullptr;
    ThreadObject* thread = nullptr;  // its thread object, once one exists (owning); under KernelLock()
    DWORD exitCode = 0;
};

// A blocked wait of one thread on up to MAXIMUM_WAIT_OBJECTS objects; lives
// on the waiting thread's stack. Whoever satisfies it claims `state` with a
// compare-and-swap while holding the lock of an object the wait is linked
// to, and the waiter takes every one of those locks before it returns, so
// nobody touches the record after it is gone.
struct Waiter {
    enum : uint32_t { kWaiting, kClaimed, kDone, kCancelled };
    ThreadState* thread;
    KernelObject* const* objects;
    WaitBlock* blocks;  // one per object, linked into that object's list
    DWORD count;
    bool waitAll;
    std::atomic<uint32_t> state{kWaiting};
    std::atomic<uint32_t> wake{0};  // futex word: bumped whenever the waiter should look again
    DWORD result = WAIT_TIMEOUT;
};

struct WaitBlock {
    WaitBlock* prev;
    WaitBlock* next;
    Waiter* waiter;
    DWORD index;  // of the object in the wait's array
    bool linked;  // under the object's lock
};

// The calling thread's record (threads.cpp); inline for the hot paths.
extern constinit thread_local ThreadState* t_state __attribute__((tls_model("initial-exec")));
inline ThreadState* CurrentThreadStateIfAny() noexcept { return t_state; }
inline ThreadState* CurrentThread() noexcept {
    if (ThreadState* ts = t_state) return ts;
    return CurrentThreadState();
}

// Whether readers may publish their sections with a plain store (the
// destroyer then uses the kernel's process-wide memory barrier).
extern bool g_asymmetric;

// While a thread is inside a ReadSection, no object it found with
// PeekHandle is deleted: an object's last Release waits for every thread
// that is inside one. Sections are short and never block; a thread that
// needs an object beyond its section takes a reference (TryAddRef) inside it.
class ReadSection {
public:
    ReadSection() noexcept : reader_(CurrentThread()->reader) {
        if (reader_->depth++ != 0) return;
        // Published before any slot is read, and ordered against the
        // destroyer's look at it.
        const uint64_t odd = reader_->seq.load(std::memory_order_relaxed) + 1;
        if (g_asymmetric) {
            reader_->seq.store(odd, std::memory_order_relaxed);
            std::atomic_signal_fence(std::memory_order_seq_cst);
        } else {
            reader_->seq.store(odd, std::memory_order_seq_cst);
        }
    }
    ~ReadSection() {
        if (--reader_->depth == 0) {
            reader_->seq.store(reader_->seq.load(std::memory_order_relaxed) + 1, std::memory_order_release);
        }
    }
    ReadSection(const ReadSection&) = delete;
    ReadSection& operator=(const ReadSection&) = delete;

private:
    Reader* reader_;
};

// Handle value = slot index * 4, as on Windows, so 0 is never a handle and
// the low two bits of a handle value are ignored on lookup (Windows leaves
// them to applications). Slot 0 is never used. Freed slots are reused most
// recently freed first, as Windows does.
struct Slot {
    std::atomic<KernelObject*> object{nullptr};  // null when free
    uint32_t nextFree = 0;                        // next free slot index when free (under the lock)
};
constexpr uint32_t kMaxHandles = 1u << 24;
constexpr uint32_t kChunkBits = 10;
constexpr uint32_t kChunkSize = 1u << kChunkBits;
extern std::atomic<Slot*> g_chunks[kMaxHandles / kChunkSize];

inline uint32_t IndexOf(HANDLE handle) noexcept {
    const uintptr_t value = reinterpret_cast<uintptr_t>(handle);
    if (static_cast<intptr_t>(value) < 0 || (value >> 2) >= kMaxHandles) return 0;
    return static_cast<uint32_t>(value >> 2);
}

inline Slot* SlotAt(uint32_t index) noexcept {
    Slot* chunk = g_chunks[index >> kChunkBits].load(std::memory_order_acquire);
    return chunk ? &chunk[index & (kChunkSize - 1)] : nullptr;
}

KernelObject* PeekPseudoHandle(HANDLE handle) noexcept;

// Resolves a handle (and the pseudo handles) without a lock or a reference;
// inside a ReadSection only. Null when the handle names nothing.
inline KernelObject* PeekHandle(HANDLE handle) noexcept {
    if (const uint32_t index = IndexOf(handle)) {
        Slot* slot = SlotAt(index);
        return slot ? slot->object.load(std::memory_order_seq_cst) : nullptr;
    }
    return PeekPseudoHandle(handle);
}

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

// Sleeps while *word == expected, until woken or until the absolute
// CLOCK_MONOTONIC deadline in nanoseconds (0: none). False on time-out.
bool FutexWait(std::atomic<uint32_t>* word, uint32_t expected, uint64_t deadlineNs) noexcept;
void FutexWake(std::atomic<uint32_t>* word, int count) noexcept;
// CLOCK_MONOTONIC now + milliseconds, in nanoseconds; 0 for INFINITE.
uint64_t DeadlineAfter(DWORD milliseconds) noexcept;

// threads.cpp: the object behind GetCurrentThread()/GetCurrentProcess(),
// created on demand. KernelLock() held.
KernelObject* CurrentThreadObjectLocked(ThreadState* ts) noexcept;
KernelObject* ProcessObjectLocked() noexcept;

// sync.cpp: the thread ends owning these mutexes; they become abandoned.
// No lock held.
void AbandonMutexes(ThreadState* ts) noexcept;

// Named objects: finds a live object with this name (referenced) or records
// `created` under it. Returns the existing object or null. KernelLock() held.
KernelObject* FindOrAddNamedLocked(LPCWSTR name, KernelObject* created) noexcept;

// Thread-local last error.
extern thread_local DWORD t_lastError;

}  // namespace vks::kernel
