// SPDX-License-Identifier: MIT
#pragma once
#include "store/OleDate.h"

#include <QString>
#include <QStringList>
#include <memory>
#include <optional>
#include <vector>

namespace store {
class Database;
}

namespace app {

struct QuickItem {
    QString name;
    QString title;
    QString keys;
    QString description;
};

struct ScriptItem {
    QString name;
    QString title;
    QString keys;
    QString description;
    QString countDown;  // as the script window's list shows it
};

struct StoredScript {
    QString name;
    QString description;
    bool setTime = false;   // starts at a set date and time, else after a count-down
    std::optional<oledate::OleDate> start;  // nothing when the stored value cannot be read
    QString startText;      // the start as stored, for listing
    std::vector<ScriptItem> items;
};

// The key database read for the command line: opened read-only, so nothing
// here can change it. Lookups follow the windows' rules: exact,
// case-sensitive texts, the first matching row wins, rows in table order.
// Engine errors are thrown as store::DbError.
class StoredKeys {
public:
    explicit StoredKeys(const QString& path);
    ~StoredKeys();

    QStringList titles();
    // The quick items listed under a title; empty when there are none.
    std::vector<QuickItem> quickItems(const QString& title);
    std::optional<QuickItem> quickItem(const QString& title, const QString& name);
    // Every script, without items.
    std::vector<StoredScript> scripts();
    // The first script of that name, with its items.
    std::optional<StoredScript> script(const QString& name);

private:
    std::unique_ptr<store::Database> db_;
};

} // namespace app
