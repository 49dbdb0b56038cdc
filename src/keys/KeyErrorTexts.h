// SPDX-License-Identifier: MIT
#pragma once
#include <QString>
#include <QStringList>

// The sentences a failed activation or send shows in the "Error" box, shared
// by every backend (and by the tests, which check these very words).
namespace keys::errors {

inline QString sendingUnavailable()
{
    return QStringLiteral("Keystroke sending is not available on this desktop.");
}

inline QString noWindowTitled(const QString& title)
{
    return QStringLiteral("No window titled \"%1\" is open.").arg(title);
}

inline QString notBroughtToFront(const QString& title)
{
    return QStringLiteral("The window \"%1\" could not be brought to the front: "
                          "it did not take the keyboard focus.")
        .arg(title);
}

inline QString focusLostAfter(qsizetype sent, qsizetype total)
{
    return QStringLiteral("The window lost the keyboard focus after %1 of %2 "
                          "keys, so the rest was not typed.")
        .arg(sent)
        .arg(total);
}

inline QString stoppedRespondingAfter(qsizetype sent, qsizetype total)
{
    return QStringLiteral("The window stopped responding after %1 of %2 keys, so the rest "
                          "was not typed.")
        .arg(sent)
        .arg(total);
}

// Thrown as NoAnswerAfterLastKey.
inline QString noAnswerAfterLastKey(qsizetype total)
{
    return QStringLiteral("The window did not answer after the last key; all %1 keys were sent.")
        .arg(total);
}

inline QString focusMovedBeforeTyping()
{
    return QStringLiteral("The keyboard focus moved to another window after the target was "
                          "brought to the front, so nothing was typed.");
}

inline QString nothingActivated()
{
    return QStringLiteral("No window was brought to the front before typing, so nothing was "
                          "typed.");
}

// A key string that types more than keys::maxKeyEvents keys (Notation.h).
inline QString tooManyKeys()
{
    return QStringLiteral("The key string types more than 1,000,000 keys, the most one key "
                          "string may type, so nothing was typed.");
}

// A code point as Unicode writes it: "U+0007", "U+FFFE", "U+10FFFF".
inline QString codePoint(char32_t c)
{
    return QStringLiteral("U+%1").arg(uint(c), 4, 16, QLatin1Char('0')).toUpper();
}

// Characters no key types (Notation.h: isControlCharacter, isNoncharacter);
// position counts characters from 1.
inline QString controlCharacter(char32_t c, int position)
{
    return QStringLiteral("The key string holds the control character %1 at character %2, "
                          "which cannot be typed. Special keys are written in braces, such as "
                          "{ESC} or {BKSP}.")
        .arg(codePoint(c))
        .arg(position);
}

inline QString noncharacter(char32_t c, int position)
{
    return QStringLiteral("The key string holds the noncharacter %1 at character %2, which "
                          "cannot be typed.")
        .arg(codePoint(c))
        .arg(position);
}

// Where keys go in as key codes read in the user's layouts (KDE Plasma on
// Wayland): a character none of the layouts set up has a key for. layouts:
// their names, the one in use first; position counts characters from 1.
inline QString layoutsNamed(const QStringList& layouts)
{
    if (layouts.size() == 1)
        return QStringLiteral("the keyboard layout of this desktop (%1) has no key for it")
            .arg(layouts.front());
    return QStringLiteral("none of the keyboard layouts of this desktop (%1) has a key for it")
        .arg(layouts.join(QStringLiteral(", ")));
}

inline QString characterNotInLayout(const QString& character, int position,
                                    const QStringList& layouts)
{
    return QStringLiteral("The character \"%1\" at character %2 of the key string cannot be "
                          "typed: %3, so nothing was typed. Add a layout that has it in the "
                          "desktop's keyboard settings, or leave it out.")
        .arg(character)
        .arg(position)
        .arg(layoutsNamed(layouts));
}

// The same for a special key, named as the notation writes it ("{F13}").
inline QString keyNotInLayout(const QString& key, const QStringList& layouts)
{
    return QStringLiteral("The key %1 cannot be typed: %2, so nothing was typed.")
        .arg(key, layoutsNamed(layouts));
}

// GNOME: Typomat's Shell extension (named by uuid) cannot serve. Each says
// what to do; shown at start and when a send is tried.
inline QString gnomeExtensionNotLoaded(const QString& uuid)
{
    return QStringLiteral("Typomat's GNOME Shell extension (%1) is not loaded, so Typomat can "
                          "neither find windows nor type into them here. Install the typomat "
                          "package if it is not installed, log out and in again (GNOME Shell "
                          "finds new extensions only when you log in), then enable the "
                          "extension with \"gnome-extensions enable %1\".")
        .arg(uuid);
}

inline QString gnomeExtensionDisabled(const QString& uuid)
{
    return QStringLiteral("Typomat's GNOME Shell extension (%1) is not enabled, so Typomat can "
                          "neither find windows nor type into them here. Enable it with "
                          "\"gnome-extensions enable %1\" (or in the Extensions app), then try "
                          "again.")
        .arg(uuid);
}

inline QString gnomeExtensionFailed(const QString& uuid, const QString& error)
{
    return QStringLiteral("Typomat's GNOME Shell extension (%1) could not start, so Typomat can "
                          "neither find windows nor type into them here. GNOME Shell says: "
                          "\"%2\". Log out and in again; if it still fails, reinstall the "
                          "typomat package.")
        .arg(uuid, error);
}

inline QString gnomeExtensionOutOfDate(const QString& uuid)
{
    return QStringLiteral("Typomat's GNOME Shell extension (%1) is made for another version of "
                          "GNOME Shell, so Typomat can neither find windows nor type into them "
                          "here. Install the extension's form for your GNOME Shell (see "
                          "\"GNOME\" in the user guide), log out and in again, then enable it "
                          "with \"gnome-extensions enable %1\".")
        .arg(uuid);
}

inline QString gnomeShellUnreachable()
{
    return QStringLiteral("GNOME Shell does not answer on the session bus, so Typomat can "
                          "neither find windows nor type into them.");
}

// The extension answers only the installed program; program: this one,
// reason: the extension's answer.
inline QString gnomeExtensionRefused(const QString& program, const QString& reason)
{
    return QStringLiteral("Typomat's GNOME Shell extension does not answer this program (%1), "
                          "so nothing was typed. It says: \"%2\"")
        .arg(program, reason);
}

// ------------------------------------------------------------------ X11

inline QString xDisplayUnreachable()
{
    return QStringLiteral("Typomat cannot reach the X display, so it can neither bring windows "
                          "to the front nor type keys.");
}

inline QString xTestMissing()
{
    return QStringLiteral("The X server does not accept simulated keystrokes (its XTEST "
                          "extension is missing).");
}

inline QString xkbMissing()
{
    return QStringLiteral("The X server does not describe its keyboard (its XKEYBOARD extension "
                          "is missing).");
}

inline QString keymapUnreadable()
{
    return QStringLiteral("The keyboard map of the X server cannot be read.");
}

// names: "Shift, Ctrl"
inline QString keysHeldDown(const QString& names)
{
    return QStringLiteral("Keys are still held down (%1), so nothing was typed. Release them and "
                          "try again.")
        .arg(names);
}

inline QString noFocus()
{
    return QStringLiteral("No window has the keyboard focus, so nothing was typed.");
}

inline QString characterCannotBeTyped(const QString& character)
{
    return QStringLiteral("The character \"%1\" cannot be typed.").arg(character);
}

// what: the key as the notation writes it
inline QString noKeyForModifier(const QString& what)
{
    return QStringLiteral("The keyboard has no key for a modifier that %1 needs.").arg(what);
}

// The keyboard map has no keycode left empty at all.
inline QString noFreeKey()
{
    return QStringLiteral("The keyboard has no free key to type characters that the layout "
                          "lacks: every key of the keyboard map is in use.");
}

// Every empty keycode carries keys that another program (or a window that
// has not read its keys yet) still needs.
inline QString noFreeKeyHeld()
{
    return QStringLiteral("The keyboard has no free key to type characters that the layout "
                          "lacks: other programs hold every spare key, or a window has not read "
                          "the keys typed with them yet. Try again later; `setxkbmap` resets the "
                          "layout.");
}

inline QString keymapNotChanged(qsizetype sent, qsizetype total)
{
    return QStringLiteral("The keyboard map could not be changed to type characters that the "
                          "layout lacks, so the rest was not typed (%1 of %2 keys were).")
        .arg(sent)
        .arg(total);
}

inline QString typingStoppedBySignal()
{
    return QStringLiteral("Typomat was told to end, so the rest was not typed.");
}

// -------------------------------------------------------------- Wayland

inline QString waylandDisplayNotSet()
{
    return QStringLiteral("No Wayland display is set (WAYLAND_DISPLAY is empty).");
}

inline QString waylandDisplayUnreachable(const QString& display)
{
    return QStringLiteral("Typomat cannot reach the Wayland display \"%1\", so it can neither "
                          "bring windows to the front nor type keys.")
        .arg(display);
}

inline QString waylandDisplaySilent(const QString& display)
{
    return QStringLiteral("The Wayland display \"%1\" does not answer, so Typomat can neither "
                          "bring windows to the front nor type keys.")
        .arg(display);
}

inline QString compositorStoppedAnswering(qsizetype sent, qsizetype total)
{
    return QStringLiteral("The Wayland compositor stopped answering after %1 of %2 keys, so the "
                          "rest was not typed.")
        .arg(sent)
        .arg(total);
}

inline QString waylandConnectionLostAfter(qsizetype sent, qsizetype total)
{
    return QStringLiteral("The connection to the Wayland compositor was lost after %1 of %2 "
                          "keys, so the rest was not typed.")
        .arg(sent)
        .arg(total);
}

} // namespace keys::errors
