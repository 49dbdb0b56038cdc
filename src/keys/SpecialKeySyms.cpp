// SPDX-License-Identifier: MIT
#include "keys/SpecialKeySyms.h"

#include <xkbcommon/xkbcommon-keysyms.h>

namespace keys {

std::uint32_t keysymOf(SpecialKey key)
{
    switch (key) {
    case SpecialKey::Backspace: return XKB_KEY_BackSpace;
    case SpecialKey::Break: return XKB_KEY_Break;
    case SpecialKey::CapsLock: return XKB_KEY_Caps_Lock;
    case SpecialKey::Delete: return XKB_KEY_Delete;
    case SpecialKey::Down: return XKB_KEY_Down;
    case SpecialKey::End: return XKB_KEY_End;
    case SpecialKey::Enter: return XKB_KEY_Return;
    case SpecialKey::Escape: return XKB_KEY_Escape;
    case SpecialKey::Help: return XKB_KEY_Help;
    case SpecialKey::Home: return XKB_KEY_Home;
    case SpecialKey::Insert: return XKB_KEY_Insert;
    case SpecialKey::Left: return XKB_KEY_Left;
    case SpecialKey::NumLock: return XKB_KEY_Num_Lock;
    case SpecialKey::PageDown: return XKB_KEY_Next;
    case SpecialKey::PageUp: return XKB_KEY_Prior;
    case SpecialKey::PrintScreen: return XKB_KEY_Print;
    case SpecialKey::Right: return XKB_KEY_Right;
    case SpecialKey::ScrollLock: return XKB_KEY_Scroll_Lock;
    case SpecialKey::Tab: return XKB_KEY_Tab;
    case SpecialKey::Up: return XKB_KEY_Up;
    case SpecialKey::Add: return XKB_KEY_KP_Add;
    case SpecialKey::Subtract: return XKB_KEY_KP_Subtract;
    case SpecialKey::Multiply: return XKB_KEY_KP_Multiply;
    case SpecialKey::Divide: return XKB_KEY_KP_Divide;
    default:
        return XKB_KEY_F1
            + static_cast<std::uint32_t>(static_cast<int>(key) - static_cast<int>(SpecialKey::F1));
    }
}

} // namespace keys
