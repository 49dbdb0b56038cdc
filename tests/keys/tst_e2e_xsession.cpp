// SPDX-License-Identifier: MIT
// The X session helpers that the end-to-end tests stand on: each starts what
// it says, waits until it is ready, and ends exactly its own process.
#include "XSession.h"

#include <QTest>

#include <csignal>

using namespace testsupport;

class TestXSession : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void childIsEndedWithItsObject();
    void serversGetTheirOwnDisplays();
    void windowManagerManages();
    void targetsShowTheirTitles();
};

void TestXSession::childIsEndedWithItsObject()
{
    pid_t pid = 0;
    {
        ChildProcess sleeper(QStringLiteral("sleep"), {QStringLiteral("60")});
        pid = sleeper.pid();
        QVERIFY(pid > 0);
        QVERIFY(sleeper.isRunning());
    }
    QCOMPARE(kill(pid, 0), -1);

    ChildProcess quick(QStringLiteral("sh"), {QStringLiteral("-c"), QStringLiteral("exit 3")});
    QCOMPARE(quick.waitForExit(5000), 3);
    QCOMPARE(runProgram(QString(), QStringLiteral("true"), {}), 0);
}

void TestXSession::serversGetTheirOwnDisplays()
{
    XServer first;
    XServer second;
    QVERIFY(first.display().startsWith(':'));
    QVERIFY(first.display() != second.display());
    XProbe probe(second.display());
    QVERIFY(!probe.hasWindowManager());
}

void TestXSession::windowManagerManages()
{
    XServer server;
    WindowManager wm(server);
    XProbe probe(server.display());
    QVERIFY(probe.hasWindowManager());
    wm.stop();
    QVERIFY(waitUntil(5000, [&] { return !probe.hasWindowManager(); }));
}

void TestXSession::targetsShowTheirTitles()
{
    XServer server;
    WindowManager wm(server);
    CaptureTerminal term(server, QStringLiteral("Capture Ünïcode"));
    TextBoxTarget box(server, QStringLiteral("Qt Box"));
    XProbe probe(server.display());
    QCOMPARE(probe.findWindow(QStringLiteral("Capture Ünïcode")), term.window());
    QCOMPARE(probe.titleOf(box.window()), QStringLiteral("Qt Box"));
    QCOMPARE(probe.findWindow(QStringLiteral("Capture")), 0ul);
    QVERIFY(term.bytes().isEmpty());
    QVERIFY(box.text().isEmpty());

    probe.iconify(term.window());
    QVERIFY(probe.isIconic(term.window()));
    probe.setCapsLock(true);
    QVERIFY(probe.capsLock());
    probe.setCapsLock(false);
    QVERIFY(!probe.capsLock());
}

QTEST_GUILESS_MAIN(TestXSession)
#include "tst_e2e_xsession.moc"
