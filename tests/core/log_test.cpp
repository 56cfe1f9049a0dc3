#include "core/log.h"

#include "support/test_env.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

using vkstest::ConfigKey;
using vkstest::DebugCapture;
using vkstest::ScopedRegistry;
using vkstest::ToUtf8;

namespace {

class LogTest : public ::testing::Test {
protected:
    void SetUp() override { g_LogLevelMask = 0; }
    void TearDown() override { g_LogLevelMask = 0; }

    static std::string ThreadTag() {
        char tag[16];
        std::snprintf(tag, sizeof(tag), "<%08X> ", GetCurrentThreadId());
        return tag;
    }

    // Logs one line at every level and returns the level names that came out.
    static std::string LevelsWritten(DebugCapture& capture) {
        capture.Clear();
        LogError(u"e");
        LogNotification(u"n");
        LogWarning(u"w");
        LogMessage(u"m");
        LogTrace(u"t");
        LogVerbose(u"v");
        std::string levels;
        for (const auto& line : capture.Lines()) {
            const std::string text = ToUtf8(line.c_str());
            levels += text.substr(text.size() - 2, 1);  // the one-letter message before the line feed
        }
        return levels;
    }
};

TEST_F(LogTest, NothingIsWrittenWhileTheMaskIsZero) {
    DebugCapture capture;
    EXPECT_EQ(LevelsWritten(capture), "");
}

TEST_F(LogTest, DebugLevelSelectsLevels) {
    DebugCapture capture;
    {
        ScopedRegistry registry(ConfigKey("\"DebugLevel\"=dword:0000001f"));
        LogInitialise(u"$$$ VKSACC: ");
        EXPECT_EQ(LevelsWritten(capture), "enwmtv");
    }
    {
        ScopedRegistry registry(ConfigKey("\"DebugLevel\"=dword:00000008"));
        LogInitialise(u"$$$ VKSACC: ");
        EXPECT_EQ(LevelsWritten(capture), "t");
    }
    {
        ScopedRegistry registry(ConfigKey("\"DebugLevel\"=dword:00000001"));
        LogInitialise(u"$$$ VKSACC: ");
        EXPECT_EQ(LevelsWritten(capture), "en");
    }
}

TEST_F(LogTest, ValuesOfAnotherTypeOrSizeKeepTheMask) {
    g_LogLevelMask = 0x04;
    {
        ScopedRegistry registry(ConfigKey("\"DebugLevel\"=\"31\""));
        LogInitialise(u"x");
        EXPECT_EQ(g_LogLevelMask, 0x04u);
    }
    {
        ScopedRegistry registry(ConfigKey("\"DebugLevel\"=hex(b):1f,00,00,00,00,00,00,00"));
        LogInitialise(u"x");
        EXPECT_EQ(g_LogLevelMask, 0x04u);
    }
    {
        ScopedRegistry registry("");
        LogInitialise(u"x");
        EXPECT_EQ(g_LogLevelMask, 0x04u);
    }
}

TEST_F(LogTest, LineLayout) {
    DebugCapture capture;
    ScopedRegistry registry(ConfigKey("\"DebugLevel\"=dword:0000001f"));
    LogInitialise(u"$$$ VKSACC: ");
    LogTrace(u"VKSACC::VKSEngineLoad: Enter\n");
    LogNotification(u"value %u name %hs wide %s", 42u, "abc", u"def");
    const auto lines = capture.Lines();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(ToUtf8(lines[0].c_str()), ThreadTag() + "TRACE        : $$$ VKSACC: VKSACC::VKSEngineLoad: Enter\n");
    EXPECT_EQ(ToUtf8(lines[1].c_str()), ThreadTag() + "NOTIFICATION : $$$ VKSACC: value 42 name abc wide def\n");
}

TEST_F(LogTest, OverlongMessageIsCutInsideTheBuffer) {
    DebugCapture capture;
    g_LogLevelMask = LOG_LEVEL_ERROR;
    std::u16string longText(5000, u'x');
    LogError(u"%s", longText.c_str());
    const auto lines = capture.Lines();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].size(), kLogLineUnits - 1);
    EXPECT_EQ(lines[0].back(), u'\n');
    EXPECT_EQ(lines[0].find(u'\n'), lines[0].size() - 1);
}

TEST_F(LogTest, LongPrefixIsBounded) {
    std::u16string prefix(200, u'p');
    LogInitialise(prefix.c_str());
    EXPECT_EQ(std::u16string(LogPrefix()).size(), kLogPrefixUnits - 1);
}

}  // namespace
