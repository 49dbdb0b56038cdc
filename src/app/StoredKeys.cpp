// SPDX-License-Identifier: MIT
#include "app/StoredKeys.h"

#include "script/CountDown.h"
#include "store/Database.h"

namespace app {

namespace {

StoredScript scriptHeader(const store::Recordset& rs)
{
    StoredScript script;
    script.name = rs.Fields(0).toText();
    script.description = rs.Fields(1).toText();
    const store::Value mode = rs.Fields(2);
    // Every value other than 0 means a count-down, one that is no number too.
    try {
        script.setTime = !mode.isNull() && mode.toInteger() == 0;
    } catch (const store::DbError&) {
        script.setTime = false;
    }
    const store::Value start = rs.Fields(3);
    try {
        script.start = start.toDate();
        script.startText = script.setTime ? oledate::formatDateTimeToMinute(*script.start)
                                          : oledate::formatTime(*script.start);
    } catch (const store::DbError&) {
        script.startText = start.toText();
    }
    return script;
}

} // namespace

StoredKeys::StoredKeys(const QString& path) : db_(store::Database::openReadOnly(path)) {}

StoredKeys::~StoredKeys() = default;

QStringList StoredKeys::titles()
{
    const auto rs = db_->OpenRecordset(QStringLiteral("Title"));
    QStringList titles;
    for (rs->MoveFirst(); !rs->AtEnd(); rs->MoveNext())
        titles << rs->Fields(0).toText();
    return titles;
}

std::vector<QuickItem> StoredKeys::quickItems(const QString& title)
{
    const auto rs = db_->OpenRecordset(QStringLiteral("KeyQuick"));
    std::vector<QuickItem> items;
    for (rs->MoveFirst(); !rs->AtEnd(); rs->MoveNext())
        if (rs->Fields(1).equalsText(title))
            items.push_back({rs->Fields(0).toText(), title, rs->Fields(2).toText(),
                             rs->Fields(3).toText()});
    return items;
}

std::optional<QuickItem> StoredKeys::quickItem(const QString& title, const QString& name)
{
    for (QuickItem& item : quickItems(title))
        if (item.name == name)
            return std::move(item);
    return std::nullopt;
}

std::vector<StoredScript> StoredKeys::scripts()
{
    const auto rs = db_->OpenRecordset(QStringLiteral("Script"));
    std::vector<StoredScript> scripts;
    for (rs->MoveFirst(); !rs->AtEnd(); rs->MoveNext())
        scripts.push_back(scriptHeader(*rs));
    return scripts;
}

std::optional<StoredScript> StoredKeys::script(const QString& name)
{
    std::optional<StoredScript> script;
    {
        const auto rs = db_->OpenRecordset(QStringLiteral("Script"));
        for (rs->MoveFirst(); !rs->AtEnd() && !script; rs->MoveNext())
            if (rs->Fields(0).equalsText(name))
                script = scriptHeader(*rs);
    }
    if (!script)
        return std::nullopt;
    const auto rs = db_->OpenRecordset(QStringLiteral("KeyScript"));
    for (rs->MoveFirst(); !rs->AtEnd(); rs->MoveNext())
        if (rs->Fields(0).equalsText(name))
            script->items.push_back({rs->Fields(1).toText(), rs->Fields(2).toText(),
                                     rs->Fields(3).toText(), rs->Fields(4).toText(),
                                     script::countDownText(rs->Fields(5))});
    return script;
}

} // namespace app
