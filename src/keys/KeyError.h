// SPDX-License-Identifier: MIT
#pragma once
// The errors of activation and sending, and of reading a key string.
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

// A key of the string cannot be typed on this desktop (no symbol, or no key
// of the user's layouts types it); thrown before anything is sent.
class UntypableKey : public KeyError {
public:
    using KeyError::KeyError;
};

// There is no display to work on: none is named, or the one named cannot be
// reached or does not answer.
class DisplayUnavailable : public KeyError {
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

} // namespace keys
