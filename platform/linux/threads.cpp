// Threads: per-thread records, thread objects, CreateThread and friends.
//
// Every thread that uses the layer gets a ThreadState on first use, whether
// it was started by CreateThread or not (std::thread, the main thread, a
// thread of another library). A pthread key destructor ends it: that runs
// after the thread's C++ thread_local destructors, so the thread object is
// signalled only once nothing of the thread's own code runs any more, and
// the mutexes the thread still owns become abandoned.
#include "kernel_internal.h"

#include <limits.h>
#include <pthread.h>
#include <unistd.h>

#include <atomic>

namespace vks::kernel {

// Initial-exec: the library is loaded with the program, and every call of
// the layer reads this.
constinit thread_local ThreadState* t_state __attribute__((tls_model("initial-exec"))) = nullptr;

class ThreadObject final : public KernelObject {
public:
    explicit ThreadObject(DWORD id) : id(id) {}
    const char* TypeName() const noexcept override { return "Thread"; }
    bool IsWaitable() const noexcept override { return true; }
    bool IsSignaled(const ThreadState*) const noexcept override { return ended; }

    const DWORD id;
    // Under StateLock().
    DWORD exitCode = STILL_ACTIVE;
    bool ended = false;
    int priority = THREAD_PRIORITY_NORMAL;
    DWORD suspendCount = 0;
    // Set before the thread starts; read by the thread.
    LPTHREAD_START_ROUTINE start = nullptr;
    LPVOID parameter = nullptr;
    SIZE_T stackSize = 0;
};

namespace {

// The current process: waitable, never signalled while anyone can wait.
class ProcessObject final : public KernelObject {
public:
    const char* TypeName() const noexcept override { return "Process"; }
    bool IsWaitable() const noexcept override { return true; }
};

ProcessObject* g_process = nullptr;  // never destroyed
std::atomic<DWORD> g_lastThreadId{0x100};
pthread_key_t g_threadKey;
pthread_once_t g_threadKeyOnce = PTHREAD_ONCE_INIT;

DWORD NewThreadId() noexcept { return g_lastThreadId.fetch_add(4, std::memory_order_relaxed) + 4; }

void ThreadEnded(void* p) noexcept {
    auto* ts = static_cast<ThreadState*>(p);
    AbandonMutexes(ts);
    ThreadObject* thread;
    {
        std::lock_guard<std::mutex> lock(g_kernelLock);
        thread = ts->thread;
        ts->thread = nullptr;
    }
    if (thread) {
        {
            std::lock_guard<std::mutex> lock(thread->StateLock());
            thread->exitCode = ts->exitCode;
            thread->ended = true;
            SignalLocked(thread);
        }
        thread->Release();
    }
    t_state = nullptr;
    ReleaseReader(ts->reader);
    delete ts;
}

void CreateThreadKey() { pthread_key_create(&g_threadKey, ThreadEnded); }

// `thread` (owning reference, may be null) is the thread object that
// CreateThread made for this thread.
ThreadState* AttachThread(ThreadObject* thread) noexcept {
    pthread_once(&g_threadKeyOnce, CreateThreadKey);
    auto* ts = new ThreadState;
    ts->reader = AcquireReader();
    ts->id = thread ? thread->id : NewThreadId();
    ts->thread = thread;
    pthread_setspecific(g_threadKey, ts);
    t_state = ts;
    return ts;
}

void* ThreadMain(void* p) {
    auto* thread = static_cast<ThreadObject*>(p);
    ThreadState* ts = AttachThread(thread);
    ts->exitCode = thread->start(thread->parameter);
    return nullptr;
}

// Starts the OS thread; it takes its own reference to `thread`.
bool StartThread(ThreadObject* thread) noexcept {
    pthread_attr_t attr;
    pthread_attr_init(&attr);
    pthread_attr_setdetachstate(&attr, PTHREAD_CREATE_DETACHED);
    if (thread->stackSize) {
        const size_t page = static_cast<size_t>(sysconf(_SC_PAGESIZE));
        size_t size = (thread->stackSize + page - 1) / page * page;
        if (size < static_cast<size_t>(PTHREAD_STACK_MIN)) size = static_cast<size_t>(PTHREAD_STACK_MIN);
        pthread_attr_setstacksize(&attr, size);
    }
    thread->AddRef();
    pthread_t id;
    const int rc = pthread_create(&id, &attr, ThreadMain, thread);
    pthread_attr_destroy(&attr);
    if (rc != 0) {
        thread->Release();
        return false;
    }
    return true;
}

Ref<ThreadObject> ReferenceThread(HANDLE handle) noexcept {
    Ref<KernelObject> object = ReferenceHandleQuiet(handle);
    if (auto* thread = dynamic_cast<ThreadObject*>(object.get())) {
        object.Detach();
        return Ref<ThreadObject>::Adopt(thread);
    }
    return nullptr;
}

bool ValidPriority(int p) noexcept {
    return p == THREAD_PRIORITY_IDLE || p == THREAD_PRIORITY_TIME_CRITICAL ||
           (p >= THREAD_PRIORITY_LOWEST && p <= THREAD_PRIORITY_HIGHEST);
}

}  // namespace

ThreadState* CurrentThreadState() noexcept {
    if (ThreadState* ts = t_state) return ts;
    return AttachThread(nullptr);
}

KernelObject* CurrentThreadObjectLocked(ThreadState* ts) noexcept {
    if (!ts->thread) ts->thread = new ThreadObject(ts->id);
    return ts->thread;
}

KernelObject* ProcessObjectLocked() noexcept {
    if (!g_process) g_process = new ProcessObject;
    return g_process;
}

}  // namespace vks::kernel

using namespace vks::kernel;

extern "C" {

DWORD WINAPI GetCurrentThreadId(void) { return CurrentThreadState()->id; }
DWORD WINAPI GetCurrentProcessId(void) { return static_cast<DWORD>(getpid()); }

HANDLE WINAPI CreateThread(LPSECURITY_ATTRIBUTES, SIZE_T dwStackSize, LPTHREAD_START_ROUTINE lpStartAddress,
                           LPVOID lpParameter, DWORD dwCreationFlags, LPDWORD lpThreadId) {
    if (!lpStartAddress) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    Ref<ThreadObject> thread = Ref<ThreadObject>::Adopt(new ThreadObject(NewThreadId()));
    thread->start = lpStartAddress;
    thread->parameter = lpParameter;
    thread->stackSize = dwStackSize;
    const bool suspended = (dwCreationFlags & CREATE_SUSPENDED) != 0;
    if (suspended) thread->suspendCount = 1;  // no other thread knows it yet
    HANDLE handle = InsertHandle(thread.get());
    if (!handle) return nullptr;
    if (!suspended && !StartThread(thread.get())) {
        CloseHandle(handle);
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    if (lpThreadId) *lpThreadId = thread->id;
    return handle;
}

DWORD WINAPI ResumeThread(HANDLE hThread) {
    Ref<ThreadObject> thread = ReferenceHandleAs<ThreadObject>(hThread);
    if (!thread) return static_cast<DWORD>(-1);
    DWORD previous;
    bool start = false;
    {
        std::lock_guard<std::mutex> lock(thread->StateLock());
        previous = thread->suspendCount;
        // A thread created suspended has no OS thread until it is resumed.
        if (previous > 0 && --thread->suspendCount == 0) start = true;
    }
    if (start && !StartThread(thread.get())) {
        std::lock_guard<std::mutex> lock(thread->StateLock());
        thread->suspendCount = previous;
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return static_cast<DWORD>(-1);
    }
    return previous;
}

void WINAPI ExitThread(DWORD dwExitCode) {
    CurrentThreadState()->exitCode = dwExitCode;
    pthread_exit(nullptr);
}

BOOL WINAPI GetExitCodeThread(HANDLE hThread, LPDWORD lpExitCode) {
    Ref<ThreadObject> thread = ReferenceThread(hThread);
    if (!thread) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    std::lock_guard<std::mutex> lock(thread->StateLock());
    *lpExitCode = thread->exitCode;
    return TRUE;
}

BOOL WINAPI SetThreadPriority(HANDLE hThread, int nPriority) {
    Ref<ThreadObject> thread = ReferenceThread(hThread);
    if (!thread) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (!ValidPriority(nPriority)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    // Remembered only: changing OS scheduling needs privileges the product
    // does not have on Linux, and nothing depends on it.
    std::lock_guard<std::mutex> lock(thread->StateLock());
    thread->priority = nPriority;
    return TRUE;
}

int WINAPI GetThreadPriority(HANDLE hThread) {
    Ref<ThreadObject> thread = ReferenceThread(hThread);
    if (!thread) {
        SetLastError(ERROR_INVALID_HANDLE);
        return THREAD_PRIORITY_ERROR_RETURN;
    }
    std::lock_guard<std::mutex> lock(thread->StateLock());
    return thread->priority;
}

DWORD WINAPI GetThreadId(HANDLE Thread) {
    Ref<ThreadObject> thread = ReferenceThread(Thread);
    if (!thread) {
        SetLastError(ERROR_INVALID_HANDLE);
        return 0;
    }
    return thread->id;
}

}  // extern "C"
