// SPDX-License-Identifier: MIT
#include "store/OleDate.h"
#include "store/Value.h"
#include "store/Recordset.h"

#include <QTest>

using namespace oledate;

class OleDateTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void timeOfDayRoundsToTheNearestSecond_data()
    {
        QTest::addColumn<double>("days");
        QTest::addColumn<QString>("text");
        QTest::newRow("2 s") << 2.0 / 86400 << "00:00:02";
        QTest::newRow("2 s minus a hair") << 2.0 / 86400 - 1e-12 << "00:00:02";
        QTest::newRow("1:30") << 90.0 / 86400 << "00:01:30";
        QTest::newRow("minus one second") << -1.0 / 86400 << "00:00:01";
        QTest::newRow("almost midnight wraps") << 1.0 - 1e-9 << "00:00:00";
        QTest::newRow("date part ignored") << 45000.75 << "18:00:00";
        QTest::newRow("negative with date") << -2.25 << "06:00:00";
    }
    void timeOfDayRoundsToTheNearestSecond()
    {
        QFETCH(double, days);
        QFETCH(QString, text);
        QCOMPARE(formatTime(OleDate{days}), text);
    }

    void countDownStepsLikeTheRunnerDoes()
    {
        // 00:00:00 minus one second reads 00:00:01; read back and lowered
        // again it reaches 00:00:00.
        OleDate v = addSeconds(*oledate::parseTime(QStringLiteral("00:00:00")), -1);
        QCOMPARE(formatTime(v), QStringLiteral("00:00:01"));
        v = addSeconds(*oledate::parseTime(formatTime(v)), -1);
        QCOMPARE(formatTime(v), QStringLiteral("00:00:00"));
        // Sixty steps down from one minute never lose a second to rounding.
        v = fromTime(0, 1, 0);
        for (int i = 0; i < 60; ++i)
            v = addSeconds(v, -1);
        QCOMPARE(formatTime(v), QStringLiteral("00:00:00"));
    }

    void dateTimesRoundTrip()
    {
        const QDateTime when(QDate(2026, 12, 7), QTime(5, 42, 9));
        const OleDate v = fromQDateTime(when);
        QCOMPARE(toQDateTime(v), when);
        QCOMPARE(formatDateTime(v), QStringLiteral("07/12/26 05:42:09"));
        QCOMPARE(formatDateTimeToMinute(v), QStringLiteral("07/12/26 05:42"));
        QCOMPARE(fromQDate(QDate(1899, 12, 31)).days, 1.0);
        QCOMPARE(datePart(OleDate{2.5}), QDate(1900, 1, 1));
        const QDateTime before(QDate(1899, 12, 29), QTime(6, 0));
        QCOMPARE(fromQDateTime(before).days, -1.25);
        QCOMPARE(toQDateTime(OleDate{-1.25}), before);
    }

    void parseTime_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("expected");  // empty: not a time
        QTest::newRow("hh:mm:ss") << "01:02:03" << "01:02:03";
        QTest::newRow("h:m") << "1:2" << "01:02:00";
        QTest::newRow("blanks") << " 00:00:05 " << "00:00:05";
        QTest::newRow("pm") << "7:05:00 PM" << "19:05:00";
        QTest::newRow("12 am") << "12:00:00 AM" << "00:00:00";
        QTest::newRow("empty") << "" << "";
        QTest::newRow("letters") << "soon" << "";
        QTest::newRow("minute 60") << "00:60:00" << "";
        QTest::newRow("hour 24") << "24:00:00" << "";
        QTest::newRow("13 pm") << "13:00 PM" << "";
    }
    void parseTime()
    {
        QFETCH(QString, text);
        QFETCH(QString, expected);
        const auto parsed = oledate::parseTime(text);
        QCOMPARE(parsed ? formatTime(*parsed) : QString(), expected);
    }

    void valueConversions()
    {
        using store::Value;
        QCOMPARE(Value(QStringLiteral("00:00:07")).toDate(), fromTime(0, 0, 7));
        QVERIFY_THROWS_EXCEPTION(store::DbError, Value(QStringLiteral("x")).toDate());
        QVERIFY_THROWS_EXCEPTION(store::DbError, Value().toDate());
        QVERIFY_THROWS_EXCEPTION(store::DbError, Value().toInteger());
        QCOMPARE(Value(QStringLiteral(" 12 ")).toInteger(), 12);
        QCOMPARE(Value(OleDate{45000.5}).toText(), QStringLiteral("15/03/23 12:00:00"));
        QCOMPARE(Value(qint64(7)).toText(), QStringLiteral("7"));
        QVERIFY(!Value(qint64(7)).equalsText(QStringLiteral("7")));
    }
};

QTEST_GUILESS_MAIN(OleDateTest)
#include "tst_unit_oledate.moc"
