// SPDX-License-Identifier: MIT
#pragma once
// Internal to the Wayland backend: every wait on another process has a
// deadline.
#include <chrono>

namespace keys::wayland {

// Milliseconds from now until the deadline, 0 once it has passed: a poll()
// timeout.
inline int msUntil(std::chrono::steady_clock::time_point deadline)
{
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    return left.count() > 0 ? static_cast<int>(left.count()) : 0;
}

} // namespace keys::wayland
