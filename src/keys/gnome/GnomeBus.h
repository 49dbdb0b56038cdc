// SPDX-License-Identifier: MIT
#pragma once
// Internal to the GNOME backend: bounded calls on the session bus.
#include <QDBusConnection>
#include <QDBusMessage>
#include <QString>

namespace keys::gnome {

// How long any one call may take before it counts as not answered.
inline constexpr int callLimitMs = 3000;

// A connection of its own to the session bus of $DBUS_SESSION_BUS_ADDRESS:
// sessions opened on it end when it closes. Throws KeyError when the bus
// cannot be reached.
QDBusConnection openSessionBus();
void closeSessionBus(const QDBusConnection& bus);

// Calls and waits for the reply, at most limitMs. Throws KeyError naming
// what did not answer (what: "GNOME Shell", "Typomat's GNOME Shell
// extension") when the call fails or times out.
QDBusMessage callOrThrow(const QDBusConnection& bus, const QDBusMessage& call, const QString& what,
                         int limitMs = callLimitMs);

// Reads a property; an invalid QVariant when it cannot be read.
QVariant readProperty(const QDBusConnection& bus, const QString& service, const QString& path,
                      const QString& interface, const QString& name, int limitMs = callLimitMs);

} // namespace keys::gnome
