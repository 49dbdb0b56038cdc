#pragma once
#include <QDialog>

class frmScript;

// The script item editor: opened modally from the script window's list.
// It learns whether it serves a new or an existing item from the edit state
// of rsItem, and reads the selected row of the opener's lvScript.
class frmScriptItem : public QDialog {
    Q_OBJECT
public:
    explicit frmScriptItem(frmScript& opener);
};
