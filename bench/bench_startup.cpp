// SPDX-License-Identifier: MIT
// Start-up time to the first window and memory: the real program is copied
// into a fresh folder and started under Xvfb, once per mode, several times.
// Prints the median time from the start of the process to its first window
// being viewable, and the peak resident memory (VmHWM) at that moment.
#include "TypingTexts.h"
#include "XSession.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

struct Mode {
    const char* name;
    const char* settings;  // nullptr: no settings file (first start)
    const char* title;
};

long peakMemoryKb(pid_t pid)
{
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').first().toLong();
    return -1;
}

} // namespace

using bench::median;

int main(int argc, char** argv)
{
    QCoreApplication application(argc, argv);
    const int runs = argc > 1 ? std::atoi(argv[1]) : 7;
    testsupport::XServer server;
    const Mode modes[] = {
        {"first start (About window)", nullptr, "Typomat"},
        {"quick mode", "[Startup]\nStartup=1\n", "Typomat - Quick"},
        {"script mode", "[Startup]\nStartup=2\n", "Typomat - Script"},
    };
    std::printf("%-28s %14s %14s\n", "start-up", "first window", "peak memory");
    for (const Mode& mode : modes) {
        std::vector<double> times, memory;
        for (int run = 0; run < runs; ++run) {
            QTemporaryDir folder;
            const QString exe = folder.filePath(QStringLiteral("typomat"));
            QFile::copy(QStringLiteral(TYPOMAT_EXE), exe);
            if (mode.settings) {
                QFile ini(folder.filePath(QStringLiteral("Typomat.ini")));
                ini.open(QIODevice::WriteOnly);
                ini.write(mode.settings);
            }
            QElapsedTimer clock;
            clock.start();
            testsupport::ChildProcess typomat(exe, {}, server.display());
            const unsigned long window = testsupport::waitForWindow(
                server.display(), QString::fromUtf8(mode.title), {}, 20000);
            const double ms = static_cast<double>(clock.nsecsElapsed()) / 1e6;
            if (!window) {
                std::fprintf(stderr, "%s: no window appeared\n", mode.name);
                return 1;
            }
            times.push_back(ms);
            memory.push_back(static_cast<double>(peakMemoryKb(typomat.pid())) / 1024.0);
        }
        std::printf("%-28s %11.0f ms %11.1f MB\n", mode.name, median(times), median(memory));
    }
    std::printf("(median of %d runs each, Xvfb without a window manager)\n", runs);
    return 0;
}
