// Files of simulated devices, as the I/O manager runs a real driver's files.
//
// A simulated file's handle is a real manual-reset event, so that the handle
// is a kernel handle like any other (counted, waitable, closed by
// CloseHandle) and is signalled when a request on it completes, as a file
// object is. The host keeps a table from such handles to the driver's file;
// a handle not in it (and every handle while no simulated file is open) goes
// to the system's own call.
//
// Synchronous requests live on the caller's stack, use a reusable per-thread
// system buffer and a per-thread event, so that a steady stream of them
// allocates nothing. Overlapped requests are allocated; their completion
// fills the caller's OVERLAPPED, sets its event and the file's, and queues a
// packet on the completion port bound to the file. The packet carries the
// request's status (NtSetIoCompletion), so that GetQueuedCompletionStatus
// dequeues a failed request as a failure with its error, as it does for a
// real driver; PostQueuedCompletionStatus can only queue successes.
#include "host_internal.h"

#include <atomic>
#include <cstring>
#include <mutex>
#include <unordered_map>

namespace vks::host {

namespace {

constexpr ULONG_PTR kStatusPending = 0x103;

struct FileCore {
    std::shared_ptr<const Interface> iface;
    void* driverFile = nullptr;
    bool overlapped = false;
    HANDLE signal = nullptr;  // our own handle of the file's event

    std::mutex mu;
    HANDLE port = nullptr;  // our own handle of the bound port
    ULONG_PTR key = 0;
    std::vector<VKS_IRP*> pending;

    ~FileCore() {
        if (port) ::CloseHandle(port);
        if (signal) ::CloseHandle(signal);
    }
};

// One open file: the driver closes it when the last reference goes (the
// handle's, and those of calls still using it).
struct SimFile {
    std::shared_ptr<FileCore> core;
    ~SimFile() { core->iface->dispatch.Close(core->driverFile); }
};

SRWLOCK g_filesLock = SRWLOCK_INIT;
std::unordered_map<HANDLE, std::shared_ptr<SimFile>> g_files;
std::atomic<long> g_fileCount{0};

// The check every redirected call makes: one load while no simulated file is
// open, a shared lock and a lookup otherwise.
std::shared_ptr<SimFile> Lookup(HANDLE handle) {
    if (g_fileCount.load(std::memory_order_acquire) == 0) return nullptr;
    AcquireSRWLockShared(&g_filesLock);
    auto it = g_files.find(handle);
    std::shared_ptr<SimFile> file = it == g_files.end() ? nullptr : it->second;
    ReleaseSRWLockShared(&g_filesLock);
    return file;
}

bool IsDevicePath(const wchar_t* name) {
    return name[0] == L'\\' && name[1] == L'\\' && (name[2] == L'?' || name[2] == L'.') && name[3] == L'\\';
}

// A Win32 error as the status a driver completes with. Errors are encoded
// in FACILITY_NTWIN32, which RtlNtStatusToDosError turns back into the same
// number, so the caller's GetLastError is exactly the driver's error; the
// two statuses with a meaning of their own keep it.
LONG StatusFromError(DWORD error) {
    switch (error) {
    case ERROR_SUCCESS: return 0;
    case ERROR_MORE_DATA: return static_cast<LONG>(0x80000005);          // STATUS_BUFFER_OVERFLOW, a warning
    case ERROR_OPERATION_ABORTED: return static_cast<LONG>(0xC0000120);  // STATUS_CANCELLED
    case VKS_IRP_FAILED_WITHOUT_ERROR: return static_cast<LONG>(0xC0000001);  // STATUS_UNSUCCESSFUL
    default: return static_cast<LONG>(0xC0070000u | (error & 0xFFFFu));
    }
}

HANDLE EventOf(const OVERLAPPED* ov) {
    return reinterpret_cast<HANDLE>(reinterpret_cast<ULONG_PTR>(ov->hEvent) & ~static_cast<ULONG_PTR>(1));
}

// The low bit of hEvent asks for no completion packet.
bool SkipsPort(const OVERLAPPED* ov) { return (reinterpret_cast<ULONG_PTR>(ov->hEvent) & 1) != 0; }

using NtSetIoCompletionFn = LONG(NTAPI*)(HANDLE, ULONG_PTR, ULONG_PTR, LONG, ULONG_PTR);

NtSetIoCompletionFn NtSetIoCompletionEntry() {
    static const NtSetIoCompletionFn fn = reinterpret_cast<NtSetIoCompletionFn>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "NtSetIoCompletion")));
    return fn;
}

void QueuePacket(HANDLE port, ULONG_PTR key, OVERLAPPED* ov, LONG status, DWORD bytes) {
    if (NtSetIoCompletionFn set = NtSetIoCompletionEntry()) {
        set(port, key, reinterpret_cast<ULONG_PTR>(ov), status, bytes);
    } else if (status >= 0) {
        PostQueuedCompletionStatus(port, bytes, key, ov);
    }
}

void BeginOverlapped(FileCore& core, OVERLAPPED* ov) {
    ov->InternalHigh = 0;
    __atomic_store_n(&ov->Internal, kStatusPending, __ATOMIC_RELEASE);
    if (HANDLE event = EventOf(ov)) ResetEvent(event);
    ResetEvent(core.signal);
}

void CompleteOverlapped(FileCore& core, OVERLAPPED* ov, DWORD error, DWORD bytes) {
    const LONG status = StatusFromError(error);
    // Internal last: a reader that sees a final status also sees the count.
    __atomic_store_n(&ov->InternalHigh, static_cast<ULONG_PTR>(bytes), __ATOMIC_RELAXED);
    __atomic_store_n(&ov->Internal, static_cast<ULONG_PTR>(static_cast<ULONG>(status)), __ATOMIC_RELEASE);
    const bool packet = !SkipsPort(ov);
    if (HANDLE event = EventOf(ov)) SetEvent(event);
    SetEvent(core.signal);
    HANDLE port;
    ULONG_PTR key;
    {
        std::lock_guard lock(core.mu);
        port = core.port;
        key = core.key;
    }
    // The port handle is ours and lives as long as `core`.
    if (port && packet) QueuePacket(port, key, ov, status, bytes);
}

}  // namespace

}  // namespace vks::host

using namespace vks::host;

struct VKS_IRP {
    enum class State { Dispatching, CompletedInDispatch, CompletedEarly, Pending };

    DWORD code = 0;
    DWORD inLength = 0;
    DWORD outLength = 0;
    uint8_t* buffer = nullptr;
    bool overlapped = false;
    DWORD dispatcher = 0;

    SRWLOCK lock = SRWLOCK_INIT;
    State state = State::Dispatching;
    DWORD error = 0;
    DWORD bytes = 0;

    HANDLE done = nullptr;  // synchronous requests: the caller's event
    bool inline_ = false;   // ... completed inside the dispatch routine, no wait needed

    void* userOutput = nullptr;
    OVERLAPPED* ov = nullptr;
    std::shared_ptr<FileCore> core;
    std::unique_ptr<uint8_t[]> ownBuffer;
};

namespace vks::host {

namespace {

struct ThreadState {
    std::vector<uint8_t> systemBuffer;
    HANDLE done = nullptr;
    int dispatchDepth = 0;
    ~ThreadState() {
        if (done) ::CloseHandle(done);
    }
};
thread_local ThreadState t_state;

// Output goes back to the caller in full for success and for ERROR_MORE_DATA
// (a warning that carries data); errors carry none.
DWORD CopyOutput(VKS_IRP* irp, void* destination, DWORD error, DWORD bytes) {
    if (error != ERROR_SUCCESS && error != ERROR_MORE_DATA) return 0;
    if (bytes > irp->outLength) bytes = irp->outLength;
    if (bytes && destination) std::memcpy(destination, irp->buffer, bytes);
    return bytes;
}

void Forget(FileCore& core, VKS_IRP* irp) {
    std::lock_guard lock(core.mu);
    for (auto it = core.pending.begin(); it != core.pending.end(); ++it)
        if (*it == irp) {
            core.pending.erase(it);
            return;
        }
}

void FinishPending(VKS_IRP* irp, DWORD error, DWORD bytes) {
    bytes = CopyOutput(irp, irp->userOutput, error, bytes);
    std::shared_ptr<FileCore> core = std::move(irp->core);
    OVERLAPPED* ov = irp->ov;
    Forget(*core, irp);
    delete irp;
    CompleteOverlapped(*core, ov, error, bytes);
}

// The caller's last error for a driver's completion error.
DWORD LastErrorOf(DWORD error) { return error == VKS_IRP_FAILED_WITHOUT_ERROR ? ERROR_SUCCESS : error; }

BOOL Fail(DWORD error) {
    SetLastError(LastErrorOf(error));
    return FALSE;
}

BOOL IoControl(std::shared_ptr<SimFile> file, DWORD code, LPVOID in, DWORD inLength, LPVOID out, DWORD outLength,
               LPDWORD bytesReturned, LPOVERLAPPED ov) {
    std::shared_ptr<FileCore> core = file->core;
    const VKS_DRIVER_DISPATCH& dispatch = core->iface->dispatch;
    const DWORD size = inLength > outLength ? inLength : outLength;
    ThreadState& ts = t_state;

    if (!(core->overlapped && ov)) {
        if (!ts.done) {
            ts.done = CreateEventW(nullptr, FALSE, FALSE, nullptr);
            if (!ts.done) return FALSE;
        }
        VKS_IRP irp;
        irp.code = code;
        irp.inLength = inLength;
        irp.outLength = outLength;
        irp.done = ts.done;
        irp.dispatcher = GetCurrentThreadId();
        std::unique_ptr<uint8_t[]> nested;
        if (ts.dispatchDepth == 0) {
            if (ts.systemBuffer.size() < size) ts.systemBuffer.resize(size);
            irp.buffer = ts.systemBuffer.data();
        } else {
            // A driver that sends a request from its own dispatch routine.
            nested.reset(new uint8_t[size ? size : 1]);
            irp.buffer = nested.get();
        }
        if (inLength) std::memcpy(irp.buffer, in, inLength);
        ++ts.dispatchDepth;
        dispatch.DeviceControl(core->driverFile, &irp);
        --ts.dispatchDepth;
        // Not holding the file while waiting lets another thread close it,
        // which makes the driver complete this request.
        file.reset();
        // Most requests complete inside the dispatch routine; only those
        // completed elsewhere need the wait (a round trip to the Wine server
        // under Wine).
        if (!irp.inline_) WaitForSingleObject(irp.done, INFINITE);
        const DWORD error = irp.error;
        const DWORD bytes = CopyOutput(&irp, out, error, irp.bytes);
        if (ov) {
            ov->InternalHigh = bytes;
            __atomic_store_n(&ov->Internal, static_cast<ULONG_PTR>(static_cast<ULONG>(StatusFromError(error))),
                             __ATOMIC_RELEASE);
        }
        if (bytesReturned) *bytesReturned = bytes;
        SetLastError(LastErrorOf(error));
        return error == ERROR_SUCCESS;
    }

    auto* irp = new VKS_IRP;
    irp->code = code;
    irp->inLength = inLength;
    irp->outLength = outLength;
    irp->overlapped = true;
    irp->ownBuffer.reset(new uint8_t[size ? size : 1]);
    irp->buffer = irp->ownBuffer.get();
    if (inLength) std::memcpy(irp->buffer, in, inLength);
    irp->userOutput = out;
    irp->ov = ov;
    irp->core = core;
    irp->dispatcher = GetCurrentThreadId();
    {
        std::lock_guard lock(core->mu);
        core->pending.push_back(irp);
    }
    BeginOverlapped(*core, ov);
    ++ts.dispatchDepth;
    dispatch.DeviceControl(core->driverFile, irp);
    --ts.dispatchDepth;

    AcquireSRWLockExclusive(&irp->lock);
    switch (irp->state) {
    case VKS_IRP::State::CompletedInDispatch: {
        ReleaseSRWLockExclusive(&irp->lock);
        const DWORD error = irp->error;
        Forget(*core, irp);
        if (error != ERROR_SUCCESS && error != ERROR_MORE_DATA) {
            // Failed before it was ever pending: the caller learns it from
            // the return value alone; no event, no packet.
            delete irp;
            if (bytesReturned) *bytesReturned = 0;
            return Fail(error);
        }
        // Done at once: returned now, and still reported through the event
        // and the completion port.
        const DWORD bytes = CopyOutput(irp, out, error, irp->bytes);
        delete irp;
        CompleteOverlapped(*core, ov, error, bytes);
        if (bytesReturned) *bytesReturned = bytes;
        SetLastError(LastErrorOf(error));
        return error == ERROR_SUCCESS;
    }
    case VKS_IRP::State::CompletedEarly:
        // Completed by another thread before the dispatch routine returned:
        // the driver had handed it on, so it counts as pending.
        ReleaseSRWLockExclusive(&irp->lock);
        FinishPending(irp, irp->error, irp->bytes);
        return Fail(ERROR_IO_PENDING);
    default:
        irp->state = VKS_IRP::State::Pending;
        ReleaseSRWLockExclusive(&irp->lock);  // from here on the request belongs to its completion
        return Fail(ERROR_IO_PENDING);
    }
}

}  // namespace

std::shared_ptr<const Interface> InterfaceOfFile(HANDLE handle) {
    std::shared_ptr<SimFile> file = Lookup(handle);
    return file ? file->core->iface : nullptr;
}

}  // namespace vks::host

extern "C" {

DWORD VksIrpControlCode(const VKS_IRP* irp) { return irp->code; }

const void* VksIrpInput(const VKS_IRP* irp, DWORD* inputLength) {
    if (inputLength) *inputLength = irp->inLength;
    return irp->buffer;
}

void* VksIrpOutput(VKS_IRP* irp, DWORD* outputLength) {
    if (outputLength) *outputLength = irp->outLength;
    return irp->buffer;
}

void VksCompleteRequest(VKS_IRP* irp, DWORD win32Error, DWORD bytes) {
    if (bytes > irp->outLength) bytes = irp->outLength;
    if (!irp->overlapped) {
        irp->error = win32Error;
        irp->bytes = bytes;
        if (GetCurrentThreadId() == irp->dispatcher)
            irp->inline_ = true;  // the caller is inside DeviceControl and looks when it returns
        else
            SetEvent(irp->done);  // the request lives on the caller's stack: not touched after this
        return;
    }
    AcquireSRWLockExclusive(&irp->lock);
    if (irp->state == VKS_IRP::State::Dispatching) {
        irp->error = win32Error;
        irp->bytes = bytes;
        irp->state = GetCurrentThreadId() == irp->dispatcher ? VKS_IRP::State::CompletedInDispatch
                                                             : VKS_IRP::State::CompletedEarly;
        ReleaseSRWLockExclusive(&irp->lock);
        return;
    }
    ReleaseSRWLockExclusive(&irp->lock);
    FinishPending(irp, win32Error, bytes);
}

HANDLE WINAPI VksHostCreateFileW(LPCWSTR name, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security,
                                 DWORD disposition, DWORD flags, HANDLE templateFile) {
    if (name && IsDevicePath(name) && DriversPresent()) {
        const char16_t* rest = nullptr;
        if (std::shared_ptr<const Interface> iface = FindInterfaceForFile(name, &rest)) {
            const bool overlapped = (flags & FILE_FLAG_OVERLAPPED) != 0;
            void* driverFile = nullptr;
            const DWORD error = iface->dispatch.Create(iface->deviceContext, rest, overlapped, &driverFile);
            if (error != ERROR_SUCCESS) {
                SetLastError(error);
                return INVALID_HANDLE_VALUE;
            }
            auto core = std::make_shared<FileCore>();
            core->iface = iface;
            core->driverFile = driverFile;
            core->overlapped = overlapped;
            auto file = std::make_shared<SimFile>();
            file->core = core;
            HANDLE handle = CreateEventW(nullptr, TRUE, FALSE, nullptr);
            if (!handle || !DuplicateHandle(GetCurrentProcess(), handle, GetCurrentProcess(), &core->signal, 0, FALSE,
                                            DUPLICATE_SAME_ACCESS)) {
                const DWORD failure = GetLastError();
                if (handle) ::CloseHandle(handle);
                file.reset();  // the driver closes its file
                SetLastError(failure);
                return INVALID_HANDLE_VALUE;
            }
            AcquireSRWLockExclusive(&g_filesLock);
            g_files[handle] = std::move(file);
            g_fileCount.fetch_add(1, std::memory_order_release);
            ReleaseSRWLockExclusive(&g_filesLock);
            SetLastError(ERROR_SUCCESS);
            return handle;
        }
    }
    return ::CreateFileW(name, access, share, security, disposition, flags, templateFile);
}

BOOL WINAPI VksHostDeviceIoControl(HANDLE device, DWORD code, LPVOID in, DWORD inLength, LPVOID out, DWORD outLength,
                                   LPDWORD returned, LPOVERLAPPED ov) {
    std::shared_ptr<SimFile> file = Lookup(device);
    if (!file) return ::DeviceIoControl(device, code, in, inLength, out, outLength, returned, ov);
    if ((inLength && !in) || (outLength && !out)) return Fail(ERROR_NOACCESS);
    return IoControl(std::move(file), code, in, inLength, out, outLength, returned, ov);
}

// The driver sets no cancel routines: as for such a driver on Windows, a
// cancel finds the requests, and they end when the driver completes them.
BOOL WINAPI VksHostCancelIoEx(HANDLE handle, LPOVERLAPPED ov) {
    std::shared_ptr<SimFile> file = Lookup(handle);
    if (!file) return ::CancelIoEx(handle, ov);
    std::lock_guard lock(file->core->mu);
    for (VKS_IRP* irp : file->core->pending)
        if (!ov || irp->ov == ov) return TRUE;
    return Fail(ERROR_NOT_FOUND);
}

BOOL WINAPI VksHostCancelIo(HANDLE handle) {
    if (!Lookup(handle)) return ::CancelIo(handle);
    SetLastError(ERROR_SUCCESS);
    return TRUE;
}

BOOL WINAPI VksHostGetOverlappedResult(HANDLE handle, LPOVERLAPPED ov, LPDWORD bytes, BOOL wait) {
    if (!Lookup(handle)) return ::GetOverlappedResult(handle, ov, bytes, wait);
    auto status = [&] { return __atomic_load_n(&ov->Internal, __ATOMIC_ACQUIRE); };
    if (status() == kStatusPending) {
        if (!wait) return Fail(ERROR_IO_INCOMPLETE);
        // One wait, as on Windows: the request's event, or the file itself.
        HANDLE waitOn = EventOf(ov) ? EventOf(ov) : handle;
        if (WaitForSingleObject(waitOn, INFINITE) == WAIT_FAILED) return FALSE;
        if (status() == kStatusPending) return Fail(ERROR_IO_INCOMPLETE);
    }
    *bytes = static_cast<DWORD>(__atomic_load_n(&ov->InternalHigh, __ATOMIC_RELAXED));
    const LONG s = static_cast<LONG>(static_cast<ULONG>(status()));
    if (s < 0) {
        const ULONG code = static_cast<ULONG>(s);
        return Fail(code == 0x80000005u   ? ERROR_MORE_DATA
                    : code == 0xC0000120u ? ERROR_OPERATION_ABORTED
                                          : (code & 0xFFFFu));
    }
    SetLastError(ERROR_SUCCESS);
    return TRUE;
}

BOOL WINAPI VksHostCloseHandle(HANDLE handle) {
    if (g_fileCount.load(std::memory_order_acquire) != 0) {
        std::shared_ptr<SimFile> file;
        AcquireSRWLockExclusive(&g_filesLock);
        if (auto it = g_files.find(handle); it != g_files.end()) {
            file = std::move(it->second);
            g_files.erase(it);
            g_fileCount.fetch_sub(1, std::memory_order_release);
        }
        ReleaseSRWLockExclusive(&g_filesLock);
        if (file) {
            ::CloseHandle(handle);
            file.reset();  // the last reference: the driver closes its file
            SetLastError(ERROR_SUCCESS);
            return TRUE;
        }
    }
    return ::CloseHandle(handle);
}

HANDLE WINAPI VksHostCreateIoCompletionPort(HANDLE handle, HANDLE port, ULONG_PTR key, DWORD threads) {
    std::shared_ptr<SimFile> file = handle == INVALID_HANDLE_VALUE ? nullptr : Lookup(handle);
    if (!file) return ::CreateIoCompletionPort(handle, port, key, threads);
    FileCore& core = *file->core;
    if (!core.overlapped) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    HANDLE target = port ? port : ::CreateIoCompletionPort(INVALID_HANDLE_VALUE, nullptr, 0, threads);
    if (!target) return nullptr;
    HANDLE own = nullptr;
    if (!DuplicateHandle(GetCurrentProcess(), target, GetCurrentProcess(), &own, 0, FALSE, DUPLICATE_SAME_ACCESS)) {
        const DWORD error = GetLastError();
        if (!port) ::CloseHandle(target);
        SetLastError(error == ERROR_INVALID_HANDLE ? ERROR_INVALID_PARAMETER : error);
        return nullptr;
    }
    {
        std::lock_guard lock(core.mu);
        if (!core.port) {
            core.port = own;
            core.key = key;
            own = nullptr;
        }
    }
    if (own) {
        // A file is bound to one port for its life.
        ::CloseHandle(own);
        if (!port) ::CloseHandle(target);
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    SetLastError(ERROR_SUCCESS);
    return target;
}

}  // extern "C"
