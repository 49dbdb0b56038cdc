// Qt before Xlib: Xlib's macros clash with Qt's names.
#include <QElapsedTimer>
#include <QStringList>
#include <QThread>

#include "keys/x11/X11KeySender.h"
#include "keys/KeyErrorTexts.h"
#include "keys/Notation.h"
#include "keys/x11/XConnection.h"
#include "keys/x11/XKeymap.h"
#include "keys/x11/XSpareKeys.h"
#include "keys/x11/XTarget.h"
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

std::map<KeyCode, x11::LevelSymbols>
symbolsOf(const std::map<KeyCode, x11::SpareKeys::Binding>& spare)
{
    std::map<KeyCode, x11::LevelSymbols> symbols;
    for (const auto& [code, binding] : spare)
        symbols[code] = binding.syms;
    return symbols;
}

} // namespace

X11KeySender::X11KeySender() = default;

X11KeySender::~X11KeySender()
{
    if (x_ && spare_)
        spare_->restore(x_->dpy());
}

void X11KeySender::setCommandPauseMs(int ms)
{
    commandPauseMs_ = std::max(0, ms);
}

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
    spare_ = std::make_unique<x11::SpareKeys>();
    x_ = std::move(x);
    return *x_;
}

void X11KeySender::AppActivate(const QString& title)
{
    x11::XConnection& x = connection();
    std::vector<x11::ClientWindow> windows = x11::clientWindows(x);
    std::erase_if(windows, [&x](const x11::ClientWindow& w) { return x11::isOwnWindow(x, w.id); });
    const std::optional<x11::ClientWindow> window = x11::pickByTitle(windows, title);
    if (!window)
        throw WindowNotFound(errors::noWindowTitled(title));
    if (x11::activate(x, *window, activationTimeoutMs) == None)
        throw KeyError(errors::notBroughtToFront(window->title));
    activated_ = window->id;
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
    if (!events.empty())
        type(events, wait);
    if (wait)
        XSync(x.dpy(), False);
    else
        XFlush(x.dpy());
}

void X11KeySender::type(const KeyEvents& events, bool wait)
{
    waitForReleasedModifiers();
    const Window focus = focusInActivatedApplication();
    x11::Target target(*x_, activated_);
    std::map<KeyCode, x11::SpareKeys::Binding>& spare = spare_->bindings();
    const x11::Keymap keymap(x_->dpy(), symbolsOf(spare));
    if (!keymap.valid())
        throw KeyError(QStringLiteral("The keyboard map of the X server cannot be read."));
    // Bindings that a new layout has replaced are no longer ours.
    for (auto it = spare.begin(); it != spare.end();)
        it = keymap.symbolsAt(it->first) == it->second.syms ? std::next(it) : spare.erase(it);

    std::vector<x11::Stroke> strokes = x11::planStrokes(events, keymap);
    x11::RoundBindings rounds =
        x11::shareOutSpareKeycodes(strokes, keymap.spareKeycodes(), symbolsOf(spare));
    x11::Pace pace;
    pace.commandPauseMs = commandPauseMs_;
    x11::Typist typist(*x_, keymap, std::move(strokes), std::move(rounds), spare, target, focus,
                       pace);
    typist.run(wait);
}

// Keys go only to the application that AppActivate brought to the front:
// between the two calls the user may have clicked elsewhere.
unsigned long X11KeySender::focusInActivatedApplication()
{
    if (activated_ == 0)
        throw KeyError(errors::nothingActivated());
    Window focus;
    int revert;
    XGetInputFocus(x_->dpy(), &focus, &revert);
    if (focus == None || focus == PointerRoot || focus == x_->root())
        throw KeyError(QStringLiteral("No window has the keyboard focus, so nothing was typed."));
    if (focus != activated_ && !x_->isInside(focus, activated_)) {
        x11::Target target(*x_, activated_);
        if (!target.owns(x11::clientWindowOf(*x_, focus)))
            throw KeyError(errors::focusMovedBeforeTyping());
    }
    return focus;
}

} // namespace keys
