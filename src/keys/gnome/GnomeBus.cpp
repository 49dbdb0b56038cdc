// SPDX-License-Identifier: MIT
#include "keys/gnome/GnomeBus.h"
#include "keys/KeySender.h"

#include <QAtomicInteger>
#include <QDBusVariant>
#include <QFileInfo>

namespace keys::gnome {

namespace {

// $DBUS_SESSION_BUS_ADDRESS, or the user's bus where systemd keeps it. Never
// a bus started on the spot (as libdbus would through the X display).
QString sessionBusAddress()
{
    const QString address = qEnvironmentVariable("DBUS_SESSION_BUS_ADDRESS");
    if (!address.isEmpty())
        return address;
    const QString socket = qEnvironmentVariable("XDG_RUNTIME_DIR") + QStringLiteral("/bus");
    return QFileInfo(socket).isWritable() ? QStringLiteral("unix:path=") + socket : QString();
}

} // namespace

QDBusConnection openSessionBus()
{
    static QAtomicInteger<int> serial;
    const QString address = sessionBusAddress();
    if (address.isEmpty())
        throw KeyError(QStringLiteral("Typomat finds no session bus (DBUS_SESSION_BUS_ADDRESS is "
                                      "empty), so it can neither find windows nor type into "
                                      "them."));
    const QString name = QStringLiteral("typomat-gnome-%1").arg(serial.fetchAndAddRelaxed(1));
    QDBusConnection bus = QDBusConnection::connectToBus(address, name);
    if (!bus.isConnected()) {
        QDBusConnection::disconnectFromBus(name);
        throw KeyError(QStringLiteral("Typomat cannot reach the session bus (%1), so it can "
                                      "neither find windows nor type into them.")
                           .arg(address));
    }
    return bus;
}

void closeSessionBus(const QDBusConnection& bus)
{
    QDBusConnection::disconnectFromBus(bus.name());
}

QDBusMessage callOrThrow(const QDBusConnection& bus, const QDBusMessage& call, const QString& what,
                         int limitMs)
{
    const QDBusMessage reply = bus.call(call, QDBus::Block, limitMs);
    if (reply.type() == QDBusMessage::ReplyMessage)
        return reply;
    throw KeyError(QStringLiteral("%1 did not answer as expected (%2: %3), so nothing more was "
                                  "done.")
                       .arg(what, reply.errorName(), reply.errorMessage()));
}

QVariant readProperty(const QDBusConnection& bus, const QString& service, const QString& path,
                      const QString& interface, const QString& name, int limitMs)
{
    QDBusMessage get = QDBusMessage::createMethodCall(
        service, path, QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"));
    get << interface << name;
    const QDBusMessage reply = bus.call(get, QDBus::Block, limitMs);
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty())
        return {};
    return reply.arguments().constFirst().value<QDBusVariant>().variant();
}

} // namespace keys::gnome
