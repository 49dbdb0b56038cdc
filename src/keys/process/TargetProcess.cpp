// SPDX-License-Identifier: MIT
#include "keys/process/TargetProcess.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <linux/netlink.h>
#include <linux/rtnetlink.h>
#include <linux/sock_diag.h>
#include <linux/unix_diag.h>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <map>
#include <set>

// The kernel's netlink and rtattr macros are written with C casts.
#pragma GCC diagnostic ignored "-Wold-style-cast"

namespace keys::process {

namespace {

// Plain system calls: a receipt reads several of these files every
// millisecond.
QByteArray readProcFile(const QString& path, qint64 limit = 4096)
{
    const int fd = open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return {};
    QByteArray content(limit, Qt::Uninitialized);
    qint64 size = 0;
    while (size < limit) {
        const ssize_t got = read(fd, content.data() + size, static_cast<size_t>(limit - size));
        if (got <= 0)
            break;
        size += got;
    }
    close(fd);
    content.truncate(size);
    return content;
}

// The state letter of a /proc stat line: "pid (name) S ...", where the name
// may hold anything, so the letter follows the last parenthesis.
char stateLetter(const QByteArray& stat)
{
    const qsizetype close = stat.lastIndexOf(')');
    if (close < 0 || close + 2 >= stat.size())
        return 0;
    return stat.at(close + 2);
}

// The fields after the state letter, split on spaces.
QList<QByteArray> fieldsAfterState(const QByteArray& stat)
{
    const qsizetype close = stat.lastIndexOf(')');
    if (close < 0 || close + 2 >= stat.size())
        return {};
    return stat.mid(close + 2).trimmed().split(' ');
}

} // namespace

// A netlink socket for the kernel's socket diagnostics.
class DiagSocket {
public:
    DiagSocket() : fd_(socket(AF_NETLINK, SOCK_RAW | SOCK_CLOEXEC, NETLINK_SOCK_DIAG)) {}
    ~DiagSocket()
    {
        if (fd_ >= 0)
            close(fd_);
    }
    DiagSocket(const DiagSocket&) = delete;
    DiagSocket& operator=(const DiagSocket&) = delete;

    // Sends the request and hands each answer to onSocket; false when the
    // kernel refused or the socket could not be used.
    bool ask(const unix_diag_req& request, bool dump,
             const std::function<void(const unix_diag_msg&, const rtattr*, int)>& onSocket)
    {
        if (fd_ < 0)
            return false;
        struct {
            nlmsghdr header;
            unix_diag_req request;
        } message{};
        message.header.nlmsg_len = sizeof message;
        message.header.nlmsg_type = SOCK_DIAG_BY_FAMILY;
        message.header.nlmsg_flags = NLM_F_REQUEST | (dump ? NLM_F_DUMP : 0);
        message.request = request;
        sockaddr_nl kernel{};
        kernel.nl_family = AF_NETLINK;
        if (sendto(fd_, &message, sizeof message, 0, reinterpret_cast<sockaddr*>(&kernel),
                   sizeof kernel)
            < 0)
            return false;
        alignas(nlmsghdr) char buffer[32768];
        for (;;) {
            const ssize_t got = recv(fd_, buffer, sizeof buffer, 0);
            if (got <= 0)
                return false;
            int left = static_cast<int>(got);
            for (auto* header = reinterpret_cast<nlmsghdr*>(buffer); NLMSG_OK(header, left);
                 header = NLMSG_NEXT(header, left)) {
                if (header->nlmsg_type == NLMSG_DONE)
                    return true;
                if (header->nlmsg_type == NLMSG_ERROR)
                    return false;
                if (header->nlmsg_type != SOCK_DIAG_BY_FAMILY)
                    continue;
                const auto* socketInfo = static_cast<const unix_diag_msg*>(NLMSG_DATA(header));
                const int attributesLength = static_cast<int>(
                    header->nlmsg_len - NLMSG_LENGTH(sizeof(unix_diag_msg)));
                const auto* attributes = reinterpret_cast<const rtattr*>(socketInfo + 1);
                onSocket(*socketInfo, attributes, attributesLength);
            }
            if (!dump)
                return true;
        }
    }

private:
    int fd_;
};

namespace {

QString socketName(const rtattr* attribute)
{
    const char* data = static_cast<const char*>(RTA_DATA(attribute));
    const int length = static_cast<int>(RTA_PAYLOAD(attribute));
    if (length <= 0)
        return {};
    if (data[0] == '\0') // an abstract name
        return QLatin1Char('@') + QString::fromLocal8Bit(data + 1, length - 1);
    return QString::fromLocal8Bit(data, static_cast<qsizetype>(strnlen(data, length)));
}

// The inode numbers of the process's sockets.
std::set<std::uint32_t> socketInodes(long pid)
{
    std::set<std::uint32_t> inodes;
    const QDir fds(QStringLiteral("/proc/%1/fd").arg(pid));
    for (const QString& fd : fds.entryList(QDir::System | QDir::NoDotAndDotDot)) {
        const QString link = QFile::symLinkTarget(fds.filePath(fd));
        // QFile resolves against the folder; the kernel's text is "socket:[N]".
        const qsizetype open = link.lastIndexOf(QLatin1String("socket:["));
        if (open < 0 || !link.endsWith(QLatin1Char(']')))
            continue;
        bool ok = false;
        const uint inode = link.mid(open + 8, link.size() - open - 9).toUInt(&ok);
        if (ok)
            inodes.insert(inode);
    }
    return inodes;
}

// CPU time a thread (its /proc/PID/task/TID folder) has used, in nanoseconds.
std::optional<std::uint64_t> taskCpuTimeNs(const QString& task)
{
    // "time on a CPU (ns)  time waiting to run (ns)  time slices"
    const QByteArray schedstat = readProcFile(task + QLatin1String("/schedstat"), 128);
    bool ok = false;
    const std::uint64_t ns = schedstat.split(' ').value(0).toULongLong(&ok);
    if (ok)
        return ns;
    // Without scheduler statistics: user and system time in clock ticks.
    const QList<QByteArray> fields = fieldsAfterState(readProcFile(task + QLatin1String("/stat"), 1024));
    if (fields.size() < 13)
        return std::nullopt;
    const std::uint64_t ticks = fields[11].toULongLong() + fields[12].toULongLong();
    return ticks * (1000000000ull / static_cast<std::uint64_t>(sysconf(_SC_CLK_TCK)));
}

} // namespace

ThreadState stateFromWchan(const QByteArray& wchan)
{
    const QByteArray name = wchan.trimmed();
    if (name.isEmpty() || name == "0")
        return ThreadState::Asleep;
    if (name.contains("poll") || name.contains("select"))
        return ThreadState::EventLoop;
    if (name.contains("futex"))
        return ThreadState::Parked;
    return ThreadState::Sleeping;
}

ThreadState stateFromWchan(const QByteArray& wchan, const QByteArray& syscall)
{
    const ThreadState state = stateFromWchan(wchan);
    const QList<QByteArray> call = syscall.trimmed().split(' ');
    if (state != ThreadState::EventLoop || call.size() < 3)
        return state;
    bool ok = false;
    const long number = call[0].toLong(&ok);
    // How many descriptors the call waits on: poll's second argument,
    // select's first.
    int countArgument = -1;
#ifdef SYS_poll
    if (number == SYS_poll)
        countArgument = 2;
#endif
#ifdef SYS_select
    if (number == SYS_select)
        countArgument = 1;
#endif
    if (number == SYS_ppoll)
        countArgument = 2;
    else if (number == SYS_pselect6)
        countArgument = 1;
    if (!ok || countArgument < 0)
        return state;
    const qulonglong descriptors = call[countArgument].toULongLong(&ok, 16);
    return ok && descriptors == 0 ? ThreadState::Sleeping : state;
}

QStringList xDisplayAddresses(const QString& display)
{
    // [host]:number[.screen], where "unix/" or no host means this machine.
    const qsizetype colon = display.lastIndexOf(QLatin1Char(':'));
    if (colon < 0)
        return {};
    const QString host = display.left(colon);
    if (!host.isEmpty() && host != QLatin1String("unix") && !host.endsWith(QLatin1String("/unix")))
        return {};
    const QString number = display.mid(colon + 1).section(QLatin1Char('.'), 0, 0);
    bool ok = false;
    number.toUInt(&ok);
    if (!ok)
        return {};
    const QString path = QStringLiteral("/tmp/.X11-unix/X") + number;
    return {path, QLatin1Char('@') + path};
}

QStringList waylandDisplayAddresses(const QString& waylandDisplay)
{
    if (waylandDisplay.isEmpty())
        return {};
    if (waylandDisplay.startsWith(QLatin1Char('/')))
        return {waylandDisplay};
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (runtime.isEmpty())
        return {};
    return {runtime + QLatin1Char('/') + waylandDisplay};
}

bool processEnded(long pid)
{
    return kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH;
}

QStringList sessionDisplayAddresses()
{
    return waylandDisplayAddresses(qEnvironmentVariable("WAYLAND_DISPLAY"))
        + xDisplayAddresses(qEnvironmentVariable("DISPLAY"));
}

std::optional<TargetProcess> TargetProcess::find(long pid)
{
    if (pid <= 0)
        return std::nullopt;
    struct stat info {};
    const QByteArray path = QStringLiteral("/proc/%1").arg(pid).toLocal8Bit();
    if (stat(path.constData(), &info) != 0 || info.st_uid != getuid())
        return std::nullopt;
    TargetProcess process(pid);
    if (process.uiThread() == ThreadState::Gone)
        return std::nullopt;
    return process;
}

namespace {

ThreadState taskState(const QString& task)
{
    switch (stateLetter(readProcFile(task + QLatin1String("stat"), 512))) {
    case 0:
    case 'Z':
    case 'X':
    case 'x':
        return ThreadState::Gone;
    case 'T':
    case 't':
        return ThreadState::Stopped;
    case 'R':
        return ThreadState::Running;
    case 'S': {
        const QByteArray wchan = readProcFile(task + QLatin1String("wchan"), 128);
        if (stateFromWchan(wchan) != ThreadState::EventLoop)
            return stateFromWchan(wchan);
        return stateFromWchan(wchan, readProcFile(task + QLatin1String("syscall"), 256));
    }
    default: // 'D' (disk), 'I', 'W', 'P': waiting, but not for events
        return ThreadState::Sleeping;
    }
}

} // namespace

ThreadState TargetProcess::uiThread() const
{
    return taskState(QStringLiteral("/proc/%1/task/%1/").arg(pid_));
}

bool TargetProcess::loadsLibrary(const QString& namePart) const
{
    const QByteArray maps = readProcFile(QStringLiteral("/proc/%1/maps").arg(pid_), 8 << 20);
    return maps.contains(namePart.toLocal8Bit());
}

bool TargetProcess::otherThreadWaitsForEvents() const
{
    const QDir tasks(QStringLiteral("/proc/%1/task").arg(pid_));
    const QString ui = QString::number(pid_);
    for (const QString& id : tasks.entryList(QDir::Dirs | QDir::NoDotAndDotDot))
        if (id != ui && taskState(tasks.filePath(id) + QLatin1Char('/')) == ThreadState::EventLoop)
            return true;
    return false;
}

std::optional<std::uint64_t> TargetProcess::cpuTimeNs() const
{
    const QDir tasks(QStringLiteral("/proc/%1/task").arg(pid_));
    const QStringList ids = tasks.entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    if (ids.isEmpty())
        return std::nullopt;
    std::uint64_t total = 0;
    for (const QString& id : ids)
        total += taskCpuTimeNs(tasks.filePath(id)).value_or(0);
    return total;
}

std::optional<TargetProcess::Threads> TargetProcess::threads() const
{
    const QDir tasks(QStringLiteral("/proc/%1/task").arg(pid_));
    const QStringList ids = tasks.entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    if (ids.isEmpty())
        return std::nullopt;
    Threads threads;
    const QString ui = QString::number(pid_);
    for (const QString& id : ids) {
        const QString task = tasks.filePath(id);
        const std::uint64_t ns = taskCpuTimeNs(task).value_or(0);
        threads.cpuNs += ns;
        if (id == ui)
            threads.uiCpuNs = ns;
        const char state = stateLetter(readProcFile(task + QLatin1String("/stat"), 512));
        if (state == 0)
            continue; // ended meanwhile
        ++threads.count;
        threads.running = threads.running || state == 'R';
    }
    return threads;
}

std::optional<std::uint64_t> TargetProcess::uiThreadCpuTimeNs() const
{
    return taskCpuTimeNs(QStringLiteral("/proc/%1/task/%1").arg(pid_));
}

bool TargetProcess::findConnections(const QStringList& serverAddresses)
{
    connections_.clear();
    serverEnds_.clear();
    const std::set<std::uint32_t> own = socketInodes(pid_);
    if (own.empty() || serverAddresses.isEmpty())
        return false;
    // Every unix socket with its name and peer: the server's end of a
    // connection carries the name of the socket it was accepted on.
    std::map<std::uint32_t, QString> names;
    std::map<std::uint32_t, std::uint32_t> peers;
    unix_diag_req request{};
    request.sdiag_family = AF_UNIX;
    request.udiag_states = ~0u;
    request.udiag_show = UDIAG_SHOW_NAME | UDIAG_SHOW_PEER;
    DiagSocket diag;
    const bool answered = diag.ask(request, true, [&](const unix_diag_msg& socketInfo,
                                                      const rtattr* attribute, int length) {
        for (; RTA_OK(attribute, length); attribute = RTA_NEXT(attribute, length)) {
            if (attribute->rta_type == UNIX_DIAG_NAME)
                names[socketInfo.udiag_ino] = socketName(attribute);
            else if (attribute->rta_type == UNIX_DIAG_PEER && own.count(socketInfo.udiag_ino))
                peers[socketInfo.udiag_ino] = *static_cast<const std::uint32_t*>(RTA_DATA(attribute));
        }
    });
    if (!answered)
        return false;
    diag_ = std::make_shared<DiagSocket>();
    for (const auto& [inode, peer] : peers) {
        auto name = names.find(peer);
        if (name != names.end() && serverAddresses.contains(name->second)) {
            connections_.push_back(inode);
            serverEnds_.push_back(peer);
        }
    }
    return !connections_.empty();
}

namespace {

// What waits unread in the receive queues of these sockets.
std::optional<std::uint64_t> queuedBytes(DiagSocket& diag, const std::vector<std::uint32_t>& sockets)
{
    if (sockets.empty())
        return std::nullopt;
    std::uint64_t unread = 0;
    bool seen = false;
    for (const std::uint32_t inode : sockets) {
        unix_diag_req request{};
        request.sdiag_family = AF_UNIX;
        request.udiag_states = ~0u;
        request.udiag_ino = inode;
        request.udiag_show = UDIAG_SHOW_RQLEN;
        request.udiag_cookie[0] = request.udiag_cookie[1] = ~0u; // no cookie
        diag.ask(request, false, [&](const unix_diag_msg&, const rtattr* attribute, int length) {
            for (; RTA_OK(attribute, length); attribute = RTA_NEXT(attribute, length)) {
                if (attribute->rta_type != UNIX_DIAG_RQLEN)
                    continue;
                unread += static_cast<const unix_diag_rqlen*>(RTA_DATA(attribute))->udiag_rqueue;
                seen = true;
            }
        });
    }
    if (!seen)
        return std::nullopt;
    return unread;
}

} // namespace

std::optional<std::uint64_t> TargetProcess::unreadBytes() const
{
    DiagSocket diag;
    return queuedBytes(diag, connections_);
}

std::optional<std::uint64_t> TargetProcess::unsentBytes() const
{
    DiagSocket diag;
    return queuedBytes(diag, serverEnds_);
}

TargetProcess::Queues TargetProcess::queues() const
{
    if (connections_.empty())
        return {};
    return {queuedBytes(*diag_, connections_), queuedBytes(*diag_, serverEnds_)};
}

std::optional<std::vector<ClientConnection>> displayClients(const QStringList& serverAddresses)
{
    // The server's end of a connection carries the name of the socket it
    // was accepted on; its peer is the client's end, unnamed.
    struct Seen {
        QString name;
        std::uint32_t peer = 0;
        std::uint64_t unread = 0;
    };
    std::map<std::uint32_t, Seen> sockets;
    unix_diag_req request{};
    request.sdiag_family = AF_UNIX;
    request.udiag_states = 1u << 1; // established
    request.udiag_show = UDIAG_SHOW_NAME | UDIAG_SHOW_PEER | UDIAG_SHOW_RQLEN;
    DiagSocket diag;
    const bool answered = diag.ask(request, true, [&](const unix_diag_msg& socketInfo,
                                                      const rtattr* attribute, int length) {
        Seen& seen = sockets[socketInfo.udiag_ino];
        for (; RTA_OK(attribute, length); attribute = RTA_NEXT(attribute, length)) {
            if (attribute->rta_type == UNIX_DIAG_NAME)
                seen.name = socketName(attribute);
            else if (attribute->rta_type == UNIX_DIAG_PEER)
                seen.peer = *static_cast<const std::uint32_t*>(RTA_DATA(attribute));
            else if (attribute->rta_type == UNIX_DIAG_RQLEN)
                seen.unread = static_cast<const unix_diag_rqlen*>(RTA_DATA(attribute))->udiag_rqueue;
        }
    });
    if (!answered)
        return std::nullopt;
    const std::set<std::uint32_t> own = socketInodes(getpid());
    std::vector<ClientConnection> clients;
    for (const auto& [inode, seen] : sockets) {
        if (!seen.name.isEmpty() || own.count(inode))
            continue;
        const auto server = sockets.find(seen.peer);
        if (server != sockets.end() && serverAddresses.contains(server->second.name))
            clients.push_back({inode, seen.unread});
    }
    return clients;
}

} // namespace keys::process
