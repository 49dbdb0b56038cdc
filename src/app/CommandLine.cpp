// SPDX-License-Identifier: MIT
#include "app/CommandLine.h"

#include "app/Desktop.h"
#include "app/StoredKeys.h"
#include "keys/KeySender.h"
#include "keys/Notation.h"
#include "keys/kde/DesktopEntry.h"
#include "script/Clock.h"
#include "script/ScriptRun.h"
#include "settings/ProgramFolder.h"
#include "store/Recordset.h"

#include <QCoreApplication>
#include <QStringDecoder>
#include <QTimer>
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <optional>

namespace app {

namespace {

// A request that cannot be carried out: what to say and the exit status.
struct Failure {
    int status;
    QString message;
};

const char kHelp[] = R"(Usage: typomat [OPTIONS] [COMMAND [ARGUMENTS]]

Without a command, Typomat opens its windows. The commands type into other
windows, or print what is stored, with no window:
  send TITLE KEYS      bring the window TITLE to the front and type KEYS;
                       with KEYS "-", the keys are read from standard input
  quick TITLE ITEM     type the stored quick item ITEM of TITLE into the
                       window TITLE
  run SCRIPT [--now]   run every item of the stored script SCRIPT in order,
                       each after its count-down; the script starts at its
                       set time or after its count-down, or at once with --now
  list [titles]        the stored window titles
  list items TITLE     the quick items of TITLE: item, keys, description
  list scripts         the scripts: name, description, start mode
                       ("Set Time" or "Count Down"), start
  list script SCRIPT   the items of SCRIPT: item, title, keys, description,
                       count-down
  --install-desktop-entry
                       let this copy of Typomat type on KDE Plasma (Wayland):
                       write a desktop entry naming its path for KWin
  --help               this text
  --version            the version

Options, before the command:
  --backend=NAME       how keys reach other windows: %1. Without it,
                       [Keys] Backend in Typomat.ini counts, or else the
                       choice Typomat makes for the desktop: Wayland where
                       the compositor lets programs list windows and type
                       (sway and other wlroots compositors), else KDE where
                       KWin lets Typomat in (KDE Plasma), else GNOME
                       where GNOME Shell runs (through Typomat's Shell
                       extension), else X11
  --                   ends the options: the arguments after it are taken as
                       they stand

TITLE picks the window whose title is exactly TITLE, or else a window whose
title begins with TITLE, ignoring case; among several, the topmost (on
Wayland, the one last active). Stored titles, items and scripts are matched
exactly, letters in the same case.

KEYS are written as in the windows: plain characters, {ENTER}, {F5}, {TAB 3},
and +, ^, % for Shift, Ctrl and Alt; a lone minus is written {-}. Control
characters other than tab and line breaks cannot be typed. Keys read from
standard input are UTF-8 text of at most 8,000,000 bytes, of which one line
break at the end is left out. Every key string of the request is read before
anything is typed, and nothing is typed when any part of it cannot be read.
The commands read the key database Typomat.mdb and never change it.

list prints one entry a line, its fields separated by a tab. In a field a
backslash is written \\, a tab \t, a line break \n and a carriage return \r;
other control characters are written \x1b (escape) and the like, the C1
controls and the line and paragraph separators \u0085, \u2028 and the like.

Exit status:
  0   done
  1   title, item, script or database not found, or the script's set time
      has passed; or no display to work on: neither WAYLAND_DISPLAY nor
      DISPLAY is set, or the display cannot be reached or does not answer
      (also when Typomat, started without a command, cannot open its
      windows)
  2   an argument, key string or count-down that cannot be read, or a key
      that cannot be typed; nothing was typed
  3   activating the window or typing failed, or Typomat cannot type on
      this desktop (no backend serves it, or [Keys] Backend names none)
  64  the arguments make no command
  74  the output could not be written
)";

// The most standard input may hold for "send TITLE -": room for the most
// keys a key string may type, at eight bytes a key.
constexpr qsizetype maxInputBytes = 8 * qsizetype(keys::maxKeyEvents);

void write(std::FILE* stream, const QString& text)
{
    const QByteArray utf8 = text.toUtf8();
    std::fwrite(utf8.constData(), 1, static_cast<size_t>(utf8.size()), stream);
}

// Output the terminal shows as it stands: the four usual escapes, and every
// other control and separator character as a code, so that a stored text
// cannot move the cursor, set the window title or break the line.
QString escaped(const QString& value)
{
    QString text;
    text.reserve(value.size());
    for (const QChar c : value) {
        const char16_t u = c.unicode();
        if (u == u'\\')
            text += QStringLiteral("\\\\");
        else if (u == u'\t')
            text += QStringLiteral("\\t");
        else if (u == u'\n')
            text += QStringLiteral("\\n");
        else if (u == u'\r')
            text += QStringLiteral("\\r");
        else if (keys::isControlCharacter(u) && u < 0x80)
            text += QStringLiteral("\\x%1").arg(uint(u), 2, 16, QLatin1Char('0'));
        else if (keys::isControlCharacter(u) || u == 0x2028 || u == 0x2029)
            text += QStringLiteral("\\u%1").arg(uint(u), 4, 16, QLatin1Char('0'));
        else
            text += c;
    }
    return text;
}

void printRow(const QStringList& fields)
{
    QStringList cells;
    for (const QString& field : fields)
        cells << escaped(field);
    write(stdout, cells.join(u'\t') + u'\n');
}

// Standard output is buffered: a full disk or a closed output shows when it
// is flushed.
void finishOutput()
{
    if (std::fflush(stdout) != 0 || std::ferror(stdout))
        throw Failure{exitOutputFailed,
                      QStringLiteral("The output could not be written: %1.")
                          .arg(QString::fromLocal8Bit(std::strerror(errno)))};
}

Failure usage(const QString& message, const QStringList& operands = {})
{
    const bool optionAfterCommand = std::any_of(
        operands.begin(), operands.end(), [](const QString& a) { return a.startsWith(u"--"); });
    return {exitUsage, message
                + (optionAfterCommand ? QStringLiteral(" Options go before the command.")
                                      : QString())
                + QStringLiteral(" Try \"typomat --help\".")};
}

// ------------------------------------------------------------- reading

// Bytes as they can be shown: printable ASCII as it is, the rest as \xHH.
QString shownBytes(QByteArrayView bytes)
{
    QString text;
    for (const char byte : bytes) {
        const auto b = static_cast<unsigned char>(byte);
        text += b >= 0x20 && b < 0x7f ? QString(QLatin1Char(byte))
                                      : QStringLiteral("\\x%1").arg(uint(b), 2, 16, QLatin1Char('0'));
    }
    return text;
}

std::optional<QString> fromUtf8(QByteArrayView bytes, QStringConverter::Flags flags)
{
    QStringDecoder decoder(QStringConverter::Utf8, flags | QStringConverter::Flag::Stateless);
    QString text = decoder.decode(bytes);
    if (decoder.hasError())
        return std::nullopt;
    return text;
}

QStringList decodedArguments(int argc, char** argv)
{
    QStringList arguments;
    for (int i = 1; i < argc; ++i) {
        const QByteArrayView bytes(argv[i]);
        const std::optional<QString> text =
            fromUtf8(bytes, QStringConverter::Flag::ConvertInitialBom);
        if (!text)
            throw Failure{exitUnreadable,
                          QStringLiteral("Argument %1, \"%2\", is not UTF-8 text, so nothing was "
                                         "done.")
                              .arg(i)
                              .arg(shownBytes(bytes))};
        arguments << *text;
    }
    return arguments;
}

bool isCommandWord(const QString& argument)
{
    return argument == u"--help" || argument == u"-h" || argument == u"--version"
        || argument == u"--install-desktop-entry";
}

void readOption(const QString& option, Arguments& arguments)
{
    const QString backend = QStringLiteral("--backend=");
    if (!option.startsWith(backend))
        throw usage(QStringLiteral("Unknown option \"%1\".").arg(option));
    arguments.backend = option.mid(backend.size());
    if (!keyBackendNamed(arguments.backend))
        throw Failure{exitUsage, unknownKeyBackend(arguments.backend, QStringLiteral("--backend"))};
}

// Options up to the command, then the command and its arguments; the
// first "--" ends the options wherever it stands.
Arguments parse(const QStringList& words)
{
    Arguments arguments;
    bool optionsEnded = false;
    bool commandRead = false;
    for (const QString& word : words) {
        if (!optionsEnded && word == u"--") {
            optionsEnded = true;
        } else if (commandRead) {
            if (!optionsEnded && arguments.command == u"run" && word == u"--now")
                arguments.now = true;
            else
                arguments.operands << word;
        } else if (!optionsEnded && word.startsWith(u'-') && word != u"-" && !isCommandWord(word)) {
            readOption(word, arguments);
        } else {
            if (word.isEmpty())
                throw usage(QStringLiteral("The command is empty."));
            arguments.command = word;
            commandRead = true;
        }
    }
    return arguments;
}

// "send TITLE -": the key string from standard input, one line break at
// its end left out, as a text file's last line ends with one.
QString standardInput()
{
    QByteArray bytes;
    char buffer[1 << 16];
    while (const size_t count = std::fread(buffer, 1, sizeof buffer, stdin)) {
        bytes.append(buffer, qsizetype(count));
        if (bytes.size() > maxInputBytes)
            throw Failure{exitUnreadable,
                          QStringLiteral("Standard input holds more than 8,000,000 bytes, more "
                                         "than a key string of 1,000,000 keys needs, so nothing "
                                         "was typed.")};
    }
    if (std::ferror(stdin))
        throw Failure{exitUnreadable, QStringLiteral("Standard input could not be read: %1.")
                                          .arg(QString::fromLocal8Bit(std::strerror(errno)))};
    if (bytes.endsWith("\r\n"))
        bytes.chop(2);
    else if (bytes.endsWith('\n'))
        bytes.chop(1);
    const std::optional<QString> text = fromUtf8(bytes, {});
    if (!text)
        throw Failure{exitUnreadable,
                      QStringLiteral("Standard input is not UTF-8 text, so nothing was typed.")};
    return *text;
}

// ------------------------------------------------------------- sending

// The status of a failed activation or send, by what went wrong.
Failure sendingFailure(const keys::KeyError& e)
{
    if (dynamic_cast<const keys::DisplayUnavailable*>(&e))
        return {exitNoDisplay, e.description()};
    if (dynamic_cast<const keys::NotationError*>(&e))
        return {exitUnreadable, e.description()};
    if (dynamic_cast<const keys::WindowNotFound*>(&e))
        return {exitNotFound, e.description()};
    return {exitSendingFailed, e.description()};
}

// The backend for one command; its notice (X11 only on this desktop) is
// said first. A backend that cannot type yet fails the command with its
// notice, said once.
InstalledKeyBackend installBackend(const QString& option)
{
    try {
        InstalledKeyBackend backend = installKeyBackend(option);
        if (backend.refuses)
            throw Failure{exitSendingFailed, backend.notice};
        if (!backend.notice.isEmpty())
            complain(backend.notice);
        return backend;
    } catch (const keys::KeyError& e) {
        throw sendingFailure(e);
    }
}

// Reads the key string as the backend would type it, or as the notation
// reads it while no backend is installed yet. A backend that cannot work
// here (no display, a service missing) fails as sending does.
void checkKeys(const keys::KeySender* backend, const QString& keys,
               const QString& itemName = QString())
{
    try {
        if (backend)
            backend->checkKeys(keys);
        else
            keys::parseKeyString(keys);
    } catch (const keys::KeyError& e) {
        if (!dynamic_cast<const keys::NotationError*>(&e)
            && !dynamic_cast<const keys::UntypableKey*>(&e))
            throw sendingFailure(e);
        if (itemName.isNull())
            throw Failure{exitUnreadable, e.description()};
        throw Failure{exitUnreadable, QStringLiteral("The key string of the item \"%1\" cannot "
                                                     "be read: %2").arg(itemName, e.description())};
    }
}

void requireTitle(const QString& title)
{
    if (title.isEmpty())
        throw Failure{exitNotFound, QStringLiteral("The window title is empty.")};
}

// Checks the keys on the backend, activates the window, then types the
// keys, as the windows' Run does.
void deliver(const QString& title, const QString& keyString, const QString& backendOption)
{
    const InstalledKeyBackend backend = installBackend(backendOption);
    checkKeys(backend.sender.get(), keyString);
    try {
        keys::keySender().AppActivate(title);
        keys::keySender().SendKeys(keyString, true);
    } catch (const keys::KeyError& e) {
        throw sendingFailure(e);
    }
}

StoredKeys openStore()
{
    return StoredKeys(databaseFilePath());
}

int send(const Arguments& arguments)
{
    const QStringList& args = arguments.operands;
    if (args.size() != 2)
        throw usage(QStringLiteral("send needs a window title and a key string."), args);
    const QString keys = args[1] == u"-" ? standardInput() : args[1];
    checkKeys(nullptr, keys);
    requireTitle(args[0]);
    deliver(args[0], keys, arguments.backend);
    return exitSuccess;
}

int quick(const Arguments& arguments)
{
    const QStringList& args = arguments.operands;
    if (args.size() != 2)
        throw usage(QStringLiteral("quick needs a window title and an item name."), args);
    const std::optional<QuickItem> item = openStore().quickItem(args[0], args[1]);
    if (!item)
        throw Failure{exitNotFound, QStringLiteral("No quick item \"%1\" is stored under the "
                                                   "title \"%2\".").arg(args[1], args[0])};
    checkKeys(nullptr, item->keys);
    requireTitle(item->title);
    deliver(item->title, item->keys, arguments.backend);
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
        checkKeys(nullptr, item.keys, item.name);
        if (!oledate::parseTime(item.countDown))
            throw Failure{exitUnreadable, QStringLiteral("The count-down \"%1\" of the item \"%2\" "
                                                         "is not a time.")
                                              .arg(item.countDown, item.name)};
        items.push_back({item.name, item.title, item.keys, item.countDown});
    }
    return items;
}

int statusOf(script::ScriptRun::Failure failure)
{
    switch (failure) {
    case script::ScriptRun::WindowNotFound: return exitNotFound;
    case script::ScriptRun::NoDisplay: return exitNoDisplay;
    case script::ScriptRun::Unreadable: return exitUnreadable;
    case script::ScriptRun::SendingFailed: break;
    }
    return exitSendingFailed;
}

int runScript(const Arguments& arguments)
{
    const QStringList& args = arguments.operands;
    if (args.size() != 1)
        throw usage(QStringLiteral("run needs one script name, and --now at most."), args);
    const std::optional<StoredScript> stored = openStore().script(args[0]);
    if (!stored)
        throw Failure{exitNotFound, QStringLiteral("No script \"%1\" is stored.").arg(args[0])};
    std::vector<script::RunItem> items = runItemsOf(*stored);
    const script::RunStart start = startOf(*stored, arguments.now);
    // Every item's keys pass the backend before the first is typed.
    const InstalledKeyBackend backend = installBackend(arguments.backend);
    for (const ScriptItem& item : stored->items)
        checkKeys(backend.sender.get(), item.keys, item.name);
    script::ScriptRun run(std::move(items), start);
    int status = exitSuccess;
    QObject::connect(&run, &script::ScriptRun::finished, qApp, [] { QCoreApplication::exit(0); });
    QObject::connect(&run, &script::ScriptRun::failed, qApp,
                     [&status](script::ScriptRun::Failure failure, const QString& message) {
                         status = statusOf(failure);
                         complain(message);
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

// KWin lets a program list windows and type only when a desktop entry names
// its path.
int installDesktopEntry()
{
    try {
        const QString file = keys::kde::installDesktopEntry();
        write(stdout, QStringLiteral("Wrote %1. Start Typomat again to type on KDE Plasma.\n")
                          .arg(file));
        return exitSuccess;
    } catch (const keys::KeyError& e) {
        throw Failure{exitOutputFailed, e.description()};
    }
}

// The help, with the backends' names: "x11, wayland, kde or gnome".
QString help()
{
    QStringList names = keyBackendNames();
    const QString last = names.takeLast();
    const QString either = names.isEmpty()
        ? last : names.join(QStringLiteral(", ")) + QStringLiteral(" or ") + last;
    return QString::fromUtf8(kHelp).arg(either);
}

int dispatch(const Arguments& arguments)
{
    const QString& command = arguments.command;
    if (command == u"--help" || command == u"-h") {
        write(stdout, help());
        return exitSuccess;
    }
    if (command == u"--version") {
        write(stdout, QStringLiteral("typomat %1\n").arg(QCoreApplication::applicationVersion()));
        return exitSuccess;
    }
    if (command == u"--install-desktop-entry")
        return installDesktopEntry();
    if (command == u"send")
        return send(arguments);
    if (command == u"quick")
        return quick(arguments);
    if (command == u"run")
        return runScript(arguments);
    if (command == u"list")
        return list(arguments.operands);
    throw usage(QStringLiteral("Unknown command \"%1\".").arg(command));
}

} // namespace

void complain(const QString& message)
{
    write(stderr, QStringLiteral("typomat: %1\n").arg(message));
}

std::variant<Arguments, int> readArguments(int argc, char** argv)
{
    try {
        return parse(decodedArguments(argc, argv));
    } catch (const Failure& failure) {
        complain(failure.message);
        return failure.status;
    }
}

int runCommand(const Arguments& arguments, char* program)
{
    int argc = 1;
    char* argv[] = {program, nullptr};
    QCoreApplication application(argc, argv);
    QCoreApplication::setApplicationVersion(QStringLiteral(TYPOMAT_VERSION));
    try {
        const int status = dispatch(arguments);
        finishOutput();
        return status;
    } catch (const Failure& failure) {
        complain(failure.message);
        return failure.status;
    } catch (const store::DbError& e) {
        complain(e.message());
        return exitNotFound;
    }
}

} // namespace app
