// SPDX-License-Identifier: MIT
#pragma once
#include <QString>
#include <optional>

namespace app::profile {

// A small reader and writer for profile files: sections in [brackets] and
// key=value lines. Section and key names match without regard to case; the
// first matching section and key count. Lines starting with ';' are comments.
// The file is 8-bit text, read and written as Latin-1 so that every byte
// round-trips.

// The value of the key, trimmed of blanks (and of one pair of enclosing
// quotes). No value when the file cannot be read, or the section or the key
// is missing.
std::optional<QString> readString(const QString& path, const QString& section,
                                  const QString& key);

// Sets the key's value: replaces the value of an existing key, or adds the
// key at the end of its section, or adds the section at the end of the file;
// a missing file is created. Every other line keeps its bytes. The new
// content goes to a temporary file in the same folder that then replaces the
// old file, so a crash never leaves a half-written file. A value is cut at
// its first line break. Returns false when nothing was written (names that
// cannot be stored, a file that cannot be read or written).
bool writeString(const QString& path, const QString& section, const QString& key,
                 const QString& value);

} // namespace app::profile
