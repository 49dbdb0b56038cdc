#include "keys/widgets/SpecialKeyBlock.h"

// Placeholder until the special-key block lands.
namespace keys {
void buildSpecialKeyBlock(QGroupBox*, QPlainTextEdit*) {}
} // namespace keys
