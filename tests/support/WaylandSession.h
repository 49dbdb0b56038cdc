// SPDX-License-Identifier: MIT
#pragma once
#include "WaylandClients.h"

#include <QByteArray>
#include <QString>
#include <QTemporaryDir>

#include <memory>

namespace testsupport {

// A headless sway of its own. sway refuses to run as root, so it runs as
// nobody on a runtime folder (0700) that nobody owns; root clients may
// connect. While the object lives, this process's WAYLAND_DISPLAY and
// SWAYSOCK name its sockets (and DISPLAY its XWayland, where it has one),
// so the Wayland backend and the programs a test starts find it. Like a
// real desktop, its seat has a keyboard for as long as it runs. Throws
// std::runtime_error when sway cannot start.
class SwaySession : public Compositor {
public:
    // withXwayland: sway starts XWayland at once, and root may use it.
    explicit SwaySession(bool withXwayland = false);
    ~SwaySession();
    SwaySession(const SwaySession&) = delete;
    SwaySession& operator=(const SwaySession&) = delete;

    QString socket() const { return socket_; }
    // The runtime folder (owned by nobody).
    QString runtime() const { return runtime_; }
    // The X display of sway's XWayland, or empty without one.
    QString xDisplay() const;
    // The output of swaymsg with these arguments, or empty on failure.
    QByteArray query(const QStringList& arguments);
    // Runs a sway command through its IPC socket; true when it succeeded.
    bool command(const QString& text);

    // Through a connection of the test's own each time.
    bool waitForWindow(const QString& title, int timeoutMs = 10000) override;
    QString activeTitle() override;
    void activate(const QString& title) override;

private:
    QString ipcSocket() const;

    QString runtime_;
    QString socket_;
    QTemporaryDir clientRuntime_; // XDG_RUNTIME_DIR of root's clients
    std::unique_ptr<ChildProcess> process_;
    ScopedEnvironment environment_;
    std::unique_ptr<ChildProcess> keyboard_;
};

// A sway of the test's own, or nullptr and why there is none (a machine
// without sway skips the Wayland tests).
std::unique_ptr<SwaySession> startSway(bool withXwayland, QString& why);

// xterm on sway's XWayland (the session must have one), run as root or, so
// that the test's process cannot see it, as nobody.
class XwaylandCapture : public SessionTerminal {
public:
    XwaylandCapture(SwaySession& session, const QString& title, bool asNobody);
};

} // namespace testsupport
