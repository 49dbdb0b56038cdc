#include "app/about/frmAbout.h"

// Placeholder until the About window lands.
frmAbout::frmAbout(MainWindowOpener) {}
void frmAbout::showFromMenu() {}
