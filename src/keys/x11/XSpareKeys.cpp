#include "keys/x11/XSpareKeys.h"

#include <X11/XKBlib.h>

namespace keys::x11 {

namespace {

LevelSymbols currentSymbols(XkbDescPtr xkb, KeyCode code)
{
    LevelSymbols symbols{NoSymbol, NoSymbol};
    if (XkbKeyNumGroups(xkb, code) == 0 || XkbKeyNumSyms(xkb, code) == 0)
        return symbols;
    const int width = XkbKeyGroupWidth(xkb, code, 0);
    for (int level = 0; level < 2 && level < width; ++level)
        symbols[static_cast<std::size_t>(level)] = XkbKeySymEntry(xkb, code, level, 0);
    return symbols;
}

void setSymbols(XkbDescPtr xkb, KeyCode code, const LevelSymbols& symbols)
{
    XkbMapChangesRec changes{};
    if (symbols[0] == NoSymbol && symbols[1] == NoSymbol) {
        XkbChangeTypesOfKey(xkb, code, 0, XkbGroup1Mask, nullptr, &changes);
        return;
    }
    const bool shifted = symbols[1] != NoSymbol;
    int type = shifted ? XkbTwoLevelIndex : XkbOneLevelIndex;
    XkbChangeTypesOfKey(xkb, code, 1, XkbGroup1Mask, &type, &changes);
    KeySym* syms = XkbKeySymsPtr(xkb, code);
    syms[0] = symbols[0];
    if (shifted)
        syms[1] = symbols[1];
}

} // namespace

void setKeycodeSymbols(Display* dpy, const std::map<KeyCode, LevelSymbols>& symbols,
                       const std::map<KeyCode, LevelSymbols>* expected)
{
    if (symbols.empty())
        return;
    // Xlib consults the key actions when a key's width changes.
    XkbDescPtr xkb =
        XkbGetMap(dpy, XkbKeyTypesMask | XkbKeySymsMask | XkbKeyActionsMask, XkbUseCoreKbd);
    if (!xkb)
        return;
    KeyCode first = 0, last = 0;
    for (const auto& [code, wanted] : symbols) {
        if (code < xkb->min_key_code || code > xkb->max_key_code)
            continue;
        if (expected) {
            auto mine = expected->find(code);
            if (mine == expected->end() || mine->second != currentSymbols(xkb, code))
                continue;
        }
        setSymbols(xkb, code, wanted);
        first = first ? std::min(first, code) : code;
        last = std::max(last, code);
    }
    if (first) {
        XkbMapChangesRec changes{};
        changes.changed = XkbKeySymsMask;
        changes.first_key_sym = first;
        changes.num_key_syms = static_cast<unsigned char>(last - first + 1);
        XkbChangeMap(dpy, xkb, &changes);
    }
    XkbFreeKeyboard(xkb, 0, True);
}

SpareKeys::SpareKeys(QByteArray displayName, std::chrono::milliseconds quiet)
    : displayName_(std::move(displayName)), quiet_(quiet), watcher_([this] { watch(); })
{
}

SpareKeys::~SpareKeys()
{
    {
        std::lock_guard<std::mutex> guard(mutex_);
        stopping_ = true;
    }
    wake_.notify_all();
    watcher_.join();
}

std::set<KeyCode> SpareKeys::boundKeycodes() const
{
    std::set<KeyCode> codes;
    for (const auto& entry : bindings_)
        codes.insert(entry.first);
    return codes;
}

bool SpareKeys::quietSince(Clock::time_point now) const
{
    for (const auto& entry : bindings_)
        if (now < entry.second.lastUse + quiet_)
            return false;
    return true;
}

void SpareKeys::watch()
{
    std::unique_lock<std::mutex> guard(mutex_);
    for (;;) {
        if (bindings_.empty()) {
            if (stopping_)
                return;
            wake_.wait(guard);
            continue;
        }
        Clock::time_point due = Clock::now();
        for (const auto& entry : bindings_)
            due = std::max(due, entry.second.lastUse + quiet_);
        // On the way out the quiet while is still kept: the target may not
        // have read the last keys yet.
        wake_.wait_until(guard, due);
        if (quietSince(Clock::now()))
            restoreAll();
    }
}

void SpareKeys::restoreAll()
{
    std::unique_ptr<XConnection> x = XConnection::open(displayName_.constData());
    if (x) {
        // Only what still is ours: a new layout may have been loaded meanwhile.
        std::map<KeyCode, LevelSymbols> ours, empty;
        for (const auto& [code, binding] : bindings_) {
            ours[code] = binding.syms;
            empty[code] = {NoSymbol, NoSymbol};
        }
        setKeycodeSymbols(x->dpy(), empty, &ours);
        XSync(x->dpy(), False);
    }
    bindings_.clear();
}

} // namespace keys::x11
