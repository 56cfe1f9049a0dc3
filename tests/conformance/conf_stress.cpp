// Kernel objects under load: threads do random waits (single, any, all),
// signals, releases, posts and dequeues on a small set of shared objects for
// a bounded time, and the invariants are checked as they go and at the end:
// a mutex is never owned by two threads, a wait-all holds all of its mutexes,
// no semaphore count and no completion packet is lost or delivered twice,
// and a thread blocked without a time-out is woken by the signal it waits for.
#include "conformance.h"

namespace {

using namespace conformance;

constexpr int kThreads = 6;
constexpr int kMaxPostsPerThread = 20000;
constexpr double kSeconds = 1.0;

struct Shared {
    HANDLE mutex[2] = {CreateMutexW(nullptr, FALSE, nullptr), CreateMutexW(nullptr, FALSE, nullptr)};
    HANDLE event[2] = {NewEvent(false, false), NewEvent(false, false)};  // auto-reset
    HANDLE semaphore = CreateSemaphoreW(nullptr, 0, 0x7FFFFFFF, nullptr);
    HANDLE port = CreateIoCompletionPort(INVALID_HANDLE_VALUE, nullptr, 0, 0);
    HANDLE finish = NewEvent(true, false);  // manual-reset: ends the last, unbounded wait of each thread
    LONG volatile holders[2];
    LONG volatile violations;
    LONG volatile released;  // semaphore units released
    LONG volatile acquired;  // semaphore units taken by waits
    LONG volatile posted[kThreads];
    LONG volatile seen[kThreads * kMaxPostsPerThread];
    LARGE_INTEGER start;
};

Shared* g;

// Counts a broken invariant.
void Expect(bool ok) {
    if (!ok) InterlockedIncrement(&g->violations);
}

// Marks mutex m held by one more thread: never more than one.
void Hold(int m) { Expect(InterlockedIncrement(&g->holders[m]) == 1); }
void Unhold(int m) { InterlockedDecrement(&g->holders[m]); }

// Takes a packet if one comes within `ms`: each key is seen exactly once.
bool TakePacket(DWORD ms) {
    DWORD bytes;
    ULONG_PTR key;
    LPOVERLAPPED ov;
    if (!GetQueuedCompletionStatus(g->port, &bytes, &key, &ov, ms)) return false;
    Expect(key / kMaxPostsPerThread < kThreads && InterlockedIncrement(&g->seen[key]) == 1);
    return true;
}

DWORD Work(int index) {
    unsigned random = 0x9E3779B9u * static_cast<unsigned>(index + 1);
    auto next = [&random] {
        random = random * 1103515245u + 12345u;
        return random >> 8;
    };
    while (MillisecondsSince(g->start) < kSeconds * 1000) {
        const unsigned op = next() % 8;
        const int m = static_cast<int>(next() % 2);
        switch (op) {
        case 0:
        case 1: {  // one mutex, sometimes re-entered, or both at once: the two kinds of wait race
            const int first = op == 1 ? 0 : m;
            const int last = op == 1 ? 1 : m;
            HANDLE mine = g->mutex[m];
            const DWORD r = op == 1 ? WaitForMultipleObjects(2, g->mutex, TRUE, 5) : WaitForSingleObject(mine, 5);
            if (r == WAIT_TIMEOUT) break;
            Expect(r == WAIT_OBJECT_0);
            if (op == 0 && (next() & 1) != 0) {
                Expect(WaitForSingleObject(mine, 0) == WAIT_OBJECT_0 && ReleaseMutex(mine));
            }
            for (int i = first; i <= last; ++i) Hold(i);
            for (int i = last; i >= first; --i) Unhold(i);
            for (int i = first; i <= last; ++i) Expect(ReleaseMutex(g->mutex[i]));
            break;
        }
        case 2: {  // any of the events and the semaphore
            HANDLE any[3] = {g->event[0], g->event[1], g->semaphore};
            const DWORD r = WaitForMultipleObjects(3, any, FALSE, static_cast<DWORD>(next() % 3));
            if (r == WAIT_OBJECT_0 + 2) InterlockedIncrement(&g->acquired);
            Expect(r == WAIT_TIMEOUT || r <= WAIT_OBJECT_0 + 2);
            break;
        }
        case 3:
            SetEvent(g->event[m]);
            break;
        case 4:
            if (ReleaseSemaphore(g->semaphore, 1, nullptr)) InterlockedIncrement(&g->released);
            break;
        case 5: {
            const LONG n = g->posted[index];
            const ULONG_PTR key = static_cast<ULONG_PTR>(index) * kMaxPostsPerThread + n;
            if (n < kMaxPostsPerThread && PostQueuedCompletionStatus(g->port, 0, key, nullptr)) {
                InterlockedIncrement(&g->posted[index]);
            }
            break;
        }
        case 6:
            TakePacket(next() % 3);
            break;
        default: {  // objects made, used and closed while others work
            HANDLE pair[2] = {NewEvent(false, true), g->semaphore};
            Expect(WaitForMultipleObjects(2, pair, FALSE, 0) == WAIT_OBJECT_0);
            CloseHandle(pair[0]);
            break;
        }
        }
    }
    // An unbounded wait that only the main thread's signal ends.
    return WaitForSingleObject(g->finish, INFINITE) == WAIT_OBJECT_0 ? 0 : 1;
}

}  // namespace

int main() {
    g = new Shared{};
    QueryPerformanceCounter(&g->start);

    HANDLE threads[kThreads];
    for (int i = 0; i < kThreads; ++i) threads[i] = Start([i] { return Work(i); });
    Sleep(static_cast<DWORD>(kSeconds * 1000));
    SetEvent(g->finish);
    CHECK_DW(WaitForMultipleObjects(kThreads, threads, TRUE, 30000), WAIT_OBJECT_0);  // nobody left asleep
    for (HANDLE h : threads) CHECK_DW(Join(h), 0);

    // What is left over is still there, once.
    LONG drained = 0;
    while (WaitForSingleObject(g->semaphore, 0) == WAIT_OBJECT_0) ++drained;
    CHECK_EQ(g->acquired + drained, g->released);
    while (TakePacket(0)) {}
    LONG lost = 0, posts = 0;
    for (int t = 0; t < kThreads; ++t) {
        posts += g->posted[t];
        for (LONG n = 0; n < g->posted[t]; ++n) lost += g->seen[t * kMaxPostsPerThread + n] == 1 ? 0 : 1;
    }
    CHECK_EQ(lost, 0L);
    CHECK_EQ(g->violations, 0L);
    // Both mutexes free again.
    CHECK_DW(WaitForMultipleObjects(2, g->mutex, TRUE, 0), WAIT_OBJECT_0);
    CHECK(posts > 0 && g->released > 0);  // the load was there
    return conformance::Finish("conf_stress");
}
