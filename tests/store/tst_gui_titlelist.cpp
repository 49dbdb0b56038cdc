// SPDX-License-Identifier: MIT
#include "ScriptedDialogs.h"
#include "store/Database.h"
#include "store/titles/TitleList.h"
#include "TempFolder.h"

#include <QComboBox>
#include <QTest>

namespace {
constexpr int kNoAnswer = -1;
}

// The title operations on a real Title table in a fresh program folder, with
// scripted input and message boxes.
class TitleListTest : public QObject {
    Q_OBJECT

    std::unique_ptr<testsupport::TempProgramFolder> folder;
    std::unique_ptr<ui::ScriptedDialogs> dialogs;
    std::unique_ptr<QComboBox> cboType;
    int picks = 0;  // runs of the box's selection handler

    void seed(const QStringList& texts)
    {
        for (const QString& text : texts) {
            store::rsTitle->AddNew();
            store::rsTitle->SetField(0, text);
            store::rsTitle->Update();
        }
    }

    // Lists the box as a window would show it after loading: filled, then the
    // user's text typed into the edit field.
    void showTitles(const QStringList& texts, const QString& typed)
    {
        seed(texts);
        titles::Fill(cboType.get());
        cboType->setEditText(typed);
    }

    QStringList listed() const
    {
        QStringList all;
        for (int i = 0; i < cboType->count(); ++i)
            all << cboType->itemText(i);
        return all;
    }

    // The table as stored, read through a set of its own.
    static QStringList stored()
    {
        auto rs = store::dbMain->OpenRecordset(QStringLiteral("Title"));
        QStringList all;
        for (rs->MoveFirst(); !rs->AtEnd(); rs->MoveNext())
            all << rs->Fields(0).toText();
        return all;
    }

    int inputCount() const
    {
        return static_cast<int>(dialogs->calls.size()) - dialogs->messageCount();
    }

private Q_SLOTS:
    void init()
    {
        folder = std::make_unique<testsupport::TempProgramFolder>();
        store::openMainDatabase();
        store::rsTitle = store::dbMain->OpenRecordset(QStringLiteral("Title"));
        dialogs = std::make_unique<ui::ScriptedDialogs>();
        ui::installDialogs(dialogs.get());
        cboType = std::make_unique<QComboBox>();
        cboType->setEditable(true);
        cboType->setInsertPolicy(QComboBox::NoInsert);
        picks = 0;
        connect(cboType.get(), &QComboBox::activated, this, [this] { ++picks; });
    }

    void cleanup()
    {
        QCOMPARE(picks, 0);  // no operation counts as the user's pick
        cboType.reset();
        ui::installDialogs(nullptr);
        dialogs.reset();
        store::rsTitle.reset();
        store::dbMain.reset();
        store::wsMain.reset();
        folder.reset();
    }

    void fillListsEveryRowInOrderWithNothingCurrent_data()
    {
        QTest::addColumn<QStringList>("rows");
        QTest::newRow("empty table") << QStringList();
        QTest::newRow("row order, duplicates and blanks")
            << QStringList{"b", "a", " a ", "b", "A"};
    }
    void fillListsEveryRowInOrderWithNothingCurrent()
    {
        QFETCH(QStringList, rows);
        seed(rows);
        cboType->addItem(QStringLiteral("stale"));
        cboType->setEditText(QStringLiteral("stale"));
        store::rsTitle->MoveFirst();
        if (!store::rsTitle->AtEnd())
            store::rsTitle->MoveNext();  // Fill starts from the first row wherever the set stands

        titles::Fill(cboType.get());

        QCOMPARE(listed(), rows);
        QCOMPARE(cboType->currentText(), QString());
        QCOMPARE(cboType->currentIndex(), -1);
    }

    void fillListsRowWithoutValueAsEmptyText()
    {
        seed({QStringLiteral("a")});
        store::rsTitle->AddNew();
        store::rsTitle->SetField(0, store::Value());
        store::rsTitle->Update();
        seed({QStringLiteral("b")});
        titles::Fill(cboType.get());
        QCOMPARE(listed(), QStringList({"a", "", "b"}));
    }

    void add_data()
    {
        QTest::addColumn<QStringList>("rows");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("answer");
        QTest::addColumn<bool>("makeCurrent");
        QTest::addColumn<QStringList>("expectedRows");
        QTest::addColumn<QString>("expectedText");

        QTest::newRow("make current") << QStringList{"a"} << "a" << "b" << true
                                      << QStringList{"a", "b"} << "b";
        QTest::newRow("keep current") << QStringList{"a"} << "a" << "b" << false
                                      << QStringList{"a", "b"} << "a";
        QTest::newRow("keep typed text") << QStringList{"a"} << "zz" << "b" << false
                                         << QStringList{"a", "b"} << "zz";
        QTest::newRow("keep empty text on empty list") << QStringList{} << "" << "b" << false
                                                       << QStringList{"b"} << "";
        QTest::newRow("make current on empty list") << QStringList{} << "" << "b" << true
                                                    << QStringList{"b"} << "b";
        QTest::newRow("duplicate") << QStringList{"a", "b"} << "b" << "a" << true
                                   << QStringList{"a", "b", "a"} << "a";
        QTest::newRow("blanks kept") << QStringList{"a"} << "" << " a  " << true
                                     << QStringList{"a", " a  "} << " a  ";
        QTest::newRow("case kept") << QStringList{"notepad"} << "" << "Notepad" << true
                                   << QStringList{"notepad", "Notepad"} << "Notepad";
        QTest::newRow("cancelled") << QStringList{"a"} << "a" << "" << true
                                   << QStringList{"a"} << "a";
    }
    void add()
    {
        QFETCH(QStringList, rows);
        QFETCH(QString, typed);
        QFETCH(QString, answer);
        QFETCH(bool, makeCurrent);
        QFETCH(QStringList, expectedRows);
        QFETCH(QString, expectedText);
        showTitles(rows, typed);
        dialogs->inputAnswers.push_back(answer);

        titles::Add(cboType.get(), makeCurrent);

        QCOMPARE(dialogs->calls.size(), size_t(1));
        const auto& call = dialogs->calls.front();
        QCOMPARE(call.kind, ui::ScriptedDialogs::Call::Input);
        QCOMPARE(call.text, QStringLiteral("Add Title"));
        QCOMPARE(call.title, QStringLiteral("Typomat"));
        QCOMPARE(call.defaultText, QString());
        QCOMPARE(listed(), expectedRows);
        QCOMPARE(stored(), expectedRows);
        QCOMPARE(cboType->currentText(), expectedText);
    }

    void addAppendsToListWithoutRebuildingIt()
    {
        showTitles({QStringLiteral("a")}, QStringLiteral("a"));
        seed({QStringLiteral("added elsewhere")});  // not listed until the next Fill
        dialogs->inputAnswers.push_back(QStringLiteral("b"));
        titles::Add(cboType.get(), false);
        QCOMPARE(listed(), QStringList({"a", "b"}));
        QCOMPARE(stored(), QStringList({"a", "added elsewhere", "b"}));
    }

    void rename_data()
    {
        QTest::addColumn<QStringList>("rows");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("answer");
        QTest::addColumn<int>("prompts");
        QTest::addColumn<QStringList>("expectedRows");
        QTest::addColumn<QString>("expectedText");

        QTest::newRow("renamed in place") << QStringList{"a", "b", "c"} << "b" << "B" << 1
                                          << QStringList{"a", "B", "c"} << "B";
        QTest::newRow("same text keeps its place") << QStringList{"a", "b", "c"} << "b" << "b" << 1
                                                   << QStringList{"a", "b", "c"} << "b";
        QTest::newRow("first of two rows only") << QStringList{"x", "a", "x"} << "x" << "y" << 1
                                                << QStringList{"y", "a", "x"} << "y";
        QTest::newRow("to a listed text") << QStringList{"a", "b"} << "b" << "a" << 1
                                          << QStringList{"a", "a"} << "a";
        QTest::newRow("case differs") << QStringList{"abc"} << "ABC" << "new" << 0
                                      << QStringList{"abc"} << "ABC";
        QTest::newRow("blank differs") << QStringList{"a"} << " a" << "new" << 0
                                       << QStringList{"a"} << " a";
        QTest::newRow("not in table") << QStringList{"a"} << "q" << "new" << 0
                                      << QStringList{"a"} << "q";
        QTest::newRow("empty text") << QStringList{"a"} << "" << "new" << 0
                                    << QStringList{"a"} << "";
        QTest::newRow("cancelled") << QStringList{"a", "b"} << "b" << "" << 1
                                   << QStringList{"a", "b"} << "b";
    }
    void rename()
    {
        QFETCH(QStringList, rows);
        QFETCH(QString, typed);
        QFETCH(QString, answer);
        QFETCH(int, prompts);
        QFETCH(QStringList, expectedRows);
        QFETCH(QString, expectedText);
        showTitles(rows, typed);
        dialogs->inputAnswers.push_back(answer);

        titles::Rename(cboType.get());

        QCOMPARE(inputCount(), prompts);
        if (prompts == 1) {
            const auto& call = dialogs->calls.front();
            QCOMPARE(call.text, QStringLiteral("Rename Title"));
            QCOMPARE(call.title, QStringLiteral("Typomat"));
            QCOMPARE(call.defaultText, typed);
        }
        QCOMPARE(listed(), expectedRows);
        QCOMPARE(stored(), expectedRows);
        QCOMPARE(cboType->currentText(), expectedText);
    }

    void renameRefillsTheList()
    {
        showTitles({QStringLiteral("a")}, QStringLiteral("a"));
        seed({QStringLiteral("added elsewhere")});
        dialogs->inputAnswers.push_back(QStringLiteral("b"));
        titles::Rename(cboType.get());
        QCOMPARE(listed(), QStringList({"b", "added elsewhere"}));
    }

    void remove_data()
    {
        QTest::addColumn<QStringList>("rows");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<int>("answer");
        QTest::addColumn<int>("questions");
        QTest::addColumn<bool>("deleted");
        QTest::addColumn<QStringList>("expectedRows");
        QTest::addColumn<QString>("expectedText");

        QTest::newRow("yes") << QStringList{"a", "b", "c"} << "b" << int(ui::vbYes) << 1 << true
                             << QStringList{"a", "c"} << "";
        QTest::newRow("first of two rows only") << QStringList{"x", "a", "x"} << "x"
                                                << int(ui::vbYes) << 1 << true
                                                << QStringList{"a", "x"} << "";
        QTest::newRow("only title") << QStringList{"a"} << "a" << int(ui::vbYes) << 1 << true
                                    << QStringList{} << "";
        QTest::newRow("no") << QStringList{"a", "b"} << "a" << int(ui::vbNo) << 1 << false
                            << QStringList{"a", "b"} << "a";
        QTest::newRow("closed box") << QStringList{"a"} << "a" << kNoAnswer << 1 << false
                                    << QStringList{"a"} << "a";
        QTest::newRow("case differs asks, deletes nothing")
            << QStringList{"abc"} << "Abc" << int(ui::vbYes) << 1 << false
            << QStringList{"abc"} << "Abc";
        QTest::newRow("not in table asks, deletes nothing")
            << QStringList{"a"} << "q" << int(ui::vbYes) << 1 << false << QStringList{"a"} << "q";
        QTest::newRow("empty text asks nothing") << QStringList{"a"} << "" << int(ui::vbYes) << 0
                                                 << false << QStringList{"a"} << "";
    }
    void remove()
    {
        QFETCH(QStringList, rows);
        QFETCH(QString, typed);
        QFETCH(int, answer);
        QFETCH(int, questions);
        QFETCH(bool, deleted);
        QFETCH(QStringList, expectedRows);
        QFETCH(QString, expectedText);
        showTitles(rows, typed);
        if (answer != kNoAnswer)
            dialogs->messageAnswers.push_back(answer);

        QCOMPARE(titles::Delete(cboType.get()), deleted);

        QCOMPARE(dialogs->messageCount(), questions);
        QCOMPARE(inputCount(), 0);
        if (questions == 1) {
            const auto* call = dialogs->lastMessage();
            QCOMPARE(call->text, QStringLiteral("Do You Want To Delete \"%1\"").arg(typed));
            QCOMPARE(call->style, 20);
            QCOMPARE(call->title, QStringLiteral("Typomat"));
        }
        QCOMPARE(listed(), expectedRows);
        QCOMPARE(stored(), expectedRows);
        QCOMPARE(cboType->currentText(), expectedText);
    }

    void addWorksAfterTheLastTitleIsDeleted()
    {
        showTitles({QStringLiteral("a")}, QStringLiteral("a"));
        dialogs->messageAnswers.push_back(ui::vbYes);
        QVERIFY(titles::Delete(cboType.get()));
        dialogs->inputAnswers.push_back(QStringLiteral("n"));
        titles::Add(cboType.get(), true);
        QCOMPARE(listed(), QStringList({"n"}));
        QCOMPARE(stored(), QStringList({"n"}));
        QCOMPARE(cboType->currentText(), QStringLiteral("n"));
    }

    void renameAndDeleteActOnTitlesAddedInThisSession()
    {
        showTitles({QStringLiteral("a")}, QString());
        dialogs->inputAnswers.push_back(QStringLiteral("b"));
        titles::Add(cboType.get(), true);
        dialogs->inputAnswers.push_back(QStringLiteral("c"));
        titles::Rename(cboType.get());
        QCOMPARE(stored(), QStringList({"a", "c"}));
        dialogs->messageAnswers.push_back(ui::vbYes);
        QVERIFY(titles::Delete(cboType.get()));
        QCOMPARE(listed(), QStringList({"a"}));
        QCOMPARE(stored(), QStringList({"a"}));
    }

    void withoutAnOpenTitleSetTheOperationsThrow()
    {
        store::rsTitle.reset();
        QVERIFY_THROWS_EXCEPTION(store::DbError, titles::Fill(cboType.get()));
        dialogs->inputAnswers.push_back(QStringLiteral("x"));
        QVERIFY_THROWS_EXCEPTION(store::DbError, titles::Add(cboType.get(), true));
        QCOMPARE(cboType->count(), 0);
    }
};

QTEST_MAIN(TitleListTest)
#include "tst_gui_titlelist.moc"
