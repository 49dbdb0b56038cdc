// SPDX-License-Identifier: MIT
#include "keys/kde/RunRecord.h"
#include "keys/process/TargetProcess.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <unistd.h>

namespace keys::kde {

RunRecord::RunRecord()
{
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    const QString display =
        QFileInfo(qEnvironmentVariable("WAYLAND_DISPLAY", QStringLiteral("wayland-0"))).fileName();
    if (!runtime.isEmpty())
        path_ = runtime + QStringLiteral("/typomat-run-") + display;
}

void RunRecord::keep(std::uint32_t userLayout) const
{
    if (path_.isEmpty())
        return;
    // Without the record nothing is lost while this run lives: it types on.
    const QByteArray line =
        QByteArray::number(getpid()) + ' ' + QByteArray::number(userLayout) + '\n';
    QSaveFile file(path_);
    if (file.open(QIODevice::WriteOnly) && file.write(line) == line.size())
        file.commit();
}

void RunRecord::clear() const
{
    if (!path_.isEmpty())
        QFile::remove(path_);
}

std::optional<std::uint32_t> RunRecord::leftByEndedRun() const
{
    QFile file(path_);
    if (path_.isEmpty() || !file.open(QIODevice::ReadOnly))
        return std::nullopt;
    const QList<QByteArray> fields = file.readLine(64).trimmed().split(' ');
    bool pidRead = false;
    bool layoutRead = false;
    const long pid = fields.value(0).toLong(&pidRead);
    const std::uint32_t layout = fields.value(1).toUInt(&layoutRead);
    if (pidRead && pid > 0 && (pid == getpid() || !process::processEnded(pid)))
        return std::nullopt;
    clear();
    if (!pidRead || !layoutRead)
        return std::nullopt;
    return layout;
}

} // namespace keys::kde
