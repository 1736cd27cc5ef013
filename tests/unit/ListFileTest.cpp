// The list-file format: what is read from and written to .qfl files.

#include "Exceptions.h"
#include "ListFile.h"
#include "QtText.h"
#include "SafeFile.h"
#include "StringListModel.h"
#include "TempDir.h"
#include "Unprivileged.h"

#include <gtest/gtest.h>
#include <csignal>
#include <algorithm>
#include <regex>
#include <sys/wait.h>
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
    // A device never ends and a FIFO may never be written: neither is read.
    EXPECT_THROW(LoadListFile("/dev/zero"), EFOpenError);
    const std::string fifo = dir.file("pipe.qfl");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_THROW(LoadListFile(fifo), EFOpenError);
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
    ASSERT_EQ(chmod(path.c_str(), 0444), 0);
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
    ByteStrings big;
    for (int i = 0; i < 1000; ++i)
        big.push_back(std::string(100, 'x'));
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
    // A directory is a file that cannot be created, not a failed write.
    try {
        SaveListFile(target, {"a"});
        ADD_FAILURE() << "no error";
    } catch (const EFCreateError& e) {
        EXPECT_EQ(e.Message, "Cannot create file " + target);
    }
    EXPECT_EQ(ReadBytes(inner), "kept");
    // No temporary file is left behind.
    QDir d(QString::fromStdString(dir.path()));
    EXPECT_EQ(d.entryList(QDir::Files | QDir::NoDotAndDotDot).size(), 0);
}

namespace {

// What an ordinary user's save of `target` says: "" when it succeeded.
std::string unprivilegedSave(const std::string& target, const ByteStrings& items)
{
    return RunUnprivileged([&] {
        try {
            SaveListFile(target, items);
        } catch (const Exception& e) {
            return e.Message;
        }
        return std::string();
    });
}

std::vector<std::string> namesIn(const std::string& dir)
{
    std::vector<std::string> names;
    for (const QString& name : QDir(QString::fromStdString(dir)).entryList(QDir::AllEntries | QDir::Hidden |
                                                                             QDir::System | QDir::NoDotAndDotDot))
        names.push_back(name.toStdString());
    std::sort(names.begin(), names.end());
    return names;
}

} // namespace

TEST(ListFileSaving, WriteProtectedFileIsRefusedAndKeptByteForByte)
{
    // The directory would let the file be replaced; the file's own protection decides.
    TempDir dir;
    ASSERT_EQ(chmod(dir.path().c_str(), 0777), 0);
    const std::string path = dir.file("Default.qfl");
    WriteBytes(path, "old1\r\nold2");
    ASSERT_EQ(chmod(path.c_str(), 0444), 0);
    ASSERT_EQ(symlink("Default.qfl", dir.file("link.qfl").c_str()), 0);

    EXPECT_EQ(unprivilegedSave(path, {}), "Cannot create file " + path);
    EXPECT_EQ(unprivilegedSave(dir.file("link.qfl"), {"new"}), "Cannot create file " + dir.file("link.qfl"));
    EXPECT_EQ(ReadBytes(path), "old1\r\nold2");
    struct stat st {};
    ASSERT_EQ(stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0444u);
    EXPECT_EQ(namesIn(dir.path()), (std::vector<std::string>{"Default.qfl", "link.qfl"}));
}

TEST(ListFileSaving, WritableFileInReadOnlyDirectoryIsRewrittenInPlace)
{
    TempDir dir;
    const std::string ro = dir.file("ro/");
    ASSERT_EQ(mkdir(ro.c_str(), 0755), 0);
    WriteBytes(ro + "l.qfl", "a longer old content\r\n");
    ASSERT_EQ(chmod((ro + "l.qfl").c_str(), 0666), 0);
    ASSERT_EQ(symlink("l.qfl", (ro + "link.qfl").c_str()), 0);
    ASSERT_EQ(chmod(ro.c_str(), 0555), 0);
    ASSERT_EQ(chmod(dir.path().c_str(), 0755), 0);
    struct stat before {};
    ASSERT_EQ(stat((ro + "l.qfl").c_str(), &before), 0);

    EXPECT_EQ(unprivilegedSave(ro + "l.qfl", {"a", "b"}), "");
    EXPECT_EQ(ReadBytes(ro + "l.qfl"), "a\r\nb\r\n") << "the old, longer content is gone";
    EXPECT_EQ(unprivilegedSave(ro + "link.qfl", {"c"}), "");
    EXPECT_EQ(ReadBytes(ro + "l.qfl"), "c\r\n");
    // A new file has no place to go.
    EXPECT_EQ(unprivilegedSave(ro + "new.qfl", {"x"}), "Cannot create file " + ro + "new.qfl");
    chmod(ro.c_str(), 0755);

    struct stat after {};
    ASSERT_EQ(lstat((ro + "l.qfl").c_str(), &after), 0);
    EXPECT_EQ(after.st_ino, before.st_ino);
    EXPECT_EQ(namesIn(ro), (std::vector<std::string>{"l.qfl", "link.qfl"}));
}

TEST(ListFileSaving, ThroughALinkTheFileBehindItIsReplaced)
{
    TempDir dir;
    ASSERT_EQ(mkdir(dir.file("real").c_str(), 0755), 0);
    WriteBytes(dir.file("real/l.qfl"), "old\r\n");
    ASSERT_EQ(chmod(dir.file("real/l.qfl").c_str(), 0640), 0);
    ASSERT_EQ(symlink("real/l.qfl", dir.file("link.qfl").c_str()), 0);
    SaveListFile(dir.file("link.qfl"), {"new"});
    EXPECT_EQ(ReadBytes(dir.file("real/l.qfl")), "new\r\n");
    struct stat st {};
    ASSERT_EQ(lstat(dir.file("link.qfl").c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));
    ASSERT_EQ(stat(dir.file("real/l.qfl").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u) << "the replacement keeps the file's permissions";
}

TEST(ListFileSaving, LeftoversOfKilledSavesGoAtTheNextSaveAndNothingElse)
{
    TempDir dir;
    ASSERT_EQ(chmod(dir.path().c_str(), 0777), 0);
    const std::string path = dir.file("l.qfl");
    const std::string result = RunUnprivileged([&] {
        SaveListFile(path, {"old"});
        // A save still running in another process.
        int ready[2], go[2];
        if (pipe(ready) != 0 || pipe(go) != 0)
            return std::string("pipe failed");
        const pid_t running = fork();
        if (running == 0) {
            TSafeFileWriter writer(path);
            writer.Append("running");
            char c;
            (void)!write(ready[1], "r", 1);
            (void)!read(go[0], &c, 1);
            _exit(0); // ends without cleaning up, as if killed
        }
        char c;
        (void)!read(ready[0], &c, 1);
        // A save killed half-way.
        const pid_t killed = fork();
        if (killed == 0) {
            TSafeFileWriter writer(path);
            writer.Append(std::string(2 << 20, 'k'));
            raise(SIGKILL);
        }
        waitpid(killed, nullptr, 0);
        // Names like those of the temporary files, which are not this target's.
        const std::string k = std::to_string(killed);
        for (const std::string& name : {".l.qfl.save-" + k + ".abcdefg", ".l.qfl.save-" + k + ".abc-ef",
                                        "l.qfl.save-" + k + ".abcdef", ".m.qfl.save-" + k + ".abcdef",
                                        ".l.qfl.save-0" + k + ".abcdef", std::string("l.qfl.Xy12Ab")})
            WriteBytes(dir.file(name), "not mine");

        // The directory with the writers' pids as K and R and the temporary files' random part as XXXXXX.
        const auto listing = [&] {
            static const std::regex temp(R"(^(\.?[lm]\.qfl\.save-0?)(\d+)\.(.*)$)");
            static const std::regex random(R"(^[A-Za-z0-9]{6}$)");
            std::vector<std::string> shown;
            for (const std::string& name : namesIn(dir.path())) {
                std::smatch m;
                if (!std::regex_match(name, m, temp)) {
                    shown.push_back(name);
                    continue;
                }
                const std::string who = m[2] == k ? "K" : m[2] == std::to_string(running) ? "R" : "?";
                const bool real = m[1] == ".l.qfl.save-" && std::regex_match(m[3].str(), random);
                shown.push_back(m[1].str() + who + "." + (real ? "XXXXXX" : m[3].str()));
            }
            std::sort(shown.begin(), shown.end());
            std::string text;
            for (const std::string& name : shown)
                text += name + " ";
            return text;
        };
        std::string report = listing() + "| ";
        SaveListFile(path, {"new"});
        report += listing() + "| ";
        (void)!write(go[1], "g", 1);
        waitpid(running, nullptr, 0);
        SaveListFile(path, {"newer"});
        return report + listing() + "| " + ReadBytes(path);
    });
    // Before the save: the killed save's leftover (K), the running save's file (R) and the look-alikes.
    // After it: the leftover is gone. Once the other writer has ended too, its file goes at the next save.
    const std::string alike = ".m.qfl.save-K.abcdef l.qfl l.qfl.Xy12Ab l.qfl.save-K.abcdef ";
    EXPECT_EQ(result, ".l.qfl.save-0K.abcdef .l.qfl.save-K.XXXXXX .l.qfl.save-K.abc-ef .l.qfl.save-K.abcdefg "
                      ".l.qfl.save-R.XXXXXX " + alike + "| "
                      ".l.qfl.save-0K.abcdef .l.qfl.save-K.abc-ef .l.qfl.save-K.abcdefg "
                      ".l.qfl.save-R.XXXXXX " + alike + "| "
                      ".l.qfl.save-0K.abcdef .l.qfl.save-K.abc-ef .l.qfl.save-K.abcdefg " + alike + "| newer\r\n");
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

TEST(ListModel, VeryLongItemShowsItsBeginningAndKeepsEveryByte)
{
    // 8191 letters, then an "é" across the showing limit, then 10 MB more.
    const std::string item = std::string(ShownTextLimit - 1, 'a') + "\xC3\xA9" + std::string(10'000'000, 'b');
    TStringListModel model;
    model.Add("/short.mp3");
    model.Add(item);
    EXPECT_EQ(model.data(model.index(1), Qt::DisplayRole).toString(), QString(qsizetype(ShownTextLimit - 1), 'a'))
        << "shown up to the last whole character within the limit";
    EXPECT_EQ(model.data(model.index(0), Qt::DisplayRole).toString(), "/short.mp3");
    EXPECT_EQ(model.Get(1), item);

    TempDir dir;
    model.SaveToFile(dir.file("l.qfl"));
    EXPECT_EQ(ReadBytes(dir.file("l.qfl")), "/short.mp3\r\n" + item + "\r\n");
    model.Clear();
    model.LoadFromFile(dir.file("l.qfl"));
    EXPECT_EQ(model.Items(), (ByteStrings{"/short.mp3", item}));
}
