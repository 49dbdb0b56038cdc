// SPDX-License-Identifier: MIT
#include "store/Database.h"

#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>
#include <sqlite3.h>

#include <signal.h>

// A process saving rows is killed (SIGKILL) at random moments; every row
// whose Update had returned must be there afterwards, in a sound file.
class CrashSafetyTest : public QObject {
    Q_OBJECT

    static QString integrityCheck(const QString& path)
    {
        sqlite3* db = nullptr;
        sqlite3_open_v2(path.toUtf8().constData(), &db, SQLITE_OPEN_READWRITE, nullptr);  // rolls a hot journal back
        sqlite3_stmt* stmt = nullptr;
        sqlite3_prepare_v2(db, "PRAGMA integrity_check", -1, &stmt, nullptr);
        QString result;
        if (sqlite3_step(stmt) == SQLITE_ROW)
            result = QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(stmt, 0)));
        sqlite3_finalize(stmt);
        sqlite3_close(db);
        return result;
    }

    static qint64 lastReported(const QByteArray& output)
    {
        // Only whole lines count: a line cut by the kill was never reported.
        const QList<QByteArray> lines = output.split('\n');
        for (auto it = lines.crbegin(); it != lines.crend(); ++it)
            if (!it->isEmpty() && (it != lines.crbegin()))
                return it->toLongLong();
        return 0;
    }

private Q_SLOTS:
    void everyReturnedUpdateSurvivesAKill()
    {
        const QString writer = QCoreApplication::applicationDirPath() + QStringLiteral("/store_writer");
        QVERIFY(QFile::exists(writer));
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("Typomat.mdb"));
        store::Database::open(path);  // create the tables

        qint64 reported = 0;
        for (int round = 0; round < 20; ++round) {
            QProcess process;
            process.start(writer, {path});
            QVERIFY(process.waitForStarted());
            QTest::qWait(int(QRandomGenerator::global()->bounded(30, 250)));
            ::kill(static_cast<pid_t>(process.processId()), SIGKILL);
            QVERIFY(process.waitForFinished(5000));
            const qint64 last = lastReported(process.readAllStandardOutput());
            reported = std::max(reported, last);

            QCOMPARE(integrityCheck(path), QStringLiteral("ok"));
            auto db = store::Database::open(path);
            auto rs = db->OpenRecordset(QStringLiteral("KeyScript"));
            QVERIFY2(rs->RecordCount() >= reported,
                     qPrintable(QStringLiteral("round %1: %2 rows stored, %3 reported")
                                    .arg(round).arg(rs->RecordCount()).arg(reported)));
        }
        QVERIFY(reported > 0);
    }
};

QTEST_GUILESS_MAIN(CrashSafetyTest)
#include "tst_unit_crashsafety.moc"
