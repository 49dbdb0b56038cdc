// SPDX-License-Identifier: MIT
#pragma once
// Another Typomat window at work on the same database file while the window
// under test has it open: it saves or deletes a record through a connection
// of its own.
#include "settings/ProgramFolder.h"
#include "store/Database.h"

namespace testsupport {

// What a window says when the record it would write was changed or deleted
// by another window since it was chosen.
inline const QString kChangedElsewhere = QStringLiteral(
    "The record was changed or deleted by another Typomat window; choose it again");

// Sets a field of the table's record at row (counted from 0).
inline void changeElsewhere(const QString& table, int row, int field, const store::Value& value)
{
    auto db = store::Database::open(app::databaseFilePath());
    auto rs = db->OpenRecordset(table);
    for (int i = 0; i < row; ++i)
        rs->MoveNext();
    rs->Edit();
    rs->SetField(field, value);
    rs->Update();
}

inline void deleteElsewhere(const QString& table, int row)
{
    auto db = store::Database::open(app::databaseFilePath());
    auto rs = db->OpenRecordset(table);
    for (int i = 0; i < row; ++i)
        rs->MoveNext();
    rs->Delete();
}

} // namespace testsupport
