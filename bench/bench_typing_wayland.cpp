// Typing speed and exactness of the Wayland backend on a headless sway,
// beside wtype (same virtual keyboard protocol) in the same session:
//   bench_typing_wayland [runs]
// Prints the activation time (call until the compositor reports the window
// active), then per text and method characters per second from the call
// until the last byte reached foot's tty, and how many runs were exact.
// The texts are those of bench_typing.
#include "TypingTexts.h"
#include "WaylandSession.h"
#include "keys/wayland/WaylandKeySender.h"

#include <QElapsedTimer>
#include <QThread>

#include <algorithm>
#include <cstdio>
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
void measure(const FootCapture& term, const QString& text, Tally& tally, Start start)
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
    tally.exact += term.bytes().mid(before) == want;
}

void print(const char* text, const char* method, qsizetype chars, const Tally& t)
{
    const double ms = median(t.ms);
    std::printf("%-24s %-16s %3zu runs %9.1f ms %8.0f chars/s  exact %d/%zu\n", text, method,
                t.ms.size(), ms, ms > 0 ? chars * 1000.0 / ms : 0, t.exact, t.ms.size());
    std::fflush(stdout);
}

} // namespace

int main(int argc, char** argv)
{
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
    SwaySession sway;
    FootCapture term(sway, QStringLiteral("Bench Target"));
    FootCapture other(sway, QStringLiteral("Bench Other"));
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
            measure(term, t.text, ours, [&] { sender.SendKeys(keys, true); });
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
    return 0;
}
