// SPDX-License-Identifier: MIT
#pragma once
// Internal to the KDE backend: the connection to KWin, its globals, the
// windows it lists, its fake input and the seat's layout.
#include "keys/layout/SeatKeyboard.h"
#include "keys/wayland/WaylandConnection.h"

#include <QString>
#include <QStringList>

#include <cstdint>
#include <list>
#include <memory>
#include <vector>

struct wl_seat;
struct org_kde_plasma_window_management;
struct org_kde_plasma_window;
struct org_kde_kwin_fake_input;
struct org_kde_kwin_keystate;

namespace keys::kde {

class KWinDisplay;

// A window as KWin describes it. Native Wayland and XWayland windows alike.
struct PlasmaWindow {
    org_kde_plasma_window* handle = nullptr;
    KWinDisplay* owner = nullptr;
    QString uuid;
    QString title;
    QString appId;
    long pid = 0;
    bool active = false;
    bool minimized = false;
    bool closed = false;
    bool described = false;           // its initial state has arrived
    const PlasmaWindow* parent = nullptr; // the window it is a dialog of
    std::uint64_t created = 0;        // order of appearance
    std::uint64_t lastActivated = 0;  // order of activation (0: never seen active)
};

class KWinDisplay : public wayland::WaylandConnection {
public:
    // The display of $WAYLAND_DISPLAY with its globals bound and its window
    // list read; nullptr when there is no such display, or when it does not
    // answer within answerTimeoutMs (then *silent is set, where given).
    static std::unique_ptr<KWinDisplay> connect(bool* silent = nullptr);
    ~KWinDisplay();

    // What the compositor offers this client.
    bool listsWindows() const { return windows_ != nullptr; }
    bool takesKeys() const { return fakeInput_ != nullptr && seat_ != nullptr; }
    // True when the compositor is KWin (it offers interfaces only KWin has).
    bool isKWin() const { return kwin_; }

    // Open and closed windows, in order of appearance; entries stay valid
    // until forgetClosed().
    const std::list<PlasmaWindow>& windows() const { return list_; }
    // The open, described windows from the bottom of the stack to the top.
    std::vector<const PlasmaWindow*> stacked() const;
    void forgetClosed();
    const PlasmaWindow* activeWindow() const;
    std::uint64_t newestWindow() const { return sequence_; }
    // Asks KWin to activate the window (and to show it when minimized).
    void activate(const PlasmaWindow& window);

    // The seat's keymap (nullptr until KWin sent it; throws KeyError when
    // it cannot be read) and the locks that are on.
    std::shared_ptr<const layout::SeatLayout> layout() const;
    layout::Locks locks() const { return locks_; }
    // The layouts typing may use: the one in use first, then the others the
    // user has set up, where KWin lets its layout be switched.
    std::vector<std::uint32_t> usableLayouts() const;
    // Makes this layout the one in use; false when KWin refuses.
    bool switchLayout(std::uint32_t index) const;

    // Tells KWin who types and why; keys are dropped until then.
    void authenticate();
    // A key by its Linux key code.
    void key(std::uint32_t code, bool press);

    // Round trips until every window KWin has announced is described.
    bool readWindowList();

private:
    KWinDisplay() = default;
    friend struct Events;
    PlasmaWindow* find(const org_kde_plasma_window* handle);
    void addWindow(const char* uuid, std::uint32_t id);

    wl_seat* seat_ = nullptr;
    org_kde_plasma_window_management* windows_ = nullptr;
    org_kde_kwin_fake_input* fakeInput_ = nullptr;
    org_kde_kwin_keystate* keystate_ = nullptr;
    std::unique_ptr<layout::SeatKeyboard> keyboard_;
    bool kwin_ = false;
    bool authenticated_ = false;
    std::list<PlasmaWindow> list_;
    QStringList stacking_; // uuids, bottom first
    std::uint64_t sequence_ = 0;
    std::uint64_t activations_ = 0;
    layout::Locks locks_;
};

} // namespace keys::kde
