// SPDX-License-Identifier: MIT
#include "GnomeSession.h"
#include "keys/KeySender.h"
#include "keys/gnome/RemoteKeyboard.h"
#include "keys/gnome/ShellWindows.h"

#include <QCoreApplication>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusVariant>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>

#include <algorithm>
#include <stdexcept>

namespace testsupport {

namespace {

const QString shellService = QStringLiteral("org.gnome.Shell");

void writeFile(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size())
        setupFailed(QStringLiteral("cannot write %1").arg(path));
}

int shellMajorVersion()
{
    QTemporaryDir dir;
    const QString out = dir.filePath(QStringLiteral("version"));
    runProgram(QString(), QStringLiteral("sh"),
               {QStringLiteral("-c"),
                QStringLiteral("exec gnome-shell --version > '%1'").arg(out)});
    QFile f(out);
    f.open(QIODevice::ReadOnly);
    const QRegularExpressionMatch m =
        QRegularExpression(QStringLiteral("(\\d+)\\.")).match(QString::fromUtf8(f.readAll()));
    return m.hasMatch() ? m.captured(1).toInt() : 0;
}

// Copies the build tree's form of the extension for this Shell into the
// user's extension folder, answering the given programs.
void installExtension(const QString& dataHome, QStringList programs)
{
    const QString form = shellMajorVersion() >= 45 ? QStringLiteral("shell-45")
                                                   : QStringLiteral("shell-43");
    const QString uuid = keys::gnome::extensionUuid;
    const QDir from(QStringLiteral(TYPOMAT_GNOME_EXTENSION_BUILD_DIR "/") + form + QLatin1Char('/')
                    + uuid);
    const QString to = dataHome + QStringLiteral("/gnome-shell/extensions/") + uuid;
    if (!QDir().mkpath(to))
        setupFailed(QStringLiteral("cannot make %1").arg(to));
    for (const QString& name : from.entryList(QDir::Files))
        if (!QFile::copy(from.filePath(name), to + QLatin1Char('/') + name))
            setupFailed(QStringLiteral("cannot copy the extension's %1").arg(name));
    if (programs.isEmpty())
        programs << QFileInfo(QStringLiteral("/proc/self/exe")).canonicalFilePath();
    QFile metadataFile(to + QStringLiteral("/metadata.json"));
    metadataFile.open(QIODevice::ReadOnly);
    QJsonObject metadata = QJsonDocument::fromJson(metadataFile.readAll()).object();
    metadataFile.close();
    metadata.insert(QStringLiteral("typomat-programs"), QJsonArray::fromStringList(programs));
    QFile::remove(metadataFile.fileName());
    writeFile(metadataFile.fileName(), QJsonDocument(metadata).toJson());
}

} // namespace

// ------------------------------------------------------------------- Shell

GnomeShellSession::GnomeShellSession() : GnomeShellSession(Options{}) {}

GnomeShellSession::GnomeShellSession(const Options& options)
{
    if (!dir_.isValid())
        setupFailed(QStringLiteral("cannot make a folder for GNOME Shell"));
    const QString home = dir_.filePath(QStringLiteral("home"));
    runtime_ = dir_.filePath(QStringLiteral("runtime"));
    QDir().mkpath(home);
    QDir().mkpath(runtime_);
    QFile::setPermissions(runtime_, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    // A Shell killed in its first minute leaves this behind, and the next
    // one would start without extensions.
    QFile::remove(runtime_ + QStringLiteral("/gnome-shell-disable-extensions"));
    const QString dataHome = home + QStringLiteral("/.local/share");
    installExtension(dataHome, options.trustedPrograms);

    startBus(QStringLiteral("session"));
    startBus(QStringLiteral("system"));
    const QString sessionBus = QStringLiteral("unix:path=") + runtime_ + QStringLiteral("/session");
    const QString log = dir_.filePath(QStringLiteral("shell.log"));
    const QString script = QStringLiteral(
        "if [ -d /run/systemd ]; then mount -t tmpfs none /run/systemd || exit 1; fi; "
        "exec gnome-shell --headless --wayland --no-x11 --virtual-monitor 1280x720 "
        "--wayland-display wayland-0 > '%1' 2>&1").arg(log);
    shell_ = std::make_unique<ChildProcess>(
        QStringLiteral("env"),
        QStringList{QStringLiteral("-u"), QStringLiteral("DISPLAY"), QStringLiteral("-u"),
                    QStringLiteral("WAYLAND_DISPLAY"), QStringLiteral("HOME=") + home,
                    QStringLiteral("XDG_RUNTIME_DIR=") + runtime_,
                    QStringLiteral("XDG_DATA_HOME=") + dataHome,
                    QStringLiteral("XDG_CONFIG_HOME=") + home + QStringLiteral("/.config"),
                    QStringLiteral("XDG_CACHE_HOME=") + home + QStringLiteral("/.cache"),
                    QStringLiteral("DBUS_SESSION_BUS_ADDRESS=") + sessionBus,
                    QStringLiteral("DBUS_SYSTEM_BUS_ADDRESS=unix:path=") + runtime_
                        + QStringLiteral("/system"),
                    QStringLiteral("GSETTINGS_BACKEND=memory"), QStringLiteral("unshare"),
                    QStringLiteral("-m"), QStringLiteral("sh"), QStringLiteral("-c"), script});

    environment_.set("DBUS_SESSION_BUS_ADDRESS", sessionBus.toLocal8Bit());
    environment_.set("WAYLAND_DISPLAY", (runtime_ + QStringLiteral("/wayland-0")).toLocal8Bit());
    environment_.set("XDG_RUNTIME_DIR", runtime_.toLocal8Bit());

    bus_ = QDBusConnection::connectToBus(sessionBus, QStringLiteral("typomat-test-shell"));
    windows_ = std::make_unique<keys::gnome::ShellWindows>(bus_);
    const bool up = waitUntil(30000, [&] {
        return !shell_->isRunning() || shellProperty(QStringLiteral("OverviewActive")).isValid();
    });
    if (!up || !shell_->isRunning())
        setupFailed(QStringLiteral("GNOME Shell did not start. Its log:\n%1").arg(this->log()));
    try {
        keyboard_ = keys::gnome::openRemoteKeyboard(bus_, keys::gnome::TypingWay::Mutter, {});
    } catch (const keys::KeyError& e) {
        setupFailed(QStringLiteral("GNOME Shell gives no keyboard: %1").arg(e.description()));
    }
}

GnomeShellSession::~GnomeShellSession()
{
    keyboard_.reset();
    windows_.reset();
    QDBusConnection::disconnectFromBus(bus_.name());
    shell_->stop();
    buses_.clear();
}

// A bus that starts no services: the Shell gets only what the test starts.
void GnomeShellSession::startBus(const QString& name)
{
    const QString config = dir_.filePath(name + QStringLiteral(".conf"));
    const QString socket = runtime_ + QLatin1Char('/') + name;
    writeFile(config, QStringLiteral("<busconfig><type>session</type>"
                                     "<listen>unix:path=%1</listen><auth>EXTERNAL</auth>"
                                     "<policy context=\"default\"><allow send_destination=\"*\" "
                                     "eavesdrop=\"true\"/><allow eavesdrop=\"true\"/>"
                                     "<allow own=\"*\"/></policy></busconfig>")
                          .arg(socket)
                          .toUtf8());
    buses_.push_back(std::make_unique<ChildProcess>(
        QStringLiteral("dbus-daemon"),
        QStringList{QStringLiteral("--config-file=") + config, QStringLiteral("--nofork")}));
    if (!waitUntil(10000, [&] { return QFileInfo::exists(socket); }))
        setupFailed(QStringLiteral("dbus-daemon did not start a %1 bus").arg(name));
}

QString GnomeShellSession::log() const
{
    QFile f(dir_.filePath(QStringLiteral("shell.log")));
    return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
}

QString GnomeShellSession::shellVersion()
{
    return shellProperty(QStringLiteral("ShellVersion")).toString();
}

QVariant GnomeShellSession::shellProperty(const QString& name)
{
    QDBusMessage get = QDBusMessage::createMethodCall(
        shellService, QStringLiteral("/org/gnome/Shell"),
        QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"));
    get << shellService << name;
    const QDBusMessage reply = bus_.call(get, QDBus::Block, 2000);
    if (reply.type() != QDBusMessage::ReplyMessage)
        return {};
    return reply.arguments().value(0).value<QDBusVariant>().variant();
}

bool GnomeShellSession::setExtensionEnabled(bool enabled)
{
    QDBusMessage call = QDBusMessage::createMethodCall(
        shellService, QStringLiteral("/org/gnome/Shell"),
        QStringLiteral("org.gnome.Shell.Extensions"),
        enabled ? QStringLiteral("EnableExtension") : QStringLiteral("DisableExtension"));
    call << keys::gnome::extensionUuid;
    bus_.call(call, QDBus::Block, 5000);
    return waitUntil(10000, [&] {
        try {
            windows_->focus();
            return enabled;
        } catch (const std::exception&) {
            return !enabled;
        }
    });
}

bool GnomeShellSession::overviewOpen()
{
    return shellProperty(QStringLiteral("OverviewActive")).toBool();
}

bool GnomeShellSession::waitForWindow(const QString& title, int timeoutMs)
{
    return waitUntil(timeoutMs, [&] {
        try {
            const std::vector<keys::gnome::ShellWindow> windows = windows_->list();
            return std::any_of(windows.begin(), windows.end(),
                               [&](const keys::gnome::ShellWindow& w) { return w.title == title; });
        } catch (const std::exception&) {
            return false; // a Shell that is still starting may not answer in time
        }
    });
}

QString GnomeShellSession::activeTitle()
{
    const std::uint64_t focused = windows_->focus().window;
    for (const keys::gnome::ShellWindow& w : windows_->list())
        if (w.id == focused)
            return w.title;
    return {};
}

void GnomeShellSession::activate(const QString& title)
{
    for (const keys::gnome::ShellWindow& w : windows_->list())
        if (w.title == title)
            windows_->activate(w.id);
}

} // namespace testsupport
