// A test-only driver for the parameter tests: one device interface whose files
// record the bytes of every device control request and answer each with a
// prepared reply. Requests are completed from inside the dispatch routine, so
// a synchronous command has been recorded by the time it returns.
#pragma once

#include "vks_platform.h"
#include "vks_win32/driver.h"

#include "driver/command_channel.h"

#include <algorithm>
#include <cstring>
#include <deque>
#include <mutex>
#include <vector>

namespace paramtest {

struct RecordedRequest {
    DWORD Code = 0;
    std::vector<BYTE> Bytes;
    DWORD OutputLength = 0;

    DWORD U32(DWORD offset) const { return ReadU32(Bytes.data(), offset); }
};

// A reply: the standard reply with a status word and, from offset 32, a block.
struct PreparedReply {
    VKSERROR Status = VKSERROR_NO_ERROR;
    std::vector<BYTE> Block;  // empty: none
    DWORD Win32Error = 0;
    DWORD Bytes = kReplyBytes;  // how many output bytes the completion reports
};

class FakeParamDevice {
public:
    static constexpr const WCHAR* kPath = WSTR("\\\\?\\vkstest#param#{0}");

    FakeParamDevice() {
        static const GUID kClass = {0x5a1e7c11, 0x0b3d, 0x4c2e, {0x9f, 0x10, 0x22, 0x41, 0x6d, 0x8a, 0x01, 0x77}};
        static const VKS_DRIVER_DISPATCH kDispatch = {&Create, &DeviceControl, &Close};
        registration_ = VksRegisterDeviceInterface(&kClass, kPath, WSTR("test"), &kDispatch, this);
    }
    ~FakeParamDevice() {
        if (registration_ != nullptr) VksUnregisterDeviceInterface(registration_);
    }
    FakeParamDevice(const FakeParamDevice&) = delete;
    FakeParamDevice& operator=(const FakeParamDevice&) = delete;

    bool Registered() const { return registration_ != nullptr; }

    // Replies are used in order; when none is queued the device answers
    // success with no block.
    void QueueReply(PreparedReply reply) {
        std::lock_guard lock(mu_);
        replies_.push_back(std::move(reply));
    }

    std::vector<RecordedRequest> Requests() const {
        std::lock_guard lock(mu_);
        return requests_;
    }

private:
    static DWORD Create(void* device, LPCWSTR /*rest*/, BOOL /*overlapped*/, void** file) {
        *file = device;
        return 0;
    }
    static void Close(void* /*file*/) {}

    static void DeviceControl(void* file, VKS_IRP* irp) {
        auto* self = static_cast<FakeParamDevice*>(file);
        DWORD inLength = 0, outLength = 0;
        const auto* in = static_cast<const BYTE*>(VksIrpInput(irp, &inLength));
        auto* out = static_cast<BYTE*>(VksIrpOutput(irp, &outLength));
        PreparedReply reply;
        {
            std::lock_guard lock(self->mu_);
            self->requests_.push_back({VksIrpControlCode(irp), std::vector<BYTE>(in, in + inLength), outLength});
            if (!self->replies_.empty()) {
                reply = std::move(self->replies_.front());
                self->replies_.pop_front();
            }
        }
        // The input and the output share one buffer: write the reply over it.
        const DWORD n = std::min(outLength, kReplyBytes);
        std::memcpy(out, kReplyTemplate.Bytes, n);
        if (n >= 16) WriteU32(out, kRepStatus, reply.Status);
        if (!reply.Block.empty() && n > 32) {
            std::memcpy(out + 32, reply.Block.data(), std::min<size_t>(reply.Block.size(), n - 32));
        }
        VksCompleteRequest(irp, reply.Win32Error, std::min(reply.Bytes, outLength));
    }

    void* registration_ = nullptr;
    mutable std::mutex mu_;
    std::deque<PreparedReply> replies_;
    std::vector<RecordedRequest> requests_;
};

}  // namespace paramtest
