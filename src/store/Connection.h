// SPDX-License-Identifier: MIT
#pragma once
#include "store/Value.h"

#include <QString>
#include <QStringList>
#include <vector>

struct sqlite3;
struct sqlite3_stmt;

namespace store {

// One open SQLite connection. Statements are always prepared with bound
// parameters; identifiers come only from the fixed table list.
class Connection {
public:
    Connection(sqlite3* db, QString path) : db_(db), path_(std::move(path)) {}
    ~Connection();
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    const QString& path() const { return path_; }

    // Runs a statement that returns no rows; returns the last inserted rowid.
    qint64 execute(const QString& sql, const std::vector<Value>& parameters = {});
    // Runs a query; each row is its columns in order.
    std::vector<std::vector<Value>> query(const QString& sql,
                                          const std::vector<Value>& parameters = {});
    QStringList columnNames(const QString& table);
    // Changes whenever another connection has committed a change to the
    // file; this connection's own commits leave it as it is.
    qint64 dataVersion();

    // A write transaction, taken at once (other programs wait for it or
    // report the file busy); rolled back unless committed.
    class Transaction {
    public:
        explicit Transaction(Connection& connection);
        ~Transaction();
        Transaction(const Transaction&) = delete;
        Transaction& operator=(const Transaction&) = delete;
        void commit();

    private:
        Connection& connection_;
        bool open_ = true;
    };

    // Throws DbError with the engine's message for the result code.
    [[noreturn]] void fail(int code) const;

private:
    sqlite3_stmt* prepare(const QString& sql, const std::vector<Value>& parameters);
    sqlite3* db_;
    QString path_;
};

// The four tables and how many columns the program addresses in each.
struct TableSchema {
    const char16_t* name;
    const char16_t* createSql;
    int columns;
};
const std::vector<TableSchema>& tableSchemas();
const TableSchema* findTable(const QString& name);

QString quoteIdentifier(const QString& name);

} // namespace store
