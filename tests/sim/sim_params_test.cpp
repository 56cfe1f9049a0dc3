// Parameter blocks: current, minimum, maximum and default values, field
// groups named by the flags, the test selector and the size word.
#include "sim_fixture.h"

#include <atomic>
#include <new>
#include <tuple>

// Counts the allocations made through operator new in this program (not
// inlined, so that the compiler does not pair a new expression with free).
namespace {
std::atomic<long> g_allocations{0};
}
[[gnu::noinline]] void* operator new(std::size_t n) {
    ++g_allocations;
    if (void* p = std::malloc(n ? n : 1)) return p;
    throw std::bad_alloc();
}
[[gnu::noinline]] void operator delete(void* p) noexcept { std::free(p); }
[[gnu::noinline]] void operator delete(void* p, std::size_t) noexcept { std::free(p); }

using namespace simtest;
using vkstest::U32;

namespace {

class Params : public SimTest {
protected:
    void SetUp() override {
        SimTest::SetUp();
        ASSERT_EQ(vkssim::AddDevice({}), 0);
        h_ = Open(0, false);
        decoder_ = OpenObject(h_, VKSSIM_TYPE_DECODER, 0);
        encoder_ = OpenObject(h_, VKSSIM_TYPE_ENCODER, 0);
        ASSERT_NE(decoder_, 0u);
        ASSERT_NE(encoder_, 0u);
    }
    // Returns the status; the block (from reply offset 32) in `block`.
    uint32_t Get(uint32_t handle, uint32_t selector, uint32_t flags, uint32_t capacity, std::vector<uint8_t>* block) {
        RequestFrame r(0, 0, handle);
        r.U32(24, selector).U32(28, flags).U32(32, capacity);
        ReplyFrame reply;
        EXPECT_TRUE(Send(h_, VKSSIM_IOCTL_GET_PARAMETER, r, reply));
        block->assign(reply.bytes.begin() + 32, reply.bytes.end());
        return reply.Status();
    }
    uint32_t Set(uint32_t handle, uint32_t selector, uint32_t flags, const std::vector<uint8_t>& block) {
        RequestFrame r(0, 0, handle);
        r.U32(24, selector).U32(28, flags).Put(32, block.data(), block.size());
        ReplyFrame reply;
        EXPECT_TRUE(Send(h_, VKSSIM_IOCTL_SET_PARAMETER, r, reply));
        return reply.Status();
    }
    static void Put(std::vector<uint8_t>& b, size_t off, uint32_t v) { std::memcpy(&b[off], &v, 4); }
    // A block of `size` bytes with its size word and the given fields.
    static std::vector<uint8_t> Block(uint32_t size, std::initializer_list<std::pair<size_t, uint32_t>> fields = {}) {
        std::vector<uint8_t> b(size, 0);
        Put(b, 0, size);
        for (const auto& [offset, value] : fields) Put(b, offset, value);
        return b;
    }

    HANDLE h_ = nullptr;
    uint32_t decoder_ = 0, encoder_ = 0;
};

TEST_F(Params, SelectorsGiveCurrentMinimumMaximumDefault) {
    std::vector<uint8_t> b;
    uint32_t bitRate[4];  // current, minimum, maximum, default
    for (uint32_t selector = 0; selector < 4; ++selector) {
        ASSERT_EQ(Get(encoder_, selector, 0x8, 2208, &b), 0u);
        EXPECT_EQ(U32(b, 0), 2208u);
        bitRate[selector] = U32(b, 32);
    }
    EXPECT_EQ(bitRate[3], bitRate[0]);
    EXPECT_LT(bitRate[1], bitRate[0]);
    EXPECT_GT(bitRate[2], bitRate[0]);
    EXPECT_EQ(Get(encoder_, 4, 0x8, 2208, &b), VKSERROR_INVALID_ARGUMENT);

    // A warm get of any selector allocates nothing (request log off, as when measured).
    vkssim::SetRequestLogging(false);
    RequestFrame r(0, 0, encoder_);
    ReplyFrame reply;
    const long before = g_allocations.load();
    for (uint32_t selector = 0; selector <= 3; ++selector) {
        r.U32(24, selector);
        EXPECT_TRUE(Send(h_, VKSSIM_IOCTL_GET_PARAMETER, r, reply));
    }
    EXPECT_EQ(g_allocations.load(), before);
    vkssim::SetRequestLogging(true);
}

TEST_F(Params, SetWritesOnlyTheNamedFields) {
    std::vector<uint8_t> b = Block(480, {{76, 55}, {80, 999}});  // volume (flags 0x1000), delay (not named)
    ASSERT_EQ(Set(decoder_, 0, 0x1000, b), 0u);
    std::vector<uint8_t> got;
    ASSERT_EQ(Get(decoder_, 0, 0x3000, 480, &got), 0u);
    EXPECT_EQ(U32(got, 76), 55u);
    EXPECT_EQ(U32(got, 80), 0u);
    // Out of range: refused, nothing written.
    Put(b, 76, 101);
    EXPECT_EQ(Set(decoder_, 0, 0x1000, b), VKSERROR_INVALID_ARGUMENT);
    ASSERT_EQ(Get(decoder_, 0, 0x1000, 480, &got), 0u);
    EXPECT_EQ(U32(got, 76), 55u);
    // Measured values cannot be written; unknown flags are not supported.
    EXPECT_EQ(Set(decoder_, 0, 0x3, b), VKSERROR_UNSUPPORTED);
    EXPECT_EQ(Set(decoder_, 0, 0x40000000, b), VKSERROR_UNSUPPORTED);
}

TEST_F(Params, TestSelectorAnswersSupportOnly) {
    // The profile (0x10, at 36) and the level (0x20, at 40): a value, and whether it is supported.
    const std::tuple<uint32_t, size_t, uint32_t, uint32_t> queries[] = {
        {0x10, 36, 77, 0}, {0x10, 36, 88, VKSERROR_UNSUPPORTED}, {0x20, 40, 52, VKSERROR_UNSUPPORTED},
        {0x20, 40, 41, 0}};
    for (const auto& [flags, offset, value, status] : queries) {
        EXPECT_EQ(Set(encoder_, 4, flags, Block(2208, {{offset, value}})), status) << value;
    }
    std::vector<uint8_t> got;
    ASSERT_EQ(Get(encoder_, 0, 0x30, 2208, &got), 0u);
    EXPECT_EQ(U32(got, 36), 100u);  // unchanged by the tests
    EXPECT_EQ(U32(got, 40), 40u);
}

TEST_F(Params, SizeWordReportsTheDeviceBlock) {
    std::vector<uint8_t> got;
    // The device answers with its whole block whatever the capacity.
    ASSERT_EQ(Get(decoder_, 0, 0x10, 100, &got), 0u);
    EXPECT_EQ(U32(got, 0), 480u);
    // An older firmware with a shorter block.
    ASSERT_TRUE(vkssim::SetParameterBlockSize(0, VKSSIM_TYPE_DECODER, 40));
    ASSERT_EQ(Get(decoder_, 0, 0x20, 480, &got), 0u);
    EXPECT_EQ(U32(got, 0), 40u);
    // A set naming a field that ends past the bytes sent is refused, by
    // however little.
    std::vector<uint8_t> b = Block(480, {{76, 55}, {0, 78}});  // the volume, bytes 76 to 79
    EXPECT_EQ(Set(decoder_, 0, 0x1000, b), VKSERROR_BUFFER_TOO_SMALL);
    Put(b, 0, 80);
    EXPECT_EQ(Set(decoder_, 0, 0x1000, b), VKSERROR_NO_ERROR);
}

TEST_F(Params, NetworkBlockKeepsTheSeekTimeAndItsFlag) {
    const uint32_t stream = OpenObject(h_, VKSSIM_TYPE_NETWORK, 0, nullptr, "udp://@1.1.1.1:1");
    ASSERT_EQ(Set(stream, 0, 0x10, Block(40, {{28, 15000000}})), 0u);
    std::vector<uint8_t> got;
    ASSERT_EQ(Get(stream, 0, 0x10, 40, &got), 0u);
    EXPECT_EQ(std::vector<uint32_t>({U32(got, 0), U32(got, 4), U32(got, 28)}),
              std::vector<uint32_t>({40, 0x10, 15000000}));
}

}  // namespace
