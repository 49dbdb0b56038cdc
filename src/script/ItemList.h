// SPDX-License-Identifier: MIT
#pragma once
#include "store/Recordset.h"

#include <QStringList>
#include <QTreeWidget>
#include <QTreeWidgetItem>
#include <array>
#include <functional>

namespace script {

// The script window's list of items. It reports presses and double-clicks
// after the view has handled them, so the row under the pointer is already
// the selected one. Buttons: 1 left, 2 right, 4 middle; shift state: 1 Shift,
// 2 Ctrl, 4 Alt.
class ItemListView final : public QTreeWidget {
public:
    using MouseDown = std::function<void(int button, int shift, int x, int y)>;
    using DblClick = std::function<void()>;

    explicit ItemListView(QWidget* parent) : QTreeWidget(parent) {}
    MouseDown onMouseDown;
    DblClick onDblClick;

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
};

// A row of the list: five texts (item, title, key, description, count-down)
// and a check box on the first, kept in plain members, and the bookmark of
// the KeyScript record it shows: names repeat, so a row finds its record by
// the bookmark, never by its texts. A stock item keeps every cell in a
// variant of a per-column list, which is more than twice the memory with a
// hundred thousand rows.
class ItemRow final : public QTreeWidgetItem {
public:
    static constexpr int kCells = 5;

    ItemRow(const QStringList& cells, store::Bookmark record);
    QVariant data(int column, int role) const override;
    void setData(int column, int role, const QVariant& value) override;
    store::Bookmark record() const { return record_; }

private:
    std::array<QString, kCells> cells_;
    Qt::CheckState check_ = Qt::Unchecked;
    store::Bookmark record_;
};

} // namespace script
