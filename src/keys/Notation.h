// SPDX-License-Identifier: MIT
#pragma once
#include "keys/KeyEvent.h"
#include "keys/KeyError.h"

#include <cstddef>
#include <optional>

namespace keys {

// A key string that cannot be read. position is the 1-based character of the
// key string at which the fault stands.
class NotationError : public KeyError {
public:
    NotationError(const QString& description, int position)
        : KeyError(description), position_(position) {}
    int position() const { return position_; }
private:
    int position_;
};

// The largest count a braced code may repeat its key: "{x 10000}".
inline constexpr int maxRepeatCount = 10000;

// The most keys one key string may type. A longer one is refused before
// anything is sent, by every backend: it bounds the memory a run takes
// (about 50 bytes a key) and its length. Its message: errors::tooManyKeys().
inline constexpr std::size_t maxKeyEvents = 1000000;

// Characters that no backend types, whatever the layout: the control
// characters other than tab, line feed and carriage return (which the
// notation reads as Tab and Enter), DEL, the C1 controls U+0080 to U+009F,
// and the noncharacters (U+FDD0 to U+FDEF and the last two code points of
// every plane, such as U+FFFE). A key string holding one is refused before
// anything is sent, as is half of a surrogate pair.
bool isControlCharacter(char32_t c);
bool isNoncharacter(char32_t c);

// Reads a whole key string into the keys it types. Throws NotationError.
// Positions count characters (a surrogate pair is one character).
KeyEvents parseKeyString(const QString& text);

// The usual name of a special key in braces, without the braces ("PGDN").
QString specialKeyName(SpecialKey key);

// The special key a braced name stands for, ignoring case; aliases such as
// "BS", "BKSP", "DEL" and "INS" included.
std::optional<SpecialKey> specialKeyFromName(const QString& name);

} // namespace keys
