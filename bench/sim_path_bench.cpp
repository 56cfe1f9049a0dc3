// The synchronous parameter get and the event throughput through the device
// simulator, as a plain program that builds on both platforms, so that
// vksacc.dll under Wine and libvksacc.so on our layer are timed by the same
// code (bench/compare_wine.sh runs both and prints them side by side).
// Prints two lines: "sync_get_us <microseconds per get>" and
// "events_per_s <events per second>".
//   vksacc_sim_path_bench [gets] [events]
#include "vksacc.h"
#include "vks_platform.h"
#include "vkssim/sim.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>

namespace {

double Seconds() {
    LARGE_INTEGER frequency, now;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&now);
    return double(now.QuadPart) / double(frequency.QuadPart);
}

struct EventCounter {
    std::atomic<long> seen{0};
    long target = 0;
    HANDLE done = nullptr;
};

void VKSAPI CountEvent(HVKS, uint32_t, VKSMEDIASAMPLE*, VKSERROR, void* context) {
    auto* counter = static_cast<EventCounter*>(context);
    if (counter->seen.fetch_add(1) + 1 == counter->target) SetEvent(counter->done);
}

}  // namespace

int main(int argc, char** argv) {
    const long gets = argc > 1 ? std::atol(argv[1]) : 20000;
    const long events = argc > 2 ? std::atol(argv[2]) : 20000;
    if (gets <= 0 || events <= 0) return 2;

    vkssim::DeviceConfig config;
    config.inputs[VKSSIM_TYPE_NETWORK] = 1;
    config.inputs[VKSSIM_TYPE_DECODER] = 1;
    vkssim::AddDevice(config);
    VKSHENGINE engine = nullptr;
    HVKS stream = 0;
    if (VKSEngineLoad(&engine) != VKSERROR_NO_ERROR ||
        VKSNetworkStreamOpenExA(0, "rtsp://camera", 0, &stream, nullptr) != VKSERROR_NO_ERROR) {
        std::fprintf(stderr, "no engine or stream on the simulator\n");
        return 1;
    }

    uint32_t jitter = 0;
    for (long i = 0; i < gets / 10; ++i) VKSNetworkStreamGetJitter(stream, 0, &jitter);
    double start = Seconds();
    for (long i = 0; i < gets; ++i) {
        if (VKSNetworkStreamGetJitter(stream, 0, &jitter) != VKSERROR_NO_ERROR) return 1;
    }
    std::printf("sync_get_us %.2f\n", (Seconds() - start) * 1e6 / double(gets));

    EventCounter counter;
    counter.target = events;
    counter.done = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    VKSNetworkStreamSetErrorFn(stream, 0, CountEvent, &counter);
    uint32_t driverHandle = 0;
    for (const auto& o : vkssim::Objects(0)) driverHandle = o.handle;
    start = Seconds();
    for (long i = 0; i < events; ++i) vkssim::RaiseEvent(0, driverHandle, VKSERROR_RESOLUTION_CHANGED);
    if (WaitForSingleObject(counter.done, 60000) != WAIT_OBJECT_0) {
        std::fprintf(stderr, "%ld of %ld events arrived\n", counter.seen.load(), events);
        return 1;
    }
    std::printf("events_per_s %.0f\n", double(events) / (Seconds() - start));

    VKSNetworkStreamClose(stream);
    VKSEngineFree(engine);
    CloseHandle(counter.done);
    vkssim::Reset();
    return 0;
}
