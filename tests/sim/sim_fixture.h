// Shared helpers of the simulator tests: a fixture that starts every test
// with an empty machine, and command frames built as the library builds them.
#pragma once

#include "vks_platform.h"
#include "vks_win32/driver.h"
#include "vksacc.h"
#include "vkssim/sim.h"

#include "support/bytes.h"
#include "support/request_frame.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace simtest {

using vkstest::RequestFrame;
inline const GUID kClass = VKSSIM_INTERFACE_CLASS_INIT;

class SimTest : public ::testing::Test {
protected:
    void SetUp() override {
        unsetenv("VKS_DRIVERS");
        unsetenv("VKS_SIM_CONFIG");
        vkssim::Reset();
    }
    void TearDown() override {
        for (HANDLE h : handles_) CloseHandle(h);
        vkssim::Reset();
    }

    // Opens a device file; the fixture closes it at the end.
    HANDLE Open(int device, bool overlapped) {
        HANDLE h = CreateFileW((vkssim::InterfacePath(device) + VKSSIM_FILE_SUFFIX).c_str(),
                               GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                               OPEN_EXISTING, overlapped ? FILE_FLAG_OVERLAPPED : 0, nullptr);
        if (h != INVALID_HANDLE_VALUE) handles_.push_back(h);
        return h;
    }
    void Forget(HANDLE h) { handles_.erase(std::remove(handles_.begin(), handles_.end(), h), handles_.end()); }

private:
    std::vector<HANDLE> handles_;
};

// A standard reply buffer (8224 bytes) as the library's template leaves it.
struct ReplyFrame {
    std::vector<uint8_t> bytes = std::vector<uint8_t>(VKSSIM_REPLY_SIZE, 0);
    ReplyFrame() {
        const uint32_t head[5] = {VKSSIM_REPLY_SIZE, 0, 0, 0, VKSSIM_FORMAT_WORD};
        std::memcpy(bytes.data(), head, sizeof head);
    }
    uint32_t U32(size_t off) const { return vkstest::U32(bytes, off); }
    uint32_t Status() const { return U32(VKSSIM_REPLY_STATUS); }
};

// Whether a call failed with `error` as the thread's last error.
inline testing::AssertionResult FailsWith(bool ok, DWORD error) {
    const DWORD last = GetLastError();
    if (!ok && last == error) return testing::AssertionSuccess();
    return testing::AssertionFailure() << (ok ? "succeeded" : "failed with error " + std::to_string(last));
}

// One synchronous command; returns DeviceIoControl's result.
inline BOOL Send(HANDLE h, uint32_t code, RequestFrame& request, ReplyFrame& reply) {
    DWORD n = 0;
    return DeviceIoControl(h, code, request.bytes.data(), static_cast<DWORD>(request.bytes.size()),
                           reply.bytes.data(), static_cast<DWORD>(reply.bytes.size()), &n, nullptr);
}

// Opens an object with the open command on a synchronous device file; returns
// the driver's handle (0 on failure) and the reply status.
inline uint32_t OpenObject(HANDLE h, uint32_t type, uint32_t channel, uint32_t* status = nullptr,
                           const char* address = nullptr) {
    RequestFrame r(type, channel, 0);
    if (address) {
        r.U64(24, reinterpret_cast<uintptr_t>(address)).U32(2072, static_cast<uint32_t>(std::strlen(address) + 1));
        r.U64(2080, std::strlen(address)).U32(2088, 5);
    } else {
        r.U32(2124, 0x11);
    }
    ReplyFrame reply;
    if (!Send(h, VKSSIM_IOCTL_OPEN, r, reply)) return 0;
    if (status) *status = reply.Status();
    return reply.Status() == 0 ? reply.U32(VKSSIM_REPLY_HANDLE) : 0;
}

}  // namespace simtest
