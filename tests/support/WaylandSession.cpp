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
                    QStringLiteral("--clear-groups"), QStringLiteral("env"),
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
    qputenv("WAYLAND_DISPLAY", socket_.toLocal8Bit());
    qputenv("XDG_RUNTIME_DIR", clientRuntime_.path().toLocal8Bit());
    QFile::setPermissions(clientRuntime_.path(), QFile::ReadOwner | QFile::WriteOwner
                                                     | QFile::ExeOwner);
    // Ready once a client sees the toplevel list.
    if (!waitUntil(10000, [] { return keys::wayland::WaylandDisplay::connect() != nullptr; }))
        fail(QStringLiteral("sway does not accept clients"));
}

SwaySession::~SwaySession()
{
    process_->stop();
    qputenv("WAYLAND_DISPLAY", oldWaylandDisplay_);
    qputenv("XDG_RUNTIME_DIR", oldRuntime_);
    QDir(runtime_).removeRecursively();
}

bool SwaySession::command(const QString& text)
{
    return !query({text}).isEmpty();
}

QByteArray SwaySession::query(const QStringList& arguments)
{
    const QStringList sockets =
        QDir(runtime_).entryList({QStringLiteral("sway-ipc.*.sock")}, QDir::System);
    if (sockets.isEmpty())
        return {};
    QTemporaryDir dir;
    const QString out = dir.filePath(QStringLiteral("out"));
    QStringList quoted;
    for (const QString& a : arguments)
        quoted << QLatin1Char('\'') + a + QLatin1Char('\'');
    const QString script = QStringLiteral("exec swaymsg -s '%1/%2' %3 > '%4'")
                               .arg(runtime_, sockets.front(), quoted.join(QLatin1Char(' ')), out);
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

// ------------------------------------------------------------- foot capture

FootCapture::FootCapture(const SwaySession&, const QString& title)
    : title_(title), file_(QStringLiteral("capture"))
{
    const QString command = QStringLiteral("stty raw -echo; exec cat >> '%1'").arg(file_.path());
    process_ = std::make_unique<ChildProcess>(
        QStringLiteral("env"),
        QStringList{QStringLiteral("LC_ALL=C.UTF-8"), QStringLiteral("foot"),
                    QStringLiteral("--config=/dev/null"), QStringLiteral("-T"), title,
                    QStringLiteral("sh"), QStringLiteral("-c"), command});
    WaylandProbe probe;
    if (!probe.waitForWindow(title) || !waitUntil(10000, [&] { return file_.exists(); }))
        fail(QStringLiteral("the capture terminal \"%1\" did not start").arg(title));
}

QByteArray FootCapture::bytes() const
{
    return file_.read();
}

QByteArray FootCapture::waitForBytes(qsizetype size, int timeoutMs) const
{
    return file_.waitForBytes(size, timeoutMs);
}

// ------------------------------------------------------------ dialog target

WaylandDialogTarget::WaylandDialogTarget(const SwaySession&, const QString& title)
    : title_(title), file_(QStringLiteral("log"))
{
    process_ = std::make_unique<ChildProcess>(
        QStringLiteral("env"),
        QStringList{QStringLiteral("QT_QPA_PLATFORM=wayland"),
                    QStringLiteral(TYPOMAT_DIALOG_TARGET), title, file_.path()});
    WaylandProbe probe;
    if (!probe.waitForWindow(title) || !waitUntil(10000, [&] { return file_.exists(); }))
        fail(QStringLiteral("the dialog target \"%1\" did not start").arg(title));
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
