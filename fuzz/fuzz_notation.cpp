// SPDX-License-Identifier: MIT
// Feeds arbitrary text to the key-notation reader. The reader must either
// return keys that it reads back the same from their description, or throw
// NotationError with a description and a position inside the text (or just
// after it). Anything else stops the fuzzer.
#include "keys/Notation.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

[[noreturn]] void fault(const char* what, const QString& text)
{
    std::fprintf(stderr, "%s\ninput: %s\n", what, text.toUtf8().constData());
    std::abort();
}

// Whole characters: a surrogate pair counts once, a lone half counts once.
qsizetype characterCount(const QString& text)
{
    qsizetype count = 0;
    for (qsizetype i = 0; i < text.size(); ++i, ++count)
        if (text.at(i).isHighSurrogate() && i + 1 < text.size() && text.at(i + 1).isLowSurrogate())
            ++i;
    return count;
}

void check(const QString& text)
{
    keys::KeyEvents events;
    try {
        events = keys::parseKeyString(text);
    } catch (const keys::NotationError& error) {
        if (error.position() < 1 || error.position() > characterCount(text) + 1)
            fault("error position outside the text", text);
        if (!error.description().contains(QStringLiteral(" at character ")))
            fault("error description without its place", text);
        return;
    } catch (...) {
        fault("unexpected exception", text);
    }
    try {
        if (keys::parseKeyString(keys::describe(events)) != events)
            fault("described keys read back differently", text);
    } catch (const keys::NotationError&) {
        fault("described keys cannot be read back", text);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const char* bytes = reinterpret_cast<const char*>(data);
    const auto length = static_cast<qsizetype>(size);
    check(QString::fromUtf8(bytes, length));
    // The same bytes as UTF-16 units reach lone surrogates too.
    QString units(length / 2, Qt::Uninitialized);
    std::memcpy(units.data(), data, std::size_t(units.size()) * 2);
    check(units);
    return 0;
}
