#include "script/frmScriptItem.h"
#include "script/frmScript.h"

// Placeholder until the item editor lands.
frmScriptItem::frmScriptItem(frmScript& opener) : QDialog(&opener) {}
