// SPDX-License-Identifier: MIT
#pragma once
// Internal to the X11 backend: turning parsed keys into XTest key events.
#include "keys/KeyEvent.h"
#include "keys/x11/XReceipt.h"
#include "keys/x11/XKeymap.h"
#include "keys/x11/XSpareKeys.h"
#include "keys/x11/XTarget.h"

#include <map>
#include <set>
#include <vector>

namespace keys::x11 {

// One key press and release with the modifiers held over it.
struct Stroke {
    KeyCode code = 0;         // for a spare symbol: set when keycodes are shared out
    unsigned mods = 0;        // real modifiers
    KeySym spare = NoSymbol;  // a symbol the layout lacks, bound to a spare keycode
    // The spare keycode carries the symbol with its case pair (lower case
    // plain, upper case with Shift), as a key of a layout does: a special
    // key, or a stroke with modifiers, where Shift must mean Shift.
    bool casePair = false;
    int round = -1;           // which binding of the spare keycodes it needs
    bool character = false;   // an ordinary character: typed with Caps Lock off
    bool capsLockKey = false;
    // Typed with Ctrl or Alt, or F1 to F16: may open, close or switch windows.
    bool command = false;
    // Enter or Escape: closes a dialog.
    bool closesDialog = false;
    // Enter, Tab or Escape: may move the focus within a window.
    bool movesFocus = false;
};

// The strokes for the keys on this keymap. Throws KeyError for a key that
// cannot be typed at all. Strokes for symbols the layout lacks get their
// keycodes from shareOutSpareKeycodes.
std::vector<Stroke> planStrokes(const KeyEvents& events, const Keymap& keymap);

// The keycodes each round binds anew, and to what.
using RoundBindings = std::vector<std::map<KeyCode, LevelSymbols>>;

// Shares the spare symbols out over the pool of spare keycodes (best first),
// whose symbols now are current: a plain character takes either level
// (plain, or with Shift), a stroke with a case pair a whole keycode. A
// symbol that a keycode already carries is used where it is; within a round
// no level changes meaning. Sets each stroke's code and round, and adds
// Shift to the strokes on a second level.
RoundBindings shareOutSpareKeycodes(std::vector<Stroke>& strokes, const std::vector<KeyCode>& pool,
                                    std::map<KeyCode, LevelSymbols> current);

// The keycodes the rounds bind.
std::set<KeyCode> keycodesOf(const RoundBindings& rounds);

// Sends the strokes to the window that has the focus, batch by batch, each
// batch with the server held and the focus checked first. Every wait is the
// receipt's: after a key that may change windows (and any key while a menu
// of the target is open), before Enter or Escape in a dialog, before a
// spare keycode changes meaning, and at the end for the target to have read
// everything. The focus may move to the target's own windows (a dialog it
// opened) after a key that may change windows, never to another
// application. Releases the modifiers it pressed, puts Caps Lock and the
// layout group back when it goes, also after an error.
class Typist {
public:
    Typist(XConnection& x, const Keymap& keymap, std::vector<Stroke> strokes,
           RoundBindings rounds, SpareKeys& spare, SpareBindings earlier, Target& target,
           Window focus, Pace pace = {});
    ~Typist();
    Typist(const Typist&) = delete;
    Typist& operator=(const Typist&) = delete;

    // Throws KeyError when the focus leaves the target application or the
    // target stops responding; nothing more is sent then. With wait, returns
    // after the target has read every key and handled the last one; throws
    // NoAnswerAfterLastKey when it does not show that in time.
    void run(bool wait);

private:
    std::size_t batchEnd(std::size_t next, int boundRound, bool popup) const;
    bool focusStays(bool mayMove);
    void keepGroup();
    [[noreturn]] void failStopped(std::size_t typed) const;
    void bindRound(int round, std::size_t typed);
    void awaitEarlierTargets(const std::map<KeyCode, LevelSymbols>& round);
    void type(const Stroke& stroke);
    void hold(unsigned mods);
    bool pressesArePlain(unsigned mods) const;
    void setCapsLock(bool on);
    void key(KeyCode code, bool press);

    XConnection& x_;
    const Keymap& keymap_;
    std::vector<Stroke> strokes_;
    RoundBindings rounds_;
    SpareKeys& spare_;
    Target& target_;
    Receipt receipt_;
    Window focus_;
    Window focusClient_;
    bool focusInDialog_ = false;
    Pace pace_;
    unsigned held_ = 0;   // real modifiers held by pressed keys
    unsigned locked_ = 0; // real modifiers held by locking them instead
    bool capsWanted_;
    bool capsActual_;
    std::set<KeyCode> boundThisRun_;
    SpareBindings earlier_; // the spare keycodes as recorded before this run
};

} // namespace keys::x11
