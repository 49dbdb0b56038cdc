// SPDX-License-Identifier: MIT
#pragma once
// A headless KWin of its own, with weston-terminal recorders, for the KDE
// backend's tests.
#include "WaylandClients.h"

#include <QByteArray>
#include <QString>
#include <QTemporaryDir>

#include <memory>

namespace testsupport {

// kwin_wayland --virtual on a socket of its own, with a session bus of its
// own, and the user's folders (home, configuration, data, cache) in a
// temporary folder. KWin's binary carries a file capability a container
// refuses to run, so a plain copy runs. While the object lives, this
// process's WAYLAND_DISPLAY, XDG_RUNTIME_DIR and DBUS_SESSION_BUS_ADDRESS
// name it, so the KDE backend and the programs a test starts find it.
// Throws std::runtime_error (naming KWin's log) when KWin cannot start.
class KWinSession : public Compositor {
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

    // A folder on KWin's XDG_DATA_DIRS: desktop entries go in its
    // applications folder.
    QString dataDir() const;
    // Writes a desktop entry there that lets the program at this path in.
    void addDesktopEntry(const QString& name, const QString& program) const;
    // KEY=VALUE settings for programs that should see the session as its
    // user's programs do (XDG_DATA_HOME among them).
    QStringList userEnvironment() const;
    QString log() const;

    // Through a connection of the test's own each time.
    bool waitForWindow(const QString& title, int timeoutMs = 10000) override;
    QString activeTitle() override;
    void activate(const QString& title) override;

private:
    QTemporaryDir dir_;
    QString socket_;
    std::unique_ptr<ChildProcess> bus_;
    std::unique_ptr<ChildProcess> kwin_;
    ScopedEnvironment environment_;
};

// weston-terminal recording what it receives (foot crashes on KWin's
// virtual output).
class WestonCapture : public SessionTerminal {
public:
    // closeAfter: the terminal closes once it has received this many bytes
    // (0: never).
    WestonCapture(KWinSession& session, const QString& title, qsizetype closeAfter = 0);
};

} // namespace testsupport
