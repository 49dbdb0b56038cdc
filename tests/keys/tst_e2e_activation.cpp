// SPDX-License-Identifier: MIT
// Window activation by title and the focus guard of the X11 backend, with
// real xterms (and a Qt text box) under Xvfb, with and without openbox.
#include "XSession.h"
#include "keys/x11/X11KeySender.h"

#include <QRegularExpression>
#include <QTest>
#include <QThread>

#include <X11/XKBlib.h>
#include <X11/Xatom.h>

#include <atomic>
#include <thread>

using namespace testsupport;

class TestActivation : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void cleanupTestCase();

    void activationGivesTheFocus();
    void exactTitleWinsOverPrefix();
    void prefixIgnoresCase();
    void highestOfEqualTitlesWins();
    void missingTitleIsAnError_data();
    void missingTitleIsAnError();
    void iconifiedWindowIsRestored();
    void focusStolenStopsTyping();
    void qtTextBoxGetsExactText_data();
    void qtTextBoxGetsExactText();
    void withoutWindowManager();
    void unicodeTitles();
    void noDisplayIsAnError();

private:
    bool isAbove(unsigned long upper, unsigned long lower);
    // Activates the title, types a marker and tells which terminal got it.
    QString whoGets(const QString& title, const QString& marker);

    std::unique_ptr<XServer> server_;
    std::unique_ptr<WindowManager> wm_;
    std::unique_ptr<XProbe> probe_;
    std::unique_ptr<CaptureTerminal> alpha_;
    std::unique_ptr<CaptureTerminal> alphaBeta_;
    std::unique_ptr<keys::X11KeySender> sender_;
};

void TestActivation::initTestCase()
{
    server_ = std::make_unique<XServer>();
    wm_ = std::make_unique<WindowManager>(*server_);
    probe_ = std::make_unique<XProbe>(server_->display());
    alpha_ = std::make_unique<CaptureTerminal>(*server_, QStringLiteral("Alpha"));
    alphaBeta_ = std::make_unique<CaptureTerminal>(*server_, QStringLiteral("Alpha Beta"));
    qputenv("DISPLAY", server_->display().toLocal8Bit());
    sender_ = std::make_unique<keys::X11KeySender>();
}

void TestActivation::cleanupTestCase()
{
    sender_.reset();
    alphaBeta_.reset();
    alpha_.reset();
    probe_.reset();
    wm_.reset();
    server_.reset();
}

QString TestActivation::whoGets(const QString& title, const QString& marker)
{
    const qsizetype a = alpha_->bytes().size();
    const qsizetype ab = alphaBeta_->bytes().size();
    sender_->AppActivate(title);
    sender_->SendKeys(marker, true);
    waitUntil(3000, [&] {
        return alpha_->bytes().size() > a || alphaBeta_->bytes().size() > ab;
    });
    QThread::msleep(100);
    const QByteArray gotA = alpha_->bytes().mid(a);
    const QByteArray gotAB = alphaBeta_->bytes().mid(ab);
    if (!gotA.isEmpty() && gotAB.isEmpty() && gotA == marker.toUtf8())
        return alpha_->title();
    if (gotA.isEmpty() && !gotAB.isEmpty() && gotAB == marker.toUtf8())
        return alphaBeta_->title();
    return QStringLiteral("Alpha got \"%1\", Alpha Beta got \"%2\"")
        .arg(QString::fromUtf8(gotA), QString::fromUtf8(gotAB));
}

// By the window manager's stacking list, lowest first.
bool TestActivation::isAbove(unsigned long upper, unsigned long lower)
{
    Display* dpy = probe_->display();
    Atom type;
    int format;
    unsigned long count, after;
    unsigned char* data = nullptr;
    XGetWindowProperty(dpy, DefaultRootWindow(dpy),
                       XInternAtom(dpy, "_NET_CLIENT_LIST_STACKING", False), 0, 1024, False,
                       XA_WINDOW, &type, &format, &count, &after, &data);
    long upperAt = -1, lowerAt = -1;
    if (data) {
        const long* ids = reinterpret_cast<const long*>(data);
        for (unsigned long i = 0; i < count; ++i) {
            if (static_cast<unsigned long>(ids[i]) == upper)
                upperAt = static_cast<long>(i);
            if (static_cast<unsigned long>(ids[i]) == lower)
                lowerAt = static_cast<long>(i);
        }
        XFree(data);
    }
    return upperAt >= 0 && lowerAt >= 0 && upperAt > lowerAt;
}

void TestActivation::activationGivesTheFocus()
{
    for (int i = 0; i < 3; ++i) {
        sender_->AppActivate(QStringLiteral("Alpha"));
        QVERIFY(probe_->focusIsIn(alpha_->window()));
        sender_->AppActivate(QStringLiteral("Alpha Beta"));
        QVERIFY(probe_->focusIsIn(alphaBeta_->window()));
    }
}

void TestActivation::exactTitleWinsOverPrefix()
{
    sender_->AppActivate(QStringLiteral("Alpha Beta"));
    QCOMPARE(whoGets(QStringLiteral("Alpha"), QStringLiteral("one")), QStringLiteral("Alpha"));
    QCOMPARE(whoGets(QStringLiteral("Alpha"), QStringLiteral("two")), QStringLiteral("Alpha"));
}

void TestActivation::prefixIgnoresCase()
{
    QCOMPARE(whoGets(QStringLiteral("alpha b"), QStringLiteral("x")), QStringLiteral("Alpha Beta"));
    // Both begin with "ALPHA": the one on top, which now is Alpha Beta.
    QCOMPARE(whoGets(QStringLiteral("ALPHA"), QStringLiteral("y")), QStringLiteral("Alpha Beta"));
    sender_->AppActivate(QStringLiteral("Alpha"));
    QCOMPARE(whoGets(QStringLiteral("ALPHA"), QStringLiteral("z")), QStringLiteral("Alpha"));
}

void TestActivation::highestOfEqualTitlesWins()
{
    CaptureTerminal lower(*server_, QStringLiteral("Twin"));
    CaptureTerminal upper(*server_, QStringLiteral("Twin"));
    const auto typeInto = [&](const QString& keys) {
        const qsizetype l = lower.bytes().size(), u = upper.bytes().size();
        sender_->AppActivate(QStringLiteral("Twin"));
        sender_->SendKeys(keys, true);
        waitUntil(3000, [&] { return lower.bytes().size() > l || upper.bytes().size() > u; });
        QThread::msleep(100);
        return std::make_pair(lower.bytes().mid(l), upper.bytes().mid(u));
    };
    // The window manager decides where a new window goes: raise each in turn.
    probe_->activate(upper.window());
    QVERIFY(waitUntil(2000, [&] { return isAbove(upper.window(), lower.window()); }));
    QCOMPARE(typeInto(QStringLiteral("top")), std::make_pair(QByteArray(), QByteArray("top")));
    probe_->activate(lower.window());
    QVERIFY(waitUntil(2000, [&] { return isAbove(lower.window(), upper.window()); }));
    QCOMPARE(typeInto(QStringLiteral("raised")),
             std::make_pair(QByteArray("raised"), QByteArray()));
}

void TestActivation::missingTitleIsAnError_data()
{
    QTest::addColumn<QString>("title");
    QTest::addColumn<QString>("message");
    QTest::newRow("unknown") << "Gamma" << "No window titled \"Gamma\" is open.";
    QTest::newRow("longer than any") << "Alpha Beta Gamma"
                                     << "No window titled \"Alpha Beta Gamma\" is open.";
    QTest::newRow("not trimmed") << " Alpha" << "No window titled \" Alpha\" is open.";
    QTest::newRow("empty") << "" << "No window titled \"\" is open.";
}

void TestActivation::missingTitleIsAnError()
{
    QFETCH(QString, title);
    QFETCH(QString, message);
    sender_->AppActivate(QStringLiteral("Alpha"));
    QString error;
    try {
        sender_->AppActivate(title);
    } catch (const keys::KeyError& e) {
        error = e.description();
    }
    QCOMPARE(error, message);
    QVERIFY(probe_->focusIsIn(alpha_->window()));
}

void TestActivation::iconifiedWindowIsRestored()
{
    probe_->iconify(alpha_->window());
    QVERIFY(probe_->isIconic(alpha_->window()));
    QCOMPARE(whoGets(QStringLiteral("Alpha"), QStringLiteral("back")), QStringLiteral("Alpha"));
    QVERIFY(!probe_->isIconic(alpha_->window()));
}

void TestActivation::focusStolenStopsTyping()
{
    const qsizetype a = alpha_->bytes().size();
    const qsizetype ab = alphaBeta_->bytes().size();
    QString keys;
    for (char c = 'a'; c <= 'j'; ++c)
        keys += QStringLiteral("{%1 10000}").arg(QLatin1Char(c));
    sender_->AppActivate(QStringLiteral("Alpha"));

    // Once keys arrive, the other window takes the focus, again and again
    // in case the window manager hands it back.
    std::atomic<bool> done{false};
    std::thread thief([&] {
        XProbe other(server_->display());
        waitUntil(5000, [&] { return done || alpha_->bytes().size() > a; });
        while (!done) {
            other.setFocus(alphaBeta_->window());
            QThread::msleep(5);
        }
    });
    QString error;
    try {
        sender_->SendKeys(keys, true);
    } catch (const keys::KeyError& e) {
        error = e.description();
    }
    done = true;
    thief.join();

    static const QRegularExpression lost(
        QStringLiteral("^The window lost the keyboard focus after (\\d+) of 100000 keys"));
    const QRegularExpressionMatch match = lost.match(error);
    QVERIFY2(match.hasMatch(), qPrintable(error));
    const qsizetype sent = match.captured(1).toLongLong();
    QVERIFY(sent > 0 && sent < 100000);
    QByteArray expected;
    for (char c = 'a'; expected.size() < sent; ++c)
        expected += QByteArray(std::min<qsizetype>(10000, sent - expected.size()), c);
    QCOMPARE(alpha_->waitForBytes(a + sent, 20000).mid(a), expected);
    QCOMPARE(alphaBeta_->bytes().size(), ab);

    XkbStateRec state;
    XkbGetState(probe_->display(), XkbUseCoreKbd, &state);
    QCOMPARE(unsigned(state.base_mods), 0u);
}

void TestActivation::qtTextBoxGetsExactText_data()
{
    QTest::addColumn<QString>("text");
    QString ascii;
    const QString sample = QStringLiteral("The Quick Brown Fox Jumps Over The Lazy Dog 0123456789 "
                                          "!@#$&*_-=[]\\|;:'\",.<>/?` ");
    while (ascii.size() < 2000)
        ascii += sample;
    ascii.truncate(2000);
    QTest::newRow("2000 ASCII characters") << ascii;
    QTest::newRow("non-ASCII") << QStringLiteral("Grüße, señor: €5 Ω ß é 😀 αβγ");
}

void TestActivation::qtTextBoxGetsExactText()
{
    QFETCH(QString, text);
    TextBoxTarget box(*server_, QStringLiteral("Qt Text Box"));
    QString keys;
    for (QChar c : text) {
        if (QStringLiteral("+^%~(){}[]").contains(c))
            keys += QLatin1Char('{') + c + QLatin1Char('}');
        else
            keys += c;
    }
    sender_->AppActivate(QStringLiteral("Qt Text Box"));
    sender_->SendKeys(keys, true);
    QCOMPARE(box.waitForText(text.size(), 10000), text);
}

void TestActivation::withoutWindowManager()
{
    XServer bare;
    XProbe probe(bare.display());
    QVERIFY(!probe.hasWindowManager());
    CaptureTerminal left(bare, QStringLiteral("Left"));
    CaptureTerminal right(bare, QStringLiteral("Right"));
    const QByteArray previousDisplay = qgetenv("DISPLAY");
    qputenv("DISPLAY", bare.display().toLocal8Bit());
    keys::X11KeySender sender;
    for (int i = 0; i < 2; ++i) {
        sender.AppActivate(QStringLiteral("Left"));
        QVERIFY(probe.focusIsIn(left.window()));
        sender.SendKeys(QStringLiteral("left"), true);
        sender.AppActivate(QStringLiteral("right"));
        QVERIFY(probe.focusIsIn(right.window()));
        sender.SendKeys(QStringLiteral("right€"), true);
    }
    qputenv("DISPLAY", previousDisplay);
    QCOMPARE(left.waitForBytes(8), QByteArray("leftleft"));
    QCOMPARE(QString::fromUtf8(right.waitForBytes(16)), QStringLiteral("right€right€"));
    QVERIFY_THROWS_EXCEPTION(keys::KeyError, sender.AppActivate(QStringLiteral("Alpha")));
}

void TestActivation::unicodeTitles()
{
    TextBoxTarget box(*server_, QStringLiteral("Grüße € Ωmega 😀"));
    sender_->AppActivate(QStringLiteral("Alpha"));
    sender_->AppActivate(QStringLiteral("Grüße € Ωmega 😀"));
    QVERIFY(probe_->focusIsIn(box.window()));
    sender_->AppActivate(QStringLiteral("Alpha"));
    sender_->AppActivate(QStringLiteral("GRÜßE € Ω"));
    QVERIFY(probe_->focusIsIn(box.window()));
    QVERIFY_THROWS_EXCEPTION(keys::KeyError, sender_->AppActivate(QStringLiteral("Grüsse")));
    sender_->SendKeys(QStringLiteral("ok"), true);
    QCOMPARE(box.waitForText(2), QStringLiteral("ok"));
}

void TestActivation::noDisplayIsAnError()
{
    const QByteArray display = qgetenv("DISPLAY");
    qputenv("DISPLAY", ":54321");
    keys::X11KeySender sender;
    QString activateError, sendError;
    try {
        sender.AppActivate(QStringLiteral("Alpha"));
    } catch (const keys::KeyError& e) {
        activateError = e.description();
    }
    try {
        sender.SendKeys(QStringLiteral("a"), true);
    } catch (const keys::KeyError& e) {
        sendError = e.description();
    }
    qputenv("DISPLAY", display);
    QVERIFY2(activateError.contains(QStringLiteral("cannot reach the X display")),
             qPrintable(activateError));
    QCOMPARE(sendError, activateError);
}

QTEST_GUILESS_MAIN(TestActivation)
#include "tst_e2e_activation.moc"
