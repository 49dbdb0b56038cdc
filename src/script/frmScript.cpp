// SPDX-License-Identifier: MIT
#include "script/frmScript.h"

#include "about/frmAbout.h"
#include "ui/ComboBox.h"
#include "ui/Dialogs.h"
#include "ui/Named.h"
#include "ui/TextBox.h"
#include "ui/Twips.h"
#include "keys/KeySender.h"
#include "script/Clock.h"
#include "script/CountDown.h"
#include "script/ItemList.h"
#include "script/SteadyTimer.h"
#include "script/frmScriptItem.h"
#include "store/Database.h"

#include <QAction>
#include <QCloseEvent>
#include <QComboBox>
#include <QCoreApplication>
#include <QDateTimeEdit>
#include <QFontMetrics>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>
#include <QTreeWidget>

#include <optional>

namespace {

constexpr int kClientWidth = 11880;
constexpr int kClientHeight = 8190;
const QString kTypomat = QStringLiteral("Typomat");

// Cells of an lvScript row: item, title, key, description, count-down.
enum Cell { cellItem = 0, cellTitle, cellKey, cellDescription, cellCountDown };

store::Recordset& scripts()
{
    if (!store::rsScript)
        throw store::DbError(QStringLiteral("The scripts are not open."));
    return *store::rsScript;
}

store::Recordset& items()
{
    if (!store::rsItem)
        throw store::DbError(QStringLiteral("The script items are not open."));
    return *store::rsItem;
}

QTreeWidgetItem* makeRow(const QStringList& cells, store::Bookmark record)
{
    auto* row = new script::ItemRow(cells, record);
    row->setCheckState(cellItem, Qt::Checked);
    return row;
}

QDate today()
{
    return script::clock().now().date();
}

} // namespace

frmScript::frmScript(QWidget* parent) : QMainWindow(parent)
{
    setObjectName(QStringLiteral("frmScript"));
    setWindowTitle(QStringLiteral("Typomat - Script"));
    buildMenus();
    buildControls();
    arrangeTabOrder();
    connectHandlers();
    Form_Load();
    Timer1->setEnabled(true);
}

frmScript::~frmScript() = default;

// ---------------------------------------------------------------- layout

void frmScript::buildMenus()
{
    mnuAbout = ui::named(menuBar()->addAction(QStringLiteral("&About")), "mnuAbout");

    // The list's pop-up menu; never on the menu bar.
    mnuPopup = ui::named(new QMenu(QStringLiteral("Popup"), this), "mnuPopup");
    const QString captions[] = {QStringLiteral("New"), QStringLiteral("Edit"),
                                QStringLiteral("Delete")};
    for (int i = 0; i < 3; ++i) {
        mnusubPopup[static_cast<size_t>(i)] = ui::named(mnuPopup->addAction(captions[i]), "mnusubPopup");
        mnusubPopup[static_cast<size_t>(i)]->setData(i);
    }
}

void frmScript::buildControls()
{
    client = ui::named(new QWidget(this), "client");
    client->setFixedSize(ui::twipsToPixels(kClientWidth, this), ui::twipsToPixels(kClientHeight, this));
    setCentralWidget(client);

    Frame3 = ui::named(new QGroupBox(QStringLiteral("Script"), client), "Frame3");
    Label3 = ui::named(new QLabel(QStringLiteral("Name"), Frame3), "Label3");
    cboScript = ui::named(new QComboBox(Frame3), "cboScript");
    ui::makeEditableCombo(cboScript);  // typing changes the text only
    Label2 = ui::named(new QLabel(QStringLiteral("Description"), Frame3), "Label2");
    txtDescription = ui::named(new QPlainTextEdit(Frame3), "txtDescription");
    ui::makeMultiLineBox(txtDescription);
    cmdNew = ui::named(new QPushButton(QStringLiteral("New"), Frame3), "cmdNew");
    cmdSave = ui::named(new QPushButton(QStringLiteral("Save"), Frame3), "cmdSave");
    cmdDelete = ui::named(new QPushButton(QStringLiteral("Delete"), Frame3), "cmdDelete");

    Frame2 = ui::named(new QGroupBox(QStringLiteral("By"), Frame3), "Frame2");
    Option2 = ui::named(new QRadioButton(QStringLiteral("Count Down"), Frame2), "Option2");
    Option1 = ui::named(new QRadioButton(QStringLiteral("Set Time"), Frame2), "Option1");
    dtpCountDown = ui::named(new QDateTimeEdit(Frame2), "dtpCountDown");
    dtpCountDown->setTimeSpec(Qt::UTC);  // every time of day exists, whatever the zone
    dtpCountDown->setDisplayFormat(QStringLiteral("HH:mm:ss"));
    dtpTime = ui::named(new QDateTimeEdit(Frame2), "dtpTime");
    dtpTime->setDisplayFormat(QStringLiteral("dd/MM/yy HH:mm"));

    Timer1 = ui::named(new script::SteadyTimer(std::chrono::seconds(1), this), "Timer1");
    Timer2 = ui::named(new script::SteadyTimer(std::chrono::seconds(1), this), "Timer2");

    auto* list = new script::ItemListView(client);
    lvScript = ui::named(static_cast<QTreeWidget*>(list), "lvScript");
    lvScript->setRootIsDecorated(false);
    lvScript->setUniformRowHeights(true);
    lvScript->setSelectionMode(QAbstractItemView::SingleSelection);
    lvScript->setEditTriggers(QAbstractItemView::NoEditTriggers);
    lvScript->setContextMenuPolicy(Qt::PreventContextMenu);
    lvScript->setColumnCount(5);
    lvScript->setHeaderLabels({QStringLiteral("Item"), QStringLiteral("Title"), QStringLiteral("Key"),
                               QStringLiteral("Description"), QStringLiteral("Count Down")});
    lvScript->header()->setStretchLastSection(false);
    lvScript->header()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    const int widths[] = {700, 2500, 3500, 3500, 1100};
    for (int column = 0; column < 5; ++column)
        lvScript->setColumnWidth(column, ui::twipsToPixels(widths[column], this));

    Frame1 = ui::named(new QGroupBox(QStringLiteral("Now"), client), "Frame1");
    Label1 = ui::named(new QLabel(Frame1), "Label1");
    cmdCancel = ui::named(new QPushButton(QStringLiteral("Cancel"), client), "cmdCancel");
    cmdStart = ui::named(new QPushButton(QStringLiteral("Start"), client), "cmdStart");

    ui::placeTwips(Frame3, 120, 120, 11655, 2655);
    ui::placeTwips(Label3, 480, 360, 1215, 255);
    ui::placeTwips(cboScript, 480, 600, 4695, 315);
    ui::placeTwips(Label2, 480, 1200, 1215, 255);
    ui::placeTwips(txtDescription, 480, 1440, 4695, 975);
    ui::placeTwips(cmdNew, 6000, 480, 1455, 375);
    ui::placeTwips(cmdSave, 7680, 480, 1455, 375);
    ui::placeTwips(cmdDelete, 9360, 480, 1455, 375);
    ui::placeTwips(Frame2, 5880, 960, 5055, 1455);
    ui::placeTwips(Option2, 360, 360, 1695, 255);
    ui::placeTwips(Option1, 2280, 360, 1695, 255);
    ui::placeTwips(dtpCountDown, 360, 720, 1695, 495);
    ui::placeTwips(dtpTime, 2280, 720, 2535, 495);
    ui::placeTwips(lvScript, 120, 2880, 11655, 3975);
    ui::placeTwips(Frame1, 600, 6960, 4815, 855);
    ui::placeTwips(Label1, 120, 240, 4575, 495);
    setClockFont();
    ui::placeTwips(cmdCancel, 7200, 7320, 1455, 495);
    ui::placeTwips(cmdStart, 8880, 7320, 1455, 495);

    for (QPushButton* button : client->findChildren<QPushButton*>()) {
        button->setAutoDefault(false);
        button->setDefault(false);
    }
}

// 24-point bold, narrowed where the fonts at hand are too wide for the whole
// clock text to fit the label.
void frmScript::setClockFont()
{
    QFont font = Label1->font();
    font.setPointSize(24);
    font.setBold(true);
    const auto width = [&font] {
        return QFontMetrics(font).horizontalAdvance(QStringLiteral("00/00/00 00:00:00"));
    };
    const int needed = width();
    if (needed > Label1->width()) {
        font.setStretch(std::max(50, 100 * Label1->width() / needed));
        while (font.stretch() > 50 && width() > Label1->width())
            font.setStretch(font.stretch() - 1);
    }
    Label1->setFont(font);
}

void frmScript::arrangeTabOrder()
{
    QWidget* const order[] = {cboScript, txtDescription, cmdNew,  cmdSave,  cmdDelete,
                              Option2,   Option1,        dtpCountDown, dtpTime, lvScript,
                              cmdCancel, cmdStart};
    for (size_t i = 1; i < std::size(order); ++i)
        QWidget::setTabOrder(order[i - 1], order[i]);
}

void frmScript::connectHandlers()
{
    connect(cboScript, &QComboBox::activated, this, [this] { cboScript_Click(); });
    connect(cmdNew, &QPushButton::clicked, this, [this] { cmdNew_Click(); });
    connect(cmdSave, &QPushButton::clicked, this, [this] { cmdSave_Click(); });
    connect(cmdDelete, &QPushButton::clicked, this, [this] { cmdDelete_Click(); });
    connect(mnuAbout, &QAction::triggered, this, [this] { mnuAbout_Click(); });
    connect(cmdStart, &QPushButton::clicked, this, [this] { cmdStart_Click(); });
    connect(cmdCancel, &QPushButton::clicked, this, [this] { cmdCancel_Click(); });
    // Selecting an option from code runs its handler too.
    connect(Option1, &QRadioButton::toggled, this, [this](bool on) { if (on) Option1_Click(); });
    connect(Option2, &QRadioButton::toggled, this, [this](bool on) { if (on) Option2_Click(); });
    connect(Timer1, &script::SteadyTimer::timeout, this, [this] { Timer1_Timer(); });
    connect(Timer2, &script::SteadyTimer::timeout, this, [this] { Timer2_Timer(); });
    for (int i = 0; i < 3; ++i)
        connect(mnusubPopup[static_cast<size_t>(i)], &QAction::triggered, this,
                [this, i] { mnusubPopup_Click(i); });

    auto* list = static_cast<script::ItemListView*>(lvScript);
    list->onMouseDown = [this](int button, int shift, int x, int y) {
        lvScript_MouseDown(button, shift, x, y);
    };
    list->onDblClick = [this] { lvScript_DblClick(); };
}

// ------------------------------------------------------------ list rows

QTreeWidgetItem* frmScript::appendItemRow(const QStringList& cells, store::Bookmark record)
{
    QTreeWidgetItem* row = makeRow(cells, record);
    lvScript->addTopLevelItem(row);
    return row;
}

// ------------------------------------------------------- picker values

void frmScript::setToday(QDateTimeEdit* picker)
{
    picker->setDateTime(QDateTime(today(), QTime(0, 0), picker->timeSpec()));
}

void frmScript::setCountDown(oledate::OleDate value)
{
    const oledate::TimeOfDay t = oledate::timeOfDay(value);
    dtpCountDown->setDateTime(
        QDateTime(oledate::datePart(value), QTime(t.hour, t.minute, t.second), Qt::UTC));
}

oledate::OleDate frmScript::countDown() const
{
    return oledate::fromQDateTime(dtpCountDown->dateTime());
}

oledate::OleDate frmScript::setTime() const
{
    return oledate::fromQDateTime(dtpTime->dateTime());
}

void frmScript::setSetTime(oledate::OleDate value)
{
    dtpTime->setDateTime(oledate::toQDateTime(value));
}

void frmScript::clearOption(QRadioButton* option)
{
    option->setAutoExclusive(false);
    option->setChecked(false);
    option->setAutoExclusive(true);
}

void frmScript::setHeaderEnabled(bool enabled)
{
    for (QWidget* w : std::initializer_list<QWidget*>{cmdSave, cmdDelete, txtDescription, Frame2, lvScript})
        w->setEnabled(enabled);
}

// ---------------------------------------------------------- the window

void frmScript::Form_Load()
{
    bRunning = false;
    dtOneSecond = oledate::fromTime(0, 0, 1);
    setToday(dtpTime);
    setCountDown(oledate::OleDate{});
    try {
        openDatabase();
        fillScriptList();
    } catch (const store::DbError& e) {
        // Nothing here works without the database: say why and end.
        databaseOpen_ = false;
        Frame3->setEnabled(false);
        ui::dialogs().MsgBox(e.message(), ui::vbOKOnly | ui::vbCritical, kTypomat);
        QTimer::singleShot(0, qApp, [] { QCoreApplication::exit(1); });
    }
    setHeaderEnabled(false);
    cmdCancel->setEnabled(false);
    cmdStart->setEnabled(false);
}

void frmScript::openDatabase()
{
    store::openMainDatabase();
    store::rsScript = store::dbMain->OpenRecordset(QStringLiteral("Script"));
    store::rsItem = store::dbMain->OpenRecordset(QStringLiteral("KeyScript"));
    store::rsTitle = store::dbMain->OpenRecordset(QStringLiteral("Title"));
    databaseOpen_ = true;
}

void frmScript::fillScriptList()
{
    cboScript->clear();
    store::Recordset& rs = scripts();
    QStringList names;
    for (rs.MoveFirst(); !rs.AtEnd(); rs.MoveNext())
        names << rs.Fields(0).toText();
    cboScript->addItems(names);
    // Adding entries selects the first; the text stays empty until a choice.
    cboScript->setCurrentIndex(-1);
    cboScript->setEditText(QString());
}

void frmScript::Form_Unload()
{
    Timer1->setEnabled(false);
    Timer2->setEnabled(false);
    QCoreApplication::exit(0);
}

void frmScript::closeEvent(QCloseEvent* event)
{
    Form_Unload();
    event->accept();
}

void frmScript::cboScript_Click()
{
    ui::guarded([this] {
        const QString name = cboScript->currentText();
        // Both sets are read again when another Typomat window has changed the
        // file, so that a choice shows what is stored now.
        store::Recordset& rs = scripts();
        rs.RequeryIfChanged();
        items().RequeryIfChanged();
        QStringList unreadable;
        bool found = false;
        for (rs.MoveFirst(); !rs.AtEnd(); rs.MoveNext()) {
            if (rs.Fields(0).equalsText(name)) {
                unreadable = loadScriptHeader();
                found = true;
                break;
            }
            txtDescription->setPlainText(QString());
        }
        if (!found && !name.isEmpty()) {
            dropVanishedScript(name);
            return;
        }
        listedScript_ = name;
        if (!name.isEmpty()) {
            setHeaderEnabled(true);
            cmdCancel->setEnabled(false);
            cmdStart->setEnabled(true);
        }
        lvScript->clear();
        listScriptItems();
        if (!unreadable.isEmpty())
            ui::dialogs().MsgBox(unreadable.join(QLatin1Char('\n')), ui::vbOKOnly | ui::vbCritical,
                                 kTypomat);
    });
}

// Header of the script on which rsScript stands. A start mode that is no
// number shows as "Set Time", and a start time that is no date as today at
// 00:00 (or a count-down of 00:00:00), as New stores them. Returns a line
// for each value that could not be read.
QStringList frmScript::loadScriptHeader()
{
    store::Recordset& rs = scripts();
    const QString name = rs.Fields(0).toText();
    ui::setExactText(txtDescription, rs.Fields(1).toText());
    QStringList unreadable;
    const auto note = [&](const char* what, const store::Value& value, const char* shown) {
        unreadable << QStringLiteral("The start %1 \"%2\" of the script \"%3\" cannot be read; "
                                     "%4 is shown.")
                          .arg(QLatin1String(what), value.toText(), name, QLatin1String(shown));
    };
    const store::Value mode = rs.Fields(2);
    std::optional<qint64> modeNumber;
    if (!mode.isNull()) {
        try {
            modeNumber = mode.toInteger();
        } catch (const store::DbError&) {
            note("mode", mode, "\"Set Time\"");
            modeNumber = 0;
        }
    }
    const store::Value time = rs.Fields(3);
    std::optional<oledate::OleDate> when;
    try {
        when = time.toDate();
    } catch (const store::DbError&) {
    }
    if (modeNumber == 0) {
        Option1->setChecked(true);
        if (when)
            setSetTime(*when);
        else
            setToday(dtpTime);
        dtpTime->setEnabled(true);
        setCountDown(oledate::OleDate{});
        dtpCountDown->setEnabled(false);
    } else {
        Option2->setChecked(true);
        setToday(dtpTime);
        dtpTime->setEnabled(false);
        dtpCountDown->setEnabled(true);
        setCountDown(when.value_or(oledate::OleDate{}));
    }
    if (!when)
        note("time", time, modeNumber == 0 ? "today at 00:00" : "00:00:00");
    return unreadable;
}

// Lists every item of the current script, checked, in table order. The
// rows are built first and handed to the view at once: one layout pass,
// however many rows.
void frmScript::listScriptItems()
{
    store::Recordset& rs = items();
    if (rs.RecordCount() == 0)
        return;
    QList<QTreeWidgetItem*> rows;
    for (rs.MoveFirst(); !rs.AtEnd(); rs.MoveNext()) {
        if (!rs.Fields(0).equalsText(listedScript_))
            continue;
        rows.append(makeRow({rs.Fields(1).toText(), rs.Fields(2).toText(), rs.Fields(3).toText(),
                             rs.Fields(4).toText(), script::countDownText(rs.Fields(5))},
                            rs.GetBookmark()));
    }
    lvScript->setUpdatesEnabled(false);
    lvScript->addTopLevelItems(rows);
    lvScript->setUpdatesEnabled(true);
}

void frmScript::cmdNew_Click()
{
    ui::guarded([this] {
        const QString name = ui::dialogs().InputBox(QStringLiteral("New Script"), kTypomat);
        if (name.isEmpty())
            return;
        store::Recordset& rs = scripts();
        rs.AddNew();
        rs.SetField(0, name);
        rs.SetField(1, QString());
        rs.SetField(2, 0);
        rs.SetField(3, oledate::fromQDate(today()));
        rs.Update();

        cboScript->addItem(name);
        cboScript->setEditText(name);
        listedScript_ = name;
        txtDescription->setPlainText(QString());
        setToday(dtpTime);
        setCountDown(oledate::OleDate{});
        lvScript->clear();
        cboScript->setFocus();

        for (rs.MoveFirst(); !rs.AtEnd(); rs.MoveNext())
            if (rs.Fields(0).equalsText(name))
                break;

        setHeaderEnabled(true);
        cmdCancel->setEnabled(false);
        cmdStart->setEnabled(true);
    });
}

void frmScript::cmdSave_Click()
{
    ui::guarded([this] {
        store::Recordset& rs = scripts();
        rs.Edit();
        const QString name = cboScript->currentText();
        const store::Value stored = rs.Fields(0);
        // The name was edited in the box: rename the row, and its list entry
        // once the row is written.
        const bool renamed = !stored.isNull() && stored.toText() != name;
        if (renamed)
            rs.SetField(0, name);
        rs.SetField(1, ui::exactText(txtDescription));
        if (Option1->isChecked()) {
            rs.SetField(2, 0);
            rs.SetField(3, setTime());
        } else {
            rs.SetField(2, 1);
            rs.SetField(3, countDown());
        }
        rs.Update();
        if (renamed) {
            renameListEntry(stored.toText(), name);
            listedScript_ = name;
        }
    });
}

void frmScript::renameListEntry(const QString& oldName, const QString& newName)
{
    for (int i = 0; i < cboScript->count(); ++i) {
        if (cboScript->itemText(i) == oldName) {
            cboScript->setItemText(i, newName);
            cboScript->setEditText(cboScript->itemText(i));
            return;
        }
    }
}

// Whether rsScript stands on the script whose name the box shows; a name
// typed over it names some other script, or none. A change that could not be
// stored still hangs on the row and hides its stored name: no, until the
// script is picked again.
bool frmScript::currentScriptIsShown() const
{
    const store::Recordset& rs = scripts();
    return !rs.AtEnd() && rs.EditMode() == store::dbEditNone
        && rs.Fields(0).equalsText(cboScript->currentText());
}

void frmScript::cmdDelete_Click()
{
    ui::guarded([this] {
        if (!currentScriptIsShown())
            return;
        const QString name = cboScript->currentText();
        const int answer = ui::dialogs().MsgBox(
            QStringLiteral("Do You Want To Delete \"%1\"").arg(name), ui::vbYesNo | ui::vbCritical,
            kTypomat);
        if (answer != ui::vbYes)
            return;
        scripts().Delete();
        for (int i = 0; i < cboScript->count(); ++i) {
            if (cboScript->itemText(i) == name) {
                cboScript->removeItem(i);
                break;
            }
        }
        showNoScript();
        items().Requery();
    });
}

// No script chosen: an empty header and list, and nothing enabled but the
// script list and New.
void frmScript::showNoScript()
{
    listedScript_.clear();
    cboScript->setEditText(QString());
    txtDescription->setPlainText(QString());
    clearOption(Option1);
    setToday(dtpTime);
    clearOption(Option2);
    setToday(dtpCountDown);
    lvScript->clear();
    setHeaderEnabled(false);
    cmdCancel->setEnabled(false);
    cmdStart->setEnabled(false);
}

// The entry picked names a script that another Typomat window renamed or
// deleted after the list was filled: the list is filled again from the table.
void frmScript::dropVanishedScript(const QString& name)
{
    fillScriptList();
    showNoScript();
    ui::dialogs().MsgBox(QStringLiteral("The script \"%1\" is no longer stored: another Typomat "
                                        "window renamed or deleted it. The list now shows the "
                                        "stored scripts.")
                             .arg(name),
                         ui::vbOKOnly | ui::vbExclamation, kTypomat);
}

void frmScript::mnuAbout_Click()
{
    frmAbout::showFromMenu();
}

// ------------------------------------------------------------ the runner

void frmScript::cmdStart_Click()
{
    bRunning = true;
    cmdStart->setEnabled(false);
    cmdCancel->setEnabled(true);
    cmdCancel->setFocus();
    Frame3->setEnabled(false);
}

void frmScript::cmdCancel_Click()
{
    bRunning = false;
    Timer2->setEnabled(false);
    cmdStart->setEnabled(true);
    cmdCancel->setEnabled(false);
    cmdStart->setFocus();
    Frame3->setEnabled(true);
}

void frmScript::Option1_Click()
{
    dtpTime->setEnabled(true);
    dtpCountDown->setEnabled(false);
}

void frmScript::Option2_Click()
{
    dtpTime->setEnabled(false);
    dtpCountDown->setEnabled(true);
}

// The clock, and the start condition while a run is started.
void frmScript::Timer1_Timer()
{
    const QString now = oledate::formatDateTime(oledate::fromQDateTime(script::clock().now()));
    Label1->setText(now);
    if (!bRunning)
        return;
    if (Option1->isChecked()) {
        if (now.left(14) == oledate::formatDateTimeToMinute(setTime()))
            Timer2->setEnabled(true);
        return;
    }
    const oledate::OleDate left = countDown();
    if (oledate::formatTime(left) != script::kZeroCountDown)
        setCountDown(oledate::OleDate{left.days - dtOneSecond.days});
    else
        Timer2->setEnabled(true);
}

// One step of the first checked row: count it down, and send it when its
// count-down reaches zero.
void frmScript::Timer2_Timer()
{
    const int count = lvScript->topLevelItemCount();
    for (int i = 0; i < count; ++i) {
        QTreeWidgetItem* row = lvScript->topLevelItem(i);
        if (row->checkState(cellItem) != Qt::Checked)
            continue;
        const QString text = row->text(cellCountDown);
        const std::optional<QString> next = script::stepCountDown(text);
        if (!next) {
            stopRunAt(row, QStringLiteral("The count-down \"%1\" of the item \"%2\" is not a time.")
                               .arg(text, row->text(cellItem)));
            return;
        }
        row->setText(cellCountDown, *next);
        if (*next == script::kZeroCountDown)
            fireRow(row);
        return;
    }
}

void frmScript::fireRow(QTreeWidgetItem* row)
{
    std::optional<QString> error;
    QString note;
    try {
        keys::keySender().AppActivate(row->text(cellTitle));
        keys::keySender().SendKeys(row->text(cellKey), true);
    } catch (const keys::NoAnswerAfterLastKey& e) {
        // Every key went out: the item is done, with a note.
        note = QStringLiteral("%1: %2").arg(row->text(cellItem), e.description());
    } catch (const keys::KeyError& e) {
        error = e.description();
    } catch (const std::exception& e) {
        error = QString::fromUtf8(e.what());
    }
    if (!error) {
        row->setCheckState(cellItem, Qt::Unchecked);
        // The Now box shows the last note, whole in its tip.
        const QString title = note.isEmpty() ? QStringLiteral("Now") : QStringLiteral("Now: ") + note;
        const QFontMetrics metrics = Frame1->fontMetrics();
        Frame1->setTitle(metrics.elidedText(title, Qt::ElideRight,
                                            Frame1->width() - 2 * metrics.averageCharWidth()));
        Frame1->setToolTip(note);
        return;
    }
    // Some of the keys may have gone out before the failure; a resumed run
    // cannot tell which, so it sends them all again.
    stopRunAt(row, QStringLiteral("The item \"%1\" could not be sent: %2\n"
                                  "Start sends all of its keys again, from the first.")
                       .arg(row->text(cellItem), *error));
}

// Ends the run as Cancel does, leaving the row checked and selected, so that
// Start resumes with it; then says what went wrong and what Start will do.
void frmScript::stopRunAt(QTreeWidgetItem* row, const QString& message)
{
    cmdCancel_Click();
    lvScript->setCurrentItem(row);
    lvScript->scrollToItem(row);
    QString text = message;
    if (Option1->isChecked())
        text += QStringLiteral("\nChange the set time before Start: Start waits for the set time, "
                               "and that time has come already.");
    ui::dialogs().MsgBox(text, ui::vbOKOnly, QStringLiteral("Error"));
}

// ------------------------------------------------------- the item list

// Puts rsItem on the record of the selected row, by the row's bookmark:
// names repeat, and records of a deleted script of the same name are not
// listed. False when no row is selected or the set no longer holds the
// record; a pending add or edit is given up either way.
bool frmScript::findSelectedItem()
{
    store::Recordset& rs = items();
    const auto* row = dynamic_cast<const script::ItemRow*>(lvScript->currentItem());
    if (!row) {
        rs.MoveFirst();
        return false;
    }
    return rs.MoveToBookmark(row->record());
}

void frmScript::editSelectedItem()
{
    if (!findSelectedItem())
        return;
    items().Edit();
    showItemEditor();
}

void frmScript::deleteSelectedItem()
{
    if (!findSelectedItem())
        return;
    QTreeWidgetItem* row = lvScript->currentItem();
    const int answer = ui::dialogs().MsgBox(
        QStringLiteral("Do You Want To Delete \"%1\"").arg(row->text(cellItem)),
        ui::vbYesNo | ui::vbCritical, kTypomat);
    if (answer != ui::vbYes)
        return;
    // The record first: if the engine refuses, the list still shows the item.
    items().Delete();
    delete lvScript->takeTopLevelItem(lvScript->indexOfTopLevelItem(row));
}

void frmScript::lvScript_DblClick()
{
    if (lvScript->topLevelItemCount() == 0)
        return;
    ui::guarded([this] { editSelectedItem(); });
}

void frmScript::lvScript_MouseDown(int Button, int /*Shift*/, int x, int y)
{
    if (Button != 2)
        return;
    const bool hasRows = lvScript->topLevelItemCount() > 0;
    mnusubPopup[1]->setEnabled(hasRows);
    mnusubPopup[2]->setEnabled(hasRows);
    showPopupMenu(lvScript->viewport()->mapToGlobal(QPoint(x, y)));
}

void frmScript::mnusubPopup_Click(int index)
{
    ui::guarded([this, index] {
        switch (index) {
        case 0:
            items().AddNew();
            showItemEditor();
            break;
        case 1: editSelectedItem(); break;
        case 2: deleteSelectedItem(); break;
        default: break;
        }
    });
}

void frmScript::showPopupMenu(const QPoint& globalPos)
{
    mnuPopup->exec(globalPos);
}

void frmScript::showItemEditor()
{
    frmScriptItem editor(*this);
    editor.exec();
}
