// SPDX-License-Identifier: MIT
#pragma once
#include <QString>
#include <QtGlobal>

#include <optional>

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

// [Keys] CommandPauseMs: how long typing waits after a key that may open or
// switch windows, for a target that gives no sign of having handled it.
// Nothing when the key is missing or its value is not a whole number of
// milliseconds from 0 to maxCommandPauseMs; the key sender then keeps its
// own default. The file is only read, never written.
inline constexpr int maxCommandPauseMs = 10000;
std::optional<int> readCommandPauseMs();

} // namespace app
