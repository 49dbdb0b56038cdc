// SPDX-License-Identifier: MIT
#pragma once
#include <QDialog>
#include <QStringList>
#include <array>

class frmScript;
class QAction;
class QComboBox;
class QDateTimeEdit;
class QGroupBox;
class QLabel;
class QLineEdit;
class QMenu;
class QMenuBar;
class QPlainTextEdit;
class QPushButton;
class QTreeWidgetItem;

// The script item editor: opened modally from the script window's list.
// It learns whether it serves a new or an existing item from the edit state
// of rsItem, and reads the selected row of the opener's lvScript; that row,
// not whichever is selected later, is the one it writes. "Save" writes the
// row and the record and closes. The close box (and Esc) asks first when a
// box was changed, and otherwise writes nothing.
class frmScriptItem : public QDialog {
    Q_OBJECT
public:
    explicit frmScriptItem(frmScript& opener);
    ~frmScriptItem() override;

    void Form_Load();
    void cmdSaveItem_Click();
    void cmdRun_Click();
    void cmdClear_Click();
    void mnusubTitle_Click(int index);

    QMenuBar* menuBar = nullptr;
    QMenu* mnuTitle = nullptr;
    std::array<QAction*, 3> mnusubTitle{};  // 0 "Add", 1 "Rename", 2 "Delete"

    QWidget* client = nullptr;  // the fixed client area below the menu bar
    QLabel* Label1 = nullptr;   // "Item "
    QLabel* Label2 = nullptr;   // "Title"
    QLabel* Label3 = nullptr;   // "Description :"
    QLabel* Label4 = nullptr;   // "Key :"
    QLabel* Label5 = nullptr;   // "Count Down :"
    QLineEdit* txtItem = nullptr;
    QComboBox* cboType = nullptr;
    QLineEdit* txtDescription = nullptr;
    QPlainTextEdit* txtKey = nullptr;
    QPushButton* cmdClear = nullptr;
    QGroupBox* Frame1 = nullptr;  // "Special Key :"
    QDateTimeEdit* dtpCountDown = nullptr;
    QPushButton* cmdRun = nullptr;
    QPushButton* cmdSaveItem = nullptr;

public Q_SLOTS:
    // The close box and Esc: with changes in the boxes, asks whether to save
    // them, throw them away or go on editing.
    void reject() override;

private:
    void buildControls();
    void buildMenu();
    void connectHandlers();
    void setCountDown(const QString& cellText);
    QStringList boxTexts() const;

    frmScript& opener_;
    QTreeWidgetItem* row_ = nullptr;  // the row being edited; none for a new item
    QStringList loaded_;              // the boxes as opened
};
