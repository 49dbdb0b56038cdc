#pragma once
// Internal to the X11 backend: keycodes that the layout leaves empty, bound
// for a while to symbols the layout lacks.
#include <QByteArray>

#include "keys/x11/XConnection.h"
#include "keys/x11/XKeymap.h"

#include <chrono>
#include <condition_variable>
#include <map>
#include <mutex>
#include <set>
#include <thread>

namespace keys::x11 {

using Clock = std::chrono::steady_clock;

// Gives each keycode these symbols: one level when it has only a plain one,
// two (the second with Shift) when it has a shifted one, none when both are
// NoSymbol. All in one request: every change of the keymap makes each
// client, the window manager among them, reload its copy, so one notice is
// far cheaper than one per keycode. With expected, a keycode is changed only
// while it still carries the expected symbols.
void setKeycodeSymbols(Display* dpy, const std::map<KeyCode, LevelSymbols>& symbols,
                       const std::map<KeyCode, LevelSymbols>* expected = nullptr);

// A target reads its keys some time after the server delivered them, and
// looks them up in the keymap as it is then. So a keycode keeps its symbol
// for a quiet while after its last use; a watcher thread then restores it to
// empty. Later runs reuse a keycode that still carries the symbol they need.
class SpareKeys {
public:
    struct Binding {
        LevelSymbols syms{NoSymbol, NoSymbol};
        // When the target is expected to have read the last key typed with
        // it (after delivery, plus time for a backlog of earlier keys).
        Clock::time_point lastUse;
    };

    SpareKeys(QByteArray displayName, std::chrono::milliseconds quiet);
    ~SpareKeys();
    SpareKeys(const SpareKeys&) = delete;
    SpareKeys& operator=(const SpareKeys&) = delete;

    // Taken for a whole typing run: the watcher stays away meanwhile.
    std::unique_lock<std::mutex> lock() { return std::unique_lock<std::mutex>(mutex_); }
    // Guarded by lock().
    std::map<KeyCode, Binding>& bindings() { return bindings_; }
    std::set<KeyCode> boundKeycodes() const;
    // After a run, with the lock given back: the watcher plans the restore.
    void used() { wake_.notify_all(); }

private:
    void watch();
    bool quietSince(Clock::time_point now) const;
    void restoreAll();

    QByteArray displayName_;
    std::chrono::milliseconds quiet_;
    std::mutex mutex_;
    std::condition_variable wake_;
    std::map<KeyCode, Binding> bindings_;
    bool stopping_ = false;
    std::thread watcher_;
};

} // namespace keys::x11
