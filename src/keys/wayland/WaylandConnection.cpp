// SPDX-License-Identifier: MIT
#include "keys/wayland/WaylandConnection.h"
#include "keys/KeyError.h"
#include "keys/KeyErrorTexts.h"
#include "keys/wayland/Deadline.h"

#include <QElapsedTimer>

#include <wayland-client.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <poll.h>

namespace keys::wayland {

namespace {

constexpr int flushTimeoutMs = 2000;
constexpr int activationTimeoutMs = 2000;
constexpr int activationRetryMs = 500;

} // namespace

WaylandConnection::WaylandConnection()
    : display_(qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") ? nullptr
                                                             : wl_display_connect(nullptr))
{
}

WaylandConnection::~WaylandConnection()
{
    if (registry_)
        wl_registry_destroy(registry_);
    if (display_) {
        wl_display_flush(display_);
        wl_display_disconnect(display_);
    }
}

void WaylandConnection::listenToGlobals(GlobalHandler onGlobal, void* data)
{
    static const wl_registry_listener listener = {
        [](void* self, wl_registry* registry, std::uint32_t name, const char* interface,
           std::uint32_t version) {
            const auto* connection = static_cast<const WaylandConnection*>(self);
            connection->onGlobal_(connection->globalData_, registry, name, interface, version);
        },
        [](void*, wl_registry*, std::uint32_t) {},
    };
    onGlobal_ = onGlobal;
    globalData_ = data;
    registry_ = wl_display_get_registry(display_);
    wl_registry_add_listener(registry_, &listener, this);
}

bool WaylandConnection::alive()
{
    return wl_display_get_error(display_) == 0;
}

bool WaylandConnection::roundtrip(int timeoutMs)
{
    // wl_display_roundtrip would wait for ever on a compositor that reads
    // but never answers: the same with a deadline.
    bool done = false;
    wl_callback* callback = wl_display_sync(display_);
    static const wl_callback_listener listener = {
        [](void* data, wl_callback*, std::uint32_t) { *static_cast<bool*>(data) = true; }};
    wl_callback_add_listener(callback, &listener, &done);
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!done && msUntil(end) > 0 && dispatch(msUntil(end))) {
    }
    wl_callback_destroy(callback);
    const bool standing = alive();
    silent_ = !done && standing;
    return done && standing;
}

void WaylandConnection::throwIfSilent() const
{
    if (silent_)
        throw DisplayUnavailable(whyNoDisplay(true));
}

bool WaylandConnection::flush()
{
    // libwayland fails the connection when a request finds its buffer still
    // full, so a full socket is waited on until the compositor reads.
    for (int waited = 0; wl_display_flush(display_) < 0; waited += 10) {
        if (errno != EAGAIN || waited >= flushTimeoutMs)
            return false;
        pollfd p{wl_display_get_fd(display_), POLLOUT, 0};
        poll(&p, 1, 10);
    }
    return true;
}

bool WaylandConnection::dispatch(int timeoutMs)
{
    while (wl_display_prepare_read(display_) != 0)
        if (wl_display_dispatch_pending(display_) < 0)
            return false;
    flush();
    pollfd p{wl_display_get_fd(display_), POLLIN, 0};
    if (poll(&p, 1, timeoutMs) > 0) {
        if (wl_display_read_events(display_) < 0)
            return false;
    } else {
        wl_display_cancel_read(display_);
    }
    return wl_display_dispatch_pending(display_) >= 0 && alive();
}

void WaylandConnection::bringToFront(QString title, const std::function<void()>& request,
                                     const std::function<bool()>& active,
                                     const std::function<bool()>& closed)
{
    QElapsedTimer clock;
    clock.start();
    qint64 lastRequest = -activationRetryMs;
    while (!closed()) {
        if (clock.elapsed() - lastRequest >= activationRetryMs) {
            lastRequest = clock.elapsed();
            request();
            if (!roundtrip())
                break;
        }
        if (active())
            return;
        const qint64 left = activationTimeoutMs - clock.elapsed();
        const qint64 untilRetry = activationRetryMs - (clock.elapsed() - lastRequest);
        if (left <= 0 || !dispatch(static_cast<int>(std::clamp<qint64>(untilRetry, 0, left))))
            break;
    }
    throwIfSilent();
    throw KeyError(errors::notBroughtToFront(title));
}

QString whyNoDisplay(bool silent)
{
    const QString name = qEnvironmentVariable("WAYLAND_DISPLAY");
    if (name.isEmpty())
        return errors::waylandDisplayNotSet();
    return silent ? errors::waylandDisplaySilent(name) : errors::waylandDisplayUnreachable(name);
}

} // namespace keys::wayland
