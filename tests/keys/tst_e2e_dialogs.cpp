// SPDX-License-Identifier: MIT
// Typing into a Qt application that opens a modal dialog on Ctrl+D, under
// Xvfb and openbox: the keys after the shortcut reach the dialog, the focus
// may move only within the application, and a hung target ends the run.
#include "XSession.h"
#include "keys/KeyErrorTexts.h"
#include "keys/x11/X11KeySender.h"

#include <QElapsedTimer>
#include <QSysInfo>
#include <QTest>

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <unistd.h>

using namespace testsupport;

class TestDialogs : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void cleanupTestCase();

    void keysFollowTheDialog_data();
    void keysFollowTheDialog();
    void activationLandsInOpenDialog();
    void focusMovedBeforeTypingSendsNothing_data();
    void focusMovedBeforeTypingSendsNothing();
    void busyTargetStopsTheRun();
    void unseenTargetGetsTheCommandPause();
    void commandPauseIsALeastWait();
    void ownWindowsAreNeverTargets();
    void withoutWindowManager();

private:
    QString failure(const QString& keys);

    std::unique_ptr<XServer> server_;
    std::unique_ptr<WindowManager> wm_;
    std::unique_ptr<XProbe> probe_;
    std::unique_ptr<CaptureTerminal> term_;
    std::unique_ptr<keys::X11KeySender> sender_;
};

void TestDialogs::initTestCase()
{
    server_ = std::make_unique<XServer>();
    wm_ = std::make_unique<WindowManager>(*server_);
    probe_ = std::make_unique<XProbe>(server_->display());
    term_ = std::make_unique<CaptureTerminal>(*server_, QStringLiteral("Bystander"));
    qputenv("DISPLAY", server_->display().toLocal8Bit());
    sender_ = std::make_unique<keys::X11KeySender>();
}

void TestDialogs::cleanupTestCase()
{
    sender_.reset();
    term_.reset();
    probe_.reset();
    wm_.reset();
    server_.reset();
}

QString TestDialogs::failure(const QString& keys)
{
    try {
        sender_->SendKeys(keys, true);
    } catch (const keys::KeyError& e) {
        return e.description();
    }
    return QStringLiteral("(no error)");
}

void TestDialogs::keysFollowTheDialog_data()
{
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<QString>("keys");
    QTest::addColumn<QString>("main");
    const QString keys = QStringLiteral("^dreport.txt~back in main^dsecond{ESC}end");
    const QString main = QStringLiteral("back in mainend");
    QTest::newRow("quick target") << QStringList() << keys << main;
    QTest::newRow("handler computes 400 ms")
        << QStringList{QStringLiteral("--stall-ms"), QStringLiteral("400")} << keys << main;
    QTest::newRow("handler sleeps 300 ms")
        << QStringList{QStringLiteral("--sleep-ms"), QStringLiteral("300")} << keys << main;
    QTest::newRow("dialog hidden and shown again")
        << QStringList{QStringLiteral("--reuse-dialog")} << keys << main;
    QTest::newRow("first paste makes a hidden window")
        << QStringList{QStringLiteral("--paste")} << QStringLiteral("^v") + keys
        << QStringLiteral("pasted") + main;
}

// The most common macro: a shortcut that opens a dialog, text for it, Enter,
// then more text for the main window.
void TestDialogs::keysFollowTheDialog()
{
    QFETCH(QStringList, options);
    QFETCH(QString, keys);
    QFETCH(QString, main);
    DialogTarget app(*server_, QStringLiteral("Editor"), options);
    sender_->AppActivate(app.title());
    sender_->SendKeys(keys, true);
    QCOMPARE(app.waitFor(QStringLiteral("main"), main), main);
    QCOMPARE(app.value(QStringLiteral("opened")), QStringLiteral("2"));
    QCOMPARE(app.value(QStringLiteral("accepted")), QStringLiteral("1"));
    QCOMPARE(app.value(QStringLiteral("dialog")), QStringLiteral("second"));
}

void TestDialogs::activationLandsInOpenDialog()
{
    DialogTarget app(*server_, QStringLiteral("Busy Editor"), {QStringLiteral("--dialog-open")});
    QVERIFY(waitForWindow(server_->display(), app.dialogTitle()));
    sender_->AppActivate(QStringLiteral("Bystander"));
    sender_->AppActivate(app.title());
    QVERIFY(probe_->focusIsIn(probe_->findWindow(app.dialogTitle())));
    sender_->SendKeys(QStringLiteral("in the dialog~"), true);
    QCOMPARE(app.waitFor(QStringLiteral("accepted"), QStringLiteral("1")), QStringLiteral("1"));
    QCOMPARE(app.value(QStringLiteral("dialog")), QStringLiteral("in the dialog"));
    QCOMPARE(app.value(QStringLiteral("main")), QString());
}

void TestDialogs::focusMovedBeforeTypingSendsNothing_data()
{
    QTest::addColumn<bool>("sameProcess");
    QTest::newRow("another application") << false;
    // A terminal server or a browser runs all its windows in one process.
    QTest::newRow("another window of the same process") << true;
}

// Between AppActivate and SendKeys the user clicked another window.
void TestDialogs::focusMovedBeforeTypingSendsNothing()
{
    QFETCH(bool, sameProcess);
    DialogTarget app(*server_, QStringLiteral("Clicked Away"), {QStringLiteral("--second-window")});
    const unsigned long second = waitForWindow(server_->display(), app.title() + QStringLiteral(" Second"));
    QVERIFY(second);
    sender_->AppActivate(app.title());
    const qsizetype before = term_->bytes().size();
    const unsigned long clicked = sameProcess ? second : term_->window();
    probe_->activate(clicked);
    QVERIFY(waitUntil(1000, [&] { return probe_->focusIsIn(clicked); }));
    const QString error = failure(QStringLiteral("abc"));
    QCOMPARE(error, keys::errors::focusMovedBeforeTyping());
    QCOMPARE(term_->waitForBytes(before + 1, 300).size(), before);
    QCOMPARE(app.value(QStringLiteral("main")), QString());
}

// A shortcut handler that stays blocked past the limit: the keys after it
// are not typed, into no window.
void TestDialogs::busyTargetStopsTheRun()
{
    DialogTarget app(*server_, QStringLiteral("Blocked"),
                     {QStringLiteral("--sleep-ms"), QStringLiteral("7000")});
    sender_->AppActivate(app.title());
    QCOMPARE(failure(QStringLiteral("^dabc")), keys::errors::stoppedRespondingAfter(1, 4));
    QCOMPARE(app.waitFor(QStringLiteral("opened"), QStringLiteral("1"), 5000), QStringLiteral("1"));
    QTest::qWait(300);
    QCOMPARE(app.value(QStringLiteral("dialog")), QString());
    QCOMPARE(app.value(QStringLiteral("main")), QString());
}

// A target on another machine (as its window says) cannot be watched: the
// pause after a shortcut, as the settings file sets it, stands in.
void TestDialogs::unseenTargetGetsTheCommandPause()
{
    DialogTarget app(*server_, QStringLiteral("Remote Editor"),
                     {QStringLiteral("--sleep-ms"), QStringLiteral("300")});
    Display* dpy = probe_->display();
    const QByteArray host("elsewhere.example");
    XTextProperty machine{reinterpret_cast<unsigned char*>(const_cast<char*>(host.data())),
                          XA_STRING, 8, static_cast<unsigned long>(host.size())};
    XSetWMClientMachine(dpy, app.window(), &machine);
    XSync(dpy, False);
    keys::X11KeySender sender;
    sender.setCommandPauseMs(800);
    sender.AppActivate(app.title());
    try {
        sender.SendKeys(QStringLiteral("^dname~main"), true);
    } catch (const keys::KeyError& e) {
        QFAIL(qPrintable(e.description()));
    }
    QCOMPARE(app.waitFor(QStringLiteral("main"), QStringLiteral("main")), QStringLiteral("main"));
    QCOMPARE(app.value(QStringLiteral("dialog")), QStringLiteral("name"));
}

// Set by the user, the pause is also the least wait after a shortcut into a
// target that is watched and done at once.
void TestDialogs::commandPauseIsALeastWait()
{
    keys::X11KeySender sender;
    sender.setCommandPauseMs(400);
    sender.AppActivate(term_->title());
    const qsizetype before = term_->bytes().size();
    QElapsedTimer clock;
    clock.start();
    sender.SendKeys(QStringLiteral("^gx"), true);
    QVERIFY(clock.elapsed() >= 400);
    QCOMPARE(term_->waitForBytes(before + 2).mid(before), QByteArray("\x07x"));
}

// A window of this process (as the quick window is) whose title matches
// better, and lies on top, is passed over.
void TestDialogs::ownWindowsAreNeverTargets()
{
    CaptureTerminal other(*server_, QStringLiteral("Picker of keys"));
    Display* dpy = probe_->display();
    const Window own = XCreateSimpleWindow(dpy, DefaultRootWindow(dpy), 0, 0, 200, 100, 0, 0, 0);
    XStoreName(dpy, own, "Picker");
    const long pid = getpid();
    XChangeProperty(dpy, own, XInternAtom(dpy, "_NET_WM_PID", False), XA_CARDINAL, 32,
                    PropModeReplace, reinterpret_cast<const unsigned char*>(&pid), 1);
    const QByteArray host = QSysInfo::machineHostName().toLatin1();
    XTextProperty machine{reinterpret_cast<unsigned char*>(const_cast<char*>(host.data())),
                          XA_STRING, 8, static_cast<unsigned long>(host.size())};
    XSetWMClientMachine(dpy, own, &machine);
    XMapRaised(dpy, own);
    XSync(dpy, False);
    QVERIFY(waitForWindow(server_->display(), QStringLiteral("Picker")));
    sender_->AppActivate(QStringLiteral("Picker"));
    QVERIFY(probe_->focusIsIn(other.window()));
    XDestroyWindow(dpy, own);
    XSync(dpy, False);
}

void TestDialogs::withoutWindowManager()
{
    XServer bare;
    DialogTarget app(bare, QStringLiteral("Bare Editor"));
    DialogTarget modal(bare, QStringLiteral("Bare Modal"), {QStringLiteral("--dialog-open")});
    QVERIFY(waitForWindow(bare.display(), modal.dialogTitle()));
    const QByteArray previousDisplay = qgetenv("DISPLAY");
    qputenv("DISPLAY", bare.display().toLocal8Bit());
    QString error;
    try {
        keys::X11KeySender sender;
        sender.AppActivate(app.title());
        sender.SendKeys(QStringLiteral("^dname~main"), true);
        sender.AppActivate(modal.title());
        sender.SendKeys(QStringLiteral("into the dialog~"), true);
    } catch (const keys::KeyError& e) {
        error = e.description();
    }
    qputenv("DISPLAY", previousDisplay);
    QCOMPARE(error, QString());
    QCOMPARE(app.waitFor(QStringLiteral("main"), QStringLiteral("main")), QStringLiteral("main"));
    QCOMPARE(app.value(QStringLiteral("dialog")), QStringLiteral("name"));
    QCOMPARE(modal.waitFor(QStringLiteral("accepted"), QStringLiteral("1")), QStringLiteral("1"));
    QCOMPARE(modal.value(QStringLiteral("dialog")), QStringLiteral("into the dialog"));
}

QTEST_GUILESS_MAIN(TestDialogs)
#include "tst_e2e_dialogs.moc"
