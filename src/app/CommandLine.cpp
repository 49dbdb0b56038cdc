#include "app/CommandLine.h"

#include "app/StoredKeys.h"
#include "keys/KeySender.h"
#include "keys/Notation.h"
#include "script/Clock.h"
#include "script/ScriptRun.h"
#include "settings/ProgramFolder.h"
#include "store/Recordset.h"

#include <QCoreApplication>
#include <QTimer>
#include <cstdio>

namespace app {

namespace {

// A request that cannot be carried out: what to say and the exit status.
struct Failure {
    int status;
    QString message;
};

const char kHelp[] = R"(Usage:
  typomat                          start the windows
  typomat send TITLE KEYS          bring the window TITLE to the front and type KEYS
  typomat quick TITLE ITEM         type the stored quick item ITEM of TITLE into
                                   the window TITLE
  typomat run SCRIPT [--now]       run every item of the stored script SCRIPT in
                                   order, each after its count-down; the script
                                   starts at its set time or after its count-down,
                                   or at once with --now
  typomat list [titles]            the stored window titles
  typomat list items TITLE         the quick items of TITLE: item, keys, description
  typomat list scripts             the scripts: name, description, start mode
                                   ("Set Time" or "Count Down"), start
  typomat list script SCRIPT       the items of SCRIPT: item, title, keys,
                                   description, count-down
  typomat --help | --version

KEYS are written as in the windows: plain characters, {ENTER}, {F5}, {TAB 3},
and +, ^, % for Shift, Ctrl and Alt. Nothing is typed when any part of the
request cannot be read. The commands read the key database Typomat.mdb and
never change it.

list prints one entry a line, its fields separated by a tab. In a field a
backslash is written \\, a tab \t, a line break \n and a carriage return \r.

Exit status: 0 done; 1 title, item, script or database not found, or the
script's set time has passed; 2 a key string or count-down that cannot be
read; 3 sending failed; 64 the arguments make no command.
)";

void write(std::FILE* stream, const QString& text)
{
    const QByteArray utf8 = text.toUtf8();
    std::fwrite(utf8.constData(), 1, static_cast<size_t>(utf8.size()), stream);
}

QString escaped(QString value)
{
    value.replace(u'\\', QStringLiteral("\\\\"));
    value.replace(u'\t', QStringLiteral("\\t"));
    value.replace(u'\n', QStringLiteral("\\n"));
    value.replace(u'\r', QStringLiteral("\\r"));
    return value;
}

void printRow(const QStringList& fields)
{
    QStringList cells;
    for (const QString& field : fields)
        cells << escaped(field);
    write(stdout, cells.join(u'\t') + u'\n');
}

Failure usage(const QString& message)
{
    return {exitUsage, message + QStringLiteral(" Try \"typomat --help\".")};
}

// ------------------------------------------------------------- sending

// The backend for one command, taken out of use when the command ends.
class Backend {
public:
    explicit Backend(const KeyBackendInstaller& install) : sender_(install()) {}
    ~Backend() { keys::installKeySender(nullptr); }
    Backend(const Backend&) = delete;
    Backend& operator=(const Backend&) = delete;

private:
    std::unique_ptr<keys::KeySender> sender_;
};

void checkReadable(const QString& keys, const QString& itemName = QString())
{
    try {
        keys::parseKeyString(keys);
    } catch (const keys::NotationError& e) {
        if (itemName.isNull())
            throw Failure{exitUnreadable, e.description()};
        throw Failure{exitUnreadable, QStringLiteral("The key string of the item \"%1\" cannot "
                                                     "be read: %2").arg(itemName, e.description())};
    }
}

// Activates the window, then types the keys, as the windows' Run does.
void deliver(const QString& title, const QString& keyString, const KeyBackendInstaller& install)
{
    if (title.isEmpty())
        throw Failure{exitNotFound, QStringLiteral("The window title is empty.")};
    Backend backend(install);
    try {
        keys::keySender().AppActivate(title);
        keys::keySender().SendKeys(keyString, true);
    } catch (const keys::NotationError& e) {
        throw Failure{exitUnreadable, e.description()};
    } catch (const keys::WindowNotFound& e) {
        throw Failure{exitNotFound, e.description()};
    } catch (const keys::KeyError& e) {
        throw Failure{exitSendingFailed, e.description()};
    }
}

StoredKeys openStore()
{
    return StoredKeys(databaseFilePath());
}

int send(const QStringList& args, const KeyBackendInstaller& install)
{
    if (args.size() != 2)
        throw usage(QStringLiteral("send needs a window title and a key string."));
    checkReadable(args[1]);
    deliver(args[0], args[1], install);
    return exitSuccess;
}

int quick(const QStringList& args, const KeyBackendInstaller& install)
{
    if (args.size() != 2)
        throw usage(QStringLiteral("quick needs a window title and an item name."));
    const std::optional<QuickItem> item = openStore().quickItem(args[0], args[1]);
    if (!item)
        throw Failure{exitNotFound, QStringLiteral("No quick item \"%1\" is stored under the "
                                                   "title \"%2\".").arg(args[1], args[0])};
    checkReadable(item->keys);
    deliver(item->title, item->keys, install);
    return exitSuccess;
}

// ------------------------------------------------------------- running

QDateTime toMinute(const QDateTime& t)
{
    return QDateTime(t.date(), QTime(t.time().hour(), t.time().minute()));
}

script::RunStart startOf(const StoredScript& stored, bool now)
{
    if (now)
        return {script::RunStart::Now, {}};
    if (!stored.start)
        throw Failure{exitUnreadable, QStringLiteral("The start \"%1\" of the script \"%2\" is not "
                                                     "a date or time.")
                                          .arg(stored.startText, stored.name)};
    if (!stored.setTime)
        return {script::RunStart::CountDown, *stored.start};
    // The window would wait for a minute that never comes again.
    if (toMinute(oledate::toQDateTime(*stored.start)) < toMinute(script::clock().now()))
        throw Failure{exitNotFound, QStringLiteral("The script \"%1\" was set to start at %2, "
                                                   "which has passed. Use --now to start it at once.")
                                        .arg(stored.name, stored.startText)};
    return {script::RunStart::SetTime, *stored.start};
}

std::vector<script::RunItem> runItemsOf(const StoredScript& stored)
{
    std::vector<script::RunItem> items;
    for (const ScriptItem& item : stored.items) {
        checkReadable(item.keys, item.name);
        if (!oledate::parseTime(item.countDown))
            throw Failure{exitUnreadable, QStringLiteral("The count-down \"%1\" of the item \"%2\" "
                                                         "is not a time.")
                                              .arg(item.countDown, item.name)};
        items.push_back({item.name, item.title, item.keys, item.countDown});
    }
    return items;
}

int runScript(QStringList args, const KeyBackendInstaller& install)
{
    const bool now = args.removeAll(QStringLiteral("--now")) > 0;
    if (args.size() != 1)
        throw usage(QStringLiteral("run needs one script name, and --now at most."));
    const std::optional<StoredScript> stored = openStore().script(args[0]);
    if (!stored)
        throw Failure{exitNotFound, QStringLiteral("No script \"%1\" is stored.").arg(args[0])};
    script::ScriptRun run(runItemsOf(*stored), startOf(*stored, now));
    Backend backend(install);
    int status = exitSuccess;
    QObject::connect(&run, &script::ScriptRun::finished, qApp, [] { QCoreApplication::exit(0); });
    QObject::connect(&run, &script::ScriptRun::failed, qApp,
                     [&status](script::ScriptRun::Failure failure, const QString& message) {
                         status = failure == script::ScriptRun::WindowNotFound ? exitNotFound
                             : failure == script::ScriptRun::Unreadable        ? exitUnreadable
                                                                               : exitSendingFailed;
                         write(stderr, QStringLiteral("typomat: %1\n").arg(message));
                         QCoreApplication::exit(status);
                     });
    run.start();
    QCoreApplication::exec();
    return status;
}

// ------------------------------------------------------------- listing

int list(const QStringList& args)
{
    const QString what = args.value(0, QStringLiteral("titles"));
    const auto needs = [&args, &what](qsizetype count) {
        if (args.size() != count)
            throw usage(QStringLiteral("list %1: wrong number of arguments.").arg(what));
    };
    StoredKeys store = openStore();
    if (what == u"titles") {
        needs(args.isEmpty() ? 0 : 1);
        for (const QString& title : store.titles())
            printRow({title});
    } else if (what == u"items") {
        needs(2);
        const std::vector<QuickItem> items = store.quickItems(args[1]);
        if (items.empty() && !store.titles().contains(args[1]))
            throw Failure{exitNotFound, QStringLiteral("No title \"%1\" is stored.").arg(args[1])};
        for (const QuickItem& item : items)
            printRow({item.name, item.keys, item.description});
    } else if (what == u"scripts") {
        needs(1);
        for (const StoredScript& s : store.scripts())
            printRow({s.name, s.description,
                      s.setTime ? QStringLiteral("Set Time") : QStringLiteral("Count Down"),
                      s.startText});
    } else if (what == u"script") {
        needs(2);
        const std::optional<StoredScript> stored = store.script(args[1]);
        if (!stored)
            throw Failure{exitNotFound, QStringLiteral("No script \"%1\" is stored.").arg(args[1])};
        for (const ScriptItem& item : stored->items)
            printRow({item.name, item.title, item.keys, item.description, item.countDown});
    } else {
        throw usage(QStringLiteral("list knows titles, items, scripts and script, not \"%1\".")
                        .arg(what));
    }
    return exitSuccess;
}

int dispatch(QStringList args, const KeyBackendInstaller& install)
{
    const QString command = args.takeFirst();
    if (command == u"--help" || command == u"-h") {
        write(stdout, QString::fromUtf8(kHelp));
        return exitSuccess;
    }
    if (command == u"--version") {
        write(stdout, QStringLiteral("typomat %1\n").arg(QCoreApplication::applicationVersion()));
        return exitSuccess;
    }
    if (command == u"send")
        return send(args, install);
    if (command == u"quick")
        return quick(args, install);
    if (command == u"run")
        return runScript(args, install);
    if (command == u"list")
        return list(args);
    throw usage(QStringLiteral("Unknown command \"%1\".").arg(command));
}

} // namespace

int runCommandLine(int argc, char** argv, const KeyBackendInstaller& installKeyBackend)
{
    QCoreApplication application(argc, argv);
    QCoreApplication::setApplicationVersion(QStringLiteral(TYPOMAT_VERSION));
    QStringList args;
    for (int i = 1; i < argc; ++i)
        args << QString::fromLocal8Bit(argv[i]);
    try {
        return dispatch(args, installKeyBackend);
    } catch (const Failure& failure) {
        write(stderr, QStringLiteral("typomat: %1\n").arg(failure.message));
        return failure.status;
    } catch (const store::DbError& e) {
        write(stderr, QStringLiteral("typomat: %1\n").arg(e.message()));
        return exitNotFound;
    }
}

} // namespace app
