// SPDX-License-Identifier: MIT
#pragma once
// Internal to the GNOME backend: D-Bus signals received on a thread of
// their own, so that waiting for one never runs the caller's event loop
// (which would run the windows' handlers in the middle of a send).
#include <QDBusConnection>
#include <QDBusMessage>
#include <QObject>
#include <QThread>

#include <condition_variable>
#include <functional>
#include <mutex>
#include <optional>
#include <vector>

namespace keys::gnome {

class SignalCatcher : public QObject {
    Q_OBJECT
public:
    using Arrivals = std::vector<QVariantList>;
    // Waits until enough(arrivals) holds, at most limitMs; the arrivals.
    Arrivals waitUntil(const std::function<bool(const Arrivals&)>& enough, int limitMs);
    void forget(const std::function<bool(const QVariantList&)>& done);
public Q_SLOTS:
    void caught(const QDBusMessage& message);

private:
    std::mutex mutex_;
    std::condition_variable arrived_;
    Arrivals arrivals_;
};

// Listens from construction on, so that a signal sent before a wait is kept.
class SignalWaiter {
public:
    SignalWaiter(const QDBusConnection& bus, const QString& service, const QString& path,
                 const QString& interface, const QString& name);
    ~SignalWaiter();
    SignalWaiter(const SignalWaiter&) = delete;
    SignalWaiter& operator=(const SignalWaiter&) = delete;

    // The first signal's arguments, or nothing when none came in time.
    std::optional<QVariantList> wait(int limitMs);
    using Arrivals = SignalCatcher::Arrivals;
    Arrivals waitUntil(const std::function<bool(const Arrivals&)>& enough, int limitMs)
    {
        return catcher_.waitUntil(enough, limitMs);
    }
    // Forgets the signals that no one will wait for again.
    void forget(const std::function<bool(const QVariantList&)>& done)
    {
        catcher_.forget(done);
    }

private:
    QDBusConnection bus_;
    QString service_, path_, interface_, name_;
    QThread thread_;
    SignalCatcher catcher_;
};

} // namespace keys::gnome
