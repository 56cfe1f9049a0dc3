// OutputDebugStringW/A: the in-process capture, the sinks chosen by
// VKS_DEBUG_OUTPUT, whole lines under concurrency, and no allocation when
// nothing listens.
#include "vks_platform.h"
#include "vks_win32/linux_ext.h"

#include "support/test_env.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <fstream>
#include <mutex>
#include <iterator>
#include <new>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

// Counts the allocations made through operator new by this program (not
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

TEST(DebugOutput, CaptureReceivesExactText) {
    std::vector<std::u16string> lines;
    {
        vkstest::DebugCapture capture;
        OutputDebugStringW(u"hello \u20ac\U0001F600\n");
        OutputDebugStringA("ansi \x80\n");  // 0x80 is the euro sign in Windows-1252
        OutputDebugStringW(nullptr);
        OutputDebugStringA(std::string(5000, 'x').c_str());  // longer than any stack buffer
        lines = capture.Lines();
    }
    OutputDebugStringW(u"not captured");
    EXPECT_EQ(lines, (std::vector<std::u16string>{u"hello \u20ac\U0001F600\n", u"ansi \u20ac\n", std::u16string(5000, u'x')}));
}

TEST(DebugOutput, ConcurrentCallsArriveWhole) {
    vkstest::DebugCapture capture;
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([t] {
            std::u16string line(100, static_cast<char16_t>(u'a' + t));
            for (int i = 0; i < 500; ++i) OutputDebugStringW(line.c_str());
        });
    }
    for (auto& t : threads) t.join();
    const std::vector<std::u16string> lines = capture.Lines();
    ASSERT_EQ(lines.size(), 2000u);
    for (const auto& line : lines) {
        ASSERT_EQ(line.size(), 100u);
        EXPECT_EQ(line.find_first_not_of(line[0]), std::u16string::npos);
    }
}

TEST(DebugOutput, NoAllocationWithoutSinkOrCapture) {
    // The test runs with VKS_DEBUG_OUTPUT empty: no sink.
    OutputDebugStringW(u"warm up");
    long before = g_allocations.load();
    for (int i = 0; i < 100; ++i) {
        OutputDebugStringW(u"nobody listens\n");
        OutputDebugStringA("nobody listens\n");
    }
    EXPECT_EQ(g_allocations.load(), before);
}

// The environment is read once per process, so the sinks are tested in
// child processes started afresh: a file gets UTF-8 appended without
// allocating; "stderr" is standard error.
TEST(DebugOutput, Sinks) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            setenv("VKS_DEBUG_OUTPUT", "stderr", 1);
            OutputDebugStringW(u"to standard error\n");
            std::exit(0);
        },
        ::testing::ExitedWithCode(0), "to standard error");
    // The child process runs this body again: the name must not depend on it.
    std::string path = std::string(::testing::TempDir()) + "/vks_debug_output_sink_test.txt";
    unlink(path.c_str());
    EXPECT_EXIT(
        {
            setenv("VKS_DEBUG_OUTPUT", path.c_str(), 1);
            OutputDebugStringW(u"first \u00e9\n");
            long before = g_allocations.load();
            std::u16string longLine(3000, u'\u20ac');  // longer than the stack buffer
            long afterString = g_allocations.load();
            OutputDebugStringW(longLine.c_str());
            OutputDebugStringA("\nansi \xe9\n");
            std::exit(g_allocations.load() == afterString && afterString == before + 1 ? 0 : 3);
        },
        ::testing::ExitedWithCode(0), "");
    std::ifstream in(path, std::ios::binary);
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::string euro3000;
    for (int i = 0; i < 3000; ++i) euro3000 += "\xE2\x82\xAC";
    EXPECT_TRUE(text == "first \xC3\xA9\n" + euro3000 + "\nansi \xC3\xA9\n") << text.size() << " bytes";
    unlink(path.c_str());
}
