// SPDX-License-Identifier: MIT
// Programs from Debian's archive, run natively on a headless sway: a
// shortcut opens their Save As dialog and the same key string fills it in.
// The file on disk shows that every key went where it belonged.
#include "WaylandSession.h"
#include "keys/wayland/WaylandKeySender.h"

#include <QFile>
#include <QStandardPaths>
#include <QTest>

using namespace testsupport;

class TestWaylandApps : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void cleanupTestCase();
    void saveAsDialog_data();
    void saveAsDialog();

private:
    std::unique_ptr<SwaySession> sway_;
};

void TestWaylandApps::initTestCase()
{
    QString why;
    sway_ = startSway(false, why);
    if (!sway_)
        QSKIP(qPrintable(why));
}

void TestWaylandApps::cleanupTestCase()
{
    sway_.reset();
}

void TestWaylandApps::saveAsDialog_data()
{
    QTest::addColumn<QString>("program");
    QTest::addColumn<QString>("title");
    QTest::addColumn<QStringList>("environment");
    QTest::addColumn<QString>("keys"); // %1: the file's path

    const QString shortcut = QStringLiteral("line one~line two~^s%1~");
    QTest::newRow("GTK 3, Ctrl+S") << "mousepad" << "Untitled 1 - Mousepad"
                                   << QStringList{QStringLiteral("GDK_BACKEND=wayland")} << shortcut;
    QTest::newRow("Qt 5, Ctrl+S") << "featherpad" << "Untitled"
                                  << QStringList{QStringLiteral("QT_QPA_PLATFORM=wayland")}
                                  << shortcut;
    // The menu's entry is picked by a plain letter while the menu is open.
    QTest::newRow("Qt 5, File menu") << "featherpad" << "Untitled"
                                     << QStringList{QStringLiteral("QT_QPA_PLATFORM=wayland")}
                                     << QStringLiteral("line one~line two~%fa%1~");
}

void TestWaylandApps::saveAsDialog()
{
    QFETCH(QString, program);
    QFETCH(QString, title);
    QFETCH(QStringList, environment);
    QFETCH(QString, keys);
    QVERIFY2(!QStandardPaths::findExecutable(program).isEmpty(),
             qPrintable(program + QStringLiteral(" is not installed (scripts/dev installs it)")));
    WaylandApp app(*sway_, title, environment, {program});
    VERIFY_STARTED(app);
    const QString path = app.home() + QStringLiteral("/saved.txt");
    const QByteArray text("line one\nline two\n");

    keys::WaylandKeySender sender;
    sender.AppActivate(title);
    sender.SendKeys(keys.arg(path), true);
    QFile file(path);
    QVERIFY2(waitUntil(5000, [&] { return file.size() >= text.size(); }),
             "the file was not saved");
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), text);
}

QTEST_GUILESS_MAIN(TestWaylandApps)
#include "tst_e2e_waylandapps.moc"
