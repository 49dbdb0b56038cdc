// SPDX-License-Identifier: MIT
#pragma once
// Internal to the X11 backend: keycodes that the layout leaves empty, bound
// for a while to symbols the layout lacks, and the record of them that every
// Typomat process on the same X server shares.
#include "keys/x11/XConnection.h"
#include "keys/x11/XKeymap.h"

#include <QString>

#include <functional>
#include <map>
#include <set>
#include <vector>

namespace keys::x11 {

// Gives each keycode these symbols: one level when it has only a plain one,
// two (the second with Shift) when it has a shifted one, none when both are
// NoSymbol. All in one request: every change of the keymap makes each
// client, the window manager among them, reload its copy, so one notice is
// far cheaper than one per keycode. With expected, a keycode is changed only
// while it still carries the expected symbols. False when the server's map
// could not be read or the change caused an X error.
bool setKeycodeSymbols(Display* dpy, const std::map<KeyCode, LevelSymbols>& symbols,
                       const std::map<KeyCode, LevelSymbols>* expected = nullptr);

// A process, by its id and the machine it runs on.
struct Party {
    long pid = 0;
    QString host;
    bool operator==(const Party&) const = default;
};

// One spare keycode bound by a Typomat process. A target looks keys up in
// the keymap when it reads them, which a busy or stopped target does late:
// so a keycode keeps its symbols until the application last typed into with
// it has read every key typed with it.
struct SpareBinding {
    KeyCode code = 0;
    LevelSymbols was{NoSymbol, NoSymbol}; // the layout's own, put back at the end
    LevelSymbols now{NoSymbol, NoSymbol}; // what it carries
    Party owner;                          // the process that bound it
    Party target;                         // the application last typed into with it
    Window targetWindow = None;
    bool read = true;                     // that application has read those keys
    long long usedAt = 0;                 // when, in seconds since 1970
};
using SpareBindings = std::map<KeyCode, SpareBinding>;

// The spare keycodes of every Typomat process on an X server, recorded in a
// property of the root window: a process that ends without putting its
// bindings back (killed, crashed) leaves them to be taken back by the next
// one, and no process rebinds a keycode before its last target has read it.
// Changes are made with the server grabbed, so two processes never pick the
// same keycode.
class SpareKeys {
public:
    explicit SpareKeys(XConnection& x);

    static Party self();
    // The recorded bindings that the keymap still carries (a new layout
    // drops the others).
    SpareBindings load();
    void store(const SpareBindings& bindings);

    // Takes back the bindings of processes that have ended, where the
    // application last typed into with them has read its keys or ended.
    void takeBackOrphans();

    // The keycodes a run may bind, best first: those that carry nothing,
    // then those whose keys have been read, then this process's own whose
    // last target has not shown it read them yet. Keycodes another running
    // process uses are left out. Call with the server grabbed.
    struct Pool {
        std::vector<KeyCode> codes;
        std::map<KeyCode, LevelSymbols> carrying;
        bool heldByOthers = false; // some free keycodes are in use elsewhere
    };
    Pool pool(const SpareBindings& bindings, const Keymap& keymap) const;

    // Records these keycodes as this process's, for the target, unread.
    // Call with the server grabbed.
    void claim(SpareBindings& bindings, const std::set<KeyCode>& codes, const Party& target,
               Window targetWindow, const Keymap& keymap);
    // Binds the keycodes to the symbols and records it; false when the
    // server refused.
    bool bind(const std::map<KeyCode, LevelSymbols>& symbols);
    // The target has read every key typed with these keycodes.
    void markRead(const std::set<KeyCode>& codes);
    // Puts back the bindings of this process whose keys have been read,
    // giving each target that has not shown it yet limitMs to do so; the
    // others stay recorded, to be taken back once they are (evenUnread:
    // they go back too).
    void restoreOwn(int limitMs = 50, bool evenUnread = false);

    // Once this process has bound spare keycodes: on SIGTERM, SIGINT or
    // SIGHUP, typing stops, the bindings are put back as restoreOwn()
    // does, and the process ends as the signal would have ended it.
    static void guardAgainstSignals(const QString& display);
    // A stop signal has come: typing must end now.
    static bool stopRequested();
    // Where one has come: until its handling has put the bindings back (and
    // ended the process), at most a few seconds.
    static void awaitStopHandled();

private:
    bool targetHasRead(const SpareBinding& binding, int limitMs);
    std::vector<KeyCode> readBindings(const std::function<bool(const SpareBinding&)>& pick,
                                      int limitMs);
    void putBack(const std::vector<KeyCode>& codes);

    XConnection& x_;
    Atom property_;
};

// Marks a span in which keys are typed: a stop signal lets it end before the
// bindings are put back.
class TypingSpan {
public:
    TypingSpan();
    ~TypingSpan();
    TypingSpan(const TypingSpan&) = delete;
    TypingSpan& operator=(const TypingSpan&) = delete;
};

} // namespace keys::x11
