// SPDX-License-Identifier: MIT
#include "keys/x11/XKeymap.h"

#include <X11/Xutil.h>
#include <X11/keysym.h>
#include <xkbcommon/xkbcommon.h>

#include <bit>
#include <iterator>

namespace keys::x11 {

namespace {

// Keys that hold a modifier while pressed, best first. Lock keys are left
// out on purpose: pressing one would change the state for good.
constexpr KeySym holdingKeys[] = {
    XK_Shift_L, XK_Shift_R, XK_Control_L, XK_Control_R, XK_Alt_L, XK_Alt_R,
    XK_Meta_L, XK_Meta_R, XK_ISO_Level3_Shift, XK_ISO_Level5_Shift,
    XK_Super_L, XK_Super_R, XK_Hyper_L, XK_Hyper_R,
};

int holdingRank(KeySym sym)
{
    for (std::size_t i = 0; i < std::size(holdingKeys); ++i)
        if (holdingKeys[i] == sym)
            return static_cast<int>(i);
    return -1;
}

bool better(const KeyOnLayout& candidate, const KeyOnLayout& current)
{
    return std::popcount(candidate.mods) < std::popcount(current.mods);
}

} // namespace

Keymap::Keymap(Display* dpy, const std::map<KeyCode, LevelSymbols>& borrowed)
{
    xkb_ = XkbGetMap(dpy, XkbKeyTypesMask | XkbKeySymsMask | XkbModifierMapMask,
                     XkbUseCoreKbd);
    if (!xkb_)
        return;
    XkbStateRec state;
    if (XkbGetState(dpy, XkbUseCoreKbd, &state) == Success) {
        group_ = state.group;
        lockedMods_ = state.locked_mods;
    }
    findModifierKeys();
    for (unsigned code = xkb_->min_key_code; code <= xkb_->max_key_code; ++code) {
        const KeyCode key = static_cast<KeyCode>(code);
        auto ours = borrowed.find(key);
        if (ours != borrowed.end() && symbolsAt(key) == ours->second) {
            spare_.push_back(key);
            continue;
        }
        if (XkbKeyNumGroups(xkb_, key) == 0 || XkbKeyNumSyms(xkb_, key) == 0) {
            if (xkb_->map->modmap[key] == 0)
                spare_.push_back(key);
            continue;
        }
        indexLevels(key);
    }
}

Keymap::~Keymap()
{
    if (xkb_)
        XkbFreeKeyboard(xkb_, 0, True);
}

const KeyOnLayout* Keymap::forCharacter(char32_t c) const
{
    auto it = byCharacter_.find(c);
    return it == byCharacter_.end() ? nullptr : &it->second;
}

const KeyOnLayout* Keymap::forKeysym(KeySym sym) const
{
    auto it = byKeysym_.find(sym);
    return it == byKeysym_.end() ? nullptr : &it->second;
}

LevelSymbols Keymap::symbolsAt(KeyCode code) const
{
    LevelSymbols symbols{NoSymbol, NoSymbol};
    if (code < xkb_->min_key_code || code > xkb_->max_key_code
        || XkbKeyNumGroups(xkb_, code) == 0 || XkbKeyNumSyms(xkb_, code) == 0)
        return symbols;
    const int width = XkbKeyGroupWidth(xkb_, code, 0);
    for (int level = 0; level < 2 && level < width; ++level)
        symbols[static_cast<std::size_t>(level)] = XkbKeySymEntry(xkb_, code, level, 0);
    return symbols;
}

KeyCode Keymap::keyForModifier(unsigned mask) const
{
    const int bit = std::countr_zero(mask);
    return bit < 8 && std::has_single_bit(mask) ? modifierKeys_[bit] : 0;
}

void Keymap::findModifierKeys()
{
    int rank[8];
    std::fill(std::begin(rank), std::end(rank), -1);
    altMask_ = 0;
    for (unsigned code = xkb_->min_key_code; code <= xkb_->max_key_code; ++code) {
        const KeyCode key = static_cast<KeyCode>(code);
        const unsigned char modmap = xkb_->map->modmap[key];
        if (modmap == 0 || XkbKeyNumGroups(xkb_, key) == 0)
            continue;
        const KeySym sym = XkbKeySymEntry(xkb_, key, 0, 0);
        if (sym == XK_Alt_L || sym == XK_Alt_R)
            altMask_ |= modmap;
        if (sym == XK_Num_Lock)
            numLockMask_ |= modmap;
        const int r = holdingRank(sym);
        if (r < 0)
            continue;
        for (int bit = 0; bit < 8; ++bit)
            if ((modmap & (1u << bit)) && (rank[bit] < 0 || r < rank[bit])) {
                rank[bit] = r;
                modifierKeys_[bit] = key;
            }
    }
    if (altMask_ == 0)
        altMask_ = Mod1Mask;
}

unsigned Keymap::modsForLevel(const XkbKeyTypeRec& type, unsigned level, bool& reachable) const
{
    reachable = level == 0;
    if (level == 0)
        return 0;
    unsigned best = 0;
    for (int i = 0; i < type.map_count; ++i) {
        const XkbKTMapEntryRec& entry = type.map[i];
        const unsigned mask = entry.mods.mask;
        if (!entry.active || entry.level != level || (mask & (LockMask | numLockMask_)))
            continue;
        bool pressable = true;
        for (unsigned bit = 0; bit < 8; ++bit)
            if ((mask & (1u << bit)) && !modifierKeys_[bit])
                pressable = false;
        if (pressable && (!reachable || std::popcount(mask) < std::popcount(best))) {
            best = mask;
            reachable = true;
        }
    }
    return best;
}

bool Keymap::pressIsPlain(KeyCode code, unsigned held) const
{
    if (!xkb_ || code < xkb_->min_key_code || code > xkb_->max_key_code
        || XkbKeyNumGroups(xkb_, code) == 0)
        return true;
    const unsigned group = effectiveGroup(code);
    const XkbKeyTypeRec* type = XkbKeyKeyType(xkb_, code, group);
    const unsigned relevant = held & type->mods.mask;
    unsigned level = 0;
    for (int i = 0; i < type->map_count; ++i)
        if (type->map[i].active && type->map[i].mods.mask == relevant)
            level = type->map[i].level;
    if (level == 0 || level >= static_cast<unsigned>(XkbKeyGroupWidth(xkb_, code, group)))
        return true;
    return XkbKeySymEntry(xkb_, code, level, group) == XkbKeySymEntry(xkb_, code, 0, group);
}

unsigned Keymap::effectiveGroup(KeyCode code) const
{
    const unsigned groups = XkbKeyNumGroups(xkb_, code);
    unsigned group = group_;
    if (group >= groups) {
        const unsigned char info = XkbKeyGroupInfo(xkb_, code);
        switch (XkbOutOfRangeGroupAction(info)) {
        case XkbClampIntoRange:
            group = groups - 1;
            break;
        case XkbRedirectIntoRange:
            group = XkbOutOfRangeGroupNumber(info);
            if (group >= groups)
                group = 0;
            break;
        default:
            group %= groups;
        }
    }
    return group;
}

void Keymap::indexLevels(KeyCode code)
{
    const unsigned group = effectiveGroup(code);
    const XkbKeyTypeRec* type = XkbKeyKeyType(xkb_, code, group);
    const unsigned width = XkbKeyGroupsWidth(xkb_, code);
    for (unsigned level = 0; level < type->num_levels && level < width; ++level) {
        const KeySym sym = XkbKeySymEntry(xkb_, code, level, group);
        if (sym == NoSymbol)
            continue;
        bool reachable = false;
        const unsigned mods = modsForLevel(*type, level, reachable);
        if (reachable)
            consider(code, level, mods, sym);
    }
}

void Keymap::consider(KeyCode code, unsigned /*level*/, unsigned mods, KeySym sym)
{
    const KeyOnLayout key{code, mods};
    auto bySym = byKeysym_.find(sym);
    if (bySym == byKeysym_.end())
        byKeysym_.emplace(sym, key);
    else if (better(key, bySym->second))
        bySym->second = key;

    // The keypad's keys follow Num Lock: ordinary characters never use them.
    if (IsKeypadKey(sym))
        return;
    const char32_t c = xkb_keysym_to_utf32(static_cast<xkb_keysym_t>(sym));
    if (c < 0x20 || c == 0x7f)
        return;
    auto byChar = byCharacter_.find(c);
    if (byChar == byCharacter_.end())
        byCharacter_.emplace(c, key);
    else if (better(key, byChar->second))
        byChar->second = key;
}

} // namespace keys::x11
