// SPDX-License-Identifier: MIT
#include "app/Desktop.h"
#include "keys/gnome/GnomeKeySender.h"
#include "keys/kde/KdeKeySender.h"
#include "keys/wayland/WaylandKeySender.h"
#include "keys/x11/X11KeySender.h"
#include "settings/ProgramFolder.h"
#include "settings/Settings.h"

#include <QDir>

#include <algorithm>
#include <optional>

namespace app {

namespace {

// Makes the sender, with [Keys] CommandPauseMs from the settings file where
// it is set.
template <typename Sender>
std::unique_ptr<keys::KeySender> withCommandPause()
{
    auto sender = std::make_unique<Sender>();
    if (const std::optional<int> pauseMs = readCommandPauseMs())
        sender->setCommandPauseMs(*pauseMs);
    return sender;
}

// Every backend that --backend=NAME and [Keys] Backend=NAME can name, one
// row each.
struct NamedKeyBackend {
    const char* name;
    KeyBackend backend;
    std::unique_ptr<keys::KeySender> (*make)();
};

constexpr NamedKeyBackend namedKeyBackends[] = {
    {"x11", KeyBackend::X11, withCommandPause<keys::X11KeySender>},
    {"wayland", KeyBackend::Wayland, withCommandPause<keys::WaylandKeySender>},
    {"kde", KeyBackend::Kde, withCommandPause<keys::KdeKeySender>},
    {"gnome", KeyBackend::Gnome, withCommandPause<keys::GnomeKeySender>},
};

// "GNOME" or "KDE Plasma" when XDG_CURRENT_DESKTOP names one of them (it
// is a list separated by colons, such as "ubuntu:GNOME"), otherwise empty.
QString gnomeOrPlasma(const QString& currentDesktop)
{
    const QStringList names = currentDesktop.split(u':');
    if (names.contains(QStringLiteral("GNOME"), Qt::CaseInsensitive))
        return QStringLiteral("GNOME");
    if (names.contains(QStringLiteral("KDE"), Qt::CaseInsensitive))
        return QStringLiteral("KDE Plasma");
    return {};
}

QString displaysNamed()
{
    QStringList named;
    for (const char* variable : {"WAYLAND_DISPLAY", "DISPLAY"})
        if (!qEnvironmentVariableIsEmpty(variable))
            named << QStringLiteral("%1 is \"%2\"")
                         .arg(QLatin1String(variable), qEnvironmentVariable(variable));
    return named.join(QStringLiteral(", "));
}

} // namespace

std::optional<KeyBackend> keyBackendNamed(const QString& name)
{
    for (const NamedKeyBackend& named : namedKeyBackends)
        if (name.compare(QLatin1String(named.name), Qt::CaseInsensitive) == 0)
            return named.backend;
    return std::nullopt;
}

QStringList keyBackendNames()
{
    QStringList names;
    for (const NamedKeyBackend& named : namedKeyBackends)
        names << QLatin1String(named.name);
    return names;
}

QString unknownKeyBackend(const QString& name, const QString& where)
{
    return QStringLiteral("%1 names the keystroke backend \"%2\", which Typomat does not know. "
                          "The backends are: %3.")
        .arg(where, name, keyBackendNames().join(QStringLiteral(", ")));
}

KeyBackend chooseKeyBackend(std::optional<KeyBackend> forced, const DesktopOffers& offers)
{
    if (forced)
        return *forced;
    if (offers.waylandSession && offers.waylandMissing.isEmpty())
        return KeyBackend::Wayland;
    if (offers.waylandSession && offers.kwin && offers.kdeMissing.isEmpty())
        return KeyBackend::Kde;
    if (offers.gnomeShell)
        return KeyBackend::Gnome;
    if (offers.xDisplay)
        return KeyBackend::X11;
    return KeyBackend::None;
}

QString keyBackendNotice(KeyBackend chosen, const DesktopOffers& offers)
{
    if (chosen == KeyBackend::Gnome)
        return offers.gnomeMissing;
    // On KWin the one thing missing is its permission: say how to get it.
    QString wayland = offers.kwin ? offers.kdeMissing : offers.waylandMissing;
    if (const QString desktop = gnomeOrPlasma(offers.currentDesktop);
        !desktop.isEmpty() && !offers.kwin)
        wayland += QStringLiteral(" This is so on %1 Wayland sessions: there, the windows of "
                                  "native Wayland programs cannot be reached, while X11 programs "
                                  "(run through XWayland) still can.")
                       .arg(desktop);
    if (chosen == KeyBackend::None) {
        QString text = QStringLiteral("Typomat cannot bring windows to the front or type "
                                      "into them on this desktop, so it will send no keys.");
        if (offers.waylandSession)
            text += QLatin1Char(' ') + wayland
                + QStringLiteral(" No X display (DISPLAY) is set either.");
        else
            text += QStringLiteral(" Neither a Wayland display (WAYLAND_DISPLAY) nor an X "
                                   "display (DISPLAY) is set.");
        return text;
    }
    if (chosen == KeyBackend::X11 && offers.waylandSession && !offers.waylandMissing.isEmpty())
        return QStringLiteral("Typomat types into X11 windows only here.") + QLatin1Char(' ')
            + wayland;
    return {};
}

DesktopOffers lookAtDesktop()
{
    DesktopOffers offers;
    offers.waylandSession = !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
    if (offers.waylandSession) {
        const keys::WaylandKeySender::Support wayland = keys::WaylandKeySender::support();
        offers.waylandAnswers = wayland.answers;
        offers.waylandMissing = wayland.missing;
    }
    // KWin's services are asked for on the same display: not when it cannot
    // be reached or does not answer at all.
    if (offers.waylandAnswers && !offers.waylandMissing.isEmpty()) {
        const keys::KdeKeySender::Support kde = keys::KdeKeySender::support();
        offers.kwin = kde.kwin;
        offers.kdeMissing = kde.missing;
    }
    // An X display that is named but does not answer is left to the X11
    // backend, whose errors say that it cannot be reached.
    offers.xDisplay = !qEnvironmentVariableIsEmpty("DISPLAY");
    offers.currentDesktop = qEnvironmentVariable("XDG_CURRENT_DESKTOP");
    if (offers.waylandSession && !offers.waylandMissing.isEmpty() && !offers.kwin
        && keys::GnomeKeySender::runsOnGnomeShell()) {
        offers.gnomeShell = true;
        offers.gnomeMissing = keys::GnomeKeySender::missingSupport();
    }
    return offers;
}

bool keyBackendRefuses(KeyBackend chosen, const DesktopOffers& offers)
{
    return chosen == KeyBackend::Gnome && !offers.gnomeMissing.isEmpty();
}

std::optional<KeyBackend> forcedKeyBackend(const QString& option)
{
    if (!option.isEmpty())
        return keyBackendNamed(option);
    const QString name = ReadIniValue(QStringLiteral("Keys"), QStringLiteral("Backend"))
                             .remove(QChar(0))
                             .trimmed();
    if (name.isEmpty())
        return std::nullopt;
    const std::optional<KeyBackend> named = keyBackendNamed(name);
    if (!named)
        throw keys::KeyError(unknownKeyBackend(
            name, QStringLiteral("The line \"Backend=\" under [Keys] in %1")
                      .arg(QDir::toNativeSeparators(settingsFilePath()))));
    return named;
}

std::unique_ptr<keys::KeySender> makeKeySender(KeyBackend backend)
{
    for (const NamedKeyBackend& named : namedKeyBackends)
        if (named.backend == backend)
            return named.make();
    return nullptr;
}

InstalledKeyBackend::~InstalledKeyBackend()
{
    if (sender)
        keys::installKeySender(nullptr);
}

InstalledKeyBackend installKeyBackend(const QString& option)
{
    const DesktopOffers offers = lookAtDesktop();
    const KeyBackend chosen = chooseKeyBackend(forcedKeyBackend(option), offers);
    InstalledKeyBackend installed;
    installed.notice = keyBackendNotice(chosen, offers);
    installed.refuses = keyBackendRefuses(chosen, offers);
    installed.sender = makeKeySender(chosen);
    if (!installed.sender && !offers.xDisplay && !offers.waylandAnswers)
        throw keys::DisplayUnavailable(installed.notice);
    if (!installed.sender)
        throw keys::KeyError(installed.notice);
    keys::installKeySender(installed.sender.get());
    return installed;
}

QString windowsCannotOpen()
{
    if (!qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") || !qEnvironmentVariableIsEmpty("DISPLAY")
        || !qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        return {};
    return QStringLiteral("Typomat cannot open its windows: neither a Wayland display "
                          "(WAYLAND_DISPLAY) nor an X display (DISPLAY) is set. Start it in a "
                          "desktop session.");
}

QString displayUnreachable()
{
    const QString named = displaysNamed();
    return QStringLiteral("Typomat cannot open its windows: no display can be reached%1.")
        .arg(named.isEmpty() ? QString() : QStringLiteral(" (%1)").arg(named));
}

std::vector<QByteArray> qtArguments(int argc, char** argv)
{
    std::vector<QByteArray> arguments(argv, argv + argc);
    const bool platformGiven = std::find(arguments.begin(), arguments.end(),
                                         QByteArray("-platform")) != arguments.end();
    if (!qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") && !qEnvironmentVariableIsEmpty("DISPLAY")
        && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && !platformGiven) {
        // Native Wayland remains as a fallback where XWayland refuses us.
        arguments.insert(arguments.begin() + std::min(argc, 1), {"-platform", "xcb;wayland"});
    }
    return arguments;
}

} // namespace app
