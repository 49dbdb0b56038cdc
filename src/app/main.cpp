#include "app/CommandLine.h"
#include "app/Desktop.h"
#include "app/Module1.h"
#include "keys/KeySender.h"

#include <QApplication>
#include <QFont>
#include <QMessageBox>
#include <memory>

namespace {

// --backend=x11|wayland from the command line, empty when not given.
QString backendOption;

// Picks the backend that sends keystrokes to other windows on this desktop
// and installs it for the windows. The only place that chooses a backend:
// Wayland where the compositor lists windows and takes a virtual keyboard,
// else X11 where an X display is named; --backend=x11|wayland or
// [Keys] Backend forces one. Without any, one message says what is missing.
std::unique_ptr<keys::KeySender> installKeyBackend()
{
    const app::DesktopOffers offers = app::lookAtDesktop();
    const app::KeyBackend chosen =
        app::chooseKeyBackend(app::forcedKeyBackend(backendOption), offers);
    const QString notice = app::keyBackendNotice(chosen, offers);
    const bool windows = qobject_cast<QApplication*>(QCoreApplication::instance()) != nullptr;
    if (chosen == app::KeyBackend::None && windows)
        QMessageBox::warning(nullptr, QStringLiteral("Typomat"), notice);
    else if (!notice.isEmpty())
        qWarning("%s", qPrintable(notice));
    auto backend = app::makeKeySender(chosen);
    keys::installKeySender(backend.get());
    return backend;
}

} // namespace

int main(int argc, char** argv)
{
    backendOption = app::takeBackendOption(argc, argv);
    // Arguments make a command, carried out with no window.
    if (argc > 1)
        return app::runCommandLine(argc, argv, installKeyBackend);
    // Typomat's own windows go through XWayland where there is one.
    std::vector<QByteArray> arguments = app::qtArguments(argc, argv);
    std::vector<char*> qtArgv;
    for (QByteArray& argument : arguments)
        qtArgv.push_back(argument.data());
    int qtArgc = static_cast<int>(qtArgv.size());
    qtArgv.push_back(nullptr);
    QApplication application(qtArgc, qtArgv.data());
    // The windows' layouts in twips are made for an 8-point font: larger
    // default fonts would clip their captions.
    QFont font = QApplication::font();
    font.setPointSizeF(8);
    QApplication::setFont(font);
    const auto backend = installKeyBackend();
    Main();
    const int code = application.exec();
    keys::installKeySender(nullptr);
    return code;
}
