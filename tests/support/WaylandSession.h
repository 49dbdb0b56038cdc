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
// connect. While the object lives, this process's WAYLAND_DISPLAY and
// SWAYSOCK name its sockets (and DISPLAY its XWayland, where it has one),
// so the Wayland backend and the programs a test starts find it. Like a
// real desktop, its seat has a keyboard for as long as it runs. Throws
// std::runtime_error when sway cannot start.
class SwaySession {
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

private:
    QString ipcSocket() const;

    QString runtime_;
    QString socket_;
    QTemporaryDir clientRuntime_; // XDG_RUNTIME_DIR of root's clients
    QByteArray oldWaylandDisplay_, oldRuntime_, oldSwaySocket_, oldDisplay_;
    std::unique_ptr<ChildProcess> process_;
    std::unique_ptr<ChildProcess> keyboard_;
};

// A sway of the test's own, or nullptr and why there is none (a machine
// without sway skips the Wayland tests).
std::unique_ptr<SwaySession> startSway(bool withXwayland, QString& why);

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

// A program a test starts on the session, its output kept in a log. One
// that does not come up throws nothing: failure() names it and shows its
// log, for the test to fail with (VERIFY_STARTED).
class SessionClient {
public:
    QString title() const { return title_; }
    QString failure() const { return failure_; }
    pid_t pid() const { return process_ ? process_->pid() : -1; }
    bool isRunning() { return process_ && process_->isRunning(); }

protected:
    explicit SessionClient(QString title) : title_(std::move(title)) {}
    // Starts the command; up() tells when it has come up (within 10 s).
    void start(const QString& what, const QStringList& command, const std::function<bool()>& up);
    void cannotStart(const QString& why) { failure_ = why; }

private:
    QString title_;
    TargetFile log_{QStringLiteral("log")};
    std::unique_ptr<ChildProcess> process_;
    QString failure_;
};

#define VERIFY_STARTED(client) QVERIFY2((client).failure().isEmpty(), qPrintable((client).failure()))

// A terminal with a fixed title whose tty is raw and appends every byte it
// receives to a file, like CaptureTerminal on X11: foot, or xterm through
// XWayland.
class SessionTerminal : public SessionClient {
public:
    QByteArray bytes() const { return file_.read(); }
    // Waits until at least size bytes arrived, then a little longer for any
    // extra ones; returns what arrived.
    QByteArray waitForBytes(qsizetype size, int timeoutMs = 5000) const
    {
        return file_.waitForBytes(size, timeoutMs);
    }

protected:
    explicit SessionTerminal(const QString& title) : SessionClient(title) {}
    QString captureCommand() const;
    TargetFile file_{QStringLiteral("capture")};
};

class FootCapture : public SessionTerminal {
public:
    FootCapture(const SwaySession& session, const QString& title);
};

// xterm on sway's XWayland (the session must have one), run as root or, so
// that the test's process cannot see it, as nobody.
class XwaylandCapture : public SessionTerminal {
public:
    XwaylandCapture(const SwaySession& session, const QString& title, bool asNobody);
};

// A program from the archive run natively on the session, with a home of
// its own (no settings or saved session of an earlier run) and no session
// bus, so that it is one process.
class WaylandApp : public SessionClient {
public:
    // title: the title of its window once it is up. environment: VAR=value
    // entries for it, such as the toolkit's platform.
    WaylandApp(const SwaySession& session, const QString& title, const QStringList& environment,
               const QStringList& command);
    QString home() const { return home_.path(); }

private:
    QTemporaryDir home_;
};

// typomat_dialog_target as a native Wayland window: a line edit, and a
// modal dialog with a line edit of its own on Ctrl+D. value() reads its log
// ("main", "dialog", "opened", "accepted").
class WaylandDialogTarget : public SessionClient {
public:
    WaylandDialogTarget(const SwaySession& session, const QString& title,
                        const QStringList& options = {});
    QString value(const QString& key) const;
    QString log() const;
    // Waits until the log holds this value for the key.
    bool waitFor(const QString& key, const QString& value, int timeoutMs = 5000) const;

private:
    TargetFile file_{QStringLiteral("values")};
};

} // namespace testsupport
