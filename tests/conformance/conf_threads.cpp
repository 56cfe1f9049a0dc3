// Threads: creation, suspension, exit codes, STILL_ACTIVE, ExitThread,
// priorities, ids, per-thread last error, and mutex abandonment by threads
// the layer did not start itself.
#include "conformance.h"

#include <thread>

namespace {

using namespace conformance;

[[noreturn]] void Leave(DWORD code) { ExitThread(code); }

DWORD ExitCodeOf(HANDLE thread) {
    DWORD code = 0xDEAD;
    return GetExitCodeThread(thread, &code) ? code : 0xBAD;
}

// Runs first: a null handle is no handle even before any object exists.
void BadHandles() {
    CHECK_ERR(!CloseHandle(nullptr), ERROR_INVALID_HANDLE);
    DWORD code = 0;
    HANDLE event = NewEvent(true, false);
    CHECK_ERR(!GetExitCodeThread(nullptr, &code), ERROR_INVALID_HANDLE);
    CHECK_ERR(!GetExitCodeThread(event, &code), ERROR_INVALID_HANDLE);  // not a thread
    CHECK_ERR(GetThreadPriority(nullptr) == THREAD_PRIORITY_ERROR_RETURN, ERROR_INVALID_HANDLE);
    CHECK_ERR(!SetThreadPriority(nullptr, THREAD_PRIORITY_NORMAL), ERROR_INVALID_HANDLE);
    CHECK_ERR(GetThreadId(nullptr) == 0, ERROR_INVALID_HANDLE);
    CHECK_ERR(ResumeThread(nullptr) == (DWORD)-1, ERROR_INVALID_HANDLE);
    CloseHandle(event);
}

// A running thread: its id, STILL_ACTIVE, an unsignalled handle and its
// priorities; then ended: a handle that stays signalled, still names it and
// gives its exit code.
void ExitCodesAndPriorities() {
    HANDLE go = NewEvent(true, false);
    HANDLE ran = NewEvent(true, false);
    DWORD id = 0, seenId = 0;
    HANDLE t = Start(
        [&] {
            seenId = GetCurrentThreadId();
            SetEvent(ran);
            WaitForSingleObject(go, INFINITE);
            return 42;
        },
        0, &id);
    CHECK(t != nullptr && id != 0 && id != GetCurrentThreadId());
    CHECK_DW(GetThreadId(t), id);
    WaitForSingleObject(ran, INFINITE);
    CHECK_DW(seenId, id);
    CHECK_DW(ExitCodeOf(t), STILL_ACTIVE);
    CHECK_STEPS(t, "-");
    CHECK_EQ(GetThreadPriority(t), THREAD_PRIORITY_NORMAL);
    for (int level : {THREAD_PRIORITY_ABOVE_NORMAL, THREAD_PRIORITY_TIME_CRITICAL, THREAD_PRIORITY_LOWEST}) {
        CHECK(SetThreadPriority(t, level));
        CHECK_EQ(GetThreadPriority(t), level);
    }
    CHECK_ERR(!SetThreadPriority(t, 5), ERROR_INVALID_PARAMETER);
    CHECK_EQ(GetThreadPriority(t), THREAD_PRIORITY_LOWEST);
    SetEvent(go);
    CHECK_DW(WaitForSingleObject(t, INFINITE), WAIT_OBJECT_0);
    CHECK_STEPS(t, "++");  // stays signalled
    CHECK_DW(ExitCodeOf(t), 42);
    CHECK_DW(GetThreadId(t), id);  // the handle still names the ended thread
    CloseHandle(t);

    CHECK_DW(Run([]() -> DWORD { Leave(7); }), 7);  // ExitThread from a nested call

    // The current thread, through its pseudo handle.
    CHECK_DW(ExitCodeOf(GetCurrentThread()), STILL_ACTIVE);
    CHECK_DW(GetThreadId(GetCurrentThread()), GetCurrentThreadId());
    CHECK_EQ(GetThreadPriority(GetCurrentThread()), THREAD_PRIORITY_NORMAL);

    // Closing a thread's handle does not stop the thread.
    ResetEvent(go);
    ResetEvent(ran);
    CHECK(CloseHandle(Start([&] { return WaitForSingleObject(go, INFINITE) == WAIT_OBJECT_0 && SetEvent(ran); })));
    SetEvent(go);
    CHECK_DW(WaitForSingleObject(ran, INFINITE), WAIT_OBJECT_0);
    CloseAll({go, ran});

    // The last error is per thread.
    SetLastError(1234);
    const DWORD other = Run([] {
        SetLastError(5);
        return GetLastError();
    });
    CHECK_DW(other, 5);
    CHECK_DW(GetLastError(), 1234);
}

void Suspended() {
    LONG volatile runs = 0;
    auto countRun = [&] {
        InterlockedIncrement(&runs);
        return 3;
    };
    HANDLE t = Start(countRun, CREATE_SUSPENDED);
    CHECK(t != nullptr && GetThreadId(t) != 0);
    CHECK_DW(ExitCodeOf(t), STILL_ACTIVE);
    // A suspended thread does not run: the timeout is the thing under test.
    CHECK_DW(WaitForSingleObject(t, 30), WAIT_TIMEOUT);
    CHECK_EQ(runs, 0);
    CHECK_DW(ResumeThread(t), 1);
    CHECK_DW(WaitForSingleObject(t, INFINITE), WAIT_OBJECT_0);
    CHECK_EQ(runs, 1);
    CHECK_DW(ExitCodeOf(t), 3);
    CHECK_DW(ResumeThread(t), 0);  // not suspended
    CloseHandle(t);

    // Many short threads with a small stack, waited for together.
    HANDLE many[MAXIMUM_WAIT_OBJECTS];
    for (auto& h : many) h = Start(countRun, 0, nullptr, 64 * 1024);
    CHECK_DW(WaitForMultipleObjects(MAXIMUM_WAIT_OBJECTS, many, TRUE, INFINITE), WAIT_OBJECT_0);
    bool allThree = true;
    for (HANDLE h : many) allThree = allThree && Join(h) == 3;
    CHECK(allThree);
    CHECK_EQ(runs, 1 + MAXIMUM_WAIT_OBJECTS);
}

// A thread started by the language runtime rather than CreateThread takes a
// mutex and ends owning it.
void ForeignThreadAbandonsMutex() {
    HANDLE mutex = CreateMutexW(nullptr, FALSE, nullptr);
    HANDLE ran = NewEvent(true, false);
    DWORD taken = WAIT_FAILED;
    std::thread t([&] {
        taken = WaitForSingleObject(mutex, INFINITE);
        SetEvent(ran);
    });
    WaitForSingleObject(ran, INFINITE);
    CHECK_DW(WaitForSingleObject(mutex, INFINITE), WAIT_ABANDONED_0);
    t.join();
    CHECK_DW(taken, WAIT_OBJECT_0);
    CHECK(ReleaseMutex(mutex));
    CloseAll({mutex, ran});
}

}  // namespace

int main() {
    BadHandles();
    ExitCodesAndPriorities();
    Suspended();
    ForeignThreadAbandonsMutex();
    return conformance::Finish("conf_threads");
}
