// SPDX-License-Identifier: MIT
#pragma once
// Internal to the X11 backend: which key and modifiers type a key symbol on
// the active layout and group, which keys press the modifiers, and which
// keycodes are free to carry symbols the layout lacks.
#include "keys/x11/XConnection.h"

#include <X11/XKBlib.h>

#include <array>
#include <map>
#include <unordered_map>
#include <vector>

namespace keys::x11 {

// The symbols of a keycode's first group: plain, and with Shift.
using LevelSymbols = std::array<KeySym, 2>;

struct KeyOnLayout {
    KeyCode code = 0;
    unsigned mods = 0; // real modifiers that select the level
};

class Keymap {
public:
    // A snapshot of the server's keyboard map and state. Keycodes that still
    // carry the symbols we bound to them count as spare, not as layout.
    Keymap(Display* dpy, const std::map<KeyCode, LevelSymbols>& borrowed);
    ~Keymap();
    Keymap(const Keymap&) = delete;
    Keymap& operator=(const Keymap&) = delete;

    bool valid() const { return xkb_ != nullptr; }
    // The key for a Unicode character (printable only), or none.
    const KeyOnLayout* forCharacter(char32_t c) const;
    // The key for a key symbol such as F5 or Return, or none.
    const KeyOnLayout* forKeysym(KeySym sym) const;
    // A key that holds this one real modifier (0: none).
    KeyCode keyForModifier(unsigned mask) const;
    const std::vector<KeyCode>& spareKeycodes() const { return spare_; }
    // The keycode's symbols (NoSymbol where it has none).
    LevelSymbols symbolsAt(KeyCode code) const;

    // False when pressing this key with the real modifiers held does more
    // than its plain press: with a group-toggle option, Shift under Alt
    // (or Ctrl) switches the layout instead of holding Shift.
    bool pressIsPlain(KeyCode code, unsigned held) const;

    // The group (layout) the keys were looked up in.
    unsigned group() const { return group_; }
    unsigned altMask() const { return altMask_; }
    unsigned numLockMask() const { return numLockMask_; }
    unsigned lockedMods() const { return lockedMods_; }

private:
    unsigned effectiveGroup(KeyCode code) const;
    void indexLevels(KeyCode code);
    void consider(KeyCode code, unsigned level, unsigned mods, KeySym sym);
    unsigned modsForLevel(const XkbKeyTypeRec& type, unsigned level, bool& reachable) const;
    void findModifierKeys();

    XkbDescPtr xkb_ = nullptr;
    unsigned group_ = 0;
    unsigned lockedMods_ = 0;
    unsigned altMask_ = Mod1Mask;
    unsigned numLockMask_ = 0;
    KeyCode modifierKeys_[8] = {};
    std::unordered_map<char32_t, KeyOnLayout> byCharacter_;
    std::unordered_map<KeySym, KeyOnLayout> byKeysym_;
    std::vector<KeyCode> spare_;
};

} // namespace keys::x11
