// Qt before Xlib: Xlib's macros clash with Qt's names.
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QSysInfo>

#include "keys/x11/XTarget.h"

#include <X11/Xatom.h>
#include <X11/Xutil.h>

#include <algorithm>
#include <poll.h>
#include <unistd.h>

namespace keys::x11 {

namespace {

Window transientFor(XConnection& x, Window w)
{
    Window owner = None;
    return XGetTransientForHint(x.dpy(), w, &owner) ? owner : None;
}

Window windowGroup(XConnection& x, Window w)
{
    XWMHints* hints = XGetWMHints(x.dpy(), w);
    Window group = None;
    if (hints) {
        if (hints->flags & WindowGroupHint)
            group = hints->window_group;
        XFree(hints);
    }
    return group;
}

QString clientMachine(XConnection& x, Window w)
{
    XTextProperty text;
    QString machine;
    if (XGetWMClientMachine(x.dpy(), w, &text) && text.value) {
        machine = QString::fromLatin1(reinterpret_cast<const char*>(text.value),
                                      static_cast<qsizetype>(text.nitems));
        XFree(text.value);
    }
    return machine;
}

bool listsPing(XConnection& x, Window w)
{
    Atom* protocols = nullptr;
    int count = 0;
    bool found = false;
    if (XGetWMProtocols(x.dpy(), w, &protocols, &count) && protocols) {
        const Atom ping = x.atom("_NET_WM_PING");
        found = std::find(protocols, protocols + count, ping) != protocols + count;
        XFree(protocols);
    }
    return found;
}

Window first(const std::vector<unsigned long>& values)
{
    return values.empty() ? None : values.front();
}

} // namespace

Window clientWindowOf(XConnection& x, Window w)
{
    const Atom wmState = x.atom("WM_STATE");
    Window topLevel = None;
    while (w != None && w != PointerRoot && w != x.root()) {
        if (!x.cardinals(w, wmState, wmState).empty())
            return w;
        topLevel = w;
        w = x.parentOf(w);
    }
    return w == x.root() ? topLevel : None;
}

Target::Target(XConnection& x, Window client) : x_(x), client_(clientWindowOf(x, client))
{
    if (client_ == None)
        client_ = client;
    target_ = factsOf(client_);
    owned_[client_] = true;
    answersPings_ = listsPing(x_, client_);
    // A sandboxed application reports the process id of its own namespace,
    // which here may name another user's (the system's) process.
    const QFileInfo process(QStringLiteral("/proc/%1").arg(target_.pid));
    if (target_.pid > 0 && target_.machine == QSysInfo::machineHostName() && process.exists()
        && process.ownerId() == getuid())
        localPid_ = target_.pid;
}

Target::~Target()
{
    if (watching_) {
        XSelectInput(x_.dpy(), x_.root(), NoEventMask);
        XSync(x_.dpy(), False);
        // Nothing else reads them: they would pile up in Xlib's queue.
        readEvents();
    }
}

Target::Facts Target::factsOf(Window client)
{
    Facts facts;
    facts.base = x_.clientBase(client);
    facts.leader = first(x_.cardinals(client, x_.atom("WM_CLIENT_LEADER"), XA_WINDOW));
    facts.group = windowGroup(x_, client);
    facts.transientFor = transientFor(x_, client);
    const std::vector<unsigned long> pid =
        x_.cardinals(client, x_.atom("_NET_WM_PID"), XA_CARDINAL);
    facts.pid = pid.empty() ? 0 : static_cast<long>(pid.front());
    facts.machine = clientMachine(x_, client);
    return facts;
}

bool Target::isOwnedBase(Window w)
{
    return x_.clientBase(w) == target_.base;
}

bool Target::isTargetOrGroup(Window w)
{
    return w == client_ || (target_.group != None && w == target_.group);
}

bool Target::transientChainReaches(Window client, bool (Target::*stop)(Window))
{
    Window w = client;
    for (int depth = 0; depth < 8; ++depth) {
        const Window owner = transientFor(x_, w);
        if (owner == None || owner == w)
            return false;
        if ((this->*stop)(owner))
            return true;
        w = owner;
    }
    return false;
}

bool Target::owns(Window client)
{
    if (client == None)
        return false;
    auto known = owned_.find(client);
    if (known != owned_.end())
        return known->second;
    const Facts facts = factsOf(client);
    const bool samePid = facts.pid > 0 && facts.pid == target_.pid
        && facts.machine == target_.machine;
    const bool sameLeader = facts.leader != None && facts.leader == target_.leader;
    const bool ours = isOwnedBase(client) || samePid || sameLeader
        || transientChainReaches(client, &Target::isOwnedBase)
        || transientChainReaches(client, &Target::isTargetOrGroup);
    owned_[client] = ours;
    return ours;
}

bool Target::isDialogOfTarget(Window client)
{
    return transientChainReaches(client, &Target::isTargetOrGroup);
}

bool Target::isDialog(Window client)
{
    return transientFor(x_, client) != None;
}

Activity Target::activity() const
{
    if (localPid_ <= 0)
        return Activity::Unknown;
    QFile stat(QStringLiteral("/proc/%1/stat").arg(localPid_));
    if (!stat.open(QIODevice::ReadOnly))
        return Activity::Unknown;
    // "pid (name) S ...": the name may hold anything, the state follows
    // the last parenthesis.
    const QByteArray line = stat.read(512);
    const qsizetype close = line.lastIndexOf(')');
    if (close < 0 || close + 2 >= line.size())
        return Activity::Unknown;
    switch (line.at(close + 2)) {
    case 'S':
    case 'I':
        return Activity::Waiting;
    case 'T':
    case 't':
        return Activity::Stopped;
    case 'Z':
    case 'X':
        return Activity::Unknown;
    default:
        return Activity::Busy;
    }
}

void Target::watchNewWindows()
{
    if (watching_)
        return;
    // The answer to a ping comes to the root window; a new top-level window
    // shows there as created.
    XSelectInput(x_.dpy(), x_.root(), SubstructureNotifyMask | StructureNotifyMask);
    XSync(x_.dpy(), False);
    readEvents();
    newWindows_.clear();
    watching_ = true;
}

void Target::readEvents()
{
    const Atom protocols = x_.atom("WM_PROTOCOLS");
    const Atom ping = x_.atom("_NET_WM_PING");
    while (XPending(x_.dpy())) {
        XEvent event;
        XNextEvent(x_.dpy(), &event);
        if (event.type == CreateNotify && !event.xcreatewindow.override_redirect
            && isOwnedBase(event.xcreatewindow.window)) {
            newWindows_.push_back(event.xcreatewindow.window);
        } else if (event.type == ClientMessage && event.xclient.message_type == protocols
                   && static_cast<Atom>(event.xclient.data.l[0]) == ping
                   && event.xclient.data.l[1] == pingStamp_) {
            answeredStamp_ = pingStamp_;
        }
    }
}

std::vector<Window> Target::takeNewWindows()
{
    readEvents();
    std::vector<Window> windows;
    windows.swap(newWindows_);
    return windows;
}

bool Target::ping(int timeoutMs)
{
    watchNewWindows();
    // Any number the target sends back unchanged will do as the stamp.
    ++pingStamp_;
    XEvent event{};
    event.xclient.type = ClientMessage;
    event.xclient.window = client_;
    event.xclient.message_type = x_.atom("WM_PROTOCOLS");
    event.xclient.format = 32;
    event.xclient.data.l[0] = static_cast<long>(x_.atom("_NET_WM_PING"));
    event.xclient.data.l[1] = pingStamp_;
    event.xclient.data.l[2] = static_cast<long>(client_);
    XSendEvent(x_.dpy(), client_, False, NoEventMask, &event);
    XFlush(x_.dpy());
    QElapsedTimer clock;
    clock.start();
    for (;;) {
        readEvents();
        if (answeredStamp_ == pingStamp_)
            return true;
        const qint64 left = timeoutMs - clock.elapsed();
        if (left <= 0)
            return false;
        pollfd connection{ConnectionNumber(x_.dpy()), POLLIN, 0};
        poll(&connection, 1, static_cast<int>(std::min<qint64>(left, 50)));
    }
}

} // namespace keys::x11
