// SPDX-License-Identifier: MIT
#pragma once
// A headless KWin of its own, with weston-terminal recorders and the Qt
// dialog target as native Wayland windows, for the KDE backend's tests.
#include "XSession.h"

#include <QByteArray>
#include <QString>
#include <QTemporaryDir>

#include <memory>

namespace keys::kde {
class KWinDisplay;
}

namespace testsupport {

// kwin_wayland --virtual on a socket of its own, with a session bus of its
// own, and the user's folders (home, configuration, data, cache) in a
// temporary folder. KWin's binary carries a file capability a container
// refuses to run, so a plain copy runs. While the object lives, this
// process's WAYLAND_DISPLAY, XDG_RUNTIME_DIR and DBUS_SESSION_BUS_ADDRESS
// name it, so the KDE backend and the programs a test starts find it.
// Throws std::runtime_error (naming KWin's log) when KWin cannot start.
class KWinSession {
public:
    struct Options {
        // false: KWin offers its restricted interfaces only to programs
        // whose desktop entry asks for them (see dataDir()).
        bool trustEveryone = true;
        // The keyboard layouts set up, as XKB names them ("us", "us,ru").
        QString layouts = QStringLiteral("us");
    };
    KWinSession() : KWinSession(Options{}) {}
    explicit KWinSession(const Options& options);
    ~KWinSession();
    KWinSession(const KWinSession&) = delete;
    KWinSession& operator=(const KWinSession&) = delete;

    QString socket() const { return socket_; }
    // A folder on KWin's XDG_DATA_DIRS: desktop entries go in its
    // applications folder.
    QString dataDir() const;
    // Writes a desktop entry there that lets the program at this path in.
    void addDesktopEntry(const QString& name, const QString& program) const;
    // The user's data folder (XDG_DATA_HOME) of KWin and of the programs
    // the test starts with userEnvironment().
    QString userDataDir() const;
    // KEY=VALUE settings for programs that should see the session as its
    // user's programs do (XDG_DATA_HOME among them).
    QStringList userEnvironment() const;
    QString log() const;

private:
    QTemporaryDir dir_;
    QString socket_;
    QByteArray oldWaylandDisplay_, oldRuntime_, oldBus_;
    std::unique_ptr<ChildProcess> bus_;
    std::unique_ptr<ChildProcess> kwin_;
};

// A connection of the test's own to KWin, for looking at windows and
// activating them as a task bar does.
class KWinProbe {
public:
    KWinProbe();
    ~KWinProbe();
    // True when a window with this title is open (within timeoutMs).
    bool waitForWindow(const QString& title, int timeoutMs = 10000);
    QString activeTitle();
    void activate(const QString& title);

private:
    std::unique_ptr<keys::kde::KWinDisplay> display_;
};

// weston-terminal with a title of its own whose tty is raw and appends
// every byte it receives to a file. (foot crashes on KWin's virtual output.)
class WestonCapture {
public:
    // closeAfter: the terminal closes once it has received this many bytes
    // (0: never).
    explicit WestonCapture(const QString& title, qsizetype closeAfter = 0);
    QString title() const { return title_; }
    QByteArray bytes() const { return file_.read(); }
    // Waits until at least size bytes arrived, then a little longer for any
    // extra ones; returns what arrived.
    QByteArray waitForBytes(qsizetype size, int timeoutMs = 5000) const
    {
        return file_.waitForBytes(size, timeoutMs);
    }
    pid_t pid() const { return process_->pid(); }

private:
    QString title_;
    QTemporaryDir dir_;
    TargetFile file_;
    std::unique_ptr<ChildProcess> process_;
};

// typomat_dialog_target as a native Wayland window on KWin: a line edit,
// and a modal dialog with a line edit of its own on Ctrl+D. value() reads
// its log ("main", "dialog", "opened", "accepted").
class KWinDialogTarget {
public:
    explicit KWinDialogTarget(const QString& title);
    QString title() const { return title_; }
    QString value(const QString& key) const { return file_.value(key); }
    QString log() const { return QString::fromUtf8(file_.read()); }
    // Waits until the log holds this value for the key.
    bool waitFor(const QString& key, const QString& value, int timeoutMs = 5000) const;

private:
    QString title_;
    TargetFile file_;
    std::unique_ptr<ChildProcess> process_;
};

} // namespace testsupport
