// SPDX-License-Identifier: MIT
#pragma once
#include "keys/KeyEvent.h"

#include <cstdint>

namespace keys {

// The keysym a special key types. X11 and XKB number keysyms alike, so both
// backends take it from here.
std::uint32_t keysymOf(SpecialKey key);

} // namespace keys
