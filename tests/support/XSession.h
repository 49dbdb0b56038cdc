// SPDX-License-Identifier: MIT
#pragma once
#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <functional>
#include <memory>
#include <optional>
#include <sys/types.h>
#include <utility>
#include <vector>

class QProcess;
class QProcessEnvironment;
struct _XDisplay;

namespace testsupport {

// Throws std::runtime_error: a test bed that cannot be set up says why.
[[noreturn]] void setupFailed(const QString& what);

// Variables of this process's environment set for as long as the object
// lives; then each is as it was before, set or not. As a member of a
// session it also puts them back when the session's constructor throws.
class ScopedEnvironment {
public:
    ScopedEnvironment() = default;
    ~ScopedEnvironment();
    ScopedEnvironment(const ScopedEnvironment&) = delete;
    ScopedEnvironment& operator=(const ScopedEnvironment&) = delete;
    void set(const char* name, const QByteArray& value);

private:
    std::vector<std::pair<const char*, std::optional<QByteArray>>> old_;
};

// A program started by a test. The object records the process id it started
// and ends exactly that process when it goes (SIGTERM, then SIGKILL after a
// grace period), pass or fail. It also dies with the test process.
class ChildProcess {
public:
    // display: value for $DISPLAY (empty: inherited). passFd: a descriptor
    // the child keeps open as descriptor 3 (-1: none).
    ChildProcess(const QString& program, const QStringList& arguments,
                 const QString& display = QString(), int passFd = -1);
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    pid_t pid() const { return pid_; }
    bool isRunning();
    // Waits for the process to end by itself; its exit code, or -1.
    int waitForExit(int timeoutMs);
    void stop(int graceMs = 2000);

private:
    pid_t pid_ = -1;
    bool reaped_ = false;
    int status_ = 0;
};

// Starts a program that writes one line to descriptor 3 once it is ready
// (a display number, a bus address) and reads that line: empty when none
// came within timeoutMs.
std::unique_ptr<ChildProcess> startReporting(const QString& program, const QStringList& arguments,
                                             QByteArray& line, int timeoutMs = 15000);

// Runs a program to its end (at most timeoutMs) with $DISPLAY set; its exit
// code, or -1 when it did not end in time (it is then ended).
int runProgram(const QString& display, const QString& program,
               const QStringList& arguments, int timeoutMs = 10000);

// The program under test (TYPOMAT_EXE) run with arguments on a display, as
// a user runs it: its exit status and what it wrote to standard error. The
// object ends the process it started if it is still running.
class TypomatRun {
public:
    TypomatRun(const QString& display, const QStringList& arguments);
    // Run on the Wayland desktop this process's environment names, with no
    // X display, these VAR=value entries added, and program in place of
    // TYPOMAT_EXE where it is given (a copy of it elsewhere).
    static TypomatRun onWayland(const QStringList& arguments, const QStringList& environment = {},
                                const QString& program = {});
    ~TypomatRun();
    TypomatRun(const TypomatRun&) = delete;
    TypomatRun& operator=(const TypomatRun&) = delete;

    pid_t pid() const;
    // The exit status, or -1 when it did not end in time or ended by a signal.
    int waitForExit(int timeoutMs = 20000);
    QString errorOutput();

private:
    TypomatRun(const QString& program, const QStringList& arguments,
               const QProcessEnvironment& environment);
    std::unique_ptr<QProcess> process_;
};

// Polls check every few milliseconds until it returns true or time is up.
bool waitUntil(int timeoutMs, const std::function<bool()>& check);

// The file a target program writes what it received to, in a temporary
// folder of its own that goes with this object.
class TargetFile {
public:
    explicit TargetFile(const QString& name) : path_(dir_.filePath(name)) {}
    const QString& path() const { return path_; }
    bool exists() const;
    QByteArray read() const;
    // Waits until it holds at least size bytes, then a little longer for any
    // extra ones; returns what it holds.
    QByteArray waitForBytes(qsizetype size, int timeoutMs) const;
    // The value of the first "key=value" line, or nothing.
    QString value(const QString& key) const;

private:
    QTemporaryDir dir_;
    QString path_;
};

// An Xvfb server on a display number that was free.
class XServer {
public:
    XServer();
    QString display() const { return display_; }

private:
    QString display_;
    std::unique_ptr<ChildProcess> process_;
};

// A connection of the test's own to an X server, for looking at windows,
// the focus and the keyboard state (window ids as plain integers).
class XProbe {
public:
    explicit XProbe(const QString& display);
    ~XProbe();
    XProbe(const XProbe&) = delete;
    XProbe& operator=(const XProbe&) = delete;

    // A viewable or iconic client window with exactly this title, or 0.
    unsigned long findWindow(const QString& title);
    // All of them, topmost first.
    std::vector<unsigned long> findWindows(const QString& title);
    QString titleOf(unsigned long window);
    unsigned long focusWindow();
    // True when the input focus is this window or one inside it.
    bool focusIsIn(unsigned long window);
    void setFocus(unsigned long window);
    // Asks the window manager to raise and focus the window, as a pager does.
    void activate(unsigned long window);
    void iconify(unsigned long window);
    bool isIconic(unsigned long window);
    bool hasWindowManager();
    bool windowManagerReady();
    void setCapsLock(bool on);
    bool capsLock();
    // Keycodes of the keyboard map that carry no symbol at all.
    int emptyKeycodes();
    bool numLock();

    _XDisplay* display() const { return dpy_; }

private:
    _XDisplay* dpy_ = nullptr;
};

// openbox, once it manages the screen.
class WindowManager {
public:
    explicit WindowManager(const XServer& server);
    void stop() { process_->stop(); }

private:
    std::unique_ptr<ChildProcess> process_;
};

// An xterm whose tty is raw and copies every byte it receives to a file.
// Resources are pinned so that keys map to stable bytes: UTF-8, Alt sends
// Escape, BackSpace sends DEL.
class CaptureTerminal {
public:
    CaptureTerminal(const XServer& server, const QString& title);
    QString title() const { return title_; }
    unsigned long window() const { return window_; }
    QByteArray bytes() const;
    // Waits until at least size bytes arrived, then a little longer for any
    // extra ones; returns what arrived.
    QByteArray waitForBytes(qsizetype size, int timeoutMs = 5000) const;
    void stop() { process_->stop(); }
    pid_t pid() const { return process_->pid(); }

private:
    QString title_;
    TargetFile file_;
    unsigned long window_ = 0;
    std::unique_ptr<ChildProcess> process_;
};

// The test programme's Qt text box: one plain text edit that writes its
// whole text to a file on every change.
class TextBoxTarget {
public:
    TextBoxTarget(const XServer& server, const QString& title);
    QString title() const { return title_; }
    unsigned long window() const { return window_; }
    QString text() const;
    // Waits until the text is at least size characters long, then a little
    // longer for any extra ones; returns the text.
    QString waitForText(qsizetype size, int timeoutMs = 5000) const;

private:
    QString title_;
    TargetFile file_;
    unsigned long window_ = 0;
    std::unique_ptr<ChildProcess> process_;
};

// The test programme's Qt application with a modal dialog on Ctrl+D (see
// dialog/main.cpp for its options). It logs what each line edit holds.
class DialogTarget {
public:
    DialogTarget(const XServer& server, const QString& title, const QStringList& options = {});
    QString title() const { return title_; }
    QString dialogTitle() const { return title_ + QStringLiteral(" Dialog"); }
    unsigned long window() const { return window_; }
    pid_t pid() const { return process_->pid(); }
    // The logged value of "main", "dialog", "opened" or "accepted" ("" if none).
    QString value(const QString& key) const;
    // Waits until the value is the expected one; returns the last value.
    QString waitFor(const QString& key, const QString& expected, int timeoutMs = 5000) const;

private:
    QString title_;
    TargetFile file_;
    unsigned long window_ = 0;
    std::unique_ptr<ChildProcess> process_;
};

// An application from the system (a real editor), started with a home
// folder of its own, whose output goes to a log beside it; ready once a
// window with this title shows.
class Application {
public:
    Application(const XServer& server, const QString& program, const QString& title);
    unsigned long window() const { return window_; }
    // A file in the application's own folder.
    QString filePath(const QString& name) const { return home_.filePath(name); }

private:
    QTemporaryDir home_;
    unsigned long window_ = 0;
    std::unique_ptr<ChildProcess> process_;
};

// xev with a window of the given title, logging key events to a file: for
// keys that a terminal turns into no bytes (Print, Scroll Lock, Break).
class EventLogger {
public:
    EventLogger(const XServer& server, const QString& title);
    QString title() const { return title_; }
    // The key symbol names of the key presses logged so far ("Print", "a").
    QStringList pressedKeysyms() const;

private:
    QString title_;
    TargetFile file_;
    std::unique_ptr<ChildProcess> process_;
};

// Waits until a client window with this title, not one of those given, is
// viewable (0 on timeout).
unsigned long waitForWindow(const QString& display, const QString& title,
                            const std::vector<unsigned long>& existing = {},
                            int timeoutMs = 10000);

} // namespace testsupport
