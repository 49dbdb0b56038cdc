// SPDX-License-Identifier: MIT
// The runner with no window keeps the script window's timing: the script's
// count-down goes first, then each item's; a failing item ends the run there.
#include "ManualClock.h"
#include "TimedKeySender.h"
#include "script/ScriptRun.h"

#include <QSignalSpy>
#include <QTest>

using script::RunItem;
using script::RunStart;
using script::ScriptRun;

class ScriptRunTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void init()
    {
        sender_.inner.clear();
        sender_.sentAtNs.clear();
        keys::installKeySender(&sender_);
    }
    void cleanup() { keys::installKeySender(nullptr); }
    void scriptCountDownThenItemCountDowns();
    void setTimeStartsInItsMinute();
    void missingWindowEndsTheRun();
    void unansweredLastKeyIsDone();

private:
    testsupport::TimedKeySender sender_;
};

// Script count-down 00:00:01: counted down at the first clock tick (1 s),
// met at the second (2 s); the item of 00:00:01 fires at the first item
// tick (3 s), the next one of 00:00:00 in its second tick (5 s).
void ScriptRunTest::scriptCountDownThenItemCountDowns()
{
    ScriptRun run({{"a", "T", "a", "00:00:01"}, {"b", "T", "b", "00:00:00"}},
                  {RunStart::CountDown, oledate::fromTime(0, 0, 1)});
    QSignalSpy finished(&run, &ScriptRun::finished);
    sender_.clock.start();
    run.start();
    QVERIFY(finished.wait(8000));
    QCOMPARE(sender_.inner.sentKeyStrings(), (QStringList{"a", "b"}));
    QVERIFY2(qAbs(sender_.sentAtMs(0) - 3000) < 300, qPrintable(QString::number(sender_.sentAtMs(0))));
    QVERIFY2(qAbs(sender_.sentAtMs(1) - 5000) < 300, qPrintable(QString::number(sender_.sentAtMs(1))));
}

// The clock reads 10:20:30 in the set minute 10:20: the first clock tick
// (1 s) starts the items, the item of 00:00:01 fires at 2 s.
void ScriptRunTest::setTimeStartsInItsMinute()
{
    const QDate day(2030, 1, 2);
    script::ManualClock clock(QDateTime(day, QTime(10, 20, 30)));
    script::installClock(&clock);
    ScriptRun run({{"a", "T", "a", "00:00:01"}},
                  {RunStart::SetTime, oledate::fromQDateTime(QDateTime(day, QTime(10, 20)))});
    QSignalSpy finished(&run, &ScriptRun::finished);
    sender_.clock.start();
    run.start();
    const bool done = finished.wait(4000);
    script::installClock(nullptr);
    QVERIFY(done);
    QVERIFY2(qAbs(sender_.sentAtMs(0) - 2000) < 300, qPrintable(QString::number(sender_.sentAtMs(0))));
}

void ScriptRunTest::missingWindowEndsTheRun()
{
    sender_.inner.openTitles = {"T"};
    ScriptRun run({{"a", "Gone", "a", "00:00:01"}, {"b", "T", "b", "00:00:01"}}, {RunStart::Now, {}});
    QSignalSpy failed(&run, &ScriptRun::failed);
    run.start();
    QVERIFY(failed.wait(3000));
    QCOMPARE(failed.at(0).at(0).value<ScriptRun::Failure>(), ScriptRun::WindowNotFound);
    QCOMPARE(failed.at(0).at(1).toString(),
             QStringLiteral("The item \"a\" could not be sent: No window titled \"Gone\" is open."));
    QTest::qWait(1500);
    QVERIFY(sender_.inner.sentKeyStrings().isEmpty());
    QCOMPARE(run.sent(), size_t(0));
}

// Every key of "a" went out; its target did not show it read the last one:
// a note, and the run goes on.
void ScriptRunTest::unansweredLastKeyIsDone()
{
    sender_.inner.noAnswerAfterSend = true;
    ScriptRun run({{"a", "T", "a", "00:00:01"}, {"b", "T", "b", "00:00:01"}}, {RunStart::Now, {}});
    QSignalSpy finished(&run, &ScriptRun::finished);
    run.start();
    QVERIFY(finished.wait(6000));
    QCOMPARE(sender_.inner.sentKeyStrings(), (QStringList{"a", "b"}));
    QCOMPARE(run.sent(), size_t(2));
}

QTEST_GUILESS_MAIN(ScriptRunTest)
#include "tst_unit_scriptrun.moc"
