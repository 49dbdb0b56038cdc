// SPDX-License-Identifier: MIT
#pragma once
// The process behind a target window, watched from outside: how far it has
// read its connection to the display server, what its UI thread is doing,
// and how much CPU time it uses. Linux only (/proc and the kernel's socket
// diagnostics); Qt Core only, so every backend can use it.
#include <QString>
#include <QStringList>

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

namespace keys::process {

// What a thread is doing, as the kernel tells.
enum class ThreadState {
    Gone,      // the thread, or its whole process, has ended
    Running,   // on a CPU or ready to run
    EventLoop, // asleep in poll, select or epoll: waiting for events
    Sleeping,  // asleep elsewhere: a timer, a pipe or disk, or in poll or
               // select on no descriptor at all (a sleep written so)
    Parked,    // asleep until another thread of its own wakes it (a futex):
               // on a lock, or for events that another thread waits for
    Asleep,    // asleep, but the kernel does not tell where
    Stopped,   // stopped by a signal or held by a debugger
};

// The kernel function name a sleeping thread waits in (its wchan) read as
// a state: poll, select and epoll waits are an event loop's.
ThreadState stateFromWchan(const QByteArray& wchan);
// The same, with the thread's system call as /proc/PID/task/TID/syscall
// shows it ("number arg1 arg2 ..."; empty when the kernel does not show it):
// a poll or select on no descriptor is a sleep.
ThreadState stateFromWchan(const QByteArray& wchan, const QByteArray& syscall);

// True when no process of this machine has this id any more (one of
// another user still counts as running).
bool processEnded(long pid);

// The addresses a display server listens at, as socket names: a path, or
// an abstract name written with a leading '@'.
// ":1" or "host/unix:1.0" -> "/tmp/.X11-unix/X1" and "@/tmp/.X11-unix/X1";
// empty for a display over TCP.
QStringList xDisplayAddresses(const QString& display);
// "wayland-1" -> "$XDG_RUNTIME_DIR/wayland-1"; an absolute name as it is.
QStringList waylandDisplayAddresses(const QString& waylandDisplay);
// Where the display servers of this session listen, which keys pass through
// on their way to a target: the compositor of $WAYLAND_DISPLAY, and the X
// server of $DISPLAY (XWayland, for X11 programs on a Wayland desktop).
QStringList sessionDisplayAddresses();

// One client's connection to a display server, seen from outside.
struct ClientConnection {
    std::uint32_t inode = 0;  // the client's end
    std::uint64_t unread = 0; // bytes the server sent that the client has not read
};

// Every client connection of the server listening at one of these
// addresses, whoever the client is, but for this process's own; empty when
// socket diagnostics are refused. For a target whose process cannot be
// watched: its connection is one of these.
std::optional<std::vector<ClientConnection>> displayClients(const QStringList& serverAddresses);

class TargetProcess {
public:
    // The process with this id when it runs on this machine under this
    // user: another user's process cannot be watched, and a sandboxed
    // application may report an id from its own namespace, naming
    // somebody else's process here.
    static std::optional<TargetProcess> find(long pid);

    long pid() const { return pid_; }

    // The UI thread: the process's first thread, which runs main().
    ThreadState uiThread() const;
    // A shared library whose file name contains this is loaded (a toolkit).
    bool loadsLibrary(const QString& namePart) const;
    // Another thread waits for events: where the UI thread is Parked, an
    // event loop run by a helper thread (as Tcl's) is idle, not locked.
    bool otherThreadWaitsForEvents() const;
    // CPU time used so far by the threads alive now, in nanoseconds; empty
    // once the process has gone. Compare two readings for equality only: a
    // thread that ends takes its share with it.
    std::optional<std::uint64_t> cpuTimeNs() const;
    // The threads alive now: how many, their CPU time as cpuTimeNs(), and
    // whether one of them is on a CPU or waiting for one (a thread that is
    // ready but starved uses no CPU time, yet is not done).
    struct Threads {
        int count = 0;
        std::uint64_t cpuNs = 0;
        std::uint64_t uiCpuNs = 0; // the UI thread's share
        bool running = false;
    };
    std::optional<Threads> threads() const;
    // The same for the UI thread alone: unchanged between two looks that
    // both found it in its event loop, it did not wake in between.
    std::optional<std::uint64_t> uiThreadCpuTimeNs() const;

    // Finds the process's connections to the server listening at one of
    // these addresses. False when it has none (or they cannot be seen).
    bool findConnections(const QStringList& serverAddresses);
    bool hasConnections() const { return !connections_.empty(); }
    // Bytes the server has sent over those connections that the process
    // has not read yet; empty when that cannot be told (the connections
    // have closed, or socket diagnostics are refused).
    std::optional<std::uint64_t> unreadBytes() const;
    // Bytes the process has sent over them that the server has not read
    // yet: requests still on their way.
    std::optional<std::uint64_t> unsentBytes() const;
    // Both at once.
    struct Queues {
        std::optional<std::uint64_t> unread;
        std::optional<std::uint64_t> unsent;
    };
    Queues queues() const;

private:
    explicit TargetProcess(long pid) : pid_(pid) {}
    long pid_;
    std::vector<std::uint32_t> connections_; // socket inode numbers
    std::vector<std::uint32_t> serverEnds_;  // the server's ends of them
    // Asked every millisecond: opened once.
    std::shared_ptr<class DiagSocket> diag_;
};

} // namespace keys::process
