// SPDX-License-Identifier: MIT
// Loading the script window and choosing a script of many items.
//
// For each size, in a process of its own (so that peak memory is that
// size's): a fresh program folder with one script of N KeyScript rows; the
// time to create the window (its load handler opens the database and lists
// the scripts), the time to choose the script (list filled), the time to
// show the filled list, and the process's peak memory. A plain list widget
// filled with N checked five-column rows is timed for comparison.
//
// Usage: bench_script_list [rows...]   (default: 32767 100000)
#include "TempFolder.h"
#include "settings/ProgramFolder.h"
#include "ScriptedDialogs.h"
#include "script/frmScript.h"
#include "script/SteadyTimer.h"
#include "store/Database.h"

#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QTreeWidget>

#include <sqlite3.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

// Writes the rows in one transaction straight through SQLite: the store
// commits every row durably, which would make seeding take minutes.
void seed(int rows)
{
    store::Database::open(app::databaseFilePath());   // creates the tables
    sqlite3* db = nullptr;
    if (sqlite3_open(app::databaseFilePath().toUtf8().constData(), &db) != SQLITE_OK) {
        std::fprintf(stderr, "cannot open the database\n");
        std::exit(1);
    }
    sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr);
    sqlite3_exec(db, "INSERT INTO Script VALUES ('Bench', 'many items', 1, 0.0)", nullptr, nullptr,
                 nullptr);
    sqlite3_stmt* insert = nullptr;
    sqlite3_prepare_v2(db, "INSERT INTO KeyScript VALUES ('Bench', ?, ?, ?, ?, ?)", -1, &insert,
                       nullptr);
    for (int i = 0; i < rows; ++i) {
        const QByteArray item = "Item " + QByteArray::number(i);
        const QByteArray title = "Untitled - Editor " + QByteArray::number(i % 7);
        const QByteArray keys = "Hello {ENTER}line " + QByteArray::number(i) + "{TAB}%{F4}";
        const QByteArray description = "Sends line " + QByteArray::number(i);
        sqlite3_bind_text(insert, 1, item.constData(), int(item.size()), SQLITE_TRANSIENT);
        sqlite3_bind_text(insert, 2, title.constData(), int(title.size()), SQLITE_TRANSIENT);
        sqlite3_bind_text(insert, 3, keys.constData(), int(keys.size()), SQLITE_TRANSIENT);
        sqlite3_bind_text(insert, 4, description.constData(), int(description.size()),
                          SQLITE_TRANSIENT);
        sqlite3_bind_double(insert, 5, (1 + i % 90) / 86400.0);
        sqlite3_step(insert);
        sqlite3_reset(insert);
    }
    sqlite3_finalize(insert);
    sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
    sqlite3_close(db);
}

// The offscreen platform's notes about window hints are noise here.
QtMessageHandler standardHandler = nullptr;

void quietHints(QtMsgType type, const QMessageLogContext& context, const QString& message)
{
    if (!message.contains(QLatin1String("propagateSizeHints")))
        standardHandler(type, context, message);
}

double seconds(const QElapsedTimer& t)
{
    return double(t.nsecsElapsed()) / 1e9;
}

double plainListFill(int rows)
{
    QTreeWidget list;
    list.setColumnCount(5);
    list.setUniformRowHeights(true);
    QElapsedTimer t;
    t.start();
    QList<QTreeWidgetItem*> items;
    items.reserve(rows);
    for (int i = 0; i < rows; ++i) {
        auto* row = new QTreeWidgetItem(QStringList{"Item", "Title", "Keys", "Description", "00:00:01"});
        row->setCheckState(0, Qt::Checked);
        items.append(row);
    }
    list.addTopLevelItems(items);
    return seconds(t);
}

int runOne(int rows)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    standardHandler = qInstallMessageHandler(quietHints);
    int argc = 1;
    char name[] = "bench_script_list";
    char* argv[] = {name, nullptr};
    QApplication application(argc, argv);
    testsupport::TempProgramFolder folder;
    ui::ScriptedDialogs dialogs;   // any message would be recorded, not shown
    ui::installDialogs(&dialogs);

    QElapsedTimer t;
    t.start();
    seed(rows);
    const double seeding = seconds(t);

    rusage seeded{};
    getrusage(RUSAGE_SELF, &seeded);
    t.restart();
    auto form = std::make_unique<frmScript>();
    const double load = seconds(t);
    rusage loaded{};
    getrusage(RUSAGE_SELF, &loaded);
    form->Timer1->setEnabled(false);

    t.restart();
    form->cboScript->setCurrentIndex(0);
    Q_EMIT form->cboScript->activated(0);
    const double choose = seconds(t);
    const int listed = form->lvScript->topLevelItemCount();
    rusage chosen{};
    getrusage(RUSAGE_SELF, &chosen);

    t.restart();
    form->show();
    QApplication::processEvents();
    const double shown = seconds(t);

    t.restart();
    Q_EMIT form->cboScript->activated(0);
    const double chooseAgain = seconds(t);

    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);   // before the comparison list adds its own
    const double plain = plainListFill(rows);
    std::printf("rows %6d  listed %6d  Form_Load %.3f s  choose %.3f s  show %.3f s  "
                "choose again %.3f s  plain list %.3f s  peak %.1f MB (%.1f MB before load, "
                "%.1f MB after load, %.1f MB after choosing)  (seeding %.2f s, %d messages)\n",
                rows, listed, load, choose, shown, chooseAgain, plain, usage.ru_maxrss / 1024.0,
                seeded.ru_maxrss / 1024.0, loaded.ru_maxrss / 1024.0, chosen.ru_maxrss / 1024.0, seeding,
                dialogs.messageCount());
    std::fflush(stdout);
    form.reset();
    store::rsTitle.reset();
    store::rsItem.reset();
    store::rsScript.reset();
    store::dbMain.reset();
    ui::installDialogs(nullptr);
    return listed == rows ? 0 : 1;
}

} // namespace

int main(int argc, char** argv)
{
    std::vector<int> sizes;
    for (int i = 1; i < argc; ++i)
        sizes.push_back(std::atoi(argv[i]));
    if (sizes.empty())
        sizes = {32767, 100000};

    int failures = 0;
    for (int rows : sizes) {
        const pid_t child = fork();
        if (child == 0)
            _exit(runOne(rows));
        int status = 0;
        waitpid(child, &status, 0);
        if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
            ++failures;
    }
    return failures ? 1 : 0;
}
