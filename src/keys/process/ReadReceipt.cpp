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
    probe_ = Probe::NotSent;
    quietSince_ = Clock::now();
    idleLooks_.clear();
}

std::chrono::milliseconds ReadReceipt::typedTextRest() const
{
    const bool gtk = process_
        && (process_->loadsLibrary(QStringLiteral("/libgtk-3.so"))
            || process_->loadsLibrary(QStringLiteral("/libgtk-4.so"))
            || process_->loadsLibrary(QStringLiteral("/libgtk-x11-2.0.so")));
    // The timer, with room for it to fire late on a busy machine.
    return gtk ? std::chrono::milliseconds(200) : std::chrono::milliseconds(0);
}

bool ReadReceipt::canBeProbed()
{
    if (!process_ || !process_->hasConnections())
        return false;
    const std::optional<TargetProcess::Threads> threads = process_->threads();
    return threads && threads->count == 1;
}

void ReadReceipt::probed()
{
    probe_ = Probe::Sent;
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
    const TargetProcess::Queues queues = process_->queues();
    const std::uint64_t unread = queues.unread.value_or(0);
    unread_ = unread;
    // Requests it has sent that the server has not read yet (a window it
    // asked to be shown): not done either.
    const std::uint64_t unsent = queues.unsent.value_or(0);
    const bool waiting = ui == ThreadState::EventLoop || ui == ThreadState::Asleep
        || (ui == ThreadState::Parked && process_->otherThreadWaitsForEvents());
    const std::optional<TargetProcess::Threads> threads = process_->threads();
    const std::optional<std::uint64_t> uiCpu =
        threads ? std::optional<std::uint64_t>(threads->uiCpuNs) : std::nullopt;
    const std::optional<std::uint64_t> cpu =
        threads ? std::optional<std::uint64_t>(threads->cpuNs) : std::nullopt;
    // Two looks in a row find the UI thread waiting for events, and it used
    // no CPU time in between: it did not wake, so nothing handed to it by a
    // reading thread of its own is still pending.
    if (unread == 0 && waiting && uiWasWaiting_ && uiCpu == uiCpu_)
        read_ = true;
    // Without an idle share any work counts; with one, a thread caught at
    // work on an animation's frame counts through its CPU time alone.
    const bool working = idleShare_ == 0
        && (!waiting || cpu != cpu_ || (threads && threads->running));
    if (unread > 0 || unsent > 0 || working || !cpu || !idle(now, *cpu))
        quietSince_ = now;
    if (unread == 0 && probe_ == Probe::Sent)
        probe_ = Probe::Answered;
    uiWasWaiting_ = waiting;
    uiCpu_ = uiCpu;
    cpu_ = cpu;
    if (unread > 0)
        return State::Unread;
    if (!read_ || !waiting || unsent > 0)
        return probe_ == Probe::Answered ? State::Working : State::Handling;
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

ReadReceipt::State ReadReceipt::staySettled(std::chrono::milliseconds rest,
                                            std::chrono::milliseconds limit)
{
    const Clock::time_point end = Clock::now() + limit;
    Clock::time_point since = Clock::now();
    for (;;) {
        const State state = look();
        const Clock::time_point now = Clock::now();
        if (state == State::Unknown || state == State::Gone || now >= end)
            return state;
        if (state != State::Settled)
            since = now;
        else if (now - since >= rest)
            return state;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

} // namespace keys::process
