// SPDX-License-Identifier: MIT
#pragma once
// The keyboard layout the seat types with, read from the keymap the
// compositor gives its clients: which key, with which level modifiers, types
// a symbol. For desktops that take key codes and read them in the user's
// layout, where a client cannot bring a keymap of its own.
#include "keys/KeyEvent.h"
#include "keys/layout/KeyPlan.h"

#include <QString>

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>
#include <tuple>
#include <unordered_map>

struct xkb_context;
struct xkb_keymap;

namespace keys::layout {

// The modifiers that pick a key's level.
enum Level : unsigned {
    NoLevel = 0,
    LevelShift = 1,
    LevelThree = 2, // AltGr
    LevelFive = 4,
    // Not a level of its own, but how a few special keys are reached:
    // Break is Ctrl with Pause on a PC keyboard. Tried last.
    LevelControl = 8,
};

// The lock modifiers that are on at the seat.
struct Locks {
    bool caps = false;
    bool num = false;
};

// How to type a symbol: a key, numbered as Linux and Wayland number keys
// (the XKB keycode less 8), and the level modifiers held over it.
struct Stroke {
    std::uint32_t code = 0;
    unsigned levels = NoLevel;
};

class SeatLayout {
public:
    // keymap: the XKB text format, as wl_keyboard.keymap sends it. Throws
    // KeyError when it cannot be read.
    explicit SeatLayout(const std::string& keymap);
    ~SeatLayout();
    SeatLayout(const SeatLayout&) = delete;
    SeatLayout& operator=(const SeatLayout&) = delete;

    // The layouts the keymap holds (the user's configured ones, switched
    // between as groups) and their names, such as "English (US)".
    std::uint32_t layoutCount() const;
    QString layoutName(std::uint32_t layout) const;

    // The stroke that types sym in this layout with these locks on: the one
    // with the fewest level modifiers, then the lowest key. Nothing when the
    // layout has no key for it (dead keys and compose sequences do not count).
    std::optional<Stroke> find(Keysym sym, std::uint32_t layout, Locks locks) const;

    // The key that holds a modifier of the key string (Shift, Control, Alt).
    std::optional<std::uint32_t> modifierKey(Modifier modifier) const;
    // The key that holds a level modifier (one bit of Level).
    std::optional<std::uint32_t> levelKey(Level level) const;

private:
    struct ModifierKey {
        std::uint32_t keycode = 0; // XKB keycode; 0: the keymap has none
        std::uint32_t mask = 0;    // the modifiers it sets when held
    };
    using Table = std::unordered_map<Keysym, Stroke>;
    const Table& table(std::uint32_t layout, Locks locks) const;
    ModifierKey findModifierKey(std::initializer_list<Keysym> syms) const;
    std::uint32_t lockMask(Locks locks) const;

    struct XkbFree {
        void operator()(xkb_context* c) const;
        void operator()(xkb_keymap* k) const;
    };
    std::unique_ptr<xkb_context, XkbFree> context_;
    std::unique_ptr<xkb_keymap, XkbFree> keymap_;
    const ModifierKey& keyOf(unsigned levelBit) const;
    ModifierKey shift_, control_, alt_, levelThree_, levelFive_;
    mutable std::map<std::tuple<std::uint32_t, bool, bool>, Table> tables_;
};

// The layout to type a symbol in: the first of these layouts (the one in
// use, then those typing may switch to) that has a key for it; nothing
// when none has.
std::optional<std::uint32_t> layoutFor(Keysym sym, const SeatLayout& layout,
                                       const std::vector<std::uint32_t>& layouts);

// Throws KeyError naming the first key of the string that none of these
// layouts can type (a character with its place in the key string), so that
// nothing is sent. events and planned: the key string read and planned.
void refuseUntypable(const QString& keys, const KeyEvents& events,
                     const std::vector<PlannedKey>& planned, const SeatLayout& layout,
                     const std::vector<std::uint32_t>& layouts);

} // namespace keys::layout
