// SPDX-License-Identifier: MIT
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
    // False for an installed copy: its folder cannot be written, or it is
    // the system folder the package installs the program into.
    virtual bool keepsDataBeside() const { return true; }
};

class ExecutableFolder final : public ProgramFolder {
public:
    QString path() const override;
    bool keepsDataBeside() const override;
};

class FixedFolder final : public ProgramFolder {
public:
    explicit FixedFolder(QString path, bool keepsDataBeside = true)
        : path_(std::move(path)), keepsDataBeside_(keepsDataBeside) {}
    QString path() const override { return path_; }
    bool keepsDataBeside() const override { return keepsDataBeside_; }
private:
    QString path_;
    bool keepsDataBeside_;
};

// The folder in use; ExecutableFolder until another one is installed.
const ProgramFolder& programFolder();
void installProgramFolder(std::shared_ptr<const ProgramFolder> folder);

// The user's data folder, $XDG_DATA_HOME/typomat (by default
// ~/.local/share/typomat), created when needed.
QString userDataFolder();

// The settings file and the database: "/Typomat.ini" and "/Typomat.mdb"
// appended to the program folder (the separator always appended, whatever
// the folder path ends with). An installed copy, whose folder cannot or
// should not be written, keeps them in the user's data folder instead,
// unless the file is already beside the program.
QString settingsFilePath();
QString databaseFilePath();

// The user's data folder when either file is kept there; empty when both
// are beside the program.
QString userDataFolderInUse();

} // namespace app
