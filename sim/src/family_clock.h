// The thread behind a family's timed behaviour: paced requests of file
// streams, an encoder's frame clock, a decoder's decoded audio.
#pragma once

#include "sim_internal.h"

#include <chrono>
#include <condition_variable>
#include <thread>
#include <vector>

namespace vkssim::detail {

// Started on first use. Each time it is woken or due it runs the family's
// sweep under the machine lock, then the completions the sweep gathered
// outside it (completions call back into the platform). It stops when the
// family is destroyed: declare it after everything the sweep reads.
class FamilyClock {
public:
    using TimePoint = std::chrono::steady_clock::time_point;
    // Returns when to run again; TimePoint::max() waits to be woken.
    using Sweep = TimePoint (*)(TimePoint now, std::vector<Completion>& completions);

    // `wakeup` is waited on with the machine lock; whoever changes what the
    // sweep reads notifies it.
    FamilyClock(std::condition_variable& wakeup, Sweep sweep) : wakeup_(wakeup), sweep_(sweep) {}
    ~FamilyClock();
    FamilyClock(const FamilyClock&) = delete;
    FamilyClock& operator=(const FamilyClock&) = delete;

    // Under the machine lock: starts the thread if need be and wakes it.
    void StartLocked();

private:
    void Run();

    std::condition_variable& wakeup_;
    const Sweep sweep_;
    std::thread thread_;
    bool stopping_ = false;  // with the machine lock
};

}  // namespace vkssim::detail
