// SPDX-License-Identifier: MIT
#include "ui/Twips.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>
#include <cmath>

namespace ui {

namespace {
double logicalDpi(const QWidget* widget)
{
    if (widget)
        return widget->logicalDpiX();
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        return screen->logicalDotsPerInchX();
    return 96.0;
}
} // namespace

int twipsToPixels(int twips, const QWidget* widget)
{
    return static_cast<int>(std::lround(twips * logicalDpi(widget) / 1440.0));
}

int pixelsToTwips(int pixels, const QWidget* widget)
{
    return static_cast<int>(std::lround(pixels * 1440.0 / logicalDpi(widget)));
}

QRect twipsRect(int left, int top, int width, int height, const QWidget* widget)
{
    return QRect(twipsToPixels(left, widget), twipsToPixels(top, widget),
                 twipsToPixels(width, widget), twipsToPixels(height, widget));
}

void placeTwips(QWidget* child, int left, int top, int width, int height)
{
    child->setGeometry(twipsRect(left, top, width, height, child));
}

} // namespace ui
