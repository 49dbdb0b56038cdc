// SPDX-License-Identifier: MIT
#pragma once
// Internal to the X11 backend: the application that keys are typed into, and
// which windows are its own.
#include "keys/x11/XConnection.h"

#include <QString>

#include <map>

namespace keys::x11 {

// The client window (the one carrying WM_STATE) that holds w, or the
// top-level window holding w where none does. None when w is no window.
Window clientWindowOf(XConnection& x, Window w);

class Target {
public:
    // client: the window that was activated, or one holding it.
    Target(XConnection& x, Window client);
    Target(const Target&) = delete;
    Target& operator=(const Target&) = delete;

    Window client() const { return client_; }
    // The application's own windows: made by the same X client, transient
    // for one of its windows or for its window group, with the same
    // WM_CLIENT_LEADER, or with the same _NET_WM_PID on the same machine.
    // The focus may follow them after a key that opens or switches windows.
    bool owns(Window client);
    // The target window itself, or a window transient for it or for its
    // window group, directly or through other dialogs: where the first key
    // may go.
    bool isTargetOrItsDialog(Window client);
    // Transient for the target window or for its window group, directly or
    // through other dialogs.
    bool isDialogOfTarget(Window client);
    // Transient for any window: a dialog.
    bool isDialog(Window client);
    // Made by the target's own X client (its menus and popups are).
    bool madeByTarget(Window w) const;

    // The target lists _NET_WM_PING among its protocols.
    bool answersPings() const { return answersPings_; }
    // The process behind the target when it runs on this machine and the
    // X server names the same process (0: it cannot be told).
    long localPid() const { return localPid_; }

private:
    struct Facts {
        unsigned long base = 0;
        Window leader = None;
        Window group = None;
        Window transientFor = None;
        long pid = 0;
        QString machine;
    };
    Facts factsOf(Window client);
    long findLocalPid();
    bool transientChainReaches(Window client, bool (Target::*stop)(Window));
    bool isTargetOrGroup(Window w);
    bool isOwnedBase(Window w);

    XConnection& x_;
    Window client_;
    Facts target_;
    std::map<Window, bool> owned_;
    bool answersPings_ = false;
    long localPid_ = 0;
};

} // namespace keys::x11
