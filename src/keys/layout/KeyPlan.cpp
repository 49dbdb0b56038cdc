// SPDX-License-Identifier: MIT
#include "keys/layout/KeyPlan.h"
#include "keys/KeySender.h"
#include "keys/SpecialKeySyms.h"

#include <QList>

#include <xkbcommon/xkbcommon-keysyms.h>
#include <xkbcommon/xkbcommon.h>

namespace keys::layout {

namespace {

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
        key.enterOrEscape =
            event.special == SpecialKey::Enter || event.special == SpecialKey::Escape;
        key.opensMenu = event.special == SpecialKey::F10;
        return key;
    }
    key.character = event.character;
    key.sym = keysymOfCharacter(event.character);
    if (key.sym == XKB_KEY_NoSymbol) {
        const char32_t c = event.character;
        throw UntypableKey(QStringLiteral("The character \"%1\" cannot be typed.")
                           .arg(QString::fromUcs4(&c, 1)));
    }
    key.text = key.sym != XKB_KEY_Return && key.sym != XKB_KEY_Tab;
    key.enterOrEscape = key.sym == XKB_KEY_Return;
    key.opensMenu = key.text && (event.modifiers & (Control | Alt)) == Alt;
    return key;
}

} // namespace

Keysym keysymOfCharacter(char32_t c)
{
    if (c == U'\n' || c == U'\r')
        return XKB_KEY_Return;
    if (c == U'\t')
        return XKB_KEY_Tab;
    return xkb_utf32_to_keysym(c);
}

std::vector<PlannedKey> planKeys(const KeyEvents& events)
{
    std::vector<PlannedKey> keys;
    keys.reserve(events.size());
    for (const KeyEvent& event : events)
        keys.push_back(planKey(event));
    return keys;
}

int characterPosition(const QString& keys, char32_t c)
{
    int position = 0;
    for (const uint k : keys.toUcs4()) {
        ++position;
        if (k == c)
            return position;
    }
    return 0;
}

} // namespace keys::layout
