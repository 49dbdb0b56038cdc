// Typing speed and exactness of the Wayland backend on a headless sway,
// beside wtype (same virtual keyboard protocol) in the same session:
//   bench_typing_wayland [runs]
// Prints the activation time (call until the compositor reports the window
// active), then per text and method characters per second from the call
// until the last byte reached foot's tty, and how many runs were exact.
// The texts are those of bench_typing. Then typing that must wait on the
// target: 20,000 characters into a foot stopped for a second once 2,000
// have arrived, and 400 different CJK characters (more than one keymap
// holds) into xterm through XWayland, run by the same user (its process
// seen) and by another one (not seen).
#include "TypingTexts.h"
#include "WaylandSession.h"
#include "keys/wayland/WaylandKeySender.h"

#include <QElapsedTimer>
#include <QThread>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <thread>
#include <vector>

using namespace testsupport;
using bench::escaped;
using bench::median;

namespace {

struct Tally {
    std::vector<double> ms;
    int exact = 0;
};

// Starts typing, then waits until the bytes are all there or stop coming.
template <typename Start>
void measure(const SessionTerminal& term, const QString& text, Tally& tally, Start start)
{
    const QByteArray want = text.toUtf8();
    const qsizetype before = term.bytes().size();
    QElapsedTimer clock;
    clock.start();
    start();
    qsizetype size = term.bytes().size();
    qint64 lastGrowth = clock.elapsed();
    while (size < before + want.size() && clock.elapsed() - lastGrowth < 1500) {
        QThread::usleep(300);
        const qsizetype now = term.bytes().size();
        if (now != size) {
            size = now;
            lastGrowth = clock.elapsed();
        }
    }
    tally.ms.push_back(static_cast<double>(size >= before + want.size() ? clock.nsecsElapsed()
                                                                         : lastGrowth * 1000000)
                       / 1e6);
    QThread::msleep(200); // room for extra bytes
    const QString got = QString::fromUtf8(term.bytes().mid(before));
    tally.exact += got == text;
    if (got != text) {
        qsizetype same = 0;
        while (same < got.size() && same < text.size() && got[same] == text[same])
            ++same;
        std::printf("  not exact: %lld of %lld characters arrived, the first %lld right\n",
                    static_cast<long long>(got.size()), static_cast<long long>(text.size()),
                    static_cast<long long>(same));
    }
}

// Starts typing and waits for its end, as measure() does, with the target
// stopped for stopMs once stopAfter bytes have arrived.
template <typename Start>
void measureStopped(SessionTerminal& term, const QString& text, Tally& tally, qsizetype stopAfter,
                    int stopMs, Start start)
{
    const qsizetype before = term.bytes().size();
    std::thread stopper([&] {
        waitUntil(20000, [&] { return term.bytes().size() >= before + stopAfter; });
        kill(term.pid(), SIGSTOP);
        QThread::msleep(static_cast<unsigned long>(stopMs));
        kill(term.pid(), SIGCONT);
    });
    measure(term, text, tally, start);
    stopper.join();
}

void print(const char* text, const char* method, qsizetype chars, const Tally& t)
{
    const double ms = median(t.ms);
    std::printf("%-24s %-16s %3zu runs %9.1f ms %8.0f chars/s  exact %d/%zu\n", text, method,
                t.ms.size(), ms, ms > 0 ? chars * 1000.0 / ms : 0, t.exact, t.ms.size());
    std::fflush(stdout);
}

// A call that fails is not exact; its error is shown.
template <typename Send>
auto reporting(Send send)
{
    return [send] {
        try {
            send();
        } catch (const keys::KeyError& e) {
            std::printf("  error: %s\n", qPrintable(e.description()));
        }
    };
}

bool started(const SessionClient& client)
{
    if (client.failure().isEmpty())
        return true;
    std::printf("%s\n", qPrintable(client.failure()));
    return false;
}

} // namespace

int main(int argc, char** argv)
{
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
    SwaySession sway(true);
    FootCapture term(sway, QStringLiteral("Bench Target"));
    FootCapture other(sway, QStringLiteral("Bench Other"));
    if (!started(term) || !started(other))
        return 1;
    keys::WaylandKeySender sender;

    const std::vector<bench::NamedText> texts = bench::typingTexts();
    std::printf("bench_typing_wayland: %d runs per method, headless sway, foot\n", runs);

    std::vector<double> activation;
    for (int i = 0; i < 10 * runs; ++i) {
        QElapsedTimer clock;
        clock.start();
        sender.AppActivate((i % 2 ? term : other).title());
        activation.push_back(static_cast<double>(clock.nsecsElapsed()) / 1e6);
    }
    std::printf("activation median: %.3f ms (%zu)\n", median(activation), activation.size());

    for (const bench::NamedText& t : texts) {
        const qsizetype chars = t.text.toUcs4().size();
        const QString keys = escaped(t.text);
        Tally ours, wtype;
        for (int r = 0; r < runs; ++r) {
            sender.AppActivate(term.title());
            measure(term, t.text, ours, reporting([&] { sender.SendKeys(keys, true); }));
            sender.AppActivate(term.title());
            measure(term, t.text, wtype, [&] {
                ChildProcess(QStringLiteral("wtype"), {QStringLiteral("--"), t.text})
                    .waitForExit(120000);
            });
        }
        print(t.name, "Typomat", chars, ours);
        print(t.name, "wtype (default)", chars, wtype);
        std::printf("%-24s Typomat is %.1fx wtype\n", t.name, median(wtype.ms) / median(ours.ms));
    }

    // Shortcuts that open nothing: each costs foot's handling and a margin.
    {
        std::vector<double> each;
        sender.AppActivate(term.title());
        for (int r = 0; r < runs; ++r)
            for (char c = 'a'; c < 'a' + 10; ++c) {
                QElapsedTimer clock;
                clock.start();
                reporting([&] { sender.SendKeys(QStringLiteral("^") + QLatin1Char(c), true); })();
                each.push_back(static_cast<double>(clock.nsecsElapsed()) / 1e6);
            }
        std::printf("%-24s median %.1f ms, slowest %.1f ms (%zu)\n", "Ctrl shortcut, each",
                    median(each), *std::max_element(each.begin(), each.end()), each.size());
    }

    // foot stopped for a second: every byte arrives and foot lives on.
    const QString long20k = bench::cycled(QStringLiteral("abcdefghijklmnopqrstuvwxyz0123456789 "), 20000);
    Tally stopped;
    for (int r = 0; r < runs; ++r) {
        sender.AppActivate(term.title());
        measureStopped(term, long20k, stopped, 2000, 1000,
                       reporting([&] { sender.SendKeys(long20k, true); }));
    }
    print("20000, stopped 1 s", "Typomat", long20k.size(), stopped);
    std::printf("%-24s foot %s\n", "20000, stopped 1 s", term.isRunning() ? "alive" : "DEAD");

    // More different characters than one keymap holds, into an X11 program.
    QString cjk;
    for (char32_t c = U'\u4e00'; c < U'\u4e00' + 400; ++c)
        cjk += QString::fromUcs4(&c, 1);
    for (const bool seen : {true, false}) {
        XwaylandCapture xterm(sway, seen ? QStringLiteral("Bench XTerm") : QStringLiteral("Bench XTerm Other"), !seen);
        if (!started(xterm))
            return 1;
        Tally tally;
        for (int r = 0; r < runs; ++r) {
            sender.AppActivate(xterm.title());
            measure(xterm, cjk, tally, reporting([&] { sender.SendKeys(cjk, true); }));
        }
        print("400 CJK, keymap swaps", seen ? "xterm, seen" : "xterm, not seen", 400, tally);
    }
    return 0;
}
