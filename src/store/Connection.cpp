// SPDX-License-Identifier: MIT
#include "store/Connection.h"
#include "store/Recordset.h"

#include <sqlite3.h>

namespace store {

namespace {

struct Statement {
    sqlite3_stmt* stmt;
    ~Statement() { sqlite3_finalize(stmt); }
};

void bind(sqlite3_stmt* stmt, int index, const Value& value)
{
    if (value.isNull()) {
        sqlite3_bind_null(stmt, index);
    } else if (value.isInteger()) {
        sqlite3_bind_int64(stmt, index, value.toInteger());
    } else if (value.isDate()) {
        sqlite3_bind_double(stmt, index, value.toDate().days);
    } else {
        const QByteArray utf8 = value.toText().toUtf8();
        sqlite3_bind_text(stmt, index, utf8.constData(), static_cast<int>(utf8.size()),
                          SQLITE_TRANSIENT);
    }
}

Value column(sqlite3_stmt* stmt, int index)
{
    switch (sqlite3_column_type(stmt, index)) {
    case SQLITE_NULL:
        return Value();
    case SQLITE_INTEGER:
        return Value(static_cast<qint64>(sqlite3_column_int64(stmt, index)));
    case SQLITE_FLOAT:
        return Value(oledate::OleDate{sqlite3_column_double(stmt, index)});
    default: {
        const auto* text = static_cast<const char*>(sqlite3_column_blob(stmt, index));
        const int size = sqlite3_column_bytes(stmt, index);
        return Value(QString::fromUtf8(text, size));
    }
    }
}

} // namespace

Connection::~Connection()
{
    sqlite3_close_v2(db_);
}

void Connection::fail(int code) const
{
    // The file at the path is no longer the one opened (a backup restored over
    // it, a sync tool, a move): writing on would go to a file nobody sees.
    if (code == SQLITE_READONLY_DBMOVED)
        throw DbError(QStringLiteral("The database file \"%1\" was replaced or moved while Typomat "
                                     "was open, so this change was not stored. Start Typomat "
                                     "again to use the file that is there now.")
                          .arg(path_));
    const int primary = code & 0xff;
    if (primary == SQLITE_BUSY || primary == SQLITE_LOCKED)
        throw DbError(QStringLiteral("The database file \"%1\" is in use by another program. "
                                     "Close the other program and try again.")
                          .arg(path_));
    if (primary == SQLITE_READONLY)
        throw DbError(QStringLiteral("The database file \"%1\" cannot be written: it or its "
                                     "folder is read-only.")
                          .arg(path_));
    throw DbError(QStringLiteral("Database error in \"%1\": %2.")
                      .arg(path_, QString::fromUtf8(sqlite3_errmsg(db_))));
}

sqlite3_stmt* Connection::prepare(const QString& sql, const std::vector<Value>& parameters)
{
    sqlite3_stmt* stmt = nullptr;
    const QByteArray utf8 = sql.toUtf8();
    const int rc = sqlite3_prepare_v2(db_, utf8.constData(), static_cast<int>(utf8.size()),
                                      &stmt, nullptr);
    if (rc != SQLITE_OK)
        fail(rc);
    for (size_t i = 0; i < parameters.size(); ++i)
        bind(stmt, static_cast<int>(i + 1), parameters[i]);
    return stmt;
}

qint64 Connection::execute(const QString& sql, const std::vector<Value>& parameters)
{
    Statement s{prepare(sql, parameters)};
    int rc;
    while ((rc = sqlite3_step(s.stmt)) == SQLITE_ROW) {
    }
    if (rc != SQLITE_DONE)
        fail(rc);
    return sqlite3_last_insert_rowid(db_);
}

std::vector<std::vector<Value>> Connection::query(const QString& sql,
                                                  const std::vector<Value>& parameters)
{
    Statement s{prepare(sql, parameters)};
    std::vector<std::vector<Value>> rows;
    const int columns = sqlite3_column_count(s.stmt);
    int rc;
    while ((rc = sqlite3_step(s.stmt)) == SQLITE_ROW) {
        std::vector<Value> row;
        row.reserve(static_cast<size_t>(columns));
        for (int c = 0; c < columns; ++c)
            row.push_back(column(s.stmt, c));
        rows.push_back(std::move(row));
    }
    if (rc != SQLITE_DONE)
        fail(rc);
    return rows;
}

Connection::Transaction::Transaction(Connection& connection) : connection_(connection)
{
    connection_.execute(QStringLiteral("BEGIN IMMEDIATE"));
}

Connection::Transaction::~Transaction()
{
    if (open_)
        sqlite3_exec(connection_.db_, "ROLLBACK", nullptr, nullptr, nullptr);
}

void Connection::Transaction::commit()
{
    connection_.execute(QStringLiteral("COMMIT"));
    open_ = false;
}

QStringList Connection::columnNames(const QString& table)
{
    QStringList names;
    for (const auto& row : query(QStringLiteral("PRAGMA table_info(%1)").arg(quoteIdentifier(table))))
        names << row.at(1).toText();
    return names;
}

qint64 Connection::dataVersion()
{
    return query(QStringLiteral("PRAGMA data_version")).front().front().toInteger();
}

const std::vector<TableSchema>& tableSchemas()
{
    static const std::vector<TableSchema> schemas = {
        {u"Script", u"CREATE TABLE Script (Name TEXT, Description TEXT, StartMode INTEGER, "
                    u"StartTime REAL)", 4},
        {u"KeyScript", u"CREATE TABLE KeyScript (Script TEXT, Item TEXT, Title TEXT, Keys TEXT, "
                       u"Description TEXT, CountDown REAL)", 6},
        {u"Title", u"CREATE TABLE Title (Title TEXT)", 1},
        {u"KeyQuick", u"CREATE TABLE KeyQuick (Item TEXT, Title TEXT, Keys TEXT, "
                      u"Description TEXT)", 4},
    };
    return schemas;
}

const TableSchema* findTable(const QString& name)
{
    for (const TableSchema& schema : tableSchemas())
        if (name.compare(QString::fromUtf16(schema.name), Qt::CaseInsensitive) == 0)
            return &schema;
    return nullptr;
}

QString quoteIdentifier(const QString& name)
{
    QString quoted = name;
    quoted.replace(u'"', QStringLiteral("\"\""));
    return u'"' + quoted + u'"';
}

} // namespace store
