// Typing speed and exactness of the X11 backend under Xvfb and openbox,
// beside `xdotool type` in the same run (alternating, medians):
//   bench_typing [runs]
// Prints the activation time, exactness into a Qt text box, then per text
// and method characters per second (from the call until the last byte
// reached the terminal's tty), lost, extra and misordered characters. Each
// non-ASCII run of Typomat starts cold: no spare keycode bound yet.
#include "XSession.h"
#include "keys/x11/X11KeySender.h"

#include <QElapsedTimer>
#include <QThread>

#include <algorithm>
#include <cstdio>
#include <vector>

using namespace testsupport;

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

QString asciiText()
{
    QString text;
    unsigned seed = 12345;
    while (text.size() < 2000) {
        seed = seed * 1103515245 + 12345;
        text += QChar(0x20 + static_cast<int>((seed >> 16) % 95));
    }
    return text;
}

QString cycled(const QString& alphabet, qsizetype size)
{
    const QList<uint> chars = alphabet.toUcs4();
    QString text;
    unsigned seed = 777;
    for (qsizetype i = 0; i < size; ++i) {
        seed = seed * 1103515245 + 12345;
        const char32_t c = chars[(seed >> 16) % chars.size()];
        text += QString::fromUcs4(&c, 1);
    }
    return text;
}

QString escaped(const QString& text)
{
    QString keys;
    for (QChar c : text) {
        if (QStringLiteral("+^%~(){}[]").contains(c)) {
            keys += QLatin1Char('{');
            keys += c;
            keys += QLatin1Char('}');
        } else {
            keys += c;
        }
    }
    return keys;
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

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
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
    keys::X11KeySender sender;

    struct Text {
        const char* name;
        QString text;
    };
    const Text texts[] = {
        {"ASCII 2000", asciiText()},
        {"non-ASCII 200", cycled(QStringLiteral("éßΩ€😀ñüöäçàèùαβγδλπ"), 200)},
        {"non-ASCII 200, 40 kinds",
         cycled(QStringLiteral("éßΩ€😀ñüöäçàèùαβγδλπσφψωжфыяшщюэдлкнгзвбпрт"), 200)},
    };

    std::printf("bench_typing: %d runs per method, display %s\n", runs,
                qPrintable(server.display()));

    // Activation: from the call until the focus is verified in the target.
    std::vector<double> activation, xdotoolActivation;
    for (int i = 0; i < 10 * runs; ++i) {
        const CaptureTerminal& target = i % 2 ? term : other;
        QElapsedTimer clock;
        clock.start();
        sender.AppActivate(target.title());
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
    for (const Text& t : texts) {
        const QString before = box.text();
        activate(sender, box.title());
        QElapsedTimer clock;
        clock.start();
        sender.SendKeys(escaped(t.text), true);
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

    for (const Text& t : texts) {
        const qsizetype chars = t.text.toUcs4().size();
        const QString keys = escaped(t.text);
        Tally ours, fastXdotool;
        const bool nonAscii = t.text.toUcs4().front() > 0x7f;
        for (int r = 0; r < runs; ++r) {
            // Cold: the spare keycodes of the run before are empty again.
            if (nonAscii)
                QThread::msleep(2300);
            activate(sender, term.title());
            ours.add(measure(term, t.text, [&] { sender.SendKeys(keys, true); }));
            activate(sender, term.title());
            fastXdotool.add(measure(term, t.text, [&] {
                xdotoolType(server, t.text, QStringLiteral("0"));
            }));
        }
        Tally slowXdotool;
        activate(sender, term.title());
        slowXdotool.add(measure(term, t.text, [&] {
            xdotoolType(server, t.text, QStringLiteral("12"));
        }));
        print(t.name, "Typomat", chars, ours);
        print(t.name, "xdotool type --delay 0", chars, fastXdotool);
        print(t.name, "xdotool type (default 12)", chars, slowXdotool);
    }

    return 0;
}
