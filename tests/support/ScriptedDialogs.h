// SPDX-License-Identifier: MIT
#pragma once
#include "ui/Dialogs.h"

#include <deque>
#include <vector>

namespace ui {

// Test double: answers from queues filled beforehand and records every call.
// An input box with no queued answer returns "" (cancelled); a message box
// with no queued answer returns vbOK for OK-only boxes and vbNo otherwise.
class ScriptedDialogs final : public Dialogs {
public:
    struct Call {
        enum Kind { Input, Message } kind;
        QString text;      // prompt or message text
        QString title;
        QString defaultText;
        int style = 0;
    };

    std::deque<QString> inputAnswers;
    std::deque<int> messageAnswers;
    std::vector<Call> calls;

    QString InputBox(const QString& prompt, const QString& title,
                     const QString& defaultText) override;
    int MsgBox(const QString& text, int style, const QString& title) override;

    int messageCount() const;
    const Call* lastMessage() const;
};

} // namespace ui
