#pragma once
#include "XSession.h"

#include <QByteArray>
#include <QString>
#include <QTemporaryDir>

#include <memory>

namespace keys::wayland {
class WaylandDisplay;
}

namespace testsupport {

// A headless sway of its own. sway refuses to run as root, so it runs as
// nobody on a runtime folder (0700) that nobody owns; root clients may
// connect. While the object lives, this process's WAYLAND_DISPLAY names its
// socket, so the Wayland backend and the programs a test starts find it.
// Throws std::runtime_error when sway cannot start.
class SwaySession {
public:
    // withXwayland: sway starts XWayland at once (see xDisplay()).
    explicit SwaySession(bool withXwayland = false);
    ~SwaySession();
    SwaySession(const SwaySession&) = delete;
    SwaySession& operator=(const SwaySession&) = delete;

    QString socket() const { return socket_; }
    // The runtime folder (owned by nobody).
    QString runtime() const { return runtime_; }
    // The X display of sway's XWayland, or empty without one. XWayland
    // accepts only clients of nobody.
    QString xDisplay() const;
    // The output of swaymsg with these arguments, or empty on failure.
    QByteArray query(const QStringList& arguments);
    // Runs a sway command through its IPC socket; true when it succeeded.
    bool command(const QString& text);

private:
    QString runtime_;
    QString socket_;
    QTemporaryDir clientRuntime_; // XDG_RUNTIME_DIR of root's clients
    QByteArray oldWaylandDisplay_, oldRuntime_;
    std::unique_ptr<ChildProcess> process_;
};

// A connection of the test's own to the compositor, for looking at windows
// and activating them.
class WaylandProbe {
public:
    WaylandProbe();
    ~WaylandProbe();
    // True when a window with this title is open (within timeoutMs).
    bool waitForWindow(const QString& title, int timeoutMs = 10000);
    bool isActive(const QString& title);
    QString activeTitle();
    // Asks the compositor to activate the window, as a task bar does.
    void activate(const QString& title);

private:
    std::unique_ptr<keys::wayland::WaylandDisplay> display_;
};

// foot with a fixed title whose tty is raw and appends every byte it
// receives to a file, like CaptureTerminal on X11.
class FootCapture {
public:
    FootCapture(const SwaySession& session, const QString& title);
    QString title() const { return title_; }
    QByteArray bytes() const;
    // Waits until at least size bytes arrived, then a little longer for any
    // extra ones; returns what arrived.
    QByteArray waitForBytes(qsizetype size, int timeoutMs = 5000) const;
    bool isRunning() { return process_->isRunning(); }

private:
    QString title_;
    TargetFile file_;
    std::unique_ptr<ChildProcess> process_;
};

// typomat_dialog_target as a native Wayland window: a line edit, and a
// modal dialog with a line edit of its own on Ctrl+D. value() reads its log
// ("main", "dialog", "opened", "accepted").
class WaylandDialogTarget {
public:
    WaylandDialogTarget(const SwaySession& session, const QString& title);
    QString title() const { return title_; }
    QString value(const QString& key) const;
    QString log() const;
    // Waits until the log holds this value for the key.
    bool waitFor(const QString& key, const QString& value, int timeoutMs = 5000) const;

private:
    QString title_;
    TargetFile file_;
    std::unique_ptr<ChildProcess> process_;
};

} // namespace testsupport
