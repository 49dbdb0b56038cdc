// SPDX-License-Identifier: MIT
#pragma once
// The connection to a Wayland compositor that the Wayland, KDE and GNOME
// backends share, with a deadline on every wait: a compositor that takes the
// connection and never answers is reported, not waited on for ever.
#include <QString>

#include <cstdint>
#include <functional>

struct wl_display;
struct wl_registry;

namespace keys::wayland {

class WaylandConnection {
public:
    // How long the compositor has to answer a round trip before it counts
    // as not answering.
    static constexpr int answerTimeoutMs = 2000;

    WaylandConnection(const WaylandConnection&) = delete;
    WaylandConnection& operator=(const WaylandConnection&) = delete;

    wl_display* display() const { return display_; }

    // False once the compositor has closed the connection or a protocol
    // error occurred.
    bool alive();
    // True when the last round trip went unanswered within its time while
    // the connection stood: the compositor does not answer.
    bool silent() const { return silent_; }
    // Throws DisplayUnavailable, saying that the display does not answer,
    // where it is silent().
    void throwIfSilent() const;
    // Sends what is queued and waits until the compositor has handled it and
    // its answers are read. False when the connection is gone or the
    // compositor did not answer within timeoutMs.
    bool roundtrip(int timeoutMs = answerTimeoutMs);
    // Sends what is queued, waiting while the compositor's socket is full.
    bool flush();
    // Reads and handles the events that have arrived, waiting for them at
    // most timeoutMs (0: only what is there).
    bool dispatch(int timeoutMs);

    // Brings the window titled title (as it is now) to the front: sends
    // request, then reads the news until active() holds, repeating the
    // request every 500 ms (a compositor busy mapping the window may pass
    // over one), for at most 2 s. Throws KeyError when the window did not
    // become active by then or closed() holds, DisplayUnavailable when the
    // compositor did not answer.
    void bringToFront(QString title, const std::function<void()>& request,
                      const std::function<bool()>& active, const std::function<bool()>& closed);

protected:
    // Connects to the display $WAYLAND_DISPLAY names, not where it names
    // none; connected() says whether that worked.
    WaylandConnection();
    // Disconnects; the proxies made on the connection, but for the
    // registry, are to be destroyed before.
    ~WaylandConnection();
    bool connected() const { return display_ != nullptr; }

    // Hands each global the compositor offers to onGlobal, with data; they
    // arrive with the next round trip. Globals that go are not followed.
    using GlobalHandler = void (*)(void* data, wl_registry* registry, std::uint32_t name,
                                   const char* interface, std::uint32_t version);
    void listenToGlobals(GlobalHandler onGlobal, void* data);

private:
    wl_display* display_;
    bool silent_ = false;
    wl_registry* registry_ = nullptr;
    GlobalHandler onGlobal_ = nullptr;
    void* globalData_ = nullptr;
};

// Why there is no connection to $WAYLAND_DISPLAY: it names no display, the
// display cannot be reached, or it does not answer (silent).
QString whyNoDisplay(bool silent);

} // namespace keys::wayland
