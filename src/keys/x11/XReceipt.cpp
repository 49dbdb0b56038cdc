// SPDX-License-Identifier: MIT
// Qt before Xlib: Xlib's macros clash with Qt's names.
#include <QString>

#include "keys/x11/XReceipt.h"
#include "keys/KeyErrorTexts.h"
#include "keys/KeySender.h"
#include "keys/x11/XSpareKeys.h"
#include "keys/x11/XWindows.h"
#include "keys/process/TargetProcess.h"

#include <X11/Xatom.h>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <thread>
#include <unistd.h>

namespace keys::x11 {

namespace {

using State = process::ReadReceipt::State;

QStringList addressesOf(XConnection& x)
{
    return process::xDisplayAddresses(QString::fromLocal8Bit(DisplayString(x.dpy())));
}

// A target that has not handled its keys this long may be one that keeps
// working: then a probe tells.
constexpr auto probeAfter = std::chrono::milliseconds(20);

void sleepBriefly()
{
    std::this_thread::sleep_for(std::chrono::microseconds(300));
}

bool nowhere(XConnection& x, Window focus)
{
    return focus == None || focus == PointerRoot || focus == x.root();
}

// Ping numbers: unique within the process, and far from the small numbers
// a window manager counts its own pings with.
long nextPingStamp()
{
    static std::atomic<long> next{0x54590000L + ((static_cast<long>(getpid()) & 0xffff) << 8)};
    return ++next;
}

// Something harmless for a client's own connection: a message of a type
// nobody knows, which toolkits pass over.
void sendProbe(XConnection& x, Window window)
{
    XEvent event{};
    event.xclient.type = ClientMessage;
    event.xclient.window = window;
    event.xclient.message_type = x.atom("_TYPOMAT_PROBE");
    event.xclient.format = 32;
    // Without an event mask the event goes to the client that made the window.
    XSendEvent(x.dpy(), window, False, NoEventMask, &event);
    XSync(x.dpy(), False);
}

void stopIfAsked()
{
    if (SpareKeys::stopRequested())
        throw KeyError(errors::typingStoppedBySignal());
}

} // namespace

Receipt::Receipt(XConnection& x, Target& target, const Pace& pace)
    : x_(x), target_(target), pace_(pace), managed_(hasWindowManager(x))
{
    const QStringList addresses = addressesOf(x_);
    if (target_.localPid() > 0) {
        process_.emplace(target_.localPid(), addresses);
        if (!process_->visible())
            process_.reset();
        else
            typedTextRest_ = process_->typedTextRest();
    }
    // A map request of the target goes to the window manager, which maps
    // the window when it has read it.
    if (const Window check = windowManagerCheck(x_)) {
        const long pid = x_.clientPid(check).value_or(0);
        if (pid > 0 && pid != getpid()) {
            windowManager_.emplace(pid, addresses);
            if (!windowManager_->visible())
                windowManager_.reset();
        }
    }
    // Windows mapped on the screen; answers to pings, which toolkits send to
    // the root window with either mask.
    XSelectInput(x_.dpy(), x_.root(), SubstructureNotifyMask | StructureNotifyMask);
    XSync(x_.dpy(), False);
    readEvents();
    findOpenPopups();
    sentAt_ = Clock::now();
}

Receipt::~Receipt()
{
    XSelectInput(x_.dpy(), x_.root(), NoEventMask);
    XSync(x_.dpy(), False);
    // Nothing else reads them: they would pile up in Xlib's queue.
    readEvents();
}

void Receipt::sent(std::size_t keys)
{
    readEvents();
    sentAt_ = Clock::now();
    keysSinceRead_ += keys;
    probeSent_ = false;
    mapped_.clear();
    if (process_)
        process_->sent();
    if (windowManager_)
        windowManager_->sent();
}

bool Receipt::popupOpen()
{
    readEvents();
    return !popups_.empty();
}

Window Receipt::currentFocus()
{
    Window focus;
    int revert;
    XGetInputFocus(x_.dpy(), &focus, &revert);
    return focus;
}

// Menus and popups bypass the window manager: an override-redirect window
// of the target's own client, mapped where it can be seen. Tiny or
// off-screen ones are helpers, not popups.
void Receipt::notePopup(Window w, bool mapped)
{
    if (!mapped) {
        popups_.erase(w);
        return;
    }
    if (!target_.madeByTarget(w))
        return;
    XWindowAttributes a;
    if (!XGetWindowAttributes(x_.dpy(), w, &a) || a.c_class == InputOnly || a.width <= 1
        || a.height <= 1)
        return;
    XWindowAttributes root;
    if (!XGetWindowAttributes(x_.dpy(), x_.root(), &root))
        return;
    if (a.x + a.width <= 0 || a.y + a.height <= 0 || a.x >= root.width || a.y >= root.height)
        return;
    popups_.insert(w);
}

void Receipt::findOpenPopups()
{
    Window rootReturn, parent, *children = nullptr;
    unsigned int count = 0;
    if (!XQueryTree(x_.dpy(), x_.root(), &rootReturn, &parent, &children, &count))
        return;
    for (unsigned int i = 0; i < count; ++i) {
        if (!target_.madeByTarget(children[i]))
            continue;
        XWindowAttributes a;
        if (XGetWindowAttributes(x_.dpy(), children[i], &a) && a.override_redirect
            && a.map_state == IsViewable)
            notePopup(children[i], true);
    }
    if (children)
        XFree(children);
}

void Receipt::readEvents()
{
    const Atom protocols = x_.atom("WM_PROTOCOLS");
    const Atom pingAtom = x_.atom("_NET_WM_PING");
    while (XPending(x_.dpy())) {
        XEvent event;
        XNextEvent(x_.dpy(), &event);
        switch (event.type) {
        case MapNotify: {
            if (event.xmap.event != x_.root())
                break;
            const Window w = event.xmap.window;
            if (event.xmap.override_redirect) {
                notePopup(w, true);
                break;
            }
            // A window the target created or showed again. One it creates
            // and never maps (a clipboard window) tells nothing.
            Window client = clientInFrame(x_, w);
            if (client == None && !managed_)
                client = w;
            if (client != None && target_.owns(client))
                mapped_.push_back({client, Clock::now()});
            break;
        }
        case UnmapNotify:
            notePopup(event.xunmap.window, false);
            break;
        case DestroyNotify:
            notePopup(event.xdestroywindow.window, false);
            break;
        case ClientMessage:
            if (event.xclient.message_type == protocols
                && static_cast<Atom>(event.xclient.data.l[0]) == pingAtom
                && event.xclient.data.l[1] == pingStamp_
                && static_cast<Window>(event.xclient.data.l[2]) == target_.client())
                pingAnswered_ = true;
            break;
        default:
            break;
        }
    }
}

// The answer comes to the root window, where readEvents() sees it.
void Receipt::ping()
{
    pingStamp_ = nextPingStamp();
    pingAnswered_ = false;
    XEvent event{};
    event.xclient.type = ClientMessage;
    event.xclient.window = target_.client();
    event.xclient.message_type = x_.atom("WM_PROTOCOLS");
    event.xclient.format = 32;
    event.xclient.data.l[0] = static_cast<long>(x_.atom("_NET_WM_PING"));
    event.xclient.data.l[1] = pingStamp_;
    event.xclient.data.l[2] = static_cast<long>(target_.client());
    XSendEvent(x_.dpy(), target_.client(), False, NoEventMask, &event);
    XFlush(x_.dpy());
}

bool Receipt::pendingNewWindow(Window focusClient, Clock::time_point now) const
{
    for (const Mapped& m : mapped_)
        if (m.client != focusClient && now - m.at < std::chrono::milliseconds(pace_.newWindowMs))
            return true;
    return false;
}

bool Receipt::dialogStillOpen(Window dialog)
{
    XWindowAttributes a;
    return XGetWindowAttributes(x_.dpy(), dialog, &a) && a.map_state == IsViewable;
}

// A target with one thread that stays busy (a terminal under heavy
// output) never looks idle: a probe shows whether it came back for more
// events after handling the keys.
void Receipt::probeIfBusy(State state, Clock::time_point now)
{
    if (probeSent_ || state != State::Handling || now - sentAt_ < probeAfter)
        return;
    if (!probeable_)
        probeable_ = process_->canBeProbed();
    if (!*probeable_)
        return;
    sendProbe(x_, target_.client());
    process_->probed();
    probeSent_ = true;
}

Receipt::Outcome Receipt::awaitHandled(Window closingDialog)
{
    const Window dialog = closingDialog;
    const bool pinging = !process_ && target_.answersPings();
    if (pinging)
        ping();
    Clock::time_point handledSince{}; // {}: not yet
    Clock::time_point readSince{}; // {}: not yet
    bool focusGivenBack = false;
    Window lastFocus = None;
    Window focusClient = None;
    for (;;) {
        stopIfAsked();
        const Clock::time_point now = Clock::now();
        const auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(now - sentAt_);
        bool handled;
        bool working; // the target has just done something
        if (process_) {
            const State state = process_->look();
            if (state == State::Gone)
                return Outcome::Closed;
            probeIfBusy(state, now);
            if (state < State::Read)
                readSince = {};
            else if (readSince == Clock::time_point{})
                readSince = now;
            working = state < State::Working;
            handled = state == State::Settled || state == State::Working
                || (readSince != Clock::time_point{} && now - readSince >= std::chrono::milliseconds(pace_.busyGraceMs));
        } else {
            readEvents();
            handled = elapsed.count() >= pace_.commandPauseMs && (!pinging || pingAnswered_);
            working = !handled;
        }
        // A window the target asks to be shown is mapped by the window
        // manager once it has read the request: it must have been idle
        // since the target was last seen at work.
        bool windowManagerDone = !working;
        if (windowManager_ && working) {
            windowManager_->sent();
        } else if (windowManager_) {
            const State wm = windowManager_->look();
            windowManagerDone = wm >= State::Working || wm <= State::Gone;
        }
        const bool done = handled && windowManagerDone;
        if (done)
            XSync(x_.dpy(), False); // what the server did meanwhile reaches readEvents()
        readEvents();
        const Window focus = currentFocus();
        // A closed dialog leaves the focus with no window for a moment,
        // until its application (or the window manager) gives it on.
        if (nowhere(x_, focus) && elapsed.count() < pace_.newWindowMs) {
            // Without a window manager nobody does: give it back to the
            // window that was activated, as activation does.
            if (elapsed.count() >= 20 && !focusGivenBack && !managed_) {
                XSetInputFocus(x_.dpy(), target_.client(), RevertToParent, CurrentTime);
                focusGivenBack = true;
            }
            sleepBriefly();
            continue;
        }
        if (focus != lastFocus) {
            lastFocus = focus;
            focusClient = clientWindowOf(x_, focus);
        }
        if (done && !pendingNewWindow(focusClient, now) && elapsed.count() >= pace_.floorMs) {
            if (handledSince == Clock::time_point{})
                handledSince = now;
            const bool dialogOpen =
                dialog != None && focusClient == dialog && dialogStillOpen(dialog);
            if (!dialogOpen
                || now - handledSince >= std::chrono::milliseconds(pace_.dialogCloseMs)) {
                return Outcome::Answered;
            }
        }
        if (elapsed.count() >= pace_.stallLimitMs)
            return handled ? Outcome::Answered : Outcome::NoAnswer;
        sleepBriefly();
    }
}

Receipt::Outcome Receipt::awaitBeforeDialogKey()
{
    const Clock::time_point rested = sentAt_ + typedTextRest_;
    while (Clock::now() < rested) {
        stopIfAsked();
        sleepBriefly();
    }
    return awaitHandled(None);
}

Receipt::Outcome Receipt::awaitRead(bool busyCounts)
{
    if (!process_) {
        if (!target_.answersPings())
            return Outcome::Unknowable;
        ping();
        for (;;) {
            stopIfAsked();
            readEvents();
            if (pingAnswered_) {
                keysSinceRead_ = 0;
                return Outcome::Answered;
            }
            if (Clock::now() - sentAt_ >= std::chrono::milliseconds(pace_.stallLimitMs))
                return Outcome::NoAnswer;
            sleepBriefly();
        }
    }
    // Read, but not yet idle for the quiet time: the server may still be
    // handing it events, or it keeps working.
    Clock::time_point readSince{}; // {}: not yet
    for (;;) {
        stopIfAsked();
        const Clock::time_point now = Clock::now();
        const State state = process_->look();
        if (state == State::Gone)
            return Outcome::Closed;
        if (state == State::Settled) {
            keysSinceRead_ = 0;
            return Outcome::Answered;
        }
        if (state < State::Read)
            readSince = {};
        else if (readSince == Clock::time_point{})
            readSince = now;
        if (readSince != Clock::time_point{} && now - readSince >= std::chrono::milliseconds(pace_.busyGraceMs)) {
            keysSinceRead_ = 0;
            return busyCounts ? Outcome::Busy : Outcome::Answered;
        }
        if (busyCounts) {
            if (state == State::Working)
                return Outcome::Busy;
            probeIfBusy(state, now);
        }
        if (now - sentAt_ >= std::chrono::milliseconds(pace_.stallLimitMs))
            return Outcome::NoAnswer;
        sleepBriefly();
    }
}

void Receipt::pauseForUnseenReader()
{
    const double ms =
        pace_.roundSettleMs + pace_.settleMsPerKey * static_cast<double>(keysSinceRead_);
    std::this_thread::sleep_for(std::chrono::microseconds(static_cast<long long>(ms * 1000)));
    keysSinceRead_ = 0;
}

Receipt::Outcome Receipt::hasRead(XConnection& x, long pid, int limitMs)
{
    process::ReadReceipt process(pid, addressesOf(x));
    if (!process.visible())
        return process::processEnded(pid) ? Outcome::Closed : Outcome::Unknowable;
    switch (process.await(State::Settled, std::chrono::milliseconds(limitMs))) {
    case State::Gone:
        return Outcome::Closed;
    case State::Settled:
        return Outcome::Answered;
    default:
        return Outcome::NoAnswer;
    }
}

} // namespace keys::x11
