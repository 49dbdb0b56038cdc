// SPDX-License-Identifier: MIT
#include "store/Database.h"
#include "TempFolder.h"

#include <QFile>
#include <QTest>
#include <sqlite3.h>

using namespace store;

class RecordsetTest : public QObject {
    Q_OBJECT

    std::unique_ptr<testsupport::TempProgramFolder> folder;
    std::unique_ptr<Database> db;

    QString dbPath() const { return folder->file(QStringLiteral("Typomat.mdb")); }

    void addTitle(Recordset& rs, const QString& text)
    {
        rs.AddNew();
        rs.SetField(0, text);
        rs.Update();
    }

    QStringList titles(Recordset& rs)
    {
        QStringList all;
        for (rs.MoveFirst(); !rs.AtEnd(); rs.MoveNext())
            all << rs.Fields(0).toText();
        return all;
    }

private Q_SLOTS:
    void init()
    {
        folder = std::make_unique<testsupport::TempProgramFolder>();
        db = Database::open(dbPath());
    }
    void cleanup()
    {
        db.reset();
        folder.reset();
    }

    void newFileHasFourEmptyTables()
    {
        for (const char16_t* table : {u"Script", u"KeyScript", u"Title", u"KeyQuick"}) {
            auto rs = db->OpenRecordset(QString::fromUtf16(table));
            QCOMPARE(rs->RecordCount(), 0);
            QVERIFY(rs->AtEnd());
            rs->MoveFirst();  // an empty set stays at its end
            QVERIFY(rs->AtEnd());
            QVERIFY_THROWS_EXCEPTION(DbError, rs->Fields(0));
        }
        QCOMPARE(db->OpenRecordset(QStringLiteral("KeyScript"))->fieldCount(), 6);
    }

    void rowsKeepInsertionOrderAcrossReopen()
    {
        auto rs = db->OpenRecordset(QStringLiteral("Title"));
        for (const char* t : {"b", "a", "c", "a"})
            addTitle(*rs, QString::fromLatin1(t));
        QCOMPARE(titles(*rs), QStringList({"b", "a", "c", "a"}));
        db.reset();
        db = Database::open(dbPath());
        auto again = db->OpenRecordset(QStringLiteral("Title"));
        QCOMPARE(titles(*again), QStringList({"b", "a", "c", "a"}));
        QCOMPARE(again->RecordCount(), 4);
    }

    void cursorReturnsToPreviousRowAfterAdd()
    {
        auto rs = db->OpenRecordset(QStringLiteral("Title"));
        addTitle(*rs, QStringLiteral("one"));
        addTitle(*rs, QStringLiteral("two"));
        rs->MoveFirst();
        addTitle(*rs, QStringLiteral("three"));
        QCOMPARE(rs->Fields(0).toText(), QStringLiteral("one"));
        rs->MoveNext();
        rs->MoveNext();
        QCOMPARE(rs->Fields(0).toText(), QStringLiteral("three"));  // appended at the end
        rs->MoveNext();
        QVERIFY(rs->AtEnd());
        addTitle(*rs, QStringLiteral("four"));  // added while at the end: still at the end
        QVERIFY(rs->AtEnd());
    }

    void deleteLeavesNoCurrentRowUntilTheNextMove()
    {
        auto rs = db->OpenRecordset(QStringLiteral("Title"));
        for (const char* t : {"a", "b", "c"})
            addTitle(*rs, QString::fromLatin1(t));
        rs->MoveFirst();
        rs->MoveNext();
        rs->Delete();
        QVERIFY_THROWS_EXCEPTION(DbError, rs->Fields(0));
        QVERIFY_THROWS_EXCEPTION(DbError, rs->Edit());
        QVERIFY_THROWS_EXCEPTION(DbError, rs->Delete());
        QCOMPARE(rs->RecordCount(), 2);
        rs->MoveNext();
        QCOMPARE(rs->Fields(0).toText(), QStringLiteral("c"));
        QCOMPARE(titles(*rs), QStringList({"a", "c"}));
        rs->Requery();
        QCOMPARE(rs->Fields(0).toText(), QStringLiteral("a"));
        QCOMPARE(titles(*rs), QStringList({"a", "c"}));
    }

    void editChangesTheRowInPlace()
    {
        auto rs = db->OpenRecordset(QStringLiteral("Title"));
        for (const char* t : {"a", "b", "c"})
            addTitle(*rs, QString::fromLatin1(t));
        rs->MoveFirst();
        rs->MoveNext();
        rs->Edit();
        QCOMPARE(rs->EditMode(), int(dbEditInProgress));
        rs->SetField(0, QStringLiteral("B"));
        rs->Update();
        QCOMPARE(rs->EditMode(), int(dbEditNone));
        QCOMPARE(rs->Fields(0).toText(), QStringLiteral("B"));  // stays current
        rs->Requery();
        QCOMPARE(titles(*rs), QStringList({"a", "B", "c"}));
    }

    void pendingAddOrEditIsGivenUpByTheNextOperation()
    {
        auto rs = db->OpenRecordset(QStringLiteral("Title"));
        addTitle(*rs, QStringLiteral("a"));
        rs->MoveFirst();
        rs->Edit();
        rs->SetField(0, QStringLiteral("changed"));
        rs->MoveFirst();  // gives the edit up
        QCOMPARE(rs->EditMode(), int(dbEditNone));
        QCOMPARE(rs->Fields(0).toText(), QStringLiteral("a"));
        QVERIFY_THROWS_EXCEPTION(DbError, rs->Update());

        rs->AddNew();
        QCOMPARE(rs->EditMode(), int(dbEditAdd));
        rs->SetField(0, QStringLiteral("never stored"));
        rs->AddNew();  // a second add gives the first up
        rs->SetField(0, QStringLiteral("stored"));
        rs->Update();
        rs->Edit();
        rs->SetField(0, QStringLiteral("lost"));
        rs->AddNew();  // so does an add after an edit
        QCOMPARE(rs->Fields(0), Value());
        rs->MoveFirst();
        QCOMPARE(titles(*rs), QStringList({"a", "stored"}));
        QVERIFY_THROWS_EXCEPTION(DbError, rs->SetField(0, QStringLiteral("x")));
    }

    void valueKindsRoundTrip()
    {
        auto rs = db->OpenRecordset(QStringLiteral("KeyScript"));
        const oledate::OleDate countDown = oledate::fromTime(0, 1, 30);
        rs->AddNew();
        rs->SetField(0, QStringLiteral("script"));
        rs->SetField(1, QStringLiteral(""));  // empty text, not Null
        rs->SetField(3, QStringLiteral("é€Ω😀 {ENTER}"));
        rs->SetField(5, countDown);
        rs->Update();
        auto quick = db->OpenRecordset(QStringLiteral("Script"));
        quick->AddNew();
        quick->SetField(2, qint64(1));
        quick->Update();

        db.reset();
        db = Database::open(dbPath());
        rs = db->OpenRecordset(QStringLiteral("KeyScript"));
        QVERIFY(rs->Fields(1).isText());
        QVERIFY(rs->Fields(1).equalsText(QString()));
        QVERIFY(rs->Fields(2).isNull());
        QVERIFY(!rs->Fields(2).equalsText(QString()));  // Null never equals
        QCOMPARE(rs->Fields(2).toText(), QString());
        QCOMPARE(rs->Fields(3).toText(), QStringLiteral("é€Ω😀 {ENTER}"));
        QCOMPARE(rs->Fields(5).toDate(), countDown);
        QCOMPARE(rs->Fields(5).toText(), QStringLiteral("00:01:30"));
        QCOMPARE(db->OpenRecordset(QStringLiteral("Script"))->Fields(2).toInteger(), 1);
    }

    void parametersAreNeverPastedIntoSql()
    {
        auto rs = db->OpenRecordset(QStringLiteral("Title"));
        const QString hostile = QStringLiteral("x'); DROP TABLE Title; --\"");
        addTitle(*rs, hostile);
        rs->Requery();
        QCOMPARE(titles(*rs), QStringList({hostile}));
    }

    // Two copies of the program on one file: a save or delete from one must
    // not land on a row the other has changed, or on a row that took over a
    // deleted row's rowid.
    void editOrDeleteOfARowChangedElsewhereChangesNothing_data()
    {
        QTest::addColumn<QString>("elsewhere");
        QTest::addColumn<bool>("deleting");
        QTest::addColumn<QStringList>("stored");
        for (bool deleting : {false, true}) {
            const char* op = deleting ? "delete" : "edit";
            QTest::addRow("%s after an edit", op) << "edit" << deleting << QStringList{"a", "B"};
            QTest::addRow("%s after a delete", op) << "delete" << deleting << QStringList{"a"};
            QTest::addRow("%s after the rowid went to a new row", op)
                << "reuse" << deleting << QStringList{"a", "new"};
        }
    }
    void editOrDeleteOfARowChangedElsewhereChangesNothing()
    {
        QFETCH(QString, elsewhere);
        QFETCH(bool, deleting);
        QFETCH(QStringList, stored);
        auto mine = db->OpenRecordset(QStringLiteral("Title"));
        addTitle(*mine, QStringLiteral("a"));
        addTitle(*mine, QStringLiteral("b"));
        auto otherDb = Database::open(dbPath());
        auto other = otherDb->OpenRecordset(QStringLiteral("Title"));
        other->MoveFirst();
        other->MoveNext();
        if (elsewhere == "edit") {
            other->Edit();
            other->SetField(0, QStringLiteral("B"));
            other->Update();
        } else {
            other->Delete();
            if (elsewhere == "reuse")
                addTitle(*other, QStringLiteral("new"));
        }

        mine->MoveFirst();
        mine->MoveNext();
        try {
            if (deleting) {
                mine->Delete();
            } else {
                mine->Edit();
                mine->SetField(0, QStringLiteral("mine"));
                mine->Update();
            }
            QFAIL("a row changed elsewhere was written over");
        } catch (const DbError& e) {
            QCOMPARE(e.message(), QStringLiteral("The record was changed or deleted by another "
                                                 "Typomat window; choose it again"));
        }
        QCOMPARE(titles(*db->OpenRecordset(QStringLiteral("Title"))), stored);
        // Chosen again, the row can be written.
        mine->Requery();
        mine->Edit();
        mine->SetField(0, QStringLiteral("first"));
        mine->Update();
        QCOMPARE(titles(*db->OpenRecordset(QStringLiteral("Title"))).front(), "first");
    }

    // A rowid that the file hands out again, after another window deleted
    // its row, names the new row only: the old one is gone from the set.
    void bookmarkOfARowDeletedElsewhereGoesToTheNewRowOnly()
    {
        auto rs = db->OpenRecordset(QStringLiteral("Title"));
        for (const char* t : {"a", "b"})
            addTitle(*rs, QString::fromLatin1(t));
        const Bookmark last = rs->LastModified();
        auto otherDb = Database::open(dbPath());
        auto other = otherDb->OpenRecordset(QStringLiteral("Title"));
        QVERIFY(other->MoveToBookmark(last));
        other->Delete();
        addTitle(*rs, QStringLiteral("new"));
        QCOMPARE(rs->LastModified(), last);
        QCOMPARE(titles(*rs), QStringList({"a", "new"}));
        QCOMPARE(rs->RecordCount(), 2);
    }

    void rowAddedHereCanBeEditedAfterTheColumnConvertedIt()
    {
        auto scripts = db->OpenRecordset(QStringLiteral("Script"));
        scripts->AddNew();
        scripts->SetField(2, QStringLiteral("1"));  // stored as the number 1
        scripts->Update();
        scripts->MoveFirst();
        scripts->Edit();
        scripts->SetField(1, QStringLiteral("d"));
        scripts->Update();
        QCOMPARE(scripts->Fields(2), Value(1));
        scripts->Delete();
        QCOMPARE(db->OpenRecordset(QStringLiteral("Script"))->RecordCount(), 0);
    }

    void fieldOutOfRangeIsAnError()
    {
        auto rs = db->OpenRecordset(QStringLiteral("Title"));
        addTitle(*rs, QStringLiteral("a"));
        rs->MoveFirst();
        QVERIFY_THROWS_EXCEPTION(DbError, rs->Fields(1));
        QVERIFY_THROWS_EXCEPTION(DbError, rs->Fields(-1));
    }

    void moveNextAtTheEndIsAnError()
    {
        auto rs = db->OpenRecordset(QStringLiteral("Title"));
        QVERIFY_THROWS_EXCEPTION(DbError, rs->MoveNext());
    }

    void unusableFilesAreReportedAndLeftUntouched_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QString>("reason");
        QTest::newRow("empty") << QByteArray() << QStringLiteral("empty");
        QByteArray jet(64, '\0');
        jet.replace(0, 19, QByteArray("\x00\x01\x00\x00Standard Jet DB", 19));
        QTest::newRow("jet") << jet << QStringLiteral("Jet");
        QTest::newRow("random") << QByteArray("this is no database at all, just text\n")
                                << QStringLiteral("not an SQLite database");
    }
    void unusableFilesAreReportedAndLeftUntouched()
    {
        QFETCH(QByteArray, content);
        QFETCH(QString, reason);
        const QString path = folder->file(QStringLiteral("other.mdb"));
        {
            QFile f(path);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(content);
        }
        try {
            Database::open(path);
            QFAIL("opened an unusable file");
        } catch (const DbError& e) {
            QVERIFY2(e.message().contains(path), qPrintable(e.message()));
            QVERIFY2(e.message().contains(reason), qPrintable(e.message()));
        }
        QFile f(path);
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(f.readAll(), content);
    }

    void missingTableIsReported()
    {
        const QString path = folder->file(QStringLiteral("partial.mdb"));
        sqlite3* raw = nullptr;
        QCOMPARE(sqlite3_open(path.toUtf8().constData(), &raw), SQLITE_OK);
        sqlite3_exec(raw, "CREATE TABLE Script (a, b, c, d); CREATE TABLE Title (t);", nullptr,
                     nullptr, nullptr);
        sqlite3_close(raw);
        try {
            Database::open(path);
            QFAIL("opened a file without KeyScript");
        } catch (const DbError& e) {
            QVERIFY2(e.message().contains(QStringLiteral("\"KeyScript\"")), qPrintable(e.message()));
        }
    }
};

QTEST_GUILESS_MAIN(RecordsetTest)
#include "tst_unit_recordset.moc"
