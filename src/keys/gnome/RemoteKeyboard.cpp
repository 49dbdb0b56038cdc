// SPDX-License-Identifier: MIT
#include "keys/gnome/RemoteKeyboard.h"
#include "keys/KeySender.h"
#include "keys/gnome/GnomeBus.h"
#include "keys/gnome/SignalWaiter.h"

#include <QDBusArgument>
#include <QDBusObjectPath>
#include <QDBusVariant>
#include <QFile>
#include <QSaveFile>
#include <QThread>
#include <QUuid>

#include <xkbcommon/xkbcommon-keysyms.h>

namespace keys::gnome {

TypingWay chooseTypingWay(const TypingOffers& offers)
{
    const bool portal = offers.portalVersion >= 1 && offers.portalKeyboard;
    if (portal && offers.portalVersion >= 2)
        return TypingWay::Portal;
    if (offers.mutter)
        return TypingWay::Mutter;
    return portal ? TypingWay::Portal : TypingWay::None;
}

namespace {

const QString mutterService = QStringLiteral("org.gnome.Mutter.RemoteDesktop");
const QString mutterSessionInterface = QStringLiteral("org.gnome.Mutter.RemoteDesktop.Session");
const QString portalService = QStringLiteral("org.freedesktop.portal.Desktop");
const QString portalPath = QStringLiteral("/org/freedesktop/portal/desktop");
const QString portalInterface = QStringLiteral("org.freedesktop.portal.RemoteDesktop");
constexpr unsigned portalKeyboardDevice = 1;

// A new virtual keyboard loses its first keys until it has sent something
// and the compositor has taken it in.
void wakeNewKeyboard(RemoteKeyboard& keyboard)
{
    keyboard.key(XKB_KEY_Shift_L, true);
    keyboard.key(XKB_KEY_Shift_L, false);
    keyboard.sync();
    QThread::msleep(100);
}

// ------------------------------------------------------------------ Mutter

class MutterKeyboard final : public RemoteKeyboard {
public:
    explicit MutterKeyboard(const QDBusConnection& bus) : bus_(bus)
    {
        const QDBusMessage created = callOrThrow(
            bus_,
            QDBusMessage::createMethodCall(mutterService,
                                           QStringLiteral("/org/gnome/Mutter/RemoteDesktop"),
                                           mutterService, QStringLiteral("CreateSession")),
            QStringLiteral("GNOME's remote desktop service"));
        session_ = created.arguments().value(0).value<QDBusObjectPath>().path();
        callOrThrow(bus_, sessionCall(QStringLiteral("Start")),
                    QStringLiteral("GNOME's remote desktop service"));
        wakeNewKeyboard(*this);
    }

    ~MutterKeyboard() override
    {
        bus_.call(sessionCall(QStringLiteral("Stop")), QDBus::Block, callLimitMs);
    }

    void key(std::uint32_t keysym, bool pressed) override
    {
        QDBusMessage call = sessionCall(QStringLiteral("NotifyKeyboardKeysym"));
        call << keysym << pressed;
        bus_.send(call);
    }

    bool sync() override
    {
        return readProperty(bus_, mutterService, session_, mutterSessionInterface,
                            QStringLiteral("SessionId"))
            .isValid();
    }

    bool orderedWithShell() const override { return true; }

    std::optional<bool> capsLock() override
    {
        const QVariant on = readProperty(bus_, mutterService, session_, mutterSessionInterface,
                                         QStringLiteral("CapsLockState"));
        return on.isValid() ? std::optional<bool>(on.toBool()) : std::nullopt;
    }

private:
    QDBusMessage sessionCall(const QString& method) const
    {
        return QDBusMessage::createMethodCall(mutterService, session_, mutterSessionInterface,
                                              method);
    }

    QDBusConnection bus_;
    QString session_;
};

// ------------------------------------------------------------------ portal

// The user has this long to answer the portal's consent dialog.
constexpr int consentLimitMs = 120000;

QString readToken(const QString& file)
{
    QFile f(file);
    return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.read(4096)).trimmed() : QString();
}

void writeToken(const QString& file, const QString& token)
{
    QSaveFile f(file);
    if (f.open(QIODevice::WriteOnly)) {
        f.write(token.toUtf8() + '\n');
        f.commit();
    }
}

class PortalKeyboard final : public RemoteKeyboard {
public:
    PortalKeyboard(const QDBusConnection& bus, unsigned version, const QString& tokenFile)
        : bus_(bus)
    {
        QVariantMap results = request(QStringLiteral("CreateSession"), {},
                                      {{QStringLiteral("session_handle_token"), token()}});
        session_ = results.value(QStringLiteral("session_handle")).toString();
        QVariantMap select{{QStringLiteral("types"), portalKeyboardDevice}};
        if (version >= 2) {
            // Remembered until the user takes it back.
            select.insert(QStringLiteral("persist_mode"), 2u);
            if (const QString restore = readToken(tokenFile); !restore.isEmpty())
                select.insert(QStringLiteral("restore_token"), restore);
        }
        request(QStringLiteral("SelectDevices"), {QVariant::fromValue(QDBusObjectPath(session_))},
                select);
        results = request(QStringLiteral("Start"),
                          {QVariant::fromValue(QDBusObjectPath(session_)), QString()}, {},
                          consentLimitMs);
        if (!(results.value(QStringLiteral("devices")).toUInt() & portalKeyboardDevice))
            throw KeyError(QStringLiteral("The permission to type was given without a keyboard, "
                                          "so Typomat cannot type."));
        if (const QString restore = results.value(QStringLiteral("restore_token")).toString();
            !restore.isEmpty())
            writeToken(tokenFile, restore);
        wakeNewKeyboard(*this);
    }

    ~PortalKeyboard() override
    {
        bus_.call(QDBusMessage::createMethodCall(portalService, session_,
                                                 QStringLiteral("org.freedesktop.portal.Session"),
                                                 QStringLiteral("Close")),
                  QDBus::Block, callLimitMs);
    }

    void key(std::uint32_t keysym, bool pressed) override
    {
        QDBusMessage call = QDBusMessage::createMethodCall(portalService, portalPath,
                                                           portalInterface,
                                                           QStringLiteral("NotifyKeyboardKeysym"));
        call << QVariant::fromValue(QDBusObjectPath(session_)) << QVariantMap()
             << static_cast<int>(keysym) << (pressed ? 1u : 0u);
        bus_.send(call);
    }

    // The portal passes each key on without waiting; its answer to a later
    // call shows only that it has read the keys before.
    bool sync() override
    {
        return readProperty(bus_, portalService, portalPath, portalInterface,
                            QStringLiteral("version"))
            .isValid();
    }

    bool orderedWithShell() const override { return false; }
    std::optional<bool> capsLock() override { return std::nullopt; }

private:
    static QString token()
    {
        return QStringLiteral("typomat_") + QUuid::createUuid().toString(QUuid::Id128);
    }

    // Calls a portal method that answers through a Request object's
    // Response signal; its results, or KeyError when refused.
    QVariantMap request(const QString& method, QVariantList arguments, QVariantMap options,
                        int limitMs = callLimitMs)
    {
        const QString handle = token();
        options.insert(QStringLiteral("handle_token"), handle);
        QString sender = bus_.baseService().mid(1);
        sender.replace(QLatin1Char('.'), QLatin1Char('_'));
        const QString requestPath =
            QStringLiteral("/org/freedesktop/portal/desktop/request/%1/%2").arg(sender, handle);
        SignalWaiter response(bus_, portalService, requestPath,
                              QStringLiteral("org.freedesktop.portal.Request"),
                              QStringLiteral("Response"));
        QDBusMessage call =
            QDBusMessage::createMethodCall(portalService, portalPath, portalInterface, method);
        call.setArguments(arguments << options);
        callOrThrow(bus_, call, QStringLiteral("The remote desktop portal"));
        const std::optional<QVariantList> answer = response.wait(limitMs);
        if (!answer)
            throw KeyError(QStringLiteral("The remote desktop portal did not answer in time, so "
                                          "Typomat cannot type."));
        if (answer->value(0).toUInt() != 0)
            throw KeyError(QStringLiteral("Typomat was not allowed to type (the remote desktop "
                                          "portal's request was refused or cancelled), so "
                                          "nothing was typed."));
        QVariantMap results;
        answer->value(1).value<QDBusArgument>() >> results;
        return results;
    }

    QDBusConnection bus_;
    QString session_;
};

} // namespace

TypingOffers lookForTypingWays(const QDBusConnection& bus)
{
    TypingOffers offers;
    const QVariant version =
        readProperty(bus, portalService, portalPath, portalInterface, QStringLiteral("version"));
    if (version.isValid()) {
        offers.portalVersion = version.toUInt();
        offers.portalKeyboard = readProperty(bus, portalService, portalPath, portalInterface,
                                             QStringLiteral("AvailableDeviceTypes"))
                                    .toUInt()
            & portalKeyboardDevice;
    }
    offers.mutter = readProperty(bus, mutterService,
                                 QStringLiteral("/org/gnome/Mutter/RemoteDesktop"), mutterService,
                                 QStringLiteral("Version"))
                        .isValid();
    return offers;
}

std::unique_ptr<RemoteKeyboard> openRemoteKeyboard(const QDBusConnection& bus, TypingWay way,
                                                   const QString& tokenFile)
{
    switch (way) {
    case TypingWay::Portal:
        return std::make_unique<PortalKeyboard>(bus, lookForTypingWays(bus).portalVersion,
                                                tokenFile);
    case TypingWay::Mutter: return std::make_unique<MutterKeyboard>(bus);
    case TypingWay::None: break;
    }
    throw KeyError(QStringLiteral("GNOME offers Typomat no way to type here: neither the remote "
                                  "desktop portal nor GNOME's remote desktop service answers, so "
                                  "nothing was typed."));
}

} // namespace keys::gnome
