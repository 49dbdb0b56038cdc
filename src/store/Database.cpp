// SPDX-License-Identifier: MIT
#include "store/Database.h"
#include "store/Connection.h"
#include "settings/ProgramFolder.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <sqlite3.h>

namespace store {

std::unique_ptr<Workspace> wsMain;
std::unique_ptr<Database> dbMain;
std::unique_ptr<Recordset> rsScript;
std::unique_ptr<Recordset> rsItem;
std::unique_ptr<Recordset> rsTitle;

namespace {

constexpr int kBusyTimeoutMs = 2000;

DbError openError(const QString& path, const QString& reason)
{
    return DbError(QStringLiteral("Typomat cannot use the database file \"%1\": %2")
                       .arg(QDir::toNativeSeparators(path), reason));
}

// Tells what kind of file this is from its first bytes; empty when it looks
// like an SQLite database.
QString foreignFileReason(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QStringLiteral("the file cannot be read (%1).").arg(file.errorString());
    const QByteArray head = file.read(32);
    if (head.isEmpty())
        return QStringLiteral("the file is empty. Move it away, and Typomat creates a new database.");
    if (head.startsWith("SQLite format 3\0"))
        return QString();
    if (head.mid(4, 15) == "Standard Jet DB" || head.mid(4, 15) == "Standard ACE DB")
        return QStringLiteral("it is a Jet (Access) database, not an SQLite database. "
                              "Move it away, and Typomat creates a new database.");
    return QStringLiteral("it is not an SQLite database.");
}

sqlite3* openConnection(const QString& path, int flags)
{
    sqlite3* db = nullptr;
    const int rc = sqlite3_open_v2(path.toUtf8().constData(), &db, flags, nullptr);
    if (rc != SQLITE_OK) {
        const QString reason = db ? QString::fromUtf8(sqlite3_errmsg(db))
                                  : QStringLiteral("out of memory");
        sqlite3_close_v2(db);
        throw openError(path, reason + u'.');
    }
    sqlite3_busy_timeout(db, kBusyTimeoutMs);
    sqlite3_extended_result_codes(db, 1);
    return db;
}

void createTables(Connection& connection)
{
    connection.execute(QStringLiteral("BEGIN"));
    for (const TableSchema& schema : tableSchemas())
        connection.execute(QString::fromUtf16(schema.createSql));
    connection.execute(QStringLiteral("COMMIT"));
}

void checkTables(Connection& connection)
{
    for (const TableSchema& schema : tableSchemas()) {
        const QString name = QString::fromUtf16(schema.name);
        const qsizetype columns = connection.columnNames(name).size();
        if (columns == 0)
            throw openError(connection.path(),
                            QStringLiteral("it has no table \"%1\".").arg(name));
        if (columns < schema.columns)
            throw openError(connection.path(),
                            QStringLiteral("its table \"%1\" has %2 columns; Typomat needs %3.")
                                .arg(name).arg(columns).arg(schema.columns));
    }
}

} // namespace

Database::Database(QString path, std::shared_ptr<Connection> connection)
    : path_(std::move(path)), connection_(std::move(connection))
{
}

Database::~Database() = default;

std::unique_ptr<Database> Database::open(const QString& path)
{
    const bool exists = QFileInfo::exists(path);
    if (exists) {
        const QString reason = foreignFileReason(path);
        if (!reason.isEmpty())
            throw openError(path, reason);
    }
    const int flags = SQLITE_OPEN_READWRITE | (exists ? 0 : SQLITE_OPEN_CREATE);
    auto connection = std::make_shared<Connection>(openConnection(path, flags), path);
    try {
        if (exists)
            checkTables(*connection);
        else
            createTables(*connection);
    } catch (const DbError&) {
        if (!exists)
            QFile::remove(path);
        throw;
    }
    return std::unique_ptr<Database>(new Database(path, std::move(connection)));
}

std::unique_ptr<Database> Database::openReadOnly(const QString& path)
{
    if (!QFileInfo::exists(path))
        throw openError(path, QStringLiteral("the file does not exist. Start Typomat once "
                                             "without arguments to create it."));
    const QString reason = foreignFileReason(path);
    if (!reason.isEmpty())
        throw openError(path, reason);
    auto connection =
        std::make_shared<Connection>(openConnection(path, SQLITE_OPEN_READONLY), path);
    checkTables(*connection);
    return std::unique_ptr<Database>(new Database(path, std::move(connection)));
}

std::unique_ptr<Recordset> Database::OpenRecordset(const QString& table)
{
    return std::make_unique<Recordset>(connection_, table);
}

std::unique_ptr<Workspace> CreateWorkspace(const QString& name, const QString& user,
                                           const QString&)
{
    return std::make_unique<Workspace>(name, user);
}

void openMainDatabase()
{
    wsMain = CreateWorkspace(QStringLiteral("Typomat"), QStringLiteral("Admin"), QString());
    dbMain = wsMain->OpenDatabase(app::databaseFilePath());
}

} // namespace store
