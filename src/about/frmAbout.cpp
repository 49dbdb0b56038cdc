// SPDX-License-Identifier: MIT
#include "about/frmAbout.h"

#include "settings/ProgramFolder.h"
#include "settings/Settings.h"
#include "ui/Dialogs.h"
#include "ui/Twips.h"

#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QFrame>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>
#include <QRadioButton>
#include <QUrl>
#include <algorithm>

namespace {

const QString kStartup = QStringLiteral("Startup");
const QString kTypomat = QStringLiteral("Typomat");
const QString kContactEmail = QStringLiteral(TYPOMAT_CONTACT_EMAIL);

constexpr double kDialogPointSize = 8.0;

const QColor kFrameGrey(0xC0, 0xC0, 0xC0);
const QColor kHoverBlue(0, 0, 0xFF);   // 0x00FF0000 as blue-green-red
const QColor kBlack(0, 0, 0);

frmAbout::LinkOpener& linkOpener()
{
    static frmAbout::LinkOpener opener;
    return opener;
}

void setTextColour(QLabel* label, const QColor& colour)
{
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, colour);
    label->setPalette(palette);
}

void paintGrey(QWidget* widget)
{
    QPalette palette = widget->palette();
    palette.setColor(QPalette::Window, kFrameGrey);
    widget->setPalette(palette);
    widget->setAutoFillBackground(true);
}

QLabel* addLabel(QWidget* frame, const char* name, const QString& text, int top)
{
    auto* label = new QLabel(text, frame);
    label->setObjectName(QString::fromLatin1(name));
    ui::placeTwips(label, 480, top, 2775, 255);
    paintGrey(label);
    setTextColour(label, kBlack);
    label->setMouseTracking(true);
    return label;
}

// The twip layout was drawn for a small dialog font; where a caption is still
// wider than its option button, the button grows towards the right edge of
// its frame (never beyond it), so that the caption shows whole.
void widenToCaption(QRadioButton* option)
{
    const QWidget* frame = option->parentWidget();
    const int room = frame->width() - option->x() - ui::twipsToPixels(30, option);
    const int needed = option->sizeHint().width();
    if (option->width() < needed)
        option->resize(std::min(room, needed), option->height());
}

void underline(QLabel* label)
{
    QFont font = label->font();
    font.setUnderline(true);
    label->setFont(font);
}

} // namespace

frmAbout::frmAbout(MainWindowOpener opener) : opener_(std::move(opener))
{
    setWindowTitle(kTypomat);
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint
                   | Qt::WindowCloseButtonHint | Qt::WindowStaysOnTopHint);
    setFixedSize(ui::twipsRect(0, 0, 6135, 3270, this).size());
    QFont dialogFont = font();
    dialogFont.setPointSizeF(kDialogPointSize);
    setFont(dialogFont);
    createControls();
    Form_Load();
}

void frmAbout::createControls()
{
    Frame2 = new QGroupBox(QStringLiteral("About"), this);
    Frame2->setObjectName(QStringLiteral("Frame2"));
    ui::placeTwips(Frame2, 120, 120, 3735, 2535);
    paintGrey(Frame2);
    Frame2->setMouseTracking(true);

    Line1 = new QFrame(Frame2);
    Line1->setObjectName(QStringLiteral("Line1"));
    Line1->setFrameShape(QFrame::HLine);
    Line1->setFrameShadow(QFrame::Plain);
    ui::placeTwips(Line1, 240, 840, 3120, 15);

    // Above the rule: where the files are, when not beside the program.
    const QString dataFolder = app::userDataFolderInUse();
    if (!dataFolder.isEmpty()) {
        lblDataFolder = new QLabel(tr("Files : %1").arg(QDir::toNativeSeparators(dataFolder)),
                                   Frame2);
        lblDataFolder->setObjectName(QStringLiteral("lblDataFolder"));
        lblDataFolder->setWordWrap(true);
        lblDataFolder->setTextInteractionFlags(Qt::TextSelectableByMouse);
        ui::placeTwips(lblDataFolder, 240, 300, 3255, 495);
    }

    Label4 = addLabel(Frame2, "Label4", tr("Types key strings for you"), 960);
    Label1 = addLabel(Frame2, "Label1", QStringLiteral("BY : The Typomat developers"), 1320);
    Label2 = addLabel(Frame2, "Label2",
                      QStringLiteral("E-MAIL : ")
                          + (kContactEmail.isEmpty() ? QStringLiteral("(none)") : kContactEmail),
                      1680);
    Label13 = addLabel(Frame2, "Label13", QStringLiteral("URL : User guide"), 2040);
    if (!kContactEmail.isEmpty())  // without an address the line is no link
        underline(Label2);
    underline(Label13);
    for (QWidget* watched : {static_cast<QWidget*>(Frame2), static_cast<QWidget*>(Label4),
                             static_cast<QWidget*>(Label1), static_cast<QWidget*>(Label2),
                             static_cast<QWidget*>(Label13)})
        watched->installEventFilter(this);

    Frame1 = new QGroupBox(QStringLiteral("Startup"), this);
    Frame1->setObjectName(QStringLiteral("Frame1"));
    ui::placeTwips(Frame1, 3960, 120, 2055, 2535);
    optQuick = new QRadioButton(QStringLiteral("Typomat - Quick "), Frame1);
    optQuick->setObjectName(QStringLiteral("optQuick"));
    ui::placeTwips(optQuick, 240, 720, 1455, 255);
    optScript = new QRadioButton(QStringLiteral("Typomat - Script"), Frame1);
    optScript->setObjectName(QStringLiteral("optScript"));
    ui::placeTwips(optScript, 240, 1560, 1455, 255);
    widenToCaption(optQuick);
    widenToCaption(optScript);

    Command1 = new QPushButton(QStringLiteral("OK"), this);
    Command1->setObjectName(QStringLiteral("Command1"));
    // Not a default button: Enter in the window must not end a first start.
    Command1->setAutoDefault(false);
    Command1->setDefault(false);
    ui::placeTwips(Command1, 2520, 2760, 1095, 375);
    connect(Command1, &QPushButton::clicked, this, &frmAbout::Command1_Click);

    setTabOrder(optQuick, optScript);
    setTabOrder(optScript, Command1);
}

void frmAbout::Form_Load()
{
    app::StartupMode = app::readStartupMode();
    if (app::StartupMode == 1)
        optQuick->setChecked(true);
    else if (app::StartupMode != 0)
        optScript->setChecked(true);
}

void frmAbout::Command1_Click()
{
    hide();
    int choice = 0;
    if (optQuick->isChecked())
        choice = 1;
    else if (optScript->isChecked())
        choice = 2;
    if (choice != 0)
        app::WriteIniValue(kStartup, kStartup, QString::number(choice));
    // Only the first start opens the chosen window; from a menu the choice
    // takes effect at the next start (the running window keeps the database).
    if (app::StartupMode == 0 && choice != 0 && opener_)
        opener_(choice);
    close();
}

void frmAbout::Label13_Click()
{
    const QString guide = userGuidePath(app::programFolder().path());
    if (guide.isEmpty()) {
        ui::dialogs().MsgBox(tr("The user guide (docs/user-guide.md) was not found."),
                             ui::vbOKOnly, kTypomat);
        return;
    }
    openLink(QUrl::fromLocalFile(guide),
             tr("The user guide could not be opened:\n%1").arg(QDir::toNativeSeparators(guide)));
}

void frmAbout::Label2_Click()
{
    if (kContactEmail.isEmpty())
        return;
    openLink(QUrl(QStringLiteral("mailto:") + kContactEmail),
             tr("No mail program could be opened for %1.").arg(kContactEmail));
}

void frmAbout::Label13_MouseMove()
{
    setTextColour(Label13, kHoverBlue);
    setTextColour(Label2, kBlack);
}

void frmAbout::Label2_MouseMove()
{
    setTextColour(Label2, kContactEmail.isEmpty() ? kBlack : kHoverBlue);
    setTextColour(Label13, kBlack);
}

void frmAbout::Frame2_MouseMove()
{
    setTextColour(Label2, kBlack);
    setTextColour(Label13, kBlack);
}

// At the first start the window is the only one, and closing it ends the
// program: Esc there does nothing, so that only OK or the close box ends it.
void frmAbout::keyPressEvent(QKeyEvent* event)
{
    if (opener_ && event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

bool frmAbout::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::MouseMove) {
        if (watched == Label13)
            Label13_MouseMove();
        else if (watched == Label2)
            Label2_MouseMove();
        else if (watched == Frame2)
            Frame2_MouseMove();
        // A label keeps its own moves: only the bare frame turns both black.
        return watched != Frame2;
    }
    if (event->type() == QEvent::MouseButtonRelease) {
        const auto* mouse = static_cast<QMouseEvent*>(event);
        const auto* label = qobject_cast<QLabel*>(watched);
        if (mouse->button() == Qt::LeftButton && label && label->rect().contains(mouse->position().toPoint())) {
            if (watched == Label13)
                Label13_Click();
            else if (watched == Label2)
                Label2_Click();
        }
    }
    return QDialog::eventFilter(watched, event);
}

void frmAbout::openLink(const QUrl& url, const QString& failure)
{
    const bool opened = linkOpener() ? linkOpener()(url) : QDesktopServices::openUrl(url);
    if (!opened)
        ui::dialogs().MsgBox(failure, ui::vbOKOnly, kTypomat);
}

void frmAbout::installLinkOpener(LinkOpener opener)
{
    linkOpener() = std::move(opener);
}

QString frmAbout::userGuidePath(const QString& programFolder)
{
    const QString name = QStringLiteral("/user-guide.md");
    const QStringList candidates = {
        programFolder + QStringLiteral("/docs") + name,
        programFolder + QStringLiteral("/../share/doc/typomat") + name,
        QStringLiteral(TYPOMAT_INSTALL_DOCDIR) + name,
    };
    for (const QString& candidate : candidates)
        if (QFileInfo(candidate).isFile())
            return QFileInfo(candidate).canonicalFilePath();
    return {};
}

void frmAbout::showFromMenu()
{
    frmAbout about;
    about.exec();
}
