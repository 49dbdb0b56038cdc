#include "settings/ProgramFolder.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>

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

QString dataFolder()
{
    const ProgramFolder& folder = programFolder();
    if (folder.keepsDataBeside())
        return folder.path();
    QString base = qEnvironmentVariable("XDG_DATA_HOME");
    if (base.isEmpty() || QDir::isRelativePath(base))
        base = QDir::homePath() + QStringLiteral("/.local/share");
    const QString data = base + QStringLiteral("/typomat");
    QDir().mkpath(data);
    return data;
}

QString settingsFilePath()
{
    return dataFolder() + QStringLiteral("/Typomat.ini");
}

QString databaseFilePath()
{
    return dataFolder() + QStringLiteral("/Typomat.mdb");
}

} // namespace app
