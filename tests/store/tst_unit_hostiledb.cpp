// SPDX-License-Identifier: MIT
#include "store/Database.h"

#include <QCryptographicHash>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <sqlite3.h>

using namespace store;

// Database files that Typomat cannot use, or can use only in part, give a
// clear message or the normal behaviour; never a crash, and a file that
// could not be read is never changed.
class HostileDatabaseTest : public QObject {
    Q_OBJECT

    QTemporaryDir dir;

    QString path() const { return dir.filePath(QStringLiteral("Typomat.mdb")); }

    static QByteArray digest(const QString& file)
    {
        QFile f(file);
        if (!f.open(QIODevice::ReadOnly))
            return {};
        return QCryptographicHash::hash(f.readAll(), QCryptographicHash::Sha256);
    }

    static void rawExec(const QString& file, const char* sql)
    {
        sqlite3* db = nullptr;
        sqlite3_open(file.toUtf8().constData(), &db);
        sqlite3_exec(db, sql, nullptr, nullptr, nullptr);
        sqlite3_close(db);
    }

    void fillTitles(int count)
    {
        auto db = Database::open(path());
        auto rs = db->OpenRecordset(QStringLiteral("Title"));
        for (int i = 0; i < count; ++i) {
            rs->AddNew();
            rs->SetField(0, QStringLiteral("title %1 ").arg(i).repeated(20));
            rs->Update();
        }
    }

private Q_SLOTS:
    void init() { QFile::remove(path()); }

    void truncatedFileIsReportedAndUntouched_data()
    {
        QTest::addColumn<int>("keep");
        QTest::newRow("header only") << 100;
        QTest::newRow("first page") << 4096;
        QTest::newRow("half") << -2;
    }
    void truncatedFileIsReportedAndUntouched()
    {
        QFETCH(int, keep);
        fillTitles(400);
        QFile f(path());
        const qint64 size = f.size();
        QVERIFY(f.resize(keep < 0 ? size / -keep : keep));
        const QByteArray before = digest(path());
        QString message;
        try {
            auto db = Database::open(path());
            auto rs = db->OpenRecordset(QStringLiteral("Title"));
            for (rs->MoveFirst(); !rs->AtEnd(); rs->MoveNext())
                rs->Fields(0);
        } catch (const DbError& e) {
            message = e.message();
        }
        QVERIFY2(!message.isEmpty(), "the truncated file was read without a word");
        QVERIFY2(message.contains(path()), qPrintable(message));
        QCOMPARE(digest(path()), before);
    }

    void wrongValueKindsReadClearly()
    {
        Database::open(path());
        rawExec(path(), "INSERT INTO KeyScript VALUES ('s', NULL, 3, x'41', 'd', 'tomorrow');"
                        "INSERT INTO Script VALUES (NULL, NULL, 'one', NULL);");
        auto db = Database::open(path());
        auto items = db->OpenRecordset(QStringLiteral("KeyScript"));
        QCOMPARE(items->Fields(1).toText(), QString());       // no value reads as empty text
        QCOMPARE(items->Fields(2).toText(), QStringLiteral("3"));
        QCOMPARE(items->Fields(3).toText(), QStringLiteral("A"));  // a blob reads as text
        try {
            items->Fields(5).toDate();
            QFAIL("a text that is no time read as a date");
        } catch (const DbError& e) {
            QVERIFY2(e.message().contains(QStringLiteral("tomorrow")), qPrintable(e.message()));
        }
        auto scripts = db->OpenRecordset(QStringLiteral("Script"));
        QVERIFY_THROWS_EXCEPTION(DbError, scripts->Fields(2).toInteger());
        QVERIFY_THROWS_EXCEPTION(DbError, scripts->Fields(3).toDate());
    }

    void writesWhileAnotherProgramHoldsTheFileWaitThenReport()
    {
        fillTitles(3);
        auto db = Database::open(path());
        auto rs = db->OpenRecordset(QStringLiteral("Title"));

        sqlite3* other = nullptr;
        QCOMPARE(sqlite3_open(path().toUtf8().constData(), &other), SQLITE_OK);
        QCOMPARE(sqlite3_exec(other, "BEGIN IMMEDIATE; INSERT INTO Title VALUES ('other');",
                              nullptr, nullptr, nullptr), SQLITE_OK);
        QElapsedTimer waited;
        waited.start();
        rs->AddNew();
        rs->SetField(0, QStringLiteral("mine"));
        try {
            rs->Update();
            QFAIL("wrote while another program held the file");
        } catch (const DbError& e) {
            QVERIFY2(e.message().contains(QStringLiteral("in use")), qPrintable(e.message()));
        }
        QVERIFY2(waited.elapsed() >= 1500, "gave up without waiting");
        QCOMPARE(rs->RecordCount(), 3);

        // Once the other program is done, the same add goes through.
        sqlite3_exec(other, "COMMIT;", nullptr, nullptr, nullptr);
        sqlite3_close(other);
        rs->Update();
        rs->Requery();
        QCOMPARE(rs->RecordCount(), 5);
    }

    void openingWhileAnotherProgramLocksTheFileReports()
    {
        fillTitles(1);
        sqlite3* other = nullptr;
        sqlite3_open(path().toUtf8().constData(), &other);
        QCOMPARE(sqlite3_exec(other, "BEGIN EXCLUSIVE; INSERT INTO Title VALUES ('x');", nullptr,
                              nullptr, nullptr), SQLITE_OK);
        try {
            auto db = Database::open(path());
            db->OpenRecordset(QStringLiteral("Title"));
            QFAIL("read a file locked by another program");
        } catch (const DbError& e) {
            QVERIFY2(e.message().contains(QStringLiteral("in use")), qPrintable(e.message()));
        }
        sqlite3_exec(other, "ROLLBACK;", nullptr, nullptr, nullptr);
        sqlite3_close(other);
    }

    void folderThatCannotBeWrittenIsReported()
    {
        // A missing folder stands for one that cannot be written (root may
        // write anywhere, so permissions alone would not show it).
        const QString missing = dir.filePath(QStringLiteral("no/such/folder/Typomat.mdb"));
        try {
            Database::open(missing);
            QFAIL("created a database in a folder that does not exist");
        } catch (const DbError& e) {
            QVERIFY2(e.message().contains(missing), qPrintable(e.message()));
        }
        QVERIFY(!QFile::exists(missing));
    }
};

QTEST_GUILESS_MAIN(HostileDatabaseTest)
#include "tst_unit_hostiledb.moc"
