// SPDX-License-Identifier: MIT
#pragma once
// Internal to the GNOME backend: keys typed through a remote desktop
// session. Each key is pressed and released by its keysym; the compositor
// finds the key and level for it on the active layout (and drops, without a
// word, a keysym the layout lacks).
#include <QDBusConnection>
#include <QString>

#include <cstdint>
#include <memory>
#include <optional>

namespace keys::gnome {

class RemoteKeyboard {
public:
    virtual ~RemoteKeyboard() = default;
    // Sends a key event at once, without waiting for an answer.
    virtual void key(std::uint32_t keysym, bool pressed) = 0;
    // Returns once the compositor has taken every key sent so far (it
    // answered a call sent after them). False when the session is gone.
    virtual bool sync() = 0;
    // True when the keys go to the same connection as the Shell's own
    // calls, so that an answer of the Shell (Typomat's extension) also
    // shows that every key sent before was taken.
    virtual bool orderedWithShell() const = 0;
    // Whether Caps Lock is on at the seat; nothing when that is not told.
    virtual std::optional<bool> capsLock() = 0;
};

// The two ways GNOME lets a program type.
enum class TypingWay {
    None,
    // The RemoteDesktop portal: a consent dialog that, from portal version
    // 2 on, is remembered (a restore token) and not asked again.
    Portal,
    // Mutter's own interface: no dialog, but private to GNOME.
    Mutter,
};

struct TypingOffers {
    unsigned portalVersion = 0; // 0: no RemoteDesktop portal
    bool portalKeyboard = false; // the portal offers a keyboard
    bool mutter = false;         // org.gnome.Mutter.RemoteDesktop answers
};

// The portal where it can remember the consent (version 2 or later),
// otherwise Mutter's interface, otherwise the portal asking each time.
TypingWay chooseTypingWay(const TypingOffers& offers);

TypingOffers lookForTypingWays(const QDBusConnection& bus);

// Opens a session the chosen way on the bus; it ends with the object, or
// when the connection closes. tokenFile keeps the portal's restore token
// between runs. Throws KeyError when the session cannot be opened (the
// user refused the portal's consent, the compositor does not answer).
std::unique_ptr<RemoteKeyboard> openRemoteKeyboard(const QDBusConnection& bus, TypingWay way,
                                                   const QString& tokenFile);

} // namespace keys::gnome
