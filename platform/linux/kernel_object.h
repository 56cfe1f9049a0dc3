// The kernel object model of the Linux platform layer: reference-counted
// objects behind HANDLE values, each guarding its own waitable state, and one
// wait mechanism shared by every waitable kind.
//
// Other platform files include this header to add object kinds (device
// files, processes, ...) and to signal them.
//
// Locking
//   Every object has its own small lock, StateLock(), which guards its
//   waitable state and its list of blocked waits. KernelLock() guards only
//   the handle table, the object namespace and the few process-wide lists
//   (it may be held while taking an object's lock, never the other way
//   round). Waits that name several objects take their locks in address
//   order. The hooks below run with the object's lock held, so they must be
//   short, must not block, must not call any Win32 function of this layer and
//   must not take other locks. Never drop an object's last reference with a
//   lock held (Release can run a destructor that takes KernelLock()):
//   collect references and release them after unlocking.
//
// Adding an object kind
//   1. Derive from KernelObject (or FileObject for anything CreateIoCompletion
//      Port and GetOverlappedResult should accept). Override TypeName().
//   2. Waitable kinds override IsWaitable() to return true, IsSignaled() to
//      say whether a wait by `waiter` would be satisfied now, and, when a
//      satisfied wait consumes state (auto-reset, counts, ownership),
//      Satisfy() to consume it; Satisfy returns true when the wait must
//      report WAIT_ABANDONED_0 + n.
//   3. Create the object with `new` (it starts with one reference, owned by
//      the creator), give it to InsertHandle, then drop the creator's
//      reference: `Ref<MyKind> obj = Ref<MyKind>::Adopt(new MyKind); HANDLE h
//      = InsertHandle(obj.get());`.
//   4. Whenever its state changes in a way that may satisfy waiters, change it
//      under obj->StateLock() and call SignalLocked(obj) before unlocking.
//   5. A function that takes a handle of the kind resolves it with
//      ReferenceHandleAs<MyKind>(h) (fails with ERROR_INVALID_HANDLE), or
//      with LookupHandleLocked(h) under KernelLock() when it only needs the
//      object for the duration of that lock.
//   6. OnLastHandleClosed() runs (under KernelLock()) when the last handle to
//      the object is closed; references held elsewhere (a wait in progress, a
//      file's completion-port binding) keep the memory alive after that.
//
// Overlapped I/O on a FileObject
//   BeginOverlapped(file, ov) when a request is accepted and will finish
//   later (the caller then fails with ERROR_IO_PENDING); CompleteOverlapped(
//   file, ov, error, bytes) when it finishes. Completion writes the status and
//   the byte count into ov->Internal / ov->InternalHigh, sets ov->hEvent (or
//   the file itself when there is no event), and queues a packet to the
//   completion port bound to the file with its key, unless the low bit of
//   ov->hEvent is set (the Windows convention for "no packet").
#pragma once

#include "vks_win32/kernel.h"

#include <atomic>
#include <mutex>
#include <utility>

namespace vks::kernel {

struct ThreadState;  // the calling thread's record
struct WaitBlock;    // one waiter's link in one object's wait list
class FastObject;    // events, mutexes and semaphores (sync.cpp)

// NTSTATUS values as kept in OVERLAPPED::Internal and in completion packets.
using NtStatus = LONG;
constexpr NtStatus kStatusSuccess = 0;
constexpr NtStatus kStatusPending = 0x103;
NtStatus NtStatusFromWin32Error(DWORD error) noexcept;
DWORD Win32ErrorFromNtStatus(NtStatus status) noexcept;
inline bool NtSuccess(NtStatus s) noexcept { return s >= 0; }

std::mutex& KernelLock() noexcept;

class KernelObject {
public:
    KernelObject() noexcept = default;
    KernelObject(const KernelObject&) = delete;
    KernelObject& operator=(const KernelObject&) = delete;

    void AddRef() noexcept { refs_.fetch_add(1, std::memory_order_relaxed); }
    void Release() noexcept {
        if (refs_.fetch_sub(1, std::memory_order_acq_rel) == 1) Destroy();
    }
    // Takes a reference unless the object is already on its way out.
    bool TryAddRef() noexcept;

    virtual const char* TypeName() const noexcept = 0;

    // Guards the object's waitable state and its wait list.
    std::mutex& StateLock() const noexcept { return lock_; }

    // Hooks; all run with StateLock() held.
    virtual bool IsWaitable() const noexcept { return false; }
    virtual bool IsSignaled(const ThreadState* waiter) const noexcept { return false; }
    virtual bool Satisfy(ThreadState* waiter) noexcept { return false; }
    virtual bool IsFile() const noexcept { return false; }
    virtual void OnLastHandleClosed() noexcept {}
    // Kinds whose uncontended operations need no lock (sync.cpp).
    virtual FastObject* AsFast() noexcept { return nullptr; }

protected:
    virtual ~KernelObject();

private:
    friend struct KernelAccess;
    void Destroy() noexcept;  // last reference gone: waits for lock-free readers, then deletes
    std::atomic<long> refs_{1};
    mutable std::mutex lock_;
    WaitBlock* waitHead_ = nullptr;   // FIFO list of waiters; under lock_
    WaitBlock* waitTail_ = nullptr;
    long handles_ = 0;                // open handles; under KernelLock()
    void* name_ = nullptr;            // entry in the object namespace, if named; under KernelLock()
};

// An owning pointer to a kernel object.
template <class T>
class Ref {
public:
    Ref() noexcept = default;
    Ref(std::nullptr_t) noexcept {}
    static Ref Adopt(T* p) noexcept { Ref r; r.p_ = p; return r; }
    static Ref Share(T* p) noexcept { if (p) p->AddRef(); return Adopt(p); }
    Ref(const Ref& o) noexcept : p_(o.p_) { if (p_) p_->AddRef(); }
    Ref(Ref&& o) noexcept : p_(std::exchange(o.p_, nullptr)) {}
    template <class U>
    Ref(Ref<U>&& o) noexcept : p_(o.Detach()) {}
    Ref& operator=(Ref o) noexcept { std::swap(p_, o.p_); return *this; }
    ~Ref() { if (p_) p_->Release(); }
    T* get() const noexcept { return p_; }
    T* operator->() const noexcept { return p_; }
    T& operator*() const noexcept { return *p_; }
    explicit operator bool() const noexcept { return p_ != nullptr; }
    T* Detach() noexcept { return std::exchange(p_, nullptr); }
    void Reset() noexcept { Ref().swap(*this); }
    void swap(Ref& o) noexcept { std::swap(p_, o.p_); }

private:
    T* p_ = nullptr;
};

// --- Handles -------------------------------------------------------------------
// Gives the object a new handle (the handle holds its own reference). Returns
// NULL with ERROR_NO_SYSTEM_RESOURCES when the table is full.
HANDLE InsertHandle(KernelObject* object) noexcept;
// Same, with the lock already held.
HANDLE InsertHandleLocked(KernelObject* object) noexcept;
// Resolves a handle (and the GetCurrentProcess/GetCurrentThread pseudo
// handles) to a referenced object; null with ERROR_INVALID_HANDLE otherwise.
Ref<KernelObject> ReferenceHandle(HANDLE handle) noexcept;
template <class T>
Ref<T> ReferenceHandleAs(HANDLE handle) noexcept {
    Ref<KernelObject> obj = ReferenceHandle(handle);
    if (!obj) return nullptr;
    if (T* t = dynamic_cast<T*>(obj.get())) {
        obj.Detach();
        return Ref<T>::Adopt(t);
    }
    SetLastError(ERROR_INVALID_HANDLE);
    return nullptr;
}
// Resolves a handle with KernelLock() held; no reference taken, no error set.
KernelObject* LookupHandleLocked(HANDLE handle) noexcept;
// ReferenceHandle without touching the last error.
Ref<KernelObject> ReferenceHandleQuiet(HANDLE handle) noexcept;

// --- Waits ---------------------------------------------------------------------
// Satisfies, in arrival order, the waits on `object` that its new state (and
// that of the other objects those waits name) allows. The object's
// StateLock() held.
void SignalLocked(KernelObject* object) noexcept;

// The calling thread's record (created on first use, for any thread).
ThreadState* CurrentThreadState() noexcept;

// SetEvent / ResetEvent on an object already resolved (no lock held); false
// when the object is not an event.
bool SetEventObject(KernelObject* object) noexcept;
bool ResetEventObject(KernelObject* object) noexcept;

// --- Files and completion ports ---------------------------------------------------
class FileObject : public KernelObject {
public:
    bool IsFile() const noexcept override { return true; }
    bool IsWaitable() const noexcept override { return true; }
    bool IsSignaled(const ThreadState*) const noexcept override { return signaled_; }

    // Binding made by CreateIoCompletionPort; under StateLock(). The file
    // holds a reference to the port.
    KernelObject* completionPort = nullptr;
    ULONG_PTR completionKey = 0;

protected:
    ~FileObject() override;
    bool signaled_ = true;  // set when an overlapped request completes

    friend void BeginOverlapped(FileObject*, OVERLAPPED*) noexcept;
    friend void CompleteOverlapped(FileObject*, OVERLAPPED*, DWORD, ULONG_PTR) noexcept;
};

// Marks an accepted overlapped request as pending: Internal = STATUS_PENDING,
// InternalHigh = 0, ov->hEvent (if any) and the file reset.
void BeginOverlapped(FileObject* file, OVERLAPPED* ov) noexcept;
// Finishes an overlapped request with a Win32 error (ERROR_SUCCESS for
// success) and a byte count; see the top of this header. Lock not held.
void CompleteOverlapped(FileObject* file, OVERLAPPED* ov, DWORD error, ULONG_PTR bytes) noexcept;
// Queues one packet to a completion port (any other object: no effect,
// false). Packets to a port whose handles are all closed are dropped. No lock
// held.
bool QueueCompletion(KernelObject* port, ULONG_PTR key, NtStatus status, ULONG_PTR bytes, OVERLAPPED* ov) noexcept;

}  // namespace vks::kernel
