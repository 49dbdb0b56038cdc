// SPDX-License-Identifier: MIT
// Qt before Xlib: Xlib's macros clash with Qt's names.
#include <QString>

#include "keys/x11/XTyping.h"
#include "keys/KeyErrorTexts.h"
#include "keys/KeySender.h"
#include "keys/SpecialKeySyms.h"
#include "keys/x11/XWindows.h"

#include <X11/extensions/XTest.h>
#include <X11/keysym.h>
#include <xkbcommon/xkbcommon.h>

#include <algorithm>
#include <map>
#include <optional>
#include <set>

namespace keys::x11 {

namespace {

unsigned realMods(unsigned modifiers, const Keymap& keymap)
{
    unsigned mask = 0;
    if (modifiers & Shift)
        mask |= ShiftMask;
    if (modifiers & Control)
        mask |= ControlMask;
    if (modifiers & Alt)
        mask |= keymap.altMask();
    return mask;
}

QString printable(char32_t c)
{
    return QString::fromUcs4(&c, 1);
}

// The symbol's lower and upper case, as Unicode's simple case mapping has
// them (Xlib's own table is incomplete); itself twice where it has none.
LevelSymbols casePair(KeySym sym)
{
    const char32_t c = xkb_keysym_to_utf32(static_cast<xkb_keysym_t>(sym));
    if (c == 0)
        return {sym, sym};
    const KeySym lower = xkb_utf32_to_keysym(QChar::toLower(c));
    const KeySym upper = xkb_utf32_to_keysym(QChar::toUpper(c));
    if (lower == NoSymbol || upper == NoSymbol)
        return {sym, sym};
    return {lower, upper};
}

Stroke strokeFor(const KeyEvent& event, const Keymap& keymap)
{
    Stroke stroke;
    stroke.mods = realMods(event.modifiers, keymap);
    KeySym sym = NoSymbol;
    const KeyOnLayout* key = nullptr;
    if (event.kind == KeyEvent::Kind::Special || event.character == U'\n'
        || event.character == U'\r' || event.character == U'\t') {
        sym = event.kind == KeyEvent::Kind::Special ? keysymOf(event.special)
            : event.character == U'\t'              ? XK_Tab
                                                    : XK_Return;
        key = keymap.forKeysym(sym);
        stroke.capsLockKey = sym == XK_Caps_Lock;
    } else {
        stroke.character = true;
        key = keymap.forCharacter(event.character);
        sym = xkb_utf32_to_keysym(event.character);
        if (sym == NoSymbol)
            throw KeyError(errors::characterCannotBeTyped(printable(event.character)));
    }
    const bool functionKey = event.kind == KeyEvent::Kind::Special
        && event.special >= SpecialKey::F1 && event.special <= SpecialKey::F16;
    stroke.command = functionKey || (event.modifiers & (Control | Alt));
    stroke.closesDialog = sym == XK_Return || sym == XK_Escape;
    stroke.movesFocus = stroke.closesDialog || sym == XK_Tab;
    if (key) {
        stroke.code = key->code;
        stroke.mods |= key->mods;
    } else {
        stroke.spare = sym;
        // A special key, or a character with a modifier, must behave as a
        // key of a layout: no Shift of ours on it, Shift gives the upper
        // case, and a shortcut finds its letter.
        stroke.casePair = !stroke.character || (event.modifiers & (Shift | Control | Alt));
        if (stroke.casePair) {
            const LevelSymbols pair = casePair(sym);
            if (sym == pair[1] && pair[1] != pair[0])
                stroke.mods |= ShiftMask;
        }
    }
    for (unsigned bit = 0; bit < 8; ++bit)
        if ((stroke.mods & (1u << bit)) && !keymap.keyForModifier(1u << bit))
            throw KeyError(errors::noKeyForModifier(describe(event)));
    return stroke;
}

} // namespace

std::vector<Stroke> planStrokes(const KeyEvents& events, const Keymap& keymap)
{
    std::vector<Stroke> strokes;
    strokes.reserve(events.size());
    for (const KeyEvent& event : events)
        strokes.push_back(strokeFor(event, keymap));
    return strokes;
}

RoundBindings shareOutSpareKeycodes(std::vector<Stroke>& strokes, const std::vector<KeyCode>& pool,
                                    std::map<KeyCode, LevelSymbols> current)
{
    using Slot = std::pair<KeyCode, std::size_t>; // keycode and level
    for (KeyCode code : pool)
        current.try_emplace(code, LevelSymbols{NoSymbol, NoSymbol});
    std::set<Slot> taken;
    const auto isFree = [&](KeyCode code, std::size_t level) {
        return !taken.count({code, level});
    };
    const auto empty = [&](KeyCode code, std::size_t level) {
        return current[code][level] == NoSymbol;
    };
    // A plain character: a level of a keycode.
    const auto levelFor = [&](KeySym sym) -> std::optional<Slot> {
        for (std::size_t level : {0u, 1u})
            for (KeyCode code : pool)
                if (current[code][level] == sym)
                    return Slot{code, level};
        return std::nullopt;
    };
    // Both levels of a keycode before the next one: a run takes as few
    // keycodes as it can, leaving the others to other runs.
    const auto freeLevel = [&]() -> std::optional<Slot> {
        std::optional<Slot> fallback;
        for (KeyCode code : pool)
            for (std::size_t level : {0u, 1u}) {
                if (!isFree(code, level))
                    continue;
                if (empty(code, level))
                    return Slot{code, level};
                if (!fallback)
                    fallback = Slot{code, level};
            }
        return fallback;
    };
    // A character with its case pair: a whole keycode.
    const auto keycodeFor = [&](const LevelSymbols& pair) -> std::optional<KeyCode> {
        for (KeyCode code : pool)
            if (current[code] == pair)
                return code;
        return std::nullopt;
    };
    const auto freeKeycode = [&]() -> std::optional<KeyCode> {
        std::optional<KeyCode> fallback;
        for (KeyCode code : pool) {
            if (!isFree(code, 0) || !isFree(code, 1))
                continue;
            if (empty(code, 0) && empty(code, 1))
                return code;
            if (!fallback)
                fallback = code;
        }
        return fallback;
    };

    RoundBindings rounds(1);
    const auto newRound = [&] {
        rounds.emplace_back();
        taken.clear();
    };
    for (Stroke& stroke : strokes) {
        if (stroke.spare == NoSymbol)
            continue;
        if (pool.empty())
            throw KeyError(errors::noFreeKey());
        if (stroke.casePair) {
            const LevelSymbols pair = casePair(stroke.spare);
            std::optional<KeyCode> code = keycodeFor(pair);
            if (!code) {
                code = freeKeycode();
                if (!code) {
                    newRound();
                    code = freeKeycode();
                }
                current[*code] = pair;
                rounds.back()[*code] = pair;
            }
            taken.insert({*code, 0});
            taken.insert({*code, 1});
            stroke.code = *code;
        } else {
            std::optional<Slot> slot = levelFor(stroke.spare);
            if (!slot) {
                slot = freeLevel();
                if (!slot) {
                    newRound();
                    slot = freeLevel();
                }
                current[slot->first][slot->second] = stroke.spare;
                rounds.back()[slot->first] = current[slot->first];
            }
            taken.insert(*slot);
            stroke.code = slot->first;
            if (slot->second == 1)
                stroke.mods |= ShiftMask;
        }
        stroke.round = static_cast<int>(rounds.size()) - 1;
    }
    return rounds;
}

std::set<KeyCode> keycodesOf(const RoundBindings& rounds)
{
    std::set<KeyCode> codes;
    for (const auto& round : rounds)
        for (const auto& [code, symbols] : round)
            codes.insert(code);
    return codes;
}

Typist::Typist(XConnection& x, const Keymap& keymap, std::vector<Stroke> strokes,
               RoundBindings rounds, SpareKeys& spare, SpareBindings earlier, Target& target,
               Window focus, Pace pace)
    : x_(x), keymap_(keymap), strokes_(std::move(strokes)), rounds_(std::move(rounds)),
      spare_(spare), target_(target), receipt_(x, target, pace), focus_(focus),
      focusClient_(clientWindowOf(x, focus)), pace_(pace),
      capsWanted_(keymap.lockedMods() & LockMask), capsActual_(capsWanted_),
      earlier_(std::move(earlier))
{
    focusInDialog_ = target_.isDialog(focusClient_);
}

Typist::~Typist()
{
    hold(0);
    setCapsLock(capsWanted_);
    keepGroup();
    XSync(x_.dpy(), False);
}

void Typist::run(bool wait)
{
    const TypingSpan span;
    const std::size_t total = strokes_.size();
    int boundRound = -1;
    std::size_t next = 0;
    // The target has handled everything sent so far: no wait is owed.
    bool answered = true;
    // The last batch may have opened, closed or switched windows.
    bool reacts = false;
    Window closingDialog = None; // Enter or Escape was typed into this dialog
    while (next < total) {
        if (SpareKeys::stopRequested())
            throw KeyError(errors::typingStoppedBySignal());
        const int round = strokes_[next].round;
        if (round > boundRound) {
            bindRound(round, next);
            boundRound = round;
        }
        const bool popup = receipt_.popupOpen();
        if (!focusStays(reacts))
            throw KeyError(errors::focusLostAfter(qsizetype(next), qsizetype(total)));
        // Enter or Escape goes to a dialog once it has settled: a popup of
        // it still to come (name completion) would take the key.
        if (strokes_[next].closesDialog && focusInDialog_ && !answered) {
            if (receipt_.awaitBeforeDialogKey() == Receipt::Outcome::NoAnswer)
                failStopped(next);
            answered = true;
        }
        const std::size_t end = batchEnd(next, boundRound, popup);
        {
            ServerGrab grab(x_.dpy());
            if (!focusStays(reacts))
                throw KeyError(errors::focusLostAfter(qsizetype(next), qsizetype(total)));
            keepGroup();
            for (std::size_t i = next; i < end; ++i)
                type(strokes_[i]);
            hold(0);
            setCapsLock(capsWanted_);
        }
        // Idle at the server for a moment, so that other clients' requests
        // (a click that moves the focus) are served between batches.
        XSync(x_.dpy(), False);
        receipt_.sent(end - next);
        const Stroke& last = strokes_[end - 1];
        closingDialog = last.closesDialog && focusInDialog_ ? focusClient_ : None;
        // Keys typed while a menu is open pick its entries, which may open
        // a dialog.
        reacts = last.command || popup || closingDialog != None;
        answered = false;
        next = end;
        if (next < total && reacts) {
            if (receipt_.awaitHandled(closingDialog) == Receipt::Outcome::NoAnswer)
                failStopped(next);
            answered = true;
        }
    }
    if (!wait || total == 0)
        return;
    const Receipt::Outcome outcome =
        reacts ? receipt_.awaitHandled(closingDialog) : receipt_.awaitRead(true);
    if (outcome == Receipt::Outcome::NoAnswer)
        throw NoAnswerAfterLastKey(errors::noAnswerAfterLastKey(qsizetype(total)));
    // A target that keeps working may look keys up late: its spare keycodes
    // stay its own until it is seen idle.
    if (outcome == Receipt::Outcome::Answered || outcome == Receipt::Outcome::Closed) {
        std::set<KeyCode> used;
        for (const Stroke& stroke : strokes_)
            if (stroke.spare != NoSymbol)
                used.insert(stroke.code);
        spare_.markRead(used);
    }
}

// A batch ends after a key that may change windows or move the focus, so
// that the focus is read again before the next key, and before Enter or
// Escape in a dialog, which waits for the dialog to settle. While a menu is
// open, every key is a batch of its own.
std::size_t Typist::batchEnd(std::size_t next, int boundRound, bool popup) const
{
    if (popup)
        return next + 1;
    std::size_t end = next;
    while (end < strokes_.size() && end - next < static_cast<std::size_t>(pace_.batchSize)
           && strokes_[end].round <= boundRound) {
        if (end > next && strokes_[end].closesDialog && focusInDialog_)
            break;
        const Stroke& stroke = strokes_[end++];
        if (stroke.command || stroke.movesFocus)
            break;
    }
    return end;
}

// The focus may move within the window that has it; to another window of
// the target only after a key that may open, close or switch windows.
bool Typist::focusStays(bool mayMove)
{
    Window focus;
    int revert;
    XGetInputFocus(x_.dpy(), &focus, &revert);
    if (focus == focus_)
        return true;
    const Window client = clientWindowOf(x_, focus);
    if (client == None || (client != focusClient_ && (!mayMove || !target_.owns(client))))
        return false;
    focus_ = focus;
    if (client != focusClient_) {
        focusClient_ = client;
        focusInDialog_ = target_.isDialog(client);
    }
    return true;
}

// The keys were looked up in the group that was active at the start; a
// group-toggle key or the target may have switched it since.
void Typist::keepGroup()
{
    XkbStateRec state;
    if (XkbGetState(x_.dpy(), XkbUseCoreKbd, &state) == Success
        && state.group != keymap_.group())
        XkbLockGroup(x_.dpy(), XkbUseCoreKbd, keymap_.group());
}

[[noreturn]] void Typist::failStopped(std::size_t typed) const
{
    throw KeyError(errors::stoppedRespondingAfter(qsizetype(typed), qsizetype(strokes_.size())));
}

// Before a spare keycode changes meaning: whoever was typed into with the
// old one must have read those keys, for an application looks keys up when
// it reads them.
void Typist::bindRound(int round, std::size_t typed)
{
    if (round < 0 || static_cast<std::size_t>(round) >= rounds_.size())
        return;
    const std::map<KeyCode, LevelSymbols>& symbols = rounds_[round];
    const bool reboundThisRun = std::any_of(symbols.begin(), symbols.end(), [this](const auto& s) {
        return boundThisRun_.count(s.first) > 0;
    });
    if (reboundThisRun) {
        switch (receipt_.awaitRead(false)) {
        case Receipt::Outcome::NoAnswer:
            failStopped(typed);
        case Receipt::Outcome::Unknowable:
            receipt_.pauseForUnseenReader();
            break;
        default:
            break;
        }
    }
    awaitEarlierTargets(symbols);
    if (!spare_.bind(symbols))
        throw KeyError(errors::keymapNotChanged(qsizetype(typed), qsizetype(strokes_.size())));
    for (const auto& [code, syms] : symbols)
        boundThisRun_.insert(code);
}

// Keycodes that an earlier run typed with into an application that has not
// shown it read them.
void Typist::awaitEarlierTargets(const std::map<KeyCode, LevelSymbols>& round)
{
    for (const auto& [code, syms] : round) {
        auto earlier = earlier_.find(code);
        if (earlier == earlier_.end() || earlier->second.read)
            continue;
        const SpareBinding& b = earlier->second;
        Receipt::Outcome outcome;
        if (b.targetWindow == target_.client() && b.target.pid == target_.localPid())
            outcome = receipt_.awaitRead(false);
        else if (b.target.host == SpareKeys::self().host && b.target.pid > 0)
            outcome = Receipt::hasRead(x_, b.target.pid, pace_.stallLimitMs);
        else
            outcome = Receipt::Outcome::Unknowable;
        if (outcome == Receipt::Outcome::NoAnswer)
            throw KeyError(errors::noFreeKeyHeld());
        if (outcome == Receipt::Outcome::Unknowable)
            receipt_.pauseForUnseenReader();
        // One answer covers every keycode typed with into that target.
        for (auto& [otherCode, other] : earlier_)
            if (other.target == b.target && other.targetWindow == b.targetWindow)
                other.read = true;
    }
}

void Typist::type(const Stroke& stroke)
{
    setCapsLock(stroke.character ? false : capsWanted_);
    hold(stroke.mods);
    key(stroke.code, true);
    key(stroke.code, false);
    if (stroke.capsLockKey) {
        capsWanted_ = !capsWanted_;
        capsActual_ = !capsActual_;
    }
}

// Modifiers are held by pressing their keys, as a user would. Where a press
// would do more than hold its modifier (Alt+Shift or Ctrl+Shift set to
// switch the layout), they are locked for the key instead.
void Typist::hold(unsigned mods)
{
    if (mods == (held_ | locked_))
        return;
    if (locked_) {
        XkbLockModifiers(x_.dpy(), XkbUseCoreKbd, locked_, 0);
        locked_ = 0;
    }
    const bool plain = pressesArePlain(mods);
    const unsigned byKeys = plain ? mods : 0;
    for (unsigned bit = 0; bit < 8; ++bit) {
        const unsigned mask = 1u << bit;
        if ((held_ & mask) && !(byKeys & mask))
            key(keymap_.keyForModifier(mask), false);
    }
    for (unsigned bit = 0; bit < 8; ++bit) {
        const unsigned mask = 1u << bit;
        if (!(held_ & mask) && (byKeys & mask))
            key(keymap_.keyForModifier(mask), true);
    }
    held_ = byKeys;
    if (!plain) {
        XkbLockModifiers(x_.dpy(), XkbUseCoreKbd, mods, mods);
        locked_ = mods;
    }
}

bool Typist::pressesArePlain(unsigned mods) const
{
    unsigned down = held_ & mods;
    for (unsigned bit = 0; bit < 8; ++bit) {
        const unsigned mask = 1u << bit;
        if (!(mods & mask) || (down & mask))
            continue;
        if (!keymap_.pressIsPlain(keymap_.keyForModifier(mask), down))
            return false;
        down |= mask;
    }
    return true;
}

void Typist::setCapsLock(bool on)
{
    if (capsActual_ == on)
        return;
    XkbLockModifiers(x_.dpy(), XkbUseCoreKbd, LockMask, on ? LockMask : 0);
    capsActual_ = on;
}

void Typist::key(KeyCode code, bool press)
{
    XTestFakeKeyEvent(x_.dpy(), code, press ? True : False, CurrentTime);
}

} // namespace keys::x11
