// SPDX-License-Identifier: MIT
#include "ui/ComboBox.h"
#include "ui/TextBox.h"

#include <QComboBox>
#include <QEvent>
#include <QLineEdit>

namespace ui {

namespace {

// A wheel notch over a closed box would step to the next entry and count as
// a pick, replacing what the window shows; it is dropped. The open list
// scrolls as usual.
class WheelGuard final : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        return event->type() == QEvent::Wheel || QObject::eventFilter(watched, event);
    }
};

} // namespace

void makeEditableCombo(QComboBox* box)
{
    box->setEditable(true);
    box->setCompleter(nullptr);
    liftLengthLimit(box->lineEdit());
    box->setInsertPolicy(QComboBox::NoInsert);
    QObject::disconnect(box->lineEdit(), &QLineEdit::editingFinished, box, nullptr);
    box->setFocusPolicy(Qt::StrongFocus);  // the wheel does not take the focus
    box->installEventFilter(new WheelGuard(box));
}

} // namespace ui
