#include "ui/TextBox.h"

#include <QPlainTextEdit>
#include <QTextDocument>
#include <QVariant>

namespace ui {

namespace {
constexpr const char* kLoadedText = "typomatLoadedText";
constexpr const char* kLoadedRevision = "typomatLoadedRevision";

// The loaded text as the box holds it: each line ending one paragraph break.
QString asParagraphs(QString text)
{
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    text.replace(u'\r', u'\n');
    text.replace(QChar::ParagraphSeparator, u'\n');
    return text;
}
} // namespace

void setExactText(QPlainTextEdit* box, const QString& text)
{
    box->setPlainText(text);
    box->setProperty(kLoadedText, text);
    box->setProperty(kLoadedRevision, box->document()->revision());
}

QString exactText(const QPlainTextEdit* box)
{
    QString text = box->document()->toRawText();
    text.replace(QChar::ParagraphSeparator, u'\n');
    const QVariant revision = box->property(kLoadedRevision);
    const QString loaded = box->property(kLoadedText).toString();
    if (revision.isValid() && revision.toInt() == box->document()->revision()
        && asParagraphs(loaded) == text)
        return loaded;
    return text;
}

} // namespace ui
