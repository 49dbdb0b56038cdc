// SPDX-License-Identifier: MIT
#include "keys/gnome/ShellWindows.h"
#include "keys/KeyErrorTexts.h"
#include "keys/KeySender.h"
#include "keys/gnome/GnomeBus.h"

#include <QCoreApplication>
#include <QDBusArgument>
#include <QDBusMetaType>
#include <QDBusVariant>

namespace keys::gnome {

namespace {

const QString shell = QStringLiteral("org.gnome.Shell");
const QString windowsPath = QStringLiteral("/org/typomat/Windows");
const QString windowsInterface = QStringLiteral("org.typomat.Windows");

// The extension waits up to 2 s for the focus; the call may take a little
// longer than that.
constexpr int activateLimitMs = 3000;

QDBusMessage windowsCall(const QString& method)
{
    return QDBusMessage::createMethodCall(shell, windowsPath, windowsInterface, method);
}

// The Shell's numbers for an extension's state.
ExtensionState stateOf(const QVariantMap& info)
{
    if (info.isEmpty())
        return ExtensionState::Unknown;
    switch (info.value(QStringLiteral("state")).toInt()) {
    case 1: return ExtensionState::Enabled;
    case 3: return ExtensionState::Failed;
    case 4: return ExtensionState::OutOfDate;
    case 99: return ExtensionState::Unknown; // uninstalled
    default: return ExtensionState::Disabled;
    }
}

} // namespace

QString extensionMissingText(const ExtensionStatus& status)
{
    switch (status.state) {
    case ExtensionState::Enabled: return {};
    case ExtensionState::Disabled: return errors::gnomeExtensionDisabled(extensionUuid);
    case ExtensionState::Unknown: return errors::gnomeExtensionNotLoaded(extensionUuid);
    case ExtensionState::Failed: return errors::gnomeExtensionFailed(extensionUuid, status.error);
    case ExtensionState::OutOfDate: return errors::gnomeExtensionOutOfDate(extensionUuid);
    case ExtensionState::NoShell: return errors::gnomeShellUnreachable();
    }
    return {};
}

ExtensionStatus ShellWindows::status() const
{
    QDBusMessage call = QDBusMessage::createMethodCall(
        shell, QStringLiteral("/org/gnome/Shell"), QStringLiteral("org.gnome.Shell.Extensions"),
        QStringLiteral("GetExtensionInfo"));
    call << extensionUuid;
    const QDBusMessage reply = bus_.call(call, QDBus::Block, callLimitMs);
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty())
        return {ExtensionState::NoShell, {}};
    QVariantMap info;
    reply.arguments().constFirst().value<QDBusArgument>() >> info;
    return {stateOf(info), info.value(QStringLiteral("error")).toString()};
}

// A call the extension refuses (it answers only the installed program) gets
// its own words; one that finds no extension says why it is not there.
QDBusMessage ShellWindows::call(const QDBusMessage& call, int limitMs) const
{
    const QDBusMessage reply = bus_.call(call, QDBus::Block, limitMs);
    if (reply.type() == QDBusMessage::ReplyMessage)
        return reply;
    if (reply.errorName() == QLatin1String("org.freedesktop.DBus.Error.AccessDenied"))
        throw KeyError(errors::gnomeExtensionRefused(QCoreApplication::applicationFilePath(),
                                                     reply.errorMessage()));
    if (reply.errorName() == QLatin1String("org.freedesktop.DBus.Error.UnknownObject")
        || reply.errorName() == QLatin1String("org.freedesktop.DBus.Error.UnknownMethod")) {
        const QString missing = extensionMissingText(status());
        throw KeyError(missing.isEmpty() ? errors::gnomeExtensionNotLoaded(extensionUuid)
                                         : missing);
    }
    throw KeyError(QStringLiteral("Typomat's GNOME Shell extension did not answer (%1: %2), so "
                                  "nothing more was typed.")
                       .arg(reply.errorName(), reply.errorMessage()));
}

std::vector<ShellWindow> ShellWindows::list() const
{
    const QDBusMessage reply = call(windowsCall(QStringLiteral("List")), callLimitMs);
    std::vector<ShellWindow> windows;
    const QDBusArgument rows = reply.arguments().value(0).value<QDBusArgument>();
    rows.beginArray();
    while (!rows.atEnd()) {
        ShellWindow w;
        qulonglong id = 0, parent = 0;
        uint pid = 0;
        rows.beginStructure();
        rows >> id >> w.title >> w.appId >> parent >> pid >> w.focused;
        rows.endStructure();
        w.id = id;
        w.parent = parent;
        w.pid = static_cast<long>(pid);
        windows.push_back(std::move(w));
    }
    rows.endArray();
    return windows;
}

bool ShellWindows::activate(std::uint64_t window) const
{
    QDBusMessage call = windowsCall(QStringLiteral("Activate"));
    call << QVariant::fromValue(static_cast<qulonglong>(window));
    return this->call(call, activateLimitMs).arguments().value(0).toBool();
}

KeyboardFocus ShellWindows::focus() const
{
    const QVariantList answer =
        call(windowsCall(QStringLiteral("Focus")), callLimitMs).arguments();
    return {answer.value(0).toULongLong(), answer.value(1).toULongLong()};
}

void ShellWindows::dispatched() const
{
    call(windowsCall(QStringLiteral("Dispatched")), callLimitMs);
}

std::uint32_t ShellWindows::keyboardLayout() const
{
    return call(windowsCall(QStringLiteral("KeyboardLayout")), callLimitMs)
        .arguments()
        .value(0)
        .toUInt();
}

} // namespace keys::gnome
