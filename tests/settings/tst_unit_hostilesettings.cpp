// SPDX-License-Identifier: MIT
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
#include <functional>

#include <pwd.h>
#include <sys/wait.h>
#include <unistd.h>

// Runs the check in a child process that file permissions hold back: root
// overrides them, so as root the child becomes the user "nobody". Returns the
// check's result, or -1 when the child could not run it.
int runWithoutPrivileges(const std::function<int()>& check)
{
    const pid_t child = fork();
    if (child == 0) {
        if (geteuid() == 0) {
            const passwd* nobody = getpwnam("nobody");
            if (!nobody || setgid(nobody->pw_gid) != 0 || setuid(nobody->pw_uid) != 0)
                _exit(100);
        }
        _exit(check());
    }
    int status = 0;
    if (child < 0 || waitpid(child, &status, 0) != child)
        return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

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
        // Only a blow-up (a pass over the file per line) fails this: a loaded
        // machine under the sanitizers takes several seconds for 10 MB.
        QVERIFY2(timer.elapsed() < 60000, "a large settings file took too long");

        // Whatever was in the file before is still there, apart from the key.
        QFile f(path);
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QByteArray after = f.readAll();
        QVERIFY(after.size() >= file.size() - 5000);
        if (mode == 0)
            QVERIFY(after.startsWith(file));
    }

    void readOnlyFileIsReadAndLeftUnchanged()
    {
        testsupport::TempProgramFolder folder;
        const QString path = app::settingsFilePath();
        const QByteArray before = "[Startup]\nStartup=2\n";
        {
            QFile f(path);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(before);
        }
        QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::ReadGroup
                                        | QFileDevice::ReadOther);
        // The folder stays writable: only the file itself refuses the write.
        QFile::setPermissions(folder.path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner
                                                 | QFileDevice::ExeOwner | QFileDevice::ReadOther
                                                 | QFileDevice::WriteOther | QFileDevice::ExeOther);
        const int outcome = runWithoutPrivileges([] {
            if (app::readStartupMode() != 2)
                return 1;
            app::WriteIniValue(QStringLiteral("Startup"), QStringLiteral("Startup"),
                               QStringLiteral("1"));
            return app::readStartupMode() == 2 ? 0 : 2;
        });
        QCOMPARE(outcome, 0);
        QFile f(path);
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(f.readAll(), before);
    }
};

QTEST_GUILESS_MAIN(HostileSettingsTest)
#include "tst_unit_hostilesettings.moc"
