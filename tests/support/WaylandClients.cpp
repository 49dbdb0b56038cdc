// SPDX-License-Identifier: MIT
#include "WaylandClients.h"

namespace testsupport {

void SessionClient::start(Compositor& desktop, const QString& what, const QStringList& command,
                          const std::function<bool()>& up)
{
    // The shell puts the output into the log and becomes the program.
    process_ = std::make_unique<ChildProcess>(
        QStringLiteral("sh"),
        QStringList{QStringLiteral("-c"), QStringLiteral("exec \"$@\" > \"$0\" 2>&1"), log_.path()}
            + command);
    if (desktop.waitForWindow(title_) && waitUntil(10000, up))
        return;
    failure_ = QStringLiteral("%1 \"%2\" did not come up (%3). Its output:\n%4")
                   .arg(what, title_,
                        process_->isRunning() ? QStringLiteral("it runs")
                                              : QStringLiteral("it has ended"),
                        QString::fromLocal8Bit(log_.read().right(4000)));
}

QString SessionTerminal::captureCommand(qsizetype closeAfter) const
{
    const QString recorder =
        closeAfter > 0 ? QStringLiteral("head -c %1").arg(closeAfter) : QStringLiteral("cat");
    return QStringLiteral("stty raw -echo; exec %1 >> '%2'").arg(recorder, file_.path());
}

FootCapture::FootCapture(Compositor& desktop, const QString& title) : SessionTerminal(title)
{
    start(desktop, QStringLiteral("foot"),
          {QStringLiteral("env"), QStringLiteral("LC_ALL=C.UTF-8"), QStringLiteral("foot"),
           QStringLiteral("--config=/dev/null"), QStringLiteral("-T"), title, QStringLiteral("sh"),
           QStringLiteral("-c"), captureCommand()},
          [&] { return file_.exists(); });
}

WaylandApp::WaylandApp(Compositor& desktop, const QString& title,
                       const QStringList& environment, const QStringList& command)
    : SessionClient(title)
{
    start(desktop, command.value(0),
          QStringList{QStringLiteral("env"), QStringLiteral("-u"), QStringLiteral("DISPLAY"),
                      QStringLiteral("HOME=") + home_.path(),
                      QStringLiteral("XDG_CONFIG_HOME=") + home_.filePath(QStringLiteral(".config")),
                      QStringLiteral("XDG_DATA_HOME=") + home_.filePath(QStringLiteral(".local")),
                      QStringLiteral("DBUS_SESSION_BUS_ADDRESS=unix:path=") + home_.filePath(QStringLiteral("no-bus")),
                      QStringLiteral("GSETTINGS_BACKEND=memory"), QStringLiteral("NO_AT_BRIDGE=1")}
              + environment + command,
          [] { return true; });
}

WaylandDialogTarget::WaylandDialogTarget(Compositor& desktop, const QString& title,
                                         const QStringList& options)
    : SessionClient(title)
{
    start(desktop, QStringLiteral("the dialog target"),
          QStringList{QStringLiteral("env"), QStringLiteral("QT_QPA_PLATFORM=wayland"),
                      QStringLiteral(TYPOMAT_DIALOG_TARGET), title, file_.path()}
              + options,
          [&] { return file_.exists(); });
}

bool WaylandDialogTarget::waitFor(const QString& key, const QString& value, int timeoutMs) const
{
    return waitUntil(timeoutMs, [&] { return this->value(key) == value; });
}

} // namespace testsupport
