// SPDX-License-Identifier: MIT
#include "WaylandSession.h"
#include "keys/wayland/WaylandDisplay.h"

#include "wlr-foreign-toplevel-management-unstable-v1-client-protocol.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QThread>

#include <pwd.h>
#include <stdexcept>
#include <sys/stat.h>
#include <unistd.h>

namespace testsupport {

namespace {

// A connection of the test's own to the compositor, for looking at windows
// and activating them.
class WaylandProbe {
public:
    WaylandProbe() : display_(keys::wayland::WaylandDisplay::connect())
    {
        if (!display_)
            setupFailed(QStringLiteral("cannot connect to the Wayland display"));
    }

    bool waitForWindow(const QString& title, int timeoutMs)
    {
        return waitUntil(timeoutMs, [&] {
            display_->dispatch(5);
            for (const auto& t : display_->toplevels())
                if (!t.closed && t.described && t.title == title)
                    return true;
            return false;
        });
    }

    QString activeTitle()
    {
        display_->roundtrip();
        const keys::wayland::Toplevel* active = display_->activeToplevel();
        return active ? active->title : QString();
    }

    void activate(const QString& title)
    {
        display_->roundtrip();
        for (const auto& t : display_->toplevels())
            if (!t.closed && t.title == title)
                zwlr_foreign_toplevel_handle_v1_activate(t.handle, display_->seat());
        display_->roundtrip();
    }

private:
    std::unique_ptr<keys::wayland::WaylandDisplay> display_;
};

} // namespace
// ------------------------------------------------------------------- sway

SwaySession::SwaySession(bool withXwayland)
{
    const passwd* nobody = getpwnam("nobody");
    if (!nobody)
        setupFailed(QStringLiteral("there is no user nobody to run sway as"));
    QByteArray pattern = QDir::tempPath().toLocal8Bit() + "/typomat-sway-XXXXXX";
    if (!mkdtemp(pattern.data()))
        setupFailed(QStringLiteral("cannot make a runtime folder for sway"));
    runtime_ = QString::fromLocal8Bit(pattern);
    const QString config = runtime_ + QStringLiteral("/config");
    QFile file(config);
    // With XWayland, sway tells its DISPLAY to the programs it starts.
    const QByteArray xwayland = withXwayland
        ? "xwayland force\nexec sh -c 'echo $DISPLAY > \"$XDG_RUNTIME_DIR/display\"'\n"
        : "xwayland disable\n";
    if (!file.open(QIODevice::WriteOnly)
        || file.write(xwayland + "output HEADLESS-1 resolution 1280x800\n") < 0)
        setupFailed(QStringLiteral("cannot write the sway configuration"));
    file.close();
    if (chown(pattern.constData(), nobody->pw_uid, nobody->pw_gid) != 0
        || chmod(pattern.constData(), 0700) != 0 || chmod(QFile::encodeName(config).constData(), 0644) != 0)
        setupFailed(QStringLiteral("cannot hand the runtime folder to nobody"));

    const QString rt = runtime_;
    process_ = std::make_unique<ChildProcess>(
        QStringLiteral("setpriv"),
        QStringList{QStringLiteral("--reuid=nobody"), QStringLiteral("--regid=nogroup"),
                    QStringLiteral("--clear-groups"),
                    // The change of user clears the death signal ChildProcess set.
                    QStringLiteral("--pdeathsig"), QStringLiteral("TERM"), QStringLiteral("env"),
                    QStringLiteral("-u"), QStringLiteral("WAYLAND_DISPLAY"),
                    QStringLiteral("HOME=") + rt, QStringLiteral("XDG_RUNTIME_DIR=") + rt,
                    QStringLiteral("WLR_BACKENDS=headless"),
                    QStringLiteral("WLR_LIBINPUT_NO_DEVICES=1"),
                    QStringLiteral("WLR_RENDERER=pixman"), QStringLiteral("sway"),
                    QStringLiteral("-c"), config});
    socket_ = rt + QStringLiteral("/wayland-1");
    if (!waitUntil(10000, [&] { return QFileInfo::exists(socket_) || !process_->isRunning(); })
        || !process_->isRunning())
        setupFailed(QStringLiteral("sway did not start"));

    environment_.set("WAYLAND_DISPLAY", socket_.toLocal8Bit());
    environment_.set("XDG_RUNTIME_DIR", clientRuntime_.path().toLocal8Bit());
    QFile::setPermissions(clientRuntime_.path(), QFile::ReadOwner | QFile::WriteOwner
                                                     | QFile::ExeOwner);
    // Ready once a client sees the toplevel list.
    if (!waitUntil(10000, [] { return keys::wayland::WaylandDisplay::connect() != nullptr; }))
        setupFailed(QStringLiteral("sway does not accept clients"));
    if (!waitUntil(5000, [&] { return !ipcSocket().isEmpty(); }))
        setupFailed(QStringLiteral("sway opened no IPC socket"));
    environment_.set("SWAYSOCK", ipcSocket().toLocal8Bit());

    // A desktop always has a keyboard: without one, a client that is
    // stopped when Typomat's keyboard comes never gets a keyboard to read.
    keyboard_ = std::make_unique<ChildProcess>(
        QStringLiteral("wtype"),
        QStringList{QStringLiteral("-P"), QStringLiteral("Shift_L"), QStringLiteral("-p"),
                    QStringLiteral("Shift_L"), QStringLiteral("-s"), QStringLiteral("36000000")});
    if (!waitUntil(5000, [&] {
            return query({QStringLiteral("-t"), QStringLiteral("get_seats")}).contains("\"keyboard\"");
        }))
        setupFailed(QStringLiteral("the seat got no keyboard (wtype)"));

    if (withXwayland) {
        const QString display = xDisplay();
        // XWayland serves nobody's clients only; root's test clients too.
        if (display.isEmpty()
            || runProgram(display, QStringLiteral("setpriv"),
                          {QStringLiteral("--reuid=nobody"), QStringLiteral("--regid=nogroup"),
                           QStringLiteral("--clear-groups"), QStringLiteral("xhost"),
                           QStringLiteral("+si:localuser:root")})
                != 0)
            setupFailed(QStringLiteral("sway's XWayland did not come up for root"));
        environment_.set("DISPLAY", display.toLocal8Bit());
    }
}

std::unique_ptr<SwaySession> startSway(bool withXwayland, QString& why)
{
    try {
        return std::make_unique<SwaySession>(withXwayland);
    } catch (const std::exception& e) {
        why = QStringLiteral("no headless sway here: %1").arg(QString::fromLocal8Bit(e.what()));
        return nullptr;
    }
}

SwaySession::~SwaySession()
{
    if (keyboard_)
        keyboard_->stop();
    process_->stop();
    QDir(runtime_).removeRecursively();
}

bool SwaySession::waitForWindow(const QString& title, int timeoutMs)
{
    return WaylandProbe().waitForWindow(title, timeoutMs);
}

QString SwaySession::activeTitle()
{
    return WaylandProbe().activeTitle();
}

void SwaySession::activate(const QString& title)
{
    WaylandProbe().activate(title);
}

QString SwaySession::ipcSocket() const
{
    const QStringList sockets =
        QDir(runtime_).entryList({QStringLiteral("sway-ipc.*.sock")}, QDir::System);
    return sockets.isEmpty() ? QString() : runtime_ + QLatin1Char('/') + sockets.front();
}

bool SwaySession::command(const QString& text)
{
    return !query({text}).isEmpty();
}

QByteArray SwaySession::query(const QStringList& arguments)
{
    const QString socket = ipcSocket();
    if (socket.isEmpty())
        return {};
    QTemporaryDir dir;
    const QString out = dir.filePath(QStringLiteral("out"));
    QStringList quoted;
    for (const QString& a : arguments)
        quoted << QLatin1Char('\'') + a + QLatin1Char('\'');
    const QString script = QStringLiteral("exec swaymsg -s '%1' %2 > '%3'")
                               .arg(socket, quoted.join(QLatin1Char(' ')), out);
    if (runProgram(QString(), QStringLiteral("sh"), {QStringLiteral("-c"), script}) != 0)
        return {};
    QFile f(out);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

QString SwaySession::xDisplay() const
{
    const QString file = runtime_ + QStringLiteral("/display");
    waitUntil(10000, [&] { return QFileInfo(file).size() > 0; });
    QFile f(file);
    return f.open(QIODevice::ReadOnly) ? QString::fromLocal8Bit(f.readAll()).trimmed() : QString();
}

XwaylandCapture::XwaylandCapture(SwaySession& session, const QString& title, bool asNobody)
    : SessionTerminal(title)
{
    QStringList command;
    if (asNobody) {
        const passwd* nobody = getpwnam("nobody");
        const QByteArray folder = QFile::encodeName(QFileInfo(file_.path()).path());
        if (!nobody || chown(folder.constData(), nobody->pw_uid, nobody->pw_gid) != 0) {
            cannotStart(QStringLiteral("The capture folder cannot be handed to nobody."));
            return;
        }
        command << QStringLiteral("setpriv") << QStringLiteral("--reuid=nobody")
                << QStringLiteral("--regid=nogroup") << QStringLiteral("--clear-groups");
    }
    command << QStringLiteral("env") << QStringLiteral("LC_ALL=C.UTF-8")
            << QStringLiteral("DISPLAY=") + session.xDisplay() << QStringLiteral("xterm")
            << QStringLiteral("-title") << title << QStringLiteral("-xrm")
            << QStringLiteral("XTerm*utf8: 1") << QStringLiteral("-xrm")
            << QStringLiteral("XTerm*locale: true") << QStringLiteral("-e") << QStringLiteral("sh")
            << QStringLiteral("-c") << captureCommand();
    start(session, QStringLiteral("xterm"), command, [&] { return file_.exists(); });
}

} // namespace testsupport
