// SPDX-License-Identifier: MIT
// Typomat started on a Wayland desktop: with XWayland (WAYLAND_DISPLAY and
// DISPLAY set, no QT_QPA_PLATFORM) its own windows go through XWayland;
// "typomat send" into a stopped terminal types every key once it goes on,
// or says that it stopped responding; a display that never answers is
// reported, not waited on, by the KDE backend too.
#include "WaylandSession.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QTest>
#include <QThread>

#include <atomic>
#include <csignal>
#include <cstring>
#include <pwd.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <thread>
#include <unistd.h>

using namespace testsupport;

namespace {

// The shells ("xwayland", "xdg_shell") of the windows with this app id or
// X11 class, found anywhere in sway's tree.
void collectShells(const QJsonObject& node, const QString& app, QStringList& shells)
{
    const QString appId = node.value(QStringLiteral("app_id")).toString();
    const QString xClass =
        node.value(QStringLiteral("window_properties")).toObject().value(QStringLiteral("class")).toString();
    if (appId.compare(app, Qt::CaseInsensitive) == 0 || xClass.compare(app, Qt::CaseInsensitive) == 0)
        shells << node.value(QStringLiteral("shell")).toString();
    for (const char* key : {"nodes", "floating_nodes"})
        for (const QJsonValue& child : node.value(QLatin1String(key)).toArray())
            collectShells(child.toObject(), app, shells);
}

struct Result {
    int status = -1;
    QString err;
};

// Runs "typomat ARGS" with the environment changed as given (an empty
// value removes the variable); QProcess ends exactly this process if it
// outlives the wait.
Result typomat(const QStringList& args, const QMap<QString, QString>& change = {})
{
    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove(QStringLiteral("QT_QPA_PLATFORM"));
    for (auto it = change.begin(); it != change.end(); ++it) {
        if (it.value().isEmpty())
            env.remove(it.key());
        else
            env.insert(it.key(), it.value());
    }
    process.setProcessEnvironment(env);
    process.start(qEnvironmentVariable("TYPOMAT_EXE"), args);
    if (!process.waitForFinished(30000))
        return {-1, QStringLiteral("typomat did not end")};
    return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
            QString::fromUtf8(process.readAllStandardError())};
}

// A socket that takes connections and never answers.
class SilentSocket {
public:
    SilentSocket() : path_(dir_.filePath(QStringLiteral("wayland-silent")))
    {
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        const QByteArray name = QFile::encodeName(path_);
        std::memcpy(address.sun_path, name.constData(), static_cast<size_t>(name.size()));
        fd_ = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        listening_ = bind(fd_, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0
            && listen(fd_, 16) == 0;
    }
    ~SilentSocket() { close(fd_); }
    QString path() const { return path_; }
    bool listening() const { return listening_; }

private:
    QTemporaryDir dir_;
    QString path_;
    int fd_ = -1;
    bool listening_ = false;
};

} // namespace

class TestWaylandStart : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void cleanupTestCase();
    void ownWindowsGoThroughXWayland();
    void stoppedTarget_data();
    void stoppedTarget();
    void silentDisplay_data();
    void silentDisplay();

private:
    std::unique_ptr<SwaySession> sway_;
};

void TestWaylandStart::initTestCase()
{
    QVERIFY2(!qEnvironmentVariable("TYPOMAT_EXE").isEmpty(), "TYPOMAT_EXE names the program");
    QString why;
    sway_ = startSway(true, why);
    if (!sway_)
        QSKIP(qPrintable(why));
}

void TestWaylandStart::cleanupTestCase()
{
    sway_.reset();
}

void TestWaylandStart::ownWindowsGoThroughXWayland()
{
    const QString display = sway_->xDisplay();
    QVERIFY2(!display.isEmpty(), "sway started no XWayland");

    // XWayland serves only nobody's clients here, so Typomat runs as nobody
    // from a folder of nobody's.
    QTemporaryDir dir;
    const QString program = dir.filePath(QStringLiteral("typomat"));
    QVERIFY(QFile::copy(qEnvironmentVariable("TYPOMAT_EXE"), program));
    const passwd* nobody = getpwnam("nobody");
    QVERIFY(nobody);
    for (const QString& path : {dir.path(), program})
        QCOMPARE(chown(QFile::encodeName(path).constData(), nobody->pw_uid, nobody->pw_gid), 0);
    ChildProcess typomat(
        QStringLiteral("setpriv"),
        {QStringLiteral("--reuid=nobody"), QStringLiteral("--regid=nogroup"),
         QStringLiteral("--clear-groups"), QStringLiteral("env"), QStringLiteral("-u"),
         QStringLiteral("QT_QPA_PLATFORM"),
         // The suppressions file of a sanitizer build may be out of nobody's reach.
         QStringLiteral("-u"), QStringLiteral("LSAN_OPTIONS"),
         QStringLiteral("HOME=") + sway_->runtime(),
         QStringLiteral("XDG_RUNTIME_DIR=") + sway_->runtime(),
         QStringLiteral("WAYLAND_DISPLAY=") + sway_->socket(), QStringLiteral("DISPLAY=") + display,
         program});
    QStringList shells;
    QVERIFY(waitUntil(15000, [&] {
        shells.clear();
        const QJsonDocument tree =
            QJsonDocument::fromJson(sway_->query({QStringLiteral("-t"), QStringLiteral("get_tree")}));
        collectShells(tree.object(), QStringLiteral("typomat"), shells);
        return !shells.isEmpty();
    }));
    QCOMPARE(shells.join(QLatin1Char(' ')), QStringLiteral("xwayland"));
    QVERIFY(typomat.isRunning());
}

void TestWaylandStart::stoppedTarget_data()
{
    QTest::addColumn<int>("stopAfter"); // bytes that arrived before the stop
    QTest::addColumn<int>("stoppedMs"); // -1: until typomat has ended
    QTest::addColumn<int>("size");

    QTest::newRow("stopped before, for a second") << 0 << 1000 << 2000;
    QTest::newRow("stopped mid-send, for a second") << 2000 << 1000 << 20000;
    QTest::newRow("stopped before, for good") << 0 << -1 << 2000;
    QTest::newRow("stopped mid-send, for good") << 2000 << -1 << 20000;
}

// Every key arrives once the terminal goes on, and typomat ends after that;
// or it says, with status 3, how many keys it sent, and exactly those arrive.
void TestWaylandStart::stoppedTarget()
{
    QFETCH(int, stopAfter);
    QFETCH(int, stoppedMs);
    QFETCH(int, size);
    FootCapture term(*sway_, QStringLiteral("Stopped %1 %2").arg(stopAfter).arg(stoppedMs));
    VERIFY_STARTED(term);
    QString text;
    for (int i = 0; text.size() < size; ++i)
        text += QString::number(i) + QLatin1Char(' ');
    text.truncate(size);

    std::atomic<bool> ended{false};
    if (stopAfter == 0)
        kill(term.pid(), SIGSTOP);
    std::thread stopper([&] {
        if (stopAfter > 0) {
            waitUntil(20000, [&] { return ended || term.bytes().size() >= stopAfter; });
            kill(term.pid(), SIGSTOP);
        }
        if (stoppedMs >= 0)
            QThread::msleep(static_cast<unsigned long>(stoppedMs));
        else
            waitUntil(60000, [&] { return ended.load(); });
        kill(term.pid(), SIGCONT);
    });
    const Result result = typomat({QStringLiteral("send"), term.title(), text});
    ended = true;
    stopper.join();

    if (stoppedMs >= 0) {
        QVERIFY2(result.status == 0, qPrintable(result.err));
        QCOMPARE(QString::fromLatin1(term.waitForBytes(size)), text);
        return;
    }
    QCOMPARE(result.status, 3);
    const QRegularExpressionMatch stopped =
        QRegularExpression(QStringLiteral("The window stopped responding after (\\d+) of %1 keys")
                               .arg(size))
            .match(result.err);
    const bool allSent = result.err.contains(
        QStringLiteral("The window did not answer after the last key; all %1 keys were sent.").arg(size));
    QVERIFY2(stopped.hasMatch() || allSent, qPrintable(result.err));
    const int sent = allSent ? size : stopped.captured(1).toInt();
    QVERIFY(sent >= stopAfter);
    QCOMPARE(QString::fromLatin1(term.waitForBytes(sent)), text.left(sent));
}

void TestWaylandStart::silentDisplay_data()
{
    QTest::addColumn<QString>("backend");
    QTest::addColumn<bool>("withX");

    QTest::newRow("no X display") << QString() << false;
    QTest::newRow("forced Wayland") << QStringLiteral("wayland") << true;
    QTest::newRow("forced KDE") << QStringLiteral("kde") << true;
    QTest::newRow("an X display") << QString() << true;
}

// No display to work on ends with status 1, as a window that is not there
// does; where there is an X display, the X11 backend takes over and finds
// no such window there.
void TestWaylandStart::silentDisplay()
{
    QFETCH(QString, backend);
    QFETCH(bool, withX);
    SilentSocket socket;
    QVERIFY(socket.listening());
    std::unique_ptr<XServer> x;
    if (withX)
        x = std::make_unique<XServer>();
    QStringList args{QStringLiteral("send"), QStringLiteral("Nowhere"), QStringLiteral("x")};
    if (!backend.isEmpty())
        args.prepend(QStringLiteral("--backend=") + backend);
    const Result result = typomat(args, {{QStringLiteral("WAYLAND_DISPLAY"), socket.path()},
                                         {QStringLiteral("SWAYSOCK"), QString()},
                                         {QStringLiteral("DISPLAY"), x ? x->display() : QString()}});
    const QString error = withX && backend.isEmpty()
        ? QStringLiteral("No window titled \"Nowhere\"")
        : QStringLiteral("The Wayland display \"%1\" does not answer").arg(socket.path());
    QVERIFY2(result.status == 1 && result.err.contains(error), qPrintable(result.err));
}

QTEST_GUILESS_MAIN(TestWaylandStart)
#include "tst_e2e_waylandstart.moc"
