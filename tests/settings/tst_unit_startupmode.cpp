// SPDX-License-Identifier: MIT
// The startup value: leading-number reading, rounding to 16 bits, and the
// 20-character value read from the settings file.
#include "TempFolder.h"
#include "settings/LeadingNumber.h"
#include "settings/ProfileFile.h"
#include "settings/ProgramFolder.h"
#include "settings/Settings.h"

#include <QDir>
#include <QFile>
#include <QTest>
#include <cmath>

class StartupModeTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void leadingNumber_data();
    void leadingNumber();
    void stopsAtNul();
    void tooLargeGivesInfinity();
    void rounding_data();
    void rounding();
    void startupMode_data();
    void startupMode();
    void readValueIsTwentyCharacters_data();
    void readValueIsTwentyCharacters();
    void storedValueGivesMode_data();
    void storedValueGivesMode();
    void unreadableFileReadsAsMissing();
};

void StartupModeTest::leadingNumber_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<double>("expected");
    QTest::newRow("digit") << "1" << 1.0;
    QTest::newRow("blank before") << " 1" << 1.0;
    QTest::newRow("tab and line feed before") << "\t\n 2" << 2.0;
    QTest::newRow("blank inside is skipped") << "1 5" << 15.0;
    QTest::newRow("carriage return stops") << "\r1" << 0.0;
    QTest::newRow("stops at letter") << "1x" << 1.0;
    QTest::newRow("stops at comma") << "1,5" << 1.0;
    QTest::newRow("letters") << "letters" << 0.0;
    QTest::newRow("empty") << "" << 0.0;
    QTest::newRow("sign only") << "-" << 0.0;
    QTest::newRow("minus") << "-1" << -1.0;
    QTest::newRow("plus") << "+7" << 7.0;
    QTest::newRow("blank after sign") << "- 3" << -3.0;
    QTest::newRow("decimal") << "1.5" << 1.5;
    QTest::newRow("leading point") << ".5" << 0.5;
    QTest::newRow("point only") << "." << 0.0;
    QTest::newRow("second point stops") << "1.2.3" << 1.2;
    QTest::newRow("exponent") << "1e3" << 1000.0;
    QTest::newRow("exponent upper with sign") << "1E+2" << 100.0;
    QTest::newRow("negative exponent") << "15E-1" << 1.5;
    QTest::newRow("exponent D") << "2d2" << 200.0;
    QTest::newRow("exponent without digits") << "1e" << 1.0;
    QTest::newRow("exponent sign without digits") << "1e+x" << 1.0;
    QTest::newRow("hex") << "&H1" << 1.0;
    QTest::newRow("hex lower case") << "&h1f" << 31.0;
    QTest::newRow("hex stops at non-digit") << "&HAG" << 10.0;
    QTest::newRow("hex without digits") << "&H" << 0.0;
    QTest::newRow("octal") << "&O17" << 15.0;
    QTest::newRow("octal stops at 8") << "&O18" << 1.0;
    QTest::newRow("ampersand alone") << "&12" << 0.0;
    QTest::newRow("nineteen digits") << "1234567890123456789" << 1234567890123456789.0;
}

void StartupModeTest::leadingNumber()
{
    QFETCH(QString, text);
    QFETCH(double, expected);
    QCOMPARE(app::leadingNumber(text), expected);
}

void StartupModeTest::stopsAtNul()
{
    QString text = QStringLiteral("1");
    text += QChar(u'\0');
    text += QStringLiteral("5");
    QCOMPARE(app::leadingNumber(text), 1.0);
    QCOMPARE(app::leadingNumber(QString(20, QChar(u'\0'))), 0.0);
}

void StartupModeTest::tooLargeGivesInfinity()
{
    QVERIFY(std::isinf(app::leadingNumber(u"1e999")));
    QVERIFY(app::leadingNumber(u"-1e999") < 0);
    QCOMPARE(app::leadingNumber(u"1e-999"), 0.0);
    QVERIFY(std::isinf(app::leadingNumber(QString(400, QChar(u'9')))));
}

void StartupModeTest::rounding_data()
{
    QTest::addColumn<double>("value");
    QTest::addColumn<int>("expected");   // -100000: outside 16 bits
    QTest::newRow("0.5 to even 0") << 0.5 << 0;
    QTest::newRow("1.5 to even 2") << 1.5 << 2;
    QTest::newRow("2.5 to even 2") << 2.5 << 2;
    QTest::newRow("3.5 to even 4") << 3.5 << 4;
    QTest::newRow("-0.5 to even 0") << -0.5 << 0;
    QTest::newRow("-1.5 to even -2") << -1.5 << -2;
    QTest::newRow("below half") << 1.49 << 1;
    QTest::newRow("above half") << 0.51 << 1;
    QTest::newRow("largest") << 32767.0 << 32767;
    QTest::newRow("smallest") << -32768.0 << -32768;
    QTest::newRow("rounds into range") << -32768.5 << -32768;
    QTest::newRow("rounds out of range") << 32767.5 << -100000;
    QTest::newRow("just above") << 32768.0 << -100000;
    QTest::newRow("just below") << -32769.0 << -100000;
    QTest::newRow("infinity") << std::numeric_limits<double>::infinity() << -100000;
    QTest::newRow("not a number") << std::numeric_limits<double>::quiet_NaN() << -100000;
}

void StartupModeTest::rounding()
{
    QFETCH(double, value);
    QFETCH(int, expected);
    const auto rounded = app::roundToInt16(value);
    if (expected == -100000)
        QVERIFY(!rounded.has_value());
    else
        QCOMPARE(rounded, std::optional<qint16>(static_cast<qint16>(expected)));
}

void StartupModeTest::startupMode_data()
{
    QTest::addColumn<QString>("value");
    QTest::addColumn<int>("mode");
    QTest::newRow("1 quick") << "1" << 1;
    QTest::newRow("2 script") << "2" << 2;
    QTest::newRow("7") << "7" << 7;
    QTest::newRow("-1") << "-1" << -1;
    QTest::newRow("0") << "0" << 0;
    QTest::newRow("empty") << "" << 0;
    QTest::newRow("letters") << "letters" << 0;
    QTest::newRow("blank then 1") << " 1" << 1;
    QTest::newRow("1x") << "1x" << 1;
    QTest::newRow("&H1") << "&H1" << 1;
    QTest::newRow("1.5") << "1.5" << 2;
    QTest::newRow("0.5") << "0.5" << 0;
    QTest::newRow("2.5") << "2.5" << 2;
    QTest::newRow("&O17") << "&O17" << 15;
    QTest::newRow("exponent") << "1e1" << 10;
    QTest::newRow("exponent giving half") << "5e-1" << 0;
    QTest::newRow("largest") << "32767" << 32767;
    QTest::newRow("out of range is script mode") << "32768" << 2;
    QTest::newRow("five digits") << "99999" << 2;
    QTest::newRow("negative out of range") << "-40000" << 2;
    QTest::newRow("hex out of range") << "&HFFFF" << 2;
    QTest::newRow("huge exponent") << "1e999" << 2;
}

void StartupModeTest::startupMode()
{
    QFETCH(QString, value);
    QFETCH(int, mode);
    QCOMPARE(int(app::startupModeOf(value)), mode);
}

void StartupModeTest::readValueIsTwentyCharacters_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QString>("value");   // before the NUL padding
    QTest::newRow("short value") << QByteArray("[Startup]\nStartup=abc\n") << "abc";
    QTest::newRow("empty value") << QByteArray("[Startup]\nStartup=\n") << "";
    QTest::newRow("no key") << QByteArray("[Startup]\nOther=1\n") << "";
    QTest::newRow("no section") << QByteArray("[Other]\nStartup=1\n") << "";
    QTest::newRow("key before any section") << QByteArray("Startup=1\n[Startup]\n") << "";
    QTest::newRow("19 characters kept")
        << QByteArray("[Startup]\nStartup=1234567890123456789\n") << "1234567890123456789";
    QTest::newRow("25 characters cut to 19")
        << QByteArray("[Startup]\nStartup=abcdefghijklmnopqrstuvwxy\n") << "abcdefghijklmnopqrs";
}

void StartupModeTest::readValueIsTwentyCharacters()
{
    QFETCH(QByteArray, file);
    QFETCH(QString, value);
    testsupport::TempProgramFolder folder;
    QFile ini(app::settingsFilePath());
    QVERIFY(ini.open(QIODevice::WriteOnly));
    ini.write(file);
    ini.close();

    const QString read = app::ReadIniValue(QStringLiteral("Startup"), QStringLiteral("Startup"));
    QCOMPARE(read.size(), 20);
    QCOMPARE(read.left(value.size()), value);
    QCOMPARE(read.mid(value.size()), QString(20 - value.size(), QChar(u'\0')));
}

void StartupModeTest::storedValueGivesMode_data()
{
    QTest::addColumn<QByteArray>("file");   // empty: no settings file
    QTest::addColumn<int>("mode");
    QTest::newRow("no file") << QByteArray() << 0;
    QTest::newRow("1") << QByteArray("[Startup]\r\nStartup=1\r\n") << 1;
    QTest::newRow("2") << QByteArray("[Startup]\nStartup=2\n") << 2;
    QTest::newRow("quoted") << QByteArray("[Startup]\nStartup=\"1\"\n") << 1;
    QTest::newRow("any case") << QByteArray("[STARTUP]\nstartup = 1\n") << 1;
    QTest::newRow("19 zeros then 1: the 1 is cut off")
        << QByteArray("[Startup]\nStartup=00000000000000000001\n") << 0;
    QTest::newRow("18 zeros then 1: kept")
        << QByteArray("[Startup]\nStartup=0000000000000000001\n") << 1;
    QTest::newRow("fraction cut off: 1 rather than 1.5 rounded to 2")
        << QByteArray("[Startup]\nStartup=0000000000000000001.5\n") << 1;
}

void StartupModeTest::storedValueGivesMode()
{
    QFETCH(QByteArray, file);
    QFETCH(int, mode);
    testsupport::TempProgramFolder folder;
    if (!file.isEmpty()) {
        QFile ini(app::settingsFilePath());
        QVERIFY(ini.open(QIODevice::WriteOnly));
        ini.write(file);
    }
    QCOMPARE(int(app::readStartupMode()), mode);
}

void StartupModeTest::unreadableFileReadsAsMissing()
{
    testsupport::TempProgramFolder folder;
    QVERIFY(QDir().mkdir(app::settingsFilePath()));   // a folder where the file should be
    QCOMPARE(app::ReadIniValue(QStringLiteral("Startup"), QStringLiteral("Startup")),
             QString(20, QChar(u'\0')));
    QCOMPARE(int(app::readStartupMode()), 0);
}

QTEST_GUILESS_MAIN(StartupModeTest)
#include "tst_unit_startupmode.moc"
