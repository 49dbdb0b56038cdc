// Qt before Xlib: Xlib's macros clash with Qt's names.
#include <QThread>

#include "keys/x11/XTyping.h"
#include "keys/KeyErrorTexts.h"
#include "keys/KeySender.h"

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

KeySym keysymOf(SpecialKey key)
{
    switch (key) {
    case SpecialKey::Backspace: return XK_BackSpace;
    case SpecialKey::Break: return XK_Break;
    case SpecialKey::CapsLock: return XK_Caps_Lock;
    case SpecialKey::Delete: return XK_Delete;
    case SpecialKey::Down: return XK_Down;
    case SpecialKey::End: return XK_End;
    case SpecialKey::Enter: return XK_Return;
    case SpecialKey::Escape: return XK_Escape;
    case SpecialKey::Help: return XK_Help;
    case SpecialKey::Home: return XK_Home;
    case SpecialKey::Insert: return XK_Insert;
    case SpecialKey::Left: return XK_Left;
    case SpecialKey::NumLock: return XK_Num_Lock;
    case SpecialKey::PageDown: return XK_Next;
    case SpecialKey::PageUp: return XK_Prior;
    case SpecialKey::PrintScreen: return XK_Print;
    case SpecialKey::Right: return XK_Right;
    case SpecialKey::ScrollLock: return XK_Scroll_Lock;
    case SpecialKey::Tab: return XK_Tab;
    case SpecialKey::Up: return XK_Up;
    case SpecialKey::Add: return XK_KP_Add;
    case SpecialKey::Subtract: return XK_KP_Subtract;
    case SpecialKey::Multiply: return XK_KP_Multiply;
    case SpecialKey::Divide: return XK_KP_Divide;
    default:
        return XK_F1 + (static_cast<int>(key) - static_cast<int>(SpecialKey::F1));
    }
}

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
               RoundBindings rounds, std::map<KeyCode, SpareKeys::Binding>& spare, Window focus,
               Pace pace)
    : x_(x), keymap_(keymap), strokes_(std::move(strokes)), rounds_(std::move(rounds)),
      spare_(spare), focus_(focus), topLevel_(x.topLevelOf(focus)), pace_(pace),
      capsWanted_(keymap.lockedMods() & LockMask), capsActual_(capsWanted_)
{
}

Typist::~Typist()
{
    hold(0);
    setCapsLock(capsWanted_);
    XSync(x_.dpy(), False);
}

void Typist::run()
{
    const std::size_t total = strokes_.size();
    int boundRound = -1;
    std::size_t next = 0;
    while (next < total) {
        const int round = strokes_[next].round;
        if (round > boundRound) {
            if (boundRound >= 0)
                settle();
            bindRound(round);
            boundRound = round;
        }
        std::size_t end = next;
        while (end < total && end - next < static_cast<std::size_t>(pace_.batchSize)
               && strokes_[end].round <= boundRound)
            ++end;

        {
            ServerGrab grab(x_.dpy());
            if (!focusStays())
                throw KeyError(errors::focusLostAfter(qsizetype(next), qsizetype(total)));
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
    }
}

bool Typist::focusStays()
{
    Window focus;
    int revert;
    XGetInputFocus(x_.dpy(), &focus, &revert);
    if (focus == focus_)
        return true;
    if (topLevel_ == None || !x_.isInside(focus, topLevel_))
        return false;
    focus_ = focus;
    return true;
}

void Typist::bindRound(int round)
{
    if (round < 0 || static_cast<std::size_t>(round) >= rounds_.size())
        return;
    // A keycode typed with in an earlier run may still be unread there
    // (within this run, settle() has waited already).
    for (const auto& [code, syms] : rounds_[round]) {
        auto earlier = spare_.find(code);
        if (earlier != spare_.end() && !boundThisRun_.count(code)) {
            const auto readBy = earlier->second.lastUse
                + std::chrono::milliseconds(pace_.roundSettleMs);
            if (Clock::now() < readBy)
                std::this_thread::sleep_until(readBy);
        }
    }
    setKeycodeSymbols(x_.dpy(), rounds_[round]);
    for (const auto& [code, syms] : rounds_[round]) {
        spare_[code] = {syms, Clock::now()};
        boundThisRun_.insert(code);
    }
    XSync(x_.dpy(), False);
}

// A target looks keys up in its own copy of the keymap, refreshed only when
// it reads the notice of a change: a keycode may change meaning only after
// the target has read every key typed with the old one.
void Typist::settle()
{
    XSync(x_.dpy(), False);
    const double ms = pace_.roundSettleMs + pace_.settleMsPerKey * static_cast<double>(keysSinceSettle_);
    QThread::usleep(static_cast<unsigned long>(ms * 1000));
    keysSinceSettle_ = 0;
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

void Typist::hold(unsigned mods)
{
    for (unsigned bit = 0; bit < 8; ++bit) {
        const unsigned mask = 1u << bit;
        if ((held_ & mask) && !(mods & mask))
            key(keymap_.keyForModifier(mask), false);
    }
    for (unsigned bit = 0; bit < 8; ++bit) {
        const unsigned mask = 1u << bit;
        if (!(held_ & mask) && (mods & mask))
            key(keymap_.keyForModifier(mask), true);
    }
    held_ = mods;
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
