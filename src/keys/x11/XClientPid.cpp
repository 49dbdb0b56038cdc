// SPDX-License-Identifier: MIT
// The process behind an X client, asked of the server through the
// X-Resource extension. Apart from the rest of XConnection: Xlib's internal
// header, which sending a request of an extension takes, defines min and max.
#include "keys/x11/XConnection.h"

#include <vector>

#include <X11/Xlibint.h>
#include <X11/extensions/XResproto.h>

namespace keys::x11 {

// Xlib's request macros are written with C casts.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wold-style-cast"
std::optional<long> XConnection::clientPid(Window w)
{
    if (resOpcode_ == 0) {
        int event, error;
        if (!XQueryExtension(dpy_, XRES_NAME, &resOpcode_, &event, &error))
            resOpcode_ = -1;
    }
    if (resOpcode_ < 0)
        return std::nullopt;
    // The request macros name the connection dpy.
    Display* const dpy = dpy_;
    ErrorTrap errors(dpy);
    std::optional<long> pid;
    LockDisplay(dpy);
    xXResQueryClientIdsReq* request;
    GetReq(XResQueryClientIds, request);
    request->reqType = static_cast<CARD8>(resOpcode_);
    request->XResReqType = X_XResQueryClientIds;
    request->length += sz_xXResClientIdSpec / 4;
    request->numSpecs = 1;
    const CARD32 query[2] = {static_cast<CARD32>(w), X_XResLocalClientPIDMask};
    Data(dpy, reinterpret_cast<const char*>(query), sizeof query);
    xXResQueryClientIdsReply reply;
    if (_XReply(dpy, reinterpret_cast<xReply*>(&reply), 0, xFalse)) {
        std::vector<CARD32> words(reply.length);
        _XRead(dpy, reinterpret_cast<char*>(words.data()),
               static_cast<long>(words.size() * sizeof(CARD32)));
        // Each value: what was asked (client, mask), its length in bytes, then
        // the value itself.
        for (std::size_t i = 0; i + 3 <= words.size();) {
            const CARD32 mask = words[i + 1];
            const std::size_t length = words[i + 2] / 4;
            if (mask == X_XResLocalClientPIDMask && length == 1 && i + 3 < words.size())
                pid = static_cast<long>(words[i + 3]);
            i += 3 + length;
        }
    }
    UnlockDisplay(dpy);
    SyncHandle();
    if (errors.check() != Success)
        return std::nullopt;
    if (pid && *pid <= 0)
        pid.reset();
    return pid;
}
#pragma GCC diagnostic pop


} // namespace keys::x11
