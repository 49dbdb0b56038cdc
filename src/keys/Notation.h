#pragma once
#include "keys/KeyEvent.h"
#include "keys/KeySender.h"

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

// Reads a whole key string into the keys it types. Throws NotationError.
// Positions count characters (a surrogate pair is one character).
KeyEvents parseKeyString(const QString& text);

// The usual name of a special key in braces, without the braces ("PGDN").
QString specialKeyName(SpecialKey key);

// The special key a braced name stands for, ignoring case; aliases such as
// "BS", "BKSP", "DEL" and "INS" included.
std::optional<SpecialKey> specialKeyFromName(const QString& name);

} // namespace keys
