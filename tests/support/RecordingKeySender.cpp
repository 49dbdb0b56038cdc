// SPDX-License-Identifier: MIT
#include "RecordingKeySender.h"
#include "keys/KeyErrorTexts.h"
#include "keys/Notation.h"

namespace keys {

void RecordingKeySender::AppActivate(const QString& title)
{
    if (!failActivateWith.isEmpty())
        throw KeyError(std::exchange(failActivateWith, QString()));
    if (!openTitles.isEmpty() && !openTitles.contains(title))
        throw WindowNotFound(errors::noWindowTitled(title));
    calls.push_back({Call::Activate, title, {}, false});
}

void RecordingKeySender::SendKeys(const QString& keys, bool wait)
{
    KeyEvents events = parseKeyString(keys);
    if (!failSendWith.isEmpty())
        throw KeyError(std::exchange(failSendWith, QString()));
    const qsizetype total = static_cast<qsizetype>(events.size());
    calls.push_back({Call::Send, keys, std::move(events), wait});
    if (std::exchange(noAnswerAfterSend, false))
        throw NoAnswerAfterLastKey(errors::noAnswerAfterLastKey(total));
}

QStringList RecordingKeySender::activatedTitles() const
{
    QStringList titles;
    for (const Call& c : calls)
        if (c.kind == Call::Activate)
            titles << c.text;
    return titles;
}

QStringList RecordingKeySender::sentKeyStrings() const
{
    QStringList sent;
    for (const Call& c : calls)
        if (c.kind == Call::Send)
            sent << c.text;
    return sent;
}

} // namespace keys
