// SPDX-License-Identifier: MIT
#include "keys/process/ReadReceipt.h"

#include <thread>

namespace keys::process {

ReadReceipt::ReadReceipt(long pid, const QStringList& displayAddresses,
                         std::chrono::milliseconds quiet)
    : process_(TargetProcess::find(pid)), quiet_(quiet)
{
    if (process_)
        process_->findConnections(displayAddresses);
}

void ReadReceipt::sent()
{
    read_ = false;
    uiWasWaiting_ = false;
    quietSince_ = Clock::now();
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
    if (unread > 0 || !waiting || cpu != cpu_)
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
