#include "objects/handle_table.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <tuple>
#include <vector>

namespace {

std::atomic<DWORD> g_FakeTick{1000};
DWORD FakeTick() { return g_FakeTick.load(); }

class HandleTableTest : public ::testing::Test {
protected:
    void SetUp() override {
        g_FakeTick = 1000;
        HandleTableSetTickSource(FakeTick);
        HandleTableConfig config{};
        config.Size = sizeof(config);
        config.BucketCount = 128;
        config.Tag = 4;
        ASSERT_EQ(InitialiseHandleTable(&config), 0u);
    }
    void TearDown() override {
        UninitialiseHandleTable();
        HandleTableSetTickSource(nullptr);
    }

    static DWORD NewHandle(void** object = nullptr) {
        DWORD handle = 0;
        EXPECT_EQ(CreateHandle(56, &handle), 0u);
        if (object != nullptr) {
            EXPECT_EQ(LockHandle(handle, object), 0u);
            EXPECT_EQ(UnlockHandle(handle, *object), 0u);
        }
        return handle;
    }
};

TEST_F(HandleTableTest, ConfigurationChecks) {
    HandleTableConfig config{};
    config.Size = sizeof(config);
    config.BucketCount = 128;
    config.Tag = 4;
    EXPECT_EQ(InitialiseHandleTable(&config), HANDLEERROR_ALREADY_INITIALISED);
    UninitialiseHandleTable();
    const std::tuple<DWORD, DWORD, DWORD> cases[] = {{sizeof config, 96, HANDLEERROR_BAD_BUCKET_COUNT},
                                                     {sizeof config, 0, HANDLEERROR_BAD_BUCKET_COUNT},
                                                     {48, 128, HANDLEERROR_BAD_CONFIG},
                                                     {sizeof config, 128, 0}};
    for (const auto& [size, buckets, status] : cases) {
        config.Size = size;
        config.BucketCount = buckets;
        EXPECT_EQ(InitialiseHandleTable(&config), status) << size << " " << buckets;
    }
}

// A relock of a value that now names another object, or none, fails and
// gives no object. (Values of another tag, never issued or retired are
// refused by every export: the export sweep's and the accessor tests'.)
TEST_F(HandleTableTest, ForeignValuesAndObjectsAreRefused) {
    void* object = nullptr;
    const DWORD handle = NewHandle(&object);
    void* relocked = &object;
    int other = 0;
    EXPECT_EQ(RelockHandle(handle, &other, &relocked), HANDLEERROR_INVALID_HANDLE);
    EXPECT_EQ(relocked, nullptr);
    EXPECT_EQ(RelockHandle(handle, object, &relocked), 0u);
    EXPECT_EQ(relocked, object);
    EXPECT_EQ(UnlockHandle(handle, object), 0u);
    EXPECT_EQ(RelockHandle(0x00040999, object, &relocked), HANDLEERROR_INVALID_HANDLE);
    EXPECT_EQ(relocked, nullptr);
}

// The lock is reentrant for its owner; other threads take it after the last
// unlock, or fail, every one, when the handle is released meanwhile.
TEST_F(HandleTableTest, LockIsReentrantAndAReleaseFailsEveryWaiter) {
    void* object = nullptr;
    const DWORD handle = NewHandle(&object);
    for (int i = 0; i < 2; ++i) {
        void* locked = nullptr;
        ASSERT_EQ(LockHandle(handle, &locked), 0u);
        EXPECT_EQ(locked, object);
    }
    EXPECT_EQ(UnlockHandle(handle, object), 0u);
    // An unlock with another object fails and keeps the lock.
    int other = 0;
    EXPECT_EQ(UnlockHandle(handle, &other), HANDLEERROR_INVALID_HANDLE);

    // Still held once: another thread cannot take it until the second unlock.
    std::atomic<bool> otherGotIt{false};
    HANDLE tried = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    std::thread first([&] {
        void* o = nullptr;
        SetEvent(tried);
        otherGotIt = LockHandle(handle, &o) == 0 && UnlockHandle(handle, o) == 0;
    });
    WaitForSingleObject(tried, INFINITE);
    EXPECT_FALSE(otherGotIt.load());
    EXPECT_EQ(UnlockHandle(handle, object), 0u);
    first.join();
    EXPECT_TRUE(otherGotIt.load());
    CloseHandle(tried);

    // Held again: every thread blocked on it fails when it is released.
    ASSERT_EQ(LockHandle(handle, &object), 0u);
    constexpr int kWaiters = 8;
    std::atomic<int> started{0};
    std::vector<DWORD> results(kWaiters, 0);
    std::vector<std::thread> waiters;
    for (int i = 0; i < kWaiters; ++i) {
        waiters.emplace_back([&, i] {
            void* o = nullptr;
            ++started;
            results[i] = LockHandle(handle, &o);
        });
    }
    while (started.load() < kWaiters) std::this_thread::yield();
    ASSERT_EQ(ReleaseHandle(handle, object), 0u);
    for (auto& t : waiters) t.join();
    for (DWORD r : results) EXPECT_EQ(r, HANDLEERROR_INVALID_HANDLE);
}

// A retired value is issued again only after the reuse delay, also when the
// tick wraps in between.
TEST_F(HandleTableTest, RetiredValueIsReusedOnlyAfterTheDelay) {
    for (DWORD start : {1000u, 0xFFFFF000u}) {
        SCOPED_TRACE(start);
        g_FakeTick = start;
        const DWORD first = NewHandle();
        ASSERT_EQ(LockAndReleaseHandle(first), 0u);
        g_FakeTick = start + kHandleReuseDelayMs - 1;
        EXPECT_NE(NewHandle(), first);
        void* o = nullptr;
        EXPECT_EQ(LockHandle(first, &o), HANDLEERROR_INVALID_HANDLE);
        g_FakeTick = start + kHandleReuseDelayMs;
        EXPECT_EQ(NewHandle(), first);
        EXPECT_EQ(LockHandle(first, &o), 0u);
        EXPECT_EQ(UnlockHandle(first, o), 0u);
    }
}

// Values are the tag and a serial 1..65535; without reuse they run out.
TEST_F(HandleTableTest, SerialsRunOutWithoutReuse) {
    DWORD handle = 0;
    for (DWORD i = 1; i <= 0xFFFF; ++i) {
        ASSERT_EQ(CreateHandle(8, &handle), 0u) << i;
    }
    EXPECT_EQ(handle, 0x0004FFFFu);  // the last of 65535 serials, from 1 up
    EXPECT_EQ(CreateHandle(8, &handle), HANDLEERROR_NO_HANDLE);
}

TEST(HandleTableOutsideLifetime, CallsFailCleanly) {
    DWORD handle = 0;
    void* object = nullptr;
    EXPECT_EQ(CreateHandle(8, &handle), HANDLEERROR_INVALID_HANDLE);
    EXPECT_EQ(LockHandle(0x00040001, &object), HANDLEERROR_INVALID_HANDLE);
    EXPECT_EQ(UnlockHandle(0x00040001, &object), HANDLEERROR_INVALID_HANDLE);
    EXPECT_EQ(ReleaseHandle(0x00040001, &object), HANDLEERROR_INVALID_HANDLE);
    EXPECT_EQ(LockAndReleaseHandle(0x00040001), HANDLEERROR_INVALID_HANDLE);
    EXPECT_EQ(UninitialiseHandleTable(), 0u);
}

}  // namespace
