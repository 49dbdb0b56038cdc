// SPDX-License-Identifier: MIT
#pragma once
#include "store/OleDate.h"

#include <QString>
#include <variant>

namespace store {

// A column value: no value (Null), text, integer or date/time.
class Value {
public:
    Value() = default;
    Value(const QString& text) : v_(text) {}
    Value(const char16_t* text) : v_(QString::fromUtf16(text)) {}
    Value(qint64 number) : v_(number) {}
    Value(int number) : v_(qint64(number)) {}
    Value(oledate::OleDate date) : v_(date) {}

    bool isNull() const { return std::holds_alternative<std::monostate>(v_); }
    bool isText() const { return std::holds_alternative<QString>(v_); }
    bool isInteger() const { return std::holds_alternative<qint64>(v_); }
    bool isDate() const { return std::holds_alternative<oledate::OleDate>(v_); }

    // Text as shown: Null reads as "", a number in decimal, a date/time as
    // "dd/MM/yy HH:mm:ss".
    QString toText() const;
    // An integer; a date or a text holding a number converts, anything else
    // throws store::DbError.
    qint64 toInteger() const;
    // A date/time; a number converts as days, a text holding a time of day
    // converts, anything else throws store::DbError.
    oledate::OleDate toDate() const;

    // Exact, case-sensitive text comparison; a Null never equals any text.
    bool equalsText(const QString& text) const;

    bool operator==(const Value&) const = default;

private:
    std::variant<std::monostate, QString, qint64, oledate::OleDate> v_;
};

} // namespace store
