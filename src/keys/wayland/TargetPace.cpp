// SPDX-License-Identifier: MIT
#include "keys/wayland/TargetPace.h"

#include <algorithm>
#include <thread>

namespace keys::wayland {

namespace {

constexpr milliseconds lookEvery{1};

} // namespace

TargetPace::TargetPace(long pid, const QStringList& displayAddresses, CompositorSync sync,
                       PaceFigures figures)
    : figures_(figures), addresses_(displayAddresses), sync_(std::move(sync)),
      receipt_(pid, displayAddresses, figures.quiet, figures.idleShare)
{
    if (receipt_.seesConnection())
        return;
    // The target's own connection is not to be found: watch them all, from
    // what each held before the first key.
    if (const auto clients = process::displayClients(addresses_)) {
        watchesClients_ = true;
        for (const process::ClientConnection& client : *clients)
            clientsBefore_[client.inode] = client.unread;
    }
}

void TargetPace::sent(int keys)
{
    receipt_.sent();
    settled_ = false;
    const auto perKey = std::chrono::duration_cast<Clock::duration>(std::chrono::seconds(1))
        / std::max(1, figures_.blindKeysPerSecond);
    blindNext_ = std::max(blindNext_, Clock::now()) + perKey * keys;
}

std::optional<std::uint64_t> TargetPace::backlog()
{
    if (receipt_.seesConnection())
        return receipt_.unreadBytes();
    if (!watchesClients_)
        return std::nullopt;
    const auto clients = process::displayClients(addresses_);
    if (!clients)
        return std::nullopt;
    std::uint64_t gained = 0;
    for (const process::ClientConnection& client : *clients) {
        const auto before = clientsBefore_.find(client.inode);
        const std::uint64_t base = before == clientsBefore_.end() ? 0 : before->second;
        if (client.unread > base)
            gained = std::max(gained, client.unread - base);
    }
    return gained;
}

// Waits until no more than limit bytes wait unread. The bound (at most
// within) starts anew whenever the backlog shrinks: a slow reader is no
// stalled one.
Outcome TargetPace::awaitBacklog(std::uint64_t limit, const FocusCheck& focus,
                                 milliseconds within)
{
    Clock::time_point end = Clock::now() + within;
    std::optional<std::uint64_t> last;
    for (;;) {
        const State state = receipt_.visible() ? receipt_.look() : State::Unknown;
        const std::optional<std::uint64_t> unread = backlog();
        if (state == State::Gone)
            return Outcome::Gone;
        if (!unread) // nothing to see: the blind pace
            break;
        if (*unread <= limit && state != State::Stopped)
            return Outcome::Done;
        if (last && *unread < *last)
            end = Clock::now() + within;
        last = unread;
        const Focus where = focus();
        if (where == Focus::Lost || where == Focus::Between)
            return Outcome::FocusLost;
        if (Clock::now() >= end)
            return Outcome::Stalled;
        std::this_thread::sleep_for(lookEvery);
    }
    while (Clock::now() < blindNext_) {
        const Focus where = focus();
        if (where == Focus::Lost || where == Focus::Between)
            return Outcome::FocusLost;
        std::this_thread::sleep_for(std::min<Clock::duration>(lookEvery, blindNext_ - Clock::now()));
    }
    return Outcome::Done;
}

Outcome TargetPace::awaitRoom(const FocusCheck& focus)
{
    return awaitBacklog(figures_.backlogLimit, focus, figures_.bound);
}

bool TargetPace::awaitIdle(const FocusCheck& focus, bool dialogKey)
{
    // Another client that stopped reading may hold a backlog too: only a
    // short look, then the target counts as busy.
    if (!receipt_.visible())
        return awaitBacklog(0, focus, figures_.settleFirst) == Outcome::Done
            && (!dialogKey || pause(figures_.commandPause, focus) == Outcome::Done);
    // Found settled since the last keys: nothing to wait for.
    if (settled_ && !dialogKey)
        return true;
    const milliseconds limit = dialogKey ? figures_.bound
        : busyAnyway_                   ? 2 * figures_.quiet
                                        : figures_.settleFirst;
    busyAnyway_ = !awaitSettled(focus, Clock::now() + limit, Clock::now(),
                                dialogKey ? figures_.dialogHold : milliseconds(0))
                       .has_value();
    return !busyAnyway_;
}

std::optional<TargetPace::State> TargetPace::awaitSettled(const FocusCheck& focus,
                                                          Clock::time_point end,
                                                          Clock::time_point notBefore,
                                                          milliseconds hold)
{
    std::optional<Clock::time_point> settledSince;
    std::optional<Clock::time_point> syncedAt;
    for (;;) {
        const State state = receipt_.look();
        const Focus where = focus();
        if (where == Focus::Lost || state == State::Gone)
            return state;
        if (state != State::Settled || where == Focus::Between) {
            settledSince.reset();
            syncedAt.reset();
        } else if (!settledSince) {
            settledSince = Clock::now();
        }
        if (syncedAt && Clock::now() >= *syncedAt + figures_.confirm) {
            settled_ = true;
            return state;
        }
        // The hold is for the window the wait began in: once the focus
        // moved, its change has come.
        const milliseconds held = where == Focus::Unchanged ? hold : milliseconds(0);
        if (!syncedAt && settledSince
            && Clock::now() >= std::max(notBefore, *settledSince + held)) {
            // Whatever the compositor still had for the target (the answer
            // to a new window, say) is now on its way; the target must stay
            // settled after it too.
            if (!sync_())
                return State::Gone;
            syncedAt = Clock::now();
        }
        if (Clock::now() >= end)
            return std::nullopt;
        std::this_thread::sleep_for(lookEvery);
    }
}

// Once the target is done, the focus must rest on a window of its own: a
// dialog that closed hands it back to the window below a little later.
Outcome TargetPace::awaitFocusBack(const FocusCheck& focus, Clock::time_point end)
{
    for (;;) {
        const Focus where = focus();
        if (where == Focus::Lost)
            return Outcome::FocusLost;
        if (where != Focus::Between)
            return Outcome::Done;
        if (Clock::now() >= end)
            return Outcome::FocusLost;
        std::this_thread::sleep_for(lookEvery);
    }
}

Outcome TargetPace::pause(milliseconds time, const FocusCheck& focus)
{
    const Clock::time_point end = Clock::now() + time;
    while (Clock::now() < end) {
        if (focus() == Focus::Lost)
            return Outcome::FocusLost;
        std::this_thread::sleep_for(lookEvery);
    }
    return Outcome::Done;
}

Outcome TargetPace::awaitHandled(const FocusCheck& focus, bool idleBefore, bool dialogKey)
{
    const Clock::time_point start = Clock::now();
    const Clock::time_point end = start + figures_.bound;
    const Clock::time_point floorEnd = start + figures_.commandFloor;
    if (!receipt_.visible()) {
        // Only the compositor's news tell: a window change within the pause.
        bool moved = false;
        while (!moved && Clock::now() < start + figures_.commandPause) {
            const Focus where = focus();
            if (where == Focus::Lost)
                return Outcome::FocusLost;
            moved = where == Focus::Moved;
            std::this_thread::sleep_for(lookEvery);
        }
        if (const Outcome o = awaitFocusBack(focus, end); o != Outcome::Done)
            return o;
        if (moved) {
            const auto settled = std::max(Clock::now() + figures_.settle, floorEnd);
            return pause(std::chrono::duration_cast<milliseconds>(settled - Clock::now()), focus);
        }
        return awaitBacklog(0, focus, figures_.bound);
    }
    if (idleBefore) {
        const std::optional<State> state =
            awaitSettled(focus, end, floorEnd, dialogKey ? figures_.closingHold : milliseconds(0));
        if (!state)
            return focus() == Focus::Between ? Outcome::FocusLost : Outcome::Stalled;
        if (*state == State::Gone)
            return Outcome::Gone;
        return focus() == Focus::Lost ? Outcome::FocusLost : Outcome::Done;
    }
    // Busy anyway: its reading the key, and a moment for a window to show.
    for (;;) {
        const State state = receipt_.look();
        const Focus where = focus();
        if (where == Focus::Lost)
            return Outcome::FocusLost;
        if (state == State::Gone)
            return Outcome::Gone;
        if (state >= State::Read && where != Focus::Between && Clock::now() >= floorEnd)
            return pause(figures_.busyMargin, focus);
        if (Clock::now() >= end)
            return where == Focus::Between ? Outcome::FocusLost : Outcome::Stalled;
        std::this_thread::sleep_for(lookEvery);
    }
}

Outcome TargetPace::awaitTaken(const FocusCheck& focus, bool keymapFollows)
{
    if (!receipt_.visible()) {
        const Outcome read = awaitBacklog(0, focus, figures_.bound);
        if (read != Outcome::Done || !keymapFollows)
            return read;
        // An X11 program reads its keys through XWayland and looks their
        // symbols up only when it handles them, by then in the new keymap.
        return pause(figures_.swapPause, focus);
    }
    const Clock::time_point end = Clock::now() + figures_.bound;
    for (;;) {
        const State state = receipt_.look();
        if (state == State::Gone || state >= State::Read)
            return state == State::Gone ? Outcome::Gone : Outcome::Done;
        if (Clock::now() >= end)
            return Outcome::Stalled;
        focus();
        std::this_thread::sleep_for(lookEvery);
    }
}

Outcome TargetPace::awaitKeymapTaken(const FocusCheck& focus)
{
    if (!receipt_.visible())
        return pause(figures_.swapPause, focus);
    receipt_.sent();
    const Clock::time_point end = Clock::now() + figures_.bound;
    for (;;) {
        const State state = receipt_.look();
        if (state == State::Gone)
            return Outcome::Gone;
        if (state == State::Settled)
            return Outcome::Done;
        if (Clock::now() >= end)
            return Outcome::Stalled;
        if (focus() == Focus::Lost)
            return Outcome::FocusLost;
        std::this_thread::sleep_for(lookEvery);
    }
}

} // namespace keys::wayland
