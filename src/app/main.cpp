#include "app/CommandLine.h"
#include "app/Module1.h"
#include "keys/KeySender.h"
#include "keys/x11/X11KeySender.h"
#include "settings/Settings.h"

#include <QApplication>
#include <QFont>
#include <memory>
#include <optional>

namespace {

// Picks the backend that sends keystrokes to other windows on this desktop
// and installs it for the windows. The only place that names a backend.
std::unique_ptr<keys::KeySender> installKeyBackend()
{
    auto backend = std::make_unique<keys::X11KeySender>();
    if (const std::optional<int> pauseMs = app::readCommandPauseMs())
        backend->setCommandPauseMs(*pauseMs);
    keys::installKeySender(backend.get());
    return backend;
}

} // namespace

int main(int argc, char** argv)
{
    // Arguments make a command, carried out with no window.
    if (argc > 1)
        return app::runCommandLine(argc, argv, installKeyBackend);
    QApplication application(argc, argv);
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
