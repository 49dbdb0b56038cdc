// SPDX-License-Identifier: MIT
#include "keys/kde/KdeTyping.h"
#include "keys/KeyErrorTexts.h"
#include "keys/KeySender.h"
#include "keys/kde/KWinDisplay.h"
#include "keys/wayland/TargetPace.h"

#include <xkbcommon/xkbcommon.h>

#include <algorithm>
#include <thread>

namespace keys::kde {

using layout::PlannedKey;
using layout::Stroke;
using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

// What settled means, and how long a dialog must stay so around Enter or
// Escape, as on other Wayland compositors: real toolkits build a dialog in
// steps, waiting idle for the compositor in between.
const wayland::PaceFigures settling;

// ------------------------------------------------------------ focus guard

FocusGuard::FocusGuard(KWinDisplay& display, const PlasmaWindow* target, std::uint64_t newSince)
    : display_(display), windows_{target}, current_(target), newSince_(newSince)
{
}

bool FocusGuard::followed(const PlasmaWindow* w) const
{
    return std::find(windows_.begin(), windows_.end(), w) != windows_.end();
}

bool FocusGuard::holds(bool answering)
{
    if (!display_.dispatch(0))
        return false;
    const PlasmaWindow* active = display_.activeWindow();
    if (!active)
        return false;
    if (!followed(active)) {
        const bool dialog = followed(active->parent);
        const bool opened = answering && active->created > newSince_ && active->pid != 0
            && active->pid == windows_.front()->pid;
        if (!dialog && !opened)
            return false;
        windows_.push_back(active);
    }
    current_ = active;
    return true;
}

bool FocusGuard::inDialog() const
{
    return current_ != windows_.front() || current_->parent != nullptr;
}

// ------------------------------------------------------------------ typist

Typist::Typist(KWinDisplay& display, FocusGuard& guard,
               std::shared_ptr<const layout::SeatLayout> seatLayout,
               std::vector<std::uint32_t> layouts, QStringList displayAddresses, Pace pace,
               bool endedRunLeftKeys)
    : display_(display), guard_(guard), addresses_(std::move(displayAddresses)), pace_(pace),
      layout_(std::move(seatLayout)), layouts_(std::move(layouts)), group_(layouts_.front()),
      locks_(display.locks())
{
    display_.authenticate();
    // A run killed while it held Shift left every later key shifted: let go
    // of the modifiers it may have held, as if this run had pressed them.
    if (endedRunLeftKeys) {
        heldMods_ = Shift | Control | Alt;
        heldLevels_ = layout::LevelThree | layout::LevelFive;
        hold(NoModifier, layout::NoLevel);
    }
    record_.keep(layouts_.front());
}

Typist::~Typist()
{
    if (!display_.alive())
        return;
    hold(NoModifier, layout::NoLevel);
    // The user's layout comes back once KWin has read every key typed in
    // another one.
    const bool back = group_ == layouts_.front()
        || (display_.roundtrip() && display_.switchLayout(layouts_.front()));
    display_.flush();
    if (back)
        record_.clear();
}

void Typist::run(const std::vector<PlannedKey>& keys, bool waitAtEnd)
{
    const std::size_t total = keys.size();
    int inBurst = 0;
    bool menuMayBeOpen = false;
    for (std::size_t i = 0; i < total; ++i) {
        const PlannedKey& key = keys[i];
        // A plain key right after an Alt shortcut may pick a menu entry.
        const bool dialogKey = key.enterOrEscape && guard_.inDialog();
        const bool command = key.commandKey || menuMayBeOpen || dialogKey;
        menuMayBeOpen = key.commandKey && (key.mods & Alt);
        // The target has handled what came before (its activation too), so
        // the shortcut, or the Enter that closes a dialog, finds it ready.
        if (command)
            awaitSettled(i, total, false, dialogKey ? settling.dialogHold : milliseconds(0));
        type(key, i, total);
        const bool more = i + 1 < total;
        if (command && (more || waitAtEnd)) {
            awaitSettled(i + 1, total, true, dialogKey ? settling.closingHold : milliseconds(0));
            inBurst = 0;
        } else if (key.lockKey) {
            display_.roundtrip();
            locks_ = display_.locks();
        } else if (++inBurst >= pace_.burstKeys && more) {
            endBurst(i + 1, total);
            inBurst = 0;
        }
    }
    hold(NoModifier, layout::NoLevel);
    if (!display_.roundtrip())
        focusLost(total, total);
    // Nothing ends before the target has read its keys.
    awaitRead(State::Read, total, total);
}

void Typist::type(const PlannedKey& key, std::size_t done, std::size_t total)
{
    // Shortcuts go by the key, as a user presses them with Caps Lock on.
    const bool shortcut = (key.mods & (Control | Alt)) != 0;
    std::optional<Stroke> stroke =
        layout_->find(key.sym, group_, shortcut ? layout::Locks{} : locks_);
    if (!stroke) {
        if (const std::optional<std::uint32_t> other = layout::layoutFor(key.sym, *layout_, layouts_)) {
            useLayout(*other, done, total);
            stroke = layout_->find(key.sym, group_, shortcut ? layout::Locks{} : locks_);
        }
    }
    if (!stroke) {
        char name[64] = "?";
        xkb_keysym_get_name(key.sym, name, sizeof name);
        throw KeyError(errors::keyNotInLayout(QString::fromUtf8(name),
                                              {layout_->layoutName(group_)}));
    }
    hold(key.mods, stroke->levels);
    display_.key(stroke->code, true);
    display_.key(stroke->code, false);
}

// Switches KWin to another of the user's layouts once it has passed on the
// keys typed so far, so that each is read in the layout it was typed in.
void Typist::useLayout(std::uint32_t group, std::size_t done, std::size_t total)
{
    hold(NoModifier, layout::NoLevel);
    if (!display_.roundtrip())
        focusLost(done, total);
    if (!display_.switchLayout(group))
        throw KeyError(QStringLiteral("KWin did not switch to the keyboard layout %1 after %2 of "
                                      "%3 keys, so the rest was not typed.")
                           .arg(layout_->layoutName(group))
                           .arg(done)
                           .arg(total));
    group_ = group;
}

// The modifier keys go down and up as on a real keyboard: KWin reads them
// through the same layout and tells the target.
void Typist::hold(unsigned mods, unsigned levels)
{
    struct Slot {
        bool was, wanted;
        std::optional<std::uint32_t> key;
    };
    const auto has = [](unsigned set, unsigned bit) { return (set & bit) != 0; };
    const Slot slots[] = {
        {has(heldMods_, Shift) || has(heldLevels_, layout::LevelShift),
         has(mods, Shift) || has(levels, layout::LevelShift), layout_->modifierKey(Shift)},
        {has(heldMods_, Control) || has(heldLevels_, layout::LevelControl),
         has(mods, Control) || has(levels, layout::LevelControl), layout_->modifierKey(Control)},
        {has(heldMods_, Alt), has(mods, Alt), layout_->modifierKey(Alt)},
        {has(heldLevels_, layout::LevelThree), has(levels, layout::LevelThree),
         layout_->levelKey(layout::LevelThree)},
        {has(heldLevels_, layout::LevelFive), has(levels, layout::LevelFive),
         layout_->levelKey(layout::LevelFive)},
    };
    for (const Slot& s : slots)
        if (s.was && !s.wanted && s.key)
            display_.key(*s.key, false);
    for (const Slot& s : slots)
        if (!s.was && s.wanted && s.key)
            display_.key(*s.key, true);
    heldMods_ = mods;
    heldLevels_ = levels;
}

process::ReadReceipt& Typist::receipt()
{
    const long pid = guard_.current()->pid;
    if (!receipt_ || receipt_->pid() != pid)
        receipt_.emplace(pid, addresses_, settling.quiet, settling.idleShare);
    return *receipt_;
}

// KWin has passed the burst on; the focus is still where it was; the target
// has read it before the next one goes (so a stalled target never holds
// more than about a burst, and KWin never drops it for falling behind).
void Typist::endBurst(std::size_t done, std::size_t total)
{
    if (!display_.roundtrip() || !guard_.holds())
        focusLost(done, total);
    if (receipt().visible()) {
        awaitRead(State::Handling, done, total);
        return;
    }
    const Clock::time_point end = Clock::now() + pace_.blindBurst;
    while (Clock::now() < end)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

// Waits until the target has got at least this far with what it was sent,
// within the stall limit.
void Typist::awaitRead(State wanted, std::size_t done, std::size_t total)
{
    process::ReadReceipt& r = receipt();
    if (!r.visible())
        return;
    r.sent();
    const State state = r.await(wanted, pace_.stall);
    // A target that ends after its last key (a form that closes) has
    // answered; before that, its keys had nowhere to go.
    if (state == State::Gone) {
        if (done == total)
            return;
        focusLost(done, total);
    }
    if (state < wanted)
        stalled(done, total);
}

// Until the target has handled what it was sent and settled, in whichever of
// its windows is active then, and KWin owes it nothing more: after round
// trips with KWin it still has nothing to read and has not woken. (A new
// dialog takes several steps between the two: KWin's configure, the first
// frame, the activation; the target waits for KWin in between.)
// answering: after a key that may open, close or switch windows, so a new
// window of the target's process is followed, and after the last key the
// target may close. rest: how long it must stay settled first while the
// window the wait began in is still the active one (a GTK file chooser
// shows its name completion by a timer, and closes some 250 ms after Enter).
void Typist::awaitSettled(std::size_t done, std::size_t total, bool answering,
                          milliseconds rest)
{
    constexpr int confirmations = 2;
    hold(NoModifier, layout::NoLevel);
    if (!display_.roundtrip())
        focusLost(done, total);
    const bool last = answering && done == total;
    const Clock::time_point start = Clock::now();
    if (!receipt().visible()) {
        while (answering && Clock::now() - start < pace_.commandPause && display_.dispatch(1)) {
        }
        if (!guard_.holds(answering) && !last)
            focusLost(done, total);
        return;
    }
    receipt().sent();
    const PlasmaWindow* startedIn = guard_.current();
    std::optional<Clock::time_point> settledSince;
    int confirmed = 0;
    for (;;) {
        const bool holds = guard_.holds(answering);
        const State state = receipt().look();
        if (state == State::Gone) {
            if (last)
                return;
            focusLost(done, total);
        }
        if (state == State::Settled && (holds || last)) {
            if (!settledSince)
                settledSince = Clock::now();
            const milliseconds held = guard_.current() == startedIn ? rest : milliseconds(0);
            if (Clock::now() - *settledSince >= held) {
                if (confirmed == confirmations)
                    return;
                if (!display_.roundtrip())
                    focusLost(done, total);
                ++confirmed;
                continue;
            }
        } else {
            settledSince.reset();
            confirmed = 0;
        }
        // Settled elsewhere; no window active means a dialog has closed and
        // KWin has not yet given the focus back.
        if (state == State::Settled && !holds && !last && display_.activeWindow())
            focusLost(done, total);
        if (Clock::now() - start >= pace_.stall)
            stalled(done, total);
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

void Typist::focusLost(std::size_t done, std::size_t total)
{
    if (!display_.alive())
        throw KeyError(QStringLiteral("The connection to KWin was lost after %1 of %2 keys, so "
                                      "the rest was not typed.")
                           .arg(done)
                           .arg(total));
    if (display_.silent())
        throw KeyError(errors::compositorStoppedAnswering(static_cast<qsizetype>(done),
                                                          static_cast<qsizetype>(total)));
    throw KeyError(errors::focusLostAfter(static_cast<qsizetype>(done),
                                          static_cast<qsizetype>(total)));
}

void Typist::stalled(std::size_t done, std::size_t total)
{
    if (done == total)
        throw NoAnswerAfterLastKey(errors::noAnswerAfterLastKey(static_cast<qsizetype>(total)));
    throw KeyError(errors::stoppedRespondingAfter(static_cast<qsizetype>(done),
                                                  static_cast<qsizetype>(total)));
}

} // namespace keys::kde
