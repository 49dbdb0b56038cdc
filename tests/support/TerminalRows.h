// SPDX-License-Identifier: MIT
#pragma once
// Key strings and the bytes a raw-mode terminal receives for them: the rows
// that xterm, foot and weston-terminal type alike.
#include <QByteArray>
#include <QString>
#include <QTest>

namespace testsupport {

inline QByteArray esc(const char* rest)
{
    return QByteArray("\x1b") + rest;
}

// Every character from first to last, in order.
inline QString characterRange(char32_t first, char32_t last)
{
    QString text;
    for (char32_t c = first; c <= last; ++c)
        text += QString::fromUcs4(&c, 1);
    return text;
}

// Adds the columns "keys" and "bytes" with the rows every terminal shares.
inline void addCommonTerminalRows()
{
    QTest::addColumn<QString>("keys");
    QTest::addColumn<QByteArray>("bytes");

    QTest::newRow("plain") << "hello world 0123456789" << QByteArray("hello world 0123456789");
    QTest::newRow("capitals and punctuation")
        << "The QUICK Fox! @#$&*_-=[]\\|;:'\",.<>/?`"
        << QByteArray("The QUICK Fox! @#$&*_-=[]\\|;:'\",.<>/?`");
    QTest::newRow("literal codes") << "{+}{^}{%}{~}{(}{)}{{}{}}{[}{]}"
                                   << QByteArray("+^%~(){}[]");
    QTest::newRow("ctrl") << "^a^z^c^{[}" << QByteArray("\x01\x1a\x03\x1b");
    QTest::newRow("arrows") << "{UP}{DOWN}{RIGHT}{LEFT}"
                            << esc("[A") + esc("[B") + esc("[C") + esc("[D");
}

// The common rows and those foot and weston-terminal type alike on every
// Wayland desktop.
inline void addWaylandTerminalRows()
{
    addCommonTerminalRows();
    QTest::newRow("alt") << "%x%f%1" << esc("x") + esc("f") + esc("1");
    QTest::newRow("enter tab esc backspace") << "a~b{ENTER}c{TAB}d{ESC}e{BACKSPACE}{BS}"
                                             << QByteArray("a\rb\rc\td\x1b" "e\x7f\x7f");
    QTest::newRow("function keys") << "{F1}{F5}{F12}" << esc("OP") + esc("[15~") + esc("[24~");
    QTest::newRow("repeats and groups") << "{x 5}{~ 2}+(abc)d^(ab)"
                                        << QByteArray("xxxxx~~ABCd\x01\x02");
    QTest::newRow("line breaks") << "a\nb\tc" << QByteArray("a\rb\tc");
    QTest::newRow("lock keys leave characters alone") << "a{CAPSLOCK}bB{NUMLOCK}c{CAPSLOCK}d"
                                                      << QByteArray("abBcd");
}

} // namespace testsupport
