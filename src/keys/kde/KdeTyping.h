// SPDX-License-Identifier: MIT
#pragma once
// Internal to the KDE backend: typing planned keys through KWin's fake input
// into the active window, paced by what the target has read, and watching
// that the focus stays with it.
#include "keys/layout/KeyPlan.h"
#include "keys/layout/SeatLayout.h"
#include "keys/kde/RunRecord.h"
#include "keys/process/ReadReceipt.h"

#include <QStringList>

#include <chrono>
#include <memory>
#include <optional>
#include <vector>

namespace keys::kde {

class KWinDisplay;
struct PlasmaWindow;

// Follows the active window: the target, a dialog of a followed window
// (its parent tells), or, while a command key is being answered, a new
// window of the target's process. Anything else active means the focus was
// taken away.
class FocusGuard {
public:
    // Windows newer than newSince (an order of appearance) are new.
    FocusGuard(KWinDisplay& display, const PlasmaWindow* target, std::uint64_t newSince);
    // Reads KWin's news; true while a followed window is active.
    // answering: a command key is being answered, so a new window of the
    // target's process counts as its own.
    bool holds(bool answering = false);
    const PlasmaWindow* current() const { return current_; }
    // True when the active window is a dialog of the target's.
    bool inDialog() const;

private:
    bool followed(const PlasmaWindow* w) const;

    KWinDisplay& display_;
    std::vector<const PlasmaWindow*> windows_;
    const PlasmaWindow* current_;
    std::uint64_t newSince_;
};

struct Pace {
    // Keys go out in bursts; after each, KWin has passed them on and the
    // target has read them before the next (or, where its process cannot
    // be seen, a pause that lets it).
    int burstKeys = 40;
    // Where the target's process cannot be watched: the pause after each
    // burst, and after a key that may open or close a window. KWin drops a
    // client that has not read 2,000 to 3,000 keys (a stopped
    // weston-terminal, measured): at 320 keys a second a target that stalls
    // for the 5 s a visible one may gets about 1,600.
    std::chrono::milliseconds blindBurst{125};
    std::chrono::milliseconds commandPause{150};
    // How long a target may read nothing, or take over a command key,
    // before typing stops with an error.
    std::chrono::milliseconds stall{5000};
};

// Types the keys in the seat's layout. Lets go of every key it pressed when
// it ends, also after an error. Throws KeyError when the focus leaves the
// followed windows, the target stops reading, or the connection is lost;
// nothing more is sent then.
class Typist {
public:
    // layouts: those typing may use, the one in use first (see
    // KWinDisplay::usableLayouts); a key the one in use lacks is typed in
    // another, and the one in use is restored at the end.
    // displayAddresses: where the display servers the target may read its
    // keys from listen (KWin's socket, and XWayland's for X11 windows).
    // endedRunLeftKeys: a run was killed mid-way, so modifiers may be down.
    // While it lives, the Typist keeps a RunRecord.
    Typist(KWinDisplay& display, FocusGuard& guard,
           std::shared_ptr<const layout::SeatLayout> seatLayout,
           std::vector<std::uint32_t> layouts, QStringList displayAddresses, Pace pace = {},
           bool endedRunLeftKeys = false);
    ~Typist();
    Typist(const Typist&) = delete;
    Typist& operator=(const Typist&) = delete;

    // waitAtEnd: after a last key that may open or close a window, wait for
    // the target's answer too. Returns when the target has read every key.
    void run(const std::vector<layout::PlannedKey>& keys, bool waitAtEnd);

private:
    using State = process::ReadReceipt::State;
    void type(const layout::PlannedKey& key, std::size_t done, std::size_t total);
    void useLayout(std::uint32_t group, std::size_t done, std::size_t total);
    void hold(unsigned mods, unsigned levels);
    void endBurst(std::size_t done, std::size_t total);
    void awaitRead(State wanted, std::size_t done, std::size_t total);
    void awaitSettled(std::size_t done, std::size_t total, bool answering,
                      std::chrono::milliseconds rest);
    process::ReadReceipt& receipt();
    [[noreturn]] void focusLost(std::size_t done, std::size_t total);
    [[noreturn]] void stalled(std::size_t done, std::size_t total);

    KWinDisplay& display_;
    FocusGuard& guard_;
    QStringList addresses_;
    Pace pace_;
    std::shared_ptr<const layout::SeatLayout> layout_;
    std::vector<std::uint32_t> layouts_;
    std::uint32_t group_ = 0;
    layout::Locks locks_;
    unsigned heldMods_ = NoModifier;
    unsigned heldLevels_ = layout::NoLevel;
    std::optional<process::ReadReceipt> receipt_;
    RunRecord record_;
};

} // namespace keys::kde
