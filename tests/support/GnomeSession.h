// SPDX-License-Identifier: MIT
#pragma once
// A headless GNOME Shell of the test's own, with Typomat's Shell extension
// installed from the build tree before the Shell starts.
#include "WaylandClients.h"

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
class GnomeShellSession : public Compositor {
public:
    struct Options {
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
    QString log() const;
    // "43.9"
    QString shellVersion();

    // The test's own look at the windows, through the extension (which
    // must be enabled).
    bool waitForWindow(const QString& title, int timeoutMs = 10000) override;
    QString activeTitle() override;
    void activate(const QString& title) override;

private:
    void startBus(const QString& name);
    QVariant shellProperty(const QString& name);

    QTemporaryDir dir_;
    QString runtime_;
    std::vector<std::unique_ptr<ChildProcess>> buses_;
    std::unique_ptr<ChildProcess> shell_;
    ScopedEnvironment environment_;
    QDBusConnection bus_{QString()};
    std::unique_ptr<keys::gnome::ShellWindows> windows_;
    std::unique_ptr<keys::gnome::RemoteKeyboard> keyboard_;
};

} // namespace testsupport
