// SPDX-License-Identifier: MIT
// The start-up routine offscreen: which window each settings value opens,
// and how the first start goes on from the About window.
#include "TempFolder.h"
#include "app/Module1.h"
#include "about/frmAbout.h"
#include "settings/ProgramFolder.h"
#include "settings/Settings.h"
#include "ScriptedDialogs.h"
#include "quick/frmQuick.h"
#include "script/frmScript.h"

#include <QApplication>
#include <QFile>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTimer>
#include <memory>

namespace {

// The visible top-level windows of one class.
template <class Window>
QList<Window*> shown()
{
    QList<Window*> windows;
    for (QWidget* widget : QApplication::topLevelWidgets())
        if (auto* window = qobject_cast<Window*>(widget); window && window->isVisible())
            windows.append(window);
    return windows;
}

QByteArray settingsBytes()
{
    QFile file(app::settingsFilePath());
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<no file>");
}

// Runs the event loop until the program quits; false when it did not within
// a few seconds.
bool programEnds()
{
    QTimer::singleShot(5000, qApp, [] { QCoreApplication::exit(99); });
    return QApplication::exec() == 0;
}

} // namespace

class StartupTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void init();
    void cleanup();
    void valueChoosesWindow_data();
    void valueChoosesWindow();
    void firstStartOpensChosenWindow_data();
    void firstStartOpensChosenWindow();
    void firstStartWithoutChoiceEnds();
    void firstStartClosedEnds();

private:
    std::unique_ptr<testsupport::TempProgramFolder> folder_;
    ui::ScriptedDialogs dialogs_;
};

void StartupTest::init()
{
    folder_ = std::make_unique<testsupport::TempProgramFolder>();
    dialogs_ = ui::ScriptedDialogs();
    ui::installDialogs(&dialogs_);
}

void StartupTest::cleanup()
{
    QList<QPointer<QWidget>> windows;
    for (QWidget* widget : QApplication::topLevelWidgets())
        if (!widget->parentWidget())
            windows.append(widget);
    for (const QPointer<QWidget>& window : windows)
        delete window.data();
    QTest::qWait(0);
    ui::installDialogs(nullptr);
    folder_.reset();
}

void StartupTest::valueChoosesWindow_data()
{
    QTest::addColumn<QByteArray>("settings");   // empty: no file
    QTest::addColumn<QString>("window");
    QTest::newRow("no file") << QByteArray() << "frmAbout";
    QTest::newRow("0") << QByteArray("[Startup]\nStartup=0\n") << "frmAbout";
    QTest::newRow("empty") << QByteArray("[Startup]\nStartup=\n") << "frmAbout";
    QTest::newRow("letters") << QByteArray("[Startup]\nStartup=abc\n") << "frmAbout";
    QTest::newRow("0.5") << QByteArray("[Startup]\nStartup=0.5\n") << "frmAbout";
    QTest::newRow("1") << QByteArray("[Startup]\nStartup=1\n") << "frmQuick";
    QTest::newRow("blank 1") << QByteArray("[Startup]\nStartup= 1\n") << "frmQuick";
    QTest::newRow("1x") << QByteArray("[Startup]\nStartup=1x\n") << "frmQuick";
    QTest::newRow("&H1") << QByteArray("[Startup]\nStartup=&H1\n") << "frmQuick";
    QTest::newRow("2") << QByteArray("[Startup]\r\nStartup=2\r\n") << "frmScript";
    QTest::newRow("7") << QByteArray("[Startup]\nStartup=7\n") << "frmScript";
    QTest::newRow("-1") << QByteArray("[Startup]\nStartup=-1\n") << "frmScript";
    QTest::newRow("1.5") << QByteArray("[Startup]\nStartup=1.5\n") << "frmScript";
    QTest::newRow("out of range") << QByteArray("[Startup]\nStartup=65537\n") << "frmScript";
}

void StartupTest::valueChoosesWindow()
{
    QFETCH(QByteArray, settings);
    QFETCH(QString, window);
    if (!settings.isEmpty()) {
        QFile file(app::settingsFilePath());
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(settings);
    }
    Main();
    QCOMPARE(shown<frmAbout>().size(), window == QLatin1String("frmAbout") ? 1 : 0);
    QCOMPARE(shown<frmQuick>().size(), window == QLatin1String("frmQuick") ? 1 : 0);
    QCOMPARE(shown<frmScript>().size(), window == QLatin1String("frmScript") ? 1 : 0);
    for (QWidget* w : QApplication::topLevelWidgets())
        QVERIFY2(!w->isVisible() || !w->isModal(), qPrintable(w->metaObject()->className()));
    QCOMPARE(settingsBytes(), settings.isEmpty() ? QByteArray("<no file>") : settings);
}

void StartupTest::firstStartOpensChosenWindow_data()
{
    QTest::addColumn<bool>("quick");
    QTest::newRow("quick") << true;
    QTest::newRow("script") << false;
}

void StartupTest::firstStartOpensChosenWindow()
{
    QFETCH(bool, quick);
    Main();
    QCOMPARE(shown<frmAbout>().size(), 1);
    frmAbout* about = shown<frmAbout>().first();
    QPointer<frmAbout> watch(about);
    (quick ? about->optQuick : about->optScript)->click();
    about->Command1->click();

    QCOMPARE(settingsBytes(), quick ? QByteArray("[Startup]\nStartup=1\n")
                                    : QByteArray("[Startup]\nStartup=2\n"));
    QCOMPARE(shown<frmQuick>().size(), quick ? 1 : 0);
    QCOMPARE(shown<frmScript>().size(), quick ? 0 : 1);
    QTRY_VERIFY(watch.isNull());
    QVERIFY(QFile::exists(app::databaseFilePath()));
}

void StartupTest::firstStartWithoutChoiceEnds()
{
    Main();
    frmAbout* about = shown<frmAbout>().value(0);
    QVERIFY(about);
    QTimer::singleShot(0, about->Command1, &QPushButton::click);
    QVERIFY(programEnds());
    QVERIFY(!QFile::exists(app::settingsFilePath()));
    QVERIFY(shown<QWidget>().isEmpty());
}

void StartupTest::firstStartClosedEnds()
{
    Main();
    frmAbout* about = shown<frmAbout>().value(0);
    QVERIFY(about);
    QTimer::singleShot(0, about, &QWidget::close);
    QVERIFY(programEnds());
    QVERIFY(!QFile::exists(app::settingsFilePath()));
    QVERIFY(shown<QWidget>().isEmpty());
}

QTEST_MAIN(StartupTest)
#include "tst_gui_startup.moc"
