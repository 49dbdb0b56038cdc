// SPDX-License-Identifier: MIT
// Typing speed and exactness of the KDE backend on a headless KWin:
//   bench_typing_kde [runs]
// Prints the activation time (call until KWin reports the window active),
// then characters per second from the call until the last byte reached
// weston-terminal's tty, and how many runs were exact. The ASCII text is
// that of bench_typing; the non-ASCII ones are refused by the US layout,
// which is all KWin's fake input can type with.
#include "KWinSession.h"
#include "TerminalBench.h"
#include "keys/kde/KdeKeySender.h"

#include <algorithm>

using namespace testsupport;
using bench::started;

namespace {

// Types the text runs times into the terminal and prints the figures.
// weston-terminal sends a NUL after every character that is not ASCII: it
// is left out.
void measure(keys::KdeKeySender& sender, const WestonCapture& term, const char* name,
             const QString& text, int runs)
{
    bench::Tally tally;
    for (int r = 0; r < runs; ++r) {
        sender.AppActivate(term.title());
        bench::measure([&] { return term.bytes().replace('\0', ""); }, text, tally,
                       bench::reporting([&] { sender.SendKeys(bench::escaped(text), true); }));
    }
    bench::print(name, "Typomat", text.size(), tally);
}

} // namespace

int main(int argc, char** argv)
{
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
    KWinSession kwin;
    WestonCapture term(kwin, QStringLiteral("Bench Target"));
    WestonCapture other(kwin, QStringLiteral("Bench Other"));
    if (!started(term) || !started(other))
        return 1;
    keys::KdeKeySender sender;
    std::printf("bench_typing_kde: %d runs, headless KWin (llvmpipe), weston-terminal\n", runs);
    bench::printActivation(sender, term.title(), other.title(), runs);

    const QString text = bench::asciiText();
    measure(sender, term, "ASCII 2000", text, runs);
    for (const bench::NamedText& t : bench::typingTexts()) {
        if (t.text == text)
            continue;
        try {
            sender.checkKeys(bench::escaped(t.text));
            std::printf("%-28s typable in this layout\n", t.name);
        } catch (const keys::KeyError& e) {
            std::printf("%-28s refused: %s\n", t.name, qPrintable(e.description()));
        }
    }

    // Latin and Cyrillic at random with two layouts set up: KWin is
    // switched to the other layout about every second character.
    KWinSession both({.layouts = QStringLiteral("us,ru")});
    WestonCapture mixedTerm(both, QStringLiteral("Bench Two Layouts"));
    if (!started(mixedTerm))
        return 1;
    keys::KdeKeySender mixedSender;
    measure(mixedSender, mixedTerm, "Latin+Cyrillic 200, us,ru",
            bench::cycled(QStringLiteral("abcdefghijklmnopqrstжфыяшщюэдлкнгзвбпрт"), 200), runs);
    return 0;
}
