// SPDX-License-Identifier: MIT
// Qt before Xlib: Xlib's macros clash with Qt's names.
#include <QDateTime>
#include <QSysInfo>
#include <QStringList>

#include "keys/x11/XSpareKeys.h"
#include "keys/x11/XReceipt.h"
#include "keys/process/TargetProcess.h"

#include <X11/XKBlib.h>
#include <X11/Xatom.h>

#include <atomic>
#include <cerrno>
#include <functional>
#include <csignal>
#include <fcntl.h>
#include <iterator>
#include <mutex>
#include <thread>
#include <unistd.h>

namespace keys::x11 {

namespace {

LevelSymbols currentSymbols(XkbDescPtr xkb, KeyCode code)
{
    LevelSymbols symbols{NoSymbol, NoSymbol};
    if (XkbKeyNumGroups(xkb, code) == 0 || XkbKeyNumSyms(xkb, code) == 0)
        return symbols;
    const int width = XkbKeyGroupWidth(xkb, code, 0);
    for (int level = 0; level < 2 && level < width; ++level)
        symbols[static_cast<std::size_t>(level)] = XkbKeySymEntry(xkb, code, level, 0);
    return symbols;
}

void setSymbols(XkbDescPtr xkb, KeyCode code, const LevelSymbols& symbols)
{
    XkbMapChangesRec changes{};
    if (symbols[0] == NoSymbol && symbols[1] == NoSymbol) {
        XkbChangeTypesOfKey(xkb, code, 0, XkbGroup1Mask, nullptr, &changes);
        return;
    }
    const bool shifted = symbols[1] != NoSymbol;
    int type = shifted ? XkbTwoLevelIndex : XkbOneLevelIndex;
    XkbChangeTypesOfKey(xkb, code, 1, XkbGroup1Mask, &type, &changes);
    KeySym* syms = XkbKeySymsPtr(xkb, code);
    syms[0] = symbols[0];
    if (shifted)
        syms[1] = symbols[1];
}

// ------------------------------------------------------------ the record

// One line per keycode: code, the symbols it had and has, owner, target,
// whether the target has read its keys, and when it was last used.
QString hex(unsigned long value)
{
    return QString::number(value, 16);
}

QString hostText(const QString& host)
{
    return host.isEmpty() ? QStringLiteral("-") : host;
}

QString line(const SpareBinding& b)
{
    return QStringList{QString::number(b.code), hex(b.was[0]), hex(b.was[1]), hex(b.now[0]),
                       hex(b.now[1]), QString::number(b.owner.pid), hostText(b.owner.host),
                       QString::number(b.target.pid), hostText(b.target.host),
                       hex(b.targetWindow), b.read ? QStringLiteral("1") : QStringLiteral("0"),
                       QString::number(b.usedAt)}
        .join(QLatin1Char(' '));
}

std::optional<SpareBinding> parseLine(const QString& text)
{
    const QStringList f = text.split(QLatin1Char(' '), Qt::SkipEmptyParts);
    if (f.size() != 12)
        return std::nullopt;
    bool ok = true;
    const auto number = [&ok](const QString& s, int base) {
        bool good = false;
        const unsigned long long value = s.toULongLong(&good, base);
        ok = ok && good;
        return value;
    };
    const auto host = [](const QString& s) { return s == QLatin1String("-") ? QString() : s; };
    SpareBinding b;
    const unsigned long long code = number(f[0], 10);
    b.code = static_cast<KeyCode>(code);
    b.was = {number(f[1], 16), number(f[2], 16)};
    b.now = {number(f[3], 16), number(f[4], 16)};
    b.owner = {static_cast<long>(number(f[5], 10)), host(f[6])};
    b.target = {static_cast<long>(number(f[7], 10)), host(f[8])};
    b.targetWindow = number(f[9], 16);
    b.read = f[10] == QLatin1String("1");
    b.usedAt = static_cast<long long>(number(f[11], 10));
    if (!ok || code < 8 || code > 255)
        return std::nullopt;
    return b;
}

// The process runs on this machine no more. A process elsewhere is taken
// for running.
bool hasEnded(const Party& party)
{
    if (party.host != QSysInfo::machineHostName() || party.pid <= 0)
        return false;
    return process::processEnded(party.pid);
}

long long secondsNow()
{
    return QDateTime::currentSecsSinceEpoch();
}

// A binding whose last target cannot be watched is taken for read after
// this long.
constexpr long long unseenReadAfterSeconds = 60;

// ------------------------------------------------------------ signals

constexpr int guardedSignals[] = {SIGTERM, SIGINT, SIGHUP};

struct SignalGuard {
    std::mutex lock;
    std::set<QString> displays;
    std::atomic<bool> stop{false};
    std::atomic<bool> handled{false};
    std::atomic<int> typing{0};
    struct sigaction previous[std::size(guardedSignals)] = {};
    int pipe[2] = {-1, -1};
};

SignalGuard& guard()
{
    static SignalGuard* g = new SignalGuard; // lives to the process's end
    return *g;
}

extern "C" void onStopSignal(int signal)
{
    const int saved = errno;
    const unsigned char number = static_cast<unsigned char>(signal);
    if (::write(guard().pipe[1], &number, 1) < 0) {
        // Nothing to be done in a signal handler.
    }
    errno = saved;
}

// Runs on a thread of its own, with connections of its own.
void handleStopSignals()
{
    SignalGuard& g = guard();
    for (;;) {
        unsigned char number = 0;
        if (::read(g.pipe[0], &number, 1) != 1) {
            if (errno == EINTR)
                continue;
            return;
        }
        g.stop = true;
        // The typing in progress stops at its next key.
        for (int i = 0; i < 300 && g.typing > 0; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        std::set<QString> displays;
        {
            std::lock_guard<std::mutex> hold(g.lock);
            displays = g.displays;
        }
        for (const QString& display : displays)
            if (std::unique_ptr<XConnection> x = XConnection::open(display.toLocal8Bit().constData()))
                // The process ends now: its bindings go back, after a second
                // for the target to read what it was sent.
                SpareKeys(*x).restoreOwn(1000, true);
        g.handled = true;
        const int signal = number;
        for (std::size_t i = 0; i < std::size(guardedSignals); ++i)
            if (guardedSignals[i] == signal)
                sigaction(signal, &g.previous[i], nullptr);
        // Ends the process as the signal would have (or hands it to the
        // handler that was there before).
        kill(getpid(), signal);
        return;
    }
}

} // namespace

bool setKeycodeSymbols(Display* dpy, const std::map<KeyCode, LevelSymbols>& symbols,
                       const std::map<KeyCode, LevelSymbols>* expected)
{
    if (symbols.empty())
        return true;
    // Xlib consults the key actions when a key's width changes.
    XkbDescPtr xkb =
        XkbGetMap(dpy, XkbKeyTypesMask | XkbKeySymsMask | XkbKeyActionsMask, XkbUseCoreKbd);
    if (!xkb)
        return false;
    ErrorTrap errors(dpy);
    KeyCode first = 0, last = 0;
    for (const auto& [code, wanted] : symbols) {
        if (code < xkb->min_key_code || code > xkb->max_key_code)
            continue;
        if (expected) {
            auto mine = expected->find(code);
            if (mine == expected->end() || mine->second != currentSymbols(xkb, code))
                continue;
        }
        if (currentSymbols(xkb, code) == wanted)
            continue;
        setSymbols(xkb, code, wanted);
        first = first ? std::min(first, code) : code;
        last = std::max(last, code);
    }
    if (first) {
        XkbMapChangesRec changes{};
        changes.changed = XkbKeySymsMask;
        changes.first_key_sym = first;
        changes.num_key_syms = static_cast<unsigned char>(last - first + 1);
        XkbChangeMap(dpy, xkb, &changes);
    }
    XkbFreeKeyboard(xkb, 0, True);
    return errors.check() == Success;
}

SpareKeys::SpareKeys(XConnection& x) : x_(x), property_(x.atom("_TYPOMAT_SPARE_KEYS")) {}

Party SpareKeys::self()
{
    return {static_cast<long>(getpid()), QSysInfo::machineHostName()};
}

SpareBindings SpareKeys::load()
{
    SpareBindings bindings;
    Atom type;
    int format;
    unsigned long count, after;
    unsigned char* data = nullptr;
    if (XGetWindowProperty(x_.dpy(), x_.root(), property_, 0, 65536, False,
                           x_.atom("UTF8_STRING"), &type, &format, &count, &after, &data)
            != Success
        || !data)
        return bindings;
    const QString text = format == 8 ? QString::fromUtf8(reinterpret_cast<const char*>(data),
                                                         static_cast<qsizetype>(count))
                                     : QString();
    XFree(data);
    for (const QString& entry : text.split(QLatin1Char('\n'), Qt::SkipEmptyParts))
        if (const std::optional<SpareBinding> b = parseLine(entry))
            bindings[b->code] = *b;
    if (bindings.empty())
        return bindings;
    // A keycode that no longer carries what was recorded has been given
    // other symbols (a new layout): it is nobody's now.
    XkbDescPtr xkb = XkbGetMap(x_.dpy(), XkbKeyTypesMask | XkbKeySymsMask, XkbUseCoreKbd);
    if (!xkb)
        return bindings;
    for (auto it = bindings.begin(); it != bindings.end();) {
        const KeyCode code = it->first;
        const bool inRange = code >= xkb->min_key_code && code <= xkb->max_key_code;
        it = inRange && currentSymbols(xkb, code) == it->second.now ? std::next(it)
                                                                     : bindings.erase(it);
    }
    XkbFreeKeyboard(xkb, 0, True);
    return bindings;
}

void SpareKeys::store(const SpareBindings& bindings)
{
    if (bindings.empty()) {
        XDeleteProperty(x_.dpy(), x_.root(), property_);
        return;
    }
    QStringList lines;
    for (const auto& [code, b] : bindings)
        lines << line(b);
    const QByteArray text = lines.join(QLatin1Char('\n')).toUtf8();
    XChangeProperty(x_.dpy(), x_.root(), property_, x_.atom("UTF8_STRING"), 8, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(text.constData()),
                    static_cast<int>(text.size()));
}

bool SpareKeys::targetHasRead(const SpareBinding& binding, int limitMs)
{
    if (binding.read)
        return true;
    if (binding.target.host == QSysInfo::machineHostName() && binding.target.pid > 0) {
        const Receipt::Outcome outcome =
            Receipt::hasRead(x_, binding.target.pid, limitMs);
        if (outcome != Receipt::Outcome::Unknowable)
            return outcome != Receipt::Outcome::NoAnswer;
    }
    return secondsNow() - binding.usedAt >= unseenReadAfterSeconds;
}

void SpareKeys::putBack(const std::vector<KeyCode>& codes)
{
    if (codes.empty())
        return;
    ServerGrab grab(x_.dpy());
    SpareBindings bindings = load();
    std::map<KeyCode, LevelSymbols> was, now;
    for (KeyCode code : codes) {
        auto b = bindings.find(code);
        if (b == bindings.end())
            continue;
        was[code] = b->second.was;
        now[code] = b->second.now;
        bindings.erase(b);
    }
    setKeycodeSymbols(x_.dpy(), was, &now);
    store(bindings);
}

// The bindings this filter picks whose last target has read their keys
// (one look per target).
std::vector<KeyCode> SpareKeys::readBindings(const std::function<bool(const SpareBinding&)>& pick,
                                             int limitMs)
{
    std::vector<KeyCode> codes;
    std::map<std::pair<long, Window>, bool> readBy;
    for (const auto& [code, b] : load()) {
        if (!pick(b))
            continue;
        bool read = b.read;
        if (!read) {
            const auto target = std::make_pair(b.target.pid, b.targetWindow);
            auto known = readBy.find(target);
            if (known == readBy.end())
                known = readBy.emplace(target, targetHasRead(b, limitMs)).first;
            read = known->second;
        }
        if (read)
            codes.push_back(code);
    }
    return codes;
}

void SpareKeys::takeBackOrphans()
{
    putBack(readBindings([](const SpareBinding& b) { return hasEnded(b.owner); }, 10));
}

SpareKeys::Pool SpareKeys::pool(const SpareBindings& bindings, const Keymap& keymap) const
{
    const Party me = self();
    std::vector<KeyCode> empty, read, unread;
    Pool pool;
    for (KeyCode code : keymap.spareKeycodes()) {
        auto b = bindings.find(code);
        if (b == bindings.end()) {
            empty.push_back(code);
            continue;
        }
        pool.carrying[code] = b->second.now;
        if (b->second.read)
            read.push_back(code);
        else if (b->second.owner == me)
            unread.push_back(code);
        else
            pool.heldByOthers = true;
    }
    pool.codes = empty;
    pool.codes.insert(pool.codes.end(), read.begin(), read.end());
    pool.codes.insert(pool.codes.end(), unread.begin(), unread.end());
    return pool;
}

void SpareKeys::claim(SpareBindings& bindings, const std::set<KeyCode>& codes,
                      const Party& target, Window targetWindow, const Keymap& keymap)
{
    for (KeyCode code : codes) {
        auto found = bindings.find(code);
        SpareBinding b;
        if (found != bindings.end()) {
            b = found->second;
        } else {
            b.code = code;
            b.was = keymap.symbolsAt(code);
            b.now = b.was;
        }
        b.owner = self();
        b.target = target;
        b.targetWindow = targetWindow;
        b.read = false;
        b.usedAt = secondsNow();
        bindings[code] = b;
    }
    store(bindings);
}

bool SpareKeys::bind(const std::map<KeyCode, LevelSymbols>& symbols)
{
    ServerGrab grab(x_.dpy());
    SpareBindings bindings = load();
    if (!setKeycodeSymbols(x_.dpy(), symbols))
        return false;
    for (const auto& [code, syms] : symbols) {
        SpareBinding& b = bindings[code];
        b.code = code;
        b.now = syms;
        b.owner = self();
        b.read = false;
        b.usedAt = secondsNow();
    }
    store(bindings);
    return true;
}

void SpareKeys::markRead(const std::set<KeyCode>& codes)
{
    if (codes.empty())
        return;
    ServerGrab grab(x_.dpy());
    SpareBindings bindings = load();
    for (KeyCode code : codes) {
        auto b = bindings.find(code);
        if (b != bindings.end() && b->second.owner == self())
            b->second.read = true;
    }
    store(bindings);
}

void SpareKeys::restoreOwn(int limitMs, bool evenUnread)
{
    const Party me = self();
    const auto mine = [&me](const SpareBinding& b) { return b.owner == me; };
    std::vector<KeyCode> codes = readBindings(mine, limitMs);
    if (evenUnread)
        for (const auto& [code, b] : load())
            if (mine(b))
                codes.push_back(code);
    putBack(codes);
}

void SpareKeys::guardAgainstSignals(const QString& display)
{
    SignalGuard& g = guard();
    std::lock_guard<std::mutex> hold(g.lock);
    g.displays.insert(display);
    if (g.pipe[0] >= 0)
        return;
    if (pipe2(g.pipe, O_CLOEXEC) != 0)
        return;
    std::thread(handleStopSignals).detach();
    for (std::size_t i = 0; i < std::size(guardedSignals); ++i) {
        struct sigaction action {};
        action.sa_handler = onStopSignal;
        sigemptyset(&action.sa_mask);
        action.sa_flags = SA_RESTART;
        sigaction(guardedSignals[i], nullptr, &g.previous[i]);
        // A signal the process ignores (nohup) stays ignored.
        if (g.previous[i].sa_handler != SIG_IGN)
            sigaction(guardedSignals[i], &action, nullptr);
    }
}

bool SpareKeys::stopRequested()
{
    return guard().stop;
}

void SpareKeys::awaitStopHandled()
{
    SignalGuard& g = guard();
    for (int i = 0; i < 3000 && g.stop && !g.handled; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

TypingSpan::TypingSpan()
{
    ++guard().typing;
}

TypingSpan::~TypingSpan()
{
    --guard().typing;
}

} // namespace keys::x11
