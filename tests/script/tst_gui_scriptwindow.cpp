// SPDX-License-Identifier: MIT
// The script window: layout, loading, choosing, creating, saving and
// deleting scripts, and how it ends.
#include "ScriptFixture.h"
#include "ui/Twips.h"

#include <QAbstractItemView>
#include <QAction>
#include <QDateTimeEdit>
#include <QFile>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTimer>
#include <sqlite3.h>

using namespace scripttest;

Q_DECLARE_METATYPE(store::Value)

class ScriptWindowTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<Fixture> fx;

    // Header controls whose enabled state follows the choice of a script.
    static QList<QWidget*> headerControls(const frmScript& form)
    {
        return {form.cmdSave, form.cmdDelete, form.txtDescription, form.Frame2, form.lvScript};
    }
    static void verifyHeaderEnabled(const frmScript& form, bool enabled)
    {
        for (QWidget* w : headerControls(form))
            QVERIFY2(w->isEnabledTo(form.Frame3->parentWidget()) == enabled, qPrintable(w->objectName()));
    }

private Q_SLOTS:
    void init() { fx = std::make_unique<Fixture>(); }
    void cleanup() { fx.reset(); }

    void layout_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QRect>("twips");   // width and height 0: position only
        QTest::newRow("Frame3") << "Frame3" << QRect(120, 120, 11655, 2655);
        QTest::newRow("Label3") << "Label3" << QRect(480, 360, 0, 0);
        QTest::newRow("cboScript") << "cboScript" << QRect(480, 600, 4695, 0);
        QTest::newRow("Label2") << "Label2" << QRect(480, 1200, 0, 0);
        QTest::newRow("txtDescription") << "txtDescription" << QRect(480, 1440, 4695, 975);
        QTest::newRow("cmdNew") << "cmdNew" << QRect(6000, 480, 0, 0);
        QTest::newRow("cmdSave") << "cmdSave" << QRect(7680, 480, 0, 0);
        QTest::newRow("cmdDelete") << "cmdDelete" << QRect(9360, 480, 0, 0);
        QTest::newRow("Frame2") << "Frame2" << QRect(5880, 960, 5055, 1455);
        QTest::newRow("Option2") << "Option2" << QRect(360, 360, 0, 0);
        QTest::newRow("Option1") << "Option1" << QRect(2280, 360, 0, 0);
        QTest::newRow("dtpCountDown") << "dtpCountDown" << QRect(360, 720, 1695, 495);
        QTest::newRow("dtpTime") << "dtpTime" << QRect(2280, 720, 2535, 495);
        QTest::newRow("lvScript") << "lvScript" << QRect(120, 2880, 11655, 3975);
        QTest::newRow("Frame1") << "Frame1" << QRect(600, 6960, 4815, 855);
        QTest::newRow("cmdCancel") << "cmdCancel" << QRect(7200, 7320, 0, 0);
        QTest::newRow("cmdStart") << "cmdStart" << QRect(8880, 7320, 0, 0);
    }
    void layout()
    {
        QFETCH(QString, name);
        QFETCH(QRect, twips);
        auto form = stillWindow();
        auto* control = form->findChild<QWidget*>(name);
        QVERIFY(control);
        const QRect expected = ui::twipsRect(twips.x(), twips.y(), twips.width(), twips.height(), control);
        QCOMPARE(control->pos(), expected.topLeft());
        if (twips.width())
            QCOMPARE(control->width(), expected.width());
        if (twips.height())
            QCOMPARE(control->height(), expected.height());
    }

    void windowParts()
    {
        auto form = stillWindow();
        QCOMPARE(form->windowTitle(), QStringLiteral("Typomat - Script"));
        QCOMPARE(form->centralWidget()->size(),
                 ui::twipsRect(0, 0, 11880, 8190, form.get()).size());
        QCOMPARE(form->Frame3->title(), QStringLiteral("Script"));
        QCOMPARE(form->Frame2->title(), QStringLiteral("By"));
        QCOMPARE(form->Frame1->title(), QStringLiteral("Now"));
        QCOMPARE(form->Option1->text(), QStringLiteral("Set Time"));
        QCOMPARE(form->Option2->text(), QStringLiteral("Count Down"));
        QCOMPARE(form->Label1->parentWidget(), form->Frame1);
        QCOMPARE(form->Label1->font().pointSize(), 24);
        QVERIFY(form->Label1->font().bold());
        // The whole clock text fits its label, whatever the fonts at hand.
        QVERIFY(QFontMetrics(form->Label1->font()).horizontalAdvance("28/08/88 08:08:08")
                <= form->Label1->width());
        QVERIFY(form->cboScript->isEditable());
        QCOMPARE(form->dtpCountDown->displayFormat(), QStringLiteral("HH:mm:ss"));
        QCOMPARE(form->dtpTime->displayFormat(), QStringLiteral("dd/MM/yy HH:mm"));
        QCOMPARE(form->Timer1->interval(), std::chrono::milliseconds(1000));
        QCOMPARE(form->Timer2->interval(), std::chrono::milliseconds(1000));

        // The list: five left-aligned columns of the given widths.
        const QStringList headers{"Item", "Title", "Key", "Description", "Count Down"};
        const int widths[] = {700, 2500, 3500, 3500, 1100};
        QCOMPARE(form->lvScript->columnCount(), 5);
        for (int c = 0; c < 5; ++c) {
            QCOMPARE(form->lvScript->headerItem()->text(c), headers[c]);
            QCOMPARE(form->lvScript->columnWidth(c), ui::twipsToPixels(widths[c], form->lvScript));
        }
        QVERIFY(form->lvScript->header()->defaultAlignment() & Qt::AlignLeft);

        // The menu bar holds "&About" only; the pop-up menu is not on it.
        const QList<QAction*> bar = form->menuBar()->actions();
        QCOMPARE(bar.size(), 1);
        QCOMPARE(bar.front(), form->mnuAbout);
        QCOMPARE(form->mnuAbout->text(), QStringLiteral("&About"));
        QCOMPARE(form->mnuPopup->title(), QStringLiteral("Popup"));
        QStringList entries;
        for (QAction* a : form->mnuPopup->actions())
            entries << a->text();
        QCOMPARE(entries, (QStringList{"New", "Edit", "Delete"}));
    }

    void tabOrder()
    {
        auto form = stillWindow();
        const QList<QWidget*> expected{form->cboScript, form->txtDescription, form->cmdNew,
                                       form->cmdSave,   form->cmdDelete,      form->Option2,
                                       form->Option1,   form->dtpCountDown,   form->dtpTime,
                                       form->lvScript,  form->cmdCancel,      form->cmdStart};
        QList<QWidget*> order;
        QWidget* w = form->cboScript;
        do {
            if (expected.contains(w) && !order.contains(w))
                order << w;
            w = w->nextInFocusChain();
        } while (w != form->cboScript);
        QCOMPARE(order, expected);
    }

    void loadWithEmptyTable()
    {
        auto form = stillWindow();
        QVERIFY(form->databaseOpen());
        QCOMPARE(form->cboScript->count(), 0);
        QCOMPARE(form->cboScript->currentText(), QString());
        verifyHeaderEnabled(*form, false);
        QVERIFY(!form->cmdStart->isEnabled());
        QVERIFY(!form->cmdCancel->isEnabled());
        QVERIFY(form->cboScript->isEnabled());
        QVERIFY(form->cmdNew->isEnabled());
        QVERIFY(!form->Option1->isChecked());
        QVERIFY(!form->Option2->isChecked());
        QCOMPARE(form->Label1->text(), QString());
        QVERIFY(!form->bRunning);
        QCOMPARE(oledate::formatTime(form->dtOneSecond), QStringLiteral("00:00:01"));
        QCOMPARE(form->dtpTime->dateTime(), QDateTime(QDate(2026, 12, 7), QTime(0, 0)));
        // A fresh folder gets its database with the four tables.
        QVERIFY(QFile::exists(app::databaseFilePath()));
    }

    void loadListsScriptsInTableOrder()
    {
        fx->addScript("Zeta", "", 1, seconds(0));
        fx->addScript("alpha", "", 1, seconds(0));
        fx->addScript("Mid", "", 1, seconds(0));
        auto form = stillWindow();
        QStringList names;
        for (int i = 0; i < form->cboScript->count(); ++i)
            names << form->cboScript->itemText(i);
        QCOMPARE(names, (QStringList{"Zeta", "alpha", "Mid"}));
        QCOMPARE(form->cboScript->currentText(), QString());
        verifyHeaderEnabled(*form, false);
    }

    void choosingListsItemsOfThatScriptChecked()
    {
        fx->addScript("Mail", "Morning mail", 1, seconds(90));
        fx->addScript("Other", "", 1, seconds(0));
        fx->addItems({{"Mail", "a", "Inbox", "abc{ENTER}", "first", store::Value(seconds(90))},
                      {"Other", "x", "T", "k", "", store::Value(seconds(1))},
                      {"Mail", "b", "Inbox", "def", "second", store::Value(seconds(2))},
                      {"mail", "c", "Inbox", "case differs", "", store::Value(seconds(1))}});
        auto form = stillWindow();
        pickScript(*form, "Mail");
        QCOMPARE(column(*form, 0), (QStringList{"a", "b"}));
        QCOMPARE(column(*form, 1), (QStringList{"Inbox", "Inbox"}));
        QCOMPARE(column(*form, 2), (QStringList{"abc{ENTER}", "def"}));
        QCOMPARE(column(*form, 3), (QStringList{"first", "second"}));
        // Two-digit hours, minutes and seconds; 2 s reads 00:00:02.
        QCOMPARE(column(*form, 4), (QStringList{"00:01:30", "00:00:02"}));
        QCOMPARE(checks(*form), (QList<bool>{true, true}));
        QCOMPARE(form->txtDescription->toPlainText(), QStringLiteral("Morning mail"));
        verifyHeaderEnabled(*form, true);
        QVERIFY(form->cmdStart->isEnabled());
        QVERIFY(!form->cmdCancel->isEnabled());

        // Choosing again reloads: fired or unchecked rows come back checked.
        form->lvScript->topLevelItem(0)->setCheckState(0, Qt::Unchecked);
        form->lvScript->topLevelItem(1)->setText(4, "00:00:00");
        pickScript(*form, "Other");
        QCOMPARE(column(*form, 0), QStringList{"x"});
        pickScript(*form, "Mail");
        QCOMPARE(checks(*form), (QList<bool>{true, true}));
        QCOMPARE(column(*form, 4), (QStringList{"00:01:30", "00:00:02"}));
    }

    void userTogglesCheckBoxes()
    {
        fx->addScript("S", "", 1, seconds(0));
        fx->addItems({{"S", "a", "T", "k", "", store::Value(seconds(1))},
                      {"S", "b", "T", "k", "", store::Value(seconds(1))}});
        auto form = stillWindow();
        pickScript(*form, "S");
        form->show();
        QVERIFY(QTest::qWaitForWindowExposed(form.get()));
        QSignalSpy changed(form->lvScript, &QTreeWidget::itemChanged);
        form->lvScript->setFocus();
        form->lvScript->setCurrentItem(form->lvScript->topLevelItem(1));
        QTest::keyClick(form->lvScript, Qt::Key_Space);
        QCOMPARE(checks(*form), (QList<bool>{true, false}));
        QCOMPARE(changed.count(), 1);
        QTest::keyClick(form->lvScript, Qt::Key_Space);
        QCOMPARE(checks(*form), (QList<bool>{true, true}));
        // Cells written from code read back, as the editor and the runner do.
        QTreeWidgetItem* row = form->lvScript->topLevelItem(0);
        row->setText(4, "00:00:07");
        QCOMPARE(row->text(4), QStringLiteral("00:00:07"));
        QCOMPARE(form->lvScript->model()->index(0, 4).data().toString(), QStringLiteral("00:00:07"));
        QCOMPARE(form->lvScript->model()->index(0, 0).data(Qt::CheckStateRole).toInt(), int(Qt::Checked));
        QVERIFY(!form->lvScript->model()->index(0, 1).data(Qt::CheckStateRole).isValid());
        QTreeWidgetItem* added = form->appendItemRow({"c", "T2", "k2", "d2", "00:00:03"}, 0);
        QCOMPARE(form->lvScript->topLevelItemCount(), 3);
        QCOMPARE(added->text(3), QStringLiteral("d2"));
        QVERIFY(added->checkState(0) == Qt::Checked);
    }

    void countDownCellForms_data()
    {
        QTest::addColumn<store::Value>("stored");
        QTest::addColumn<QString>("shown");
        QTest::newRow("two seconds") << store::Value(oledate::OleDate{2.0 / 86400}) << "00:00:02";
        QTest::newRow("hours") << store::Value(seconds(10 * 3600 + 5 * 60 + 7)) << "10:05:07";
        QTest::newRow("time text") << store::Value(QStringLiteral("0:1:30")) << "00:01:30";
        QTest::newRow("no value") << store::Value() << "";
        QTest::newRow("not a time") << store::Value(QStringLiteral("soon")) << "soon";
    }
    void countDownCellForms()
    {
        QFETCH(store::Value, stored);
        QFETCH(QString, shown);
        fx->addScript("S", "", 1, seconds(0));
        fx->addItems({{"S", "i", "T", "k", "", stored}});
        auto form = stillWindow();
        pickScript(*form, "S");
        QCOMPARE(column(*form, 4), QStringList{shown});
    }

    void scriptWithoutItemsShowsEmptyList()
    {
        fx->addScript("Empty", "", 1, seconds(0));
        fx->addItems({{"Full", "a", "T", "k", "", store::Value(seconds(1))}});
        auto form = stillWindow();
        pickScript(*form, "Empty");
        QCOMPARE(form->lvScript->topLevelItemCount(), 0);
        verifyHeaderEnabled(*form, true);
    }

    void startModes()
    {
        const QDateTime at(QDate(2026, 12, 24), QTime(18, 30));
        fx->addScript("Timed", "t", 0, oledate::fromQDateTime(at));
        fx->addScript("Counted", "c", 1, seconds(5 * 60 + 3));
        auto form = stillWindow();

        pickScript(*form, "Timed");
        QVERIFY(form->Option1->isChecked());
        QVERIFY(!form->Option2->isChecked());
        QCOMPARE(form->dtpTime->dateTime(), at);
        QVERIFY(form->dtpTime->isEnabled());
        QCOMPARE(form->dtpCountDown->time(), QTime(0, 0, 0));
        QVERIFY(!form->dtpCountDown->isEnabled());

        pickScript(*form, "Counted");
        QVERIFY(form->Option2->isChecked());
        QVERIFY(!form->Option1->isChecked());
        QCOMPARE(form->dtpCountDown->time(), QTime(0, 5, 3));
        QVERIFY(form->dtpCountDown->isEnabled());
        QCOMPARE(form->dtpTime->dateTime(), QDateTime(QDate(2026, 12, 7), QTime(0, 0)));
        QVERIFY(!form->dtpTime->isEnabled());
    }

    void optionHandlersSwitchPickers()
    {
        fx->addScript("S", "", 1, seconds(0));
        auto form = stillWindow();
        pickScript(*form, "S");
        form->Option1->click();
        QVERIFY(form->dtpTime->isEnabled());
        QVERIFY(!form->dtpCountDown->isEnabled());
        form->Option2->click();
        QVERIFY(!form->dtpTime->isEnabled());
        QVERIFY(form->dtpCountDown->isEnabled());
    }

    void onlyAPickRunsTheChoice()
    {
        fx->addScript("First", "one", 1, seconds(0));
        fx->addScript("Second", "two", 1, seconds(0));
        auto form = stillWindow();
        form->show();
        QVERIFY(QTest::qWaitForWindowExposed(form.get()));

        // Text set from code or typed runs nothing.
        form->cboScript->setEditText("Second");
        QTest::keyClicks(form->cboScript->lineEdit(), "x");
        QTest::keyClick(form->cboScript->lineEdit(), Qt::Key_Return);
        QCOMPARE(form->cboScript->currentText(), QStringLiteral("Secondx"));
        QCOMPARE(form->cboScript->count(), 2);
        QCOMPARE(form->txtDescription->toPlainText(), QString());
        QVERIFY(!form->cmdSave->isEnabled());

        // Typing a listed name exactly, then Enter or leaving the box, is
        // not a pick either.
        form->cboScript->setEditText(QString());
        QTest::keyClicks(form->cboScript->lineEdit(), "Second");
        QTest::keyClick(form->cboScript->lineEdit(), Qt::Key_Return);
        form->txtDescription->setEnabled(true);
        form->txtDescription->setFocus();
        QCOMPARE(form->cboScript->currentText(), QStringLiteral("Second"));
        QCOMPARE(form->txtDescription->toPlainText(), QString());
        QVERIFY(!form->cmdSave->isEnabled());
        form->txtDescription->setEnabled(false);

        // Picking the entry that is already current, after typing, brings
        // back its text.
        form->cboScript->setCurrentIndex(0);
        form->cboScript->setEditText("typed");
        form->cboScript->showPopup();
        QAbstractItemView* view = form->cboScript->view();
        QVERIFY(QTest::qWaitForWindowExposed(view->window()));
        QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, view->visualRect(view->model()->index(0, 0)).center());
        QTRY_COMPARE(form->cboScript->currentText(), QStringLiteral("First"));
        QCOMPARE(form->txtDescription->toPlainText(), QStringLiteral("one"));

        // Choosing an entry with the keyboard is a pick.
        form->cboScript->setCurrentIndex(0);
        QTest::keyClick(form->cboScript, Qt::Key_Down);
        QCOMPARE(form->cboScript->currentText(), QStringLiteral("Second"));
        QCOMPARE(form->txtDescription->toPlainText(), QStringLiteral("two"));
        QVERIFY(form->cmdSave->isEnabled());
    }

    void newCancelledCreatesNothing()
    {
        fx->addScript("Old", "", 1, seconds(0));
        auto form = stillWindow();
        fx->dialogs.inputAnswers = {QString()};
        form->cmdNew_Click();
        QCOMPARE(fx->dialogs.calls.size(), size_t(1));
        QCOMPARE(fx->dialogs.calls[0].text, QStringLiteral("New Script"));
        QCOMPARE(fx->dialogs.calls[0].title, QStringLiteral("Typomat"));
        QCOMPARE(fx->dialogs.calls[0].defaultText, QString());
        QCOMPARE(form->cboScript->count(), 1);
        QCOMPARE(fx->rows("Script").size(), size_t(1));
        verifyHeaderEnabled(*form, false);
    }

    void newStoresAndSelects()
    {
        fx->addScript("Old", "", 1, seconds(0));
        fx->addItems({{"Old", "a", "T", "k", "", store::Value(seconds(1))}});
        auto form = stillWindow();
        pickScript(*form, "Old");
        form->txtDescription->setPlainText("left over");
        fx->dialogs.inputAnswers = {"Fresh"};
        form->cmdNew_Click();

        const auto rows = fx->rows("Script");
        QCOMPARE(rows.size(), size_t(2));
        QCOMPARE(rows[1], (QStringList{"Fresh", "", "0", "07/12/26 00:00:00"}));
        QCOMPARE(form->cboScript->count(), 2);
        QCOMPARE(form->cboScript->itemText(1), QStringLiteral("Fresh"));
        QCOMPARE(form->cboScript->currentText(), QStringLiteral("Fresh"));
        QCOMPARE(form->txtDescription->toPlainText(), QString());
        QCOMPARE(form->dtpCountDown->time(), QTime(0, 0, 0));
        QCOMPARE(form->lvScript->topLevelItemCount(), 0);
        verifyHeaderEnabled(*form, true);
        QVERIFY(form->cmdStart->isEnabled());
        QVERIFY(!form->cmdCancel->isEnabled());
        // rsScript stands on the new row: Save writes it, not "Old".
        form->txtDescription->setPlainText("mine");
        form->cmdSave_Click();
        QCOMPARE(fx->rows("Script")[1][1], QStringLiteral("mine"));
        QCOMPARE(fx->rows("Script")[0][1], QString());
    }

    void newWithExistingNameLeadsToFirstRow()
    {
        fx->addScript("Twin", "first", 1, seconds(0));
        auto form = stillWindow();
        fx->dialogs.inputAnswers = {"Twin"};
        form->cmdNew_Click();
        QCOMPARE(fx->rows("Script").size(), size_t(2));
        QCOMPARE(form->cboScript->count(), 2);
        pickScript(*form, 1);
        QCOMPARE(form->txtDescription->toPlainText(), QStringLiteral("first"));
        // Save after that choice writes the first row.
        form->txtDescription->setPlainText("changed");
        form->cmdSave_Click();
        QCOMPARE(fx->rows("Script")[0][1], QStringLiteral("changed"));
        QCOMPARE(fx->rows("Script")[1][1], QString());
    }

    void saveWritesHeader()
    {
        fx->addScript("S", "old", 0, oledate::fromQDateTime(QDateTime(QDate(2026, 1, 2), QTime(3, 4))));
        auto form = stillWindow();
        pickScript(*form, "S");
        form->txtDescription->setPlainText("new text");
        form->Option2->click();
        form->dtpCountDown->setTime(QTime(0, 2, 5));
        form->cmdSave_Click();

        auto db = fx->database();
        auto rs = db->OpenRecordset("Script");
        rs->MoveFirst();
        QCOMPARE(rs->Fields(1).toText(), QStringLiteral("new text"));
        QCOMPARE(rs->Fields(2).toInteger(), qint64(1));
        QVERIFY(rs->Fields(3).isDate());
        QCOMPARE(oledate::formatTime(rs->Fields(3).toDate()), QStringLiteral("00:02:05"));
        QCOMPARE(fx->dialogs.calls.size(), size_t(0));

        form->Option1->click();
        form->dtpTime->setDateTime(QDateTime(QDate(2027, 3, 4), QTime(5, 6)));
        form->cmdSave_Click();
        rs->Requery();
        QCOMPARE(rs->Fields(2).toInteger(), qint64(0));
        QCOMPARE(oledate::formatDateTime(rs->Fields(3).toDate()), QStringLiteral("04/03/27 05:06:00"));
    }

    void saveAfterTypingRenamesInPlace()
    {
        fx->addScript("A", "", 1, seconds(0));
        fx->addScript("B", "", 1, seconds(0));
        fx->addScript("C", "", 1, seconds(0));
        fx->addItems({{"B", "item", "T", "k", "", store::Value(seconds(1))}});
        auto form = stillWindow();
        pickScript(*form, "B");
        form->cboScript->setEditText("Renamed");
        form->cmdSave_Click();

        QStringList names;
        for (int i = 0; i < form->cboScript->count(); ++i)
            names << form->cboScript->itemText(i);
        QCOMPARE(names, (QStringList{"A", "Renamed", "C"}));
        QCOMPARE(form->cboScript->currentText(), QStringLiteral("Renamed"));
        QCOMPARE(fx->rows("Script")[1][0], QStringLiteral("Renamed"));
        // The items stay under the old name.
        QCOMPARE(fx->rows("KeyScript")[0][0], QStringLiteral("B"));
        pickScript(*form, "Renamed");
        QCOMPARE(form->lvScript->topLevelItemCount(), 0);
    }

    void deleteAnsweredNoChangesNothing()
    {
        fx->addScript("Keep", "", 1, seconds(0));
        auto form = stillWindow();
        pickScript(*form, "Keep");
        fx->dialogs.messageAnswers = {ui::vbNo};
        form->cmdDelete_Click();
        const auto* asked = fx->dialogs.lastMessage();
        QVERIFY(asked);
        QCOMPARE(asked->text, QStringLiteral("Do You Want To Delete \"Keep\""));
        QCOMPARE(asked->style, 20);
        QCOMPARE(asked->title, QStringLiteral("Typomat"));
        QCOMPARE(fx->rows("Script").size(), size_t(1));
        QCOMPARE(form->cboScript->count(), 1);
        verifyHeaderEnabled(*form, true);
    }

    void deleteAnsweredYes()
    {
        fx->addScript("A", "", 1, seconds(0));
        fx->addScript("Gone", "", 0, seconds(0));
        fx->addItems({{"Gone", "item", "T", "k", "", store::Value(seconds(1))}});
        auto form = stillWindow();
        pickScript(*form, "Gone");
        QVERIFY(form->Option1->isChecked());
        fx->dialogs.messageAnswers = {ui::vbYes};
        form->cmdDelete_Click();

        const auto rows = fx->rows("Script");
        QCOMPARE(rows.size(), size_t(1));
        QCOMPARE(rows[0][0], QStringLiteral("A"));
        QCOMPARE(form->cboScript->count(), 1);
        QCOMPARE(form->cboScript->itemText(0), QStringLiteral("A"));
        QCOMPARE(form->cboScript->currentText(), QString());
        QCOMPARE(form->txtDescription->toPlainText(), QString());
        QVERIFY(!form->Option1->isChecked());
        QVERIFY(!form->Option2->isChecked());
        QCOMPARE(form->lvScript->topLevelItemCount(), 0);
        verifyHeaderEnabled(*form, false);
        QVERIFY(!form->cmdStart->isEnabled());
        QVERIFY(!form->cmdCancel->isEnabled());
        // The items are kept and show again under a new script of that name.
        QCOMPARE(fx->rows("KeyScript").size(), size_t(1));
        fx->dialogs.inputAnswers = {"Gone"};
        form->cmdNew_Click();
        pickScript(*form, "Gone");
        QCOMPARE(column(*form, 0), QStringList{"item"});
    }

    void deleteWithATypedNameDoesNothing()
    {
        fx->addScript("A", "", 1, seconds(0));
        fx->addScript("B", "", 1, seconds(0));
        auto form = stillWindow();
        pickScript(*form, "A");
        form->cboScript->setEditText("B");
        fx->dialogs.messageAnswers = {ui::vbYes};
        form->cmdDelete_Click();
        QCOMPARE(fx->dialogs.calls.size(), size_t(0));
        QCOMPARE(fx->rows("Script").size(), size_t(2));
        QCOMPARE(form->cboScript->count(), 2);
        verifyHeaderEnabled(*form, true);
    }

    void renameThatCannotBeStoredKeepsTheListEntry()
    {
        fx->addScript("A", "", 1, seconds(0));
        fx->addScript("B", "", 1, seconds(0));
        auto form = stillWindow();
        pickScript(*form, "B");
        // Another program takes the table away behind the open set.
        sqlite3* other = nullptr;
        QCOMPARE(sqlite3_open(app::databaseFilePath().toUtf8().constData(), &other), SQLITE_OK);
        QCOMPARE(sqlite3_exec(other, "ALTER TABLE Script RENAME TO Gone", nullptr, nullptr, nullptr),
                 SQLITE_OK);
        sqlite3_close(other);
        form->cboScript->setEditText("Renamed");
        form->cmdSave_Click();
        QCOMPARE(fx->dialogs.messageCount(), 1);
        QCOMPARE(form->cboScript->itemText(1), QStringLiteral("B"));
        // The unstored new name does not make Delete act on the stored row.
        fx->dialogs.messageAnswers = {ui::vbYes};
        form->cmdDelete_Click();
        QCOMPARE(fx->dialogs.messageCount(), 1);
        QCOMPARE(form->cboScript->count(), 2);
    }

    void unreadableStartValuesLoadDefaults_data()
    {
        QTest::addColumn<store::Value>("mode");
        QTest::addColumn<store::Value>("time");
        QTest::addColumn<bool>("setTime");
        QTest::addColumn<QString>("unreadable");
        const store::Value christmas(
            oledate::fromQDateTime(QDateTime(QDate(2026, 12, 24), QTime(18, 30))));
        const store::Value soon(QStringLiteral("soon")), later(QStringLiteral("later"));
        QTest::newRow("mode not a number") << soon << christmas << true << "mode \"soon\"";
        QTest::newRow("time no date") << store::Value(0) << later << true << "time \"later\"";
        QTest::newRow("count-down missing") << store::Value(1) << store::Value() << false << "time \"\"";
    }
    void unreadableStartValuesLoadDefaults()
    {
        QFETCH(store::Value, mode);
        QFETCH(store::Value, time);
        QFETCH(bool, setTime);
        QFETCH(QString, unreadable);
        fx->addScript("Good", "", 1, seconds(5));
        fx->addScript("Bad", "described", mode, time);
        fx->addItems({{"Good", "good item", "T", "k", "", store::Value(seconds(1))},
                      {"Bad", "bad item", "T", "k", "", store::Value(seconds(1))}});
        auto form = stillWindow();
        pickScript(*form, "Good");
        pickScript(*form, "Bad");

        QCOMPARE(column(*form, 0), QStringList{"bad item"});
        QCOMPARE(form->txtDescription->toPlainText(), QStringLiteral("described"));
        QCOMPARE(form->Option1->isChecked(), setTime);
        const QDateTime today(QDate(2026, 12, 7), QTime(0, 0));
        QCOMPARE(form->dtpTime->dateTime(), (mode.isText() ? oledate::toQDateTime(time.toDate()) : today));
        QCOMPARE(form->dtpCountDown->time(), QTime(0, 0));
        QCOMPARE(fx->dialogs.messageCount(), 1);
        const QString said = fx->dialogs.lastMessage()->text;
        QVERIFY2(said.contains(unreadable) && said.contains("\"Bad\""), qPrintable(said));
        verifyHeaderEnabled(*form, true);
    }

    void databaseErrorIsShownNotFatal()
    {
        fx->addScript("S", "", 1, seconds(0));
        auto form = stillWindow();
        pickScript(*form, "S");
        fx->dialogs.messageAnswers = {ui::vbYes};
        form->cmdDelete_Click();
        // Save with no current script row: the engine's complaint is shown.
        form->cmdSave_Click();
        QCOMPARE(fx->dialogs.messageCount(), 2);
        QCOMPARE(fx->dialogs.lastMessage()->title, QStringLiteral("Typomat"));
        QVERIFY(!fx->dialogs.lastMessage()->text.isEmpty());
    }

    void unreadableDatabaseEndsTheProgram()
    {
        QFile file(app::databaseFilePath());
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(QByteArray("\0\1\0\0Standard Jet DB", 19) + QByteArray(2000, 'x'));
        file.close();
        const QByteArray before = [&] { QFile f(file.fileName()); f.open(QIODevice::ReadOnly); return f.readAll(); }();

        auto form = stillWindow();
        QVERIFY(!form->databaseOpen());
        QCOMPARE(fx->dialogs.messageCount(), 1);
        QVERIFY2(fx->dialogs.lastMessage()->text.contains("Typomat.mdb"),
                 qPrintable(fx->dialogs.lastMessage()->text));
        QTimer::singleShot(3000, qApp, [] { QCoreApplication::exit(99); });
        QCOMPARE(QCoreApplication::exec(), 1);
        QFile after(file.fileName());
        QVERIFY(after.open(QIODevice::ReadOnly));
        QCOMPARE(after.readAll(), before);
    }

    void closingEndsTheProgramDuringARun()
    {
        fx->addScript("S", "", 1, seconds(0));
        auto form = std::make_unique<frmScript>();
        pickScript(*form, "S");
        form->show();
        form->cmdStart_Click();
        QTimer::singleShot(0, form.get(), [&] { form->close(); });
        QTimer::singleShot(3000, qApp, [] { QCoreApplication::exit(99); });
        QCOMPARE(QCoreApplication::exec(), 0);
        QVERIFY(!form->Timer1->isEnabled());
        QVERIFY(!form->Timer2->isEnabled());
    }

    // A description is saved as typed or loaded: no-break spaces and line
    // and paragraph separators stay what they are.
    void descriptionKeepsEveryCharacter()
    {
        const QString loaded = QStringLiteral("p\u2029q\u00A0r\r\ns");
        fx->addScript("S", loaded, 1, seconds(0));
        auto form = stillWindow();
        pickScript(*form, "S");
        form->cmdSave_Click();
        QCOMPARE(fx->rows("Script")[0][1], loaded);

        form->txtDescription->clear();
        form->txtDescription->insertPlainText(QStringLiteral("x\u00A0y\u2028z"));
        form->cmdSave_Click();
        QCOMPARE(fx->rows("Script")[0][1], QStringLiteral("x\u00A0y\u2028z"));
    }
};

QTEST_MAIN(ScriptWindowTest)
#include "tst_gui_scriptwindow.moc"
