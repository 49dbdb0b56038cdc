// SPDX-License-Identifier: MIT
#include "ScriptFixture.h"
#include "ui/TextBox.h"
#include "ui/Twips.h"
#include "script/frmScriptItem.h"

#include <QAction>
#include <QComboBox>
#include <QDateTimeEdit>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>
#include <sqlite3.h>

using Record = QList<store::Value>;
Q_DECLARE_METATYPE(Record)

namespace {

const QString kScript = QStringLiteral("S1");

oledate::OleDate timeValue(const QString& text)
{
    return oledate::parseTime(text).value();
}

// A KeyScript record: script, item, title, key, description, count-down.
Record record(const QString& script, const QString& item, const QString& title,
              const QString& key, const QString& description, const QString& countDown)
{
    return {script, item, title, key, description, timeValue(countDown)};
}

QStringList cellsOf(const QTreeWidgetItem* row)
{
    QStringList cells;
    for (int column = 0; column < 5; ++column)
        cells << row->text(column);
    return cells;
}

} // namespace

// The item editor over a real script window and a fresh database, with
// scripted dialogs and a recording key sender. The tests put rsItem into the
// adding or editing state themselves, as the list operations do.
class ScriptItemTest : public QObject {
    Q_OBJECT

    std::unique_ptr<scripttest::Fixture> fx;
    std::unique_ptr<frmScript> form;

    void addTitles(const QStringList& texts)
    {
        for (const QString& text : texts) {
            store::rsTitle->AddNew();
            store::rsTitle->SetField(0, text);
            store::rsTitle->Update();
        }
    }

    void addRecord(const Record& fields)
    {
        store::rsItem->AddNew();
        for (int i = 0; i < fields.size(); ++i)
            store::rsItem->SetField(i, fields[i]);
        store::rsItem->Update();
    }

    // Stores the record and lists it as the script window does.
    QTreeWidgetItem* addItem(const Record& fields)
    {
        addRecord(fields);
        return form->appendItemRow({fields[1].toText(), fields[2].toText(), fields[3].toText(),
                                    fields[4].toText(), oledate::formatTime(fields[5].toDate())},
                                   store::rsItem->LastModified());
    }

    // Puts the first record of (script, item) into editing and selects the row.
    void beginEdit(const QString& item, QTreeWidgetItem* row)
    {
        for (store::rsItem->MoveFirst(); !store::rsItem->AtEnd(); store::rsItem->MoveNext()) {
            if (store::rsItem->Fields(0).equalsText(kScript)
                && store::rsItem->Fields(1).equalsText(item)) {
                store::rsItem->Edit();
                form->lvScript->setCurrentItem(row);
                return;
            }
        }
        QFAIL("no such record");
    }

    // The table as stored, read through a set of its own.
    static QList<Record> stored()
    {
        auto rs = store::dbMain->OpenRecordset(QStringLiteral("KeyScript"));
        QList<Record> all;
        for (rs->MoveFirst(); !rs->AtEnd(); rs->MoveNext()) {
            Record fields;
            for (int i = 0; i < 6; ++i)
                fields << rs->Fields(i);
            all << fields;
        }
        return all;
    }

    QList<QStringList> listed() const
    {
        QList<QStringList> rows;
        for (int i = 0; i < form->lvScript->topLevelItemCount(); ++i)
            rows << cellsOf(form->lvScript->topLevelItem(i));
        return rows;
    }

    static QStringList titleList(const frmScriptItem& editor)
    {
        QStringList all;
        for (int i = 0; i < editor.cboType->count(); ++i)
            all << editor.cboType->itemText(i);
        return all;
    }

    static void fillBoxes(frmScriptItem& editor, const QStringList& values)
    {
        editor.txtItem->setText(values[0]);
        editor.cboType->setEditText(values[1]);
        editor.txtKey->setPlainText(values[2]);
        editor.txtDescription->setText(values[3]);
        editor.dtpCountDown->setTime(QTime::fromString(values[4], QStringLiteral("HH:mm:ss")));
    }

    static QStringList boxes(const frmScriptItem& editor)
    {
        return {editor.txtItem->text(), editor.cboType->currentText(),
                editor.txtKey->toPlainText(), editor.txtDescription->text(),
                editor.dtpCountDown->time().toString(QStringLiteral("HH:mm:ss"))};
    }

private Q_SLOTS:
    void init()
    {
        fx = std::make_unique<scripttest::Fixture>();
        fx->addScript(kScript, QString(), 1, oledate::OleDate{});
        form = std::make_unique<frmScript>();
        QVERIFY(store::rsItem && store::rsTitle);
        scripttest::pickScript(*form, 0);
        QCOMPARE(form->listedScript(), kScript);
    }

    void cleanup()
    {
        form.reset();
        fx.reset();
    }

    // ------------------------------------------------------------ window

    void windowIsAFixedModalDialogOverItsOpener()
    {
        store::rsItem->AddNew();
        frmScriptItem editor(*form);
        QCOMPARE(editor.windowTitle(), QStringLiteral("Typomat - Item"));
        QVERIFY(editor.isModal());
        QCOMPARE(editor.parentWidget(), form.get());
        const Qt::WindowFlags flags = editor.windowFlags();
        QCOMPARE(flags & Qt::WindowType_Mask, Qt::Dialog);
        QVERIFY(!(flags & Qt::WindowMinimizeButtonHint));
        QVERIFY(!(flags & Qt::WindowMaximizeButtonHint));
        QVERIFY(flags & Qt::WindowCloseButtonHint);

        const QSize client(ui::twipsToPixels(4155, &editor), ui::twipsToPixels(5715, &editor));
        QCOMPARE(editor.client->size(), client);
        form->show();
        editor.show();
        QVERIFY(QTest::qWaitForWindowExposed(&editor));
        QCOMPARE(editor.client->size(), client);
        QCOMPARE(editor.minimumSize(), editor.maximumSize());
        QVERIFY(editor.menuBar->geometry().bottom() < editor.client->geometry().top());
        QVERIFY((editor.frameGeometry().center() - form->frameGeometry().center())
                    .manhattanLength() <= 2);
    }

    void controlsLieInsideTheClientArea()
    {
        store::rsItem->AddNew();
        frmScriptItem editor(*form);
        const QRect area(QPoint(0, 0), editor.client->size());
        const QList<QWidget*> controls{editor.Label1, editor.Label2, editor.Label3,
                                       editor.Label4, editor.Label5, editor.txtItem,
                                       editor.cboType, editor.txtDescription, editor.txtKey,
                                       editor.cmdClear, editor.Frame1, editor.dtpCountDown,
                                       editor.cmdRun, editor.cmdSaveItem};
        for (QWidget* control : controls) {
            QCOMPARE(control->parentWidget(), editor.client);
            QVERIFY2(area.contains(control->geometry()), qPrintable(control->objectName()));
        }
        // Top to bottom as the window reads.
        QVERIFY(editor.txtItem->y() < editor.txtDescription->y());
        QVERIFY(editor.txtDescription->y() < editor.txtKey->y());
        QVERIFY(editor.txtKey->geometry().bottom() < editor.Frame1->y());
        QVERIFY(editor.Frame1->geometry().bottom() < editor.dtpCountDown->y());
        QVERIFY(editor.dtpCountDown->geometry().bottom() < editor.cmdRun->y());
        QCOMPARE(editor.txtItem->y(), editor.cboType->y());
        QVERIFY(editor.txtItem->geometry().right() < editor.cboType->x());
        QVERIFY(editor.cboType->width() > editor.txtItem->width());
        QCOMPARE(editor.cmdRun->y(), editor.cmdSaveItem->y());
        QVERIFY(editor.cmdClear->x() > editor.Label4->geometry().right());
        QCOMPARE(editor.Frame1->width(), ui::twipsToPixels(4095, &editor));
        // Every special-key button fits inside its frame.
        const QList<QPushButton*> keysInFrame = editor.Frame1->findChildren<QPushButton*>();
        QCOMPARE(keysInFrame.size(), 38);
        for (QPushButton* button : keysInFrame)
            QVERIFY2(editor.Frame1->rect().contains(button->geometry()),
                     qPrintable(button->objectName()));
    }

    void captionsAndNames()
    {
        store::rsItem->AddNew();
        frmScriptItem editor(*form);
        QCOMPARE(editor.Label1->text(), QStringLiteral("Item "));
        QCOMPARE(editor.Label2->text(), QStringLiteral("Title"));
        QCOMPARE(editor.Label3->text(), QStringLiteral("Description :"));
        QCOMPARE(editor.Label4->text(), QStringLiteral("Key :"));
        QCOMPARE(editor.Label5->text(), QStringLiteral("Count Down :"));
        QCOMPARE(editor.Frame1->title(), QStringLiteral("Special Key :"));
        QCOMPARE(editor.cmdClear->text(), QStringLiteral("Clear"));
        QCOMPARE(editor.cmdRun->text(), QStringLiteral("Test"));
        QCOMPARE(editor.cmdSaveItem->text(), QStringLiteral("Save"));
        QCOMPARE(editor.dtpCountDown->displayFormat(), QStringLiteral("HH:mm:ss"));
        QVERIFY(editor.cboType->isEditable());
        QCOMPARE(editor.mnuTitle->title(), QStringLiteral("&Title"));
        QCOMPARE(editor.menuBar->actions(), QList<QAction*>({editor.mnuTitle->menuAction()}));
        QCOMPARE(editor.mnuTitle->actions(),
                 QList<QAction*>({editor.mnusubTitle[0], editor.mnusubTitle[1],
                                  editor.mnusubTitle[2]}));
        QCOMPARE(editor.mnusubTitle[0]->text(), QStringLiteral("Add"));
        QCOMPARE(editor.mnusubTitle[1]->text(), QStringLiteral("Rename"));
        QCOMPARE(editor.mnusubTitle[2]->text(), QStringLiteral("Delete"));
        for (const char* name : {"txtItem", "cboType", "txtDescription", "txtKey", "cmdClear",
                                 "dtpCountDown", "cmdRun", "cmdSaveItem", "mnuTitle"})
            QVERIFY2(editor.findChild<QObject*>(QString::fromLatin1(name)), name);
    }

    void tabOrderFollowsTheBoxes()
    {
        store::rsItem->AddNew();
        frmScriptItem editor(*form);
        const QList<QWidget*> expected{editor.txtItem,      editor.cboType,
                                       editor.txtDescription, editor.txtKey,
                                       editor.cmdClear,     editor.dtpCountDown,
                                       editor.cmdRun,       editor.cmdSaveItem};
        // Walk the focus chain, skipping the inner parts of compound controls.
        QList<QWidget*> order{editor.txtItem};
        for (QWidget* w = editor.txtItem->nextInFocusChain();
             w != editor.txtItem && order.size() < expected.size(); w = w->nextInFocusChain()) {
            if (!(w->focusPolicy() & Qt::TabFocus))
                continue;
            bool inner = false;
            for (QWidget* control : expected)
                inner = inner || (w != control && control->isAncestorOf(w));
            if (!inner)
                order << w;
        }
        QCOMPARE(order, expected);
    }

    void enterInABoxPressesNoButton()
    {
        store::rsItem->AddNew();
        frmScriptItem editor(*form);
        editor.show();
        QVERIFY(QTest::qWaitForWindowExposed(&editor));
        editor.txtItem->setFocus();
        editor.txtItem->setText(QStringLiteral("one"));
        editor.txtKey->setPlainText(QStringLiteral("keep"));
        QTest::keyClick(editor.txtItem, Qt::Key_Return);
        QVERIFY(editor.isVisible());
        QCOMPARE(editor.txtKey->toPlainText(), QStringLiteral("keep"));
        QCOMPARE(form->lvScript->topLevelItemCount(), 0);
        QCOMPARE(store::rsItem->EditMode(), int(store::dbEditAdd));
    }

    // ----------------------------------------------------------- opening

    void openForNewItemIsEmpty()
    {
        addTitles({QStringLiteral("b"), QStringLiteral("a"), QStringLiteral("b")});
        QTreeWidgetItem* row = addItem(record(kScript, "i", "t", "k", "d", "00:01:00"));
        form->lvScript->setCurrentItem(row);  // a selected row is not read for a new item
        store::rsItem->AddNew();

        frmScriptItem editor(*form);

        QCOMPARE(boxes(editor), QStringList({"", "", "", "", "00:00:00"}));
        QCOMPARE(titleList(editor), QStringList({"b", "a", "b"}));
        QCOMPARE(editor.cboType->currentIndex(), -1);
        QVERIFY(store::rsTitle->AtEnd());
        QCOMPARE(store::rsItem->EditMode(), int(store::dbEditAdd));
        QCOMPARE(fx->dialogs.calls.size(), size_t(0));
    }

    void openForExistingItemShowsTheSelectedRow_data()
    {
        QTest::addColumn<QString>("countDownCell");
        QTest::addColumn<QString>("shown");
        QTest::newRow("time") << "00:01:30" << "00:01:30";
        QTest::newRow("hours") << "12:34:56" << "12:34:56";
        QTest::newRow("one-digit hour") << "1:02:03" << "01:02:03";
        QTest::newRow("empty cell") << "" << "00:00:00";
        QTest::newRow("not a time") << "soon" << "00:00:00";
    }
    void openForExistingItemShowsTheSelectedRow()
    {
        QFETCH(QString, countDownCell);
        QFETCH(QString, shown);
        addTitles({QStringLiteral("Editor"), QStringLiteral("Terminal")});
        addItem(record(kScript, "first", "Editor", "a", "one", "00:00:01"));
        QTreeWidgetItem* row = addItem(record(kScript, "second", "Mail", "b{ENTER}", "two",
                                              "00:00:02"));
        row->setText(4, countDownCell);  // as a run may have left the cell
        beginEdit(QStringLiteral("second"), row);

        frmScriptItem editor(*form);

        QCOMPARE(boxes(editor), QStringList({"second", "Mail", "b{ENTER}", "two", shown}));
        // A title missing from the table is shown, not added to the list.
        QCOMPARE(titleList(editor), QStringList({"Editor", "Terminal"}));
        QCOMPARE(store::rsItem->EditMode(), int(store::dbEditInProgress));
        QCOMPARE(cellsOf(row)[4], countDownCell);  // opening writes nothing
    }

    // ------------------------------------------------------------ saving

    void saveNewItemAppendsACheckedRowAndARecord()
    {
        QTreeWidgetItem* first = addItem(record(kScript, "a", "A", "1", "x", "00:00:01"));
        first->setCheckState(0, Qt::Unchecked);
        addRecord(record(QStringLiteral("S2"), "b", "B", "2", "y", "00:00:02"));
        const QList<QStringList> rowsBefore = listed();
        const QList<Record> before = stored();
        store::rsItem->AddNew();
        frmScriptItem editor(*form);
        fillBoxes(editor, {"new", "Mail", "line1{ENTER}\nline2", "about it", "00:02:05"});

        QTest::mouseClick(editor.cmdSaveItem, Qt::LeftButton);

        QCOMPARE(editor.result(), int(QDialog::Accepted));
        QCOMPARE(form->lvScript->topLevelItemCount(), 2);
        QCOMPARE(listed().mid(0, 1), rowsBefore);
        QTreeWidgetItem* added = form->lvScript->topLevelItem(1);
        QCOMPARE(cellsOf(added),
                 QStringList({"new", "Mail", "line1{ENTER}\nline2", "about it", "00:02:05"}));
        QCOMPARE(added->checkState(0), Qt::Checked);
        QCOMPARE(first->checkState(0), Qt::Unchecked);

        const QList<Record> after = stored();
        QCOMPARE(after.size(), 3);
        QCOMPARE(after.mid(0, 2), before);
        QCOMPARE(after[2], record(kScript, "new", "Mail", "line1{ENTER}\nline2", "about it",
                                  "00:02:05"));
        QVERIFY(after[2][5].isDate());
        QCOMPARE(store::rsItem->EditMode(), int(store::dbEditNone));
        QCOMPARE(fx->dialogs.calls.size(), size_t(0));
    }

    void saveEditedItemRewritesRowAndTheRecordInEditing()
    {
        addItem(record(kScript, "x", "X", "0", "zero", "00:00:09"));
        addItem(record(kScript, "dup", "Old", "1", "first", "00:00:01"));
        addRecord(record(QStringLiteral("S2"), "dup", "Other", "2", "other script", "00:00:02"));
        QTreeWidgetItem* second = addItem(record(kScript, "dup", "Old", "3", "second", "00:00:03"));
        second->setCheckState(0, Qt::Unchecked);
        QList<QStringList> rowsExpected = listed();
        QList<Record> expected = stored();
        // The editor writes the record the opener put into editing, whichever
        // it is: here the first of the name, while the second row is selected.
        beginEdit(QStringLiteral("dup"), second);
        frmScriptItem editor(*form);
        QCOMPARE(boxes(editor)[3], QStringLiteral("second"));
        fillBoxes(editor, {"renamed", "New", "k{TAB}", "changed", "01:00:00"});

        QTest::mouseClick(editor.cmdSaveItem, Qt::LeftButton);

        QCOMPARE(editor.result(), int(QDialog::Accepted));
        rowsExpected[2] = QStringList({"renamed", "New", "k{TAB}", "changed", "01:00:00"});
        QCOMPARE(listed(), rowsExpected);
        QCOMPARE(form->lvScript->indexOfTopLevelItem(second), 2);
        QCOMPARE(second->checkState(0), Qt::Unchecked);
        expected[1] = record(kScript, "renamed", "New", "k{TAB}", "changed", "01:00:00");
        QCOMPARE(stored(), expected);
        QCOMPARE(store::rsItem->EditMode(), int(store::dbEditNone));
    }

    // Field 0 is the script the list shows, not a name typed in the script
    // box since.
    void saveWritesTheListedScriptIntoFieldZero()
    {
        QTreeWidgetItem* row = addItem(record(QStringLiteral("Old name"), "i", "t", "k", "d",
                                              "00:00:01"));
        store::rsItem->MoveFirst();
        store::rsItem->Edit();
        form->lvScript->setCurrentItem(row);
        form->cboScript->setEditText(QStringLiteral("typed, not saved"));
        frmScriptItem editor(*form);
        editor.cmdSaveItem_Click();
        QCOMPARE(stored(), QList<Record>({record(kScript, "i", "t", "k", "d", "00:00:01")}));
    }

    void saveWithEveryBoxEmpty_data()
    {
        QTest::addColumn<bool>("adding");
        QTest::newRow("new item") << true;
        QTest::newRow("existing item") << false;
    }
    void saveWithEveryBoxEmpty()
    {
        QFETCH(bool, adding);
        QTreeWidgetItem* row = addItem(record(kScript, "i", "t", "k", "d", "00:00:07"));
        if (adding) {
            store::rsItem->AddNew();
        } else {
            beginEdit(QStringLiteral("i"), row);
        }
        frmScriptItem editor(*form);
        fillBoxes(editor, {"", "", "", "", "00:00:00"});

        editor.cmdSaveItem_Click();

        QCOMPARE(editor.result(), int(QDialog::Accepted));
        QCOMPARE(form->lvScript->topLevelItemCount(), adding ? 2 : 1);
        QCOMPARE(listed().last(), QStringList({"", "", "", "", "00:00:00"}));
        const QList<Record> after = stored();
        QCOMPARE(after.size(), adding ? 2 : 1);
        QCOMPARE(after.last(), record(kScript, "", "", "", "", "00:00:00"));
        for (int field = 0; field < 5; ++field)
            QVERIFY(after.last()[field].isText());  // empty text, not "no value"
        QCOMPARE(fx->dialogs.calls.size(), size_t(0));
    }

    void saveWithNothingInEditingChangesNothing()
    {
        QTreeWidgetItem* row = addItem(record(kScript, "i", "t", "k", "d", "00:00:07"));
        form->lvScript->setCurrentItem(row);
        frmScriptItem editor(*form);  // opened while no add or edit is under way
        editor.txtItem->setText(QStringLiteral("changed"));
        const QList<QStringList> rows = listed();
        const QList<Record> records = stored();

        editor.cmdSaveItem_Click();

        QCOMPARE(listed(), rows);
        QCOMPARE(stored(), records);
        QCOMPARE(editor.result(), int(QDialog::Rejected));
        QCOMPARE(fx->dialogs.messageCount(), 1);
    }

    void aRecordTheEngineRefusesLeavesTheListAsItWas()
    {
        QTreeWidgetItem* row = addItem(record(kScript, "i", "t", "k", "d", "00:00:07"));
        beginEdit(QStringLiteral("i"), row);
        frmScriptItem editor(*form);
        editor.txtItem->setText(QStringLiteral("changed"));
        const QList<QStringList> rows = listed();
        // Another program takes the table away behind the open set.
        sqlite3* other = nullptr;
        QCOMPARE(sqlite3_open(store::dbMain->path().toUtf8().constData(), &other), SQLITE_OK);
        QCOMPARE(sqlite3_exec(other, "ALTER TABLE KeyScript RENAME TO Gone", nullptr, nullptr,
                              nullptr),
                 SQLITE_OK);
        sqlite3_close(other);

        editor.cmdSaveItem_Click();

        QCOMPARE(listed(), rows);
        QCOMPARE(editor.result(), int(QDialog::Rejected));
        QCOMPARE(fx->dialogs.messageCount(), 1);
        QCOMPARE(fx->dialogs.lastMessage()->title, QStringLiteral("Typomat"));
    }

    void closeBoxWritesNothing_data()
    {
        QTest::addColumn<bool>("adding");
        QTest::newRow("after New") << true;
        QTest::newRow("after Edit") << false;
    }
    void closeBoxWritesNothing()
    {
        QFETCH(bool, adding);
        QTreeWidgetItem* row = addItem(record(kScript, "i", "t", "k", "d", "00:00:07"));
        const QList<QStringList> rows = listed();
        const QList<Record> records = stored();
        if (adding) {
            store::rsItem->AddNew();
        } else {
            beginEdit(QStringLiteral("i"), row);
        }
        {
            frmScriptItem editor(*form);
            editor.show();
            QVERIFY(QTest::qWaitForWindowExposed(&editor));
            fillBoxes(editor, {"n", "t2", "k2", "d2", "00:09:00"});
            QVERIFY(editor.close());
            QCOMPARE(editor.result(), int(QDialog::Rejected));
        }
        QCOMPARE(listed(), rows);
        QCOMPARE(stored(), records);
        // The pending add or edit stays open until the next operation gives it up.
        QCOMPARE(store::rsItem->EditMode(), int(adding ? store::dbEditAdd : store::dbEditInProgress));
        store::rsItem->MoveFirst();
        QCOMPARE(store::rsItem->EditMode(), int(store::dbEditNone));
        QCOMPARE(stored(), records);
    }

    void closingWithChangesAsksFirst_data()
    {
        QTest::addColumn<bool>("byEsc");
        QTest::addColumn<int>("answer");   // 0: nothing was changed, so no question
        QTest::newRow("Esc, unchanged") << true << 0;
        QTest::newRow("close box, unchanged") << false << 0;
        QTest::newRow("Esc, Yes") << true << int(ui::vbYes);
        QTest::newRow("Esc, No") << true << int(ui::vbNo);
        QTest::newRow("Esc, Cancel") << true << int(ui::vbCancel);
        QTest::newRow("close box, Cancel") << false << int(ui::vbCancel);
    }
    void closingWithChangesAsksFirst()
    {
        QFETCH(bool, byEsc);
        QFETCH(int, answer);
        QTreeWidgetItem* row = addItem(record(kScript, "i", "t", "k", "d", "00:00:07"));
        beginEdit(QStringLiteral("i"), row);
        QList<Record> records = stored();
        frmScriptItem editor(*form);
        editor.show();
        QVERIFY(QTest::qWaitForWindowExposed(&editor));
        if (answer) {
            editor.txtKey->setPlainText(QStringLiteral("typed"));
            fx->dialogs.messageAnswers = {answer};
        }

        if (byEsc)
            QTest::keyClick(&editor, Qt::Key_Escape);
        else
            editor.close();

        QCOMPARE(fx->dialogs.messageCount(), answer ? 1 : 0);
        if (answer) {
            QCOMPARE(fx->dialogs.lastMessage()->text, QStringLiteral("Do You Want To Save The Changes"));
            QCOMPARE(fx->dialogs.lastMessage()->style, int(ui::vbYesNoCancel | ui::vbQuestion));
            QCOMPARE(fx->dialogs.lastMessage()->title, QStringLiteral("Typomat"));
        }
        QCOMPARE(editor.isVisible(), answer == ui::vbCancel);
        QCOMPARE(editor.txtKey->toPlainText(), QString(answer ? "typed" : "k"));
        QCOMPARE(cellsOf(row)[2], QString(answer == ui::vbYes ? "typed" : "k"));
        if (answer == ui::vbYes)
            records[0][3] = QStringLiteral("typed");
        QCOMPARE(stored(), records);
    }

    void realSaveQuestionOffersYesNoCancel()
    {
        ui::installDialogs(nullptr);
        QStringList seen;
        QTimer::singleShot(100, this, [&] {
            if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
                for (QAbstractButton* button : box->buttons())
                    seen << button->text().remove(QLatin1Char('&'));
                seen << QString::number(box->icon());
                QTest::keyClick(box, Qt::Key_Escape);
            }
        });
        const int answer = ui::dialogs().MsgBox(QStringLiteral("Do You Want To Save The Changes"),
                                                ui::vbYesNoCancel | ui::vbQuestion, "Typomat");
        ui::installDialogs(&fx->dialogs);
        QCOMPARE(answer, int(ui::vbCancel));
        seen.sort();
        QCOMPARE(seen, (QStringList{QString::number(QMessageBox::Question), "Cancel", "No", "Yes"}));
    }

    // -------------------------------------------------------------- test

    void testSendsTheKeysToTheTitledWindow_data()
    {
        QTest::addColumn<QString>("title");
        QTest::addColumn<QStringList>("openTitles");
        QTest::addColumn<QString>("failSend");
        QTest::addColumn<QStringList>("activated");
        QTest::addColumn<QStringList>("sent");
        QTest::addColumn<QString>("message");

        QTest::newRow("good window") << "Editor" << QStringList{"Editor"} << ""
                                     << QStringList{"Editor"} << QStringList{"ab{ENTER}"} << "";
        QTest::newRow("title unchanged") << " Editor " << QStringList{" Editor "} << ""
                                         << QStringList{" Editor "} << QStringList{"ab{ENTER}"}
                                         << "";
        QTest::newRow("empty title") << "" << QStringList{"Editor"} << "" << QStringList{}
                                     << QStringList{} << "";
        QTest::newRow("missing window") << "Mail" << QStringList{"Editor"} << ""
                                        << QStringList{} << QStringList{}
                                        << keys::errors::noWindowTitled("Mail");
        QTest::newRow("sending fails") << "Editor" << QStringList{"Editor"} << keys::errors::focusLostAfter(2, 3)
                                       << QStringList{"Editor"} << QStringList{}
                                       << keys::errors::focusLostAfter(2, 3);
    }
    void testSendsTheKeysToTheTitledWindow()
    {
        QFETCH(QString, title);
        QFETCH(QStringList, openTitles);
        QFETCH(QString, failSend);
        QFETCH(QStringList, activated);
        QFETCH(QStringList, sent);
        QFETCH(QString, message);
        fx->sender.openTitles = openTitles;
        fx->sender.failSendWith = failSend;
        store::rsItem->AddNew();
        frmScriptItem editor(*form);
        const QStringList values{"item", title, "ab{ENTER}", "desc", "00:00:05"};
        fillBoxes(editor, values);

        QTest::mouseClick(editor.cmdRun, Qt::LeftButton);

        QCOMPARE(fx->sender.activatedTitles(), activated);
        QCOMPARE(fx->sender.sentKeyStrings(), sent);
        for (const auto& call : fx->sender.calls)
            QVERIFY(call.kind != keys::RecordingKeySender::Call::Send || call.wait);
        if (message.isEmpty()) {
            QCOMPARE(fx->dialogs.calls.size(), size_t(0));
        } else {
            QCOMPARE(fx->dialogs.calls.size(), size_t(1));
            QCOMPARE(fx->dialogs.lastMessage()->text, message);
            QCOMPARE(fx->dialogs.lastMessage()->style, 0);
            QCOMPARE(fx->dialogs.lastMessage()->title, QStringLiteral("Error"));
        }
        // Test saves nothing and changes no box.
        QCOMPARE(boxes(editor), values);
        QCOMPARE(editor.result(), 0);
        QCOMPARE(form->lvScript->topLevelItemCount(), 0);
        QCOMPARE(store::rsItem->EditMode(), int(store::dbEditAdd));
        QCOMPARE(stored().size(), 0);
    }

    void testWithoutAKeySenderShowsTheError()
    {
        keys::installKeySender(nullptr);
        store::rsItem->AddNew();
        frmScriptItem editor(*form);
        editor.cboType->setEditText(QStringLiteral("Editor"));
        editor.cmdRun_Click();
        QCOMPARE(fx->dialogs.messageCount(), 1);
        QCOMPARE(fx->dialogs.lastMessage()->title, QStringLiteral("Error"));
        QVERIFY(!fx->dialogs.lastMessage()->text.isEmpty());
    }

    // ------------------------------------------------------- key box

    void clearEmptiesTheKeyBoxOnly()
    {
        store::rsItem->AddNew();
        frmScriptItem editor(*form);
        fillBoxes(editor, {"item", "title", "abc{F5}", "desc", "00:00:05"});
        QTest::mouseClick(editor.cmdClear, Qt::LeftButton);
        QCOMPARE(boxes(editor), QStringList({"item", "title", "", "desc", "00:00:05"}));
    }

    void specialKeysGoIntoThisWindowsKeyBox()
    {
        store::rsItem->AddNew();
        frmScriptItem editor(*form);
        auto* enter = editor.Frame1->findChild<QPushButton*>(QStringLiteral("cmdEnter"));
        QVERIFY(enter);
        editor.txtKey->setPlainText(QStringLiteral("abc"));
        QTextCursor caret = editor.txtKey->textCursor();
        caret.setPosition(1);
        editor.txtKey->setTextCursor(caret);
        QTest::mouseClick(enter, Qt::LeftButton);
        QCOMPARE(editor.txtKey->toPlainText(), QStringLiteral("a{ENTER}bc"));
        QCOMPARE(editor.txtKey->textCursor().position(), 8);
        QCOMPARE(editor.txtDescription->text(), QString());
    }

    // ------------------------------------------------------- title menu

    void titleMenuMaintainsTheTitleList()
    {
        addTitles({QStringLiteral("a"), QStringLiteral("b")});
        store::rsItem->AddNew();
        frmScriptItem editor(*form);
        editor.txtItem->setText(QStringLiteral("kept"));

        fx->dialogs.inputAnswers.push_back(QStringLiteral("c"));
        editor.mnusubTitle[0]->trigger();
        QCOMPARE(titleList(editor), QStringList({"a", "b", "c"}));
        QCOMPARE(editor.cboType->currentText(), QStringLiteral("c"));  // the new title is current

        editor.cboType->setEditText(QStringLiteral("a"));
        fx->dialogs.inputAnswers.push_back(QStringLiteral("A"));
        editor.mnusubTitle[1]->trigger();
        QCOMPARE(titleList(editor), QStringList({"A", "b", "c"}));
        QCOMPARE(editor.cboType->currentText(), QStringLiteral("A"));

        editor.cboType->setEditText(QStringLiteral("b"));
        fx->dialogs.messageAnswers.push_back(ui::vbYes);
        editor.mnusubTitle_Click(2);
        QCOMPARE(titleList(editor), QStringList({"A", "c"}));
        QCOMPARE(editor.cboType->currentText(), QString());
        QCOMPARE(editor.txtItem->text(), QStringLiteral("kept"));

        auto rs = store::dbMain->OpenRecordset(QStringLiteral("Title"));
        QStringList table;
        for (rs->MoveFirst(); !rs->AtEnd(); rs->MoveNext())
            table << rs->Fields(0).toText();
        QCOMPARE(table, QStringList({"A", "c"}));
        // The item being added is untouched by the title operations.
        QCOMPARE(store::rsItem->EditMode(), int(store::dbEditAdd));
    }

    // Shift+Enter breaks the line as Enter does, in the key box and in the
    // script's description box: no line separator that would be typed as a
    // character instead of Enter.
    void shiftEnterBreaksTheLineAsEnter()
    {
        store::rsItem->AddNew();
        frmScriptItem editor(*form);
        for (QPlainTextEdit* box : {editor.txtKey, form->txtDescription}) {
            box->clear();
            QTest::keyClicks(box, QStringLiteral("ab"));
            QTest::keyClick(box, Qt::Key_Return, Qt::ShiftModifier);
            QTest::keyClick(box, Qt::Key_Enter, Qt::ShiftModifier | Qt::KeypadModifier);
            QTest::keyClicks(box, QStringLiteral("cd"));
            QCOMPARE(ui::exactText(box), QStringLiteral("ab\n\ncd"));
        }
    }

    // Texts longer than a stock one-line box holds (32,767 characters) are
    // shown and saved whole: an item's name, title and description, and the
    // default text of an input box.
    void longTextsAreKeptWhole()
    {
        const QString name(40000, u'n'), title(40000, u't'), description(40000, u'd');
        QTreeWidgetItem* row = addItem(record(kScript, name, title, "k", description, "00:00:01"));
        beginEdit(name, row);
        {
            frmScriptItem editor(*form);
            QCOMPARE(boxes(editor).mid(0, 4), (QStringList{name, title, "k", description}));
            editor.cmdSaveItem_Click();
        }
        QCOMPARE(stored(), QList<Record>{record(kScript, name, title, "k", description, "00:00:01")});

        ui::installDialogs(nullptr);
        QTimer::singleShot(100, this, [] {
            if (auto* box = qobject_cast<QDialog*>(QApplication::activeModalWidget()))
                box->accept();
        });
        const QString answer = ui::dialogs().InputBox("Rename Item", "Typomat", name);
        ui::installDialogs(&fx->dialogs);
        QCOMPARE(answer, name);
        QCOMPARE(fx->dialogs.calls.size(), size_t(0));
    }

    // No-break spaces, line and paragraph separators are sent and stored as
    // they are, not as spaces and line feeds (which would type Enter).
    void keyTextKeepsEveryCharacter()
    {
        const QString loaded = QStringLiteral("a\u00A0b\u2029c\u2028d");
        QTreeWidgetItem* row = addItem(record(kScript, "i", "Win", loaded, "x", "00:00:01"));
        beginEdit(QStringLiteral("i"), row);
        {
            frmScriptItem editor(*form);
            QTest::mouseClick(editor.cmdRun, Qt::LeftButton);
            QTest::mouseClick(editor.cmdSaveItem, Qt::LeftButton);
        }
        QCOMPARE(fx->sender.sentKeyStrings(), QStringList{loaded});
        QCOMPARE(stored()[0][3].toText(), loaded);
        QCOMPARE(row->text(2), loaded);

        fx->sender.clear();
        store::rsItem->AddNew();
        frmScriptItem editor(*form);
        fillBoxes(editor, {"typed", "Win", "", "d\u00A0e", "00:00:01"});
        editor.txtKey->insertPlainText(QStringLiteral("1\u00A02\u20283"));
        QTest::keyClick(editor.txtKey, Qt::Key_Return);
        QTest::keyClicks(editor.txtKey, QStringLiteral("4"));
        QTest::mouseClick(editor.cmdRun, Qt::LeftButton);
        QTest::mouseClick(editor.cmdSaveItem, Qt::LeftButton);
        const QString typed = QStringLiteral("1\u00A02\u20283\n4");
        QCOMPARE(fx->sender.sentKeyStrings(), QStringList{typed});
        QCOMPARE(stored()[1][3].toText(), typed);
        QCOMPARE(stored()[1][4].toText(), QStringLiteral("d\u00A0e"));
    }
};

QTEST_MAIN(ScriptItemTest)
#include "tst_gui_scriptitem.moc"
