// SPDX-License-Identifier: MIT
#pragma once

class QGroupBox;
class QPlainTextEdit;
class QString;

namespace keys {

// Builds the block of 38 special-key buttons (cmdF1 ... cmdPD) inside the
// frame, at their places in twips, each inserting its code into target: the
// code replaces the selection or goes in at the caret, the caret ends after
// it, and the target gets the keyboard focus.
void buildSpecialKeyBlock(QGroupBox* frame, QPlainTextEdit* target);

// What a click on a special-key button does with its code.
void insertKeyCode(QPlainTextEdit* target, const QString& code);

} // namespace keys
