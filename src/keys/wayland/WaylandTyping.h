#pragma once
// Internal to the Wayland backend: typing parsed keys through the virtual
// keyboard into the active window, and watching that it stays active.
#include "keys/KeyEvent.h"
#include "keys/wayland/OwnKeymap.h"

#include <chrono>
#include <cstdint>
#include <vector>

namespace keys::wayland {

class VirtualKeyboard;
class WaylandDisplay;
struct Toplevel;

// One key to press and release, with the modifiers held over it.
struct PlannedKey {
    Keysym sym = 0;
    unsigned mods = NoModifier; // keys::Modifier bits
    bool character = false;     // an ordinary character: typed with no lock on
    bool lockKey = false;       // Caps Lock or Num Lock
    bool commandKey = false;    // F1-F16, or any key with Ctrl or Alt
    bool enterOrEscape = false;
};

// The keys for the events. Throws KeyError for a character without a symbol.
std::vector<PlannedKey> planKeys(const KeyEvents& events);

// Follows the active window: the target, or a window it opened while we
// typed (a dialog: one whose parent it is, or a new window of the same
// application). Anything else active means the focus was taken away.
class FocusGuard {
public:
    // Windows of the target's application that appear after newSince (an
    // order of appearance) count as windows it opened.
    FocusGuard(WaylandDisplay& display, const Toplevel* target, std::uint64_t newSince);
    // Reads the compositor's news; true while a followed window is active.
    bool holds();
    const Toplevel* current() const { return current_; }
    // True when the active window is a dialog (it has an owner we know).
    bool inDialog() const;

private:
    bool followed(const Toplevel* t) const;

    WaylandDisplay& display_;
    std::vector<const Toplevel*> windows_;
    const Toplevel* current_;
    std::uint64_t newSince_;
};

struct Pace {
    // The compositor queues at most 4 KiB for a client that has not read:
    // a target that falls behind is disconnected. Keys go out in bursts,
    // one burst per period: 20 (at most about 3 KiB of events) per 4 ms.
    int burstKeys = 20;
    int burstUs = 4000;
    // After a key that may open or close a window, how long to wait for
    // the target's reaction when none is seen.
    int quietMs = 150;
    // After the active window changed: time for the application to take
    // its window for active and focus its widgets. Keys that come sooner
    // may be dropped, shortcuts may not fire (Qt, measured on sway).
    int settleMs = 100;
};

// Types the keys, switching keymaps where the string needs more symbols
// than one holds. Releases the modifiers it pressed when it ends, also after
// an error. Throws KeyError when the focus leaves the followed windows or
// the connection is lost; nothing more is sent then.
class Typist {
public:
    Typist(WaylandDisplay& display, VirtualKeyboard& keyboard, FocusGuard& guard,
           Pace pace = {});
    ~Typist();
    Typist(const Typist&) = delete;
    Typist& operator=(const Typist&) = delete;

    // waitAtEnd: after a last key that may open or close a window, wait for
    // the target's reaction too, so that the next call finds the new window.
    void run(const std::vector<PlannedKey>& keys, bool waitAtEnd);

private:
    void ensureKeymap(const std::vector<PlannedKey>& keys, std::size_t from);
    void type(const PlannedKey& key);
    void hold(unsigned mods);
    std::uint32_t heldMask() const;
    using Clock = std::chrono::steady_clock;
    Clock::time_point endBurst(Clock::time_point burstStart, std::size_t done, std::size_t total);
    void waitForReaction(std::size_t done, std::size_t total);
    void letShortcutsWork(std::size_t done, std::size_t total);
    void settle(Clock::time_point end, std::size_t done, std::size_t total);
    [[noreturn]] void stopped(std::size_t done, std::size_t total);

    WaylandDisplay& display_;
    VirtualKeyboard& keyboard_;
    FocusGuard& guard_;
    Pace pace_;
    unsigned held_ = NoModifier;
    bool lockOn_ = false;
    bool lockTouched_ = false;
};

} // namespace keys::wayland
