// SPDX-License-Identifier: GPL-3.0-or-later
// Additions to dates: fields in the local calendar, day distances, relative checks
// against the current date (platform::CurrentDateTime), arithmetic, timestamps and
// formatting with date patterns ("yyyy-MM-dd HH:mm:ss" style; "YYYY" is read as
// the calendar year, like "yyyy").
#pragma once

#include <QDateTime>
#include <QString>

#include <optional>

namespace foundation {

struct DateComponents {
    qint64 year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
    qint64 weekday = 0;     // 1 Sunday .. 7 Saturday
    qint64 weekOfMonth = 0; // 1 for the week holding the 1st; weeks start on the locale's first day
};

DateComponents Components(const QDateTime& date);
qint64 qvui_year(const QDateTime& date);
qint64 qvui_month(const QDateTime& date);
qint64 qvui_day(const QDateTime& date);
qint64 qvui_weekday(const QDateTime& date);
qint64 qvui_hour(const QDateTime& date);
qint64 qvui_minute(const QDateTime& date);
qint64 qvui_second(const QDateTime& date);
qint64 qvui_weekOfMonth(const QDateTime& date);
bool qvui_isLeapYear(const QDateTime& date);

// Whole calendar days from other to date (negative when date is earlier); the
// largest qint64 when other is none.
qint64 DaysIntervalFromDate(const QDateTime& date, const std::optional<QDateTime>& other);
bool qvui_isToday(const QDateTime& date);
bool qvui_isYesterDay(const QDateTime& date);
bool qvui_isTomorrow(const QDateTime& date);
bool qvui_isThisWeek(const QDateTime& date);
bool qvui_isThisMonth(const QDateTime& date);
bool qvui_isThisYear(const QDateTime& date);

QDateTime qvui_dateByAddYear(const QDateTime& date, qint64 count);
QDateTime qvui_dateByAddMonth(const QDateTime& date, qint64 count);
QDateTime qvui_dateByAddDay(const QDateTime& date, qint64 count);
QDateTime qvui_dateByAddHour(const QDateTime& date, qint64 count);
QDateTime qvui_dateByAddMinutes(const QDateTime& date, qint64 count);
QDateTime qvui_dateByAddSecond(const QDateTime& date, qint64 count);

// Seconds, or milliseconds, since 1970 as a whole number ("%.0f").
QString qvui_timestampForSecondsSince1970();
QString qvui_timestampForMilliSecondsSince1970();
QString qvui_timestampForSecondsSince1970(const QDateTime& date);
QString qvui_timestampForMilliSecondsSince1970(const QDateTime& date);

// The date formatted with a date pattern (letters y Y M d H h m s S a E; text in
// single quotes is kept), in the local time zone.
QString qvui_stringWithFormatter(const QDateTime& date, const QString& pattern);
// The text read with such a pattern; none when it does not parse.
std::optional<QDateTime> qvui_dateFromString(const QString& text, const QString& pattern);

} // namespace foundation
