// SPDX-License-Identifier: MIT
#include "DesktopChecks.h"

#include <QFile>
#include <QRegularExpression>
#include <QTest>
#include <QThread>

#include <csignal>

#include <thread>

namespace testsupport {

QString errorOf(const std::function<void()>& call)
{
    try {
        call();
    } catch (const keys::KeyError& e) {
        return e.description();
    }
    return {};
}

void checkTitleRule(keys::KeySender& sender, Compositor& desktop, const QString& target,
                    const QString& other)
{
    // A prefix of the other's title only. (First: a compositor may give the
    // other, newly opened, the focus a moment after it shows.)
    sender.AppActivate(other.left(target.size() + 2).toUpper());
    QCOMPARE(desktop.activeTitle(), other);
    sender.AppActivate(target);
    QCOMPARE(desktop.activeTitle(), target);
    // A prefix of both.
    sender.AppActivate(target.left(3).toLower());
    QCOMPARE(desktop.activeTitle(), target);
    QCOMPARE(errorOf([&] { sender.AppActivate(QStringLiteral("Nowhere")); }),
             QStringLiteral("No window titled \"Nowhere\" is open."));
}

void checkRefusedBeforeAnyKey(keys::KeySender& sender, const SessionTerminal& term,
                              const QString& keys, const QString& expected)
{
    QCOMPARE(errorOf([&] { sender.checkKeys(keys); }), expected);
    const qsizetype before = term.bytes().size();
    sender.AppActivate(term.title());
    QCOMPARE(errorOf([&] { sender.SendKeys(keys, true); }), expected);
    QCOMPARE(term.waitForBytes(before + 1, 300).size(), before);
}

void checkTypingFollowsIntoDialog(keys::KeySender& sender, const WaylandDialogTarget& app)
{
    sender.AppActivate(app.title());
    sender.SendKeys(QStringLiteral("^dfile name~after"), true);
    QVERIFY2(app.waitFor(QStringLiteral("main"), QStringLiteral("after")), qPrintable(app.log()));
    QCOMPARE(app.value(QStringLiteral("dialog")), QStringLiteral("file name"));
    QCOMPARE(app.value(QStringLiteral("accepted")), QStringLiteral("1"));
    sender.SendKeys(QStringLiteral("^d"), true);
    sender.SendKeys(QStringLiteral("second~"), true);
    QVERIFY2(app.waitFor(QStringLiteral("accepted"), QStringLiteral("2")), qPrintable(app.log()));
    QCOMPARE(app.value(QStringLiteral("dialog")), QStringLiteral("second"));
}

void checkSaveAsInEditor(keys::KeySender& sender, Compositor& desktop, const QString& program,
                         const QString& title, const QString& saveAs)
{
    WaylandApp app(desktop, title,
                   {QStringLiteral("GDK_BACKEND=wayland"), QStringLiteral("QT_QPA_PLATFORM=wayland")},
                   {program});
    VERIFY_STARTED(app);
    const QString path = app.home() + QStringLiteral("/saved.txt");
    sender.AppActivate(title);
    const QString keys = QStringLiteral("first~") + saveAs + path + QStringLiteral("~second~^s");
    QCOMPARE(errorOf([&] { sender.SendKeys(keys, true); }), QString());
    QFile saved(path);
    QVERIFY(waitUntil(5000, [&] { return saved.size() >= 13; }));
    QVERIFY(saved.open(QIODevice::ReadOnly));
    QCOMPARE(saved.readAll(), QByteArray("first\nsecond\n"));
}

void addSaveAsRows()
{
    QTest::addColumn<QString>("program");
    QTest::addColumn<QString>("title");
    QTest::addColumn<QString>("saveAs");
    QTest::newRow("GTK 3 mousepad, Ctrl+S") << "mousepad" << "Untitled 1 - Mousepad" << "^s";
    QTest::newRow("Qt 5 featherpad, File menu") << "featherpad" << "Untitled" << "%fa";
}

void checkSaveAsInEditorRow(keys::KeySender& sender, Compositor& desktop)
{
    QFETCH(QString, program);
    QFETCH(QString, title);
    QFETCH(QString, saveAs);
    checkSaveAsInEditor(sender, desktop, program, title, saveAs);
}

void checkStoppedTargetGetsEveryKey(keys::KeySender& sender, const SessionTerminal& term)
{
    const QByteArray text(3000, 'z');
    const qsizetype before = term.bytes().size();
    sender.AppActivate(term.title());
    const pid_t pid = term.pid();
    std::jthread pause([pid] {
        QThread::msleep(50);
        kill(pid, SIGSTOP);
        QThread::msleep(1000);
        kill(pid, SIGCONT);
    });
    const QString error = errorOf([&] { sender.SendKeys(QString::fromLatin1(text), true); });
    pause.join();
    QVERIFY2(error.isEmpty(), qPrintable(error));
    QCOMPARE(term.waitForBytes(before + text.size()).mid(before), text);
}

void checkKilledRunLeavesNoKeyHeld(keys::KeySender& sender, const SessionTerminal& term,
                                   const QStringList& environment, const QString& program)
{
    const qsizetype before = term.bytes().size();
    {
        TypomatRun run = TypomatRun::onWayland(
            {QStringLiteral("send"), term.title(),
             QStringLiteral("+(") + QString(100000, QLatin1Char('k')) + QStringLiteral(")")},
            environment, program);
        QVERIFY(waitUntil(20000, [&] { return term.bytes().size() > before + 200; }));
        kill(run.pid(), SIGKILL);
        QCOMPARE(run.waitForExit(), -1); // killed, not done
    }
    sender.AppActivate(term.title());
    sender.SendKeys(QStringLiteral("xyz"), true);
    waitUntil(5000, [&] { return term.bytes().toLower().endsWith("xyz"); });
    QCOMPARE(term.bytes().right(3), QByteArray("xyz"));
}

void checkFocusTakenStopsTyping(keys::KeySender& sender, const SessionTerminal& target,
                                const std::function<const SessionTerminal&()>& take,
                                qsizetype maxStolen, QString& nextError)
{
    // Long enough to last well past the change on a loaded machine.
    const QString text = QStringLiteral("+(") + QString(100000, QLatin1Char('s')) + QStringLiteral(")");
    sender.AppActivate(target.title());
    const qsizetype before = target.bytes().size();
    const SessionTerminal* intruder = nullptr;
    QString error;
    {
        std::jthread intrude([&] {
            waitUntil(10000, [&] { return target.bytes().size() >= before + 2000; });
            try {
                intruder = &take();
            } catch (const std::exception&) {
            }
        });
        error = errorOf([&] { sender.SendKeys(text, true); });
    }
    QVERIFY2(intruder, "the focus could not be given to another window");
    VERIFY_STARTED(*intruder);
    QVERIFY2(QRegularExpression(QStringLiteral("^The window lost the keyboard focus after \\d+ of "
                                               "100000 keys, so the rest was not typed.$"))
                 .match(error)
                 .hasMatch(),
             qPrintable(error));
    const qsizetype stolen = intruder->waitForBytes(1, 300).size();
    QVERIFY2(stolen <= maxStolen, qPrintable(QString::number(stolen)));
    nextError = errorOf([&] { sender.SendKeys(QStringLiteral("x"), true); });
    QCOMPARE(intruder->waitForBytes(stolen + 1, 300).size(), stolen);
    QCOMPARE(typeInto(sender, target, QStringLiteral("a"), 1), QByteArray("a"));
}

} // namespace testsupport
