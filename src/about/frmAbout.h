// SPDX-License-Identifier: MIT
#pragma once
#include <QDialog>
#include <QString>
#include <functional>

class QFrame;
class QGroupBox;
class QLabel;
class QPushButton;
class QRadioButton;
class QUrl;

// The About window, where the user picks the startup mode.
class frmAbout : public QDialog {
    Q_OBJECT
public:
    // Opens a main window: 1 quick mode, 2 script mode. Set by the start-up
    // routine for the first start; from a menu nothing is opened.
    using MainWindowOpener = std::function<void(int mode)>;

    explicit frmAbout(MainWindowOpener opener = {});

    // Shown modal from a main window's "&About" menu: OK only saves.
    static void showFromMenu();

    // Opens a link with the desktop's default handler; false when it cannot.
    // Tests install a double; an empty function restores the desktop's.
    using LinkOpener = std::function<bool(const QUrl&)>;
    static void installLinkOpener(LinkOpener opener);

    // The user guide that ships with Typomat: looked for in the docs folder
    // beside the program and in the install's doc folder. Empty if none.
    static QString userGuidePath(const QString& programFolder);

    QGroupBox* Frame2 = nullptr;
    QFrame* Line1 = nullptr;
    QLabel* Label4 = nullptr;    // origin line
    QLabel* Label1 = nullptr;    // author line
    QLabel* Label2 = nullptr;    // mail line
    QLabel* Label13 = nullptr;   // web line: the user guide
    QLabel* lblDataFolder = nullptr;  // the user's data folder, when the files are there
    QGroupBox* Frame1 = nullptr;
    QRadioButton* optQuick = nullptr;
    QRadioButton* optScript = nullptr;
    QPushButton* Command1 = nullptr;

    void Form_Load();
    void Command1_Click();
    void Label13_Click();
    void Label2_Click();
    void Label13_MouseMove();
    void Label2_MouseMove();
    void Frame2_MouseMove();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void createControls();
    void openLink(const QUrl& url, const QString& failure);

    MainWindowOpener opener_;
};
