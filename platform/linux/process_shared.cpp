// The memory block a process tree shares: creation, adoption by a child,
// change notification across processes, slot holders, and the audio session
// table. See process_internal.h.
#include "process_internal.h"

#include <errno.h>
#include <fcntl.h>
#include <linux/futex.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <time.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>

namespace vks::process {
namespace {

// Set once and never unmapped: threads still running at exit may use it.
std::atomic<SharedBlock*> g_block{nullptr};
int g_descriptor = -1;
std::mutex g_createLock;

void Report(const char* what) noexcept {
    char line[160];
    std::snprintf(line, sizeof line, "vksplatform: shared process block: %s (errno %d)\n", what, errno);
    OutputDebugStringA(line);
}

SharedBlock* Map(int fd) noexcept {
    void* p = mmap(nullptr, sizeof(SharedBlock), PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    return p == MAP_FAILED ? nullptr : static_cast<SharedBlock*>(p);
}

long Futex(std::atomic<uint32_t>* word, int op, uint32_t value, const timespec* timeout) noexcept {
    // Not FUTEX_PRIVATE_FLAG: the word is in memory other processes map.
    return syscall(SYS_futex, reinterpret_cast<uint32_t*>(word), op, value, timeout, nullptr, 0);
}

bool ProcessAlive(uint32_t pid) noexcept { return kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM; }

bool SlotEmpty(const SharedEventSlot* slot) noexcept {
    for (const auto& h : slot->holders) {
        if (h.load(std::memory_order_acquire) != 0) return false;
    }
    return true;
}

// Frees a slot whose holders are all gone. The holders are only ever added
// by a process that holds the slot itself, so an empty list stays empty.
void FreeIfEmpty(SharedEventSlot* slot) noexcept {
    if (SlotEmpty(slot)) slot->busy.store(0, std::memory_order_release);
}

}  // namespace

// A child finds the block its parent handed over in its environment.
void AdoptSharedFromEnvironment() noexcept {
    const char* text = getenv("VKS_SHARED_BLOCK_FD");
    if (!text || !*text) return;
    char* end = nullptr;
    const long fd = std::strtol(text, &end, 10);
    unsetenv("VKS_SHARED_BLOCK_FD");
    if (*end != '\0' || fd < 0) return;
    struct stat st;
    if (fstat(static_cast<int>(fd), &st) != 0 || st.st_size < static_cast<off_t>(sizeof(SharedBlock))) {
        Report("inherited descriptor is not a shared block");
        return;
    }
    fcntl(static_cast<int>(fd), F_SETFD, FD_CLOEXEC);
    SharedBlock* block = Map(static_cast<int>(fd));
    if (!block || block->magic.load() != kSharedMagic) {
        Report("inherited block has another layout");
        if (block) munmap(block, sizeof(SharedBlock));
        close(static_cast<int>(fd));
        return;
    }
    std::lock_guard<std::mutex> lock(g_createLock);
    g_descriptor = static_cast<int>(fd);
    g_block.store(block, std::memory_order_release);
}

SharedBlock* SharedIfPresent() noexcept { return g_block.load(std::memory_order_acquire); }

SharedBlock* Shared() noexcept {
    if (SharedBlock* block = g_block.load(std::memory_order_acquire)) return block;
    std::lock_guard<std::mutex> lock(g_createLock);
    if (SharedBlock* block = g_block.load(std::memory_order_acquire)) return block;
    const int fd = static_cast<int>(syscall(SYS_memfd_create, "vks-shared", MFD_CLOEXEC));
    if (fd < 0) {
        Report("memfd_create failed");
        return nullptr;
    }
    if (ftruncate(fd, sizeof(SharedBlock)) != 0) {
        Report("ftruncate failed");
        close(fd);
        return nullptr;
    }
    SharedBlock* block = Map(fd);
    if (!block) {
        Report("mmap failed");
        close(fd);
        return nullptr;
    }
    // The new file is zero-filled: every word starts at 0, a valid state.
    block->creatorPid.store(static_cast<uint32_t>(getpid()));
    block->magic.store(kSharedMagic, std::memory_order_release);
    g_descriptor = fd;
    g_block.store(block, std::memory_order_release);
    return block;
}

int SharedDescriptor() noexcept {
    std::lock_guard<std::mutex> lock(g_createLock);
    return g_descriptor;
}

void PublishChange(SharedBlock* block) noexcept {
    block->changes.fetch_add(1, std::memory_order_acq_rel);
    Futex(&block->changes, FUTEX_WAKE, INT32_MAX, nullptr);
}

bool WaitForChange(SharedBlock* block, uint32_t seen, DWORD milliseconds) noexcept {
    timespec deadline{};
    if (milliseconds != INFINITE) {
        clock_gettime(CLOCK_MONOTONIC, &deadline);
        deadline.tv_sec += milliseconds / 1000;
        deadline.tv_nsec += static_cast<long>(milliseconds % 1000) * 1000000L;
        if (deadline.tv_nsec >= 1000000000L) {
            deadline.tv_sec += 1;
            deadline.tv_nsec -= 1000000000L;
        }
    }
    for (;;) {
        if (block->changes.load(std::memory_order_acquire) != seen) return true;
        timespec* timeout = nullptr;
        timespec left{};
        if (milliseconds != INFINITE) {
            timespec now;
            clock_gettime(CLOCK_MONOTONIC, &now);
            long long ns = (deadline.tv_sec - now.tv_sec) * 1000000000LL + (deadline.tv_nsec - now.tv_nsec);
            if (ns <= 0) return false;
            left.tv_sec = static_cast<time_t>(ns / 1000000000LL);
            left.tv_nsec = static_cast<long>(ns % 1000000000LL);
            timeout = &left;
        }
        Futex(&block->changes, FUTEX_WAIT, seen, timeout);
    }
}

bool AddHolder(SharedEventSlot* slot, uint32_t pid) noexcept {
    for (auto& h : slot->holders) {
        if (h.load(std::memory_order_acquire) == pid) return true;
    }
    for (auto& h : slot->holders) {
        uint32_t expected = 0;
        if (h.compare_exchange_strong(expected, pid, std::memory_order_acq_rel)) return true;
    }
    return false;
}

void RemoveHolder(SharedEventSlot* slot, uint32_t pid) noexcept {
    for (auto& h : slot->holders) {
        uint32_t expected = pid;
        h.compare_exchange_strong(expected, 0, std::memory_order_acq_rel);
    }
    FreeIfEmpty(slot);
}

// Allocates a free event slot for the calling process; kEventSlots when the
// table is full even after reclaiming the slots of ended processes.
uint32_t AllocateEventSlot(SharedBlock* block, bool manual, bool signaled) noexcept {
    const uint32_t self = static_cast<uint32_t>(getpid());
    for (int pass = 0; pass < 2; ++pass) {
        for (uint32_t i = 0; i < kEventSlots; ++i) {
            SharedEventSlot& slot = block->events[i];
            uint32_t expected = 0;
            if (!slot.busy.compare_exchange_strong(expected, 1, std::memory_order_acq_rel)) continue;
            for (auto& h : slot.holders) h.store(0, std::memory_order_relaxed);
            slot.manual.store(manual ? 1 : 0, std::memory_order_relaxed);
            slot.state.store(signaled ? 1 : 0, std::memory_order_relaxed);
            slot.holders[0].store(self, std::memory_order_release);
            return i;
        }
        // Full: reclaim what processes that ended without being reaped held.
        for (uint32_t i = 0; i < kEventSlots; ++i) {
            SharedEventSlot& slot = block->events[i];
            if (slot.busy.load(std::memory_order_acquire) == 0) continue;
            for (auto& h : slot.holders) {
                uint32_t pid = h.load(std::memory_order_acquire);
                if (pid != 0 && !ProcessAlive(pid)) h.compare_exchange_strong(pid, 0, std::memory_order_acq_rel);
            }
            FreeIfEmpty(&slot);
        }
    }
    return kEventSlots;
}

void ForgetProcess(uint32_t pid) noexcept {
    SharedBlock* block = SharedIfPresent();
    if (!block || pid == 0) return;
    for (uint32_t i = 0; i < kEventSlots; ++i) {
        SharedEventSlot& slot = block->events[i];
        if (slot.busy.load(std::memory_order_acquire) != 0) RemoveHolder(&slot, pid);
    }
    bool changed = false;
    for (uint32_t i = 0; i < kSessionEntries; ++i) {
        SharedSessionEntry& entry = block->sessions[i];
        if (entry.busy.load(std::memory_order_acquire) == 2 && entry.pid.load(std::memory_order_acquire) == pid) {
            entry.streams.store(0, std::memory_order_release);
            entry.busy.store(0, std::memory_order_release);
            changed = true;
        }
    }
    if (changed) PublishChange(block);
}

// --- Audio sessions ---------------------------------------------------------------------------
// One entry per (session, process); only the owning process changes its
// entry's count, and a parent clears the entries of a child it reaped.
void AddSessionStream(const GUID& session, int32_t delta) noexcept {
    SharedBlock* block = Shared();
    if (!block) return;
    // Serialises this process's finding, filling and freeing of its entries.
    static std::mutex entriesLock;
    std::lock_guard<std::mutex> lock(entriesLock);
    const uint32_t self = static_cast<uint32_t>(getpid());
    SharedSessionEntry* found = nullptr;
    for (uint32_t i = 0; i < kSessionEntries && !found; ++i) {
        SharedSessionEntry& entry = block->sessions[i];
        if (entry.busy.load(std::memory_order_acquire) == 2 && entry.pid.load(std::memory_order_acquire) == self &&
            std::memcmp(&entry.session, &session, sizeof(GUID)) == 0) {
            found = &entry;
        }
    }
    if (!found && delta > 0) {
        for (int pass = 0; pass < 2 && !found; ++pass) {
            for (uint32_t i = 0; i < kSessionEntries && !found; ++i) {
                SharedSessionEntry& entry = block->sessions[i];
                uint32_t expected = 0;
                if (!entry.busy.compare_exchange_strong(expected, 1, std::memory_order_acq_rel)) continue;
                entry.pid.store(self, std::memory_order_relaxed);
                std::memcpy(&entry.session, &session, sizeof(GUID));
                entry.streams.store(0, std::memory_order_relaxed);
                entry.busy.store(2, std::memory_order_release);
                found = &entry;
            }
            if (!found) {
                for (uint32_t i = 0; i < kSessionEntries; ++i) {
                    SharedSessionEntry& entry = block->sessions[i];
                    uint32_t pid = entry.pid.load(std::memory_order_acquire);
                    if (entry.busy.load(std::memory_order_acquire) == 2 && !ProcessAlive(pid)) {
                        entry.busy.store(0, std::memory_order_release);
                    }
                }
            }
        }
    }
    if (!found) return;
    if (found->streams.fetch_add(delta, std::memory_order_acq_rel) + delta <= 0) {
        found->busy.store(0, std::memory_order_release);
    }
    PublishChange(block);
}

DWORD SessionStreamCount(const GUID& session) noexcept {
    SharedBlock* block = SharedIfPresent();
    if (!block) return 0;
    int64_t total = 0;
    for (uint32_t i = 0; i < kSessionEntries; ++i) {
        SharedSessionEntry& entry = block->sessions[i];
        if (entry.busy.load(std::memory_order_acquire) != 2) continue;
        if (std::memcmp(&entry.session, &session, sizeof(GUID)) != 0) continue;
        // A process that ended without being reaped by a parent of the tree
        // holds no streams any more.
        if (!ProcessAlive(entry.pid.load(std::memory_order_acquire))) continue;
        total += entry.streams.load(std::memory_order_acquire);
    }
    return total > 0 ? static_cast<DWORD>(total) : 0;
}

}  // namespace vks::process
