// Waits, events, mutexes, semaphores and critical sections.
//
// Every waitable state lives under the one kernel lock. A wait that can be
// satisfied at once never allocates or links anything; a wait that must
// block puts one WaitBlock per object (on its own stack) at the tail of that
// object's list and sleeps on its thread's condition variable. Whoever makes
// an object signalled calls SignalLocked, which satisfies waiters in arrival
// order on the signalling thread (consuming auto-reset events, semaphore
// counts and mutex ownership on the waiter's behalf), so a woken waiter never
// has to compete again and wait-all acquires all of its objects atomically.
#include "kernel_internal.h"
#include "process_internal.h"

#include <pthread.h>

#include <chrono>
#include <new>

namespace vks::kernel {

class Mutex final : public KernelObject {
public:
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
        prevOwned = nullptr;
        nextOwned = waiter->ownedMutexes;
        if (nextOwned) nextOwned->prevOwned = this;
        waiter->ownedMutexes = this;
        return std::exchange(abandoned, false);
    }

    // Gives up ownership (lock held); waiters are the caller's business.
    void Disown() noexcept {
        if (prevOwned)
            prevOwned->nextOwned = nextOwned;
        else
            owner->ownedMutexes = nextOwned;
        if (nextOwned) nextOwned->prevOwned = prevOwned;
        owner = nullptr;
        count = 0;
    }

    ThreadState* owner = nullptr;
    LONG count = 0;
    bool abandoned = false;
    Mutex* prevOwned = nullptr;
    Mutex* nextOwned = nullptr;

protected:
    ~Mutex() override {
        // The owner's list points at us until ownership ends.
        std::lock_guard<std::mutex> lock(g_kernelLock);
        if (owner) Disown();
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
    bool signaled;
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
    LONG count;
    const LONG maximum;
};

// Lets other platform files set an event they were handed by handle.
bool SetEventLocked(KernelObject* object) noexcept {
    auto* event = dynamic_cast<Event*>(object);
    if (!event) return SetSecuredEventLocked(object);
    event->signaled = true;
    SignalLocked(event);
    return true;
}
bool ResetEventLocked(KernelObject* object) noexcept {
    auto* event = dynamic_cast<Event*>(object);
    if (!event) return ResetSecuredEventLocked(object);
    event->signaled = false;
    return true;
}

DWORD TrySatisfyLocked(ThreadState* ts, KernelObject* const* objects, DWORD count, bool waitAll) noexcept {
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

namespace {

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
}

void UnlinkWaiterLocked(Waiter* w) noexcept {
    for (DWORD i = 0; i < w->count; ++i) UnlinkLocked(w->objects[i], &w->blocks[i]);
}

DWORD Wait(DWORD count, const HANDLE* handles, bool waitAll, DWORD milliseconds) {
    ThreadState* ts = CurrentThreadState();
    KernelObject* objects[MAXIMUM_WAIT_OBJECTS];
    std::unique_lock<std::mutex> lock(g_kernelLock);
    for (DWORD i = 0; i < count; ++i) {
        KernelObject* object = LookupHandleLocked(handles[i]);
        if (!object || !object->IsWaitable()) {
            lock.unlock();
            SetLastError(ERROR_INVALID_HANDLE);
            return WAIT_FAILED;
        }
        objects[i] = object;
    }
    if (waitAll) {
        // Waiting for all of a set that names one object twice is an error.
        for (DWORD i = 1; i < count; ++i) {
            for (DWORD j = 0; j < i; ++j) {
                if (objects[i] == objects[j]) {
                    lock.unlock();
                    SetLastError(ERROR_INVALID_PARAMETER);
                    return WAIT_FAILED;
                }
            }
        }
    }
    DWORD result = TrySatisfyLocked(ts, objects, count, waitAll);
    if (result != WAIT_TIMEOUT || milliseconds == 0) return result;

    WaitBlock blocks[MAXIMUM_WAIT_OBJECTS];
    Waiter waiter{ts, objects, blocks, count, waitAll};
    for (DWORD i = 0; i < count; ++i) {
        // The wait holds its own references: closing the handles meanwhile
        // leaves the objects (and the wait) intact.
        objects[i]->AddRef();
        blocks[i].waiter = &waiter;
        LinkLocked(objects[i], &blocks[i]);
    }
    if (milliseconds == INFINITE) {
        while (!waiter.done) ts->wake.wait(lock);
    } else {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
        while (!waiter.done) {
            if (ts->wake.wait_until(lock, deadline) == std::cv_status::timeout) {
                if (!waiter.done) UnlinkWaiterLocked(&waiter);
                break;
            }
        }
    }
    result = waiter.result;
    lock.unlock();
    for (DWORD i = 0; i < count; ++i) objects[i]->Release();
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
T* LookupLocked(HANDLE handle) noexcept {
    return dynamic_cast<T*>(LookupHandleLocked(handle));
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

void AbandonMutexesLocked(ThreadState* ts) noexcept {
    while (Mutex* mutex = ts->ownedMutexes) {
        mutex->Disown();
        mutex->abandoned = true;
        SignalLocked(mutex);
    }
}

void SignalLocked(KernelObject* object) noexcept {
    WaitBlock* block = KernelAccess::Head(object);
    while (block) {
        Waiter* w = block->waiter;
        const DWORD result = TrySatisfyLocked(w->thread, w->objects, w->count, w->waitAll);
        if (result == WAIT_TIMEOUT) {
            block = block->next;
            continue;
        }
        w->result = result;
        w->done = true;
        UnlinkWaiterLocked(w);
        w->thread->wake.notify_one();
        // Satisfying a wait only consumes state, so the waiters before this
        // one still cannot be satisfied; but the unlinking may have removed
        // the next block too (a wait-any may name an object twice), so
        // continue from the head.
        block = KernelAccess::Head(object);
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
    std::lock_guard<std::mutex> lock(g_kernelLock);
    Event* event = LookupLocked<Event>(hEvent);
    if (!event) {
        if (SetSecuredEventLocked(LookupHandleLocked(hEvent))) return TRUE;
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    event->signaled = true;
    SignalLocked(event);
    return TRUE;
}

BOOL WINAPI ResetEvent(HANDLE hEvent) {
    std::lock_guard<std::mutex> lock(g_kernelLock);
    Event* event = LookupLocked<Event>(hEvent);
    if (!event) {
        if (ResetSecuredEventLocked(LookupHandleLocked(hEvent))) return TRUE;
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    event->signaled = false;
    return TRUE;
}

HANDLE WINAPI CreateMutexW(LPSECURITY_ATTRIBUTES, BOOL bInitialOwner, LPCWSTR lpName) {
    ThreadState* ts = CurrentThreadState();
    return CreateObject(new Mutex, lpName, [&](Mutex* m) {
        if (bInitialOwner) m->Satisfy(ts);
    });
}

BOOL WINAPI ReleaseMutex(HANDLE hMutex) {
    ThreadState* ts = CurrentThreadState();
    std::lock_guard<std::mutex> lock(g_kernelLock);
    Mutex* mutex = LookupLocked<Mutex>(hMutex);
    if (!mutex) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (mutex->owner != ts) {
        SetLastError(ERROR_NOT_OWNER);
        return FALSE;
    }
    if (--mutex->count == 0) {
        mutex->Disown();
        SignalLocked(mutex);
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
    std::lock_guard<std::mutex> lock(g_kernelLock);
    Semaphore* semaphore = LookupLocked<Semaphore>(hSemaphore);
    if (!semaphore) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (lReleaseCount <= 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (lReleaseCount > semaphore->maximum - semaphore->count) {
        SetLastError(ERROR_TOO_MANY_POSTS);
        return FALSE;
    }
    if (lpPreviousCount) *lpPreviousCount = semaphore->count;
    semaphore->count += lReleaseCount;
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
