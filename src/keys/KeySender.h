#pragma once
#include <QString>
#include <stdexcept>

namespace keys {

// A failure of activation or sending. description() is a plain sentence for
// the user, shown in the "Error" box.
class KeyError : public std::runtime_error {
public:
    explicit KeyError(const QString& description)
        : std::runtime_error(description.toStdString()), description_(description) {}
    const QString& description() const { return description_; }
private:
    QString description_;
};

// Activation found no window with the title.
class WindowNotFound : public KeyError {
public:
    using KeyError::KeyError;
};

// Every key was sent, but the window did not show in time that it had read
// them (it went on working, or stopped). Not a failure of the keys: a run
// counts the item as done and shows the description as a note.
class NoAnswerAfterLastKey : public KeyError {
public:
    using KeyError::KeyError;
};

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
