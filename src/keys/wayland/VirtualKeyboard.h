// SPDX-License-Identifier: MIT
#pragma once
// Internal to the Wayland backend: Typomat's own keyboard on the seat.
#include "keys/wayland/OwnKeymap.h"

#include <chrono>
#include <memory>

struct zwp_virtual_keyboard_v1;

namespace keys::wayland {

class WaylandDisplay;

// Created once per connection: a new keyboard drops its first keys until
// the compositor and the target have taken its keymap.
class VirtualKeyboard {
public:
    // Creates the keyboard with the base keymap and waits until the
    // compositor has taken it. Throws KeyError.
    explicit VirtualKeyboard(WaylandDisplay& display);
    ~VirtualKeyboard();
    VirtualKeyboard(const VirtualKeyboard&) = delete;
    VirtualKeyboard& operator=(const VirtualKeyboard&) = delete;

    const OwnKeymap& keymap() const { return *keymap_; }
    // Hands the compositor a new keymap and waits until it has taken it.
    // Throws KeyError.
    void use(std::unique_ptr<OwnKeymap> keymap);
    // Queues a key event; XKB keycode.
    void key(std::uint32_t code, bool press);
    // Queues the modifier state: the held (depressed) and locked masks.
    void modifiers(std::uint32_t depressed, std::uint32_t locked);

private:
    void upload();
    std::uint32_t now() const;

    WaylandDisplay& display_;
    zwp_virtual_keyboard_v1* keyboard_ = nullptr;
    std::unique_ptr<OwnKeymap> keymap_;
    std::chrono::steady_clock::time_point epoch_ = std::chrono::steady_clock::now();
};

} // namespace keys::wayland
