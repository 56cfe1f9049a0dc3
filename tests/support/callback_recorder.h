// Records the application callbacks the library makes, for tests to wait on.
#pragma once

#include "vksacc.h"

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
    std::vector<uint8_t> payload;
};

class CallbackRecorder {
public:
    enum Form { kNetworkError = 1, kDecoderError, kEncoderError, kSystemEvent, kDecoderSampleReturn };

    void Add(CallbackCall call) {
        std::lock_guard<std::mutex> lock(mutex_);
        calls_.push_back(std::move(call));
        changed_.notify_all();
    }
    // Waits until at least `count` calls have been recorded.
    bool WaitFor(size_t count, std::chrono::milliseconds timeout = std::chrono::seconds(10)) {
        std::unique_lock<std::mutex> lock(mutex_);
        return changed_.wait_for(lock, timeout, [&] { return calls_.size() >= count; });
    }
    // Waits until a call with this status has been recorded.
    bool WaitForStatus(VKSERROR status, std::chrono::milliseconds timeout = std::chrono::seconds(10)) {
        std::unique_lock<std::mutex> lock(mutex_);
        return changed_.wait_for(lock, timeout, [&] {
            for (const auto& c : calls_) {
                if (c.status == status) return true;
            }
            return false;
        });
    }
    std::vector<CallbackCall> Calls() {
        std::lock_guard<std::mutex> lock(mutex_);
        return calls_;
    }

    static void VKSAPI NetworkError(HVKS h, uint32_t value, VKSMEDIASAMPLE* sample, VKSERROR status, void* ctx) {
        CallbackCall c;
        c.form = kNetworkError;
        c.handle = h;
        c.value = value;
        c.sample = sample;
        c.status = status;
        c.context = ctx;
        static_cast<CallbackRecorder*>(ctx)->Add(c);
    }
    static void VKSAPI DecoderError(void* lead, uint32_t leadValue, HVKS h, VKSMEDIASAMPLE* sample, VKSERROR status,
                                    void* ctx) {
        CallbackCall c;
        c.form = kDecoderError;
        c.leadingPointer = lead;
        c.leadingValue = leadValue;
        c.handle = h;
        c.sample = sample;
        c.status = status;
        c.context = ctx;
        static_cast<CallbackRecorder*>(ctx)->Add(c);
    }
    static void VKSAPI DecoderSampleReturn(void* lead, uint32_t leadValue, HVKS h, VKSMEDIASAMPLE* sample, void* ctx) {
        CallbackCall c;
        c.form = kDecoderSampleReturn;
        c.leadingPointer = lead;
        c.leadingValue = leadValue;
        c.handle = h;
        c.sample = sample;
        c.context = ctx;
        static_cast<CallbackRecorder*>(ctx)->Add(c);
    }
    static void VKSAPI SystemEvent(VKSERROR code, void* payload, void* ctx) {
        CallbackCall c;
        c.form = kSystemEvent;
        c.status = code;
        c.context = ctx;
        const uint8_t* bytes = static_cast<const uint8_t*>(payload);
        if (bytes != nullptr) c.payload.assign(bytes, bytes + 8);
        static_cast<CallbackRecorder*>(ctx)->Add(c);
    }

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<CallbackCall> calls_;
};

}  // namespace vkstest
