// SPDX-License-Identifier: MIT
#pragma once
#include "keys/KeyError.h"

#include <QString>

namespace keys {

// Window activation and keystroke sending. Windows call only this.
class KeySender {
public:
    virtual ~KeySender() = default;
    // Brings the window with this title to the front; on return it has the
    // keyboard focus. Throws WindowNotFound when no window has the title,
    // KeyError when the activation cannot be verified.
    virtual void AppActivate(const QString& title) = 0;
    // Types the key string into the window that has the focus. The whole
    // string is read before anything is sent: a string that cannot be read
    // sends nothing and throws KeyError. With wait, returns after the keys
    // have been processed.
    virtual void SendKeys(const QString& keys, bool wait) = 0;
    // Reads the key string as SendKeys would and throws KeyError when it
    // cannot be typed on this desktop, sending nothing and needing no
    // window. Callers that send several strings check them all first, so
    // that a string that cannot be typed stops the run before any key.
    virtual void checkKeys(const QString& keys) const;
};

// The sender in use. Nothing is installed by default: the program installs
// its X11 backend at start, tests install a recording double. Calling
// keySender() with nothing installed throws KeyError.
KeySender& keySender();
void installKeySender(KeySender* sender);

} // namespace keys
