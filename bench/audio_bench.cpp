// The audio render loop of a decoder playing through the simulated endpoint:
// heap allocations per period on the audio thread, the audio thread's CPU
// time per period, and underruns over 30 s while another thread keeps a core
// busy. One decoder plays for the whole run; the figures are counters.
//
// Allocations are counted by interposing malloc and its relatives in this
// executable (operator new ends in malloc), for the audio thread only. The
// simulator's request log is off, so its synchronous path is allocation-free
// once warm and what is counted is the library, the platform and the
// simulated driver's answer together.
#include "vksacc.h"
#include "vks_platform.h"
#include "vks_win32/audio_ext.h"
#include "vks_win32/linux_ext.h"
#include "vkssim/sim.h"

#include <benchmark/benchmark.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <mutex>
#include <string>
#include <sys/types.h>
#include <thread>
#include <unistd.h>

extern "C" {
void* __libc_malloc(size_t);
void* __libc_calloc(size_t, size_t);
void* __libc_realloc(void*, size_t);
void* __libc_memalign(size_t, size_t);
}

namespace {

std::atomic<pid_t> g_countedThread{0};
std::atomic<uint64_t> g_allocations{0};
thread_local pid_t t_tid = 0;

inline void CountAllocation() {
    if (t_tid == 0) t_tid = static_cast<pid_t>(gettid());
    if (t_tid == g_countedThread.load(std::memory_order_relaxed)) g_allocations.fetch_add(1, std::memory_order_relaxed);
}

}  // namespace

extern "C" {
void* malloc(size_t size) {
    CountAllocation();
    return __libc_malloc(size);
}
void* calloc(size_t count, size_t size) {
    CountAllocation();
    return __libc_calloc(count, size);
}
void* realloc(void* p, size_t size) {
    CountAllocation();
    return __libc_realloc(p, size);
}
void* memalign(size_t alignment, size_t size) {
    CountAllocation();
    return __libc_memalign(alignment, size);
}
void* aligned_alloc(size_t alignment, size_t size) {
    CountAllocation();
    return __libc_memalign(alignment, size);
}
int posix_memalign(void** out, size_t alignment, size_t size) {
    CountAllocation();
    void* p = __libc_memalign(alignment, size);
    if (p == nullptr) return 12;  // ENOMEM
    *out = p;
    return 0;
}
}

namespace {

using namespace std::chrono_literals;

// CPU time of any thread of this process by its kernel id (the kernel's
// per-thread CPU clock encoding).
uint64_t ThreadCpuNs(pid_t tid) {
    const clockid_t clock = static_cast<clockid_t>((~static_cast<unsigned>(tid) << 3) | 6);
    timespec ts{};
    if (clock_gettime(clock, &ts) != 0) return 0;
    return static_cast<uint64_t>(ts.tv_sec) * 1000000000ull + static_cast<uint64_t>(ts.tv_nsec);
}

uint64_t Periods() {
    VKS_AUDIO_STATS stats;
    VksAudioGetStats(&stats);
    return stats.periods;
}

// One decoder rendering for the whole run.
class Playback {
public:
    bool Start() {
        char path[] = "/tmp/vks-bench-registry-XXXXXX";
        const int fd = mkstemp(path);
        if (fd >= 0) close(fd);
        registry_ = path;
        // Notifications only: the loop's own lines stay off, as in production.
        std::ofstream(registry_) << "Windows Registry Editor Version 5.00\n\n"
                                    "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes\\CLSID\\{3A71D0C2-5B9E-4d17-A6F3-0C94E2B8D715}]\n"
                                    "\"DebugLevel\"=dword:00000001\n";
        setenv("VKS_REGISTRY_FILE", registry_.c_str(), 1);
        VksReloadRegistry();
        VksSetDebugCapture(&Playback::Line, this);

        vkssim::Reset();
        vkssim::DeviceConfig config;
        config.inputs[VKSSIM_TYPE_NETWORK] = 1;
        config.inputs[VKSSIM_TYPE_DECODER] = 1;
        if (vkssim::AddDevice(config) != 0) return false;
        VksAudioResetConfiguration();
        if (VKSEngineLoad(&engine_) != VKSERROR_NO_ERROR) return false;
        VKSDecoderDeviceSetAudioDecodeEnabled(1);
        VKSGUID session{};
        if (VKSDecoderDeviceOpenEx(0, 0, 0, &decoder_, nullptr, &session) != VKSERROR_NO_ERROR) return false;
        const auto object = vkssim::FindObject(0, VKSSIM_TYPE_DECODER, 0);
        if (!object) return false;
        vkssim::SetRequestLogging(false);
        vkssim::RaiseEvent(0, object->handle, VKSERROR_AUDIO_EXISTS);
        std::unique_lock lock(mutex_);
        if (!started_.wait_for(lock, 10s, [&] { return audioThread_ != 0; })) return false;
        lock.unlock();
        // Let the loop settle past its first periods.
        return VksAudioWaitPeriods(Periods() + 20, 5000) != FALSE;
    }
    void Stop() {
        vkssim::SetRequestLogging(true);
        if (decoder_ != 0) VKSDecoderDeviceClose(decoder_);
        if (engine_ != nullptr) VKSEngineFree(engine_);
        VksSetDebugCapture(nullptr, nullptr);
        unsetenv("VKS_REGISTRY_FILE");
        VksReloadRegistry();
        std::remove(registry_.c_str());
        vkssim::Reset();
    }
    pid_t AudioThread() {
        std::lock_guard lock(mutex_);
        return audioThread_;
    }

private:
    // The audio thread names itself when its loop starts.
    static void Line(LPCWSTR line, void* context) {
        static const char16_t kNeedle[] = u"AudioThread: Loop Start.";
        if (std::u16string_view(line).find(kNeedle) == std::u16string_view::npos) return;
        auto* self = static_cast<Playback*>(context);
        {
            std::lock_guard lock(self->mutex_);
            self->audioThread_ = static_cast<pid_t>(gettid());
        }
        self->started_.notify_all();
    }

    std::string registry_;
    VKSHENGINE engine_ = nullptr;
    HVKS decoder_ = 0;
    std::mutex mutex_;
    std::condition_variable started_;
    pid_t audioThread_ = 0;
};

Playback* g_playback = nullptr;

void BM_RenderLoopAllocationsPerPeriod(benchmark::State& state) {
    const pid_t audio = g_playback->AudioThread();
    uint64_t allocations = 0, periods = 0;
    for (auto _ : state) {
        g_allocations.store(0);
        const uint64_t p0 = Periods();
        g_countedThread.store(audio);
        VksAudioWaitPeriods(p0 + 300, 10000);
        g_countedThread.store(0);
        allocations += g_allocations.load();
        periods += Periods() - p0;
    }
    state.counters["periods"] = static_cast<double>(periods);
    state.counters["allocations"] = static_cast<double>(allocations);
    state.counters["allocs_per_period"] = periods ? static_cast<double>(allocations) / static_cast<double>(periods) : -1;
}
BENCHMARK(BM_RenderLoopAllocationsPerPeriod)->Iterations(1)->UseRealTime()->Unit(benchmark::kMillisecond);

// The same count with the simulator recording every request: its log entries
// are the allocations seen here, which shows that the counter counts.
void BM_RenderLoopAllocationsWithRequestLog(benchmark::State& state) {
    vkssim::SetRequestLogging(true);
    BM_RenderLoopAllocationsPerPeriod(state);
    vkssim::SetRequestLogging(false);
}
BENCHMARK(BM_RenderLoopAllocationsWithRequestLog)->Iterations(1)->UseRealTime()->Unit(benchmark::kMillisecond);

void BM_AudioThreadCpuPerPeriod(benchmark::State& state) {
    const pid_t audio = g_playback->AudioThread();
    uint64_t cpu = 0, periods = 0;
    for (auto _ : state) {
        const uint64_t p0 = Periods();
        const uint64_t c0 = ThreadCpuNs(audio);
        VksAudioWaitPeriods(p0 + 500, 15000);
        cpu += ThreadCpuNs(audio) - c0;
        periods += Periods() - p0;
    }
    state.counters["periods"] = static_cast<double>(periods);
    state.counters["cpu_us_per_period"] = periods ? static_cast<double>(cpu) / 1000.0 / static_cast<double>(periods) : -1;
}
BENCHMARK(BM_AudioThreadCpuPerPeriod)->Iterations(1)->UseRealTime()->Unit(benchmark::kMillisecond);

// 30 s at the default 10 ms period while a spinning thread keeps a core busy.
void BM_UnderrunsOver30sWithABusyCore(benchmark::State& state) {
    std::atomic<bool> spin{true};
    std::thread busy([&] {
        volatile uint64_t x = 0;
        while (spin.load(std::memory_order_relaxed)) x = x + 1;
    });
    uint64_t underruns = 0, periods = 0;
    for (auto _ : state) {
        VKS_AUDIO_STATS before;
        VksAudioGetStats(&before);
        VksAudioWaitPeriods(before.periods + 3000, 60000);
        VKS_AUDIO_STATS after;
        VksAudioGetStats(&after);
        underruns += after.underruns - before.underruns;
        periods += after.periods - before.periods;
    }
    spin.store(false);
    busy.join();
    state.counters["periods"] = static_cast<double>(periods);
    state.counters["underruns"] = static_cast<double>(underruns);
}
BENCHMARK(BM_UnderrunsOver30sWithABusyCore)->Iterations(1)->UseRealTime()->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    Playback playback;
    if (!playback.Start()) {
        std::fprintf(stderr, "audio_bench: the decoder did not start rendering\n");
        playback.Stop();
        return 1;
    }
    g_playback = &playback;
    benchmark::RunSpecifiedBenchmarks();
    g_playback = nullptr;
    playback.Stop();
    benchmark::Shutdown();
    return 0;
}
