// SPDX-License-Identifier: MIT
#include "script/frmScriptItem.h"

#include "ui/ComboBox.h"
#include "ui/Dialogs.h"
#include "ui/Named.h"
#include "ui/TextBox.h"
#include "ui/Twips.h"
#include "keys/KeySender.h"
#include "keys/widgets/SpecialKeyBlock.h"
#include "script/frmScript.h"
#include "store/Database.h"
#include "store/OleDate.h"
#include "store/titles/TitleList.h"

#include <QAction>
#include <QComboBox>
#include <QDateTimeEdit>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace {

constexpr int kClientWidth = 4155;
constexpr int kClientHeight = 5715;

// Cells of an lvScript row: item, title, key, description, count-down.
enum Cell { cellItem = 0, cellTitle, cellKey, cellDescription, cellCountDown };

store::Recordset& itemSet()
{
    if (!store::rsItem)
        throw store::DbError(QStringLiteral("The script items are not open."));
    return *store::rsItem;
}

} // namespace

frmScriptItem::frmScriptItem(frmScript& opener) : QDialog(&opener), opener_(opener)
{
    setObjectName(QStringLiteral("frmScriptItem"));
    setWindowTitle(QStringLiteral("Typomat - Item"));
    // A dialog owned by its opener: no task-bar entry, no minimise or
    // maximise button; QDialog centres it over the opener when shown.
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint
                   | Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);
    setModal(true);
    setSizeGripEnabled(false);

    buildMenu();
    buildControls();
    connectHandlers();

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->setMenuBar(menuBar);
    layout->addWidget(client);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    ui::guarded([this] { Form_Load(); });
    loaded_ = boxTexts();
}

frmScriptItem::~frmScriptItem() = default;

void frmScriptItem::buildMenu()
{
    menuBar = new QMenuBar(this);
    menuBar->setObjectName(QStringLiteral("menuBar"));
    mnuTitle = menuBar->addMenu(QStringLiteral("&Title"));
    mnuTitle->setObjectName(QStringLiteral("mnuTitle"));
    const QString captions[] = {QStringLiteral("Add"), QStringLiteral("Rename"),
                                QStringLiteral("Delete")};
    for (int i = 0; i < 3; ++i) {
        mnusubTitle[i] = mnuTitle->addAction(captions[i]);
        mnusubTitle[i]->setObjectName(QStringLiteral("mnusubTitle"));
        mnusubTitle[i]->setData(i);
    }
}

void frmScriptItem::buildControls()
{
    client = new QWidget(this);
    client->setObjectName(QStringLiteral("client"));
    client->setFixedSize(ui::twipsToPixels(kClientWidth, this),
                         ui::twipsToPixels(kClientHeight, this));

    Label1 = ui::named(new QLabel(QStringLiteral("Item "), client), "Label1");
    Label2 = ui::named(new QLabel(QStringLiteral("Title"), client), "Label2");
    txtItem = new QLineEdit(client);
    txtItem->setObjectName(QStringLiteral("txtItem"));
    ui::liftLengthLimit(txtItem);
    cboType = new QComboBox(client);
    cboType->setObjectName(QStringLiteral("cboType"));
    ui::makeEditableCombo(cboType);

    Label3 = ui::named(new QLabel(QStringLiteral("Description :"), client), "Label3");
    txtDescription = new QLineEdit(client);
    txtDescription->setObjectName(QStringLiteral("txtDescription"));
    ui::liftLengthLimit(txtDescription);

    Label4 = ui::named(new QLabel(QStringLiteral("Key :"), client), "Label4");
    cmdClear = ui::named(new QPushButton(QStringLiteral("Clear"), client), "cmdClear");
    txtKey = new QPlainTextEdit(client);
    txtKey->setObjectName(QStringLiteral("txtKey"));
    ui::makeMultiLineBox(txtKey);

    Frame1 = new QGroupBox(QStringLiteral("Special Key :"), client);
    Frame1->setObjectName(QStringLiteral("Frame1"));

    Label5 = ui::named(new QLabel(QStringLiteral("Count Down :"), client), "Label5");
    dtpCountDown = new QDateTimeEdit(client);
    dtpCountDown->setObjectName(QStringLiteral("dtpCountDown"));
    dtpCountDown->setTimeSpec(Qt::UTC);  // every time of day exists, whatever the zone
    dtpCountDown->setDisplayFormat(QStringLiteral("HH:mm:ss"));

    cmdRun = ui::named(new QPushButton(QStringLiteral("Test"), client), "cmdRun");
    cmdSaveItem = ui::named(new QPushButton(QStringLiteral("Save"), client), "cmdSaveItem");

    // Positions in twips, top to bottom.
    ui::placeTwips(Label1, 120, 60, 1095, 255);
    ui::placeTwips(Label2, 1320, 60, 2715, 255);
    ui::placeTwips(txtItem, 120, 300, 1095, 315);
    ui::placeTwips(cboType, 1320, 300, 2715, 315);
    ui::placeTwips(Label3, 120, 690, 3915, 255);
    ui::placeTwips(txtDescription, 120, 930, 3915, 315);
    ui::placeTwips(Label4, 120, 1350, 1095, 255);
    ui::placeTwips(cmdClear, 3075, 1290, 960, 330);
    ui::placeTwips(txtKey, 120, 1680, 3915, 735);
    ui::placeTwips(Frame1, 30, 2475, 4095, 2175);
    ui::placeTwips(Label5, 120, 4785, 1275, 255);
    ui::placeTwips(dtpCountDown, 1440, 4740, 1455, 330);
    ui::placeTwips(cmdRun, 840, 5190, 1095, 375);
    ui::placeTwips(cmdSaveItem, 2220, 5190, 1095, 375);

    keys::buildSpecialKeyBlock(Frame1, txtKey);

    // Enter in a text box must not press a button, as no button is the default.
    for (QPushButton* button : findChildren<QPushButton*>()) {
        button->setAutoDefault(false);
        button->setDefault(false);
    }

    QWidget* const tabOrder[] = {txtItem, cboType,      txtDescription, txtKey,
                                 cmdClear, dtpCountDown, cmdRun,         cmdSaveItem};
    for (size_t i = 1; i < std::size(tabOrder); ++i)
        setTabOrder(tabOrder[i - 1], tabOrder[i]);
}

void frmScriptItem::connectHandlers()
{
    connect(cmdSaveItem, &QPushButton::clicked, this, [this] { cmdSaveItem_Click(); });
    connect(cmdRun, &QPushButton::clicked, this, [this] { cmdRun_Click(); });
    connect(cmdClear, &QPushButton::clicked, this, [this] { cmdClear_Click(); });
    for (int i = 0; i < 3; ++i)
        connect(mnusubTitle[i], &QAction::triggered, this, [this, i] { mnusubTitle_Click(i); });
}

void frmScriptItem::Form_Load()
{
    titles::Fill(cboType);
    if (itemSet().EditMode() == store::dbEditAdd) {
        txtItem->clear();
        cboType->setEditText(QString());
        txtDescription->clear();
        txtKey->clear();
        setCountDown(QString());
        return;
    }
    row_ = opener_.lvScript->currentItem();
    if (!row_) {
        setCountDown(QString());
        return;
    }
    txtItem->setText(row_->text(cellItem));
    cboType->setEditText(row_->text(cellTitle));
    ui::setExactText(txtKey, row_->text(cellKey));
    txtDescription->setText(row_->text(cellDescription));
    setCountDown(row_->text(cellCountDown));
}

QStringList frmScriptItem::boxTexts() const
{
    return {txtItem->text(), cboType->currentText(), ui::exactText(txtKey), txtDescription->text(),
            dtpCountDown->time().toString(Qt::ISODate)};
}

// A cell that is not a time shows 00:00:00.
void frmScriptItem::setCountDown(const QString& cellText)
{
    const auto value = oledate::parseTime(cellText);
    const oledate::TimeOfDay t = oledate::timeOfDay(value.value_or(oledate::OleDate{}));
    dtpCountDown->setTime(QTime(t.hour, t.minute, t.second));
}

void frmScriptItem::cmdSaveItem_Click()
{
    ui::guarded([this] {
        store::Recordset& rs = itemSet();
        const bool adding = rs.EditMode() == store::dbEditAdd;
        // The row opened, wherever the selection has moved since (a failed
        // run selects its row while the editor is open).
        QTreeWidgetItem* row = adding ? nullptr : row_;
        const bool rowListed = row && opener_.lvScript->indexOfTopLevelItem(row) >= 0;
        if (!adding && (!rowListed || rs.EditMode() != store::dbEditInProgress))
            throw store::DbError(QStringLiteral("No script item is being edited."));

        const QTime time = dtpCountDown->time();
        const oledate::OleDate countDown =
            oledate::fromTime(time.hour(), time.minute(), time.second());
        const QStringList cells{txtItem->text(), cboType->currentText(),
                                ui::exactText(txtKey), txtDescription->text(),
                                oledate::formatTime(countDown)};

        // The record first: a value the engine refuses leaves the list as it was.
        // It goes to the script the list shows, not to a name typed since.
        rs.SetField(0, opener_.listedScript());
        for (int field = 1; field <= 4; ++field)  // item, title, key, description
            rs.SetField(field, cells[field - 1]);
        rs.SetField(5, countDown);
        rs.Update();

        if (adding) {
            opener_.appendItemRow(cells, rs.LastModified());
        } else {
            for (int column = cellItem; column <= cellCountDown; ++column)
                row->setText(column, cells[column]);
        }
        accept();
    });
}

void frmScriptItem::reject()
{
    if (boxTexts() != loaded_) {
        const int answer = ui::dialogs().MsgBox(QStringLiteral("Do You Want To Save The Changes"),
                                                ui::vbYesNoCancel | ui::vbQuestion,
                                                QStringLiteral("Typomat"));
        if (answer == ui::vbYes)
            cmdSaveItem_Click();  // closes unless the save fails
        if (answer != ui::vbNo)
            return;
    }
    QDialog::reject();
}

void frmScriptItem::cmdRun_Click()
{
    const QString title = cboType->currentText();
    if (title.isEmpty())
        return;
    const QString error = QStringLiteral("Error");
    try {
        keys::keySender().AppActivate(title);
        keys::keySender().SendKeys(ui::exactText(txtKey), true);
    } catch (const keys::KeyError& e) {
        ui::dialogs().MsgBox(e.description(), ui::vbOKOnly, error);
    } catch (const std::exception& e) {
        ui::dialogs().MsgBox(QString::fromUtf8(e.what()), ui::vbOKOnly, error);
    }
}

void frmScriptItem::cmdClear_Click()
{
    txtKey->setPlainText(QString());
}

void frmScriptItem::mnusubTitle_Click(int index)
{
    ui::guarded([this, index] {
        switch (index) {
        case 0: titles::Add(cboType, true); break;
        case 1: titles::Rename(cboType); break;
        case 2: titles::Delete(cboType); break;
        default: break;
        }
    });
}
