// SPDX-License-Identifier: MIT
// The real program in quick mode under Xvfb and openbox: the user picks a
// title and an item with the keyboard and presses F8; the key string arrives
// in a real xterm, which keeps the focus, under the still topmost quick window.
#include "XSession.h"
#include "store/Database.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

using namespace testsupport;

namespace {

const QString kTarget = QStringLiteral("Quick Capture");

// The program copied into a fresh folder, with quick mode chosen and a
// database holding one title and one item for it.
struct ProgramFolder {
    QTemporaryDir dir;
    QString exe;

    ProgramFolder()
    {
        exe = dir.filePath(QStringLiteral("typomat"));
        QFile::copy(qEnvironmentVariable("TYPOMAT_EXE"), exe);
        QFile ini(dir.filePath(QStringLiteral("Typomat.ini")));
        if (ini.open(QIODevice::WriteOnly))
            ini.write("[Startup]\nStartup=1\n");
        auto db = store::Database::open(dir.filePath(QStringLiteral("Typomat.mdb")));
        auto titles = db->OpenRecordset(QStringLiteral("Title"));
        titles->AddNew();
        titles->SetField(0, QStringLiteral("Some other window"));
        titles->Update();
        titles->AddNew();
        titles->SetField(0, kTarget);
        titles->Update();
        auto items = db->OpenRecordset(QStringLiteral("KeyQuick"));
        const QStringList rows[] = {{"other", "Some other window", "wrong"},
                                    {"greet", kTarget, "hi there{ENTER}"}};
        for (const QStringList& row : rows) {
            items->AddNew();
            for (int i = 0; i < row.size(); ++i)
                items->SetField(i, row[i]);
            items->Update();
        }
    }
};

// Types one key on the X server's keyboard, as the user would.
void press(Display* dpy, KeySym sym)
{
    const KeyCode code = XKeysymToKeycode(dpy, sym);
    XTestFakeKeyEvent(dpy, code, True, CurrentTime);
    XTestFakeKeyEvent(dpy, code, False, CurrentTime);
    XSync(dpy, False);
    QThread::msleep(400);  // let the program handle it before the next key
}

// Client windows from bottom to top, as the window manager stacks them.
QList<unsigned long> stackingOrder(Display* dpy)
{
    const Atom property = XInternAtom(dpy, "_NET_CLIENT_LIST_STACKING", False);
    Atom type = None;
    int format = 0;
    unsigned long count = 0, remaining = 0;
    unsigned char* data = nullptr;
    QList<unsigned long> windows;
    if (XGetWindowProperty(dpy, XDefaultRootWindow(dpy), property, 0, 4096, False, XA_WINDOW,
                           &type, &format, &count, &remaining, &data) == Success
        && data) {
        const auto* ids = reinterpret_cast<const unsigned long*>(data);
        for (unsigned long i = 0; i < count; ++i)
            windows << ids[i];
        XFree(data);
    }
    return windows;
}

} // namespace

class QuickEndToEnd : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void f8SendsPickedItemIntoTarget();
};

void QuickEndToEnd::f8SendsPickedItemIntoTarget()
{
    QVERIFY2(!qEnvironmentVariable("TYPOMAT_EXE").isEmpty(), "TYPOMAT_EXE names the program");
    ProgramFolder folder;
    XServer server;
    WindowManager wm(server);
    CaptureTerminal term(server, kTarget);
    qunsetenv("QT_QPA_PLATFORM");
    ChildProcess program(folder.exe, {}, server.display());
    const unsigned long quick = waitForWindow(server.display(), QStringLiteral("Typomat - Quick"));
    QVERIFY2(quick, "the quick window did not show");

    XProbe probe(server.display());
    if (!waitUntil(3000, [&] { return probe.focusIsIn(quick); }))
        probe.setFocus(quick);
    QVERIFY(waitUntil(3000, [&] { return probe.focusIsIn(quick); }));
    QThread::msleep(500);

    // Focus starts in the title box: Down, Down picks the second title; Tab
    // goes to the item box, Down picks its only item; F8 runs.
    Display* dpy = probe.display();
    press(dpy, XK_Down);
    press(dpy, XK_Down);
    press(dpy, XK_Tab);
    press(dpy, XK_Down);
    press(dpy, XK_F8);

    QCOMPARE(term.waitForBytes(9), QByteArray("hi there\r"));
    QVERIFY(probe.focusIsIn(term.window()));
    const QList<unsigned long> stack = stackingOrder(dpy);
    QVERIFY(stack.contains(term.window()));
    QVERIFY2(stack.indexOf(quick) > stack.indexOf(term.window()),
             "the quick window is no longer above the target");

    // Back in the quick window, a key typed into the key box and not saved
    // is sent as shown; the stored item keeps its key.
    probe.setFocus(quick);
    QVERIFY(waitUntil(3000, [&] { return probe.focusIsIn(quick); }));
    QThread::msleep(300);
    press(dpy, XK_Tab);
    press(dpy, XK_Tab);
    press(dpy, XK_x);
    press(dpy, XK_F8);
    QCOMPARE(term.waitForBytes(19), QByteArray("hi there\rxhi there\r"));
    QVERIFY(probe.focusIsIn(term.window()));
    auto db = store::Database::open(folder.dir.filePath(QStringLiteral("Typomat.mdb")));
    auto items = db->OpenRecordset(QStringLiteral("KeyQuick"));
    items->MoveFirst();
    items->MoveNext();
    QCOMPARE(items->Fields(2).toText(), QStringLiteral("hi there{ENTER}"));
    QVERIFY(program.isRunning());
}

QTEST_GUILESS_MAIN(QuickEndToEnd)
#include "tst_e2e_quick.moc"
