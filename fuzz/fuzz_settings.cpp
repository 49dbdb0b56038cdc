// SPDX-License-Identifier: MIT
// Feeds arbitrary bytes to the settings-file reader and writer as the file's
// content. Reading must never crash; a write that reports success must read
// back the value written and keep the file's other lines.
#include "settings/ProfileFile.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <unistd.h>

namespace {

QString scratchFile()
{
    // Never destroyed, so that the removal at exit can still name it.
    static const QString* path = [] {
        auto* p = new QString(QDir::tempPath()
                              + QStringLiteral("/typomat-fuzz-settings-%1.ini").arg(::getpid()));
        // libFuzzer ends the process through exit(): the file goes with it.
        std::atexit([] { QFile::remove(scratchFile()); });
        return p;
    }();
    return *path;
}

void store(const QByteArray& bytes)
{
    QFile f(scratchFile());
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        std::abort();
    f.write(bytes);
}

QByteArray load()
{
    QFile f(scratchFile());
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

[[noreturn]] void fault(const char* what)
{
    std::fprintf(stderr, "%s\n", what);
    std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    store(bytes);
    const QString path = scratchFile();
    for (const char* section : {"Startup", "startup", "", "a=b"})
        app::profile::readString(path, QString::fromLatin1(section), QStringLiteral("Startup"));

    if (app::profile::writeString(path, QStringLiteral("Startup"), QStringLiteral("Startup"),
                                  QStringLiteral("2"))) {
        const auto value = app::profile::readString(path, QStringLiteral("Startup"),
                                                    QStringLiteral("Startup"));
        if (!value || *value != QStringLiteral("2"))
            fault("a successful write does not read back");
        // Lines that are neither a section nor a key=value line survive.
        const QByteArray after = load();
        for (const QByteArray& line : bytes.split('\n')) {
            const QByteArray trimmed = line.trimmed();
            if (trimmed.isEmpty() || trimmed.startsWith('[') || trimmed.contains('='))
                continue;
            if (!after.contains(line))
                fault("the write lost a line of the file");
        }
    }
    return 0;
}
