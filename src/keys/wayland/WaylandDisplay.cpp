// SPDX-License-Identifier: MIT
#include "keys/wayland/WaylandDisplay.h"

#include "virtual-keyboard-unstable-v1-client-protocol.h"
#include "wlr-foreign-toplevel-management-unstable-v1-client-protocol.h"

#include <wayland-client.h>

#include <algorithm>
#include <cstring>

namespace keys::wayland {

namespace {

// Versions this code knows; the compositor may offer older ones.
constexpr std::uint32_t toplevelVersion = 3;
constexpr std::uint32_t seatVersion = 1;

template <typename T>
T* bind(wl_registry* registry, std::uint32_t name, const wl_interface* interface,
        std::uint32_t offered, std::uint32_t wanted)
{
    return static_cast<T*>(
        wl_registry_bind(registry, name, interface, std::min(offered, wanted)));
}

} // namespace

// The handle's events, kept as statics of a friend so that they may reach
// the display's list.
struct ToplevelEvents {
    static Toplevel* of(void* data) { return static_cast<Toplevel*>(data); }

    static void title(void* data, zwlr_foreign_toplevel_handle_v1*, const char* text)
    {
        of(data)->title = QString::fromUtf8(text);
    }
    static void appId(void* data, zwlr_foreign_toplevel_handle_v1*, const char* text)
    {
        of(data)->appId = QString::fromUtf8(text);
    }
    static void outputEnter(void*, zwlr_foreign_toplevel_handle_v1*, wl_output*) {}
    static void outputLeave(void*, zwlr_foreign_toplevel_handle_v1*, wl_output*) {}
    static void state(void* data, zwlr_foreign_toplevel_handle_v1*, wl_array* states)
    {
        Toplevel* t = of(data);
        t->pendingActivated = false;
        t->pendingMinimized = false;
        const auto* values = static_cast<const std::uint32_t*>(states->data);
        for (std::size_t i = 0; i < states->size / sizeof(std::uint32_t); ++i) {
            if (values[i] == ZWLR_FOREIGN_TOPLEVEL_HANDLE_V1_STATE_ACTIVATED)
                t->pendingActivated = true;
            if (values[i] == ZWLR_FOREIGN_TOPLEVEL_HANDLE_V1_STATE_MINIMIZED)
                t->pendingMinimized = true;
        }
    }
    static void done(void* data, zwlr_foreign_toplevel_handle_v1*);
    static void closed(void* data, zwlr_foreign_toplevel_handle_v1* handle);
    static void parent(void* data, zwlr_foreign_toplevel_handle_v1*,
                       zwlr_foreign_toplevel_handle_v1* parent);
    static const zwlr_foreign_toplevel_handle_v1_listener listener;
};

const zwlr_foreign_toplevel_handle_v1_listener ToplevelEvents::listener = {
    ToplevelEvents::title,  ToplevelEvents::appId,  ToplevelEvents::outputEnter,
    ToplevelEvents::outputLeave, ToplevelEvents::state, ToplevelEvents::done,
    ToplevelEvents::closed, ToplevelEvents::parent,
};

void ToplevelEvents::done(void* data, zwlr_foreign_toplevel_handle_v1*)
{
    Toplevel* t = of(data);
    if (t->pendingActivated && (!t->activated || t->lastActivated == 0)) {
        t->lastActivated = ++t->owner->sequence_;
        t->activatedAt = std::chrono::steady_clock::now();
    }
    t->activated = t->pendingActivated;
    t->minimized = t->pendingMinimized;
    t->described = true;
}

void ToplevelEvents::closed(void* data, zwlr_foreign_toplevel_handle_v1* handle)
{
    Toplevel* t = of(data);
    t->closed = true;
    t->activated = false;
    t->handle = nullptr;
    zwlr_foreign_toplevel_handle_v1_destroy(handle);
}

void ToplevelEvents::parent(void* data, zwlr_foreign_toplevel_handle_v1*,
                            zwlr_foreign_toplevel_handle_v1* parent)
{
    Toplevel* t = of(data);
    t->parent = parent ? t->owner->find(parent) : nullptr;
    if (t->parent)
        t->owner->reportsParents_ = true;
}

std::unique_ptr<WaylandDisplay> WaylandDisplay::connect(bool* silent)
{
    if (silent)
        *silent = false;
    std::unique_ptr<WaylandDisplay> self(new WaylandDisplay);
    if (!self->connected())
        return nullptr;
    self->listenToGlobals(onGlobal, self.get());
    // The first round trip brings the globals, the second the windows.
    if (!self->roundtrip() || !self->roundtrip()) {
        if (silent)
            *silent = self->silent();
        return nullptr;
    }
    return self;
}

WaylandDisplay::~WaylandDisplay()
{
    for (Toplevel& t : list_)
        if (t.handle)
            zwlr_foreign_toplevel_handle_v1_destroy(t.handle);
    if (toplevels_) {
        // Its "finished" will not be read: the proxy goes now.
        zwlr_foreign_toplevel_manager_v1_stop(toplevels_);
        zwlr_foreign_toplevel_manager_v1_destroy(toplevels_);
    }
    if (keyboards_)
        zwp_virtual_keyboard_manager_v1_destroy(keyboards_);
    if (seat_)
        wl_seat_destroy(seat_);
}

void WaylandDisplay::onGlobal(void* data, wl_registry* registry, std::uint32_t name,
                              const char* interface, std::uint32_t version)
{
    auto* self = static_cast<WaylandDisplay*>(data);
    if (std::strcmp(interface, wl_seat_interface.name) == 0 && !self->seat_) {
        self->seat_ = bind<wl_seat>(registry, name, &wl_seat_interface, version, seatVersion);
    } else if (std::strcmp(interface, zwp_virtual_keyboard_manager_v1_interface.name) == 0) {
        self->keyboards_ = bind<zwp_virtual_keyboard_manager_v1>(
            registry, name, &zwp_virtual_keyboard_manager_v1_interface, version, 1);
    } else if (std::strcmp(interface, zwlr_foreign_toplevel_manager_v1_interface.name) == 0) {
        self->toplevels_ = bind<zwlr_foreign_toplevel_manager_v1>(
            registry, name, &zwlr_foreign_toplevel_manager_v1_interface, version,
            toplevelVersion);
        static const zwlr_foreign_toplevel_manager_v1_listener listener = {onToplevel,
                                                                           onFinished};
        zwlr_foreign_toplevel_manager_v1_add_listener(self->toplevels_, &listener, self);
    }
}

void WaylandDisplay::onToplevel(void* data, zwlr_foreign_toplevel_manager_v1*,
                                zwlr_foreign_toplevel_handle_v1* handle)
{
    auto* self = static_cast<WaylandDisplay*>(data);
    Toplevel& t = self->list_.emplace_back();
    t.handle = handle;
    t.owner = self;
    t.created = ++self->sequence_;
    zwlr_foreign_toplevel_handle_v1_add_listener(handle, &ToplevelEvents::listener, &t);
}

void WaylandDisplay::onFinished(void* data, zwlr_foreign_toplevel_manager_v1* manager)
{
    auto* self = static_cast<WaylandDisplay*>(data);
    zwlr_foreign_toplevel_manager_v1_destroy(manager);
    self->toplevels_ = nullptr;
}

Toplevel* WaylandDisplay::find(zwlr_foreign_toplevel_handle_v1* handle)
{
    for (Toplevel& t : list_)
        if (t.handle == handle)
            return &t;
    return nullptr;
}

const Toplevel* WaylandDisplay::activeToplevel() const
{
    for (const Toplevel& t : list_)
        if (t.activated && !t.closed)
            return &t;
    return nullptr;
}

void WaylandDisplay::forgetClosed()
{
    list_.remove_if([](const Toplevel& t) { return t.closed; });
}

} // namespace keys::wayland
