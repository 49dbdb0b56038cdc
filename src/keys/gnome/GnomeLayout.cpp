// SPDX-License-Identifier: MIT
#include "keys/gnome/GnomeLayout.h"
#include "keys/KeySender.h"
#include "keys/layout/SeatKeyboard.h"

#include <wayland-client.h>

#include <cstring>

namespace keys::gnome {

struct GnomeLayoutEvents {
    static void global(void* data, wl_registry* registry, std::uint32_t name,
                       const char* interface, std::uint32_t)
    {
        auto* self = static_cast<GnomeLayout*>(data);
        if (!self->seat_ && std::strcmp(interface, wl_seat_interface.name) == 0)
            self->seat_ = static_cast<wl_seat*>(
                wl_registry_bind(registry, name, &wl_seat_interface, 1));
    }
};

namespace {

QString unreadableText()
{
    return QStringLiteral("Typomat cannot read the keyboard layout from GNOME Shell "
                          "(WAYLAND_DISPLAY is \"%1\"), so it typed nothing.")
        .arg(qEnvironmentVariable("WAYLAND_DISPLAY"));
}

} // namespace

GnomeLayout::GnomeLayout()
{
    if (!connected())
        throw DisplayUnavailable(unreadableText());
    listenToGlobals(GnomeLayoutEvents::global, this);
    readRound();
    if (!seat_)
        throw KeyError(unreadableText());
    keyboard_ = std::make_unique<layout::SeatKeyboard>(seat_);
}

GnomeLayout::~GnomeLayout()
{
    keyboard_.reset();
    if (seat_)
        wl_seat_destroy(seat_);
}

std::shared_ptr<const layout::SeatLayout> GnomeLayout::current()
{
    // The keymap follows the keyboard the Shell creates for the request.
    for (int round = 0; round < 2; ++round)
        readRound();
    std::shared_ptr<const layout::SeatLayout> layout = keyboard_->layout();
    if (!layout)
        throw KeyError(unreadableText());
    return layout;
}

void GnomeLayout::readRound()
{
    if (roundtrip())
        return;
    throwIfSilent();
    throw KeyError(unreadableText());
}

} // namespace keys::gnome
