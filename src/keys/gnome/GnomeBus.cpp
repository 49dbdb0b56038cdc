// SPDX-License-Identifier: MIT
#include "keys/gnome/GnomeBus.h"
#include "keys/KeySender.h"

#include <QAtomicInteger>
#include <QDBusVariant>

namespace keys::gnome {

QDBusConnection openSessionBus()
{
    static QAtomicInteger<int> serial;
    const QString address = qEnvironmentVariable("DBUS_SESSION_BUS_ADDRESS");
    const QString name = QStringLiteral("typomat-gnome-%1").arg(serial.fetchAndAddRelaxed(1));
    QDBusConnection bus = address.isEmpty()
        ? QDBusConnection::connectToBus(QDBusConnection::SessionBus, name)
        : QDBusConnection::connectToBus(address, name);
    if (!bus.isConnected()) {
        QDBusConnection::disconnectFromBus(name);
        throw KeyError(QStringLiteral("Typomat cannot reach the session bus (%1), so it can "
                                      "neither reach the windows nor type.")
                           .arg(address.isEmpty() ? QStringLiteral("DBUS_SESSION_BUS_ADDRESS is "
                                                                   "empty")
                                                  : address));
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
