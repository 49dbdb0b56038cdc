#pragma once
#include <QString>
#include <QtGlobal>

namespace app {

// The value of a key in the settings file, as a text of exactly 20
// characters: at most the first 19 characters of the value, then NUL
// characters. A missing file, section or key (or a file that cannot be read)
// gives 20 NULs.
QString ReadIniValue(const QString& section, const QString& key);

// Writes key=value into the section of the settings file, creating the file,
// the section or the key as needed. A failed write goes unreported.
void WriteIniValue(const QString& section, const QString& key, const QString& value);

// The startup mode last read: 0 no choice yet (About window), 1 quick mode,
// anything else script mode.
extern qint16 StartupMode;

// The startup mode of a settings value: its leading number rounded to a
// signed 16-bit integer. A number outside that range counts as any other
// number and gives 2 (script mode).
qint16 startupModeOf(QStringView value);

// Reads [Startup] Startup from the settings file and converts it.
qint16 readStartupMode();

} // namespace app
