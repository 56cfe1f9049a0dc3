#include "family_clock.h"

namespace vkssim::detail {

FamilyClock::~FamilyClock() {
    // Clocks belong to families made once per process: where the machine is
    // left alone at exit, so is its clock (its thread is already gone).
    if (!TearDownMachineAtExit()) {
        if (thread_.joinable()) thread_.detach();
        return;
    }
    Machine& m = M();
    {
        std::lock_guard lock(m.mu);
        stopping_ = true;
    }
    wakeup_.notify_all();
    if (thread_.joinable()) thread_.join();
}

void FamilyClock::StartLocked() {
    if (!thread_.joinable()) thread_ = std::thread([this] { Run(); });
    wakeup_.notify_all();
}

void FamilyClock::Run() {
    Machine& m = M();
    std::unique_lock lock(m.mu);
    while (!stopping_) {
        std::vector<Completion> completions;
        const TimePoint wake = sweep_(std::chrono::steady_clock::now(), completions);
        if (!completions.empty()) {
            m.heldChanged.notify_all();
            lock.unlock();
            RunCompletions(completions);
            lock.lock();
            continue;
        }
        if (wake == TimePoint::max()) {
            wakeup_.wait(lock);
        } else {
            wakeup_.wait_until(lock, wake);
        }
    }
}

}  // namespace vkssim::detail
