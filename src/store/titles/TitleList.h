#pragma once

class QComboBox;

// The title list operations shared by the windows that have a title box
// (cboType): fill it from rsTitle, and Add, Rename, Delete rows of Title.
namespace titles {

// Clears the box (list and text) and lists column 0 of every Title row from
// the first, in row order. No entry is selected.
void Fill(QComboBox* cboType);
// Input box "Add Title"; appends a row and a list entry. With makeCurrent the
// box's text becomes the new title.
void Add(QComboBox* cboType, bool makeCurrent);
// Renames the first row equal to the box's text (input box "Rename Title").
void Rename(QComboBox* cboType);
// Asks, then deletes the first row equal to the box's text and refills.
// Returns true when a row was deleted.
bool Delete(QComboBox* cboType);

} // namespace titles
