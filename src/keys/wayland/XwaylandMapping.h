// SPDX-License-Identifier: MIT
#pragma once
// Internal to the Wayland backend: a connection to XWayland, the X server
// that X11 programs on a Wayland desktop talk to. Keys for them pass
// through it, and it takes each new keymap of Typomat's keyboard in a
// while of its own (it compiles it), so typing into an X11 program asks it
// how far it has come.
#include <chrono>
#include <memory>

struct xcb_connection_t;

namespace keys::wayland {

class XwaylandMapping {
public:
    // How long XWayland has to answer.
    static constexpr int answerTimeoutMs = 2000;

    // The X server of $DISPLAY, or nullptr when it cannot be reached.
    static std::unique_ptr<XwaylandMapping> connect();
    ~XwaylandMapping();
    XwaylandMapping(const XwaylandMapping&) = delete;
    XwaylandMapping& operator=(const XwaylandMapping&) = delete;

    // An X round trip: the keys the compositor handed XWayland before are
    // passed on to the X11 program. False when it did not answer in time.
    bool sync(std::chrono::milliseconds limit = std::chrono::milliseconds(answerTimeoutMs));
    // From now on, a keyboard mapping change counts.
    void forgetChanges();
    // Waits until the X server has told its clients that the keyboard
    // mapping changed since forgetChanges(); false when it did not within
    // the limit.
    bool awaitChange(std::chrono::milliseconds limit);

private:
    using Clock = std::chrono::steady_clock;
    explicit XwaylandMapping(xcb_connection_t* connection) : connection_(connection) {}
    // Waits for something to read and reads it; false at the deadline.
    bool waitForInput(Clock::time_point end);
    void takeEvents();

    xcb_connection_t* connection_;
    bool changed_ = false;
};

} // namespace keys::wayland
