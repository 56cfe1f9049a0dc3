// Device files: CreateFileW on an interface path asks the interface's driver
// to create a file; DeviceIoControl turns every call into one request (an
// IRP) with a system buffer (buffered method); the driver completes it now or
// later with VksCompleteRequest; the last close of the file asks the driver to
// close it, and the driver completes what it still holds.
//
// Synchronous requests live on the caller's stack and use a reusable
// per-thread system buffer, so that a steady stream of them allocates nothing.
// Overlapped requests are allocated and finish through the file's
// completion-port binding (kernel_object.h).
#include "device_io_internal.h"

#include "driver_registry_internal.h"

#include <condition_variable>
#include <cstring>
#include <thread>
#include <vector>

using namespace vks::kernel;

struct VKS_IRP {
    enum class State { Dispatching, CompletedInDispatch, CompletedEarly, Pending };

    DWORD code = 0;
    DWORD inLength = 0;
    DWORD outLength = 0;
    uint8_t* buffer = nullptr;
    bool overlapped = false;
    std::thread::id dispatcher;

    std::mutex mu;
    State state = State::Dispatching;
    DWORD error = 0;
    DWORD bytes = 0;

    // Synchronous requests: the caller waits for `done`.
    std::condition_variable completed;
    bool done = false;

    // Overlapped requests.
    void* userOutput = nullptr;
    OVERLAPPED* ov = nullptr;
    std::shared_ptr<vks::devices::DeviceFileCore> core;
    std::unique_ptr<uint8_t[]> ownBuffer;
};

namespace vks::devices {

namespace {

// Copies a request's output back to the caller's buffer as the buffered method
// does: in full for success, and for ERROR_MORE_DATA (a warning that still
// carries data); errors carry none.
DWORD CopyOutput(VKS_IRP* irp, void* destination, DWORD error, DWORD bytes) {
    if (error != ERROR_SUCCESS && error != ERROR_MORE_DATA) return 0;
    if (bytes > irp->outLength) bytes = irp->outLength;
    if (bytes && destination) std::memcpy(destination, irp->buffer, bytes);
    return bytes;
}

// The caller's last error for a request's completion error.
DWORD LastErrorOf(DWORD error) { return error == VKS_IRP_FAILED_WITHOUT_ERROR ? ERROR_SUCCESS : error; }

// Ends an overlapped request that went pending (or was completed from another
// thread while the driver was still dispatching it).
void FinishPending(VKS_IRP* irp, DWORD error, DWORD bytes) {
    bytes = CopyOutput(irp, irp->userOutput, error, bytes);
    std::shared_ptr<DeviceFileCore> core = std::move(irp->core);
    CompleteOverlapped(core->file, irp->ov, error, bytes);
    delete irp;
    core->EndRequest();
}

// Per-thread system buffer of synchronous requests; a driver that sends a
// request from inside its own dispatch routine gets a buffer of its own.
thread_local std::vector<uint8_t> t_systemBuffer;
thread_local int t_dispatchDepth = 0;

}  // namespace

void DeviceFileCore::BeginRequest() {
    std::lock_guard lock(mu);
    ++inflight;
}

void DeviceFileCore::EndRequest() {
    std::lock_guard lock(mu);
    if (--inflight == 0) idle.notify_all();
}

DeviceFile::~DeviceFile() {
    // The last reference went away (handles and callers in progress): the
    // driver closes its file and completes what it holds; completions still
    // under way elsewhere need the file object until they end.
    core->iface->dispatch.Close(core->driverFile);
    std::unique_lock lock(core->mu);
    core->idle.wait(lock, [&] { return core->inflight == 0; });
    core->file = nullptr;
}

HANDLE OpenDeviceFile(LPCWSTR fileName, DWORD flagsAndAttributes) {
    EnsureDriversLoaded();
    const char16_t* rest = nullptr;
    std::shared_ptr<const Interface> iface = FindInterfaceForFile(fileName, &rest);
    if (!iface) {
        // Windows reports a device path that names no interface this way.
        SetLastError(ERROR_FILE_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
    }
    const bool overlapped = (flagsAndAttributes & FILE_FLAG_OVERLAPPED) != 0;
    void* driverFile = nullptr;
    DWORD error = iface->dispatch.Create(iface->deviceContext, rest, overlapped ? TRUE : FALSE, &driverFile);
    if (error != ERROR_SUCCESS) {
        SetLastError(error);
        return INVALID_HANDLE_VALUE;
    }
    auto core = std::make_shared<DeviceFileCore>();
    core->iface = std::move(iface);
    core->driverFile = driverFile;
    core->overlapped = overlapped;
    auto* file = new DeviceFile(core);
    core->file = file;
    Ref<DeviceFile> ref = Ref<DeviceFile>::Adopt(file);
    HANDLE handle = InsertHandle(file);
    if (!handle) return INVALID_HANDLE_VALUE;  // dropping `ref` closes the driver's file
    SetLastError(ERROR_SUCCESS);
    return handle;
}

BOOL DeviceFileIoControl(Ref<DeviceFile> file, DWORD code, LPVOID in, DWORD inLength, LPVOID out, DWORD outLength,
                         LPDWORD bytesReturned, LPOVERLAPPED ov) {
    DeviceFileCore& core = *file->core;
    const VKS_DRIVER_DISPATCH& dispatch = core.iface->dispatch;
    const DWORD size = inLength > outLength ? inLength : outLength;

    if (!(core.overlapped && ov)) {
        VKS_IRP irp;
        irp.code = code;
        irp.inLength = inLength;
        irp.outLength = outLength;
        std::unique_ptr<uint8_t[]> nested;
        if (t_dispatchDepth == 0) {
            if (t_systemBuffer.size() < size) t_systemBuffer.resize(size);
            irp.buffer = t_systemBuffer.data();
        } else {
            nested.reset(new uint8_t[size ? size : 1]);
            irp.buffer = nested.get();
        }
        if (inLength) std::memcpy(irp.buffer, in, inLength);
        ++t_dispatchDepth;
        dispatch.DeviceControl(core.driverFile, &irp);
        --t_dispatchDepth;
        // Not holding the file while waiting lets another thread close it,
        // which makes the driver complete this request.
        file.Reset();
        DWORD error, bytes;
        {
            std::unique_lock lock(irp.mu);
            irp.completed.wait(lock, [&] { return irp.done; });
            error = irp.error;
            bytes = irp.bytes;
        }
        bytes = CopyOutput(&irp, out, error, bytes);
        if (ov) {
            __atomic_store_n(&ov->InternalHigh, bytes, __ATOMIC_RELAXED);
            __atomic_store_n(&ov->Internal, static_cast<ULONG_PTR>(static_cast<ULONG>(NtStatusFromWin32Error(error))),
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
    irp->core = file->core;
    irp->dispatcher = std::this_thread::get_id();
    core.BeginRequest();
    BeginOverlapped(file.get(), ov);
    ++t_dispatchDepth;
    dispatch.DeviceControl(core.driverFile, irp);
    --t_dispatchDepth;

    std::unique_lock lock(irp->mu);
    switch (irp->state) {
    case VKS_IRP::State::CompletedInDispatch: {
        lock.unlock();
        const DWORD error = irp->error;
        if (error != ERROR_SUCCESS && error != ERROR_MORE_DATA) {
            // Failed before it was ever pending: the caller learns it from the
            // return value alone; no event, no packet.
            std::shared_ptr<DeviceFileCore> keep = std::move(irp->core);
            delete irp;
            keep->EndRequest();
            if (bytesReturned) *bytesReturned = 0;
            SetLastError(LastErrorOf(error));
            return FALSE;
        }
        // Done at once: the result is returned and still reported through the
        // event and the completion port.
        const DWORD bytes = CopyOutput(irp, out, error, irp->bytes);
        std::shared_ptr<DeviceFileCore> keep = std::move(irp->core);
        delete irp;
        CompleteOverlapped(file.get(), ov, error, bytes);
        keep->EndRequest();
        if (bytesReturned) *bytesReturned = bytes;
        SetLastError(error);
        return error == ERROR_SUCCESS;
    }
    case VKS_IRP::State::CompletedEarly: {
        // Completed by another thread before the dispatch routine returned:
        // the driver had handed it on, so it counts as pending.
        lock.unlock();
        FinishPending(irp, irp->error, irp->bytes);
        SetLastError(ERROR_IO_PENDING);
        return FALSE;
    }
    default:
        irp->state = VKS_IRP::State::Pending;
        lock.unlock();  // from here on the request belongs to its completion
        SetLastError(ERROR_IO_PENDING);
        return FALSE;
    }
}

}  // namespace vks::devices

using namespace vks::devices;

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
        std::lock_guard lock(irp->mu);
        irp->error = win32Error;
        irp->bytes = bytes;
        irp->done = true;
        irp->completed.notify_one();
        return;
    }
    {
        std::lock_guard lock(irp->mu);
        if (irp->state == VKS_IRP::State::Dispatching) {
            irp->error = win32Error;
            irp->bytes = bytes;
            irp->state = std::this_thread::get_id() == irp->dispatcher ? VKS_IRP::State::CompletedInDispatch
                                                                        : VKS_IRP::State::CompletedEarly;
            return;
        }
    }
    FinishPending(irp, win32Error, bytes);
}

const void* VksDeviceRegistrationOfHandle(HANDLE file) {
    // Asked while delivering notifications: the caller's last error is not
    // this lookup's business.
    const DWORD lastError = GetLastError();
    Ref<KernelObject> object = ReferenceHandle(file);
    SetLastError(lastError);
    auto* device = dynamic_cast<DeviceFile*>(object.get());
    return device ? device->core->iface.get() : nullptr;
}

BOOL WINAPI DeviceIoControl(HANDLE hDevice, DWORD dwIoControlCode, LPVOID lpInBuffer, DWORD nInBufferSize,
                            LPVOID lpOutBuffer, DWORD nOutBufferSize, LPDWORD lpBytesReturned,
                            LPOVERLAPPED lpOverlapped) {
    Ref<KernelObject> object = ReferenceHandle(hDevice);
    if (!object) return FALSE;
    if (!dynamic_cast<DeviceFile*>(object.get())) {
        // A regular file has no device controls; anything else is no file.
        SetLastError(dynamic_cast<FileObject*>(object.get()) ? ERROR_INVALID_FUNCTION : ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if ((nInBufferSize && !lpInBuffer) || (nOutBufferSize && !lpOutBuffer)) {
        SetLastError(ERROR_NOACCESS);
        return FALSE;
    }
    Ref<DeviceFile> file = Ref<DeviceFile>::Adopt(static_cast<DeviceFile*>(object.Detach()));
    return DeviceFileIoControl(std::move(file), dwIoControlCode, lpInBuffer, nInBufferSize, lpOutBuffer,
                               nOutBufferSize, lpBytesReturned, lpOverlapped);
}

}  // extern "C"
