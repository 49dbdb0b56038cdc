#pragma once
// Internal to the X11 backend: the application that keys are typed into,
// which windows are its own, and whether it is alive and done with its keys.
#include "keys/x11/XConnection.h"

#include <QString>

#include <map>
#include <vector>

namespace keys::x11 {

// The client window (the one carrying WM_STATE) that holds w, or the
// top-level window holding w where none does. None when w is no window.
Window clientWindowOf(XConnection& x, Window w);

// What the main thread of a process on this machine is doing.
enum class Activity {
    Unknown, // not on this machine, or its /proc entry cannot be read
    Waiting, // asleep: back in its event loop, or waiting for something else
    Busy,
    Stopped,
};

class Target {
public:
    // client: the window that was activated, or one holding it.
    Target(XConnection& x, Window client);
    ~Target();
    Target(const Target&) = delete;
    Target& operator=(const Target&) = delete;

    Window client() const { return client_; }
    // The application's own windows: made by the same X client, transient
    // for one of its windows or for its window group, with the same
    // WM_CLIENT_LEADER, or with the same _NET_WM_PID on the same machine.
    bool owns(Window client);
    // Transient for the target window or for its window group, directly or
    // through other dialogs.
    bool isDialogOfTarget(Window client);
    // Transient for any window: a dialog.
    bool isDialog(Window client);

    // The target lists _NET_WM_PING among its protocols.
    bool answersPings() const { return answersPings_; }
    // Sends a ping and waits for the answer; false when none came in time.
    // An answer proves that the target has read every event sent before.
    bool ping(int timeoutMs);
    Activity activity() const;

    // From now on, notes the windows that the application creates.
    void watchNewWindows();
    // Windows of the application created since the last call (popups that
    // bypass the window manager left out).
    std::vector<Window> takeNewWindows();

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
    bool transientChainReaches(Window client, bool (Target::*stop)(Window));
    bool isTargetOrGroup(Window w);
    bool isOwnedBase(Window w);
    void readEvents();

    XConnection& x_;
    Window client_;
    Facts target_;
    std::map<Window, bool> owned_;
    bool answersPings_ = false;
    long localPid_ = 0;
    bool watching_ = false;
    long pingStamp_ = 0;
    long answeredStamp_ = -1;
    std::vector<Window> newWindows_;
};

} // namespace keys::x11
