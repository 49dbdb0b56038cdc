// SPDX-License-Identifier: MIT
// Typing speed and exactness of the GNOME backend on a headless GNOME Shell
// with Typomat's extension:
//   bench_typing_gnome [runs]
// Prints the activation time (call until the extension reports that the
// keyboard goes to the window), then characters per second for 2,000 ASCII
// characters from the call until the last byte reached foot's tty, and how
// many runs were exact.
#include "GnomeSession.h"
#include "TerminalBench.h"
#include "keys/gnome/GnomeKeySender.h"

#include <QCoreApplication>

#include <algorithm>

using namespace testsupport;

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
    GnomeShellSession shell;
    if (!shell.setExtensionEnabled(true)) {
        std::fprintf(stderr, "the extension did not start:\n%s\n", qPrintable(shell.log()));
        return 1;
    }
    FootCapture term(shell, QStringLiteral("Bench Target"));
    FootCapture other(shell, QStringLiteral("Bench Other"));
    if (!bench::started(term) || !bench::started(other))
        return 1;
    keys::GnomeKeySender sender;
    std::printf("bench_typing_gnome: %d runs, headless GNOME Shell %s, foot\n", runs,
                qPrintable(shell.shellVersion()));
    try {
        sender.AppActivate(other.title()); // leaves the overview
        bench::printActivation(sender, term.title(), other.title(), runs);
        const QString text = bench::asciiText();
        bench::Tally tally;
        for (int r = 0; r < runs; ++r) {
            sender.AppActivate(term.title());
            bench::measure([&] { return term.bytes(); }, text, tally,
                           [&] { sender.SendKeys(bench::escaped(text), true); });
        }
        bench::print("ASCII 2000", "Typomat", text.size(), tally);
    } catch (const keys::KeyError& e) {
        std::fprintf(stderr, "%s\nGNOME Shell's log:\n%s\n", qPrintable(e.description()),
                     qPrintable(shell.log()));
        return 1;
    }
    return 0;
}
