// SPDX-License-Identifier: MIT
#pragma once
// Internal to the X11 backend. Includes Xlib, whose macros clash with Qt's
// names: include this only from .cpp files of this folder.
#include <QString>

#include <X11/Xlib.h>

#include <memory>
#include <optional>
#include <vector>

namespace keys::x11 {

// The backend's own connection to the X server, with the atoms it uses.
// X protocol errors of this connection (a window that closed meanwhile) are
// passed over instead of ending the program, as Xlib's default would; every
// step checks its outcome itself (the focus, the window list), where it
// matters through an ErrorTrap.
class XConnection {
public:
    // nullptr when the display cannot be opened (default: $DISPLAY).
    static std::unique_ptr<XConnection> open(const char* name = nullptr);
    ~XConnection();
    XConnection(const XConnection&) = delete;
    XConnection& operator=(const XConnection&) = delete;

    Display* dpy() const { return dpy_; }
    Window root() const { return root_; }

    Atom atom(const char* name);
    // The current server time, for requests that must carry a real one.
    Time serverTime();
    // A window of this connection's own (unmapped, input only).
    Window ownWindow();

    std::vector<unsigned long> cardinals(Window w, Atom property, Atom type);
    QString title(Window w);
    // The parent of w, or None when w has gone.
    Window parentOf(Window w);
    // The direct child of the root window that holds w, or None.
    Window topLevelOf(Window w);
    bool isInside(Window w, Window ancestor);
    // The part of a resource id that names the client which made it: the
    // windows of one client share it.
    unsigned long clientBase(Window w) const;
    // The process id of the client that made w, as the X server knows it
    // from the client's socket (X-Resource extension); nothing when the
    // server cannot tell (a client over the network) or lacks the extension.
    // Only meaningful for a server on this machine, in this process's view.
    std::optional<long> clientPid(Window w);

private:
    explicit XConnection(Display* dpy);
    Display* dpy_;
    Window root_;
    Window clock_ = None;
    int resOpcode_ = 0; // of the X-Resource extension; -1: the server lacks it
};

// Notices X protocol errors of the connection from its creation on.
class ErrorTrap {
public:
    explicit ErrorTrap(Display* dpy);
    // Waits until the server has handled every request sent so far; the code
    // of the first error since the trap was set, or 0 (Success).
    int check();

private:
    Display* dpy_;
    unsigned long errorsBefore_;
};

// Holds the whole server for the scope: no other client's request runs in
// between, so the input focus cannot move while keys are queued.
class ServerGrab {
public:
    explicit ServerGrab(Display* dpy) : dpy_(dpy) { XGrabServer(dpy_); }
    ~ServerGrab() { XUngrabServer(dpy_); XFlush(dpy_); }
    ServerGrab(const ServerGrab&) = delete;
    ServerGrab& operator=(const ServerGrab&) = delete;

private:
    Display* dpy_;
};

} // namespace keys::x11
