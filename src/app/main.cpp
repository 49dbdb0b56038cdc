// SPDX-License-Identifier: MIT
#include "app/CommandLine.h"
#include "app/Desktop.h"
#include "app/Module1.h"
#include "keys/KeySender.h"

#include <QApplication>
#include <QFont>
#include <QMessageBox>
#include <cstdlib>
#include <variant>

namespace {

QtMessageHandler qtHandler = nullptr;

// Qt ends the program with a fatal message when it can open no display for
// the windows: say so plainly and end with the status for "no display",
// rather than abort with a core dump. Other messages go on as before.
void refuseUnopenedDisplay(QtMsgType type, const QMessageLogContext& context,
                           const QString& message)
{
    if (type != QtFatalMsg) {
        if (qtHandler)
            qtHandler(type, context, message);
        return;
    }
    app::complain(app::displayUnreachable());
    std::_Exit(app::exitNoDisplay);
}

// Opens the windows: the quick or script window, or the About window at the
// first start. The one keystroke backend is chosen and installed here:
// Wayland where the compositor lists windows and takes a virtual keyboard,
// else X11 where an X display is named; --backend=NAME or [Keys] Backend
// forces one. Without any, one message says what is missing.
int startWindows(const QString& backendOption, char* program)
{
    if (const QString reason = app::windowsCannotOpen(); !reason.isEmpty()) {
        app::complain(reason);
        return app::exitNoDisplay;
    }
    // Typomat's own windows go through XWayland where there is one.
    char* programOnly[] = {program, nullptr};
    std::vector<QByteArray> arguments = app::qtArguments(1, programOnly);
    std::vector<char*> qtArgv;
    for (QByteArray& argument : arguments)
        qtArgv.push_back(argument.data());
    int qtArgc = static_cast<int>(qtArgv.size());
    qtArgv.push_back(nullptr);
    qtHandler = qInstallMessageHandler(refuseUnopenedDisplay);
    QApplication application(qtArgc, qtArgv.data());
    qInstallMessageHandler(qtHandler);
    // The windows' layouts in twips are made for an 8-point font: larger
    // default fonts would clip their captions.
    QFont font = QApplication::font();
    font.setPointSizeF(8);
    QApplication::setFont(font);
    app::InstalledKeyBackend backend;
    try {
        backend = app::installKeyBackend(backendOption);
        if (!backend.notice.isEmpty())
            qWarning("%s", qPrintable(backend.notice));
    } catch (const keys::KeyError& e) {
        QMessageBox::warning(nullptr, QStringLiteral("Typomat"), e.description());
    }
    Main();
    return application.exec();
}

} // namespace

int main(int argc, char** argv)
{
    const std::variant<app::Arguments, int> read = app::readArguments(argc, argv);
    if (const int* status = std::get_if<int>(&read))
        return *status;
    const app::Arguments& arguments = std::get<app::Arguments>(read);
    // A command is carried out with no window.
    if (!arguments.command.isEmpty())
        return app::runCommand(arguments, argv[0]);
    return startWindows(arguments.backend, argv[0]);
}
