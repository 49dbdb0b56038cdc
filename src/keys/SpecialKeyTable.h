// SPDX-License-Identifier: MIT
#pragma once
#include <span>

namespace keys {

// One of the 38 special-key buttons: its control name, caption, the code it
// inserts into a key box, and its place in the block (row and column from 1;
// span is the number of columns it covers).
struct SpecialKeyButton {
    const char* controlName;
    const char* caption;
    const char* code;
    int row;
    int column;
    int span = 1;

    // Its place in twips, relative to the frame holding the block.
    int leftTwips() const { return 120 + 480 * (column - 1); }
    int topTwips() const { return 240 + 360 * (row - 1); }
    int widthTwips() const { return span == 1 ? 495 : 975; }
    int heightTwips() const { return 375; }
};

// The 38 buttons in tab order: the function keys, then the other keys
// column by column.
std::span<const SpecialKeyButton> specialKeyTable();

} // namespace keys
