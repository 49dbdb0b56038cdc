// SPDX-License-Identifier: MIT
#pragma once
// Which desktop Typomat runs on: the keystroke backend for other windows,
// and the Qt platform for its own.
#include "keys/KeySender.h"

#include <QString>
#include <QStringList>

#include <memory>
#include <optional>
#include <vector>

namespace app {

enum class KeyBackend { None, X11, Wayland, Kde, Gnome };

// What the desktop offers, as seen at start.
struct DesktopOffers {
    bool waylandSession = false;  // WAYLAND_DISPLAY is set
    QString waylandMissing;       // empty: the compositor serves the Wayland backend
    bool xDisplay = false;        // an X display is named (DISPLAY)
    QString currentDesktop;       // XDG_CURRENT_DESKTOP, such as "GNOME" or "KDE"
    bool kwin = false;            // the compositor is KWin (KDE Plasma)
    QString kdeMissing = {};      // empty: KWin serves the KDE backend
    bool gnomeShell = false;      // GNOME Shell answers (Wayland without the protocols above)
    QString gnomeMissing = {};    // empty: Typomat's Shell extension serves
    bool waylandAnswers = false;  // the display of WAYLAND_DISPLAY is there and answers
};

// The backend a name stands for (ignoring case), as --backend=NAME and
// [Keys] Backend=NAME give it; nothing for a name no backend has.
std::optional<KeyBackend> keyBackendNamed(const QString& name);

// The names, in the order --help lists them.
QStringList keyBackendNames();

// What to say about a backend name that none has, listing the valid ones.
// where: "--backend" or the settings file's line.
QString unknownKeyBackend(const QString& name, const QString& where);

// forced: the backend to use, or nothing for the automatic choice: Wayland
// where the compositor serves it, otherwise KDE where KWin serves it,
// otherwise GNOME where GNOME Shell answers, otherwise X11 where an X
// display is named, otherwise none.
KeyBackend chooseKeyBackend(std::optional<KeyBackend> forced, const DesktopOffers& offers);

// The one message for the user when no backend can be used, when the X11
// backend is used on a Wayland desktop that lacks the protocols, or when the
// chosen backend cannot type yet (GNOME without Typomat's extension). Empty
// when there is nothing to say.
QString keyBackendNotice(KeyBackend chosen, const DesktopOffers& offers);

// True when the chosen backend cannot type on this desktop as it is: its
// notice says why and what to do.
bool keyBackendRefuses(KeyBackend chosen, const DesktopOffers& offers);

// Looks at the environment and the Wayland compositor.
DesktopOffers lookAtDesktop();

// The forced backend: the command line's --backend=NAME (a valid name, or
// empty when not given), otherwise [Keys] Backend in the settings file;
// nothing for the automatic choice. Throws keys::KeyError when the settings
// file names no backend.
std::optional<KeyBackend> forcedKeyBackend(const QString& option);

std::unique_ptr<keys::KeySender> makeKeySender(KeyBackend backend);

// The backend in use: installed for the windows and the commands, taken out
// of use again when this goes.
struct InstalledKeyBackend {
    std::unique_ptr<keys::KeySender> sender;
    QString notice;        // what the user should know about it, or empty
    bool refuses = false;  // it cannot type yet; the notice says why (keyBackendRefuses)
    InstalledKeyBackend() = default;
    InstalledKeyBackend(InstalledKeyBackend&&) = default;
    InstalledKeyBackend& operator=(InstalledKeyBackend&&) = default;
    ~InstalledKeyBackend();
};

// Chooses the backend for this desktop (option as for forcedKeyBackend) and
// installs it. Throws keys::KeyError saying why when there is none:
// keys::DisplayUnavailable when no display is there to work on.
InstalledKeyBackend installKeyBackend(const QString& option);

// Why Typomat's own windows cannot open here, or empty: neither a Wayland
// nor an X display is named, and no Qt platform is chosen that needs none.
QString windowsCannotOpen();

// What to say when Qt finds no display it can open for the windows.
QString displayUnreachable();

// The command line Qt is started with: on a Wayland desktop with XWayland
// (DISPLAY set) and no QT_QPA_PLATFORM, Typomat's own windows use the xcb
// platform, since native Wayland windows can neither stay on top nor place
// themselves. The strings live as long as the returned vector.
std::vector<QByteArray> qtArguments(int argc, char** argv);

} // namespace app
