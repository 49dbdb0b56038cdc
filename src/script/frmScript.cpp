#include "script/frmScript.h"

#include <QComboBox>
#include <QTreeWidget>

// Placeholder until the script window lands.
frmScript::frmScript(QWidget* parent) : QMainWindow(parent) {}
frmScript::~frmScript() = default;

QTreeWidgetItem* frmScript::appendItemRow(const QStringList& cells)
{
    auto* row = new QTreeWidgetItem(lvScript, cells);
    row->setFlags(row->flags() | Qt::ItemIsUserCheckable);
    row->setCheckState(0, Qt::Checked);
    return row;
}
