// SPDX-License-Identifier: MIT
#include "keys/kde/DesktopEntry.h"
#include "keys/KeySender.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>

namespace keys::kde {

QString requestedInterfaces()
{
    return QStringLiteral(
        "org_kde_kwin_fake_input,org_kde_plasma_window_management,org_kde_kwin_keystate");
}

QString programPath()
{
    return QFileInfo(QStringLiteral("/proc/self/exe")).canonicalFilePath();
}

QByteArray desktopEntryFor(const QString& program)
{
    // KWin compares the Exec= value with the path as it stands, so it is not
    // quoted; only the backslash needs an escape.
    QString exec = program;
    exec.replace(QLatin1Char('\\'), QStringLiteral("\\\\"));
    return QStringLiteral("[Desktop Entry]\n"
                          "Type=Application\n"
                          "Name=Typomat\n"
                          "Comment=Lets this copy of Typomat type into windows on KDE Plasma\n"
                          "Exec=%1\n"
                          "Icon=typomat\n"
                          "Terminal=false\n"
                          "NoDisplay=true\n"
                          "X-KDE-Wayland-Interfaces=%2\n")
        .arg(exec, requestedInterfaces())
        .toUtf8();
}

QString installDesktopEntry()
{
    const QString program = programPath();
    if (program.isEmpty() || program.contains(QLatin1Char('\n')))
        throw KeyError(QStringLiteral("Typomat cannot tell its own path, so it cannot write a "
                                      "desktop entry for it."));
    const QString folder =
        QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation)
        + QStringLiteral("/applications");
    const QByteArray id = QCryptographicHash::hash(program.toUtf8(), QCryptographicHash::Sha1)
                              .toHex()
                              .left(12);
    const QString file =
        folder + QStringLiteral("/typomat-%1.desktop").arg(QString::fromLatin1(id));
    QSaveFile out(file);
    if (!QDir().mkpath(folder) || !out.open(QIODevice::WriteOnly)
        || out.write(desktopEntryFor(program)) < 0 || !out.commit())
        throw KeyError(QStringLiteral("The desktop entry %1 could not be written: %2")
                           .arg(QDir::toNativeSeparators(file), out.errorString()));
    return file;
}

} // namespace keys::kde
