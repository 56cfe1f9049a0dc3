// Reports from the library's threads to the main thread: callbacks queue
// what they were told and wake the main thread, which prints it. Nothing is
// printed on the library's threads, so output never interleaves.
#pragma once

#include "session.h"
#include "vksacc.h"

#include <chrono>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

namespace vksctl {

struct Reported {
    std::string source;   // "stream", "decoder", "encoder", "system", ...
    VKSERROR status = 0;
    uint32_t value = 0;
    double seconds = 0;   // since the queue was made
};

class EventQueue {
public:
    EventQueue() : start_(std::chrono::steady_clock::now()) {}

    void Push(const char* source, VKSERROR status, uint32_t value = 0) {
        {
            std::lock_guard lock(mutex_);
            const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start_;
            reports_.push_back(Reported{source, status, value, elapsed.count()});
        }
        Wake();
    }

    std::vector<Reported> Take() {
        std::lock_guard lock(mutex_);
        std::vector<Reported> taken;
        taken.swap(reports_);
        return taken;
    }

    double Elapsed() const {
        const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start_;
        return elapsed.count();
    }

private:
    std::mutex mutex_;
    std::vector<Reported> reports_;
    std::chrono::steady_clock::time_point start_;
};

// Waits for reports until `seconds` have passed since `since` (negative: no
// limit) or Ctrl-C; returns false on Ctrl-C. `poll_ms` bounds each wait so
// that the caller can refresh a progress display.
inline bool WaitUntil(const EventQueue& queue, double since, double seconds, int pollMs) {
    int wait = pollMs;
    if (seconds >= 0) {
        const double left = since + seconds - queue.Elapsed();
        if (left <= 0) return !StopRequested();
        if (left * 1000 < wait) wait = static_cast<int>(left * 1000) + 1;
    }
    return WaitForWake(wait);
}

}  // namespace vksctl
