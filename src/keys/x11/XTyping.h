#pragma once
// Internal to the X11 backend: turning parsed keys into XTest key events.
#include "keys/KeyEvent.h"
#include "keys/x11/XKeymap.h"
#include "keys/x11/XSpareKeys.h"

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
    // Before a keycode changes meaning within a run: time for the target to
    // read the keys typed with the old one (xterm and Qt read them all within
    // 30 ms of the last one here; this leaves room for a busy target).
    int roundSettleMs = 100;
    double settleMsPerKey = 1.0;
    int batchSize = 200;
};

// Sends the strokes to the window that has the focus, batch by batch, each
// batch with the server held and the focus checked first. Releases the
// modifiers it pressed and puts Caps Lock back when it goes, also after an
// error; spare keycodes stay bound in spare until they have been quiet.
class Typist {
public:
    Typist(XConnection& x, const Keymap& keymap, std::vector<Stroke> strokes,
           RoundBindings rounds, std::map<KeyCode, SpareKeys::Binding>& spare, Window focus,
           Pace pace = {});
    ~Typist();
    Typist(const Typist&) = delete;
    Typist& operator=(const Typist&) = delete;

    // Throws KeyError when the focus leaves the target; nothing more is sent.
    void run();

private:
    bool focusStays();
    void bindRound(int round);
    void settle();
    void type(const Stroke& stroke);
    void hold(unsigned mods);
    void setCapsLock(bool on);
    void key(KeyCode code, bool press);

    XConnection& x_;
    const Keymap& keymap_;
    std::vector<Stroke> strokes_;
    RoundBindings rounds_;
    std::map<KeyCode, SpareKeys::Binding>& spare_;
    Window focus_;
    Window topLevel_;
    Pace pace_;
    unsigned held_ = 0;
    bool capsWanted_;
    bool capsActual_;
    std::size_t keysSinceSettle_ = 0;
    std::set<KeyCode> boundThisRun_;
};

} // namespace keys::x11
