// SPDX-License-Identifier: MIT
#pragma once
// Public face of the KDE backend: no Wayland header here.
#include "keys/KeySender.h"

#include <chrono>
#include <cstdint>
#include <memory>

namespace keys {

namespace kde {
class KWinDisplay;
struct PlasmaWindow;
struct Pace;
}

// Window activation and keystroke sending on KDE Plasma's Wayland session:
// KWin lists and activates windows (org_kde_plasma_window_management) and
// takes keys as key codes it reads in the user's layout
// (org_kde_kwin_fake_input). KWin offers both only to a program whose
// desktop entry names its path and the two interfaces. Native Wayland and
// XWayland windows alike. The display of $WAYLAND_DISPLAY is opened at
// first use.
class KdeKeySender final : public KeySender {
public:
    KdeKeySender();
    ~KdeKeySender() override;

    struct Support {
        bool kwin = false; // the compositor is KWin
        QString missing;   // empty: both interfaces are offered; else why not
    };
    // What the compositor of $WAYLAND_DISPLAY offers this program.
    static Support support();

    void AppActivate(const QString& title) override;
    void SendKeys(const QString& keys, bool wait) override;
    // Also refuses a key the layout in use cannot type, naming it.
    void checkKeys(const QString& keys) const override;

    // How long typing waits after a key that may open or switch windows,
    // where the target's process cannot be watched.
    void setCommandPauseMs(int ms);

private:
    kde::KWinDisplay& session() const;
    const kde::PlasmaWindow* pickByTitle(const QString& title) const;

    std::unique_ptr<kde::Pace> pace_;
    mutable std::unique_ptr<kde::KWinDisplay> display_;
    const kde::PlasmaWindow* target_ = nullptr;
    // Windows newer than this appeared after the target was activated.
    std::uint64_t newSince_ = 0;
};

} // namespace keys
