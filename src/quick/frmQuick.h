#pragma once
#include <QMainWindow>

class QComboBox;
class QLineEdit;
class QPlainTextEdit;

// The main window of quick mode.
class frmQuick : public QMainWindow {
    Q_OBJECT
public:
    explicit frmQuick(QWidget* parent = nullptr);
    ~frmQuick() override;

    QComboBox* cboType = nullptr;
    QComboBox* cboItem = nullptr;
    QLineEdit* txtDescription = nullptr;
    QPlainTextEdit* txtKey = nullptr;
};
