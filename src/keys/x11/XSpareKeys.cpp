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

bool setKeycodeSymbols(Display* dpy, const std::map<KeyCode, LevelSymbols>& symbols,
                       const std::map<KeyCode, LevelSymbols>* expected)
{
    if (symbols.empty())
        return true;
    // Xlib consults the key actions when a key's width changes.
    XkbDescPtr xkb =
        XkbGetMap(dpy, XkbKeyTypesMask | XkbKeySymsMask | XkbKeyActionsMask, XkbUseCoreKbd);
    if (!xkb)
        return false;
    ErrorTrap errors(dpy);
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
    return errors.check() == Success;
}

void SpareKeys::restore(Display* dpy)
{
    std::map<KeyCode, LevelSymbols> ours, empty;
    for (const auto& [code, binding] : bindings_) {
        ours[code] = binding.syms;
        empty[code] = {NoSymbol, NoSymbol};
    }
    setKeycodeSymbols(dpy, empty, &ours);
    bindings_.clear();
}

} // namespace keys::x11
