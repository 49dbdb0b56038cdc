// SPDX-License-Identifier: MIT
#pragma once
// Public face of the Wayland backend: no Wayland header here.
#include "keys/KeySender.h"

#include <QStringList>

#include <memory>
#include <optional>

namespace keys {

namespace wayland {
class WaylandDisplay;
class VirtualKeyboard;
struct Toplevel;
struct Followed;
class XwaylandMapping;
}

// Window activation and keystroke sending on a Wayland desktop whose
// compositor lists and activates windows (zwlr_foreign_toplevel_manager_v1)
// and accepts a client's keyboard (zwp_virtual_keyboard_manager_v1): sway,
// Hyprland, river, labwc, Wayfire. The display of $WAYLAND_DISPLAY is
// opened at first use, and the keyboard is created once with it.
class WaylandKeySender final : public KeySender {
public:
    // ownAppIds: the application ids of Typomat's own windows, which the
    // title search never picks (compared ignoring case). Empty: the
    // program's name and its file name.
    explicit WaylandKeySender(QStringList ownAppIds = {});
    ~WaylandKeySender() override;

    struct Support {
        bool answers = false; // the display of $WAYLAND_DISPLAY is there and answers
        QString missing;      // empty: this desktop serves the backend; else what is missing
    };
    static Support support();

    void AppActivate(const QString& title) override;
    void SendKeys(const QString& keys, bool wait) override;

    // After a key that may open or switch windows (Ctrl or Alt shortcuts,
    // F1 to F16, Enter or Escape in a dialog): the least time typing waits
    // for every target, and how long it waits for a window change where it
    // cannot see the target's process. From the settings file's [Keys]
    // CommandPauseMs; without it, no least time and 150 ms.
    void setCommandPauseMs(int ms);

private:
    wayland::WaylandDisplay& session();
    bool isOwn(const wayland::Toplevel& window) const;
    const wayland::Toplevel* pickByTitle(const QString& title) const;
    void follow(const wayland::Toplevel* window);

    QStringList ownAppIds_;
    std::optional<int> commandPauseMs_;
    std::unique_ptr<wayland::WaylandDisplay> display_;
    std::unique_ptr<wayland::VirtualKeyboard> keyboard_;
    std::unique_ptr<wayland::Followed> followed_;
    std::unique_ptr<wayland::XwaylandMapping> xwayland_; // once an X11 program was typed into
};

} // namespace keys
