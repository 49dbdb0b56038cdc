// SPDX-License-Identifier: MIT
#pragma once
#include <QRect>

class QWidget;

namespace ui {

// Window layouts are given in twips (1/1440 inch). These convert with the
// screen's logical DPI (96 DPI: 15 twips a pixel).
int twipsToPixels(int twips, const QWidget* widget = nullptr);
int pixelsToTwips(int pixels, const QWidget* widget = nullptr);
QRect twipsRect(int left, int top, int width, int height, const QWidget* widget = nullptr);

// Places a child at a position in twips inside its container.
void placeTwips(QWidget* child, int left, int top, int width, int height);

} // namespace ui
