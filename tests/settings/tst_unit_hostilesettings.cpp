// Settings files that were not written by Typomat: each one gives the normal
// behaviour (a startup mode, a write that lands), never a crash, and a write
// keeps everything else in the file.
#include "TempFolder.h"
#include "settings/ProgramFolder.h"
#include "settings/Settings.h"

#include <QElapsedTimer>
#include <QFile>
#include <QRandomGenerator>
#include <QTest>

class HostileSettingsTest : public QObject {
    Q_OBJECT

    static QByteArray binary(int size)
    {
        QByteArray bytes(size, '\0');
        QRandomGenerator generator(7);
        for (char& c : bytes)
            c = static_cast<char>(generator.bounded(256));
        return bytes;
    }

private Q_SLOTS:
    void readAndWrite_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<int>("mode");
        QTest::newRow("empty") << QByteArray() << 0;
        QTest::newRow("binary") << binary(4096) << 0;
        QTest::newRow("binary with the key") << binary(300) + "\n[Startup]\nStartup=1\n" + binary(300)
                                             << 1;
        QTest::newRow("10 MB") << QByteArray("[Startup]\nStartup=2\n")
                + QByteArray("; padding line\n").repeated(10 * 1024 * 1024 / 15) << 2;
        QTest::newRow("no final newline") << QByteArray("[Startup]\nStartup=1") << 1;
        QTest::newRow("CR LF") << QByteArray("[Startup]\r\nStartup=2\r\n") << 2;
        QTest::newRow("NUL inside the value") << QByteArray("[Startup]\nStartup=1\0" "9\n", 22) << 1;
        QTest::newRow("long value") << QByteArray("[Startup]\nStartup=") + QByteArray(5000, '9') + "\n"
                                    << 2;
    }
    void readAndWrite()
    {
        QFETCH(QByteArray, file);
        QFETCH(int, mode);
        testsupport::TempProgramFolder folder;
        const QString path = app::settingsFilePath();
        {
            QFile f(path);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(file);
        }
        QElapsedTimer timer;
        timer.start();
        QCOMPARE(app::readStartupMode(), qint16(mode));
        QCOMPARE(app::ReadIniValue(QStringLiteral("Startup"), QStringLiteral("Startup")).size(), 20);

        app::WriteIniValue(QStringLiteral("Startup"), QStringLiteral("Startup"), QStringLiteral("1"));
        QCOMPARE(app::readStartupMode(), qint16(1));
        QVERIFY2(timer.elapsed() < 5000, "a large settings file took too long");

        // Whatever was in the file before is still there, apart from the key.
        QFile f(path);
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QByteArray after = f.readAll();
        QVERIFY(after.size() >= file.size() - 5000);
        if (mode == 0)
            QVERIFY(after.startsWith(file));
    }

    void readOnlyFileGivesTheNormalBehaviourOrNoChange()
    {
        testsupport::TempProgramFolder folder;
        const QString path = app::settingsFilePath();
        {
            QFile f(path);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write("[Startup]\nStartup=2\n");
        }
        QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::ReadGroup);
        QCOMPARE(app::readStartupMode(), qint16(2));
        app::WriteIniValue(QStringLiteral("Startup"), QStringLiteral("Startup"), QStringLiteral("1"));
        // Root may replace a read-only file; anyone else leaves it as it was.
        const qint16 now = app::readStartupMode();
        QVERIFY(now == 1 || now == 2);
        QFile f(path);
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QByteArray after = f.readAll();
        QVERIFY(after == "[Startup]\nStartup=2\n" || after == "[Startup]\nStartup=1\n");
    }
};

QTEST_GUILESS_MAIN(HostileSettingsTest)
#include "tst_unit_hostilesettings.moc"
