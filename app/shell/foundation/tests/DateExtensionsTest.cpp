// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/shell/foundation/DateExtensions.h"

#include "app/platform/Clock.h"

#include <QTimeZone>

#include <gtest/gtest.h>

#include <limits>

namespace {

using namespace foundation;

QDateTime Local(int y, int mo, int d, int h = 12, int mi = 0, int s = 0)
{
    return QDateTime(QDate(y, mo, d), QTime(h, mi, s));
}

class DateExtensionsTest : public ::testing::Test {
protected:
    void SetNow(const QDateTime& now) { platform::SetClockForTesting([now] { return now; }); }
    void TearDown() override { platform::SetClockForTesting({}); }
};

TEST_F(DateExtensionsTest, DayIntervalsCountCalendarDays)
{
    const QDateTime justAfter = Local(2024, 3, 2, 0, 1);
    const QDateTime justBefore = Local(2024, 3, 1, 23, 59);
    EXPECT_EQ(DaysIntervalFromDate(justAfter, justBefore), 1);
    EXPECT_EQ(DaysIntervalFromDate(justBefore, justAfter), -1);
    EXPECT_EQ(DaysIntervalFromDate(Local(2025, 1, 1), Local(2024, 1, 1)), 366);
    EXPECT_EQ(DaysIntervalFromDate(justAfter, std::nullopt), std::numeric_limits<qint64>::max());

    SetNow(Local(2024, 12, 31, 8));
    EXPECT_TRUE(qvui_isToday(Local(2024, 12, 31, 23, 59)));
    EXPECT_TRUE(qvui_isYesterDay(Local(2024, 12, 30, 0, 0)));
    EXPECT_TRUE(qvui_isTomorrow(Local(2025, 1, 1, 0, 0)));
    EXPECT_FALSE(qvui_isToday(Local(2025, 1, 1)));
    EXPECT_TRUE(qvui_isThisMonth(Local(2024, 12, 1)));
    EXPECT_FALSE(qvui_isThisYear(Local(2025, 1, 1)));
}

TEST_F(DateExtensionsTest, FieldsAndWeeks)
{
    const QDateTime date = Local(2024, 12, 30, 9, 8, 7); // a Monday
    const DateComponents c = Components(date);
    EXPECT_EQ(c.year, 2024);
    EXPECT_EQ(c.month, 12);
    EXPECT_EQ(c.day, 30);
    EXPECT_EQ(c.hour, 9);
    EXPECT_EQ(c.minute, 8);
    EXPECT_EQ(c.second, 7);
    EXPECT_EQ(c.weekday, 2); // Sunday is 1
    EXPECT_EQ(qvui_weekday(Local(2024, 12, 29)), 1);
    // The week holding the 1st is week 1; the last days of a month are in a later week.
    EXPECT_EQ(qvui_weekOfMonth(Local(2024, 12, 1)), 1);
    EXPECT_GE(qvui_weekOfMonth(date), 5);

    SetNow(Local(2024, 12, 30));
    EXPECT_TRUE(qvui_isThisWeek(Local(2024, 12, 31)));
    EXPECT_FALSE(qvui_isThisWeek(Local(2025, 1, 1))); // a week across two months counts twice
    EXPECT_FALSE(qvui_isThisWeek(Local(2024, 12, 2)));

    struct Leap {
        int year;
        bool leap;
    } years[] = {{2000, true}, {1900, false}, {2024, true}, {2023, false}};
    for (const Leap& l : years)
        EXPECT_EQ(qvui_isLeapYear(Local(l.year, 6, 1)), l.leap) << l.year;
}

TEST_F(DateExtensionsTest, ArithmeticCarriesIntoLargerUnits)
{
    const QDateTime date = Local(2024, 1, 31, 23, 30);
    EXPECT_EQ(qvui_dateByAddMinutes(date, 45), Local(2024, 2, 1, 0, 15));
    EXPECT_EQ(qvui_dateByAddHour(date, 25), Local(2024, 2, 2, 0, 30));
    EXPECT_EQ(qvui_dateByAddDay(date, 30), Local(2024, 3, 1, 23, 30));
    EXPECT_EQ(qvui_dateByAddMonth(date, 1), Local(2024, 2, 29, 23, 30));
    EXPECT_EQ(qvui_dateByAddYear(Local(2024, 2, 29), 1), Local(2025, 2, 28));
    EXPECT_EQ(qvui_dateByAddSecond(date, -1), Local(2024, 1, 31, 23, 29, 59));
}

TEST_F(DateExtensionsTest, TimestampsAreWholeNumbers)
{
    const QDateTime epochPlus = QDateTime::fromMSecsSinceEpoch(1500, Qt::UTC);
    EXPECT_EQ(qvui_timestampForMilliSecondsSince1970(epochPlus), "1500");
    EXPECT_EQ(qvui_timestampForSecondsSince1970(epochPlus), "2"); // 1.5 rounds to even
    SetNow(QDateTime::fromMSecsSinceEpoch(1735516800000, Qt::UTC));
    EXPECT_EQ(qvui_timestampForSecondsSince1970(), "1735516800");
    EXPECT_EQ(qvui_timestampForMilliSecondsSince1970(), "1735516800000");
}

TEST_F(DateExtensionsTest, PatternsFormatAndParse)
{
    const QDateTime date = Local(2024, 12, 30, 14, 5, 9);
    struct Case {
        const char* pattern;
        const char* text;
    } cases[] = {
        {"yyyyMMdd", "20241230"},
        {"YYYYMMdd", "20241230"}, // the calendar year, not the week-based 2025
        {"yyyy-MM-dd HH:mm:ss", "2024-12-30 14:05:09"},
        {"yyyy'年'M'月'd'日'", "2024年12月30日"},
        {"yyyy/MM/dd 'at' HH", "2024/12/30 at 14"},
        {"yy.M.d", "24.12.30"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(qvui_stringWithFormatter(date, c.pattern), QString(c.text)) << c.pattern;
    EXPECT_EQ(qvui_dateFromString("2024-12-30 14:05:09", "yyyy-MM-dd HH:mm:ss"), date);
    EXPECT_FALSE(qvui_dateFromString("2024-13-30", "yyyy-MM-dd"));
    EXPECT_FALSE(qvui_dateFromString("yesterday", "yyyy-MM-dd"));
}

} // namespace
