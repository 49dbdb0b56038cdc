#pragma once
#include <QString>
#include <memory>

namespace app {

// Where the program keeps its two files. The real folder is the one holding
// the running executable; tests install a fixed folder instead.
class ProgramFolder {
public:
    virtual ~ProgramFolder() = default;
    virtual QString path() const = 0;
};

class ExecutableFolder final : public ProgramFolder {
public:
    QString path() const override;
};

class FixedFolder final : public ProgramFolder {
public:
    explicit FixedFolder(QString path) : path_(std::move(path)) {}
    QString path() const override { return path_; }
private:
    QString path_;
};

// The folder in use; ExecutableFolder until another one is installed.
const ProgramFolder& programFolder();
void installProgramFolder(std::shared_ptr<const ProgramFolder> folder);

// Folder + "/Typomat.ini" and folder + "/Typomat.mdb": the separator is
// always appended, whatever the folder path ends with.
QString settingsFilePath();
QString databaseFilePath();

} // namespace app
