// Key strings typed by the Wayland backend into foot on a headless sway:
// the bytes that reach the terminal's tty are exactly the keys.
#include "TerminalRows.h"
#include "WaylandSession.h"
#include "keys/wayland/CompositorIpc.h"
#include "keys/wayland/WaylandKeySender.h"

#include <QTest>
#include <QThread>

#include <thread>

using namespace testsupport;

namespace {

const QString target = QStringLiteral("Wayland Target");

QString errorOf(const std::function<void()>& call)
{
    try {
        call();
    } catch (const keys::KeyError& e) {
        return e.description();
    }
    return {};
}

} // namespace

class TestWayland : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void cleanupTestCase();

    void titleRule();
    void compositorNamesTheProcess();
    void activationAcrossWorkspaces();
    void keysReachTheTerminal_data();
    void keysReachTheTerminal();
    void moreSymbolsThanOneKeymapHolds();
    void firstKeysOfEachRunArrive();
    void focusTakenStopsTyping_data();
    void focusTakenStopsTyping();
    void keymapChangesReachXwayland_data();
    void keymapChangesReachXwayland();
    void longTextArrivesWhole();
    void typingFollowsIntoDialog_data();
    void typingFollowsIntoDialog();

private:
    QByteArray type(const QString& keys, qsizetype expectedSize);

    std::unique_ptr<SwaySession> sway_;
    std::unique_ptr<FootCapture> term_;
    std::unique_ptr<keys::WaylandKeySender> sender_;
};

void TestWayland::initTestCase()
{
    QString why;
    sway_ = startSway(true, why);
    if (!sway_)
        QSKIP(qPrintable(why));
    term_ = std::make_unique<FootCapture>(*sway_, target);
    VERIFY_STARTED(*term_);
    sender_ = std::make_unique<keys::WaylandKeySender>();
}

void TestWayland::cleanupTestCase()
{
    sender_.reset();
    term_.reset();
    sway_.reset();
}

QByteArray TestWayland::type(const QString& keys, qsizetype expectedSize)
{
    const qsizetype before = term_->bytes().size();
    sender_->AppActivate(target);
    sender_->SendKeys(keys, true);
    return term_->waitForBytes(before + expectedSize).mid(before);
}

// Exact title first, then a prefix ignoring case, among the windows of
// other applications only; the most recently active one wins.
void TestWayland::titleRule()
{
    FootCapture other(*sway_, target + QStringLiteral(" Two"));
    VERIFY_STARTED(other);
    WaylandProbe probe;
    sender_->AppActivate(target);
    QVERIFY(probe.isActive(target));
    sender_->AppActivate(QStringLiteral("wayland TARGET t"));
    QVERIFY(probe.isActive(other.title()));
    sender_->AppActivate(target);
    QVERIFY(probe.isActive(target));
    sender_->AppActivate(QStringLiteral("WAYLAND"));
    QVERIFY(probe.isActive(target));
    QCOMPARE(errorOf([&] { sender_->AppActivate(QStringLiteral("Nowhere")); }),
             QStringLiteral("No window titled \"Nowhere\" is open."));
    keys::WaylandKeySender ownIsFoot({QStringLiteral("FOOT")});
    QCOMPARE(errorOf([&] { ownIsFoot.AppActivate(target); }),
             QStringLiteral("No window titled \"%1\" is open.").arg(target));
}

// Typing is paced by the target's process, which sway's control socket
// names (Hyprland's answer is read the same way; there is no Hyprland here).
void TestWayland::compositorNamesTheProcess()
{
    sender_->AppActivate(target);
    const auto focused = keys::wayland::askFocusedWindow();
    QVERIFY(focused);
    QCOMPARE(focused->pid, static_cast<long>(term_->pid()));
    QCOMPARE(focused->title, target);
    QCOMPARE(focused->appId, QStringLiteral("foot"));
    QVERIFY(!focused->xwayland);
    const auto hyprland = keys::wayland::focusedInHyprlandAnswer(
        R"({"address": "0x5f", "pid": 4242, "title": "T", "class": "XTerm", "xwayland": true})");
    QVERIFY(hyprland);
    QCOMPARE(hyprland->pid, 4242L);
    QCOMPARE(hyprland->appId, QStringLiteral("XTerm"));
    QVERIFY(hyprland->xwayland);
    QVERIFY(!keys::wayland::focusedInHyprlandAnswer(R"({})"));
}

void TestWayland::activationAcrossWorkspaces()
{
    WaylandProbe probe;
    QVERIFY(sway_->command(QStringLiteral("workspace 2")));
    QVERIFY(waitUntil(2000, [&] { return probe.activeTitle().isEmpty(); }));
    QCOMPARE(type(QStringLiteral("back"), 4), QByteArray("back"));
    QVERIFY(probe.isActive(target));
}

void TestWayland::keysReachTheTerminal_data()
{
    addCommonTerminalRows();
    QTest::newRow("alt") << "%x%f%1" << esc("x") + esc("f") + esc("1");
    QTest::newRow("enter tab esc backspace")
        << "a~b{ENTER}c{TAB}d{ESC}e{BACKSPACE}{BS}"
        << QByteArray("a\rb\rc\td\x1b" "e\x7f\x7f");
    QTest::newRow("shift tab") << "+{TAB}" << esc("[Z");
    QTest::newRow("navigation") << "{HOME}{END}{PGUP}{PGDN}{INSERT}{DELETE}"
                                << esc("[H") + esc("[F") + esc("[5~") + esc("[6~") + esc("[2~")
            + esc("[3~");
    QTest::newRow("function keys") << "{F1}{F5}{F12}"
                                   << esc("OP") + esc("[15~") + esc("[24~");
    QTest::newRow("repeats and groups") << "{x 5}{~ 2}+(abc)d^(ab)"
                                        << QByteArray("xxxxx~~ABCd\x01\x02");
    QTest::newRow("non-ASCII and emoji") << "é€Ω😀 ß ñ ü"
                                         << QStringLiteral("é€Ω😀 ß ñ ü").toUtf8();
    QTest::newRow("line breaks") << "a\nb\tc" << QByteArray("a\rb\tc");
    QTest::newRow("lock keys leave characters alone") << "a{CAPSLOCK}b{NUMLOCK}c{CAPSLOCK}"
                                                      << QByteArray("abc");
}

void TestWayland::keysReachTheTerminal()
{
    QFETCH(QString, keys);
    QFETCH(QByteArray, bytes);
    QCOMPARE(type(keys, bytes.size()), bytes);
}

// More distinct characters than one keymap has room for: the keymap is
// replaced mid-string, and no character comes out as another.
void TestWayland::moreSymbolsThanOneKeymapHolds()
{
    QString text;
    for (char32_t c = U'一'; c < U'一' + 400; ++c)
        text += QString::fromUcs4(&c, 1);
    const QByteArray expected = text.toUtf8();
    QCOMPARE(QString::fromUtf8(type(text, expected.size())), text);
}

// A new keyboard loses its first keys unless the compositor has taken it
// in: each run, a new program (sender) types into a new terminal.
void TestWayland::firstKeysOfEachRunArrive()
{
    const QByteArray text("The quick brown fox jumps over the lazy dog");
    for (int run = 0; run < 5; ++run) {
        FootCapture fresh(*sway_, QStringLiteral("Fresh %1").arg(run));
        VERIFY_STARTED(fresh);
        keys::WaylandKeySender sender;
        sender.AppActivate(fresh.title());
        sender.SendKeys(QString::fromLatin1(text), true);
        QCOMPARE(fresh.waitForBytes(text.size()), text);
    }
}

void TestWayland::focusTakenStopsTyping_data()
{
    QTest::addColumn<bool>("newWindow");
    QTest::newRow("another window activated") << false;
    // Not the target's dialog: it opens while plain text is typed.
    QTest::newRow("a new window of the same application") << true;
}

// Typing stops with the message. The window that took the focus gets at
// most the one burst (20 keys) that may pass the compositor in the instant
// between the last look at the focus and the change.
void TestWayland::focusTakenStopsTyping()
{
    QFETCH(bool, newWindow);
    const QString intruderTitle = QStringLiteral("Intruder %1").arg(newWindow);
    std::unique_ptr<FootCapture> intruder;
    if (!newWindow) {
        intruder = std::make_unique<FootCapture>(*sway_, intruderTitle);
        VERIFY_STARTED(*intruder);
    }
    // Shift is held when the focus goes, and must be let go.
    // Long enough to last well past the change on a loaded machine.
    const QString text = QStringLiteral("+(") + QString(100000, QLatin1Char('s')) + QStringLiteral(")");
    sender_->AppActivate(target);
    const qsizetype before = term_->bytes().size();
    std::thread intrude([&] {
        waitUntil(10000, [&] { return term_->bytes().size() >= before + 2000; });
        if (newWindow)
            intruder = std::make_unique<FootCapture>(*sway_, intruderTitle);
        else
            WaylandProbe().activate(intruderTitle);
    });
    const QString error = errorOf([&] { sender_->SendKeys(text, true); });
    intrude.join();
    VERIFY_STARTED(*intruder);
    QVERIFY2(QRegularExpression(QStringLiteral("^The window lost the keyboard focus after \\d+ of "
                                               "100000 keys, so the rest was not typed.$"))
                 .match(error)
                 .hasMatch(),
             qPrintable(error));
    const qsizetype stolen = intruder->waitForBytes(1, 300).size();
    QVERIFY(stolen <= 20);
    // The next string goes nowhere but to the target (sway may have given
    // it the focus back), and Shift was let go.
    errorOf([&] { sender_->SendKeys(QStringLiteral("x"), true); });
    QCOMPARE(intruder->waitForBytes(stolen + 1, 300).size(), stolen);
    QCOMPARE(type(QStringLiteral("a"), 1), QByteArray("a"));
}

// More different characters than one keymap holds, into xterm through
// XWayland: each new keymap waits until the keys typed under the old one
// are taken, and XWayland and xterm have taken the new one. Seen: xterm's
// process is watched; not seen: it runs as another user.
void TestWayland::keymapChangesReachXwayland_data()
{
    QTest::addColumn<bool>("seen");
    QTest::newRow("process seen") << true;
    QTest::newRow("process not seen") << false;
}

void TestWayland::keymapChangesReachXwayland()
{
    QFETCH(bool, seen);
    XwaylandCapture xterm(*sway_, QStringLiteral("XWayland %1").arg(seen), !seen);
    VERIFY_STARTED(xterm);
    QString text;
    for (char32_t c = U'\u4e00'; c < U'\u4e00' + 400; ++c)
        text += QString::fromUcs4(&c, 1);
    sender_->AppActivate(xterm.title());
    sender_->SendKeys(text, true);
    QCOMPARE(QString::fromUtf8(xterm.waitForBytes(text.toUtf8().size())), text);
}

void TestWayland::longTextArrivesWhole()
{
    QString text;
    const QString sample = QStringLiteral("The quick brown fox jumps over the lazy dog 0123456789 "
                                          "!@#$&*_-=[]\\|;:'\",.<>/? ");
    while (text.size() < 20000)
        text += sample;
    text.truncate(20000);
    QString keys = text;
    keys.replace(QRegularExpression(QStringLiteral("([+^%~(){}\\[\\]])")), QStringLiteral("{\\1}"));
    QCOMPARE(type(keys, text.size()), text.toUtf8());
    QVERIFY(term_->isRunning());
}

// Ctrl+D opens a dialog: the text after it goes there, Enter closes it,
// and the rest goes to the main window again.
void TestWayland::typingFollowsIntoDialog_data()
{
    QTest::addColumn<QStringList>("options");
    QTest::newRow("at once") << QStringList();
    // The shortcut's handler works 300 ms before the dialog opens.
    QTest::newRow("after a slow handler") << QStringList{QStringLiteral("--stall-ms"),
                                                         QStringLiteral("300")};
}

void TestWayland::typingFollowsIntoDialog()
{
    QFETCH(QStringList, options);
    WaylandDialogTarget app(*sway_, QStringLiteral("Dialog Owner %1").arg(options.size()), options);
    VERIFY_STARTED(app);
    sender_->AppActivate(app.title());
    sender_->SendKeys(QStringLiteral("^dfile name~after"), true);
    QVERIFY2(app.waitFor(QStringLiteral("main"), QStringLiteral("after")), qPrintable(app.log()));
    QCOMPARE(app.value(QStringLiteral("dialog")), QStringLiteral("file name"));
    QCOMPARE(app.value(QStringLiteral("accepted")), QStringLiteral("1"));
    // Opened by the last key of one call, typed into by the next one.
    sender_->SendKeys(QStringLiteral("^d"), true);
    sender_->SendKeys(QStringLiteral("second~"), true);
    QVERIFY2(app.waitFor(QStringLiteral("accepted"), QStringLiteral("2")), qPrintable(app.log()));
    QCOMPARE(app.value(QStringLiteral("dialog")), QStringLiteral("second"));
}

QTEST_GUILESS_MAIN(TestWayland)
#include "tst_e2e_wayland.moc"
