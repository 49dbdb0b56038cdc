// SPDX-License-Identifier: MIT
#include "keys/KeyErrorTexts.h"
#include "keys/Notation.h"

#include <QTest>

using namespace keys;

Q_DECLARE_METATYPE(keys::KeyEvents)
Q_DECLARE_METATYPE(keys::SpecialKey)

namespace {

KeyEvents chars(const QString& text, unsigned mods = NoModifier)
{
    KeyEvents events;
    for (char32_t c : text.toUcs4())
        events.push_back(KeyEvent::ofCharacter(c, mods));
    return events;
}

KeyEvents key(SpecialKey k, unsigned mods = NoModifier, int count = 1)
{
    return KeyEvents(std::size_t(count), KeyEvent::ofSpecial(k, mods));
}

KeyEvents operator+(KeyEvents a, const KeyEvents& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

QString shown(const KeyEvents& events)
{
    QStringList parts;
    for (const KeyEvent& e : events)
        parts << QStringLiteral("[%1 m%2]").arg(describe(e)).arg(e.modifiers);
    return parts.join(QLatin1Char(' '));
}

void compareEvents(const KeyEvents& actual, const KeyEvents& expected)
{
    QVERIFY2(actual == expected,
             qPrintable(QStringLiteral("got %1\nwanted %2").arg(shown(actual), shown(expected))));
}

const SpecialKey allKeys[] = {
    SpecialKey::Backspace, SpecialKey::Break, SpecialKey::CapsLock, SpecialKey::Delete,
    SpecialKey::Down, SpecialKey::End, SpecialKey::Enter, SpecialKey::Escape,
    SpecialKey::Help, SpecialKey::Home, SpecialKey::Insert, SpecialKey::Left,
    SpecialKey::NumLock, SpecialKey::PageDown, SpecialKey::PageUp, SpecialKey::PrintScreen,
    SpecialKey::Right, SpecialKey::ScrollLock, SpecialKey::Tab, SpecialKey::Up,
    SpecialKey::F1, SpecialKey::F2, SpecialKey::F3, SpecialKey::F4, SpecialKey::F5,
    SpecialKey::F6, SpecialKey::F7, SpecialKey::F8, SpecialKey::F9, SpecialKey::F10,
    SpecialKey::F11, SpecialKey::F12, SpecialKey::F13, SpecialKey::F14, SpecialKey::F15,
    SpecialKey::F16, SpecialKey::Add, SpecialKey::Subtract, SpecialKey::Multiply,
    SpecialKey::Divide,
};

} // namespace

class tst_unit_notation : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void reads_data();
    void reads();
    void specialNames_data();
    void specialNames();
    void everyKeyHasAName();
    void rejects_data();
    void rejects();
    void largestRepeatIsAccepted();
    void keyCountIsBounded();
    void describeWritesTheNotation_data();
    void describeWritesTheNotation();
    void describedKeysReadBackTheSame_data();
    void describedKeysReadBackTheSame();
};

void tst_unit_notation::reads_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<KeyEvents>("expected");
    const unsigned ctrlShift = Control | Shift;

    // Ordinary characters type themselves.
    QTest::newRow("empty") << QString() << KeyEvents{};
    QTest::newRow("letters") << "abc" << chars("abc");
    QTest::newRow("punctuation and space") << "Hi, you!" << chars("Hi, you!");
    QTest::newRow("brackets type themselves") << "[x]" << chars("[x]");
    QTest::newRow("non-ASCII") << QString::fromUtf8("éß€Ω") << chars(QString::fromUtf8("éß€Ω"));
    QTest::newRow("surrogate pair is one character")
        << QString::fromUtf8("a😀b")
        << KeyEvents{KeyEvent::ofCharacter(U'a'), KeyEvent::ofCharacter(U'\U0001F600'),
                     KeyEvent::ofCharacter(U'b')};

    QTest::newRow("byte order mark is a character")
        << QString(QChar(0xFEFF)) + "a"
        << KeyEvents{KeyEvent::ofCharacter(0xFEFF), KeyEvent::ofCharacter(U'a')};
    QTest::newRow("next to the untypable ones")
        << QString::fromUcs4(U"\u00A0\uFDCF\uFDF0\uFFFD\U0001FFFD", 5)
        << chars(QString::fromUcs4(U"\u00A0\uFDCF\uFDF0\uFFFD\U0001FFFD", 5));

    // Modifiers hold for the next key or group.
    QTest::newRow("shift") << "+a" << chars("a", Shift);
    QTest::newRow("ctrl") << "^c" << chars("c", Control);
    QTest::newRow("alt") << "%f" << chars("f", Alt);
    QTest::newRow("only the next key") << "+ab" << chars("a", Shift) + chars("b");
    QTest::newRow("ctrl shift F5") << "^+{F5}" << key(SpecialKey::F5, ctrlShift);
    QTest::newRow("shift ctrl F5") << "+^{F5}" << key(SpecialKey::F5, ctrlShift);
    QTest::newRow("all three") << "%^+x" << chars("x", Control | Shift | Alt);
    QTest::newRow("same modifier twice") << "++a" << chars("a", Shift);
    QTest::newRow("modifier over Enter") << "+~" << key(SpecialKey::Enter, Shift);
    QTest::newRow("modifier over line break") << "^\n" << key(SpecialKey::Enter, Control);
    QTest::newRow("modifier over tab") << "+\t" << key(SpecialKey::Tab, Shift);
    QTest::newRow("modifier over literal") << "^{+}" << chars("+", Control);
    QTest::newRow("modifier over nothing repeated") << "+{TAB 0}a" << chars("a");

    // Groups.
    QTest::newRow("shift group") << "+(abc)" << chars("abc", Shift);
    QTest::newRow("plain group") << "(ab)c" << chars("abc");
    QTest::newRow("empty group") << "()x" << chars("x");
    QTest::newRow("modifier over empty group") << "+()x" << chars("x");
    QTest::newRow("nested groups")
        << "+(a^(b%c)d)e"
        << chars("a", Shift) + chars("b", ctrlShift) + chars("c", ctrlShift | Alt)
               + chars("d", Shift) + chars("e");
    QTest::newRow("deep nesting") << "((((x))))" << chars("x");
    QTest::newRow("very deep nesting")
        << QString(100000, QLatin1Char('(')) + "+x" + QString(100000, QLatin1Char(')'))
        << chars("x", Shift);
    QTest::newRow("group ends the modifiers") << "^(a)b" << chars("a", Control) + chars("b");
    QTest::newRow("special keys in a group")
        << "%({LEFT 2}~)" << key(SpecialKey::Left, Alt, 2) + key(SpecialKey::Enter, Alt);

    // Enter, line breaks and tabs.
    QTest::newRow("tilde") << "a~b" << chars("a") + key(SpecialKey::Enter) + chars("b");
    QTest::newRow("LF") << "a\nb" << chars("a") + key(SpecialKey::Enter) + chars("b");
    QTest::newRow("CR LF") << "a\r\nb" << chars("a") + key(SpecialKey::Enter) + chars("b");
    QTest::newRow("CR") << "a\rb" << chars("a") + key(SpecialKey::Enter) + chars("b");
    QTest::newRow("CR, CR LF, LF") << "\r\r\n\n" << key(SpecialKey::Enter, NoModifier, 3);
    QTest::newRow("LF CR is two") << "\n\r" << key(SpecialKey::Enter, NoModifier, 2);
    QTest::newRow("tab") << "a\tb" << chars("a") + key(SpecialKey::Tab) + chars("b");

    // Braced literals.
    QTest::newRow("{+}") << "{+}" << chars("+");
    QTest::newRow("{^}") << "{^}" << chars("^");
    QTest::newRow("{%}") << "{%}" << chars("%");
    QTest::newRow("{~}") << "{~}" << chars("~");
    QTest::newRow("{(}") << "{(}" << chars("(");
    QTest::newRow("{)}") << "{)}" << chars(")");
    QTest::newRow("{{}") << "{{}" << chars("{");
    QTest::newRow("{}}") << "{}}" << chars("}");
    QTest::newRow("{[}") << "{[}" << chars("[");
    QTest::newRow("{]}") << "{]}" << chars("]");
    QTest::newRow("{a}") << "{a}" << chars("a");
    QTest::newRow("{ }") << "{ }" << chars(" ");
    QTest::newRow("{F} is a letter") << "{F}" << chars("F");
    QTest::newRow("braced emoji") << QString::fromUtf8("{😀}") << chars(QString::fromUtf8("😀"));
    QTest::newRow("literals in a row") << "{{}{}}{+}" << chars("{}+");

    // Repeats.
    QTest::newRow("{LEFT 5}") << "{LEFT 5}" << key(SpecialKey::Left, NoModifier, 5);
    QTest::newRow("{x 10}") << "{x 10}" << chars("xxxxxxxxxx");
    QTest::newRow("{TAB 0}") << "a{TAB 0}b" << chars("ab");
    QTest::newRow("{TAB 1}") << "{TAB 1}" << key(SpecialKey::Tab);
    QTest::newRow("leading zeros") << "{x 007}" << chars("xxxxxxx");
    QTest::newRow("repeated with modifiers") << "+{LEFT 3}" << key(SpecialKey::Left, Shift, 3);
    QTest::newRow("repeated literal brace") << "{} 3}" << chars("}}}");
    QTest::newRow("repeated open brace") << "{{ 2}" << chars("{{");
    QTest::newRow("repeated plus") << "{+ 2}" << chars("++");
    QTest::newRow("repeated space") << "{  3}" << chars("   ");
    QTest::newRow("repeat names ignore case") << "{left 2}" << key(SpecialKey::Left, NoModifier, 2);

    // Lock keys are keys like any other.
    QTest::newRow("caps lock") << "{CAPSLOCK}a" << key(SpecialKey::CapsLock) + chars("a");
    QTest::newRow("num lock") << "{NUMLOCK}1" << key(SpecialKey::NumLock) + chars("1");

    QTest::newRow("a whole line")
        << "user~^a{DEL}+(hello) {ENTER}"
        << chars("user") + key(SpecialKey::Enter) + chars("a", Control) + key(SpecialKey::Delete)
               + chars("hello", Shift) + chars(" ") + key(SpecialKey::Enter);
}

void tst_unit_notation::reads()
{
    QFETCH(QString, text);
    QFETCH(KeyEvents, expected);
    compareEvents(parseKeyString(text), expected);
}

void tst_unit_notation::specialNames_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<SpecialKey>("expected");
    const struct {
        const char* name;
        SpecialKey key;
    } names[] = {
        {"BACKSPACE", SpecialKey::Backspace}, {"BS", SpecialKey::Backspace},
        {"BKSP", SpecialKey::Backspace}, {"BREAK", SpecialKey::Break},
        {"CAPSLOCK", SpecialKey::CapsLock}, {"DELETE", SpecialKey::Delete},
        {"DEL", SpecialKey::Delete}, {"DOWN", SpecialKey::Down}, {"END", SpecialKey::End},
        {"ENTER", SpecialKey::Enter}, {"ESC", SpecialKey::Escape}, {"HELP", SpecialKey::Help},
        {"HOME", SpecialKey::Home}, {"INSERT", SpecialKey::Insert}, {"INS", SpecialKey::Insert},
        {"LEFT", SpecialKey::Left}, {"NUMLOCK", SpecialKey::NumLock},
        {"PGDN", SpecialKey::PageDown}, {"PGUP", SpecialKey::PageUp},
        {"PRTSC", SpecialKey::PrintScreen}, {"RIGHT", SpecialKey::Right},
        {"SCROLLLOCK", SpecialKey::ScrollLock}, {"TAB", SpecialKey::Tab}, {"UP", SpecialKey::Up},
        {"F1", SpecialKey::F1}, {"F2", SpecialKey::F2}, {"F3", SpecialKey::F3},
        {"F4", SpecialKey::F4}, {"F5", SpecialKey::F5}, {"F6", SpecialKey::F6},
        {"F7", SpecialKey::F7}, {"F8", SpecialKey::F8}, {"F9", SpecialKey::F9},
        {"F10", SpecialKey::F10}, {"F11", SpecialKey::F11}, {"F12", SpecialKey::F12},
        {"F13", SpecialKey::F13}, {"F14", SpecialKey::F14}, {"F15", SpecialKey::F15},
        {"F16", SpecialKey::F16}, {"ADD", SpecialKey::Add}, {"SUBTRACT", SpecialKey::Subtract},
        {"MULTIPLY", SpecialKey::Multiply}, {"DIVIDE", SpecialKey::Divide},
    };
    for (const auto& n : names) {
        const QString upper = QLatin1String(n.name);
        QString mixed = upper.toLower();
        mixed[0] = mixed[0].toUpper();
        QTest::addRow("%s", n.name) << upper << n.key;
        QTest::addRow("%s lower", n.name) << upper.toLower() << n.key;
        QTest::addRow("%s mixed", n.name) << mixed << n.key;
    }
}

void tst_unit_notation::specialNames()
{
    QFETCH(QString, name);
    QFETCH(SpecialKey, expected);
    compareEvents(parseKeyString(QLatin1Char('{') + name + QLatin1Char('}')), key(expected));
    compareEvents(parseKeyString(QStringLiteral("^{%1 2}").arg(name)),
                  key(expected, Control, 2));
}

void tst_unit_notation::everyKeyHasAName()
{
    for (SpecialKey k : allKeys) {
        const QString name = specialKeyName(k);
        QVERIFY2(!name.isEmpty(), qPrintable(QString::number(int(k))));
        QCOMPARE(specialKeyFromName(name), std::optional<SpecialKey>(k));
    }
    QCOMPARE(specialKeyName(SpecialKey::PageDown), QStringLiteral("PGDN"));
    QCOMPARE(specialKeyName(SpecialKey::Backspace), QStringLiteral("BACKSPACE"));
}

void tst_unit_notation::rejects_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("position");
    QTest::addColumn<QString>("message");

    QTest::newRow("unknown name, the usual example")
        << "abcdef{PGDWN}" << 7 << R"x(Unknown key name "PGDWN" in "{PGDWN}" at character 7.)x";
    QTest::newRow("F17") << "{F17}" << 1 << R"x(Unknown key name "F17" in "{F17}" at character 1.)x";
    QTest::newRow("F0") << "x{f0}" << 2 << R"x(Unknown key name "f0" in "{f0}" at character 2.)x";
    QTest::newRow("name with a digit") << "{ENTER2}" << 1
        << R"x(Unknown key name "ENTER2" in "{ENTER2}" at character 1.)x";
    QTest::newRow("space before a count") << "{ 3}" << 1
        << R"x(Unknown key name " 3" in "{ 3}" at character 1.)x";
    QTest::newRow("unknown name with count") << "{PGDWN 5}" << 1
        << R"x(Unknown key name "PGDWN" in "{PGDWN 5}" at character 1.)x";
    QTest::newRow("non-ASCII look-alike") << QString::fromUtf8("{ſcrolllock}") << 1
        << QString::fromUtf8(R"x(Unknown key name "ſcrolllock" in "{ſcrolllock}" at character 1.)x");
    QTest::newRow("long name shortened") << "{" + QString(50, QLatin1Char('A')) + "}" << 1
        << "Unknown key name \"" + QString(37, QLatin1Char('A')) + "...\" in \"{"
               + QString(36, QLatin1Char('A')) + "...\" at character 1.";
    QTest::newRow("empty braces") << "ab{}" << 3 << R"x(Missing key name in "{}" at character 3.)x";
    QTest::newRow("empty braces before text") << "{}a}" << 1
        << R"x(Missing key name in "{}" at character 1.)x";

    QTest::newRow("lone open brace") << "{" << 1 << R"x(No closing "}" for the "{" at character 1.)x";
    QTest::newRow("unclosed name") << "abc{ENTER" << 4
        << R"x(No closing "}" for the "{" at character 4.)x";
    QTest::newRow("line break inside braces") << "{ENTER\n}" << 1
        << R"x(No closing "}" for the "{" at character 1.)x";
    QTest::newRow("CR inside braces") << "x{TAB\r}" << 2
        << R"x(No closing "}" for the "{" at character 2.)x";
    QTest::newRow("literal close brace unclosed") << "{}}" + QString() + "{} 3" << 4
        << R"x(No closing "}" for the "{" at character 4.)x";

    QTest::newRow("lone close brace") << "}" << 1 << R"x(No opening "{" for the "}" at character 1.)x";
    QTest::newRow("close brace in text") << "a}b" << 2
        << R"x(No opening "{" for the "}" at character 2.)x";
    QTest::newRow("extra close brace") << "{}}}" << 4
        << R"x(No opening "{" for the "}" at character 4.)x";
    QTest::newRow("lone close paren") << ")" << 1 << R"x(No opening "(" for the ")" at character 1.)x";
    QTest::newRow("extra close paren") << "(a))" << 4
        << R"x(No opening "(" for the ")" at character 4.)x";
    QTest::newRow("lone open paren") << "(" << 1 << R"x(No closing ")" for the "(" at character 1.)x";
    QTest::newRow("outer group unclosed") << "(a(b)" << 1
        << R"x(No closing ")" for the "(" at character 1.)x";
    QTest::newRow("innermost unclosed group") << "a(b(c" << 4
        << R"x(No closing ")" for the "(" at character 4.)x";

    QTest::newRow("bad count letters") << "{LEFT x}" << 1
        << R"x(Bad repeat count "x" in "{LEFT x}" at character 1.)x";
    QTest::newRow("empty count") << "ab{LEFT }" << 3
        << R"x(Bad repeat count "" in "{LEFT }" at character 3.)x";
    QTest::newRow("negative count") << "{LEFT -1}" << 1
        << R"x(Bad repeat count "-1" in "{LEFT -1}" at character 1.)x";
    QTest::newRow("plus count") << "{x +3}" << 1
        << R"x(Bad repeat count "+3" in "{x +3}" at character 1.)x";
    QTest::newRow("count with letters") << "{LEFT 5x}" << 1
        << R"x(Bad repeat count "5x" in "{LEFT 5x}" at character 1.)x";
    QTest::newRow("two spaces") << "{LEFT  5}" << 1
        << R"x(Bad repeat count " 5" in "{LEFT  5}" at character 1.)x";
    QTest::newRow("two counts") << "{LEFT 1 2}" << 1
        << R"x(Bad repeat count "1 2" in "{LEFT 1 2}" at character 1.)x";
    QTest::newRow("fullwidth digit") << QString::fromUtf8("{x ５}") << 1
        << QString::fromUtf8(R"x(Bad repeat count "５" in "{x ５}" at character 1.)x");
    QTest::newRow("count above the limit") << "a{LEFT 10001}" << 2
        << R"x(Repeat count "10001" in "{LEFT 10001}" at character 2 is above the limit of 10,000.)x";
    QTest::newRow("huge count") << "{x 99999999999999999999}" << 1
        << R"x(Repeat count "99999999999999999999" in "{x 99999999999999999999}" at character 1 is above the limit of 10,000.)x";

    QTest::newRow("modifier at the end") << "ab^" << 3
        << R"x(The modifier "^" at character 3 has no key after it.)x";
    QTest::newRow("lone shift") << "+" << 1 << R"x(The modifier "+" at character 1 has no key after it.)x";
    QTest::newRow("lone alt") << "a%" << 2 << R"x(The modifier "%" at character 2 has no key after it.)x";
    QTest::newRow("two modifiers at the end") << "x^+" << 2
        << R"x(The modifiers "^+" at character 2 have no key after them.)x";
    QTest::newRow("modifier before close paren") << "(a+)" << 3
        << R"x(The modifier "+" at character 3 has no key after it.)x";
    QTest::newRow("modifier before stray paren") << "%)" << 1
        << R"x(The modifier "%" at character 1 has no key after it.)x";
    QTest::newRow("modifier in unclosed group") << "(+" << 2
        << R"x(The modifier "+" at character 2 has no key after it.)x";

    QTest::newRow("lone high surrogate") << QStringLiteral("ab") + QChar(0xD800) + "c" << 3
        << "Unreadable character (half of a surrogate pair) at character 3.";
    QTest::newRow("lone low surrogate") << QString(QChar(0xDC00)) << 1
        << "Unreadable character (half of a surrogate pair) at character 1.";
    QTest::newRow("high surrogate at the end") << QStringLiteral("x") + QChar(0xD83D) << 2
        << "Unreadable character (half of a surrogate pair) at character 2.";
    const auto control = [](const char* code, int at) {
        return QStringLiteral("The key string holds the control character U+%1 at character %2, "
                              "which cannot be typed. Special keys are written in braces, such "
                              "as {ESC} or {BKSP}.").arg(QLatin1String(code)).arg(at);
    };
    const auto noncharacter = [](const char* code, int at) {
        return QStringLiteral("The key string holds the noncharacter U+%1 at character %2, which "
                              "cannot be typed.").arg(QLatin1String(code)).arg(at);
    };
    QTest::newRow("NUL") << QString(QChar(0)) << 1 << control("0000", 1);
    QTest::newRow("bell") << "ab\a" << 3 << control("0007", 3);
    QTest::newRow("escape, braced") << "x{\x1b}" << 3 << control("001B", 3);
    QTest::newRow("unit separator") << "\x1f" << 1 << control("001F", 1);
    QTest::newRow("DEL") << "a\x7f" << 2 << control("007F", 2);
    QTest::newRow("C1 NEL") << QString::fromUtf8("\u00e9\u0085") << 2 << control("0085", 2);
    QTest::newRow("last C1") << QString(QChar(0x9F)) << 1 << control("009F", 1);
    QTest::newRow("before a fault that comes first") << "{BAD}\b" << 6 << control("0008", 6);
    QTest::newRow("U+FFFE") << QString(QChar(0xFEFF)) + QChar(0xFFFE) << 2
                            << noncharacter("FFFE", 2);
    QTest::newRow("U+FFFF braced") << QStringLiteral("{") + QChar(0xFFFF) + "}" << 2
                                   << noncharacter("FFFF", 2);
    QTest::newRow("U+FDD0") << QString(QChar(0xFDD0)) << 1 << noncharacter("FDD0", 1);
    QTest::newRow("U+FDEF") << QString(QChar(0xFDEF)) << 1 << noncharacter("FDEF", 1);
    QTest::newRow("U+10FFFF after a pair")
        << QString::fromUcs4(U"\U0001F600\U0010FFFF", 2) << 2 << noncharacter("10FFFF", 2);
    QTest::newRow("positions count whole characters") << QString::fromUtf8("😀😀{BAD}") << 3
        << R"x(Unknown key name "BAD" in "{BAD}" at character 3.)x";
    QTest::newRow("first fault wins") << "ok{BAD}}" << 3
        << R"x(Unknown key name "BAD" in "{BAD}" at character 3.)x";
    QTest::newRow("fault after many keys") << "{x 10000}{y 10000}(" << 19
        << R"x(No closing ")" for the "(" at character 19.)x";
}

void tst_unit_notation::rejects()
{
    QFETCH(QString, text);
    QFETCH(int, position);
    QFETCH(QString, message);
    try {
        const KeyEvents events = parseKeyString(text);
        QFAIL(qPrintable("read as " + shown(events)));
    } catch (const NotationError& error) {
        QCOMPARE(error.description(), message);
        QCOMPARE(error.position(), position);
        QCOMPARE(QString::fromStdString(error.what()), message);
    }
}

void tst_unit_notation::largestRepeatIsAccepted()
{
    const KeyEvents events = parseKeyString(QStringLiteral("{x 10000}"));
    QCOMPARE(events.size(), std::size_t(maxRepeatCount));
    QCOMPARE(events.back(), KeyEvent::ofCharacter(U'x'));
    // A KeyError handler catches notation faults too.
    QVERIFY_THROWS_EXCEPTION(KeyError, parseKeyString(QStringLiteral("{x 10001}")));
}

void tst_unit_notation::keyCountIsBounded()
{
    // 100 codes of 10,000 keys reach the limit exactly; one key more passes it.
    const QString atLimit = QStringLiteral("{x 10000}").repeated(100);
    QCOMPARE(parseKeyString(atLimit).size(), maxKeyEvents);
    try {
        parseKeyString(atLimit + QStringLiteral("y") + QStringLiteral("{x 10000}").repeated(9900));
        QFAIL("a string above the limit was read");
    } catch (const NotationError& error) {
        QVERIFY(error.description().startsWith(keys::errors::tooManyKeys()));
        QVERIFY(error.description().contains(QStringLiteral("1,000,000")));
        QCOMPARE(error.position(), int(atLimit.size()) + 1);
    }
}

void tst_unit_notation::describeWritesTheNotation_data()
{
    QTest::addColumn<KeyEvents>("events");
    QTest::addColumn<QString>("expected");
    QTest::newRow("letter") << chars("a") << "a";
    QTest::newRow("ctrl shift F5") << key(SpecialKey::F5, Control | Shift) << "^+{F5}";
    QTest::newRow("all modifiers") << chars("x", Alt | Shift | Control) << "^+%x";
    QTest::newRow("page down") << key(SpecialKey::PageDown) << "{PGDN}";
    QTest::newRow("notation characters braced") << chars("+^%~(){}") << "{+}{^}{%}{~}{(}{)}{{}{}}";
    QTest::newRow("brackets plain") << chars("[]") << "[]";
    QTest::newRow("tab character braced") << chars("\t") << "{\t}";
    QTest::newRow("emoji") << chars(QString::fromUtf8("😀")) << QString::fromUtf8("😀");
    QTest::newRow("byte order mark") << KeyEvents{KeyEvent::ofCharacter(0xFEFF, Shift)}
                                     << QStringLiteral("+") + QChar(0xFEFF);
    QTest::newRow("sequence") << chars("ab", Shift) + key(SpecialKey::Enter) << "+a+b{ENTER}";
}

void tst_unit_notation::describeWritesTheNotation()
{
    QFETCH(KeyEvents, events);
    QFETCH(QString, expected);
    QCOMPARE(describe(events), expected);
}

void tst_unit_notation::describedKeysReadBackTheSame_data()
{
    QTest::addColumn<QString>("text");
    for (const char* text : {"+(abc)~", "^+{F5}{LEFT 3}", "{{}{}}{(}{)}{~}{+}{^}{%}",
                             "%(a^(b+c))", "a\r\nb\tc", "{} 2}{  2}", "{\t}{\n}{\r}"})
        QTest::newRow(text) << QString::fromUtf8(text);
    QTest::newRow("byte order marks") << QString(QChar(0xFEFF)) + "{" + QChar(0xFEFF) + " 2}";
    QTest::newRow("every key") << [] {
        QString all;
        for (SpecialKey k : allKeys)
            all += describe(KeyEvent::ofSpecial(k, Shift));
        return all;
    }();
}

void tst_unit_notation::describedKeysReadBackTheSame()
{
    QFETCH(QString, text);
    const KeyEvents events = parseKeyString(text);
    QVERIFY(!events.empty());
    compareEvents(parseKeyString(describe(events)), events);
}

QTEST_APPLESS_MAIN(tst_unit_notation)
#include "tst_unit_notation.moc"
