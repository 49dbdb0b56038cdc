// SPDX-License-Identifier: MIT
// Typing speed and exactness of the X11 backend under Xvfb and openbox,
// beside `xdotool type` in the same run (alternating, medians):
//   bench_typing [runs] [x11]
// Prints the activation time, exactness into a Qt text box, then per text
// and method characters per second (from the call until the last byte
// reached the terminal's tty), lost, extra and misordered characters. Each
// non-ASCII run of Typomat starts cold (a new sender: no spare keycode bound
// yet); a warm row follows. The X11 rows then compare with the floor (bare
// XTest events, flushed once) and time lines, shortcuts and dialogs; last,
// the memory of the largest key string accepted and of one refused.
#include "TypingTexts.h"
#include "XSession.h"
#include "keys/Notation.h"
#include "keys/x11/X11KeySender.h"

#include <QElapsedTimer>
#include <QFile>
#include <QThread>

#include <X11/Xlib.h>
// The X11 backend's own parts, for the memory of a plan. Xlib after Qt.
#include "keys/x11/XConnection.h"
#include "keys/x11/XKeymap.h"
#include "keys/x11/XTyping.h"

#include <X11/XKBlib.h>
#include <X11/extensions/XTest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

using namespace testsupport;
using bench::escaped;
using bench::median;

namespace {

struct Errors {
    qsizetype lost = 0, extra = 0, misordered = 0, wrong = 0;
};

// Lost and extra by count of each character; misordered: characters both
// texts have that are not in their longest common subsequence.
Errors compare(const QList<uint>& want, const QList<uint>& got)
{
    Errors e;
    std::vector<uint> a(want.begin(), want.end()), b(got.begin(), got.end());
    std::vector<uint> sa = a, sb = b;
    std::sort(sa.begin(), sa.end());
    std::sort(sb.begin(), sb.end());
    std::vector<uint> common;
    std::set_intersection(sa.begin(), sa.end(), sb.begin(), sb.end(), std::back_inserter(common));
    e.lost = static_cast<qsizetype>(a.size() - common.size());
    e.extra = static_cast<qsizetype>(b.size() - common.size());
    std::vector<int> row(b.size() + 1, 0), prev(b.size() + 1, 0);
    for (std::size_t i = 1; i <= a.size(); ++i) {
        for (std::size_t j = 1; j <= b.size(); ++j)
            row[j] = a[i - 1] == b[j - 1] ? prev[j - 1] + 1 : std::max(prev[j], row[j - 1]);
        std::swap(row, prev);
    }
    e.misordered = static_cast<qsizetype>(common.size()) - prev[b.size()];
    e.wrong = std::min(e.lost, e.extra);
    return e;
}

struct Run {
    double ms = 0;
    Errors errors;
};

// Starts typing, then waits until the bytes are all there or stop coming.
template <typename Start>
Run measure(const CaptureTerminal& term, const QString& text, Start start)
{
    const qsizetype before = term.bytes().size();
    const qsizetype want = before + text.toUtf8().size();
    QElapsedTimer clock;
    clock.start();
    start();
    qsizetype size = term.bytes().size();
    qint64 lastGrowth = clock.elapsed();
    while (size < want && clock.elapsed() - lastGrowth < 1500) {
        QThread::usleep(300);
        const qsizetype now = term.bytes().size();
        if (now != size) {
            size = now;
            lastGrowth = clock.elapsed();
        }
    }
    Run run;
    run.ms = static_cast<double>(size >= want ? clock.nsecsElapsed() : lastGrowth * 1000000) / 1e6;
    QThread::msleep(200); // room for extra bytes
    run.errors = compare(text.toUcs4(), QString::fromUtf8(term.bytes().mid(before)).toUcs4());
    return run;
}

struct Tally {
    std::vector<double> ms;
    Errors errors;
    int exact = 0;
    void add(const Run& r)
    {
        ms.push_back(r.ms);
        errors.lost += r.errors.lost;
        errors.extra += r.errors.extra;
        errors.misordered += r.errors.misordered;
        errors.wrong += r.errors.wrong;
        exact += r.errors.lost + r.errors.extra + r.errors.misordered == 0;
    }
};

void print(const char* text, const char* method, qsizetype chars, const Tally& t)
{
    const double ms = median(t.ms);
    std::printf("%-22s %-26s %5zu runs %9.1f ms %10.0f chars/s  exact %d/%zu  lost %lld extra %lld "
                "misordered %lld\n",
                text, method, t.ms.size(), ms, ms > 0 ? chars * 1000.0 / ms : 0, t.exact,
                t.ms.size(), static_cast<long long>(t.errors.lost),
                static_cast<long long>(t.errors.extra), static_cast<long long>(t.errors.misordered));
    std::fflush(stdout);
}

// openbox reloads its key grabs on every keymap change; after xdotool's
// many changes it may not answer within the 2 s an activation waits.
void activate(keys::X11KeySender& sender, const QString& title)
{
    for (int attempt = 1;; ++attempt) {
        try {
            sender.AppActivate(title);
            return;
        } catch (const keys::KeyError& e) {
            std::printf("  (activation attempt %d: %s)\n", attempt, qPrintable(e.description()));
            if (attempt == 5)
                throw;
        }
    }
}

void xdotoolType(const XServer& server, const QString& text, const QString& delay)
{
    ChildProcess xdotool(QStringLiteral("xdotool"),
                         {QStringLiteral("type"), QStringLiteral("--delay"), delay,
                          QStringLiteral("--"), text},
                         server.display());
    xdotool.waitForExit(120000);
}


// Lines of 19 printable characters (no notation characters), each ended by
// Enter: 2,000 keys in all. What a raw tty receives: Enter as "\r".
QString linesText(QChar enter)
{
    QString text;
    unsigned seed = 4242;
    for (int line = 0; line < 100; ++line) {
        for (int i = 0; i < 19; ++i) {
            seed = seed * 1103515245 + 12345;
            text += QChar('a' + static_cast<int>((seed >> 16) % 26));
        }
        text += enter;
    }
    return text;
}

QString linesKeys()
{
    return linesText(QLatin1Char('~'));
}

// The physical floor: the same characters as bare XTest key events on a
// connection of the benchmark's own, flushed once, timed to the last byte.
Run bareXTest(const XServer& server, const CaptureTerminal& term, const QString& text)
{
    Display* dpy = XOpenDisplay(server.display().toLocal8Bit().constData());
    const KeyCode shift = XKeysymToKeycode(dpy, XStringToKeysym("Shift_L"));
    struct Key {
        KeyCode code;
        bool shifted;
    };
    std::vector<Key> keys;
    for (QChar c : text) {
        const KeySym sym = c == QLatin1Char('\r') ? XStringToKeysym("Return") : c.unicode();
        const KeyCode code = XKeysymToKeycode(dpy, sym);
        keys.push_back({code, XkbKeycodeToKeysym(dpy, code, 0, 0) != sym});
    }
    const Run run = measure(term, text, [&] {
        for (const Key& key : keys) {
            if (key.shifted)
                XTestFakeKeyEvent(dpy, shift, True, CurrentTime);
            XTestFakeKeyEvent(dpy, key.code, True, CurrentTime);
            XTestFakeKeyEvent(dpy, key.code, False, CurrentTime);
            if (key.shifted)
                XTestFakeKeyEvent(dpy, shift, False, CurrentTime);
        }
        XFlush(dpy);
    });
    XCloseDisplay(dpy);
    return run;
}

// Until the Qt text box holds the whole text; milliseconds, exact or not.
std::pair<double, bool> intoTextBox(keys::X11KeySender& sender, const TextBoxTarget& box,
                                    const QString& keys, const QString& want)
{
    const QString before = box.text();
    activate(sender, box.title());
    QElapsedTimer clock;
    clock.start();
    sender.SendKeys(keys, true);
    waitUntil(30000, [&] { return box.text().size() >= before.size() + want.size(); });
    const double ms = static_cast<double>(clock.nsecsElapsed()) / 1e6;
    QThread::msleep(200);
    return {ms, box.text().mid(before.size()) == want};
}

// The X11 backend against the floor, with lines, shortcuts and dialogs.
void x11Rows(const XServer& server, const CaptureTerminal& term, const CaptureTerminal& other,
             const TextBoxTarget& box, keys::X11KeySender& sender, int runs)
{
    std::printf("\nX11 backend (medians of %d runs)\n", runs);
    const QString ascii = bench::asciiText();
    const QString lines = linesText(QLatin1Char('\r'));
    Tally floor, plain, lineRuns, shortcutRuns;
    QString shortcuts, shortcutBytes;
    for (int i = 0; i < 10; ++i) {
        shortcuts += QStringLiteral("^gshortcut %1 then text").arg(i);
        shortcutBytes += QStringLiteral("\x07shortcut %1 then text").arg(i);
    }
    for (int r = 0; r < runs; ++r) {
        activate(sender, term.title());
        floor.add(bareXTest(server, term, ascii));
        activate(sender, term.title());
        plain.add(measure(term, ascii, [&] { sender.SendKeys(escaped(ascii), true); }));
        activate(sender, term.title());
        lineRuns.add(measure(term, lines, [&] { sender.SendKeys(linesKeys(), true); }));
        activate(sender, term.title());
        shortcutRuns.add(
            measure(term, shortcutBytes, [&] { sender.SendKeys(shortcuts, true); }));
    }
    print("ASCII 2000", "bare XTest (floor)", 2000, floor);
    print("ASCII 2000", "Typomat", 2000, plain);
    std::printf("  plain ASCII / floor: %.2fx\n", median(plain.ms) / median(floor.ms));
    print("100 lines into xterm", "Typomat", 2000, lineRuns);
    std::printf("  100 lines / plain ASCII: %.2fx\n", median(lineRuns.ms) / median(plain.ms));
    print("10 Ctrl shortcuts+text", "Typomat (xterm)", shortcutBytes.size(), shortcutRuns);

    std::vector<double> boxPlain, boxLines, boxShortcuts;
    int boxPlainExact = 0, boxLinesExact = 0, boxShortcutsExact = 0;
    QString boxShortcutKeys, boxShortcutText;
    for (int i = 0; i < 10; ++i) {
        boxShortcutKeys += QStringLiteral("^rshortcut %1 then text").arg(i);
        boxShortcutText += QStringLiteral("shortcut %1 then text").arg(i);
    }
    for (int r = 0; r < runs; ++r) {
        const auto [pms, pexact] = intoTextBox(sender, box, escaped(ascii), ascii);
        boxPlain.push_back(pms);
        boxPlainExact += pexact;
        const auto [ms, exact] = intoTextBox(sender, box, linesKeys(), linesText(QLatin1Char('\n')));
        boxLines.push_back(ms);
        boxLinesExact += exact;
        const auto [sms, sexact] = intoTextBox(sender, box, boxShortcutKeys, boxShortcutText);
        boxShortcuts.push_back(sms);
        boxShortcutsExact += sexact;
    }
    std::printf("ASCII 2000 into Qt box  Typomat %9.1f ms  exact %d/%d\n", median(boxPlain),
                boxPlainExact, runs);
    std::printf("100 lines into Qt box   Typomat %9.1f ms  exact %d/%d  (%.2fx plain ASCII into it)\n",
                median(boxLines), boxLinesExact, runs, median(boxLines) / median(boxPlain));
    std::printf("10 Ctrl shortcuts+text Typomat (Qt box) %9.1f ms  exact %d/%d\n",
                median(boxShortcuts), boxShortcutsExact, runs);

    // Activation of a window whose modal dialog is open.
    DialogTarget app(server, QStringLiteral("Bench Modal"), {QStringLiteral("--dialog-open")});
    waitForWindow(server.display(), app.dialogTitle());
    std::vector<double> modal;
    for (int i = 0; i < 10 * runs; ++i) {
        sender.AppActivate(other.title());
        QElapsedTimer clock;
        clock.start();
        sender.AppActivate(app.title());
        modal.push_back(static_cast<double>(clock.nsecsElapsed()) / 1e6);
    }
    std::printf("activation with a modal dialog open: median %.2f ms (%zu)\n", median(modal),
                modal.size());
    std::fflush(stdout);
}

// Ten Ctrl shortcuts that open nothing, into an idle target on this
// machine: from the call until it returned, per shortcut.
void shortcutRows(const CaptureTerminal& term, const TextBoxTarget& box,
                  keys::X11KeySender& sender, int runs)
{
    const QString keys = QStringLiteral("^g").repeated(10);
    std::vector<double> intoTerminal, intoBox;
    for (int r = 0; r < runs; ++r) {
        for (const auto& [title, times] : {std::pair{term.title(), &intoTerminal},
                                          std::pair{box.title(), &intoBox}}) {
            activate(sender, title);
            QElapsedTimer clock;
            clock.start();
            sender.SendKeys(keys, true);
            times->push_back(static_cast<double>(clock.nsecsElapsed()) / 1e6 / 10);
        }
    }
    std::printf("10 Ctrl shortcuts opening nothing: per shortcut median %.2f ms (xterm), %.2f ms "
                "(Qt box)  (goal at most 5 ms)\n",
                median(intoTerminal), median(intoBox));
    std::fflush(stdout);
}

// A shortcut handler that sleeps 300 ms before its dialog opens, then a
// name and Enter for the dialog: every key must land there. From the call
// until it returned, against the handler's own 300 ms.
void slowHandlerRows(const XServer& server, keys::X11KeySender& sender, int runs)
{
    DialogTarget app(server, QStringLiteral("Bench Slow Handler"),
                     {QStringLiteral("--sleep-ms"), QStringLiteral("300")});
    std::vector<double> times;
    int exact = 0;
    for (int r = 0; r < runs; ++r) {
        activate(sender, app.title());
        const QString name = QStringLiteral("name%1").arg(r);
        QElapsedTimer clock;
        clock.start();
        sender.SendKeys(QStringLiteral("^d") + name + QLatin1Char('~'), true);
        times.push_back(static_cast<double>(clock.nsecsElapsed()) / 1e6);
        exact += app.waitFor(QStringLiteral("accepted"), QString::number(r + 1)) == QString::number(r + 1)
            && app.value(QStringLiteral("dialog")) == name && app.value(QStringLiteral("main")).isEmpty();
    }
    std::printf("slow handler (sleeps 300 ms) ^dname~: median %.1f ms, handler + %.1f ms (goal at "
                "most + 50 ms), every key in the dialog %d/%d\n",
                median(times), median(times) - 300, exact, runs);
    std::fflush(stdout);
}

// Peak resident memory of this process so far, in MB.
double peakMegabytes()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').front().toDouble() / 1024.0;
    return 0;
}

// The largest key string that is accepted (1,000,000 keys), read and
// planned for the keyboard as typing would, and one far beyond the limit.
void keyLimitRows()
{
    const double before = peakMegabytes();
    QElapsedTimer clock;
    clock.start();
    const keys::KeyEvents largest = keys::parseKeyString(QStringLiteral("{x 10000}").repeated(100));
    const double parsedMs = static_cast<double>(clock.nsecsElapsed()) / 1e6;
    std::printf("largest accepted key string (%zu keys): read in %.1f ms, peak memory %.1f MB "
                "(%.1f MB before)\n",
                largest.size(), parsedMs, peakMegabytes(), before);
    {
        // What the X11 backend adds before the first key: its plan of strokes.
        auto x = keys::x11::XConnection::open();
        const keys::x11::Keymap keymap(x->dpy(), {});
        clock.restart();
        const std::vector<keys::x11::Stroke> strokes = keys::x11::planStrokes(largest, keymap);
        std::printf("  planned for X11 in %.1f ms (%zu strokes), peak memory %.1f MB\n",
                    static_cast<double>(clock.nsecsElapsed()) / 1e6, strokes.size(),
                    peakMegabytes());
    }
    clock.restart();
    QString refused;
    try {
        keys::parseKeyString(QStringLiteral("{x 10000}").repeated(10000));
    } catch (const keys::KeyError& e) {
        refused = e.description();
    }
    std::printf("10,000 copies of {x 10000}: refused in %.1f ms, peak memory %.1f MB: %s\n",
                static_cast<double>(clock.nsecsElapsed()) / 1e6, peakMegabytes(),
                qPrintable(refused.left(60)));
}

} // namespace

int main(int argc, char** argv)
{
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
    XServer server;
    WindowManager wm(server);
    CaptureTerminal term(server, QStringLiteral("Bench Target"));
    CaptureTerminal other(server, QStringLiteral("Bench Other"));
    TextBoxTarget box(server, QStringLiteral("Bench Qt Box"));
    qputenv("DISPLAY", server.display().toLocal8Bit());
    // Replaced by a new one for cold runs: the old one empties its keycodes.
    auto sender = std::make_unique<keys::X11KeySender>();

    const std::vector<bench::NamedText> texts = bench::typingTexts();

    std::printf("bench_typing: %d runs per method, display %s\n", runs,
                qPrintable(server.display()));
    // "x11": only the X11 backend's own rows, without xdotool.
    if (argc > 2 && std::strcmp(argv[2], "x11") == 0) {
        x11Rows(server, term, other, box, *sender, runs);
        shortcutRows(term, box, *sender, runs);
        slowHandlerRows(server, *sender, runs);
        return 0;
    }

    // Activation: from the call until the focus is verified in the target.
    std::vector<double> activation, xdotoolActivation;
    for (int i = 0; i < 10 * runs; ++i) {
        const CaptureTerminal& target = i % 2 ? term : other;
        QElapsedTimer clock;
        clock.start();
        sender->AppActivate(target.title());
        activation.push_back(static_cast<double>(clock.nsecsElapsed()) / 1e6);
    }
    // Before any typing: a keymap changed by xdotool keeps openbox busy
    // for seconds, and activations then wait for it.
    for (int i = 0; i < 2 * runs; ++i) {
        const CaptureTerminal& target = i % 2 ? term : other;
        QElapsedTimer clock;
        clock.start();
        ChildProcess xdotool(QStringLiteral("xdotool"),
                             {QStringLiteral("windowactivate"), QStringLiteral("--sync"),
                              QString::number(target.window())},
                             server.display());
        xdotool.waitForExit(10000);
        xdotoolActivation.push_back(static_cast<double>(clock.nsecsElapsed()) / 1e6);
    }
    std::printf("activation median: Typomat %.2f ms (%zu), xdotool windowactivate --sync %.2f ms (%zu)\n",
                median(activation), activation.size(), median(xdotoolActivation),
                xdotoolActivation.size());


    // Exactness into a Qt text box: not every toolkit reads keys as xterm does.
    // Before xdotool has had its turn (see activate()).
    for (const bench::NamedText& t : texts) {
        const QString before = box.text();
        activate(*sender, box.title());
        QElapsedTimer clock;
        clock.start();
        sender->SendKeys(escaped(t.text), true);
        const double sentMs = static_cast<double>(clock.nsecsElapsed()) / 1e6;
        const QString want = before + t.text;
        waitUntil(30000, [&] { return box.text().size() >= want.size(); });
        const double doneMs = static_cast<double>(clock.nsecsElapsed()) / 1e6;
        QThread::msleep(300);
        const Errors e = compare(t.text.toUcs4(), box.text().mid(before.size()).toUcs4());
        std::printf("Qt text box %-22s sent in %.1f ms, all read after %.1f ms: %s (lost %lld extra %lld misordered %lld)\n",
                    t.name, sentMs, doneMs,
                    e.lost + e.extra + e.misordered == 0 ? "exact" : "NOT EXACT",
                    static_cast<long long>(e.lost), static_cast<long long>(e.extra),
                    static_cast<long long>(e.misordered));
    }

    for (const bench::NamedText& t : texts) {
        const qsizetype chars = t.text.toUcs4().size();
        const QString keys = escaped(t.text);
        Tally ours, fastXdotool;
        const bool nonAscii = t.text.toUcs4().front() > 0x7f;
        Tally warm;
        for (int r = 0; r < runs; ++r) {
            if (nonAscii) {
                // Cold: a new sender, whose spare keycodes are all empty.
                sender = std::make_unique<keys::X11KeySender>();
                activate(*sender, term.title());
                ours.add(measure(term, t.text, [&] { sender->SendKeys(keys, true); }));
            }
            activate(*sender, term.title());
            (nonAscii ? warm : ours).add(measure(term, t.text, [&] { sender->SendKeys(keys, true); }));
            activate(*sender, term.title());
            fastXdotool.add(measure(term, t.text, [&] {
                xdotoolType(server, t.text, QStringLiteral("0"));
            }));
        }
        Tally slowXdotool;
        activate(*sender, term.title());
        slowXdotool.add(measure(term, t.text, [&] {
            xdotoolType(server, t.text, QStringLiteral("12"));
        }));
        print(t.name, nonAscii ? "Typomat (cold)" : "Typomat", chars, ours);
        if (nonAscii)
            print(t.name, "Typomat (warm)", chars, warm);
        print(t.name, "xdotool type --delay 0", chars, fastXdotool);
        print(t.name, "xdotool type (default 12)", chars, slowXdotool);
    }

    x11Rows(server, term, other, box, *sender, runs);
    shortcutRows(term, box, *sender, runs);
    slowHandlerRows(server, *sender, runs);
    keyLimitRows();
    return 0;
}
