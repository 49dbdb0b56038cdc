// SPDX-License-Identifier: MIT
#pragma once
#include <QMainWindow>
#include <QtGlobal>
#include <array>

class QAction;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QMenu;
class QPlainTextEdit;
class QPushButton;

// The main window of quick mode: for each target window title a set of named
// quick items (rows of KeyQuick), each a key string and a description, sent
// to the title's window with "Run". The current item row, on which Save and
// Delete act, is the row on which rsItem stands. Each entry of the item list
// carries the bookmark of its own record, so a pick shows that very item
// even when several share its name.
class frmQuick : public QMainWindow {
    Q_OBJECT
public:
    explicit frmQuick(QWidget* parent = nullptr);
    ~frmQuick() override;

    QGroupBox* Frame1 = nullptr;
    QComboBox* cboType = nullptr;
    QPushButton* cmdAddType = nullptr;
    QGroupBox* Frame2 = nullptr;
    QComboBox* cboItem = nullptr;
    QPushButton* cmdAddItem = nullptr;
    QLabel* Label5 = nullptr;
    QLineEdit* txtDescription = nullptr;
    QPushButton* cmdDeleteItem = nullptr;
    QLabel* Label3 = nullptr;
    QPushButton* cmdSpecialKey = nullptr;
    QPushButton* cmdClear = nullptr;
    QPlainTextEdit* txtKey = nullptr;
    QPushButton* cmdSaveItem = nullptr;
    QPushButton* cmdRun = nullptr;

    QMenu* mnuTitle = nullptr;
    std::array<QAction*, 3> mnusubTitle{};  // Add, Rename, Delete
    QMenu* mnuItem = nullptr;
    std::array<QAction*, 6> mnusubItem{};   // Add, Rename, Save, Delete, -, Run
    QAction* mnuAbout = nullptr;

    // Window-placement flags given to the window system at load.
    qint16 placementFlags = 0;

    void Form_Load();
    void Form_Unload();
    void cboType_Click();
    void cboItem_Click();
    void cmdAddType_Click();
    void cmdAddItem_Click();
    void mnusubTitle_Click(int index);
    void mnusubItem_Click(int index);
    void cmdSaveItem_Click();
    void cmdDeleteItem_Click();
    void cmdClear_Click();
    void cmdSpecialKey_Click();
    void cmdRun_Click();
    void mnuAbout_Click();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void createControls();
    void createMenus();
    void arrangeTabOrder();
    void connectHandlers();

    void addItem(bool makeCurrent);
    void renameItem();
    bool saveItem();
    bool mayClose();
    void clearItem();
    void listItemsOfTitle();
    bool findShownItem();
    bool lookUpShownItem();
    bool currentRowIsShownItem() const;
    void rememberShown();

    // The key and description as last loaded or saved: closing asks before
    // other texts in the boxes are lost.
    QString savedKey_;
    QString savedDescription_;
};
