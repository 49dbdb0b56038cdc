// SPDX-License-Identifier: MIT
// The GNOME backend on a headless GNOME Shell with Typomat's extension:
// native Wayland windows found by title, brought to the front (also from
// the overview the Shell starts in) and typed into.
#include "GnomeSession.h"
#include "TerminalRows.h"
#include "keys/gnome/GnomeKeySender.h"

#include <QTest>

using namespace testsupport;

namespace {

[[maybe_unused]] QString errorOf(const std::function<void()>& call)
{
    try {
        call();
    } catch (const keys::KeyError& e) {
        return e.description();
    }
    return {};
}

} // namespace

class TestGnome : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void cleanupTestCase();
    void activationFromTheOverview();
    void keysReachTheTerminal_data();
    void keysReachTheTerminal();

private:
    QByteArray type(const QString& keys, qsizetype expectedSize);

    std::unique_ptr<GnomeShellSession> shell_;
    std::unique_ptr<GnomeFoot> term_;
    std::unique_ptr<keys::GnomeKeySender> sender_;
};

void TestGnome::initTestCase()
{
    try {
        shell_ = std::make_unique<GnomeShellSession>();
    } catch (const std::exception& e) {
        QSKIP(qPrintable(QStringLiteral("no headless GNOME Shell here: %1")
                             .arg(QString::fromLocal8Bit(e.what()))));
    }
    QVERIFY2(shell_->setExtensionEnabled(true), qPrintable(shell_->log()));
    term_ = std::make_unique<GnomeFoot>(*shell_, QStringLiteral("Gnome Target"));
    sender_ = std::make_unique<keys::GnomeKeySender>();
}

void TestGnome::cleanupTestCase()
{
    sender_.reset();
    term_.reset();
    shell_.reset();
}

QByteArray TestGnome::type(const QString& keys, qsizetype expectedSize)
{
    const qsizetype before = term_->bytes().size();
    sender_->AppActivate(term_->title());
    sender_->SendKeys(keys, true);
    return term_->waitForBytes(before + expectedSize).mid(before);
}

void TestGnome::activationFromTheOverview()
{
    QVERIFY(shell_->overviewOpen());
    QCOMPARE(type(QStringLiteral("first"), 5), QByteArray("first"));
    QVERIFY(!shell_->overviewOpen());
}

void TestGnome::keysReachTheTerminal_data()
{
    addCommonTerminalRows();
}

void TestGnome::keysReachTheTerminal()
{
    QFETCH(QString, keys);
    QFETCH(QByteArray, bytes);
    QCOMPARE(type(keys, bytes.size()), bytes);
}

QTEST_GUILESS_MAIN(TestGnome)
#include "tst_e2e_gnome.moc"
