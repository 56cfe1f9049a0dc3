// The process-wide handle table, last-error value, pseudo handles and the
// namespace of named objects.
#include "kernel_internal.h"

#include <linux/membarrier.h>
#include <sched.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <new>
#include <string>
#include <unordered_map>

namespace vks::kernel {

std::mutex g_kernelLock;
thread_local DWORD t_lastError = 0;

std::mutex& KernelLock() noexcept { return g_kernelLock; }

namespace {

// Slots (kernel_internal.h) live in chunks that are never moved or freed, so
// that a lookup can read a slot without the kernel lock; the free list and
// the counts are under the lock.
uint32_t g_used = 1;  // slots [1, g_used) have been handed out at least once
uint32_t g_freeHead = 0;

std::unordered_map<std::u16string, KernelObject*>* g_names = nullptr;

// Lock held.
Slot* SlotForLocked(HANDLE handle) noexcept {
    const uint32_t index = IndexOf(handle);
    if (index == 0 || index >= g_used) return nullptr;
    Slot* slot = SlotAt(index);
    return slot->object.load(std::memory_order_relaxed) ? slot : nullptr;
}

bool IsPseudoHandle(HANDLE handle) noexcept {
    const intptr_t v = reinterpret_cast<intptr_t>(handle);
    return v == -1 || v == -2;
}

std::atomic<Reader*> g_readers{nullptr};

}  // namespace

std::atomic<Slot*> g_chunks[kMaxHandles / kChunkSize];

// With the kernel's private expedited memory barrier, a reader publishes its
// section with a plain store and the (rare) destroyer makes every running
// thread pass a full barrier before it looks; without it, the reader's store
// is a full barrier itself.
bool g_asymmetric = false;

namespace {

__attribute__((constructor(101))) void RegisterMembarrier() {
    g_asymmetric = syscall(SYS_membarrier, MEMBARRIER_CMD_REGISTER_PRIVATE_EXPEDITED, 0, 0) == 0;
}

// Waits until every other thread that was inside a ReadSection when the
// caller arrived has left it.
void WaitForReaders() noexcept {
    if (g_asymmetric) syscall(SYS_membarrier, MEMBARRIER_CMD_PRIVATE_EXPEDITED, 0, 0);
    const ThreadState* self = CurrentThreadStateIfAny();
    const Reader* mine = self ? self->reader : nullptr;
    for (Reader* r = g_readers.load(std::memory_order_acquire); r; r = r->next) {
        if (r == mine) continue;
        const uint64_t seen = r->seq.load(std::memory_order_seq_cst);
        if ((seen & 1) == 0) continue;
        for (int spins = 0; r->seq.load(std::memory_order_acquire) == seen; ++spins) {
            if (spins > 64) sched_yield();
        }
    }
}

}  // namespace

KernelObject::~KernelObject() {
    if (name_) {
        auto* key = static_cast<std::u16string*>(name_);
        {
            std::lock_guard<std::mutex> lock(g_kernelLock);
            auto it = g_names->find(*key);
            if (it != g_names->end() && it->second == this) g_names->erase(it);
        }
        delete key;
    }
}

void KernelObject::Destroy() noexcept {
    // A thread may have found the object through a handle just before the
    // handle went away and still be using it inside its read section.
    WaitForReaders();
    delete this;
}

Reader* AcquireReader() noexcept {
    for (Reader* r = g_readers.load(std::memory_order_acquire); r; r = r->next) {
        bool expected = false;
        if (r->busy.compare_exchange_strong(expected, true, std::memory_order_acquire)) return r;
    }
    auto* r = new Reader;
    Reader* head = g_readers.load(std::memory_order_relaxed);
    do {
        r->next = head;
    } while (!g_readers.compare_exchange_weak(head, r, std::memory_order_release, std::memory_order_relaxed));
    return r;
}

void ReleaseReader(Reader* reader) noexcept { reader->busy.store(false, std::memory_order_release); }

KernelObject* PeekPseudoHandle(HANDLE handle) noexcept {
    if (!IsPseudoHandle(handle)) return nullptr;
    std::lock_guard<std::mutex> lock(g_kernelLock);
    return LookupHandleLocked(handle);
}

bool KernelObject::TryAddRef() noexcept {
    long n = refs_.load(std::memory_order_relaxed);
    while (n > 0) {
        if (refs_.compare_exchange_weak(n, n + 1, std::memory_order_relaxed)) return true;
    }
    return false;
}

HANDLE InsertHandleLocked(KernelObject* object) noexcept {
    uint32_t index;
    if (g_freeHead != 0) {
        index = g_freeHead;
        g_freeHead = SlotAt(index)->nextFree;
    } else {
        if (g_used >= kMaxHandles) {
            SetLastError(ERROR_NO_SYSTEM_RESOURCES);
            return nullptr;
        }
        std::atomic<Slot*>& chunk = g_chunks[g_used >> kChunkBits];
        if (!chunk.load(std::memory_order_relaxed)) {
            Slot* slots = new (std::nothrow) Slot[kChunkSize];
            if (!slots) {
                SetLastError(ERROR_NOT_ENOUGH_MEMORY);
                return nullptr;
            }
            chunk.store(slots, std::memory_order_release);
        }
        index = g_used++;
    }
    object->AddRef();
    Slot* slot = SlotAt(index);
    slot->nextFree = 0;
    slot->object.store(object, std::memory_order_release);
    ++KernelAccess::Handles(object);
    return reinterpret_cast<HANDLE>(static_cast<uintptr_t>(index) << 2);
}

HANDLE InsertHandle(KernelObject* object) noexcept {
    std::lock_guard<std::mutex> lock(g_kernelLock);
    return InsertHandleLocked(object);
}

KernelObject* LookupHandleLocked(HANDLE handle) noexcept {
    if (Slot* slot = SlotForLocked(handle)) return slot->object.load(std::memory_order_relaxed);
    const intptr_t v = reinterpret_cast<intptr_t>(handle);
    if (v == -1) return ProcessObjectLocked();
    if (v == -2) return CurrentThreadObjectLocked(CurrentThreadState());
    return nullptr;
}

Ref<KernelObject> ReferenceHandle(HANDLE handle) noexcept {
    Ref<KernelObject> object = ReferenceHandleQuiet(handle);
    if (!object) SetLastError(ERROR_INVALID_HANDLE);
    return object;
}

Ref<KernelObject> ReferenceHandleQuiet(HANDLE handle) noexcept {
    ReadSection section;
    KernelObject* object = PeekHandle(handle);
    // An object whose last reference is going has no handle any more.
    if (!object || !object->TryAddRef()) return nullptr;
    return Ref<KernelObject>::Adopt(object);
}

KernelObject* FindOrAddNamedLocked(LPCWSTR name, KernelObject* created) noexcept {
    if (!g_names) g_names = new std::unordered_map<std::u16string, KernelObject*>();
    std::u16string key(name);
    // The session prefixes name the same (only) namespace here.
    for (const char16_t* prefix : {u"Global\\", u"Local\\"}) {
        const std::u16string p(prefix);
        if (key.compare(0, p.size(), p) == 0) {
            key.erase(0, p.size());
            break;
        }
    }
    auto it = g_names->find(key);
    if (it != g_names->end() && it->second->TryAddRef()) return it->second;
    // Absent, or its last reference is being dropped right now: the name is
    // free again, and the dying object's destructor will not erase this entry.
    (*g_names)[key] = created;
    KernelAccess::Name(created) = new std::u16string(std::move(key));
    return nullptr;
}

}  // namespace vks::kernel

using namespace vks::kernel;

extern "C" {

DWORD WINAPI GetLastError(void) { return t_lastError; }
void WINAPI SetLastError(DWORD dwErrCode) { t_lastError = dwErrCode; }

HANDLE WINAPI GetCurrentProcess(void) { return reinterpret_cast<HANDLE>(static_cast<intptr_t>(-1)); }
HANDLE WINAPI GetCurrentThread(void) { return reinterpret_cast<HANDLE>(static_cast<intptr_t>(-2)); }

BOOL WINAPI CloseHandle(HANDLE hObject) {
    // Closing a pseudo handle has no effect and succeeds.
    if (IsPseudoHandle(hObject)) return TRUE;
    KernelObject* object;
    {
        std::lock_guard<std::mutex> lock(g_kernelLock);
        Slot* slot = SlotForLocked(hObject);
        if (!slot) {
            SetLastError(ERROR_INVALID_HANDLE);
            return FALSE;
        }
        object = slot->object.load(std::memory_order_relaxed);
        slot->object.store(nullptr, std::memory_order_seq_cst);
        slot->nextFree = g_freeHead;
        g_freeHead = IndexOf(hObject);
        if (--KernelAccess::Handles(object) == 0) object->OnLastHandleClosed();
    }
    object->Release();
    return TRUE;
}

BOOL WINAPI DuplicateHandle(HANDLE hSourceProcessHandle, HANDLE hSourceHandle, HANDLE hTargetProcessHandle,
                            LPHANDLE lpTargetHandle, DWORD dwDesiredAccess, BOOL bInheritHandle, DWORD dwOptions) {
    // Only this process exists for the layer: both process handles must name it.
    {
        std::lock_guard<std::mutex> lock(g_kernelLock);
        KernelObject* process = ProcessObjectLocked();
        if (LookupHandleLocked(hSourceProcessHandle) != process ||
            LookupHandleLocked(hTargetProcessHandle) != process) {
            SetLastError(ERROR_INVALID_HANDLE);
            return FALSE;
        }
    }
    Ref<KernelObject> object = ReferenceHandle(hSourceHandle);
    if (!object) return FALSE;
    HANDLE duplicate = nullptr;
    if (lpTargetHandle) {
        duplicate = InsertHandle(object.get());
        if (!duplicate) return FALSE;
    }
    if (dwOptions & DUPLICATE_CLOSE_SOURCE) CloseHandle(hSourceHandle);
    if (lpTargetHandle) *lpTargetHandle = duplicate;
    return TRUE;
}

}  // extern "C"

extern "C" DWORD VksOpenHandleCount(void) {
    std::lock_guard<std::mutex> lock(vks::kernel::KernelLock());
    DWORD count = 0;
    for (uint32_t i = 1; i < vks::kernel::g_used; ++i) {
        if (vks::kernel::SlotAt(i)->object.load(std::memory_order_relaxed) != nullptr) ++count;
    }
    return count;
}
