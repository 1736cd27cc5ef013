// The list-file format: what is read from and written to .qfl files.

#include "Exceptions.h"
#include "ListFile.h"
#include "StringListModel.h"
#include "TempDir.h"
#include "Unprivileged.h"

#include <gtest/gtest.h>
#include <csignal>
#include <sys/resource.h>
#include <sys/stat.h>

using namespace quellora;
using quellora::test::ReadBytes;
using quellora::test::RunUnprivileged;
using quellora::test::TempDir;
using quellora::test::WriteBytes;

TEST(ListFileReading, EveryLineBreakStyleEndsOneItem)
{
    const ByteStrings expected{"/a.mp3", "/b.mp3", "/c.mp3"};
    EXPECT_EQ(SplitListText("/a.mp3\r\n/b.mp3\r\n/c.mp3\r\n"), expected);
    EXPECT_EQ(SplitListText("/a.mp3\n/b.mp3\n/c.mp3\n"), expected);
    EXPECT_EQ(SplitListText("/a.mp3\r/b.mp3\r/c.mp3\r"), expected);
    EXPECT_EQ(SplitListText("/a.mp3\r\n/b.mp3\n/c.mp3\r"), expected);
}

TEST(ListFileReading, LfThenCrIsTwoBreaks)
{
    EXPECT_EQ(SplitListText("a\n\rb"), (ByteStrings{"a", "", "b"}));
}

TEST(ListFileReading, LastLineWithoutBreakIsAnItemAndFinalBreakAddsNone)
{
    EXPECT_EQ(SplitListText("a\r\nb"), (ByteStrings{"a", "b"}));
    EXPECT_EQ(SplitListText("a\r\nb\r\n"), (ByteStrings{"a", "b"}));
}

TEST(ListFileReading, EmptyItemsAreKept)
{
    EXPECT_EQ(SplitListText(""), ByteStrings{});
    EXPECT_EQ(SplitListText("\r\n"), ByteStrings{""});
    EXPECT_EQ(SplitListText("a\r\n\r\nb\r\n"), (ByteStrings{"a", "", "b"}));
}

TEST(ListFileReading, TextEndsAtTheFirstNul)
{
    EXPECT_EQ(SplitListText(std::string("a\r\nb\0c\r\nd\r\n", 11)), (ByteStrings{"a", "b"}));
    EXPECT_EQ(SplitListText(std::string("\0a\r\n", 4)), ByteStrings{});
}

TEST(ListFileReading, WhitespaceIsKept)
{
    EXPECT_EQ(SplitListText("  a b \t\r\n"), ByteStrings{"  a b \t"});
}

TEST(ListFileWriting, EveryItemIsFollowedByCrLf)
{
    EXPECT_EQ(JoinListText({}), "");
    EXPECT_EQ(JoinListText({""}), "\r\n");
    EXPECT_EQ(JoinListText({"a", "", "b"}), "a\r\n\r\nb\r\n");
}

TEST(ListFileRoundTrip, BytesThatAreNotUtf8SurviveUnchanged)
{
    TempDir dir;
    const ByteStrings items{"/music/\xE9t\xE9.mp3", "", "/x/\xFF\xFE\x80.mp3", "  spaced  ", "/\xC3\x28.mp3"};
    SaveListFile(dir.file("l.qfl"), items);
    EXPECT_EQ(ReadBytes(dir.file("l.qfl")), JoinListText(items));
    EXPECT_EQ(LoadListFile(dir.file("l.qfl")), items);
}

TEST(ListFileRoundTrip, EmptyListGivesZeroBytesAndBack)
{
    TempDir dir;
    SaveListFile(dir.file("e.qfl"), {});
    EXPECT_EQ(ReadBytes(dir.file("e.qfl")), "");
    EXPECT_TRUE(LoadListFile(dir.file("e.qfl")).empty());
}

TEST(ListFileErrors, MissingOrUnreadableFileNamesThePath)
{
    TempDir dir;
    const std::string missing = dir.file("missing.qfl");
    try {
        LoadListFile(missing);
        FAIL() << "no error";
    } catch (const EFOpenError& e) {
        EXPECT_EQ(e.Message, "Cannot open file " + missing);
    }
    EXPECT_THROW(LoadListFile(dir.path()), EFOpenError);
}

TEST(ListFileErrors, SaveIntoMissingDirectoryCannotCreate)
{
    TempDir dir;
    const std::string path = dir.file("no/such/dir/l.qfl");
    try {
        SaveListFile(path, {"a"});
        FAIL() << "no error";
    } catch (const EFCreateError& e) {
        EXPECT_EQ(e.Message, "Cannot create file " + path);
    }
}

TEST(ListFileErrors, FailedSaveLeavesTheEarlierFileWhole)
{
    TempDir dir;
    const std::string sub = dir.file("ro");
    ASSERT_EQ(mkdir(sub.c_str(), 0755), 0);
    const std::string path = sub + "/l.qfl";
    SaveListFile(path, {"old1", "old2"});
    // Read-only for everyone; the save runs as an ordinary user.
    ASSERT_EQ(chmod(dir.path().c_str(), 0755), 0);
    ASSERT_EQ(chmod(sub.c_str(), 0555), 0);
    const std::string message = RunUnprivileged([&] {
        try {
            SaveListFile(path, {"new"});
        } catch (const EFCreateError& e) {
            return e.Message;
        }
        return std::string("no error");
    });
    chmod(sub.c_str(), 0755);
    EXPECT_EQ(message, "Cannot create file " + path);
    EXPECT_EQ(ReadBytes(path), "old1\r\nold2\r\n");
}

TEST(ListFileErrors, WriteFailureLeavesTheEarlierFileWhole)
{
    // A file-size limit makes the write fail half-way, as a full disk would.
    TempDir dir;
    const std::string path = dir.file("l.qfl");
    SaveListFile(path, {"old1", "old2"});
    ByteStrings big(1000, std::string(100, 'x'));
    rlimit old {};
    getrlimit(RLIMIT_FSIZE, &old);
    rlimit small = old;
    small.rlim_cur = 4096;
    auto oldHandler = signal(SIGXFSZ, SIG_IGN);
    setrlimit(RLIMIT_FSIZE, &small);
    try {
        SaveListFile(path, big);
        ADD_FAILURE() << "no error";
    } catch (const EWriteError& e) {
        EXPECT_EQ(e.Message, "Stream write error");
    }
    setrlimit(RLIMIT_FSIZE, &old);
    signal(SIGXFSZ, oldHandler);
    EXPECT_EQ(ReadBytes(path), "old1\r\nold2\r\n");
    QDir d(QString::fromStdString(dir.path()));
    EXPECT_EQ(d.entryList(QDir::Files | QDir::NoDotAndDotDot).size(), 1) << "a temporary file was left behind";
}

TEST(ListFileErrors, TargetThatCannotBeReplacedIsKept)
{
    TempDir dir;
    const std::string target = dir.file("target.qfl");
    ASSERT_EQ(mkdir(target.c_str(), 0755), 0);
    const std::string inner = target + "/keep";
    WriteBytes(inner, "kept");
    EXPECT_THROW(SaveListFile(target, {"a"}), EWriteError);
    EXPECT_EQ(ReadBytes(inner), "kept");
    // No temporary file is left behind.
    QDir d(QString::fromStdString(dir.path()));
    EXPECT_EQ(d.entryList(QDir::Files | QDir::NoDotAndDotDot).size(), 0);
}

TEST(ListModel, FailedLoadLeavesTheListAsItWas)
{
    TempDir dir;
    TStringListModel model;
    model.Assign({"a", "b"});
    EXPECT_THROW(model.LoadFromFile(dir.file("missing.qfl")), EFOpenError);
    EXPECT_EQ(model.Items(), (ByteStrings{"a", "b"}));
}

TEST(ListModel, IndexOutsideTheListIsAnError)
{
    TStringListModel model;
    model.Assign({"a"});
    try {
        model.Get(-1);
        FAIL() << "no error";
    } catch (const EListError& e) {
        EXPECT_EQ(e.Message, "List index out of bounds (-1)");
    }
    EXPECT_THROW(model.Get(1), EListError);
    EXPECT_THROW(model.Delete(3), EListError);
}
