// SPDX-License-Identifier: MIT
#include "keys/wayland/XwaylandMapping.h"
#include "keys/wayland/Deadline.h"

#include <xcb/xcb.h>
#include <xcb/xcbext.h>

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

bool XwaylandMapping::sync(std::chrono::milliseconds limit)
{
    const Clock::time_point end = Clock::now() + limit;
    const xcb_get_input_focus_cookie_t cookie = xcb_get_input_focus(connection_);
    xcb_flush(connection_);
    for (;;) {
        void* reply = nullptr;
        xcb_generic_error_t* error = nullptr;
        if (xcb_poll_for_reply(connection_, cookie.sequence, &reply, &error)) {
            std::free(reply);
            std::free(error);
            return reply != nullptr;
        }
        if (!waitForInput(end))
            return false;
    }
}

bool XwaylandMapping::waitForInput(Clock::time_point end)
{
    if (xcb_connection_has_error(connection_))
        return false;
    pollfd p{xcb_get_file_descriptor(connection_), POLLIN, 0};
    if (poll(&p, 1, msUntil(end)) <= 0)
        return false;
    // Reading the events also reads the replies that came with them.
    takeEvents();
    return true;
}

void XwaylandMapping::takeEvents()
{
    while (xcb_generic_event_t* event = xcb_poll_for_event(connection_)) {
        // Every client hears of a keyboard mapping change, asked or not.
        if ((event->response_type & 0x7f) == XCB_MAPPING_NOTIFY)
            changed_ = true;
        std::free(event);
    }
}

void XwaylandMapping::forgetChanges()
{
    sync(std::chrono::milliseconds(answerTimeoutMs));
    takeEvents();
    changed_ = false;
}

bool XwaylandMapping::awaitChange(std::chrono::milliseconds limit)
{
    const Clock::time_point end = Clock::now() + limit;
    takeEvents();
    while (!changed_)
        if (!waitForInput(end))
            return false;
    return true;
}

} // namespace keys::wayland
