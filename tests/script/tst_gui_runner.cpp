// SPDX-License-Identifier: MIT
// The script runner: Start and Cancel, the start condition, the item
// count-downs and delivery, failures, and the timers that drive it.
#include "ScriptFixture.h"

#include <QDateTimeEdit>
#include <QDialog>
#include <QElapsedTimer>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include "TimedKeySender.h"

#include <QTimer>
#include <thread>

using namespace scripttest;

namespace {

void busyWait(int ms)
{
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < ms)
        std::this_thread::yield();
}

} // namespace

class RunnerTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<Fixture> fx;

    // A window showing script "Run" (count-down mode, script count-down
    // scriptSeconds) with one item per count-down text, named A, B, C...
    std::unique_ptr<frmScript> windowWith(const QStringList& countDowns, int scriptSeconds = 0)
    {
        fx->addScript("Run", "", 1, seconds(scriptSeconds));
        std::vector<ItemRecord> records;
        for (int i = 0; i < countDowns.size(); ++i) {
            const QString name(QChar(u'A' + i));
            records.push_back({"Run", name, "Win " + name, "keys " + name, "", store::Value(countDowns[i])});
        }
        fx->addItems(records);
        auto form = stillWindow();
        pickScript(*form, "Run");
        return form;
    }

    void tick1(frmScript& form)
    {
        fx->clock.advance(1);
        form.Timer1_Timer();
    }

    // Starts the run and ticks Timer1 until it has enabled Timer2.
    void startItems(frmScript& form)
    {
        form.cmdStart_Click();
        tick1(form);
        QVERIFY(form.Timer2->isEnabled());
    }

    // Ticks Timer2 n times; for every key string sent, the tick it came in.
    QList<int> fireTicks(frmScript& form, int n)
    {
        QList<int> ticks;
        for (int t = 1; t <= n; ++t) {
            const auto before = fx->sender.sentKeyStrings().size();
            form.Timer2_Timer();
            for (auto i = before; i < fx->sender.sentKeyStrings().size(); ++i)
                ticks << t;
        }
        return ticks;
    }

    static void verifyStopped(const frmScript& form)
    {
        QVERIFY(!form.bRunning);
        QVERIFY(!form.Timer2->isEnabled());
        QVERIFY(form.cmdStart->isEnabled());
        QVERIFY(!form.cmdCancel->isEnabled());
        QVERIFY(form.Frame3->isEnabled());
    }

private Q_SLOTS:
    void init() { fx = std::make_unique<Fixture>(); }
    void cleanup() { fx.reset(); }

    void startAndCancelStates()
    {
        auto form = windowWith({"00:00:01"});
        form->cmdStart_Click();
        QVERIFY(form->bRunning);
        QVERIFY(!form->cmdStart->isEnabled());
        QVERIFY(form->cmdCancel->isEnabled());
        QVERIFY(!form->Frame3->isEnabled());
        QVERIFY(form->lvScript->isEnabled());   // the list stays usable
        QVERIFY(!form->Timer2->isEnabled());     // Start touches no timer
        tick1(*form);
        QVERIFY(form->Timer2->isEnabled());
        form->cmdCancel_Click();
        verifyStopped(*form);
        QVERIFY(form->cmdSave->isEnabled());
    }

    void clockRunsWhileIdle()
    {
        auto form = windowWith({"00:00:01"});
        tick1(*form);
        QCOMPARE(form->Label1->text(), QStringLiteral("07/12/26 10:00:01"));
        fx->clock.set(QDateTime(QDate(2027, 1, 2), QTime(3, 4, 5)));
        form->Timer1_Timer();
        QCOMPARE(form->Label1->text(), QStringLiteral("02/01/27 03:04:05"));
        // Not started: the condition holds but nothing runs.
        QVERIFY(!form->Timer2->isEnabled());
        QCOMPARE(form->dtpCountDown->time(), QTime(0, 0, 0));
    }

    void scriptCountDown_data()
    {
        QTest::addColumn<int>("scriptSeconds");
        QTest::addColumn<QStringList>("shownAfterTicks");
        QTest::newRow("00:00:00") << 0 << QStringList{};
        QTest::newRow("00:00:05") << 5
                                  << QStringList{"00:00:04", "00:00:03", "00:00:02", "00:00:01", "00:00:00"};
        QTest::newRow("00:01:01") << 61 << QStringList{"00:01:00", "00:00:59"};
    }
    void scriptCountDown()
    {
        QFETCH(int, scriptSeconds);
        QFETCH(QStringList, shownAfterTicks);
        auto form = windowWith({"00:00:01"}, scriptSeconds);
        form->cmdStart_Click();
        for (const QString& shown : shownAfterTicks) {
            tick1(*form);
            QCOMPARE(form->dtpCountDown->time().toString("HH:mm:ss"), shown);
            QVERIFY(!form->Timer2->isEnabled());
        }
        if (shownAfterTicks.isEmpty() || shownAfterTicks.last() == "00:00:00") {
            tick1(*form);
            QVERIFY(form->Timer2->isEnabled());
            QCOMPARE(form->dtpCountDown->time(), QTime(0, 0, 0));
        }
    }

    void setTime_data()
    {
        QTest::addColumn<QTime>("clockStart");
        QTest::addColumn<QTime>("setAt");
        QTest::addColumn<int>("ticks");
        QTest::addColumn<int>("enabledAtTick");   // 0: never
        QTest::newRow("current minute") << QTime(10, 0, 0) << QTime(10, 0) << 3 << 1;
        QTest::newRow("last second of the minute") << QTime(10, 0, 58) << QTime(10, 0) << 3 << 1;
        QTest::newRow("next minute") << QTime(10, 0, 30) << QTime(10, 1) << 40 << 30;
        QTest::newRow("in the past") << QTime(10, 0, 0) << QTime(9, 59) << 120 << 0;
    }
    void setTime()
    {
        QFETCH(QTime, clockStart);
        QFETCH(QTime, setAt);
        QFETCH(int, ticks);
        QFETCH(int, enabledAtTick);
        fx->clock.set(QDateTime(QDate(2026, 12, 7), clockStart));
        fx->addScript("Run", "", 0, oledate::fromQDateTime(QDateTime(QDate(2026, 12, 7), setAt)));
        auto form = stillWindow();
        pickScript(*form, "Run");
        QVERIFY(form->Option1->isChecked());
        form->cmdStart_Click();
        int enabledAt = 0;
        for (int t = 1; t <= ticks && !enabledAt; ++t) {
            tick1(*form);
            if (form->Timer2->isEnabled())
                enabledAt = t;
        }
        QCOMPARE(enabledAt, enabledAtTick);
    }

    void enablingAgainKeepsThePeriod()
    {
        auto form = windowWith({"00:00:05"});
        startItems(*form);
        const auto due = form->Timer2->nextDue();
        busyWait(30);
        tick1(*form);   // the condition still holds: Timer2 enabled again
        QVERIFY(form->Timer2->isEnabled());
        QVERIFY(form->Timer2->nextDue() == due);
    }

    void itemCountDowns_data()
    {
        QTest::addColumn<QStringList>("countDowns");
        QTest::addColumn<QList<int>>("firedInTicks");
        QTest::newRow("00:00:03") << QStringList{"00:00:03"} << QList<int>{3};
        QTest::newRow("00:00:00") << QStringList{"00:00:00"} << QList<int>{2};
        QTest::newRow("00:00:01") << QStringList{"00:00:01"} << QList<int>{1};
        QTest::newRow("00:00:02 then 00:00:03") << QStringList{"00:00:02", "00:00:03"} << QList<int>{2, 5};
        QTest::newRow("three of 00:00:01") << QStringList{"00:00:01", "00:00:01", "00:00:01"}
                                           << QList<int>{1, 2, 3};
        QTest::newRow("one minute") << QStringList{"00:01:00"} << QList<int>{60};
    }
    void itemCountDowns()
    {
        QFETCH(QStringList, countDowns);
        QFETCH(QList<int>, firedInTicks);
        auto form = windowWith(countDowns);
        startItems(*form);
        QCOMPARE(fireTicks(*form, firedInTicks.last() + 3), firedInTicks);
        QCOMPARE(checks(*form), QList<bool>(countDowns.size(), false));
        QCOMPARE(column(*form, 4), QStringList(countDowns.size(), "00:00:00"));
        // The run stays on with nothing left to do.
        QVERIFY(form->bRunning);
        QVERIFY(form->Timer2->isEnabled());
        QVERIFY(form->cmdCancel->isEnabled());
    }

    void countDownTextsStepBySecond_data()
    {
        QTest::addColumn<QString>("start");
        QTest::addColumn<QStringList>("shown");
        QTest::newRow("00:00:03") << "00:00:03" << QStringList{"00:00:02", "00:00:01", "00:00:00"};
        QTest::newRow("00:00:00 reads 00:00:01 first") << "00:00:00" << QStringList{"00:00:01", "00:00:00"};
        QTest::newRow("over a minute") << "00:01:00" << QStringList{"00:00:59", "00:00:58"};
        QTest::newRow("short form") << "0:0:2" << QStringList{"00:00:01", "00:00:00"};
    }
    void countDownTextsStepBySecond()
    {
        QFETCH(QString, start);
        QFETCH(QStringList, shown);
        fx->addScript("Run", "", 1, seconds(0));
        fx->addItems({{"Run", "A", "Win", "k", "", store::Value(start)}});
        auto form = stillWindow();
        pickScript(*form, "Run");
        form->lvScript->topLevelItem(0)->setText(4, start);
        startItems(*form);
        for (const QString& text : shown) {
            form->Timer2_Timer();
            QCOMPARE(form->lvScript->topLevelItem(0)->text(4), text);
        }
    }

    void deliveryActivatesThenSendsWithWait()
    {
        auto form = windowWith({"00:00:01", "00:00:01"});
        startItems(*form);
        fireTicks(*form, 4);
        const auto& calls = fx->sender.calls;
        QCOMPARE(calls.size(), size_t(4));
        QCOMPARE(calls[0].kind, keys::RecordingKeySender::Call::Activate);
        QCOMPARE(calls[0].text, QStringLiteral("Win A"));
        QCOMPARE(calls[1].kind, keys::RecordingKeySender::Call::Send);
        QCOMPARE(calls[1].text, QStringLiteral("keys A"));
        QVERIFY(calls[1].wait);
        QCOMPARE(calls[2].text, QStringLiteral("Win B"));
        QCOMPARE(calls[3].text, QStringLiteral("keys B"));
        // Nothing of a run reaches the database.
        QCOMPARE(fx->rows("KeyScript")[0][5], QStringLiteral("00:00:01"));
    }

    void noCheckedRowSendsNothing()
    {
        auto form = windowWith({"00:00:01", "00:00:00"});
        for (int i = 0; i < 2; ++i)
            form->lvScript->topLevelItem(i)->setCheckState(0, Qt::Unchecked);
        startItems(*form);
        QCOMPARE(fireTicks(*form, 5), QList<int>{});
        QCOMPARE(column(*form, 4), (QStringList{"00:00:01", "00:00:00"}));
        QVERIFY(form->bRunning);
        QVERIFY(form->cmdCancel->isEnabled());
    }

    void uncheckedRowIsSkipped()
    {
        auto form = windowWith({"00:00:02", "00:00:01"});
        startItems(*form);
        form->Timer2_Timer();
        QCOMPARE(column(*form, 4), (QStringList{"00:00:01", "00:00:01"}));
        form->lvScript->topLevelItem(0)->setCheckState(0, Qt::Unchecked);
        QCOMPARE(fireTicks(*form, 3), QList<int>{1});
        QCOMPARE(fx->sender.sentKeyStrings(), QStringList{"keys B"});
        // A skipped row keeps its remaining count-down.
        QCOMPARE(column(*form, 4), (QStringList{"00:00:01", "00:00:00"}));
    }

    void recheckedRowFiresAgain()
    {
        auto form = windowWith({"00:00:01"});
        startItems(*form);
        QCOMPARE(fireTicks(*form, 1), QList<int>{1});
        form->lvScript->topLevelItem(0)->setCheckState(0, Qt::Checked);
        // From 00:00:00: in the second tick of its turn.
        QCOMPARE(fireTicks(*form, 4), QList<int>{2});
        QCOMPARE(fx->sender.sentKeyStrings(), (QStringList{"keys A", "keys A"}));
    }

    void cancelKeepsProgressAndStartResumes()
    {
        auto form = windowWith({"00:00:05", "00:00:01"}, 3);
        form->cmdStart_Click();
        tick1(*form);
        QCOMPARE(form->dtpCountDown->time(), QTime(0, 0, 2));
        form->cmdCancel_Click();
        verifyStopped(*form);
        QCOMPARE(form->dtpCountDown->time(), QTime(0, 0, 2));
        tick1(*form);   // idle: the script count-down stands still
        QCOMPARE(form->dtpCountDown->time(), QTime(0, 0, 2));

        form->cmdStart_Click();
        tick1(*form);
        tick1(*form);
        QVERIFY(!form->Timer2->isEnabled());
        tick1(*form);
        QVERIFY(form->Timer2->isEnabled());
        QCOMPARE(fireTicks(*form, 2), QList<int>{});
        QCOMPARE(column(*form, 4), (QStringList{"00:00:03", "00:00:01"}));

        form->cmdCancel_Click();
        QCOMPARE(column(*form, 4), (QStringList{"00:00:03", "00:00:01"}));

        // The script count-down reached zero: the items start at the first tick.
        startItems(*form);
        QCOMPARE(fireTicks(*form, 5), (QList<int>{3, 4}));
    }

    void failureStopsTheRun_data()
    {
        QTest::addColumn<QString>("fault");
        QTest::addColumn<QString>("message");   // %1: the item's name
        QTest::newRow("no such window") << "activate" << keys::errors::noWindowTitled("Win A");
        QTest::newRow("sending fails") << "send" << keys::errors::focusLostAfter(2, 5);
        QTest::newRow("unreadable keys") << "notation" << "{NOSUCHKEY}";
        QTest::newRow("count-down not a time") << "cell" << "\"soon\"";
        QTest::newRow("count-down empty") << "empty cell" << "\"\"";
    }
    void failureStopsTheRun()
    {
        QFETCH(QString, fault);
        QFETCH(QString, message);
        auto form = windowWith({"00:00:01", "00:00:01"});
        QTreeWidgetItem* rowA = form->lvScript->topLevelItem(0);
        form->lvScript->setCurrentItem(form->lvScript->topLevelItem(1));
        if (fault == "activate")
            fx->sender.openTitles = {"Win B"};
        else if (fault == "send")
            fx->sender.failSendWith = keys::errors::focusLostAfter(2, 5);
        else if (fault == "notation")
            rowA->setText(2, "{NOSUCHKEY}");
        else if (fault == "cell")
            rowA->setText(4, "soon");
        else
            rowA->setText(4, "");

        startItems(*form);
        form->Timer2_Timer();
        verifyStopped(*form);
        QVERIFY(rowA->checkState(0) == Qt::Checked);
        QCOMPARE(form->lvScript->currentItem(), rowA);
        QCOMPARE(fx->dialogs.messageCount(), 1);
        const auto* shown = fx->dialogs.lastMessage();
        QCOMPARE(shown->title, QStringLiteral("Error"));
        QCOMPARE(shown->style, 0);
        QVERIFY2(shown->text.contains("\"A\"") && shown->text.contains(message), qPrintable(shown->text));
        QCOMPARE(fx->sender.sentKeyStrings(), QStringList{});

        // Mend the fault; Start resumes with that row.
        fx->sender.openTitles.clear();
        rowA->setText(2, "keys A");
        const bool cellFault = fault.contains("cell");
        if (cellFault)
            rowA->setText(4, "00:00:01");
        QCOMPARE(column(*form, 4)[0], QString(cellFault ? "00:00:01" : "00:00:00"));
        startItems(*form);
        QCOMPARE(fireTicks(*form, 4), (cellFault ? QList<int>{1, 2} : QList<int>{2, 3}));
        QCOMPARE(fx->sender.sentKeyStrings(), (QStringList{"keys A", "keys B"}));
        QCOMPARE(fx->dialogs.messageCount(), 1);
    }

    // Every key went out, but the target did not show it read the last
    // one: the item is done, the Now box says so, and the run goes on.
    void unansweredLastKeyIsANote()
    {
        auto form = windowWith({"00:00:01", "00:00:01"});
        fx->sender.noAnswerAfterSend = true;
        startItems(*form);
        QCOMPARE(fireTicks(*form, 1), (QList<int>{1}));
        QVERIFY(form->lvScript->topLevelItem(0)->checkState(0) == Qt::Unchecked);
        const QString note = QStringLiteral("A: ") + keys::errors::noAnswerAfterLastKey(6);
        QCOMPARE(form->Frame1->toolTip(), note);
        QVERIFY(form->Frame1->title().startsWith(QStringLiteral("Now: A: ")));
        // The next item that goes out whole clears it.
        QCOMPARE(fireTicks(*form, 1), (QList<int>{1}));
        QCOMPARE(fx->sender.sentKeyStrings(), (QStringList{"keys A", "keys B"}));
        QCOMPARE(fx->dialogs.messageCount(), 0);
        QCOMPARE(form->Frame1->title(), QStringLiteral("Now"));
    }

    void errorSaysHowToResume_data()
    {
        QTest::addColumn<int>("mode");
        QTest::newRow("Count Down") << 1;
        QTest::newRow("Set Time") << 0;
    }
    void errorSaysHowToResume()
    {
        QFETCH(int, mode);
        fx->addScript("Run", "", mode, mode == 0 ? oledate::fromQDateTime(fx->clock.now()) : seconds(0));
        fx->addItems({{"Run", "A", "Win A", "a", "", store::Value(seconds(1))}});
        auto form = stillWindow();
        pickScript(*form, "Run");
        fx->sender.failSendWith = "focus lost";
        startItems(*form);
        form->Timer2_Timer();
        const QString said = fx->dialogs.lastMessage()->text;
        QVERIFY2(said.contains("Start sends all of its keys again, from the first."), qPrintable(said));
        QCOMPARE(said.contains("Change the set time before Start"), mode == 0);
    }

    // Real timers from here on.

    void steadyTimerDoesNotDrift()
    {
        script::SteadyTimer timer(std::chrono::milliseconds(500));
        QElapsedTimer clock;
        std::vector<qint64> at;
        connect(&timer, &script::SteadyTimer::timeout, this, [&] {
            at.push_back(clock.elapsed());
            busyWait(300);   // a slow handler must not push later ticks back
        });
        clock.start();
        timer.setEnabled(true);
        QTRY_VERIFY_WITH_TIMEOUT(at.size() >= 5, 8000);
        timer.setEnabled(false);
        // Restarting after each handler would put tick n at n * 800 ms.
        for (size_t n = 0; n < 5; ++n) {
            const qint64 ideal = 500 * qint64(n + 1);
            QVERIFY2(at[n] >= ideal - 2 && at[n] < ideal + 200,
                     qPrintable(QString("tick %1 at %2 ms").arg(n + 1).arg(at[n])));
        }
    }

    void steadyTimerEnableAgainAndMissedTicks()
    {
        script::SteadyTimer timer(std::chrono::milliseconds(500));
        QElapsedTimer clock;
        std::vector<qint64> at;
        connect(&timer, &script::SteadyTimer::timeout, this, [&] {
            at.push_back(clock.elapsed());
            if (at.size() == 1)
                busyWait(1200);   // holds the loop past two due ticks
        });
        clock.start();
        timer.setEnabled(true);
        QTest::qWait(250);
        timer.setEnabled(true);   // already enabled: the period goes on
        QTRY_VERIFY_WITH_TIMEOUT(at.size() >= 3, 8000);
        timer.setEnabled(false);
        // Restarting on the second enable would tick first at 750 ms.
        QVERIFY2(at[0] >= 498 && at[0] < 700, qPrintable(QString::number(at[0])));
        // The ticks due at 1000 and 1500 ms are dropped: no burst when the
        // handler returns (about 1700 ms), and the phase is kept (not 2200).
        QVERIFY2(at[1] >= 1998 && at[1] < 2150, qPrintable(QString::number(at[1])));
        QVERIFY2(at[2] >= 2498 && at[2] < 2650, qPrintable(QString::number(at[2])));
        const auto ticks = at.size();
        QTest::qWait(700);
        QCOMPARE(at.size(), ticks);   // disabled: no more ticks
    }

    void realRunKeepsTickingUnderAModalDialog()
    {
        testsupport::TimedKeySender sender;
        keys::installKeySender(&sender);
        fx->addScript("Run", "", 1, seconds(0));
        fx->addItems({{"Run", "A", "Win", "a", "", store::Value(seconds(1))},
                      {"Run", "B", "Win", "b", "", store::Value(seconds(1))}});
        sender.clock.start();
        frmScript form;   // Timer1 ticks from here
        pickScript(form, "Run");
        form.cmdStart_Click();

        QDialog modal(&form);
        QTimer poll;
        connect(&poll, &QTimer::timeout, &modal, [&] {
            if (sender.sentAtNs.size() >= 2 || sender.clock.elapsed() > 6000)
                modal.accept();
        });
        poll.start(50);
        modal.exec();
        keys::installKeySender(&fx->sender);

        QCOMPARE(sender.inner.sentKeyStrings(), (QStringList{"a", "b"}));
        // Timer1 enables Timer2 at 1 s; A fires at its first tick (2 s), B a
        // second later.
        QVERIFY2(sender.sentAtMs(0) >= 1990 && sender.sentAtMs(0) < 3000,
                 qPrintable(QString::number(sender.sentAtMs(0))));
        const qint64 gap = sender.sentAtMs(1) - sender.sentAtMs(0);
        QVERIFY2(gap > 700 && gap < 1300, qPrintable(QString::number(gap)));
        QCOMPARE(form.Label1->text(), QStringLiteral("07/12/26 10:00:00"));
    }
};

QTEST_MAIN(RunnerTest)
#include "tst_gui_runner.moc"
