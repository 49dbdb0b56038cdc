// SPDX-License-Identifier: MIT
#include "keys/gnome/GnomeKeySender.h"
#include "keys/KeyErrorTexts.h"
#include "keys/Notation.h"
#include "keys/TitleRule.h"
#include "keys/gnome/GnomeBus.h"
#include "keys/gnome/GnomeLayout.h"
#include "keys/gnome/GnomeTyping.h"
#include "keys/gnome/RemoteKeyboard.h"
#include "keys/gnome/ShellWindows.h"
#include "settings/ProgramFolder.h"

#include <QDBusConnectionInterface>

#include <algorithm>
#include <numeric>
#include <unistd.h>

namespace keys {

using namespace gnome;

namespace gnome {

// The connection to the session bus and what lives on it; the remote
// desktop session ends with the connection.
struct GnomeSession {
    QDBusConnection bus;
    ShellWindows shell;
    FocusLog log;
    std::unique_ptr<RemoteKeyboard> keyboard;
    std::unique_ptr<GnomeLayout> layout;

    explicit GnomeSession(const QDBusConnection& connection)
        : bus(connection), shell(connection), log(connection)
    {
    }
    ~GnomeSession()
    {
        layout.reset();
        keyboard.reset();
        closeSessionBus(bus);
    }
};

} // namespace gnome

namespace {

// The portal's restore token: the user's consent, kept between runs.
QString portalTokenFile()
{
    return app::userDataFolder() + QStringLiteral("/gnome-remote-desktop-token");
}

} // namespace

GnomeKeySender::GnomeKeySender() : pace_(std::make_unique<Pace>()) {}

GnomeKeySender::~GnomeKeySender()
{
    guard_.reset();
    session_.reset();
}

bool GnomeKeySender::runsOnGnomeShell()
{
    try {
        const QDBusConnection bus = openSessionBus();
        const bool answers =
            bus.interface()->isServiceRegistered(QStringLiteral("org.gnome.Shell")).value();
        closeSessionBus(bus);
        return answers;
    } catch (const KeyError&) {
        return false;
    }
}

QString GnomeKeySender::missingSupport()
{
    try {
        const QDBusConnection bus = openSessionBus();
        const QString missing = extensionMissingText(ShellWindows(bus).status());
        closeSessionBus(bus);
        return missing;
    } catch (const KeyError& e) {
        return e.description();
    }
}

void GnomeKeySender::setCommandPauseMs(int ms)
{
    pace_->commandFloorMs = ms;
    pace_->blindCommandMs = ms;
}

GnomeSession& GnomeKeySender::session() const
{
    if (session_ && session_->bus.isConnected())
        return *session_;
    session_.reset();
    auto fresh = std::make_unique<GnomeSession>(openSessionBus());
    const QString missing = extensionMissingText(fresh->shell.status());
    if (!missing.isEmpty())
        throw KeyError(missing);
    session_ = std::move(fresh);
    return *session_;
}

void GnomeKeySender::AppActivate(const QString& title)
{
    GnomeSession& s = session();
    guard_.reset();
    std::vector<ShellWindow> windows = s.shell.list();
    const std::uint64_t newest = std::accumulate(
        windows.begin(), windows.end(), std::uint64_t(0),
        [](std::uint64_t n, const ShellWindow& w) { return std::max(n, w.id); });
    // Typomat's own windows are never the target.
    const long own = static_cast<long>(getpid());
    std::erase_if(windows, [&](const ShellWindow& w) { return w.pid == own; });
    const std::optional<std::size_t> picked =
        pickByTitle(windows, title, [](const ShellWindow& w) { return w.title; });
    if (!picked)
        throw WindowNotFound(errors::noWindowTitled(title));
    const ShellWindow& window = windows[*picked];
    if (!s.shell.activate(window.id))
        throw KeyError(errors::notBroughtToFront(window.title));
    guard_ = std::make_unique<FocusGuard>(s.shell, s.log, window, newest, s.shell.focus());
}

void GnomeKeySender::checkKeys(const QString& keys) const
{
    plan(keys);
}

// The keys, read and planned; refused whole when the active layout lacks
// one (GNOME would drop it without a word).
std::vector<layout::PlannedKey> GnomeKeySender::plan(const QString& keys) const
{
    const KeyEvents events = parseKeyString(keys);
    std::vector<layout::PlannedKey> planned = layout::planKeys(events);
    if (planned.empty())
        return planned;
    GnomeSession& s = session();
    if (!s.layout)
        s.layout = std::make_unique<GnomeLayout>();
    layout::refuseUntypable(keys, events, planned, *s.layout->current(),
                            {s.shell.keyboardLayout()});
    return planned;
}

void GnomeKeySender::SendKeys(const QString& keys, bool wait)
{
    const std::vector<layout::PlannedKey> planned = plan(keys);
    if (planned.empty())
        return;
    GnomeSession& s = session();
    if (!guard_) {
        // No activation before: the window that has the keyboard now.
        const KeyboardFocus focus = s.shell.focus();
        const std::vector<ShellWindow> windows = s.shell.list();
        const auto focused = std::find_if(
            windows.begin(), windows.end(),
            [&](const ShellWindow& w) { return w.id == focus.window; });
        if (focus.window == 0 || focused == windows.end())
            throw KeyError(QStringLiteral("No window has the keyboard focus, so nothing was "
                                          "typed."));
        guard_ = std::make_unique<FocusGuard>(s.shell, s.log, *focused, focused->id, focus);
    }
    if (!guard_->holds())
        throw KeyError(errors::focusMovedBeforeTyping());
    // A session that ended (GNOME Shell was restarted) would swallow every
    // key without a word.
    if (s.keyboard && !s.keyboard->sync())
        s.keyboard.reset();
    if (!s.keyboard) {
        s.keyboard = openRemoteKeyboard(s.bus, chooseTypingWay(lookForTypingWays(s.bus)),
                                        portalTokenFile());
    }
    GnomeTypist(*s.keyboard, *guard_, *pace_).run(planned, wait);
}

} // namespace keys
