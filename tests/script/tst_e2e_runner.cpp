// SPDX-License-Identifier: MIT
// A script run end to end: the script window (offscreen) runs its real
// timers and types its items through the X11 backend into an xterm under
// Xvfb and openbox; the bytes that reach the terminal, and their order, are
// the items' keys.
#include "ScriptFixture.h"
#include "XSession.h"
#include "keys/x11/X11KeySender.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QPushButton>

using namespace scripttest;
using namespace testsupport;

namespace {
const QString target = QStringLiteral("Script Runner Target");
}

class RunnerE2eTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<XServer> server_;
    std::unique_ptr<WindowManager> wm_;
    std::unique_ptr<CaptureTerminal> term_;
    std::unique_ptr<keys::X11KeySender> x11_;
    std::unique_ptr<Fixture> fx;

    // Runs script "Run" with real timers until count items were typed or
    // the run stopped; the terminal's bytes after the run.
    QByteArray run(const std::vector<ItemRecord>& items, qsizetype expectedBytes)
    {
        fx->addScript("Run", "", 1, seconds(0));
        fx->addItems(items);
        const qsizetype before = term_->bytes().size();
        frmScript form;
        pickScript(form, "Run");
        form.cmdStart_Click();
        QElapsedTimer elapsed;
        elapsed.start();
        const auto allSent = [&] {
            for (int i = 0; i < form.lvScript->topLevelItemCount(); ++i)
                if (form.lvScript->topLevelItem(i)->checkState(0) == Qt::Checked)
                    return false;
            return true;
        };
        while (form.bRunning && !allSent() && elapsed.elapsed() < 20000)
            QTest::qWait(50);
        return term_->waitForBytes(before + expectedBytes, 3000).mid(before);
    }

private Q_SLOTS:
    void initTestCase()
    {
        server_ = std::make_unique<XServer>();
        wm_ = std::make_unique<WindowManager>(*server_);
        term_ = std::make_unique<CaptureTerminal>(*server_, target);
        qputenv("DISPLAY", server_->display().toLocal8Bit());
        x11_ = std::make_unique<keys::X11KeySender>();
    }
    void cleanupTestCase()
    {
        x11_.reset();
        term_.reset();
        wm_.reset();
        server_.reset();
    }
    void init()
    {
        fx = std::make_unique<Fixture>();
        keys::installKeySender(x11_.get());
    }
    void cleanup() { fx.reset(); }

    void threeItemsTypedInTheirOrder()
    {
        const QByteArray typed = run({{"Run", "A", target, "one{ENTER}", "", store::Value(seconds(1))},
                                      {"Run", "B", target, "two", "", store::Value(seconds(0))},
                                      {"Run", "C", target, "3{TAB}x", "", store::Value(seconds(1))}},
                                     10);
        QCOMPARE(typed, QByteArray("one\rtwo3\tx"));
        QCOMPARE(fx->dialogs.messageCount(), 0);
    }

    void missingWindowStopsTheRun()
    {
        const QByteArray typed = run({{"Run", "A", target, "first", "", store::Value(seconds(1))},
                                      {"Run", "B", "No Such Window Here", "lost", "", store::Value(seconds(1))},
                                      {"Run", "C", target, "never", "", store::Value(seconds(1))}},
                                     5);
        QCOMPARE(typed, QByteArray("first"));
        QCOMPARE(fx->dialogs.messageCount(), 1);
        QCOMPARE(fx->dialogs.lastMessage()->title, QStringLiteral("Error"));
        QVERIFY2(fx->dialogs.lastMessage()->text.contains("\"B\""),
                 qPrintable(fx->dialogs.lastMessage()->text));
    }
};

int main(int argc, char** argv)
{
    // The window itself needs no screen; only the keys go to the X server.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    RunnerE2eTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_e2e_runner.moc"
