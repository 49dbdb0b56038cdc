// SPDX-License-Identifier: MIT
#include "script/CountDown.h"

namespace script {

QString countDownText(const store::Value& value)
{
    if (value.isDate() || value.isInteger())
        return oledate::formatTime(value.toDate());
    if (const auto time = oledate::parseTime(value.toText()))
        return oledate::formatTime(*time);
    return value.toText();
}

std::optional<QString> stepCountDown(const QString& text)
{
    const std::optional<oledate::OleDate> left = oledate::parseTime(text);
    if (!left)
        return std::nullopt;
    return oledate::formatTime(oledate::addSeconds(*left, -1));
}

} // namespace script
