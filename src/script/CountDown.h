// SPDX-License-Identifier: MIT
#pragma once
#include "store/Value.h"

#include <QString>
#include <optional>

namespace script {

// A count-down that has run out, as the runner writes it.
inline const QString kZeroCountDown = QStringLiteral("00:00:00");

// A stored count-down as the item list shows it: two-digit hours, minutes and
// seconds. A text that is no time is kept as it is, so the runner can report
// it.
QString countDownText(const store::Value& value);

// One runner step of an item's count-down text: the text read as a time, one
// second less, formatted "HH:nn:ss". Below zero the time of day wraps, so
// "00:00:00" steps to "00:00:01". Nothing when the text is not a time.
std::optional<QString> stepCountDown(const QString& text);

} // namespace script
