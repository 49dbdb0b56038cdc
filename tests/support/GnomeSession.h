// SPDX-License-Identifier: MIT
#pragma once
// A headless GNOME Shell of the test's own, with Typomat's Shell extension
// installed from the build tree before the Shell starts, and the programs
// typed into there.
#include "XSession.h"

#include <QDBusConnection>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <memory>

namespace keys::gnome {
class RemoteKeyboard;
class ShellWindows;
}

namespace testsupport {

// gnome-shell --headless on a Wayland socket of its own, with a private
// session bus and an empty private system bus (the Shell wants one), in a
// mount namespace of its own that hides the machine's /run/systemd (a
// container's empty seat list stops the Shell). While the object lives,
// this process's DBUS_SESSION_BUS_ADDRESS, WAYLAND_DISPLAY and
// XDG_RUNTIME_DIR name the Shell's, so the GNOME backend and the programs a
// test starts find it. The seat has one long-lived keyboard, as a real
// desktop has (a remote desktop session of the test's own). The Shell
// starts in the overview. Throws
// std::runtime_error with the Shell's log when it cannot start.
class GnomeShellSession {
public:
    struct Options {
        bool installExtension = true;
        // The programs the extension answers; empty: this test program.
        QStringList trustedPrograms;
    };
    GnomeShellSession();
    explicit GnomeShellSession(const Options& options);
    ~GnomeShellSession();
    GnomeShellSession(const GnomeShellSession&) = delete;
    GnomeShellSession& operator=(const GnomeShellSession&) = delete;

    // Enables or disables the extension and waits until it answers, or no
    // longer does; false when that does not happen.
    bool setExtensionEnabled(bool enabled);
    bool overviewOpen();
    void setOverviewOpen(bool open);
    QString log() const;
    // "43.9"
    QString shellVersion();

    // The test's own look at the windows, through the extension (which
    // must be enabled).
    keys::gnome::ShellWindows& windows();
    bool waitForWindow(const QString& title, int timeoutMs = 10000);
    QString focusedTitle();
    // Brings the window to the front, as a click on it would.
    void activate(const QString& title);

private:
    void startBus(const QString& name);
    QVariant shellProperty(const QString& name);

    QTemporaryDir dir_;
    QString runtime_;
    QByteArray oldBus_, oldWayland_, oldRuntime_;
    std::vector<std::unique_ptr<ChildProcess>> buses_;
    std::unique_ptr<ChildProcess> shell_;
    QDBusConnection bus_{QString()};
    std::unique_ptr<keys::gnome::ShellWindows> windows_;
    std::unique_ptr<keys::gnome::RemoteKeyboard> keyboard_;
};

// foot with a fixed title whose tty is raw and appends every byte it
// receives to a file.
class GnomeFoot {
public:
    GnomeFoot(GnomeShellSession& session, const QString& title);
    QString title() const { return title_; }
    QByteArray bytes() const { return file_.read(); }
    // Waits until at least size bytes arrived, then a little longer for any
    // extra ones; returns what arrived.
    QByteArray waitForBytes(qsizetype size, int timeoutMs = 5000) const
    {
        return file_.waitForBytes(size, timeoutMs);
    }
    pid_t pid() const { return process_->pid(); }
    bool isRunning() { return process_->isRunning(); }

private:
    QString title_;
    TargetFile file_;
    std::unique_ptr<ChildProcess> process_;
};

// typomat_dialog_target as a native Wayland window: a line edit, and a
// modal dialog with a line edit of its own on Ctrl+D.
class GnomeDialogTarget {
public:
    GnomeDialogTarget(GnomeShellSession& session, const QString& title,
                      const QStringList& options = {});
    QString title() const { return title_; }
    QString value(const QString& key) const { return file_.value(key); }
    QString log() const { return QString::fromUtf8(file_.read()); }
    bool waitFor(const QString& key, const QString& value, int timeoutMs = 5000) const;

private:
    QString title_;
    TargetFile file_;
    std::unique_ptr<ChildProcess> process_;
};

} // namespace testsupport
