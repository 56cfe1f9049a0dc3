// I/O completion ports, overlapped request completion and status codes.
//
// A port keeps packets in a ring buffer (first in, first out) and blocked
// GetQueuedCompletionStatus callers on a stack, both under the port's own
// lock: as on Windows the most recent waiter is served first, which keeps the
// fewest threads warm. A packet posted while a thread waits goes straight to
// that thread, so the queue is empty whenever waiters exist and nobody can
// overtake a waiter. A blocked caller sleeps on a futex word of its own.
#include "kernel_internal.h"

#include <chrono>
#include <new>

namespace vks::kernel {

namespace {

struct Packet {
    ULONG_PTR key;
    NtStatus status;
    ULONG_PTR bytes;
    OVERLAPPED* overlapped;
};

enum class PortWait { Waiting, Delivered, Closed };

// Lives on the blocked caller's stack; changed under the port's lock, and the
// caller takes that lock once more before it returns.
struct PortWaiter {
    PortWaiter* next;
    PortWaiter* prev;
    std::atomic<uint32_t> state{static_cast<uint32_t>(PortWait::Waiting)};  // futex word
    Packet packet;

    void Wake(PortWait to) noexcept {
        state.store(static_cast<uint32_t>(to), std::memory_order_release);
        FutexWake(&state, 1);
    }
    PortWait Get() const noexcept { return static_cast<PortWait>(state.load(std::memory_order_acquire)); }
};

class CompletionPort final : public KernelObject {
public:
    const char* TypeName() const noexcept override { return "IoCompletion"; }

    ~CompletionPort() override { delete[] ring_; }

    // StateLock() held.
    bool Queue(const Packet& packet) noexcept {
        if (closed_) return true;  // nobody can ever dequeue it
        if (PortWaiter* w = waiters_) {
            RemoveWaiter(w);
            w->packet = packet;
            w->Wake(PortWait::Delivered);
            return true;
        }
        if (count_ == capacity_ && !Grow()) return false;
        ring_[(head_ + count_) % capacity_] = packet;
        ++count_;
        return true;
    }

    bool Dequeue(Packet* packet) noexcept {
        if (count_ == 0) return false;
        *packet = ring_[head_];
        head_ = (head_ + 1) % capacity_;
        --count_;
        return true;
    }

    void PushWaiter(PortWaiter* w) noexcept {
        w->prev = nullptr;
        w->next = waiters_;
        if (waiters_) waiters_->prev = w;
        waiters_ = w;
    }

    void RemoveWaiter(PortWaiter* w) noexcept {
        if (w->prev)
            w->prev->next = w->next;
        else
            waiters_ = w->next;
        if (w->next) w->next->prev = w->prev;
    }

    // The port's last handle went away: its waiters fail with
    // ERROR_ABANDONED_WAIT_0 and its packets are dropped.
    void OnLastHandleClosed() noexcept override {
        std::lock_guard<std::mutex> lock(StateLock());
        closed_ = true;
        while (PortWaiter* w = waiters_) {
            RemoveWaiter(w);
            w->Wake(PortWait::Closed);
        }
        head_ = count_ = 0;
    }

private:
    bool Grow() noexcept {
        const size_t capacity = capacity_ ? capacity_ * 2 : 64;
        auto* ring = new (std::nothrow) Packet[capacity];
        if (!ring) return false;
        for (size_t i = 0; i < count_; ++i) ring[i] = ring_[(head_ + i) % capacity_];
        delete[] ring_;
        ring_ = ring;
        capacity_ = capacity;
        head_ = 0;
        return true;
    }

    Packet* ring_ = nullptr;
    size_t capacity_ = 0;
    size_t head_ = 0;
    size_t count_ = 0;
    PortWaiter* waiters_ = nullptr;
    bool closed_ = false;
};

// The event a request signals: the low bit of hEvent only says "no packet".
HANDLE EventOf(const OVERLAPPED* ov) noexcept {
    return reinterpret_cast<HANDLE>(reinterpret_cast<ULONG_PTR>(ov->hEvent) & ~static_cast<ULONG_PTR>(1));
}

bool SkipsPort(const OVERLAPPED* ov) noexcept { return (reinterpret_cast<ULONG_PTR>(ov->hEvent) & 1) != 0; }

struct StatusMapping {
    NtStatus status;
    DWORD error;
};

// The status codes the layer produces, with their Windows error numbers.
constexpr StatusMapping kStatusMappings[] = {
    {static_cast<NtStatus>(0xC0000001), ERROR_GEN_FAILURE},            // STATUS_UNSUCCESSFUL
    {static_cast<NtStatus>(0xC0000120), ERROR_OPERATION_ABORTED},      // STATUS_CANCELLED
    {static_cast<NtStatus>(0xC000000D), ERROR_INVALID_PARAMETER},      // STATUS_INVALID_PARAMETER
    {static_cast<NtStatus>(0xC0000010), ERROR_INVALID_FUNCTION},       // STATUS_INVALID_DEVICE_REQUEST
    {static_cast<NtStatus>(0xC0000008), ERROR_INVALID_HANDLE},         // STATUS_INVALID_HANDLE
    {static_cast<NtStatus>(0xC0000022), ERROR_ACCESS_DENIED},          // STATUS_ACCESS_DENIED
    {static_cast<NtStatus>(0xC0000023), ERROR_INSUFFICIENT_BUFFER},    // STATUS_BUFFER_TOO_SMALL
    {static_cast<NtStatus>(0x80000005), ERROR_MORE_DATA},              // STATUS_BUFFER_OVERFLOW
    {static_cast<NtStatus>(0xC000009A), ERROR_NO_SYSTEM_RESOURCES},    // STATUS_INSUFFICIENT_RESOURCES
    {static_cast<NtStatus>(0xC00000BB), ERROR_NOT_SUPPORTED},          // STATUS_NOT_SUPPORTED
    {static_cast<NtStatus>(0xC000009D), ERROR_DEVICE_NOT_CONNECTED},   // STATUS_DEVICE_NOT_CONNECTED
    {static_cast<NtStatus>(0xC0000017), ERROR_NOT_ENOUGH_MEMORY},      // STATUS_NO_MEMORY
    {static_cast<NtStatus>(0xC0000225), ERROR_NOT_FOUND},              // STATUS_NOT_FOUND
    {static_cast<NtStatus>(0xC0000034), ERROR_FILE_NOT_FOUND},         // STATUS_OBJECT_NAME_NOT_FOUND
    {static_cast<NtStatus>(0xC0000185), ERROR_IO_DEVICE},              // STATUS_IO_DEVICE_ERROR
};

Packet MakePacket(ULONG_PTR key, NtStatus status, ULONG_PTR bytes, OVERLAPPED* ov) noexcept {
    return Packet{key, status, bytes, ov};
}

// Gives a dequeued packet to GetQueuedCompletionStatus's caller.
BOOL Deliver(const Packet& packet, LPDWORD bytes, PULONG_PTR key, LPOVERLAPPED* ov) noexcept {
    *bytes = static_cast<DWORD>(packet.bytes);
    *key = packet.key;
    *ov = packet.overlapped;
    if (!NtSuccess(packet.status)) {
        SetLastError(Win32ErrorFromNtStatus(packet.status));
        return FALSE;
    }
    return TRUE;
}


}  // namespace

NtStatus NtStatusFromWin32Error(DWORD error) noexcept {
    if (error == ERROR_SUCCESS) return kStatusSuccess;
    for (const auto& m : kStatusMappings) {
        if (m.error == error) return m.status;
    }
    // Windows' own encoding of a Win32 error as a status (FACILITY_NTWIN32).
    return static_cast<NtStatus>(0xC0070000u | (error & 0xFFFFu));
}

DWORD Win32ErrorFromNtStatus(NtStatus status) noexcept {
    if (status == kStatusSuccess) return ERROR_SUCCESS;
    if (status == kStatusPending) return ERROR_IO_PENDING;
    for (const auto& m : kStatusMappings) {
        if (m.status == status) return m.error;
    }
    if ((static_cast<DWORD>(status) & 0xFFFF0000u) == 0xC0070000u) return static_cast<DWORD>(status) & 0xFFFFu;
    return ERROR_GEN_FAILURE;
}

FileObject::~FileObject() {
    if (completionPort) completionPort->Release();
}

bool QueueCompletion(KernelObject* port, ULONG_PTR key, NtStatus status, ULONG_PTR bytes, OVERLAPPED* ov) noexcept {
    auto* p = dynamic_cast<CompletionPort*>(port);
    if (!p) return false;
    std::lock_guard<std::mutex> lock(p->StateLock());
    return p->Queue(MakePacket(key, status, bytes, ov));
}

void BeginOverlapped(FileObject* file, OVERLAPPED* ov) noexcept {
    __atomic_store_n(&ov->InternalHigh, 0, __ATOMIC_RELAXED);
    __atomic_store_n(&ov->Internal, static_cast<ULONG_PTR>(kStatusPending), __ATOMIC_RELEASE);
    if (HANDLE event = EventOf(ov)) {
        if (Ref<KernelObject> object = ReferenceHandleQuiet(event)) ResetEventObject(object.get());
    }
    std::lock_guard<std::mutex> lock(file->StateLock());
    file->signaled_ = false;
}

void CompleteOverlapped(FileObject* file, OVERLAPPED* ov, DWORD error, ULONG_PTR bytes) noexcept {
    const NtStatus status = NtStatusFromWin32Error(error);
    // Read before the status is written: once it is, the request's owner may
    // reuse or free the OVERLAPPED.
    const HANDLE event = EventOf(ov);
    const bool skipsPort = SkipsPort(ov);
    // The caller's OVERLAPPED is written before anyone can learn of the
    // completion, and Internal last, so a reader that sees a final status
    // also sees the byte count.
    __atomic_store_n(&ov->InternalHigh, bytes, __ATOMIC_RELAXED);
    __atomic_store_n(&ov->Internal, static_cast<ULONG_PTR>(static_cast<ULONG>(status)), __ATOMIC_RELEASE);
    Ref<KernelObject> eventObject = event ? ReferenceHandleQuiet(event) : nullptr;
    Ref<KernelObject> port;
    ULONG_PTR key = 0;
    {
        std::lock_guard<std::mutex> lock(file->StateLock());
        if (!skipsPort && file->completionPort) {
            port = Ref<KernelObject>::Share(file->completionPort);
            key = file->completionKey;
        }
    }
    if (eventObject) SetEventObject(eventObject.get());
    {
        std::lock_guard<std::mutex> lock(file->StateLock());
        file->signaled_ = true;
        SignalLocked(file);
    }
    if (port) QueueCompletion(port.get(), key, status, bytes, ov);
}

}  // namespace vks::kernel

using namespace vks::kernel;

extern "C" {

HANDLE WINAPI CreateIoCompletionPort(HANDLE FileHandle, HANDLE ExistingCompletionPort, ULONG_PTR CompletionKey,
                                     DWORD NumberOfConcurrentThreads) {
    // NumberOfConcurrentThreads is accepted and not enforced: every waiting
    // thread may run.
    if (FileHandle == INVALID_HANDLE_VALUE) {
        if (ExistingCompletionPort) {
            SetLastError(ERROR_INVALID_PARAMETER);
            return nullptr;
        }
        Ref<CompletionPort> port = Ref<CompletionPort>::Adopt(new CompletionPort);
        return InsertHandle(port.get());
    }
    Ref<KernelObject> file = ReferenceHandle(FileHandle);
    if (!file) return nullptr;
    auto* fileObject = dynamic_cast<FileObject*>(file.get());
    if (!fileObject || !file->IsFile()) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    Ref<CompletionPort> port;
    HANDLE portHandle = ExistingCompletionPort;
    if (ExistingCompletionPort) {
        port = ReferenceHandleAs<CompletionPort>(ExistingCompletionPort);
        if (!port) return nullptr;
    } else {
        port = Ref<CompletionPort>::Adopt(new CompletionPort);
        portHandle = InsertHandle(port.get());
        if (!portHandle) return nullptr;
    }
    {
        std::lock_guard<std::mutex> lock(fileObject->StateLock());
        if (!fileObject->completionPort) {
            port->AddRef();
            fileObject->completionPort = port.get();
            fileObject->completionKey = CompletionKey;
            return portHandle;
        }
    }
    // A file is bound to one port for its lifetime.
    if (!ExistingCompletionPort) CloseHandle(portHandle);
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
}

BOOL WINAPI PostQueuedCompletionStatus(HANDLE CompletionPort, DWORD dwNumberOfBytesTransferred,
                                       ULONG_PTR dwCompletionKey, LPOVERLAPPED lpOverlapped) {
    ReadSection section;
    auto* port = dynamic_cast<class CompletionPort*>(PeekHandle(CompletionPort));
    if (!port) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    bool queued;
    {
        std::lock_guard<std::mutex> lock(port->StateLock());
        queued = port->Queue(MakePacket(dwCompletionKey, kStatusSuccess, dwNumberOfBytesTransferred, lpOverlapped));
    }
    if (!queued) {
        SetLastError(ERROR_NO_SYSTEM_RESOURCES);
        return FALSE;
    }
    return TRUE;
}

BOOL WINAPI GetQueuedCompletionStatus(HANDLE CompletionPort, LPDWORD lpNumberOfBytesTransferred,
                                      PULONG_PTR lpCompletionKey, LPOVERLAPPED* lpOverlapped,
                                      DWORD dwMilliseconds) {
    Packet packet;
    Ref<KernelObject> object;  // held only while blocked: the port outlives its handle while we wait
    {
        ReadSection section;
        auto* port = dynamic_cast<class CompletionPort*>(PeekHandle(CompletionPort));
        if (!port) {
            SetLastError(ERROR_INVALID_HANDLE);
            *lpOverlapped = nullptr;
            return FALSE;
        }
        std::unique_lock<std::mutex> lock(port->StateLock());
        if (port->Dequeue(&packet)) return Deliver(packet, lpNumberOfBytesTransferred, lpCompletionKey, lpOverlapped);
        if (dwMilliseconds == 0) {
            lock.unlock();
            *lpOverlapped = nullptr;
            SetLastError(WAIT_TIMEOUT);
            return FALSE;
        }
        if (!port->TryAddRef()) {
            lock.unlock();
            SetLastError(ERROR_INVALID_HANDLE);
            *lpOverlapped = nullptr;
            return FALSE;
        }
        object = Ref<KernelObject>::Adopt(port);
    }
    auto* port = static_cast<class CompletionPort*>(object.get());
    {
        std::unique_lock<std::mutex> lock(port->StateLock());
        if (!port->Dequeue(&packet)) {
            if (dwMilliseconds == 0) {
                lock.unlock();
                *lpOverlapped = nullptr;
                SetLastError(WAIT_TIMEOUT);
                return FALSE;
            }
            PortWaiter waiter;
            port->PushWaiter(&waiter);
            lock.unlock();
            const uint64_t deadline = DeadlineAfter(dwMilliseconds);
            while (waiter.Get() == PortWait::Waiting) {
                if (!FutexWait(&waiter.state, static_cast<uint32_t>(PortWait::Waiting), deadline)) break;
            }
            lock.lock();
            // Under the lock the state is final: a poster that handed us a
            // packet did so before we could remove ourselves.
            const PortWait state = waiter.Get();
            if (state == PortWait::Waiting) port->RemoveWaiter(&waiter);
            lock.unlock();
            if (state != PortWait::Delivered) {
                *lpOverlapped = nullptr;
                SetLastError(state == PortWait::Closed ? ERROR_ABANDONED_WAIT_0 : WAIT_TIMEOUT);
                return FALSE;
            }
            packet = waiter.packet;
        }
    }
    return Deliver(packet, lpNumberOfBytesTransferred, lpCompletionKey, lpOverlapped);
}

BOOL WINAPI GetOverlappedResult(HANDLE hFile, LPOVERLAPPED lpOverlapped, LPDWORD lpNumberOfBytesTransferred,
                                BOOL bWait) {
    auto status = [&] {
        return static_cast<NtStatus>(static_cast<ULONG>(__atomic_load_n(&lpOverlapped->Internal, __ATOMIC_ACQUIRE)));
    };
    if (status() == kStatusPending) {
        if (!bWait) {
            SetLastError(ERROR_IO_INCOMPLETE);
            return FALSE;
        }
        // One wait, as on Windows: the request's event, or the file itself.
        HANDLE waitOn = EventOf(lpOverlapped) ? EventOf(lpOverlapped) : hFile;
        if (WaitForSingleObject(waitOn, INFINITE) == WAIT_FAILED) return FALSE;
        if (status() == kStatusPending) {
            SetLastError(ERROR_IO_INCOMPLETE);
            return FALSE;
        }
    }
    *lpNumberOfBytesTransferred = static_cast<DWORD>(__atomic_load_n(&lpOverlapped->InternalHigh, __ATOMIC_RELAXED));
    const NtStatus s = status();
    if (!NtSuccess(s)) {
        SetLastError(Win32ErrorFromNtStatus(s));
        return FALSE;
    }
    return TRUE;
}

}  // extern "C"
