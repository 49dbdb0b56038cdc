#pragma once
// Internal to the X11 backend: turning parsed keys into XTest key events.
#include "keys/KeyEvent.h"
#include "keys/x11/XKeymap.h"

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
// cannot be typed at all. Spare symbols are shared out over the spare
// keycodes in rounds: within a round each symbol has its own keycode.
std::vector<Stroke> planStrokes(const KeyEvents& events, const Keymap& keymap);

// How long to give a target to read the keys typed so far before a spare
// keycode changes meaning.
struct Pace {
    int settleMs = 40;
    double settleMsPerKey = 0.25;
    int batchSize = 200;
};

// Sends the strokes to the window that has the focus, batch by batch, each
// batch with the server held and the focus checked first. Undoes everything
// it changed (held modifiers, Caps Lock, spare keycodes) when it goes, also
// after an error.
class Typist {
public:
    Typist(XConnection& x, const Keymap& keymap, std::vector<Stroke> strokes, Window focus,
           Pace pace = {});
    ~Typist();
    Typist(const Typist&) = delete;
    Typist& operator=(const Typist&) = delete;

    // Throws KeyError when the focus leaves the target; nothing more is sent.
    void run();

private:
    bool focusStays();
    void bindRound(int round);
    void unbindSpareKeys();
    void settle();
    void type(const Stroke& stroke);
    void hold(unsigned mods);
    void setCapsLock(bool on);
    void key(KeyCode code, bool press);

    XConnection& x_;
    const Keymap& keymap_;
    std::vector<Stroke> strokes_;
    Window focus_;
    Window topLevel_;
    Pace pace_;
    unsigned held_ = 0;
    bool capsWanted_;
    bool capsActual_;
    std::vector<KeyCode> bound_;
    std::size_t keysSinceSettle_ = 0;
};

} // namespace keys::x11
