// SPDX-License-Identifier: MIT
// Reading and writing the settings file: names match in any case, and a
// write changes one line (or adds one key or one section) and keeps every
// other byte of the file.
#include "TempFolder.h"
#include "settings/ProfileFile.h"
#include "settings/ProgramFolder.h"
#include "settings/Settings.h"

#include <QDir>
#include <QFile>
#include <QTest>

namespace {

QByteArray contents(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

void put(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    QCOMPARE(file.write(bytes), bytes.size());
}

} // namespace

class SettingsFileTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void read_data();
    void read();
    void write_data();
    void write();
    void missingFileIsCreated();
    void writeLeavesNoOtherFile();
    void bytesAboveAsciiRoundTrip();
    void namesThatCannotBeStoredWriteNothing();
    void unreadableFileIsNotReplaced();
    void readAfterWrite();
    void commandPause();
};

void SettingsFileTest::read_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QString>("section");
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("expected");   // "<none>": no value
    const QByteArray file = "; comment\r\n"
                            "top=0\r\n"
                            "[First]\r\n"
                            "Key = one \r\n"
                            ";Hidden=1\r\n"
                            "  [ Second ]  \r\n"
                            "key=two\r\n"
                            "KEY=shadowed\r\n"
                            "quoted=\"with blanks \"\r\n"
                            "single='x'\r\n"
                            "half=\"open\r\n"
                            "empty=\r\n"
                            "[first]\r\n"
                            "other=later section of the same name\r\n"
                            "[Last]\r\n"
                            "tail=no final newline";
    QTest::newRow("trimmed value") << file << "First" << "Key" << "one";
    QTest::newRow("section in other case") << file << "FIRST" << "key" << "one";
    QTest::newRow("section with blanks") << file << "second" << "Key" << "two";
    QTest::newRow("first of two keys") << file << "Second" << "key" << "two";
    QTest::newRow("quotes removed") << file << "Second" << "quoted" << "with blanks ";
    QTest::newRow("single quotes removed") << file << "Second" << "single" << "x";
    QTest::newRow("unmatched quote kept") << file << "Second" << "half" << "\"open";
    QTest::newRow("empty value") << file << "Second" << "empty" << "";
    QTest::newRow("last line without newline") << file << "Last" << "tail" << "no final newline";
    QTest::newRow("comment is no key") << file << "First" << "Hidden" << "<none>";
    QTest::newRow("key outside section") << file << "First" << "top" << "<none>";
    QTest::newRow("only the first section of a name") << file << "First" << "other" << "<none>";
    QTest::newRow("missing section") << file << "Nowhere" << "key" << "<none>";
    QTest::newRow("missing key") << file << "Last" << "key" << "<none>";
    QTest::newRow("names with blanks around them") << file << " First " << " key " << "one";
    QTest::newRow("lone LF lines") << QByteArray("[a]\nb=c\n") << "A" << "B" << "c";
}

void SettingsFileTest::read()
{
    QFETCH(QByteArray, file);
    QFETCH(QString, section);
    QFETCH(QString, key);
    QFETCH(QString, expected);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("x.ini"));
    put(path, file);
    const auto value = app::profile::readString(path, section, key);
    QCOMPARE(value.value_or(QStringLiteral("<none>")), expected);
}

void SettingsFileTest::write_data()
{
    QTest::addColumn<QByteArray>("before");
    QTest::addColumn<QString>("section");
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("value");
    QTest::addColumn<QByteArray>("after");

    QTest::newRow("replace, everything else kept")
        << QByteArray("; my settings\r\n[Other]\r\nStartup=9\r\n\r\n[startup]\r\n; note\r\n"
                      "x = y\r\nSTARTUP = 0 \r\n[Last]\r\nk=v")
        << "Startup" << "Startup" << "2"
        << QByteArray("; my settings\r\n[Other]\r\nStartup=9\r\n\r\n[startup]\r\n; note\r\n"
                      "x = y\r\nSTARTUP=2\r\n[Last]\r\nk=v");
    QTest::newRow("replace last line without newline")
        << QByteArray("[Startup]\nStartup=0") << "Startup" << "Startup" << "1"
        << QByteArray("[Startup]\nStartup=1");
    QTest::newRow("key added after the section's last line")
        << QByteArray("[A]\na=1\n[Startup]\nOther=1\n; end of startup\n\n[B]\nb=2\n")
        << "startup" << "Startup" << "2"
        << QByteArray("[A]\na=1\n[Startup]\nOther=1\n; end of startup\nStartup=2\n\n[B]\nb=2\n");
    QTest::newRow("key added to empty section at end without newline")
        << QByteArray("[A]\r\na=1\r\n[Startup]") << "Startup" << "Startup" << "1"
        << QByteArray("[A]\r\na=1\r\n[Startup]\r\nStartup=1\r\n");
    QTest::newRow("section added with the file's CR LF")
        << QByteArray("[A]\r\na=1\r\n") << "Startup" << "Startup" << "2"
        << QByteArray("[A]\r\na=1\r\n\r\n[Startup]\r\nStartup=2\r\n");
    QTest::newRow("section added after last line without newline")
        << QByteArray("[A]\na=1") << "Startup" << "Startup" << "1"
        << QByteArray("[A]\na=1\n\n[Startup]\nStartup=1\n");
    QTest::newRow("section added after a blank last line")
        << QByteArray("[A]\na=1\n\n") << "Startup" << "Startup" << "1"
        << QByteArray("[A]\na=1\n\n[Startup]\nStartup=1\n");
    QTest::newRow("empty file")
        << QByteArray("") << "Startup" << "Startup" << "1"
        << QByteArray("[Startup]\nStartup=1\n");
    QTest::newRow("only the first section of a name changes")
        << QByteArray("[S]\nk=1\n[s]\nk=2\n") << "S" << "K" << "3"
        << QByteArray("[S]\nk=3\n[s]\nk=2\n");
    QTest::newRow("value cut at a line break")
        << QByteArray("[Startup]\nStartup=1\n") << "Startup" << "Startup" << "2\n[Evil]\nx=1"
        << QByteArray("[Startup]\nStartup=2\n");
    QTest::newRow("names with blanks around them")
        << QByteArray("[Startup]\nStartup=1\n") << " Startup " << " startup " << "2"
        << QByteArray("[Startup]\nStartup=2\n");
    QTest::newRow("commented key is not replaced")
        << QByteArray("[Startup]\n;Startup=1\n") << "Startup" << "Startup" << "2"
        << QByteArray("[Startup]\n;Startup=1\nStartup=2\n");
}

void SettingsFileTest::write()
{
    QFETCH(QByteArray, before);
    QFETCH(QString, section);
    QFETCH(QString, key);
    QFETCH(QString, value);
    QFETCH(QByteArray, after);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("x.ini"));
    put(path, before);
    QVERIFY(app::profile::writeString(path, section, key, value));
    QCOMPARE(contents(path), after);
}

void SettingsFileTest::missingFileIsCreated()
{
    testsupport::TempProgramFolder folder;
    QVERIFY(!QFile::exists(app::settingsFilePath()));
    app::WriteIniValue(QStringLiteral("Startup"), QStringLiteral("Startup"), QStringLiteral("1"));
    QCOMPARE(contents(folder.file(QStringLiteral("Typomat.ini"))), QByteArray("[Startup]\nStartup=1\n"));
    app::WriteIniValue(QStringLiteral("Startup"), QStringLiteral("Startup"), QStringLiteral("2"));
    QCOMPARE(contents(folder.file(QStringLiteral("Typomat.ini"))), QByteArray("[Startup]\nStartup=2\n"));
}

void SettingsFileTest::writeLeavesNoOtherFile()
{
    testsupport::TempProgramFolder folder;
    put(app::settingsFilePath(), "[Startup]\nStartup=1\n");
    app::WriteIniValue(QStringLiteral("Startup"), QStringLiteral("Startup"), QStringLiteral("2"));
    QCOMPARE(QDir(folder.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden),
             QStringList{QStringLiteral("Typomat.ini")});
}

void SettingsFileTest::bytesAboveAsciiRoundTrip()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("x.ini"));
    QByteArray other("[Namen]\nGr\xFC\xDF" "e=\x80\xA0\xFF\n");
    put(path, other + "[Startup]\nStartup=1\n");
    QVERIFY(app::profile::writeString(path, QStringLiteral("Startup"), QStringLiteral("Startup"),
                                      QStringLiteral("2")));
    QCOMPARE(contents(path), other + "[Startup]\nStartup=2\n");
    QCOMPARE(app::profile::readString(path, QStringLiteral("namen"), QStringLiteral("GR\u00DC\u00DFE")),
             std::optional<QString>(QStringLiteral("\u0080\u00A0\u00FF").trimmed()));
    QVERIFY(app::profile::writeString(path, QStringLiteral("Namen"), QStringLiteral("neu"),
                                      QStringLiteral("\u00E9t\u00E9")));
    QCOMPARE(contents(path), QByteArray("[Namen]\nGr\xFC\xDF" "e=\x80\xA0\xFF\nneu=\xE9t\xE9\n"
                                        "[Startup]\nStartup=2\n"));
}

void SettingsFileTest::namesThatCannotBeStoredWriteNothing()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("x.ini"));
    const QByteArray before("[Startup]\nStartup=1\n");
    put(path, before);
    const QString one = QStringLiteral("1");
    QVERIFY(!app::profile::writeString(path, QStringLiteral("a]b"), QStringLiteral("k"), one));
    QVERIFY(!app::profile::writeString(path, QStringLiteral(""), QStringLiteral("k"), one));
    QVERIFY(!app::profile::writeString(path, QStringLiteral("s\nx"), QStringLiteral("k"), one));
    QVERIFY(!app::profile::writeString(path, QStringLiteral("s"), QStringLiteral("a=b"), one));
    QVERIFY(!app::profile::writeString(path, QStringLiteral("s"), QStringLiteral(" "), one));
    QVERIFY(!app::profile::writeString(path, QStringLiteral("s"), QStringLiteral(";k"), one));
    QVERIFY(!app::profile::writeString(path, QStringLiteral("s"), QStringLiteral("[k"), one));
    QCOMPARE(contents(path), before);
}

void SettingsFileTest::unreadableFileIsNotReplaced()
{
    testsupport::TempProgramFolder folder;
    QVERIFY(QDir().mkdir(app::settingsFilePath()));
    QVERIFY(!app::profile::writeString(app::settingsFilePath(), QStringLiteral("Startup"),
                                       QStringLiteral("Startup"), QStringLiteral("1")));
    QVERIFY(QFileInfo(app::settingsFilePath()).isDir());
    QVERIFY(!app::profile::readString(app::settingsFilePath(), QStringLiteral("Startup"),
                                      QStringLiteral("Startup")));
}

void SettingsFileTest::readAfterWrite()
{
    testsupport::TempProgramFolder folder;
    for (const char* value : {"1", "2", "", "12345678901234567890123"}) {
        app::WriteIniValue(QStringLiteral("Startup"), QStringLiteral("Startup"),
                           QString::fromLatin1(value));
        const QString read = app::ReadIniValue(QStringLiteral("startup"), QStringLiteral("STARTUP"));
        QString expected = QString::fromLatin1(value).left(19);
        expected.resize(20, QChar(u'\0'));
        QCOMPARE(read, expected);
    }
    QCOMPARE(contents(app::settingsFilePath()),
             QByteArray("[Startup]\nStartup=12345678901234567890123\n"));
}

void SettingsFileTest::commandPause()
{
    testsupport::TempProgramFolder folder;
    QCOMPARE(app::readCommandPauseMs(), std::nullopt);
    const QByteArray file("[Startup]\nStartup=1\n[Keys]\nCommandPauseMs=%1\n");
    const std::pair<const char*, std::optional<int>> cases[] = {
        {"400", 400}, {" 0 ", 0}, {"10000", 10000}, {"10001", std::nullopt},
        {"-5", std::nullopt}, {"fast", std::nullopt}, {"", std::nullopt},
    };
    for (const auto& [value, expected] : cases) {
        const QByteArray bytes = QByteArray(file).replace("%1", value);
        put(app::settingsFilePath(), bytes);
        QCOMPARE(app::readCommandPauseMs(), expected);
        QCOMPARE(contents(app::settingsFilePath()), bytes); // only read
    }
}

QTEST_GUILESS_MAIN(SettingsFileTest)
#include "tst_unit_settingsfile.moc"
