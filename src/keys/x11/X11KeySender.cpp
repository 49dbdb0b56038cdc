// SPDX-License-Identifier: MIT
// Qt before Xlib: Xlib's macros clash with Qt's names.
#include <QElapsedTimer>
#include <QStringList>
#include <QThread>

#include "keys/process/ReadReceipt.h"

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

std::map<KeyCode, x11::LevelSymbols> symbolsOf(const x11::SpareBindings& bindings)
{
    std::map<KeyCode, x11::LevelSymbols> symbols;
    for (const auto& [code, binding] : bindings)
        symbols[code] = binding.now;
    return symbols;
}

std::set<KeyCode> spareKeycodesOf(const std::vector<x11::Stroke>& strokes)
{
    std::set<KeyCode> codes;
    for (const x11::Stroke& stroke : strokes)
        if (stroke.spare != NoSymbol)
            codes.insert(stroke.code);
    return codes;
}

struct Plan {
    std::unique_ptr<x11::Keymap> keymap;
    std::vector<x11::Stroke> strokes;
    x11::RoundBindings rounds;
    x11::SpareBindings earlier;  // the spare keycodes as recorded before
    bool needsSpare = false;     // characters or keys the layout lacks
    bool spareHeld = false;      // every free spare keycode is in use by other runs
};

// Reads the keymap and the record of spare keycodes and shares them out,
// with the server held: no other Typomat picks the same keycodes meanwhile.
Plan planFor(x11::XConnection& x, x11::SpareKeys& spare, const KeyEvents& events,
             x11::Target& target)
{
    Plan plan;
    const x11::ServerGrab grab(x.dpy());
    plan.earlier = spare.load();
    plan.keymap = std::make_unique<x11::Keymap>(x.dpy(), symbolsOf(plan.earlier));
    if (!plan.keymap->valid())
        throw KeyError(errors::keymapUnreadable());
    plan.strokes = x11::planStrokes(events, *plan.keymap);
    plan.needsSpare = std::any_of(plan.strokes.begin(), plan.strokes.end(),
                                  [](const x11::Stroke& s) { return s.spare != NoSymbol; });
    if (!plan.needsSpare)
        return plan;
    const x11::SpareKeys::Pool pool = spare.pool(plan.earlier, *plan.keymap);
    if (pool.codes.empty()) {
        if (!pool.heldByOthers)
            throw KeyError(errors::noFreeKey());
        plan.spareHeld = true;
        return plan;
    }
    plan.rounds = x11::shareOutSpareKeycodes(plan.strokes, pool.codes, pool.carrying);
    const x11::Party party = target.localPid() > 0
        ? x11::Party{target.localPid(), x11::SpareKeys::self().host}
        : x11::Party{};
    x11::SpareBindings claimed = plan.earlier;
    spare.claim(claimed, spareKeycodesOf(plan.strokes), party, target.client(), *plan.keymap);
    return plan;
}

} // namespace

X11KeySender::X11KeySender() = default;

// Bindings whose target has not read its keys yet stay recorded: a later
// run takes them back once it has.
X11KeySender::~X11KeySender()
{
    // A stop signal puts the bindings back on a connection of its own.
    x11::SpareKeys::awaitStopHandled();
    if (x_ && spare_)
        spare_->restoreOwn();
}

// Set by the user: also the least wait at every key that may change windows.
void X11KeySender::setCommandPauseMs(int ms)
{
    commandPauseMs_ = std::max(0, ms);
    floorMs_ = commandPauseMs_;
}

x11::XConnection& X11KeySender::connection()
{
    if (x_)
        return *x_;
    std::unique_ptr<x11::XConnection> x = x11::XConnection::open();
    if (!x)
        throw DisplayUnavailable(errors::xDisplayUnreachable());
    int event, error, major, minor;
    if (!XTestQueryExtension(x->dpy(), &event, &error, &major, &minor))
        throw KeyError(errors::xTestMissing());
    int opcode;
    major = XkbMajorVersion;
    minor = XkbMinorVersion;
    if (!XkbQueryExtension(x->dpy(), &opcode, &event, &error, &major, &minor))
        throw KeyError(errors::xkbMissing());
    spare_ = std::make_unique<x11::SpareKeys>(*x);
    x_ = std::move(x);
    // Bindings a killed or crashed Typomat left behind.
    spare_->takeBackOrphans();
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
            throw KeyError(errors::keysHeldDown(heldModifierNames(held)));
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
    const Window focus = focusOnActivatedWindow();
    x11::Target target(*x_, activated_);
    x11::Pace pace;
    pace.commandPauseMs = commandPauseMs_;
    pace.floorMs = floorMs_;
    // Every spare keycode in use by other runs: one of them ends, or its
    // target reads its keys, soon.
    QElapsedTimer waited;
    waited.start();
    // Bindings a killed or crashed Typomat left behind.
    spare_->takeBackOrphans();
    Plan plan = planFor(*x_, *spare_, events, target);
    while (plan.spareHeld) {
        if (waited.elapsed() >= pace.stallLimitMs)
            throw KeyError(errors::noFreeKeyHeld());
        QThread::msleep(20);
        spare_->takeBackOrphans();
        plan = planFor(*x_, *spare_, events, target);
    }
    const x11::Keymap& keymap = *plan.keymap;
    std::vector<x11::Stroke>& strokes = plan.strokes;
    x11::RoundBindings& rounds = plan.rounds;
    x11::SpareBindings& earlier = plan.earlier;
    // Bindings of this process from here on: a stop signal puts them back.
    if (plan.needsSpare)
        x11::SpareKeys::guardAgainstSignals(QString::fromLocal8Bit(DisplayString(x_->dpy())));
    x11::Typist typist(*x_, keymap, std::move(strokes), std::move(rounds), *spare_,
                       std::move(earlier), target, focus, pace);
    typist.run(wait);
}

// The first key goes only to the window that AppActivate brought to the
// front, or to a dialog of it: between the two calls the user may have
// clicked elsewhere, also into another window of the same application.
unsigned long X11KeySender::focusOnActivatedWindow()
{
    if (activated_ == 0)
        throw KeyError(errors::nothingActivated());
    Window focus;
    int revert;
    XGetInputFocus(x_->dpy(), &focus, &revert);
    if (focus == None || focus == PointerRoot || focus == x_->root())
        throw KeyError(errors::noFocus());
    if (focus == activated_ || x_->isInside(focus, activated_))
        return focus;
    x11::Target target(*x_, activated_);
    if (!target.isTargetOrItsDialog(x11::clientWindowOf(*x_, focus)))
        throw KeyError(errors::focusMovedBeforeTyping());
    return focus;
}

} // namespace keys
