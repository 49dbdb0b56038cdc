// The choice of the keystroke backend at start, and what the user is told.
#include "app/Desktop.h"

#include <QTest>

using app::KeyBackend;

class TestDesktop : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void choice_data();
    void choice();
    void gnomeWithoutXSaysWhatIsMissing();
    void waylandSessionPutsOwnWindowsOnXWayland();
    void backendOptionIsTakenOutOfTheArguments();
};

void TestDesktop::choice_data()
{
    QTest::addColumn<QString>("forced");
    QTest::addColumn<bool>("wayland");
    QTest::addColumn<bool>("protocols");
    QTest::addColumn<bool>("x");
    QTest::addColumn<int>("chosen");
    QTest::newRow("sway") << "" << true << true << true << int(KeyBackend::Wayland);
    QTest::newRow("GNOME with XWayland") << "" << true << false << true << int(KeyBackend::X11);
    QTest::newRow("X11 session") << "" << false << false << true << int(KeyBackend::X11);
    QTest::newRow("nothing") << "" << false << false << false << int(KeyBackend::None);
    QTest::newRow("forced X11") << "X11" << true << true << true << int(KeyBackend::X11);
    QTest::newRow("forced Wayland") << "wayland" << false << false << true
                                    << int(KeyBackend::Wayland);
}

void TestDesktop::choice()
{
    QFETCH(QString, forced);
    QFETCH(bool, wayland);
    QFETCH(bool, protocols);
    QFETCH(bool, x);
    QFETCH(int, chosen);
    const app::DesktopOffers offers{
        wayland, protocols ? QString() : QStringLiteral("The compositor lacks them."), x};
    QCOMPARE(int(app::chooseKeyBackend(forced, offers)), chosen);
}

void TestDesktop::gnomeWithoutXSaysWhatIsMissing()
{
    const app::DesktopOffers gnome{true, QStringLiteral("The compositor lacks them."), false};
    const QString notice = app::keyBackendNotice(KeyBackend::None, gnome);
    QVERIFY(notice.contains(QStringLiteral("The compositor lacks them.")));
    QVERIFY(notice.contains(QStringLiteral("native Wayland programs cannot be reached")));
    QVERIFY(notice.contains(QStringLiteral("X11 programs (run through XWayland) still can")));
    QVERIFY(app::keyBackendNotice(KeyBackend::Wayland, {true, QString(), true}).isEmpty());
}

void TestDesktop::waylandSessionPutsOwnWindowsOnXWayland()
{
    char program[] = "typomat";
    char* argv[] = {program, nullptr};
    qputenv("WAYLAND_DISPLAY", "wayland-9");
    qputenv("DISPLAY", ":9");
    qunsetenv("QT_QPA_PLATFORM");
    const std::vector<QByteArray> xcb = app::qtArguments(1, argv);
    qputenv("QT_QPA_PLATFORM", "wayland");
    const std::vector<QByteArray> native = app::qtArguments(1, argv);
    QCOMPARE(xcb, (std::vector<QByteArray>{"typomat", "-platform", "xcb;wayland"}));
    QCOMPARE(native, std::vector<QByteArray>{"typomat"});
}

void TestDesktop::backendOptionIsTakenOutOfTheArguments()
{
    char program[] = "typomat", option[] = "--backend=wayland", command[] = "list";
    char* argv[] = {program, option, command, nullptr};
    int argc = 3;
    QCOMPARE(app::takeBackendOption(argc, argv), QStringLiteral("wayland"));
    QCOMPARE(argc, 2);
    QCOMPARE(QByteArray(argv[1]), QByteArray("list"));
    QCOMPARE(argv[2], nullptr);
}

QTEST_GUILESS_MAIN(TestDesktop)
#include "tst_unit_desktop.moc"
