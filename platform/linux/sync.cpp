// Waits, events, mutexes, semaphores and critical sections.
//
// Each object guards its waitable state with its own lock. A wait that can
// be satisfied at once takes the locks of its objects (in address order),
// consumes what it needs and returns; a wait that must block puts one
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
// (ownership itself is a field of the mutex, changed under its own lock).
std::mutex g_mutexListLock;
Mutex* g_mutexes = nullptr;

}  // namespace

class Mutex final : public KernelObject {
public:
    Mutex() noexcept {
        std::lock_guard<std::mutex> lock(g_mutexListLock);
        next = g_mutexes;
        if (next) next->prev = this;
        g_mutexes = this;
    }
    const char* TypeName() const noexcept override { return "Mutant"; }
    bool IsWaitable() const noexcept override { return true; }
    bool IsSignaled(const ThreadState* waiter) const noexcept override {
        return owner == nullptr || owner == waiter;
    }
    bool Satisfy(ThreadState* waiter) noexcept override {
        if (owner == waiter) {
            ++count;
            return false;
        }
        owner = waiter;
        count = 1;
        return std::exchange(abandoned, false);
    }

    // Under StateLock().
    ThreadState* owner = nullptr;
    LONG count = 0;
    bool abandoned = false;
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

class Event final : public KernelObject {
public:
    Event(bool manual, bool signaled) : manual(manual), signaled(signaled) {}
    const char* TypeName() const noexcept override { return "Event"; }
    bool IsWaitable() const noexcept override { return true; }
    bool IsSignaled(const ThreadState*) const noexcept override { return signaled; }
    bool Satisfy(ThreadState*) noexcept override {
        if (!manual) signaled = false;
        return false;
    }
    const bool manual;
    bool signaled;  // under StateLock()
};

class Semaphore final : public KernelObject {
public:
    Semaphore(LONG initial, LONG maximum) : count(initial), maximum(maximum) {}
    const char* TypeName() const noexcept override { return "Semaphore"; }
    bool IsWaitable() const noexcept override { return true; }
    bool IsSignaled(const ThreadState*) const noexcept override { return count > 0; }
    bool Satisfy(ThreadState*) noexcept override {
        --count;
        return false;
    }
    LONG count;  // under StateLock()
    const LONG maximum;
};

bool SetEventObject(KernelObject* object) noexcept {
    auto* event = dynamic_cast<Event*>(object);
    if (!event) return SetSecuredEvent(object);
    std::lock_guard<std::mutex> lock(event->StateLock());
    event->signaled = true;
    SignalLocked(event);
    return true;
}

bool ResetEventObject(KernelObject* object) noexcept {
    auto* event = dynamic_cast<Event*>(object);
    if (!event) return ResetSecuredEvent(object);
    std::lock_guard<std::mutex> lock(event->StateLock());
    event->signaled = false;
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
        for (DWORD i = 0; i < count; ++i) objects[i]->StateLock().lock();
    }
    void Unlock() noexcept {
        for (DWORD i = count; i-- > 0;) objects[i]->StateLock().unlock();
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
        if (!o->StateLock().try_lock()) {
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
    while (n > 0) held[--n]->StateLock().unlock();
    if (busy) Poke(w);
}

DWORD Wait(DWORD count, const HANDLE* handles, bool waitAll, DWORD milliseconds) {
    ThreadState* ts = CurrentThreadState();
    KernelObject* objects[MAXIMUM_WAIT_OBJECTS];
    DWORD referenced = 0;
    DWORD error = ERROR_SUCCESS;
    {
        // The wait holds its own references: closing the handles meanwhile
        // leaves the objects (and the wait) intact.
        std::lock_guard<std::mutex> lock(g_kernelLock);
        for (; referenced < count; ++referenced) {
            KernelObject* object = LookupHandleLocked(handles[referenced]);
            if (!object || !object->IsWaitable()) {
                error = ERROR_INVALID_HANDLE;
                break;
            }
            object->AddRef();
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
        std::lock_guard<std::mutex> lock(object->StateLock());
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

template <class T>
Ref<T> Reference(HANDLE handle) noexcept {
    Ref<KernelObject> object = ReferenceHandleQuiet(handle);
    if (T* t = dynamic_cast<T*>(object.get())) {
        object.Detach();
        return Ref<T>::Adopt(t);
    }
    return nullptr;
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
        std::lock_guard<std::mutex> lock(mutex->StateLock());
        if (mutex->owner != ts) continue;
        mutex->owner = nullptr;
        mutex->count = 0;
        mutex->abandoned = true;
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
    Ref<KernelObject> object = ReferenceHandleQuiet(hEvent);
    if (!object || !SetEventObject(object.get())) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    return TRUE;
}

BOOL WINAPI ResetEvent(HANDLE hEvent) {
    Ref<KernelObject> object = ReferenceHandleQuiet(hEvent);
    if (!object || !ResetEventObject(object.get())) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    return TRUE;
}

HANDLE WINAPI CreateMutexW(LPSECURITY_ATTRIBUTES, BOOL bInitialOwner, LPCWSTR lpName) {
    ThreadState* ts = CurrentThreadState();
    return CreateObject(new Mutex, lpName, [&](Mutex* m) {
        if (!bInitialOwner) return;
        std::lock_guard<std::mutex> lock(m->StateLock());
        m->Satisfy(ts);
    });
}

BOOL WINAPI ReleaseMutex(HANDLE hMutex) {
    ThreadState* ts = CurrentThreadState();
    Ref<Mutex> mutex = Reference<Mutex>(hMutex);
    if (!mutex) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    std::lock_guard<std::mutex> lock(mutex->StateLock());
    if (mutex->owner != ts) {
        SetLastError(ERROR_NOT_OWNER);
        return FALSE;
    }
    if (--mutex->count == 0) {
        mutex->owner = nullptr;
        SignalLocked(mutex.get());
    }
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
    Ref<Semaphore> semaphore = Reference<Semaphore>(hSemaphore);
    if (!semaphore) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (lReleaseCount <= 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    std::lock_guard<std::mutex> lock(semaphore->StateLock());
    if (lReleaseCount > semaphore->maximum - semaphore->count) {
        SetLastError(ERROR_TOO_MANY_POSTS);
        return FALSE;
    }
    if (lpPreviousCount) *lpPreviousCount = semaphore->count;
    semaphore->count += lReleaseCount;
    SignalLocked(semaphore.get());
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
