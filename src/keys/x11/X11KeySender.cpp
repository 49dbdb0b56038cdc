#include <QElapsedTimer>
#include <QStringList>
#include <QThread>
#include "keys/x11/X11KeySender.h"
#include "keys/Notation.h"
#include "keys/x11/XConnection.h"
#include "keys/x11/XKeymap.h"
#include "keys/x11/XSpareKeys.h"
#include "keys/x11/XTyping.h"
#include "keys/x11/XWindows.h"

#include <X11/XKBlib.h>
#include <X11/extensions/XTest.h>


namespace keys {

namespace {

constexpr int activationTimeoutMs = 2000;
constexpr int heldKeysTimeoutMs = 1000;
// How long a spare keycode keeps its symbol after its last key.
constexpr std::chrono::milliseconds spareQuiet{2000};

QString heldModifierNames(unsigned mods)
{
    QStringList names;
    if (mods & ShiftMask)
        names << QStringLiteral("Shift");
    if (mods & ControlMask)
        names << QStringLiteral("Ctrl");
    if (mods & Mod1Mask)
        names << QStringLiteral("Alt");
    if (mods & ~(ShiftMask | ControlMask | Mod1Mask))
        names << QStringLiteral("AltGr, Super or another modifier");
    return names.join(QStringLiteral(", "));
}

} // namespace

X11KeySender::X11KeySender() = default;
X11KeySender::~X11KeySender() = default;

x11::XConnection& X11KeySender::connection()
{
    if (x_)
        return *x_;
    std::unique_ptr<x11::XConnection> x = x11::XConnection::open();
    if (!x)
        throw KeyError(QStringLiteral("Typomat cannot reach the X display, so it can neither "
                                      "bring windows to the front nor type keys."));
    int event, error, major, minor;
    if (!XTestQueryExtension(x->dpy(), &event, &error, &major, &minor))
        throw KeyError(QStringLiteral("The X server does not accept simulated keystrokes "
                                      "(its XTEST extension is missing)."));
    int opcode;
    major = XkbMajorVersion;
    minor = XkbMinorVersion;
    if (!XkbQueryExtension(x->dpy(), &opcode, &event, &error, &major, &minor))
        throw KeyError(QStringLiteral("The X server does not describe its keyboard "
                                      "(its XKEYBOARD extension is missing)."));
    spare_ = std::make_unique<x11::SpareKeys>(QByteArray(DisplayString(x->dpy())),
                                              spareQuiet);
    x_ = std::move(x);
    return *x_;
}

void X11KeySender::AppActivate(const QString& title)
{
    x11::XConnection& x = connection();
    const std::optional<x11::ClientWindow> window =
        x11::pickByTitle(x11::clientWindows(x), title);
    if (!window)
        throw KeyError(QStringLiteral("No window titled \"%1\" is open.").arg(title));
    if (!x11::activate(x, *window, activationTimeoutMs))
        throw KeyError(QStringLiteral("The window \"%1\" could not be brought to the front: "
                                      "it did not take the keyboard focus.")
                           .arg(window->title));
}

// Ctrl or Shift still held from the shortcut that started us would change
// what the keys mean in the target.
void X11KeySender::waitForReleasedModifiers()
{
    Display* dpy = x_->dpy();
    QElapsedTimer clock;
    clock.start();
    for (;;) {
        XkbStateRec state;
        if (XkbGetState(dpy, XkbUseCoreKbd, &state) != Success)
            return;
        const unsigned held = (state.base_mods | state.latched_mods) & ~LockMask;
        if (held == 0)
            return;
        if (clock.elapsed() >= heldKeysTimeoutMs)
            throw KeyError(QStringLiteral("Keys are still held down (%1), so nothing was "
                                          "typed. Release them and try again.")
                               .arg(heldModifierNames(held)));
        QThread::msleep(5);
    }
}

void X11KeySender::SendKeys(const QString& keys, bool wait)
{
    const KeyEvents events = parseKeyString(keys);
    x11::XConnection& x = connection();
    if (!events.empty()) {
        waitForReleasedModifiers();
        std::unique_lock<std::mutex> spareLock = spare_->lock();
        std::map<KeyCode, x11::SpareKeys::Binding>& spare = spare_->bindings();
        std::map<KeyCode, KeySym> current;
        for (const auto& [code, binding] : spare)
            current[code] = binding.sym;
        const x11::Keymap keymap(x.dpy(), current);
        if (!keymap.valid())
            throw KeyError(QStringLiteral("The keyboard map of the X server cannot be read."));
        // Bindings that a new layout has replaced are no longer ours.
        for (auto it = spare.begin(); it != spare.end();)
            it = keymap.firstSymbol(it->first) == it->second.sym ? std::next(it) : spare.erase(it);
        current.clear();
        for (const auto& [code, binding] : spare)
            current[code] = binding.sym;
        std::vector<x11::Stroke> strokes = x11::planStrokes(events, keymap);
        x11::RoundBindings rounds =
            x11::shareOutSpareKeycodes(strokes, keymap.spareKeycodes(), current);

        Window focus;
        int revert;
        XGetInputFocus(x.dpy(), &focus, &revert);
        if (focus == None || focus == PointerRoot || focus == x.root())
            throw KeyError(QStringLiteral("No window has the keyboard focus, so nothing was typed."));

        struct Notify {
            x11::SpareKeys& keys;
            std::unique_lock<std::mutex>& lock;
            ~Notify() { lock.unlock(); keys.used(); }
        } notify{*spare_, spareLock};
        x11::Typist typist(x, keymap, std::move(strokes), std::move(rounds), spare, focus);
        typist.run();
    }
    if (wait)
        XSync(x.dpy(), False);
    else
        XFlush(x.dpy());
}

} // namespace keys
