// SPDX-License-Identifier: MIT
#pragma once
#include "RecordingKeySender.h"

#include <QElapsedTimer>
#include <vector>

namespace testsupport {

// Passes calls on to a recording double and notes when each send came,
// in nanoseconds since clock was started.
class TimedKeySender final : public keys::KeySender {
public:
    keys::RecordingKeySender inner;
    QElapsedTimer clock;
    std::vector<qint64> sentAtNs;

    void AppActivate(const QString& title) override { inner.AppActivate(title); }
    void SendKeys(const QString& keys, bool wait) override
    {
        inner.SendKeys(keys, wait);
        sentAtNs.push_back(clock.nsecsElapsed());
    }
    qint64 sentAtMs(size_t n) const { return sentAtNs.at(n) / 1000000; }
};

} // namespace testsupport
