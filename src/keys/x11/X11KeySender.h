// SPDX-License-Identifier: MIT
#pragma once
// Public face of the X11 backend: no X11 header here, since Xlib's macros
// clash with Qt's names.
#include "keys/KeyEvent.h"
#include "keys/KeySender.h"

#include <memory>

namespace keys {

namespace x11 {
class XConnection;
class SpareKeys;
}

// Window activation and keystroke sending on an X11 desktop, through Xlib,
// XTest and XKB. The display of $DISPLAY is opened at first use.
class X11KeySender final : public KeySender {
public:
    X11KeySender();
    ~X11KeySender() override;

    void AppActivate(const QString& title) override;
    void SendKeys(const QString& keys, bool wait) override;

    // How long typing waits after a key that may open or switch windows
    // (Ctrl or Alt shortcuts, F1 to F16, Enter or Escape in a dialog) when
    // the target gives no sign of having handled it: a target on another
    // machine. From the settings file's [Keys] CommandPauseMs, which also
    // makes it the least wait at those keys for every target.
    static constexpr int defaultCommandPauseMs = 150;
    void setCommandPauseMs(int ms);

private:
    x11::XConnection& connection();
    void waitForReleasedModifiers();
    void type(const KeyEvents& events, bool wait);
    unsigned long focusOnActivatedWindow();

    std::unique_ptr<x11::XConnection> x_;
    std::unique_ptr<x11::SpareKeys> spare_;
    // The window the last AppActivate verified (0: none yet).
    unsigned long activated_ = 0;
    int commandPauseMs_ = defaultCommandPauseMs;
    int floorMs_ = 0;
};

} // namespace keys
