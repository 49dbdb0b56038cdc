// SPDX-License-Identifier: MIT
#pragma once
// Internal to the KDE backend: a note that a run is typing, with the user's
// keyboard layout. KWin keeps a fake input's keys down, and its layout
// switched, after the program has gone; so the next run undoes what a run
// killed mid-way left behind.
#include <QString>

#include <cstdint>
#include <optional>

namespace keys::kde {

class RunRecord {
public:
    // The record of this Wayland display, in $XDG_RUNTIME_DIR.
    RunRecord();

    // This process types; the user's layout is userLayout (an index).
    void keep(std::uint32_t userLayout) const;
    // It has let go of its keys and put the user's layout back.
    void clear() const;
    // The user's layout as noted by a run that has ended without clearing
    // its record; the record is gone after. Nothing while that run lives.
    std::optional<std::uint32_t> leftByEndedRun() const;

private:
    QString path_;
};

} // namespace keys::kde
