// SPDX-License-Identifier: MIT
#pragma once
#include <QString>
#include <QStringList>

#include <variant>

namespace app {

// Exit statuses of the command line.
enum ExitStatus : int {
    exitSuccess = 0,
    exitNotFound = 1,       // title, item, script or database not found
    exitNoDisplay = 1,      // no display to work on: none is set, or it cannot be reached or
                            // does not answer (for the windows too)
    exitUnreadable = 2,     // an argument, key string or stored count-down cannot be read
                            // or typed; nothing was typed
    exitSendingFailed = 3,  // no way to type on this desktop, or sending failed
    exitUsage = 64,         // the arguments make no command
    exitOutputFailed = 74,  // the output could not be written
};

// The arguments as read: options, then the command and its arguments.
struct Arguments {
    QString backend;        // --backend=NAME, a name the backends have; empty: not given
    QString command;        // empty: start the windows
    QStringList operands;   // the command's arguments, its options and "--" taken out
    bool now = false;       // run --now
};

// Reads argv[1] on: every argument must be UTF-8 text; options go before
// the command, "--" ends them (run's --now may follow its script). On a
// fault, writes the message to standard error and returns the exit status.
std::variant<Arguments, int> readArguments(int argc, char** argv);

// Carries out the command with no window: send, quick, run, list, --help,
// --version. Errors go to standard error; returns the exit status.
int runCommand(const Arguments& arguments, char* program);

// Writes "typomat: " and the message on a line of standard error.
void complain(const QString& message);

} // namespace app
