// SPDX-License-Identifier: MIT
#pragma once
// Public face of the GNOME backend: no D-Bus header here.
#include "keys/KeySender.h"
#include "keys/layout/KeyPlan.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

namespace keys {

namespace gnome {
struct GnomeSession;
class FocusGuard;
struct Pace;
}

// Window activation and keystroke sending on GNOME Shell under Wayland.
// Windows are listed and brought to the front by Typomat's own Shell
// extension (which answers only Typomat); keys are typed through GNOME's
// remote desktop service, or its portal where that remembers the user's
// consent. The session bus of $DBUS_SESSION_BUS_ADDRESS is opened at first
// use.
class GnomeKeySender final : public KeySender {
public:
    GnomeKeySender();
    ~GnomeKeySender() override;

    // True when GNOME Shell answers on the session bus.
    static bool runsOnGnomeShell();
    // Empty when the extension serves; otherwise the sentence that says
    // what to do.
    static QString missingSupport();

    void AppActivate(const QString& title) override;
    void SendKeys(const QString& keys, bool wait) override;
    void checkKeys(const QString& keys) const override;

    // After a key that may open or switch windows, the least wait; for a
    // target whose process cannot be seen, the wait. From the settings
    // file's [Keys] CommandPauseMs.
    void setCommandPauseMs(int ms);

private:
    gnome::GnomeSession& session() const;
    std::vector<layout::PlannedKey> plan(const QString& keys) const;

    mutable std::unique_ptr<gnome::GnomeSession> session_;
    std::unique_ptr<gnome::Pace> pace_;
    std::unique_ptr<gnome::FocusGuard> guard_;
};

} // namespace keys
