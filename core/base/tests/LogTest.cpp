// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <unistd.h>

#include "core/base/QvLog.h"

namespace {

std::tm FixedTime()
{
    std::tm t{};
    t.tm_year = 2024 - 1900;
    t.tm_mon = 2; // March
    t.tm_mday = 7;
    t.tm_hour = 9;
    t.tm_min = 5;
    t.tm_sec = 30;
    return t;
}

std::string ReadAll(const std::filesystem::path& p)
{
    std::ifstream is(p, std::ios::binary);
    std::ostringstream ss;
    ss << is.rdbuf();
    return ss.str();
}

class LogTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        QvLog::Instance().ResetForTests();
        QvLog::Instance().SetClock(FixedTime);
        m_dir = std::filesystem::temp_directory_path() /
                ("rivela-log-" + std::to_string(::getpid()) + "-" +
                 ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::remove_all(m_dir);
    }
    void TearDown() override
    {
        QvLog::Instance().ResetForTests();
        std::filesystem::remove_all(m_dir);
    }

    std::filesystem::path m_dir;
};

const std::string kSeparator = "\n\n*****************************************\n";

TEST_F(LogTest, LineLayout)
{
    QvLog& log = QvLog::Instance();
    struct Case
    {
        int level;
        const char* message;
        const char* function;
        int line;
        std::string expected;
    } cases[] = {
        {4, "Read mesh failed", "Read", 962, "[ERROR][Read(962)][2024-03-07 9:5:30]Read mesh failed"},
        {3, "Invalid tooth, maybe extracted!", "CalIPRLocation", 3264,
         "[WARN][CalIPRLocation(3264)][2024-03-07 9:5:30]Invalid tooth, maybe extracted!"},
        {1, "d", "f", 1, "[DEBUG][f(1)][2024-03-07 9:5:30]d"},
        {2, "i", "f", 1, "[INFO][f(1)][2024-03-07 9:5:30]i"},
        {0, "x", "f", 1, "[][f(1)][2024-03-07 9:5:30]x"},
        {5, "x", "f", 1, "[][f(1)][2024-03-07 9:5:30]x"},
        {4, "x", nullptr, 7, "[ERROR][][2024-03-07 9:5:30]x"},
        {4, "x", "f", 0, "[ERROR][][2024-03-07 9:5:30]x"},
        {4, "x", "f", -3, "[ERROR][][2024-03-07 9:5:30]x"},
        {4, nullptr, "f", 2, "[ERROR][f(2)][2024-03-07 9:5:30]"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(log.FormatLine(c.level, c.message, c.function, c.line), c.expected);

    // Two-digit month and day keep their digits; hour, minute and second never get a leading zero.
    log.SetClock([] {
        std::tm t = FixedTime();
        t.tm_mon = 11;
        t.tm_mday = 31;
        t.tm_hour = 23;
        t.tm_min = 0;
        t.tm_sec = 59;
        return t;
    });
    EXPECT_EQ(log.FormatLine(2, "m", nullptr, 0), "[INFO][][2024-12-31 23:0:59]m");
}

TEST_F(LogTest, LongFunctionNamesAndMessagesAreKeptWhole)
{
    const std::string function(300, 'f');
    const std::string message(5000, 'm');
    const std::string line = QvLog::Instance().FormatLine(4, message.c_str(), function.c_str(), 123456);
    EXPECT_EQ(line, "[ERROR][" + function + "(123456)][2024-03-07 9:5:30]" + message);
}

TEST_F(LogTest, OpenWritesSeparatorAndRaisesThresholdToInfo)
{
    QvLog& log = QvLog::Instance();
    EXPECT_EQ(log.Write(1, "dropped: no file", "f", 1), 0);

    ASSERT_TRUE(log.Open(m_dir.string(), "core.log")); // the folder is created
    EXPECT_EQ(log.Write(1, "debug", "f", 1), 0);
    EXPECT_EQ(log.Write(2, "info", "g", 2), 0);
    EXPECT_EQ(log.Write(4, "error", nullptr, 0), 0);
    EXPECT_EQ(ReadAll(m_dir / "core.log"),
              kSeparator + "[INFO][g(2)][2024-03-07 9:5:30]info\n[ERROR][][2024-03-07 9:5:30]error\n");

    // Opening again (another run of the program) appends.
    log.ResetForTests();
    log.SetClock(FixedTime);
    ASSERT_TRUE(log.Open(m_dir.string(), "core.log"));
    log.Write(3, "again", "h", 3);
    EXPECT_EQ(ReadAll(m_dir / "core.log"), kSeparator + "[INFO][g(2)][2024-03-07 9:5:30]info\n" +
                                               "[ERROR][][2024-03-07 9:5:30]error\n" + kSeparator +
                                               "[WARN][h(3)][2024-03-07 9:5:30]again\n");
}

TEST_F(LogTest, FailedOpenKeepsTheLoggerClosed)
{
    QvLog& log = QvLog::Instance();
    // A regular file where the folder should be: neither folder nor log can be made.
    std::filesystem::create_directories(m_dir);
    std::ofstream(m_dir / "blocker") << "x";
    EXPECT_FALSE(log.Open((m_dir / "blocker").string(), "core.log"));
    EXPECT_FALSE(log.Open(m_dir.string(), "")); // the folder itself is not a file
    // Still closed with threshold 0: nothing is written, and nothing fails.
    EXPECT_EQ(log.Write(1, "dropped", "f", 1), 0);
    EXPECT_EQ(ReadAll(m_dir / "blocker"), "x");
}

} // namespace
