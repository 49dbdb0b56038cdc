// SPDX-License-Identifier: MIT
// The real program's command line on its own X server: send, quick and
// run --now type into a raw xterm, also keys from standard input; requests
// that cannot be carried out (bad arguments, untypable keys, no display)
// type nothing and end with their exit status; list prints what is stored,
// with control characters escaped; --help and the manual page list the same
// commands, options and statuses; the database is never written.
#include "XSession.h"
#include "store/Database.h"

#include <QCryptographicHash>
#include <QRegularExpression>
#include <QElapsedTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

using namespace testsupport;

namespace {

const QString kTarget = QStringLiteral("CLI Capture");
const QString kUnicodeTitle = QStringLiteral("Ünïcode Tïtle");
// A title that would set the terminal's title and ring its bell if printed.
const QString kEscapeTitle = QStringLiteral("\x1b]0;owned\a\u0085\u2028\x7f");

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
        addRow(*db, u"Title", {kEscapeTitle});
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
        addRow(*db, u"Script", {u"Bell", u"", 1, zero});
        addRow(*db, u"KeyScript", {u"Bell", u"fine", kTarget, u"typed?", u"", zero});
        addRow(*db, u"KeyScript", {u"Bell", u"bell", kTarget, u"x\a", u"", zero});
    }
};

struct Result {
    int status = -1;  // -1: no normal exit (a crash, an abort, or still running)
    QByteArray out;
    QByteArray err;
};

// One start of the program.
struct Call {
    QStringList args = {};
    QByteArray input = {};   // standard input
    QString shell = {};      // instead of args: a sh -c script, the program as $0
    bool noDisplay = false;  // neither DISPLAY nor WAYLAND_DISPLAY is set
    QString output = {};     // a file that takes standard output
};

// Runs the program to its end on the display; QProcess ends exactly the
// process it started if it outlives the wait.
Result typomat(const QString& exe, const Call& call, const QString& display,
               int timeoutMs = 20000)
{
    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("DISPLAY"), display);
    for (const char* name : {"QT_QPA_PLATFORM", "WAYLAND_DISPLAY"})
        env.remove(QLatin1String(name));
    if (call.noDisplay)
        env.remove(QStringLiteral("DISPLAY"));
    process.setProcessEnvironment(env);
    if (!call.output.isEmpty())
        process.setStandardOutputFile(call.output);
    if (call.shell.isEmpty())
        process.start(exe, call.args);
    else
        process.start(QStringLiteral("/bin/sh"), {QStringLiteral("-c"), call.shell, exe});
    process.write(call.input);
    process.closeWriteChannel();
    if (!process.waitForFinished(timeoutMs))
        return {};
    return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
            process.readAllStandardOutput(), process.readAllStandardError()};
}

// The lines of text that start with two blanks and then a word, up to the
// next two blanks: the commands, options and statuses --help lists.
QStringList helpEntries(const QString& help)
{
    static const QRegularExpression entry(QStringLiteral("^  (\\S.*?)(  |$)"),
                                          QRegularExpression::MultilineOption);
    QStringList entries;
    for (auto it = entry.globalMatch(help); it.hasNext();)
        entries << it.next().captured(1).toLower();
    return entries;
}

// The headings of the manual page's tagged paragraphs in its COMMANDS,
// OPTIONS and EXIT STATUS sections, as man shows them.
QStringList manualEntries(const QString& page)
{
    static const QRegularExpression argument(QStringLiteral("\"([^\"]*)\"|(\\S+)"));
    QStringList entries;
    bool listed = false;
    bool heading = false;
    for (QString line : page.split(u'\n')) {
        line.replace(QStringLiteral("\\-"), QStringLiteral("-"))
            .remove(QRegularExpression(QStringLiteral("\\\\f[BIRP]")));
        if (line.startsWith(QStringLiteral(".SH")))
            listed = line.contains(QStringLiteral("COMMANDS")) || line.contains(QStringLiteral("OPTIONS"))
                || line.contains(QStringLiteral("EXIT STATUS"));
        if (heading) {
            // ".B a b" joins its words with blanks; ".BI a b" and the like
            // join theirs without.
            const QString macro = line.section(u' ', 0, 0);
            QStringList words;
            for (auto it = argument.globalMatch(line.section(u' ', 1)); it.hasNext();) {
                const auto match = it.next();
                words << (match.hasCaptured(1) ? match.captured(1) : match.captured(2));
            }
            entries << words.join(macro.size() == 2 ? QStringLiteral(" ") : QString()).toLower();
        }
        heading = listed && line == u".TP";
    }
    return entries;
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
    void helpAndManualPageAgree();
    void missingDatabaseIsNotCreated();
    void cleanupTestCase();

private:
    Result run(const Call& call, int timeoutMs = 20000)
    {
        return typomat(install_->exe, call, server_->display(), timeoutMs);
    }

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
    const QString full = QStringLiteral("/dev/full");
    const struct {
        Call call;
        int status;
        QByteArray error;
    } cases[] = {
        {{{"send", kTarget, "x{NOPE}"}}, 2, "Unknown key name \"NOPE\""},
        {{{"quick", kTarget, "broken"}}, 2, "Unknown key name \"NOPE\""},
        {{{"run", "Bad", "--now"}}, 2, "The key string of the item \"unreadable\" cannot be read"},
        {{{"send", "No Such Window", "x"}}, 1, "No window titled \"No Such Window\" is open."},
        {{{"quick", kTarget, "missing"}}, 1, "No quick item \"missing\" is stored under the title"},
        {{{"run", "Missing", "--now"}}, 1, "No script \"Missing\" is stored."},
        {{{"run", "Past"}}, 1, "The script \"Past\" was set to start at 03/02/01 00:00, which has passed."},
        {{{"send", kTarget}}, 64, "send needs a window title and a key string."},
        // Arguments.
        {{.shell = R"sh(exec "$0" send "CLI Capture" "$(printf 'a\377b')")sh"}, 2,
         "Argument 3, \"a\\xffb\", is not UTF-8 text"},
        {{{"send", kTarget, "a", "--backend=x11"}}, 64, "Options go before the command."},
        {{{"--", "--backend=x11", "list"}}, 64, "Unknown command \"--backend=x11\"."},
        {{{"--now", "run", "Now"}}, 64, "Unknown option \"--now\"."},
        {{{"--backend=X", "list"}}, 64, "\"X\", which Typomat does not know. The backends are: x11, wayland, kde, gnome."},
        // Keys no backend types, in an argument, on standard input, in a later item.
        {{{"send", kTarget, "ab\a"}}, 2, "the control character U+0007 at character 3, which cannot be typed."},
        {{{"send", kTarget, "x\x7f"}}, 2, "the control character U+007F at character 2"},
        {{{"send", kTarget, QString(QChar(0xFFFE))}}, 2, "the noncharacter U+FFFE at character 1"},
        {{{"send", kTarget, "-"}, "ok\x1b[31m"}, 2, "the control character U+001B at character 3"},
        {{{"send", kTarget, "-"}, "\xff\n"}, 2, "Standard input is not UTF-8 text"},
        {{{"run", "Bell", "--now"}}, 2, "The key string of the item \"bell\" cannot be read: The key string holds the control character U+0007"},
        // No display: a message and the status for "not found", not an abort.
        {{.noDisplay = true}, 1, "neither a Wayland display (WAYLAND_DISPLAY) nor an X display (DISPLAY) is set."},
        {{.args = {"send", kTarget, "x"}, .noDisplay = true}, 1, "Neither a Wayland display (WAYLAND_DISPLAY) nor an X display (DISPLAY) is set."},
        {{.args = {"list"}, .output = full}, 74, "The output could not be written: No space left on device."},
        {{.args = {"--help"}, .output = full}, 74, "The output could not be written"},
    };
    for (const auto& c : cases) {
        const Result result = run(c.call);
        QVERIFY2(result.status == c.status && result.err.contains(c.error),
                 qPrintable(c.call.args.join(u' ') + c.call.shell
                            + QStringLiteral(": status %1, ").arg(result.status)
                            + QString::fromUtf8(result.err)));
        QVERIFY(result.err.startsWith("typomat: "));
    }
    // No X server to send to, nor to open the windows on (Qt's fatal error
    // becomes a message): no display to work on.
    for (const Call& call : {Call{{"send", kTarget, "x"}}, Call{{"run", "Now", "--now"}}}) {
        const Result unreachable = typomat(install_->exe, call, QStringLiteral(":99999"));
        QVERIFY2(unreachable.status == 1 && unreachable.err.contains("cannot reach the X display"),
                 unreachable.err.constData());
    }
    const Result noWindows = typomat(install_->exe, {}, QStringLiteral(":99999"));
    QCOMPARE(noWindows.status, 1);
    QVERIFY2(noWindows.err.contains("typomat: Typomat cannot open its windows: no display can be "
                                    "reached (DISPLAY is \":99999\")."),
             noWindows.err.constData());
    // A backend the settings file names, which there is not.
    QFile settings(QFileInfo(install_->exe).dir().filePath(QStringLiteral("Typomat.ini")));
    QVERIFY(settings.open(QIODevice::WriteOnly));
    settings.write("[Keys]\nBackend=x12\n");
    settings.close();
    const Result unknown = run({{"send", kTarget, "x"}});
    QVERIFY(settings.remove());
    QCOMPARE(unknown.status, 3);
    QVERIFY2(unknown.err.contains("\"x12\", which Typomat does not know. The backends are: x11, wayland, kde, gnome."),
             unknown.err.constData());

    QThread::msleep(300);
    QCOMPARE(term_->bytes(), QByteArray());
}

void CommandLineEndToEnd::sendQuickAndRunType()
{
    // Long keys come through standard input; one line break at its end is
    // left out. The alphabet over and over shows any key lost or misplaced.
    QByteArray longKeys(128 * 1024 - 1, 0);
    for (qsizetype i = 0; i < longKeys.size(); ++i)
        longKeys[i] = char('a' + i % 26);
    const struct {
        Call call;
        QByteArray typed;
    } cases[] = {
        {{{"send", kTarget, "sent{ENTER}"}}, "sent\r"},
        {{{"quick", kTarget, "greet"}}, "quick\r"},
        {{{"--backend=x11", "send", kTarget, "--backend=x11"}}, "--backend=x11"},
        {{{"send", "--", kTarget, "--"}}, "--"},
        {{{"send", kTarget, "-"}, "two\n\n"}, "two\r"},
        {{{"send", kTarget, "-"}, longKeys + "\n"}, longKeys},
    };
    QByteArray typed;
    for (const auto& c : cases) {
        const Result result = run(c.call, 120000);
        QVERIFY2(result.status == 0, qPrintable(c.call.args.join(u' ') + QString::fromUtf8(result.err)));
        typed += c.typed;
        QVERIFY(term_->waitForBytes(typed.size(), 60000) == typed);
    }

    // Two items of one second each: the first is sent a second after the
    // start, the second a second later.
    QElapsedTimer clock;
    clock.start();
    const Result result = run({{"run", "Now", "--now"}});
    QCOMPARE(result.status, 0);
    QVERIFY2(clock.elapsed() >= 1900, qPrintable(QString::number(clock.elapsed())));
    QCOMPARE(term_->waitForBytes(typed.size() + 3), typed + "ab\r");
}

void CommandLineEndToEnd::listEscapesFields()
{
    const struct {
        QStringList args;
        QByteArray out;
    } cases[] = {
        {{"list"}, "CLI Capture\nÜnïcode Tïtle\n\\x1b]0;owned\\x07\\u0085\\u2028\\x7f\n"},
        {{"list", "items", kTarget}, "greet\tquick{ENTER}\tsays hi\\tto all\nbroken\tx{NOPE}\t\n"},
        {{"list", "items", kUnicodeTitle}, "naïve\tx\ttwo\\nlines \\\\ here\n"},
        {{"list", "scripts"}, "Now\t\tCount Down\t00:00:00\nBad\t\tCount Down\t00:00:00\n"
                              "Past\tlong ago\tSet Time\t03/02/01 00:00\n"
                              "Bell\t\tCount Down\t00:00:00\n"},
        {{"list", "script", "Bell"}, "fine\tCLI Capture\ttyped?\t\t00:00:00\n"
                                     "bell\tCLI Capture\tx\\x07\t\t00:00:00\n"},
    };
    for (const auto& c : cases) {
        const Result result = run({c.args});
        QCOMPARE(result.status, 0);
        QCOMPARE(result.out, c.out);
    }
    QCOMPARE(run({{"list", "script", "Missing"}}).status, 1);
    QCOMPARE(run({{"list", "items", "Missing"}}).status, 1);
}

void CommandLineEndToEnd::helpAndManualPageAgree()
{
    const Result help = run({{"--help"}});
    QCOMPARE(help.status, 0);
    QFile manual(QStringLiteral(TYPOMAT_MANUAL_PAGE));
    QVERIFY(manual.open(QIODevice::ReadOnly));
    const QStringList listed = helpEntries(QString::fromUtf8(help.out));
    QCOMPARE(listed, manualEntries(QString::fromUtf8(manual.readAll())));
    QVERIFY2(listed.contains(QStringLiteral("--backend=name")) && listed.contains(QStringLiteral("74")),
             qPrintable(listed.join(u'|')));
}

void CommandLineEndToEnd::missingDatabaseIsNotCreated()
{
    QTemporaryDir empty;
    const QString exe = empty.filePath(QStringLiteral("typomat"));
    QVERIFY(QFile::copy(install_->exe, exe));
    const Result result = typomat(exe, {{"list"}}, server_->display());
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
