// The profile (INI) file: look-up rules, writes that keep everything else in
// the file, and failures that leave the file as it was.

#include "Exceptions.h"
#include "IniFiles.h"
#include "TempDir.h"
#include "Unprivileged.h"

#include <QFile>
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace quellora;
using quellora::test::RunUnprivileged;
using quellora::test::ReadBytes;
using quellora::test::TempDir;
using quellora::test::WriteBytes;

namespace {

std::string writeError(TIniFile& ini, const std::string& section, const std::string& key, const std::string& value)
{
    try {
        ini.WriteString(section, key, value);
    } catch (const EIniFileException& e) {
        return e.Message;
    }
    return "no error";
}

std::string unprivilegedWriteError(const std::string& path, const std::string& section, const std::string& key,
                                   const std::string& value)
{
    return RunUnprivileged([&] {
        TIniFile ini(path);
        return writeError(ini, section, key, value);
    });
}

} // namespace

TEST(IniFileReading, SectionsAndKeysMatchWithoutRegardToCase)
{
    TempDir dir;
    WriteBytes(dir.file("c.ini"), "[Keys]\r\nNext=F5\r\nExit=none\r\n[Other]\r\nPlayrandom=yes\r\n");
    TIniFile ini(dir.file("c.ini"));
    EXPECT_EQ(ini.ReadString("Keys", "NexT", ""), "F5");
    EXPECT_EQ(ini.ReadString("KEYS", "exit", ""), "none");
    EXPECT_EQ(ini.ReadString("other", "PlayRandom", ""), "yes");
    // Values keep their case: only names are matched loosely.
    EXPECT_EQ(ini.ReadString("Other", "playrandom", "x"), "yes");
}

TEST(IniFileReading, WindowsStyleFileWithBlanksAndComments)
{
    TempDir dir;
    WriteBytes(dir.file("c.ini"),
               "; written by hand\r\n"
               "  [ Keys ]  \r\n"
               "\tRandom   =   /  \r\n"
               ";Next=F1\r\n"
               "Stop=\r\n"
               "junk line without equals\r\n"
               "Url = http://x/?a=b\r\n");
    TIniFile ini(dir.file("c.ini"));
    EXPECT_EQ(ini.ReadString("Keys", "Random", ""), "/");
    EXPECT_EQ(ini.ReadString("Keys", "Next", "dflt"), "dflt") << "a commented-out key is no key";
    EXPECT_EQ(ini.ReadString("Keys", "Stop", "dflt"), "") << "an empty value is a value";
    EXPECT_EQ(ini.ReadString("Keys", "Url", ""), "http://x/?a=b") << "the value runs from the first '='";
}

TEST(IniFileReading, MissingFileSectionOrKeyGivesTheDefault)
{
    TempDir dir;
    TIniFile missing(dir.file("none.ini"));
    EXPECT_EQ(missing.ReadString("Keys", "Random", ""), "");
    EXPECT_EQ(missing.ReadString("Keys", "Random", "/"), "/");

    WriteBytes(dir.file("c.ini"), "Orphan=1\n[Keys\nRandom=2\n[Keys]\nNext=3\n");
    TIniFile ini(dir.file("c.ini"));
    EXPECT_EQ(ini.ReadString("Keys", "Orphan", ""), "") << "keys before the first section belong to none";
    EXPECT_EQ(ini.ReadString("Keys", "Random", ""), "") << "'[Keys' without ']' opens no section";
    EXPECT_EQ(ini.ReadString("Keys", "Missing", ""), "");
    EXPECT_EQ(ini.ReadString("Other", "Next", ""), "");
    EXPECT_EQ(ini.ReadString("Keys", "Next", ""), "3");

    // A directory in the file's place reads as no file.
    TIniFile directory(dir.path());
    EXPECT_EQ(directory.ReadString("Keys", "Next", "d"), "d");
}

TEST(IniFileReading, ValuesAreCutAt2047Bytes)
{
    TempDir dir;
    std::string longValue;
    for (int i = 0; i < 3000; ++i)
        longValue += char('a' + i % 26);
    WriteBytes(dir.file("c.ini"), "[S]\r\nExact=" + longValue.substr(0, 2047) + "\r\nLong=" + longValue + "\r\n");
    TIniFile ini(dir.file("c.ini"));
    EXPECT_EQ(ini.ReadString("S", "Exact", ""), longValue.substr(0, 2047));
    EXPECT_EQ(ini.ReadString("S", "Long", ""), longValue.substr(0, 2047));
}

TEST(IniFileWriting, NewFileGetsSectionsInOrderOfFirstWrite)
{
    TempDir dir;
    TIniFile ini(dir.file("c.ini"));
    EXPECT_FALSE(QFile::exists(QString::fromStdString(dir.file("c.ini")))) << "construction touches no file";
    ini.WriteString("Keys", "Random", "/");
    ini.WriteString("Keys", "LasT", "none");
    ini.WriteString("Other", "Playrandom", "yes");
    ini.WriteString("Keys", "Next", "");
    EXPECT_EQ(ReadBytes(dir.file("c.ini")),
              "[Keys]\r\nRandom=/\r\nLasT=none\r\nNext=\r\n\r\n[Other]\r\nPlayrandom=yes\r\n");
}

TEST(IniFileWriting, ReplacementInPlaceKeepsEveryOtherByte)
{
    TempDir dir;
    const std::string before = "; my settings\r\n"
                               "[Keys]\r\n"
                               "  Random = F1   \r\n"
                               "Unknown=keep me\r\n"
                               "\r\n"
                               "[Foreign]\n"
                               "Random=untouched\n"
                               "[Other]\r\n"
                               "PlayRandom=no";
    WriteBytes(dir.file("c.ini"), before);
    TIniFile ini(dir.file("c.ini"));
    ini.WriteString("KEYS", "random", "F12");
    ini.WriteString("other", "Playrandom", "yes");
    // The line keeps its key's capitals and the blanks around the value.
    EXPECT_EQ(ReadBytes(dir.file("c.ini")),
              "; my settings\r\n"
              "[Keys]\r\n"
              "  Random = F12   \r\n"
              "Unknown=keep me\r\n"
              "\r\n"
              "[Foreign]\n"
              "Random=untouched\n"
              "[Other]\r\n"
              "PlayRandom=yes");
    EXPECT_EQ(ini.ReadString("Keys", "Random", ""), "F12");
}

TEST(IniFileWriting, NewKeyGoesAtTheEndOfItsSection)
{
    TempDir dir;
    WriteBytes(dir.file("c.ini"), "[Keys]\r\nRandom=/\r\n; about Other\r\n\r\n[Other]\r\nPlayrandom=no\r\n");
    TIniFile ini(dir.file("c.ini"));
    ini.WriteString("Keys", "Stop", "S");
    ini.WriteString("Other", "Extra", "1");
    EXPECT_EQ(ReadBytes(dir.file("c.ini")),
              "[Keys]\r\nRandom=/\r\nStop=S\r\n; about Other\r\n\r\n[Other]\r\nPlayrandom=no\r\nExtra=1\r\n");
}

TEST(IniFileWriting, EmptySectionAndFileWithoutFinalLineEnd)
{
    TempDir dir;
    WriteBytes(dir.file("c.ini"), "[Keys]\n[Other]");
    TIniFile ini(dir.file("c.ini"));
    ini.WriteString("Keys", "A", "1");
    ini.WriteString("Other", "B", "2");
    ini.WriteString("New", "C", "3");
    // The file's own LF line ends are used for what is added.
    EXPECT_EQ(ReadBytes(dir.file("c.ini")), "[Keys]\nA=1\n[Other]\nB=2\n\n[New]\nC=3\n");
}

TEST(IniFileWriting, WrittenValuesReadBackUnchanged)
{
    TempDir dir;
    TIniFile ini(dir.file("c.ini"));
    for (const std::string value : {"", "=", "a=b", ";not a comment", "[x]", "\xE9t\xE9", "*"}) {
        ini.WriteString("S", "K", value);
        EXPECT_EQ(ini.ReadString("S", "K", "dflt"), value);
    }
}

TEST(IniFileErrors, EntriesThatWouldNotReadBackAreRefused)
{
    TempDir dir;
    TIniFile ini(dir.file("c.ini"));
    ini.WriteString("S", "K", "v");
    const std::string before = ReadBytes(dir.file("c.ini"));
    const std::string prefix = "Unable to write to " + dir.file("c.ini");
    EXPECT_EQ(writeError(ini, "S", "K", "two\r\nlines"), prefix + " (line break in value)");
    EXPECT_EQ(writeError(ini, "S", "K=", "v"), prefix + " (invalid key name)");
    EXPECT_EQ(writeError(ini, "S", ";K", "v"), prefix + " (invalid key name)");
    EXPECT_EQ(writeError(ini, "S]", "K", "v"), prefix + " (invalid section name)");
    EXPECT_EQ(ReadBytes(dir.file("c.ini")), before);
}

TEST(IniFileErrors, ReadOnlyDirectoryNamesThePathAndKeepsTheFile)
{
    TempDir dir;
    const std::string sub = dir.file("ro");
    ASSERT_EQ(mkdir(sub.c_str(), 0755), 0);
    const std::string path = sub + "/Config.ini";
    TIniFile(path).WriteString("Keys", "Random", "/");
    const std::string before = ReadBytes(path);
    ASSERT_EQ(chmod(path.c_str(), 0444), 0);
    ASSERT_EQ(chmod(sub.c_str(), 0555), 0);
    ASSERT_EQ(chmod(dir.path().c_str(), 0755), 0);

    const std::string message = unprivilegedWriteError(path, "Keys", "Random", "*");
    chmod(sub.c_str(), 0755);
    EXPECT_EQ(message, "Unable to write to " + path);
    EXPECT_EQ(ReadBytes(path), before);
}

TEST(IniFileErrors, UnreadableFileIsNotReplaced)
{
    // What cannot be read cannot be kept: rewriting it would lose it.
    TempDir dir;
    const std::string path = dir.file("c.ini");
    WriteBytes(path, "[Keys]\r\nRandom=/\r\n");
    ASSERT_EQ(chmod(path.c_str(), 0222), 0);
    ASSERT_EQ(chmod(dir.path().c_str(), 0777), 0);
    EXPECT_EQ(unprivilegedWriteError(path, "Keys", "Next", "F1"), "Unable to write to " + path);
    chmod(path.c_str(), 0644);
    EXPECT_EQ(ReadBytes(path), "[Keys]\r\nRandom=/\r\n");
}

TEST(IniFileErrors, TheFilesOwnProtectionDecidesNotItsDirectory)
{
    TempDir dir;
    ASSERT_EQ(chmod(dir.path().c_str(), 0777), 0);
    const std::string path = dir.file("Config.ini");
    WriteBytes(path, "[Keys]\r\nRandom=/\r\n");
    ASSERT_EQ(chmod(path.c_str(), 0444), 0);
    // A write-protected file is not replaced, though the directory would allow it.
    EXPECT_EQ(unprivilegedWriteError(path, "Keys", "Random", "*"), "Unable to write to " + path);
    EXPECT_EQ(ReadBytes(path), "[Keys]\r\nRandom=/\r\n");

    // A writable file in a directory that takes no new files is written in place.
    ASSERT_EQ(chmod(path.c_str(), 0666), 0);
    ASSERT_EQ(chmod(dir.path().c_str(), 0555), 0);
    EXPECT_EQ(unprivilegedWriteError(path, "Keys", "Random", "*"), "no error");
    chmod(dir.path().c_str(), 0755);
    EXPECT_EQ(ReadBytes(path), "[Keys]\r\nRandom=*\r\n");
}
