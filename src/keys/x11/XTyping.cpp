// Qt before Xlib: Xlib's macros clash with Qt's names.
#include <QElapsedTimer>
#include <QThread>

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
#include <thread>

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
            throw KeyError(QStringLiteral("The character \"%1\" cannot be typed.")
                               .arg(printable(event.character)));
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
    }
    for (unsigned bit = 0; bit < 8; ++bit)
        if ((stroke.mods & (1u << bit)) && !keymap.keyForModifier(1u << bit))
            throw KeyError(QStringLiteral("The keyboard has no key for a modifier that %1 needs.")
                               .arg(describe(event)));
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
    // Shift held over a stroke selects the second level: a stroke with Shift
    // of its own finds its symbol there only.
    auto levelsFor = [](bool shifted) {
        return shifted ? std::vector<std::size_t>{1} : std::vector<std::size_t>{0, 1};
    };
    std::set<Slot> taken;
    auto carrying = [&](KeySym sym, bool shifted) -> std::optional<Slot> {
        for (std::size_t level : levelsFor(shifted))
            for (KeyCode code : pool)
                if (current[code][level] == sym)
                    return Slot{code, level};
        return std::nullopt;
    };
    auto freeSlot = [&](bool shifted) -> std::optional<Slot> {
        std::optional<Slot> fallback;
        for (std::size_t level : levelsFor(shifted))
            for (KeyCode code : pool) {
                if (taken.count({code, level}))
                    continue;
                if (current[code][level] == NoSymbol)
                    return Slot{code, level};
                if (!fallback)
                    fallback = Slot{code, level};
            }
        return fallback;
    };

    RoundBindings rounds(1);
    for (Stroke& stroke : strokes) {
        if (stroke.spare == NoSymbol)
            continue;
        if (pool.empty())
            throw KeyError(QStringLiteral(
                "The keyboard has no free key to type characters that the layout lacks."));
        const bool shifted = stroke.mods & ShiftMask;
        std::optional<Slot> slot = carrying(stroke.spare, shifted);
        if (!slot) {
            slot = freeSlot(shifted);
            if (!slot) {
                rounds.emplace_back();
                taken.clear();
                slot = freeSlot(shifted);
            }
            current[slot->first][slot->second] = stroke.spare;
            rounds.back()[slot->first] = current[slot->first];
        }
        taken.insert(*slot);
        stroke.code = slot->first;
        if (slot->second == 1)
            stroke.mods |= ShiftMask;
        stroke.round = static_cast<int>(rounds.size()) - 1;
    }
    return rounds;
}

Typist::Typist(XConnection& x, const Keymap& keymap, std::vector<Stroke> strokes,
               RoundBindings rounds, std::map<KeyCode, SpareKeys::Binding>& spare,
               Target& target, Window focus, Pace pace)
    : x_(x), keymap_(keymap), strokes_(std::move(strokes)), rounds_(std::move(rounds)),
      spare_(spare), target_(target), focus_(focus), focusClient_(clientWindowOf(x, focus)),
      pace_(pace), capsWanted_(keymap.lockedMods() & LockMask), capsActual_(capsWanted_)
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
    const std::size_t total = strokes_.size();
    int boundRound = -1;
    std::size_t next = 0;
    while (next < total) {
        const int round = strokes_[next].round;
        if (round > boundRound) {
            bindRound(round, next);
            boundRound = round;
        }
        const std::size_t end = batchEnd(next, boundRound);
        {
            ServerGrab grab(x_.dpy());
            if (!focusStays())
                throw KeyError(errors::focusLostAfter(qsizetype(next), qsizetype(total)));
            keepGroup();
            keysSinceSettle_ += end - next;
            for (std::size_t i = next; i < end; ++i)
                type(strokes_[i]);
            hold(0);
            setCapsLock(capsWanted_);
        }
        // Idle at the server for a moment, so that other clients' requests
        // (a click that moves the focus) are served between batches.
        XSync(x_.dpy(), False);
        // A slow target may still be reading the keys before these.
        const auto backlog = std::chrono::microseconds(
            static_cast<long long>(pace_.settleMsPerKey * 1000.0 * static_cast<double>(end)));
        const Clock::time_point readBy = Clock::now() + backlog;
        for (; next < end; ++next)
            if (strokes_[next].spare != NoSymbol)
                spare_[strokes_[next].code].lastUse = readBy;
        const Stroke& last = strokes_[end - 1];
        if (end < total && (last.command || (last.closesDialog && focusInDialog_)))
            awaitReaction(end);
    }
    if (!wait || total == 0)
        return;
    if (target_.answersPings() && !target_.ping(pace_.stallLimitMs))
        failStopped(total);
    const bool spareUsed = std::any_of(strokes_.begin(), strokes_.end(),
                                       [](const Stroke& s) { return s.spare != NoSymbol; });
    if (spareUsed && readEverything())
        for (const Stroke& stroke : strokes_)
            if (stroke.spare != NoSymbol)
                spare_[stroke.code].lastUse = Clock::time_point{};
}

// The target has surely read every key: it answered a ping, or its main
// thread is asleep. Then a later run may bind these keycodes anew at once.
bool Typist::readEverything()
{
    if (target_.answersPings())
        return true;
    QElapsedTimer clock;
    clock.start();
    int quietSamples = 0;
    while (quietSamples < 3 || clock.elapsed() < pace_.localSettleMs) {
        QThread::usleep(1000);
        switch (target_.activity()) {
        case Activity::Waiting:
            ++quietSamples;
            break;
        case Activity::Busy:
            quietSamples = 0;
            if (clock.elapsed() < pace_.finalReadMs)
                break;
            [[fallthrough]];
        default: // stopped, or not to be seen: it may read them much later
            return false;
        }
    }
    return true;
}

// A batch ends after a key that may change windows or move the focus, so
// that the focus is read again before the next key.
std::size_t Typist::batchEnd(std::size_t next, int boundRound) const
{
    std::size_t end = next;
    while (end < strokes_.size() && end - next < static_cast<std::size_t>(pace_.batchSize)
           && strokes_[end].round <= boundRound) {
        const Stroke& stroke = strokes_[end++];
        if (stroke.command || stroke.movesFocus)
            break;
    }
    return end;
}

bool Typist::focusStays()
{
    Window focus;
    int revert;
    XGetInputFocus(x_.dpy(), &focus, &revert);
    if (focus == focus_)
        return true;
    const Window client = clientWindowOf(x_, focus);
    if (client == None || !target_.owns(client))
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

// After a key that may open, close or switch windows: the target must have
// read it (a ping proves that where the target answers pings), handled it
// (its main thread is back asleep, where /proc shows it), and a window it
// opened must have the focus before the next key goes out. Where the target
// shows none of this, a quiet time with no new window and no focus change
// stands in.
void Typist::awaitReaction(std::size_t typed)
{
    target_.watchNewWindows();
    if (target_.answersPings() && !target_.ping(pace_.stallLimitMs))
        failStopped(typed);
    QElapsedTimer clock;
    clock.start();
    std::vector<Window> opened;
    int quietSamples = 0;
    bool focusGivenBack = false;
    for (;;) {
        const std::vector<Window> created = target_.takeNewWindows();
        opened.insert(opened.end(), created.begin(), created.end());
        Window focus;
        int revert;
        XGetInputFocus(x_.dpy(), &focus, &revert);
        const qint64 elapsed = clock.elapsed();
        // A closed dialog leaves the focus with no window for a moment,
        // until its application (or the window manager) gives it on.
        const bool nowhere = focus == None || focus == PointerRoot || focus == x_.root();
        if (nowhere && elapsed < pace_.newWindowMs) {
            // Without a window manager nobody does: give it back to the
            // window that was activated, as activation does.
            if (elapsed >= 20 && !focusGivenBack && !hasWindowManager(x_)) {
                XSetInputFocus(x_.dpy(), target_.client(), RevertToParent, CurrentTime);
                focusGivenBack = true;
            }
            QThread::usleep(1000);
            continue;
        }
        if (focus != focus_) {
            // Moved: wait until it rests, then the next batch checks where.
            QThread::msleep(2);
            Window again;
            XGetInputFocus(x_.dpy(), &again, &revert);
            if (again == focus)
                return;
            continue;
        }
        if (!opened.empty()) {
            if (elapsed >= pace_.newWindowMs)
                return;
        } else {
            switch (target_.activity()) {
            case Activity::Waiting:
                // Three looks in a row, the first after the keys surely
                // reached the target.
                if (elapsed >= 1 && ++quietSamples >= 3)
                    return;
                break;
            case Activity::Busy:
            case Activity::Stopped:
                quietSamples = 0;
                if (elapsed >= pace_.stallLimitMs)
                    return;
                break;
            case Activity::Unknown:
                if (elapsed >= pace_.commandPauseMs)
                    return;
                break;
            }
        }
        QThread::usleep(1000);
    }
}

// Before a spare keycode changes meaning: the target must have read every
// key typed with the old one, for it looks keys up when it reads them.
void Typist::awaitRead(std::size_t typed)
{
    XSync(x_.dpy(), False);
    if (target_.answersPings()) {
        if (!target_.ping(pace_.stallLimitMs))
            failStopped(typed);
    } else if (target_.activity() != Activity::Unknown) {
        QElapsedTimer clock;
        clock.start();
        int quietSamples = 0;
        while (quietSamples < 3 || clock.elapsed() < pace_.localSettleMs) {
            QThread::usleep(1000);
            quietSamples = target_.activity() == Activity::Waiting ? quietSamples + 1 : 0;
            if (clock.elapsed() >= pace_.stallLimitMs)
                failStopped(typed);
        }
    } else {
        const double ms =
            pace_.roundSettleMs + pace_.settleMsPerKey * static_cast<double>(keysSinceSettle_);
        QThread::usleep(static_cast<unsigned long>(ms * 1000));
    }
    keysSinceSettle_ = 0;
}

void Typist::bindRound(int round, std::size_t typed)
{
    if (round < 0 || static_cast<std::size_t>(round) >= rounds_.size())
        return;
    bool reboundThisRun = false;
    // A keycode typed with in an earlier run may still be unread there.
    for (const auto& [code, syms] : rounds_[round]) {
        auto earlier = spare_.find(code);
        if (earlier == spare_.end())
            continue;
        if (boundThisRun_.count(code)) {
            reboundThisRun = true;
            continue;
        }
        const auto readBy = earlier->second.lastUse
            + std::chrono::milliseconds(pace_.roundSettleMs);
        if (Clock::now() < readBy)
            std::this_thread::sleep_until(readBy);
    }
    if (reboundThisRun)
        awaitRead(typed);
    if (!setKeycodeSymbols(x_.dpy(), rounds_[round]))
        throw KeyError(QStringLiteral("The keyboard map could not be changed to type characters "
                                      "that the layout lacks, so the rest was not typed (%1 of "
                                      "%2 keys were)."
                                      )
                           .arg(typed)
                           .arg(strokes_.size()));
    for (const auto& [code, syms] : rounds_[round]) {
        spare_[code] = {syms, Clock::now()};
        boundThisRun_.insert(code);
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
