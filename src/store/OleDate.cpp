// SPDX-License-Identifier: MIT
#include "store/OleDate.h"

#include <QRegularExpression>
#include <cmath>

namespace oledate {

namespace {

const QDate kEpoch(1899, 12, 30);
constexpr qint64 kSecondsPerDay = 86400;

// Whole days (towards zero) and the seconds of the time of day, rounded to
// the nearest second; a time that rounds up to midnight wraps to 00:00:00 of
// the next day.
struct Parts {
    qint64 day;
    qint64 seconds;
};

Parts split(OleDate value)
{
    const double whole = std::trunc(value.days);
    const double fraction = std::fabs(value.days - whole);
    Parts parts{static_cast<qint64>(whole), std::llround(fraction * kSecondsPerDay)};
    if (parts.seconds >= kSecondsPerDay) {
        parts.seconds -= kSecondsPerDay;
        parts.day += 1;
    }
    return parts;
}

QString twoDigits(int n)
{
    return QStringLiteral("%1").arg(n, 2, 10, QLatin1Char('0'));
}

} // namespace

OleDate fromTime(int hour, int minute, int second)
{
    return OleDate{(hour * 3600.0 + minute * 60.0 + second) / kSecondsPerDay};
}

OleDate fromQDate(const QDate& date)
{
    return OleDate{static_cast<double>(kEpoch.daysTo(date))};
}

OleDate fromQDateTime(const QDateTime& local)
{
    const double day = static_cast<double>(kEpoch.daysTo(local.date()));
    const double time = local.time().msecsSinceStartOfDay() / 86400000.0;
    // Before the epoch the fraction still counts forward from midnight.
    return OleDate{day < 0 ? day - time : day + time};
}

QDate datePart(OleDate value)
{
    return kEpoch.addDays(split(value).day);
}

QDateTime toQDateTime(OleDate value)
{
    const Parts parts = split(value);
    return QDateTime(kEpoch.addDays(parts.day),
                     QTime::fromMSecsSinceStartOfDay(static_cast<int>(parts.seconds * 1000)));
}

TimeOfDay timeOfDay(OleDate value)
{
    const qint64 s = split(value).seconds;
    return TimeOfDay{static_cast<int>(s / 3600), static_cast<int>(s / 60 % 60),
                     static_cast<int>(s % 60)};
}

OleDate addSeconds(OleDate value, int seconds)
{
    return OleDate{value.days + seconds * kSecond};
}

QString formatTime(OleDate value)
{
    const TimeOfDay t = timeOfDay(value);
    return twoDigits(t.hour) + u':' + twoDigits(t.minute) + u':' + twoDigits(t.second);
}

QString formatDateTimeToMinute(OleDate value)
{
    const QDate d = datePart(value);
    const TimeOfDay t = timeOfDay(value);
    return twoDigits(d.day()) + u'/' + twoDigits(d.month()) + u'/' + twoDigits(d.year() % 100)
        + u' ' + twoDigits(t.hour) + u':' + twoDigits(t.minute);
}

QString formatDateTime(OleDate value)
{
    return formatDateTimeToMinute(value) + u':' + twoDigits(timeOfDay(value).second);
}

std::optional<OleDate> parseTime(const QString& text)
{
    static const QRegularExpression pattern(QStringLiteral(
        "^\\s*(\\d{1,2}):(\\d{1,2})(?::(\\d{1,2}))?\\s*(AM|PM|am|pm)?\\s*$"));
    const QRegularExpressionMatch m = pattern.match(text);
    if (!m.hasMatch())
        return std::nullopt;
    int hour = m.captured(1).toInt();
    const int minute = m.captured(2).toInt();
    const int second = m.captured(3).isEmpty() ? 0 : m.captured(3).toInt();
    const QString half = m.captured(4).toUpper();
    if (!half.isEmpty()) {
        if (hour < 1 || hour > 12)
            return std::nullopt;
        hour = hour % 12 + (half == u"PM" ? 12 : 0);
    }
    if (hour > 23 || minute > 59 || second > 59)
        return std::nullopt;
    return fromTime(hour, minute, second);
}

} // namespace oledate
