// Internals of processes and of what processes share: the memory block a
// process tree shares (inheritable events, audio session counts), the
// inheritable event kind, and the hooks the event functions of sync.cpp call
// for it. Internal: not installed.
//
// The shared block
//   One memfd mapping per process tree. The first process that needs it
//   creates it; CreateProcessW hands it to every child (the descriptor is
//   inherited and named in the child's environment), so parent, children
//   and grandchildren map the same memory. It holds the state words of the
//   inheritable events and the audio session table. Every change that other
//   processes must notice increments `changes` and wakes the futex on it;
//   each process that has inheritable events runs one listener thread that
//   sleeps on that futex and, on a change, re-signals its local event
//   objects so that their local waiters see the new state.
//
// Slots are owned by processes: a slot lists the ids of the processes that
// hold it and is free when none does. A process drops its id when its
// object goes away; a parent drops its child's id when it reaps the child
// (so a killed child releases its slots too); slots whose holders have all
// died without that are reclaimed when the table runs full.
#pragma once

#include "kernel_object.h"
#include "vks_win32/process.h"

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

namespace vks::process {

constexpr uint32_t kSharedMagic = 0x564B5331;  // layout version of the block
constexpr uint32_t kEventSlots = 2048;
constexpr uint32_t kHolders = 14;
constexpr uint32_t kSessionEntries = 512;

struct SharedEventSlot {
    std::atomic<uint32_t> busy;   // 1 while allocated
    std::atomic<uint32_t> manual; // manual-reset
    std::atomic<uint32_t> state;  // bit 0: signalled
    std::atomic<uint32_t> spare;
    std::atomic<uint32_t> holders[kHolders];  // process ids, 0 = empty
};

// Initialised audio clients of one session in one process.
struct SharedSessionEntry {
    std::atomic<uint32_t> busy;  // 0 free, 1 being filled, 2 valid
    std::atomic<uint32_t> pid;
    GUID session;
    std::atomic<int32_t> streams;
    std::atomic<uint32_t> spare;
};

struct SharedBlock {
    std::atomic<uint32_t> magic;
    std::atomic<uint32_t> changes;  // futex word
    std::atomic<uint32_t> creatorPid;
    std::atomic<uint32_t> spare;
    SharedEventSlot events[kEventSlots];
    SharedSessionEntry sessions[kSessionEntries];
};
static_assert(std::atomic<uint32_t>::is_always_lock_free, "shared words must be lock-free to work across processes");

// The block of this process tree, created on first use; null (with the
// reason sent to the debug output) when it cannot be made.
SharedBlock* Shared() noexcept;
// The block if this process has one already, else null.
SharedBlock* SharedIfPresent() noexcept;
// Its descriptor, for CreateProcessW (-1 when there is none).
int SharedDescriptor() noexcept;
// Records a change and wakes every process waiting for one.
void PublishChange(SharedBlock* block) noexcept;
// Sleeps until `changes` differs from `seen` or the time-out passes
// (INFINITE: none). False on time-out.
bool WaitForChange(SharedBlock* block, uint32_t seen, DWORD milliseconds) noexcept;

// A child maps the block its parent handed over (called once, early).
void AdoptSharedFromEnvironment() noexcept;
// Allocates an event slot held by the calling process; kEventSlots when the
// table is full.
uint32_t AllocateEventSlot(SharedBlock* block, bool manual, bool signaled) noexcept;
// Slot holders.
bool AddHolder(SharedEventSlot* slot, uint32_t pid) noexcept;
void RemoveHolder(SharedEventSlot* slot, uint32_t pid) noexcept;
// Drops a process's holds and session entries (it has ended).
void ForgetProcess(uint32_t pid) noexcept;

// --- Inheritable events (process_events.cpp) ---------------------------------------------
// An inherited event as CreateProcessW passes it on: its handle value and slot.
struct InheritedEvent {
    HANDLE handle;
    uint32_t slot;
};
// Under the kernel lock: the events the caller's process would pass to a child
// (each with a reference taken, released by ReleaseInherited). Writes at most
// `capacity`, returns the number there are.
size_t CollectInheritableLocked(InheritedEvent* out, kernel::KernelObject** refs, size_t capacity) noexcept;
// Makes the events named in a child's environment (called once, early).
void AdoptInheritedEvents() noexcept;

// --- Audio sessions (counts kept in the shared block) ---------------------------------------
void AddSessionStream(const GUID& session, int32_t delta) noexcept;
DWORD SessionStreamCount(const GUID& session) noexcept;

// --- Jobs (process_job.cpp) ----------------------------------------------------------------
// A child about to start in `job`: returns the read end of its lifeline
// (close-on-exec here; the child is given it) and the write end in
// *writeEnd; -1 with the last error set when `job` is no job or no pipe can
// be made.
int OpenLifeline(HANDLE job, int* writeEnd) noexcept;
// After the start: the job keeps the write end when the child started,
// otherwise it is closed.
void SettleLifeline(HANDLE job, int writeEnd, bool started) noexcept;

// --- Command lines (process_create.cpp) ------------------------------------------------------
// Splits a command line into main's arguments as the Microsoft C runtime does.
std::vector<std::u16string> SplitCommandLine(const std::u16string& line);

// --- Environment passed to children (process_create.cpp, audio) ---------------------------------
// Variables the audio endpoint wants its children to see ("NAME=value"
// lines); empty when the environment's own values apply.
void AudioEnvironmentForChild(char* buffer, size_t size) noexcept;

}  // namespace vks::process

// Hooks of the event functions in sync.cpp for the inheritable kind.
namespace vks::kernel {
// CreateEventW with security attributes.
HANDLE CreateSecuredEvent(LPSECURITY_ATTRIBUTES attributes, BOOL manualReset, BOOL initialState,
                          LPCWSTR name) noexcept;
// SetEvent / ResetEvent on an object that is not a plain event: true when it
// is an inheritable event (and was set or reset). No lock held.
bool SetSecuredEvent(KernelObject* object) noexcept;
bool ResetSecuredEvent(KernelObject* object) noexcept;
}  // namespace vks::kernel
