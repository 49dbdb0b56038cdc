// SPDX-License-Identifier: MIT
#include "keys/gnome/GnomeTyping.h"
#include "keys/KeyErrorTexts.h"
#include "keys/KeySender.h"
#include "keys/gnome/RemoteKeyboard.h"
#include "keys/gnome/SignalWaiter.h"
#include "keys/wayland/TargetPace.h"

#include <xkbcommon/xkbcommon-keysyms.h>
#include <xkbcommon/xkbcommon.h>

#include <algorithm>
#include <map>
#include <thread>

namespace keys::gnome {

// What settled means, and how long a dialog must stay so around Enter or
// Escape, as on other Wayland compositors: real toolkits build a dialog in
// steps, waiting idle for the compositor in between.
const wayland::PaceFigures settling;

using process::ReadReceipt;
using process::TargetProcess;
using process::ThreadState;

namespace {

using namespace std::chrono_literals;

// After keys went out, how long the target may show no sign of them (its UI
// thread did not run, nothing waits unread) before they count as gone
// elsewhere or dropped.
constexpr auto deliveryLimit = 250ms;
// How long a window the target opens may take to get the keyboard.
constexpr auto newWindowLimit = 1000ms;
// How long the Shell's reports of focus changes may trail its answers.
constexpr int focusReportLimitMs = 1000;

// A letter has two cases, which Caps Lock turns.
bool isLetter(std::uint32_t sym)
{
    return xkb_keysym_to_lower(sym) != xkb_keysym_to_upper(sym);
}

} // namespace

// ---------------------------------------------------------------- focus log

FocusLog::FocusLog(const QDBusConnection& bus)
    : waiter_(std::make_unique<SignalWaiter>(bus, QStringLiteral("org.gnome.Shell"),
                                             QStringLiteral("/org/typomat/Windows"),
                                             QStringLiteral("org.typomat.Windows"),
                                             QStringLiteral("FocusChanged")))
{
}

FocusLog::~FocusLog() = default;

std::optional<std::vector<std::uint64_t>> FocusLog::between(std::uint64_t after, std::uint64_t upTo,
                                                            int limitMs) const
{
    const auto windowsIn = [&](const SignalCatcher::Arrivals& arrivals) {
        std::map<std::uint64_t, std::uint64_t> byChange;
        for (const QVariantList& a : arrivals) {
            const std::uint64_t change = a.value(1).toULongLong();
            if (change > after && change <= upTo)
                byChange[change] = a.value(0).toULongLong();
        }
        return byChange;
    };
    const std::size_t wanted = upTo - after;
    const auto byChange = windowsIn(waiter_->waitUntil(
        [&](const SignalCatcher::Arrivals& a) { return windowsIn(a).size() == wanted; }, limitMs));
    if (byChange.size() != wanted)
        return std::nullopt;
    // Guards look from their start on, which is later than this.
    waiter_->forget([&](const QVariantList& a) { return a.value(1).toULongLong() <= upTo; });
    std::vector<std::uint64_t> windows;
    for (const auto& [change, window] : byChange)
        windows.push_back(window);
    return windows;
}

// -------------------------------------------------------------- focus guard

FocusGuard::FocusGuard(ShellWindows& shell, const FocusLog& log, const ShellWindow& target,
                       std::uint64_t newSince, KeyboardFocus start)
    : shell_(shell), log_(log), target_(target.id), pid_(target.pid), newSince_(newSince),
      seen_(start), current_(target.id), followed_{target.id}, targetPid_(target.pid)
{
    // Activation may have put the keyboard into a dialog the target has open.
    if (start.window != target_)
        follow(start.window);
    current_ = start.window;
}

bool FocusGuard::follow(std::uint64_t window)
{
    if (followed_.count(window))
        return true;
    if (window == 0)
        return false;
    for (const ShellWindow& w : shell_.list()) {
        if (w.id != window)
            continue;
        const bool opened = followed_.count(w.parent) != 0
            || (w.id > newSince_ && w.pid != 0 && w.pid == targetPid_);
        if (opened)
            followed_.insert(w.id);
        return opened;
    }
    return false;
}

bool FocusGuard::holds()
{
    const KeyboardFocus now = shell_.focus();
    if (now.changes != seen_.changes) {
        const auto windows = log_.between(seen_.changes, now.changes, focusReportLimitMs);
        seen_ = now;
        if (!windows)
            return false;
        for (std::uint64_t w : *windows)
            if (!follow(w))
                return false;
    }
    if (!followed_.count(now.window))
        return false;
    if (now.window != current_) {
        current_ = now.window;
        focusedAt_ = std::chrono::steady_clock::now();
        for (const ShellWindow& w : shell_.list())
            if (w.id == current_ && w.pid != 0)
                pid_ = w.pid;
    }
    return true;
}

bool FocusGuard::windowOpening()
{
    for (const ShellWindow& w : shell_.list()) {
        const bool ours = followed_.count(w.parent) != 0 || (w.pid != 0 && w.pid == targetPid_);
        if (w.id > newSince_ && ours && !w.focused && !followed_.count(w.id)
            && awaited_.insert(w.id).second)
            return true;
    }
    return false;
}

// ------------------------------------------------------------------- typist

GnomeTypist::GnomeTypist(RemoteKeyboard& keyboard, FocusGuard& guard, Pace pace)
    : keyboard_(keyboard), guard_(guard), pace_(pace)
{
    capsOn_ = wantCaps_ = keyboard_.capsLock().value_or(false);
}

GnomeTypist::~GnomeTypist()
{
    try {
        hold(NoModifier);
        restoreCaps();
    } catch (...) {
        // The session is gone: so are its keys.
    }
}

void GnomeTypist::run(const std::vector<layout::PlannedKey>& keys, bool waitAtEnd)
{
    const std::size_t total = keys.size();
    // A dialog that got the keyboard a moment ago (after the last key of
    // the call before) is made ready first.
    if (guard_.inDialog()
        && Clock::now() < guard_.focusedAt() + std::chrono::milliseconds(pace_.settleMs))
        letWindowSettle();
    std::size_t inBurst = 0;
    bool menuMayBeOpen = false;
    for (std::size_t i = 0; i < total; ++i) {
        const layout::PlannedKey& key = keys[i];
        const bool dialogKey = key.enterOrEscape && guard_.inDialog();
        // A plain key right after an Alt shortcut may pick a menu entry,
        // which may open a dialog.
        const bool reacts = key.commandKey || dialogKey || menuMayBeOpen;
        menuMayBeOpen = key.commandKey && (key.mods & Alt);
        if (reacts && inBurst > 0) {
            // A dialog must be ready before Enter or Escape reaches it, and a
            // shortcut needs the text before it handled.
            hold(NoModifier);
            endBurst(i - inBurst, total);
            awaitReaction(i, total, dialogKey ? settling.dialogHold : 0ms);
            inBurst = 0;
        } else if (reacts && i == 0) {
            letWindowSettle();
        }
        if (inBurst == 0)
            startBurst();
        type(key);
        ++inBurst;
        const bool more = i + 1 < total;
        if (reacts && (more || waitAtEnd)) {
            hold(NoModifier);
            endBurst(i + 1 - inBurst, total);
            awaitReaction(i + 1, total, dialogKey ? settling.closingHold : 0ms);
            inBurst = 0;
        } else if (inBurst >= static_cast<std::size_t>(pace_.burstKeys) && more) {
            endBurst(i + 1 - inBurst, total);
            pace(i + 1, total);
            inBurst = 0;
        }
    }
    hold(NoModifier);
    restoreCaps();
    if (inBurst > 0) {
        endBurst(total - inBurst, total);
        if (waitAtEnd)
            awaitRead(total);
    }
    if (!keyboard_.sync())
        sessionEnded(total, total);
}

// Caps Lock would turn the case of letters: it is switched off before a
// letter, and left at the end as the key string leaves it.
void GnomeTypist::type(const layout::PlannedKey& key)
{
    if (key.sym == XKB_KEY_Caps_Lock) {
        wantCaps_ = !wantCaps_;
        capsOn_ = !capsOn_;
    } else if (key.character && capsOn_ && isLetter(key.sym)) {
        toggleCaps();
    }
    hold(key.mods);
    keyboard_.key(key.sym, true);
    keyboard_.key(key.sym, false);
}

void GnomeTypist::toggleCaps()
{
    keyboard_.key(XKB_KEY_Caps_Lock, true);
    keyboard_.key(XKB_KEY_Caps_Lock, false);
    capsOn_ = !capsOn_;
}

void GnomeTypist::restoreCaps()
{
    if (capsOn_ != wantCaps_)
        toggleCaps();
}

void GnomeTypist::hold(unsigned mods)
{
    static constexpr std::pair<Modifier, std::uint32_t> keysyms[] = {
        {Shift, XKB_KEY_Shift_L}, {Control, XKB_KEY_Control_L}, {Alt, XKB_KEY_Alt_L}};
    for (const auto& [m, sym] : keysyms)
        if ((held_ & m) && !(mods & m))
            keyboard_.key(sym, false);
    for (const auto& [m, sym] : keysyms)
        if (!(held_ & m) && (mods & m))
            keyboard_.key(sym, true);
    held_ = mods;
}

// Keys are about to go out: what the target did before no longer counts.
void GnomeTypist::startBurst()
{
    ReadReceipt& r = receipt();
    r.sent();
    cpuBeforeKeys_ = process_ && !blind_ ? process_->uiThreadCpuTimeNs() : std::nullopt;
}

// The burst has reached the target, and only followed windows had the
// keyboard meanwhile. A window that took the keyboard while the burst was
// on its way got some of it; no later key goes there.
void GnomeTypist::endBurst(std::size_t done, std::size_t total)
{
    awaitDelivery();
    if (!keyboard_.orderedWithShell() && !keyboard_.sync())
        sessionEnded(done, total);
    if (!guard_.holds())
        lost(done, total);
}

// Before the next burst: the target has read the last one, so that a
// target that falls behind is never flooded (the compositor would drop it).
void GnomeTypist::pace(std::size_t done, std::size_t total)
{
    ReadReceipt& r = receipt();
    if (!watching()) {
        const Clock::time_point next = burstStart_ + std::chrono::microseconds(pace_.blindBurstUs);
        std::this_thread::sleep_until(next);
        burstStart_ = std::max(next, Clock::now() - std::chrono::microseconds(pace_.blindBurstUs));
        return;
    }
    const Clock::time_point end = Clock::now() + std::chrono::milliseconds(pace_.stallMs);
    for (;;) {
        const ReadReceipt::State state = r.look();
        if (state != ReadReceipt::State::Unread && state != ReadReceipt::State::Stopped)
            return;
        if (Clock::now() >= end)
            throw KeyError(errors::stoppedRespondingAfter(static_cast<qsizetype>(done),
                                                          static_cast<qsizetype>(total)));
        std::this_thread::sleep_for(1ms);
    }
}

// After a key that may open, close or switch windows: the target has read
// and handled it, and the keyboard is where the next keys may go.
// rest: while the keyboard stays with the window it was with, how much
// longer the target must stay settled (around Enter or Escape in a dialog).
void GnomeTypist::awaitReaction(std::size_t done, std::size_t total,
                                std::chrono::milliseconds rest)
{
    const bool last = done == total;
    const Clock::time_point floor = Clock::now() + std::chrono::milliseconds(pace_.commandFloorMs);
    const ReadReceipt::State state = settle();
    std::this_thread::sleep_until(floor);
    const std::uint64_t before = guard_.current();
    if (!guard_.holds()) {
        if (last)
            return; // the key may have closed the target
        lost(done, total);
    }
    const auto unanswered = [&](ReadReceipt::State seen) {
        return seen != ReadReceipt::State::Settled && seen != ReadReceipt::State::Unknown
            && seen != ReadReceipt::State::Gone;
    };
    const auto stopped = [&] {
        if (last)
            throw NoAnswerAfterLastKey(errors::noAnswerAfterLastKey(static_cast<qsizetype>(total)));
        throw KeyError(errors::stoppedRespondingAfter(static_cast<qsizetype>(done),
                                                      static_cast<qsizetype>(total)));
    };
    if (unanswered(state))
        stopped();
    if (rest > 0ms && guard_.current() == before && watching()) {
        // A GTK file chooser shows its name completion by a timer a while
        // after the typing, and drops an Enter that comes while it is up; a
        // dialog closes some 250 ms after its Enter.
        if (unanswered(receipt().staySettled(rest, std::chrono::milliseconds(pace_.stallMs))))
            stopped();
        if (!guard_.holds()) {
            if (last)
                return;
            lost(done, total);
        }
    }
    // A window the target is opening (the compositor shows it once the
    // target has drawn it) takes the keyboard before the next key.
    if (guard_.current() == before && guard_.windowOpening()) {
        const Clock::time_point end = Clock::now() + newWindowLimit;
        while (guard_.current() == before && Clock::now() < end) {
            std::this_thread::sleep_for(2ms);
            if (!guard_.holds())
                lost(done, total);
        }
    }
    if (guard_.current() != before)
        letWindowSettle();
}

// An application takes a window that got the keyboard for active only a
// little later (Qt with its next frame); until then it drops keys typed
// there and its shortcuts do not work. The compositor does not tell when.
void GnomeTypist::letWindowSettle()
{
    std::this_thread::sleep_until(guard_.focusedAt() + std::chrono::milliseconds(pace_.settleMs));
    receipt().sent();
    settle();
}

// Waits until the keys sent have reached the target and it has handled
// them; then until the compositor has taken in what the target did about
// them (a dialog it closed gives the keyboard back only then).
ReadReceipt::State GnomeTypist::settle()
{
    ShellWindows& shell = guard_.shell();
    shell.dispatched();
    ReadReceipt& r = receipt();
    ReadReceipt::State state = ReadReceipt::State::Unknown;
    if (watching())
        state = r.await(ReadReceipt::State::Settled, std::chrono::milliseconds(pace_.stallMs));
    else
        std::this_thread::sleep_for(std::chrono::milliseconds(pace_.blindCommandMs));
    shell.dispatched();
    return state;
}

// Nothing ends before the target has read its keys.
void GnomeTypist::awaitRead(std::size_t total)
{
    ReadReceipt& r = receipt();
    if (!watching())
        return;
    guard_.shell().dispatched();
    const ReadReceipt::State state =
        r.await(ReadReceipt::State::Read, std::chrono::milliseconds(pace_.stallMs));
    if (state < ReadReceipt::State::Read && state != ReadReceipt::State::Gone)
        throw NoAnswerAfterLastKey(errors::noAnswerAfterLastKey(static_cast<qsizetype>(total)));
}

// The compositor hands keys on from a thread of its own, a little after it
// answered: until the target shows a sign of them (its UI thread ran, or
// bytes wait unread), a look at it would find it idle from before.
void GnomeTypist::awaitDelivery()
{
    if (!process_ || !cpuBeforeKeys_)
        return;
    const std::optional<std::uint64_t> before = std::exchange(cpuBeforeKeys_, std::nullopt);
    const Clock::time_point end = Clock::now() + deliveryLimit;
    while (Clock::now() < end) {
        const ThreadState ui = process_->uiThread();
        if (ui == ThreadState::Gone || ui == ThreadState::Stopped
            || process_->uiThreadCpuTimeNs() != before || process_->unreadBytes().value_or(0) > 0)
            return;
        std::this_thread::sleep_for(200us);
    }
    // The process shows nothing of the keys: it is not the one that reads
    // them (a wrong process id). Typing goes on at the pace for a target
    // that cannot be watched.
    blind_ = true;
}

bool GnomeTypist::watching()
{
    return !blind_ && receipt().visible();
}

ReadReceipt& GnomeTypist::receipt()
{
    if (!receipt_ || receiptPid_ != guard_.pid()) {
        receiptPid_ = guard_.pid();
        const QStringList addresses = process::sessionDisplayAddresses();
        receipt_.emplace(receiptPid_, addresses, settling.quiet, settling.idleShare);
        process_ = TargetProcess::find(receiptPid_);
        if (process_)
            process_->findConnections(addresses);
        cpuBeforeKeys_.reset();
        blind_ = false;
    }
    return *receipt_;
}

void GnomeTypist::sessionEnded(std::size_t done, std::size_t total)
{
    throw KeyError(QStringLiteral("GNOME's remote desktop session ended after %1 of %2 keys "
                                  "(GNOME Shell may have been restarted), so it is not known "
                                  "which of them were typed.")
                       .arg(done)
                       .arg(total));
}

void GnomeTypist::lost(std::size_t done, std::size_t total)
{
    throw KeyError(
        errors::focusLostAfter(static_cast<qsizetype>(done), static_cast<qsizetype>(total)));
}

} // namespace keys::gnome
