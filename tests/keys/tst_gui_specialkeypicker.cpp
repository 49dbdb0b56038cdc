// SPDX-License-Identifier: MIT
#include "ui/Twips.h"
#include "keys/widgets/frmSpecialKey.h"

#include <QApplication>
#include <QGroupBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QTest>
#include <memory>

namespace {

// Stands in for the quick window: a top-level window with a key box.
struct QuickWindow {
    std::unique_ptr<QWidget> window = std::make_unique<QWidget>();
    QPlainTextEdit* txtKey = new QPlainTextEdit(window.get());

    explicit QuickWindow(QPoint at = QPoint(100, 120))
    {
        window->setWindowTitle(QStringLiteral("Quick"));
        window->setGeometry(QRect(at, QSize(276, 300)));
        txtKey->setGeometry(10, 10, 250, 60);
        txtKey->setObjectName(QStringLiteral("txtKey"));
        window->show();
    }
    // Where the picker belongs: left edges aligned, right under the frame.
    QPoint below() const
    {
        const QRect outer = window->frameGeometry();
        return QPoint(outer.left(), outer.bottom() + 1);
    }
    void openPicker() const
    {
        txtKey->setFocus();
        frmSpecialKey::showFor(window.get(), txtKey);
    }
};

int visiblePickers()
{
    int count = 0;
    for (QWidget* w : QApplication::topLevelWidgets())
        if (qobject_cast<frmSpecialKey*>(w) && w->isVisible())
            ++count;
    return count;
}

void closeAndDispose(frmSpecialKey* picker)
{
    const QPointer<frmSpecialKey> watched(picker);
    picker->close();
    QTRY_VERIFY(!watched);
}

} // namespace

class tst_gui_specialkeypicker : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void cleanup();
    void windowAndFrame();
    void placedUnderTheQuickWindow();
    void secondRequestLeavesItWhereItIs();
    void reopenedUnderTheNewPosition();
    void pickWritesIntoTheQuickKeyBox();
    void picksInTurnWithTyping();
    void placedOffScreenUncorrected();
    void closedPickerIsGoneAtOnce();
    void newKeyBoxGetsANewPicker();
};

void tst_gui_specialkeypicker::cleanup()
{
    delete frmSpecialKey::instance();
}

void tst_gui_specialkeypicker::windowAndFrame()
{
    QuickWindow quick;
    quick.openPicker();
    frmSpecialKey* picker = frmSpecialKey::instance();
    QVERIFY(picker);
    QCOMPARE(picker->windowTitle(), QStringLiteral("Special Key"));
    QVERIFY(picker->isWindow());
    QCOMPARE(picker->parentWidget(), nullptr);
    QVERIFY(picker->windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    QVERIFY(picker->testAttribute(Qt::WA_DeleteOnClose));
    QCOMPARE(ui::pixelsToTwips(picker->width(), picker), 4140);
    QCOMPARE(ui::pixelsToTwips(picker->height(), picker), 2190);

    QGroupBox* frame = picker->findChild<QGroupBox*>(QStringLiteral("Frame3"));
    QCOMPARE(frame, picker->Frame3);
    QVERIFY(frame->title().isEmpty());
    QCOMPARE(frame->geometry(), ui::twipsRect(0, 0, 4095, 2175, frame));
    QCOMPARE(frame->findChildren<QPushButton*>().size(), 38);
    QCOMPARE(picker->findChildren<QPushButton*>().size(), 38);
    QPushButton* pd = frame->findChild<QPushButton*>(QStringLiteral("cmdPD"));
    QVERIFY(pd);
    QCOMPARE(pd->text(), QStringLiteral("PD"));
}

void tst_gui_specialkeypicker::placedUnderTheQuickWindow()
{
    QuickWindow quick(QPoint(140, 60));
    quick.openPicker();
    frmSpecialKey* picker = frmSpecialKey::instance();
    QVERIFY(QTest::qWaitForWindowExposed(picker));
    QCOMPARE(picker->frameGeometry().topLeft(), quick.below());
    QCOMPARE(visiblePickers(), 1);
}

void tst_gui_specialkeypicker::secondRequestLeavesItWhereItIs()
{
    QuickWindow quick;
    quick.openPicker();
    frmSpecialKey* first = frmSpecialKey::instance();
    QVERIFY(QTest::qWaitForWindowExposed(first));
    const QPoint placed = first->pos();

    quick.window->move(400, 300);
    quick.openPicker();
    QCOMPARE(frmSpecialKey::instance(), first);
    QCOMPARE(first->pos(), placed);
    QVERIFY(first->isVisible());
    QCOMPARE(visiblePickers(), 1);
}

void tst_gui_specialkeypicker::reopenedUnderTheNewPosition()
{
    QuickWindow quick;
    quick.openPicker();
    closeAndDispose(frmSpecialKey::instance());
    QCOMPARE(visiblePickers(), 0);

    quick.window->move(320, 40);
    QTRY_COMPARE(quick.window->pos(), QPoint(320, 40));
    quick.openPicker();
    frmSpecialKey* again = frmSpecialKey::instance();
    QVERIFY(again);
    QVERIFY(QTest::qWaitForWindowExposed(again));
    QCOMPARE(again->frameGeometry().topLeft(), quick.below());
    QCOMPARE(again->frameGeometry().left(), quick.window->frameGeometry().left());
    QCOMPARE(visiblePickers(), 1);
}

void tst_gui_specialkeypicker::pickWritesIntoTheQuickKeyBox()
{
    QuickWindow quick;
    quick.txtKey->setPlainText(QStringLiteral("x"));
    quick.txtKey->moveCursor(QTextCursor::End);
    quick.openPicker();
    frmSpecialKey* picker = frmSpecialKey::instance();
    QVERIFY(QTest::qWaitForWindowActive(picker));

    QTest::mouseClick(picker->findChild<QPushButton*>(QStringLiteral("cmdF5")), Qt::LeftButton);
    QCOMPARE(quick.txtKey->toPlainText(), QStringLiteral("x{F5}"));
    QTRY_COMPARE(QApplication::focusWidget(), quick.txtKey);
    QCOMPARE(QApplication::activeWindow(), quick.window.get());
    QVERIFY(picker->isVisible());
    QCOMPARE(frmSpecialKey::instance(), picker);
}

void tst_gui_specialkeypicker::picksInTurnWithTyping()
{
    QuickWindow quick;
    quick.openPicker();
    frmSpecialKey* picker = frmSpecialKey::instance();
    QVERIFY(QTest::qWaitForWindowExposed(picker));
    picker->findChild<QPushButton*>(QStringLiteral("cmdCtrl"))->click();
    QTRY_COMPARE(QApplication::focusWidget(), quick.txtKey);
    QTest::keyClicks(QApplication::focusWidget(), QStringLiteral("a"));
    picker->findChild<QPushButton*>(QStringLiteral("cmdPD"))->click();
    QCOMPARE(quick.txtKey->toPlainText(), QStringLiteral("^a{PGDN}"));
}

void tst_gui_specialkeypicker::placedOffScreenUncorrected()
{
    const QRect screen = QGuiApplication::primaryScreen()->geometry();
    QuickWindow quick(QPoint(50, screen.bottom() - 100));
    quick.openPicker();
    frmSpecialKey* picker = frmSpecialKey::instance();
    QVERIFY(QTest::qWaitForWindowExposed(picker));
    QCOMPARE(picker->frameGeometry().topLeft(), quick.below());
    QVERIFY(picker->frameGeometry().top() > screen.bottom() - 100);
    QVERIFY(picker->frameGeometry().bottom() > screen.bottom());
}

void tst_gui_specialkeypicker::closedPickerIsGoneAtOnce()
{
    QuickWindow quick;
    quick.openPicker();
    QPointer<frmSpecialKey> first = frmSpecialKey::instance();
    first->close();
    QCOMPARE(frmSpecialKey::instance(), nullptr);
    // Asked again before the closed one is deleted: a new one all the same.
    quick.openPicker();
    QVERIFY(frmSpecialKey::instance());
    QVERIFY(frmSpecialKey::instance() != first);
    QVERIFY(frmSpecialKey::instance()->isVisible());
    QTRY_VERIFY(!first);
    QCOMPARE(visiblePickers(), 1);
}

void tst_gui_specialkeypicker::newKeyBoxGetsANewPicker()
{
    auto quick = std::make_unique<QuickWindow>();
    quick->openPicker();
    const QPointer<frmSpecialKey> old = frmSpecialKey::instance();
    quick.reset();
    QuickWindow other(QPoint(500, 200));
    other.openPicker();
    QVERIFY(!old);
    frmSpecialKey* picker = frmSpecialKey::instance();
    QVERIFY(picker);
    picker->findChild<QPushButton*>(QStringLiteral("cmdEsc"))->click();
    QCOMPARE(other.txtKey->toPlainText(), QStringLiteral("{ESC}"));
    QVERIFY(QTest::qWaitForWindowExposed(picker));
    QCOMPARE(picker->frameGeometry().topLeft(), other.below());
}

QTEST_MAIN(tst_gui_specialkeypicker)
#include "tst_gui_specialkeypicker.moc"
