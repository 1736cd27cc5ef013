// The directory search and the add-directory scan: the directory's own
// order, "*.mp3" in any capitals, no directories, no descent.

#include "DirSearch.h"
#include "StringListModel.h"
#include "TempDir.h"
#include "Unit2.h"

#include <gtest/gtest.h>

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <map>
#include <string>
#include <vector>

using namespace quellora;
using namespace quellora::test;

namespace {

ByteStrings scan(const std::string& dir)
{
    TStringListModel list;
    ScanDirectory(dir, list);
    return list.Items();
}

// Names of a directory as readdir gives them.
std::vector<std::string> readdirOrder(const std::string& dir)
{
    std::vector<std::string> names;
    DIR* d = opendir(dir.c_str());
    while (const dirent* e = readdir(d))
        names.emplace_back(e->d_name);
    closedir(d);
    return names;
}

void makeDir(const std::string& path, mode_t mode = 0755)
{
    ASSERT_EQ(mkdir(path.c_str(), mode), 0) << path;
}

} // namespace

TEST(DirSearch, MaskMatchesWithoutRegardToCase)
{
    for (const char* name : {"a.mp3", "A.MP3", "b.Mp3", ".mp3", ".hidden.mp3", "x.y.mp3"})
        EXPECT_TRUE(MatchesMask(name, "*.mp3")) << name;
    for (const char* name : {"a.mp3.txt", "mp3", "amp3", "a.mp", "a.mp4", ""})
        EXPECT_FALSE(MatchesMask(name, "*.mp3")) << name;
    EXPECT_TRUE(MatchesMask("track01.WAV", "track??.wav"));
    EXPECT_FALSE(MatchesMask("track1.wav", "track??.wav"));
    EXPECT_TRUE(MatchesMask("aXbXc", "a*b*c"));
}

TEST(DirSearch, ReportsDirectoriesHiddenAndReadOnlyEntries)
{
    TempDir dir;
    WriteBytes(dir.file("plain.mp3"), "x");
    WriteBytes(dir.file(".dot.mp3"), "x");
    makeDir(dir.file("folder.mp3"));
    ASSERT_EQ(symlink(dir.file("folder.mp3").c_str(), dir.file("link.mp3").c_str()), 0);
    WriteBytes(dir.file("locked.mp3"), "x");
    chmod(dir.file("locked.mp3").c_str(), 0444);

    std::map<std::string, int> attrs;
    TDirSearch search;
    TSearchRec rec;
    ASSERT_TRUE(search.FindFirst(dir.path() + "*.MP3", rec));
    do
        attrs[rec.Name] = rec.Attr;
    while (search.FindNext(rec));
    search.FindClose();

    EXPECT_EQ(attrs, (std::map<std::string, int>{{"plain.mp3", 0},
                                                 {".dot.mp3", faHidden},
                                                 {"folder.mp3", faDirectory},
                                                 {"link.mp3", faDirectory},
                                                 {"locked.mp3", faReadOnly}}));
    EXPECT_FALSE(search.FindFirst(dir.file("missing/") + "*.mp3", rec));
    EXPECT_FALSE(search.FindFirst(dir.path() + "*.ogg", rec));
}

TEST(ScanDirectory, AddsMp3FilesInTheDirectorysOwnOrder)
{
    TempDir dir;
    // Created out of alphabetical order; the file system decides the order.
    for (const char* name : {"zeta.mp3", "Alpha.MP3", "mid.Mp3", "notes.txt", "song.mp3.bak", ".hidden.mp3", "b.mp3"})
        WriteBytes(dir.file(name), "x");

    ByteStrings expected;
    for (const std::string& name : readdirOrder(dir.path()))
        if (MatchesMask(name, "*.mp3"))
            expected.push_back(dir.path() + name);
    ASSERT_EQ(expected.size(), 5u);
    EXPECT_EQ(scan(dir.path()), expected);
}

TEST(ScanDirectory, NeverAddsDirectoriesNorDescendsIntoThem)
{
    TempDir dir;
    WriteBytes(dir.file("song.mp3"), "x");
    makeDir(dir.file("album.mp3"));
    makeDir(dir.file(".hidden.mp3"));
    makeDir(dir.file("readonly.mp3"), 0555);
    makeDir(dir.file("sub"));
    WriteBytes(dir.file("sub/deep.mp3"), "x");
    WriteBytes(dir.file("album.mp3/inner.mp3"), "x");

    EXPECT_EQ(scan(dir.path()), (ByteStrings{dir.path() + "song.mp3"}));
    chmod(dir.file("readonly.mp3").c_str(), 0755);
}

TEST(ScanDirectory, AppendsTheTextAsTypedWithNameBytesKept)
{
    TempDir dir;
    const std::string odd = "caf\xE9 \xFF.mp3"; // not UTF-8
    WriteBytes(dir.file(odd), "x");

    // A text that already ends in "/" gets a second one, and so do the added paths.
    TStringListModel list;
    list.Add("/earlier.mp3");
    ScanDirectory(dir.path() + "/", list);
    EXPECT_EQ(list.Items(), (ByteStrings{"/earlier.mp3", dir.path() + "/" + odd}));
    unlink(dir.file(odd).c_str()); // Qt cannot name it to clean up
}

TEST(ScanDirectory, MissingOrUnreadableDirectoryAddsNothing)
{
    TempDir dir;
    WriteBytes(dir.file("file.mp3"), "x");
    TStringListModel list;
    list.Add("kept");
    ScanDirectory(dir.file("missing/"), list);
    ScanDirectory(dir.file("file.mp3/"), list); // a file, not a directory
    EXPECT_EQ(list.Items(), (ByteStrings{"kept"}));
}
