// SPDX-License-Identifier: MIT
// Real editors from Debian's archive under Xvfb and openbox, typed into by
// the command line's send: text, then Save As opened by a shortcut or a
// menu, then the same key string types a full path and Enter into the file
// dialog. The file must be on disk with the text.
#include "XSession.h"

#include <QFile>
#include <QTest>

using namespace testsupport;

class TestApplications : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void cleanupTestCase();

    void saveAsTypesThePath_data();
    void saveAsTypesThePath();

private:
    std::unique_ptr<XServer> server_;
    std::unique_ptr<WindowManager> wm_;
};

void TestApplications::initTestCase()
{
    server_ = std::make_unique<XServer>();
    wm_ = std::make_unique<WindowManager>(*server_);
}

void TestApplications::cleanupTestCase()
{
    wm_.reset();
    server_.reset();
}

void TestApplications::saveAsTypesThePath_data()
{
    QTest::addColumn<QString>("program");
    QTest::addColumn<QString>("title");
    QTest::addColumn<QString>("saveAs");
    QTest::newRow("GTK 3 mousepad, Ctrl+S") << "mousepad" << "Untitled 1 - Mousepad" << "^s";
    QTest::newRow("Qt 5 featherpad, Ctrl+S") << "featherpad" << "Untitled" << "^s";
    // The letter after Alt+F picks the menu's entry.
    QTest::newRow("Qt 5 featherpad, File menu") << "featherpad" << "Untitled" << "%fa";
}

void TestApplications::saveAsTypesThePath()
{
    QFETCH(QString, program);
    QFETCH(QString, title);
    QFETCH(QString, saveAs);
    Application editor(*server_, program, title);
    const QString path = editor.filePath(QStringLiteral("saved.txt"));
    TypomatRun send(server_->display(), {QStringLiteral("send"), title,
                                         QStringLiteral("first line~second line~") + saveAs
                                             + path + QLatin1Char('~')});
    QCOMPARE(send.waitForExit(), 0);
    QFile saved(path);
    QVERIFY2(waitUntil(5000, [&] { return saved.exists(); }), qPrintable(send.errorOutput()));
    QVERIFY(waitUntil(5000, [&] { return saved.size() == 23; }));
    QVERIFY(saved.open(QIODevice::ReadOnly));
    QCOMPARE(saved.readAll(), QByteArray("first line\nsecond line\n"));
}

QTEST_GUILESS_MAIN(TestApplications)
#include "tst_e2e_applications.moc"
