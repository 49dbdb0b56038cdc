// SPDX-License-Identifier: MIT
#include "store/Value.h"
#include "store/Recordset.h"

#include <cmath>

namespace store {

QString Value::toText() const
{
    if (isText())
        return std::get<QString>(v_);
    if (isInteger())
        return QString::number(std::get<qint64>(v_));
    if (isDate()) {
        const oledate::OleDate d = std::get<oledate::OleDate>(v_);
        // A time on day zero reads as the time alone, as count-downs do.
        if (std::trunc(d.days) == 0)
            return oledate::formatTime(d);
        return oledate::formatDateTime(d);
    }
    return QString();
}

qint64 Value::toInteger() const
{
    if (isInteger())
        return std::get<qint64>(v_);
    if (isDate())
        return std::llround(std::get<oledate::OleDate>(v_).days);
    if (isText()) {
        bool ok = false;
        const qint64 n = std::get<QString>(v_).trimmed().toLongLong(&ok);
        if (ok)
            return n;
        throw DbError(QStringLiteral("The value \"%1\" in the database is not a number.")
                          .arg(std::get<QString>(v_)));
    }
    throw DbError(QStringLiteral("A number is missing in the database (the field holds no value)."));
}

oledate::OleDate Value::toDate() const
{
    if (isDate())
        return std::get<oledate::OleDate>(v_);
    if (isInteger())
        return oledate::OleDate{static_cast<double>(std::get<qint64>(v_))};
    if (isText()) {
        if (auto time = oledate::parseTime(std::get<QString>(v_)))
            return *time;
        throw DbError(QStringLiteral("The value \"%1\" in the database is not a date or time.")
                          .arg(std::get<QString>(v_)));
    }
    throw DbError(QStringLiteral("A date or time is missing in the database (the field holds no value)."));
}

bool Value::equalsText(const QString& text) const
{
    return isText() && std::get<QString>(v_) == text;
}

} // namespace store
