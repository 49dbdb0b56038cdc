// SPDX-License-Identifier: MIT
#include "keys/wayland/OwnKeymap.h"
#include "keys/KeySender.h"
#include "keys/SpecialKeySyms.h"

#include <xkbcommon/xkbcommon-keysyms.h>
#include <xkbcommon/xkbcommon.h>

#include <algorithm>
#include <memory>

namespace keys::wayland {

namespace {

constexpr std::uint32_t firstKeycode = 9;
constexpr std::uint32_t lastKeycode = 255;

// Digits and punctuation as a US keyboard pairs them: plain, with Shift.
constexpr const char* usPairs[] = {
    "1!", "2@", "3#", "4$", "5%", "6^", "7&", "8*", "9(", "0)", "-_",
    "=+", "[{", "]}", "\\|", ";:", "'\"", ",<", ".>", "/?", "`~",
};

constexpr SpecialKey allSpecialKeys[] = {
    SpecialKey::Backspace, SpecialKey::Break, SpecialKey::CapsLock, SpecialKey::Delete,
    SpecialKey::Down, SpecialKey::End, SpecialKey::Enter, SpecialKey::Escape,
    SpecialKey::Help, SpecialKey::Home, SpecialKey::Insert, SpecialKey::Left,
    SpecialKey::NumLock, SpecialKey::PageDown, SpecialKey::PageUp, SpecialKey::PrintScreen,
    SpecialKey::Right, SpecialKey::ScrollLock, SpecialKey::Tab, SpecialKey::Up,
    SpecialKey::F1, SpecialKey::F2, SpecialKey::F3, SpecialKey::F4, SpecialKey::F5,
    SpecialKey::F6, SpecialKey::F7, SpecialKey::F8, SpecialKey::F9, SpecialKey::F10,
    SpecialKey::F11, SpecialKey::F12, SpecialKey::F13, SpecialKey::F14, SpecialKey::F15,
    SpecialKey::F16, SpecialKey::Add, SpecialKey::Subtract, SpecialKey::Multiply,
    SpecialKey::Divide,
};

// The base keys, one entry per key with its symbols by level.
const std::vector<std::vector<Keysym>>& baseKeys()
{
    static const std::vector<std::vector<Keysym>> keys = [] {
        std::vector<std::vector<Keysym>> k;
        for (char c = 'a'; c <= 'z'; ++c)
            k.push_back({Keysym(c), Keysym(c - 'a' + 'A')});
        for (const char* pair : usPairs)
            k.push_back({Keysym(pair[0]), Keysym(pair[1])});
        k.push_back({XKB_KEY_space});
        for (SpecialKey key : allSpecialKeys)
            k.push_back({keysymOf(key)});
        k.push_back({XKB_KEY_Shift_L});
        k.push_back({XKB_KEY_Control_L});
        k.push_back({XKB_KEY_Alt_L});
        return k;
    }();
    return keys;
}

std::string keysymName(Keysym sym)
{
    char name[64];
    if (xkb_keysym_get_name(sym, name, sizeof name) < 0)
        return "NoSymbol";
    return name;
}

std::string keymapSource(const std::vector<std::vector<Keysym>>& keys)
{
    std::string codes, symbols;
    for (std::size_t i = 0; i < keys.size(); ++i) {
        const std::string name = "<K" + std::to_string(firstKeycode + i) + ">";
        codes += "    " + name + " = " + std::to_string(firstKeycode + i) + ";\n";
        symbols += "    key " + name + " { [ ";
        for (std::size_t level = 0; level < keys[i].size(); ++level)
            symbols += (level ? ", " : "") + keysymName(keys[i][level]);
        symbols += " ] };\n";
    }
    return "xkb_keymap {\n"
           "  xkb_keycodes \"typomat\" {\n    minimum = 8;\n    maximum = 255;\n" + codes
        + "  };\n"
          "  xkb_types \"typomat\" { include \"complete\" };\n"
          "  xkb_compatibility \"typomat\" { include \"complete\" };\n"
          "  xkb_symbols \"typomat\" {\n" + symbols
        + "    modifier_map Shift { Shift_L };\n"
          "    modifier_map Control { Control_L };\n"
          "    modifier_map Mod1 { Alt_L };\n"
          "    modifier_map Mod2 { Num_Lock };\n"
          "  };\n"
          "};\n";
}

struct XkbFree {
    void operator()(xkb_context* c) const { xkb_context_unref(c); }
    void operator()(xkb_keymap* k) const { xkb_keymap_unref(k); }
};

std::uint32_t maskOf(xkb_keymap* keymap, const char* name)
{
    const xkb_mod_index_t index = xkb_keymap_mod_get_index(keymap, name);
    return index == XKB_MOD_INVALID ? 0 : 1u << index;
}

[[noreturn]] void cannotBuild()
{
    throw KeyError(QStringLiteral("The keyboard map for typing could not be built "
                                  "(are the XKB data files installed?)."));
}

} // namespace

std::size_t OwnKeymap::capacity()
{
    return lastKeycode - firstKeycode + 1 - baseKeys().size();
}

bool OwnKeymap::inBase(Keysym sym)
{
    for (const std::vector<Keysym>& key : baseKeys())
        if (std::find(key.begin(), key.end(), sym) != key.end())
            return true;
    return false;
}

OwnKeymap::OwnKeymap(std::set<Keysym> extras) : extras_(std::move(extras))
{
    std::vector<std::vector<Keysym>> keys = baseKeys();
    for (Keysym sym : extras_)
        keys.push_back({sym});
    if (keys.size() > lastKeycode - firstKeycode + 1)
        cannotBuild();
    for (std::size_t i = 0; i < keys.size(); ++i)
        for (std::size_t level = 0; level < keys[i].size(); ++level)
            places_.push_back(
                {keys[i][level], {static_cast<std::uint32_t>(firstKeycode + i), level == 1}});
    std::sort(places_.begin(), places_.end(),
              [](const auto& a, const auto& b) { return a.first < b.first; });

    const std::unique_ptr<xkb_context, XkbFree> context(xkb_context_new(XKB_CONTEXT_NO_FLAGS));
    if (!context)
        cannotBuild();
    const std::string source = keymapSource(keys);
    const std::unique_ptr<xkb_keymap, XkbFree> keymap(xkb_keymap_new_from_string(
        context.get(), source.c_str(), XKB_KEYMAP_FORMAT_TEXT_V1, XKB_KEYMAP_COMPILE_NO_FLAGS));
    if (!keymap)
        cannotBuild();
    char* text = xkb_keymap_get_as_string(keymap.get(), XKB_KEYMAP_FORMAT_TEXT_V1);
    if (!text)
        cannotBuild();
    text_ = text;
    free(text);
    shiftMask_ = maskOf(keymap.get(), XKB_MOD_NAME_SHIFT);
    controlMask_ = maskOf(keymap.get(), XKB_MOD_NAME_CTRL);
    altMask_ = maskOf(keymap.get(), XKB_MOD_NAME_ALT);
    shiftKey_ = place(XKB_KEY_Shift_L)->code;
    controlKey_ = place(XKB_KEY_Control_L)->code;
    altKey_ = place(XKB_KEY_Alt_L)->code;
}

bool OwnKeymap::has(Keysym sym) const
{
    return place(sym).has_value();
}

std::optional<KeyPlace> OwnKeymap::place(Keysym sym) const
{
    const auto it = std::lower_bound(places_.begin(), places_.end(), sym,
                                     [](const auto& entry, Keysym s) { return entry.first < s; });
    if (it == places_.end() || it->first != sym)
        return std::nullopt;
    return it->second;
}

std::uint32_t OwnKeymap::modifierKey(Modifier modifier) const
{
    return modifier == Shift ? shiftKey_ : modifier == Control ? controlKey_ : altKey_;
}

std::uint32_t OwnKeymap::modifierMask(Modifier modifier) const
{
    return modifier == Shift ? shiftMask_ : modifier == Control ? controlMask_ : altMask_;
}

} // namespace keys::wayland
