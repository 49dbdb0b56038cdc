// SPDX-License-Identifier: MIT
#include "keys/kde/KdeKeySender.h"
#include "keys/KeyErrorTexts.h"
#include "keys/Notation.h"
#include "keys/TitleRule.h"
#include "keys/kde/DesktopEntry.h"
#include "keys/kde/KWinDisplay.h"
#include "keys/kde/KdeTyping.h"
#include "keys/kde/RunRecord.h"
#include "keys/process/TargetProcess.h"

#include <algorithm>
#include <unistd.h>

namespace keys {

using namespace kde;

namespace {

KdeKeySender::Support supportOf(const KWinDisplay& display)
{
    KdeKeySender::Support support;
    support.kwin = display.isKWin();
    if (display.listsWindows() && display.takesKeys())
        return support;
    if (support.kwin && !display.listsWindows() && !display.takesKeys()) {
        support.missing =
            QStringLiteral("KWin did not allow Typomat to list windows and type into them: it "
                           "allows that only to a program whose desktop entry names its path "
                           "(Exec=%1) and the interfaces it uses "
                           "(X-KDE-Wayland-Interfaces=%2). Run \"typomat "
                           "--install-desktop-entry\" (or install the Typomat package and start "
                           "/usr/bin/typomat), then start Typomat again.")
                .arg(programPath(), requestedInterfaces());
        return support;
    }
    QStringList missing;
    if (!display.listsWindows())
        missing << QStringLiteral("list and activate windows (org_kde_plasma_window_management)");
    if (!display.takesKeys())
        missing << QStringLiteral("type keys (org_kde_kwin_fake_input)");
    support.missing = QStringLiteral("The Wayland compositor does not let programs %1.")
                          .arg(missing.join(QStringLiteral(" or ")));
    return support;
}

} // namespace

KdeKeySender::KdeKeySender() : pace_(std::make_unique<Pace>()) {}

KdeKeySender::~KdeKeySender() = default;

KdeKeySender::Support KdeKeySender::support()
{
    bool silent = false;
    const std::unique_ptr<KWinDisplay> display = KWinDisplay::connect(&silent);
    if (!display)
        return {false, wayland::whyNoDisplay(silent)};
    return supportOf(*display);
}

void KdeKeySender::setCommandPauseMs(int ms)
{
    pace_->commandPause = std::chrono::milliseconds(ms);
}

KWinDisplay& KdeKeySender::session() const
{
    // Reading the news also finds out whether the connection still stands.
    if (display_ && display_->dispatch(0))
        return *display_;
    // Lost (KWin closed the connection): start afresh.
    display_.reset();
    bool silent = false;
    std::unique_ptr<KWinDisplay> display = KWinDisplay::connect(&silent);
    if (!display)
        throw DisplayUnavailable(wayland::whyNoDisplay(silent));
    const Support support = supportOf(*display);
    if (!support.missing.isEmpty())
        throw KeyError(support.missing);
    display_ = std::move(display);
    return *display_;
}

// Typomat's own windows are never a target. Among the others, the title rule
// prefers the window highest in KWin's stack.
const PlasmaWindow* KdeKeySender::pickByTitle(const QString& title) const
{
    std::vector<const PlasmaWindow*> windows = display_->stacked();
    const long self = getpid();
    std::erase_if(windows, [&](const PlasmaWindow* w) { return w->pid == self; });
    const std::optional<std::size_t> picked =
        keys::pickByTitle(windows, title, [](const PlasmaWindow* w) { return w->title; });
    return picked ? windows[*picked] : nullptr;
}

void KdeKeySender::AppActivate(const QString& title)
{
    KWinDisplay& display = session();
    target_ = nullptr;
    if (!display.readWindowList()) {
        display.throwIfSilent();
        throw KeyError(errors::notBroughtToFront(title));
    }
    display.forgetClosed();
    const PlasmaWindow* window = pickByTitle(title);
    if (!window)
        throw WindowNotFound(errors::noWindowTitled(title));
    display.bringToFront(
        window->title, [&] { display.activate(*window); },
        [&] { return window->active && display.activeWindow() == window; },
        [&] { return window->closed; });
    target_ = window;
    newSince_ = display.newestWindow();
}

void KdeKeySender::checkKeys(const QString& keys) const
{
    const KeyEvents events = parseKeyString(keys);
    const std::vector<layout::PlannedKey> planned = layout::planKeys(events);
    KWinDisplay& display = session();
    const std::shared_ptr<const layout::SeatLayout> seatLayout = display.layout();
    if (seatLayout)
        layout::refuseUntypable(keys, events, planned, *seatLayout, display.usableLayouts());
}

void KdeKeySender::SendKeys(const QString& keys, bool wait)
{
    const KeyEvents events = parseKeyString(keys);
    const std::vector<layout::PlannedKey> planned = layout::planKeys(events);
    KWinDisplay& display = session();
    const std::shared_ptr<const layout::SeatLayout> seatLayout = display.layout();
    if (!seatLayout)
        throw KeyError(QStringLiteral("KWin did not tell its keyboard layout, so nothing was "
                                      "typed."));
    // A run killed mid-way may have left KWin in another layout, and keys
    // held (which the Typist lets go of).
    const std::optional<std::uint32_t> userLayout = RunRecord().leftByEndedRun();
    if (userLayout && seatLayout->layoutCount() > 1)
        display.switchLayout(*userLayout);
    const std::vector<std::uint32_t> layouts = display.usableLayouts();
    layout::refuseUntypable(keys, events, planned, *seatLayout, layouts);
    if (planned.empty()) {
        display.roundtrip();
        return;
    }
    const bool activated = target_ != nullptr;
    if (!target_ || target_->closed) {
        target_ = display.activeWindow();
        newSince_ = display.newestWindow();
    }
    if (!target_)
        throw KeyError(errors::nothingActivated());
    FocusGuard guard(display, target_, newSince_);
    if (!guard.holds())
        throw KeyError(activated ? errors::focusMovedBeforeTyping()
                                 : errors::focusLostAfter(0, static_cast<qsizetype>(planned.size())));
    {
        Typist typist(display, guard, seatLayout, layouts, process::sessionDisplayAddresses(),
                      *pace_, userLayout.has_value());
        try {
            typist.run(planned, wait);
        } catch (...) {
            target_ = guard.current();
            throw;
        }
    }
    target_ = guard.current();
}

} // namespace keys
