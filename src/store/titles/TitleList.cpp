// SPDX-License-Identifier: MIT
#include "store/titles/TitleList.h"

#include "ui/Dialogs.h"
#include "store/Database.h"

#include <QComboBox>

namespace titles {

namespace {

const QString kAppTitle = QStringLiteral("Typomat");

store::Recordset& titleSet()
{
    if (!store::rsTitle)
        throw store::DbError(QStringLiteral("The title list is not open."));
    return *store::rsTitle;
}

// Leaves rsTitle on the first row whose column 0 equals text; false when no
// row does (the set then stands at its end).
bool seekTitle(store::Recordset& rs, const QString& text)
{
    rs.MoveFirst();
    for (; !rs.AtEnd(); rs.MoveNext())
        if (rs.Fields(0).equalsText(text))
            return true;
    return false;
}

// Sets the edit text without selecting an entry (an editable combo box
// selects the first entry added to an empty list by itself).
void setTextOnly(QComboBox* cboType, const QString& text)
{
    cboType->setCurrentIndex(-1);
    cboType->setEditText(text);
}

// Runs a write of the row found. When another Typomat window changed the
// table first, the list is filled again from the table, the box keeping its
// text, so that the title can be chosen again as it is stored now.
template <class Write>
void writeFound(QComboBox* cboType, Write write)
{
    try {
        write();
    } catch (const store::RecordChanged&) {
        const QString text = cboType->currentText();
        titleSet().Requery();
        Fill(cboType);
        setTextOnly(cboType, text);
        throw;
    }
}

} // namespace

void Fill(QComboBox* cboType)
{
    store::Recordset& rs = titleSet();
    cboType->clear();
    QStringList texts;
    rs.MoveFirst();
    for (; !rs.AtEnd(); rs.MoveNext())
        texts << rs.Fields(0).toText();
    cboType->addItems(texts);
    setTextOnly(cboType, QString());
}

void Add(QComboBox* cboType, bool makeCurrent)
{
    store::Recordset& rs = titleSet();
    const QString text = ui::dialogs().InputBox(QStringLiteral("Add Title"), kAppTitle);
    if (text.isEmpty())
        return;
    rs.AddNew();
    rs.SetField(0, text);
    rs.Update();

    const int index = cboType->currentIndex();
    const QString current = cboType->currentText();
    cboType->addItem(text);
    if (makeCurrent) {
        setTextOnly(cboType, text);
    } else {
        cboType->setCurrentIndex(index);
        cboType->setEditText(current);
    }
}

void Rename(QComboBox* cboType)
{
    store::Recordset& rs = titleSet();
    const QString current = cboType->currentText();
    if (current.isEmpty() || !seekTitle(rs, current))
        return;
    const QString text =
        ui::dialogs().InputBox(QStringLiteral("Rename Title"), kAppTitle, current);
    if (text.isEmpty())
        return;
    writeFound(cboType, [&rs, &text] {
        rs.Edit();
        rs.SetField(0, text);
        rs.Update();
    });
    Fill(cboType);
    setTextOnly(cboType, text);
}

bool Delete(QComboBox* cboType)
{
    store::Recordset& rs = titleSet();
    const QString current = cboType->currentText();
    if (current.isEmpty())
        return false;
    const QString question = QStringLiteral("Do You Want To Delete \"%1\"").arg(current);
    if (ui::dialogs().MsgBox(question, ui::vbYesNo | ui::vbCritical, kAppTitle) != ui::vbYes)
        return false;
    if (!seekTitle(rs, current))
        return false;
    writeFound(cboType, [&rs] { rs.Delete(); });
    Fill(cboType);
    return true;
}

} // namespace titles
