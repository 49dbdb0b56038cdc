// SPDX-License-Identifier: MIT
// The GNOME backend on a headless GNOME Shell with Typomat's extension
// installed from the build tree: native Wayland windows found by title,
// brought to the front (also from the overview the Shell starts in) and
// typed into; and what it refuses.
#include "GnomeSession.h"
#include "TerminalRows.h"
#include "keys/KeyErrorTexts.h"
#include "keys/gnome/GnomeKeySender.h"
#include "keys/gnome/ShellWindows.h"

#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <thread>

using namespace testsupport;

namespace {

const QString target = QStringLiteral("Gnome Target");

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
    void typingFollowsIntoDialog();
    void characterOffTheLayoutIsRefused();
    void withoutTheExtensionNothingIsTyped();
    void anotherProgramIsRefused();
    void commandLinePicksGnome();

private:
    QByteArray type(const QString& keys, qsizetype expectedSize);

    QTemporaryDir programDir_;
    QString program_; // a copy of typomat, which the extension answers too
    std::unique_ptr<GnomeShellSession> shell_;
    std::unique_ptr<GnomeFoot> term_;
    std::unique_ptr<GnomeFoot> other_;
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
    term_ = std::make_unique<GnomeFoot>(*shell_, target);
    other_ = std::make_unique<GnomeFoot>(*shell_, QStringLiteral("Gnome Other"));
    sender_ = std::make_unique<keys::GnomeKeySender>();
}

void TestGnome::cleanupTestCase()
{
    sender_.reset();
    other_.reset();
    term_.reset();
    shell_.reset();
}

QByteArray TestGnome::type(const QString& keys, qsizetype expectedSize)
{
    const qsizetype before = term_->bytes().size();
    sender_->AppActivate(target);
    sender_->SendKeys(keys, true);
    return term_->waitForBytes(before + expectedSize).mid(before);
}

// The Shell starts in the overview, where keys would go to its search
// box; the target is behind the other terminal.
void TestGnome::activationFromBehindTheOverview()
{
    QVERIFY(shell_->overviewOpen());
    QCOMPARE(type(QStringLiteral("first"), 5), QByteArray("first"));
    QVERIFY(!shell_->overviewOpen());
    QCOMPARE(shell_->focusedTitle(), target);
    QCOMPARE(other_->bytes(), QByteArray());
}

// Exact title first, then a prefix ignoring case; the window on top wins.
void TestGnome::titleRule()
{
    GnomeFoot two(*shell_, target + QStringLiteral(" Two"));
    sender_->AppActivate(QStringLiteral("gnome TARGET t"));
    QCOMPARE(shell_->focusedTitle(), two.title());
    sender_->AppActivate(target);
    QCOMPARE(shell_->focusedTitle(), target);
    sender_->AppActivate(QStringLiteral("GNOME T"));
    QCOMPARE(shell_->focusedTitle(), target);
    QCOMPARE(errorOf([&] { sender_->AppActivate(QStringLiteral("Nowhere")); }),
             keys::errors::noWindowTitled(QStringLiteral("Nowhere")));
}

void TestGnome::keysReachTheTerminal_data()
{
    addCommonTerminalRows();
    QTest::newRow("alt") << "%x%f%1" << esc("x") + esc("f") + esc("1");
    QTest::newRow("enter tab esc backspace")
        << "a~b{ENTER}c{TAB}d{ESC}e{BACKSPACE}{BS}"
        << QByteArray("a\rb\rc\td\x1b" "e\x7f\x7f");
    QTest::newRow("function keys") << "{F1}{F5}{F12}" << esc("OP") + esc("[15~") + esc("[24~");
    QTest::newRow("repeats and groups") << "{x 5}{~ 2}+(abc)d^(ab)"
                                        << QByteArray("xxxxx~~ABCd\x01\x02");
    QTest::newRow("line breaks") << "a\nb\tc" << QByteArray("a\rb\tc");
    QTest::newRow("lock keys leave characters alone") << "a{CAPSLOCK}bB{NUMLOCK}c{CAPSLOCK}"
                                                      << QByteArray("abBc");
}

void TestGnome::keysReachTheTerminal()
{
    QFETCH(QString, keys);
    QFETCH(QByteArray, bytes);
    QCOMPARE(type(keys, bytes.size()), bytes);
}

void TestGnome::stolenFocusStopsTyping()
{
    const QString text =
        QStringLiteral("+(") + QString(20000, QLatin1Char('s')) + QStringLiteral(")");
    sender_->AppActivate(target);
    std::thread steal([&] {
        QThread::msleep(300);
        shell_->activate(other_->title());
    });
    const QString error = errorOf([&] { sender_->SendKeys(text, true); });
    steal.join();
    QVERIFY2(error.startsWith(QStringLiteral("The window lost the keyboard focus after ")),
             qPrintable(error));
    // The keys on their way when the focus moved went there (GNOME hands
    // each key to whichever window has the keyboard when it comes out): the
    // last burst of 20, and a part of the one before at most.
    const QByteArray stolen = other_->waitForBytes(1, 500);
    QVERIFY2(stolen.size() <= 40, stolen.constData());
    // Nothing more goes anywhere until the target is activated again.
    QCOMPARE(errorOf([&] { sender_->SendKeys(QStringLiteral("x"), true); }),
             keys::errors::focusMovedBeforeTyping());
    QCOMPARE(other_->waitForBytes(stolen.size() + 1, 300), stolen);
    QCOMPARE(type(QStringLiteral("a"), 1), QByteArray("a"));
}

// Ctrl+D opens a dialog: the text after it goes there, Enter closes it,
// and the rest goes to the main window again.
void TestGnome::typingFollowsIntoDialog()
{
    GnomeDialogTarget app(*shell_, QStringLiteral("Dialog Owner"));
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

// The Shell drops what the layout cannot make: such a key string is refused
// whole, before its first key, naming the first such character.
void TestGnome::characterOffTheLayoutIsRefused()
{
    const qsizetype before = term_->bytes().size();
    sender_->AppActivate(target);
    QCOMPARE(errorOf([&] { sender_->SendKeys(QStringLiteral("abc é Ω"), true); }),
             keys::errors::characterNotInLayout(QStringLiteral("é"), 5,
                                                {QStringLiteral("English (US)")}));
    QVERIFY(errorOf([&] { sender_->checkKeys(QStringLiteral("x😀")); })
                .startsWith(QStringLiteral("The character \"😀\" at character 2 ")));
    QCOMPARE(term_->waitForBytes(before + 1, 300).size(), before);
}

// Not enabled: the message says what to do, and nothing is typed.
void TestGnome::withoutTheExtensionNothingIsTyped()
{
    const qsizetype before = term_->bytes().size();
    QVERIFY(shell_->setExtensionEnabled(false));
    const QString expected = keys::errors::gnomeExtensionDisabled(keys::gnome::extensionUuid);
    QCOMPARE(errorOf([&] { sender_->AppActivate(target); }), expected);
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
    QVERIFY(!answer.read().contains(target.toUtf8()));
}

// The program itself finds GNOME Shell on the session bus and types through
// it, with no X display to fall back to.
void TestGnome::commandLinePicksGnome()
{
    const qsizetype before = term_->bytes().size();
    TargetFile errors(QStringLiteral("errors"));
    const int status = runProgram(
        QString(), QStringLiteral("sh"),
        {QStringLiteral("-c"),
         QStringLiteral("unset DISPLAY; exec '%1' send '%2' 'from the command line~' 2> '%3'")
             .arg(program_, target, errors.path())});
    QVERIFY2(status == 0, errors.read().constData());
    QCOMPARE(term_->waitForBytes(before + 22).mid(before), QByteArray("from the command line\r"));
}

QTEST_GUILESS_MAIN(TestGnome)
#include "tst_e2e_gnome.moc"
