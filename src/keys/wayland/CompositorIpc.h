// SPDX-License-Identifier: MIT
#pragma once
// Internal to the Wayland backend: what a compositor's own control socket
// tells about the focused window that the window-list protocol does not,
// above all the process behind it. sway ($SWAYSOCK) and Hyprland
// ($HYPRLAND_INSTANCE_SIGNATURE) answer; other compositors give nothing.
#include <QString>

#include <optional>

namespace keys::wayland {

struct FocusedWindow {
    long pid = 0;
    QString title;
    QString appId;         // the app id, or the X11 class of an XWayland window
    bool xwayland = false; // an X11 program shown through XWayland
};

// The window that has the focus now, as the compositor's control socket
// says; nothing when there is no such socket, no focused window, or no
// answer within timeoutMs.
std::optional<FocusedWindow> askFocusedWindow(int timeoutMs = 500);

// The window in Hyprland's answer to "j/activewindow" (JSON).
std::optional<FocusedWindow> focusedInHyprlandAnswer(const QByteArray& json);

} // namespace keys::wayland
