// Typomat started on a Wayland desktop with XWayland (WAYLAND_DISPLAY and
// DISPLAY set, no QT_QPA_PLATFORM): its own windows go through XWayland.
#include "WaylandSession.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTest>

#include <pwd.h>
#include <unistd.h>

using namespace testsupport;

namespace {

// The shells ("xwayland", "xdg_shell") of the windows with this app id or
// X11 class, found anywhere in sway's tree.
void collectShells(const QJsonObject& node, const QString& app, QStringList& shells)
{
    const QString appId = node.value(QStringLiteral("app_id")).toString();
    const QString xClass =
        node.value(QStringLiteral("window_properties")).toObject().value(QStringLiteral("class")).toString();
    if (appId.compare(app, Qt::CaseInsensitive) == 0 || xClass.compare(app, Qt::CaseInsensitive) == 0)
        shells << node.value(QStringLiteral("shell")).toString();
    for (const char* key : {"nodes", "floating_nodes"})
        for (const QJsonValue& child : node.value(QLatin1String(key)).toArray())
            collectShells(child.toObject(), app, shells);
}

} // namespace

class TestWaylandStart : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void ownWindowsGoThroughXWayland();
};

void TestWaylandStart::ownWindowsGoThroughXWayland()
{
    std::unique_ptr<SwaySession> sway;
    try {
        sway = std::make_unique<SwaySession>(true);
    } catch (const std::exception& e) {
        QSKIP(qPrintable(QStringLiteral("no headless sway here: %1")
                             .arg(QString::fromLocal8Bit(e.what()))));
    }
    const QString display = sway->xDisplay();
    QVERIFY2(!display.isEmpty(), "sway started no XWayland");

    // XWayland serves only nobody's clients here, so Typomat runs as nobody
    // from a folder of nobody's.
    QTemporaryDir dir;
    const QString program = dir.filePath(QStringLiteral("typomat"));
    QVERIFY(QFile::copy(qEnvironmentVariable("TYPOMAT_EXE"), program));
    const passwd* nobody = getpwnam("nobody");
    QVERIFY(nobody);
    for (const QString& path : {dir.path(), program})
        QCOMPARE(chown(QFile::encodeName(path).constData(), nobody->pw_uid, nobody->pw_gid), 0);
    ChildProcess typomat(
        QStringLiteral("setpriv"),
        {QStringLiteral("--reuid=nobody"), QStringLiteral("--regid=nogroup"),
         QStringLiteral("--clear-groups"), QStringLiteral("env"), QStringLiteral("-u"),
         QStringLiteral("QT_QPA_PLATFORM"),
         // The suppressions file of a sanitizer build may be out of nobody's reach.
         QStringLiteral("-u"), QStringLiteral("LSAN_OPTIONS"),
         QStringLiteral("HOME=") + sway->runtime(),
         QStringLiteral("XDG_RUNTIME_DIR=") + sway->runtime(),
         QStringLiteral("WAYLAND_DISPLAY=") + sway->socket(), QStringLiteral("DISPLAY=") + display,
         program});
    QStringList shells;
    QVERIFY(waitUntil(15000, [&] {
        shells.clear();
        const QJsonDocument tree =
            QJsonDocument::fromJson(sway->query({QStringLiteral("-t"), QStringLiteral("get_tree")}));
        collectShells(tree.object(), QStringLiteral("typomat"), shells);
        return !shells.isEmpty();
    }));
    QCOMPARE(shells.join(QLatin1Char(' ')), QStringLiteral("xwayland"));
    QVERIFY(typomat.isRunning());
}

QTEST_GUILESS_MAIN(TestWaylandStart)
#include "tst_e2e_waylandstart.moc"
