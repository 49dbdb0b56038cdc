// SPDX-License-Identifier: MIT
// Key strings typed by the X11 backend into a real xterm under Xvfb and
// openbox: the bytes that reach the terminal's tty are exactly the keys.
#include "TerminalRows.h"
#include "XSession.h"
#include "keys/x11/X11KeySender.h"

#include <QTest>
#include <QThread>

// Xlib after Qt: its macros clash with Qt's names.
#include "keys/x11/XConnection.h"

#include <X11/XKBlib.h>
#include <X11/extensions/XTest.h>

#include <thread>

using namespace testsupport;

namespace {

const QString target = QStringLiteral("Typing Target");

} // namespace

class TestTyping : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void cleanupTestCase();
    void init();
    void cleanup();

    void keysReachTheTerminal_data();
    void keysReachTheTerminal();
    void keysWithoutBytesReachTheWindow();
    void longTextArrivesWhole();
    void manyCharactersOutsideTheLayout();
    void capsLockOnTypesExactly();
    void capsLockKeyToggles();
    void numLockOnTypesExactly();
    void layouts_data();
    void layouts();
    void groupToggleOptions_data();
    void groupToggleOptions();
    void shiftedLatinInSecondGroup();
    void spareKeycodesAreRestored();
    void errorsOfTheConnectionAreNoticed();
    void heldModifierIsWaitedFor();
    void heldModifierRefusesToType();
    void unreadableStringSendsNothing();

private:
    QByteArray type(const QString& keys, qsizetype expectedSize);
    unsigned heldMods();

    std::unique_ptr<XServer> server_;
    std::unique_ptr<WindowManager> wm_;
    std::unique_ptr<CaptureTerminal> term_;
    std::unique_ptr<XProbe> probe_;
    std::unique_ptr<keys::X11KeySender> sender_;
};

void TestTyping::initTestCase()
{
    server_ = std::make_unique<XServer>();
    wm_ = std::make_unique<WindowManager>(*server_);
    term_ = std::make_unique<CaptureTerminal>(*server_, target);
    probe_ = std::make_unique<XProbe>(server_->display());
    qputenv("DISPLAY", server_->display().toLocal8Bit());
    sender_ = std::make_unique<keys::X11KeySender>();
}

void TestTyping::cleanupTestCase()
{
    sender_.reset();
    probe_.reset();
    term_.reset();
    wm_.reset();
    server_.reset();
}

void TestTyping::init()
{
    sender_->AppActivate(target);
}

void TestTyping::cleanup()
{
    probe_->setCapsLock(false);
    QCOMPARE(heldMods(), 0u);
}

QByteArray TestTyping::type(const QString& keys, qsizetype expectedSize)
{
    const qsizetype before = term_->bytes().size();
    sender_->AppActivate(target);
    sender_->SendKeys(keys, true);
    return term_->waitForBytes(before + expectedSize).mid(before);
}

unsigned TestTyping::heldMods()
{
    XkbStateRec state;
    XkbGetState(probe_->display(), XkbUseCoreKbd, &state);
    return state.base_mods;
}

void TestTyping::keysReachTheTerminal_data()
{
    addCommonTerminalRows();
    QTest::newRow("ctrl shift letter") << "^+a^A" << QByteArray("\x01\x01");
    QTest::newRow("alt") << "%x%+y%1" << esc("x") + esc("Y") + esc("1");
    QTest::newRow("ctrl alt") << "^%x" << esc("\x18");
    QTest::newRow("enter tab esc backspace")
        << "a~b{ENTER}c{TAB}d{ESC}e{BACKSPACE}{BS}{BKSP}"
        << QByteArray("a\rb\rc\td\x1b" "e\x7f\x7f\x7f");
    QTest::newRow("navigation") << "{HOME}{END}{PGUP}{PGDN}{INSERT}{INS}{DELETE}{DEL}"
                                << esc("[H") + esc("[F") + esc("[5~") + esc("[6~") + esc("[2~")
            + esc("[2~") + esc("[3~") + esc("[3~");
    QTest::newRow("F1-F12") << "{F1}{F2}{F3}{F4}{F5}{F6}{F7}{F8}{F9}{F10}{F11}{F12}"
                            << esc("OP") + esc("OQ") + esc("OR") + esc("OS") + esc("[15~")
            + esc("[17~") + esc("[18~") + esc("[19~") + esc("[20~") + esc("[21~") + esc("[23~")
            + esc("[24~");
    QTest::newRow("F13-F16 on spare keycodes")
        << "{F13}{F14}{F15}{F16}"
        << esc("[25~") + esc("[26~") + esc("[28~") + esc("[29~");
    QTest::newRow("modified function keys") << "+{F5}^+{F5}^{HOME}"
                                            << esc("[15;2~") + esc("[15;6~") + esc("[1;5H");
    QTest::newRow("keypad") << "{ADD}{SUBTRACT}{MULTIPLY}{DIVIDE}" << QByteArray("+-*/");
    QTest::newRow("repeats") << "{x 5}{LEFT 3}{TAB 0}{~ 2}{ENTER 2}"
                             << QByteArray("xxxxx") + esc("[D") + esc("[D") + esc("[D")
            + "~~\r\r";
    QTest::newRow("groups") << "+(abc)d^(ab)" << QByteArray("ABCd\x01\x02");
    QTest::newRow("nested groups") << "+(a%(b)c)" << QByteArray("A") + esc("B") + "C";
    QTest::newRow("non-ASCII") << "é ß € Ω 😀 ñ ü"
                               << QStringLiteral("é ß € Ω 😀 ñ ü").toUtf8();
    QTest::newRow("modifier on spare key") << "%é" << esc("é");
    // A spare key carries the case pair, as a key of a layout does.
    QTest::newRow("Shift on spare key") << "+é+(ßω)é" << QStringLiteral("ÉßΩé").toUtf8();
    QTest::newRow("line breaks") << "a\nb\r\nc\rd\te" << QByteArray("a\rb\rc\rd\te");
    QTest::newRow("empty") << "" << QByteArray();
}

void TestTyping::keysReachTheTerminal()
{
    QFETCH(QString, keys);
    QFETCH(QByteArray, bytes);
    QCOMPARE(type(keys, bytes.size()), bytes);
}

// Keys that xterm turns into no bytes, or takes for itself, seen by xev. On
// a server of its own without a window manager: openbox as set up here
// takes Print for a screenshot.
void TestTyping::keysWithoutBytesReachTheWindow()
{
    XServer bare;
    EventLogger log(bare, QStringLiteral("Event Log"));
    const QByteArray display = qgetenv("DISPLAY");
    qputenv("DISPLAY", bare.display().toLocal8Bit());
    keys::X11KeySender sender;
    sender.AppActivate(log.title());
    sender.SendKeys(QStringLiteral("{PRTSC}{SCROLLLOCK 2}{BREAK}{HELP}+{INSERT}+{PGUP}%~a"), true);
    qputenv("DISPLAY", display);
    const QStringList expected{
        "Print", "Scroll_Lock", "Scroll_Lock", "Control_L", "Break", "Help",
        // Shift stays down from Insert to Prior: both want it.
        "Shift_L", "Insert", "Prior", "Alt_L", "Return", "a",
    };
    waitUntil(5000, [&] { return log.pressedKeysyms().size() >= expected.size(); });
    QCOMPARE(log.pressedKeysyms().join(QLatin1Char(' ')), expected.join(QLatin1Char(' ')));
}

void TestTyping::longTextArrivesWhole()
{
    QString text;
    const QString sample = QStringLiteral("The quick brown fox jumps over the lazy dog 0123456789 "
                                          "!@#$&*_-=[]\\|;:'\",.<>/? ");
    while (text.size() < 2000)
        text += sample;
    text.truncate(2000);
    QCOMPARE(type(text, text.size()), text.toUtf8());
}

// More distinct characters than there are spare keycodes: each keycode is
// bound again several times, and no character may come out as another.
void TestTyping::manyCharactersOutsideTheLayout()
{
    QString text;
    for (char32_t c = U'α'; c <= U'ω'; ++c)
        text += QString::fromUcs4(&c, 1);
    for (char32_t c = U'а'; c <= U'я'; ++c)
        text += QString::fromUcs4(&c, 1);
    text += text;
    text += QStringLiteral("€Ωß😀é");
    const QByteArray expected = text.toUtf8();
    QCOMPARE(QString::fromUtf8(type(text, expected.size())), text);
}

void TestTyping::capsLockOnTypesExactly()
{
    probe_->setCapsLock(true);
    const QString text = QStringLiteral("Hello World abc XYZ 123 !? éÉ ñ");
    QCOMPARE(QString::fromUtf8(type(text, text.toUtf8().size())), text);
    QVERIFY(probe_->capsLock());
    QCOMPARE(type(QStringLiteral("^a%b"), 3), QByteArray("\x01") + esc("b"));
}

void TestTyping::capsLockKeyToggles()
{
    QVERIFY(!probe_->capsLock());
    QCOMPARE(type(QStringLiteral("a{CAPSLOCK}b"), 2), QByteArray("ab"));
    QVERIFY(probe_->capsLock());
    QCOMPARE(type(QStringLiteral("c{CAPSLOCK}d"), 2), QByteArray("cd"));
    QVERIFY(!probe_->capsLock());
}

void TestTyping::numLockOnTypesExactly()
{
    const unsigned numLock = XkbKeysymToModifiers(probe_->display(), XStringToKeysym("Num_Lock"));
    QVERIFY(numLock != 0);
    XkbLockModifiers(probe_->display(), XkbUseCoreKbd, numLock, numLock);
    XSync(probe_->display(), False);
    QCOMPARE(type(QStringLiteral("1234567890.{+}-*/{ADD}"), 16), QByteArray("1234567890.+-*/+"));
    XkbLockModifiers(probe_->display(), XkbUseCoreKbd, numLock, 0);
    XSync(probe_->display(), False);
}

void TestTyping::layouts_data()
{
    QTest::addColumn<QString>("layout");
    QTest::addColumn<int>("group");
    QTest::addColumn<QString>("text");
    QTest::newRow("German") << "de" << 0 << QStringLiteral("Grüße yz YZ äöüß ÄÖÜ @€{[]}\\|~µ²³ <>");
    QTest::newRow("French") << "fr" << 0
                            << QStringLiteral("azerty AQWZ mù éèçà &\"'(-_)= !:;, 1234 €@#");
    QTest::newRow("German as second group") << "us,de" << 1
                                            << QStringLiteral("yz äöüß @€ {[]} ~ Ω");
    QTest::newRow("US again") << "us" << 0 << QStringLiteral("qwerty yz @\"#~ é");
}

void TestTyping::layouts()
{
    QFETCH(QString, layout);
    QFETCH(int, group);
    QFETCH(QString, text);
    QCOMPARE(runProgram(server_->display(), QStringLiteral("setxkbmap"), {layout}), 0);
    XkbLockGroup(probe_->display(), XkbUseCoreKbd, static_cast<unsigned>(group));
    XSync(probe_->display(), False);
    QString keys;
    for (QChar c : text) {
        if (QStringLiteral("+^%~(){}[]").contains(c))
            keys += QLatin1Char('{') + c + QLatin1Char('}');
        else
            keys += c;
    }
    const QString typed = QString::fromUtf8(type(keys, text.toUtf8().size()));
    XkbLockGroup(probe_->display(), XkbUseCoreKbd, 0);
    runProgram(server_->display(), QStringLiteral("setxkbmap"), {QStringLiteral("us")});
    QCOMPARE(typed, text);
}

void TestTyping::groupToggleOptions_data()
{
    QTest::addColumn<QString>("option");
    QTest::newRow("Alt+Shift") << "grp:alt_shift_toggle";
    QTest::newRow("Ctrl+Shift") << "grp:ctrl_shift_toggle";
}

// Alt+Shift and Ctrl+Shift must hold their modifiers, not switch the layout.
void TestTyping::groupToggleOptions()
{
    QFETCH(QString, option);
    QCOMPARE(runProgram(server_->display(), QStringLiteral("setxkbmap"),
                        {QStringLiteral("-layout"), QStringLiteral("us,ru"),
                         QStringLiteral("-option"), QString(), QStringLiteral("-option"), option}),
             0);
    const QByteArray typed = type(QStringLiteral("%+s^+tab%+{F5}"), 8 + 6);
    XkbStateRec state;
    XkbGetState(probe_->display(), XkbUseCoreKbd, &state);
    runProgram(server_->display(), QStringLiteral("setxkbmap"),
               {QStringLiteral("-layout"), QStringLiteral("us"), QStringLiteral("-option"),
                QString()});
    QCOMPARE(typed, esc("S") + "\x14" + "ab" + esc("[15;4~"));
    QCOMPARE(unsigned(state.locked_group), 0u);
    QCOMPARE(unsigned(state.locked_mods & (ShiftMask | ControlMask | Mod1Mask)), 0u);
}

// With the Russian group of "us,ru" active, Latin letters come from spare
// keycodes: Shift still makes capitals, and Alt+Shift stays Alt+Shift.
void TestTyping::shiftedLatinInSecondGroup()
{
    QCOMPARE(runProgram(server_->display(), QStringLiteral("setxkbmap"),
                        {QStringLiteral("-layout"), QStringLiteral("us,ru")}),
             0);
    XkbLockGroup(probe_->display(), XkbUseCoreKbd, 1);
    XSync(probe_->display(), False);
    const QByteArray typed = type(QStringLiteral("+s%+s^s+(ab)"), 7);
    XkbLockGroup(probe_->display(), XkbUseCoreKbd, 0);
    runProgram(server_->display(), QStringLiteral("setxkbmap"), {QStringLiteral("us")});
    QCOMPARE(typed, QByteArray("S") + esc("S") + "\x13" + "AB");
}

void TestTyping::spareKeycodesAreRestored()
{
    // A sender of its own: its keycodes stay bound while it lives, since a
    // target may read its keys late, and are empty again when it goes.
    const int before = probe_->emptyKeycodes();
    QVERIFY(before > 4);
    {
        keys::X11KeySender sender;
        const qsizetype size = term_->bytes().size();
        sender.AppActivate(target);
        sender.SendKeys(QStringLiteral("ⅻ⅓"), true);
        QCOMPARE(QString::fromUtf8(term_->waitForBytes(size + 6).mid(size)), QStringLiteral("ⅻ⅓"));
        QTest::qWait(2500);
        QVERIFY(probe_->emptyKeycodes() < before);
    }
    QCOMPARE(probe_->emptyKeycodes(), before);
}

// Keymap changes check their outcome through this trap: an X error on the
// backend's connection must show, not pass unnoticed.
void TestTyping::errorsOfTheConnectionAreNoticed()
{
    auto x = keys::x11::XConnection::open(server_->display().toLocal8Bit().constData());
    QVERIFY(x);
    keys::x11::ErrorTrap trap(x->dpy());
    XMapWindow(x->dpy(), 0x2f); // no such window
    QCOMPARE(trap.check(), int(BadWindow));
    keys::x11::ErrorTrap clean(x->dpy());
    XMapWindow(x->dpy(), x->ownWindow());
    QCOMPARE(clean.check(), int(Success));
}

void TestTyping::heldModifierIsWaitedFor()
{
    Display* dpy = probe_->display();
    const KeyCode control = XKeysymToKeycode(dpy, XStringToKeysym("Control_L"));
    XTestFakeKeyEvent(dpy, control, True, CurrentTime);
    XSync(dpy, False);
    QCOMPARE(heldMods(), unsigned(ControlMask));
    std::thread releaser([this, control] {
        XProbe other(server_->display());
        QThread::msleep(300);
        XTestFakeKeyEvent(other.display(), control, False, CurrentTime);
        XSync(other.display(), False);
    });
    QByteArray typed;
    try {
        typed = type(QStringLiteral("abc"), 3);
    } catch (...) {
        releaser.join();
        throw;
    }
    releaser.join();
    QCOMPARE(typed, QByteArray("abc"));
}

void TestTyping::heldModifierRefusesToType()
{
    Display* dpy = probe_->display();
    const KeyCode shift = XKeysymToKeycode(dpy, XStringToKeysym("Shift_L"));
    XTestFakeKeyEvent(dpy, shift, True, CurrentTime);
    XSync(dpy, False);
    const qsizetype before = term_->bytes().size();
    QString error;
    try {
        sender_->SendKeys(QStringLiteral("abc"), true);
    } catch (const keys::KeyError& e) {
        error = e.description();
    }
    XTestFakeKeyEvent(dpy, shift, False, CurrentTime);
    XSync(dpy, False);
    QVERIFY2(error.contains(QStringLiteral("still held down (Shift)")), qPrintable(error));
    QCOMPARE(term_->waitForBytes(before + 1, 300).size(), before);
}

void TestTyping::unreadableStringSendsNothing()
{
    const qsizetype before = term_->bytes().size();
    QVERIFY_THROWS_EXCEPTION(keys::KeyError, sender_->SendKeys(QStringLiteral("abc{PGDWN}"), true));
    QCOMPARE(term_->waitForBytes(before + 1, 300).size(), before);
}

QTEST_GUILESS_MAIN(TestTyping)
#include "tst_e2e_typing.moc"
