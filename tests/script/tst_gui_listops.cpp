// SPDX-License-Identifier: MIT
// The item list's operations: right-button menu, double-click, New, Edit
// and Delete with the item lookup, also during a run.
#include "OtherWindow.h"
#include "ScriptFixture.h"
#include "script/frmScriptItem.h"

#include <QAction>
#include <QApplication>
#include <QMenu>
#include <QTimer>
#include <QComboBox>
#include <QDateTimeEdit>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>

using namespace scripttest;

namespace {

// The script window with the pop-up menu and the item editor replaced by
// recorders, so that nothing blocks.
class ListWindow : public frmScript {
public:
    struct EditorOpening {
        int editMode;
        QStringList record;     // rsItem's current record, when editing
        QString selectedRow;
    };

    int popups = 0;
    QPoint popupAt;
    std::vector<EditorOpening> editors;
    std::function<void(ListWindow&)> editorAction;   // what the user does in it

protected:
    void showPopupMenu(const QPoint& globalPos) override
    {
        ++popups;
        popupAt = globalPos;
    }
    void showItemEditor() override
    {
        EditorOpening seen{store::rsItem->EditMode(), {}, {}};
        if (seen.editMode == store::dbEditInProgress)
            for (int i = 0; i < 6; ++i)
                seen.record << store::rsItem->Fields(i).toText();
        if (const QTreeWidgetItem* row = lvScript->currentItem())
            seen.selectedRow = row->text(0);
        editors.push_back(seen);
        if (editorAction)
            editorAction(*this);
    }
};

// What the user does in the real editor: fill the boxes and press Save.
void saveInEditor(frmScript& opener, const QString& item, const QString& title,
                  const QString& keys, QTime countDown)
{
    frmScriptItem editor(opener);
    editor.txtItem->setText(item);
    editor.cboType->setEditText(title);
    editor.txtKey->setPlainText(keys);
    editor.txtDescription->setText(QString());
    editor.dtpCountDown->setTime(countDown);
    editor.cmdSaveItem_Click();
}

} // namespace

class ListOpsTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<Fixture> fx;

    // Script "S": dup (keys "first"), other, dup (keys "second"); script "T"
    // has a "dup" of its own, stored before all of them.
    void seedDuplicates()
    {
        fx->addScript("S", "", 1, seconds(0));
        fx->addScript("T", "", 1, seconds(0));
        fx->addItems({{"T", "dup", "Win T", "of T", "", store::Value(seconds(1))},
                      {"S", "dup", "Win 1", "first", "", store::Value(seconds(1))},
                      {"S", "other", "Win 2", "middle", "", store::Value(seconds(2))},
                      {"S", "dup", "Win 3", "second", "", store::Value(seconds(3))}});
    }

    // Script name with these items, listed in a window.
    std::unique_ptr<ListWindow> windowWith(const QString& name, const std::vector<ItemRecord>& items,
                                           const QString& description = {})
    {
        fx->addScript(name, description, 1, seconds(0));
        fx->addItems(items);
        auto form = stillWindow<ListWindow>();
        pickScript(*form, name);
        return form;
    }

    std::unique_ptr<ListWindow> windowWithDuplicates()
    {
        seedDuplicates();
        auto form = stillWindow<ListWindow>();
        pickScript(*form, "S");
        return form;
    }

    QStringList storedKeys() const
    {
        QStringList keys;
        for (const QStringList& row : fx->rows("KeyScript"))
            keys << row[3];
        return keys;
    }

private Q_SLOTS:
    void init() { fx = std::make_unique<Fixture>(); }
    void cleanup() { fx.reset(); }

    void rightButtonMenuStates_data()
    {
        QTest::addColumn<bool>("withRows");
        QTest::newRow("empty list") << false;
        QTest::newRow("list with rows") << true;
    }
    void rightButtonMenuStates()
    {
        QFETCH(bool, withRows);
        std::vector<ItemRecord> rows;
        if (withRows)
            rows.push_back({"S", "a", "T", "k", "", store::Value(seconds(1))});
        auto form = windowWith("S", rows);
        // States left from an earlier press must not stick.
        for (QAction* entry : form->mnusubPopup)
            entry->setEnabled(!withRows);
        form->mnusubPopup[0]->setEnabled(true);

        form->lvScript_MouseDown(2, 0, 10, 20);
        QCOMPARE(form->popups, 1);
        QCOMPARE(form->popupAt, form->lvScript->viewport()->mapToGlobal(QPoint(10, 20)));
        QVERIFY(form->mnusubPopup[0]->isEnabled());
        QCOMPARE(form->mnusubPopup[1]->isEnabled(), withRows);
        QCOMPARE(form->mnusubPopup[2]->isEnabled(), withRows);
    }

    void otherButtonsShowNoMenu()
    {
        auto form = windowWithDuplicates();
        form->mnusubPopup[1]->setEnabled(false);
        form->lvScript_MouseDown(1, 0, 5, 5);
        form->lvScript_MouseDown(4, 0, 5, 5);
        form->lvScript_MouseDown(1, 1, 5, 5);
        QCOMPARE(form->popups, 0);
        QVERIFY(!form->mnusubPopup[1]->isEnabled());
    }

    void mouseOnTheList()
    {
        auto form = windowWithDuplicates();
        form->show();
        QVERIFY(QTest::qWaitForWindowExposed(form.get()));
        QWidget* viewport = form->lvScript->viewport();
        const QPoint onRow2 = form->lvScript->visualItemRect(form->lvScript->topLevelItem(1)).center();

        QTest::mouseClick(viewport, Qt::LeftButton, {}, onRow2);
        QTest::mouseClick(viewport, Qt::MiddleButton, {}, onRow2);
        QCOMPARE(form->popups, 0);

        // The right button selects the row under the pointer, then shows the menu.
        const QPoint onRow3 = form->lvScript->visualItemRect(form->lvScript->topLevelItem(2)).center();
        QTest::mouseClick(viewport, Qt::RightButton, {}, onRow3);
        QCOMPARE(form->popups, 1);
        QCOMPARE(form->popupAt, viewport->mapToGlobal(onRow3));
        QCOMPARE(form->lvScript->currentItem(), form->lvScript->topLevelItem(2));

        QTest::mouseDClick(viewport, Qt::LeftButton, {}, onRow2);
        QCOMPARE(form->editors.size(), size_t(1));
        QCOMPARE(form->editors[0].selectedRow, QStringLiteral("other"));
        QCOMPARE(form->editors[0].record[3], QStringLiteral("middle"));
    }

    void realMenuOpensRealEditor()
    {
        // The real window, through a real pop-up menu and a real editor.
        seedDuplicates();
        auto real = stillWindow();
        pickScript(*real, "S");
        real->show();
        QVERIFY(QTest::qWaitForWindowExposed(real.get()));

        QString menuSeen, editorItem, editorKeys;
        QTimer::singleShot(300, real.get(), [&] {
            auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
            if (!menu)
                return;
            menuSeen = menu->title();
            QTimer::singleShot(300, real.get(), [&] {
                if (auto* editor = qobject_cast<frmScriptItem*>(QApplication::activeModalWidget())) {
                    editorItem = editor->txtItem->text();
                    editorKeys = editor->txtKey->toPlainText();
                    editor->reject();   // the close box: nothing is written
                }
            });
            QTest::keyClick(menu, Qt::Key_Down);
            QTest::keyClick(menu, Qt::Key_Down);
            QTest::keyClick(menu, Qt::Key_Return);   // "Edit"
        });
        QWidget* viewport = real->lvScript->viewport();
        const QPoint onRow3 = real->lvScript->visualItemRect(real->lvScript->topLevelItem(2)).center();
        QTest::mouseClick(viewport, Qt::RightButton, {}, onRow3);

        QCOMPARE(menuSeen, QStringLiteral("Popup"));
        QCOMPARE(editorItem, QStringLiteral("dup"));
        QCOMPARE(editorKeys, QStringLiteral("second"));   // the selected row's cells
        QCOMPARE(store::rsItem->EditMode(), int(store::dbEditInProgress));
        QCOMPARE(store::rsItem->Fields(3).toText(), QStringLiteral("second"));
        QCOMPARE(column(*real, 2), (QStringList{"first", "middle", "second"}));
        QCOMPARE(storedKeys(), (QStringList{"of T", "first", "middle", "second"}));
    }

    void doubleClickOnEmptyListDoesNothing()
    {
        auto form = windowWith("S", {{"T", "a", "T", "k", "", store::Value(seconds(1))}});
        form->lvScript_DblClick();
        QVERIFY(form->editors.empty());
        QCOMPARE(fx->dialogs.calls.size(), size_t(0));
    }

    void editTakesTheRowsOwnRecord_data()
    {
        QTest::addColumn<bool>("byDoubleClick");
        QTest::newRow("double-click") << true;
        QTest::newRow("Edit") << false;
    }
    void editTakesTheRowsOwnRecord()
    {
        QFETCH(bool, byDoubleClick);
        auto form = windowWithDuplicates();
        form->lvScript->setCurrentItem(form->lvScript->topLevelItem(2));
        form->editorAction = [](ListWindow& w) {
            saveInEditor(w, "dup", "Win X", "edited", QTime(0, 0, 9));
        };
        if (byDoubleClick)
            form->lvScript_DblClick();
        else
            form->mnusubPopup_Click(1);

        QCOMPARE(form->editors.size(), size_t(1));
        QCOMPARE(form->editors[0].editMode, int(store::dbEditInProgress));
        QCOMPARE(form->editors[0].selectedRow, QStringLiteral("dup"));
        QCOMPARE(form->editors[0].record.mid(0, 4), (QStringList{"S", "dup", "Win 3", "second"}));
        // The second "dup" row is the second "dup" record of the script.
        QCOMPARE(column(*form, 2), (QStringList{"first", "middle", "edited"}));
        QCOMPARE(storedKeys(), (QStringList{"of T", "first", "middle", "edited"}));
        QCOMPARE(fx->rows("KeyScript")[3][5], QStringLiteral("00:00:09"));
    }

    void editorWritesTheRowItWasOpenedFor()
    {
        // The run fails while the editor is open and selects the failed row;
        // Save still writes the row the editor was opened for.
        auto form = windowWithDuplicates();
        form->lvScript->setCurrentItem(form->lvScript->topLevelItem(1));
        form->editorAction = [this](ListWindow& w) {
            frmScriptItem editor(w);
            editor.txtKey->setPlainText("edited");
            fx->sender.failSendWith = "focus lost";
            w.cmdStart_Click();
            w.Timer2_Timer();
            QCOMPARE(w.lvScript->currentItem(), w.lvScript->topLevelItem(0));
            editor.cmdSaveItem_Click();
        };
        form->mnusubPopup_Click(1);
        QCOMPARE(column(*form, 0), (QStringList{"dup", "other", "dup"}));
        QCOMPARE(column(*form, 2), (QStringList{"first", "edited", "second"}));
        QCOMPARE(storedKeys(), (QStringList{"of T", "first", "edited", "second"}));
    }

    void itemOfAnotherScriptIsNeverMatched()
    {
        auto form = windowWithDuplicates();
        form->lvScript->setCurrentItem(form->lvScript->topLevelItem(0));
        form->mnusubPopup_Click(1);
        QCOMPARE(form->editors.size(), size_t(1));
        QCOMPARE(form->editors[0].record[0], QStringLiteral("S"));
        QCOMPARE(form->editors[0].record[3], QStringLiteral("first"));
    }

    void newBeginsARecord()
    {
        auto form = windowWithDuplicates();
        form->lvScript->setCurrentItem(form->lvScript->topLevelItem(1));
        form->mnusubPopup_Click(1);   // Edit, closed with the close box
        QCOMPARE(store::rsItem->EditMode(), int(store::dbEditInProgress));
        form->editorAction = [](ListWindow& w) {
            saveInEditor(w, "new", "Win N", "added", QTime(0, 1, 0));
        };
        form->mnusubPopup_Click(0);
        QCOMPARE(form->editors.back().editMode, int(store::dbEditAdd));
        QCOMPARE(column(*form, 0), (QStringList{"dup", "other", "dup", "new"}));
        QCOMPARE(checks(*form).last(), true);
        // The edit left open was given up, not stored.
        QCOMPARE(storedKeys(), (QStringList{"of T", "first", "middle", "second", "added"}));
        QCOMPARE(fx->rows("KeyScript")[4][0], QStringLiteral("S"));
    }

    void noSelectedRowChangesNothing_data()
    {
        QTest::addColumn<int>("operation");   // 0 double-click, 1 Edit, 2 Delete
        QTest::newRow("double-click") << 0;
        QTest::newRow("Edit") << 1;
        QTest::newRow("Delete") << 2;
    }
    void noSelectedRowChangesNothing()
    {
        QFETCH(int, operation);
        auto form = windowWithDuplicates();
        form->lvScript->setCurrentItem(nullptr);
        fx->dialogs.messageAnswers = {ui::vbYes};
        if (operation == 0)
            form->lvScript_DblClick();
        else
            form->mnusubPopup_Click(operation);
        QVERIFY(form->editors.empty());
        QCOMPARE(fx->dialogs.calls.size(), size_t(0));
        QCOMPARE(column(*form, 0), (QStringList{"dup", "other", "dup"}));
        QCOMPARE(storedKeys(), (QStringList{"of T", "first", "middle", "second"}));
        QCOMPARE(store::rsItem->EditMode(), int(store::dbEditNone));
    }

    void deleteAnsweredNo()
    {
        auto form = windowWithDuplicates();
        form->lvScript->setCurrentItem(form->lvScript->topLevelItem(2));
        fx->dialogs.messageAnswers = {ui::vbNo};
        form->mnusubPopup_Click(2);
        QCOMPARE(fx->dialogs.messageCount(), 1);
        const auto* asked = fx->dialogs.lastMessage();
        QCOMPARE(asked->text, QStringLiteral("Do You Want To Delete \"dup\""));
        QCOMPARE(asked->style, 20);
        QCOMPARE(asked->title, QStringLiteral("Typomat"));
        QCOMPARE(column(*form, 2), (QStringList{"first", "middle", "second"}));
        QCOMPARE(storedKeys(), (QStringList{"of T", "first", "middle", "second"}));
        // The lookup ran before the question: rsItem stands on the row's record.
        QCOMPARE(store::rsItem->Fields(3).toText(), QStringLiteral("second"));
    }

    void deleteAnsweredYes()
    {
        auto form = windowWithDuplicates();
        form->lvScript->setCurrentItem(form->lvScript->topLevelItem(2));
        fx->dialogs.messageAnswers = {ui::vbYes};
        form->mnusubPopup_Click(2);
        QCOMPARE(fx->dialogs.messageCount(), 1);
        // The selected row goes from the list, its own record from the table.
        QCOMPARE(column(*form, 2), (QStringList{"first", "middle"}));
        QCOMPARE(storedKeys(), (QStringList{"of T", "first", "middle"}));
    }

    // A name typed in the Name box and not saved changes no item: edits and
    // new items go to the script whose items the list shows.
    void itemsStayWithTheListedScript()
    {
        fx->addScript("A", "", 1, seconds(0));
        fx->addScript("B", "", 1, seconds(0));
        fx->addItems({{"A", "Enter", "Win A", "a", "", store::Value(seconds(1))},
                      {"B", "Enter", "Win B", "b", "", store::Value(seconds(2))}});
        auto form = stillWindow<ListWindow>();
        pickScript(*form, "A");
        form->cboScript->setEditText("B");
        form->lvScript->setCurrentItem(form->lvScript->topLevelItem(0));
        form->editorAction = [](ListWindow& w) { saveInEditor(w, "Enter", "Win A", "edited", QTime(0, 0, 3)); };
        form->lvScript_DblClick();
        form->cboScript->setEditText("Typo");
        form->editorAction = [](ListWindow& w) { saveInEditor(w, "New", "Win A", "new", QTime(0, 0, 4)); };
        form->mnusubPopup_Click(0);

        const auto rows = fx->rows("KeyScript");
        QCOMPARE(rows.size(), size_t(3));
        QCOMPARE(rows[0].mid(0, 4), (QStringList{"A", "Enter", "Win A", "edited"}));
        QCOMPARE(rows[1].mid(0, 4), (QStringList{"B", "Enter", "Win B", "b"}));
        QCOMPARE(rows[2].mid(0, 4), (QStringList{"A", "New", "Win A", "new"}));
        pickScript(*form, "A");
        QCOMPARE(column(*form, 2), (QStringList{"edited", "new"}));
        QCOMPARE(fx->dialogs.calls.size(), size_t(0));
    }

    // The items of a deleted script stay in the table and come back under a
    // new script of its name; until then they are not listed, and the rows
    // that are listed edit and delete their own records.
    void rowsKeepTheirOwnRecords()
    {
        auto form = windowWith("S", {{"S", "Enter", "Win", "old", "", store::Value(seconds(1))}});
        fx->dialogs.messageAnswers = {ui::vbYes};
        form->cmdDelete_Click();
        fx->dialogs.inputAnswers = {"S"};
        form->cmdNew_Click();
        form->editorAction = [](ListWindow& w) { saveInEditor(w, "Enter", "Win", "new", QTime(0, 0, 1)); };
        form->mnusubPopup_Click(0);
        form->lvScript->setCurrentItem(form->lvScript->topLevelItem(0));
        form->editorAction = [](ListWindow& w) { saveInEditor(w, "Enter", "Win", "edited", QTime(0, 0, 1)); };
        form->mnusubPopup_Click(1);
        QCOMPARE(storedKeys(), (QStringList{"old", "edited"}));
        QCOMPARE(column(*form, 2), QStringList{"edited"});

        fx->dialogs.messageAnswers = {ui::vbYes};
        form->mnusubPopup_Click(2);
        QCOMPARE(storedKeys(), QStringList{"old"});
        pickScript(*form, "S");
        QCOMPARE(column(*form, 2), QStringList{"old"});
    }

    // After another Typomat window changed a script or an item, Save refuses;
    // choosing the script again shows what is stored, and Save works again.
    void choosingAgainAfterAConflictShowsTheStoredValues()
    {
        auto form = windowWith("S", {{"S", "Enter", "Win", "mine", "", store::Value(seconds(1))}}, "mine");
        testsupport::changeElsewhere(QStringLiteral("Script"), 0, 1, QStringLiteral("theirs"));
        testsupport::changeElsewhere(QStringLiteral("KeyScript"), 0, 3, QStringLiteral("theirs"));
        form->txtDescription->setPlainText("typed");
        form->cmdSave_Click();
        QCOMPARE(fx->dialogs.lastMessage()->text, testsupport::kChangedElsewhere);
        form->lvScript->setCurrentItem(form->lvScript->topLevelItem(0));
        form->editorAction = [](ListWindow& w) { saveInEditor(w, "Enter", "Win", "typed", QTime(0, 0, 1)); };
        form->mnusubPopup_Click(1);
        QCOMPARE(fx->dialogs.messageCount(), 2);
        QCOMPARE(fx->dialogs.lastMessage()->text, testsupport::kChangedElsewhere);

        pickScript(*form, "S");
        QCOMPARE(form->txtDescription->toPlainText(), QStringLiteral("theirs"));
        QCOMPARE(column(*form, 2), QStringList{"theirs"});
        form->txtDescription->setPlainText("saved");
        form->cmdSave_Click();
        form->lvScript->setCurrentItem(form->lvScript->topLevelItem(0));
        form->mnusubPopup_Click(1);
        QCOMPARE(fx->dialogs.messageCount(), 2);
        QCOMPARE(fx->rows("Script")[0][1], QStringLiteral("saved"));
        QCOMPARE(storedKeys(), QStringList{"typed"});

        // Deleted elsewhere: choosing it says so and lists what is stored.
        fx->addScript("T", "", 1, seconds(0));
        testsupport::deleteElsewhere(QStringLiteral("Script"), 0);
        pickScript(*form, "S");
        QVERIFY(fx->dialogs.lastMessage()->text.contains("no longer stored"));
        QCOMPARE(form->cboScript->itemText(0), QStringLiteral("T"));
        QCOMPARE(form->cboScript->count(), 1);
        QCOMPARE(form->lvScript->topLevelItemCount(), 0);
        QVERIFY(!form->cmdSave->isEnabled());
    }

    void listOperationsDuringARun()
    {
        auto form = windowWith("Run", {{"Run", "A", "Win A", "a", "", store::Value(seconds(2))},
                                     {"Run", "B", "Win B", "b", "", store::Value(seconds(1))},
                                     {"Run", "C", "Win C", "c", "", store::Value(seconds(1))}});
        form->cmdStart_Click();
        fx->clock.advance(1);
        form->Timer1_Timer();
        form->Timer2_Timer();
        QCOMPARE(column(*form, 4)[0], QStringLiteral("00:00:01"));

        // Delete B, edit C's keys, add D: the list stays usable while running.
        form->lvScript->setCurrentItem(form->lvScript->topLevelItem(1));
        fx->dialogs.messageAnswers = {ui::vbYes};
        form->mnusubPopup_Click(2);
        form->lvScript->setCurrentItem(form->lvScript->topLevelItem(1));
        form->editorAction = [](ListWindow& w) { saveInEditor(w, "C", "Win C", "c edited", QTime(0, 0, 1)); };
        form->mnusubPopup_Click(1);
        form->editorAction = [](ListWindow& w) { saveInEditor(w, "D", "Win D", "d", QTime(0, 0, 2)); };
        form->mnusubPopup_Click(0);
        QCOMPARE(column(*form, 0), (QStringList{"A", "C", "D"}));
        QVERIFY(form->bRunning);

        for (int t = 0; t < 6; ++t)
            form->Timer2_Timer();
        QCOMPARE(fx->sender.sentKeyStrings(), (QStringList{"a", "c edited", "d"}));
        QCOMPARE(fx->sender.activatedTitles(), (QStringList{"Win A", "Win C", "Win D"}));
    }
};

QTEST_MAIN(ListOpsTest)
#include "tst_gui_listops.moc"
