// SPDX-License-Identifier: MIT
#include "keys/x11/XConnection.h"

#include <X11/Xatom.h>
#include <X11/Xutil.h>

#include <mutex>
#include <map>

namespace keys::x11 {

namespace {

struct ErrorCount {
    unsigned long count = 0;
    int firstCode = Success; // since the count was last read by a trap
};

std::mutex errorsLock;
std::map<Display*, ErrorCount> ownDisplays;
XErrorHandler previousHandler = nullptr;

int passOver(Display* dpy, XErrorEvent* error)
{
    {
        std::lock_guard<std::mutex> guard(errorsLock);
        auto own = ownDisplays.find(dpy);
        if (own != ownDisplays.end()) {
            if (own->second.firstCode == Success)
                own->second.firstCode = error->error_code;
            ++own->second.count;
            return 0;
        }
    }
    return previousHandler ? previousHandler(dpy, error) : 0;
}

unsigned long errorCount(Display* dpy, bool clearFirstCode)
{
    std::lock_guard<std::mutex> guard(errorsLock);
    ErrorCount& errors = ownDisplays[dpy];
    if (clearFirstCode)
        errors.firstCode = Success;
    return errors.count;
}

// Other code of the process may install a handler of its own after ours;
// ours goes back in front of it (and hands on what is not ours).
void ensureHandler()
{
    const XErrorHandler current = XSetErrorHandler(passOver);
    if (current != passOver)
        previousHandler = current;
}

void registerDisplay(Display* dpy)
{
    std::lock_guard<std::mutex> guard(errorsLock);
    ensureHandler();
    ownDisplays[dpy] = {};
}

// With the last connection gone, the handler that was there before ours
// is put back.
void unregisterDisplay(Display* dpy)
{
    std::lock_guard<std::mutex> guard(errorsLock);
    ownDisplays.erase(dpy);
    if (!ownDisplays.empty())
        return;
    const XErrorHandler current = XSetErrorHandler(previousHandler);
    if (current != passOver)
        XSetErrorHandler(current); // somebody else's came after ours: leave it
    previousHandler = nullptr;
}

QString decodeText(Display* dpy, const XTextProperty& text, Atom utf8)
{
    const QByteArray bytes(reinterpret_cast<const char*>(text.value),
                           static_cast<qsizetype>(text.nitems));
    if (text.encoding == utf8)
        return QString::fromUtf8(bytes);
    if (text.encoding == XA_STRING)
        return QString::fromLatin1(bytes);
    char** list = nullptr;
    int count = 0;
    QString decoded;
    XTextProperty copy = text;
    if (Xutf8TextPropertyToTextList(dpy, &copy, &list, &count) >= Success && list) {
        if (count > 0)
            decoded = QString::fromUtf8(list[0]);
        XFreeStringList(list);
    }
    return decoded;
}

} // namespace

std::unique_ptr<XConnection> XConnection::open(const char* name)
{
    Display* dpy = XOpenDisplay(name);
    if (!dpy)
        return nullptr;
    return std::unique_ptr<XConnection>(new XConnection(dpy));
}

XConnection::XConnection(Display* dpy) : dpy_(dpy), root_(DefaultRootWindow(dpy))
{
    registerDisplay(dpy_);
}

XConnection::~XConnection()
{
    if (clock_ != None)
        XDestroyWindow(dpy_, clock_);
    XCloseDisplay(dpy_);
    unregisterDisplay(dpy_);
}

Atom XConnection::atom(const char* name)
{
    return XInternAtom(dpy_, name, False);
}

Window XConnection::ownWindow()
{
    if (clock_ == None) {
        XSetWindowAttributes attrs;
        attrs.event_mask = PropertyChangeMask;
        clock_ = XCreateWindow(dpy_, root_, -10, -10, 1, 1, 0, CopyFromParent, InputOnly,
                               CopyFromParent, CWEventMask, &attrs);
    }
    return clock_;
}

Time XConnection::serverTime()
{
    ownWindow();
    // A zero-length append changes nothing but yields a PropertyNotify that
    // carries the server's time.
    const Atom stamp = atom("_TYPOMAT_TIMESTAMP");
    XChangeProperty(dpy_, clock_, stamp, XA_CARDINAL, 32, PropModeAppend, nullptr, 0);
    XEvent event;
    XWindowEvent(dpy_, clock_, PropertyChangeMask, &event);
    return event.xproperty.time;
}

std::vector<unsigned long> XConnection::cardinals(Window w, Atom property, Atom type)
{
    Atom actualType;
    int format;
    unsigned long count, after;
    unsigned char* data = nullptr;
    std::vector<unsigned long> values;
    if (XGetWindowProperty(dpy_, w, property, 0, 65536, False, type, &actualType, &format,
                           &count, &after, &data) == Success && data) {
        if (format == 32 && actualType == type) {
            // Xlib hands 32-bit items over as longs.
            const long* items = reinterpret_cast<const long*>(data);
            values.assign(items, items + count);
        }
        XFree(data);
    }
    return values;
}

QString XConnection::title(Window w)
{
    const Atom utf8 = atom("UTF8_STRING");
    Atom type;
    int format;
    unsigned long count, after;
    unsigned char* data = nullptr;
    QString name;
    if (XGetWindowProperty(dpy_, w, atom("_NET_WM_NAME"), 0, 65536, False, utf8, &type,
                           &format, &count, &after, &data) == Success && data) {
        if (type == utf8 && format == 8)
            name = QString::fromUtf8(reinterpret_cast<const char*>(data),
                                     static_cast<qsizetype>(count));
        XFree(data);
    }
    if (!name.isEmpty())
        return name;
    XTextProperty text;
    if (XGetWMName(dpy_, w, &text) && text.value) {
        name = decodeText(dpy_, text, utf8);
        XFree(text.value);
    }
    return name;
}

Window XConnection::parentOf(Window w)
{
    Window rootReturn, parent, *children = nullptr;
    unsigned int count = 0;
    if (!XQueryTree(dpy_, w, &rootReturn, &parent, &children, &count))
        return None;
    if (children)
        XFree(children);
    return parent;
}

Window XConnection::topLevelOf(Window w)
{
    while (w != None && w != PointerRoot && w != root_) {
        Window parent = parentOf(w);
        if (parent == root_)
            return w;
        w = parent;
    }
    return None;
}

unsigned long XConnection::clientBase(Window w) const
{
    // Xlib keeps the server's resource id mask in a field it does not name.
    const unsigned long mask = reinterpret_cast<_XPrivDisplay>(dpy_)->private4;
    return w & ~mask;
}

ErrorTrap::ErrorTrap(Display* dpy) : dpy_(dpy), errorsBefore_(errorCount(dpy, true))
{
    std::lock_guard<std::mutex> guard(errorsLock);
    ensureHandler();
}

int ErrorTrap::check()
{
    XSync(dpy_, False);
    std::lock_guard<std::mutex> guard(errorsLock);
    const ErrorCount& errors = ownDisplays[dpy_];
    return errors.count == errorsBefore_ ? Success : errors.firstCode;
}

bool XConnection::isInside(Window w, Window ancestor)
{
    while (w != None && w != PointerRoot && w != root_) {
        if (w == ancestor)
            return true;
        w = parentOf(w);
    }
    return false;
}

} // namespace keys::x11
