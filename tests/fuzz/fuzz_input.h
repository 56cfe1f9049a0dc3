// Reads typed values off a fuzzer's input, front to back; past the end every
// read gives zeros, so a target never reads outside the input.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

// A property a target checks: when it does not hold, the fuzzer reports a crash.
inline void FuzzCheck(bool condition) {
    if (!condition) std::abort();
}

class FuzzInput {
public:
    FuzzInput(const uint8_t* data, size_t size) : data_(data), size_(size) {}

    bool Empty() const { return pos_ >= size_; }

    uint8_t Byte() { return pos_ < size_ ? data_[pos_++] : 0; }

    template <typename T>
    T Value() {
        T v{};
        const size_t n = pos_ < size_ ? std::min(sizeof v, size_ - pos_) : 0;
        std::memcpy(&v, data_ + pos_, n);
        pos_ += n;
        return v;
    }

    // A number below `limit` (limit > 0).
    uint32_t Below(uint32_t limit) { return Value<uint32_t>() % limit; }

    // Up to `most` bytes of the input.
    std::vector<uint8_t> Bytes(size_t most) {
        const size_t n = std::min<size_t>(Byte() % (most + 1), size_ - std::min(pos_, size_));
        std::vector<uint8_t> out(data_ + pos_, data_ + pos_ + n);
        pos_ += n;
        return out;
    }

    // A 32-bit value picked to reach edges: 0, 1, small, the extremes, or any.
    uint32_t Edgy32() {
        static constexpr uint32_t kEdges[] = {0, 1, 2, 3, 4, 7, 8, 16, 255, 256, 4096, 0x7FFFFFFF,
                                              0x80000000, 0xFFFFFFFE, 0xFFFFFFFF};
        const uint8_t pick = Byte();
        if (pick < 128) return kEdges[pick % (sizeof kEdges / sizeof kEdges[0])];
        return Value<uint32_t>();
    }

private:
    const uint8_t* data_;
    size_t size_;
    size_t pos_ = 0;
};
