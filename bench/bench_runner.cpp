// SPDX-License-Identifier: MIT
// The runner against real timers: a script of 60 items of 00:00:01 each,
// delivered to a recording double. Timer1 is enabled when the window is
// created (t0); its first tick (t0 + 1 s) finds the script count-down at
// zero and enables Timer2, whose n-th tick (t0 + 1 s + n s) fires item n.
// Prints every firing's offset from that ideal time, the largest deviation
// and the drift of the last firing.
//
// Usage: bench_runner [items]   (default 60)
#include "TempFolder.h"
#include "settings/ProgramFolder.h"
#include "ScriptedDialogs.h"
#include "RecordingKeySender.h"
#include "script/frmScript.h"
#include "store/Database.h"
#include "store/OleDate.h"

#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include "TimedKeySender.h"

#include <QTimer>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

void seed(int items)
{
    auto db = store::Database::open(app::databaseFilePath());
    auto scripts = db->OpenRecordset(QStringLiteral("Script"));
    scripts->AddNew();
    scripts->SetField(0, QStringLiteral("Bench"));
    scripts->SetField(1, QString());
    scripts->SetField(2, 1);
    scripts->SetField(3, oledate::fromTime(0, 0, 0));
    scripts->Update();
    auto rs = db->OpenRecordset(QStringLiteral("KeyScript"));
    for (int i = 0; i < items; ++i) {
        rs->AddNew();
        rs->SetField(0, QStringLiteral("Bench"));
        rs->SetField(1, QStringLiteral("Item %1").arg(i + 1));
        rs->SetField(2, QStringLiteral("Target"));
        rs->SetField(3, QStringLiteral("line %1{ENTER}").arg(i + 1));
        rs->SetField(4, QString());
        rs->SetField(5, oledate::fromTime(0, 0, 1));
        rs->Update();
    }
}

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    const int items = argc > 1 ? std::atoi(argv[1]) : 60;
    QApplication application(argc, argv);
    testsupport::TempProgramFolder folder;
    ui::ScriptedDialogs dialogs;
    ui::installDialogs(&dialogs);
    testsupport::TimedKeySender sender;
    keys::installKeySender(&sender);
    seed(items);

    auto form = std::make_unique<frmScript>();   // Timer1 starts here
    sender.clock.start();
    form->cboScript->setCurrentIndex(0);
    Q_EMIT form->cboScript->activated(0);
    form->cmdStart_Click();

    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, &application, [&] {
        if (int(sender.sentAtNs.size()) >= items || sender.clock.elapsed() > (items + 10) * 1000)
            QCoreApplication::exit(0);
    });
    watch.start(100);
    application.exec();

    std::printf("items %d  fired %zu  messages %d\n", items, sender.sentAtNs.size(),
                dialogs.messageCount());
    double worst = 0;
    for (size_t n = 0; n < sender.sentAtNs.size(); ++n) {
        const double ideal = (double(n) + 2.0) * 1e3;   // ms after t0
        const double offset = double(sender.sentAtNs[n]) / 1e6 - ideal;
        worst = std::max(worst, std::fabs(offset));
        std::printf("%s%+7.2f", n % 10 ? " " : (n ? "\n  " : "  offsets in ms:\n  "), offset);
    }
    std::printf("\n");
    if (!sender.sentAtNs.empty()) {
        const double last = double(sender.sentAtNs.back()) / 1e6 - (double(sender.sentAtNs.size()) + 1.0) * 1e3;
        const double first = double(sender.sentAtNs.front()) / 1e6 - 2e3;
        std::printf("largest deviation %.2f ms  first firing %+.2f ms  last firing %+.2f ms  "
                    "drift first to last %+.2f ms\n",
                    worst, first, last, last - first);
    }
    form.reset();
    store::rsTitle.reset();
    store::rsItem.reset();
    store::rsScript.reset();
    store::dbMain.reset();
    keys::installKeySender(nullptr);
    ui::installDialogs(nullptr);
    return int(sender.sentAtNs.size()) == items ? 0 : 1;
}
