// SPDX-License-Identifier: MIT
#pragma once
// The programs a test starts on a Wayland compositor of its own (sway, KWin
// or GNOME Shell), and what they ask of the compositor.
#include "XSession.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <functional>
#include <memory>

namespace testsupport {

// A compositor a test runs, as its clients and checks see it.
class Compositor {
public:
    virtual ~Compositor() = default;
    // True when a window with this title is open (within timeoutMs).
    virtual bool waitForWindow(const QString& title, int timeoutMs = 10000) = 0;
    // The title of the window with the keyboard focus, or empty.
    virtual QString activeTitle() = 0;
    // Brings the window to the front as a task bar does; also from another
    // thread.
    virtual void activate(const QString& title) = 0;
};

// A program a test starts on the session, its output kept in a log. One
// that does not come up throws nothing: failure() names it and shows its
// log, for the test to fail with (VERIFY_STARTED). It is ended with the
// object.
class SessionClient {
public:
    QString title() const { return title_; }
    QString failure() const { return failure_; }
    pid_t pid() const { return process_ ? process_->pid() : -1; }
    bool isRunning() { return process_ && process_->isRunning(); }

protected:
    explicit SessionClient(QString title) : title_(std::move(title)) {}
    // Starts the command; it is up once its window is open and up() holds
    // (within 10 s each).
    void start(Compositor& desktop, const QString& what, const QStringList& command,
               const std::function<bool()>& up);
    void cannotStart(const QString& why) { failure_ = why; }
    // Ends the client now (a derived class whose members the client uses).
    void stop() { process_.reset(); }

private:
    QString title_;
    TargetFile log_{QStringLiteral("log")};
    std::unique_ptr<ChildProcess> process_;
    QString failure_;
};

#define VERIFY_STARTED(client) QVERIFY2((client).failure().isEmpty(), qPrintable((client).failure()))

// A terminal with a fixed title whose tty is raw and appends every byte it
// receives to a file, like CaptureTerminal on X11.
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
    // The shell command that records; closeAfter > 0: it ends once it has
    // recorded that many bytes.
    QString captureCommand(qsizetype closeAfter = 0) const;
    TargetFile file_{QStringLiteral("capture")};
};

class FootCapture : public SessionTerminal {
public:
    FootCapture(Compositor& desktop, const QString& title);
};

// A program from the archive run natively on the session, with a home of
// its own (no settings or saved session of an earlier run) and no session
// bus, so that it is one process.
class WaylandApp : public SessionClient {
public:
    // title: the title of its window once it is up. environment: VAR=value
    // entries for it, such as the toolkit's platform.
    WaylandApp(Compositor& desktop, const QString& title, const QStringList& environment,
               const QStringList& command);
    // The program writes its settings as it ends: it ends before its home
    // folder is removed, or it would make the folder again.
    ~WaylandApp() { stop(); }
    QString home() const { return home_.path(); }

private:
    QTemporaryDir home_;
};

// typomat_dialog_target as a native Wayland window: a line edit, and a
// modal dialog with a line edit of its own on Ctrl+D. value() reads its log
// ("main", "dialog", "opened", "accepted").
class WaylandDialogTarget : public SessionClient {
public:
    WaylandDialogTarget(Compositor& desktop, const QString& title,
                        const QStringList& options = {});
    QString value(const QString& key) const { return file_.value(key); }
    QString log() const { return QString::fromUtf8(file_.read()); }
    // Waits until the log holds this value for the key.
    bool waitFor(const QString& key, const QString& value, int timeoutMs = 5000) const;

private:
    TargetFile file_{QStringLiteral("values")};
};

} // namespace testsupport
