// SPDX-License-Identifier: MIT
#pragma once
// Internal to the Wayland backend: the keymap Typomat's virtual keyboard
// types with. It holds a US-style base (letters, digits, punctuation, the
// special keys, Shift, Ctrl and Alt) and, on keys of their own, the extra
// symbols the strings need, so every character is one key press.
#include "keys/KeyEvent.h"

#include <cstdint>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace keys::wayland {

using Keysym = std::uint32_t;

// A key of the keymap: its XKB keycode, and whether Shift picks the symbol.
struct KeyPlace {
    std::uint32_t code = 0;
    bool shifted = false;
};

class OwnKeymap {
public:
    // How many extra symbols fit beside the base: keycodes stay within the
    // 8-255 that X11 clients (XWayland) accept.
    static std::size_t capacity();
    // True when the base has the symbol, so it needs no key of its own.
    static bool inBase(Keysym sym);

    // The base plus these extras (at most capacity()). Throws KeyError when
    // the keymap cannot be built.
    explicit OwnKeymap(std::set<Keysym> extras = {});

    const std::set<Keysym>& extras() const { return extras_; }
    bool has(Keysym sym) const;
    std::optional<KeyPlace> place(Keysym sym) const;
    // The key of a modifier (Shift, Control, Alt) and its modifier mask.
    std::uint32_t modifierKey(Modifier modifier) const;
    std::uint32_t modifierMask(Modifier modifier) const;
    // The keymap in XKB's text format, with every include resolved.
    const std::string& text() const { return text_; }

private:
    std::set<Keysym> extras_;
    std::vector<std::pair<Keysym, KeyPlace>> places_; // sorted by symbol
    std::uint32_t shiftKey_ = 0, controlKey_ = 0, altKey_ = 0;
    std::uint32_t shiftMask_ = 0, controlMask_ = 0, altMask_ = 0;
    std::string text_;
};

} // namespace keys::wayland
