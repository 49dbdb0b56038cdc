// SPDX-License-Identifier: MIT
#pragma once
#include <QObject>
#include <QTimer>
#include <chrono>

namespace script {

// A periodic timer that does not drift: the n-th tick after enabling at t is
// due at t + n periods, measured on a steady clock, however late the ticks
// before it were handled. Enabling a timer that is already enabled changes
// nothing and keeps its period. Ticks missed while a handler blocked the
// event loop for more than a period are dropped, not delivered in a burst.
// It ticks in any event loop of its thread, modal dialogs included.
class SteadyTimer : public QObject {
    Q_OBJECT
public:
    using Clock = std::chrono::steady_clock;

    explicit SteadyTimer(std::chrono::milliseconds interval = std::chrono::seconds(1),
                         QObject* parent = nullptr);

    void setEnabled(bool enabled);
    bool isEnabled() const { return enabled_; }
    std::chrono::milliseconds interval() const { return interval_; }
    // When the next tick is due; meaningful while enabled.
    Clock::time_point nextDue() const { return start_ + interval_ * (beat_ + 1); }

Q_SIGNALS:
    void timeout();

private:
    void scheduleNext();
    void fire();

    std::chrono::milliseconds interval_;
    QTimer shot_;
    Clock::time_point start_;
    qint64 beat_ = 0;          // ticks due so far since enabling
    bool enabled_ = false;
    quint64 generation_ = 0;   // changes whenever the timer is enabled or disabled
};

} // namespace script
