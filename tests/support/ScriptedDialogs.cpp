// SPDX-License-Identifier: MIT
#include "ScriptedDialogs.h"

namespace ui {

QString ScriptedDialogs::InputBox(const QString& prompt, const QString& title,
                                  const QString& defaultText)
{
    calls.push_back({Call::Input, prompt, title, defaultText, 0});
    if (inputAnswers.empty())
        return QString();
    QString answer = inputAnswers.front();
    inputAnswers.pop_front();
    return answer;
}

int ScriptedDialogs::MsgBox(const QString& text, int style, const QString& title)
{
    calls.push_back({Call::Message, text, title, QString(), style});
    if (messageAnswers.empty())
        return (style & 7) == vbOKOnly ? vbOK : vbNo;
    const int answer = messageAnswers.front();
    messageAnswers.pop_front();
    return answer;
}

int ScriptedDialogs::messageCount() const
{
    int n = 0;
    for (const Call& c : calls)
        n += c.kind == Call::Message ? 1 : 0;
    return n;
}

const ScriptedDialogs::Call* ScriptedDialogs::lastMessage() const
{
    for (auto it = calls.rbegin(); it != calls.rend(); ++it)
        if (it->kind == Call::Message)
            return &*it;
    return nullptr;
}

} // namespace ui
