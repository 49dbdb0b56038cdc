#pragma once
// Internal to the X11 backend: turning parsed keys into XTest key events.
#include "keys/KeyEvent.h"
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

// Shares the spare symbols out over the two levels (plain, with Shift) of
// the pool of spare keycodes, whose symbols now are current. A symbol that a
// keycode already carries is used where it is; within a round no level
// changes meaning. Sets each stroke's code and round, and adds Shift to the
// strokes on a second level.
RoundBindings shareOutSpareKeycodes(std::vector<Stroke>& strokes, const std::vector<KeyCode>& pool,
                                    std::map<KeyCode, LevelSymbols> current);

struct Pace {
    // Before a keycode changes meaning within a run, for a target that can
    // neither answer a ping nor be watched in /proc: time for it to read the
    // keys typed with the old one (xterm and Qt read them all within 30 ms
    // of the last one here; this leaves room for a busy target).
    int roundSettleMs = 100;
    double settleMsPerKey = 1.0;
    // The same for a target on this machine, at the least, also when it
    // looks asleep sooner: xterm has been seen to read keys typed after a
    // change with the symbols from before when it was rebound at once.
    int localSettleMs = 20;
    // At the end of a run, how long to wait for a busy target on this
    // machine to read its keys, so that the next run may rebind at once.
    int finalReadMs = 500;
    int batchSize = 200;
    // After a key that may open or switch windows, for a target that gives
    // no sign of having handled it: how long to wait for a reaction.
    int commandPauseMs = 150;
    // A target that does not answer a ping, or stays stopped, this long has
    // stopped responding.
    int stallLimitMs = 5000;
    // A new window of the target gets this long to take the focus.
    int newWindowMs = 1000;
};

// Sends the strokes to the window that has the focus, batch by batch, each
// batch with the server held and the focus checked first. A batch ends
// after a key that may change windows; when more keys follow, the typist
// waits for the target to react. The focus may move to the target's own
// windows (a dialog it opened), never to another application. Releases the
// modifiers it pressed, puts Caps Lock and the layout group back when it
// goes, also after an error. Spare keycodes stay bound in spare.
class Typist {
public:
    Typist(XConnection& x, const Keymap& keymap, std::vector<Stroke> strokes,
           RoundBindings rounds, std::map<KeyCode, SpareKeys::Binding>& spare, Target& target,
           Window focus, Pace pace = {});
    ~Typist();
    Typist(const Typist&) = delete;
    Typist& operator=(const Typist&) = delete;

    // Throws KeyError when the focus leaves the target application or the
    // target stops responding; nothing more is sent. With wait, returns
    // after the target answered a ping, where it can.
    void run(bool wait);

private:
    std::size_t batchEnd(std::size_t next, int boundRound) const;
    bool focusStays();
    void keepGroup();
    void awaitReaction(std::size_t typed);
    void awaitRead(std::size_t typed);
    [[noreturn]] void failStopped(std::size_t typed) const;
    bool readEverything();
    void bindRound(int round, std::size_t typed);
    void type(const Stroke& stroke);
    void hold(unsigned mods);
    bool pressesArePlain(unsigned mods) const;
    void setCapsLock(bool on);
    void key(KeyCode code, bool press);

    XConnection& x_;
    const Keymap& keymap_;
    std::vector<Stroke> strokes_;
    RoundBindings rounds_;
    std::map<KeyCode, SpareKeys::Binding>& spare_;
    Target& target_;
    Window focus_;
    Window focusClient_;
    bool focusInDialog_ = false;
    Pace pace_;
    unsigned held_ = 0;   // real modifiers held by pressed keys
    unsigned locked_ = 0; // real modifiers held by locking them instead
    bool capsWanted_;
    bool capsActual_;
    std::size_t keysSinceSettle_ = 0;
    std::set<KeyCode> boundThisRun_;
};

} // namespace keys::x11
