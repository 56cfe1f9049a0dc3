// Shared helpers of the simulator tests: a fixture that starts every test
// with an empty machine, and command frames built as the library builds them.
#pragma once

#include "vks_platform.h"
#include "vks_win32/driver.h"
#include "vksacc.h"
#include "vkssim/sim.h"

#include "support/bytes.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace simtest {

inline const GUID kClass = VKSSIM_INTERFACE_CLASS_INIT;
constexpr std::chrono::milliseconds kWait{10000};

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

    // Adds a device with the given inputs (network, decoders, encoders, discovery).
    int AddDevice(uint32_t network = 2, uint32_t decoders = 2, uint32_t encoders = 1, uint32_t discovery = 1) {
        vkssim::DeviceConfig c;
        c.inputs[0] = network;
        c.inputs[1] = decoders;
        c.inputs[2] = encoders;
        c.inputs[3] = discovery;
        return vkssim::AddDevice(c);
    }

    std::u16string FileName(int device) { return vkssim::InterfacePath(device) + VKSSIM_FILE_SUFFIX; }

    // Opens a device file; the fixture closes it at the end.
    HANDLE Open(int device, bool overlapped) {
        HANDLE h = CreateFileW(FileName(device).c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                               nullptr, OPEN_EXISTING, overlapped ? FILE_FLAG_OVERLAPPED : 0, nullptr);
        if (h != INVALID_HANDLE_VALUE) handles_.push_back(h);
        return h;
    }
    void Forget(HANDLE h) { handles_.erase(std::remove(handles_.begin(), handles_.end(), h), handles_.end()); }

private:
    std::vector<HANDLE> handles_;
};

// A standard request (2824 bytes) with its header.
struct RequestFrame {
    std::vector<uint8_t> bytes = std::vector<uint8_t>(VKSSIM_REQUEST_SIZE, 0);
    RequestFrame(uint32_t type = 0, uint32_t channel = 0, uint32_t handle = 0) {
        U32(0, VKSSIM_REQUEST_SIZE);
        U32(4, type);
        U32(8, channel);
        U32(12, handle);
        U32(20, VKSSIM_FORMAT_WORD);
    }
    void U32(size_t off, uint32_t v) { std::memcpy(&bytes[off], &v, 4); }
    void U64(size_t off, uint64_t v) { std::memcpy(&bytes[off], &v, 8); }
    void* data() { return bytes.data(); }
    DWORD size() const { return static_cast<DWORD>(bytes.size()); }
};

// A standard reply buffer (8224 bytes) as the library's template leaves it.
struct ReplyFrame {
    std::vector<uint8_t> bytes = std::vector<uint8_t>(VKSSIM_REPLY_SIZE, 0);
    ReplyFrame() {
        uint32_t size = VKSSIM_REPLY_SIZE, format = VKSSIM_FORMAT_WORD;
        std::memcpy(&bytes[0], &size, 4);
        std::memcpy(&bytes[16], &format, 4);
    }
    uint32_t U32(size_t off) const { return vkstest::U32(bytes, off); }
    uint32_t Status() const { return U32(VKSSIM_REPLY_STATUS); }
    void* data() { return bytes.data(); }
    DWORD size() const { return static_cast<DWORD>(bytes.size()); }
};

// One synchronous command; returns DeviceIoControl's result.
inline BOOL Send(HANDLE h, uint32_t code, RequestFrame& request, ReplyFrame& reply, DWORD* bytes = nullptr) {
    DWORD n = 0;
    BOOL ok = DeviceIoControl(h, code, request.data(), request.size(), reply.data(), reply.size(), &n, nullptr);
    if (bytes) *bytes = n;
    return ok;
}

// Opens an object with the open command on a synchronous device file; returns
// the driver's handle (0 on failure) and the reply status.
inline uint32_t OpenObject(HANDLE h, uint32_t type, uint32_t channel, uint32_t* status = nullptr,
                           const char* address = nullptr) {
    RequestFrame r(type, channel, 0);
    if (address) {
        r.U64(24, reinterpret_cast<uintptr_t>(address));
        r.U32(2072, static_cast<uint32_t>(std::strlen(address) + 1));
        r.U64(2080, std::strlen(address));
        r.U32(2088, 5);
    } else {
        r.U32(2124, 0x11);
    }
    ReplyFrame reply;
    if (!Send(h, VKSSIM_IOCTL_OPEN, r, reply)) return 0;
    if (status) *status = reply.Status();
    return reply.Status() == 0 ? reply.U32(VKSSIM_REPLY_HANDLE) : 0;
}

}  // namespace simtest
