// Inheritable events: events made with security attributes keep their state
// in the process tree's shared block, so a child that inherits one (at the
// same handle value) and its parent set, reset and wait on the same event.
//
// Each process holds an ordinary kernel object per inheritable event, whose
// waitable state is the shared word. A set in this process signals the local
// object at once and publishes a change; the listener thread of every other
// process that holds the event wakes and signals its own object, which
// satisfies that process's waiters. An auto-reset event is consumed by the
// first waiter that the set releases in any process; two processes whose
// waiters test it at the same instant may both be released by one set.
#include "kernel_internal.h"
#include "process_internal.h"

#include <pthread.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace vks::process {
namespace {

using kernel::KernelObject;
using kernel::Ref;

class SecuredEvent;
SecuredEvent* g_events = nullptr;  // list of live objects, under the kernel lock

class SecuredEvent final : public KernelObject {
public:
    SecuredEvent(SharedBlock* block, uint32_t index) noexcept : block(block), index(index), slot(&block->events[index]) {}
    const char* TypeName() const noexcept override { return "Event"; }
    bool IsWaitable() const noexcept override { return true; }
    bool IsSignaled(const kernel::ThreadState*) const noexcept override {
        return (slot->state.load(std::memory_order_acquire) & 1u) != 0;
    }
    bool Satisfy(kernel::ThreadState*) noexcept override {
        if (slot->manual.load(std::memory_order_relaxed) == 0) slot->state.fetch_and(~1u, std::memory_order_acq_rel);
        return false;
    }

    // Lock held.
    void LinkLocked() noexcept {
        next = g_events;
        if (next) next->prev = this;
        g_events = this;
        linked = true;
    }

    SharedBlock* const block;
    const uint32_t index;
    SharedEventSlot* const slot;
    // Under the kernel lock: handle values marked inheritable, and the list links.
    std::vector<HANDLE> inheritable;
    SecuredEvent* prev = nullptr;
    SecuredEvent* next = nullptr;
    bool linked = false;

protected:
    ~SecuredEvent() override {
        {
            std::lock_guard<std::mutex> lock(kernel::KernelLock());
            if (linked) {
                if (prev)
                    prev->next = next;
                else
                    g_events = next;
                if (next) next->prev = prev;
            }
        }
        RemoveHolder(slot, static_cast<uint32_t>(getpid()));
    }
};

// Fills handle table slots so that an inherited event gets its value.
class HandleFiller final : public KernelObject {
public:
    const char* TypeName() const noexcept override { return "Filler"; }
};

void* Listen(void* arg) {
    auto* block = static_cast<SharedBlock*>(arg);
    for (;;) {
        const uint32_t seen = block->changes.load(std::memory_order_acquire);
        {
            std::lock_guard<std::mutex> lock(kernel::KernelLock());
            for (SecuredEvent* e = g_events; e; e = e->next) {
                std::lock_guard<std::mutex> state(e->StateLock());
                if (e->IsSignaled(nullptr)) kernel::SignalLocked(e);
            }
        }
        WaitForChange(block, seen, INFINITE);
    }
    return nullptr;
}

pthread_once_t g_listenerOnce = PTHREAD_ONCE_INIT;

void StartListenerOnce() {
    SharedBlock* block = SharedIfPresent();
    if (!block) return;
    pthread_attr_t attr;
    pthread_attr_init(&attr);
    pthread_attr_setdetachstate(&attr, PTHREAD_CREATE_DETACHED);
    pthread_t thread;
    if (pthread_create(&thread, &attr, Listen, block) != 0) {
        OutputDebugStringA("vksplatform: the listener of inheritable events could not start\n");
    }
    pthread_attr_destroy(&attr);
}

void StartListener() noexcept { pthread_once(&g_listenerOnce, StartListenerOnce); }

SecuredEvent* AsSecured(KernelObject* object) noexcept { return dynamic_cast<SecuredEvent*>(object); }

}  // namespace

size_t CollectInheritableLocked(InheritedEvent* out, KernelObject** refs, size_t capacity) noexcept {
    size_t count = 0;
    for (SecuredEvent* e = g_events; e; e = e->next) {
        auto& handles = e->inheritable;
        // Values closed (or reused for other objects) since they were marked
        // are no longer this event's.
        handles.erase(std::remove_if(handles.begin(), handles.end(),
                                     [e](HANDLE h) { return kernel::LookupHandleLocked(h) != e; }),
                      handles.end());
        for (HANDLE h : handles) {
            if (count < capacity) {
                if (!e->TryAddRef()) continue;
                out[count] = InheritedEvent{h, e->index};
                refs[count] = e;
            }
            ++count;
        }
    }
    return count;
}

void AdoptInheritedEvents() noexcept {
    const char* text = getenv("VKS_INHERITED_EVENTS");
    if (!text) return;
    std::string list(text);
    unsetenv("VKS_INHERITED_EVENTS");
    SharedBlock* block = SharedIfPresent();
    if (!block || list.empty()) return;

    std::vector<InheritedEvent> events;
    for (size_t pos = 0; pos < list.size();) {
        size_t end = list.find(',', pos);
        if (end == std::string::npos) end = list.size();
        unsigned long long value = 0;
        unsigned slotIndex = 0;
        if (std::sscanf(list.substr(pos, end - pos).c_str(), "%llx:%u", &value, &slotIndex) == 2 &&
            slotIndex < kEventSlots && value != 0 && (value & 3) == 0 && value < (1ull << 26)) {
            events.push_back(InheritedEvent{reinterpret_cast<HANDLE>(static_cast<uintptr_t>(value)), slotIndex});
        }
        pos = end + 1;
    }
    std::sort(events.begin(), events.end(), [](const InheritedEvent& a, const InheritedEvent& b) {
        return reinterpret_cast<uintptr_t>(a.handle) < reinterpret_cast<uintptr_t>(b.handle);
    });

    const uint32_t self = static_cast<uint32_t>(getpid());
    Ref<HandleFiller> filler = Ref<HandleFiller>::Adopt(new HandleFiller);
    std::vector<HANDLE> fillers;
    for (const InheritedEvent& wanted : events) {
        SharedEventSlot* slot = &block->events[wanted.slot];
        if (slot->busy.load(std::memory_order_acquire) == 0) continue;
        AddHolder(slot, self);
        Ref<SecuredEvent> event = Ref<SecuredEvent>::Adopt(new SecuredEvent(block, wanted.slot));
        const uintptr_t target = reinterpret_cast<uintptr_t>(wanted.handle);
        bool placed = false;
        // Handle values are handed out in increasing order, and a value just
        // closed is the next one handed out: take values until the wanted
        // one comes up, give it back, and take it for the event.
        for (;;) {
            HANDLE h = kernel::InsertHandle(filler.get());
            if (!h) break;
            const uintptr_t got = reinterpret_cast<uintptr_t>(h);
            if (got < target) {
                fillers.push_back(h);
                continue;
            }
            CloseHandle(h);
            if (got == target) {
                std::lock_guard<std::mutex> lock(kernel::KernelLock());
                HANDLE mine = kernel::InsertHandleLocked(event.get());
                if (mine == wanted.handle) {
                    event->inheritable.push_back(mine);
                    event->LinkLocked();
                    placed = true;
                } else if (mine) {
                    // Cannot happen while nothing else makes handles; undone below.
                    fillers.push_back(mine);
                }
            }
            break;
        }
        if (!placed) {
            char line[128];
            std::snprintf(line, sizeof line, "vksplatform: inherited handle %p could not be given its value\n",
                          wanted.handle);
            OutputDebugStringA(line);
        }
    }
    for (HANDLE h : fillers) CloseHandle(h);
    StartListener();
}

// Runs when the platform library is loaded, before the program's own code:
// the inherited values must be free when they are claimed.
__attribute__((constructor(110))) static void AdoptAtLoad() {
    AdoptSharedFromEnvironment();
    AdoptInheritedEvents();
}

}  // namespace vks::process

namespace vks::kernel {

using namespace vks::process;

HANDLE CreateSecuredEvent(LPSECURITY_ATTRIBUTES attributes, BOOL manualReset, BOOL initialState,
                          LPCWSTR name) noexcept {
    SharedBlock* block = Shared();
    if (!block) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    const uint32_t index = AllocateEventSlot(block, manualReset != FALSE, initialState != FALSE);
    if (index >= kEventSlots) {
        SetLastError(ERROR_NO_SYSTEM_RESOURCES);
        return nullptr;
    }
    const bool inherit = attributes->bInheritHandle != FALSE;
    Ref<SecuredEvent> event = Ref<SecuredEvent>::Adopt(new SecuredEvent(block, index));
    Ref<KernelObject> existing;
    HANDLE handle = nullptr;
    {
        std::lock_guard<std::mutex> lock(KernelLock());
        if (name && *name) {
            existing = Ref<KernelObject>::Adopt(FindOrAddNamedLocked(name, event.get()));
            if (existing) {
                if (std::strcmp(existing->TypeName(), "Event") != 0) {
                    SetLastError(ERROR_INVALID_HANDLE);
                    return nullptr;
                }
                handle = InsertHandleLocked(existing.get());
                if (!handle) return nullptr;
                if (SecuredEvent* other = AsSecured(existing.get()); other && inherit) {
                    other->inheritable.push_back(handle);
                }
                SetLastError(ERROR_ALREADY_EXISTS);
                return handle;
            }
        }
        handle = InsertHandleLocked(event.get());
        if (!handle) return nullptr;
        event->LinkLocked();
        if (inherit) event->inheritable.push_back(handle);
        SetLastError(ERROR_SUCCESS);
    }
    StartListener();
    return handle;
}

bool SetSecuredEvent(KernelObject* object) noexcept {
    SecuredEvent* event = object ? AsSecured(object) : nullptr;
    if (!event) return false;
    {
        std::lock_guard<std::mutex> lock(event->StateLock());
        event->slot->state.fetch_or(1u, std::memory_order_acq_rel);
        SignalLocked(event);
    }
    PublishChange(event->block);
    return true;
}

bool ResetSecuredEvent(KernelObject* object) noexcept {
    SecuredEvent* event = object ? AsSecured(object) : nullptr;
    if (!event) return false;
    event->slot->state.fetch_and(~1u, std::memory_order_acq_rel);
    return true;
}

}  // namespace vks::kernel

using namespace vks::kernel;

extern "C" {

BOOL WINAPI SetHandleInformation(HANDLE hObject, DWORD dwMask, DWORD dwFlags) {
    if (dwMask & ~static_cast<DWORD>(HANDLE_FLAG_INHERIT | HANDLE_FLAG_PROTECT_FROM_CLOSE)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    std::lock_guard<std::mutex> lock(KernelLock());
    KernelObject* object = LookupHandleLocked(hObject);
    if (!object || reinterpret_cast<intptr_t>(hObject) < 0) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if ((dwMask & HANDLE_FLAG_PROTECT_FROM_CLOSE) && (dwFlags & HANDLE_FLAG_PROTECT_FROM_CLOSE)) {
        SetLastError(ERROR_NOT_SUPPORTED);
        return FALSE;
    }
    if (!(dwMask & HANDLE_FLAG_INHERIT)) return TRUE;
    SecuredEvent* event = vks::process::AsSecured(object);
    const bool inherit = (dwFlags & HANDLE_FLAG_INHERIT) != 0;
    if (!event) {
        if (!inherit) return TRUE;
        SetLastError(ERROR_NOT_SUPPORTED);
        return FALSE;
    }
    auto& handles = event->inheritable;
    auto it = std::find(handles.begin(), handles.end(), hObject);
    if (inherit && it == handles.end()) handles.push_back(hObject);
    if (!inherit && it != handles.end()) handles.erase(it);
    return TRUE;
}

BOOL WINAPI GetHandleInformation(HANDLE hObject, LPDWORD lpdwFlags) {
    std::lock_guard<std::mutex> lock(KernelLock());
    KernelObject* object = LookupHandleLocked(hObject);
    if (!object || reinterpret_cast<intptr_t>(hObject) < 0 || !lpdwFlags) {
        SetLastError(object ? ERROR_INVALID_PARAMETER : ERROR_INVALID_HANDLE);
        return FALSE;
    }
    DWORD flags = 0;
    if (SecuredEvent* event = vks::process::AsSecured(object)) {
        const auto& handles = event->inheritable;
        if (std::find(handles.begin(), handles.end(), hObject) != handles.end()) flags |= HANDLE_FLAG_INHERIT;
    }
    *lpdwFlags = flags;
    return TRUE;
}

}  // extern "C"
