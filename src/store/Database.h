// SPDX-License-Identifier: MIT
#pragma once
#include "store/Recordset.h"

#include <QString>
#include <memory>

namespace store {

// An open key database file.
class Database {
public:
    // Opens the file; a file that does not exist is created with the four
    // empty tables. Throws DbError, naming the file and the reason, when the
    // file cannot be opened, is not an SQLite database (a Jet file included)
    // or lacks one of the tables; the file is then left untouched.
    static std::unique_ptr<Database> open(const QString& path);
    // Opens an existing file for reading only: nothing is created, and the
    // engine refuses any write. Throws DbError as open() does, and when the
    // file does not exist.
    static std::unique_ptr<Database> openReadOnly(const QString& path);
    ~Database();

    const QString& path() const { return path_; }
    // All rows of one of the four tables, as an updatable dynamic set.
    std::unique_ptr<Recordset> OpenRecordset(const QString& table);

private:
    Database(QString path, std::shared_ptr<Connection> connection);
    QString path_;
    std::shared_ptr<Connection> connection_;
};

// A workspace "Typomat" for user "Admin"; opens databases.
class Workspace {
public:
    Workspace(QString name, QString user) : name_(std::move(name)), user_(std::move(user)) {}
    const QString& name() const { return name_; }
    const QString& user() const { return user_; }
    std::unique_ptr<Database> OpenDatabase(const QString& path) { return Database::open(path); }

private:
    QString name_;
    QString user_;
};

std::unique_ptr<Workspace> CreateWorkspace(const QString& name, const QString& user,
                                           const QString& password);

// The process-wide objects the main window of the running mode opens: they
// live until the process ends. A main window that loads replaces them.
extern std::unique_ptr<Workspace> wsMain;
extern std::unique_ptr<Database> dbMain;
extern std::unique_ptr<Recordset> rsScript;  // Script (script mode only)
extern std::unique_ptr<Recordset> rsItem;    // KeyScript, or KeyQuick in quick mode
extern std::unique_ptr<Recordset> rsTitle;   // Title

// Opens wsMain and dbMain on the program folder's Typomat.mdb.
void openMainDatabase();

} // namespace store
