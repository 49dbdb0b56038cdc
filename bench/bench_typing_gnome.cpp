// SPDX-License-Identifier: MIT
// Typing speed and exactness of the GNOME backend on a headless GNOME Shell
// with Typomat's extension:
//   bench_typing_gnome [runs]
// Prints the activation time (call until the extension reports that the
// keyboard goes to the window), then characters per second for 2,000 ASCII
// characters from the call until the last byte reached foot's tty, and how
// many runs were exact.
#include "GnomeSession.h"
#include "TypingTexts.h"
#include "keys/gnome/GnomeKeySender.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>

#include <algorithm>
#include <cstdio>
#include <vector>

using namespace testsupport;
using bench::escaped;
using bench::median;

namespace {

int run(GnomeShellSession& shell, int runs);

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
    GnomeShellSession shell;
    try {
        return run(shell, runs);
    } catch (const keys::KeyError& e) {
        std::fprintf(stderr, "%s\nGNOME Shell's log:\n%s\n", qPrintable(e.description()),
                     qPrintable(shell.log()));
        return 1;
    }
}

namespace {

int run(GnomeShellSession& shell, int runs)
{
    if (!shell.setExtensionEnabled(true)) {
        std::fprintf(stderr, "the extension did not start:\n%s\n", qPrintable(shell.log()));
        return 1;
    }
    GnomeFoot term(shell, QStringLiteral("Bench Target"));
    GnomeFoot other(shell, QStringLiteral("Bench Other"));
    keys::GnomeKeySender sender;
    std::printf("bench_typing_gnome: %d runs, headless GNOME Shell %s, foot\n", runs,
                qPrintable(shell.shellVersion()));

    sender.AppActivate(other.title()); // leaves the overview
    std::vector<double> activation;
    for (int i = 0; i < 10 * runs; ++i) {
        QElapsedTimer clock;
        clock.start();
        sender.AppActivate((i % 2 ? other : term).title());
        activation.push_back(static_cast<double>(clock.nsecsElapsed()) / 1e6);
    }
    std::printf("activation median: %.2f ms (%zu)\n", median(activation), activation.size());

    const QString text = bench::asciiText();
    const QByteArray want = text.toUtf8();
    std::vector<double> ms;
    int exact = 0;
    for (int r = 0; r < runs; ++r) {
        sender.AppActivate(term.title());
        const qsizetype before = term.bytes().size();
        QElapsedTimer clock;
        clock.start();
        sender.SendKeys(escaped(text), true);
        const double called = static_cast<double>(clock.nsecsElapsed()) / 1e6;
        waitUntil(10000, [&] { return term.bytes().size() >= before + want.size(); });
        ms.push_back(std::max(called, static_cast<double>(clock.nsecsElapsed()) / 1e6));
        QThread::msleep(200); // room for extra bytes
        exact += term.bytes().mid(before) == want;
    }
    const double m = median(ms);
    std::printf("%-24s %3d runs %9.1f ms %8.0f chars/s  exact %d/%d\n", "ASCII 2000", runs, m,
                2000 * 1000.0 / m, exact, runs);
    return 0;
}

} // namespace
