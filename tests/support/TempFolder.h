// SPDX-License-Identifier: MIT
#pragma once
#include <QString>
#include <QTemporaryDir>

namespace testsupport {

// A fresh empty folder installed as the program folder for the lifetime of
// the object (settings file and database go there).
class TempProgramFolder {
public:
    TempProgramFolder();
    ~TempProgramFolder();
    QString path() const { return dir_.path(); }
    QString file(const QString& name) const { return dir_.filePath(name); }

private:
    QTemporaryDir dir_;
};

} // namespace testsupport
