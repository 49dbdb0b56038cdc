// SPDX-License-Identifier: MIT
#pragma once
// Internal to the KDE backend: the user's keyboard layout, noted while a
// run types in another one, so that the next run puts it back if this one
// is killed before it can.
#include <QString>

#include <cstdint>
#include <optional>

namespace keys::kde {

class LayoutRecord {
public:
    // The record of this Wayland display, in $XDG_RUNTIME_DIR.
    LayoutRecord();

    // This process leaves the user's layout (its index) for another one.
    void keep(std::uint32_t userLayout) const;
    // The user's layout is back.
    void clear() const;
    // The layout a run that has ended without putting it back left behind;
    // the record is gone after. Nothing while that run is still alive.
    std::optional<std::uint32_t> leftByEndedRun() const;

private:
    QString path_;
};

} // namespace keys::kde
