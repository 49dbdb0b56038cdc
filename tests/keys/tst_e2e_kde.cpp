// SPDX-License-Identifier: MIT
// The KDE backend on a headless KWin: windows found by the title rule and
// brought to the front, key strings typed into weston-terminal and a Qt
// dialog, the focus guard, the layout's limits and KWin's permission.
#include "DesktopChecks.h"
#include "KWinSession.h"
#include "TerminalRows.h"
#include "keys/kde/KdeKeySender.h"

#include <QDBusConnection>
#include <QDBusReply>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>

using namespace testsupport;

namespace {

// The index of KWin's active keyboard layout (99 when KWin does not say).
uint activeLayout()
{
    const QDBusReply<uint> active = QDBusConnection::sessionBus().call(
        QDBusMessage::createMethodCall(QStringLiteral("org.kde.keyboard"), QStringLiteral("/Layouts"),
                                       QStringLiteral("org.kde.KeyboardLayouts"),
                                       QStringLiteral("getLayout")));
    return active.isValid() ? active.value() : 99;
}

} // namespace

class TestKde : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void cleanupTestCase();

    void titleRule();
    void activationFromBehind();
    void keysReachTheTerminal_data();
    void keysReachTheTerminal();
    void stolenFocusStopsTyping();
    void stoppedTargetGetsEveryKey();
    void killedRunLeavesNoKeyHeld();
    void targetClosingAfterTheLastKeyHasAnswered();
    void typingFollowsIntoDialog();
    void saveAsInRealEditors_data();
    void saveAsInRealEditors();
    void characterOutsideTheLayoutIsRefused();
    void charactersFromASecondLayout();
    void permissionFromTheDesktopEntry();

private:
    QByteArray type(const QString& keys, qsizetype size) { return typeInto(*sender_, *term_, keys, size); }

    std::unique_ptr<KWinSession> kwin_;
    std::unique_ptr<WestonCapture> term_;
    std::unique_ptr<keys::KdeKeySender> sender_;
};

void TestKde::initTestCase()
{
    try {
        kwin_ = std::make_unique<KWinSession>();
    } catch (const std::exception& e) {
        QSKIP(qPrintable(QStringLiteral("no headless KWin here: %1")
                             .arg(QString::fromLocal8Bit(e.what()))));
    }
    term_ = std::make_unique<WestonCapture>(*kwin_, QStringLiteral("KDE Target"));
    VERIFY_STARTED(*term_);
    sender_ = std::make_unique<keys::KdeKeySender>();
}

void TestKde::cleanupTestCase()
{
    sender_.reset();
    term_.reset();
    kwin_.reset();
}

void TestKde::titleRule()
{
    WestonCapture other(*kwin_, term_->title() + QStringLiteral(" Two"));
    VERIFY_STARTED(other);
    checkTitleRule(*sender_, *kwin_, term_->title(), other.title());
}

// A newer window covers the target and has the focus; the target comes
// back to the front and the keys land there.
void TestKde::activationFromBehind()
{
    WestonCapture cover(*kwin_, QStringLiteral("Cover"));
    VERIFY_STARTED(cover);
    QTRY_COMPARE(kwin_->activeTitle(), cover.title());
    QCOMPARE(type(QStringLiteral("back"), 4), QByteArray("back"));
    QCOMPARE(kwin_->activeTitle(), term_->title());
    QCOMPARE(cover.waitForBytes(1, 200), QByteArray());
}

void TestKde::keysReachTheTerminal_data()
{
    addWaylandTerminalRows();
}

void TestKde::keysReachTheTerminal()
{
    QFETCH(QString, keys);
    QFETCH(QByteArray, bytes);
    QCOMPARE(type(keys, bytes.size()), bytes);
}

// Another window takes the focus while a long string is typed: typing
// stops within a burst, and that is all the thief gets.
void TestKde::stolenFocusStopsTyping()
{
    WestonCapture thief(*kwin_, QStringLiteral("Thief"));
    VERIFY_STARTED(thief);
    QString next;
    checkFocusTakenStopsTyping(
        *sender_, *term_,
        [&]() -> const SessionTerminal& {
            kwin_->activate(thief.title());
            return thief;
        },
        40, next);
}

// The target stops reading for a second in the middle: typing waits for
// it (KWin would drop a client that falls too far behind), and returns only
// once it has read every key.
void TestKde::stoppedTargetGetsEveryKey()
{
    checkStoppedTargetGetsEveryKey(*sender_, *term_);
}

void TestKde::killedRunLeavesNoKeyHeld()
{
    checkKilledRunLeavesNoKeyHeld(*sender_, *term_, kwin_->userEnvironment(), {});
}

// A window whose program ends once it has read the last key (a form that
// closes) has answered: no error.
void TestKde::targetClosingAfterTheLastKeyHasAnswered()
{
    WestonCapture form(*kwin_, QStringLiteral("Closing Form"), 5);
    VERIFY_STARTED(form);
    keys::KdeKeySender sender;
    sender.AppActivate(form.title());
    QCOMPARE(errorOf([&] { sender.SendKeys(QStringLiteral("abcd~"), true); }), QString());
    QCOMPARE(form.waitForBytes(5), QByteArray("abcd\r"));
}

void TestKde::typingFollowsIntoDialog()
{
    WaylandDialogTarget app(*kwin_, QStringLiteral("Dialog Owner"));
    VERIFY_STARTED(app);
    checkTypingFollowsIntoDialog(*sender_, app);
}

// Real toolkits build a dialog in steps, idle in between, and GTK's file
// chooser drops an Enter that comes too soon after the typed name.
void TestKde::saveAsInRealEditors_data()
{
    addSaveAsRows();
}

void TestKde::saveAsInRealEditors()
{
    checkSaveAsInEditorRow(*sender_, *kwin_);
}

// KWin reads key codes in the user's layout, which has no key for a
// Cyrillic letter: the string is refused, naming the letter and its place,
// before anything is sent.
void TestKde::characterOutsideTheLayoutIsRefused()
{
    const QString expected =
        QStringLiteral("The character \"ж\" at character 5 of the key string cannot be typed: "
                       "the keyboard layout of this desktop (English (US)) has no key for it, "
                       "so nothing was typed. Add a layout that has it in the desktop's keyboard "
                       "settings, or leave it out.");
    checkRefusedBeforeAnyKey(*sender_, *term_, QStringLiteral("abc ж def"), expected);
}

// With a second layout set up, its characters are typed in it, and the
// user's layout is in use again afterwards (it is named first).
void TestKde::charactersFromASecondLayout()
{
    KWinSession both({.layouts = QStringLiteral("us,ru")});
    WestonCapture term(both, QStringLiteral("Two Layouts"));
    VERIFY_STARTED(term);
    keys::KdeKeySender sender;
    const QString text = QStringLiteral("abc жщэ ЖЩЭ def");
    sender.AppActivate(term.title());
    sender.SendKeys(text, true);
    // weston-terminal sends a NUL after every character that is not ASCII.
    QCOMPARE(QString::fromUtf8(term.waitForBytes(27).replace('\0', "")), text);
    const QString refused = errorOf([&] { sender.checkKeys(QStringLiteral("中")); });
    QVERIFY2(refused.contains(QStringLiteral("(English (US), Russian)")), qPrintable(refused));

    // A run killed while it types in Russian leaves KWin there; the next
    // run puts English back before it types.
    {
        TypomatRun killed = TypomatRun::onWayland(
            {QStringLiteral("send"), term.title(), QString(50000, QChar(0x436))},
            both.userEnvironment());
        QVERIFY(waitUntil(20000, [&] { return term.bytes().size() > 27 + 300; }));
        kill(killed.pid(), SIGKILL);
        QCOMPARE(killed.waitForExit(), -1);
    }
    QCOMPARE(activeLayout(), 1u);
    sender.SendKeys(QStringLiteral("q"), true);
    QCOMPARE(activeLayout(), 0u);
    QVERIFY(waitUntil(5000, [&] { return term.bytes().endsWith('q'); }));
}

// KWin checking permissions: the program its desktop entry names types;
// a copy elsewhere is refused and told what to do, until it has written a
// desktop entry of its own.
void TestKde::permissionFromTheDesktopEntry()
{
    const QString typomat = QFileInfo(qEnvironmentVariable("TYPOMAT_EXE")).canonicalFilePath();
    QVERIFY2(!typomat.isEmpty(), "TYPOMAT_EXE names no program");
    KWinSession strict({.trustEveryone = false});
    strict.addDesktopEntry(QStringLiteral("typomat"), typomat);
    WestonCapture term(strict, QStringLiteral("Strict Target"));
    VERIFY_STARTED(term);
    const QStringList env = strict.userEnvironment();
    const auto send = [&](const QString& program, const QString& keys) {
        return TypomatRun::onWayland({QStringLiteral("send"), term.title(), keys}, env, program);
    };
    TypomatRun granted = send(typomat, QStringLiteral("granted~"));
    QVERIFY2(granted.waitForExit() == 0, qPrintable(granted.errorOutput()));
    QCOMPARE(term.waitForBytes(8), QByteArray("granted\r"));

    QTemporaryDir elsewhere;
    const QString copy = elsewhere.filePath(QStringLiteral("typomat"));
    QVERIFY(QFile::copy(typomat, copy));
    TypomatRun refused = send(copy, QStringLiteral("refused~"));
    QVERIFY(refused.waitForExit() != 0);
    const QString said = refused.errorOutput();
    QVERIFY2(said.contains(QStringLiteral("KWin did not allow Typomat"))
                 && said.contains(QStringLiteral("Exec=") + copy)
                 && said.contains(QStringLiteral("typomat --install-desktop-entry")),
             qPrintable(said));
    QCOMPARE(term.waitForBytes(9, 300), QByteArray("granted\r"));

    TypomatRun install =
        TypomatRun::onWayland({QStringLiteral("--install-desktop-entry")}, env, copy);
    QVERIFY2(install.waitForExit() == 0, qPrintable(install.errorOutput()));
    // KWin looks for new desktop entries at most every 1.5 s (KService's
    // cache), and it looked when it refused the copy.
    QTest::qWait(1600);
    TypomatRun installed = send(copy, QStringLiteral("installed~"));
    QVERIFY2(installed.waitForExit() == 0, qPrintable(installed.errorOutput()));
    QCOMPARE(term.waitForBytes(18), QByteArray("granted\rinstalled\r"));
}

QTEST_GUILESS_MAIN(TestKde)
#include "tst_e2e_kde.moc"
