// SPDX-License-Identifier: MIT
#include "keys/widgets/frmSpecialKey.h"

#include "ui/Twips.h"
#include "keys/widgets/SpecialKeyBlock.h"

#include <QCloseEvent>
#include <QGroupBox>
#include <QPlainTextEdit>

QPointer<frmSpecialKey> frmSpecialKey::instance_;

frmSpecialKey::frmSpecialKey(QWidget* quickWindow, QPlainTextEdit* txtKey)
    : QWidget(nullptr, Qt::Window), quickWindow_(quickWindow), txtKey_(txtKey)
{
    setObjectName(QStringLiteral("frmSpecialKey"));
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QStringLiteral("Special Key"));
    setFixedSize(ui::twipsToPixels(4140, this), ui::twipsToPixels(2190, this));

    Frame3 = new QGroupBox(this);
    Frame3->setObjectName(QStringLiteral("Frame3"));
    ui::placeTwips(Frame3, 0, 0, 4095, 2175);
    keys::buildSpecialKeyBlock(Frame3, txtKey);

    Form_Load();
}

frmSpecialKey::~frmSpecialKey() = default;

void frmSpecialKey::showFor(QWidget* quickWindow, QPlainTextEdit* txtKey)
{
    // A picker for another key box (a quick window made anew) is replaced.
    if (instance_ && instance_->txtKey_ != txtKey)
        delete instance_.data();
    if (instance_) {
        instance_->show();
        instance_->raise();
    } else {
        instance_ = new frmSpecialKey(quickWindow, txtKey);
        instance_->show();
    }
    instance_->activateWindow();
}

frmSpecialKey* frmSpecialKey::instance()
{
    return instance_.data();
}

void frmSpecialKey::Form_Load()
{
    setWindowFlag(Qt::WindowStaysOnTopHint, true);
    if (!quickWindow_)
        return;
    // Outer frames: the picker's frame goes right under the quick window's.
    const QRect outer = quickWindow_->frameGeometry();
    move(outer.left(), outer.top() + outer.height());
}

void frmSpecialKey::closeEvent(QCloseEvent* event)
{
    // Closed means gone: the next request makes and places a new picker,
    // even before this one has been deleted.
    if (instance_ == this)
        instance_ = nullptr;
    event->accept();
}
