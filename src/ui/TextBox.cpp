// SPDX-License-Identifier: MIT
#include "ui/TextBox.h"

#include <QCoreApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTextDocument>
#include <QVariant>

#include <limits>

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
// Hands Shift+Enter on to the box as a plain Enter.
class ShiftEnterAsEnter final : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() != QEvent::KeyPress)
            return QObject::eventFilter(watched, event);
        auto* press = static_cast<QKeyEvent*>(event);
        const bool enter = press->key() == Qt::Key_Return || press->key() == Qt::Key_Enter;
        if (!enter || !(press->modifiers() & Qt::ShiftModifier))
            return false;
        QKeyEvent plain(QEvent::KeyPress, press->key(), press->modifiers() & ~Qt::ShiftModifier,
                        press->text(), press->isAutoRepeat(), press->count());
        QCoreApplication::sendEvent(watched, &plain);
        return true;
    }
};

} // namespace

void makeMultiLineBox(QPlainTextEdit* box)
{
    box->setTabChangesFocus(true);
    box->installEventFilter(new ShiftEnterAsEnter(box));
}

void liftLengthLimit(QLineEdit* box)
{
    box->setMaxLength(std::numeric_limits<int>::max());
}

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
