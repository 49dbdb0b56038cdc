// SPDX-License-Identifier: MIT
#pragma once
// Internal to the X11 backend: every wait of typing. Whether the target has
// read the keys sent to it and is done with them, from its process where it
// can be watched, together with what only the X server tells: the focus,
// the windows the target maps, its open menus and popups, its pings.
#include "keys/process/ReadReceipt.h"
#include "keys/x11/XConnection.h"
#include "keys/x11/XTarget.h"

#include <chrono>
#include <cstddef>
#include <optional>
#include <set>
#include <vector>

namespace keys::x11 {

struct Pace {
    // After a key that may open, close or switch windows, and before Enter
    // or Escape in a dialog, for a target whose process cannot be watched:
    // how long to wait. From the settings file's [Keys] CommandPauseMs.
    int commandPauseMs = 150;
    // The least wait at those keys for every target; the user raises it by
    // setting CommandPauseMs.
    int floorMs = 0;
    // A target that stays busy, stopped or silent this long has stopped
    // responding.
    int stallLimitMs = 5000;
    // A window the target maps gets this long to take the focus.
    int newWindowMs = 1000;
    // After Enter or Escape in a dialog, how long the dialog may keep the
    // focus while it closes (a file dialog saves first); past it, typing
    // goes on in the dialog, which did not close.
    int dialogCloseMs = 1500;
    // A target that has handled a key but keeps working: how long to wait
    // for it to settle before typing goes on.
    int busyGraceMs = 50;
    // Before a keycode changes meaning, for a target that can neither be
    // watched nor answers pings: time for it to read the keys typed with it.
    int roundSettleMs = 100;
    double settleMsPerKey = 1.0;
    int batchSize = 200;
};

class Receipt {
public:
    // Every wait throws KeyError once a stop signal has come.
    Receipt(XConnection& x, Target& target, const Pace& pace);
    ~Receipt();
    Receipt(const Receipt&) = delete;
    Receipt& operator=(const Receipt&) = delete;

    // The target's process can be watched.
    bool visible() const { return process_.has_value(); }

    // Keys have just gone out (the server has handled them).
    void sent(std::size_t keys);
    // A menu or popup of the target is open: keys typed now pick its entries.
    bool popupOpen();

    enum class Outcome {
        Answered,   // the target did what it does with the keys
        Busy,       // it handled them, but keeps working, so it may look
                    // keys up late
        Closed,     // the target ended: an answer in itself
        NoAnswer,   // it stayed busy, stopped or silent past the limit
        Unknowable, // it cannot be watched and answers no ping
    };
    // After a key that may open, close or switch windows, and before Enter
    // or Escape in a dialog: until the target has handled everything sent
    // and is idle (settled), a window it mapped has taken the focus, and the
    // closingDialog (the dialog that had the focus at Enter or Escape, or
    // None) has closed and handed the focus back. Where the target cannot be watched: the command pause,
    // and its answer to a ping where it answers pings. Never less than the
    // floor.
    Outcome awaitHandled(Window closingDialog);
    // Before Enter or Escape in a dialog: the target has settled, and the
    // text typed since the last wait has rested as long as its toolkit
    // needs to act on it.
    Outcome awaitBeforeDialogKey();
    // Until the target has read every key sent so far and handled it. With
    // busyCounts, a target that keeps working yet has come back for more
    // events answers Busy.
    Outcome awaitRead(bool busyCounts);
    // For a target whose reading cannot be known: a pause long enough for
    // it to have read the keys typed since sent() began counting.
    void pauseForUnseenReader();

    // Whether the process pid has read and handled everything sent to it
    // before this call, looking for at most limitMs.
    static Outcome hasRead(XConnection& x, long pid, int limitMs);

private:
    using Clock = std::chrono::steady_clock;
    void readEvents();
    void notePopup(Window w, bool mapped);
    void findOpenPopups();
    bool pendingNewWindow(Window focusClient, Clock::time_point now) const;
    Window currentFocus();
    bool dialogStillOpen(Window dialog);
    void probeIfBusy(process::ReadReceipt::State state, Clock::time_point now);
    void ping();

    XConnection& x_;
    Target& target_;
    Pace pace_;
    bool managed_ = false;
    std::optional<process::ReadReceipt> process_;
    std::optional<process::ReadReceipt> windowManager_;
    std::optional<bool> probeable_;
    std::chrono::milliseconds typedTextRest_{0};
    Clock::time_point sentAt_;
    std::size_t keysSinceRead_ = 0;
    bool probeSent_ = false;
    std::set<Window> popups_;
    struct Mapped {
        Window client;
        Clock::time_point at;
    };
    std::vector<Mapped> mapped_;
    long pingStamp_ = 0;
    bool pingAnswered_ = false;
};

} // namespace keys::x11
