// SPDX-License-Identifier: MIT
#pragma once
#include "store/Value.h"

#include <QString>
#include <QStringList>
#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>
#include <vector>

namespace store {

// An engine error: the message says what went wrong in words for the user.
class DbError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
    explicit DbError(const QString& message) : std::runtime_error(message.toStdString()) {}
    QString message() const { return QString::fromStdString(what()); }
};

// An edit or delete refused because the row no longer holds what this set
// read from it: another Typomat window changed or deleted it since.
class RecordChanged : public DbError {
public:
    RecordChanged();
};

// Names one row of a set for as long as the set holds it, across moves and
// re-queries, whatever the values of its fields.
using Bookmark = qint64;

enum EditModeValue : int {
    dbEditNone = 0,
    dbEditInProgress = 1,
    dbEditAdd = 2,
};

class Connection;

// An updatable dynamic set over all rows of one table, in row order, with a
// cursor and an edit state. Rows added through the set are appended at its
// end; rows deleted through it are skipped by later moves. A pending add or
// edit is given up by the next move, add or edit.
class Recordset {
public:
    Recordset(std::shared_ptr<Connection> connection, const QString& table);
    ~Recordset();
    Recordset(const Recordset&) = delete;
    Recordset& operator=(const Recordset&) = delete;

    const QString& table() const { return table_; }
    int fieldCount() const { return columnCount_; }

    void MoveFirst();
    void MoveNext();
    bool AtEnd() const;        // past the last row (DAO's EOF)
    qint64 RecordCount() const;

    // Field n of the current row (while adding or editing: of the row being
    // built). Throws DbError when there is no current row.
    Value Fields(int n) const;
    // Sets field n of the row being added or edited. Throws DbError when no
    // add or edit is under way.
    void SetField(int n, const Value& value);

    void AddNew();
    void Edit();
    // Stores the row being added or edited, durably, before returning. After
    // an add the cursor is back on the row that was current before AddNew.
    // An edit, like Delete, changes the row only while the file still holds
    // it as this set read it; otherwise it throws DbError and changes nothing.
    void Update();
    // Removes the current row; there is no current row until the next move.
    void Delete();
    // Rebuilds the set from the table, cursor on the first row.
    void Requery();
    // Rebuilds the set as Requery does when another connection (another
    // Typomat window) has changed the file since the set was read; otherwise
    // only moves to the first row. Either way the set shows what is stored.
    void RequeryIfChanged();
    int EditMode() const { return editMode_; }

    // The current row's bookmark. Throws DbError when there is no current row.
    Bookmark GetBookmark() const;
    // Moves to the row of the bookmark; false, with the set at its end, when
    // the set no longer holds that row. Gives up a pending add or edit.
    bool MoveToBookmark(Bookmark bookmark);
    // The bookmark of the row stored last by Update. Throws DbError before
    // the first Update.
    Bookmark LastModified() const;

private:
    struct Row {
        qint64 rowid = 0;
        std::vector<Value> values;
        bool deleted = false;
    };

    QString selectSql(const QString& where) const;
    void load();
    std::optional<std::vector<Value>> storedValues(qint64 rowid) const;
    void writeReadRow(const std::function<void()>& write);
    void giveUpPending();
    void skipDeleted();
    void forgetRow(Row& row);
    const Row& currentRow() const;
    bool hasCurrentRow() const;
    void storeAdded();
    void storeEdited();

    std::shared_ptr<Connection> connection_;
    QString table_;
    QStringList columnNames_;
    int columnCount_ = 0;
    std::vector<Row> rows_;
    qint64 liveCount_ = 0;
    qint64 dataVersion_ = 0;         // of the file when the set was read
    size_t cursor_ = 0;              // == rows_.size() at the end
    bool currentDeleted_ = false;    // after Delete, until the next move
    int editMode_ = dbEditNone;
    std::vector<Value> pending_;     // the row being added or edited
    std::optional<Bookmark> lastModified_;
};

} // namespace store
