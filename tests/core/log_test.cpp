#include "core/log.h"

#include "support/test_env.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <tuple>
#include <utility>

using vkstest::ConfigKey;
using vkstest::DebugCapture;
using vkstest::ScopedRegistry;
using vkstest::ToUtf8;

namespace {

class LogTest : public ::testing::Test {
protected:
    void SetUp() override { g_LogLevelMask = 0; }
    void TearDown() override { g_LogLevelMask = 0; }

    // Logs one line at every level and returns the level names that came out.
    static std::string LevelsWritten(DebugCapture& capture) {
        capture.Clear();
        using Log = void (*)(const WCHAR*, ...);
        const std::pair<Log, const WCHAR*> levels[] = {{LogError, u"e"}, {LogNotification, u"n"}, {LogWarning, u"w"},
                                                       {LogMessage, u"m"}, {LogTrace, u"t"}, {LogVerbose, u"v"}};
        for (const auto& [log, letter] : levels) log(letter);
        std::string written;
        for (const auto& line : capture.Lines()) {
            const std::string text = ToUtf8(line.c_str());
            written += text.substr(text.size() - 2, 1);  // the one-letter message before the line feed
        }
        return written;
    }
};

// The DebugLevel DWORD selects the levels; a value of another type or size,
// or none, keeps the mask as it was. The prefix is bounded.
TEST_F(LogTest, DebugLevelSelectsLevels) {
    DebugCapture capture;
    // The mask before, the DebugLevel value (none: null), the levels written.
    const std::tuple<DWORD, const char*, const char*> cases[] = {
        {0, nullptr, ""},
        {0, "dword:0000001f", "enwmtv"},
        {0, "dword:00000008", "t"},
        {0, "dword:00000001", "en"},
        {0x04, "\"31\"", "m"},
        {0x04, "hex(b):1f,00,00,00,00,00,00,00", "m"},
    };
    for (const auto& [before, value, levels] : cases) {
        SCOPED_TRACE(value != nullptr ? value : "none");
        g_LogLevelMask = before;
        ScopedRegistry registry(value != nullptr ? ConfigKey(std::string("\"DebugLevel\"=") + value) : "");
        LogInitialise(u"$$$ VKSACC: ");
        EXPECT_EQ(LevelsWritten(capture), levels);
    }
    // A prefix too long for its buffer is cut to it.
    LogInitialise(std::u16string(200, u'p').c_str());
    EXPECT_EQ(std::u16string(LogPrefix()).size(), kLogPrefixUnits - 1);
}

// Messages around the end of the 2048-unit line, with and without their own
// line feed: those that fit come out whole after the line's head with one line
// feed, the others are cut with a mark, and no line leaves the buffer.
TEST_F(LogTest, MessagesAroundTheLineEnd) {
    DebugCapture capture;
    LogInitialise(u"$$$ VKSACC: ");
    g_LogLevelMask = LOG_LEVEL_ERROR;
    // Every line: the thread, the level's name in 12 columns, the prefix.
    char thread[16];
    std::snprintf(thread, sizeof(thread), "<%08X> ", GetCurrentThreadId());
    const std::string head8 = thread + std::string("ERROR        : $$$ VKSACC: ");
    const std::u16string head(head8.begin(), head8.end());
    const size_t room = kLogLineUnits - 1 - head.size();  // message units that fit with the line feed
    // The message's length (its line feed included), whether it ends in one,
    // whether it comes out whole.
    const std::tuple<size_t, bool, bool> cases[] = {
        {room - 2, false, true}, {room - 1, false, true}, {room, false, false}, {room + 1, false, false},
        {room - 1, true, true},  {room, true, true},      {room + 1, true, false}, {5000, false, false},
    };
    for (const auto& [units, lineFeed, whole] : cases) {
        SCOPED_TRACE(testing::Message() << "units " << units << " line feed " << lineFeed);
        std::u16string message(units, u'x');
        if (lineFeed) message.back() = u'\n';
        capture.Clear();
        LogError(u"%s", message.c_str());
        const auto lines = capture.Lines();
        ASSERT_EQ(lines.size(), 1u);
        const std::u16string& line = lines[0];
        ASSERT_LE(line.size(), kLogLineUnits - 1);
        EXPECT_EQ(line.find(u'\n'), line.size() - 1);
        if (whole) {
            EXPECT_EQ(line, head + (lineFeed ? message : message + u"\n"));
        } else {
            EXPECT_EQ(line.size(), kLogLineUnits - 1);
            EXPECT_EQ(line.substr(line.size() - 4), u"...\n");
        }
    }
}

}  // namespace
