// SPDX-License-Identifier: MIT
#pragma once
#include <QString>
#include <vector>

namespace keys {

// Keys that the notation names in braces ({ENTER}, {F5}, ...).
enum class SpecialKey {
    Backspace, Break, CapsLock, Delete, Down, End, Enter, Escape, Help, Home,
    Insert, Left, NumLock, PageDown, PageUp, PrintScreen, Right, ScrollLock,
    Tab, Up,
    F1, F2, F3, F4, F5, F6, F7, F8, F9, F10, F11, F12, F13, F14, F15, F16,
    Add, Subtract, Multiply, Divide,
};

// Modifiers held by "+", "^" and "%".
enum Modifier : unsigned {
    NoModifier = 0,
    Shift = 1,
    Control = 2,
    Alt = 4,
};

// One key to type: an ordinary character (which types itself on whatever
// key and level produces it) or a special key, with the modifiers that the
// key string holds down over it.
struct KeyEvent {
    enum class Kind { Character, Special };
    Kind kind = Kind::Character;
    char32_t character = 0;            // Kind::Character
    SpecialKey special = SpecialKey::Enter; // Kind::Special
    unsigned modifiers = NoModifier;

    static KeyEvent ofCharacter(char32_t c, unsigned mods = NoModifier)
    {
        return {Kind::Character, c, SpecialKey::Enter, mods};
    }
    static KeyEvent ofSpecial(SpecialKey k, unsigned mods = NoModifier)
    {
        return {Kind::Special, 0, k, mods};
    }
    bool operator==(const KeyEvent&) const = default;
};

using KeyEvents = std::vector<KeyEvent>;

// A readable form for test failures and logs, e.g. "^+{F5}" or "a". It is
// written in the key notation: reading it back gives the same keys.
QString describe(const KeyEvent& event);
QString describe(const KeyEvents& events);

} // namespace keys
