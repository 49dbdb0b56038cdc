// SPDX-License-Identifier: MIT
#include "settings/ProfileFile.h"

#include <QFile>
#include <QSaveFile>
#include <vector>

namespace app::profile {

namespace {

// One line of the file with its own line end ("\n", "\r\n", or none for a
// last line without one).
struct Line {
    QByteArray text;
    QByteArray end;
};

std::vector<Line> splitLines(const QByteArray& bytes)
{
    std::vector<Line> lines;
    qsizetype start = 0;
    while (start < bytes.size()) {
        const qsizetype newline = bytes.indexOf('\n', start);
        if (newline < 0) {
            lines.push_back({bytes.mid(start), {}});
            break;
        }
        qsizetype textEnd = newline;
        if (textEnd > start && bytes.at(textEnd - 1) == '\r')
            --textEnd;
        lines.push_back({bytes.mid(start, textEnd - start), bytes.mid(textEnd, newline + 1 - textEnd)});
        start = newline + 1;
    }
    return lines;
}

QString text(const QByteArray& bytes)
{
    return QString::fromLatin1(bytes);
}

bool sameName(const QString& a, const QString& b)
{
    return a.compare(b, Qt::CaseInsensitive) == 0;
}

// "[name]" gives name; other lines give nothing.
std::optional<QString> sectionOf(const Line& line)
{
    const QString trimmed = text(line.text).trimmed();
    if (!trimmed.startsWith(u'['))
        return std::nullopt;
    const qsizetype close = trimmed.indexOf(u']');
    return trimmed.mid(1, close < 0 ? -1 : close - 1).trimmed();
}

bool isComment(const QString& trimmed)
{
    return trimmed.startsWith(u';');
}

// "key=value" gives key (trimmed); comments and lines without '=' give nothing.
std::optional<QString> keyOf(const Line& line)
{
    const QString whole = text(line.text);
    const QString trimmed = whole.trimmed();
    const qsizetype equals = whole.indexOf(u'=');
    if (equals < 0 || isComment(trimmed) || trimmed.startsWith(u'['))
        return std::nullopt;
    return whole.left(equals).trimmed();
}

QString valueOf(const Line& line)
{
    const QString whole = text(line.text);
    QString value = whole.mid(whole.indexOf(u'=') + 1).trimmed();
    if (value.size() >= 2 && (value.front() == u'"' || value.front() == u'\'')
        && value.back() == value.front())
        value = value.mid(1, value.size() - 2);
    return value;
}

bool isBlank(const Line& line)
{
    return line.text.trimmed().isEmpty();
}

// Where a section's lines are: [first, end) after its header line.
struct SectionRange {
    std::size_t header;
    std::size_t end;
};

std::optional<SectionRange> findSection(const std::vector<Line>& lines, const QString& section)
{
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const auto name = sectionOf(lines[i]);
        if (!name || !sameName(*name, section))
            continue;
        std::size_t end = i + 1;
        while (end < lines.size() && !sectionOf(lines[end]))
            ++end;
        return SectionRange{i, end};
    }
    return std::nullopt;
}

std::optional<std::size_t> findKey(const std::vector<Line>& lines, SectionRange range,
                                   const QString& key)
{
    for (std::size_t i = range.header + 1; i < range.end; ++i) {
        const auto name = keyOf(lines[i]);
        if (name && sameName(*name, key))
            return i;
    }
    return std::nullopt;
}

std::optional<QByteArray> readBytes(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    return file.readAll();
}

// The line end the file already uses; "\n" for a file without any.
QByteArray lineEndOf(const std::vector<Line>& lines)
{
    for (const Line& line : lines)
        if (!line.end.isEmpty())
            return line.end;
    return QByteArrayLiteral("\n");
}

bool validNames(const QString& section, const QString& key)
{
    const auto hasLineBreak = [](const QString& s) {
        return s.contains(u'\n') || s.contains(u'\r');
    };
    const QString trimmedKey = key.trimmed();
    return !section.trimmed().isEmpty() && !section.contains(u']') && !hasLineBreak(section)
        && !trimmedKey.isEmpty() && !key.contains(u'=') && !hasLineBreak(key)
        && !isComment(trimmedKey) && !trimmedKey.startsWith(u'[');
}

QString firstLineOf(const QString& value)
{
    qsizetype cut = value.size();
    for (QChar c : {QChar(u'\n'), QChar(u'\r')}) {
        const qsizetype at = value.indexOf(c);
        if (at >= 0 && at < cut)
            cut = at;
    }
    return value.left(cut);
}

void setKey(std::vector<Line>& lines, const QString& section, const QString& key,
            const QByteArray& value)
{
    const QByteArray eol = lineEndOf(lines);
    const auto range = findSection(lines, section);
    if (!range) {
        if (!lines.empty() && lines.back().end.isEmpty())
            lines.back().end = eol;
        if (!lines.empty() && !isBlank(lines.back()))
            lines.push_back({{}, eol});
        lines.push_back({'[' + section.toLatin1() + ']', eol});
        lines.push_back({key.toLatin1() + '=' + value, eol});
        return;
    }
    if (const auto at = findKey(lines, *range, key)) {
        lines[*at].text = keyOf(lines[*at])->toLatin1() + '=' + value;
        return;
    }
    std::size_t last = range->header;
    for (std::size_t i = range->header + 1; i < range->end; ++i)
        if (!isBlank(lines[i]))
            last = i;
    if (lines[last].end.isEmpty())
        lines[last].end = eol;
    lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(last + 1),
                 Line{key.toLatin1() + '=' + value, eol});
}

} // namespace

std::optional<QString> readString(const QString& path, const QString& section, const QString& key)
{
    const auto bytes = readBytes(path);
    if (!bytes)
        return std::nullopt;
    const std::vector<Line> lines = splitLines(*bytes);
    const auto range = findSection(lines, section.trimmed());
    if (!range)
        return std::nullopt;
    const auto at = findKey(lines, *range, key.trimmed());
    if (!at)
        return std::nullopt;
    return valueOf(lines[*at]);
}

bool writeString(const QString& path, const QString& section, const QString& key,
                 const QString& value)
{
    if (!validNames(section, key))
        return false;
    QByteArray bytes;
    if (QFile::exists(path)) {
        const auto existing = readBytes(path);
        if (!existing)
            return false;
        bytes = *existing;
    }
    std::vector<Line> lines = splitLines(bytes);
    setKey(lines, section.trimmed(), key.trimmed(), firstLineOf(value).toLatin1());

    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    for (const Line& line : lines) {
        file.write(line.text);
        file.write(line.end);
    }
    return file.commit();
}

} // namespace app::profile
