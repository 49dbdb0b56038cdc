// SPDX-License-Identifier: MIT
#pragma once
// Parsed keys as the keys to press, with what typing must know about each:
// which symbol, which modifiers the key string holds, and whether the key
// may make the target open or switch windows.
#include "keys/KeyEvent.h"

#include <QString>

#include <cstdint>
#include <vector>

namespace keys::layout {

using Keysym = std::uint32_t;

struct PlannedKey {
    Keysym sym = 0;
    char32_t character = 0;     // the character typed, or 0 for a special key
    bool text = false;          // a character other than a line break or tab
    unsigned mods = NoModifier; // keys::Modifier bits held by the key string
    bool lockKey = false;       // Caps Lock or Num Lock
    bool commandKey = false;    // F1-F16, or any key with Ctrl or Alt
    bool enterOrEscape = false;
    bool opensMenu = false;     // Alt with a character, or F10: a menu bar's keys
};

// The symbol a character types, or 0 when there is none. Line breaks and
// tabs type Return and Tab.
Keysym keysymOfCharacter(char32_t c);

// The keys for the events. Throws KeyError for a character without a symbol.
std::vector<PlannedKey> planKeys(const KeyEvents& events);

// Where the character first stands in the key string, counting characters
// from 1 as the notation's messages do (a surrogate pair is one); 0 when it
// is not there.
int characterPosition(const QString& keys, char32_t c);

} // namespace keys::layout
