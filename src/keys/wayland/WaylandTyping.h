// SPDX-License-Identifier: MIT
#pragma once
// Internal to the Wayland backend: typing parsed keys through the virtual
// keyboard into the active window, and watching that it stays active.
#include "keys/KeyEvent.h"
#include "keys/layout/KeyPlan.h"
#include "keys/wayland/OwnKeymap.h"
#include "keys/wayland/TargetPace.h"

#include <cstdint>
#include <vector>

namespace keys::wayland {

using layout::PlannedKey;

class VirtualKeyboard;
class WaylandDisplay;
class XwaylandMapping;
struct Toplevel;

// The windows typing may go to: the activated window, and the windows it
// opened while Typomat waited on a key that may open one. They outlive one
// call, so that a dialog opened by the last key of one string takes the
// next string.
struct Followed {
    std::vector<const Toplevel*> windows; // the activated window first
    long pid = 0;                         // its process, where the compositor tells
    enum class Kind { Unknown, Wayland, X11 } kind = Kind::Unknown;
};

// Follows the active window: a followed one, or a new window the target
// opened while expectWindows is on (a dialog). Anything else active means
// the focus was taken away.
class FocusGuard {
public:
    FocusGuard(WaylandDisplay& display, Followed& followed);
    // Reads the compositor's news; true while a followed window is active.
    bool holds();
    // Where the focus is, against the window that had it before.
    Focus look(const Toplevel* before);
    // On while waiting on a key that may open a window: then a new window
    // takes part when it is the target's (its parent, where the compositor
    // tells parents, otherwise its application and process).
    void expectWindows(bool on);
    const Toplevel* current() const { return current_; }
    // True when the active window is a dialog of the target's.
    bool inDialog() const;

private:
    bool followed(const Toplevel* t) const;
    bool opened(const Toplevel* t) const;

    WaylandDisplay& display_;
    Followed& followed_;
    const Toplevel* current_;
    bool expecting_ = false;
    std::uint64_t newerThan_ = 0;
};

// Types the keys, switching keymaps where the string needs more symbols
// than one holds, at the pace the target takes them. Releases the modifiers
// it pressed when it ends, also after an error. Throws KeyError when the
// focus leaves the followed windows, the target stops reading, or the
// connection is lost; nothing more is sent then.
class Typist {
public:
    // xwayland: for an X11 program, the X server it reads its keys from,
    // where it can be reached.
    Typist(WaylandDisplay& display, VirtualKeyboard& keyboard, FocusGuard& guard,
           TargetPace& pace, Followed::Kind kind, XwaylandMapping* xwayland);
    ~Typist();
    Typist(const Typist&) = delete;
    Typist& operator=(const Typist&) = delete;

    // wait: return only once the target has taken the keys (and handled a
    // last key that may open or close a window).
    void run(const std::vector<PlannedKey>& keys, bool wait);

private:
    void typeCommand(const PlannedKey& key, std::size_t index, std::size_t total, bool wait);
    void ensureKeymap(const std::vector<PlannedKey>& keys, std::size_t from);
    void type(const PlannedKey& key);
    void hold(unsigned mods);
    std::uint32_t heldMask() const;
    void passOn(std::size_t done, std::size_t total);
    Outcome awaitTaken(bool keymapFollows);
    void letShortcutsWork(std::size_t total);
    FocusCheck following();
    FocusCheck listening();
    void check(Outcome outcome, std::size_t done, std::size_t total);
    [[noreturn]] void lost(std::size_t done, std::size_t total);

    WaylandDisplay& display_;
    VirtualKeyboard& keyboard_;
    FocusGuard& guard_;
    TargetPace& pace_;
    Followed::Kind kind_;
    XwaylandMapping* xwayland_;
    unsigned held_ = NoModifier;
    bool lockOn_ = false;
    bool lockTouched_ = false;
    bool menuOpen_ = false;   // a key opened a menu, whose keys pick entries
    std::size_t confirmed_ = 0; // keys known to have reached the target
    std::size_t passed_ = 0;    // keys passed on by the compositor
};

} // namespace keys::wayland
