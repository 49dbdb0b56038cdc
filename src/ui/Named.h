// SPDX-License-Identifier: MIT
#pragma once
#include <QString>

namespace ui {

// Gives a control its name (the name tests and the layout refer to it by)
// and returns it, so a control can be created, named and stored in one line.
template <class Widget>
Widget* named(Widget* widget, const char* name)
{
    widget->setObjectName(QString::fromLatin1(name));
    return widget;
}

} // namespace ui
