// SPDX-License-Identifier: MIT
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
#include "TerminalBench.h"
#include "TerminalRows.h"
#include "WaylandSession.h"
#include "keys/wayland/WaylandKeySender.h"

#include <algorithm>
#include <csignal>
#include <thread>

using namespace testsupport;
using namespace bench;

int main(int argc, char** argv)
{
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
    SwaySession sway(true);
    FootCapture term(sway, QStringLiteral("Bench Target"));
    FootCapture other(sway, QStringLiteral("Bench Other"));
    if (!started(term) || !started(other))
        return 1;
    keys::WaylandKeySender sender;
    const auto received = [&term] { return term.bytes(); };
    std::printf("bench_typing_wayland: %d runs per method, headless sway, foot\n", runs);
    printActivation(sender, term.title(), other.title(), runs);

    for (const NamedText& t : typingTexts()) {
        const QString keys = escaped(t.text);
        Tally ours, wtype;
        for (int r = 0; r < runs; ++r) {
            sender.AppActivate(term.title());
            measure(received, t.text, ours, reporting([&] { sender.SendKeys(keys, true); }));
            sender.AppActivate(term.title());
            measure(received, t.text, wtype, [&] {
                ChildProcess(QStringLiteral("wtype"), {QStringLiteral("--"), t.text})
                    .waitForExit(120000);
            });
        }
        const qsizetype chars = t.text.toUcs4().size();
        print(t.name, "Typomat", chars, ours);
        print(t.name, "wtype (default)", chars, wtype);
        std::printf("%-28s Typomat is %.1fx wtype\n", t.name, median(wtype.ms) / median(ours.ms));
    }

    // Shortcuts that open nothing: each costs foot's handling and a margin.
    std::vector<double> each;
    sender.AppActivate(term.title());
    for (int r = 0; r < runs; ++r)
        for (char c = 'a'; c < 'a' + 10; ++c) {
            QElapsedTimer clock;
            clock.start();
            reporting([&] { sender.SendKeys(QStringLiteral("^") + QLatin1Char(c), true); })();
            each.push_back(static_cast<double>(clock.nsecsElapsed()) / 1e6);
        }
    std::printf("%-28s median %.1f ms, slowest %.1f ms (%zu)\n", "Ctrl shortcut, each",
                median(each), *std::max_element(each.begin(), each.end()), each.size());

    // foot stopped for a second once 2,000 bytes have arrived: every byte
    // arrives and foot lives on.
    const QString long20k = cycled(QStringLiteral("abcdefghijklmnopqrstuvwxyz0123456789 "), 20000);
    Tally stopped;
    for (int r = 0; r < runs; ++r) {
        sender.AppActivate(term.title());
        const qsizetype before = term.bytes().size();
        std::jthread stopper([&] {
            waitUntil(20000, [&] { return term.bytes().size() >= before + 2000; });
            kill(term.pid(), SIGSTOP);
            QThread::msleep(1000);
            kill(term.pid(), SIGCONT);
        });
        measure(received, long20k, stopped, reporting([&] { sender.SendKeys(long20k, true); }));
        stopper.join();
    }
    print("20000, stopped 1 s", "Typomat", long20k.size(), stopped);
    std::printf("%-28s foot %s\n", "20000, stopped 1 s", term.isRunning() ? "alive" : "DEAD");

    // More different characters than one keymap holds, into an X11 program.
    const QString cjk = characterRange(U'\u4e00', U'\u4e00' + 399);
    for (const bool seen : {true, false}) {
        XwaylandCapture xterm(sway, seen ? QStringLiteral("Bench XTerm") : QStringLiteral("Bench XTerm Other"), !seen);
        if (!started(xterm))
            return 1;
        Tally tally;
        for (int r = 0; r < runs; ++r) {
            sender.AppActivate(xterm.title());
            measure([&] { return xterm.bytes(); }, cjk, tally,
                    reporting([&] { sender.SendKeys(cjk, true); }));
        }
        print("400 CJK, keymap swaps", seen ? "xterm, seen" : "xterm, not seen", 400, tally);
    }
    return 0;
}
