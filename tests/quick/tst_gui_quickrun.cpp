// SPDX-License-Identifier: MIT
// "Run" of the quick window: what reaches the key sender, what is shown on
// failure, and that nothing else moves. Button, menu entry and F8 alike.
#include "QuickFixture.h"

#include <QAction>
#include <QApplication>
#include <QPushButton>
#include <QTest>
#include <sqlite3.h>

using namespace quicktest;

namespace {
const QString kTitle = QStringLiteral("Notepad");
const QString kNone = QStringLiteral("-");
const QString kAny = QStringLiteral("*");

void dropItemTable()
{
    sqlite3* raw = nullptr;
    sqlite3_open(qPrintable(app::databaseFilePath()), &raw);
    sqlite3_exec(raw, "DROP TABLE KeyQuick", nullptr, nullptr, nullptr);
    sqlite3_close(raw);
}
} // namespace

class QuickRunTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void run_data();
    void run();
};

void QuickRunTest::run_data()
{
    QTest::addColumn<QString>("trigger");
    QTest::addColumn<QString>("title");
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("failure");      // "missing" window, "send" fails, or none
    QTest::addColumn<QStringList>("activated");
    QTest::addColumn<QString>("sent");         // kNone: SendKeys not called
    QTest::addColumn<QString>("error");        // kNone: no message; kAny: any text

    for (const char* trigger : {"button", "menu", "F8"}) {
        const auto row = [trigger](const char* name) -> QTestData& {
            return QTest::newRow(qPrintable(QStringLiteral("%1: %2").arg(trigger, name)))
                   << QString::fromLatin1(trigger);
        };
        row("unsaved key sent as shown") << kTitle << "edited{ENTER}" << "" << QStringList{kTitle}
                                          << "edited{ENTER}" << kNone;
        row("title not trimmed") << " Notepad " << "x" << "" << QStringList{" Notepad "} << "x"
                                  << kNone;
        row("empty key") << kTitle << "" << "" << QStringList{kTitle} << "" << kNone;
        row("empty title") << "" << "abc" << "" << QStringList{} << kNone << kNone;
        row("missing window") << "Nowhere" << "abc" << "missing" << QStringList{} << kNone
                               << keys::errors::noWindowTitled("Nowhere");
        row("unreadable key") << kTitle << "{NOPE" << "" << QStringList{kTitle} << kNone << kAny;
        row("sending fails") << kTitle << "abc" << "send" << QStringList{kTitle} << kNone
                              << keys::errors::focusLostAfter(1, 3);
    }
}

void QuickRunTest::run()
{
    QFETCH(QString, trigger);
    QFETCH(QString, title);
    QFETCH(QString, key);
    QFETCH(QString, failure);
    QFETCH(QStringList, activated);
    QFETCH(QString, sent);
    QFETCH(QString, error);

    const Rows items = {{"hello", kTitle, "Hello", "greets"}};
    Fixture f({kTitle}, items);
    f.w->show();
    QApplication::setActiveWindow(f.w.get());
    QVERIFY(QTest::qWaitForWindowActive(f.w.get()));
    f.pickTitle(kTitle);
    f.pickItem("hello");
    f.type(f.w->cboType, title);
    f.w->txtKey->setPlainText(key);
    f.sender.openTitles = QStringList{kTitle, QStringLiteral(" Notepad ")};
    if (failure == "send")
        f.sender.failSendWith = keys::errors::focusLostAfter(1, 3);
    const QStringList shownBefore = f.shown();
    dropItemTable();  // the run must not need the database

    if (trigger == "button")
        f.w->cmdRun->click();
    else if (trigger == "menu")
        f.w->mnusubItem[5]->trigger();
    else
        QTest::keyClick(f.w->txtKey, Qt::Key_F8);

    QCOMPARE(f.sender.activatedTitles(), activated);
    QCOMPARE(f.sender.sentKeyStrings(), sent == kNone ? QStringList{} : QStringList{sent});
    if (sent != kNone)
        QVERIFY(f.sender.calls.back().wait);
    if (error == kNone) {
        QCOMPARE(f.dialogs.messageCount(), 0);
    } else {
        QCOMPARE(f.dialogs.messageCount(), 1);
        if (error != kAny)
            QCOMPARE(f.dialogs.lastMessage()->text, error);
        QVERIFY(!f.dialogs.lastMessage()->text.isEmpty());
        QCOMPARE(f.dialogs.lastMessage()->style, 0);
        QCOMPARE(f.dialogs.lastMessage()->title, QStringLiteral("Error"));
    }
    QCOMPARE(f.shown(), shownBefore);
    QCOMPARE(f.w->cboItem->count(), 1);
    QVERIFY(!store::rsItem->AtEnd());  // the current item row stays
    QCOMPARE(store::rsItem->Fields(0).toText(), QStringLiteral("hello"));
}

QTEST_MAIN(QuickRunTest)
#include "tst_gui_quickrun.moc"
