// SPDX-License-Identifier: MIT
#pragma once
// A quick window over a fresh program folder, with scripted dialogs and a
// recording key sender installed for as long as the fixture lives.
#include "TempFolder.h"
#include "settings/ProgramFolder.h"
#include "ScriptedDialogs.h"
#include "RecordingKeySender.h"
#include "quick/frmQuick.h"
#include "store/Database.h"

#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QStringList>
#include <QTest>
#include <memory>

namespace quicktest {

// Marks a column that holds no value, in seeded and read-back rows.
inline const QString kNull = QStringLiteral("<null>");

using Rows = QList<QStringList>;

inline void seed(const QString& table, const Rows& rows)
{
    auto db = store::Database::open(app::databaseFilePath());
    auto rs = db->OpenRecordset(table);
    for (const QStringList& row : rows) {
        rs->AddNew();
        for (int i = 0; i < row.size(); ++i)
            if (row[i] != kNull)
                rs->SetField(i, row[i]);
        rs->Update();
    }
}

// Every row of the table as stored in the file, Null shown as kNull.
inline Rows rowsOf(const QString& table)
{
    auto db = store::Database::open(app::databaseFilePath());
    auto rs = db->OpenRecordset(table);
    Rows rows;
    if (rs->RecordCount() == 0)
        return rows;
    for (rs->MoveFirst(); !rs->AtEnd(); rs->MoveNext()) {
        QStringList row;
        for (int i = 0; i < rs->fieldCount(); ++i)
            row << (rs->Fields(i).isNull() ? kNull : rs->Fields(i).toText());
        rows << row;
    }
    return rows;
}

inline QStringList entries(const QComboBox* box)
{
    QStringList list;
    for (int i = 0; i < box->count(); ++i)
        list << box->itemText(i);
    return list;
}

// A user's pick of a list entry.
inline void pick(QComboBox* box, const QString& entry, int occurrence = 0)
{
    int index = -1;
    for (int i = 0; i < box->count(); ++i)
        if (box->itemText(i) == entry && occurrence-- == 0) {
            index = i;
            break;
        }
    Q_ASSERT(index >= 0);
    box->setCurrentIndex(index);
    Q_EMIT box->activated(index);
}

struct Fixture {
    testsupport::TempProgramFolder folder;
    ui::ScriptedDialogs dialogs;
    keys::RecordingKeySender sender;
    std::unique_ptr<frmQuick> w;

    explicit Fixture(const QStringList& titles = {}, const Rows& items = {})
    {
        ui::installDialogs(&dialogs);
        keys::installKeySender(&sender);
        Rows titleRows;
        for (const QString& t : titles)
            titleRows << QStringList{t};
        seed(QStringLiteral("Title"), titleRows);
        seed(QStringLiteral("KeyQuick"), items);
        w = std::make_unique<frmQuick>();
    }
    ~Fixture()
    {
        w.reset();
        store::rsItem.reset();
        store::rsTitle.reset();
        store::dbMain.reset();
        store::wsMain.reset();
        keys::installKeySender(nullptr);
        ui::installDialogs(nullptr);
    }

    Rows items() const { return rowsOf(QStringLiteral("KeyQuick")); }
    QStringList shown() const
    {
        return {w->cboType->currentText(), w->cboItem->currentText(),
                w->txtKey->toPlainText(), w->txtDescription->text()};
    }
    void pickTitle(const QString& t) { pick(w->cboType, t); }
    void pickItem(const QString& name, int occurrence = 0) { pick(w->cboItem, name, occurrence); }
    void choose(const QString& title, const QString& item, int occurrence = 0)
    {
        pickTitle(title);
        pickItem(item, occurrence);
    }
    // Shows the window and waits until it is the active one.
    bool showActive()
    {
        w->show();
        QApplication::setActiveWindow(w.get());
        return QTest::qWaitForWindowActive(w.get());
    }
    void type(QComboBox* box, const QString& text) { box->setEditText(text); }
    void answer(const QString& text) { dialogs.inputAnswers.push_back(text); }
    void answerYes() { dialogs.messageAnswers.push_back(ui::vbYes); }
};

} // namespace quicktest
