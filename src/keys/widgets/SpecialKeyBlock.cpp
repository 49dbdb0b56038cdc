// SPDX-License-Identifier: MIT
#include "keys/widgets/SpecialKeyBlock.h"

#include "ui/Twips.h"
#include "keys/SpecialKeyTable.h"

#include <QGroupBox>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QTextCursor>

namespace keys {

void insertKeyCode(QPlainTextEdit* target, const QString& code)
{
    QTextCursor cursor = target->textCursor();
    cursor.insertText(code);
    target->setTextCursor(cursor);
    // The key box may stand in another window (the picker's target is the
    // quick window's box): that window must become active for the focus.
    if (!target->isActiveWindow())
        target->activateWindow();
    target->setFocus(Qt::OtherFocusReason);
}

void buildSpecialKeyBlock(QGroupBox* frame, QPlainTextEdit* target)
{
    const QPointer<QPlainTextEdit> box(target);
    for (const SpecialKeyButton& entry : specialKeyTable()) {
        auto* button = new QPushButton(QString::fromLatin1(entry.caption), frame);
        button->setObjectName(QLatin1String(entry.controlName));
        ui::placeTwips(button, entry.leftTwips(), entry.topTwips(), entry.widthTwips(),
                       entry.heightTwips());
        const QString code = QLatin1String(entry.code);
        QObject::connect(button, &QPushButton::clicked, frame, [box, code] {
            if (box)
                insertKeyCode(box, code);
        });
    }
}

} // namespace keys
