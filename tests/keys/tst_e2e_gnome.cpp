// SPDX-License-Identifier: MIT
// The GNOME backend on a headless GNOME Shell with Typomat's extension
// installed from the build tree: native Wayland windows found by title,
// brought to the front (also from the overview the Shell starts in) and
// typed into; and what it refuses.
#include "DesktopChecks.h"
#include "GnomeSession.h"
#include "TerminalRows.h"
#include "keys/KeyErrorTexts.h"
#include "keys/gnome/GnomeKeySender.h"
#include "keys/gnome/ShellWindows.h"

#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

using namespace testsupport;

class TestGnome : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void cleanupTestCase();

    void activationFromBehindTheOverview();
    void titleRule();
    void keysReachTheTerminal_data();
    void keysReachTheTerminal();
    void stolenFocusStopsTyping();
    void stoppedTargetGetsEveryKey();
    void killedRunLeavesNoKeyHeld();
    void typingFollowsIntoDialog();
    void saveAsInRealEditors_data();
    void saveAsInRealEditors();
    void characterOffTheLayoutIsRefused();
    void withoutTheExtensionNothingIsTyped();
    void anotherProgramIsRefused();
    void commandLinePicksGnome();

private:
    QByteArray type(const QString& keys, qsizetype size) { return typeInto(*sender_, *term_, keys, size); }

    QTemporaryDir programDir_;
    QString program_; // a copy of typomat, which the extension answers too
    std::unique_ptr<GnomeShellSession> shell_;
    std::unique_ptr<FootCapture> term_;
    std::unique_ptr<FootCapture> other_;
    std::unique_ptr<keys::GnomeKeySender> sender_;
};

void TestGnome::initTestCase()
{
    program_ = programDir_.filePath(QStringLiteral("typomat"));
    QVERIFY(QFile::copy(qEnvironmentVariable("TYPOMAT_EXE"), program_));
    GnomeShellSession::Options options;
    options.trustedPrograms = {QFileInfo(QStringLiteral("/proc/self/exe")).canonicalFilePath(),
                               program_};
    try {
        shell_ = std::make_unique<GnomeShellSession>(options);
    } catch (const std::exception& e) {
        QSKIP(qPrintable(QStringLiteral("no headless GNOME Shell here: %1")
                             .arg(QString::fromLocal8Bit(e.what()))));
    }
    QVERIFY2(shell_->setExtensionEnabled(true), qPrintable(shell_->log()));
    term_ = std::make_unique<FootCapture>(*shell_, QStringLiteral("Gnome Target"));
    VERIFY_STARTED(*term_);
    other_ = std::make_unique<FootCapture>(*shell_, QStringLiteral("Gnome Other"));
    VERIFY_STARTED(*other_);
    sender_ = std::make_unique<keys::GnomeKeySender>();
}

void TestGnome::cleanupTestCase()
{
    sender_.reset();
    other_.reset();
    term_.reset();
    shell_.reset();
}

// The Shell starts in the overview, where keys would go to its search
// box; the target is behind the other terminal.
void TestGnome::activationFromBehindTheOverview()
{
    QVERIFY(shell_->overviewOpen());
    QCOMPARE(type(QStringLiteral("first"), 5), QByteArray("first"));
    QVERIFY(!shell_->overviewOpen());
    QCOMPARE(shell_->activeTitle(), term_->title());
    QCOMPARE(other_->bytes(), QByteArray());
}

void TestGnome::titleRule()
{
    FootCapture two(*shell_, term_->title() + QStringLiteral(" Two"));
    VERIFY_STARTED(two);
    checkTitleRule(*sender_, *shell_, term_->title(), two.title());
}

void TestGnome::keysReachTheTerminal_data()
{
    addWaylandTerminalRows();
}

void TestGnome::keysReachTheTerminal()
{
    QFETCH(QString, keys);
    QFETCH(QByteArray, bytes);
    QCOMPARE(type(keys, bytes.size()), bytes);
}

// GNOME hands each key to whichever window has the keyboard when it comes
// out: the last burst of 20, and a part of the one before at most, go to
// the other window. Nothing more goes anywhere until the target is
// activated again.
void TestGnome::stolenFocusStopsTyping()
{
    QString next;
    checkFocusTakenStopsTyping(
        *sender_, *term_,
        [&]() -> const SessionTerminal& {
            shell_->activate(other_->title());
            return *other_;
        },
        40, next);
    if (!QTest::currentTestFailed())
        QCOMPARE(next, keys::errors::focusMovedBeforeTyping());
}

void TestGnome::stoppedTargetGetsEveryKey()
{
    checkStoppedTargetGetsEveryKey(*sender_, *term_);
}

void TestGnome::killedRunLeavesNoKeyHeld()
{
    checkKilledRunLeavesNoKeyHeld(*sender_, *term_, {}, program_);
}

void TestGnome::typingFollowsIntoDialog()
{
    WaylandDialogTarget app(*shell_, QStringLiteral("Dialog Owner"));
    VERIFY_STARTED(app);
    checkTypingFollowsIntoDialog(*sender_, app);
}

// Real toolkits build a dialog in steps, idle in between, and GTK's file
// chooser drops an Enter that comes too soon after the typed name.
void TestGnome::saveAsInRealEditors_data()
{
    addSaveAsRows();
}

void TestGnome::saveAsInRealEditors()
{
    checkSaveAsInEditorRow(*sender_, *shell_);
}

// The Shell drops what the layout cannot make: such a key string is refused
// whole, before its first key, naming the first such character.
void TestGnome::characterOffTheLayoutIsRefused()
{
    checkRefusedBeforeAnyKey(*sender_, *term_, QStringLiteral("abc é Ω"),
                             keys::errors::characterNotInLayout(QStringLiteral("é"), 5,
                                                                {QStringLiteral("English (US)")}));
    QVERIFY(errorOf([&] { sender_->checkKeys(QStringLiteral("x😀")); })
                .startsWith(QStringLiteral("The character \"😀\" at character 2 ")));
}

// Not enabled: the message says what to do, and nothing is typed.
void TestGnome::withoutTheExtensionNothingIsTyped()
{
    const qsizetype before = term_->bytes().size();
    QVERIFY(shell_->setExtensionEnabled(false));
    const QString expected = keys::errors::gnomeExtensionDisabled(keys::gnome::extensionUuid);
    QCOMPARE(errorOf([&] { sender_->AppActivate(term_->title()); }), expected);
    QCOMPARE(errorOf([&] { sender_->SendKeys(QStringLiteral("nothing"), true); }), expected);
    QCOMPARE(keys::GnomeKeySender::missingSupport(), expected);
    keys::GnomeKeySender fresh;
    QCOMPARE(errorOf([&] { fresh.SendKeys(QStringLiteral("nothing"), true); }), expected);
    QCOMPARE(term_->waitForBytes(before + 1, 300).size(), before);
    QVERIFY(shell_->setExtensionEnabled(true));
    QCOMPARE(type(QStringLiteral("back"), 4), QByteArray("back"));
}

// The extension answers Typomat (here: this test program) only.
void TestGnome::anotherProgramIsRefused()
{
    TargetFile answer(QStringLiteral("answer"));
    const int status = runProgram(
        QString(), QStringLiteral("sh"),
        {QStringLiteral("-c"),
         QStringLiteral("exec gdbus call --session --dest org.gnome.Shell --object-path "
                        "/org/typomat/Windows --method org.typomat.Windows.List > '%1' 2>&1")
             .arg(answer.path())});
    QVERIFY(status != 0);
    QVERIFY2(answer.read().contains("AccessDenied"), answer.read().constData());
    QVERIFY(!answer.read().contains(term_->title().toUtf8()));
}

// The program itself finds GNOME Shell on the session bus and types through
// it, with no X display to fall back to.
void TestGnome::commandLinePicksGnome()
{
    const qsizetype before = term_->bytes().size();
    TypomatRun send = TypomatRun::onWayland(
        {QStringLiteral("send"), term_->title(), QStringLiteral("from the command line~")}, {},
        program_);
    QVERIFY2(send.waitForExit() == 0, qPrintable(send.errorOutput()));
    QCOMPARE(term_->waitForBytes(before + 22).mid(before), QByteArray("from the command line\r"));
}

QTEST_GUILESS_MAIN(TestGnome)
#include "tst_e2e_gnome.moc"
