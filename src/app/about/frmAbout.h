#pragma once
#include <QDialog>
#include <functional>

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
};
