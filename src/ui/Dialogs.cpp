// SPDX-License-Identifier: MIT
#include "ui/Dialogs.h"
#include "ui/TextBox.h"

#include <QApplication>
#include <QInputDialog>
#include <QLineEdit>
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
    QInputDialog box(dialogParent());
    box.setWindowTitle(title);
    box.setLabelText(prompt);
    box.setInputMode(QInputDialog::TextInput);
    // The default text may be a stored name of any length: shown whole, so
    // that OK gives it back whole.
    if (auto* field = box.findChild<QLineEdit*>())
        liftLengthLimit(field);
    box.setTextValue(defaultText);
    return box.exec() == QDialog::Accepted ? box.textValue() : QString();
}

int QtDialogs::MsgBox(const QString& text, int style, const QString& title)
{
    QMessageBox box(dialogParent());
    box.setWindowTitle(title);
    box.setText(text);
    box.setIcon((style & 48) == vbExclamation ? QMessageBox::Warning
                : (style & vbCritical)        ? QMessageBox::Critical
                : (style & vbQuestion)        ? QMessageBox::Question
                                              : QMessageBox::NoIcon);
    if ((style & 7) == vbYesNoCancel) {
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
        box.setDefaultButton(QMessageBox::Yes);
        box.setEscapeButton(QMessageBox::Cancel);
        const int pressed = box.exec();
        return pressed == QMessageBox::Yes ? vbYes : pressed == QMessageBox::No ? vbNo : vbCancel;
    }
    if ((style & 7) == vbYesNo) {
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        box.setDefaultButton(QMessageBox::Yes);
        return box.exec() == QMessageBox::Yes ? vbYes : vbNo;
    }
    box.setStandardButtons(QMessageBox::Ok);
    box.exec();
    return vbOK;
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
