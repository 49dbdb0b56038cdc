// SPDX-License-Identifier: MIT
#pragma once
#include "keys/KeySender.h"
#include "keys/KeyEvent.h"
#include "keys/KeyErrorTexts.h"

#include <QStringList>
#include <vector>

namespace keys {

// Test double: records activations and the parsed keys of every SendKeys
// call, in the order of the calls. It can be told which titles exist and to
// fail the next calls.
class RecordingKeySender final : public KeySender {
public:
    struct Call {
        enum Kind { Activate, Send } kind;
        QString text;      // title, or the key string as given
        KeyEvents events;  // Send: what the string reads as
        bool wait = false;
    };

    std::vector<Call> calls;
    // When not empty, AppActivate fails for titles not in this list.
    QStringList openTitles;
    // Set to make the next AppActivate / SendKeys throw this description.
    QString failActivateWith;
    QString failSendWith;
    // Set to make the next SendKeys send, then report that the target did
    // not answer after the last key.
    bool noAnswerAfterSend = false;

    void AppActivate(const QString& title) override;
    void SendKeys(const QString& keys, bool wait) override;

    QStringList activatedTitles() const;
    QStringList sentKeyStrings() const;
    void clear() { calls.clear(); }
};

} // namespace keys
