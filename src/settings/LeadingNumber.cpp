// SPDX-License-Identifier: MIT
#include "settings/LeadingNumber.h"

#include <charconv>
#include <cmath>
#include <limits>
#include <string>

namespace app {

namespace {

// Walks the text, skipping blanks, tabs and line feeds, and ends at a NUL.
class Reader {
public:
    explicit Reader(QStringView text) : text_(text) {}

    QChar peek()
    {
        while (pos_ < text_.size() && isSkipped(text_[pos_]))
            ++pos_;
        return pos_ < text_.size() ? text_[pos_] : QChar(u'\0');
    }
    void next() { ++pos_; }
    bool take(char16_t c)
    {
        if (peek().toUpper() != QChar(c))
            return false;
        next();
        return true;
    }
    qsizetype position() const { return pos_; }
    void rewind(qsizetype to) { pos_ = to; }

private:
    static bool isSkipped(QChar c) { return c == u' ' || c == u'\t' || c == u'\n'; }
    QStringView text_;
    qsizetype pos_ = 0;
};

bool isDigit(QChar c)
{
    return c >= u'0' && c <= u'9';
}

int digitValue(QChar c, int base)
{
    const char16_t u = c.toUpper().unicode();
    int value = base;
    if (u >= u'0' && u <= u'9')
        value = u - u'0';
    else if (u >= u'A' && u <= u'F')
        value = u - u'A' + 10;
    return value < base ? value : -1;
}

// The digits after &H or &O; no digits give 0.
double readBased(Reader& in, int base)
{
    double value = 0;
    for (int digit; (digit = digitValue(in.peek(), base)) >= 0; in.next())
        value = value * base + digit;
    return value;
}

void appendDigits(Reader& in, std::string& out)
{
    for (; isDigit(in.peek()); in.next())
        out += static_cast<char>(in.peek().unicode());
}

// An exponent letter counts only when digits follow it (after an optional
// sign); otherwise reading stops before the letter. True for a negative
// exponent.
bool appendExponent(Reader& in, std::string& out)
{
    const qsizetype start = in.position();
    if (!in.take(u'E') && !in.take(u'D'))
        return false;
    std::string exponent = "e";
    if (in.peek() == u'+' || in.peek() == u'-') {
        exponent += static_cast<char>(in.peek().unicode());
        in.next();
    }
    if (!isDigit(in.peek())) {
        in.rewind(start);
        return false;
    }
    appendDigits(in, exponent);
    out += exponent;
    return exponent[1] == '-';
}

double readDecimal(Reader& in)
{
    std::string number;
    if (in.peek() == u'+' || in.peek() == u'-') {
        number += static_cast<char>(in.peek().unicode());
        in.next();
    }
    appendDigits(in, number);
    if (in.peek() == u'.') {
        in.next();
        number += '.';
        appendDigits(in, number);
    }
    const bool hasDigits = number.find_first_of("0123456789") != std::string::npos;
    if (!hasDigits)
        return 0;
    const bool negativeExponent = appendExponent(in, number);
    const char* first = number.data() + (number.front() == '+' ? 1 : 0);
    double value = 0;
    const auto result = std::from_chars(first, number.data() + number.size(), value);
    if (result.ec == std::errc::result_out_of_range) {
        const double size = negativeExponent ? 0.0 : std::numeric_limits<double>::infinity();
        return number.front() == '-' ? -size : size;
    }
    return value;
}

} // namespace

double leadingNumber(QStringView text)
{
    Reader in(text);
    const qsizetype start = in.position();
    if (in.take(u'&')) {
        if (in.take(u'H'))
            return readBased(in, 16);
        if (in.take(u'O'))
            return readBased(in, 8);
        in.rewind(start);
    }
    return readDecimal(in);
}

std::optional<qint16> roundToInt16(double value)
{
    double rounded = std::floor(value);
    const double fraction = value - rounded;
    if (fraction > 0.5 || (fraction == 0.5 && std::fmod(rounded, 2.0) != 0.0))
        rounded += 1.0;
    if (!(rounded >= std::numeric_limits<qint16>::min() && rounded <= std::numeric_limits<qint16>::max()))
        return std::nullopt;
    return static_cast<qint16>(rounded);
}

} // namespace app
