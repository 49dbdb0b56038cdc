#include "app/Desktop.h"
#include "keys/wayland/WaylandKeySender.h"
#include "keys/x11/X11KeySender.h"
#include "settings/Settings.h"

#include <algorithm>
#include <optional>

namespace app {

KeyBackend chooseKeyBackend(const QString& forced, const DesktopOffers& offers)
{
    if (forced.compare(QLatin1String("wayland"), Qt::CaseInsensitive) == 0)
        return KeyBackend::Wayland;
    if (forced.compare(QLatin1String("x11"), Qt::CaseInsensitive) == 0)
        return KeyBackend::X11;
    if (offers.waylandSession && offers.waylandMissing.isEmpty())
        return KeyBackend::Wayland;
    if (offers.xDisplay)
        return KeyBackend::X11;
    return KeyBackend::None;
}

QString keyBackendNotice(KeyBackend chosen, const DesktopOffers& offers)
{
    const QString wayland = offers.waylandMissing
        + QStringLiteral(" This is so on GNOME and KDE Plasma Wayland sessions: there, the "
                         "windows of native Wayland programs cannot be reached, while X11 "
                         "programs (run through XWayland) still can.");
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
    if (offers.waylandSession)
        offers.waylandMissing = keys::WaylandKeySender::missingSupport();
    // An X display that is named but does not answer is left to the X11
    // backend, whose errors say that it cannot be reached.
    offers.xDisplay = !qEnvironmentVariableIsEmpty("DISPLAY");
    return offers;
}

QString takeBackendOption(int& argc, char** argv)
{
    const QByteArray prefix("--backend=");
    QString name;
    int kept = 0;
    for (int i = 0; i < argc; ++i) {
        const QByteArray argument(argv[i]);
        if (i > 0 && argument.startsWith(prefix))
            name = QString::fromLocal8Bit(argument.mid(prefix.size()));
        else
            argv[kept++] = argv[i];
    }
    argc = kept;
    argv[argc] = nullptr;
    return name;
}

QString forcedKeyBackend(const QString& option)
{
    if (!option.isEmpty())
        return option;
    return ReadIniValue(QStringLiteral("Keys"), QStringLiteral("Backend"))
        .remove(QChar(0))
        .trimmed();
}

namespace {

// [Keys] CommandPauseMs from the settings file, where it is set.
template <typename Sender>
std::unique_ptr<keys::KeySender> withCommandPause(std::unique_ptr<Sender> sender)
{
    if (const std::optional<int> pauseMs = readCommandPauseMs())
        sender->setCommandPauseMs(*pauseMs);
    return sender;
}

} // namespace

std::unique_ptr<keys::KeySender> makeKeySender(KeyBackend backend)
{
    switch (backend) {
    case KeyBackend::Wayland: return withCommandPause(std::make_unique<keys::WaylandKeySender>());
    case KeyBackend::X11: return withCommandPause(std::make_unique<keys::X11KeySender>());
    case KeyBackend::None: break;
    }
    return nullptr;
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
