// SPDX-License-Identifier: MIT
#pragma once
// Internal to the GNOME backend: the windows GNOME Shell manages, reached
// through Typomat's own Shell extension, which answers only Typomat.
#include <QDBusConnection>
#include <QString>

#include <cstdint>
#include <vector>

namespace keys::gnome {

// The extension's name for the Shell, as `gnome-extensions` takes it.
inline const QString extensionUuid = QStringLiteral("typomat-windows@typomat");

struct ShellWindow {
    std::uint64_t id = 0; // grows with each new window
    QString title;
    QString appId;
    std::uint64_t parent = 0; // the window it is a dialog of (0: none)
    long pid = 0;             // 0: unknown
    bool focused = false;
};

// Where the keyboard goes: a window, or 0 for none or the Shell itself (the
// overview, a menu). changes counts how often that has changed, so that a
// change and its way back between two looks are seen.
struct KeyboardFocus {
    std::uint64_t window = 0;
    std::uint64_t changes = 0;
    bool operator==(const KeyboardFocus&) const = default;
};

// What the Shell says about the extension.
enum class ExtensionState {
    Enabled,
    Disabled,     // installed, loaded, switched off
    Unknown,      // not installed, or installed after the Shell started
    Failed,       // it failed to start; the Shell's error text goes with it
    OutOfDate,    // made for other versions of the Shell
    NoShell,      // GNOME Shell does not answer on the session bus
};

struct ExtensionStatus {
    ExtensionState state = ExtensionState::NoShell;
    QString error;
};

// The sentence for the user when the extension cannot serve, saying what to
// do; empty for Enabled.
QString extensionMissingText(const ExtensionStatus& status);

// All calls are bounded and throw KeyError when the Shell does not answer or
// refuses.
class ShellWindows {
public:
    explicit ShellWindows(QDBusConnection bus) : bus_(std::move(bus)) {}

    ExtensionStatus status() const;
    // From the bottom of the stack to the top.
    std::vector<ShellWindow> list() const;
    // True when the keyboard goes to the window (or a dialog of it) and the
    // overview is closed, within the Shell's limit.
    bool activate(std::uint64_t window) const;
    KeyboardFocus focus() const;
    // The layout of the seat's keymap that keys are typed in now.
    std::uint32_t keyboardLayout() const;
    // Returns once the Shell has handed on to the applications every key
    // it was given before (on this connection, in order with the keys).
    void dispatched() const;

private:
    QDBusMessage call(const QDBusMessage& call, int limitMs) const;

    QDBusConnection bus_;
};

} // namespace keys::gnome
