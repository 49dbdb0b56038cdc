// SPDX-License-Identifier: MIT
#include "settings/ProgramFolder.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <unistd.h>

namespace app {

namespace {
std::shared_ptr<const ProgramFolder>& installed()
{
    static std::shared_ptr<const ProgramFolder> folder = std::make_shared<ExecutableFolder>();
    return folder;
}
} // namespace

QString ExecutableFolder::path() const
{
    return QCoreApplication::applicationDirPath();
}

bool ExecutableFolder::keepsDataBeside() const
{
    const QString folder = path();
    // The package installs into /usr/bin, cmake --install into its prefix.
    for (const QString& installed : {QStringLiteral("/usr/bin"), QStringLiteral(TYPOMAT_INSTALL_BINDIR)})
        if (QDir(folder) == QDir(installed))
            return false;
    return ::access(QFile::encodeName(folder).constData(), W_OK) == 0;
}

const ProgramFolder& programFolder()
{
    return *installed();
}

void installProgramFolder(std::shared_ptr<const ProgramFolder> folder)
{
    installed() = folder ? std::move(folder) : std::make_shared<ExecutableFolder>();
}

QString userDataFolder()
{
    QString base = qEnvironmentVariable("XDG_DATA_HOME");
    if (base.isEmpty() || QDir::isRelativePath(base))
        base = QDir::homePath() + QStringLiteral("/.local/share");
    const QString data = base + QStringLiteral("/typomat");
    QDir().mkpath(data);
    return data;
}

namespace {
// A file that is already beside the program is used there, even in a folder
// that cannot be written: a write that fails is reported when it is tried.
QString dataFilePath(const QString& name)
{
    const ProgramFolder& folder = programFolder();
    const QString beside = folder.path() + u'/' + name;
    if (folder.keepsDataBeside() || QFileInfo::exists(beside))
        return beside;
    return userDataFolder() + u'/' + name;
}
} // namespace

QString settingsFilePath()
{
    return dataFilePath(QStringLiteral("Typomat.ini"));
}

QString databaseFilePath()
{
    return dataFilePath(QStringLiteral("Typomat.mdb"));
}

QString userDataFolderInUse()
{
    const QDir beside(programFolder().path());
    for (const QString& file : {settingsFilePath(), databaseFilePath()}) {
        const QString folder = QFileInfo(file).absolutePath();
        if (QDir(folder) != beside)
            return folder;
    }
    return {};
}

} // namespace app
