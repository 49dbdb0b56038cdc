#pragma once
// Which desktop Typomat runs on: the keystroke backend for other windows,
// and the Qt platform for its own.
#include "keys/KeySender.h"

#include <QString>
#include <QStringList>

#include <memory>
#include <vector>

namespace app {

enum class KeyBackend { None, X11, Wayland };

// What the desktop offers, as seen at start.
struct DesktopOffers {
    bool waylandSession = false;  // WAYLAND_DISPLAY is set
    QString waylandMissing;       // empty: the compositor serves the Wayland backend
    bool xDisplay = false;        // an X display is named (DISPLAY)
};

// forced: "x11", "wayland" (ignoring case) or empty for the automatic
// choice: Wayland where the compositor serves it, otherwise X11 where an X
// display is named, otherwise none.
KeyBackend chooseKeyBackend(const QString& forced, const DesktopOffers& offers);

// The one message for the user when no backend can be used, or when the X11
// backend is used on a Wayland desktop that lacks the protocols. Empty when
// there is nothing to say.
QString keyBackendNotice(KeyBackend chosen, const DesktopOffers& offers);

// Looks at the environment and the Wayland compositor.
DesktopOffers lookAtDesktop();

// Takes --backend=NAME out of the arguments (argv and argc change) and
// returns NAME, or empty when it is not there.
QString takeBackendOption(int& argc, char** argv);

// The forced backend: the command line's option, otherwise [Keys] Backend in
// the settings file; empty for the automatic choice.
QString forcedKeyBackend(const QString& option);

std::unique_ptr<keys::KeySender> makeKeySender(KeyBackend backend);

// The command line Qt is started with: on a Wayland desktop with XWayland
// (DISPLAY set) and no QT_QPA_PLATFORM, Typomat's own windows use the xcb
// platform, since native Wayland windows can neither stay on top nor place
// themselves. The strings live as long as the returned vector.
std::vector<QByteArray> qtArguments(int argc, char** argv);

} // namespace app
