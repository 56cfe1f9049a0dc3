#include "objects/handle_table.h"

#include <atomic>
#include <cstdlib>
#include <new>

namespace {

// A record keeps its value for its whole life (a retired value is issued
// again with the same record), and records are freed only when the table is
// torn down. `lock` and `object` are also read outside the table lock, by the
// lock path of a thread that used the record last (see LockCache).
struct HandleRecord {
    HandleRecord* next = nullptr;  // bucket chain, or free list while retired
    HandleRecord* prev = nullptr;  // bucket chain
    DWORD value = 0;
    HANDLE closing = nullptr;      // semaphore, signalled when the handle is retired
    std::atomic<HANDLE> lock{nullptr};  // re-entrant mutex
    DWORD reuseTick = 0;           // when a retired value may be issued again
    std::atomic<void*> object{nullptr};  // null once retired
};

// The record a thread locked last. A thread that locks and unlocks the same
// handle again (the usual pattern) goes straight to its lock: with the lock
// taken, the record cannot be retired under it, and a retired record is seen
// by its null object. `generation` ties the entry to one life of the table.
struct LockCache {
    DWORD generation = 0;
    DWORD value = 0;
    HandleRecord* record = nullptr;
};
thread_local LockCache t_lockCache;
std::atomic<DWORD> g_generation{1};

struct HandleTable {
    bool initialised = false;
    HandleRecord** buckets = nullptr;
    DWORD bucketMask = 0;
    HandleRecord* freeList = nullptr;
    DWORD lastValue = 0;
    WORD tag = 0;
    void* (*allocate)(size_t) = std::malloc;
    void (*release)(void*) = std::free;
};

// The lock lives for the whole process, so that calls made before the table
// is initialised or after it is torn down find a valid lock and fail cleanly.
CRITICAL_SECTION& TableLock() {
    static CRITICAL_SECTION lock;
    static const bool ready = (InitializeCriticalSection(&lock), true);
    (void)ready;
    return lock;
}

struct TableGuard {
    TableGuard() { EnterCriticalSection(&TableLock()); }
    ~TableGuard() { LeaveCriticalSection(&TableLock()); }
    TableGuard(const TableGuard&) = delete;
    TableGuard& operator=(const TableGuard&) = delete;
};

HandleTable g_Table;
DWORD (*g_TickSource)() = nullptr;

DWORD Now() { return g_TickSource != nullptr ? g_TickSource() : GetTickCount(); }

HandleRecord*& BucketOf(DWORD value) { return g_Table.buckets[(value - 1) & g_Table.bucketMask]; }

// Inside the table lock.
HandleRecord* Find(DWORD value) {
    if (!g_Table.initialised || (value >> 16) != g_Table.tag) return nullptr;
    for (HandleRecord* r = BucketOf(value); r != nullptr; r = r->next) {
        if (r->value == value) return r;
    }
    return nullptr;
}

void CloseSyncObjects(HandleRecord* r) {
    if (r->closing != nullptr) CloseHandle(r->closing);
    if (HANDLE lock = r->lock.exchange(nullptr)) CloseHandle(lock);
    r->closing = nullptr;
}

// The calling thread's cached record for `value`, if it is still valid.
HandleRecord* CachedRecord(DWORD value) {
    const LockCache& c = t_lockCache;
    if (c.value != value || c.record == nullptr) return nullptr;
    return c.generation == g_generation.load(std::memory_order_acquire) ? c.record : nullptr;
}

void Unlink(HandleRecord* r) {
    if (r->prev != nullptr) {
        r->prev->next = r->next;
    } else {
        BucketOf(r->value) = r->next;
    }
    if (r->next != nullptr) r->next->prev = r->prev;
    r->next = r->prev = nullptr;
}

void InsertAtHead(HandleRecord* r) {
    HandleRecord*& head = BucketOf(r->value);
    r->prev = nullptr;
    r->next = head;
    if (head != nullptr) head->prev = r;
    head = r;
}

// The first retired record whose delay has passed, unlinked from the free list.
HandleRecord* TakeReusable() {
    if (g_Table.freeList == nullptr) return nullptr;
    const DWORD now = Now();
    HandleRecord** link = &g_Table.freeList;
    for (HandleRecord* r = g_Table.freeList; r != nullptr; link = &r->next, r = r->next) {
        // Compared as a signed distance so that the 49.7-day wrap of the tick
        // counter cannot make a value reusable early.
        if (static_cast<LONG>(now - r->reuseTick) >= 0) {
            *link = r->next;
            CloseSyncObjects(r);
            r->next = r->prev = nullptr;
            r->reuseTick = 0;
            r->object.store(nullptr, std::memory_order_relaxed);
            return r;
        }
    }
    return nullptr;
}

void FreeChain(HandleRecord* r) {
    while (r != nullptr) {
        HandleRecord* next = r->next;
        CloseSyncObjects(r);
        delete r;
        r = next;
    }
}

}  // namespace

void HandleTableSetTickSource(DWORD (*tickSource)()) {
    TableGuard guard;
    g_TickSource = tickSource;
}

DWORD InitialiseHandleTable(const HandleTableConfig* config) {
    TableGuard guard;
    if (g_Table.initialised) return HANDLEERROR_ALREADY_INITIALISED;
    if (config == nullptr || config->Size != sizeof(HandleTableConfig)) return HANDLEERROR_BAD_CONFIG;
    g_Table.tag = config->Tag;
    g_Table.lastValue = static_cast<DWORD>(config->Tag) << 16;
    const DWORD count = config->BucketCount;
    if (count == 0 || (count & (count - 1)) != 0) return HANDLEERROR_BAD_BUCKET_COUNT;
    g_Table.buckets = static_cast<HandleRecord**>(std::calloc(count, sizeof(HandleRecord*)));
    if (g_Table.buckets == nullptr) return HANDLEERROR_NO_MEMORY;
    g_Table.bucketMask = count - 1;
    g_Table.freeList = nullptr;
    g_Table.allocate = config->Allocate != nullptr ? config->Allocate : std::malloc;
    g_Table.release = config->Release != nullptr ? config->Release : std::free;
    g_Table.initialised = true;
    g_generation.fetch_add(1, std::memory_order_acq_rel);
    return 0;
}

DWORD UninitialiseHandleTable() {
    TableGuard guard;
    if (!g_Table.initialised) return 0;
    g_Table.initialised = false;
    g_generation.fetch_add(1, std::memory_order_acq_rel);
    FreeChain(g_Table.freeList);
    g_Table.freeList = nullptr;
    for (DWORD i = 0; i <= g_Table.bucketMask; ++i) {
        // Objects of handles never closed are released with their records:
        // nothing can reach them once the table is gone.
        for (HandleRecord* r = g_Table.buckets[i]; r != nullptr; r = r->next) {
            if (void* object = r->object.load(std::memory_order_relaxed)) g_Table.release(object);
        }
        FreeChain(g_Table.buckets[i]);
    }
    std::free(g_Table.buckets);
    g_Table.buckets = nullptr;
    g_Table.bucketMask = 0;
    return 0;
}

DWORD CreateHandle(size_t objectSize, DWORD* handle) {
    if (handle == nullptr) return HANDLEERROR_INVALID_HANDLE;
    void* (*allocate)(size_t);
    void (*release)(void*);
    {
        TableGuard guard;
        if (!g_Table.initialised) return HANDLEERROR_INVALID_HANDLE;
        allocate = g_Table.allocate;
        release = g_Table.release;
    }
    void* object = allocate(objectSize);
    if (object == nullptr) return HANDLEERROR_NO_MEMORY;

    TableGuard guard;
    if (!g_Table.initialised) {
        release(object);
        return HANDLEERROR_INVALID_HANDLE;
    }
    HandleRecord* record = TakeReusable();
    if (record == nullptr) {
        const DWORD lastPossible = (static_cast<DWORD>(g_Table.tag) << 16) | 0xFFFFu;
        if (g_Table.lastValue >= lastPossible) {
            release(object);
            return HANDLEERROR_NO_HANDLE;
        }
        record = new (std::nothrow) HandleRecord;
        if (record == nullptr) {
            release(object);
            return HANDLEERROR_NO_HANDLE;
        }
        record->value = ++g_Table.lastValue;
    }
    InsertAtHead(record);
    record->lock.store(CreateMutexW(nullptr, FALSE, nullptr), std::memory_order_release);
    record->closing = CreateSemaphoreW(nullptr, 0, 128, nullptr);
    if (record->lock.load(std::memory_order_relaxed) == nullptr || record->closing == nullptr) {
        // The value is never handed out: retire it at once.
        Unlink(record);
        CloseSyncObjects(record);
        record->next = g_Table.freeList;
        g_Table.freeList = record;
        record->reuseTick = Now();
        release(object);
        return HANDLEERROR_NO_HANDLE;
    }
    record->object.store(object, std::memory_order_release);
    *handle = record->value;
    return 0;
}

DWORD LockHandle(DWORD handle, void** object) {
    if (object == nullptr) return HANDLEERROR_INVALID_HANDLE;
    if (HandleRecord* r = CachedRecord(handle)) {
        // Uncontended: take the lock without waiting. A retired handle's lock
        // stays with the thread that retired it, so taking it means the
        // handle is live, unless this thread retired it itself.
        const HANDLE lock = r->lock.load(std::memory_order_acquire);
        const DWORD result = WaitForSingleObject(lock, 0);
        if (result == WAIT_OBJECT_0) {
            if (void* found = r->object.load(std::memory_order_acquire)) {
                *object = found;
                return 0;
            }
            ReleaseMutex(lock);
        } else if (result == WAIT_ABANDONED_0) {
            ReleaseMutex(lock);
            return HANDLEERROR_INVALID_HANDLE;
        }
    }
    HANDLE waits[2];
    void* found = nullptr;
    HandleRecord* record = nullptr;
    DWORD generation = 0;
    {
        TableGuard guard;
        HandleRecord* r = Find(handle);
        if (r == nullptr || r->closing == nullptr || r->lock.load(std::memory_order_relaxed) == nullptr ||
            r->object.load(std::memory_order_relaxed) == nullptr) {
            return HANDLEERROR_INVALID_HANDLE;
        }
        waits[0] = r->closing;  // listed first: a closing handle wins a tie
        waits[1] = r->lock.load(std::memory_order_relaxed);
        found = r->object.load(std::memory_order_relaxed);
        record = r;
        generation = g_generation.load(std::memory_order_relaxed);
    }
    const DWORD result = WaitForMultipleObjects(2, waits, FALSE, INFINITE);
    switch (result) {
        case WAIT_OBJECT_0:
            // Retired: pass the signal on to the next waiter.
            ReleaseSemaphore(waits[0], 1, nullptr);
            return HANDLEERROR_INVALID_HANDLE;
        case WAIT_OBJECT_0 + 1:
            t_lockCache = LockCache{generation, handle, record};
            *object = found;
            return 0;
        case WAIT_ABANDONED_0 + 1:
            // A thread ended while holding the lock; the object may be half
            // changed, so the caller is refused and the lock is given back.
            ReleaseMutex(waits[1]);
            return HANDLEERROR_INVALID_HANDLE;
        default:
            return HANDLEERROR_INVALID_HANDLE;
    }
}

DWORD UnlockHandle(DWORD handle, void* object) {
    if (HandleRecord* r = CachedRecord(handle)) {
        // The caller holds the lock, so the record cannot change under it.
        void* current = r->object.load(std::memory_order_acquire);
        if (current == nullptr || current != object) return HANDLEERROR_INVALID_HANDLE;
        ReleaseMutex(r->lock.load(std::memory_order_acquire));
        return 0;
    }
    HANDLE lock;
    {
        TableGuard guard;
        HandleRecord* r = Find(handle);
        if (r == nullptr) return HANDLEERROR_INVALID_HANDLE;
        void* current = r->object.load(std::memory_order_relaxed);
        if (current == nullptr || current != object) return HANDLEERROR_INVALID_HANDLE;
        lock = r->lock.load(std::memory_order_relaxed);
    }
    ReleaseMutex(lock);
    return 0;
}

DWORD ReleaseHandle(DWORD handle, void* object) {
    TableGuard guard;
    HandleRecord* r = Find(handle);
    if (r == nullptr) return HANDLEERROR_INVALID_HANDLE;
    void* current = r->object.load(std::memory_order_relaxed);
    if (current == nullptr || current != object) return HANDLEERROR_INVALID_HANDLE;
    Unlink(r);
    r->next = g_Table.freeList;
    g_Table.freeList = r;
    r->reuseTick = Now() + kHandleReuseDelayMs;
    r->object.store(nullptr, std::memory_order_release);
    g_Table.release(current);
    ReleaseSemaphore(r->closing, 64, nullptr);
    return 0;
}

DWORD LockAndReleaseHandle(DWORD handle) {
    void* object = nullptr;
    const DWORD status = LockHandle(handle, &object);
    if (status != 0) return status;
    return ReleaseHandle(handle, object);
}

DWORD RelockHandle(DWORD handle, void* object, void** relocked) {
    if (relocked == nullptr) return HANDLEERROR_INVALID_HANDLE;
    void* found = nullptr;
    const DWORD status = LockHandle(handle, &found);
    if (status != 0) {
        *relocked = nullptr;
        return status;
    }
    if (found != object) {
        UnlockHandle(handle, found);
        *relocked = nullptr;
        return HANDLEERROR_INVALID_HANDLE;
    }
    *relocked = found;
    return 0;
}

size_t CopyLiveHandles(DWORD* handles, size_t capacity) {
    TableGuard guard;
    if (!g_Table.initialised) return 0;
    size_t count = 0;
    for (DWORD i = 0; i <= g_Table.bucketMask; ++i) {
        for (HandleRecord* r = g_Table.buckets[i]; r != nullptr; r = r->next, ++count) {
            if (count < capacity) handles[count] = r->value;
        }
    }
    return count;
}
