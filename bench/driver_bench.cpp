// The driver path against the device simulator: a synchronous command beside
// its floor (copying the two templates and the reply), and the rate at which
// events travel from the driver through the worker thread to a callback.
#include "vksacc.h"
#include "vkssim/sim.h"

#include <benchmark/benchmark.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <ctime>
#include <mutex>

namespace {

struct Session {
    Session() {
        vkssim::Reset();
        vkssim::DeviceConfig config;
        config.inputs[VKSSIM_TYPE_NETWORK] = 1;
        config.inputs[VKSSIM_TYPE_DECODER] = 1;
        vkssim::AddDevice(config);
        VKSEngineLoad(&engine);
        VKSNetworkStreamOpenExA(0, "rtsp://camera", 0, &stream, nullptr);
    }
    ~Session() {
        VKSNetworkStreamClose(stream);
        VKSEngineFree(engine);
        vkssim::Reset();
    }
    VKSHENGINE engine = nullptr;
    HVKS stream = 0;
};

void BM_SyncParameterGet(benchmark::State& state) {
    Session session;
    uint32_t jitter = 0;
    // The simulator's request log stays on: its cost counts against the path.
    for (auto _ : state) {
        if (VKSNetworkStreamGetJitter(session.stream, 0, &jitter) != VKSERROR_NO_ERROR) {
            state.SkipWithError("the parameter get failed");
            break;
        }
        benchmark::DoNotOptimize(jitter);
    }
}
BENCHMARK(BM_SyncParameterGet);

// The least a synchronous command must do: copy both templates and the reply.
void BM_SyncCommandFloor(benchmark::State& state) {
    static uint8_t requestTemplate[2824] = {1};
    static uint8_t replyTemplate[8224] = {2};
    static uint8_t replyFromDriver[8224] = {3};
    for (auto _ : state) {
        alignas(8) uint8_t request[2824];
        alignas(8) uint8_t reply[8224];
        std::memcpy(request, requestTemplate, sizeof(request));
        std::memcpy(reply, replyTemplate, sizeof(reply));
        benchmark::DoNotOptimize(request);
        std::memcpy(reply, replyFromDriver, sizeof(reply));
        benchmark::DoNotOptimize(reply);
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_SyncCommandFloor);

struct EventCounter {
    std::atomic<int64_t> seen{0};
    std::mutex mutex;
    std::condition_variable done;
    int64_t target = 0;
};

void VKSAPI CountEvent(HVKS, uint32_t, VKSMEDIASAMPLE*, VKSERROR, void* context) {
    auto* counter = static_cast<EventCounter*>(context);
    if (counter->seen.fetch_add(1) + 1 == counter->target) {
        std::lock_guard<std::mutex> lock(counter->mutex);
        counter->done.notify_all();
    }
}

void BM_EventThroughput(benchmark::State& state) {
    Session session;
    EventCounter counter;
    VKSNetworkStreamSetErrorFn(session.stream, 0, CountEvent, &counter);
    uint32_t driverHandle = 0;
    for (const auto& o : vkssim::Objects(0)) driverHandle = o.handle;
    const int64_t batch = state.range(0);
    // Process CPU time per event: what a loaded machine cannot distort much
    // (the events' own figure is bound by how often the worker gets a core).
    timespec cpu0{}, cpu1{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &cpu0);
    for (auto _ : state) {
        counter.seen = 0;
        counter.target = batch;
        for (int64_t i = 0; i < batch; ++i) vkssim::RaiseEvent(0, driverHandle, VKSERROR_RESOLUTION_CHANGED);
        std::unique_lock<std::mutex> lock(counter.mutex);
        counter.done.wait_for(lock, std::chrono::seconds(30), [&] { return counter.seen.load() >= batch; });
    }
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &cpu1);
    const double cpuNs = static_cast<double>(cpu1.tv_sec - cpu0.tv_sec) * 1e9 + static_cast<double>(cpu1.tv_nsec - cpu0.tv_nsec);
    state.counters["process_cpu_ns_per_event"] = cpuNs / static_cast<double>(state.iterations() * batch);
    state.SetItemsProcessed(state.iterations() * batch);
    state.counters["events_per_second"] =
        benchmark::Counter(static_cast<double>(state.iterations() * batch), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_EventThroughput)->Arg(20000)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
