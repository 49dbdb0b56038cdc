// SPDX-License-Identifier: MIT
#pragma once
#include "script/Clock.h"

namespace script {

// Test double: a clock moved by hand.
class ManualClock final : public Clock {
public:
    explicit ManualClock(QDateTime start) : now_(std::move(start)) {}
    QDateTime now() const override { return now_; }
    void set(const QDateTime& now) { now_ = now; }
    void advance(int seconds) { now_ = now_.addSecs(seconds); }

private:
    QDateTime now_;
};

} // namespace script
