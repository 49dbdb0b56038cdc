// SPDX-License-Identifier: MIT
#pragma once

class QComboBox;

// The title list operations shared by the windows that have a title box
// (cboType): fill it from rsTitle, and Add, Rename, Delete rows of Title.
// Texts are compared exactly and case-sensitively; the first matching row is
// the one changed. Setting the box's text from here runs no handler.
// Engine errors (store::DbError) are left to the caller's handler guard.
namespace titles {

// Clears the box (list and text) and lists column 0 of every Title row from
// the first, in row order. No entry is selected.
void Fill(QComboBox* cboType);
// Input box "Add Title"; appends a row and a list entry. With makeCurrent the
// box's text becomes the new title, otherwise it stays as it was.
void Add(QComboBox* cboType, bool makeCurrent);
// Renames the first row equal to the box's text (input box "Rename Title"),
// refills the list and makes the new text current.
void Rename(QComboBox* cboType);
// Asks, then deletes the first row equal to the box's text and refills, which
// leaves no title current. Returns true when a row was deleted.
bool Delete(QComboBox* cboType);

} // namespace titles
