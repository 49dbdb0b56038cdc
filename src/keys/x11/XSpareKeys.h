#pragma once
// Internal to the X11 backend: keycodes that the layout leaves empty, bound
// for a while to symbols the layout lacks.
#include "keys/x11/XConnection.h"
#include "keys/x11/XKeymap.h"

#include <chrono>
#include <map>

namespace keys::x11 {

using Clock = std::chrono::steady_clock;

// Gives each keycode these symbols: one level when it has only a plain one,
// two (the second with Shift) when it has a shifted one, none when both are
// NoSymbol. All in one request: every change of the keymap makes each
// client, the window manager among them, reload its copy, so one notice is
// far cheaper than one per keycode. With expected, a keycode is changed only
// while it still carries the expected symbols. False when the server's map
// could not be read or the change caused an X error.
bool setKeycodeSymbols(Display* dpy, const std::map<KeyCode, LevelSymbols>& symbols,
                       const std::map<KeyCode, LevelSymbols>* expected = nullptr);

// A target reads its keys some time after the server delivered them, and
// looks them up in the keymap as it is then. A target that is busy or
// stopped may read them seconds later. So a spare keycode keeps its symbols
// until a later key needs it for other ones, or until the backend goes, which
// empties them again. Later runs reuse a keycode that still carries the
// symbol they need.
class SpareKeys {
public:
    struct Binding {
        LevelSymbols syms{NoSymbol, NoSymbol};
        // When the target is expected to have read the last key typed with
        // it (after delivery, plus time for a backlog of earlier keys).
        Clock::time_point lastUse;
    };

    std::map<KeyCode, Binding>& bindings() { return bindings_; }
    // Empties the keycodes that still carry our symbols (a new layout may
    // have replaced them meanwhile).
    void restore(Display* dpy);

private:
    std::map<KeyCode, Binding> bindings_;
};

} // namespace keys::x11
