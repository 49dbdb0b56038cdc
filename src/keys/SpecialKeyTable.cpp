// SPDX-License-Identifier: MIT
#include "keys/SpecialKeyTable.h"

namespace keys {

namespace {

constexpr SpecialKeyButton buttons[] = {
    {"cmdF1", "F1", "{F1}", 1, 1},      {"cmdF2", "F2", "{F2}", 1, 2},
    {"cmdF3", "F3", "{F3}", 1, 3},      {"cmdF4", "F4", "{F4}", 1, 4},
    {"cmdF5", "F5", "{F5}", 1, 5},      {"cmdF6", "F6", "{F6}", 1, 6},
    {"cmdF7", "F7", "{F7}", 1, 7},      {"cmdF8", "F8", "{F8}", 1, 8},
    {"cmdF9", "F9", "{F9}", 2, 1},      {"cmdF10", "F10", "{F10}", 2, 2},
    {"cmdF11", "F11", "{F11}", 2, 3},   {"cmdF12", "F12", "{F12}", 2, 4},
    {"cmdF13", "F13", "{F13}", 2, 5},   {"cmdF14", "F14", "{F14}", 2, 6},
    {"cmdF15", "F15", "{F15}", 2, 7},   {"cmdF16", "F16", "{F16}", 2, 8},
    {"cmdEsc", "Esc", "{ESC}", 3, 1},   {"cmdTab", "Tab", "{TAB}", 4, 1},
    {"cmdCtrl", "Ctrl", "^", 5, 1},     {"cmdCL", "CL", "{CAPSLOCK}", 3, 2},
    {"cmdLeft", "Left", "{LEFT}", 4, 2}, {"cmdShift", "Shift", "+", 5, 2},
    {"cmdUp", "Up", "{UP}", 3, 3},      {"cmdDow", "Dow", "{DOWN}", 4, 3},
    {"cmdAlt", "Alt", "%", 5, 3},       {"cmdBksp", "Backspace", "{BKSP}", 3, 4, 2},
    {"cmdRight", "Right", "{RIGHT}", 4, 4}, {"cmdEnter", "Enter", "{ENTER}", 5, 4, 2},
    {"cmdNL", "NL", "{NUMLOCK}", 4, 5}, {"cmdPrtsc", "Prtsc", "{PRTSC}", 3, 6},
    {"cmdIns", "Ins", "{INS}", 4, 6},   {"cmdDel", "Del", "{DEL}", 5, 6},
    {"cmdSL", "SL", "{SCROLLLOCK}", 3, 7}, {"cmdHome", "Hom", "{HOME}", 4, 7},
    {"cmdEnd", "End", "{END}", 5, 7},   {"cmdBk", "Bk", "{BREAK}", 3, 8},
    {"cmdPU", "PU", "{PGUP}", 4, 8},    {"cmdPD", "PD", "{PGDN}", 5, 8},
};

static_assert(std::size(buttons) == 38);

} // namespace

std::span<const SpecialKeyButton> specialKeyTable()
{
    return buttons;
}

} // namespace keys
