// SPDX-License-Identifier: MIT
// The KDE backend on a headless KWin: windows found by the title rule and
// brought to the front, key strings typed into weston-terminal and a Qt
// dialog, the focus guard, the layout's limits and KWin's permission.
#include "KWinSession.h"
#include "TerminalRows.h"
#include "keys/kde/KdeKeySender.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <csignal>
#include <thread>

using namespace testsupport;

namespace {

const QString target = QStringLiteral("KDE Target");

QString errorOf(const std::function<void()>& call)
{
    try {
        call();
    } catch (const keys::KeyError& e) {
        return e.description();
    }
    return {};
}

struct Outcome {
    int status = -1;
    QString errors;
};

// The program run as its user runs it on this desktop (no X display), with
// what it writes to standard error.
Outcome runTypomat(const QString& program, const QStringList& arguments,
                   const QStringList& environment)
{
    QTemporaryDir dir;
    const QString errors = dir.filePath(QStringLiteral("stderr"));
    ChildProcess child(QStringLiteral("sh"),
                       QStringList{QStringLiteral("-c"),
                                   QStringLiteral("exec \"$0\" \"$@\" 2>'%1'").arg(errors),
                                   QStringLiteral("env"), QStringLiteral("-u"),
                                   QStringLiteral("DISPLAY")}
                           + environment + QStringList{program} + arguments);
    Outcome outcome;
    outcome.status = child.waitForExit(30000);
    QFile file(errors);
    if (file.open(QIODevice::ReadOnly))
        outcome.errors = QString::fromUtf8(file.readAll());
    return outcome;
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
    void targetClosingAfterTheLastKeyHasAnswered();
    void typingFollowsIntoDialog();
    void characterOutsideTheLayoutIsRefused();
    void charactersFromASecondLayout();
    void permissionFromTheDesktopEntry();

private:
    QByteArray type(const QString& keys, qsizetype expectedSize);

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
    term_ = std::make_unique<WestonCapture>(target);
    sender_ = std::make_unique<keys::KdeKeySender>();
}

void TestKde::cleanupTestCase()
{
    sender_.reset();
    term_.reset();
    kwin_.reset();
}

QByteArray TestKde::type(const QString& keys, qsizetype expectedSize)
{
    const qsizetype before = term_->bytes().size();
    sender_->AppActivate(target);
    sender_->SendKeys(keys, true);
    return term_->waitForBytes(before + expectedSize).mid(before);
}

// Exact title first, then a prefix ignoring case; the topmost one wins.
void TestKde::titleRule()
{
    WestonCapture other(target + QStringLiteral(" Two"));
    KWinProbe probe;
    sender_->AppActivate(target);
    QCOMPARE(probe.activeTitle(), target);
    sender_->AppActivate(QStringLiteral("kde TARGET t"));
    QCOMPARE(probe.activeTitle(), other.title());
    sender_->AppActivate(target);
    QCOMPARE(probe.activeTitle(), target);
    sender_->AppActivate(QStringLiteral("KDE"));
    QCOMPARE(probe.activeTitle(), target);
    QCOMPARE(errorOf([&] { sender_->AppActivate(QStringLiteral("Nowhere")); }),
             QStringLiteral("No window titled \"Nowhere\" is open."));
}

// A newer window covers the target and has the focus; the target comes
// back to the front and the keys land there.
void TestKde::activationFromBehind()
{
    WestonCapture cover(QStringLiteral("Cover"));
    KWinProbe probe;
    QTRY_COMPARE(probe.activeTitle(), cover.title());
    QCOMPARE(type(QStringLiteral("back"), 4), QByteArray("back"));
    QCOMPARE(probe.activeTitle(), target);
    QCOMPARE(cover.waitForBytes(1, 200), QByteArray());
}

void TestKde::keysReachTheTerminal_data()
{
    addCommonTerminalRows();
    QTest::newRow("enter tab backspace") << "a~b{ENTER}c{TAB}d{BACKSPACE}"
                                         << QByteArray("a\rb\rc\td\x7f");
    QTest::newRow("repeats and groups") << "{x 5}{~ 2}+(abc)d^(ab)"
                                        << QByteArray("xxxxx~~ABCd\x01\x02");
    QTest::newRow("lock keys leave characters alone") << "a{CAPSLOCK}bC{CAPSLOCK}d"
                                                      << QByteArray("abCd");
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
    WestonCapture thief(QStringLiteral("Thief"));
    const QString text = QStringLiteral("+(") + QString(20000, QLatin1Char('s'))
        + QStringLiteral(")");
    sender_->AppActivate(target);
    std::thread steal([] {
        QThread::msleep(300);
        KWinProbe().activate(QStringLiteral("Thief"));
    });
    const QString error = errorOf([&] { sender_->SendKeys(text, true); });
    steal.join();
    QVERIFY2(error.startsWith(QStringLiteral("The window lost the keyboard focus after ")),
             qPrintable(error));
    QVERIFY(thief.waitForBytes(1, 500).size() <= 40);
    // Shift was let go: the next keys are small letters.
    QCOMPARE(type(QStringLiteral("a"), 1), QByteArray("a"));
}

// The target stops reading for a second in the middle: typing waits for
// it (KWin would drop a client that falls too far behind), and returns only
// once it has read every key.
void TestKde::stoppedTargetGetsEveryKey()
{
    const QByteArray text(3000, 'z');
    const qsizetype before = term_->bytes().size();
    sender_->AppActivate(target);
    const pid_t pid = term_->pid();
    std::thread pause([pid] {
        QThread::msleep(50);
        kill(pid, SIGSTOP);
        QThread::msleep(1000);
        kill(pid, SIGCONT);
    });
    const QString error = errorOf([&] { sender_->SendKeys(QString::fromLatin1(text), true); });
    pause.join();
    QVERIFY2(error.isEmpty(), qPrintable(error));
    QCOMPARE(term_->waitForBytes(before + text.size()).mid(before), text);
}

// A window whose program ends once it has read the last key (a form that
// closes) has answered: no error.
void TestKde::targetClosingAfterTheLastKeyHasAnswered()
{
    WestonCapture form(QStringLiteral("Closing Form"), 5);
    keys::KdeKeySender sender;
    sender.AppActivate(form.title());
    QCOMPARE(errorOf([&] { sender.SendKeys(QStringLiteral("abcd~"), true); }), QString());
    QCOMPARE(form.waitForBytes(5), QByteArray("abcd\r"));
}

// Ctrl+D opens a dialog: the text after it goes there, Enter closes it,
// and the rest goes to the main window again.
void TestKde::typingFollowsIntoDialog()
{
    KWinDialogTarget app(QStringLiteral("Dialog Owner"));
    sender_->AppActivate(app.title());
    sender_->SendKeys(QStringLiteral("^dfile name~after"), true);
    QVERIFY2(app.waitFor(QStringLiteral("main"), QStringLiteral("after")), qPrintable(app.log()));
    QCOMPARE(app.value(QStringLiteral("dialog")), QStringLiteral("file name"));
    QCOMPARE(app.value(QStringLiteral("accepted")), QStringLiteral("1"));
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
    const QString keys = QStringLiteral("abc ж def");
    QCOMPARE(errorOf([&] { sender_->checkKeys(keys); }), expected);
    const qsizetype before = term_->bytes().size();
    sender_->AppActivate(target);
    QCOMPARE(errorOf([&] { sender_->SendKeys(keys, true); }), expected);
    QCOMPARE(term_->waitForBytes(before + 1, 300).size(), before);
}

// With a second layout set up, its characters are typed in it, and the
// user's layout is in use again afterwards (it is named first).
void TestKde::charactersFromASecondLayout()
{
    KWinSession both({.layouts = QStringLiteral("us,ru")});
    WestonCapture term(QStringLiteral("Two Layouts"));
    keys::KdeKeySender sender;
    const QString text = QStringLiteral("abc жщэ ЖЩЭ def");
    sender.AppActivate(term.title());
    sender.SendKeys(text, true);
    // weston-terminal sends a NUL after every character that is not ASCII.
    QCOMPARE(QString::fromUtf8(term.waitForBytes(27).replace('\0', "")), text);
    QVERIFY2(errorOf([&] { sender.checkKeys(QStringLiteral("中")); })
                 .contains(QStringLiteral("(English (US), Russian)")),
             qPrintable(errorOf([&] { sender.checkKeys(QStringLiteral("中")); })));
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
    WestonCapture term(QStringLiteral("Strict Target"));
    const QStringList env = strict.userEnvironment();
    Outcome run = runTypomat(typomat, {QStringLiteral("send"), term.title(), QStringLiteral("granted~")}, env);
    QVERIFY2(run.status == 0, qPrintable(run.errors));
    QCOMPARE(term.waitForBytes(8), QByteArray("granted\r"));

    QTemporaryDir elsewhere;
    const QString copy = elsewhere.filePath(QStringLiteral("typomat"));
    QVERIFY(QFile::copy(typomat, copy));
    run = runTypomat(copy, {QStringLiteral("send"), term.title(), QStringLiteral("refused~")}, env);
    QVERIFY(run.status != 0);
    QVERIFY2(run.errors.contains(QStringLiteral("KWin did not allow Typomat"))
                 && run.errors.contains(QStringLiteral("Exec=") + copy)
                 && run.errors.contains(QStringLiteral("typomat --install-desktop-entry")),
             qPrintable(run.errors));
    QCOMPARE(term.waitForBytes(9, 300), QByteArray("granted\r"));

    run = runTypomat(copy, {QStringLiteral("--install-desktop-entry")}, env);
    QVERIFY2(run.status == 0, qPrintable(run.errors));
    // KWin looks for new desktop entries at most every 1.5 s (KService's
    // cache), and it looked when it refused the copy.
    QTest::qWait(1600);
    run = runTypomat(copy, {QStringLiteral("send"), term.title(), QStringLiteral("installed~")}, env);
    QVERIFY2(run.status == 0, qPrintable(run.errors));
    QCOMPARE(term.waitForBytes(18), QByteArray("granted\rinstalled\r"));
}

QTEST_GUILESS_MAIN(TestKde)
#include "tst_e2e_kde.moc"
