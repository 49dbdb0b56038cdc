// SPDX-License-Identifier: MIT
#pragma once
// Internal to the Wayland backend, and free of Wayland types so that other
// compositor backends can share it: how fast to type into one target and
// how long to wait for it. The compositor never says when a client has read
// its keys, so the answer comes from outside: from the target's process
// where it can be watched (its read receipt), else from the backlog the
// compositor's clients have left unread, else from fixed figures.
#include "keys/process/ReadReceipt.h"

#include <chrono>
#include <functional>
#include <map>
#include <optional>

namespace keys::wayland {

using std::chrono::milliseconds;

struct PaceFigures {
    // Keys sent at once, before the pace is looked at again.
    int burstKeys = 20;
    // A burst waits while more than this waits unread for the target. The
    // kernel takes about 200 KB of its own accounting per connection, which
    // is as little as 13 KB of key events when they trickle in one by one;
    // past that the compositor closes the target's connection.
    std::uint64_t backlogLimit = 8 * 1024;
    // How long a target may go without reading, or stay busy after a key,
    // before typing stops.
    milliseconds bound{5000};
    // How long a target must stay idle to count as done with a key: longer
    // than a frame (a toolkit waits idle for the compositor's next frame,
    // 16.7 ms at 60 Hz, between its steps), using no more CPU time than an
    // animation does (a GTK file chooser redraws on every frame while open:
    // 1 to 5 per cent of a CPU, against 15 to 100 while it builds itself).
    milliseconds quiet{30};
    double idleShare = 0.1;
    // After the target settled, a round trip with the compositor, and this
    // long in which it must stay settled.
    milliseconds confirm{5};
    // Before a key that may open a window, how long to wait for a busy
    // target to settle; one that does not is busy anyway (a terminal
    // printing, say), and then its reading the key is enough. Once found
    // busy anyway, only a short look before each such key.
    milliseconds settleFirst{300};
    milliseconds busyMargin{20};
    // Before Enter or Escape in a dialog, how much longer the target must
    // stay settled: a GTK file chooser shows its name completion a while
    // after the typing, by a timer, and drops an Enter that comes while it
    // is up.
    milliseconds dialogHold{150};
    // After Enter or Escape in a dialog that is still open once the target
    // settled, how long it must stay so to count as open: GTK closes a
    // dialog some 250 ms after the key, and the keys after it belong to
    // the window below.
    milliseconds closingHold{400};

    // Where the target's process cannot be watched: after a key that may
    // open a window, how long to wait for one ([Keys] CommandPauseMs); once
    // the focus moved, how long the new window needs before keys; around a
    // new keymap, how long an X11 program needs to take the keys typed
    // under the old one after reading them, and to take the new one (xterm
    // through XWayland lost keys with no pause, none with 30 ms; twice that).
    milliseconds commandPause{150};
    // Set by the user ([Keys] CommandPauseMs): the least any such key waits,
    // whatever the target.
    milliseconds commandFloor{0};
    milliseconds settle{100};
    milliseconds swapPause{60};
    // Where not even the backlog can be seen: a pace at which a target may
    // stop reading for a second and lose nothing (measured with foot on
    // sway: stopped for 1 s it took any text, for 3 s plain letters but not
    // alternating case, which needs Shift events between the keys).
    int blindKeysPerSecond = 600;
};

// What a wait found.
enum class Outcome {
    Done,
    Stalled,  // the target did not read, or stayed busy, for the bound
    Gone,     // the target's process or connection has ended
    FocusLost // the focus went to a window that is not the target's
};

// Where the compositor says the focus is, read afresh on each call.
enum class Focus {
    Unchanged, // on the window that had it when the wait began
    Moved,     // on another window of the target's
    Between,   // on no window (one closed, the next not yet focused)
    Lost,      // on a window that is not the target's
};
using FocusCheck = std::function<Focus()>;
// A round trip with the compositor: what it had for the target is sent.
// False when the connection is gone.
using CompositorSync = std::function<bool()>;

class TargetPace {
public:
    // pid: the target's process, 0 when unknown. displayAddresses: where
    // the display servers the keys go through listen (the compositor, and
    // XWayland for X11 programs).
    TargetPace(long pid, const QStringList& displayAddresses, CompositorSync sync,
               PaceFigures figures = {});

    const PaceFigures& figures() const { return figures_; }
    bool seesProcess() const { return receipt_.visible(); }

    // Keys have gone out and the compositor has passed them on.
    void sent(int keys);
    // Until the target has room for another burst.
    Outcome awaitRoom(const FocusCheck& focus);
    // Before a key that may open or close a window: until the target is
    // done with the keys before it. False when it is busy anyway.
    // dialogKey: Enter or Escape in a dialog, which toolkits drop while a
    // completion popup is still to come: waited for up to the bound.
    bool awaitIdle(const FocusCheck& focus, bool dialogKey);
    // After such a key: until the target has handled it and the focus rests
    // on one of its windows. idleBefore: what awaitIdle said. dialogKey:
    // Enter or Escape in a dialog, which may close it only a while later.
    Outcome awaitHandled(const FocusCheck& focus, bool idleBefore, bool dialogKey);
    // Until the target has read and taken in every key sent: before the
    // keymap changes (keymapFollows), and before typing ends.
    Outcome awaitTaken(const FocusCheck& focus, bool keymapFollows);
    // After the keymap changed, for an X11 program (or one that may be):
    // until it has taken the change, which it hears of from XWayland.
    Outcome awaitKeymapTaken(const FocusCheck& focus);

private:
    using Clock = std::chrono::steady_clock;
    using State = process::ReadReceipt::State;
    // Unread bytes of the target's connection at the last look; for a
    // target that cannot be watched, the most any client connection has
    // gained since typing began. Nothing when that cannot be seen.
    std::optional<std::uint64_t> backlog();
    Outcome awaitBacklog(std::uint64_t limit, const FocusCheck& focus, milliseconds within);
    Outcome awaitFocusBack(const FocusCheck& focus, Clock::time_point end);
    Outcome pause(milliseconds time, const FocusCheck& focus);
    // Settled, and still so after a round trip with the compositor: a
    // toolkit that waits for the compositor's answer (to map a window,
    // say) is not done. Nothing when the time passed first.
    std::optional<State> awaitSettled(const FocusCheck& focus, Clock::time_point end,
                                      Clock::time_point notBefore, milliseconds hold);

    PaceFigures figures_;
    QStringList addresses_;
    CompositorSync sync_;
    process::ReadReceipt receipt_;
    bool watchesClients_ = false;
    bool busyAnyway_ = false;
    bool settled_ = false; // found settled since keys last went out
    std::map<std::uint32_t, std::uint64_t> clientsBefore_;
    Clock::time_point blindNext_ = Clock::now();
};

} // namespace keys::wayland
