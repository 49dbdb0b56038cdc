// SPDX-License-Identifier: MIT
#pragma once
// The texts both typing benchmarks type, and their median, so the X11 and
// Wayland figures compare like with like.
#include <QList>
#include <QString>

#include <algorithm>
#include <vector>

namespace bench {

// 2,000 printable ASCII characters from a fixed seed.
inline QString asciiText()
{
    QString text;
    unsigned seed = 12345;
    while (text.size() < 2000) {
        seed = seed * 1103515245 + 12345;
        text += QChar(0x20 + static_cast<int>((seed >> 16) % 95));
    }
    return text;
}

// size characters drawn from the alphabet with a fixed seed.
inline QString cycled(const QString& alphabet, qsizetype size)
{
    const QList<uint> chars = alphabet.toUcs4();
    QString text;
    unsigned seed = 777;
    for (qsizetype i = 0; i < size; ++i) {
        seed = seed * 1103515245 + 12345;
        const char32_t c = chars[(seed >> 16) % chars.size()];
        text += QString::fromUcs4(&c, 1);
    }
    return text;
}

// The key string that types text as it stands: notation characters braced.
inline QString escaped(const QString& text)
{
    QString keys;
    for (QChar c : text) {
        if (QStringLiteral("+^%~(){}[]").contains(c)) {
            keys += QLatin1Char('{');
            keys += c;
            keys += QLatin1Char('}');
        } else {
            keys += c;
        }
    }
    return keys;
}

inline double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

struct NamedText {
    const char* name;
    QString text;
};

// ASCII, non-ASCII, and non-ASCII of 40 kinds (most missing from a US layout).
inline std::vector<NamedText> typingTexts()
{
    return {
        {"ASCII 2000", asciiText()},
        {"non-ASCII 200", cycled(QStringLiteral("éßΩ€😀ñüöäçàèùαβγδλπ"), 200)},
        {"non-ASCII 200, 40 kinds",
         cycled(QStringLiteral("éßΩ€😀ñüöäçàèùαβγδλπσφψωжфыяшщюэдлкнгзвбпрт"), 200)},
    };
}

} // namespace bench
