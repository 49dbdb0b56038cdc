// SPDX-License-Identifier: MIT
#include "keys/kde/KWinDisplay.h"

#include "fake-input-client-protocol.h"
#include "keystate-client-protocol.h"
#include "plasma-window-management-client-protocol.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusReply>

#include <wayland-client.h>

#include <algorithm>
#include <cstring>

namespace keys::kde {

namespace {

constexpr std::uint32_t windowManagementVersion = 16;
constexpr std::uint32_t uuidWindowsSince = 13;
constexpr std::uint32_t fakeInputKeysSince = 4;
constexpr int listReadRounds = 5;

template <class Proxy>
std::uint32_t versionOf(Proxy* proxy)
{
    return wl_proxy_get_version(reinterpret_cast<wl_proxy*>(proxy));
}

} // namespace

// The listeners, a friend of the display.
struct Events {
    static KWinDisplay& of(void* data) { return *static_cast<KWinDisplay*>(data); }

    static void global(void* data, wl_registry* registry, std::uint32_t name,
                       const char* interface, std::uint32_t version)
    {
        KWinDisplay& d = of(data);
        const auto is = [&](const wl_interface& i) { return std::strcmp(interface, i.name) == 0; };
        if (std::strncmp(interface, "org_kde_kwin_", 13) == 0
            || std::strncmp(interface, "kde_output_", 11) == 0)
            d.kwin_ = true;
        if (is(wl_seat_interface) && !d.seat_) {
            d.seat_ = static_cast<wl_seat*>(
                wl_registry_bind(registry, name, &wl_seat_interface, std::min(version, 5u)));
        } else if (is(org_kde_plasma_window_management_interface)) {
            d.windows_ = static_cast<org_kde_plasma_window_management*>(
                wl_registry_bind(registry, name, &org_kde_plasma_window_management_interface,
                                 std::min(version, windowManagementVersion)));
            org_kde_plasma_window_management_add_listener(d.windows_, &managementListener, data);
        } else if (is(org_kde_kwin_fake_input_interface) && version >= fakeInputKeysSince) {
            d.fakeInput_ = static_cast<org_kde_kwin_fake_input*>(wl_registry_bind(
                registry, name, &org_kde_kwin_fake_input_interface, fakeInputKeysSince));
        } else if (is(org_kde_kwin_keystate_interface)) {
            d.keystate_ = static_cast<org_kde_kwin_keystate*>(
                wl_registry_bind(registry, name, &org_kde_kwin_keystate_interface, 1));
            org_kde_kwin_keystate_add_listener(d.keystate_, &keystateListener, data);
            org_kde_kwin_keystate_fetchStates(d.keystate_);
        }
    }

    static void showDesktopChanged(void*, org_kde_plasma_window_management*, std::uint32_t) {}
    static void window(void* data, org_kde_plasma_window_management*, std::uint32_t id)
    {
        // Newer KWin sends window_with_uuid as well; its windows come from there.
        KWinDisplay& d = of(data);
        if (versionOf(d.windows_) < uuidWindowsSince)
            d.addWindow(nullptr, id);
    }
    static void stackingOrderChanged(void*, org_kde_plasma_window_management*, wl_array*) {}
    static void stackingOrderUuidChanged(void* data, org_kde_plasma_window_management*,
                                         const char* uuids)
    {
        of(data).stacking_ = QString::fromUtf8(uuids).split(u';', Qt::SkipEmptyParts);
    }
    static void windowWithUuid(void* data, org_kde_plasma_window_management*, std::uint32_t id,
                               const char* uuid)
    {
        of(data).addWindow(uuid, id);
    }

    static PlasmaWindow& window(void* data) { return *static_cast<PlasmaWindow*>(data); }
    static void titleChanged(void* data, org_kde_plasma_window*, const char* title)
    {
        window(data).title = QString::fromUtf8(title);
    }
    static void appIdChanged(void* data, org_kde_plasma_window*, const char* appId)
    {
        window(data).appId = QString::fromUtf8(appId);
    }
    static void stateChanged(void* data, org_kde_plasma_window*, std::uint32_t flags)
    {
        PlasmaWindow& w = window(data);
        const bool active = flags & ORG_KDE_PLASMA_WINDOW_MANAGEMENT_STATE_ACTIVE;
        if (active && !w.active)
            w.lastActivated = ++w.owner->activations_;
        w.active = active;
        w.minimized = flags & ORG_KDE_PLASMA_WINDOW_MANAGEMENT_STATE_MINIMIZED;
    }
    static void virtualDesktopChanged(void*, org_kde_plasma_window*, std::int32_t) {}
    static void themedIconNameChanged(void*, org_kde_plasma_window*, const char*) {}
    static void unmapped(void* data, org_kde_plasma_window*)
    {
        PlasmaWindow& w = window(data);
        w.closed = true;
        w.active = false;
    }
    static void initialState(void* data, org_kde_plasma_window*) { window(data).described = true; }
    static void parentWindow(void* data, org_kde_plasma_window*, org_kde_plasma_window* parent)
    {
        PlasmaWindow& w = window(data);
        w.parent = parent ? w.owner->find(parent) : nullptr;
    }
    static void geometry(void*, org_kde_plasma_window*, std::int32_t, std::int32_t, std::uint32_t,
                         std::uint32_t)
    {
    }
    static void iconChanged(void*, org_kde_plasma_window*) {}
    static void pidChanged(void* data, org_kde_plasma_window*, std::uint32_t pid)
    {
        window(data).pid = static_cast<long>(pid);
    }
    static void desktopEntered(void*, org_kde_plasma_window*, const char*) {}
    static void desktopLeft(void*, org_kde_plasma_window*, const char*) {}
    static void applicationMenu(void*, org_kde_plasma_window*, const char*, const char*) {}
    static void activityEntered(void*, org_kde_plasma_window*, const char*) {}
    static void activityLeft(void*, org_kde_plasma_window*, const char*) {}
    static void resourceNameChanged(void*, org_kde_plasma_window*, const char*) {}

    static void keyState(void* data, org_kde_kwin_keystate*, std::uint32_t key, std::uint32_t state)
    {
        const bool on = state != ORG_KDE_KWIN_KEYSTATE_STATE_UNLOCKED;
        if (key == ORG_KDE_KWIN_KEYSTATE_KEY_CAPSLOCK)
            of(data).locks_.caps = on;
        else if (key == ORG_KDE_KWIN_KEYSTATE_KEY_NUMLOCK)
            of(data).locks_.num = on;
    }

    static constexpr org_kde_plasma_window_management_listener managementListener = {
        showDesktopChanged, window, stackingOrderChanged, stackingOrderUuidChanged,
        windowWithUuid,
    };
    static constexpr org_kde_plasma_window_listener windowListener = {
        titleChanged, appIdChanged, stateChanged, virtualDesktopChanged,
        themedIconNameChanged, unmapped, initialState, parentWindow, geometry, iconChanged,
        pidChanged, desktopEntered, desktopLeft, applicationMenu, activityEntered,
        activityLeft, resourceNameChanged,
    };
    static constexpr org_kde_kwin_keystate_listener keystateListener = {keyState};
};

std::unique_ptr<KWinDisplay> KWinDisplay::connect(bool* silent)
{
    if (silent)
        *silent = false;
    std::unique_ptr<KWinDisplay> d(new KWinDisplay);
    if (!d->connected())
        return nullptr;
    d->listenToGlobals(Events::global, d.get());
    // The first round trip brings the globals, the seat among them.
    const bool globals = d->roundtrip();
    if (globals && d->seat_)
        d->keyboard_ = std::make_unique<layout::SeatKeyboard>(d->seat_);
    if (!globals || !d->readWindowList()) {
        if (silent)
            *silent = d->silent();
        return nullptr;
    }
    return d;
}

KWinDisplay::~KWinDisplay()
{
    for (PlasmaWindow& w : list_)
        org_kde_plasma_window_destroy(w.handle);
    keyboard_.reset();
    if (keystate_)
        org_kde_kwin_keystate_destroy(keystate_);
    if (fakeInput_)
        org_kde_kwin_fake_input_destroy(fakeInput_);
    if (windows_)
        org_kde_plasma_window_management_destroy(windows_);
    if (seat_)
        wl_seat_destroy(seat_);
}

void KWinDisplay::addWindow(const char* uuid, std::uint32_t id)
{
    org_kde_plasma_window* handle = uuid
        ? org_kde_plasma_window_management_get_window_by_uuid(windows_, uuid)
        : org_kde_plasma_window_management_get_window(windows_, id);
    PlasmaWindow& w = list_.emplace_back();
    w.handle = handle;
    w.owner = this;
    w.uuid = uuid ? QString::fromUtf8(uuid) : QString::number(id);
    w.created = ++sequence_;
    org_kde_plasma_window_add_listener(handle, &Events::windowListener, &w);
}

PlasmaWindow* KWinDisplay::find(const org_kde_plasma_window* handle)
{
    for (PlasmaWindow& w : list_)
        if (w.handle == handle)
            return &w;
    return nullptr;
}

std::vector<const PlasmaWindow*> KWinDisplay::stacked() const
{
    std::vector<const PlasmaWindow*> open;
    for (const PlasmaWindow& w : list_)
        if (!w.closed && w.described)
            open.push_back(&w);
    // KWin's stacking order where it tells it; windows it leaves out (none
    // seen so far) go below, in the order they appeared.
    const auto place = [&](const PlasmaWindow* w) { return stacking_.indexOf(w->uuid); };
    std::stable_sort(open.begin(), open.end(), [&](const PlasmaWindow* a, const PlasmaWindow* b) {
        return place(a) < place(b);
    });
    return open;
}

void KWinDisplay::forgetClosed()
{
    for (auto it = list_.begin(); it != list_.end();) {
        if (!it->closed) {
            ++it;
            continue;
        }
        for (PlasmaWindow& w : list_)
            if (w.parent == &*it)
                w.parent = nullptr;
        org_kde_plasma_window_destroy(it->handle);
        it = list_.erase(it);
    }
}

const PlasmaWindow* KWinDisplay::activeWindow() const
{
    for (const PlasmaWindow& w : list_)
        if (w.active && !w.closed)
            return &w;
    return nullptr;
}

void KWinDisplay::activate(const PlasmaWindow& window)
{
    const std::uint32_t flags =
        ORG_KDE_PLASMA_WINDOW_MANAGEMENT_STATE_ACTIVE | ORG_KDE_PLASMA_WINDOW_MANAGEMENT_STATE_MINIMIZED;
    org_kde_plasma_window_set_state(window.handle, flags,
                                    ORG_KDE_PLASMA_WINDOW_MANAGEMENT_STATE_ACTIVE);
}

std::shared_ptr<const layout::SeatLayout> KWinDisplay::layout() const
{
    return keyboard_ ? keyboard_->layout() : nullptr;
}

namespace {

// KWin tells the layout in use, and switches it, on the session bus when the
// user has set up more than one.
QDBusMessage keyboardLayoutsCall(const QString& method)
{
    return QDBusMessage::createMethodCall(
        QStringLiteral("org.kde.keyboard"), QStringLiteral("/Layouts"),
        QStringLiteral("org.kde.KeyboardLayouts"), method);
}

constexpr int layoutCallTimeoutMs = 1000;

} // namespace

std::vector<std::uint32_t> KWinDisplay::usableLayouts() const
{
    const std::shared_ptr<const layout::SeatLayout> seatLayout = layout();
    const std::uint32_t count = seatLayout ? seatLayout->layoutCount() : 1;
    if (count < 2)
        return {0};
    const QDBusReply<uint> active = QDBusConnection::sessionBus().call(
        keyboardLayoutsCall(QStringLiteral("getLayout")), QDBus::Block, layoutCallTimeoutMs);
    if (!active.isValid() || active.value() >= count)
        return {0};
    std::vector<std::uint32_t> layouts{active.value()};
    for (std::uint32_t i = 0; i < count; ++i)
        if (i != active.value())
            layouts.push_back(i);
    return layouts;
}

bool KWinDisplay::switchLayout(std::uint32_t index) const
{
    QDBusMessage call = keyboardLayoutsCall(QStringLiteral("setLayout"));
    call << uint(index);
    const QDBusReply<bool> done =
        QDBusConnection::sessionBus().call(call, QDBus::Block, layoutCallTimeoutMs);
    return done.isValid() && done.value();
}

void KWinDisplay::authenticate()
{
    if (authenticated_)
        return;
    org_kde_kwin_fake_input_authenticate(fakeInput_, "Typomat",
                                         "types the key strings its user keeps");
    authenticated_ = true;
}

void KWinDisplay::key(std::uint32_t code, bool press)
{
    org_kde_kwin_fake_input_keyboard_key(fakeInput_, code,
                                         press ? WL_KEYBOARD_KEY_STATE_PRESSED
                                               : WL_KEYBOARD_KEY_STATE_RELEASED);
}

bool KWinDisplay::readWindowList()
{
    // The windows' announcements, then each one's description (asked for
    // when it was announced), then the windows that appeared meanwhile.
    for (int round = 0; round < listReadRounds; ++round) {
        if (!roundtrip())
            return false;
        const bool described = std::all_of(list_.begin(), list_.end(),
                                           [](const PlasmaWindow& w) { return w.described; });
        if (described && round > 0)
            return true;
    }
    return true;
}

} // namespace keys::kde
