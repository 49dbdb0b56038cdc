// SPDX-License-Identifier: MIT
#include "script/SteadyTimer.h"

namespace script {

SteadyTimer::SteadyTimer(std::chrono::milliseconds interval, QObject* parent)
    : QObject(parent), interval_(interval)
{
    shot_.setSingleShot(true);
    shot_.setTimerType(Qt::PreciseTimer);
    connect(&shot_, &QTimer::timeout, this, [this] { fire(); });
}

void SteadyTimer::setEnabled(bool enabled)
{
    if (enabled == enabled_)
        return;
    enabled_ = enabled;
    ++generation_;
    if (!enabled) {
        shot_.stop();
        return;
    }
    start_ = Clock::now();
    beat_ = 0;
    scheduleNext();
}

void SteadyTimer::scheduleNext()
{
    const Clock::time_point now = Clock::now();
    if (nextDue() <= now)  // a handler held the loop past a due tick: skip it
        beat_ = (now - start_) / interval_;
    const auto wait = std::chrono::ceil<std::chrono::milliseconds>(nextDue() - now);
    shot_.start(wait);
}

void SteadyTimer::fire()
{
    if (!enabled_)
        return;
    const quint64 generation = generation_;
    ++beat_;
    Q_EMIT timeout();
    // A handler that disabled (and maybe re-enabled) the timer has already
    // set up what comes next.
    if (enabled_ && generation == generation_)
        scheduleNext();
}

} // namespace script
