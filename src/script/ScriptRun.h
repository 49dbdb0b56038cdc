// SPDX-License-Identifier: MIT
#pragma once
#include "script/SteadyTimer.h"
#include "store/OleDate.h"

#include <QObject>
#include <QString>
#include <vector>

namespace script {

// One item of a run: what the script window's list holds for it.
struct RunItem {
    QString name;
    QString title;
    QString keys;
    QString countDown;  // "HH:nn:ss", counted down as the run goes
};

// How a run starts: at a set date and time (to the minute), after the
// script's count-down, or at once.
struct RunStart {
    enum Mode { SetTime, CountDown, Now };
    Mode mode = Now;
    oledate::OleDate value;  // the time for SetTime, the length for CountDown
};

// A script run with no window, under the script window's rules: a one-second
// clock tick tests the start condition (and counts the script's count-down
// down); once it holds, a one-second item tick counts the first item still to
// run down by a second and sends it, activation then keys, in the tick in
// which its count-down reaches 00:00:00. It ends after the last item has been
// sent, or at the first item that fails.
class ScriptRun : public QObject {
    Q_OBJECT
public:
    // NoDisplay: no display to work on (none, or it cannot be reached or
    // does not answer).
    enum Failure { WindowNotFound, Unreadable, SendingFailed, NoDisplay };
    Q_ENUM(Failure)

    ScriptRun(std::vector<RunItem> items, RunStart start, QObject* parent = nullptr);
    void start();
    const std::vector<RunItem>& items() const { return items_; }
    // How many items have been sent.
    size_t sent() const { return next_; }

Q_SIGNALS:
    void finished();
    void failed(script::ScriptRun::Failure failure, const QString& message);

private:
    void clockTick();
    void itemTick();
    void fire(RunItem& item);
    void fail(Failure failure, const QString& message);
    void finish();

    std::vector<RunItem> items_;
    size_t next_ = 0;
    RunStart start_;
    SteadyTimer clockTimer_;
    SteadyTimer itemTimer_;
};

} // namespace script
