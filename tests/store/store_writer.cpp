// SPDX-License-Identifier: MIT
// Saves KeyScript rows in a loop and prints the number of each row after its
// Update has returned, so that a test can kill it at any moment and check
// that every reported row survived.
#include "store/Database.h"

#include <QCoreApplication>
#include <cstdio>

int main(int argc, char** argv)
{
    QCoreApplication application(argc, argv);
    if (argc != 2)
        return 2;
    auto db = store::Database::open(QString::fromLocal8Bit(argv[1]));
    auto rs = db->OpenRecordset(QStringLiteral("KeyScript"));
    for (qint64 n = rs->RecordCount() + 1;; ++n) {
        rs->AddNew();
        rs->SetField(0, QStringLiteral("crash"));
        rs->SetField(1, QString::number(n));
        rs->SetField(3, QStringLiteral("{ENTER}").repeated(int(n % 50)));
        rs->SetField(5, oledate::fromTime(0, 0, int(n % 60)));
        rs->Update();
        std::printf("%lld\n", static_cast<long long>(n));
        std::fflush(stdout);
    }
}
