// SPDX-License-Identifier: MIT
#pragma once
// Whether a target has read the keys sent to it and is done with them, told
// from its process. Every wait of a backend asks this one question.
#include "keys/process/TargetProcess.h"

#include <chrono>
#include <deque>
#include <functional>

namespace keys::process {

class ReadReceipt {
public:
    using Clock = std::chrono::steady_clock;

    // displayAddresses: where the display server the keys go through listens
    // (xDisplayAddresses, waylandDisplayAddresses). A target whose process
    // cannot be watched (another machine, another user, a sandbox) gives no
    // receipt: visible() is false and look() answers Unknown.
    // quiet: how long the process must stay idle to count as Settled;
    // idleShare: how much CPU time it may use meanwhile, as a share of the
    // quiet time (0: none). A toolkit that redraws on every frame of an
    // animation uses a little all the time, and is idle all the same.
    ReadReceipt(long pid, const QStringList& displayAddresses,
                std::chrono::milliseconds quiet = std::chrono::milliseconds(3),
                double idleShare = 0);

    bool visible() const { return process_.has_value(); }
    // The target's connection to the display server was found, so unread
    // bytes can be seen (a target that reads on a thread of its own drains
    // it at once: then only its UI thread tells).
    bool seesConnection() const { return process_ && process_->hasConnections(); }
    long pid() const { return process_ ? process_->pid() : 0; }

    // Keys (or other requests) have just gone out: what was seen before no
    // longer counts.
    void sent();

    // How long text typed into a dialog must rest before Enter or Escape,
    // beyond the target's settling: GTK's file chooser reads its location
    // entry on a timer 150 ms after the last change, while looking idle, and
    // drops an Enter that comes sooner. Zero for other targets.
    std::chrono::milliseconds typedTextRest() const;
    // The process has a single thread, which therefore reads its connection
    // itself and reads more only once it has handled what it read before.
    // Then a probe tells whether a busy process has handled its keys: after
    // the backend has sent the process something harmless (probed()), an
    // empty connection shows that it came back for more.
    bool canBeProbed();
    void probed();

    enum class State {
        Unknown,  // not visible
        Gone,     // the process has ended
        Stopped,  // stopped by a signal: it reads nothing until continued
        Unread,   // bytes sent to it wait unread on its connection
        Handling, // read, but its UI thread has not been back waiting for
                  // events since, or is working again
        Working,  // read and handled everything up to the probe, but it
                  // keeps working (it may never settle)
        Read,     // read, its UI thread has waited for events since, and
                  // the server has read every request it sent
        Settled,  // Read, and no thread of it has used CPU time or been
                  // ready to run for the quiet time: done with what it was sent
    };
    // One look; call it about every millisecond while waiting.
    State look();
    // The bytes the last look found waiting unread on the target's connection.
    std::uint64_t unreadBytes() const { return unread_; }

    // Looks every millisecond until the state is at least wanted (Read or
    // Settled), the process is gone, interrupted() says so, or the limit
    // passes. The last state seen.
    State await(State wanted, std::chrono::milliseconds limit,
                const std::function<bool()>& interrupted = {});

    // Looks until the state has stayed Settled for rest without a break,
    // the process is gone, or the limit passes. The last state seen.
    State staySettled(std::chrono::milliseconds rest, std::chrono::milliseconds limit);

private:
    bool idle(Clock::time_point now, std::uint64_t cpu);

    std::optional<TargetProcess> process_;
    std::chrono::milliseconds quiet_;
    bool read_ = false;
    std::uint64_t unread_ = 0;
    bool uiWasWaiting_ = false;
    enum class Probe { NotSent, Sent, Answered } probe_ = Probe::NotSent;
    std::optional<std::uint64_t> uiCpu_;
    std::optional<std::uint64_t> cpu_;
    double idleShare_;
    // CPU time read at each look since the process last woke for good (or
    // keys went out), the oldest first.
    std::deque<std::pair<Clock::time_point, std::uint64_t>> idleLooks_;
    Clock::time_point quietSince_ = Clock::now();
};

} // namespace keys::process
