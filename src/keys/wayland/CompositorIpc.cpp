// SPDX-License-Identifier: MIT
#include "keys/wayland/CompositorIpc.h"
#include "keys/wayland/Deadline.h"

#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <chrono>
#include <cstring>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace keys::wayland {

namespace {

using Clock = std::chrono::steady_clock;

// A connection to a control socket on which every wait has one deadline.
class ControlSocket {
public:
    ControlSocket(const QString& path, int timeoutMs)
        : end_(Clock::now() + std::chrono::milliseconds(timeoutMs))
    {
        const QByteArray name = QFileInfo(path).filePath().toLocal8Bit();
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        if (name.isEmpty() || static_cast<std::size_t>(name.size()) >= sizeof address.sun_path)
            return;
        std::memcpy(address.sun_path, name.constData(), static_cast<std::size_t>(name.size()));
        fd_ = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
        // A local connect does not wait for the server to accept.
        if (fd_ >= 0
            && ::connect(fd_, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
            close(fd_);
            fd_ = -1;
        }
    }
    ~ControlSocket()
    {
        if (fd_ >= 0)
            close(fd_);
    }
    ControlSocket(const ControlSocket&) = delete;
    ControlSocket& operator=(const ControlSocket&) = delete;

    bool write(const QByteArray& bytes)
    {
        qsizetype sent = 0;
        while (fd_ >= 0 && sent < bytes.size()) {
            if (!wait(POLLOUT))
                return false;
            const ssize_t n = send(fd_, bytes.constData() + sent,
                                   static_cast<std::size_t>(bytes.size() - sent), MSG_NOSIGNAL);
            if (n <= 0)
                return false;
            sent += n;
        }
        return fd_ >= 0;
    }

    // Reads exactly size bytes, or (size < 0) until the other end closes.
    std::optional<QByteArray> read(qsizetype size)
    {
        QByteArray bytes;
        char buffer[65536];
        while (fd_ >= 0 && (size < 0 || bytes.size() < size)) {
            if (!wait(POLLIN))
                return std::nullopt;
            const std::size_t want = size < 0 ? sizeof buffer
                                              : std::min<std::size_t>(sizeof buffer,
                                                    static_cast<std::size_t>(size - bytes.size()));
            const ssize_t n = recv(fd_, buffer, want, 0);
            if (n < 0)
                return std::nullopt;
            if (n == 0)
                return size < 0 ? std::optional<QByteArray>(bytes) : std::nullopt;
            bytes.append(buffer, n);
        }
        if (fd_ < 0)
            return std::nullopt;
        return bytes;
    }

private:
    bool wait(short events)
    {
        pollfd p{fd_, events, 0};
        return poll(&p, 1, msUntil(end_)) > 0 && !(p.revents & (POLLERR | POLLNVAL));
    }

    Clock::time_point end_;
    int fd_ = -1;
};

// sway's (and i3's) framing: "i3-ipc", the payload's length and type in
// native byte order, the payload.
constexpr char swayMagic[] = "i3-ipc";
constexpr std::uint32_t swayGetTree = 4;

QByteArray swayMessage(std::uint32_t type)
{
    QByteArray message(swayMagic, sizeof swayMagic - 1);
    const std::uint32_t length = 0;
    message.append(reinterpret_cast<const char*>(&length), sizeof length);
    message.append(reinterpret_cast<const char*>(&type), sizeof type);
    return message;
}

std::optional<QByteArray> askSway(const QString& socketPath, int timeoutMs)
{
    ControlSocket socket(socketPath, timeoutMs);
    if (!socket.write(swayMessage(swayGetTree)))
        return std::nullopt;
    const std::optional<QByteArray> header = socket.read(sizeof swayMagic - 1 + 8);
    if (!header || !header->startsWith(swayMagic))
        return std::nullopt;
    std::uint32_t length = 0;
    std::memcpy(&length, header->constData() + sizeof swayMagic - 1, sizeof length);
    return socket.read(length);
}

std::optional<QByteArray> askHyprland(const QString& socketPath, int timeoutMs)
{
    ControlSocket socket(socketPath, timeoutMs);
    if (!socket.write("j/activewindow"))
        return std::nullopt;
    return socket.read(-1);
}

QString hyprlandSocket()
{
    const QString signature = qEnvironmentVariable("HYPRLAND_INSTANCE_SIGNATURE");
    if (signature.isEmpty())
        return {};
    // Newer versions keep their sockets in the runtime folder, older ones in /tmp.
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    for (const QString& base : {runtime + QStringLiteral("/hypr/"), QStringLiteral("/tmp/hypr/")}) {
        const QString path = base + signature + QStringLiteral("/.socket.sock");
        if (QFileInfo::exists(path))
            return path;
    }
    return {};
}

std::optional<FocusedWindow> focusedNode(const QJsonObject& node)
{
    if (node.value(QLatin1String("focused")).toBool() && node.value(QLatin1String("pid")).toInteger() > 0) {
        FocusedWindow window;
        window.pid = static_cast<long>(node.value(QLatin1String("pid")).toInteger());
        window.title = node.value(QLatin1String("name")).toString();
        window.xwayland = node.value(QLatin1String("shell")).toString() == QLatin1String("xwayland");
        window.appId = window.xwayland ? node.value(QLatin1String("window_properties"))
                                             .toObject()
                                             .value(QLatin1String("class"))
                                             .toString()
                                       : node.value(QLatin1String("app_id")).toString();
        return window;
    }
    for (const char* key : {"nodes", "floating_nodes"})
        for (const QJsonValue& child : node.value(QLatin1String(key)).toArray())
            if (std::optional<FocusedWindow> found = focusedNode(child.toObject()))
                return found;
    return std::nullopt;
}

} // namespace

std::optional<FocusedWindow> focusedInHyprlandAnswer(const QByteArray& json)
{
    const QJsonObject window = QJsonDocument::fromJson(json).object();
    const qint64 pid = window.value(QLatin1String("pid")).toInteger();
    if (pid <= 0)
        return std::nullopt;
    return FocusedWindow{static_cast<long>(pid), window.value(QLatin1String("title")).toString(),
                         window.value(QLatin1String("class")).toString(),
                         window.value(QLatin1String("xwayland")).toBool()};
}

std::optional<FocusedWindow> askFocusedWindow(int timeoutMs)
{
    QString sway = qEnvironmentVariable("SWAYSOCK");
    if (sway.isEmpty())
        sway = qEnvironmentVariable("I3SOCK");
    if (!sway.isEmpty()) {
        if (const std::optional<QByteArray> tree = askSway(sway, timeoutMs))
            return focusedNode(QJsonDocument::fromJson(*tree).object());
        return std::nullopt;
    }
    const QString hyprland = hyprlandSocket();
    if (!hyprland.isEmpty())
        if (const std::optional<QByteArray> answer = askHyprland(hyprland, timeoutMs))
            return focusedInHyprlandAnswer(*answer);
    return std::nullopt;
}

} // namespace keys::wayland
