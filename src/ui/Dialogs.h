// SPDX-License-Identifier: MIT
#pragma once
#include <QString>
#include <QStringList>
#include <exception>

class QWidget;

namespace ui {

// Message box styles and answers, with the values the windows pass around.
enum MsgBoxStyle : int {
    vbOKOnly = 0,
    vbYesNoCancel = 3,
    vbYesNo = 4,
    vbCritical = 16,
    vbQuestion = 32,
    vbExclamation = 48,
};
enum MsgBoxResult : int {
    vbOK = 1,
    vbCancel = 2,
    vbYes = 6,
    vbNo = 7,
};

// The input box and the message box every window uses. An input box returns
// the text entered, or the empty text when cancelled (the two cannot be told
// apart). A message box returns the button pressed.
class Dialogs {
public:
    virtual ~Dialogs() = default;
    virtual QString InputBox(const QString& prompt, const QString& title,
                             const QString& defaultText = QString()) = 0;
    virtual int MsgBox(const QString& text, int style, const QString& title) = 0;
};

// Real dialogs: modal Qt windows over the active window.
class QtDialogs final : public Dialogs {
public:
    QString InputBox(const QString& prompt, const QString& title,
                     const QString& defaultText) override;
    int MsgBox(const QString& text, int style, const QString& title) override;
};

// The dialogs in use: QtDialogs until another one is installed. The caller
// keeps ownership of an installed object; nullptr restores QtDialogs.
Dialogs& dialogs();
void installDialogs(Dialogs* dialogs);

// Runs a handler body; an exception that escapes it is shown in a message box
// (critical icon, title "Typomat") instead of ending the program.
template <class Body>
void guarded(Body&& body)
{
    try {
        body();
    } catch (const std::exception& e) {
        dialogs().MsgBox(QString::fromUtf8(e.what()), vbOKOnly | vbCritical,
                         QStringLiteral("Typomat"));
    }
}

} // namespace ui
