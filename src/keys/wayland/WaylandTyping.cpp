// SPDX-License-Identifier: MIT
#include "keys/wayland/WaylandTyping.h"
#include "keys/KeyErrorTexts.h"
#include "keys/KeySender.h"
#include "keys/wayland/CompositorIpc.h"
#include "keys/wayland/VirtualKeyboard.h"
#include "keys/wayland/WaylandDisplay.h"
#include "keys/wayland/XwaylandMapping.h"

#include <algorithm>
#include <chrono>

namespace keys::wayland {

// ------------------------------------------------------------ focus guard

FocusGuard::FocusGuard(WaylandDisplay& display, Followed& followed)
    : display_(display), followed_(followed), current_(followed.windows.front())
{
}

bool FocusGuard::followed(const Toplevel* t) const
{
    return std::find(followed_.windows.begin(), followed_.windows.end(), t)
        != followed_.windows.end();
}

void FocusGuard::expectWindows(bool on)
{
    expecting_ = on;
    // Only windows that appear from now on can be the key's doing.
    if (on)
        newerThan_ = display_.toplevels().empty() ? 0 : display_.toplevels().back().created;
}

// A window the target opened because of the key just sent: it appeared
// during the wait, and the compositor names the target as its parent, or
// (where it names no parents) it has the target's application and process.
bool FocusGuard::opened(const Toplevel* t) const
{
    if (!expecting_ || t->created <= newerThan_)
        return false;
    if (t->parent)
        return followed(t->parent);
    if (display_.reportsParents() || t->appId != followed_.windows.front()->appId)
        return false;
    if (followed_.pid == 0)
        return true;
    const std::optional<FocusedWindow> focused = askFocusedWindow();
    return !focused || focused->title != t->title || focused->pid == followed_.pid;
}

bool FocusGuard::holds()
{
    const Focus focus = look(current_);
    return focus == Focus::Unchanged || focus == Focus::Moved;
}

Focus FocusGuard::look(const Toplevel* before)
{
    if (!display_.dispatch(0))
        return Focus::Lost;
    const Toplevel* active = display_.activeToplevel();
    if (!active) {
        const bool allClosed = std::all_of(followed_.windows.begin(), followed_.windows.end(),
                                           [](const Toplevel* t) { return t->closed; });
        return allClosed ? Focus::Lost : Focus::Between;
    }
    if (!followed(active)) {
        if (!opened(active))
            return Focus::Lost;
        followed_.windows.push_back(active);
    }
    current_ = active;
    return active == before ? Focus::Unchanged : Focus::Moved;
}

bool FocusGuard::inDialog() const
{
    return current_ != followed_.windows.front() || current_->parent != nullptr;
}

// ------------------------------------------------------------------ typist

Typist::Typist(WaylandDisplay& display, VirtualKeyboard& keyboard, FocusGuard& guard,
               TargetPace& pace, Followed::Kind kind, XwaylandMapping* xwayland)
    : display_(display), keyboard_(keyboard), guard_(guard), pace_(pace), kind_(kind),
      xwayland_(xwayland)
{
    // Start from no modifier held and no lock on, whatever came before.
    keyboard_.modifiers(0, 0);
}

Typist::~Typist()
{
    if (!display_.alive())
        return;
    hold(NoModifier);
    if (lockTouched_)
        keyboard_.modifiers(0, 0);
    display_.flush();
}

void Typist::run(const std::vector<PlannedKey>& keys, bool wait)
{
    const std::size_t total = keys.size();
    for (std::size_t i = 0; i < total; ++i) {
        const PlannedKey& key = keys[i];
        if (!keyboard_.keymap().has(key.sym))
            ensureKeymap(keys, i);
        if (key.commandKey || menuOpen_ || (key.enterOrEscape && guard_.inDialog())) {
            typeCommand(key, i, total, wait);
            continue;
        }
        if (i - passed_ >= static_cast<std::size_t>(pace_.figures().burstKeys)) {
            // The burst goes out and the target makes room for the next;
            // the focus is checked last, right before the next burst.
            if (!display_.flush())
                lost(confirmed_, total);
            check(pace_.awaitRoom(following()), i, total);
            passOn(i, total);
        }
        type(key);
    }
    hold(NoModifier);
    // The last keys count too: the focus is checked after them as after
    // every burst.
    if (passed_ < total)
        passOn(total, total);
    if (wait)
        check(awaitTaken(false), total, total);
}

// An X11 program gets its keys from XWayland: an X round trip makes sure
// they have got that far.
Outcome Typist::awaitTaken(bool keymapFollows)
{
    if (xwayland_)
        xwayland_->sync();
    return pace_.awaitTaken(keymapFollows ? following() : listening(), keymapFollows);
}

// A key that may open, close or switch windows: typed once the target is
// done with what came before, then waited on until the target has handled
// it, following the focus into a window it opened.
void Typist::typeCommand(const PlannedKey& key, std::size_t index, std::size_t total, bool wait)
{
    const bool dialogKey = key.enterOrEscape && guard_.inDialog();
    hold(NoModifier);
    if (passed_ < index)
        passOn(index, total);
    letShortcutsWork(total);
    const bool idle = pace_.awaitIdle(following(), dialogKey);
    const Toplevel* before = guard_.current();
    type(key);
    hold(NoModifier);
    passOn(index + 1, total);
    const bool last = index + 1 == total;
    if (last && !wait)
        return;
    guard_.expectWindows(true);
    const Outcome outcome = pace_.awaitHandled(following(), idle, dialogKey);
    guard_.expectWindows(false);
    const bool moved = guard_.current() != before;
    // After the last key the focus may go anywhere: the key may have
    // closed the target.
    if (!last || outcome == Outcome::Stalled)
        check(outcome, index + 1, total);
    menuOpen_ = key.opensMenu
        || (menuOpen_ && !moved && !key.enterOrEscape && !(key.text && key.mods == NoModifier));
    confirmed_ = index + 1;
}

// Sends what is queued and makes sure the compositor has passed it on:
// the round trip brings every focus change it made before it handled the
// keys, so a focus still on a followed window means they reached it.
void Typist::passOn(std::size_t done, std::size_t total)
{
    if (!display_.flush() || !display_.roundtrip(static_cast<int>(pace_.figures().bound.count())))
        lost(confirmed_, total);
    if (!guard_.holds())
        lost(confirmed_, total);
    pace_.sent(static_cast<int>(done - passed_));
    passed_ = done;
    confirmed_ = done;
}

// The extra symbols from here on, as many as fit: all of the keymap's
// current ones kept where there is room, so that the next strings need no
// new keymap either. The keys typed under the old keymap are taken first,
// and an X11 program takes the new keymap before any key typed under it.
void Typist::ensureKeymap(const std::vector<PlannedKey>& keys, std::size_t from)
{
    hold(NoModifier);
    if (passed_ < from)
        passOn(from, keys.size());
    check(awaitTaken(true), from, keys.size());
    std::set<Keysym> needed;
    for (std::size_t i = from; i < keys.size() && needed.size() < OwnKeymap::capacity(); ++i)
        if (!OwnKeymap::inBase(keys[i].sym))
            needed.insert(keys[i].sym);
    std::set<Keysym> extras = keyboard_.keymap().extras();
    extras.insert(needed.begin(), needed.end());
    if (extras.size() > OwnKeymap::capacity())
        extras = needed;
    if (xwayland_)
        xwayland_->forgetChanges();
    keyboard_.use(std::make_unique<OwnKeymap>(std::move(extras)));
    if (kind_ == Followed::Kind::Wayland)
        return;
    if (xwayland_)
        xwayland_->awaitChange(std::chrono::milliseconds(WaylandDisplay::answerTimeoutMs));
    check(pace_.awaitKeymapTaken(following()), from, keys.size());
}

void Typist::type(const PlannedKey& key)
{
    const OwnKeymap& keymap = keyboard_.keymap();
    const KeyPlace place = *keymap.place(key.sym);
    if (key.text && lockOn_) {
        // Caps Lock would change the character: clear the locks first.
        keyboard_.modifiers(heldMask(), 0);
        lockOn_ = false;
    }
    hold(key.mods | (place.shifted ? Shift : NoModifier));
    keyboard_.key(place.code, true);
    keyboard_.key(place.code, false);
    if (key.lockKey)
        lockOn_ = lockTouched_ = true;
}

// The modifier keys go down and up as on a real keyboard; the compositor
// takes the modifier state only from the modifiers request.
void Typist::hold(unsigned mods)
{
    if (mods == held_)
        return;
    const OwnKeymap& keymap = keyboard_.keymap();
    for (Modifier m : {Shift, Control, Alt})
        if ((held_ & m) && !(mods & m))
            keyboard_.key(keymap.modifierKey(m), false);
    for (Modifier m : {Shift, Control, Alt})
        if (!(held_ & m) && (mods & m))
            keyboard_.key(keymap.modifierKey(m), true);
    held_ = mods;
    keyboard_.modifiers(heldMask(), 0);
}

std::uint32_t Typist::heldMask() const
{
    std::uint32_t mask = 0;
    for (Modifier m : {Shift, Control, Alt})
        if (held_ & m)
            mask |= keyboard_.keymap().modifierMask(m);
    return mask;
}

// An application takes a window for active only a little after the
// compositor has said so (Qt applies it with its next frame); until then its
// shortcuts do not fire, while plain text still reaches the focused widget.
void Typist::letShortcutsWork(std::size_t total)
{
    const auto ready = guard_.current()->activatedAt + pace_.figures().settle;
    while (std::chrono::steady_clock::now() < ready) {
        if (!guard_.holds())
            lost(confirmed_, total);
        display_.dispatch(1);
    }
}

FocusCheck Typist::following()
{
    const Toplevel* before = guard_.current();
    return [this, before] { return guard_.look(before); };
}

// Once every key is out, where the focus goes is no longer ours to mind.
FocusCheck Typist::listening()
{
    return [this] {
        display_.dispatch(0);
        return Focus::Unchanged;
    };
}

void Typist::check(Outcome outcome, std::size_t done, std::size_t total)
{
    switch (outcome) {
    case Outcome::Done:
        return;
    // Keys sent since the focus was last seen on a followed window may have
    // gone elsewhere: only those before count as typed.
    case Outcome::Gone:
        if (done == total)
            return;
        lost(std::min(done, confirmed_), total);
    case Outcome::FocusLost:
        lost(std::min(done, confirmed_), total);
    case Outcome::Stalled:
        if (done == total)
            throw NoAnswerAfterLastKey(errors::noAnswerAfterLastKey(static_cast<qsizetype>(total)));
        throw KeyError(errors::stoppedRespondingAfter(static_cast<qsizetype>(done),
                                                      static_cast<qsizetype>(total)));
    }
}

void Typist::lost(std::size_t done, std::size_t total)
{
    if (!display_.alive())
        throw KeyError(errors::waylandConnectionLostAfter(static_cast<qsizetype>(done),
                                                          static_cast<qsizetype>(total)));
    if (display_.silent())
        throw KeyError(errors::compositorStoppedAnswering(static_cast<qsizetype>(done),
                                                          static_cast<qsizetype>(total)));
    throw KeyError(errors::focusLostAfter(static_cast<qsizetype>(done),
                                          static_cast<qsizetype>(total)));
}

} // namespace keys::wayland
