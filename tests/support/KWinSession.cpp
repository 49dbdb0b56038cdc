// SPDX-License-Identifier: MIT
#include "KWinSession.h"
#include "keys/kde/DesktopEntry.h"
#include "keys/kde/KWinDisplay.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <atomic>
#include <unistd.h>

namespace testsupport {

namespace {

// A connection of the test's own to KWin, for looking at windows and
// activating them as a task bar does.
class KWinProbe {
public:
    KWinProbe() : display_(keys::kde::KWinDisplay::connect())
    {
        if (!display_ || !display_->listsWindows())
            setupFailed(QStringLiteral("cannot see KWin's windows"));
    }

    bool waitForWindow(const QString& title, int timeoutMs)
    {
        return waitUntil(timeoutMs, [&] {
            display_->dispatch(5);
            for (const auto* w : display_->stacked())
                if (w->title == title)
                    return true;
            return false;
        });
    }

    QString activeTitle()
    {
        display_->roundtrip();
        const auto* active = display_->activeWindow();
        return active ? active->title : QString();
    }

    void activate(const QString& title)
    {
        display_->roundtrip();
        for (const auto* w : display_->stacked())
            if (w->title == title)
                display_->activate(*w);
        display_->roundtrip();
    }

private:
    std::unique_ptr<keys::kde::KWinDisplay> display_;
};

} // namespace

// ------------------------------------------------------------------ KWin

KWinSession::KWinSession(const Options& options)
{
    static std::atomic<int> sessions{0};
    if (!dir_.isValid())
        setupFailed(QStringLiteral("cannot make a folder for KWin"));
    for (const char* sub : {"runtime", "home", "config", "cache", "data-home", "share/applications"})
        QDir(dir_.path()).mkpath(QString::fromLatin1(sub));
    const QString runtime = dir_.filePath(QStringLiteral("runtime"));
    QFile::setPermissions(runtime, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    const QString kwin = dir_.filePath(QStringLiteral("kwin_wayland"));
    if (!QFile::copy(QStringLiteral("/usr/bin/kwin_wayland"), kwin))
        setupFailed(QStringLiteral("kwin_wayland is not installed"));

    // The layouts as Plasma's keyboard settings keep them.
    QFile layouts(dir_.filePath(QStringLiteral("config/kxkbrc")));
    if (!layouts.open(QIODevice::WriteOnly)
        || layouts.write(QStringLiteral("[Layout]\nLayoutList=%1\nUse=true\n")
                             .arg(options.layouts)
                             .toUtf8())
            < 0)
        setupFailed(QStringLiteral("cannot write KWin's keyboard settings"));
    layouts.close();

    QByteArray bus;
    bus_ = startReporting(QStringLiteral("dbus-daemon"),
                          {QStringLiteral("--session"), QStringLiteral("--nofork"),
                           QStringLiteral("--nopidfile"), QStringLiteral("--print-address=3")},
                          bus, 10000);
    if (bus.isEmpty())
        setupFailed(QStringLiteral("the session bus (dbus-daemon) did not start"));

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
    // sh execs KWin with its output to the log: the process recorded is KWin.
    kwin_ = std::make_unique<ChildProcess>(
        QStringLiteral("sh"),
        QStringList{QStringLiteral("-c"), QStringLiteral("exec \"$0\" \"$@\" >'%1' 2>&1").arg(log),
                    QStringLiteral("env")}
            + env
            + QStringList{kwin, QStringLiteral("--virtual"), QStringLiteral("--no-lockscreen"),
                          QStringLiteral("--no-global-shortcuts"), QStringLiteral("--no-kactivities"),
                          QStringLiteral("--socket"), socket_, QStringLiteral("--width"),
                          QStringLiteral("1280"), QStringLiteral("--height"), QStringLiteral("720")});
    const QString path = runtime + QLatin1Char('/') + socket_;
    if (!waitUntil(15000, [&] { return QFileInfo::exists(path) || !kwin_->isRunning(); })
        || !kwin_->isRunning())
        setupFailed(QStringLiteral("KWin did not start: %1").arg(this->log()));

    environment_.set("WAYLAND_DISPLAY", socket_.toLocal8Bit());
    environment_.set("XDG_RUNTIME_DIR", runtime.toLocal8Bit());
    environment_.set("DBUS_SESSION_BUS_ADDRESS", bus);
    if (!waitUntil(15000, [] { return keys::kde::KWinDisplay::connect() != nullptr; }))
        setupFailed(QStringLiteral("KWin does not accept clients: %1").arg(this->log()));
}

KWinSession::~KWinSession()
{
    kwin_->stop();
    bus_->stop();
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
        setupFailed(QStringLiteral("cannot write the desktop entry %1").arg(f.fileName()));
}

QStringList KWinSession::userEnvironment() const
{
    return {QStringLiteral("HOME=") + dir_.filePath(QStringLiteral("home")),
            QStringLiteral("XDG_CONFIG_HOME=") + dir_.filePath(QStringLiteral("config")),
            QStringLiteral("XDG_CACHE_HOME=") + dir_.filePath(QStringLiteral("cache")),
            QStringLiteral("XDG_DATA_HOME=") + dir_.filePath(QStringLiteral("data-home"))};
}

QString KWinSession::log() const
{
    QFile f(dir_.filePath(QStringLiteral("kwin.log")));
    return f.open(QIODevice::ReadOnly) ? QString::fromLocal8Bit(f.readAll().right(2000))
                                       : QStringLiteral("(no log)");
}

bool KWinSession::waitForWindow(const QString& title, int timeoutMs)
{
    return KWinProbe().waitForWindow(title, timeoutMs);
}

QString KWinSession::activeTitle()
{
    return KWinProbe().activeTitle();
}

void KWinSession::activate(const QString& title)
{
    KWinProbe().activate(title);
}

// ------------------------------------------------------- weston-terminal

WestonCapture::WestonCapture(KWinSession& session, const QString& title, qsizetype closeAfter)
    : SessionTerminal(title)
{
    // weston-terminal has no title option: the shell sets it.
    QFile script(QFileInfo(file_.path()).dir().filePath(QStringLiteral("capture.sh")));
    if (!script.open(QIODevice::WriteOnly)
        || script.write(QStringLiteral("#!/bin/sh\nprintf '\\033]2;%1\\007'\n%2\n")
                            .arg(title, captureCommand(closeAfter))
                            .toLocal8Bit())
            < 0
        || !script.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner)) {
        cannotStart(QStringLiteral("The capture script cannot be written."));
        return;
    }
    script.close();
    start(session, QStringLiteral("weston-terminal"),
          {QStringLiteral("weston-terminal"), QStringLiteral("--shell=") + script.fileName()},
          [&] { return file_.exists(); });
}

} // namespace testsupport
