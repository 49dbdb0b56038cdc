// SPDX-License-Identifier: MIT
#pragma once
// Internal to the GNOME backend: the keyboard layout GNOME types keysyms
// with, read from the keymap GNOME Shell gives every Wayland client.
#include "keys/layout/SeatLayout.h"
#include "keys/wayland/WaylandConnection.h"

#include <memory>

struct wl_seat;

namespace keys::layout {
class SeatKeyboard;
}

namespace keys::gnome {

class GnomeLayout : public wayland::WaylandConnection {
public:
    // Connects to $WAYLAND_DISPLAY; throws DisplayUnavailable when that
    // fails or the Shell does not answer.
    GnomeLayout();
    ~GnomeLayout();

    // The keymap as the Shell sends it now (it sends a new one when the
    // user's layouts change). Throws KeyError when none came.
    std::shared_ptr<const layout::SeatLayout> current();

private:
    // A round trip; throws when it fails.
    void readRound();

    wl_seat* seat_ = nullptr;
    std::unique_ptr<layout::SeatKeyboard> keyboard_;

    friend struct GnomeLayoutEvents;
};

} // namespace keys::gnome
