// SPDX-License-Identifier: MIT
#pragma once
// Internal to the Wayland backend: the connection to the compositor, its
// globals, and the toplevel windows it lists.
#include "keys/wayland/WaylandConnection.h"

#include <QString>

#include <chrono>
#include <cstdint>
#include <list>
#include <memory>

struct wl_seat;
struct zwlr_foreign_toplevel_manager_v1;
struct zwlr_foreign_toplevel_handle_v1;
struct zwp_virtual_keyboard_manager_v1;

namespace keys::wayland {

class WaylandDisplay;

// A toplevel window as the compositor describes it. The state fields hold
// what the last "done" event confirmed.
struct Toplevel {
    zwlr_foreign_toplevel_handle_v1* handle = nullptr;
    QString title;
    QString appId;
    bool activated = false;
    bool minimized = false;
    bool closed = false;
    bool described = false;      // a first "done" has arrived
    Toplevel* parent = nullptr;  // the window it is a dialog of, where told
    std::uint64_t created = 0;       // order of appearance
    std::uint64_t lastActivated = 0; // order of activation (0: never seen active)
    std::chrono::steady_clock::time_point activatedAt; // when we saw it become active

    // Set by events, taken over on "done".
    WaylandDisplay* owner = nullptr;
    bool pendingActivated = false;
    bool pendingMinimized = false;
};

class WaylandDisplay : public WaylandConnection {
public:
    // The display of $WAYLAND_DISPLAY with its globals bound and the toplevel
    // list read; nullptr when there is no such display, or when it does not
    // answer within answerTimeoutMs (then *silent is set, where given).
    static std::unique_ptr<WaylandDisplay> connect(bool* silent = nullptr);
    ~WaylandDisplay();

    wl_seat* seat() const { return seat_; }
    zwlr_foreign_toplevel_manager_v1* toplevelManager() const { return toplevels_; }
    zwp_virtual_keyboard_manager_v1* keyboardManager() const { return keyboards_; }

    // Open and closed windows, in order of appearance. Entries stay valid
    // for the life of the connection.
    const std::list<Toplevel>& toplevels() const { return list_; }
    // Drops the entries of closed windows; pointers to them become invalid.
    void forgetClosed();
    // The window the compositor reports active, or nullptr.
    const Toplevel* activeToplevel() const;
    // True once the compositor has told the parent of some window: it
    // reports parents, so a window without one is no dialog.
    bool reportsParents() const { return reportsParents_; }

private:
    WaylandDisplay() = default;
    static void onGlobal(void* data, wl_registry* registry, std::uint32_t name,
                         const char* interface, std::uint32_t version);
    static void onToplevel(void* data, zwlr_foreign_toplevel_manager_v1* manager,
                           zwlr_foreign_toplevel_handle_v1* handle);
    static void onFinished(void* data, zwlr_foreign_toplevel_manager_v1* manager);
    friend struct ToplevelEvents;

    Toplevel* find(zwlr_foreign_toplevel_handle_v1* handle);

    wl_seat* seat_ = nullptr;
    zwlr_foreign_toplevel_manager_v1* toplevels_ = nullptr;
    zwp_virtual_keyboard_manager_v1* keyboards_ = nullptr;
    std::list<Toplevel> list_;
    std::uint64_t sequence_ = 0;
    bool reportsParents_ = false;
};

} // namespace keys::wayland
