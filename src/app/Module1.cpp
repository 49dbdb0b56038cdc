// SPDX-License-Identifier: MIT
#include "app/Module1.h"

#include "about/frmAbout.h"
#include "settings/Settings.h"
#include "quick/frmQuick.h"
#include "script/frmScript.h"

#include <QApplication>
#include <QPointer>
#include <algorithm>

namespace {

// Creates the window the first time (and again after it has been closed and
// discarded) and shows it.
template <class Window>
void showOnce(QPointer<Window>& window)
{
    if (!window)
        window = new Window;
    window->show();
}

void showMainWindow(int mode)
{
    static QPointer<frmQuick> quick;
    static QPointer<frmScript> script;
    if (mode == 1)
        showOnce(quick);
    else
        showOnce(script);
}

bool anyWindowShown()
{
    const QWidgetList windows = QApplication::topLevelWidgets();
    return std::any_of(windows.begin(), windows.end(),
                       [](const QWidget* w) { return w->isVisible(); });
}

// At the first start the About window is the only one: when it goes without
// a main window taking its place, the program ends.
void showAboutAtFirstStart()
{
    auto* about = new frmAbout(showMainWindow);
    about->setAttribute(Qt::WA_DeleteOnClose);
    QObject::connect(about, &QObject::destroyed, qApp, [] {
        if (!anyWindowShown())
            QCoreApplication::quit();
    });
    about->show();
}

} // namespace

void Main()
{
    app::StartupMode = app::readStartupMode();
    if (app::StartupMode == 0)
        showAboutAtFirstStart();
    else
        showMainWindow(app::StartupMode == 1 ? 1 : 2);
}
