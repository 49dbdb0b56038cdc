// SPDX-License-Identifier: MIT
#include "ui/Twips.h"
#include "keys/widgets/SpecialKeyBlock.h"

#include <algorithm>

#include <QApplication>
#include <QGroupBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <memory>

namespace {

// A window with a key box and the block in a frame, as the item editor has.
struct Host {
    std::unique_ptr<QWidget> window = std::make_unique<QWidget>();
    QPlainTextEdit* txtKey = new QPlainTextEdit(window.get());
    QGroupBox* Frame1 = new QGroupBox(window.get());

    Host()
    {
        window->resize(700, 400);
        txtKey->setGeometry(0, 0, 300, 60);
        Frame1->setGeometry(0, 80, 280, 160);
        keys::buildSpecialKeyBlock(Frame1, txtKey);
    }
    QPushButton* button(const char* name) const
    {
        return Frame1->findChild<QPushButton*>(QLatin1String(name), Qt::FindDirectChildrenOnly);
    }
    bool showActive() const
    {
        window->show();
        return QTest::qWaitForWindowActive(window.get());
    }
    // Text with a selection from anchor to position (equal: only a caret).
    void setText(const QString& text, int anchor, int position) const
    {
        txtKey->setPlainText(text);
        QTextCursor cursor = txtKey->textCursor();
        cursor.setPosition(anchor);
        cursor.setPosition(position, QTextCursor::KeepAnchor);
        txtKey->setTextCursor(cursor);
    }
    void click(const char* name) const
    {
        QPushButton* b = button(name);
        QVERIFY2(b, name);
        QTest::mouseClick(b, Qt::LeftButton);
    }
};

int twips(int pixels, const QWidget* w)
{
    return ui::pixelsToTwips(pixels, w);
}

} // namespace

class tst_gui_specialkeys : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void everyButton_data();
    void everyButton();
    void blockHasExactlyTheButtons();
    void tabOrderFollowsTheListing();
    void insertion_data();
    void insertion();
    void ctrlThenF4();
    void shiftThenTyping();
    void secondClickInsertsAgain();
    void focusGoesToTheKeyBox();
    void keyBoxGoneClickDoesNothing();
    void tableMatchesTheBlock();
};

void tst_gui_specialkeys::initTestCase()
{
    // The layout checks below compare twips; at 96 DPI a pixel is 15 twips,
    // so every place of the block converts exactly.
    QWidget probe;
    QCOMPARE(probe.logicalDpiX(), 96);
}

void tst_gui_specialkeys::everyButton_data()
{
    QTest::addColumn<QString>("caption");
    QTest::addColumn<QString>("code");
    QTest::addColumn<QRect>("placeInTwips");
    const struct {
        const char* name;
        const char* caption;
        const char* code;
        int left, top, width;
    } expected[] = {
        {"cmdF1", "F1", "{F1}", 120, 240, 495},      {"cmdF2", "F2", "{F2}", 600, 240, 495},
        {"cmdF3", "F3", "{F3}", 1080, 240, 495},     {"cmdF4", "F4", "{F4}", 1560, 240, 495},
        {"cmdF5", "F5", "{F5}", 2040, 240, 495},     {"cmdF6", "F6", "{F6}", 2520, 240, 495},
        {"cmdF7", "F7", "{F7}", 3000, 240, 495},     {"cmdF8", "F8", "{F8}", 3480, 240, 495},
        {"cmdF9", "F9", "{F9}", 120, 600, 495},      {"cmdF10", "F10", "{F10}", 600, 600, 495},
        {"cmdF11", "F11", "{F11}", 1080, 600, 495},  {"cmdF12", "F12", "{F12}", 1560, 600, 495},
        {"cmdF13", "F13", "{F13}", 2040, 600, 495},  {"cmdF14", "F14", "{F14}", 2520, 600, 495},
        {"cmdF15", "F15", "{F15}", 3000, 600, 495},  {"cmdF16", "F16", "{F16}", 3480, 600, 495},
        {"cmdEsc", "Esc", "{ESC}", 120, 960, 495},   {"cmdCL", "CL", "{CAPSLOCK}", 600, 960, 495},
        {"cmdUp", "Up", "{UP}", 1080, 960, 495},     {"cmdBksp", "Backspace", "{BKSP}", 1560, 960, 975},
        {"cmdPrtsc", "Prtsc", "{PRTSC}", 2520, 960, 495},
        {"cmdSL", "SL", "{SCROLLLOCK}", 3000, 960, 495},
        {"cmdBk", "Bk", "{BREAK}", 3480, 960, 495},  {"cmdTab", "Tab", "{TAB}", 120, 1320, 495},
        {"cmdLeft", "Left", "{LEFT}", 600, 1320, 495}, {"cmdDow", "Dow", "{DOWN}", 1080, 1320, 495},
        {"cmdRight", "Right", "{RIGHT}", 1560, 1320, 495},
        {"cmdNL", "NL", "{NUMLOCK}", 2040, 1320, 495}, {"cmdIns", "Ins", "{INS}", 2520, 1320, 495},
        {"cmdHome", "Hom", "{HOME}", 3000, 1320, 495}, {"cmdPU", "PU", "{PGUP}", 3480, 1320, 495},
        {"cmdCtrl", "Ctrl", "^", 120, 1680, 495},    {"cmdShift", "Shift", "+", 600, 1680, 495},
        {"cmdAlt", "Alt", "%", 1080, 1680, 495},     {"cmdEnter", "Enter", "{ENTER}", 1560, 1680, 975},
        {"cmdDel", "Del", "{DEL}", 2520, 1680, 495}, {"cmdEnd", "End", "{END}", 3000, 1680, 495},
        {"cmdPD", "PD", "{PGDN}", 3480, 1680, 495},
    };
    for (const auto& e : expected)
        QTest::newRow(e.name) << QString::fromLatin1(e.caption) << QString::fromLatin1(e.code)
                              << QRect(e.left, e.top, e.width, 375);
}

void tst_gui_specialkeys::everyButton()
{
    QFETCH(QString, caption);
    QFETCH(QString, code);
    QFETCH(QRect, placeInTwips);
    Host host;
    QPushButton* b = host.button(QTest::currentDataTag());
    QVERIFY(b);
    QCOMPARE(b->text(), caption);
    const QRect g = b->geometry();
    QCOMPARE(QRect(twips(g.x(), b), twips(g.y(), b), twips(g.width(), b), twips(g.height(), b)),
             placeInTwips);
    host.setText(QString(), 0, 0);
    b->click();
    QCOMPARE(host.txtKey->toPlainText(), code);
}

void tst_gui_specialkeys::blockHasExactlyTheButtons()
{
    Host host;
    const auto buttons = host.Frame1->findChildren<QPushButton*>();
    QCOMPARE(buttons.size(), 38);
    QSet<QString> names;
    for (QPushButton* b : buttons)
        names.insert(b->objectName());
    QCOMPARE(names.size(), 38);
    QVERIFY(names.contains(QStringLiteral("cmdPD")));
}

void tst_gui_specialkeys::tabOrderFollowsTheListing()
{
    Host host;
    const char* order[] = {"cmdF1", "cmdF2", "cmdF3", "cmdF4", "cmdF5", "cmdF6", "cmdF7",
                           "cmdF8", "cmdF9", "cmdF10", "cmdF11", "cmdF12", "cmdF13", "cmdF14",
                           "cmdF15", "cmdF16", "cmdEsc", "cmdTab", "cmdCtrl", "cmdCL",
                           "cmdLeft", "cmdShift", "cmdUp", "cmdDow", "cmdAlt", "cmdBksp",
                           "cmdRight", "cmdEnter", "cmdNL", "cmdPrtsc", "cmdIns", "cmdDel",
                           "cmdSL", "cmdHome", "cmdEnd", "cmdBk", "cmdPU", "cmdPD"};
    QWidget* w = host.button(order[0]);
    for (const char* name : order) {
        QCOMPARE(w->objectName(), QLatin1String(name));
        do
            w = w->nextInFocusChain();
        while (!qobject_cast<QPushButton*>(w) && w != host.button(order[0]));
    }
}

void tst_gui_specialkeys::insertion_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("anchor");
    QTest::addColumn<int>("position");
    QTest::addColumn<QByteArray>("button");
    QTest::addColumn<QString>("expected");
    QTest::addColumn<int>("caret");

    QTest::newRow("Enter at the caret after a") << "abc" << 1 << 1 << QByteArray("cmdEnter")
                                                << "a{ENTER}bc" << 8;
    QTest::newRow("Tab replaces bc") << "abc" << 1 << 3 << QByteArray("cmdTab") << "a{TAB}" << 6;
    QTest::newRow("backward selection replaced") << "abc" << 3 << 1 << QByteArray("cmdTab")
                                                 << "a{TAB}" << 6;
    QTest::newRow("whole text replaced") << "old" << 0 << 3 << QByteArray("cmdPD") << "{PGDN}"
                                         << 6;
    QTest::newRow("caret at the start") << "x" << 0 << 0 << QByteArray("cmdF16") << "{F16}x" << 5;
    QTest::newRow("second line") << "ab\ncd" << 4 << 4 << QByteArray("cmdDel")
                                 << "ab\nc{DEL}d" << 9;
    QTest::newRow("modifier inserts its bare character") << "x" << 1 << 1
                                                         << QByteArray("cmdAlt") << "x%" << 2;
}

void tst_gui_specialkeys::insertion()
{
    QFETCH(QString, text);
    QFETCH(int, anchor);
    QFETCH(int, position);
    QFETCH(QByteArray, button);
    QFETCH(QString, expected);
    QFETCH(int, caret);
    Host host;
    host.setText(text, anchor, position);
    host.click(button.constData());
    QCOMPARE(host.txtKey->toPlainText(), expected);
    QCOMPARE(host.txtKey->textCursor().position(), caret);
    QVERIFY(!host.txtKey->textCursor().hasSelection());
}

void tst_gui_specialkeys::ctrlThenF4()
{
    Host host;
    host.click("cmdCtrl");
    host.click("cmdF4");
    QCOMPARE(host.txtKey->toPlainText(), QStringLiteral("^{F4}"));
}

void tst_gui_specialkeys::shiftThenTyping()
{
    Host host;
    QVERIFY(host.showActive());
    host.click("cmdShift");
    QCOMPARE(QApplication::focusWidget(), host.txtKey);
    QTest::keyClicks(QApplication::focusWidget(), QStringLiteral("x"));
    QCOMPARE(host.txtKey->toPlainText(), QStringLiteral("+x"));
}

void tst_gui_specialkeys::secondClickInsertsAgain()
{
    Host host;
    host.click("cmdF1");
    host.click("cmdF1");
    QCOMPARE(host.txtKey->toPlainText(), QStringLiteral("{F1}{F1}"));
}

void tst_gui_specialkeys::focusGoesToTheKeyBox()
{
    Host host;
    QVERIFY(host.showActive());
    QPushButton* b = host.button("cmdHome");
    b->setFocus();
    QCOMPARE(QApplication::focusWidget(), b);
    host.click("cmdHome");
    QCOMPARE(QApplication::focusWidget(), host.txtKey);
}

void tst_gui_specialkeys::keyBoxGoneClickDoesNothing()
{
    Host host;
    QPushButton* b = host.button("cmdEsc");
    delete host.txtKey;
    b->click();  // must not touch the deleted box
    QVERIFY(host.Frame1->findChild<QPushButton*>(QStringLiteral("cmdEsc")));
}

void tst_gui_specialkeys::tableMatchesTheBlock()
{
    // The block as the user sees it, written out here rather than taken from
    // the table: a caption repeated in the next column spans both.
    const char* const grid[5][8] = {
        {"F1", "F2", "F3", "F4", "F5", "F6", "F7", "F8"},
        {"F9", "F10", "F11", "F12", "F13", "F14", "F15", "F16"},
        {"Esc", "CL", "Up", "Backspace", "Backspace", "Prtsc", "SL", "Bk"},
        {"Tab", "Left", "Dow", "Right", "NL", "Ins", "Hom", "PU"},
        {"Ctrl", "Shift", "Alt", "Enter", "Enter", "Del", "End", "PD"},
    };
    Host host;
    const auto buttons = host.Frame1->findChildren<QPushButton*>();
    QCOMPARE(buttons.size(), 38);
    for (int r = 0; r < 5; ++r) {
        for (int c = 0; c < 8; ++c) {
            const QString caption = QLatin1String(grid[r][c]);
            if (c > 0 && caption == QLatin1String(grid[r][c - 1]))
                continue;
            const bool wide = c < 7 && caption == QLatin1String(grid[r][c + 1]);
            const auto it = std::find_if(buttons.begin(), buttons.end(),
                                         [&](QPushButton* b) { return b->text() == caption; });
            QVERIFY2(it != buttons.end(), qPrintable(caption));
            QCOMPARE((*it)->geometry(), ui::twipsRect(120 + 480 * c, 240 + 360 * r,
                                                      wide ? 975 : 495, 375, *it));
        }
    }
}

QTEST_MAIN(tst_gui_specialkeys)
#include "tst_gui_specialkeys.moc"
