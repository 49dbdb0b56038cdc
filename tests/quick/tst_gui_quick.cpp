// SPDX-License-Identifier: MIT
// The quick window's item operations and title list, on a real database in a
// fresh program folder, with scripted dialogs.
#include "OtherWindow.h"
#include "QuickFixture.h"
#include "ui/Twips.h"

#include <QAction>
#include <QApplication>
#include <QGroupBox>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QWheelEvent>
#include "about/frmAbout.h"
#include "keys/widgets/frmSpecialKey.h"
#include <sqlite3.h>

using namespace quicktest;

namespace {
const QString kTitle = QStringLiteral("Notepad");
const QString kOther = QStringLiteral("Editor");

// Two titles; "hello" exists under both, "twin" twice under Notepad.
Rows sampleItems()
{
    return {
        {"hello", kTitle, "Hello{ENTER}", "greets"},
        {"hello", kOther, "other", "other title"},
        {"twin", kTitle, "first twin", "1"},
        {"bare", kTitle, kNull, kNull},
        {"twin", kTitle, "second twin", "2"},
    };
}
} // namespace

class QuickWindowTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void layout_data();
    void layout();
    void windowAndMenus();
    void tabOrder();
    void loadListsTitlesOnly();

    void pickTitleListsItsItemsOnly();
    void pickTitleWithNoItems();
    void pickItemShowsItsOwnRecord_data();
    void pickItemShowsItsOwnRecord();
    void typedNameIsNoPick();

    void addItemButton();
    void addItemMenuKeepsChoice();
    void addItemRefused_data();
    void addItemRefused();
    void addDuplicateShowsTheNewRow();

    void saveWritesCurrentRowOnly();
    void saveRefused_data();
    void saveRefused();
    void deleteItem();
    void deleteOnlyItem();
    void deleteRefused_data();
    void deleteRefused();
    void renameItem();
    void renameRefused();
    void clearEmptiesKeyOnly();

    void titleOperations();
    void specialKeyPicker();
    void aboutIsModal();
    void shortcutsFromTextBoxes_data();
    void shortcutsFromTextBoxes();
    void databaseErrorIsShown();
    void unreadableDatabaseAtLoad();
    void closingEndsProgramOrAsksFirst_data();
    void closingEndsProgramOrAsksFirst();
    void choosingAgainAfterAConflictShowsTheStoredValues();
    void replacedDatabaseFileIsReported_data();
    void replacedDatabaseFileIsReported();
    void keyAndDescriptionKeepEveryCharacter();
    void wheelOverAClosedBoxIsNoPick();
};

void QuickWindowTest::layout_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("container");
    QTest::addColumn<QRect>("twips");
    const struct {
        const char* name;
        const char* container;
        QRect twips;
    } controls[] = {
        {"Frame1", "client", {0, 0, 4095, 735}},
        {"cboType", "Frame1", {120, 240, 2895, 330}},
        {"cmdAddType", "Frame1", {3120, 240, 855, 350}},
        {"Frame2", "client", {0, 720, 4095, 2535}},
        {"cboItem", "Frame2", {120, 240, 2895, 330}},
        {"cmdAddItem", "Frame2", {3120, 240, 855, 350}},
        {"Label5", "Frame2", {120, 600, 975, 255}},
        {"txtDescription", "Frame2", {120, 840, 2895, 315}},
        {"cmdDeleteItem", "Frame2", {3120, 840, 855, 350}},
        {"Label3", "Frame2", {120, 1200, 615, 255}},
        {"cmdSpecialKey", "Frame2", {960, 1200, 975, 255}},
        {"cmdClear", "Frame2", {2040, 1200, 975, 255}},
        {"txtKey", "Frame2", {120, 1440, 2895, 975}},
        {"cmdSaveItem", "Frame2", {3120, 1440, 855, 350}},
        {"cmdRun", "Frame2", {3120, 2040, 855, 350}},
    };
    for (const auto& c : controls)
        QTest::newRow(c.name) << QString::fromLatin1(c.name) << QString::fromLatin1(c.container)
                              << c.twips;
}

void QuickWindowTest::layout()
{
    QFETCH(QString, name);
    QFETCH(QString, container);
    QFETCH(QRect, twips);
    Fixture f;
    auto* control = f.w->findChild<QWidget*>(name);
    QVERIFY(control);
    QCOMPARE(control->parentWidget()->objectName(), container);
    QCOMPARE(control->geometry(),
             ui::twipsRect(twips.x(), twips.y(), twips.width(), twips.height(), control));
}

void QuickWindowTest::windowAndMenus()
{
    Fixture f;
    QCOMPARE(f.w->windowTitle(), QStringLiteral("Typomat - Quick"));
    QVERIFY(f.w->windowFlags() & Qt::WindowStaysOnTopHint);
    QCOMPARE(f.w->placementFlags, qint16(3));
    QCOMPARE(f.w->centralWidget()->size(),
             QSize(ui::twipsToPixels(4140, f.w.get()), ui::twipsToPixels(3315, f.w.get())));
    QCOMPARE(f.w->findChild<QGroupBox*>("Frame1")->title(), QStringLiteral("Title :"));
    QCOMPARE(f.w->cmdSpecialKey->text(), QStringLiteral("Special Key"));

    QStringList menus;
    for (QAction* a : f.w->menuBar()->actions())
        menus << a->text();
    QCOMPARE(menus, (QStringList{"&Title", "&Item", "&About"}));
    QStringList titleEntries, itemEntries;
    for (QAction* a : f.w->mnuTitle->actions())
        titleEntries << a->text();
    for (QAction* a : f.w->mnuItem->actions())
        itemEntries << (a->isSeparator() ? "-" : a->text() + "|" + a->shortcut().toString());
    QCOMPARE(titleEntries, (QStringList{"Add", "Rename", "Delete"}));
    QCOMPARE(itemEntries,
             (QStringList{"Add|", "Rename|", "Save|Ctrl+S", "Delete|Ctrl+D", "-", "&Run|F8"}));
    QCOMPARE(f.w->mnusubItem[4], f.w->mnuItem->actions().at(4));
}

// Tab from the title box visits the controls in their tab order and comes
// back round; frames and labels are skipped.
void QuickWindowTest::tabOrder()
{
    Fixture f;
    QVERIFY(f.showActive());
    f.w->cboType->setFocus();
    QStringList visited;
    for (int i = 0; i < 12; ++i) {
        QWidget* focus = QApplication::focusWidget();
        QVERIFY(focus);
        if (!focus->objectName().startsWith(u'c') && !focus->objectName().startsWith(u't'))
            focus = focus->parentWidget();  // the edit field of a combo box
        visited << focus->objectName();
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    }
    QCOMPARE(visited, (QStringList{"cboType", "cboItem", "txtDescription", "txtKey",
                                   "cmdAddType", "cmdAddItem", "cmdDeleteItem", "cmdSaveItem",
                                   "cmdRun", "cmdSpecialKey", "cmdClear", "cboType"}));
}

void QuickWindowTest::loadListsTitlesOnly()
{
    Fixture f({kTitle, kOther, kTitle}, sampleItems());
    QCOMPARE(entries(f.w->cboType), (QStringList{kTitle, kOther, kTitle}));
    QCOMPARE(f.shown(), (QStringList{"", "", "", ""}));
    QCOMPARE(f.w->cboItem->count(), 0);
    QCOMPARE(store::rsItem->table(), QStringLiteral("KeyQuick"));
    QCOMPARE(store::rsTitle->table(), QStringLiteral("Title"));
    QVERIFY(!store::rsScript);
}

void QuickWindowTest::pickTitleListsItsItemsOnly()
{
    Fixture f({kTitle, kOther}, sampleItems());
    f.w->txtKey->setPlainText("typed, not saved");
    f.w->txtDescription->setText("typed too");
    f.pickTitle(kTitle);
    QCOMPARE(entries(f.w->cboItem), (QStringList{"hello", "twin", "bare", "twin"}));
    QCOMPARE(f.shown(), (QStringList{kTitle, "", "", ""}));
    QVERIFY(store::rsItem->AtEnd());
    f.pickTitle(kOther);
    QCOMPARE(entries(f.w->cboItem), QStringList{"hello"});
}

// A title with no items, one differing only in case or blanks, and one whose
// items were stored under its old text: all give an empty list.
void QuickWindowTest::pickTitleWithNoItems()
{
    Fixture f({"Empty", "notepad", "Notepad ", kTitle}, sampleItems());
    for (const QString t : {"Empty", "notepad", "Notepad "}) {
        f.pickTitle(t);
        QCOMPARE(f.w->cboItem->count(), 0);
    }
    f.pickTitle(kTitle);
    f.answer("Renamed");
    f.w->mnusubTitle_Click(1);
    QCOMPARE(f.w->cboItem->count(), 4);  // still listed until another pick
    f.pickTitle("Renamed");
    QCOMPARE(f.w->cboItem->count(), 0);
}

void QuickWindowTest::pickItemShowsItsOwnRecord_data()
{
    QTest::addColumn<QString>("title");
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("occurrence");
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("description");
    QTest::newRow("plain") << kTitle << "hello" << 0 << "Hello{ENTER}" << "greets";
    QTest::newRow("same name, other title") << kOther << "hello" << 0 << "other" << "other title";
    QTest::newRow("never saved") << kTitle << "bare" << 0 << "" << "";
    QTest::newRow("first twin") << kTitle << "twin" << 0 << "first twin" << "1";
    QTest::newRow("second twin") << kTitle << "twin" << 1 << "second twin" << "2";
}

void QuickWindowTest::pickItemShowsItsOwnRecord()
{
    QFETCH(QString, title);
    QFETCH(QString, name);
    QFETCH(int, occurrence);
    QFETCH(QString, key);
    QFETCH(QString, description);
    Fixture f({kTitle, kOther}, sampleItems());
    f.choose(title, name, occurrence);
    QCOMPARE(f.shown(), (QStringList{title, name, key, description}));
    QVERIFY(!store::rsItem->AtEnd());
    QVERIFY(store::rsItem->Fields(2).equalsText(key) || store::rsItem->Fields(2).isNull());
    QCOMPARE(store::rsItem->Fields(1).toText(), title);
}

// Typing into either box runs nothing; a typed text that names no item is
// found by no pick and changes nothing.
void QuickWindowTest::typedNameIsNoPick()
{
    Fixture f({kTitle}, sampleItems());
    f.choose(kTitle, "hello");
    QTest::keyClicks(f.w->cboItem->lineEdit(), "x");
    QTest::keyClick(f.w->cboItem->lineEdit(), Qt::Key_Return);
    QCOMPARE(f.shown(), (QStringList{kTitle, "hellox", "Hello{ENTER}", "greets"}));
    QCOMPARE(entries(f.w->cboItem), (QStringList{"hello", "twin", "bare", "twin"}));
    f.w->cboItem_Click();
    QCOMPARE(f.w->txtKey->toPlainText(), QStringLiteral("Hello{ENTER}"));
    QVERIFY(store::rsItem->AtEnd());

    // Typing a listed name or title and leaving the box is no pick either.
    QVERIFY(f.showActive());
    f.w->txtKey->setPlainText("unsaved");
    for (QComboBox* box : {f.w->cboItem, f.w->cboType}) {
        box->setFocus();
        box->clearEditText();
        QTest::keyClicks(box->lineEdit(), box == f.w->cboItem ? "twin" : kTitle);
        QTest::keyClick(box->lineEdit(), Qt::Key_Return);
        QTest::keyClick(box->lineEdit(), Qt::Key_Tab);
    }
    QCOMPARE(f.shown(), (QStringList{kTitle, "twin", "unsaved", "greets"}));
    QVERIFY(store::rsItem->AtEnd());
}

void QuickWindowTest::addItemButton()
{
    Fixture f({kTitle}, sampleItems());
    f.choose(kTitle, "hello");
    f.answer("new one");
    f.w->cmdAddItem->click();
    QCOMPARE(f.dialogs.calls.size(), size_t(1));
    QCOMPARE(f.dialogs.calls[0].text, QStringLiteral("Add Item"));
    QCOMPARE(f.dialogs.calls[0].title, QStringLiteral("Typomat"));
    QCOMPARE(f.dialogs.calls[0].defaultText, QString());
    QCOMPARE(f.items().last(), (QStringList{"new one", kTitle, kNull, kNull}));
    QCOMPARE(entries(f.w->cboItem).last(), QStringLiteral("new one"));
    QCOMPARE(f.shown(), (QStringList{kTitle, "new one", "", ""}));
    // Save at once stores empty texts, not Null.
    f.w->cmdSaveItem->click();
    QCOMPARE(f.items().last(), (QStringList{"new one", kTitle, "", ""}));
    QCOMPARE(f.items().mid(0, 5), sampleItems());
}

// The menu entry appends the item but chooses nothing: Save then writes to
// the item chosen before.
void QuickWindowTest::addItemMenuKeepsChoice()
{
    Fixture f({kTitle, "Empty"}, sampleItems());
    f.pickTitle("Empty");
    f.answer("first");
    f.w->mnusubItem_Click(0);
    QCOMPARE(entries(f.w->cboItem), QStringList{"first"});
    QCOMPARE(f.shown(), (QStringList{"Empty", "", "", ""}));

    f.choose(kTitle, "hello");
    f.answer("second");
    f.w->mnusubItem_Click(0);
    QCOMPARE(f.shown(), (QStringList{kTitle, "hello", "Hello{ENTER}", "greets"}));
    f.w->txtKey->setPlainText("changed");
    f.w->cmdSaveItem->click();
    const Rows rows = f.items();
    QCOMPARE(rows[0], (QStringList{"hello", kTitle, "changed", "greets"}));
    QCOMPARE(rows.last(), (QStringList{"second", kTitle, kNull, kNull}));
}

void QuickWindowTest::addItemRefused_data()
{
    QTest::addColumn<QString>("title");
    QTest::addColumn<int>("prompts");
    QTest::newRow("empty title: no prompt") << "" << 0;
    QTest::newRow("cancelled") << kTitle << 1;
}

void QuickWindowTest::addItemRefused()
{
    QFETCH(QString, title);
    QFETCH(int, prompts);
    for (int button = 0; button < 2; ++button) {
        Fixture f({kTitle}, sampleItems());
        f.type(f.w->cboType, title);
        button ? f.w->cmdAddItem->click() : f.w->mnusubItem_Click(0);
        QCOMPARE(int(f.dialogs.calls.size()), prompts);
        QCOMPARE(f.items(), sampleItems());
        QCOMPARE(f.w->cboItem->count(), 0);
    }
}

// A title typed and never added is accepted; the new item is the one shown
// and saved, also when an older item of the same name is under that title.
void QuickWindowTest::addDuplicateShowsTheNewRow()
{
    Fixture f({}, sampleItems());
    f.type(f.w->cboType, kTitle);
    f.answer("hello");
    f.w->cmdAddItem->click();
    QCOMPARE(f.shown(), (QStringList{kTitle, "hello", "", ""}));
    f.w->txtDescription->setText("saved to the new");
    f.w->cmdSaveItem->click();
    const Rows rows = f.items();
    QCOMPARE(rows.mid(0, 5), sampleItems());
    QCOMPARE(rows.last(), (QStringList{"hello", kTitle, "", "saved to the new"}));
    QCOMPARE(rowsOf("Title"), Rows{});
}

void QuickWindowTest::saveWritesCurrentRowOnly()
{
    Fixture f({kTitle, kOther}, sampleItems());
    f.choose(kTitle, "twin", 1);
    f.w->txtKey->setPlainText("{F5}\nline two");
    f.w->txtDescription->clear();
    f.w->mnusubItem_Click(2);
    Rows expected = sampleItems();
    expected[4] = QStringList{"twin", kTitle, "{F5}\nline two", ""};
    QCOMPARE(f.items(), expected);
    QCOMPARE(f.dialogs.calls.size(), size_t(0));
    // The title operations leave the current row alone.
    f.answer("Third");
    f.w->mnusubTitle_Click(0);
    f.w->txtKey->setPlainText("again");
    f.w->cmdSaveItem->click();
    QCOMPARE(f.items()[4][2], QStringLiteral("again"));
}

// Save stores nothing without a title or item text, when the list was
// rebuilt and a name typed, or when the typed name is not the current row's;
// it says what to do instead.
void QuickWindowTest::saveRefused_data()
{
    QTest::addColumn<QString>("typedTitle");
    QTest::addColumn<QString>("typedItem");
    QTest::addColumn<bool>("rebuilt");
    QTest::newRow("empty title") << "" << "hello" << false;
    QTest::newRow("empty item") << kTitle << "" << false;
    QTest::newRow("other name typed") << kTitle << "twin" << false;
    QTest::newRow("no current row") << kTitle << "hello" << true;
}

void QuickWindowTest::saveRefused()
{
    QFETCH(QString, typedTitle);
    QFETCH(QString, typedItem);
    QFETCH(bool, rebuilt);
    Fixture f({kTitle}, sampleItems());
    f.choose(kTitle, "hello");
    if (rebuilt)
        f.pickTitle(kTitle);
    f.type(f.w->cboType, typedTitle);
    f.type(f.w->cboItem, typedItem);
    f.w->txtKey->setPlainText("must not be stored");
    f.w->cmdSaveItem->click();
    QCOMPARE(f.items(), sampleItems());
    QCOMPARE(f.dialogs.calls.size(), size_t(1));
    QVERIFY(f.dialogs.lastMessage()->text.startsWith("Choose or add an item first"));
    QCOMPARE(f.w->txtKey->toPlainText(), QStringLiteral("must not be stored"));
}

void QuickWindowTest::deleteItem()
{
    Fixture f({kTitle, kOther}, sampleItems());
    f.choose(kTitle, "twin", 1);
    f.w->cmdDeleteItem->click();  // answered No
    QCOMPARE(f.items(), sampleItems());
    QCOMPARE(f.dialogs.lastMessage()->text, QStringLiteral("Do You Want To Delete \"twin\""));
    QCOMPARE(f.dialogs.lastMessage()->style, 20);
    QCOMPARE(f.dialogs.lastMessage()->title, QStringLiteral("Typomat"));
    QCOMPARE(f.shown(), (QStringList{kTitle, "twin", "second twin", "2"}));

    f.answerYes();
    f.w->mnusubItem_Click(3);
    Rows expected = sampleItems();
    expected.removeAt(4);
    QCOMPARE(f.items(), expected);
    QCOMPARE(entries(f.w->cboItem), (QStringList{"hello", "twin", "bare"}));
    QCOMPARE(f.shown(), (QStringList{kTitle, "", "", ""}));
    QVERIFY(store::rsItem->AtEnd());
}

void QuickWindowTest::deleteOnlyItem()
{
    Fixture f({kTitle, kOther}, sampleItems());
    f.choose(kOther, "hello");
    f.answerYes();
    f.w->cmdDeleteItem->click();
    Rows expected = sampleItems();
    expected.removeAt(1);
    QCOMPARE(f.items(), expected);
    QCOMPARE(f.w->cboItem->count(), 0);
    QCOMPARE(f.shown(), (QStringList{kOther, "", "", ""}));
    QCOMPARE(entries(f.w->cboType), (QStringList{kTitle, kOther}));

    // The last row of the table gone: typed names still find no row.
    Fixture last({kTitle}, {{"only", kTitle, "k", "d"}});
    last.choose(kTitle, "only");
    last.answerYes();
    last.w->cmdDeleteItem->click();
    QCOMPARE(last.items(), Rows{});
    last.type(last.w->cboItem, "only");
    last.w->cmdSaveItem->click();   // says to choose an item first
    last.w->cmdDeleteItem->click();
    last.w->mnusubItem_Click(1);
    QCOMPARE(last.dialogs.calls.size(), size_t(2));
}

// Delete asks nothing and deletes nothing without an item text, without a
// current row, or when the typed name is not the current row's.
void QuickWindowTest::deleteRefused_data()
{
    QTest::addColumn<QString>("typedItem");
    QTest::addColumn<bool>("rebuilt");
    QTest::newRow("empty item") << "" << false;
    QTest::newRow("other name typed") << "bare" << false;
    QTest::newRow("no current row") << "hello" << true;
}

void QuickWindowTest::deleteRefused()
{
    QFETCH(QString, typedItem);
    QFETCH(bool, rebuilt);
    Fixture f({kTitle}, sampleItems());
    f.choose(kTitle, "hello");
    if (rebuilt)
        f.pickTitle(kTitle);
    f.type(f.w->cboItem, typedItem);
    f.answerYes();
    f.w->cmdDeleteItem->click();
    QCOMPARE(f.dialogs.calls.size(), size_t(0));
    QCOMPARE(f.items(), sampleItems());
}

void QuickWindowTest::renameItem()
{
    Fixture f({kTitle, kOther}, sampleItems());
    f.pickTitle(kTitle);
    f.type(f.w->cboItem, "twin");  // typed: Rename finds the row itself
    f.answer("Twin ");
    f.w->mnusubItem_Click(1);
    QCOMPARE(f.dialogs.calls[0].text, QStringLiteral("Rename Item"));
    QCOMPARE(f.dialogs.calls[0].defaultText, QStringLiteral("twin"));
    Rows expected = sampleItems();
    expected[2][0] = "Twin ";
    QCOMPARE(f.items(), expected);
    QCOMPARE(entries(f.w->cboItem), (QStringList{"hello", "Twin ", "bare", "twin"}));
    QCOMPARE(f.shown(), (QStringList{kTitle, "", "", ""}));
    // The current row is lost: a typed name saves nothing.
    f.type(f.w->cboItem, "Twin ");
    f.w->txtKey->setPlainText("lost");
    f.w->cmdSaveItem->click();
    QCOMPARE(f.items(), expected);
}

void QuickWindowTest::renameRefused()
{
    Fixture f({kTitle, kOther}, sampleItems());
    f.pickTitle(kOther);
    f.type(f.w->cboItem, "twin");  // only under the other title
    f.w->mnusubItem_Click(1);
    QCOMPARE(f.dialogs.calls.size(), size_t(0));
    f.pickItem("hello");
    f.w->mnusubItem_Click(1);  // cancelled: the found row stays current
    QCOMPARE(f.dialogs.calls.size(), size_t(1));
    QCOMPARE(f.items(), sampleItems());
    QCOMPARE(f.shown(), (QStringList{kOther, "hello", "other", "other title"}));
    f.w->txtKey->setPlainText("kept");
    f.w->cmdSaveItem->click();
    QCOMPARE(f.items()[1][2], QStringLiteral("kept"));
}

void QuickWindowTest::clearEmptiesKeyOnly()
{
    Fixture f({kTitle}, sampleItems());
    f.choose(kTitle, "hello");
    f.w->cmdClear->click();
    QCOMPARE(f.shown(), (QStringList{kTitle, "hello", "", "greets"}));
    QCOMPARE(f.w->cboItem->count(), 4);
    QCOMPARE(f.items(), sampleItems());
}

// Title operations of the quick window: the button makes the new title
// current without loading items, the menu keeps the current one, Delete also
// empties the item boxes when a row went.
void QuickWindowTest::titleOperations()
{
    Fixture f({kTitle, kOther}, sampleItems());
    f.choose(kTitle, "hello");
    const QStringList shownBefore = f.shown();
    f.answer("Menu added");
    f.w->mnusubTitle_Click(0);
    QCOMPARE(f.shown(), shownBefore);
    f.answer("Button added");
    f.w->cmdAddType->click();
    QCOMPARE(entries(f.w->cboType), (QStringList{kTitle, kOther, "Menu added", "Button added"}));
    QCOMPARE(f.shown(), (QStringList{"Button added", "hello", "Hello{ENTER}", "greets"}));
    QCOMPARE(f.w->cboItem->count(), 4);

    f.type(f.w->cboType, kTitle);
    f.w->mnusubTitle_Click(2);  // answered No
    QCOMPARE(f.shown(), (QStringList{kTitle, "hello", "Hello{ENTER}", "greets"}));
    f.type(f.w->cboType, "not a title");
    f.answerYes();
    f.w->mnusubTitle_Click(2);
    QCOMPARE(f.w->cboItem->count(), 4);
    f.type(f.w->cboType, kTitle);
    f.answerYes();
    f.w->mnusubTitle_Click(2);
    QCOMPARE(f.shown(), (QStringList{"", "", "", ""}));
    QCOMPARE(f.w->cboItem->count(), 0);
    QCOMPARE(f.items(), sampleItems());
}

// "Special Key" opens one picker right under the window; its buttons write
// into the key box at the caret and give the box the focus back.
void QuickWindowTest::specialKeyPicker()
{
    Fixture f({kTitle}, sampleItems());
    f.w->move(40, 30);
    QVERIFY(f.showActive());
    const auto below = [&f] {
        return QPoint(f.w->frameGeometry().left(), f.w->frameGeometry().bottom() + 1);
    };
    f.w->txtKey->setPlainText("ab");
    f.w->txtKey->moveCursor(QTextCursor::End);
    f.w->cmdSpecialKey->click();
    QPointer<frmSpecialKey> picker = frmSpecialKey::instance();
    QVERIFY(picker && picker->isVisible());
    QCOMPARE(picker->frameGeometry().topLeft(), below());
    QTest::mouseClick(picker->findChild<QPushButton*>("cmdF1"), Qt::LeftButton);
    QCOMPARE(f.w->txtKey->toPlainText(), QStringLiteral("ab{F1}"));
    QTRY_COMPARE(QApplication::focusWidget(), f.w->txtKey);

    const QPoint placed = picker->pos();
    f.w->move(200, 100);
    f.w->cmdSpecialKey->click();
    QCOMPARE(frmSpecialKey::instance(), picker.data());
    QCOMPARE(picker->pos(), placed);

    picker->close();
    QTRY_VERIFY(!picker);
    f.w->cmdSpecialKey->click();
    QVERIFY(frmSpecialKey::instance());
    QCOMPARE(frmSpecialKey::instance()->frameGeometry().topLeft(), below());
    frmSpecialKey::instance()->close();
    QCOMPARE(f.items(), sampleItems());
}

void QuickWindowTest::aboutIsModal()
{
    Fixture f;
    f.w->show();
    QString modal;
    QTimer::singleShot(0, qApp, [&modal] {
        if (QWidget* w = QApplication::activeModalWidget()) {
            modal = w->metaObject()->className();
            w->close();
        }
    });
    QTimer::singleShot(5000, qApp, [] {
        if (QWidget* w = QApplication::activeModalWidget())
            w->close();
    });
    f.w->mnuAbout->trigger();
    QCOMPARE(modal, QStringLiteral("frmAbout"));
}

void QuickWindowTest::shortcutsFromTextBoxes_data()
{
    QTest::addColumn<QString>("focus");
    QTest::addColumn<QKeySequence>("keys");
    QTest::addColumn<QString>("outcome");
    for (const char* box : {"txtKey", "txtDescription", "cboItem"}) {
        const QString name = QString::fromLatin1(box);
        QTest::newRow(qPrintable(name + " Ctrl+S")) << name << QKeySequence("Ctrl+S") << "saved";
        QTest::newRow(qPrintable(name + " Ctrl+D")) << name << QKeySequence("Ctrl+D") << "asked";
        QTest::newRow(qPrintable(name + " F8")) << name << QKeySequence("F8") << "sent";
    }
}

void QuickWindowTest::shortcutsFromTextBoxes()
{
    QFETCH(QString, focus);
    QFETCH(QKeySequence, keys);
    QFETCH(QString, outcome);
    Fixture f({kTitle}, sampleItems());
    QVERIFY(f.showActive());
    f.choose(kTitle, "hello");
    f.w->txtKey->setPlainText("edited");
    auto* target = f.w->findChild<QWidget*>(focus);
    target->setFocus();
    QTest::keySequence(QApplication::focusWidget(), keys);
    QCOMPARE(f.items()[0][2] == "edited", outcome == "saved");
    QCOMPARE(f.dialogs.messageCount() == 1, outcome == "asked");
    QCOMPARE(f.sender.sentKeyStrings() == QStringList{"edited"}, outcome == "sent");
    QCOMPARE(f.shown(), (QStringList{kTitle, "hello", "edited", "greets"}));
}

// An engine error inside a handler is shown, not fatal.
void QuickWindowTest::databaseErrorIsShown()
{
    Fixture f({kTitle}, sampleItems());
    sqlite3* raw = nullptr;
    QCOMPARE(sqlite3_open(qPrintable(app::databaseFilePath()), &raw), SQLITE_OK);
    QCOMPARE(sqlite3_exec(raw, "DROP TABLE KeyQuick", nullptr, nullptr, nullptr), SQLITE_OK);
    sqlite3_close(raw);
    f.pickTitle(kTitle);
    QCOMPARE(f.dialogs.messageCount(), 1);
    QCOMPARE(f.dialogs.lastMessage()->title, QStringLiteral("Typomat"));
    QVERIFY(!f.dialogs.lastMessage()->text.isEmpty());
}

// A file that is no key database: the reason is shown, the window's handlers
// stay harmless and the program ends once its event loop runs.
void QuickWindowTest::unreadableDatabaseAtLoad()
{
    testsupport::TempProgramFolder folder;
    QFile file(app::databaseFilePath());
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(QByteArray(4096, 'x'));
    file.close();
    ui::ScriptedDialogs dialogs;
    ui::installDialogs(&dialogs);
    store::rsItem.reset();
    store::rsTitle.reset();
    {
        frmQuick w;
        QCOMPARE(dialogs.messageCount(), 1);
        QCOMPARE(dialogs.lastMessage()->style, ui::vbOKOnly | ui::vbCritical);
        w.cboType->setEditText(kTitle);
        w.cboType_Click();
        w.cmdAddItem_Click();
        w.cmdSaveItem_Click();
        QCOMPARE(file.size(), 4096);
        QTimer::singleShot(5000, qApp, [] { QCoreApplication::exit(99); });
        QCOMPARE(QCoreApplication::exec(), 1);
    }
    ui::installDialogs(nullptr);
}

// Closing the window ends the program. A key or description typed and not
// saved is not lost unasked: Yes saves and closes, No closes, Cancel stays;
// Yes with no item chosen stays too. Saved before: nothing is asked.
void QuickWindowTest::closingEndsProgramOrAsksFirst_data()
{
    QTest::addColumn<bool>("itemChosen");
    QTest::addColumn<bool>("savedFirst");
    QTest::addColumn<int>("answer");
    QTest::addColumn<bool>("closed");
    QTest::addColumn<QString>("storedKey");
    QTest::newRow("saved before") << true << true << int(ui::vbCancel) << true << "typed";
    QTest::newRow("Yes") << true << false << int(ui::vbYes) << true << "typed";
    QTest::newRow("No") << true << false << int(ui::vbNo) << true << "Hello{ENTER}";
    QTest::newRow("Cancel") << true << false << int(ui::vbCancel) << false << "Hello{ENTER}";
    QTest::newRow("Yes, no item chosen") << false << false << int(ui::vbYes) << false
                                         << "Hello{ENTER}";
}

void QuickWindowTest::closingEndsProgramOrAsksFirst()
{
    QFETCH(bool, itemChosen);
    QFETCH(bool, savedFirst);
    QFETCH(int, answer);
    QFETCH(bool, closed);
    QFETCH(QString, storedKey);
    Fixture f({kTitle}, sampleItems());
    f.w->show();
    f.pickTitle(kTitle);
    if (itemChosen)
        f.pickItem("hello");
    f.w->txtKey->setPlainText("typed");
    if (savedFirst)
        f.w->cmdSaveItem->click();
    f.dialogs.messageAnswers = {answer};
    QTimer::singleShot(0, f.w.get(), [&f] { f.w->close(); });
    // Ends the loop when the window stays (one that closes ends it at once).
    QTimer stillOpen;
    stillOpen.setSingleShot(true);
    connect(&stillOpen, &QTimer::timeout, qApp, [] { QCoreApplication::exit(99); });
    stillOpen.start(closed ? 5000 : 300);
    QCOMPARE(QCoreApplication::exec(), closed ? 0 : 99);
    QCOMPARE(f.w->isVisible(), !closed);
    QCOMPARE(f.items()[0][2], storedKey);
    QCOMPARE(f.dialogs.messageCount(), savedFirst ? 0 : itemChosen ? 1 : 2);
    if (savedFirst)
        return;
    QCOMPARE(f.dialogs.calls[0].text, QStringLiteral("Do You Want To Save The Changes"));
    QCOMPARE(f.dialogs.calls[0].style, int(ui::vbYesNoCancel | ui::vbQuestion));
}

// After another Typomat window changed an item or a title, Save and Rename
// refuse; choosing again shows what is stored, and the change then works.
void QuickWindowTest::choosingAgainAfterAConflictShowsTheStoredValues()
{
    Fixture f({kTitle, kOther}, sampleItems());
    f.choose(kTitle, "hello");
    testsupport::changeElsewhere(QStringLiteral("KeyQuick"), 0, 2, QStringLiteral("theirs"));
    testsupport::changeElsewhere(QStringLiteral("Title"), 0, 0, QStringLiteral("Renamed elsewhere"));
    f.w->txtKey->setPlainText("typed");
    f.w->cmdSaveItem->click();
    QCOMPARE(f.dialogs.lastMessage()->text, testsupport::kChangedElsewhere);
    f.pickItem("hello");
    QCOMPARE(f.shown(), (QStringList{kTitle, "hello", "theirs", "greets"}));
    f.w->txtKey->setPlainText("mine");
    f.w->cmdSaveItem->click();
    QCOMPARE(f.items()[0][2], QStringLiteral("mine"));

    f.answer("Mine");
    f.w->mnusubTitle_Click(1);
    QCOMPARE(f.dialogs.lastMessage()->text, testsupport::kChangedElsewhere);
    QCOMPARE(entries(f.w->cboType), (QStringList{"Renamed elsewhere", kOther}));
    QCOMPARE(f.shown(), (QStringList{kTitle, "hello", "mine", "greets"}));
    f.pickTitle("Renamed elsewhere");
    f.answer("Mine");
    f.w->mnusubTitle_Click(1);
    QCOMPARE(rowsOf("Title"), (Rows{{"Mine"}, {kOther}}));
    QCOMPARE(f.dialogs.messageCount(), 2);

    // An item deleted elsewhere: picking it says so and keeps the boxes.
    f.choose(kOther, "hello");
    testsupport::deleteElsewhere(QStringLiteral("KeyQuick"), 1);
    f.w->txtKey->setPlainText("kept");
    f.pickItem("hello");
    QVERIFY(f.dialogs.lastMessage()->text.contains("another Typomat window renamed or deleted"));
    QCOMPARE(f.shown(), (QStringList{kOther, "hello", "kept", "other title"}));
}

// A database file replaced or moved while the window is open: a write says
// so and what to do, and goes to neither file.
void QuickWindowTest::replacedDatabaseFileIsReported_data()
{
    QTest::addColumn<bool>("replaced");
    QTest::newRow("replaced") << true;
    QTest::newRow("moved") << false;
}

void QuickWindowTest::replacedDatabaseFileIsReported()
{
    QFETCH(bool, replaced);
    Fixture f({kTitle}, sampleItems());
    f.choose(kTitle, "hello");
    const QString path = app::databaseFilePath();
    const QString aside = path + QStringLiteral(".aside");
    QVERIFY(QFile::copy(path, aside));
    QVERIFY(QFile::rename(path, path + QStringLiteral(".moved")));
    if (replaced)
        QVERIFY(QFile::rename(aside, path));
    f.w->txtKey->setPlainText("typed");
    f.w->cmdSaveItem->click();
    QCOMPARE(f.dialogs.messageCount(), 1);
    const QString said = f.dialogs.lastMessage()->text;
    QVERIFY2(said.contains("was replaced or moved while Typomat was open")
                 && said.contains("Start Typomat again"),
             qPrintable(said));
    QVERIFY(said.contains(path));
    for (const QString& file : {replaced ? path : aside, path + QStringLiteral(".moved")}) {
        auto db = store::Database::open(file);
        auto rs = db->OpenRecordset(QStringLiteral("KeyQuick"));
        QCOMPARE(rs->Fields(2).toText(), QStringLiteral("Hello{ENTER}"));
    }
}

// No-break spaces, line and paragraph separators are saved and sent as they
// are, not as spaces and line feeds (which would type Enter).
void QuickWindowTest::keyAndDescriptionKeepEveryCharacter()
{
    const QString loaded = QStringLiteral("a\u00A0b\u2029c\r\nd\u2028e");
    Fixture f({kTitle}, {{"loaded", kTitle, loaded, "x\u00A0y"}, {"typed", kTitle, kNull, kNull}});
    f.choose(kTitle, "loaded");
    f.w->cmdSaveItem->click();
    f.w->cmdRun->click();
    QCOMPARE(f.items()[0], (QStringList{"loaded", kTitle, loaded, "x\u00A0y"}));

    f.pickItem("typed");
    f.w->txtKey->insertPlainText(QStringLiteral("1\u00A02\u20283"));
    QTest::keyClick(f.w->txtKey, Qt::Key_Return);
    QTest::keyClicks(f.w->txtKey, QStringLiteral("4"));
    QTest::keyClick(f.w->txtKey, Qt::Key_Return, Qt::ShiftModifier);   // a line break, as Enter
    QTest::keyClicks(f.w->txtKey, QStringLiteral("5"));
    f.w->txtDescription->setText(QStringLiteral("d\u00A0e"));
    f.w->cmdSaveItem->click();
    f.w->cmdRun->click();
    const QString typed = QStringLiteral("1\u00A02\u20283\n4\n5");
    QCOMPARE(f.items()[1], (QStringList{"typed", kTitle, typed, "d\u00A0e"}));
    QCOMPARE(f.sender.sentKeyStrings(), (QStringList{loaded, typed}));

    // Longer than a stock one-line box holds: shown and saved whole.
    const QString longText(40000, u'x');
    f.answer(longText);
    f.w->cmdAddItem->click();
    f.choose(kTitle, longText);
    QCOMPARE(f.w->cboItem->currentText(), longText);
    f.w->txtDescription->setText(longText);
    f.w->cmdSaveItem->click();
    QCOMPARE(f.items()[2], (QStringList{longText, kTitle, "", longText}));
}

// A wheel notch over a closed box, focused or not, neither steps to another
// entry nor replaces the key string being typed.
void QuickWindowTest::wheelOverAClosedBoxIsNoPick()
{
    Fixture f({kTitle, kOther}, sampleItems());
    f.w->show();
    f.choose(kTitle, "hello");
    f.w->txtKey->setPlainText("typed, not saved");
    const QStringList before = f.shown();
    QApplication::setActiveWindow(f.w.get());
    f.w->txtKey->setFocus();
    for (bool focused : {false, true}) {
        for (QComboBox* box : {f.w->cboItem, f.w->cboType}) {
            if (focused)
                box->setFocus();
            for (int notch : {-120, 120, -120}) {
                const QPointF at(box->width() / 2.0, box->height() / 2.0);
                QWheelEvent wheel(at, box->mapToGlobal(at), QPoint(), QPoint(0, notch),
                                  Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
                QApplication::sendEvent(box, &wheel);
                QCOMPARE(f.shown(), before);
            }
            QCOMPARE(box->hasFocus(), focused);
        }
    }
}

QTEST_MAIN(QuickWindowTest)
#include "tst_gui_quick.moc"
