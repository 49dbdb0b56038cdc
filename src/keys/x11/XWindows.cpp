// SPDX-License-Identifier: MIT
// Qt before Xlib: Xlib's macros clash with Qt's names.
#include <QElapsedTimer>
#include <QThread>

#include "keys/x11/XWindows.h"
#include "keys/TitleRule.h"
#include "keys/x11/XTarget.h"

#include <QSysInfo>

#include <X11/Xatom.h>
#include <X11/Xutil.h>

#include <algorithm>
#include <unistd.h>

namespace keys::x11 {

namespace {

long wmState(XConnection& x, Window w)
{
    const Atom state = x.atom("WM_STATE");
    const std::vector<unsigned long> values = x.cardinals(w, state, state);
    return values.empty() ? -1 : static_cast<long>(values.front());
}

bool isHidden(XConnection& x, Window w)
{
    const Atom hidden = x.atom("_NET_WM_STATE_HIDDEN");
    const std::vector<unsigned long> states = x.cardinals(w, x.atom("_NET_WM_STATE"), XA_ATOM);
    return std::find(states.begin(), states.end(), hidden) != states.end();
}

// Beneath a frame of a window manager without a client list: the window
// that carries WM_STATE.
Window clientInside(XConnection& x, Window frame, int depth)
{
    if (wmState(x, frame) >= 0)
        return frame;
    if (depth == 0)
        return None;
    Window rootReturn, parent, *children = nullptr;
    unsigned int count = 0;
    Window found = None;
    if (XQueryTree(x.dpy(), frame, &rootReturn, &parent, &children, &count)) {
        for (unsigned int i = 0; i < count && found == None; ++i)
            found = clientInside(x, children[i], depth - 1);
        if (children)
            XFree(children);
    }
    return found;
}

std::vector<ClientWindow> fromClientList(XConnection& x, const std::vector<unsigned long>& ids)
{
    std::vector<ClientWindow> windows;
    for (unsigned long id : ids) {
        const long state = wmState(x, id);
        if (state == WithdrawnState)
            continue;
        windows.push_back({id, x.title(id), state == IconicState || isHidden(x, id)});
    }
    return windows;
}

std::vector<ClientWindow> fromWindowTree(XConnection& x)
{
    std::vector<ClientWindow> windows;
    Window rootReturn, parent, *children = nullptr;
    unsigned int count = 0;
    if (!XQueryTree(x.dpy(), x.root(), &rootReturn, &parent, &children, &count))
        return windows;
    for (unsigned int i = 0; i < count; ++i) {
        XWindowAttributes attrs;
        if (!XGetWindowAttributes(x.dpy(), children[i], &attrs) || attrs.override_redirect
            || attrs.c_class == InputOnly)
            continue;
        Window client = clientInside(x, children[i], 2);
        if (client == None)
            client = children[i];
        const bool iconic = wmState(x, client) == IconicState;
        if (attrs.map_state != IsViewable && !iconic)
            continue;
        windows.push_back({client, x.title(client), iconic});
    }
    if (children)
        XFree(children);
    return windows;
}

void requestActivation(XConnection& x, const ClientWindow& window)
{
    if (window.iconic)
        XMapWindow(x.dpy(), window.id); // asks for the normal state again
    const std::vector<unsigned long> active =
        x.cardinals(x.root(), x.atom("_NET_ACTIVE_WINDOW"), XA_WINDOW);
    XEvent event{};
    event.xclient.type = ClientMessage;
    event.xclient.window = window.id;
    event.xclient.message_type = x.atom("_NET_ACTIVE_WINDOW");
    event.xclient.format = 32;
    event.xclient.data.l[0] = 2; // a request on the user's behalf, like a pager's
    event.xclient.data.l[1] = static_cast<long>(x.serverTime());
    event.xclient.data.l[2] = active.empty() ? 0 : static_cast<long>(active.front());
    XSendEvent(x.dpy(), x.root(), False, SubstructureRedirectMask | SubstructureNotifyMask,
               &event);
    XFlush(x.dpy());
}

// Without a window manager: map, raise and focus it ourselves. Focusing
// fails until the window is viewable, so this is repeated until it holds.
void focusDirectly(XConnection& x, const ClientWindow& window)
{
    XMapRaised(x.dpy(), window.id);
    XWindowAttributes attrs;
    if (XGetWindowAttributes(x.dpy(), window.id, &attrs) && attrs.map_state == IsViewable)
        XSetInputFocus(x.dpy(), window.id, RevertToParent, CurrentTime);
    XSync(x.dpy(), False);
}

} // namespace

Window windowManagerCheck(XConnection& x)
{
    const Atom check = x.atom("_NET_SUPPORTING_WM_CHECK");
    const std::vector<unsigned long> wm = x.cardinals(x.root(), check, XA_WINDOW);
    if (wm.empty() || wm.front() == None)
        return None;
    const std::vector<unsigned long> self = x.cardinals(wm.front(), check, XA_WINDOW);
    return !self.empty() && self.front() == wm.front() ? wm.front() : None;
}

bool hasWindowManager(XConnection& x)
{
    return windowManagerCheck(x) != None;
}

Window clientInFrame(XConnection& x, Window topLevel)
{
    return clientInside(x, topLevel, 2);
}

std::vector<ClientWindow> clientWindows(XConnection& x)
{
    if (hasWindowManager(x)) {
        std::vector<unsigned long> ids =
            x.cardinals(x.root(), x.atom("_NET_CLIENT_LIST_STACKING"), XA_WINDOW);
        if (ids.empty())
            ids = x.cardinals(x.root(), x.atom("_NET_CLIENT_LIST"), XA_WINDOW);
        if (!ids.empty())
            return fromClientList(x, ids);
    }
    return fromWindowTree(x);
}

std::optional<ClientWindow> pickByTitle(const std::vector<ClientWindow>& bottomToTop,
                                        const QString& title)
{
    const std::optional<std::size_t> picked =
        keys::pickByTitle(bottomToTop, title, [](const ClientWindow& w) { return w.title; });
    if (!picked)
        return std::nullopt;
    return bottomToTop[*picked];
}

bool focusIsIn(XConnection& x, Window window)
{
    Window focus;
    int revert;
    XGetInputFocus(x.dpy(), &focus, &revert);
    return focus == window || x.isInside(focus, window);
}

bool isOwnWindow(XConnection& x, Window window)
{
    if (x.clientBase(window) == x.clientBase(x.ownWindow()))
        return true;
    const std::vector<unsigned long> pid =
        x.cardinals(window, x.atom("_NET_WM_PID"), XA_CARDINAL);
    if (pid.empty() || static_cast<pid_t>(pid.front()) != getpid())
        return false;
    XTextProperty text;
    QString machine;
    if (XGetWMClientMachine(x.dpy(), window, &text) && text.value) {
        machine = QString::fromLatin1(reinterpret_cast<const char*>(text.value),
                                      static_cast<qsizetype>(text.nitems));
        XFree(text.value);
    }
    return machine.isEmpty() || machine == QSysInfo::machineHostName();
}

// The topmost shown dialog of the target, if any. Without a window manager
// nobody hands the focus on to it, and a window behind a modal dialog
// ignores its keys.
std::optional<ClientWindow> openDialogOf(XConnection& x, Target& target)
{
    const std::vector<ClientWindow> windows = clientWindows(x);
    for (auto it = windows.rbegin(); it != windows.rend(); ++it)
        if (!it->iconic && it->id != target.client() && target.isDialogOfTarget(it->id))
            return *it;
    return std::nullopt;
}

Window activate(XConnection& x, const ClientWindow& window, int timeoutMs)
{
    const bool managed = hasWindowManager(x);
    Target target(x, window.id);
    const std::optional<ClientWindow> dialog =
        managed ? std::nullopt : openDialogOf(x, target);
    Window lastFocus = None;
    QElapsedTimer clock;
    clock.start();
    qint64 lastRequest = 0;
    if (managed)
        requestActivation(x, window);
    for (;;) {
        if (!managed) {
            focusDirectly(x, window);
            if (dialog)
                focusDirectly(x, *dialog);
        }
        Window focus;
        int revert;
        XGetInputFocus(x.dpy(), &focus, &revert);
        if (focus == window.id || x.isInside(focus, window.id))
            return window.id;
        if (focus != lastFocus) {
            lastFocus = focus;
            const Window client = clientWindowOf(x, focus);
            if (client != None && target.isDialogOfTarget(client))
                return client;
        }
        const qint64 elapsed = clock.elapsed();
        if (elapsed >= timeoutMs)
            return None;
        // A window manager busy mapping the window may drop the first request.
        if (managed && elapsed - lastRequest >= 500) {
            lastRequest = elapsed;
            if (elapsed > 0)
                requestActivation(x, window);
        }
        QThread::usleep(elapsed < 50 ? 200 : 2000);
    }
}

} // namespace keys::x11
