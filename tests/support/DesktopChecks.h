// SPDX-License-Identifier: MIT
#pragma once
// What the tests of the Wayland desktops' backends (sway, KWin, GNOME
// Shell) check alike: a backend's KeySender against a compositor of the
// test's own and the clients started on it.
#include "WaylandClients.h"
#include "keys/KeySender.h"

#include <functional>

namespace testsupport {

// The description of the KeyError the call throws, or empty when it throws
// none.
QString errorOf(const std::function<void()>& call);

// Activates the terminal, types the keys and returns the bytes that arrived
// after them (at least expectedSize, unless time ran out).
template <typename Terminal>
QByteArray typeInto(keys::KeySender& sender, const Terminal& term, const QString& keys,
                    qsizetype expectedSize)
{
    const qsizetype before = term.bytes().size();
    sender.AppActivate(term.title());
    sender.SendKeys(keys, true);
    return term.waitForBytes(before + expectedSize).mid(before);
}

// The exact title first, then a prefix ignoring case; of several, the
// window on top. other: a window titled target + " Two".
void checkTitleRule(keys::KeySender& sender, Compositor& desktop, const QString& target,
                    const QString& other);

// A key string the desktop cannot type is refused whole with the expected
// message, by checkKeys and by SendKeys into the terminal, before any key.
void checkRefusedBeforeAnyKey(keys::KeySender& sender, const SessionTerminal& term,
                              const QString& keys, const QString& expected);

// Ctrl+D opens the app's dialog: the text after it goes there, Enter closes
// it, and the rest goes to the main window again; a dialog opened by the
// last key of one call is typed into by the next one.
void checkTypingFollowsIntoDialog(keys::KeySender& sender, const WaylandDialogTarget& app);

// A real editor from Debian's archive, native on the desktop: text, then a
// Save As dialog opened by saveAs ("^s", or a menu), the file's path and
// Enter, more text and a second save. The file on disk must hold both
// lines: every key went where it belonged.
// The rows, for a test's _data function: a GTK 3 editor saved by Ctrl+S,
// a Qt 5 one through its File menu; then the check for the current row.
void checkSaveAsInEditor(keys::KeySender& sender, Compositor& desktop, const QString& program,
                         const QString& title, const QString& saveAs);
void addSaveAsRows();
void checkSaveAsInEditorRow(keys::KeySender& sender, Compositor& desktop);

// The terminal is stopped (SIGSTOP) for a second shortly after typing
// starts: every key arrives once it goes on, and typing reports no error.
void checkStoppedTargetGetsEveryKey(keys::KeySender& sender, const SessionTerminal& term);

// A run of the program (program, or TYPOMAT_EXE where empty; with these
// VAR=value entries) is killed while it types with Shift held: what sender
// types next arrives unshifted.
void checkKilledRunLeavesNoKeyHeld(keys::KeySender& sender, const SessionTerminal& term,
                                   const QStringList& environment, const QString& program);

// Types a long string with Shift held into target and, once 2,000 keys have
// arrived, calls take() on another thread: it gives the focus to another
// window and returns it. Typing must stop with the message that says so;
// that window gets at most maxStolen keys; a further string sent without
// activating reaches no window but the target (nextError: what it threw);
// Shift is no longer held after.
void checkFocusTakenStopsTyping(keys::KeySender& sender, const SessionTerminal& target,
                                const std::function<const SessionTerminal&()>& take,
                                qsizetype maxStolen, QString& nextError);

} // namespace testsupport
