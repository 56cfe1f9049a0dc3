#include "objects/handle_table.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
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

TEST_F(HandleTableTest, IssuesSerialValuesWithTheTag) {
    EXPECT_EQ(NewHandle(), 0x00040001u);
    EXPECT_EQ(NewHandle(), 0x00040002u);
}

TEST_F(HandleTableTest, ConfigurationChecks) {
    HandleTableConfig config{};
    config.Size = sizeof(config);
    config.BucketCount = 128;
    config.Tag = 4;
    EXPECT_EQ(InitialiseHandleTable(&config), HANDLEERROR_ALREADY_INITIALISED);
    UninitialiseHandleTable();
    config.BucketCount = 96;
    EXPECT_EQ(InitialiseHandleTable(&config), HANDLEERROR_BAD_BUCKET_COUNT);
    config.BucketCount = 0;
    EXPECT_EQ(InitialiseHandleTable(&config), HANDLEERROR_BAD_BUCKET_COUNT);
    config.BucketCount = 128;
    config.Size = 48;
    EXPECT_EQ(InitialiseHandleTable(&config), HANDLEERROR_BAD_CONFIG);
    config.Size = sizeof(config);
    EXPECT_EQ(InitialiseHandleTable(&config), 0u);
}

TEST_F(HandleTableTest, WrongTagOrUnknownValueFailsAtOnce) {
    const DWORD handle = NewHandle();
    void* object = nullptr;
    EXPECT_EQ(LockHandle(0, &object), HANDLEERROR_INVALID_HANDLE);
    EXPECT_EQ(LockHandle(0x00050001, &object), HANDLEERROR_INVALID_HANDLE);
    EXPECT_EQ(LockHandle(handle + 1, &object), HANDLEERROR_INVALID_HANDLE);
    EXPECT_EQ(object, nullptr);
}

TEST_F(HandleTableTest, LockIsReentrantForItsOwner) {
    void* object = nullptr;
    const DWORD handle = NewHandle(&object);
    void* first = nullptr;
    void* second = nullptr;
    ASSERT_EQ(LockHandle(handle, &first), 0u);
    ASSERT_EQ(LockHandle(handle, &second), 0u);
    EXPECT_EQ(first, object);
    EXPECT_EQ(second, object);
    EXPECT_EQ(UnlockHandle(handle, object), 0u);

    // Still held once: another thread cannot take it until the second unlock.
    std::atomic<bool> otherGotIt{false};
    HANDLE tried = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    std::thread other([&] {
        void* o = nullptr;
        SetEvent(tried);
        if (LockHandle(handle, &o) == 0) {
            otherGotIt = true;
            UnlockHandle(handle, o);
        }
    });
    WaitForSingleObject(tried, INFINITE);
    EXPECT_FALSE(otherGotIt.load());
    EXPECT_EQ(UnlockHandle(handle, object), 0u);
    other.join();
    EXPECT_TRUE(otherGotIt.load());
    CloseHandle(tried);
}

TEST_F(HandleTableTest, UnlockWithAnotherObjectFailsAndKeepsTheLock) {
    void* object = nullptr;
    const DWORD handle = NewHandle(&object);
    ASSERT_EQ(LockHandle(handle, &object), 0u);
    int other = 0;
    EXPECT_EQ(UnlockHandle(handle, &other), HANDLEERROR_INVALID_HANDLE);
    // The lock is still ours: a second thread waiting for it is refused only
    // when we retire the handle.
    DWORD result = 0;
    std::thread waiter([&] {
        void* o = nullptr;
        result = LockHandle(handle, &o);
    });
    EXPECT_EQ(ReleaseHandle(handle, object), 0u);
    waiter.join();
    EXPECT_EQ(result, HANDLEERROR_INVALID_HANDLE);
}

TEST_F(HandleTableTest, EveryThreadBlockedOnAClosingHandleFails) {
    void* object = nullptr;
    const DWORD handle = NewHandle(&object);
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

    // Later lockers fail too, at once.
    void* o = nullptr;
    EXPECT_EQ(LockHandle(handle, &o), HANDLEERROR_INVALID_HANDLE);
}

TEST_F(HandleTableTest, RetiredValueIsReusedOnlyAfterThirtySeconds) {
    const DWORD first = NewHandle();
    ASSERT_EQ(LockAndReleaseHandle(first), 0u);

    g_FakeTick = 1000 + kHandleReuseDelayMs - 1;
    const DWORD second = NewHandle();
    EXPECT_NE(second, first);
    void* o = nullptr;
    EXPECT_EQ(LockHandle(first, &o), HANDLEERROR_INVALID_HANDLE);

    g_FakeTick = 1000 + kHandleReuseDelayMs;
    const DWORD third = NewHandle();
    EXPECT_EQ(third, first);
    EXPECT_EQ(LockHandle(third, &o), 0u);
    EXPECT_EQ(UnlockHandle(third, o), 0u);
}

TEST_F(HandleTableTest, ReuseDelayHoldsAcrossTheTickWrap) {
    g_FakeTick = 0xFFFFF000u;
    const DWORD first = NewHandle();
    ASSERT_EQ(LockAndReleaseHandle(first), 0u);
    g_FakeTick = 0xFFFFF100u;  // 256 ms later; the reuse tick has wrapped past zero
    EXPECT_NE(NewHandle(), first);
    g_FakeTick = 0xFFFFF000u + kHandleReuseDelayMs;
    EXPECT_EQ(NewHandle(), first);
}

TEST_F(HandleTableTest, RelockDetectsAnotherObject) {
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

TEST_F(HandleTableTest, SerialsRunOutWithoutReuse) {
    // Serials 1..65535; the first 65535 creations succeed, the next fails.
    DWORD handle = 0;
    for (DWORD i = 1; i <= 0xFFFF; ++i) {
        ASSERT_EQ(CreateHandle(8, &handle), 0u) << i;
    }
    EXPECT_EQ(handle, 0x0004FFFFu);
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
