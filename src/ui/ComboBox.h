// SPDX-License-Identifier: MIT
#pragma once

class QComboBox;

namespace ui {

// Makes an editable, unsorted combo box whose typed text stays exactly as
// typed: no completion, no list entry made from it, and leaving the edit
// field (or pressing Enter) with a listed text is not taken as a pick. Only a
// pick from the list emits activated(); the mouse wheel over the closed box
// does nothing. The edit field holds a text of any length.
void makeEditableCombo(QComboBox* box);

} // namespace ui
