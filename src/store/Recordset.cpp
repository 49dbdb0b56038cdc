// SPDX-License-Identifier: MIT
#include "store/Recordset.h"
#include "store/Connection.h"

namespace store {

namespace {
DbError noCurrentRecord()
{
    return DbError(QStringLiteral("There is no current record."));
}

} // namespace

RecordChanged::RecordChanged()
    : DbError(QStringLiteral(
        "The record was changed or deleted by another Typomat window; choose it again"))
{
}

Recordset::Recordset(std::shared_ptr<Connection> connection, const QString& table)
    : connection_(std::move(connection))
{
    const TableSchema* schema = findTable(table);
    if (!schema)
        throw DbError(QStringLiteral("Typomat has no table \"%1\".").arg(table));
    table_ = QString::fromUtf16(schema->name);
    columnNames_ = connection_->columnNames(table_).mid(0, schema->columns);
    columnCount_ = static_cast<int>(columnNames_.size());
    load();
}

Recordset::~Recordset() = default;

QString Recordset::selectSql(const QString& where) const
{
    QStringList columns;
    for (const QString& name : columnNames_)
        columns << quoteIdentifier(name);
    return QStringLiteral("SELECT rowid, %1 FROM %2 %3")
        .arg(columns.join(u','), quoteIdentifier(table_), where);
}

void Recordset::load()
{
    dataVersion_ = connection_->dataVersion();
    auto result = connection_->query(selectSql(QStringLiteral("ORDER BY rowid")));
    rows_.clear();
    rows_.reserve(result.size());
    for (auto& values : result) {
        Row row;
        row.rowid = values.front().toInteger();
        values.erase(values.begin());
        row.values = std::move(values);
        rows_.push_back(std::move(row));
    }
    liveCount_ = static_cast<qint64>(rows_.size());
    cursor_ = 0;
    currentDeleted_ = false;
}

// The row's values as the file holds them now; none when it is gone.
std::optional<std::vector<Value>> Recordset::storedValues(qint64 rowid) const
{
    auto result = connection_->query(selectSql(QStringLiteral("WHERE rowid=?")), {Value(rowid)});
    if (result.size() != 1)
        return std::nullopt;
    result.front().erase(result.front().begin());
    return std::move(result.front());
}

// Runs the write in one transaction, and only while the row still holds the
// values this set read from it: another copy of the program may have changed
// or deleted it, and its rowid may since have gone to another row.
void Recordset::writeReadRow(const std::function<void()>& write)
{
    Connection::Transaction transaction(*connection_);
    if (storedValues(rows_[cursor_].rowid) != rows_[cursor_].values)
        throw RecordChanged();
    write();
    transaction.commit();
}

void Recordset::giveUpPending()
{
    editMode_ = dbEditNone;
    pending_.clear();
}

void Recordset::skipDeleted()
{
    while (cursor_ < rows_.size() && rows_[cursor_].deleted)
        ++cursor_;
}

bool Recordset::hasCurrentRow() const
{
    return cursor_ < rows_.size() && !currentDeleted_;
}

const Recordset::Row& Recordset::currentRow() const
{
    if (!hasCurrentRow())
        throw noCurrentRecord();
    return rows_[cursor_];
}

void Recordset::MoveFirst()
{
    giveUpPending();
    cursor_ = 0;
    currentDeleted_ = false;
    skipDeleted();
}

void Recordset::MoveNext()
{
    if (AtEnd())
        throw noCurrentRecord();
    giveUpPending();
    ++cursor_;
    currentDeleted_ = false;
    skipDeleted();
}

bool Recordset::AtEnd() const
{
    return cursor_ >= rows_.size();
}

qint64 Recordset::RecordCount() const
{
    return liveCount_;
}

Value Recordset::Fields(int n) const
{
    if (n < 0 || n >= columnCount_)
        throw DbError(QStringLiteral("The table \"%1\" has no field %2.").arg(table_).arg(n));
    if (editMode_ != dbEditNone)
        return pending_[static_cast<size_t>(n)];
    return currentRow().values[static_cast<size_t>(n)];
}

void Recordset::SetField(int n, const Value& value)
{
    if (n < 0 || n >= columnCount_)
        throw DbError(QStringLiteral("The table \"%1\" has no field %2.").arg(table_).arg(n));
    if (editMode_ == dbEditNone)
        throw DbError(QStringLiteral("A field was written without AddNew or Edit."));
    pending_[static_cast<size_t>(n)] = value;
}

void Recordset::AddNew()
{
    giveUpPending();
    pending_.assign(static_cast<size_t>(columnCount_), Value());
    editMode_ = dbEditAdd;
}

void Recordset::Edit()
{
    giveUpPending();
    pending_ = currentRow().values;
    editMode_ = dbEditInProgress;
}

void Recordset::storeAdded()
{
    QStringList columns, marks;
    for (const QString& name : columnNames_) {
        columns << quoteIdentifier(name);
        marks << QStringLiteral("?");
    }
    Connection::Transaction transaction(*connection_);
    const qint64 rowid = connection_->execute(
        QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)")
            .arg(quoteIdentifier(table_), columns.join(u','), marks.join(u',')),
        pending_);
    // Kept as the file holds it (a column may have converted a value), so that
    // a later edit finds it unchanged.
    std::vector<Value> stored = storedValues(rowid).value_or(pending_);
    transaction.commit();
    // The file hands out a rowid again only once its row is gone: a row still
    // held here under it was deleted by another window.
    for (size_t i = 0; i < rows_.size(); ++i) {
        if (rows_[i].rowid == rowid && !rows_[i].deleted) {
            forgetRow(rows_[i]);
            currentDeleted_ = currentDeleted_ || i == cursor_;
        }
    }
    const bool wasAtEnd = AtEnd();
    rows_.push_back(Row{rowid, std::move(stored), false});
    ++liveCount_;
    lastModified_ = rowid;
    if (wasAtEnd)
        cursor_ = rows_.size();
}

void Recordset::forgetRow(Row& row)
{
    row.deleted = true;
    row.values.clear();
    --liveCount_;
}

void Recordset::storeEdited()
{
    QStringList assignments;
    for (const QString& name : columnNames_)
        assignments << quoteIdentifier(name) + QStringLiteral("=?");
    Row& row = rows_[cursor_];
    std::vector<Value> parameters = pending_;
    parameters.push_back(Value(row.rowid));
    std::vector<Value> stored;
    writeReadRow([&] {
        connection_->execute(QStringLiteral("UPDATE %1 SET %2 WHERE rowid=?")
                                 .arg(quoteIdentifier(table_), assignments.join(u',')),
                             parameters);
        stored = storedValues(row.rowid).value_or(pending_);
    });
    row.values = std::move(stored);
    lastModified_ = row.rowid;
}

void Recordset::Update()
{
    if (editMode_ == dbEditAdd)
        storeAdded();
    else if (editMode_ == dbEditInProgress)
        storeEdited();
    else
        throw DbError(QStringLiteral("Update was called without AddNew or Edit."));
    giveUpPending();
}

void Recordset::Delete()
{
    giveUpPending();
    if (!hasCurrentRow())
        throw noCurrentRecord();
    Row& row = rows_[cursor_];
    writeReadRow([&] {
        connection_->execute(
            QStringLiteral("DELETE FROM %1 WHERE rowid=?").arg(quoteIdentifier(table_)),
            {Value(row.rowid)});
    });
    forgetRow(row);
    currentDeleted_ = true;
}

Bookmark Recordset::GetBookmark() const
{
    return currentRow().rowid;
}

bool Recordset::MoveToBookmark(Bookmark bookmark)
{
    giveUpPending();
    currentDeleted_ = false;
    cursor_ = 0;
    while (cursor_ < rows_.size() && (rows_[cursor_].deleted || rows_[cursor_].rowid != bookmark))
        ++cursor_;
    return !AtEnd();
}

Bookmark Recordset::LastModified() const
{
    if (!lastModified_)
        throw DbError(QStringLiteral("No record has been stored through this set yet."));
    return *lastModified_;
}

void Recordset::Requery()
{
    giveUpPending();
    load();
    skipDeleted();
}

void Recordset::RequeryIfChanged()
{
    if (connection_->dataVersion() != dataVersion_)
        Requery();
    else
        MoveFirst();
}

} // namespace store
