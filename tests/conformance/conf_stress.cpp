// Kernel objects under load: threads do random waits (single, any, all),
// signals, releases, posts and dequeues on a small set of shared objects for
// a bounded time, and the invariants are checked as they go and at the end:
// a mutex is never owned by two threads, a wait-all holds all of its mutexes,
// no semaphore count and no completion packet is lost or delivered twice,
// and a thread blocked without a time-out is woken by the signal it waits for.
#include "conformance.h"

namespace {

constexpr int kThreads = 6;
constexpr int kMaxPostsPerThread = 20000;
constexpr double kSeconds = 1.0;

struct Shared {
    HANDLE mutex[2];
    HANDLE event[2];  // auto-reset
    HANDLE semaphore;
    HANDLE port;
    HANDLE finish[kThreads];  // manual-reset: the last, unbounded wait of each thread
    LONG volatile holders[2];
    LONG volatile violations;
    LONG volatile released;  // semaphore units released
    LONG volatile acquired;  // semaphore units taken by waits
    LONG volatile posted[kThreads];
    LONG volatile seen[kThreads * kMaxPostsPerThread];
    LARGE_INTEGER frequency;
    LARGE_INTEGER start;
};

Shared* g;

struct Worker {
    int index;
    unsigned random;
};

unsigned Next(unsigned* state) {
    *state = *state * 1103515245u + 12345u;
    return *state >> 8;
}

bool TimeLeft() {
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return double(now.QuadPart - g->start.QuadPart) < kSeconds * double(g->frequency.QuadPart);
}

void Hold(int m) {
    if (InterlockedIncrement(&g->holders[m]) != 1) InterlockedIncrement(&g->violations);
}

void Unhold(int m) { InterlockedDecrement(&g->holders[m]); }

void Dequeued(ULONG_PTR key) {
    const ULONG_PTR thread = key / kMaxPostsPerThread;
    if (thread >= kThreads || InterlockedIncrement(&g->seen[key]) != 1) InterlockedIncrement(&g->violations);
}

DWORD WINAPI Work(void* p) {
    auto* w = static_cast<Worker*>(p);
    while (TimeLeft()) {
        const unsigned op = Next(&w->random) % 8;
        const int m = static_cast<int>(Next(&w->random) % 2);
        switch (op) {
        case 0: {  // one mutex, sometimes re-entered
            const DWORD r = WaitForSingleObject(g->mutex[m], 5);
            if (r == WAIT_TIMEOUT) break;
            if (r != WAIT_OBJECT_0) InterlockedIncrement(&g->violations);
            Hold(m);
            const bool again = (Next(&w->random) & 1) != 0;
            if (again && WaitForSingleObject(g->mutex[m], 0) != WAIT_OBJECT_0) InterlockedIncrement(&g->violations);
            Unhold(m);
            if (again) ReleaseMutex(g->mutex[m]);
            if (!ReleaseMutex(g->mutex[m])) InterlockedIncrement(&g->violations);
            break;
        }
        case 1: {  // both mutexes at once, racing the single waits
            const DWORD r = WaitForMultipleObjects(2, g->mutex, TRUE, 5);
            if (r == WAIT_TIMEOUT) break;
            if (r != WAIT_OBJECT_0) InterlockedIncrement(&g->violations);
            Hold(0);
            Hold(1);
            Unhold(1);
            Unhold(0);
            ReleaseMutex(g->mutex[1]);
            ReleaseMutex(g->mutex[0]);
            break;
        }
        case 2: {  // any of the events and the semaphore
            HANDLE any[3] = {g->event[0], g->event[1], g->semaphore};
            const DWORD r = WaitForMultipleObjects(3, any, FALSE, static_cast<DWORD>(Next(&w->random) % 3));
            if (r == WAIT_OBJECT_0 + 2) InterlockedIncrement(&g->acquired);
            else if (r != WAIT_TIMEOUT && r != WAIT_OBJECT_0 && r != WAIT_OBJECT_0 + 1)
                InterlockedIncrement(&g->violations);
            break;
        }
        case 3:
            SetEvent(g->event[m]);
            break;
        case 4:
            if (ReleaseSemaphore(g->semaphore, 1, nullptr)) InterlockedIncrement(&g->released);
            break;
        case 5: {
            const LONG n = g->posted[w->index];
            if (n >= kMaxPostsPerThread) break;
            if (PostQueuedCompletionStatus(g->port, 0, static_cast<ULONG_PTR>(w->index) * kMaxPostsPerThread + n,
                                           nullptr)) {
                InterlockedIncrement(&g->posted[w->index]);
            }
            break;
        }
        case 6: {
            DWORD bytes;
            ULONG_PTR key;
            LPOVERLAPPED ov;
            if (GetQueuedCompletionStatus(g->port, &bytes, &key, &ov, Next(&w->random) % 3)) Dequeued(key);
            break;
        }
        default: {  // objects made, used and closed while others work
            HANDLE e = CreateEventW(nullptr, FALSE, FALSE, nullptr);
            HANDLE pair[2] = {e, g->semaphore};
            SetEvent(e);
            if (WaitForMultipleObjects(2, pair, FALSE, 0) != WAIT_OBJECT_0) InterlockedIncrement(&g->violations);
            CloseHandle(e);
            break;
        }
        }
    }
    // An unbounded wait that only the main thread's signal ends.
    return WaitForSingleObject(g->finish[w->index], INFINITE) == WAIT_OBJECT_0 ? 0 : 1;
}

}  // namespace

int main() {
    g = new Shared{};
    for (auto& h : g->mutex) h = CreateMutexW(nullptr, FALSE, nullptr);
    for (auto& h : g->event) h = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    g->semaphore = CreateSemaphoreW(nullptr, 0, 0x7FFFFFFF, nullptr);
    g->port = CreateIoCompletionPort(INVALID_HANDLE_VALUE, nullptr, 0, 0);
    for (auto& h : g->finish) h = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    QueryPerformanceFrequency(&g->frequency);
    QueryPerformanceCounter(&g->start);

    Worker workers[kThreads];
    HANDLE threads[kThreads];
    for (int i = 0; i < kThreads; ++i) {
        workers[i] = Worker{i, 0x9E3779B9u * static_cast<unsigned>(i + 1)};
        threads[i] = CreateThread(nullptr, 0, Work, &workers[i], 0, nullptr);
    }
    Sleep(static_cast<DWORD>(kSeconds * 1000));
    for (HANDLE h : g->finish) SetEvent(h);
    CHECK_EQ(WaitForMultipleObjects(kThreads, threads, TRUE, 30000), (DWORD)WAIT_OBJECT_0);  // nobody left asleep
    for (HANDLE h : threads) CHECK_EQ(conformance::Join(h), (DWORD)0);

    // What is left over is still there, once.
    LONG drained = 0;
    while (WaitForSingleObject(g->semaphore, 0) == WAIT_OBJECT_0) ++drained;
    CHECK_EQ(g->acquired + drained, g->released);
    DWORD bytes;
    ULONG_PTR key;
    LPOVERLAPPED ov;
    while (GetQueuedCompletionStatus(g->port, &bytes, &key, &ov, 0)) Dequeued(key);
    LONG lost = 0;
    for (int t = 0; t < kThreads; ++t) {
        for (LONG n = 0; n < g->posted[t]; ++n) lost += g->seen[t * kMaxPostsPerThread + n] == 1 ? 0 : 1;
    }
    CHECK_EQ(lost, 0L);
    CHECK_EQ(g->violations, 0L);
    // Both mutexes free again.
    CHECK_EQ(WaitForMultipleObjects(2, g->mutex, TRUE, 0), (DWORD)WAIT_OBJECT_0);
    ReleaseMutex(g->mutex[0]);
    ReleaseMutex(g->mutex[1]);
    LONG posts = 0;
    for (LONG n : g->posted) posts += n;
    std::printf("conf_stress: %ld packets, %ld semaphore units\n", static_cast<long>(posts),
                static_cast<long>(g->released));
    return conformance::Finish("conf_stress");
}
