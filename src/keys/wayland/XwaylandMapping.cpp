// SPDX-License-Identifier: MIT
#include "keys/wayland/XwaylandMapping.h"

#include <xcb/xcb.h>

#include <cstdlib>
#include <poll.h>

namespace keys::wayland {

std::unique_ptr<XwaylandMapping> XwaylandMapping::connect()
{
    xcb_connection_t* connection = xcb_connect(nullptr, nullptr);
    if (xcb_connection_has_error(connection)) {
        xcb_disconnect(connection);
        return nullptr;
    }
    return std::unique_ptr<XwaylandMapping>(new XwaylandMapping(connection));
}

XwaylandMapping::~XwaylandMapping()
{
    xcb_disconnect(connection_);
}

bool XwaylandMapping::sync()
{
    xcb_get_input_focus_reply_t* reply =
        xcb_get_input_focus_reply(connection_, xcb_get_input_focus(connection_), nullptr);
    std::free(reply);
    return reply != nullptr;
}

bool XwaylandMapping::takeEvents()
{
    bool changed = false;
    while (xcb_generic_event_t* event = xcb_poll_for_event(connection_)) {
        // Every client hears of a keyboard mapping change, asked or not.
        if ((event->response_type & 0x7f) == XCB_MAPPING_NOTIFY)
            changed = true;
        std::free(event);
    }
    return changed;
}

void XwaylandMapping::forgetChanges()
{
    sync();
    takeEvents();
}

bool XwaylandMapping::awaitChange(std::chrono::milliseconds limit)
{
    using Clock = std::chrono::steady_clock;
    const Clock::time_point end = Clock::now() + limit;
    for (;;) {
        if (takeEvents())
            return true;
        if (xcb_connection_has_error(connection_))
            return false;
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - Clock::now());
        if (left.count() <= 0)
            return false;
        pollfd p{xcb_get_file_descriptor(connection_), POLLIN, 0};
        poll(&p, 1, static_cast<int>(left.count()));
    }
}

} // namespace keys::wayland
