#pragma once
#include "keys/KeyEvent.h"
#include "keys/KeySender.h"

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

// Reads a whole key string into the keys it types. Throws NotationError.
KeyEvents parseKeyString(const QString& text);

} // namespace keys
