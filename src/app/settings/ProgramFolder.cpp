#include "app/settings/ProgramFolder.h"

#include <QCoreApplication>

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

const ProgramFolder& programFolder()
{
    return *installed();
}

void installProgramFolder(std::shared_ptr<const ProgramFolder> folder)
{
    installed() = folder ? std::move(folder) : std::make_shared<ExecutableFolder>();
}

QString settingsFilePath()
{
    return programFolder().path() + QStringLiteral("/Typomat.ini");
}

QString databaseFilePath()
{
    return programFolder().path() + QStringLiteral("/Typomat.mdb");
}

} // namespace app
