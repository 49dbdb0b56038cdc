// SPDX-License-Identifier: MIT
#pragma once
#include <QDateTime>

namespace script {

// Where the script window gets the current local date and time from. The
// program uses the system clock; tests install a clock of their own.
class Clock {
public:
    virtual ~Clock() = default;
    virtual QDateTime now() const = 0;
};

class SystemClock final : public Clock {
public:
    QDateTime now() const override { return QDateTime::currentDateTime(); }
};

// The clock in use: a SystemClock until another one is installed. The caller
// keeps ownership of an installed clock; nullptr restores the system clock.
const Clock& clock();
void installClock(const Clock* clock);

} // namespace script
