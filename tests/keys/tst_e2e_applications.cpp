// SPDX-License-Identifier: MIT
// Real editors from Debian's archive, typed into by the command line's send
// under Xvfb and openbox, and natively on a headless sway: text, then Save
// As opened by a shortcut or a menu, then the same key string types a full
// path and Enter into the file dialog. The file must be on disk with the
// text: every key went where it belonged.
#include "WaylandSession.h"

#include <QFile>
#include <QStandardPaths>
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
    std::unique_ptr<SwaySession> sway_;
    QString noSway_;
};

void TestApplications::initTestCase()
{
    server_ = std::make_unique<XServer>();
    wm_ = std::make_unique<WindowManager>(*server_);
    sway_ = startSway(false, noSway_);
}

void TestApplications::cleanupTestCase()
{
    sway_.reset();
    wm_.reset();
    server_.reset();
}

void TestApplications::saveAsTypesThePath_data()
{
    QTest::addColumn<bool>("onSway");
    QTest::addColumn<QString>("program");
    QTest::addColumn<QString>("title");
    QTest::addColumn<QString>("saveAs");
    for (const bool onSway : {false, true}) {
        const char* desktop = onSway ? "sway" : "X11";
        QTest::addRow("%s, GTK 3 mousepad, Ctrl+S", desktop)
            << onSway << "mousepad" << "Untitled 1 - Mousepad" << "^s";
        QTest::addRow("%s, Qt 5 featherpad, Ctrl+S", desktop)
            << onSway << "featherpad" << "Untitled" << "^s";
        // The letter after Alt+F picks the menu's entry.
        QTest::addRow("%s, Qt 5 featherpad, File menu", desktop)
            << onSway << "featherpad" << "Untitled" << "%fa";
    }
}

void TestApplications::saveAsTypesThePath()
{
    QFETCH(bool, onSway);
    QFETCH(QString, program);
    QFETCH(QString, title);
    QFETCH(QString, saveAs);
    QVERIFY2(!QStandardPaths::findExecutable(program).isEmpty(),
             qPrintable(program + QStringLiteral(" is not installed (scripts/dev installs it)")));
    if (onSway && !sway_)
        QSKIP(qPrintable(noSway_));
    std::unique_ptr<Application> onX11;
    std::unique_ptr<WaylandApp> native;
    QString path;
    if (onSway) {
        native = std::make_unique<WaylandApp>(
            *sway_, title,
            QStringList{QStringLiteral("GDK_BACKEND=wayland"), QStringLiteral("QT_QPA_PLATFORM=wayland")},
            QStringList{program});
        VERIFY_STARTED(*native);
        path = native->home() + QStringLiteral("/saved.txt");
    } else {
        onX11 = std::make_unique<Application>(*server_, program, title);
        path = onX11->filePath(QStringLiteral("saved.txt"));
    }
    const QStringList arguments{QStringLiteral("send"), title,
                                QStringLiteral("first line~second line~") + saveAs + path
                                    + QLatin1Char('~')};
    TypomatRun send = onSway ? TypomatRun::onWayland(arguments)
                             : TypomatRun(server_->display(), arguments);
    QCOMPARE(send.waitForExit(), 0);
    QFile saved(path);
    QVERIFY2(waitUntil(5000, [&] { return saved.size() >= 23; }), qPrintable(send.errorOutput()));
    QVERIFY(saved.open(QIODevice::ReadOnly));
    QCOMPARE(saved.readAll(), QByteArray("first line\nsecond line\n"));
}

QTEST_GUILESS_MAIN(TestApplications)
#include "tst_e2e_applications.moc"
