#pragma once
#include <QMainWindow>
#include <QStringList>

class QComboBox;
class QTreeWidget;
class QTreeWidgetItem;

// The main window of script mode. Its controls are public, as the item
// editor reads and writes them directly.
class frmScript : public QMainWindow {
    Q_OBJECT
public:
    explicit frmScript(QWidget* parent = nullptr);
    ~frmScript() override;

    // Appends a checked row with the cells item, title, key, description and
    // count-down (column 0 to 4), and returns it.
    QTreeWidgetItem* appendItemRow(const QStringList& cells);

    QComboBox* cboScript = nullptr;
    QTreeWidget* lvScript = nullptr;
};
