// Threads: creation, suspension, exit codes, STILL_ACTIVE, ExitThread,
// priorities, ids, per-thread last error, and mutex abandonment by threads
// the layer did not start itself.
#include "conformance.h"

#if defined(_WIN32)
#  include <process.h>
#else
#  include <thread>
#endif

namespace {

struct Shared {
    HANDLE go;
    HANDLE ran;
    HANDLE mutex;
    DWORD seenId;
    LONG volatile runs;
};

DWORD WINAPI WaitThenReturn42(void* p) {
    auto* s = static_cast<Shared*>(p);
    s->seenId = GetCurrentThreadId();
    SetEvent(s->ran);
    WaitForSingleObject(s->go, INFINITE);
    return 42;
}

[[noreturn]] void Leave(DWORD code) { ExitThread(code); }

DWORD WINAPI ExitsFromNestedCall(void*) {
    Leave(7);
}

DWORD WINAPI CountRun(void* p) {
    InterlockedIncrement(&static_cast<Shared*>(p)->runs);
    return 3;
}

DWORD WINAPI OwnLastError(void*) {
    SetLastError(5);
    return GetLastError();
}

DWORD WINAPI CloseOwnHandleLater(void* p) {
    auto* s = static_cast<Shared*>(p);
    WaitForSingleObject(s->go, INFINITE);
    SetEvent(s->ran);
    return 0;
}

void ExitCodes() {
    Shared s{CreateEventW(nullptr, TRUE, FALSE, nullptr), CreateEventW(nullptr, TRUE, FALSE, nullptr), nullptr, 0, 0};
    DWORD id = 0;
    HANDLE t = CreateThread(nullptr, 0, WaitThenReturn42, &s, 0, &id);
    CHECK(t != nullptr && id != 0 && id != GetCurrentThreadId());
    CHECK_EQ(GetThreadId(t), id);
    WaitForSingleObject(s.ran, INFINITE);
    CHECK_EQ(s.seenId, id);
    DWORD code = 0;
    CHECK(GetExitCodeThread(t, &code) && code == STILL_ACTIVE);
    CHECK_EQ(WaitForSingleObject(t, 0), (DWORD)WAIT_TIMEOUT);
    SetEvent(s.go);
    CHECK_EQ(WaitForSingleObject(t, INFINITE), (DWORD)WAIT_OBJECT_0);
    CHECK_EQ(WaitForSingleObject(t, 0), (DWORD)WAIT_OBJECT_0);  // stays signalled
    CHECK(GetExitCodeThread(t, &code) && code == 42);
    CHECK_EQ(GetThreadId(t), id);  // the handle still names the ended thread
    CloseHandle(t);

    CHECK_EQ(conformance::Join(conformance::Start(ExitsFromNestedCall, nullptr)), (DWORD)7);

    // The current thread, through its pseudo handle.
    CHECK(GetExitCodeThread(GetCurrentThread(), &code) && code == STILL_ACTIVE);
    CHECK_EQ(GetThreadId(GetCurrentThread()), GetCurrentThreadId());

    // Closing a thread's handle does not stop the thread.
    ResetEvent(s.go);
    ResetEvent(s.ran);
    t = CreateThread(nullptr, 0, CloseOwnHandleLater, &s, 0, nullptr);
    CHECK(CloseHandle(t));
    SetEvent(s.go);
    CHECK_EQ(WaitForSingleObject(s.ran, INFINITE), (DWORD)WAIT_OBJECT_0);
    CloseHandle(s.go);
    CloseHandle(s.ran);
}

void Suspended() {
    Shared s{};
    HANDLE t = CreateThread(nullptr, 0, CountRun, &s, CREATE_SUSPENDED, nullptr);
    DWORD code = 0;
    CHECK(t != nullptr && GetThreadId(t) != 0);
    CHECK(GetExitCodeThread(t, &code) && code == STILL_ACTIVE);
    // A suspended thread does not run: the timeout is the thing under test.
    CHECK_EQ(WaitForSingleObject(t, 30), (DWORD)WAIT_TIMEOUT);
    CHECK_EQ(s.runs, 0);
    CHECK_EQ(ResumeThread(t), (DWORD)1);
    CHECK_EQ(WaitForSingleObject(t, INFINITE), (DWORD)WAIT_OBJECT_0);
    CHECK_EQ(s.runs, 1);
    CHECK(GetExitCodeThread(t, &code) && code == 3);
    CHECK_EQ(ResumeThread(t), (DWORD)0);  // not suspended
    CloseHandle(t);

    // Many short threads, waited for together.
    HANDLE many[MAXIMUM_WAIT_OBJECTS];
    for (auto& h : many) h = CreateThread(nullptr, 64 * 1024, CountRun, &s, 0, nullptr);
    CHECK_EQ(WaitForMultipleObjects(MAXIMUM_WAIT_OBJECTS, many, TRUE, INFINITE), (DWORD)WAIT_OBJECT_0);
    bool allThree = true;
    for (HANDLE h : many) allThree = allThree && conformance::Join(h) == 3;
    CHECK(allThree);
    CHECK_EQ(s.runs, 1 + MAXIMUM_WAIT_OBJECTS);
}

void Priorities() {
    Shared s{CreateEventW(nullptr, TRUE, FALSE, nullptr), CreateEventW(nullptr, TRUE, FALSE, nullptr), nullptr, 0, 0};
    HANDLE t = CreateThread(nullptr, 0, WaitThenReturn42, &s, 0, nullptr);
    CHECK_EQ(GetThreadPriority(t), THREAD_PRIORITY_NORMAL);
    const int levels[] = {THREAD_PRIORITY_ABOVE_NORMAL, THREAD_PRIORITY_TIME_CRITICAL, THREAD_PRIORITY_LOWEST};
    for (int level : levels) {
        CHECK(SetThreadPriority(t, level));
        CHECK_EQ(GetThreadPriority(t), level);
    }
    CHECK_ERR(!SetThreadPriority(t, 5), ERROR_INVALID_PARAMETER);
    CHECK_EQ(GetThreadPriority(t), THREAD_PRIORITY_LOWEST);
    SetEvent(s.go);
    conformance::Join(t);
    CHECK_EQ(GetThreadPriority(GetCurrentThread()), THREAD_PRIORITY_NORMAL);
    CloseHandle(s.go);
    CloseHandle(s.ran);
}

// Runs first: a null handle is no handle even before any object exists.
void BadHandles() {
    CHECK_ERR(!CloseHandle(nullptr), ERROR_INVALID_HANDLE);
    DWORD code = 0;
    HANDLE event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    CHECK_ERR(!GetExitCodeThread(nullptr, &code), ERROR_INVALID_HANDLE);
    CHECK_ERR(!GetExitCodeThread(event, &code), ERROR_INVALID_HANDLE);  // not a thread
    CHECK_ERR(GetThreadPriority(nullptr) == THREAD_PRIORITY_ERROR_RETURN, ERROR_INVALID_HANDLE);
    CHECK_ERR(!SetThreadPriority(nullptr, THREAD_PRIORITY_NORMAL), ERROR_INVALID_HANDLE);
    CHECK_ERR(GetThreadId(nullptr) == 0, ERROR_INVALID_HANDLE);
    CHECK_ERR(ResumeThread(nullptr) == (DWORD)-1, ERROR_INVALID_HANDLE);
    CloseHandle(event);
}

void LastErrorIsPerThread() {
    SetLastError(1234);
    CHECK_EQ(conformance::Join(conformance::Start(OwnLastError, nullptr)), (DWORD)5);
    CHECK_EQ(GetLastError(), (DWORD)1234);
}

// A thread started by the language runtime rather than CreateThread.
void TakeMutexAndEnd(void* p) {
    auto* s = static_cast<Shared*>(p);
    if (WaitForSingleObject(s->mutex, INFINITE) == WAIT_OBJECT_0) InterlockedIncrement(&s->runs);
    SetEvent(s->ran);
}

#if defined(_WIN32)
unsigned __stdcall CrtThread(void* p) {
    TakeMutexAndEnd(p);
    return 0;
}
#endif

void ForeignThreadAbandonsMutex() {
    Shared s{nullptr, CreateEventW(nullptr, TRUE, FALSE, nullptr), CreateMutexW(nullptr, FALSE, nullptr), 0, 0};
#if defined(_WIN32)
    HANDLE t = reinterpret_cast<HANDLE>(_beginthreadex(nullptr, 0, CrtThread, &s, 0, nullptr));
    WaitForSingleObject(s.ran, INFINITE);
    CHECK_EQ(WaitForSingleObject(s.mutex, INFINITE), (DWORD)WAIT_ABANDONED_0);
    WaitForSingleObject(t, INFINITE);
    CloseHandle(t);
#else
    std::thread t(TakeMutexAndEnd, &s);
    WaitForSingleObject(s.ran, INFINITE);
    CHECK_EQ(WaitForSingleObject(s.mutex, INFINITE), (DWORD)WAIT_ABANDONED_0);
    t.join();
#endif
    CHECK_EQ(s.runs, 1);
    CHECK(ReleaseMutex(s.mutex));
    CloseHandle(s.mutex);
    CloseHandle(s.ran);
}

}  // namespace

int main() {
    BadHandles();
    ExitCodes();
    Suspended();
    Priorities();
    LastErrorIsPerThread();
    ForeignThreadAbandonsMutex();
    return conformance::Finish("conf_threads");
}
