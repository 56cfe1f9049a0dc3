// I/O completion ports: creation and binding conventions, dequeue results and
// last-error values, FIFO order, packets of completed and failed requests,
// GetOverlappedResult.
//
// A request that completes later needs a device. On Windows that is a named
// pipe; on Linux the program plays the driver through the layer's internal
// file object. The checks on what the application sees are the same.
#include "conformance.h"

#if defined(_WIN32)
#  include <cstdio>
#else
#  include "kernel_object.h"
#endif

namespace {

LPOVERLAPPED const kGarbage = reinterpret_cast<LPOVERLAPPED>(static_cast<ULONG_PTR>(0x1234));

HANDLE NewPort() { return CreateIoCompletionPort(INVALID_HANDLE_VALUE, nullptr, 0, 1); }

// Dequeues a packet and checks what the call gives: its result (and the
// last error when it fails), the byte count, the key and the OVERLAPPED
// (the count and key are left unchecked when no packet is expected).
#define CHECK_PACKET(port, wait, ok, error, bytes, key, ov) \
    CHECK(Packet(port, wait, ok, error, bytes, key, ov, __LINE__))
bool Packet(HANDLE port, DWORD wait, BOOL ok, DWORD error, DWORD bytes, ULONG_PTR key, LPOVERLAPPED ov, int line) {
    DWORD gotBytes = 0xBAD;
    ULONG_PTR gotKey = 0xBAD;
    LPOVERLAPPED gotOv = kGarbage;
    SetLastError(0);
    const BOOL gotOk = GetQueuedCompletionStatus(port, &gotBytes, &gotKey, &gotOv, wait);
    const DWORD gotError = gotOk ? 0 : GetLastError();
    const bool none = !ok && !ov;
    if (gotOk == ok && gotError == error && (none || (gotBytes == bytes && gotKey == key)) && gotOv == ov) return true;
    std::fprintf(stderr, "line %d: packet %d/%lu/%lu/%lu/%p\n", line, gotOk, static_cast<unsigned long>(gotError),
                 static_cast<unsigned long>(gotBytes), static_cast<unsigned long>(gotKey), static_cast<void*>(gotOv));
    return false;
}

// A device with one overlapped read at a time.
class Device {
public:
    Device();
    ~Device();
    HANDLE handle() const { return file_; }
    // Starts a read that stays pending; true when it did.
    bool StartRead(OVERLAPPED* ov);
    // Completes the pending read with `bytes` bytes.
    void Complete(OVERLAPPED* ov, DWORD bytes);
    // Fails the pending read as cancelled.
    void Cancel(OVERLAPPED* ov);

private:
    HANDLE file_ = nullptr;
#if defined(_WIN32)
    HANDLE client_ = nullptr;
    char buffer_[64];
#else
    class File final : public vks::kernel::FileObject {
    public:
        const char* TypeName() const noexcept override { return "File"; }
    };
    vks::kernel::Ref<File> object_;
#endif
};

#if defined(_WIN32)
Device::Device() {
    static int serial = 0;
    char name[128];
    std::snprintf(name, sizeof name, "\\\\.\\pipe\\vks-conformance-%lu-%d", GetCurrentProcessId(), ++serial);
    file_ = CreateNamedPipeA(name, PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED, PIPE_TYPE_BYTE | PIPE_WAIT, 1, 4096,
                             4096, 0, nullptr);
    client_ = CreateFileA(name, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
}
Device::~Device() {
    CloseHandle(client_);
    CloseHandle(file_);
}
bool Device::StartRead(OVERLAPPED* ov) {
    return !ReadFile(file_, buffer_, sizeof buffer_, nullptr, ov) && GetLastError() == ERROR_IO_PENDING;
}
void Device::Complete(OVERLAPPED*, DWORD bytes) {
    char data[64] = {};
    DWORD written = 0;
    WriteFile(client_, data, bytes, &written, nullptr);
}
void Device::Cancel(OVERLAPPED* ov) { CancelIoEx(file_, ov); }
#else
Device::Device() : object_(vks::kernel::Ref<File>::Adopt(new File)) { file_ = vks::kernel::InsertHandle(object_.get()); }
Device::~Device() { CloseHandle(file_); }
bool Device::StartRead(OVERLAPPED* ov) {
    vks::kernel::BeginOverlapped(object_.get(), ov);
    return true;
}
void Device::Complete(OVERLAPPED* ov, DWORD bytes) { vks::kernel::CompleteOverlapped(object_.get(), ov, 0, bytes); }
void Device::Cancel(OVERLAPPED* ov) {
    vks::kernel::CompleteOverlapped(object_.get(), ov, ERROR_OPERATION_ABORTED, 0);
}
#endif

void Basics() {
    HANDLE port = NewPort();
    CHECK(port != nullptr);
    CHECK(port != INVALID_HANDLE_VALUE);

    DWORD bytes = 77;
    ULONG_PTR key = 77;
    LPOVERLAPPED ov = kGarbage;
    CHECK_PACKET(port, 0, FALSE, WAIT_TIMEOUT, 0, 0, nullptr);
    LARGE_INTEGER f, a, b;
    QueryPerformanceFrequency(&f);
    QueryPerformanceCounter(&a);
    CHECK_PACKET(port, 40, FALSE, WAIT_TIMEOUT, 0, 0, nullptr);
    QueryPerformanceCounter(&b);
    CHECK(double(b.QuadPart - a.QuadPart) * 1000.0 / double(f.QuadPart) >= 25.0);
    // The shortest time-out waits too.
    for (int i = 0; i < 10; ++i) CHECK(!GetQueuedCompletionStatus(port, &bytes, &key, &ov, 1));
    QueryPerformanceCounter(&a);
    CHECK(double(a.QuadPart - b.QuadPart) * 1000.0 / double(f.QuadPart) >= 5.0);

    // Round trip of bytes, key and overlapped pointer.
    OVERLAPPED mine{};
    const ULONG_PTR bigKey = static_cast<ULONG_PTR>(0xFEDCBA9876543210ull);
    CHECK(PostQueuedCompletionStatus(port, 0xFFFFFFFFu, bigKey, &mine));
    CHECK_PACKET(port, 0, TRUE, 0, 0xFFFFFFFFu, bigKey, &mine);
    // A packet with no overlapped structure is still a successful dequeue.
    CHECK(PostQueuedCompletionStatus(port, 3, 4, nullptr));
    CHECK_PACKET(port, INFINITE, TRUE, 0, 3, 4, nullptr);

    // First in, first out.
    OVERLAPPED many[100];
    for (int i = 0; i < 100; ++i) CHECK(PostQueuedCompletionStatus(port, i * 2, i, &many[i]));
    bool fifo = true;
    for (int i = 0; i < 100; ++i) {
        fifo = fifo && GetQueuedCompletionStatus(port, &bytes, &key, &ov, 0) && key == (ULONG_PTR)i &&
               bytes == (DWORD)(i * 2) && ov == &many[i];
    }
    CHECK(fifo);
    CHECK_PACKET(port, 0, FALSE, WAIT_TIMEOUT, 0, 0, nullptr);

    // Bad handles: none, and an object that is not a port.
    HANDLE event = CreateEventW(nullptr, TRUE, TRUE, nullptr);
    HANDLE bad[2] = {nullptr, event};
    for (int i = 0; i < 2; ++i) {
        ov = kGarbage;
        CHECK_ERR(!GetQueuedCompletionStatus(bad[i], &bytes, &key, &ov, 0), ERROR_INVALID_HANDLE);
        CHECK_ERR(!PostQueuedCompletionStatus(bad[i], 0, 0, nullptr), ERROR_INVALID_HANDLE);
    }
    // A new port takes no existing port.
    CHECK_ERR(CreateIoCompletionPort(INVALID_HANDLE_VALUE, port, 0, 0) == nullptr, ERROR_INVALID_PARAMETER);
    CloseHandle(event);

    CHECK(CloseHandle(port));
    CHECK_ERR(!PostQueuedCompletionStatus(port, 0, 0, nullptr), ERROR_INVALID_HANDLE);
}

struct Worker {
    HANDLE port;
    HANDLE ready;
    BOOL ok;
    DWORD error;
    DWORD bytes;
    ULONG_PTR key;
    LPOVERLAPPED ov;
};

DWORD WINAPI Dequeue(void* p) {
    auto* w = static_cast<Worker*>(p);
    w->ov = kGarbage;
    SetEvent(w->ready);
    SetLastError(0);
    w->ok = GetQueuedCompletionStatus(w->port, &w->bytes, &w->key, &w->ov, INFINITE);
    w->error = GetLastError();
    return 0;
}

void AcrossThreads() {
    Worker w{NewPort(), CreateEventW(nullptr, FALSE, FALSE, nullptr), FALSE, 0, 0, 0, nullptr};
    HANDLE t = CreateThread(nullptr, 0, Dequeue, &w, 0, nullptr);
    WaitForSingleObject(w.ready, INFINITE);
    OVERLAPPED ov{};
    CHECK(PostQueuedCompletionStatus(w.port, 11, 22, &ov));
    WaitForSingleObject(t, INFINITE);
    CloseHandle(t);
    CHECK(w.ok);
    CHECK_EQ(w.bytes, (DWORD)11);
    CHECK_EQ(w.key, (ULONG_PTR)22);
    CHECK(w.ov == &ov);
    CloseHandle(w.port);

    // Closing the port under a blocked dequeue ends it with
    // ERROR_ABANDONED_WAIT_0. If the close wins the race against the worker
    // reaching its wait, the worker sees a closed handle instead; repeat
    // until the blocked case has been seen. Wine leaves the dequeue waiting
    // (until its timeout) instead of ending it as documented, so this part
    // is skipped there.
    if (conformance::OnWine()) {
        CloseHandle(w.ready);
        return;
    }
    bool sawAbandoned = false;
    bool allExpected = true;
    for (int attempt = 0; attempt < 200 && !sawAbandoned; ++attempt) {
        w.port = NewPort();
        t = CreateThread(nullptr, 0, Dequeue, &w, 0, nullptr);
        WaitForSingleObject(w.ready, INFINITE);
        CloseHandle(w.port);
        WaitForSingleObject(t, INFINITE);
        CloseHandle(t);
        allExpected = allExpected && !w.ok && w.ov == nullptr &&
                      (w.error == ERROR_ABANDONED_WAIT_0 || w.error == ERROR_INVALID_HANDLE);
        sawAbandoned = w.error == ERROR_ABANDONED_WAIT_0;
    }
    CHECK(allExpected);
    CHECK(sawAbandoned);
    CHECK_EQ(w.error, (DWORD)735);
    CloseHandle(w.ready);
}

void DeviceRequests() {
    HANDLE port = NewPort();
    Device device;
    CHECK(device.handle() != nullptr && device.handle() != INVALID_HANDLE_VALUE);
    CHECK(CreateIoCompletionPort(device.handle(), port, 0xABC, 0) == port);

    DWORD bytes = 0;

    // Success.
    OVERLAPPED ov{};
    CHECK(device.StartRead(&ov));
    CHECK_EQ((DWORD)ov.Internal, (DWORD)STATUS_PENDING);
    CHECK(!HasOverlappedIoCompleted(&ov));
    CHECK_ERR(!GetOverlappedResult(device.handle(), &ov, &bytes, FALSE), ERROR_IO_INCOMPLETE);
    CHECK_PACKET(port, 0, FALSE, WAIT_TIMEOUT, 0, 0, nullptr);
    device.Complete(&ov, 5);
    CHECK_PACKET(port, INFINITE, TRUE, 0, 5, 0xABC, &ov);
    CHECK(HasOverlappedIoCompleted(&ov));
    CHECK_EQ((DWORD)ov.Internal, (DWORD)0);
    CHECK_EQ((DWORD)ov.InternalHigh, (DWORD)5);
    bytes = 0;
    CHECK(GetOverlappedResult(device.handle(), &ov, &bytes, TRUE));
    CHECK_EQ(bytes, (DWORD)5);

    // Failure: the packet still arrives, and the dequeue reports the error.
    OVERLAPPED failed{};
    CHECK(device.StartRead(&failed));
    device.Cancel(&failed);
    CHECK_PACKET(port, INFINITE, FALSE, ERROR_OPERATION_ABORTED, 0, 0xABC, &failed);
    CHECK_ERR(!GetOverlappedResult(device.handle(), &failed, &bytes, TRUE), ERROR_OPERATION_ABORTED);

    // An event whose low bit is set is signalled, but no packet is queued.
    HANDLE event = CreateEventW(nullptr, TRUE, TRUE, nullptr);
    OVERLAPPED quiet{};
    quiet.hEvent = reinterpret_cast<HANDLE>(reinterpret_cast<ULONG_PTR>(event) | 1);
    CHECK(device.StartRead(&quiet));
    CHECK_EQ(WaitForSingleObject(event, 0), (DWORD)WAIT_TIMEOUT);  // reset when the request started
    device.Complete(&quiet, 2);
    CHECK_EQ(WaitForSingleObject(event, INFINITE), (DWORD)WAIT_OBJECT_0);
    CHECK(GetOverlappedResult(device.handle(), &quiet, &bytes, TRUE));
    CHECK_EQ(bytes, (DWORD)2);
    CHECK_PACKET(port, 0, FALSE, WAIT_TIMEOUT, 0, 0, nullptr);
    CloseHandle(event);

    // A file is bound to one port only.
    HANDLE other = NewPort();
    CHECK_ERR(CreateIoCompletionPort(device.handle(), other, 1, 0) == nullptr, ERROR_INVALID_PARAMETER);
    CloseHandle(other);
    CloseHandle(port);
}

void NewPortForFile() {
    // A file handle and no existing port: a new port, bound to the file.
    Device device;
    HANDLE port = CreateIoCompletionPort(device.handle(), nullptr, 9, 0);
    CHECK(port != nullptr);
    OVERLAPPED ov{};
    CHECK(device.StartRead(&ov));
    device.Complete(&ov, 1);
    CHECK_PACKET(port, INFINITE, TRUE, 0, 1, 9, &ov);
    CloseHandle(port);
}

}  // namespace

int main() {
    Basics();
    AcrossThreads();
    DeviceRequests();
    NewPortForFile();
    return conformance::Finish("conf_iocp");
}
