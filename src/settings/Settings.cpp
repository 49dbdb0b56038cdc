// SPDX-License-Identifier: MIT
#include "settings/Settings.h"

#include "settings/LeadingNumber.h"
#include "settings/ProfileFile.h"
#include "settings/ProgramFolder.h"

namespace app {

namespace {
constexpr qsizetype valueBufferSize = 20;
constexpr qint16 scriptMode = 2;
} // namespace

qint16 StartupMode = 0;

QString ReadIniValue(const QString& section, const QString& key)
{
    const auto value = profile::readString(settingsFilePath(), section, key);
    QString buffer = value ? value->left(valueBufferSize - 1) : QString();
    buffer.resize(valueBufferSize, QChar(u'\0'));
    return buffer;
}

void WriteIniValue(const QString& section, const QString& key, const QString& value)
{
    profile::writeString(settingsFilePath(), section, key, value);
}

qint16 startupModeOf(QStringView value)
{
    return roundToInt16(leadingNumber(value)).value_or(scriptMode);
}

qint16 readStartupMode()
{
    return startupModeOf(ReadIniValue(QStringLiteral("Startup"), QStringLiteral("Startup")));
}

std::optional<int> readCommandPauseMs()
{
    const auto value = profile::readString(settingsFilePath(), QStringLiteral("Keys"),
                                           QStringLiteral("CommandPauseMs"));
    if (!value)
        return std::nullopt;
    bool ok = false;
    const int ms = value->toInt(&ok);
    if (!ok || ms < 0 || ms > maxCommandPauseMs)
        return std::nullopt;
    return ms;
}

} // namespace app
