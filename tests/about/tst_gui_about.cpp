// SPDX-License-Identifier: MIT
// The About window offscreen: layout, the startup choice at the first start
// and from a menu, the hover colours and the two link lines.
#include "TempFolder.h"
#include "about/frmAbout.h"
#include "settings/ProgramFolder.h"
#include "settings/Settings.h"
#include "ScriptedDialogs.h"
#include "ui/Twips.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QUrl>
#include <memory>

namespace {

QByteArray settingsBytes()
{
    QFile file(app::settingsFilePath());
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<no file>");
}

void writeSettings(const QByteArray& bytes)
{
    QFile file(app::settingsFilePath());
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

QColor textColour(const QLabel* label)
{
    return label->palette().color(QPalette::WindowText);
}

const QColor blue(0, 0, 255);
const QColor black(0, 0, 0);

// Sends a pointer move over a point of a widget, as the window system would.
void moveOver(QWidget* widget, QPoint at)
{
    QMouseEvent move(QEvent::MouseMove, at, widget->mapToGlobal(at), Qt::NoButton, Qt::NoButton,
                     Qt::NoModifier);
    QApplication::sendEvent(widget, &move);
}

// Main windows opened through the opener, by mode.
struct OpenerLog {
    std::vector<int> modes;
    frmAbout::MainWindowOpener opener()
    {
        return [this](int mode) { modes.push_back(mode); };
    }
};

} // namespace

class AboutTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void init();
    void cleanup();
    void layout();
    void optionsAreOneGroup();
    void loadSelectsStoredChoice_data();
    void loadSelectsStoredChoice();
    void firstStartChoiceIsSavedAndOpened_data();
    void firstStartChoiceIsSavedAndOpened();
    void okWithoutChoiceWritesAndOpensNothing();
    void firstStartEndsOnlyOnPurpose();
    void dataFolderIsShownWhenInUse();
    void fromMenuOnlySaves_data();
    void fromMenuOnlySaves();
    void hoverColours();
    void userGuideLink();
    void userGuideLinkThatCannotOpen();
    void userGuideNotBesideProgramIsNotFound();
    void mailLineWithoutAddressDoesNothing();
    void userGuideFoundBesideProgram();

private:
    void putGuideBesideProgram()
    {
        QVERIFY(QDir(folder_->path()).mkpath(QStringLiteral("docs")));
        QFile guide(folder_->file(QStringLiteral("docs/user-guide.md")));
        QVERIFY(guide.open(QIODevice::WriteOnly));
    }

    std::unique_ptr<testsupport::TempProgramFolder> folder_;
    ui::ScriptedDialogs dialogs_;
    std::vector<QUrl> opened_;
    bool openSucceeds_ = true;
};

void AboutTest::init()
{
    folder_ = std::make_unique<testsupport::TempProgramFolder>();
    dialogs_ = ui::ScriptedDialogs();
    ui::installDialogs(&dialogs_);
    opened_.clear();
    openSucceeds_ = true;
    frmAbout::installLinkOpener([this](const QUrl& url) {
        opened_.push_back(url);
        return openSucceeds_;
    });
    app::StartupMode = -99;
}

void AboutTest::cleanup()
{
    frmAbout::installLinkOpener({});
    ui::installDialogs(nullptr);
    folder_.reset();
}

void AboutTest::layout()
{
    frmAbout about;
    QCOMPARE(about.windowTitle(), QStringLiteral("Typomat"));
    QVERIFY(about.windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    QCOMPARE(about.size(), ui::twipsRect(0, 0, 6135, 3270, &about).size());
    QCOMPARE(about.minimumSize(), about.maximumSize());

    struct Place {
        QWidget* control;
        QWidget* container;
        QRect twips;
        QString text;
    };
    const Place places[] = {
        {about.Frame2, &about, {120, 120, 3735, 2535}, QStringLiteral("About")},
        {about.Line1, about.Frame2, {240, 840, 3120, 15}, {}},
        {about.Label4, about.Frame2, {480, 960, 2775, 255}, {}},
        {about.Label1, about.Frame2, {480, 1320, 2775, 255}, QStringLiteral("BY : The Typomat developers")},
        {about.Label2, about.Frame2, {480, 1680, 2775, 255}, {}},
        {about.Label13, about.Frame2, {480, 2040, 2775, 255}, {}},
        {about.Frame1, &about, {3960, 120, 2055, 2535}, QStringLiteral("Startup")},
        {about.optQuick, about.Frame1, {240, 720, 1455, 255}, QStringLiteral("Typomat - Quick ")},
        {about.optScript, about.Frame1, {240, 1560, 1455, 255}, QStringLiteral("Typomat - Script")},
        {about.Command1, &about, {2520, 2760, 1095, 375}, QStringLiteral("OK")},
    };
    for (const Place& place : places) {
        QVERIFY(place.control);
        QCOMPARE(place.control->parentWidget(), place.container);
        const QRect& t = place.twips;
        const QRect expected = ui::twipsRect(t.x(), t.y(), t.width(), t.height(), place.control);
        if (qobject_cast<QRadioButton*>(place.control)) {
            // An option button may grow to the right to show its caption whole.
            const QRect actual = place.control->geometry();
            QCOMPARE(actual.topLeft(), expected.topLeft());
            QCOMPARE(actual.height(), expected.height());
            QVERIFY(actual.width() >= expected.width());
            QVERIFY(actual.right() < place.container->width());
            QVERIFY(place.control->sizeHint().width() <= actual.width());
        } else {
            QCOMPARE(place.control->geometry(), expected);
        }
        if (place.text.isEmpty())
            continue;
        if (auto* label = qobject_cast<QLabel*>(place.control))
            QCOMPARE(label->text(), place.text);
        else if (auto* box = qobject_cast<QGroupBox*>(place.control))
            QCOMPARE(box->title(), place.text);
        else
            QCOMPARE(qobject_cast<QAbstractButton*>(place.control)->text(), place.text);
    }
    QCOMPARE(about.findChild<QPushButton*>(QStringLiteral("Command1")), about.Command1);
    QCOMPARE(about.findChild<QFrame*>(QStringLiteral("Line1"))->frameShape(), QFrame::HLine);

    QVERIFY(!about.Label4->text().isEmpty());
    QCOMPARE(about.Label2->text(), QStringLiteral("E-MAIL : (none)"));
    QVERIFY(about.Label13->text().startsWith(QStringLiteral("URL : ")));
    QVERIFY(!about.Label2->font().underline());   // no address: plain text, no link
    QVERIFY(about.Label13->font().underline());
    QVERIFY(!about.Label1->font().underline());
    for (const QLabel* line : {about.Label4, about.Label1, about.Label2, about.Label13})
        QVERIFY2(line->fontMetrics().horizontalAdvance(line->text()) <= line->width(),
                 qPrintable(line->text()));

    const QColor grey(0xC0, 0xC0, 0xC0);
    for (QWidget* grey_widget : {static_cast<QWidget*>(about.Frame2), static_cast<QWidget*>(about.Label4),
                                 static_cast<QWidget*>(about.Label1), static_cast<QWidget*>(about.Label2),
                                 static_cast<QWidget*>(about.Label13)}) {
        QVERIFY(grey_widget->autoFillBackground());
        QCOMPARE(grey_widget->palette().color(QPalette::Window), grey);
    }
}

void AboutTest::optionsAreOneGroup()
{
    frmAbout about;
    QVERIFY(!about.optQuick->isChecked());
    QVERIFY(!about.optScript->isChecked());
    about.optQuick->click();
    about.optScript->click();
    QVERIFY(about.optScript->isChecked());
    QVERIFY(!about.optQuick->isChecked());
    about.optQuick->click();
    QVERIFY(!about.optScript->isChecked());
}

void AboutTest::loadSelectsStoredChoice_data()
{
    QTest::addColumn<QByteArray>("settings");   // empty: no file
    QTest::addColumn<int>("mode");
    QTest::addColumn<bool>("quick");
    QTest::addColumn<bool>("script");
    QTest::newRow("no file") << QByteArray() << 0 << false << false;
    QTest::newRow("0") << QByteArray("[Startup]\nStartup=0\n") << 0 << false << false;
    QTest::newRow("letters") << QByteArray("[Startup]\nStartup=abc\n") << 0 << false << false;
    QTest::newRow("1") << QByteArray("[Startup]\nStartup=1\n") << 1 << true << false;
    QTest::newRow("2") << QByteArray("[Startup]\nStartup=2\n") << 2 << false << true;
    QTest::newRow("7") << QByteArray("[Startup]\nStartup=7\n") << 7 << false << true;
    QTest::newRow("-1") << QByteArray("[Startup]\nStartup=-1\n") << -1 << false << true;
}

void AboutTest::loadSelectsStoredChoice()
{
    QFETCH(QByteArray, settings);
    QFETCH(int, mode);
    QFETCH(bool, quick);
    QFETCH(bool, script);
    if (!settings.isEmpty())
        writeSettings(settings);
    frmAbout about;
    QCOMPARE(int(app::StartupMode), mode);
    QCOMPARE(about.optQuick->isChecked(), quick);
    QCOMPARE(about.optScript->isChecked(), script);
}

void AboutTest::firstStartChoiceIsSavedAndOpened_data()
{
    QTest::addColumn<bool>("quick");
    QTest::addColumn<QByteArray>("written");
    QTest::addColumn<int>("opened");
    QTest::newRow("quick") << true << QByteArray("[Startup]\nStartup=1\n") << 1;
    QTest::newRow("script") << false << QByteArray("[Startup]\nStartup=2\n") << 2;
}

void AboutTest::firstStartChoiceIsSavedAndOpened()
{
    QFETCH(bool, quick);
    QFETCH(QByteArray, written);
    QFETCH(int, opened);
    OpenerLog log;
    auto* about = new frmAbout(log.opener());
    about->setAttribute(Qt::WA_DeleteOnClose);
    QPointer<frmAbout> watch(about);
    about->show();
    QVERIFY(QTest::qWaitForWindowExposed(about));
    QCOMPARE(int(app::StartupMode), 0);
    (quick ? about->optQuick : about->optScript)->click();
    QTest::mouseClick(about->Command1, Qt::LeftButton);

    QCOMPARE(settingsBytes(), written);
    QCOMPARE(log.modes, std::vector<int>{opened});
    QTRY_VERIFY(watch.isNull());   // closed and discarded
}

void AboutTest::okWithoutChoiceWritesAndOpensNothing()
{
    OpenerLog log;
    frmAbout about(log.opener());
    about.show();
    about.Command1->click();
    QVERIFY(!about.isVisible());
    QVERIFY(!QFile::exists(app::settingsFilePath()));
    QVERIFY(log.modes.empty());

    writeSettings("[Startup]\nStartup=2\n");
    frmAbout again(log.opener());
    again.show();
    again.optScript->setAutoExclusive(false);
    again.optScript->setChecked(false);
    again.Command1->click();
    QCOMPARE(settingsBytes(), QByteArray("[Startup]\nStartup=2\n"));
    QVERIFY(log.modes.empty());
}

// At the first start only a click, Space on OK or the close box ends the
// window (and with it the program); Enter and Esc do nothing.
void AboutTest::firstStartEndsOnlyOnPurpose()
{
    OpenerLog log;
    frmAbout about(log.opener());
    about.show();
    QApplication::setActiveWindow(&about);
    QVERIFY(QTest::qWaitForWindowActive(&about));
    QVERIFY(!about.Command1->isDefault() && !about.Command1->autoDefault());
    for (QWidget* focus : {static_cast<QWidget*>(&about), static_cast<QWidget*>(about.optQuick)}) {
        focus->setFocus();
        for (Qt::Key key : {Qt::Key_Return, Qt::Key_Enter, Qt::Key_Escape})
            QTest::keyClick(QApplication::focusWidget(), key);
        QVERIFY(about.isVisible());
    }
    about.optQuick->click();
    QTest::keyClick(about.optQuick, Qt::Key_Return);
    QVERIFY(about.isVisible());
    QVERIFY(log.modes.empty());

    about.Command1->setFocus();
    QTest::keyClick(about.Command1, Qt::Key_Space);
    QVERIFY(!about.isVisible());
    QCOMPARE(log.modes, std::vector<int>{1});
}

void AboutTest::dataFolderIsShownWhenInUse()
{
    QTemporaryDir home;
    qputenv("XDG_DATA_HOME", home.path().toUtf8());
    app::installProgramFolder(std::make_shared<app::FixedFolder>(folder_->path(), false));
    auto shown = [] {
        frmAbout about;
        return about.lblDataFolder ? about.lblDataFolder->text() : QString();
    };
    QCOMPARE(shown(), QStringLiteral("Files : %1/typomat").arg(home.path()));

    for (const char* name : {"Typomat.ini", "Typomat.mdb"}) {
        QFile file(folder_->file(QLatin1String(name)));
        QVERIFY(file.open(QIODevice::WriteOnly));
    }
    QCOMPARE(shown(), QString());   // both beside the program: nothing to show
    qunsetenv("XDG_DATA_HOME");
}

void AboutTest::fromMenuOnlySaves_data()
{
    QTest::addColumn<QByteArray>("settings");   // empty: no file
    QTest::addColumn<bool>("scriptSelected");
    QTest::addColumn<bool>("chooseQuick");
    QTest::addColumn<QByteArray>("written");
    QTest::newRow("2, choose quick") << QByteArray("[Startup]\nStartup=2\n") << true << true
                                     << QByteArray("[Startup]\nStartup=1\n");
    QTest::newRow("7, choose quick") << QByteArray("[Startup]\nStartup=7\n") << true << true
                                     << QByteArray("[Startup]\nStartup=1\n");
    // A menu opening with no choice stored yet: the choice is saved, and no
    // second main window opens beside the running one.
    QTest::newRow("no file, choose script") << QByteArray() << false << false
                                            << QByteArray("[Startup]\nStartup=2\n");
    QTest::newRow("0, choose quick") << QByteArray("[Startup]\nStartup=0\n") << false << true
                                     << QByteArray("[Startup]\nStartup=1\n");
}

void AboutTest::fromMenuOnlySaves()
{
    QFETCH(QByteArray, settings);
    QFETCH(bool, scriptSelected);
    QFETCH(bool, chooseQuick);
    QFETCH(QByteArray, written);
    if (!settings.isEmpty())
        writeSettings(settings);
    QWidget running;   // the main window whose menu opened the About window
    running.setWindowTitle(QStringLiteral("Typomat - Script"));
    running.show();
    const QWidgetList before = QApplication::topLevelWidgets();

    bool seen = false;
    QTimer::singleShot(0, this, [&] {
        auto* about = qobject_cast<frmAbout*>(QApplication::activeModalWidget());
        if (!about) {
            QApplication::closeAllWindows();
            return;
        }
        seen = true;
        QCOMPARE(about->optScript->isChecked(), scriptSelected);
        QVERIFY(!about->optQuick->isChecked());
        (chooseQuick ? about->optQuick : about->optScript)->click();
        about->Command1->click();
    });
    frmAbout::showFromMenu();

    QVERIFY(seen);
    QCOMPARE(settingsBytes(), written);
    QVERIFY(running.isVisible());
    for (QWidget* window : QApplication::topLevelWidgets())
        QVERIFY2(before.contains(window) || !window->isVisible() || qobject_cast<frmAbout*>(window),
                 qPrintable(window->metaObject()->className()));
    QVERIFY(!QApplication::activeModalWidget());
}

void AboutTest::hoverColours()
{
    frmAbout about;
    about.show();
    QVERIFY(QTest::qWaitForWindowExposed(&about));
    QCOMPARE(textColour(about.Label13), black);
    QCOMPARE(textColour(about.Label2), black);

    moveOver(about.Label13, QPoint(5, 5));
    QCOMPARE(textColour(about.Label13), blue);
    QCOMPARE(textColour(about.Label2), black);

    // From the web line onto the mail line, which without an address is no
    // link and stays black.
    moveOver(about.Label2, QPoint(5, 5));
    QCOMPARE(textColour(about.Label2), black);
    QCOMPARE(textColour(about.Label13), black);

    moveOver(about.Label13, QPoint(5, 5));
    moveOver(about.Label1, QPoint(5, 5));   // a plain label changes nothing
    QCOMPARE(textColour(about.Label13), blue);

    moveOver(about.Frame2, QPoint(about.Frame2->width() - 3, about.Frame2->height() - 3));
    QCOMPARE(textColour(about.Label2), black);
    QCOMPARE(textColour(about.Label13), black);

    // The same through the window system's pointer.
    QTest::mouseMove(about.Label13, QPoint(10, 5));
    QTRY_COMPARE(textColour(about.Label13), blue);
    QTest::mouseMove(about.Frame2, QPoint(5, about.Frame2->height() - 5));
    QTRY_COMPARE(textColour(about.Label13), black);
}

void AboutTest::userGuideLink()
{
    putGuideBesideProgram();
    frmAbout about;
    about.show();
    QTest::mouseClick(about.Label13, Qt::LeftButton, Qt::NoModifier, QPoint(5, 5));
    QCOMPARE(opened_.size(), std::size_t(1));
    QVERIFY(opened_[0].isLocalFile());
    QVERIFY(opened_[0].toLocalFile().endsWith(QStringLiteral("/docs/user-guide.md")));
    QVERIFY(QFile::exists(opened_[0].toLocalFile()));
    QCOMPARE(dialogs_.messageCount(), 0);
    QVERIFY(about.isVisible());
}

void AboutTest::userGuideLinkThatCannotOpen()
{
    openSucceeds_ = false;
    putGuideBesideProgram();
    frmAbout about;
    about.show();
    about.Label13_Click();
    QCOMPARE(opened_.size(), std::size_t(1));
    QCOMPARE(dialogs_.messageCount(), 1);
    QCOMPARE(dialogs_.lastMessage()->title, QStringLiteral("Typomat"));
    QCOMPARE(dialogs_.lastMessage()->style, int(ui::vbOKOnly));
    QVERIFY(dialogs_.lastMessage()->text.contains(QStringLiteral("user guide")));
}

// Only the program's own folder and the install's doc folder are searched,
// never the folder the program was built from.
void AboutTest::userGuideNotBesideProgramIsNotFound()
{
    QCOMPARE(frmAbout::userGuidePath(folder_->path()), QString());
    frmAbout about;
    about.Label13_Click();
    QVERIFY(opened_.empty());
    QCOMPARE(dialogs_.messageCount(), 1);
    QVERIFY(dialogs_.lastMessage()->text.contains(QStringLiteral("not found")));
}

void AboutTest::mailLineWithoutAddressDoesNothing()
{
    frmAbout about;
    about.show();
    QTest::mouseClick(about.Label2, Qt::LeftButton, Qt::NoModifier, QPoint(5, 5));
    QVERIFY(opened_.empty());
    QCOMPARE(dialogs_.messageCount(), 0);
}

void AboutTest::userGuideFoundBesideProgram()
{
    QVERIFY(QDir(folder_->path()).mkpath(QStringLiteral("docs")));
    QFile guide(folder_->file(QStringLiteral("docs/user-guide.md")));
    QVERIFY(guide.open(QIODevice::WriteOnly));
    guide.close();
    QCOMPARE(frmAbout::userGuidePath(folder_->path()), QFileInfo(guide).canonicalFilePath());

    QTemporaryDir root;   // an install tree: bin/ beside share/doc/typomat/
    QVERIFY(QDir(root.path()).mkpath(QStringLiteral("bin")));
    QVERIFY(QDir(root.path()).mkpath(QStringLiteral("share/doc/typomat")));
    QFile installed(root.filePath(QStringLiteral("share/doc/typomat/user-guide.md")));
    QVERIFY(installed.open(QIODevice::WriteOnly));
    installed.close();
    QCOMPARE(frmAbout::userGuidePath(root.filePath(QStringLiteral("bin"))),
             QFileInfo(installed).canonicalFilePath());
}

QTEST_MAIN(AboutTest)
#include "tst_gui_about.moc"
