#include "ui/Dialogs.h"

#include <QApplication>
#include <QInputDialog>
#include <QMessageBox>

namespace ui {

namespace {
Dialogs* installedDialogs = nullptr;

QWidget* dialogParent()
{
    return QApplication::activeWindow();
}
} // namespace

QString QtDialogs::InputBox(const QString& prompt, const QString& title,
                            const QString& defaultText)
{
    bool ok = false;
    const QString text = QInputDialog::getText(dialogParent(), title, prompt,
                                               QLineEdit::Normal, defaultText, &ok);
    return ok ? text : QString();
}

int QtDialogs::MsgBox(const QString& text, int style, const QString& title)
{
    QMessageBox box(dialogParent());
    box.setWindowTitle(title);
    box.setText(text);
    box.setIcon((style & vbCritical) ? QMessageBox::Critical : QMessageBox::NoIcon);
    if ((style & 7) == vbYesNo) {
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        box.setDefaultButton(QMessageBox::Yes);
        return box.exec() == QMessageBox::Yes ? vbYes : vbNo;
    }
    box.setStandardButtons(QMessageBox::Ok);
    box.exec();
    return vbOK;
}

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

Dialogs& dialogs()
{
    static QtDialogs real;
    return installedDialogs ? *installedDialogs : real;
}

void installDialogs(Dialogs* dialogs)
{
    installedDialogs = dialogs;
}

} // namespace ui
