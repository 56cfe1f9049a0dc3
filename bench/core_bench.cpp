// Hot paths of the library core, each measured beside its floor.
#include "core/log.h"
#include "objects/handle_table.h"

#include <benchmark/benchmark.h>

#include <mutex>

namespace {

// --- Handle lock: LockHandle + UnlockHandle against a bare recursive mutex ---

struct HandleTableScope {
    HandleTableScope() {
        HandleTableConfig config{};
        config.Size = sizeof(config);
        config.BucketCount = 128;
        config.Tag = 4;
        InitialiseHandleTable(&config);
        CreateHandle(56, &handle);
    }
    ~HandleTableScope() { UninitialiseHandleTable(); }
    DWORD handle = 0;
};

void BM_LockUnlockHandle(benchmark::State& state) {
    HandleTableScope table;
    void* object = nullptr;
    for (auto _ : state) {
        LockHandle(table.handle, &object);
        UnlockHandle(table.handle, object);
    }
    benchmark::DoNotOptimize(object);
}
BENCHMARK(BM_LockUnlockHandle);

void BM_RecursiveMutexFloor(benchmark::State& state) {
    std::recursive_mutex mutex;
    for (auto _ : state) {
        mutex.lock();
        mutex.unlock();
    }
}
BENCHMARK(BM_RecursiveMutexFloor);

// --- Logging at a disabled level against an empty call ---

__attribute__((noinline)) void EmptyFunction(const WCHAR* format, ...) { benchmark::ClobberMemory(); }

void BM_LogDisabledLevel(benchmark::State& state) {
    g_LogLevelMask = 0;
    for (auto _ : state) LogVerbose(WSTR("WorkerThread: hVKS:%#x POVIOCTL:%p\n"), 0x40001u, nullptr);
}
BENCHMARK(BM_LogDisabledLevel);

void BM_EmptyCallFloor(benchmark::State& state) {
    for (auto _ : state) EmptyFunction(WSTR("WorkerThread: hVKS:%#x POVIOCTL:%p\n"), 0x40001u, nullptr);
}
BENCHMARK(BM_EmptyCallFloor);

}  // namespace

BENCHMARK_MAIN();
