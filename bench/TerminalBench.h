// SPDX-License-Identifier: MIT
#pragma once
// What the typing benchmarks on the Wayland desktops measure alike: the
// time of an activation, and per text the time from the call until the last
// byte reached the terminal's tty, and whether it came exact.
#include "TypingTexts.h"
#include "WaylandClients.h"
#include "keys/KeySender.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QThread>

#include <cstdio>
#include <functional>
#include <vector>

namespace bench {

// False, saying why, when the client did not come up.
inline bool started(const testsupport::SessionClient& client)
{
    if (client.failure().isEmpty())
        return true;
    std::printf("%s\n", qPrintable(client.failure()));
    return false;
}

// Activates the two windows in turn, 10 times per run; prints the median.
inline void printActivation(keys::KeySender& sender, const QString& first, const QString& second,
                            int runs)
{
    std::vector<double> ms;
    for (int i = 0; i < 10 * runs; ++i) {
        QElapsedTimer clock;
        clock.start();
        sender.AppActivate(i % 2 ? first : second);
        ms.push_back(static_cast<double>(clock.nsecsElapsed()) / 1e6);
    }
    std::printf("activation median: %.3f ms (%zu)\n", median(ms), ms.size());
}

struct Tally {
    std::vector<double> ms;
    int exact = 0;
};

// Starts typing, then waits until received() (all the terminal got so far)
// holds the text or stops growing for 1.5 s. A run that is not exact says
// how much of it was right.
inline void measure(const std::function<QByteArray()>& received, const QString& text, Tally& tally,
                    const std::function<void()>& start)
{
    const qsizetype before = received().size();
    const qsizetype want = before + text.toUtf8().size();
    QElapsedTimer clock;
    clock.start();
    start();
    qsizetype size = received().size();
    qint64 lastGrowth = clock.elapsed();
    while (size < want && clock.elapsed() - lastGrowth < 1500) {
        QThread::usleep(300);
        const qsizetype now = received().size();
        if (now != size) {
            size = now;
            lastGrowth = clock.elapsed();
        }
    }
    tally.ms.push_back(static_cast<double>(size >= want ? clock.nsecsElapsed() : lastGrowth * 1000000)
                       / 1e6);
    QThread::msleep(200); // room for extra bytes
    const QString got = QString::fromUtf8(received().mid(before));
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

inline void print(const char* text, const char* method, qsizetype chars, const Tally& t)
{
    const double ms = median(t.ms);
    std::printf("%-28s %-16s %3zu runs %9.1f ms %8.0f chars/s  exact %d/%zu\n", text, method,
                t.ms.size(), ms, ms > 0 ? static_cast<double>(chars) * 1000.0 / ms : 0, t.exact,
                t.ms.size());
    std::fflush(stdout);
}

// A call that fails is not exact; its error is shown.
inline std::function<void()> reporting(std::function<void()> send)
{
    return [send] {
        try {
            send();
        } catch (const keys::KeyError& e) {
            std::printf("  error: %s\n", qPrintable(e.description()));
        }
    };
}

} // namespace bench
