// SPDX-License-Identifier: MIT
// The command line's send into terminals that are stopped (SIGSTOP) before or
// during the send, typing characters the layout lacks through spare
// keycodes: every key arrives, right, once a terminal goes on, or the send
// ends with exit status 3 and says after how many keys; nothing reaches
// another window. A send ended by SIGTERM leaves no keycode bound.
#include "TerminalRows.h"
#include "XSession.h"

#include <QRegularExpression>
#include <QTest>
#include <QThread>

#include <csignal>

using namespace testsupport;

namespace {

const QString greek = characterRange(U'α', U'ω');
const QString cyrillic = characterRange(U'а', U'я');

// More kinds of characters than the spare keycodes hold at once: keycodes
// are bound again while typing, each time after the target has read them.
QString manyRounds(int copies)
{
    return (QStringLiteral("def жщэ ÿ end ") + greek + cyrillic + QLatin1Char(' ')).repeated(copies);
}

// The keys a failed send says it typed: "after n of m keys" (one key per
// character here), or all of them when only the answer to the last one is
// missing.
qsizetype keysTyped(const QString& message, qsizetype total)
{
    static const QRegularExpression after(QStringLiteral("after (\\d+) of (\\d+) keys"));
    const QRegularExpressionMatch match = after.match(message);
    return match.hasMatch() ? match.captured(1).toLongLong() : total;
}

} // namespace

class TestStopped : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void cleanupTestCase();

    void stoppedTarget_data();
    void stoppedTarget();
    void twoRunsIntoTwoStoppedTerminals();
    void killedSendLeavesNoKeycodeBound();

private:

    std::unique_ptr<XServer> server_;
    std::unique_ptr<WindowManager> wm_;
    std::unique_ptr<XProbe> probe_;
    std::unique_ptr<CaptureTerminal> bystander_;
    int emptyKeycodes_ = 0; // before any send
};

void TestStopped::initTestCase()
{
    server_ = std::make_unique<XServer>();
    wm_ = std::make_unique<WindowManager>(*server_);
    probe_ = std::make_unique<XProbe>(server_->display());
    bystander_ = std::make_unique<CaptureTerminal>(*server_, QStringLiteral("Bystander"));
    emptyKeycodes_ = probe_->emptyKeycodes();
}

void TestStopped::cleanupTestCase()
{
    QCOMPARE(bystander_->bytes(), QByteArray());
    bystander_.reset();
    probe_.reset();
    wm_.reset();
    server_.reset();
}

void TestStopped::stoppedTarget_data()
{
    QTest::addColumn<bool>("midSend");
    QTest::addColumn<bool>("goesOn");
    QTest::newRow("stopped before, goes on") << false << true;
    QTest::newRow("stopped before, stays stopped") << false << false;
    QTest::newRow("stopped mid-send, goes on") << true << true;
    QTest::newRow("stopped mid-send, stays stopped") << true << false;
}

void TestStopped::stoppedTarget()
{
    QFETCH(bool, midSend);
    QFETCH(bool, goesOn);
    CaptureTerminal term(*server_, QStringLiteral("Stopped Target"));
    const QString text = manyRounds(midSend ? 8 : 1);
    if (!midSend)
        QCOMPARE(kill(term.pid(), SIGSTOP), 0);
    TypomatRun send(server_->display(), {QStringLiteral("send"), term.title(), text});
    if (midSend) {
        QVERIFY(waitUntil(10000, [&] { return !term.bytes().isEmpty(); }));
        QCOMPARE(kill(term.pid(), SIGSTOP), 0);
    }
    if (goesOn) {
        QThread::msleep(2000);
        kill(term.pid(), SIGCONT);
    }
    const int status = send.waitForExit();
    const QString message = send.errorOutput();
    kill(term.pid(), SIGCONT);
    const QString typed = text.left(goesOn ? text.size() : keysTyped(message, text.size()));
    QCOMPARE(status, goesOn ? 0 : 3);
    QVERIFY2(goesOn || message.contains(QStringLiteral(" keys")), qPrintable(message));
    QCOMPARE(QString::fromUtf8(term.waitForBytes(typed.toUtf8().size(), 10000)), typed);
}

// The second send must not rebind the keycodes the first one typed into
// its terminal with before that terminal has read them.
void TestStopped::twoRunsIntoTwoStoppedTerminals()
{
    CaptureTerminal first(*server_, QStringLiteral("First Stopped"));
    CaptureTerminal second(*server_, QStringLiteral("Second Stopped"));
    QCOMPARE(kill(first.pid(), SIGSTOP), 0);
    QCOMPARE(kill(second.pid(), SIGSTOP), 0);
    TypomatRun one(server_->display(), {QStringLiteral("send"), first.title(), cyrillic});
    QThread::msleep(300);
    TypomatRun two(server_->display(), {QStringLiteral("send"), second.title(), greek});
    QThread::msleep(1500);
    kill(first.pid(), SIGCONT);
    kill(second.pid(), SIGCONT);
    QCOMPARE(one.waitForExit(), 0);
    QCOMPARE(two.waitForExit(), 0);
    QCOMPARE(QString::fromUtf8(first.waitForBytes(cyrillic.toUtf8().size())), cyrillic);
    QCOMPARE(QString::fromUtf8(second.waitForBytes(greek.toUtf8().size())), greek);
}

// Bindings that earlier sends into stopped terminals left behind are taken
// back by the next send; the killed one gives its own back as it ends.
void TestStopped::killedSendLeavesNoKeycodeBound()
{
    const int empty = emptyKeycodes_;
    CaptureTerminal term(*server_, QStringLiteral("Killed Send"));
    {
        TypomatRun send(server_->display(), {QStringLiteral("send"), term.title(), manyRounds(20)});
        QVERIFY(waitUntil(10000, [&] { return !term.bytes().isEmpty(); }));
        QCOMPARE(kill(send.pid(), SIGTERM), 0);
        const int status = send.waitForExit();
        QVERIFY2(status == -1 || status == 3, qPrintable(QString::number(status)));
    }
    QVERIFY(waitUntil(2000, [&] { return probe_->emptyKeycodes() == empty; }));
    QThread::msleep(500); // the keys sent before the end arrive
    const qsizetype before = term.bytes().size();
    TypomatRun again(server_->display(), {QStringLiteral("send"), term.title(),
                                          QStringLiteral("ŁŃŚŹŻ~")});
    QCOMPARE(again.waitForExit(), 0);
    QCOMPARE(QString::fromUtf8(term.waitForBytes(before + 11).mid(before)), QStringLiteral("ŁŃŚŹŻ\r"));
    QCOMPARE(probe_->emptyKeycodes(), empty);
}

QTEST_GUILESS_MAIN(TestStopped)
#include "tst_e2e_stopped.moc"
