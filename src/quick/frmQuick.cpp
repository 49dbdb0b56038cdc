#include "quick/frmQuick.h"

// Placeholder until the quick window lands.
frmQuick::frmQuick(QWidget* parent) : QMainWindow(parent) {}
frmQuick::~frmQuick() = default;
