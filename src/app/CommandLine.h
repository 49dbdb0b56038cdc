#pragma once
#include <functional>
#include <memory>

namespace keys {
class KeySender;
}

namespace app {

// Picks and installs the keystroke backend; called once a QCoreApplication
// exists, and only by the commands that send.
using KeyBackendInstaller = std::function<std::unique_ptr<keys::KeySender>()>;

// Exit statuses of the command line.
enum ExitStatus : int {
    exitSuccess = 0,
    exitNotFound = 1,     // title, item, script or database not found
    exitUnreadable = 2,   // a key string (or a stored count-down) cannot be read
    exitSendingFailed = 3,
    exitUsage = 64,       // the arguments make no command
};

// Runs the command named by the arguments (argv[1] on) with no window:
// send, quick, run, list, --help, --version. Errors go to standard error;
// returns the exit status.
int runCommandLine(int argc, char** argv, const KeyBackendInstaller& installKeyBackend);

} // namespace app
