// SPDX-License-Identifier: MIT
#include "keys/layout/SeatLayout.h"
#include "keys/KeyErrorTexts.h"
#include "keys/KeySender.h"

#include <xkbcommon/xkbcommon-keysyms.h>
#include <xkbcommon/xkbcommon.h>

namespace keys::layout {

namespace {

constexpr std::uint32_t evdevOffset = 8;

// Level modifier sets from the fewest modifiers to the most.
constexpr unsigned levelSets[] = {
    NoLevel,
    LevelShift,
    LevelThree,
    LevelFive,
    LevelShift | LevelThree,
    LevelShift | LevelFive,
    LevelThree | LevelFive,
    LevelShift | LevelThree | LevelFive,
    LevelControl,
};

struct StateFree {
    void operator()(xkb_state* s) const { xkb_state_unref(s); }
};
using State = std::unique_ptr<xkb_state, StateFree>;

} // namespace

void SeatLayout::XkbFree::operator()(xkb_context* c) const
{
    xkb_context_unref(c);
}

void SeatLayout::XkbFree::operator()(xkb_keymap* k) const
{
    xkb_keymap_unref(k);
}

SeatLayout::SeatLayout(const std::string& keymap)
    : context_(xkb_context_new(XKB_CONTEXT_NO_ENVIRONMENT_NAMES))
{
    if (context_)
        keymap_.reset(xkb_keymap_new_from_string(context_.get(), keymap.c_str(),
                                                 XKB_KEYMAP_FORMAT_TEXT_V1,
                                                 XKB_KEYMAP_COMPILE_NO_FLAGS));
    if (!keymap_)
        throw KeyError(QStringLiteral("The keyboard layout of this desktop could not be read, "
                                      "so Typomat cannot tell which keys type which "
                                      "characters."));
    shift_ = findModifierKey({XKB_KEY_Shift_L, XKB_KEY_Shift_R});
    control_ = findModifierKey({XKB_KEY_Control_L, XKB_KEY_Control_R});
    alt_ = findModifierKey({XKB_KEY_Alt_L, XKB_KEY_Alt_R, XKB_KEY_Meta_L});
    levelThree_ = findModifierKey({XKB_KEY_ISO_Level3_Shift});
    levelFive_ = findModifierKey({XKB_KEY_ISO_Level5_Shift});
}

SeatLayout::~SeatLayout() = default;

std::uint32_t SeatLayout::layoutCount() const
{
    return xkb_keymap_num_layouts(keymap_.get());
}

QString SeatLayout::layoutName(std::uint32_t layout) const
{
    const char* name = xkb_keymap_layout_get_name(keymap_.get(), layout);
    return name ? QString::fromUtf8(name) : QString();
}

// The first key (lowest keycode) whose first level in the first layout
// holds one of the symbols, in the order given, and the modifiers it sets.
SeatLayout::ModifierKey SeatLayout::findModifierKey(std::initializer_list<Keysym> syms) const
{
    xkb_keymap* keymap = keymap_.get();
    for (const Keysym wanted : syms) {
        for (xkb_keycode_t code = xkb_keymap_min_keycode(keymap);
             code <= xkb_keymap_max_keycode(keymap); ++code) {
            const xkb_keysym_t* found = nullptr;
            const int count = xkb_keymap_key_get_syms_by_level(keymap, code, 0, 0, &found);
            if (count != 1 || found[0] != wanted)
                continue;
            const State state(xkb_state_new(keymap));
            if (!state)
                return {};
            xkb_state_update_key(state.get(), code, XKB_KEY_DOWN);
            const std::uint32_t mask =
                xkb_state_serialize_mods(state.get(), XKB_STATE_MODS_DEPRESSED);
            if (mask != 0)
                return {code, mask};
        }
    }
    return {};
}

std::uint32_t SeatLayout::lockMask(Locks locks) const
{
    std::uint32_t mask = 0;
    const auto add = [&](const char* name) {
        const xkb_mod_index_t index = xkb_keymap_mod_get_index(keymap_.get(), name);
        if (index != XKB_MOD_INVALID)
            mask |= 1u << index;
    };
    if (locks.caps)
        add(XKB_MOD_NAME_CAPS);
    if (locks.num)
        add(XKB_MOD_NAME_NUM);
    return mask;
}

// Every symbol the layout types with these locks on, found by asking XKB
// what each key types under each set of level modifiers, as the receiving
// application will.
const SeatLayout::Table& SeatLayout::table(std::uint32_t layout, Locks locks) const
{
    const auto key = std::make_tuple(layout, locks.caps, locks.num);
    if (const auto it = tables_.find(key); it != tables_.end())
        return it->second;
    Table& table = tables_[key];
    xkb_keymap* keymap = keymap_.get();
    const State state(xkb_state_new(keymap));
    if (!state)
        return table;
    for (const unsigned levels : levelSets) {
        std::uint32_t mask = 0;
        bool available = true;
        for (unsigned bit = 1; bit <= LevelControl; bit <<= 1) {
            if (!(levels & bit))
                continue;
            available = available && keyOf(bit).keycode != 0;
            mask |= keyOf(bit).mask;
        }
        if (!available)
            continue;
        xkb_state_update_mask(state.get(), mask, 0, lockMask(locks), 0, 0, layout);
        for (xkb_keycode_t code = xkb_keymap_min_keycode(keymap);
             code <= xkb_keymap_max_keycode(keymap); ++code) {
            if (code < evdevOffset)
                continue;
            const xkb_keysym_t sym = xkb_state_key_get_one_sym(state.get(), code);
            if (sym != XKB_KEY_NoSymbol)
                table.try_emplace(sym, Stroke{code - evdevOffset, levels});
        }
    }
    return table;
}

std::optional<Stroke> SeatLayout::find(Keysym sym, std::uint32_t layout, Locks locks) const
{
    if (layout >= layoutCount())
        return std::nullopt;
    const Table& strokes = table(layout, locks);
    const auto it = strokes.find(sym);
    if (it == strokes.end())
        return std::nullopt;
    return it->second;
}

std::optional<std::uint32_t> SeatLayout::modifierKey(Modifier modifier) const
{
    const ModifierKey& key = modifier == Shift ? shift_ : modifier == Control ? control_ : alt_;
    if (key.keycode == 0)
        return std::nullopt;
    return key.keycode - evdevOffset;
}

const SeatLayout::ModifierKey& SeatLayout::keyOf(unsigned levelBit) const
{
    switch (levelBit) {
    case LevelShift: return shift_;
    case LevelThree: return levelThree_;
    case LevelFive: return levelFive_;
    default: return control_;
    }
}

std::optional<std::uint32_t> SeatLayout::levelKey(Level level) const
{
    const ModifierKey& key = keyOf(level);
    if (key.keycode == 0)
        return std::nullopt;
    return key.keycode - evdevOffset;
}

std::optional<std::uint32_t> layoutFor(Keysym sym, const SeatLayout& layout,
                                       const std::vector<std::uint32_t>& layouts)
{
    for (const std::uint32_t group : layouts)
        if (layout.find(sym, group, {}))
            return group;
    return std::nullopt;
}

void refuseUntypable(const QString& keys, const KeyEvents& events,
                     const std::vector<PlannedKey>& planned, const SeatLayout& layout,
                     const std::vector<std::uint32_t>& layouts)
{
    for (std::size_t i = 0; i < planned.size(); ++i) {
        if (layoutFor(planned[i].sym, layout, layouts))
            continue;
        QStringList names;
        for (const std::uint32_t group : layouts)
            names << layout.layoutName(group);
        if (planned[i].character == 0)
            throw UntypableKey(errors::keyNotInLayout(describe(events[i]), names));
        const char32_t c = planned[i].character;
        throw UntypableKey(errors::characterNotInLayout(QString::fromUcs4(&c, 1),
                                                    characterPosition(keys, c), names));
    }
}

} // namespace keys::layout
