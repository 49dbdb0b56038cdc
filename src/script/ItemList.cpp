// SPDX-License-Identifier: MIT
#include "script/ItemList.h"

#include <QMouseEvent>

namespace script {

namespace {

int buttonCode(Qt::MouseButton button)
{
    switch (button) {
    case Qt::LeftButton: return 1;
    case Qt::RightButton: return 2;
    case Qt::MiddleButton: return 4;
    default: return 0;
    }
}

int shiftCode(Qt::KeyboardModifiers modifiers)
{
    return (modifiers & Qt::ShiftModifier ? 1 : 0) | (modifiers & Qt::ControlModifier ? 2 : 0)
        | (modifiers & Qt::AltModifier ? 4 : 0);
}

bool holdsText(int column, int role)
{
    return column >= 0 && column < ItemRow::kCells
        && (role == Qt::DisplayRole || role == Qt::EditRole);
}

bool holdsCheck(int column, int role)
{
    return column == 0 && role == Qt::CheckStateRole;
}

} // namespace

void ItemListView::mousePressEvent(QMouseEvent* event)
{
    QTreeWidget::mousePressEvent(event);
    if (onMouseDown) {
        const QPoint at = event->position().toPoint();
        onMouseDown(buttonCode(event->button()), shiftCode(event->modifiers()), at.x(), at.y());
    }
}

void ItemListView::mouseDoubleClickEvent(QMouseEvent* event)
{
    QTreeWidget::mouseDoubleClickEvent(event);
    if (onDblClick && event->button() == Qt::LeftButton)
        onDblClick();
}

ItemRow::ItemRow(const QStringList& cells, store::Bookmark record)
    : QTreeWidgetItem(UserType), record_(record)
{
    for (int c = 0; c < kCells && c < cells.size(); ++c)
        cells_[static_cast<size_t>(c)] = cells[c];
    setFlags(flags() | Qt::ItemIsUserCheckable);
}

QVariant ItemRow::data(int column, int role) const
{
    if (holdsText(column, role))
        return cells_[static_cast<size_t>(column)];
    if (holdsCheck(column, role))
        return static_cast<int>(check_);
    return QTreeWidgetItem::data(column, role);
}

void ItemRow::setData(int column, int role, const QVariant& value)
{
    if (holdsText(column, role)) {
        QString text = value.toString();
        if (text != cells_[static_cast<size_t>(column)]) {
            cells_[static_cast<size_t>(column)] = std::move(text);
            emitDataChanged();
        }
    } else if (holdsCheck(column, role)) {
        const auto check = static_cast<Qt::CheckState>(value.toInt());
        if (check != check_) {
            check_ = check;
            emitDataChanged();
        }
    } else {
        QTreeWidgetItem::setData(column, role, value);
    }
}

} // namespace script
