// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/shell/foundation/DateExtensions.h"

#include "app/platform/Clock.h"

#include <QLocale>

#include <cstdio>
#include <limits>

namespace foundation {
namespace {

// Date patterns to Qt's format: same letters for most fields; a week-based "Y"
// becomes the calendar year; literal letters are quoted.
QString QtFormatOf(const QString& pattern)
{
    QString out;
    for (qsizetype i = 0; i < pattern.size();) {
        const QChar c = pattern[i];
        if (c == QLatin1Char('\'')) {
            // Quoted text (two quotes stand for one) is kept as it is.
            qsizetype j = i + 1;
            QString literal;
            for (; j < pattern.size(); ++j) {
                if (pattern[j] == QLatin1Char('\'')) {
                    if (j + 1 < pattern.size() && pattern[j + 1] == QLatin1Char('\'')) {
                        literal += QLatin1String("''");
                        ++j;
                        continue;
                    }
                    break;
                }
                literal += pattern[j];
            }
            out += QLatin1Char('\'') + literal + QLatin1Char('\'');
            i = j + 1;
            continue;
        }
        qsizetype run = 1;
        while (i + run < pattern.size() && pattern[i + run] == c)
            ++run;
        const char l = c.toLatin1();
        switch (l) {
        case 'y':
        case 'Y':
            out += run == 2 ? QStringLiteral("yy") : QStringLiteral("yyyy");
            break;
        case 'M':
            out += QString(std::min<qsizetype>(run, 4), QLatin1Char('M'));
            break;
        case 'd':
            out += QString(std::min<qsizetype>(run, 2), QLatin1Char('d'));
            break;
        case 'E':
            out += run >= 4 ? QStringLiteral("dddd") : QStringLiteral("ddd");
            break;
        case 'H':
        case 'h':
        case 'm':
        case 's':
            out += QString(std::min<qsizetype>(run, 2), c);
            break;
        case 'S':
            out += QStringLiteral("zzz");
            break;
        case 'a':
            out += QStringLiteral("AP");
            break;
        default:
            if (c.isLetter())
                out += QLatin1Char('\'') + QString(run, c) + QLatin1Char('\'');
            else
                out += QString(run, c);
        }
        i += run;
    }
    return out;
}

QString WholeNumber(double value)
{
    char text[64];
    std::snprintf(text, sizeof text, "%.0f", value);
    return QString::fromLatin1(text);
}

} // namespace

DateComponents Components(const QDateTime& date)
{
    const QDateTime local = date.toLocalTime();
    const QDate d = local.date();
    const QTime t = local.time();
    DateComponents c;
    c.year = d.year();
    c.month = d.month();
    c.day = d.day();
    c.hour = t.hour();
    c.minute = t.minute();
    c.second = t.second();
    c.weekday = d.dayOfWeek() % 7 + 1;
    const int firstDay = QLocale().firstDayOfWeek() % 7 + 1; // 1 Sunday .. 7 Saturday
    const int weekdayOfFirst = QDate(d.year(), d.month(), 1).dayOfWeek() % 7 + 1;
    const int offset = (weekdayOfFirst - firstDay + 7) % 7;
    c.weekOfMonth = (d.day() - 1 + offset) / 7 + 1;
    return c;
}

qint64 qvui_year(const QDateTime& date) { return Components(date).year; }
qint64 qvui_month(const QDateTime& date) { return Components(date).month; }
qint64 qvui_day(const QDateTime& date) { return Components(date).day; }
qint64 qvui_weekday(const QDateTime& date) { return Components(date).weekday; }
qint64 qvui_hour(const QDateTime& date) { return Components(date).hour; }
qint64 qvui_minute(const QDateTime& date) { return Components(date).minute; }
qint64 qvui_second(const QDateTime& date) { return Components(date).second; }
qint64 qvui_weekOfMonth(const QDateTime& date) { return Components(date).weekOfMonth; }

bool qvui_isLeapYear(const QDateTime& date)
{
    const qint64 y = qvui_year(date);
    return y % 400 == 0 || (y % 4 == 0 && y % 100 != 0);
}

qint64 DaysIntervalFromDate(const QDateTime& date, const std::optional<QDateTime>& other)
{
    if (!other || !other->isValid() || !date.isValid())
        return std::numeric_limits<qint64>::max();
    return other->toLocalTime().date().daysTo(date.toLocalTime().date());
}

bool qvui_isToday(const QDateTime& date)
{
    return DaysIntervalFromDate(date, platform::CurrentDateTime()) == 0;
}

bool qvui_isYesterDay(const QDateTime& date)
{
    return DaysIntervalFromDate(date, platform::CurrentDateTime()) == -1;
}

bool qvui_isTomorrow(const QDateTime& date)
{
    return DaysIntervalFromDate(date, platform::CurrentDateTime()) == 1;
}

bool qvui_isThisWeek(const QDateTime& date)
{
    const DateComponents a = Components(date);
    const DateComponents b = Components(platform::CurrentDateTime());
    return a.year == b.year && a.month == b.month && a.weekOfMonth == b.weekOfMonth;
}

bool qvui_isThisMonth(const QDateTime& date)
{
    const DateComponents a = Components(date);
    const DateComponents b = Components(platform::CurrentDateTime());
    return a.year == b.year && a.month == b.month;
}

bool qvui_isThisYear(const QDateTime& date)
{
    return qvui_year(date) == qvui_year(platform::CurrentDateTime());
}

QDateTime qvui_dateByAddYear(const QDateTime& date, qint64 count) { return date.addYears(static_cast<int>(count)); }
QDateTime qvui_dateByAddMonth(const QDateTime& date, qint64 count) { return date.addMonths(static_cast<int>(count)); }
QDateTime qvui_dateByAddDay(const QDateTime& date, qint64 count) { return date.addDays(count); }
QDateTime qvui_dateByAddHour(const QDateTime& date, qint64 count) { return date.addSecs(count * 3600); }
QDateTime qvui_dateByAddMinutes(const QDateTime& date, qint64 count) { return date.addSecs(count * 60); }
QDateTime qvui_dateByAddSecond(const QDateTime& date, qint64 count) { return date.addSecs(count); }

QString qvui_timestampForSecondsSince1970(const QDateTime& date)
{
    return WholeNumber(static_cast<double>(date.toMSecsSinceEpoch()) / 1000.0);
}

QString qvui_timestampForMilliSecondsSince1970(const QDateTime& date)
{
    return WholeNumber(static_cast<double>(date.toMSecsSinceEpoch()) / 1000.0 * 1000.0);
}

QString qvui_timestampForSecondsSince1970()
{
    return qvui_timestampForSecondsSince1970(platform::CurrentDateTime());
}

QString qvui_timestampForMilliSecondsSince1970()
{
    return qvui_timestampForMilliSecondsSince1970(platform::CurrentDateTime());
}

QString qvui_stringWithFormatter(const QDateTime& date, const QString& pattern)
{
    return QLocale().toString(date.toLocalTime(), QtFormatOf(pattern));
}

std::optional<QDateTime> qvui_dateFromString(const QString& text, const QString& pattern)
{
    QDateTime parsed = QLocale().toDateTime(text, QtFormatOf(pattern));
    if (!parsed.isValid())
        return std::nullopt;
    return parsed;
}

} // namespace foundation
