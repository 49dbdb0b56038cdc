#include "keys/wayland/WaylandTyping.h"
#include "keys/KeyErrorTexts.h"
#include "keys/KeySender.h"
#include "keys/SpecialKeySyms.h"
#include "keys/wayland/VirtualKeyboard.h"
#include "keys/wayland/WaylandDisplay.h"

#include <xkbcommon/xkbcommon-keysyms.h>

#include <algorithm>
#include <chrono>

namespace keys::wayland {

namespace {

int msUntil(std::chrono::steady_clock::time_point t)
{
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(t - std::chrono::steady_clock::now());
    return static_cast<int>(std::max<std::chrono::milliseconds::rep>(0, left.count()));
}

bool isFunctionKey(SpecialKey key)
{
    return static_cast<int>(key) >= static_cast<int>(SpecialKey::F1)
        && static_cast<int>(key) <= static_cast<int>(SpecialKey::F16);
}

PlannedKey planKey(const KeyEvent& event)
{
    PlannedKey key;
    key.mods = event.modifiers;
    key.commandKey = (event.modifiers & (Control | Alt)) != 0;
    if (event.kind == KeyEvent::Kind::Special) {
        key.sym = keysymOf(event.special);
        key.lockKey = event.special == SpecialKey::CapsLock || event.special == SpecialKey::NumLock;
        key.commandKey = key.commandKey || isFunctionKey(event.special);
        key.enterOrEscape = event.special == SpecialKey::Enter
            || event.special == SpecialKey::Escape;
        return key;
    }
    key.sym = keysymOfCharacter(event.character);
    if (key.sym == XKB_KEY_NoSymbol) {
        const char32_t c = event.character;
        throw KeyError(QStringLiteral("The character \"%1\" cannot be typed.")
                           .arg(QString::fromUcs4(&c, 1)));
    }
    key.character = key.sym != XKB_KEY_Return && key.sym != XKB_KEY_Tab;
    key.enterOrEscape = key.sym == XKB_KEY_Return;
    return key;
}

} // namespace

std::vector<PlannedKey> planKeys(const KeyEvents& events)
{
    std::vector<PlannedKey> keys;
    keys.reserve(events.size());
    for (const KeyEvent& event : events)
        keys.push_back(planKey(event));
    return keys;
}

// ------------------------------------------------------------ focus guard

FocusGuard::FocusGuard(WaylandDisplay& display, const Toplevel* target, std::uint64_t newSince)
    : display_(display), windows_{target}, current_(target), newSince_(newSince)
{
}

bool FocusGuard::followed(const Toplevel* t) const
{
    return std::find(windows_.begin(), windows_.end(), t) != windows_.end();
}

bool FocusGuard::holds()
{
    if (!display_.dispatch(0))
        return false;
    const Toplevel* active = display_.activeToplevel();
    if (!active)
        return false;
    if (!followed(active)) {
        const bool opened = active->created > newSince_
            && (followed(active->parent) || active->appId == windows_.front()->appId);
        if (!opened)
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

Typist::Typist(WaylandDisplay& display, VirtualKeyboard& keyboard, FocusGuard& guard, Pace pace)
    : display_(display), keyboard_(keyboard), guard_(guard), pace_(pace)
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

void Typist::run(const std::vector<PlannedKey>& keys, bool waitAtEnd)
{
    const std::size_t total = keys.size();
    Clock::time_point burstStart = Clock::now();
    int inBurst = 0;
    for (std::size_t i = 0; i < total; ++i) {
        if (!keyboard_.keymap().has(keys[i].sym)) {
            hold(NoModifier);
            ensureKeymap(keys, i);
        }
        if (keys[i].commandKey)
            letShortcutsWork(i, total);
        type(keys[i]);
        const bool more = i + 1 < total;
        if ((more || waitAtEnd)
            && (keys[i].commandKey || (keys[i].enterOrEscape && guard_.inDialog()))) {
            waitForReaction(i + 1, total);
            burstStart = Clock::now();
            inBurst = 0;
        } else if (++inBurst >= pace_.burstKeys && more) {
            burstStart = endBurst(burstStart, i + 1, total);
            inBurst = 0;
        }
    }
    hold(NoModifier);
}

// Lets the target read the burst, then makes sure that the focus has not
// moved: the round trip brings every change the compositor made before it
// handled the burst.
Typist::Clock::time_point Typist::endBurst(Clock::time_point burstStart, std::size_t done,
                                           std::size_t total)
{
    const Clock::time_point end = burstStart + std::chrono::microseconds(pace_.burstUs);
    display_.flush();
    while (Clock::now() < end)
        if (!display_.dispatch(msUntil(end)))
            stopped(done, total);
    if (!display_.roundtrip() || !guard_.holds())
        stopped(done, total);
    // The round trip counts into the next period: the pace stays even.
    return std::max(end, Clock::now() - std::chrono::microseconds(pace_.burstUs));
}

// The extra symbols from here on, as many as fit: all of the keymap's
// current ones kept where there is room, so that the next strings need no
// new keymap either.
void Typist::ensureKeymap(const std::vector<PlannedKey>& keys, std::size_t from)
{
    std::set<Keysym> needed;
    for (std::size_t i = from; i < keys.size() && needed.size() < OwnKeymap::capacity(); ++i)
        if (!OwnKeymap::inBase(keys[i].sym))
            needed.insert(keys[i].sym);
    std::set<Keysym> extras = keyboard_.keymap().extras();
    extras.insert(needed.begin(), needed.end());
    if (extras.size() > OwnKeymap::capacity())
        extras = needed;
    keyboard_.use(std::make_unique<OwnKeymap>(std::move(extras)));
}

void Typist::type(const PlannedKey& key)
{
    const OwnKeymap& keymap = keyboard_.keymap();
    const KeyPlace place = *keymap.place(key.sym);
    if (key.character && lockOn_) {
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

// The key may make the target open, close or switch windows: the round trip
// makes sure the compositor has passed it on, then the toplevel events show
// the target's reaction; without one, a quiet time.
void Typist::waitForReaction(std::size_t done, std::size_t total)
{
    hold(NoModifier);
    // After the last key the focus may go anywhere (the key may have closed
    // the target): only the keys still to come need a followed window.
    const bool last = done == total;
    const Toplevel* before = display_.activeToplevel();
    if (!display_.roundtrip())
        stopped(done, total);
    const Clock::time_point quietEnd = Clock::now() + std::chrono::milliseconds(pace_.quietMs);
    while (msUntil(quietEnd) > 0) {
        if (!display_.dispatch(msUntil(quietEnd)))
            stopped(done, total);
        const Toplevel* now = display_.activeToplevel();
        if (now != before && (guard_.holds() || last)) {
            // The next keys, of this call or the next, find the window ready.
            const Clock::time_point ready =
                Clock::now() + std::chrono::milliseconds(pace_.settleMs);
            if (!last)
                settle(ready, done, total);
            while (last && msUntil(ready) > 0 && display_.dispatch(msUntil(ready))) {
            }
            return;
        }
    }
    if (!guard_.holds() && !last)
        stopped(done, total);
}

// An application takes a window for active only a little after the
// compositor has said so (Qt applies it with its next frame); until then its
// shortcuts do not fire, while plain text still reaches the focused widget.
void Typist::letShortcutsWork(std::size_t done, std::size_t total)
{
    const Clock::time_point ready =
        guard_.current()->activatedAt + std::chrono::milliseconds(pace_.settleMs);
    if (msUntil(ready) > 0) {
        hold(NoModifier);
        settle(ready, done, total);
    }
}

void Typist::settle(Clock::time_point end, std::size_t done, std::size_t total)
{
    while (msUntil(end) > 0)
        if (!display_.dispatch(msUntil(end)))
            stopped(done, total);
    if (!guard_.holds())
        stopped(done, total);
}

void Typist::stopped(std::size_t done, std::size_t total)
{
    if (!display_.alive())
        throw KeyError(QStringLiteral("The connection to the Wayland compositor was lost after "
                                      "%1 of %2 keys, so the rest was not typed.")
                           .arg(done)
                           .arg(total));
    throw KeyError(errors::focusLostAfter(static_cast<qsizetype>(done),
                                          static_cast<qsizetype>(total)));
}

} // namespace keys::wayland
