// SPDX-License-Identifier: MIT
#pragma once
#include <QPointer>
#include <QWidget>

class QGroupBox;
class QPlainTextEdit;

// The special key picker: a small window that floats above the others,
// under the quick window, whose 38 buttons write into the quick window's
// key box. At most one exists; it is created when first shown and again
// after the user has closed it.
class frmSpecialKey : public QWidget {
    Q_OBJECT
public:
    // Shows the picker for this quick window and key box: creates and places
    // it when none is open, otherwise shows the open one where it stands.
    static void showFor(QWidget* quickWindow, QPlainTextEdit* txtKey);
    // The open picker, or null.
    static frmSpecialKey* instance();

    ~frmSpecialKey() override;

    // Keeps the picker on top and places it under the quick window.
    void Form_Load();

    QGroupBox* Frame3 = nullptr;

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    frmSpecialKey(QWidget* quickWindow, QPlainTextEdit* txtKey);

    QPointer<QWidget> quickWindow_;
    QPointer<QPlainTextEdit> txtKey_;
    static QPointer<frmSpecialKey> instance_;
};
