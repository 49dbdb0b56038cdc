// The real program's command line on its own X server: send, quick and
// run --now type into a raw xterm; requests that cannot be carried out type
// nothing and end with their exit status; list prints what is stored, with
// tabs and line breaks escaped; the database is never written.
#include "XSession.h"
#include "store/Database.h"

#include <QCryptographicHash>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

using namespace testsupport;

namespace {

const QString kTarget = QStringLiteral("CLI Capture");
const QString kUnicodeTitle = QStringLiteral("Ünïcode Tïtle");

void addRow(store::Database& db, const char16_t* table, const QList<store::Value>& values)
{
    auto rs = db.OpenRecordset(QString::fromUtf16(table));
    rs->AddNew();
    for (int i = 0; i < values.size(); ++i)
        rs->SetField(i, values[i]);
    rs->Update();
}

// The program copied into a fresh folder, beside a database with titles,
// quick items and scripts, good and broken.
struct Installation {
    QTemporaryDir dir;
    QString exe = dir.filePath(QStringLiteral("typomat"));
    QString database = dir.filePath(QStringLiteral("Typomat.mdb"));

    Installation()
    {
        QFile::copy(qEnvironmentVariable("TYPOMAT_EXE"), exe);
        auto db = store::Database::open(database);
        const oledate::OleDate zero = oledate::fromTime(0, 0, 0);
        const oledate::OleDate second = oledate::fromTime(0, 0, 1);
        addRow(*db, u"Title", {kTarget});
        addRow(*db, u"Title", {kUnicodeTitle});
        addRow(*db, u"KeyQuick", {u"greet", kTarget, u"quick{ENTER}", u"says hi\tto all"});
        addRow(*db, u"KeyQuick", {u"broken", kTarget, u"x{NOPE}", {}});
        addRow(*db, u"KeyQuick", {u"naïve", kUnicodeTitle, u"x", u"two\nlines \\ here"});
        addRow(*db, u"Script", {u"Now", u"", 1, zero});
        addRow(*db, u"KeyScript", {u"Now", u"one", kTarget, u"a", u"", second});
        addRow(*db, u"KeyScript", {u"Now", u"two", kTarget, u"b{ENTER}", u"", second});
        addRow(*db, u"Script", {u"Bad", u"", 1, zero});
        addRow(*db, u"KeyScript", {u"Bad", u"fine", kTarget, u"typed?", u"", zero});
        addRow(*db, u"KeyScript", {u"Bad", u"unreadable", kTarget, u"{ENTER", u"", zero});
        addRow(*db, u"Script", {u"Past", u"long ago", 0, oledate::fromQDate(QDate(2001, 2, 3))});
    }
};

struct Result {
    int status = -1;
    QByteArray out;
    QByteArray err;
};

// Runs the program to its end on the display; QProcess ends exactly the
// process it started if it outlives the wait.
Result typomat(const QString& exe, const QStringList& args, const QString& display)
{
    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("DISPLAY"), display);
    env.remove(QStringLiteral("QT_QPA_PLATFORM"));
    process.setProcessEnvironment(env);
    process.start(exe, args);
    if (!process.waitForFinished(20000))
        return {};
    return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
            process.readAllStandardOutput(), process.readAllStandardError()};
}

QByteArray hashOf(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly)
        ? QCryptographicHash::hash(file.readAll(), QCryptographicHash::Sha256)
        : QByteArray();
}

} // namespace

class CommandLineEndToEnd : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void failuresTypeNothing();
    void sendQuickAndRunType();
    void listEscapesFields();
    void missingDatabaseIsNotCreated();
    void cleanupTestCase();

private:
    Result run(const QStringList& args) { return typomat(install_->exe, args, server_->display()); }

    std::unique_ptr<Installation> install_;
    std::unique_ptr<XServer> server_;
    std::unique_ptr<CaptureTerminal> term_;
    QByteArray databaseHash_;
};

void CommandLineEndToEnd::initTestCase()
{
    QVERIFY2(!qEnvironmentVariable("TYPOMAT_EXE").isEmpty(), "TYPOMAT_EXE names the program");
    install_ = std::make_unique<Installation>();
    databaseHash_ = hashOf(install_->database);
    QVERIFY(!databaseHash_.isEmpty());
    server_ = std::make_unique<XServer>();
    term_ = std::make_unique<CaptureTerminal>(*server_, kTarget);
}

void CommandLineEndToEnd::failuresTypeNothing()
{
    const struct {
        QStringList args;
        int status;
        QByteArray error;
    } cases[] = {
        {{"send", kTarget, "x{NOPE}"}, 2, "Unknown key name \"NOPE\""},
        {{"quick", kTarget, "broken"}, 2, "Unknown key name \"NOPE\""},
        {{"run", "Bad", "--now"}, 2, "The key string of the item \"unreadable\" cannot be read"},
        {{"send", "No Such Window", "x"}, 1, "No window titled \"No Such Window\" is open."},
        {{"quick", kTarget, "missing"}, 1, "No quick item \"missing\" is stored under the title"},
        {{"run", "Missing", "--now"}, 1, "No script \"Missing\" is stored."},
        {{"run", "Past"}, 1, "The script \"Past\" was set to start at 03/02/01 00:00, which has passed."},
        {{"send", kTarget}, 64, "send needs a window title and a key string."},
    };
    for (const auto& c : cases) {
        const Result result = run(c.args);
        QVERIFY2(result.status == c.status && result.err.contains(c.error),
                 qPrintable(c.args.join(u' ') + QStringLiteral(": status %1, ").arg(result.status)
                            + QString::fromUtf8(result.err)));
        QVERIFY(result.err.startsWith("typomat: "));
    }
    // No X server to send to: sending fails.
    const Result unreachable = typomat(install_->exe, {"send", kTarget, "x"}, QStringLiteral(":99999"));
    QCOMPARE(unreachable.status, 3);
    QVERIFY(unreachable.err.contains("cannot reach the X display"));

    QThread::msleep(300);
    QCOMPARE(term_->bytes(), QByteArray());
}

void CommandLineEndToEnd::sendQuickAndRunType()
{
    QCOMPARE(run({"send", kTarget, "sent{ENTER}"}).status, 0);
    QCOMPARE(term_->waitForBytes(5), QByteArray("sent\r"));
    QCOMPARE(run({"quick", kTarget, "greet"}).status, 0);
    QCOMPARE(term_->waitForBytes(11), QByteArray("sent\rquick\r"));

    // Two items of one second each: the first is sent a second after the
    // start, the second a second later.
    QElapsedTimer clock;
    clock.start();
    const Result result = run({"run", "Now", "--now"});
    QCOMPARE(result.status, 0);
    QVERIFY2(clock.elapsed() >= 1900, qPrintable(QString::number(clock.elapsed())));
    QCOMPARE(term_->waitForBytes(14), QByteArray("sent\rquick\rab\r"));
}

void CommandLineEndToEnd::listEscapesFields()
{
    const struct {
        QStringList args;
        QByteArray out;
    } cases[] = {
        {{"list"}, "CLI Capture\nÜnïcode Tïtle\n"},
        {{"list", "items", kTarget}, "greet\tquick{ENTER}\tsays hi\\tto all\nbroken\tx{NOPE}\t\n"},
        {{"list", "items", kUnicodeTitle}, "naïve\tx\ttwo\\nlines \\\\ here\n"},
        {{"list", "scripts"}, "Now\t\tCount Down\t00:00:00\nBad\t\tCount Down\t00:00:00\n"
                              "Past\tlong ago\tSet Time\t03/02/01 00:00\n"},
        {{"list", "script", "Now"}, "one\tCLI Capture\ta\t\t00:00:01\n"
                                    "two\tCLI Capture\tb{ENTER}\t\t00:00:01\n"},
    };
    for (const auto& c : cases) {
        const Result result = run(c.args);
        QCOMPARE(result.status, 0);
        QCOMPARE(result.out, c.out);
    }
    QCOMPARE(run({"list", "script", "Missing"}).status, 1);
    QCOMPARE(run({"list", "items", "Missing"}).status, 1);
}

void CommandLineEndToEnd::missingDatabaseIsNotCreated()
{
    QTemporaryDir empty;
    const QString exe = empty.filePath(QStringLiteral("typomat"));
    QVERIFY(QFile::copy(install_->exe, exe));
    const Result result = typomat(exe, {"list"}, server_->display());
    QCOMPARE(result.status, 1);
    QVERIFY(result.err.contains("the file does not exist"));
    QVERIFY(!QFile::exists(empty.filePath(QStringLiteral("Typomat.mdb"))));
}

void CommandLineEndToEnd::cleanupTestCase()
{
    QCOMPARE(hashOf(install_->database), databaseHash_);
}

QTEST_GUILESS_MAIN(CommandLineEndToEnd)
#include "tst_e2e_commandline.moc"
