// SPDX-License-Identifier: MIT
#pragma once
// Internal to the X11 backend: finding top-level windows by title and
// bringing one to the front.
#include "keys/x11/XConnection.h"

#include <QString>

#include <optional>
#include <vector>

namespace keys::x11 {

struct ClientWindow {
    Window id = None;
    QString title;
    bool iconic = false;
};

// The window manager's check window says one is running (and alive).
bool hasWindowManager(XConnection& x);
// That check window, made by the window manager (None without one).
Window windowManagerCheck(XConnection& x);

// The client window inside a direct child of the root window (a window
// manager's frame holds it), or the child itself when it is one; None when
// it holds none.
Window clientInFrame(XConnection& x, Window topLevel);

// The top-level client windows that are shown or iconified, lowest first in
// the stacking order: the window manager's client list, or the children of
// the root window where there is no window manager.
std::vector<ClientWindow> clientWindows(XConnection& x);

// An exact title wins; otherwise a title that begins with the text, ignoring
// case. Among several, the one highest in the stacking order.
std::optional<ClientWindow> pickByTitle(const std::vector<ClientWindow>& bottomToTop,
                                        const QString& title);

// Windows of this program (made by this process on this machine, or on the
// backend's own connection): never a target.
bool isOwnWindow(XConnection& x, Window window);

// Asks for the window to be raised, restored and focused, and waits until
// the input focus is in it, or in a dialog of it: a window manager gives
// the focus of a window whose modal dialog is open to the dialog. The
// client window that took the focus, or None when none did in time.
Window activate(XConnection& x, const ClientWindow& window, int timeoutMs);

// True when the input focus is the window or one inside it.
bool focusIsIn(XConnection& x, Window window);

} // namespace keys::x11
