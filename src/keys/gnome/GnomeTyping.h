// SPDX-License-Identifier: MIT
#pragma once
// Internal to the GNOME backend: typing planned keys through the remote
// keyboard into the window that has the focus, paced by what the target has
// read, and watching that the keyboard stays with the target.
#include "keys/KeyEvent.h"
#include "keys/layout/KeyPlan.h"
#include "keys/gnome/ShellWindows.h"
#include "keys/process/ReadReceipt.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <vector>

namespace keys::gnome {

class RemoteKeyboard;
class SignalWaiter;

// Every change of the keyboard's window, in order, as the extension reports
// it (each with the count of changes it makes). Listens from construction.
class FocusLog {
public:
    explicit FocusLog(const QDBusConnection& bus);
    ~FocusLog();
    // The windows that had the keyboard after change number `after` up to
    // `upTo`, waiting at most limitMs for the reports to arrive. Empty when
    // they did not.
    std::optional<std::vector<std::uint64_t>> between(std::uint64_t after, std::uint64_t upTo,
                                                      int limitMs) const;

private:
    std::unique_ptr<SignalWaiter> waiter_;
};

// Follows the keyboard: the target, or a window it opened while we typed (a
// dialog of a followed window, or a new window of the same process). Any
// other window, or the Shell itself, means the focus was taken away, even
// if it came back before we looked.
class FocusGuard {
public:
    FocusGuard(ShellWindows& shell, const FocusLog& log, const ShellWindow& target,
               std::uint64_t newSince, KeyboardFocus start);
    // Asks the Shell where the keyboard goes; its answer comes after every
    // key sent before. True while only followed windows had it.
    bool holds();
    std::uint64_t current() const { return current_; }
    ShellWindows& shell() const { return shell_; }
    long pid() const { return pid_; }
    // When the keyboard went to the window it is in now (for the target:
    // when the guard was made, right after the activation).
    std::chrono::steady_clock::time_point focusedAt() const { return focusedAt_; }
    // The keyboard is in a window the target opened.
    bool inDialog() const { return current_ != target_; }
    // The target has a window newer than its activation that is not
    // followed yet and does not have the keyboard: one it is opening. Each
    // window counts once.
    bool windowOpening();

private:
    bool follow(std::uint64_t window);

    ShellWindows& shell_;
    const FocusLog& log_;
    std::uint64_t target_;
    long pid_;
    std::uint64_t newSince_;
    KeyboardFocus seen_;
    std::uint64_t current_;
    std::set<std::uint64_t> followed_;
    std::set<std::uint64_t> awaited_;
    std::chrono::steady_clock::time_point focusedAt_ = std::chrono::steady_clock::now();
    long targetPid_;
};

struct Pace {
    // Keys go out in bursts; after each, the Shell says where the keyboard
    // went and the target's unread bytes are looked at.
    int burstKeys = 20;
    // A target whose process cannot be watched gets a burst per period:
    // GNOME Shell drops a client that leaves about 37 KB (some 800 keys)
    // unread, so this pace lets such a target stall for 3.5 s (measured).
    int blindBurstUs = 100000;
    // How long a target may read nothing, or stay busy after a key that
    // may open a window, before the run stops.
    int stallMs = 5000;
    // After a key that may open a window: the least wait (0: only the
    // target's own time), and the wait for a target that cannot be seen.
    int commandFloorMs = 0;
    int blindCommandMs = 150;
    // After the keyboard went to a window: the time its application takes
    // to treat it as active (measured with Qt).
    int settleMs = 100;
};

// Types the keys. Releases the modifiers it pressed when it ends, also after
// an error. Throws KeyError when the focus leaves the followed windows, the
// target stops reading, or the session is lost; nothing more is sent then.
class GnomeTypist {
public:
    GnomeTypist(RemoteKeyboard& keyboard, FocusGuard& guard, Pace pace);
    ~GnomeTypist();
    GnomeTypist(const GnomeTypist&) = delete;
    GnomeTypist& operator=(const GnomeTypist&) = delete;

    // waitAtEnd: the keys are read (and a last command key handled) on
    // return; otherwise NoAnswerAfterLastKey.
    void run(const std::vector<layout::PlannedKey>& keys, bool waitAtEnd);

private:
    using Clock = std::chrono::steady_clock;
    void type(const layout::PlannedKey& key);
    void hold(unsigned mods);
    void toggleCaps();
    void restoreCaps();
    void startBurst();
    void endBurst(std::size_t done, std::size_t total);
    void pace(std::size_t done, std::size_t total);
    void awaitReaction(std::size_t done, std::size_t total,
                       std::chrono::milliseconds rest = std::chrono::milliseconds(0));
    process::ReadReceipt::State settle();
    void letWindowSettle();
    void awaitRead(std::size_t total);
    process::ReadReceipt& receipt();
    // The target's process can be watched (and shows that it gets the keys).
    bool watching();
    void awaitDelivery();
    [[noreturn]] void lost(std::size_t done, std::size_t total);
    [[noreturn]] void sessionEnded(std::size_t done, std::size_t total);

    RemoteKeyboard& keyboard_;
    FocusGuard& guard_;
    Pace pace_;
    unsigned held_ = NoModifier;
    bool capsOn_ = false;   // Caps Lock at the seat, as our keys leave it
    bool wantCaps_ = false; // as the key string leaves it
    std::optional<process::ReadReceipt> receipt_;
    long receiptPid_ = 0;
    bool blind_ = false;
    std::optional<process::TargetProcess> process_; // for signs of delivery
    std::optional<std::uint64_t> cpuBeforeKeys_;
    Clock::time_point burstStart_ = Clock::now();
};

} // namespace keys::gnome
