// SPDX-License-Identifier: MIT
// Key strings typed by the Wayland backend into foot on a headless sway:
// the bytes that reach the terminal's tty are exactly the keys.
#include "DesktopChecks.h"
#include "TerminalRows.h"
#include "WaylandSession.h"
#include "keys/wayland/CompositorIpc.h"
#include "keys/wayland/WaylandKeySender.h"

#include <QTest>

using namespace testsupport;

namespace {

const QString target = QStringLiteral("Wayland Target");

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
    void moreSymbolsThanOneKeymapHolds_data();
    void moreSymbolsThanOneKeymapHolds();
    void firstKeysOfEachRunArrive();
    void focusTakenStopsTyping_data();
    void focusTakenStopsTyping();
    void longTextArrivesWhole();
    void killedRunLeavesNoKeyHeld();
    void typingFollowsIntoDialog_data();
    void typingFollowsIntoDialog();

private:
    QByteArray type(const QString& keys, qsizetype size) { return typeInto(*sender_, *term_, keys, size); }

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

// Among the windows of other applications only.
void TestWayland::titleRule()
{
    FootCapture other(*sway_, target + QStringLiteral(" Two"));
    VERIFY_STARTED(other);
    checkTitleRule(*sender_, *sway_, target, other.title());
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
    QVERIFY(sway_->command(QStringLiteral("workspace 2")));
    QVERIFY(waitUntil(2000, [&] { return sway_->activeTitle().isEmpty(); }));
    QCOMPARE(type(QStringLiteral("back"), 4), QByteArray("back"));
    QCOMPARE(sway_->activeTitle(), target);
}

void TestWayland::keysReachTheTerminal_data()
{
    addWaylandTerminalRows();
    QTest::newRow("shift tab") << "+{TAB}" << esc("[Z");
    QTest::newRow("navigation") << "{HOME}{END}{PGUP}{PGDN}{INSERT}{DELETE}"
                                << esc("[H") + esc("[F") + esc("[5~") + esc("[6~") + esc("[2~")
            + esc("[3~");
    QTest::newRow("non-ASCII and emoji") << "é€Ω😀 ß ñ ü"
                                         << QStringLiteral("é€Ω😀 ß ñ ü").toUtf8();
}

void TestWayland::keysReachTheTerminal()
{
    QFETCH(QString, keys);
    QFETCH(QByteArray, bytes);
    QCOMPARE(type(keys, bytes.size()), bytes);
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

// The window that took the focus gets at most the one burst (20 keys) that
// may pass the compositor in the instant between the last look at the
// focus and the change.
void TestWayland::focusTakenStopsTyping()
{
    QFETCH(bool, newWindow);
    const QString intruderTitle = QStringLiteral("Intruder %1").arg(newWindow);
    std::unique_ptr<FootCapture> intruder;
    if (!newWindow) {
        intruder = std::make_unique<FootCapture>(*sway_, intruderTitle);
        VERIFY_STARTED(*intruder);
    }
    // sway may give the target the focus back: the next string's error is
    // not checked, only that it goes nowhere else.
    QString next;
    checkFocusTakenStopsTyping(
        *sender_, *term_,
        [&]() -> const SessionTerminal& {
            if (newWindow)
                intruder = std::make_unique<FootCapture>(*sway_, intruderTitle);
            else
                sway_->activate(intruderTitle);
            return *intruder;
        },
        20, next);
}

// More different characters than one keymap holds: the keymap is replaced
// mid-string, and no character comes out as another. Into xterm through
// XWayland, each new keymap waits until the keys typed under the old one
// are taken, and XWayland and xterm have taken the new one. Seen: xterm's
// process is watched; not seen: it runs as another user.
void TestWayland::moreSymbolsThanOneKeymapHolds_data()
{
    QTest::addColumn<bool>("xterm");
    QTest::addColumn<bool>("seen");
    QTest::newRow("foot") << false << true;
    QTest::newRow("xterm through XWayland, process seen") << true << true;
    QTest::newRow("xterm through XWayland, process not seen") << true << false;
}

void TestWayland::moreSymbolsThanOneKeymapHolds()
{
    QFETCH(bool, xterm);
    QFETCH(bool, seen);
    std::unique_ptr<XwaylandCapture> x;
    if (xterm) {
        x = std::make_unique<XwaylandCapture>(*sway_, QStringLiteral("XWayland %1").arg(seen), !seen);
        VERIFY_STARTED(*x);
    }
    const SessionTerminal& into = xterm ? static_cast<const SessionTerminal&>(*x) : *term_;
    const QString text = characterRange(U'\u4e00', U'\u4e00' + 399);
    QCOMPARE(QString::fromUtf8(typeInto(*sender_, into, text, text.toUtf8().size())), text);
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

void TestWayland::killedRunLeavesNoKeyHeld()
{
    checkKilledRunLeavesNoKeyHeld(*sender_, *term_, {}, {});
}

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
    checkTypingFollowsIntoDialog(*sender_, app);
}

QTEST_GUILESS_MAIN(TestWayland)
#include "tst_e2e_wayland.moc"
