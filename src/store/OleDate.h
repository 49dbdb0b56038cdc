// SPDX-License-Identifier: MIT
#pragma once
#include <QDateTime>
#include <QString>
#include <optional>

namespace oledate {

// A date/time value as OLE Automation dates hold it: days since
// 30 December 1899, the fraction being the time of day. For a negative value
// the fraction's magnitude still gives the time of day, so "minus one second"
// reads 00:00:01. A count-down is such a value on day zero.
struct OleDate {
    double days = 0.0;
    bool operator==(const OleDate&) const = default;
};

constexpr double kSecond = 1.0 / 86400.0;

struct TimeOfDay {
    int hour = 0;
    int minute = 0;
    int second = 0;
};

OleDate fromTime(int hour, int minute, int second);     // on day zero
OleDate fromQDateTime(const QDateTime& local);
OleDate fromQDate(const QDate& date);                   // midnight
QDateTime toQDateTime(OleDate value);                   // local time
QDate datePart(OleDate value);
// Hours, minutes and seconds of the time of day, rounded to the nearest
// second (2/86400 reads 00:00:02, never 00:00:01).
TimeOfDay timeOfDay(OleDate value);
OleDate addSeconds(OleDate value, int seconds);

QString formatTime(OleDate value);            // "HH:nn:ss"
QString formatDateTime(OleDate value);        // "dd/MM/yy HH:mm:ss"
QString formatDateTimeToMinute(OleDate value);  // "dd/MM/yy HH:mm"

// Reads a time of day such as "00:01:30", "1:30" or "7:05:00 PM" as a value
// on day zero; nothing when the text is not a time.
std::optional<OleDate> parseTime(const QString& text);

} // namespace oledate
