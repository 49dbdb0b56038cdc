// SPDX-License-Identifier: MIT
#include "script/ScriptRun.h"

#include "keys/KeySender.h"
#include "keys/Notation.h"
#include "script/Clock.h"
#include "script/CountDown.h"

#include <cstdio>

namespace script {

ScriptRun::ScriptRun(std::vector<RunItem> items, RunStart start, QObject* parent)
    : QObject(parent), items_(std::move(items)), start_(start),
      clockTimer_(std::chrono::seconds(1), this), itemTimer_(std::chrono::seconds(1), this)
{
    connect(&clockTimer_, &SteadyTimer::timeout, this, [this] { clockTick(); });
    connect(&itemTimer_, &SteadyTimer::timeout, this, [this] { itemTick(); });
}

void ScriptRun::start()
{
    if (start_.mode == RunStart::Now)
        itemTimer_.setEnabled(true);
    else
        clockTimer_.setEnabled(true);
}

// The start condition: the set minute has come, or the script's count-down,
// lowered by a second per tick, has reached 00:00:00.
void ScriptRun::clockTick()
{
    if (start_.mode == RunStart::SetTime) {
        const QString now = oledate::formatDateTime(oledate::fromQDateTime(clock().now()));
        if (now.left(14) == oledate::formatDateTimeToMinute(start_.value))
            itemTimer_.setEnabled(true);
        return;
    }
    if (oledate::formatTime(start_.value) != kZeroCountDown)
        start_.value = oledate::addSeconds(start_.value, -1);
    else
        itemTimer_.setEnabled(true);
}

void ScriptRun::itemTick()
{
    if (next_ >= items_.size()) {
        finish();
        return;
    }
    RunItem& item = items_[next_];
    const std::optional<QString> left = stepCountDown(item.countDown);
    if (!left) {
        fail(Unreadable, QStringLiteral("The count-down \"%1\" of the item \"%2\" is not a time.")
                             .arg(item.countDown, item.name));
        return;
    }
    item.countDown = *left;
    if (item.countDown == kZeroCountDown)
        fire(item);
}

void ScriptRun::fire(RunItem& item)
{
    const auto message = [&item](const QString& description) {
        return QStringLiteral("The item \"%1\" could not be sent: %2").arg(item.name, description);
    };
    try {
        keys::keySender().AppActivate(item.title);
        keys::keySender().SendKeys(item.keys, true);
    } catch (const keys::NoAnswerAfterLastKey& e) {
        // Every key went out: the item is done, with a note.
        std::fputs(qPrintable(QStringLiteral("typomat: The item \"%1\": %2\n")
                                  .arg(item.name, e.description())),
                   stderr);
    } catch (const keys::NotationError& e) {
        fail(Unreadable, message(e.description()));
        return;
    } catch (const keys::WindowNotFound& e) {
        fail(WindowNotFound, message(e.description()));
        return;
    } catch (const keys::DisplayUnavailable& e) {
        fail(NoDisplay, message(e.description()));
        return;
    } catch (const keys::KeyError& e) {
        fail(SendingFailed, message(e.description()));
        return;
    } catch (const std::exception& e) {
        fail(SendingFailed, message(QString::fromUtf8(e.what())));
        return;
    }
    if (++next_ == items_.size())
        finish();
}

void ScriptRun::fail(Failure failure, const QString& message)
{
    clockTimer_.setEnabled(false);
    itemTimer_.setEnabled(false);
    Q_EMIT failed(failure, message);
}

void ScriptRun::finish()
{
    clockTimer_.setEnabled(false);
    itemTimer_.setEnabled(false);
    Q_EMIT finished();
}

} // namespace script
