// SPDX-License-Identifier: MIT
// The choice of the keystroke backend at start, and what the user is told.
#include "app/Desktop.h"

#include <QTest>

using app::KeyBackend;

class TestDesktop : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void choice_data();
    void choice();
    void noticeNamesTheDesktopOnlyWhereItIsOne();
    void backendNames();
    void kwinLetsInOrSaysWhy();
    void gnomeWithoutTheExtensionRefuses();
    void waylandSessionPutsOwnWindowsOnXWayland();
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
        wayland, protocols ? QString() : QStringLiteral("The compositor lacks them."), x, {}};
    QCOMPARE(int(app::chooseKeyBackend(app::keyBackendNamed(forced), offers)), chosen);
}

void TestDesktop::noticeNamesTheDesktopOnlyWhereItIsOne()
{
    const QString lacking = QStringLiteral("The compositor lacks them.");
    const struct {
        const char* currentDesktop;
        const char* named;  // nullptr: no desktop is named
    } cases[] = {{"GNOME", "GNOME"}, {"ubuntu:GNOME", "GNOME"}, {"KDE", "KDE Plasma"},
                 {"sway", nullptr}, {"", nullptr}};
    for (const auto& c : cases) {
        const app::DesktopOffers offers{true, lacking, false, QLatin1String(c.currentDesktop)};
        const QString notice = app::keyBackendNotice(KeyBackend::None, offers);
        QVERIFY2(notice.contains(lacking), qPrintable(notice));
        QVERIFY(notice.contains(QStringLiteral("No X display (DISPLAY) is set either.")));
        const bool namesOne = notice.contains(QStringLiteral("GNOME"))
            || notice.contains(QStringLiteral("KDE"));
        QVERIFY2(namesOne == (c.named != nullptr), qPrintable(notice));
        if (c.named)
            QVERIFY(notice.contains(QStringLiteral("This is so on %1 Wayland sessions")
                                        .arg(QLatin1String(c.named))));
    }
    QVERIFY(app::keyBackendNotice(KeyBackend::Wayland, {true, QString(), true, {}}).isEmpty());
}

// Where the wlroots protocols are missing, KWin that lets Typomat in is
// used; one that refuses is named with its reason, not as a desktop whose
// windows cannot be reached.
void TestDesktop::kwinLetsInOrSaysWhy()
{
    app::DesktopOffers plasma{true, QStringLiteral("The compositor lacks them."), true,
                              QStringLiteral("KDE"), true, {}};
    QCOMPARE(app::chooseKeyBackend(std::nullopt, plasma), KeyBackend::Kde);
    QVERIFY(app::keyBackendNotice(KeyBackend::Kde, plasma).isEmpty());
    plasma.kdeMissing = QStringLiteral("KWin did not allow Typomat to list windows.");
    QCOMPARE(app::chooseKeyBackend(std::nullopt, plasma), KeyBackend::X11);
    const QString notice = app::keyBackendNotice(KeyBackend::X11, plasma);
    QVERIFY2(notice.contains(plasma.kdeMissing) && !notice.contains(QStringLiteral("cannot be reached")),
             qPrintable(notice));
}

// The command line says the refusal once, as its failure, rather than as a
// notice and again as the error of the send.
void TestDesktop::gnomeWithoutTheExtensionRefuses()
{
    app::DesktopOffers gnome{true, QStringLiteral("The compositor lacks them."), false,
                             QStringLiteral("GNOME"), false, {}, true,
                             QStringLiteral("Enable the extension.")};
    QCOMPARE(app::chooseKeyBackend(std::nullopt, gnome), KeyBackend::Gnome);
    QCOMPARE(app::keyBackendNotice(KeyBackend::Gnome, gnome), gnome.gnomeMissing);
    QVERIFY(app::keyBackendRefuses(KeyBackend::Gnome, gnome));
    gnome.gnomeMissing.clear();
    QVERIFY(!app::keyBackendRefuses(KeyBackend::Gnome, gnome));
    gnome.xDisplay = true;
    QVERIFY(!app::keyBackendRefuses(KeyBackend::X11, gnome));
}

void TestDesktop::backendNames()
{
    QCOMPARE(app::keyBackendNames(), (QStringList{"x11", "wayland", "kde", "gnome"}));
    QCOMPARE(app::keyBackendNamed(QStringLiteral("Wayland")), KeyBackend::Wayland);
    QCOMPARE(app::keyBackendNamed(QStringLiteral("x 11")), std::nullopt);
    QCOMPARE(app::unknownKeyBackend(QStringLiteral("wl"), QStringLiteral("--backend")),
             QStringLiteral("--backend names the keystroke backend \"wl\", which Typomat does "
                            "not know. The backends are: x11, wayland, kde, gnome."));
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

QTEST_GUILESS_MAIN(TestDesktop)
#include "tst_unit_desktop.moc"
