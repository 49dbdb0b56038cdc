// SPDX-License-Identifier: MIT
#include "settings/ProgramFolder.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

// Where the two files live: beside a copy in a writable folder, in the
// user's data folder for an installed copy.
class DataFolderTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void cleanup() { app::installProgramFolder(nullptr); }

    void writableCopyKeepsItsFilesBeside()
    {
        app::installProgramFolder(std::make_shared<app::FixedFolder>(QStringLiteral("/opt/t/")));
        QCOMPARE(app::settingsFilePath(), QStringLiteral("/opt/t//Typomat.ini"));
        QCOMPARE(app::databaseFilePath(), QStringLiteral("/opt/t//Typomat.mdb"));
    }

    void installedCopyUsesTheUsersDataFolder()
    {
        QTemporaryDir home;
        qputenv("XDG_DATA_HOME", home.path().toUtf8());
        app::installProgramFolder(std::make_shared<app::FixedFolder>(QStringLiteral("/usr/bin"), false));
        QCOMPARE(app::settingsFilePath(), home.path() + QStringLiteral("/typomat/Typomat.ini"));
        QVERIFY(QDir(home.path() + QStringLiteral("/typomat")).exists());

        qputenv("XDG_DATA_HOME", "relative/ignored");
        qputenv("HOME", home.path().toUtf8());
        QCOMPARE(app::databaseFilePath(),
                 QDir::homePath() + QStringLiteral("/.local/share/typomat/Typomat.mdb"));
        qunsetenv("XDG_DATA_HOME");
    }

    // An installed copy with a file already beside it uses that file (a
    // write that then fails is reported when it is tried); a file that is
    // not there goes to the user's data folder.
    void installedCopyUsesTheFilesAlreadyBesideIt()
    {
        QTemporaryDir program, home;
        qputenv("XDG_DATA_HOME", home.path().toUtf8());
        app::installProgramFolder(std::make_shared<app::FixedFolder>(program.path(), false));
        QFile database(program.filePath(QStringLiteral("Typomat.mdb")));
        QVERIFY(database.open(QIODevice::WriteOnly));
        QCOMPARE(app::databaseFilePath(), program.path() + QStringLiteral("/Typomat.mdb"));
        QCOMPARE(app::settingsFilePath(), home.path() + QStringLiteral("/typomat/Typomat.ini"));
        QCOMPARE(app::userDataFolderInUse(), home.path() + QStringLiteral("/typomat"));

        QFile settings(program.filePath(QStringLiteral("Typomat.ini")));
        QVERIFY(settings.open(QIODevice::WriteOnly));
        QCOMPARE(app::settingsFilePath(), program.path() + QStringLiteral("/Typomat.ini"));
        QCOMPARE(app::userDataFolderInUse(), QString());
        qunsetenv("XDG_DATA_HOME");
    }

    void theBuiltProgramFolderIsWritable()
    {
        // The test executable's own folder is a build folder: a copy there
        // keeps its files beside it.
        QVERIFY(app::ExecutableFolder().keepsDataBeside());
    }
};

QTEST_GUILESS_MAIN(DataFolderTest)
#include "tst_unit_datafolder.moc"
