// SPDX-License-Identifier: MIT
#pragma once
#include <QString>

class QLineEdit;
class QPlainTextEdit;

namespace ui {

// A multi-line text box holds its text as paragraphs: the characters that
// end a line in a loaded text (line feed, carriage return, U+2029) all become
// paragraph breaks, which toPlainText() gives back as line feeds, together
// with U+2028 turned into a line feed and U+00A0 into a space. These two
// keep every character as it was typed or loaded instead.

// Shows the text; while the box is left unedited, exactText() gives back
// this very text.
void setExactText(QPlainTextEdit* box, const QString& text);

// The box's text: each character as typed, a paragraph break as a line feed;
// the loaded text itself while the box is unedited since setExactText().
QString exactText(const QPlainTextEdit* box);

// Sets up a multi-line box for key strings and descriptions: Tab moves the
// focus on (a tab in a key string is written {TAB}), and Shift+Enter breaks
// the line as Enter does, instead of putting in a line separator (U+2028)
// that would be typed as a character rather than as Enter.
void makeMultiLineBox(QPlainTextEdit* box);

// Lets a one-line box hold a text of any length: a stock line edit cuts
// what it is given at 32,767 characters, and a Save would store it cut.
void liftLengthLimit(QLineEdit* box);

} // namespace ui
