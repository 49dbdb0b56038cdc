// SPDX-License-Identifier: MIT
#pragma once
// Shared set-up of the script window tests: a fresh program folder, the
// scripted dialogs, the recording key sender, a clock moved by hand, and
// helpers to seed the key database before the window loads.
#include "TempFolder.h"
#include "settings/ProgramFolder.h"
#include "ScriptedDialogs.h"
#include "RecordingKeySender.h"
#include "ManualClock.h"
#include "script/SteadyTimer.h"
#include "script/frmScript.h"
#include "store/Database.h"
#include "store/OleDate.h"

#include <QComboBox>
#include <QTreeWidget>
#include <QtTest>

#include <functional>
#include <memory>

namespace scripttest {

struct ItemRecord {
    QString script, item, title, keys, description;
    store::Value countDown;
};

inline oledate::OleDate seconds(int s)
{
    return oledate::fromTime(s / 3600, s / 60 % 60, s % 60);
}

class Fixture {
public:
    Fixture()
    {
        ui::installDialogs(&dialogs);
        keys::installKeySender(&sender);
        script::installClock(&clock);
    }
    ~Fixture()
    {
        script::installClock(nullptr);
        keys::installKeySender(nullptr);
        ui::installDialogs(nullptr);
        store::rsTitle.reset();
        store::rsItem.reset();
        store::rsScript.reset();
        store::dbMain.reset();
        store::wsMain.reset();
    }

    // Opens the program folder's database on its own connection, for
    // seeding before the window loads and for checking afterwards.
    std::unique_ptr<store::Database> database() const
    {
        return store::Database::open(app::databaseFilePath());
    }

    void addScript(const QString& name, const QString& description, const store::Value& mode,
                   const store::Value& time) const
    {
        auto db = database();
        auto rs = db->OpenRecordset(QStringLiteral("Script"));
        rs->AddNew();
        rs->SetField(0, name);
        rs->SetField(1, description);
        rs->SetField(2, mode);
        rs->SetField(3, time);
        rs->Update();
    }

    void addItems(const std::vector<ItemRecord>& records) const
    {
        auto db = database();
        auto rs = db->OpenRecordset(QStringLiteral("KeyScript"));
        for (const ItemRecord& r : records) {
            rs->AddNew();
            rs->SetField(0, r.script);
            rs->SetField(1, r.item);
            rs->SetField(2, r.title);
            rs->SetField(3, r.keys);
            rs->SetField(4, r.description);
            rs->SetField(5, r.countDown);
            rs->Update();
        }
    }

    // Every row of a table, each as the text of its fields.
    std::vector<QStringList> rows(const QString& table) const
    {
        auto db = database();
        auto rs = db->OpenRecordset(table);
        std::vector<QStringList> all;
        for (rs->MoveFirst(); !rs->AtEnd(); rs->MoveNext()) {
            QStringList fields;
            for (int i = 0; i < rs->fieldCount(); ++i)
                fields << rs->Fields(i).toText();
            all.push_back(fields);
        }
        return all;
    }

    testsupport::TempProgramFolder folder;
    ui::ScriptedDialogs dialogs;
    keys::RecordingKeySender sender;
    script::ManualClock clock{QDateTime(QDate(2026, 12, 7), QTime(10, 0, 0))};
};

// The user picks an entry of the script list.
inline void pickScript(frmScript& form, int index)
{
    form.cboScript->setCurrentIndex(index);
    Q_EMIT form.cboScript->activated(index);
}

inline void pickScript(frmScript& form, const QString& name)
{
    const int index = form.cboScript->findText(name);
    QVERIFY2(index >= 0, qPrintable(name));
    pickScript(form, index);
}

// The texts of one column of lvScript, top to bottom.
inline QStringList column(const frmScript& form, int column)
{
    QStringList texts;
    for (int i = 0; i < form.lvScript->topLevelItemCount(); ++i)
        texts << form.lvScript->topLevelItem(i)->text(column);
    return texts;
}

inline QList<bool> checks(const frmScript& form)
{
    QList<bool> states;
    for (int i = 0; i < form.lvScript->topLevelItemCount(); ++i)
        states << (form.lvScript->topLevelItem(i)->checkState(0) == Qt::Checked);
    return states;
}

// A script window whose real timers stay still: the tests tick by hand.
template <class Window = frmScript>
std::unique_ptr<Window> stillWindow()
{
    auto form = std::make_unique<Window>();
    form->Timer1->setEnabled(false);
    return form;
}

} // namespace scripttest
