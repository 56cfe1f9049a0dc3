// The process-wide handle table, last-error value, pseudo handles and the
// namespace of named objects.
#include "kernel_internal.h"

#include <string>
#include <unordered_map>

namespace vks::kernel {

std::mutex g_kernelLock;
thread_local DWORD t_lastError = 0;

std::mutex& KernelLock() noexcept { return g_kernelLock; }

namespace {

// Handle value = slot index * 4, as on Windows, so 0 is never a handle and
// the low two bits of a handle value are ignored on lookup (Windows leaves
// them to applications). Slot 0 is never used. Freed slots are reused most
// recently freed first, as Windows does.
struct Slot {
    KernelObject* object;  // null when free
    uint32_t nextFree;     // next free slot index when free, 0 = none
};

constexpr uint32_t kMaxHandles = 1u << 24;

// Plain pointers rather than containers: nothing here is destroyed at exit,
// so threads that outlive main keep a working table.
Slot* g_slots = nullptr;
uint32_t g_capacity = 0;
uint32_t g_used = 1;  // slots [1, g_used) have been handed out at least once
uint32_t g_freeHead = 0;

std::unordered_map<std::u16string, KernelObject*>* g_names = nullptr;

Slot* SlotForLocked(HANDLE handle) noexcept {
    const uintptr_t value = reinterpret_cast<uintptr_t>(handle);
    if (static_cast<intptr_t>(value) < 0) return nullptr;
    const uintptr_t index = value >> 2;
    if (index == 0 || index >= g_used) return nullptr;
    Slot* slot = &g_slots[index];
    return slot->object ? slot : nullptr;
}

bool IsPseudoHandle(HANDLE handle) noexcept {
    const intptr_t v = reinterpret_cast<intptr_t>(handle);
    return v == -1 || v == -2;
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

void KernelObject::Destroy() noexcept { delete this; }

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
        g_freeHead = g_slots[index].nextFree;
    } else {
        if (g_used >= g_capacity) {
            if (g_capacity >= kMaxHandles) {
                SetLastError(ERROR_NO_SYSTEM_RESOURCES);
                return nullptr;
            }
            const uint32_t capacity = g_capacity ? g_capacity * 2 : 256;
            Slot* slots = new (std::nothrow) Slot[capacity];
            if (!slots) {
                SetLastError(ERROR_NOT_ENOUGH_MEMORY);
                return nullptr;
            }
            for (uint32_t i = 0; i < g_capacity; ++i) slots[i] = g_slots[i];
            delete[] g_slots;
            g_slots = slots;
            g_capacity = capacity;
        }
        index = g_used++;
    }
    g_slots[index] = Slot{object, 0};
    object->AddRef();
    ++KernelAccess::Handles(object);
    return reinterpret_cast<HANDLE>(static_cast<uintptr_t>(index) << 2);
}

HANDLE InsertHandle(KernelObject* object) noexcept {
    std::lock_guard<std::mutex> lock(g_kernelLock);
    return InsertHandleLocked(object);
}

KernelObject* LookupHandleLocked(HANDLE handle) noexcept {
    if (Slot* slot = SlotForLocked(handle)) return slot->object;
    const intptr_t v = reinterpret_cast<intptr_t>(handle);
    if (v == -1) return ProcessObjectLocked();
    if (v == -2) return CurrentThreadObjectLocked(CurrentThreadState());
    return nullptr;
}

Ref<KernelObject> ReferenceHandle(HANDLE handle) noexcept {
    {
        std::lock_guard<std::mutex> lock(g_kernelLock);
        if (KernelObject* object = LookupHandleLocked(handle)) return Ref<KernelObject>::Share(object);
    }
    SetLastError(ERROR_INVALID_HANDLE);
    return nullptr;
}

Ref<KernelObject> ReferenceHandleQuiet(HANDLE handle) noexcept {
    std::lock_guard<std::mutex> lock(g_kernelLock);
    return Ref<KernelObject>::Share(LookupHandleLocked(handle));
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
        object = slot->object;
        slot->object = nullptr;
        slot->nextFree = g_freeHead;
        g_freeHead = static_cast<uint32_t>(slot - g_slots);
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
        if (vks::kernel::g_slots[i].object != nullptr) ++count;
    }
    return count;
}
