// SPDX-License-Identifier: MIT
#include "KWinSession.h"
#include "keys/kde/DesktopEntry.h"
#include "keys/kde/KWinDisplay.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>

#include <atomic>
#include <fcntl.h>
#include <poll.h>
#include <stdexcept>
#include <unistd.h>

namespace testsupport {

namespace {

[[noreturn]] void fail(const QString& what)
{
    throw std::runtime_error(what.toStdString());
}

// Runs the program with its output to the log: sh execs it, so the process
// recorded is the program itself.
QStringList loggedTo(const QString& log, const QStringList& command)
{
    return QStringList{QStringLiteral("-c"), QStringLiteral("exec \"$0\" \"$@\" >'%1' 2>&1").arg(log)}
        + command;
}

QString readLog(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? QString::fromLocal8Bit(f.readAll().right(2000))
                                       : QStringLiteral("(no log)");
}

// The address a session bus prints on descriptor 3, read from the pipe.
QByteArray readLine(int fd, int timeoutMs)
{
    QByteArray line;
    pollfd p{fd, POLLIN, 0};
    QElapsedTimer clock;
    clock.start();
    while (!line.endsWith('\n') && clock.elapsed() < timeoutMs) {
        char c;
        if (poll(&p, 1, 100) > 0 && read(fd, &c, 1) == 1)
            line.append(c);
        else if (p.revents & POLLHUP)
            break;
    }
    return line.trimmed();
}

} // namespace

// ------------------------------------------------------------------ KWin

KWinSession::KWinSession(const Options& options)
{
    static std::atomic<int> sessions{0};
    if (!dir_.isValid())
        fail(QStringLiteral("cannot make a folder for KWin"));
    for (const char* sub : {"runtime", "home", "config", "cache", "data-home", "share/applications"})
        QDir(dir_.path()).mkpath(QString::fromLatin1(sub));
    const QString runtime = dir_.filePath(QStringLiteral("runtime"));
    QFile::setPermissions(runtime, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    const QString kwin = dir_.filePath(QStringLiteral("kwin_wayland"));
    if (!QFile::copy(QStringLiteral("/usr/bin/kwin_wayland"), kwin))
        fail(QStringLiteral("kwin_wayland is not installed"));

    // The layouts as Plasma's keyboard settings keep them.
    QFile layouts(dir_.filePath(QStringLiteral("config/kxkbrc")));
    if (!layouts.open(QIODevice::WriteOnly)
        || layouts.write(QStringLiteral("[Layout]\nLayoutList=%1\nUse=true\n")
                             .arg(options.layouts)
                             .toUtf8())
            < 0)
        fail(QStringLiteral("cannot write KWin's keyboard settings"));
    layouts.close();

    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0)
        fail(QStringLiteral("pipe failed"));
    bus_ = std::make_unique<ChildProcess>(
        QStringLiteral("dbus-daemon"),
        QStringList{QStringLiteral("--session"), QStringLiteral("--nofork"),
                    QStringLiteral("--nopidfile"), QStringLiteral("--print-address=3")},
        QString(), fds[1]);
    close(fds[1]);
    const QByteArray bus = readLine(fds[0], 10000);
    close(fds[0]);
    if (bus.isEmpty())
        fail(QStringLiteral("the session bus (dbus-daemon) did not start"));

    // The test itself looks at the windows, so KWin must let it.
    if (!options.trustEveryone)
        addDesktopEntry(QStringLiteral("typomat-test-probe"),
                        QFileInfo(QStringLiteral("/proc/self/exe")).canonicalFilePath());

    socket_ = QStringLiteral("typomat-kwin-%1-%2").arg(getpid()).arg(++sessions);
    QStringList env{QStringLiteral("-u"), QStringLiteral("WAYLAND_DISPLAY"), QStringLiteral("-u"),
                    QStringLiteral("DISPLAY"), QStringLiteral("-u"), QStringLiteral("QT_QPA_PLATFORM"),
                    QStringLiteral("XDG_RUNTIME_DIR=") + runtime,
                    QStringLiteral("DBUS_SESSION_BUS_ADDRESS=") + QString::fromLocal8Bit(bus),
                    QStringLiteral("XDG_DATA_DIRS=%1:/usr/local/share:/usr/share").arg(dataDir())};
    env += userEnvironment();
    if (options.trustEveryone)
        env << QStringLiteral("KWIN_WAYLAND_NO_PERMISSION_CHECKS=1");
    const QString log = dir_.filePath(QStringLiteral("kwin.log"));
    kwin_ = std::make_unique<ChildProcess>(
        QStringLiteral("sh"),
        loggedTo(log, QStringList{QStringLiteral("env")} + env
                          + QStringList{kwin, QStringLiteral("--virtual"),
                                        QStringLiteral("--no-lockscreen"),
                                        QStringLiteral("--no-global-shortcuts"),
                                        QStringLiteral("--no-kactivities"),
                                        QStringLiteral("--socket"), socket_,
                                        QStringLiteral("--width"), QStringLiteral("1280"),
                                        QStringLiteral("--height"), QStringLiteral("720")}));
    const QString path = runtime + QLatin1Char('/') + socket_;
    if (!waitUntil(15000, [&] { return QFileInfo::exists(path) || !kwin_->isRunning(); })
        || !kwin_->isRunning())
        fail(QStringLiteral("KWin did not start: %1").arg(this->log()));

    oldWaylandDisplay_ = qgetenv("WAYLAND_DISPLAY");
    oldRuntime_ = qgetenv("XDG_RUNTIME_DIR");
    oldBus_ = qgetenv("DBUS_SESSION_BUS_ADDRESS");
    qputenv("WAYLAND_DISPLAY", socket_.toLocal8Bit());
    qputenv("XDG_RUNTIME_DIR", runtime.toLocal8Bit());
    qputenv("DBUS_SESSION_BUS_ADDRESS", bus);
    if (!waitUntil(15000, [] { return keys::kde::KWinDisplay::connect() != nullptr; }))
        fail(QStringLiteral("KWin does not accept clients: %1").arg(this->log()));
}

KWinSession::~KWinSession()
{
    kwin_->stop();
    bus_->stop();
    qputenv("WAYLAND_DISPLAY", oldWaylandDisplay_);
    qputenv("XDG_RUNTIME_DIR", oldRuntime_);
    qputenv("DBUS_SESSION_BUS_ADDRESS", oldBus_);
}

QString KWinSession::dataDir() const
{
    return dir_.filePath(QStringLiteral("share"));
}

void KWinSession::addDesktopEntry(const QString& name, const QString& program) const
{
    QFile f(dataDir() + QStringLiteral("/applications/%1.desktop").arg(name));
    if (!f.open(QIODevice::WriteOnly)
        || f.write(keys::kde::desktopEntryFor(program)) < 0)
        fail(QStringLiteral("cannot write the desktop entry %1").arg(f.fileName()));
}

QString KWinSession::userDataDir() const
{
    return dir_.filePath(QStringLiteral("data-home"));
}

QStringList KWinSession::userEnvironment() const
{
    return {QStringLiteral("HOME=") + dir_.filePath(QStringLiteral("home")),
            QStringLiteral("XDG_CONFIG_HOME=") + dir_.filePath(QStringLiteral("config")),
            QStringLiteral("XDG_CACHE_HOME=") + dir_.filePath(QStringLiteral("cache")),
            QStringLiteral("XDG_DATA_HOME=") + userDataDir()};
}

QString KWinSession::log() const
{
    return readLog(dir_.filePath(QStringLiteral("kwin.log")));
}

// ----------------------------------------------------------------- probe

KWinProbe::KWinProbe() : display_(keys::kde::KWinDisplay::connect())
{
    if (!display_ || !display_->listsWindows())
        fail(QStringLiteral("cannot see KWin's windows"));
}

KWinProbe::~KWinProbe() = default;

bool KWinProbe::waitForWindow(const QString& title, int timeoutMs)
{
    return waitUntil(timeoutMs, [&] {
        display_->dispatch(5);
        for (const auto* w : display_->stacked())
            if (w->title == title)
                return true;
        return false;
    });
}

QString KWinProbe::activeTitle()
{
    display_->roundtrip();
    const auto* active = display_->activeWindow();
    return active ? active->title : QString();
}

void KWinProbe::activate(const QString& title)
{
    display_->roundtrip();
    for (const auto* w : display_->stacked())
        if (w->title == title)
            display_->activate(*w);
    display_->roundtrip();
}

// ------------------------------------------------------- weston-terminal

WestonCapture::WestonCapture(const QString& title, qsizetype closeAfter)
    : title_(title), file_(QStringLiteral("capture"))
{
    // weston-terminal has no title option: the shell sets it.
    const QString script = dir_.filePath(QStringLiteral("capture.sh"));
    QFile f(script);
    if (!f.open(QIODevice::WriteOnly)
        || f.write(QStringLiteral("#!/bin/sh\nprintf '\\033]2;%1\\007'\nstty raw -echo\n"
                                  "exec %2 >> '%3'\n")
                       .arg(title,
                            closeAfter > 0 ? QStringLiteral("head -c %1").arg(closeAfter)
                                           : QStringLiteral("cat"),
                            file_.path())
                       .toLocal8Bit())
            < 0)
        fail(QStringLiteral("cannot write the capture script"));
    f.close();
    f.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    const QString log = dir_.filePath(QStringLiteral("weston-terminal.log"));
    process_ = std::make_unique<ChildProcess>(
        QStringLiteral("sh"),
        loggedTo(log, {QStringLiteral("weston-terminal"), QStringLiteral("--shell=") + script}));
    KWinProbe probe;
    if (!probe.waitForWindow(title) || !waitUntil(10000, [&] { return file_.exists(); }))
        fail(QStringLiteral("the capture terminal \"%1\" (weston-terminal) did not start: %2")
                 .arg(title, readLog(log)));
}

// --------------------------------------------------------- dialog target

KWinDialogTarget::KWinDialogTarget(const QString& title)
    : title_(title), file_(QStringLiteral("log"))
{
    process_ = std::make_unique<ChildProcess>(
        QStringLiteral("env"),
        QStringList{QStringLiteral("QT_QPA_PLATFORM=wayland"),
                    QStringLiteral(TYPOMAT_DIALOG_TARGET), title, file_.path()});
    KWinProbe probe;
    if (!probe.waitForWindow(title) || !waitUntil(10000, [&] { return file_.exists(); }))
        fail(QStringLiteral("the dialog target \"%1\" did not start").arg(title));
}

bool KWinDialogTarget::waitFor(const QString& key, const QString& value, int timeoutMs) const
{
    return waitUntil(timeoutMs, [&] { return this->value(key) == value; });
}

} // namespace testsupport
