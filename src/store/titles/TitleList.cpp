#include "store/titles/TitleList.h"

// Placeholder until the title list operations land.
namespace titles {
void Fill(QComboBox*) {}
void Add(QComboBox*, bool) {}
void Rename(QComboBox*) {}
bool Delete(QComboBox*) { return false; }
} // namespace titles
