// SPDX-License-Identifier: MIT
#include "keys/process/ReadReceipt.h"

#include <thread>

namespace keys::process {

ReadReceipt::ReadReceipt(long pid, const QStringList& displayAddresses,
                         std::chrono::milliseconds quiet, double idleShare)
    : process_(TargetProcess::find(pid)), quiet_(quiet), idleShare_(idleShare)
{
    if (process_)
        process_->findConnections(displayAddresses);
}

void ReadReceipt::sent()
{
    read_ = false;
    uiWasWaiting_ = false;
    quietSince_ = Clock::now();
    idleLooks_.clear();
}

ReadReceipt::State ReadReceipt::look()
{
    if (!process_)
        return State::Unknown;
    const ThreadState ui = process_->uiThread();
    if (ui == ThreadState::Gone)
        return State::Gone;
    const Clock::time_point now = Clock::now();
    if (ui == ThreadState::Stopped) {
        uiWasWaiting_ = false;
        quietSince_ = now;
        idleLooks_.clear();
        return State::Stopped;
    }
    const std::uint64_t unread = process_->unreadBytes().value_or(0);
    unread_ = unread;
    const bool waiting = ui == ThreadState::EventLoop || ui == ThreadState::Asleep;
    const std::optional<std::uint64_t> uiCpu = process_->uiThreadCpuTimeNs();
    const std::optional<std::uint64_t> cpu = process_->cpuTimeNs();
    // Two looks in a row find the UI thread waiting for events, and it used
    // no CPU time in between: it did not wake, so nothing handed to it by a
    // reading thread of its own is still pending.
    if (unread == 0 && waiting && uiWasWaiting_ && uiCpu == uiCpu_)
        read_ = true;
    // With an idle share, a UI thread caught at work on an animation's frame
    // counts through its CPU time alone.
    if (unread > 0 || (!waiting && idleShare_ == 0) || !cpu || !idle(now, *cpu))
        quietSince_ = now;
    uiWasWaiting_ = waiting;
    uiCpu_ = uiCpu;
    cpu_ = cpu;
    if (unread > 0)
        return State::Unread;
    if (!read_ || !waiting)
        return State::Handling;
    return now - quietSince_ >= quiet_ ? State::Settled : State::Read;
}

// Idle since the last wake: no more CPU time than the idle share of the
// time passed (over the last quiet time, once that much has passed).
bool ReadReceipt::idle(Clock::time_point now, std::uint64_t cpu)
{
    while (idleLooks_.size() > 1 && now - idleLooks_[1].first >= quiet_)
        idleLooks_.pop_front();
    idleLooks_.emplace_back(now, cpu);
    const auto& [since, cpuThen] = idleLooks_.front();
    const auto allowed = std::chrono::duration<double, std::nano>(now - since).count() * idleShare_;
    if (cpu >= cpuThen && static_cast<double>(cpu - cpuThen) <= allowed)
        return true;
    idleLooks_.clear();
    idleLooks_.emplace_back(now, cpu);
    return false;
}

ReadReceipt::State ReadReceipt::await(State wanted, std::chrono::milliseconds limit,
                                      const std::function<bool()>& interrupted)
{
    const Clock::time_point end = Clock::now() + limit;
    for (;;) {
        const State state = look();
        if (state == State::Unknown || state == State::Gone || state >= wanted)
            return state;
        if ((interrupted && interrupted()) || Clock::now() >= end)
            return state;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

} // namespace keys::process
