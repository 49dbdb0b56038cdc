// SPDX-License-Identifier: MIT
#pragma once
#include "store/OleDate.h"
#include "store/Recordset.h"

#include <QMainWindow>
#include <QStringList>
#include <array>

class QAction;
class QComboBox;
class QDateTimeEdit;
class QGroupBox;
class QLabel;
class QMenu;
class QPlainTextEdit;
class QPushButton;
class QRadioButton;
class QTreeWidget;
class QTreeWidgetItem;

namespace script {
class SteadyTimer;
}

// The main window of script mode: the scripts, the items of the chosen one,
// and the run that sends them. Its controls are public, as the item editor
// reads and writes them directly.
class frmScript : public QMainWindow {
    Q_OBJECT
public:
    explicit frmScript(QWidget* parent = nullptr);
    ~frmScript() override;

    // Appends a checked row with the cells item, title, key, description and
    // count-down (column 0 to 4), showing the KeyScript record of the
    // bookmark, and returns it.
    QTreeWidgetItem* appendItemRow(const QStringList& cells, store::Bookmark record);

    // The script whose items lvScript shows: the one chosen or created last,
    // under its stored name. Items are saved under this name, whatever has
    // been typed in cboScript since. Empty while no script is chosen.
    const QString& listedScript() const { return listedScript_; }

    // False when the key database could not be opened at load; the program
    // is then on its way out.
    bool databaseOpen() const { return databaseOpen_; }

    // Window
    void Form_Load();
    void Form_Unload();
    void cboScript_Click();
    void cmdNew_Click();
    void cmdSave_Click();
    void cmdDelete_Click();
    void mnuAbout_Click();

    // Runner
    void cmdStart_Click();
    void cmdCancel_Click();
    void Option1_Click();
    void Option2_Click();
    void Timer1_Timer();
    void Timer2_Timer();

    // Item list
    void lvScript_DblClick();
    // Button: 1 left, 2 right, 4 middle; only the right button does anything.
    void lvScript_MouseDown(int Button, int Shift, int x, int y);
    void mnusubPopup_Click(int index);

    QWidget* client = nullptr;
    QGroupBox* Frame3 = nullptr;
    QLabel* Label3 = nullptr;
    QComboBox* cboScript = nullptr;
    QLabel* Label2 = nullptr;
    QPlainTextEdit* txtDescription = nullptr;
    QPushButton* cmdNew = nullptr;
    QPushButton* cmdSave = nullptr;
    QPushButton* cmdDelete = nullptr;
    QGroupBox* Frame2 = nullptr;
    QRadioButton* Option2 = nullptr;
    QRadioButton* Option1 = nullptr;
    QDateTimeEdit* dtpCountDown = nullptr;
    QDateTimeEdit* dtpTime = nullptr;
    script::SteadyTimer* Timer1 = nullptr;
    script::SteadyTimer* Timer2 = nullptr;
    QTreeWidget* lvScript = nullptr;
    QGroupBox* Frame1 = nullptr;
    QLabel* Label1 = nullptr;
    QPushButton* cmdCancel = nullptr;
    QPushButton* cmdStart = nullptr;
    QAction* mnuAbout = nullptr;
    QMenu* mnuPopup = nullptr;
    std::array<QAction*, 3> mnusubPopup{};  // "New", "Edit", "Delete"

    bool bRunning = false;
    oledate::OleDate dtOneSecond;

protected:
    void closeEvent(QCloseEvent* event) override;
    // Shows the list's pop-up menu at a screen position and runs the chosen
    // entry; tests replace it to avoid a blocking menu.
    virtual void showPopupMenu(const QPoint& globalPos);
    // Shows the item editor modally and returns when it has closed; tests
    // replace it to avoid a blocking dialog.
    virtual void showItemEditor();

private:
    void buildMenus();
    void buildControls();
    void setClockFont();
    void arrangeTabOrder();
    void connectHandlers();

    void openDatabase();
    void fillScriptList();
    QStringList loadScriptHeader();
    void listScriptItems();
    void setHeaderEnabled(bool enabled);
    void renameListEntry(const QString& oldName, const QString& newName);
    bool currentScriptIsShown() const;
    void clearOption(QRadioButton* option);
    void setToday(QDateTimeEdit* picker);
    void setCountDown(oledate::OleDate value);
    oledate::OleDate countDown() const;
    oledate::OleDate setTime() const;
    void setSetTime(oledate::OleDate value);

    void fireRow(QTreeWidgetItem* row);
    void stopRunAt(QTreeWidgetItem* row, const QString& message);
    void showNoScript();
    void dropVanishedScript(const QString& name);
    bool findSelectedItem();
    void editSelectedItem();
    void deleteSelectedItem();

    bool databaseOpen_ = false;
    QString listedScript_;
};
