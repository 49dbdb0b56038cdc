// SPDX-License-Identifier: MIT
#include "keys/Notation.h"
#include "keys/KeyErrorTexts.h"

#include <algorithm>
#include <string>
#include <string_view>

namespace keys {

namespace {

struct NamedKey {
    const char* name;
    SpecialKey key;
};

// The first name listed for a key is the one describe() writes.
constexpr NamedKey namedKeys[] = {
    {"BACKSPACE", SpecialKey::Backspace}, {"BS", SpecialKey::Backspace},
    {"BKSP", SpecialKey::Backspace},      {"BREAK", SpecialKey::Break},
    {"CAPSLOCK", SpecialKey::CapsLock},   {"DELETE", SpecialKey::Delete},
    {"DEL", SpecialKey::Delete},          {"DOWN", SpecialKey::Down},
    {"END", SpecialKey::End},             {"ENTER", SpecialKey::Enter},
    {"ESC", SpecialKey::Escape},          {"HELP", SpecialKey::Help},
    {"HOME", SpecialKey::Home},           {"INSERT", SpecialKey::Insert},
    {"INS", SpecialKey::Insert},          {"LEFT", SpecialKey::Left},
    {"NUMLOCK", SpecialKey::NumLock},     {"PGDN", SpecialKey::PageDown},
    {"PGUP", SpecialKey::PageUp},         {"PRTSC", SpecialKey::PrintScreen},
    {"RIGHT", SpecialKey::Right},         {"SCROLLLOCK", SpecialKey::ScrollLock},
    {"TAB", SpecialKey::Tab},             {"UP", SpecialKey::Up},
    {"F1", SpecialKey::F1},   {"F2", SpecialKey::F2},   {"F3", SpecialKey::F3},
    {"F4", SpecialKey::F4},   {"F5", SpecialKey::F5},   {"F6", SpecialKey::F6},
    {"F7", SpecialKey::F7},   {"F8", SpecialKey::F8},   {"F9", SpecialKey::F9},
    {"F10", SpecialKey::F10}, {"F11", SpecialKey::F11}, {"F12", SpecialKey::F12},
    {"F13", SpecialKey::F13}, {"F14", SpecialKey::F14}, {"F15", SpecialKey::F15},
    {"F16", SpecialKey::F16},
    {"ADD", SpecialKey::Add},             {"SUBTRACT", SpecialKey::Subtract},
    {"MULTIPLY", SpecialKey::Multiply},   {"DIVIDE", SpecialKey::Divide},
};

// Codes longer than this are shortened when quoted in an error.
constexpr std::size_t longestQuote = 40;

// Not QString::fromUcs4, which takes a leading U+FEFF or U+FFFE for a byte
// order mark.
QString toQString(std::u32string_view characters)
{
    QString text;
    text.reserve(qsizetype(characters.size()));
    for (char32_t c : characters) {
        if (QChar::requiresSurrogates(c)) {
            text += QChar(QChar::highSurrogate(c));
            text += QChar(QChar::lowSurrogate(c));
        } else {
            text += QChar(char16_t(c));
        }
    }
    return text;
}

QString quoted(std::u32string_view text)
{
    if (text.size() > longestQuote)
        return QLatin1Char('"') + toQString(text.substr(0, longestQuote - 3))
             + QLatin1String("...\"");
    return QLatin1Char('"') + toQString(text) + QLatin1Char('"');
}

QString at(std::size_t index)
{
    return QStringLiteral(" at character %1").arg(index + 1);
}

[[noreturn]] void fail(const QString& description, std::size_t index)
{
    throw NotationError(description, static_cast<int>(index + 1));
}

void refuseUntypable(char32_t c, std::size_t index)
{
    const int position = static_cast<int>(index + 1);
    if (isControlCharacter(c))
        fail(errors::controlCharacter(c, position), index);
    if (isNoncharacter(c))
        fail(errors::noncharacter(c, position), index);
}

// The key string as whole characters; half a surrogate pair, a control
// character and a noncharacter cannot be typed.
std::u32string toCharacters(const QString& text)
{
    std::u32string characters;
    characters.reserve(std::size_t(text.size()));
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c.isHighSurrogate() && i + 1 < text.size() && text.at(i + 1).isLowSurrogate()) {
            characters.push_back(QChar::surrogateToUcs4(c, text.at(i + 1)));
            ++i;
        } else if (c.isSurrogate()) {
            fail(QStringLiteral("Unreadable character (half of a surrogate pair)%1.")
                     .arg(at(characters.size())),
                 characters.size());
        } else {
            characters.push_back(c.unicode());
        }
        refuseUntypable(characters.back(), characters.size() - 1);
    }
    return characters;
}

bool isLineBreak(char32_t c)
{
    return c == U'\r' || c == U'\n';
}

// Reads a key string from left to right. Modifiers waiting for their key are
// "pending"; each open group holds the modifiers that apply to all of it.
class Reader {
public:
    explicit Reader(std::u32string text) : text_(std::move(text)) {}

    KeyEvents read()
    {
        while (pos_ < text_.size())
            readToken();
        if (pending_ != NoModifier)
            failPendingModifiers();
        if (groups_.size() > 1)
            fail(QStringLiteral("No closing \")\" for the \"(\"%1.").arg(at(groups_.back().open)),
                 groups_.back().open);
        return std::move(events_);
    }

private:
    struct Group {
        unsigned modifiers;
        std::size_t open;
    };

    void readToken()
    {
        switch (text_[pos_]) {
        case U'+': holdModifier(Shift); break;
        case U'^': holdModifier(Control); break;
        case U'%': holdModifier(Alt); break;
        case U'(': openGroup(); break;
        case U')': closeGroup(); break;
        case U'{': readBracedCode(); break;
        case U'}':
            fail(QStringLiteral("No opening \"{\" for the \"}\"%1.").arg(at(pos_)), pos_);
        case U'~':
        case U'\n': type(KeyEvent::ofSpecial(SpecialKey::Enter), 1, 1); break;
        case U'\r': type(KeyEvent::ofSpecial(SpecialKey::Enter), 1, crLfLength()); break;
        case U'\t': type(KeyEvent::ofSpecial(SpecialKey::Tab), 1, 1); break;
        default: type(KeyEvent::ofCharacter(text_[pos_]), 1, 1); break;
        }
    }

    std::size_t crLfLength() const
    {
        return pos_ + 1 < text_.size() && text_[pos_ + 1] == U'\n' ? 2 : 1;
    }

    unsigned held() const { return groups_.back().modifiers | pending_; }

    void holdModifier(unsigned modifier)
    {
        if (pending_ == NoModifier)
            pendingAt_ = pos_;
        pending_ |= modifier;
        ++pos_;
    }

    void type(KeyEvent key, int count, std::size_t length)
    {
        if (std::size_t(count) > maxKeyEvents - events_.size())
            fail(errors::tooManyKeys()
                     + QStringLiteral(" The limit is passed%1.").arg(at(pos_)),
                 pos_);
        key.modifiers = held();
        events_.insert(events_.end(), std::size_t(count), key);
        pending_ = NoModifier;
        pos_ += length;
    }

    void openGroup()
    {
        groups_.push_back({held(), pos_});
        pending_ = NoModifier;
        ++pos_;
    }

    void closeGroup()
    {
        if (pending_ != NoModifier)
            failPendingModifiers();
        if (groups_.size() == 1)
            fail(QStringLiteral("No opening \"(\" for the \")\"%1.").arg(at(pos_)), pos_);
        groups_.pop_back();
        ++pos_;
    }

    [[noreturn]] void failPendingModifiers() const
    {
        const std::u32string_view run(text_.data() + pendingAt_, pos_ - pendingAt_);
        const QString description = run.size() == 1
            ? QStringLiteral("The modifier %1%2 has no key after it.")
            : QStringLiteral("The modifiers %1%2 have no key after them.");
        fail(description.arg(quoted(run), at(pendingAt_)), pendingAt_);
    }

    // "{NAME}", "{c}", "{NAME n}" or "{c n}". The first character inside the
    // braces always belongs to the code, so "{}}" and "{{}" are literals.
    void readBracedCode()
    {
        const std::size_t open = pos_;
        const std::size_t first = open + 1;
        if (first >= text_.size())
            failUnclosed(open);
        if (text_[first] == U'}' && !literalClosingBrace(first))
            fail(QStringLiteral("Missing key name in \"{}\"%1.").arg(at(open)), open);
        std::size_t close = first + 1;
        while (close < text_.size() && text_[close] != U'}') {
            if (isLineBreak(text_[close]))
                failUnclosed(open);
            ++close;
        }
        if (close >= text_.size())
            failUnclosed(open);

        const std::u32string_view code(text_.data() + open, close - open + 1);
        const std::u32string_view inside = code.substr(1, code.size() - 2);
        const std::size_t nameEnd = std::min(inside.find(U' ', 1), inside.size());
        const std::u32string_view name = inside.substr(0, nameEnd);
        const int count = nameEnd < inside.size()
            ? repeatCount(inside.substr(nameEnd + 1), code, open) : 1;
        type(keyNamed(name, code, open), count, code.size());
    }

    // "{}}" and "{} 3}" type "}"; a bare "{}" names nothing.
    bool literalClosingBrace(std::size_t first) const
    {
        return first + 1 < text_.size()
            && (text_[first + 1] == U'}' || text_[first + 1] == U' ');
    }

    [[noreturn]] void failUnclosed(std::size_t open) const
    {
        fail(QStringLiteral("No closing \"}\" for the \"{\"%1.").arg(at(open)), open);
    }

    static KeyEvent keyNamed(std::u32string_view name, std::u32string_view code,
                             std::size_t open)
    {
        if (name.size() == 1)
            return KeyEvent::ofCharacter(name.front());
        const auto key = specialKeyFromName(toQString(name));
        if (!key)
            fail(QStringLiteral("Unknown key name %1 in %2%3.")
                     .arg(quoted(name), quoted(code), at(open)),
                 open);
        return KeyEvent::ofSpecial(*key);
    }

    static int repeatCount(std::u32string_view digits, std::u32string_view code,
                           std::size_t open)
    {
        const bool allDigits = !digits.empty()
            && std::all_of(digits.begin(), digits.end(),
                           [](char32_t c) { return c >= U'0' && c <= U'9'; });
        if (!allDigits)
            fail(QStringLiteral("Bad repeat count %1 in %2%3.")
                     .arg(quoted(digits), quoted(code), at(open)),
                 open);
        int count = 0;
        for (char32_t digit : digits) {
            count = count * 10 + int(digit - U'0');
            if (count > maxRepeatCount)
                fail(QStringLiteral("Repeat count %1 in %2%3 is above the limit of 10,000.")
                         .arg(quoted(digits), quoted(code), at(open)),
                     open);
        }
        return count;
    }

    std::u32string text_;
    std::size_t pos_ = 0;
    std::vector<Group> groups_{{NoModifier, 0}};
    unsigned pending_ = NoModifier;
    std::size_t pendingAt_ = 0;
    KeyEvents events_;
};

// Characters that the notation reads as something else are written braced.
bool needsBraces(char32_t c)
{
    return std::u32string_view(U"+^%~(){}\r\n\t").find(c) != std::u32string_view::npos;
}

} // namespace

bool isControlCharacter(char32_t c)
{
    const bool namedByTheNotation = c == U'\t' || c == U'\n' || c == U'\r';
    return (c < 0x20 && !namedByTheNotation) || (c >= 0x7f && c <= 0x9f);
}

bool isNoncharacter(char32_t c)
{
    return (c >= 0xfdd0 && c <= 0xfdef) || (c & 0xfffe) == 0xfffe;
}

KeyEvents parseKeyString(const QString& text)
{
    return Reader(toCharacters(text)).read();
}

QString specialKeyName(SpecialKey key)
{
    for (const NamedKey& named : namedKeys)
        if (named.key == key)
            return QLatin1String(named.name);
    return QString();
}

std::optional<SpecialKey> specialKeyFromName(const QString& name)
{
    // Only ASCII letters fold: "ſ" or the Kelvin sign must not spell a name.
    for (QChar c : name)
        if (c.unicode() > 0x7f)
            return std::nullopt;
    for (const NamedKey& named : namedKeys)
        if (name.compare(QLatin1String(named.name), Qt::CaseInsensitive) == 0)
            return named.key;
    return std::nullopt;
}

QString describe(const KeyEvent& event)
{
    QString text;
    if (event.modifiers & Control)
        text += QLatin1Char('^');
    if (event.modifiers & Shift)
        text += QLatin1Char('+');
    if (event.modifiers & Alt)
        text += QLatin1Char('%');
    if (event.kind == KeyEvent::Kind::Special)
        return text + QLatin1Char('{') + specialKeyName(event.special) + QLatin1Char('}');
    const QString character = toQString(std::u32string_view(&event.character, 1));
    if (needsBraces(event.character))
        return text + QLatin1Char('{') + character + QLatin1Char('}');
    return text + character;
}

QString describe(const KeyEvents& events)
{
    QString text;
    for (const KeyEvent& event : events)
        text += describe(event);
    return text;
}

} // namespace keys
