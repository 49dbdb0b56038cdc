#include "ui/ComboBox.h"

#include <QComboBox>
#include <QLineEdit>

namespace ui {

void makeEditableCombo(QComboBox* box)
{
    box->setEditable(true);
    box->setCompleter(nullptr);
    box->setInsertPolicy(QComboBox::NoInsert);
    QObject::disconnect(box->lineEdit(), &QLineEdit::editingFinished, box, nullptr);
}

} // namespace ui
