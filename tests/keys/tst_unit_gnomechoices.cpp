// SPDX-License-Identifier: MIT
// The GNOME backend's two choices that need no Shell: which way to type
// (the portal where it remembers the consent, else Mutter's own service),
// and what to tell the user for each state of the Shell extension.
#include "keys/gnome/RemoteKeyboard.h"
#include "keys/gnome/ShellWindows.h"

#include <QtTest>

using keys::gnome::ExtensionState;
using keys::gnome::TypingWay;

class TestGnomeChoices : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void typingWay_data();
    void typingWay();
    void extensionTexts();
};

void TestGnomeChoices::typingWay_data()
{
    QTest::addColumn<unsigned>("portalVersion");
    QTest::addColumn<bool>("portalKeyboard");
    QTest::addColumn<bool>("mutter");
    QTest::addColumn<TypingWay>("chosen");

    QTest::newRow("portal 2 remembers: preferred") << 2u << true << true << TypingWay::Portal;
    QTest::newRow("portal 1 asks each time: Mutter") << 1u << true << true << TypingWay::Mutter;
    QTest::newRow("portal without a keyboard") << 2u << false << true << TypingWay::Mutter;
    QTest::newRow("no portal") << 0u << false << true << TypingWay::Mutter;
    QTest::newRow("only portal 1") << 1u << true << false << TypingWay::Portal;
    QTest::newRow("nothing") << 0u << false << false << TypingWay::None;
}

void TestGnomeChoices::typingWay()
{
    QFETCH(unsigned, portalVersion);
    QFETCH(bool, portalKeyboard);
    QFETCH(bool, mutter);
    QFETCH(TypingWay, chosen);
    QCOMPARE(keys::gnome::chooseTypingWay({portalVersion, portalKeyboard, mutter}), chosen);
}

// Every state but Enabled says what to do, naming the extension.
void TestGnomeChoices::extensionTexts()
{
    using keys::gnome::extensionMissingText;
    const QString uuid = keys::gnome::extensionUuid;
    QVERIFY(extensionMissingText({ExtensionState::Enabled, {}}).isEmpty());
    QVERIFY(extensionMissingText({ExtensionState::Failed, QStringLiteral("SyntaxError")})
                .contains(QStringLiteral("\"SyntaxError\"")));
    for (ExtensionState s : {ExtensionState::Unknown, ExtensionState::Disabled,
                             ExtensionState::OutOfDate})
        QVERIFY(extensionMissingText({s, {}}).contains(
            QStringLiteral("\"gnome-extensions enable %1\"").arg(uuid)));
}

QTEST_GUILESS_MAIN(TestGnomeChoices)
#include "tst_unit_gnomechoices.moc"
