// SPDX-License-Identifier: MIT
// The first start of a fresh installation: the real program, copied into an
// empty folder and started on its own X server, shows the About window; the
// user's choice is saved, the database is created and the chosen window
// opens.
#include "XSession.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <X11/Xlib.h>
#include <sqlite3.h>

using namespace testsupport;

namespace {

// A point inside the About window given in twips, in the window's pixels
// (the scale is taken from the window's width: its client area is 6135
// twips wide).
QPoint aboutPoint(XProbe& probe, unsigned long window, int xTwips, int yTwips)
{
    XWindowAttributes attrs;
    if (!XGetWindowAttributes(probe.display(), window, &attrs))
        return {};
    const double scale = attrs.width / 6135.0;
    return QPoint(qRound(xTwips * scale), qRound(yTwips * scale));
}

bool clickAt(const XServer& server, unsigned long window, QPoint at)
{
    return runProgram(server.display(), QStringLiteral("xdotool"),
                      {QStringLiteral("mousemove"), QStringLiteral("--window"),
                       QString::number(window), QString::number(at.x()), QString::number(at.y()),
                       QStringLiteral("click"), QStringLiteral("1")})
        == 0;
}

QStringList tablesOf(const QString& path)
{
    sqlite3* db = nullptr;
    QStringList tables;
    if (sqlite3_open_v2(QFile::encodeName(path).constData(), &db, SQLITE_OPEN_READONLY, nullptr)
        == SQLITE_OK) {
        sqlite3_stmt* query = nullptr;
        sqlite3_prepare_v2(db, "SELECT name FROM sqlite_master WHERE type = 'table' ORDER BY name",
                           -1, &query, nullptr);
        while (query && sqlite3_step(query) == SQLITE_ROW)
            tables << QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(query, 0)));
        sqlite3_finalize(query);
    }
    sqlite3_close(db);
    return tables;
}

QByteArray contents(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<no file>");
}

// The program copied into a fresh empty folder: a new installation.
struct FreshInstallation {
    QTemporaryDir dir;
    QString program = dir.filePath(QStringLiteral("typomat"));
    bool ready() { return QFile::copy(qEnvironmentVariable("TYPOMAT_EXE"), program); }
    QString file(const QString& name) const { return dir.filePath(name); }
};

// Places in the About window, in twips from its top left corner.
const QPoint scriptOption(3960 + 240 + 90, 120 + 1560 + 127);
const QPoint okButton(2520 + 547, 2760 + 187);

} // namespace

class StartupEndToEnd : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void firstStartChoosesScriptMode();
    void firstStartWithoutChoiceEnds();
    void savedChoiceOpensItsWindow();
};

void StartupEndToEnd::firstStartChoosesScriptMode()
{
    FreshInstallation installation;
    QVERIFY(installation.ready());
    XServer server;
    XProbe probe(server.display());
    ChildProcess typomat(installation.program, {}, server.display());

    const unsigned long about = waitForWindow(server.display(), QStringLiteral("Typomat"));
    QVERIFY2(about, "the About window did not appear");
    QVERIFY(!probe.findWindow(QStringLiteral("Typomat - Script")));
    QVERIFY(!probe.findWindow(QStringLiteral("Typomat - Quick")));
    QVERIFY(!QFile::exists(installation.file(QStringLiteral("Typomat.ini"))));
    QThread::msleep(300);   // let the window take input

    const QPoint option = aboutPoint(probe, about, scriptOption.x(), scriptOption.y());
    const QPoint ok = aboutPoint(probe, about, okButton.x(), okButton.y());
    QVERIFY(clickAt(server, about, option));
    QVERIFY(clickAt(server, about, ok));

    QVERIFY2(waitForWindow(server.display(), QStringLiteral("Typomat - Script")),
             "the script window did not appear");
    QVERIFY(waitUntil(5000, [&] { return !probe.findWindow(QStringLiteral("Typomat")); }));
    QVERIFY(typomat.isRunning());
    QCOMPARE(contents(installation.file(QStringLiteral("Typomat.ini"))),
             QByteArray("[Startup]\nStartup=2\n"));
    QStringList tables = tablesOf(installation.file(QStringLiteral("Typomat.mdb")));
    tables.sort();
    QCOMPARE(tables, (QStringList{QStringLiteral("KeyQuick"), QStringLiteral("KeyScript"),
                                  QStringLiteral("Script"), QStringLiteral("Title")}));
}

void StartupEndToEnd::firstStartWithoutChoiceEnds()
{
    FreshInstallation installation;
    QVERIFY(installation.ready());
    XServer server;
    XProbe probe(server.display());
    ChildProcess typomat(installation.program, {}, server.display());

    const unsigned long about = waitForWindow(server.display(), QStringLiteral("Typomat"));
    QVERIFY2(about, "the About window did not appear");
    QThread::msleep(300);
    QVERIFY(clickAt(server, about, aboutPoint(probe, about, okButton.x(), okButton.y())));

    QCOMPARE(typomat.waitForExit(10000), 0);
    QVERIFY(!QFile::exists(installation.file(QStringLiteral("Typomat.ini"))));
}

void StartupEndToEnd::savedChoiceOpensItsWindow()
{
    FreshInstallation installation;
    QVERIFY(installation.ready());
    QFile ini(installation.file(QStringLiteral("Typomat.ini")));
    QVERIFY(ini.open(QIODevice::WriteOnly));
    ini.write("[Startup]\r\nStartup=1\r\n");
    ini.close();
    XServer server;
    XProbe probe(server.display());
    ChildProcess typomat(installation.program, {}, server.display());

    QVERIFY2(waitForWindow(server.display(), QStringLiteral("Typomat - Quick")),
             "the quick window did not appear");
    QVERIFY(!probe.findWindow(QStringLiteral("Typomat")));
    QVERIFY(!probe.findWindow(QStringLiteral("Typomat - Script")));
    QCOMPARE(contents(installation.file(QStringLiteral("Typomat.ini"))),
             QByteArray("[Startup]\r\nStartup=1\r\n"));
}

QTEST_GUILESS_MAIN(StartupEndToEnd)
#include "tst_e2e_startup.moc"
