// The directory search and the add-directory scan: by name upper-cased,
// "*.mp3" in any capitals, no directories, no descent.

#include "DirSearch.h"
#include "StringListModel.h"
#include "TempDir.h"
#include "Unit2.h"

#include <gtest/gtest.h>

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

TEST(ScanDirectory, AddsMp3FilesByNameComparedUpperCased)
{
    TempDir dir;
    // Created out of order; readdir's hash order must not leak through.
    const std::vector<std::string> created = {
        "zeta.mp3",     "\xE9t\xE9.mp3", "track2.mp3",        "_under.mp3",  "alpha.mp3",
        "\xC3\x89mile.mp3", "notes.txt",   "song.mp3.bak",      "\xFF.mp3",     ".hidden.mp3",
        "\xC3\xA9lan.mp3",  "track10.mp3", "Alpha.MP3",         "b.mp3"};
    for (const std::string& name : created)
        WriteBytes(dir.file(name), "x");

    // "_" after "Z" (upper-cased, not lower-cased); "élan" before "Émile"
    // as Unicode letters, not as bytes (É is C3 89, é C3 A9); equal
    // names by their bytes; stray bytes last, by value, kept as they are.
    ByteStrings expected;
    for (const char* name : {".hidden.mp3", "Alpha.MP3", "alpha.mp3", "b.mp3", "track10.mp3", "track2.mp3",
                             "zeta.mp3", "_under.mp3", "\xC3\xA9lan.mp3", "\xC3\x89mile.mp3",
                             "\xE9t\xE9.mp3", "\xFF.mp3"})
        expected.push_back(dir.path() + name);
    EXPECT_EQ(scan(dir.path()), expected);
    for (const std::string& name : created)
        unlink(dir.file(name).c_str()); // Qt cannot name the stray bytes to clean up
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
