// SPDX-License-Identifier: MIT
#include "quick/frmQuick.h"

#include "about/frmAbout.h"
#include "ui/ComboBox.h"
#include "ui/Dialogs.h"
#include "ui/Named.h"
#include "ui/TextBox.h"
#include "ui/Twips.h"
#include "keys/KeySender.h"
#include "keys/widgets/frmSpecialKey.h"
#include "store/Database.h"
#include "store/titles/TitleList.h"

#include <QAction>
#include <QCloseEvent>
#include <QComboBox>
#include <QCoreApplication>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTimer>

namespace {

constexpr qint16 SWP_NOSIZE = 1;
constexpr qint16 SWP_NOMOVE = 2;

const QString kTypomat = QStringLiteral("Typomat");

store::Recordset& items()
{
    if (!store::rsItem)
        throw store::DbError(QStringLiteral("The key database is not open."));
    return *store::rsItem;
}

// Leaves the set on the first row whose name (column 0) and title (column 1)
// equal the texts; without one it stands past its last row (an empty set
// included, also right after its last row was deleted).
bool findItem(store::Recordset& rs, const QString& name, const QString& title)
{
    rs.MoveFirst();
    for (; !rs.AtEnd(); rs.MoveNext()) {
        if (rs.Fields(0).equalsText(name) && rs.Fields(1).equalsText(title))
            return true;
    }
    return false;
}

// Each entry of the item list holds the bookmark of its own KeyQuick record:
// names repeat under a title, and each entry shows and saves its own item.
QVariant recordData(store::Bookmark record)
{
    return QVariant::fromValue(record);
}

// Appends an entry without changing the box's text or selection (a combo box
// makes the first entry of an empty list current on its own).
void appendKeepingText(QComboBox* box, const QString& entry, store::Bookmark record)
{
    const int index = box->currentIndex();
    const QString text = box->currentText();
    box->addItem(entry, recordData(record));
    box->setCurrentIndex(index);
    box->setEditText(text);
}

// The entry the box shows: the one picked, while the box still holds its
// text, else the first entry of that text; -1 when no entry has it.
int shownEntry(const QComboBox* box)
{
    const int index = box->currentIndex();
    if (index >= 0 && box->itemText(index) == box->currentText())
        return index;
    return box->findText(box->currentText());
}

QComboBox* newComboBox(QWidget* parent, const char* name)
{
    auto* box = ui::named(new QComboBox(parent), name);
    ui::makeEditableCombo(box);
    return box;
}

QPushButton* newButton(QWidget* parent, const char* name, const QString& caption)
{
    auto* button = ui::named(new QPushButton(caption, parent), name);
    button->setAutoDefault(false);
    return button;
}

QGroupBox* newFrame(QWidget* parent, const char* name, const QString& caption)
{
    auto* frame = ui::named(new QGroupBox(caption, parent), name);
    frame->setFocusPolicy(Qt::NoFocus);
    return frame;
}

} // namespace

frmQuick::frmQuick(QWidget* parent) : QMainWindow(parent)
{
    setObjectName(QStringLiteral("frmQuick"));
    setWindowTitle(QStringLiteral("Typomat - Quick"));
    createControls();
    createMenus();
    arrangeTabOrder();
    connectHandlers();
    Form_Load();
}

frmQuick::~frmQuick() = default;

void frmQuick::createControls()
{
    auto* client = new QWidget(this);
    client->setObjectName(QStringLiteral("client"));
    client->setFixedSize(ui::twipsToPixels(4140, client), ui::twipsToPixels(3315, client));
    setCentralWidget(client);

    Frame1 = newFrame(client, "Frame1", QStringLiteral("Title :"));
    ui::placeTwips(Frame1, 0, 0, 4095, 735);
    cboType = newComboBox(Frame1, "cboType");
    ui::placeTwips(cboType, 120, 240, 2895, 330);
    cmdAddType = newButton(Frame1, "cmdAddType", QStringLiteral("Add Title"));
    ui::placeTwips(cmdAddType, 3120, 240, 855, 350);

    Frame2 = newFrame(client, "Frame2", QStringLiteral("Item :"));
    ui::placeTwips(Frame2, 0, 720, 4095, 2535);
    cboItem = newComboBox(Frame2, "cboItem");
    ui::placeTwips(cboItem, 120, 240, 2895, 330);
    cmdAddItem = newButton(Frame2, "cmdAddItem", QStringLiteral("Add Item"));
    ui::placeTwips(cmdAddItem, 3120, 240, 855, 350);
    Label5 = ui::named(new QLabel(QStringLiteral("Description :"), Frame2), "Label5");
    ui::placeTwips(Label5, 120, 600, 975, 255);
    txtDescription = new QLineEdit(Frame2);
    txtDescription->setObjectName(QStringLiteral("txtDescription"));
    ui::liftLengthLimit(txtDescription);
    ui::placeTwips(txtDescription, 120, 840, 2895, 315);
    cmdDeleteItem = newButton(Frame2, "cmdDeleteItem", QStringLiteral("Delete"));
    ui::placeTwips(cmdDeleteItem, 3120, 840, 855, 350);
    Label3 = ui::named(new QLabel(QStringLiteral("Key :"), Frame2), "Label3");
    ui::placeTwips(Label3, 120, 1200, 615, 255);
    cmdSpecialKey = newButton(Frame2, "cmdSpecialKey", QStringLiteral("Special Key"));
    ui::placeTwips(cmdSpecialKey, 960, 1200, 975, 255);
    cmdClear = newButton(Frame2, "cmdClear", QStringLiteral("Clear"));
    ui::placeTwips(cmdClear, 2040, 1200, 975, 255);
    txtKey = new QPlainTextEdit(Frame2);
    txtKey->setObjectName(QStringLiteral("txtKey"));
    ui::makeMultiLineBox(txtKey);
    ui::placeTwips(txtKey, 120, 1440, 2895, 975);
    cmdSaveItem = newButton(Frame2, "cmdSaveItem", QStringLiteral("Save"));
    ui::placeTwips(cmdSaveItem, 3120, 1440, 855, 350);
    cmdRun = newButton(Frame2, "cmdRun", QStringLiteral("Run"));
    ui::placeTwips(cmdRun, 3120, 2040, 855, 350);
}

void frmQuick::createMenus()
{
    mnuTitle = menuBar()->addMenu(QStringLiteral("&Title"));
    mnuTitle->setObjectName(QStringLiteral("mnuTitle"));
    const QString titleCaptions[] = {QStringLiteral("Add"), QStringLiteral("Rename"),
                                     QStringLiteral("Delete")};
    for (size_t i = 0; i < mnusubTitle.size(); ++i) {
        mnusubTitle[i] = mnuTitle->addAction(titleCaptions[i]);
        mnusubTitle[i]->setObjectName(QStringLiteral("mnusubTitle"));
        mnusubTitle[i]->setProperty("index", int(i));
    }

    mnuItem = menuBar()->addMenu(QStringLiteral("&Item"));
    mnuItem->setObjectName(QStringLiteral("mnuItem"));
    mnusubItem[0] = mnuItem->addAction(QStringLiteral("Add"));
    mnusubItem[1] = mnuItem->addAction(QStringLiteral("Rename"));
    mnusubItem[2] = mnuItem->addAction(QStringLiteral("Save"));
    mnusubItem[2]->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_S));
    mnusubItem[3] = mnuItem->addAction(QStringLiteral("Delete"));
    mnusubItem[3]->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_D));
    mnusubItem[4] = mnuItem->addSeparator();
    mnusubItem[5] = mnuItem->addAction(QStringLiteral("&Run"));
    mnusubItem[5]->setShortcut(QKeySequence(Qt::Key_F8));
    for (size_t i = 0; i < mnusubItem.size(); ++i) {
        mnusubItem[i]->setObjectName(QStringLiteral("mnusubItem"));
        mnusubItem[i]->setProperty("index", int(i));
    }

    mnuAbout = menuBar()->addAction(QStringLiteral("&About"));
    mnuAbout->setObjectName(QStringLiteral("mnuAbout"));
}

void frmQuick::arrangeTabOrder()
{
    QWidget* const order[] = {cboType,      cboItem,       txtDescription, txtKey,
                              cmdAddType,   cmdAddItem,    cmdDeleteItem,  cmdSaveItem,
                              cmdRun,       cmdSpecialKey, cmdClear};
    for (size_t i = 1; i < std::size(order); ++i)
        QWidget::setTabOrder(order[i - 1], order[i]);
    cboType->setFocus();
}

void frmQuick::connectHandlers()
{
    connect(cboType, &QComboBox::activated, this, &frmQuick::cboType_Click);
    connect(cboItem, &QComboBox::activated, this, &frmQuick::cboItem_Click);
    connect(cmdAddType, &QPushButton::clicked, this, &frmQuick::cmdAddType_Click);
    connect(cmdAddItem, &QPushButton::clicked, this, &frmQuick::cmdAddItem_Click);
    connect(cmdDeleteItem, &QPushButton::clicked, this, &frmQuick::cmdDeleteItem_Click);
    connect(cmdSaveItem, &QPushButton::clicked, this, &frmQuick::cmdSaveItem_Click);
    connect(cmdClear, &QPushButton::clicked, this, &frmQuick::cmdClear_Click);
    connect(cmdSpecialKey, &QPushButton::clicked, this, &frmQuick::cmdSpecialKey_Click);
    connect(cmdRun, &QPushButton::clicked, this, &frmQuick::cmdRun_Click);
    for (size_t i = 0; i < mnusubTitle.size(); ++i)
        connect(mnusubTitle[i], &QAction::triggered, this,
                [this, i] { mnusubTitle_Click(int(i)); });
    for (size_t i = 0; i < mnusubItem.size(); ++i)
        connect(mnusubItem[i], &QAction::triggered, this,
                [this, i] { mnusubItem_Click(int(i)); });
    connect(mnuAbout, &QAction::triggered, this, &frmQuick::mnuAbout_Click);
}

void frmQuick::Form_Load()
{
    placementFlags = SWP_NOSIZE | SWP_NOMOVE;
    setWindowFlag(Qt::WindowStaysOnTopHint, true);
    try {
        store::openMainDatabase();
        store::rsTitle = store::dbMain->OpenRecordset(QStringLiteral("Title"));
        store::rsItem = store::dbMain->OpenRecordset(QStringLiteral("KeyQuick"));
        titles::Fill(cboType);
    } catch (const std::exception& e) {
        // Without its database the window has nothing to work on: say why and
        // end the program once its event loop runs.
        ui::dialogs().MsgBox(QString::fromUtf8(e.what()), ui::vbOKOnly | ui::vbCritical,
                             kTypomat);
        QTimer::singleShot(0, qApp, [] { QCoreApplication::exit(1); });
    }
    clearItem();
}

void frmQuick::closeEvent(QCloseEvent* event)
{
    if (!mayClose()) {
        event->ignore();
        return;
    }
    event->accept();
    Form_Unload();
}

// A key or description changed and not saved is not dropped unasked: as in
// the item editor, Yes saves (and closes only when that worked), No closes,
// Cancel stays.
bool frmQuick::mayClose()
{
    if (ui::exactText(txtKey) == savedKey_ && txtDescription->text() == savedDescription_)
        return true;
    const int answer = ui::dialogs().MsgBox(QStringLiteral("Do You Want To Save The Changes"),
                                            ui::vbYesNoCancel | ui::vbQuestion, kTypomat);
    if (answer != ui::vbYes)
        return answer == ui::vbNo;
    bool saved = false;
    ui::guarded([this, &saved] { saved = saveItem(); });
    return saved;
}

// The key and description as stored for the item shown.
void frmQuick::rememberShown()
{
    savedKey_ = ui::exactText(txtKey);
    savedDescription_ = txtDescription->text();
}

void frmQuick::Form_Unload()
{
    QCoreApplication::exit(0);
}

void frmQuick::clearItem()
{
    cboItem->clear();
    cboItem->clearEditText();
    txtKey->clear();
    txtDescription->clear();
    rememberShown();
}

// Lists, in row order, the names of the items whose title column equals the
// title box's text. Leaves rsItem past its last row and no entry chosen.
void frmQuick::listItemsOfTitle()
{
    store::Recordset& rs = items();
    const QString title = cboType->currentText();
    for (rs.MoveFirst(); !rs.AtEnd(); rs.MoveNext()) {
        if (rs.Fields(1).equalsText(title))
            appendKeepingText(cboItem, rs.Fields(0).toText(), rs.GetBookmark());
    }
    cboItem->setCurrentIndex(-1);
    cboItem->clearEditText();
}

// Save and Delete act only on the row the item box names: a row must be
// current, and its name must be the box's text.
bool frmQuick::currentRowIsShownItem() const
{
    const store::Recordset& rs = items();
    return !rs.AtEnd() && rs.Fields(0).equalsText(cboItem->currentText());
}

// Puts rsItem on the record the item box shows: its list entry's own record,
// while that still bears the entry's name and the title box's title;
// otherwise, as for a name typed, the first record of that name and title.
// Without one the set stands at its end.
bool frmQuick::findShownItem()
{
    store::Recordset& rs = items();
    const QString name = cboItem->currentText();
    const QString title = cboType->currentText();
    const int entry = shownEntry(cboItem);
    if (entry >= 0 && rs.MoveToBookmark(cboItem->itemData(entry).value<store::Bookmark>())
        && rs.Fields(0).equalsText(name) && rs.Fields(1).equalsText(title))
        return true;
    return findItem(rs, name, title);
}

// Makes the record the item box shows the current item row and shows its
// key and description (no value reads as empty). Without such a record the
// boxes keep what they show.
bool frmQuick::lookUpShownItem()
{
    if (!findShownItem())
        return false;
    const store::Recordset& rs = items();
    ui::setExactText(txtKey, rs.Fields(2).toText());
    txtDescription->setText(rs.Fields(3).toText());
    rememberShown();
    return true;
}

void frmQuick::cboType_Click()
{
    ui::guarded([this] {
        clearItem();
        items().Requery();
        listItemsOfTitle();
    });
}

// The items are read again when another Typomat window has changed the
// file: a choice shows what is stored now.
void frmQuick::cboItem_Click()
{
    ui::guarded([this] {
        items().RequeryIfChanged();
        if (lookUpShownItem() || shownEntry(cboItem) < 0)
            return;
        ui::dialogs().MsgBox(QStringLiteral("The item \"%1\" is not stored under the title "
                                            "\"%2\": another Typomat window renamed or deleted "
                                            "it. Pick the title again to list its items.")
                                 .arg(cboItem->currentText(), cboType->currentText()),
                             ui::vbOKOnly | ui::vbExclamation, kTypomat);
    });
}

void frmQuick::cmdAddType_Click()
{
    ui::guarded([this] { titles::Add(cboType, true); });
}

void frmQuick::mnusubTitle_Click(int index)
{
    ui::guarded([this, index] {
        switch (index) {
        case 0:
            titles::Add(cboType, false);
            break;
        case 1:
            titles::Rename(cboType);
            break;
        case 2:
            if (titles::Delete(cboType))
                clearItem();
            break;
        default:
            break;
        }
    });
}

void frmQuick::cmdAddItem_Click()
{
    ui::guarded([this] { addItem(true); });
}

// "Add Item" (makeCurrent) also chooses the new item and makes its row the
// current item row; the menu entry only appends it to the list.
void frmQuick::addItem(bool makeCurrent)
{
    const QString title = cboType->currentText();
    if (title.isEmpty())
        return;
    const QString name = ui::dialogs().InputBox(QStringLiteral("Add Item"), kTypomat);
    if (name.isEmpty())
        return;
    store::Recordset& rs = items();
    rs.AddNew();
    rs.SetField(0, name);
    rs.SetField(1, title);
    rs.Update();
    if (!makeCurrent) {
        appendKeepingText(cboItem, name, rs.LastModified());
        return;
    }
    cboItem->addItem(name, recordData(rs.LastModified()));
    cboItem->setCurrentIndex(cboItem->count() - 1);
    lookUpShownItem();
}

void frmQuick::renameItem()
{
    const QString name = cboItem->currentText();
    if (name.isEmpty())
        return;
    store::Recordset& rs = items();
    if (!findShownItem())
        return;
    const QString answer =
        ui::dialogs().InputBox(QStringLiteral("Rename Item"), kTypomat, name);
    if (answer.isEmpty())
        return;
    rs.Edit();
    rs.SetField(0, answer);
    rs.Update();
    clearItem();
    listItemsOfTitle();
}

void frmQuick::mnusubItem_Click(int index)
{
    switch (index) {
    case 0:
        ui::guarded([this] { addItem(false); });
        break;
    case 1:
        ui::guarded([this] { renameItem(); });
        break;
    case 2:
        cmdSaveItem_Click();
        break;
    case 3:
        cmdDeleteItem_Click();
        break;
    case 5:
        cmdRun_Click();
        break;
    default:
        break;
    }
}

void frmQuick::cmdSaveItem_Click()
{
    ui::guarded([this] { saveItem(); });
}

// Stores the key and description in the current item row; true when done.
// Save never creates an item: without one chosen it says what to do.
bool frmQuick::saveItem()
{
    if (cboType->currentText().isEmpty() || cboItem->currentText().isEmpty()
        || !currentRowIsShownItem()) {
        ui::dialogs().MsgBox(QStringLiteral("Choose or add an item first: Save stores the key and "
                                            "the description of the item chosen in the Item "
                                            "list, under the chosen title."),
                             ui::vbOKOnly | ui::vbExclamation, kTypomat);
        return false;
    }
    store::Recordset& rs = items();
    rs.Edit();
    rs.SetField(2, ui::exactText(txtKey));
    rs.SetField(3, txtDescription->text());
    rs.Update();
    rememberShown();
    return true;
}

void frmQuick::cmdDeleteItem_Click()
{
    ui::guarded([this] {
        const QString name = cboItem->currentText();
        if (name.isEmpty() || !currentRowIsShownItem())
            return;
        const int answer = ui::dialogs().MsgBox(
            QStringLiteral("Do You Want To Delete \"%1\"").arg(name),
            ui::vbYesNo | ui::vbCritical, kTypomat);
        if (answer != ui::vbYes)
            return;
        items().Delete();
        clearItem();
        listItemsOfTitle();
    });
}

void frmQuick::cmdClear_Click()
{
    txtKey->clear();
}

void frmQuick::cmdSpecialKey_Click()
{
    txtKey->setFocus();
    frmSpecialKey::showFor(this, txtKey);
}

// Sends the shown key string to the window titled as the title box, at once.
// Reads and writes nothing else: not the database, not the window.
void frmQuick::cmdRun_Click()
{
    try {
        const QString title = cboType->currentText();
        if (title.isEmpty())
            return;
        keys::keySender().AppActivate(title);
        keys::keySender().SendKeys(ui::exactText(txtKey), true);
    } catch (const keys::KeyError& e) {
        ui::dialogs().MsgBox(e.description(), ui::vbOKOnly, QStringLiteral("Error"));
    } catch (const std::exception& e) {
        ui::dialogs().MsgBox(QString::fromUtf8(e.what()), ui::vbOKOnly,
                             QStringLiteral("Error"));
    }
}

void frmQuick::mnuAbout_Click()
{
    frmAbout::showFromMenu();
}
