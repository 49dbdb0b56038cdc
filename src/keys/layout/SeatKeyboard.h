// SPDX-License-Identifier: MIT
#pragma once
// A keyboard of our own on the seat, for the keymap the compositor gives
// every client: the user's layout, which keys sent as key codes are read in.
// Core Wayland only.
#include "keys/layout/SeatLayout.h"

#include <memory>

struct wl_keyboard;
struct wl_seat;

namespace keys::layout {

class SeatKeyboard {
public:
    // Asks for the seat's keyboard; the keymap arrives with the next events
    // read from the connection.
    explicit SeatKeyboard(wl_seat* seat);
    ~SeatKeyboard();
    SeatKeyboard(const SeatKeyboard&) = delete;
    SeatKeyboard& operator=(const SeatKeyboard&) = delete;

    // The layout of the last keymap the compositor sent: nullptr until one
    // arrived. A keymap that could not be read throws its KeyError here.
    std::shared_ptr<const SeatLayout> layout() const;

    // Handlers of the wl_keyboard events.
    void takeKeymap(std::uint32_t format, int fd, std::uint32_t size);

private:
    wl_keyboard* keyboard_ = nullptr;
    std::shared_ptr<const SeatLayout> layout_;
    QString error_;
};

} // namespace keys::layout
