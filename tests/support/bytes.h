// Little-endian reads of records as the tests received them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

namespace vkstest {

template <typename T>
T ReadAt(const void* bytes, size_t offset) {
    T value;
    std::memcpy(&value, static_cast<const uint8_t*>(bytes) + offset, sizeof value);
    return value;
}
inline uint16_t U16(const void* p, size_t offset) { return ReadAt<uint16_t>(p, offset); }
inline uint32_t U32(const void* p, size_t offset) { return ReadAt<uint32_t>(p, offset); }
inline uint64_t U64(const void* p, size_t offset) { return ReadAt<uint64_t>(p, offset); }
inline uint32_t U32(const std::vector<uint8_t>& bytes, size_t offset) { return U32(bytes.data(), offset); }
inline uint64_t U64(const std::vector<uint8_t>& bytes, size_t offset) { return U64(bytes.data(), offset); }
// A copy of `size` bytes from `record`, to compare whole.
inline std::vector<uint8_t> Bytes(const void* record, size_t size) {
    const auto* p = static_cast<const uint8_t*>(record);
    return std::vector<uint8_t>(p, p + size);
}

}  // namespace vkstest
