#pragma once
// Key strings and the bytes a raw-mode terminal receives for them: the rows
// that xterm and foot type alike.
#include <QByteArray>
#include <QString>
#include <QTest>

namespace testsupport {

inline QByteArray esc(const char* rest)
{
    return QByteArray("\x1b") + rest;
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

} // namespace testsupport
