// Records the application callbacks the library makes, for tests to wait on.
#pragma once

#include "vksacc.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <vector>

namespace vkstest {

struct CallbackCall {
    int form = 0;  // which callback form (see the static functions)
    void* leadingPointer = nullptr;
    uint32_t leadingValue = 0;
    HVKS handle = 0;
    uint32_t value = 0;
    VKSMEDIASAMPLE* sample = nullptr;
    VKSERROR status = 0;
    void* context = nullptr;
    std::vector<uint8_t> payload{};
};

// Calls of any kind, kept in order for tests to wait on; safe to add to from
// any thread.
template <typename Call>
class CallLog {
public:
    void Add(Call call) {
        std::lock_guard<std::mutex> lock(mutex_);
        calls_.push_back(std::move(call));
        changed_.notify_all();
    }
    // Waits until at least `count` calls have been recorded.
    bool WaitFor(size_t count, std::chrono::milliseconds timeout = std::chrono::seconds(10)) {
        return WaitUntil([&](const std::vector<Call>& calls) { return calls.size() >= count; }, timeout);
    }
    // Waits until `done` holds for the calls recorded.
    template <typename Predicate>
    bool WaitUntil(Predicate done, std::chrono::milliseconds timeout = std::chrono::seconds(10)) {
        std::unique_lock<std::mutex> lock(mutex_);
        return changed_.wait_for(lock, timeout, [&] { return done(calls_); });
    }
    std::vector<Call> Calls() {
        std::lock_guard<std::mutex> lock(mutex_);
        return calls_;
    }

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<Call> calls_;
};

class CallbackRecorder : public CallLog<CallbackCall> {
public:
    enum Form { kNetworkError = 1, kDecoderError, kEncoderError, kSystemEvent, kDecoderSampleReturn };

    // Waits until a call with this status has been recorded.
    bool WaitForStatus(VKSERROR status, std::chrono::milliseconds timeout = std::chrono::seconds(10)) {
        return WaitUntil(
            [&](const std::vector<CallbackCall>& calls) {
                return std::any_of(calls.begin(), calls.end(),
                                   [&](const CallbackCall& c) { return c.status == status; });
            },
            timeout);
    }
    // The statuses of the calls so far, in order.
    std::vector<VKSERROR> Statuses() {
        std::vector<VKSERROR> statuses;
        for (const auto& c : Calls()) statuses.push_back(c.status);
        return statuses;
    }
    // Adds the call to the recorder its context names.
    static void Record(CallbackCall call) { static_cast<CallbackRecorder*>(call.context)->Add(std::move(call)); }

    static void VKSAPI NetworkError(HVKS h, uint32_t value, VKSMEDIASAMPLE* sample, VKSERROR status, void* ctx) {
        Record({.form = kNetworkError, .handle = h, .value = value, .sample = sample, .status = status,
                .context = ctx});
    }
    static void VKSAPI DecoderError(void* lead, uint32_t leadValue, HVKS h, VKSMEDIASAMPLE* sample, VKSERROR status,
                                    void* ctx) {
        Record({.form = kDecoderError, .leadingPointer = lead, .leadingValue = leadValue, .handle = h, .sample = sample,
                .status = status, .context = ctx});
    }
    static void VKSAPI DecoderSampleReturn(void* lead, uint32_t leadValue, HVKS h, VKSMEDIASAMPLE* sample, void* ctx) {
        Record({.form = kDecoderSampleReturn, .leadingPointer = lead, .leadingValue = leadValue, .handle = h,
                .sample = sample, .context = ctx});
    }
    // The payload's first eight bytes are kept.
    static void VKSAPI SystemEvent(VKSERROR code, void* payload, void* ctx) {
        const uint8_t* bytes = static_cast<const uint8_t*>(payload);
        Record({.form = kSystemEvent, .status = code, .context = ctx,
                .payload = bytes != nullptr ? std::vector<uint8_t>(bytes, bytes + 8) : std::vector<uint8_t>{}});
    }
};

}  // namespace vkstest
