// SPDX-License-Identifier: MIT
#include "keys/wayland/VirtualKeyboard.h"
#include "keys/KeySender.h"
#include "keys/wayland/WaylandDisplay.h"

#include "virtual-keyboard-unstable-v1-client-protocol.h"

#include <wayland-client.h>

#include <sys/mman.h>
#include <unistd.h>

namespace keys::wayland {

namespace {

constexpr std::uint32_t keymapFormatXkbV1 = WL_KEYBOARD_KEYMAP_FORMAT_XKB_V1;
constexpr std::chrono::milliseconds newKeyboardSettle{60};

[[noreturn]] void connectionLost()
{
    throw KeyError(QStringLiteral("The connection to the Wayland compositor was lost, "
                                  "so nothing was typed."));
}

} // namespace

VirtualKeyboard::VirtualKeyboard(WaylandDisplay& display)
    : display_(display), keymap_(std::make_unique<OwnKeymap>())
{
    keyboard_ = zwp_virtual_keyboard_manager_v1_create_virtual_keyboard(
        display.keyboardManager(), display.seat());
    upload();
    // Even with its keymap taken, a new keyboard's first keys were lost on
    // sway 1.7 (a fresh foot dropped the first 20 characters 1 to 2 times
    // in 5) unless some 30 ms passed first; once per connection.
    const auto ready = std::chrono::steady_clock::now() + newKeyboardSettle;
    while (std::chrono::steady_clock::now() < ready)
        if (!display_.dispatch(5))
            connectionLost();
}

VirtualKeyboard::~VirtualKeyboard()
{
    if (keyboard_)
        zwp_virtual_keyboard_v1_destroy(keyboard_);
}

void VirtualKeyboard::use(std::unique_ptr<OwnKeymap> keymap)
{
    keymap_ = std::move(keymap);
    upload();
}

void VirtualKeyboard::upload()
{
    const std::string& text = keymap_->text();
    const int fd = memfd_create("typomat-keymap", MFD_CLOEXEC);
    const auto size = static_cast<ssize_t>(text.size() + 1); // with the final NUL
    if (fd < 0 || write(fd, text.c_str(), static_cast<size_t>(size)) != size) {
        if (fd >= 0)
            close(fd);
        throw KeyError(QStringLiteral("The keyboard map for typing could not be handed "
                                      "to the Wayland compositor."));
    }
    // The request carries a copy of the descriptor.
    zwp_virtual_keyboard_v1_keymap(keyboard_, keymapFormatXkbV1, fd,
                                   static_cast<std::uint32_t>(size));
    close(fd);
    // A modifier change makes our keyboard the seat's current one, so the
    // compositor passes the new keymap to the focused window before any key.
    zwp_virtual_keyboard_v1_modifiers(keyboard_, 0, 0, 0, 0);
    if (!display_.roundtrip())
        connectionLost();
}

void VirtualKeyboard::key(std::uint32_t code, bool press)
{
    // Wayland key codes are XKB keycodes less 8 (the evdev numbering).
    zwp_virtual_keyboard_v1_key(keyboard_, now(), code - 8,
                                press ? WL_KEYBOARD_KEY_STATE_PRESSED
                                      : WL_KEYBOARD_KEY_STATE_RELEASED);
}

void VirtualKeyboard::modifiers(std::uint32_t depressed, std::uint32_t locked)
{
    zwp_virtual_keyboard_v1_modifiers(keyboard_, depressed, 0, locked, 0);
}

std::uint32_t VirtualKeyboard::now() const
{
    return static_cast<std::uint32_t>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                          std::chrono::steady_clock::now() - epoch_)
                                          .count());
}

} // namespace keys::wayland
