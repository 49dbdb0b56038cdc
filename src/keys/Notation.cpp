#include "keys/Notation.h"

#include <QList>

namespace keys {

// Placeholder until the notation reader lands: plain characters only.
KeyEvents parseKeyString(const QString& text)
{
    KeyEvents events;
    for (char32_t c : text.toUcs4())
        events.push_back(KeyEvent::ofCharacter(c));
    return events;
}

QString describe(const KeyEvent& event)
{
    if (event.kind == KeyEvent::Kind::Character)
        return QString::fromUcs4(&event.character, 1);
    return QStringLiteral("{%1}").arg(static_cast<int>(event.special));
}

} // namespace keys
