// Kernel objects of the platform layer: how the uncontended operations scale
// when 1, 2 and 4 threads each work on an object of their own (unrelated
// objects must not contend), and a contended case, two threads on one mutex
// and two threads on one completion port, beside the same on std::mutex and
// std::condition_variable. Items per second are totals over the threads.
#include "vks_platform.h"

#include <benchmark/benchmark.h>

#include <condition_variable>
#include <deque>
#include <mutex>

namespace {

void Scaling(benchmark::internal::Benchmark* b) { b->Threads(1)->Threads(2)->Threads(4)->UseRealTime(); }

void BM_OwnMutex(benchmark::State& state) {
    HANDLE mutex = CreateMutexW(nullptr, FALSE, nullptr);
    for (auto _ : state) {
        WaitForSingleObject(mutex, INFINITE);
        ReleaseMutex(mutex);
    }
    state.SetItemsProcessed(state.iterations());
    CloseHandle(mutex);
}
BENCHMARK(BM_OwnMutex)->Apply(Scaling);

void BM_OwnEvent(benchmark::State& state) {
    HANDLE event = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    for (auto _ : state) {
        SetEvent(event);
        WaitForSingleObject(event, INFINITE);
    }
    state.SetItemsProcessed(state.iterations());
    CloseHandle(event);
}
BENCHMARK(BM_OwnEvent)->Apply(Scaling);

void BM_OwnSemaphore(benchmark::State& state) {
    HANDLE semaphore = CreateSemaphoreW(nullptr, 0, 1, nullptr);
    for (auto _ : state) {
        ReleaseSemaphore(semaphore, 1, nullptr);
        WaitForSingleObject(semaphore, INFINITE);
    }
    state.SetItemsProcessed(state.iterations());
    CloseHandle(semaphore);
}
BENCHMARK(BM_OwnSemaphore)->Apply(Scaling);

void BM_OwnPort(benchmark::State& state) {
    HANDLE port = CreateIoCompletionPort(INVALID_HANDLE_VALUE, nullptr, 0, 0);
    OVERLAPPED ov{};
    DWORD bytes;
    ULONG_PTR key;
    LPOVERLAPPED got;
    for (auto _ : state) {
        PostQueuedCompletionStatus(port, 1, 2, &ov);
        GetQueuedCompletionStatus(port, &bytes, &key, &got, INFINITE);
    }
    state.SetItemsProcessed(state.iterations());
    CloseHandle(port);
}
BENCHMARK(BM_OwnPort)->Apply(Scaling);

// The floor of the mutex figures: the same on a bare recursive mutex.
void BM_OwnRecursiveMutexFloor(benchmark::State& state) {
    std::recursive_mutex mutex;
    for (auto _ : state) {
        mutex.lock();
        mutex.unlock();
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_OwnRecursiveMutexFloor)->Apply(Scaling);

// --- Contended: two threads on one object ---

HANDLE g_sharedMutex;
HANDLE g_sharedPort;
std::mutex g_stdMutex;

void BM_SharedMutex(benchmark::State& state) {
    if (state.thread_index() == 0) g_sharedMutex = CreateMutexW(nullptr, FALSE, nullptr);
    for (auto _ : state) {
        WaitForSingleObject(g_sharedMutex, INFINITE);
        ReleaseMutex(g_sharedMutex);
    }
    state.SetItemsProcessed(state.iterations());
    // Both threads have left the loop (the loop ends at a barrier).
    if (state.thread_index() == 0) CloseHandle(g_sharedMutex);
}
BENCHMARK(BM_SharedMutex)->Threads(2)->UseRealTime();

void BM_SharedStdMutex(benchmark::State& state) {
    for (auto _ : state) {
        g_stdMutex.lock();
        g_stdMutex.unlock();
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_SharedStdMutex)->Threads(2)->UseRealTime();

// Each thread posts a packet and dequeues one (its own or the other's).
void BM_SharedPort(benchmark::State& state) {
    if (state.thread_index() == 0) g_sharedPort = CreateIoCompletionPort(INVALID_HANDLE_VALUE, nullptr, 0, 0);
    OVERLAPPED ov{};
    DWORD bytes;
    ULONG_PTR key;
    LPOVERLAPPED got;
    for (auto _ : state) {
        PostQueuedCompletionStatus(g_sharedPort, 1, 2, &ov);
        GetQueuedCompletionStatus(g_sharedPort, &bytes, &key, &got, INFINITE);
    }
    state.SetItemsProcessed(state.iterations());
    if (state.thread_index() == 0) CloseHandle(g_sharedPort);
}
BENCHMARK(BM_SharedPort)->Threads(2)->UseRealTime();

// The same queue made of std::mutex and std::condition_variable.
struct StdQueue {
    std::mutex mutex;
    std::condition_variable ready;
    std::deque<OVERLAPPED*> packets;
};
StdQueue g_stdQueue;

void BM_SharedStdQueue(benchmark::State& state) {
    OVERLAPPED ov{};
    for (auto _ : state) {
        {
            std::lock_guard<std::mutex> lock(g_stdQueue.mutex);
            g_stdQueue.packets.push_back(&ov);
        }
        g_stdQueue.ready.notify_one();
        std::unique_lock<std::mutex> lock(g_stdQueue.mutex);
        g_stdQueue.ready.wait(lock, [] { return !g_stdQueue.packets.empty(); });
        g_stdQueue.packets.pop_front();
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_SharedStdQueue)->Threads(2)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
