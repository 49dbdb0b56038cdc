// SPDX-License-Identifier: MIT
#include "keys/gnome/SignalWaiter.h"

#include <chrono>

namespace keys::gnome {

SignalCatcher::Arrivals SignalCatcher::waitUntil(const std::function<bool(const Arrivals&)>& enough,
                                                 int limitMs)
{
    std::unique_lock lock(mutex_);
    arrived_.wait_for(lock, std::chrono::milliseconds(limitMs), [&] { return enough(arrivals_); });
    return arrivals_;
}

void SignalCatcher::forget(const std::function<bool(const QVariantList&)>& done)
{
    const std::lock_guard lock(mutex_);
    std::erase_if(arrivals_, done);
}

void SignalCatcher::caught(const QDBusMessage& message)
{
    {
        const std::lock_guard lock(mutex_);
        arrivals_.push_back(message.arguments());
    }
    arrived_.notify_all();
}

SignalWaiter::SignalWaiter(const QDBusConnection& bus, const QString& service, const QString& path,
                           const QString& interface, const QString& name)
    : bus_(bus), service_(service), path_(path), interface_(interface), name_(name)
{
    catcher_.moveToThread(&thread_);
    thread_.start();
    bus_.connect(service_, path_, interface_, name_, &catcher_, SLOT(caught(QDBusMessage)));
}

SignalWaiter::~SignalWaiter()
{
    bus_.disconnect(service_, path_, interface_, name_, &catcher_, SLOT(caught(QDBusMessage)));
    thread_.quit();
    thread_.wait();
}

std::optional<QVariantList> SignalWaiter::wait(int limitMs)
{
    const SignalCatcher::Arrivals arrivals =
        catcher_.waitUntil([](const SignalCatcher::Arrivals& a) { return !a.empty(); }, limitMs);
    if (arrivals.empty())
        return std::nullopt;
    return arrivals.front();
}

} // namespace keys::gnome
