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

[[noreturn]] void fail(const QString& what)
{
    throw std::runtime_error(what.toStdString());
}

} // namespace

// ------------------------------------------------------------------- sway

SwaySession::SwaySession(bool withXwayland)
{
    const passwd* nobody = getpwnam("nobody");
    if (!nobody)
        fail(QStringLiteral("there is no user nobody to run sway as"));
    QByteArray pattern = QDir::tempPath().toLocal8Bit() + "/typomat-sway-XXXXXX";
    if (!mkdtemp(pattern.data()))
        fail(QStringLiteral("cannot make a runtime folder for sway"));
    runtime_ = QString::fromLocal8Bit(pattern);
    const QString config = runtime_ + QStringLiteral("/config");
    QFile file(config);
    // With XWayland, sway tells its DISPLAY to the programs it starts.
    const QByteArray xwayland = withXwayland
        ? "xwayland force\nexec sh -c 'echo $DISPLAY > \"$XDG_RUNTIME_DIR/display\"'\n"
        : "xwayland disable\n";
    if (!file.open(QIODevice::WriteOnly)
        || file.write(xwayland + "output HEADLESS-1 resolution 1280x800\n") < 0)
        fail(QStringLiteral("cannot write the sway configuration"));
    file.close();
    if (chown(pattern.constData(), nobody->pw_uid, nobody->pw_gid) != 0
        || chmod(pattern.constData(), 0700) != 0 || chmod(QFile::encodeName(config).constData(), 0644) != 0)
        fail(QStringLiteral("cannot hand the runtime folder to nobody"));

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
        fail(QStringLiteral("sway did not start"));

    oldWaylandDisplay_ = qgetenv("WAYLAND_DISPLAY");
    oldRuntime_ = qgetenv("XDG_RUNTIME_DIR");
    oldSwaySocket_ = qgetenv("SWAYSOCK");
    oldDisplay_ = qgetenv("DISPLAY");
    qputenv("WAYLAND_DISPLAY", socket_.toLocal8Bit());
    qputenv("XDG_RUNTIME_DIR", clientRuntime_.path().toLocal8Bit());
    QFile::setPermissions(clientRuntime_.path(), QFile::ReadOwner | QFile::WriteOwner
                                                     | QFile::ExeOwner);
    // Ready once a client sees the toplevel list.
    if (!waitUntil(10000, [] { return keys::wayland::WaylandDisplay::connect() != nullptr; }))
        fail(QStringLiteral("sway does not accept clients"));
    if (!waitUntil(5000, [&] { return !ipcSocket().isEmpty(); }))
        fail(QStringLiteral("sway opened no IPC socket"));
    qputenv("SWAYSOCK", ipcSocket().toLocal8Bit());

    // A desktop always has a keyboard: without one, a client that is
    // stopped when Typomat's keyboard comes never gets a keyboard to read.
    keyboard_ = std::make_unique<ChildProcess>(
        QStringLiteral("wtype"),
        QStringList{QStringLiteral("-P"), QStringLiteral("Shift_L"), QStringLiteral("-p"),
                    QStringLiteral("Shift_L"), QStringLiteral("-s"), QStringLiteral("36000000")});
    if (!waitUntil(5000, [&] {
            return query({QStringLiteral("-t"), QStringLiteral("get_seats")}).contains("\"keyboard\"");
        }))
        fail(QStringLiteral("the seat got no keyboard (wtype)"));

    if (withXwayland) {
        const QString display = xDisplay();
        // XWayland serves nobody's clients only; root's test clients too.
        if (display.isEmpty()
            || runProgram(display, QStringLiteral("setpriv"),
                          {QStringLiteral("--reuid=nobody"), QStringLiteral("--regid=nogroup"),
                           QStringLiteral("--clear-groups"), QStringLiteral("xhost"),
                           QStringLiteral("+si:localuser:root")})
                != 0)
            fail(QStringLiteral("sway's XWayland did not come up for root"));
        qputenv("DISPLAY", display.toLocal8Bit());
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
    qputenv("WAYLAND_DISPLAY", oldWaylandDisplay_);
    qputenv("XDG_RUNTIME_DIR", oldRuntime_);
    qputenv("SWAYSOCK", oldSwaySocket_);
    qputenv("DISPLAY", oldDisplay_);
    QDir(runtime_).removeRecursively();
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

// ------------------------------------------------------------------ probe

WaylandProbe::WaylandProbe() : display_(keys::wayland::WaylandDisplay::connect())
{
    if (!display_)
        fail(QStringLiteral("cannot connect to the Wayland display"));
}

WaylandProbe::~WaylandProbe() = default;

bool WaylandProbe::waitForWindow(const QString& title, int timeoutMs)
{
    return waitUntil(timeoutMs, [&] {
        display_->dispatch(5);
        for (const auto& t : display_->toplevels())
            if (!t.closed && t.described && t.title == title)
                return true;
        return false;
    });
}

bool WaylandProbe::isActive(const QString& title)
{
    return activeTitle() == title;
}

QString WaylandProbe::activeTitle()
{
    display_->roundtrip();
    const keys::wayland::Toplevel* active = display_->activeToplevel();
    return active ? active->title : QString();
}

void WaylandProbe::activate(const QString& title)
{
    display_->roundtrip();
    for (const auto& t : display_->toplevels())
        if (!t.closed && t.title == title)
            zwlr_foreign_toplevel_handle_v1_activate(t.handle, display_->seat());
    display_->roundtrip();
}

// ----------------------------------------------------------------- clients

void SessionClient::start(const QString& what, const QStringList& command,
                          const std::function<bool()>& up)
{
    // The shell puts the output into the log and becomes the program.
    process_ = std::make_unique<ChildProcess>(
        QStringLiteral("sh"),
        QStringList{QStringLiteral("-c"), QStringLiteral("exec \"$@\" > \"$0\" 2>&1"), log_.path()}
            + command);
    WaylandProbe probe;
    if (probe.waitForWindow(title_) && waitUntil(10000, up))
        return;
    failure_ = QStringLiteral("%1 \"%2\" did not come up (%3). Its output:\n%4")
                   .arg(what, title_,
                        process_->isRunning() ? QStringLiteral("it runs")
                                              : QStringLiteral("it has ended"),
                        QString::fromLocal8Bit(log_.read().right(4000)));
}

QString SessionTerminal::captureCommand() const
{
    return QStringLiteral("stty raw -echo; exec cat >> '%1'").arg(file_.path());
}

FootCapture::FootCapture(const SwaySession&, const QString& title) : SessionTerminal(title)
{
    start(QStringLiteral("foot"),
          {QStringLiteral("env"), QStringLiteral("LC_ALL=C.UTF-8"), QStringLiteral("foot"),
           QStringLiteral("--config=/dev/null"), QStringLiteral("-T"), title, QStringLiteral("sh"),
           QStringLiteral("-c"), captureCommand()},
          [&] { return file_.exists(); });
}

XwaylandCapture::XwaylandCapture(const SwaySession& session, const QString& title, bool asNobody)
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
    start(QStringLiteral("xterm"), command, [&] { return file_.exists(); });
}

// ------------------------------------------------------------ applications

WaylandApp::WaylandApp(const SwaySession&, const QString& title, const QStringList& environment,
                       const QStringList& command)
    : SessionClient(title)
{
    start(command.value(0),
          QStringList{QStringLiteral("env"), QStringLiteral("-u"), QStringLiteral("DISPLAY"),
                      QStringLiteral("HOME=") + home_.path(),
                      QStringLiteral("XDG_CONFIG_HOME=") + home_.filePath(QStringLiteral(".config")),
                      QStringLiteral("XDG_DATA_HOME=") + home_.filePath(QStringLiteral(".local")),
                      QStringLiteral("DBUS_SESSION_BUS_ADDRESS=unix:path=") + home_.filePath(QStringLiteral("no-bus")),
                      QStringLiteral("GSETTINGS_BACKEND=memory"), QStringLiteral("NO_AT_BRIDGE=1")}
              + environment + command,
          [] { return true; });
}

// ------------------------------------------------------------ dialog target

WaylandDialogTarget::WaylandDialogTarget(const SwaySession&, const QString& title,
                                         const QStringList& options)
    : SessionClient(title)
{
    start(QStringLiteral("the dialog target"),
          QStringList{QStringLiteral("env"), QStringLiteral("QT_QPA_PLATFORM=wayland"),
                      QStringLiteral(TYPOMAT_DIALOG_TARGET), title, file_.path()}
              + options,
          [&] { return file_.exists(); });
}

QString WaylandDialogTarget::log() const
{
    return QString::fromUtf8(file_.read());
}

QString WaylandDialogTarget::value(const QString& key) const
{
    return file_.value(key);
}

bool WaylandDialogTarget::waitFor(const QString& key, const QString& value, int timeoutMs) const
{
    return waitUntil(timeoutMs, [&] { return this->value(key) == value; });
}

} // namespace testsupport
