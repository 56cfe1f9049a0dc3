// A request as a test expects the library to send it: the standard header of
// a command, zeros, and the words the test puts in. Compared whole with what
// the driver received, naming the first byte that differs.
#pragma once

#include "vkssim/protocol.h"

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace vkstest {

struct RequestFrame {
    std::vector<uint8_t> bytes;

    explicit RequestFrame(uint32_t type = 0, uint32_t channel = 0, uint32_t handle = 0,
                          uint32_t size = VKSSIM_REQUEST_SIZE)
        : bytes(size) {
        U32(VKSSIM_REQ_SIZE, size).U32(VKSSIM_REQ_TYPE, type).U32(VKSSIM_REQ_CHANNEL, channel);
        U32(VKSSIM_REQ_HANDLE, handle).U32(VKSSIM_REQ_FORMAT, VKSSIM_FORMAT_WORD);
    }
    RequestFrame& Put(size_t offset, const void* data, size_t size) {
        if (size != 0) std::memcpy(bytes.data() + offset, data, size);
        return *this;
    }
    RequestFrame& U32(size_t offset, uint32_t value) { return Put(offset, &value, 4); }
    RequestFrame& U64(size_t offset, uint64_t value) { return Put(offset, &value, 8); }
};

// Empty when `sent` is the frame; otherwise where they first differ.
inline std::string Mismatch(const std::vector<uint8_t>& sent, const RequestFrame& expected) {
    const std::vector<uint8_t>& want = expected.bytes;
    if (sent.size() != want.size()) {
        return "size " + std::to_string(sent.size()) + ", expected " + std::to_string(want.size());
    }
    for (size_t i = 0; i < sent.size(); ++i) {
        if (sent[i] != want[i]) {
            return "byte " + std::to_string(i) + " is " + std::to_string(sent[i]) + ", expected " +
                   std::to_string(want[i]);
        }
    }
    return "";
}

}  // namespace vkstest
