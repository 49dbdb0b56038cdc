// SPDX-License-Identifier: MIT
#pragma once
// The desktop entry KWin reads to decide whether a program may list windows
// and type keys: its Exec= must be the program's own path, and it must name
// the interfaces. Qt Core only.
#include <QString>

namespace keys::kde {

// The interfaces Typomat asks KWin for, as X-KDE-Wayland-Interfaces lists
// them (separated by commas, as KWin reads the key).
QString requestedInterfaces();

// The path KWin checks: the running program's, with every link resolved
// (/proc/self/exe).
QString programPath();

// The entry for the program at this path.
QByteArray desktopEntryFor(const QString& program);

// Writes a user desktop entry for the running program into
// $XDG_DATA_HOME/applications (by default ~/.local/share/applications),
// named after its path so that several copies of Typomat, and the package's
// own entry, live side by side. Returns the file written; throws KeyError
// saying why when it cannot be written.
QString installDesktopEntry();

} // namespace keys::kde
