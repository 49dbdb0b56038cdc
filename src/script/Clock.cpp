// SPDX-License-Identifier: MIT
#include "script/Clock.h"

namespace script {

namespace {
const Clock* installedClock = nullptr;
} // namespace

const Clock& clock()
{
    static const SystemClock systemClock;
    return installedClock ? *installedClock : systemClock;
}

void installClock(const Clock* clock)
{
    installedClock = clock;
}

} // namespace script
