// SPDX-License-Identifier: MIT
// Qt before Xlib: Xlib's macros clash with Qt's names.
#include <QFileInfo>
#include <QSysInfo>

#include "keys/process/TargetProcess.h"
#include "keys/x11/XTarget.h"

#include <X11/Xatom.h>
#include <X11/Xutil.h>

#include <algorithm>
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
    localPid_ = findLocalPid();
}

// The X server knows the process behind each connection on this machine; a
// window's _NET_WM_PID is what the application says, which a sandbox gives
// from a numbering of its own. Either counts only for a window of this
// machine, and only for a process of this user.
long Target::findLocalPid()
{
    const bool thisMachine = target_.machine == QSysInfo::machineHostName();
    const bool localServer =
        !keys::process::xDisplayAddresses(QString::fromLocal8Bit(DisplayString(x_.dpy())))
             .isEmpty();
    long pid = 0;
    if (localServer && (thisMachine || target_.machine.isEmpty()))
        pid = x_.clientPid(client_).value_or(0);
    if (pid == 0 && thisMachine)
        pid = target_.pid;
    const QFileInfo process(QStringLiteral("/proc/%1").arg(pid));
    return pid > 0 && process.exists() && process.ownerId() == getuid() ? pid : 0;
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

bool Target::isTargetOrItsDialog(Window client)
{
    return isTargetOrGroup(client) || isDialogOfTarget(client);
}

bool Target::isDialogOfTarget(Window client)
{
    return transientChainReaches(client, &Target::isTargetOrGroup);
}

bool Target::isDialog(Window client)
{
    return transientFor(x_, client) != None;
}

bool Target::madeByTarget(Window w) const
{
    return x_.clientBase(w) == target_.base;
}

} // namespace keys::x11
