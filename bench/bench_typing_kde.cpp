// SPDX-License-Identifier: MIT
// Typing speed and exactness of the KDE backend on a headless KWin:
//   bench_typing_kde [runs]
// Prints the activation time (call until KWin reports the window active),
// then characters per second from the call until the last byte reached
// weston-terminal's tty, and how many runs were exact. The ASCII text is
// that of bench_typing; the non-ASCII ones are refused by the US layout,
// which is all KWin's fake input can type with.
#include "KWinSession.h"
#include "TypingTexts.h"
#include "keys/kde/KdeKeySender.h"

#include <QElapsedTimer>
#include <QRegularExpression>
#include <QThread>

#include <algorithm>
#include <cstdio>
#include <vector>

using namespace testsupport;
using bench::median;

namespace {

// Types the text runs times into the terminal; prints the median and how
// many runs came out exact. weston-terminal sends a NUL after every
// character that is not ASCII: it is left out.
void measure(keys::KdeKeySender& sender, const WestonCapture& term, const char* name,
             const QString& text, int runs)
{
    const QByteArray want = text.toUtf8();
    const qsizetype extra = text.size() - text.count(QRegularExpression(QStringLiteral("[\\x00-\\x7f]")));
    std::vector<double> ms;
    int exact = 0;
    for (int r = 0; r < runs; ++r) {
        sender.AppActivate(term.title());
        const qsizetype before = term.bytes().size();
        QElapsedTimer clock;
        clock.start();
        sender.SendKeys(bench::escaped(text), true);
        QByteArray got = term.waitForBytes(before + want.size() + extra, 10000).mid(before);
        ms.push_back(static_cast<double>(clock.nsecsElapsed()) / 1e6);
        exact += got.replace('\0', "") == want;
        QThread::msleep(200);
    }
    const double typing = median(ms);
    std::printf("%-28s %3d runs %9.1f ms %8.0f chars/s  exact %d/%d\n", name, runs, typing,
                typing > 0 ? static_cast<double>(text.size()) * 1000.0 / typing : 0, exact, runs);
    std::fflush(stdout);
}

} // namespace

int main(int argc, char** argv)
{
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
    KWinSession kwin;
    WestonCapture term(QStringLiteral("Bench Target"));
    WestonCapture other(QStringLiteral("Bench Other"));
    keys::KdeKeySender sender;
    std::printf("bench_typing_kde: %d runs, headless KWin (llvmpipe), weston-terminal\n", runs);

    std::vector<double> activation;
    for (int i = 0; i < 10 * runs; ++i) {
        QElapsedTimer clock;
        clock.start();
        sender.AppActivate((i % 2 ? term : other).title());
        activation.push_back(static_cast<double>(clock.nsecsElapsed()) / 1e6);
    }
    std::printf("activation median: %.3f ms (%zu)\n", median(activation), activation.size());

    const QString text = bench::asciiText();
    measure(sender, term, "ASCII 2000", text, runs);
    for (const bench::NamedText& t : bench::typingTexts()) {
        if (t.text == text)
            continue;
        try {
            sender.checkKeys(bench::escaped(t.text));
            std::printf("%-24s typable in this layout\n", t.name);
        } catch (const keys::KeyError& e) {
            std::printf("%-24s refused: %s\n", t.name, qPrintable(e.description()));
        }
    }

    // Latin and Cyrillic at random with two layouts set up: KWin is
    // switched to the other layout about every second character.
    KWinSession both({.layouts = QStringLiteral("us,ru")});
    WestonCapture mixedTerm(QStringLiteral("Bench Two Layouts"));
    keys::KdeKeySender mixedSender;
    measure(mixedSender, mixedTerm, "Latin+Cyrillic 200, us,ru",
            bench::cycled(QStringLiteral("abcdefghijklmnopqrstжфыяшщюэдлкнгзвбпрт"), 200), runs);
    return 0;
}
