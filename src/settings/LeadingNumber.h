// SPDX-License-Identifier: MIT
#pragma once
#include <QString>
#include <QtGlobal>
#include <optional>

namespace app {

// Reads the number at the start of a text, as the startup routine does:
// blanks, tabs and line feeds are skipped wherever they occur; then either a
// decimal number (optional sign, digits, decimal point, exponent with E or D)
// or a hexadecimal (&H) or octal (&O) number is read. Reading stops at the
// first character that cannot continue the number, at the latest at a NUL.
// Text without a leading number gives 0. A number too large for a double
// gives an infinity.
double leadingNumber(QStringView text);

// Rounds to the nearest integer, a half to the even neighbour. Nothing when
// the result lies outside the signed 16-bit range (or the value is not a
// number).
std::optional<qint16> roundToInt16(double value);

} // namespace app
