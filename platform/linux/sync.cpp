// Waits, events, mutexes, semaphores and critical sections.
//
// Handles are resolved without a lock (ReadSection, PeekHandle). Events,
// mutexes and semaphores keep their state in an atomic word, so that their
// uncontended operations (an owned mutex's re-entry, a wait on a signalled
// event, a semaphore count, a set with nobody waiting) are one
// compare-and-swap or a plain read. Everything else goes through each
// object's own lock: a wait that can be satisfied at once takes the locks of
// its objects (in address order), consumes what it needs and returns; a wait that must block puts one
// WaitBlock per object (on its own stack) at the tail of that object's list
// and sleeps on a futex word in its Waiter. Whoever makes an object signalled
// calls SignalLocked, which satisfies waiters in arrival order on the
// signalling thread (consuming auto-reset events, semaphore counts and mutex
// ownership on the waiter's behalf, and claiming the waiter with a
// compare-and-swap so that two objects never satisfy one wait-any). A
// wait-all is satisfied only with the locks of all its objects held: the
// signaller tries to take the other locks without blocking, and when one is
// busy it wakes the waiter, which takes them all in address order and checks
// again itself. So a woken waiter never has to compete again, and a wait-all
// acquires all of its objects atomically.
#include "kernel_internal.h"
#include "process_internal.h"

#include <linux/futex.h>
#include <pthread.h>
#include <sys/syscall.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <new>

namespace vks::kernel {

bool FutexWait(std::atomic<uint32_t>* word, uint32_t expected, uint64_t deadlineNs) noexcept {
    timespec ts{};
    if (deadlineNs) {
        ts.tv_sec = static_cast<time_t>(deadlineNs / 1000000000u);
        ts.tv_nsec = static_cast<long>(deadlineNs % 1000000000u);
    }
    const long rc = syscall(SYS_futex, reinterpret_cast<uint32_t*>(word), FUTEX_WAIT_BITSET | FUTEX_PRIVATE_FLAG,
                            expected, deadlineNs ? &ts : nullptr, nullptr, FUTEX_BITSET_MATCH_ANY);
    return !(rc != 0 && errno == ETIMEDOUT);
}

void FutexWake(std::atomic<uint32_t>* word, int count) noexcept {
    syscall(SYS_futex, reinterpret_cast<uint32_t*>(word), FUTEX_WAKE | FUTEX_PRIVATE_FLAG, count, nullptr, nullptr, 0);
}

uint64_t DeadlineAfter(DWORD milliseconds) noexcept {
    if (milliseconds == INFINITE) return 0;
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<uint64_t>(now.tv_sec) * 1000000000u + static_cast<uint64_t>(now.tv_nsec) +
           static_cast<uint64_t>(milliseconds) * 1000000u;
}

class Mutex;

namespace {

// Every live mutex, so that a thread that ends can find the ones it owns
// (ownership itself is part of the mutex's state word).
std::mutex g_mutexListLock;
Mutex* g_mutexes = nullptr;

}  // namespace

// Events, mutexes and semaphores keep their state in one atomic word, so
// that an uncontended operation is one compare-and-swap (or a plain read)
// without any lock. kLocked in the word says that the state may change only
// under StateLock(): it is set whenever the lock is taken (LockObject) and
// cleared when the lock is given back with no waiter left, so a fast path
// that finds it set takes the lock instead, and the waiters of an object are
// always seen by whoever changes its state.
class FastObject : public KernelObject {
public:
    enum class Kind { Event, Mutex, Semaphore };
    static constexpr uint64_t kLocked = 1ull << 63;

    FastObject(Kind kind, uint64_t initial) noexcept : kind(kind), word(initial) {}
    bool IsWaitable() const noexcept override { return true; }
    FastObject* AsFast() noexcept override { return this; }

    const Kind kind;
    std::atomic<uint64_t> word;
};

namespace {

void LockObject(KernelObject* object) noexcept {
    object->StateLock().lock();
    if (FastObject* fast = object->AsFast()) fast->word.fetch_or(FastObject::kLocked, std::memory_order_acq_rel);
}

bool TryLockObject(KernelObject* object) noexcept {
    if (!object->StateLock().try_lock()) return false;
    if (FastObject* fast = object->AsFast()) fast->word.fetch_or(FastObject::kLocked, std::memory_order_acq_rel);
    return true;
}

void UnlockObject(KernelObject* object) noexcept {
    if (FastObject* fast = object->AsFast(); fast && !KernelAccess::Head(object)) {
        fast->word.fetch_and(~FastObject::kLocked, std::memory_order_release);
    }
    object->StateLock().unlock();
}

struct ObjectGuard {
    explicit ObjectGuard(KernelObject* o) noexcept : object(o) { LockObject(o); }
    ~ObjectGuard() { UnlockObject(object); }
    ObjectGuard(const ObjectGuard&) = delete;
    ObjectGuard& operator=(const ObjectGuard&) = delete;
    KernelObject* object;
};

}  // namespace

// Word: owner's thread id in the low 32 bits (0: unowned), kAbandoned.
// `count` is the owner's recursion count; only the owner changes it, or
// whoever hands ownership over under the lock while nobody owns it.
class Mutex final : public FastObject {
public:
    static constexpr uint64_t kAbandoned = 1ull << 62;
    static DWORD Owner(uint64_t w) noexcept { return static_cast<DWORD>(w); }

    Mutex() noexcept : FastObject(Kind::Mutex, 0) {
        std::lock_guard<std::mutex> lock(g_mutexListLock);
        next = g_mutexes;
        if (next) next->prev = this;
        g_mutexes = this;
    }
    const char* TypeName() const noexcept override { return "Mutant"; }
    bool IsSignaled(const ThreadState* waiter) const noexcept override {
        const DWORD owner = Owner(word.load(std::memory_order_acquire));
        return owner == 0 || owner == waiter->id;
    }
    bool Satisfy(ThreadState* waiter) noexcept override {
        const uint64_t w = word.load(std::memory_order_acquire);
        if (Owner(w) == waiter->id) {
            count.store(count.load(std::memory_order_relaxed) + 1, std::memory_order_relaxed);
            return false;
        }
        count.store(1, std::memory_order_relaxed);
        word.store((w & kLocked) | waiter->id, std::memory_order_release);
        return (w & kAbandoned) != 0;
    }

    std::atomic<LONG> count{0};
    // Under g_mutexListLock.
    Mutex* prev = nullptr;
    Mutex* next = nullptr;

protected:
    ~Mutex() override {
        std::lock_guard<std::mutex> lock(g_mutexListLock);
        if (prev)
            prev->next = next;
        else
            g_mutexes = next;
        if (next) next->prev = prev;
    }
};

// Word: bit 0 signalled.
class Event final : public FastObject {
public:
    Event(bool manual, bool signaled) : FastObject(Kind::Event, signaled ? 1 : 0), manual(manual) {}
    const char* TypeName() const noexcept override { return "Event"; }
    bool IsSignaled(const ThreadState*) const noexcept override {
        return (word.load(std::memory_order_acquire) & 1) != 0;
    }
    bool Satisfy(ThreadState*) noexcept override {
        if (!manual) word.fetch_and(~1ull, std::memory_order_acq_rel);
        return false;
    }
    const bool manual;
};

// Word: the count in the low 32 bits.
class Semaphore final : public FastObject {
public:
    Semaphore(LONG initial, LONG maximum)
        : FastObject(Kind::Semaphore, static_cast<uint64_t>(initial)), maximum(maximum) {}
    const char* TypeName() const noexcept override { return "Semaphore"; }
    bool IsSignaled(const ThreadState*) const noexcept override {
        return Count(word.load(std::memory_order_acquire)) > 0;
    }
    bool Satisfy(ThreadState*) noexcept override {
        word.fetch_sub(1, std::memory_order_acq_rel);
        return false;
    }
    static LONG Count(uint64_t w) noexcept { return static_cast<LONG>(static_cast<uint32_t>(w)); }
    const LONG maximum;
};

namespace {

constexpr DWORD kNoFastPath = 0xFFFFFFFEu;

// A single-object wait without the lock: the result, or kNoFastPath when the
// wait must take the lock (contended, or it would block).
DWORD TryWaitFast(FastObject* object, ThreadState* ts, bool zeroTimeout) noexcept {
    uint64_t w = object->word.load(std::memory_order_acquire);
    switch (object->kind) {
    case FastObject::Kind::Mutex: {
        auto* mutex = static_cast<Mutex*>(object);
        if (Mutex::Owner(w) == ts->id) {  // only this thread can change that
            mutex->count.store(mutex->count.load(std::memory_order_relaxed) + 1, std::memory_order_relaxed);
            return WAIT_OBJECT_0;
        }
        if (w == 0 && object->word.compare_exchange_strong(w, ts->id, std::memory_order_acquire)) {
            mutex->count.store(1, std::memory_order_relaxed);
            return WAIT_OBJECT_0;
        }
        // Unowned (abandoned, or released just now): the lock decides.
        if (Mutex::Owner(w) == 0) return kNoFastPath;
        break;
    }
    case FastObject::Kind::Event:
        while (!(w & FastObject::kLocked) && (w & 1)) {
            if (static_cast<Event*>(object)->manual) return WAIT_OBJECT_0;
            if (object->word.compare_exchange_weak(w, w & ~1ull, std::memory_order_acq_rel)) return WAIT_OBJECT_0;
        }
        break;
    case FastObject::Kind::Semaphore:
        while (!(w & FastObject::kLocked) && Semaphore::Count(w) > 0) {
            if (object->word.compare_exchange_weak(w, w - 1, std::memory_order_acq_rel)) return WAIT_OBJECT_0;
        }
        break;
    }
    if (zeroTimeout && !(w & FastObject::kLocked)) return WAIT_TIMEOUT;
    return kNoFastPath;
}

}  // namespace

bool SetEventObject(KernelObject* object) noexcept {
    FastObject* fast = object->AsFast();
    if (!fast || fast->kind != FastObject::Kind::Event) return SetSecuredEvent(object);
    uint64_t w = fast->word.load(std::memory_order_acquire);
    while (!(w & FastObject::kLocked)) {
        if (w & 1) return true;  // already set, and nobody waits
        if (fast->word.compare_exchange_weak(w, w | 1, std::memory_order_acq_rel)) return true;
    }
    ObjectGuard guard(fast);
    fast->word.fetch_or(1, std::memory_order_acq_rel);
    SignalLocked(fast);
    return true;
}

bool ResetEventObject(KernelObject* object) noexcept {
    FastObject* fast = object->AsFast();
    if (!fast || fast->kind != FastObject::Kind::Event) return ResetSecuredEvent(object);
    fast->word.fetch_and(~1ull, std::memory_order_acq_rel);
    return true;
}

namespace {

// First satisfiable outcome for a wait, consuming the objects, or
// WAIT_TIMEOUT when the wait cannot be satisfied now. The locks of all the
// objects held.
DWORD TrySatisfy(ThreadState* ts, KernelObject* const* objects, DWORD count, bool waitAll) noexcept {
    if (!waitAll) {
        for (DWORD i = 0; i < count; ++i) {
            if (objects[i]->IsSignaled(ts)) return (objects[i]->Satisfy(ts) ? WAIT_ABANDONED_0 : WAIT_OBJECT_0) + i;
        }
        return WAIT_TIMEOUT;
    }
    for (DWORD i = 0; i < count; ++i) {
        if (!objects[i]->IsSignaled(ts)) return WAIT_TIMEOUT;
    }
    // A wait-all names no single object: any abandoned mutex among them
    // gives WAIT_ABANDONED_0 itself (what Windows documents is only "in the
    // range", and what Wine returns is WAIT_ABANDONED_0).
    bool abandoned = false;
    for (DWORD i = 0; i < count; ++i) abandoned = objects[i]->Satisfy(ts) || abandoned;
    return abandoned ? WAIT_ABANDONED_0 : WAIT_OBJECT_0;
}

bool AllSignaled(ThreadState* ts, KernelObject* const* objects, DWORD count) noexcept {
    for (DWORD i = 0; i < count; ++i) {
        if (!objects[i]->IsSignaled(ts)) return false;
    }
    return true;
}

// The distinct objects of a wait in address order: the order in which
// several object locks are taken.
struct LockSet {
    KernelObject* objects[MAXIMUM_WAIT_OBJECTS];
    DWORD count = 0;

    LockSet(KernelObject* const* list, DWORD n) noexcept {
        std::copy(list, list + n, objects);
        std::sort(objects, objects + n);
        count = static_cast<DWORD>(std::unique(objects, objects + n) - objects);
    }
    void Lock() noexcept {
        for (DWORD i = 0; i < count; ++i) LockObject(objects[i]);
    }
    void Unlock() noexcept {
        for (DWORD i = count; i-- > 0;) UnlockObject(objects[i]);
    }
};

void LinkLocked(KernelObject* object, WaitBlock* block) noexcept {
    WaitBlock*& head = KernelAccess::Head(object);
    WaitBlock*& tail = KernelAccess::Tail(object);
    block->next = nullptr;
    block->prev = tail;
    if (tail)
        tail->next = block;
    else
        head = block;
    tail = block;
    block->linked = true;
}

void UnlinkLocked(KernelObject* object, WaitBlock* block) noexcept {
    WaitBlock*& head = KernelAccess::Head(object);
    WaitBlock*& tail = KernelAccess::Tail(object);
    if (block->prev)
        block->prev->next = block->next;
    else
        head = block->next;
    if (block->next)
        block->next->prev = block->prev;
    else
        tail = block->prev;
    block->linked = false;
}

// Ends a claimed wait with its result and wakes its thread.
void Finish(Waiter* w, DWORD result) noexcept {
    w->result = result;
    w->state.store(Waiter::kDone, std::memory_order_release);
    w->wake.fetch_add(1, std::memory_order_release);
    FutexWake(&w->wake, 1);
}

void Poke(Waiter* w) noexcept {
    w->wake.fetch_add(1, std::memory_order_release);
    FutexWake(&w->wake, 1);
}

// A wait-all waiter on `object` (whose lock is held): satisfies it when the
// other locks can be had at once and every object is signalled; wakes the
// waiter to check for itself when a lock is busy.
void TrySatisfyWaitAll(KernelObject* object, Waiter* w) noexcept {
    KernelObject* held[MAXIMUM_WAIT_OBJECTS];
    DWORD n = 0;
    bool busy = false;
    for (DWORD i = 0; i < w->count; ++i) {
        KernelObject* o = w->objects[i];
        if (o == object) continue;
        if (!TryLockObject(o)) {
            busy = true;
            break;
        }
        held[n++] = o;
    }
    if (!busy) {
        const bool all = AllSignaled(w->thread, w->objects, w->count);
        uint32_t expected = Waiter::kWaiting;
        if (all && w->state.compare_exchange_strong(expected, Waiter::kClaimed, std::memory_order_acq_rel)) {
            Finish(w, TrySatisfy(w->thread, w->objects, w->count, true));
        }
    }
    while (n > 0) UnlockObject(held[--n]);
    if (busy) Poke(w);
}

DWORD Wait(DWORD count, const HANDLE* handles, bool waitAll, DWORD milliseconds) {
    ThreadState* ts = CurrentThread();
    KernelObject* objects[MAXIMUM_WAIT_OBJECTS];
    DWORD referenced = 0;
    DWORD error = ERROR_SUCCESS;
    {
        // The wait holds its own references: closing the handles meanwhile
        // leaves the objects (and the wait) intact.
        ReadSection section;
        for (; referenced < count; ++referenced) {
            KernelObject* object = PeekHandle(handles[referenced]);
            if (!object || !object->IsWaitable() || !object->TryAddRef()) {
                error = ERROR_INVALID_HANDLE;
                break;
            }
            objects[referenced] = object;
        }
    }
    auto releaseAll = [&] {
        for (DWORD i = 0; i < referenced; ++i) objects[i]->Release();
    };
    if (error == ERROR_SUCCESS && waitAll) {
        // Waiting for all of a set that names one object twice is an error.
        for (DWORD i = 1; i < count && error == ERROR_SUCCESS; ++i) {
            for (DWORD j = 0; j < i; ++j) {
                if (objects[i] == objects[j]) {
                    error = ERROR_INVALID_PARAMETER;
                    break;
                }
            }
        }
    }
    if (error != ERROR_SUCCESS) {
        releaseAll();
        SetLastError(error);
        return WAIT_FAILED;
    }

    LockSet locks(objects, count);
    locks.Lock();
    DWORD result = TrySatisfy(ts, objects, count, waitAll);
    if (result != WAIT_TIMEOUT || milliseconds == 0) {
        locks.Unlock();
        releaseAll();
        return result;
    }
    WaitBlock blocks[MAXIMUM_WAIT_OBJECTS];
    Waiter waiter;
    waiter.thread = ts;
    waiter.objects = objects;
    waiter.blocks = blocks;
    waiter.count = count;
    waiter.waitAll = waitAll;
    for (DWORD i = 0; i < count; ++i) {
        blocks[i].waiter = &waiter;
        blocks[i].index = i;
        LinkLocked(objects[i], &blocks[i]);
    }
    locks.Unlock();

    const uint64_t deadline = DeadlineAfter(milliseconds);
    for (;;) {
        const uint32_t seen = waiter.wake.load(std::memory_order_acquire);
        if (waiter.state.load(std::memory_order_acquire) != Waiter::kWaiting) break;
        if (!FutexWait(&waiter.wake, seen, deadline)) {
            uint32_t expected = Waiter::kWaiting;
            waiter.state.compare_exchange_strong(expected, Waiter::kCancelled, std::memory_order_acq_rel);
            break;
        }
        if (waitAll && waiter.state.load(std::memory_order_acquire) == Waiter::kWaiting) {
            locks.Lock();
            uint32_t expected = Waiter::kWaiting;
            if (AllSignaled(ts, objects, count) &&
                waiter.state.compare_exchange_strong(expected, Waiter::kClaimed, std::memory_order_acq_rel)) {
                waiter.result = TrySatisfy(ts, objects, count, true);
                waiter.state.store(Waiter::kDone, std::memory_order_release);
            }
            locks.Unlock();
        }
    }
    // Whoever satisfied the wait did so holding one of these locks; taking
    // each of them orders that before the return.
    for (DWORD i = 0; i < locks.count; ++i) {
        KernelObject* object = locks.objects[i];
        ObjectGuard guard(object);
        for (DWORD j = 0; j < count; ++j) {
            if (objects[j] == object && blocks[j].linked) UnlinkLocked(object, &blocks[j]);
        }
    }
    result = waiter.state.load(std::memory_order_acquire) == Waiter::kDone ? waiter.result : WAIT_TIMEOUT;
    releaseAll();
    return result;
}

template <class T, class Init>
HANDLE CreateObject(T* created, LPCWSTR name, Init init) {
    Ref<T> object = Ref<T>::Adopt(created);
    Ref<KernelObject> existing;
    std::lock_guard<std::mutex> lock(g_kernelLock);
    if (name && *name) {
        existing = Ref<KernelObject>::Adopt(FindOrAddNamedLocked(name, object.get()));
        if (existing) {
            if (!dynamic_cast<T*>(existing.get())) {
                SetLastError(ERROR_INVALID_HANDLE);
                return nullptr;
            }
            HANDLE handle = InsertHandleLocked(existing.get());
            if (handle) SetLastError(ERROR_ALREADY_EXISTS);
            return handle;
        }
    }
    HANDLE handle = InsertHandleLocked(object.get());
    if (handle) {
        init(object.get());
        SetLastError(ERROR_SUCCESS);
    }
    return handle;
}

// Critical sections are recursive pthread mutexes placed in the caller's
// storage, so that thread-checking tools see them as locks.
struct CriticalSectionImpl {
    pthread_mutex_t mutex;
};
static_assert(sizeof(CriticalSectionImpl) <= sizeof(CRITICAL_SECTION), "critical section storage too small");
static_assert(alignof(CriticalSectionImpl) <= alignof(CRITICAL_SECTION), "critical section storage misaligned");

CriticalSectionImpl* Cs(LPCRITICAL_SECTION cs) { return reinterpret_cast<CriticalSectionImpl*>(cs->Opaque); }

}  // namespace

void AbandonMutexes(ThreadState* ts) noexcept {
    std::lock_guard<std::mutex> list(g_mutexListLock);
    for (Mutex* mutex = g_mutexes; mutex; mutex = mutex->next) {
        // Only the owner changes a word that names it, so this read is safe.
        if (Mutex::Owner(mutex->word.load(std::memory_order_acquire)) != ts->id) continue;
        ObjectGuard guard(mutex);
        mutex->count.store(0, std::memory_order_relaxed);
        mutex->word.store(FastObject::kLocked | Mutex::kAbandoned, std::memory_order_release);
        SignalLocked(mutex);
    }
}

void SignalLocked(KernelObject* object) noexcept {
    WaitBlock* block = KernelAccess::Head(object);
    while (block) {
        WaitBlock* next = block->next;
        Waiter* w = block->waiter;
        if (w->state.load(std::memory_order_acquire) != Waiter::kWaiting) {
            // Satisfied elsewhere or timed out: its thread unlinks the rest.
            UnlinkLocked(object, block);
        } else if (w->waitAll) {
            TrySatisfyWaitAll(object, w);
            if (w->state.load(std::memory_order_relaxed) == Waiter::kDone) UnlinkLocked(object, block);
        } else if (object->IsSignaled(w->thread)) {
            uint32_t expected = Waiter::kWaiting;
            if (w->state.compare_exchange_strong(expected, Waiter::kClaimed, std::memory_order_acq_rel)) {
                const bool abandoned = object->Satisfy(w->thread);
                UnlinkLocked(object, block);
                Finish(w, (abandoned ? WAIT_ABANDONED_0 : WAIT_OBJECT_0) + block->index);
            }
        }
        block = next;
    }
}

}  // namespace vks::kernel

using namespace vks::kernel;

extern "C" {

DWORD WINAPI WaitForSingleObject(HANDLE hHandle, DWORD dwMilliseconds) {
    {
        ReadSection section;
        if (KernelObject* object = PeekHandle(hHandle)) {
            if (FastObject* fast = object->AsFast()) {
                const DWORD result = TryWaitFast(fast, CurrentThread(), dwMilliseconds == 0);
                if (result != kNoFastPath) return result;
            }
        }
    }
    return Wait(1, &hHandle, false, dwMilliseconds);
}

DWORD WINAPI WaitForMultipleObjects(DWORD nCount, const HANDLE* lpHandles, BOOL bWaitAll, DWORD dwMilliseconds) {
    if (nCount == 0 || nCount > MAXIMUM_WAIT_OBJECTS || !lpHandles) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return WAIT_FAILED;
    }
    return Wait(nCount, lpHandles, bWaitAll != FALSE, dwMilliseconds);
}

HANDLE WINAPI CreateEventW(LPSECURITY_ATTRIBUTES lpEventAttributes, BOOL bManualReset, BOOL bInitialState,
                           LPCWSTR lpName) {
    // Events made with security attributes may be inherited by child
    // processes, which needs state that other processes can reach.
    if (lpEventAttributes) return CreateSecuredEvent(lpEventAttributes, bManualReset, bInitialState, lpName);
    return CreateObject(new Event(bManualReset != FALSE, bInitialState != FALSE), lpName, [](Event*) {});
}

BOOL WINAPI SetEvent(HANDLE hEvent) {
    ReadSection section;
    KernelObject* object = PeekHandle(hEvent);
    if (!object || !SetEventObject(object)) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    return TRUE;
}

BOOL WINAPI ResetEvent(HANDLE hEvent) {
    ReadSection section;
    KernelObject* object = PeekHandle(hEvent);
    if (!object || !ResetEventObject(object)) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    return TRUE;
}

HANDLE WINAPI CreateMutexW(LPSECURITY_ATTRIBUTES, BOOL bInitialOwner, LPCWSTR lpName) {
    ThreadState* ts = CurrentThread();
    return CreateObject(new Mutex, lpName, [&](Mutex* m) {
        if (!bInitialOwner) return;
        ObjectGuard guard(m);
        m->Satisfy(ts);
    });
}

BOOL WINAPI ReleaseMutex(HANDLE hMutex) {
    ThreadState* ts = CurrentThread();
    ReadSection section;
    KernelObject* object = PeekHandle(hMutex);
    FastObject* fast = object ? object->AsFast() : nullptr;
    if (!fast || fast->kind != FastObject::Kind::Mutex) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    auto* mutex = static_cast<Mutex*>(fast);
    // Only the owner changes a word that names it, and only the owner gets
    // past this check.
    uint64_t w = mutex->word.load(std::memory_order_acquire);
    if (Mutex::Owner(w) != ts->id) {
        SetLastError(ERROR_NOT_OWNER);
        return FALSE;
    }
    const LONG count = mutex->count.load(std::memory_order_relaxed);
    if (count > 1) {
        mutex->count.store(count - 1, std::memory_order_relaxed);
        return TRUE;
    }
    mutex->count.store(0, std::memory_order_relaxed);
    if (w == ts->id && mutex->word.compare_exchange_strong(w, 0, std::memory_order_release)) return TRUE;
    ObjectGuard guard(mutex);
    mutex->word.store(FastObject::kLocked, std::memory_order_release);
    SignalLocked(mutex);
    return TRUE;
}

HANDLE WINAPI CreateSemaphoreW(LPSECURITY_ATTRIBUTES, LONG lInitialCount, LONG lMaximumCount, LPCWSTR lpName) {
    if (lMaximumCount <= 0 || lInitialCount < 0 || lInitialCount > lMaximumCount) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    return CreateObject(new Semaphore(lInitialCount, lMaximumCount), lpName, [](Semaphore*) {});
}

BOOL WINAPI ReleaseSemaphore(HANDLE hSemaphore, LONG lReleaseCount, LPLONG lpPreviousCount) {
    ReadSection section;
    KernelObject* object = PeekHandle(hSemaphore);
    FastObject* fast = object ? object->AsFast() : nullptr;
    if (!fast || fast->kind != FastObject::Kind::Semaphore) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    auto* semaphore = static_cast<Semaphore*>(fast);
    if (lReleaseCount <= 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    auto fits = [&](uint64_t w) { return lReleaseCount <= semaphore->maximum - Semaphore::Count(w); };
    uint64_t w = semaphore->word.load(std::memory_order_acquire);
    while (!(w & FastObject::kLocked)) {
        if (!fits(w)) {
            SetLastError(ERROR_TOO_MANY_POSTS);
            return FALSE;
        }
        if (semaphore->word.compare_exchange_weak(w, w + static_cast<uint64_t>(lReleaseCount),
                                                  std::memory_order_acq_rel)) {
            if (lpPreviousCount) *lpPreviousCount = Semaphore::Count(w);
            return TRUE;
        }
    }
    ObjectGuard guard(semaphore);
    w = semaphore->word.load(std::memory_order_acquire);
    if (!fits(w)) {
        SetLastError(ERROR_TOO_MANY_POSTS);
        return FALSE;
    }
    if (lpPreviousCount) *lpPreviousCount = Semaphore::Count(w);
    semaphore->word.fetch_add(static_cast<uint64_t>(lReleaseCount), std::memory_order_acq_rel);
    SignalLocked(semaphore);
    return TRUE;
}

void WINAPI InitializeCriticalSection(LPCRITICAL_SECTION lpCriticalSection) {
    pthread_mutexattr_t attr;
    pthread_mutexattr_init(&attr);
    pthread_mutexattr_settype(&attr, PTHREAD_MUTEX_RECURSIVE);
    auto* cs = new (lpCriticalSection->Opaque) CriticalSectionImpl;
    pthread_mutex_init(&cs->mutex, &attr);
    pthread_mutexattr_destroy(&attr);
}

BOOL WINAPI InitializeCriticalSectionAndSpinCount(LPCRITICAL_SECTION lpCriticalSection, DWORD) {
    InitializeCriticalSection(lpCriticalSection);
    return TRUE;
}

void WINAPI EnterCriticalSection(LPCRITICAL_SECTION lpCriticalSection) {
    pthread_mutex_lock(&Cs(lpCriticalSection)->mutex);
}

BOOL WINAPI TryEnterCriticalSection(LPCRITICAL_SECTION lpCriticalSection) {
    return pthread_mutex_trylock(&Cs(lpCriticalSection)->mutex) == 0 ? TRUE : FALSE;
}

void WINAPI LeaveCriticalSection(LPCRITICAL_SECTION lpCriticalSection) {
    pthread_mutex_unlock(&Cs(lpCriticalSection)->mutex);
}

void WINAPI DeleteCriticalSection(LPCRITICAL_SECTION lpCriticalSection) {
    pthread_mutex_destroy(&Cs(lpCriticalSection)->mutex);
}

}  // extern "C"
