// SPDX-License-Identifier: MIT
#include "keys/wayland/WaylandKeySender.h"
#include "keys/KeyErrorTexts.h"
#include "keys/Notation.h"
#include "keys/TitleRule.h"
#include "keys/process/TargetProcess.h"
#include "keys/wayland/CompositorIpc.h"
#include "keys/wayland/VirtualKeyboard.h"
#include "keys/wayland/WaylandDisplay.h"
#include "keys/wayland/WaylandTyping.h"
#include "keys/wayland/XwaylandMapping.h"

#include "wlr-foreign-toplevel-management-unstable-v1-client-protocol.h"

#include <QCoreApplication>
#include <QFileInfo>

#include <algorithm>

namespace keys {

using namespace wayland;

namespace {

QString missingProtocols(const WaylandDisplay& display)
{
    QStringList missing;
    if (!display.toplevelManager())
        missing << QStringLiteral("list and activate windows (zwlr_foreign_toplevel_manager_v1)");
    if (!display.keyboardManager() || !display.seat())
        missing << QStringLiteral("type keys (zwp_virtual_keyboard_manager_v1)");
    if (missing.isEmpty())
        return {};
    return QStringLiteral("The Wayland compositor does not let programs %1.")
        .arg(missing.join(QStringLiteral(" or ")));
}

} // namespace

WaylandKeySender::WaylandKeySender(QStringList ownAppIds)
    : ownAppIds_(std::move(ownAppIds)), followed_(std::make_unique<Followed>())
{
    if (ownAppIds_.isEmpty() && QCoreApplication::instance()) {
        ownAppIds_ << QCoreApplication::applicationName()
                   << QFileInfo(QCoreApplication::applicationFilePath()).fileName();
    }
}

WaylandKeySender::~WaylandKeySender()
{
    xwayland_.reset();
    keyboard_.reset();
    display_.reset();
}

WaylandKeySender::Support WaylandKeySender::support()
{
    bool silent = false;
    const std::unique_ptr<WaylandDisplay> display = WaylandDisplay::connect(&silent);
    if (!display)
        return {false, whyNoDisplay(silent)};
    return {true, missingProtocols(*display)};
}

void WaylandKeySender::setCommandPauseMs(int ms)
{
    commandPauseMs_ = ms;
}

WaylandDisplay& WaylandKeySender::session()
{
    // Reading the news also finds out whether the connection still stands.
    if (display_ && display_->dispatch(0))
        return *display_;
    // Lost (the compositor closed the connection): start afresh.
    followed_->windows.clear();
    keyboard_.reset();
    bool silent = false;
    display_ = WaylandDisplay::connect(&silent);
    if (!display_)
        throw DisplayUnavailable(whyNoDisplay(silent));
    const QString missing = missingProtocols(*display_);
    if (!missing.isEmpty()) {
        display_.reset();
        throw KeyError(missing);
    }
    keyboard_ = std::make_unique<VirtualKeyboard>(*display_);
    return *display_;
}

bool WaylandKeySender::isOwn(const Toplevel& window) const
{
    for (const QString& id : ownAppIds_)
        if (!id.isEmpty() && window.appId.compare(id, Qt::CaseInsensitive) == 0)
            return true;
    return false;
}

const Toplevel* WaylandKeySender::pickByTitle(const QString& title) const
{
    std::vector<const Toplevel*> windows;
    for (const Toplevel& t : display_->toplevels())
        if (!t.closed && t.described && !isOwn(t))
            windows.push_back(&t);
    // The one the user had active last, otherwise the newest, comes last.
    std::stable_sort(windows.begin(), windows.end(), [](const Toplevel* a, const Toplevel* b) {
        return a->lastActivated != b->lastActivated ? a->lastActivated < b->lastActivated
                                                    : a->created < b->created;
    });
    const std::optional<std::size_t> picked =
        keys::pickByTitle(windows, title, [](const Toplevel* t) { return t->title; });
    return picked ? windows[*picked] : nullptr;
}

// Typing follows this window from now on. Its process, where the
// compositor tells (and tells it of this very window), paces the typing.
void WaylandKeySender::follow(const Toplevel* window)
{
    followed_->windows = {window};
    std::optional<FocusedWindow> focused = askFocusedWindow();
    if (focused && focused->title != window->title)
        focused.reset();
    followed_->pid = focused ? focused->pid : 0;
    followed_->kind = !focused          ? Followed::Kind::Unknown
        : focused->xwayland ? Followed::Kind::X11
                            : Followed::Kind::Wayland;
    if (followed_->kind == Followed::Kind::X11 && !xwayland_)
        xwayland_ = XwaylandMapping::connect();
}

void WaylandKeySender::AppActivate(const QString& title)
{
    WaylandDisplay& display = session();
    followed_->windows.clear();
    display.forgetClosed();
    const Toplevel* window = pickByTitle(title);
    if (!window)
        throw WindowNotFound(errors::noWindowTitled(title));
    display.bringToFront(
        window->title,
        [&] {
            if (window->minimized)
                zwlr_foreign_toplevel_handle_v1_unset_minimized(window->handle);
            zwlr_foreign_toplevel_handle_v1_activate(window->handle, display.seat());
        },
        [&] { return display.activeToplevel() == window; }, [&] { return window->closed; });
    follow(window);
}

void WaylandKeySender::SendKeys(const QString& keys, bool wait)
{
    const std::vector<PlannedKey> planned = layout::planKeys(parseKeyString(keys));
    WaylandDisplay& display = session();
    if (planned.empty()) {
        if (wait)
            display.roundtrip();
        return;
    }
    const auto total = static_cast<qsizetype>(planned.size());
    std::vector<const Toplevel*>& windows = followed_->windows;
    if (windows.empty() || windows.front()->closed) {
        const Toplevel* active = display.activeToplevel();
        if (!active)
            throw KeyError(QStringLiteral("No window has the keyboard focus, so nothing was typed."));
        follow(active);
    }
    // Before the first key, only the activated window or a dialog it opened
    // by the keys of an earlier call may have the focus.
    FocusGuard guard(display, *followed_);
    if (!guard.holds())
        throw KeyError(errors::focusLostAfter(0, total));
    PaceFigures figures;
    if (commandPauseMs_) {
        figures.commandPause = std::chrono::milliseconds(*commandPauseMs_);
        figures.commandFloor = figures.commandPause;
    }
    TargetPace pace(followed_->pid, process::sessionDisplayAddresses(), [&display] { return display.roundtrip(); },
                    figures);
    {
        Typist typist(display, *keyboard_, guard, pace, followed_->kind,
                      followed_->kind == Followed::Kind::X11 ? xwayland_.get() : nullptr);
        typist.run(planned, wait);
    }
    if (!display.flush())
        throw KeyError(errors::waylandConnectionLostAfter(total, total));
}

} // namespace keys
