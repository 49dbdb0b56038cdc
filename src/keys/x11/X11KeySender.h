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

private:
    x11::XConnection& connection();
    void waitForReleasedModifiers();
    void type(const KeyEvents& events);
    unsigned long focusedWindow();

    std::unique_ptr<x11::XConnection> x_;
    std::unique_ptr<x11::SpareKeys> spare_;
};

} // namespace keys
