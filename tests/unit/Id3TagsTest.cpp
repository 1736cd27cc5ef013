// The title, artists and album of a file from its ID3v2 and ID3v1 tags, in
// every text encoding the tags allow, and what damaged tags give.

#include "Id3Tags.h"
#include "ValidUtf8.h"
#include "TempDir.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

using namespace quellora;
using namespace std::string_literals;

namespace quellora {
// Failures show the fields, not bytes of the object.
void PrintTo(const TTrackTags& tags, std::ostream* out)
{
    *out << "{title \"" << tags.Title << "\", artists [";
    for (const std::string& artist : tags.Artists)
        *out << " \"" << artist << "\"";
    *out << " ], album \"" << tags.Album << "\"}";
}
} // namespace quellora

namespace {

std::string syncSafe(std::size_t n)
{
    return {char((n >> 21) & 0x7F), char((n >> 14) & 0x7F), char((n >> 7) & 0x7F), char(n & 0x7F)};
}

std::string bigEndian(std::size_t n, int bytes)
{
    std::string out;
    for (int i = bytes - 1; i >= 0; --i)
        out += char((n >> (8 * i)) & 0xFF);
    return out;
}

// A frame of the given version: 2 has 3-letter ids and 3-byte sizes, 3
// plain 4-byte sizes, 4 sync-safe ones.
std::string frame(int version, const std::string& id, const std::string& data, char formatFlags = 0)
{
    if (version == 2)
        return id + bigEndian(data.size(), 3) + data;
    return id + (version == 3 ? bigEndian(data.size(), 4) : syncSafe(data.size())) + '\0' + formatFlags + data;
}

std::string tag(int version, const std::string& frames, char flags = 0, std::size_t padding = 16)
{
    return "ID3"s + char(version) + '\0' + flags + syncSafe(frames.size() + padding) + frames +
           std::string(padding, '\0');
}

std::string v1(const std::string& title, const std::string& artist, const std::string& album)
{
    auto field = [](std::string s, std::size_t n) { return s.append(n - s.size(), '\0'); };
    return "TAG" + field(title, 30) + field(artist, 30) + field(album, 30) + std::string(4 + 30 + 1, '\0');
}

// The unsynchronisation scheme: a 0x00 after every 0xFF.
std::string unsync(const std::string& data)
{
    std::string out;
    for (char c : data) {
        out += c;
        if (c == '\xFF')
            out += '\0';
    }
    return out;
}

bool allValid(const TTrackTags& tags)
{
    bool ok = ValidUtf8(tags.Title) && ValidUtf8(tags.Album);
    for (const std::string& artist : tags.Artists)
        ok = ok && ValidUtf8(artist);
    return ok;
}

} // namespace

TEST(Id3Tags, EveryTextEncodingOfEveryVersionComesBackAsUtf8)
{
    // 2.3: Latin-1, UTF-16 with a little-endian and with a big-endian mark.
    const std::string v23 = tag(3, frame(3, "TIT2", "\0Premi\xE8re\0"s) +
                                       frame(3, "TPE1", "\1\xFF\xFE\xA9\x03\0\0"s) +   // little-endian omega
                                       frame(3, "TALB", "\1\xFE\xFF\xD8\x3D\xDE\x00"s)); // big-endian U+1F600
    EXPECT_EQ(ParseId3Tags(v23, ""), (TTrackTags{"Première", {"Ω"}, "😀"}));

    // 2.4: UTF-8 with several artists, UTF-16 big-endian without a mark.
    const std::string v24 = tag(4, frame(4, "TIT2", "\3Caf\xC3\xA9"s) + frame(4, "TPE1", "\3Ada\0Bo\0"s) +
                                       frame(4, "TALB", "\2\0D\0a\0w\0n"s));
    EXPECT_EQ(ParseId3Tags(v24, ""), (TTrackTags{"Café", {"Ada", "Bo"}, "Dawn"}));

    // 2.2: three-letter frames; UTF-16 without a mark is little-endian.
    const std::string v22 =
        tag(2, frame(2, "TT2", "\0Old"s) + frame(2, "TP1", "\1O\0n\0e\0"s) + frame(2, "TAL", "\0Al"s));
    EXPECT_EQ(ParseId3Tags(v22, ""), (TTrackTags{"Old", {"One"}, "Al"}));

    // Frames the reader does not know are stepped over; the first title wins.
    const std::string others = tag(3, frame(3, "TSSE", "\0LAME"s) + frame(3, "APIC", std::string(300, '\x55')) +
                                          frame(3, "TIT2", "\0First"s) + frame(3, "TIT2", "\0Second"s));
    EXPECT_EQ(ParseId3Tags(others, "").Title, "First");
}

TEST(Id3Tags, Id3v1FillsOnlyWhatId3v2LeavesOut)
{
    const std::string tail = "audio" + v1("Old title   ", "Caf\xE9", "Album");
    EXPECT_EQ(ParseId3Tags("", tail), (TTrackTags{"Old title", {"Café"}, "Album"}));
    const std::string head = tag(3, frame(3, "TIT2", "\0New title"s));
    EXPECT_EQ(ParseId3Tags(head, tail), (TTrackTags{"New title", {"Café"}, "Album"}));
    // An empty field is no value; no "TAG" is no tag.
    EXPECT_EQ(ParseId3Tags("", v1("T", "", "")), (TTrackTags{"T", {}, ""}));
    EXPECT_EQ(ParseId3Tags("", "XAG" + v1("T", "A", "B").substr(3)), TTrackTags{});
}

TEST(Id3Tags, UnsynchronisationExtendedHeadersAndFrameFlagsAreTakenOff)
{
    // 2.3: the whole tag is unsynchronised (0xFF 0x00 stands for 0xFF), and
    // an extended header comes first.
    const std::string body23 = unsync(bigEndian(6, 4) + std::string(6, '\0') + frame(3, "TIT2", "\1\xFF\xFEH\0i\0"s));
    EXPECT_EQ(ParseId3Tags(tag(3, body23, '\xC0'), "").Title, "Hi");

    // 2.4: an extended header (its size counts itself), a frame with a data
    // length indicator and unsynchronisation, a compressed and an encrypted
    // frame that cannot be read, and a grouped one.
    const std::string body24 = syncSafe(6) + "\1\0"s +
                               frame(4, "TIT2", "\0\0\0\x07"s + unsync("\1\xFF\xFEH\0i\0"s), '\x03') +
                               frame(4, "TPE1", "xxxx\0Zipped"s, '\x09') + frame(4, "TALB", "\0Secret"s, '\x04') +
                               frame(4, "TALB", "g\0Grouped"s, '\x40');
    EXPECT_EQ(ParseId3Tags(tag(4, body24, '\x40'), ""), (TTrackTags{"Hi", {}, "Grouped"}));
    // 2.4 with the tag's flag: every frame is unsynchronised, flagged or not.
    EXPECT_EQ(ParseId3Tags(tag(4, frame(4, "TIT2", unsync("\1\xFF\xFEH\0i\0"s)), '\x80'), "").Title, "Hi");

    // 2.3 frame flags: compressed skipped, grouped read past its group byte.
    const std::string flags23 = frame(3, "TIT2", "\0Zipped"s, '\x80') + frame(3, "TIT2", "g\0Plain"s, '\x20');
    EXPECT_EQ(ParseId3Tags(tag(3, flags23), "").Title, "Plain");
}

TEST(Id3Tags, DamagedTagsGiveWhatCanBeReadAndAlwaysValidUtf8)
{
    // Bad UTF-8 (a cut sequence, one beyond U+10FFFF), a lone surrogate and
    // an odd byte become U+FFFD.
    const std::string bad = tag(4, frame(4, "TIT2", "\3a\xC3(\xF4\x90\x80\x80" "b\xF0\x9F"s) +
                                       frame(4, "TPE1", "\2\xD8\x00\0x"s) + frame(4, "TALB", "\1\xFF\xFEz\0q"s));
    EXPECT_EQ(ParseId3Tags(bad, ""), (TTrackTags{"a\uFFFD(\uFFFDb\uFFFD", {"\uFFFDx"}, "z\uFFFD"}));

    // A frame cut short by the end of the data gives what is there; one
    // whose size runs past the tag's own end is damage and ends the tag, as
    // do an unknown encoding and a bad frame id.
    const std::string cut = "ID3\3\0\0"s + syncSafe(400) + frame(3, "TIT2", "\0Cut short"s).substr(0, 10) + "\0Cut"s;
    EXPECT_EQ(ParseId3Tags(cut, "").Title, "Cut");
    const std::string huge = frame(3, "TALB", "\0Kept"s) + "TIT2\xFF\xFF\xFF\xFF\0\0\0Huge frame size"s +
                             frame(3, "TPE1", "\0Artist"s);
    EXPECT_EQ(ParseId3Tags(tag(3, huge), ""), (TTrackTags{"", {}, "Kept"}));
    const std::string past = frame(3, "TIT2", "\0Past the end"s);
    EXPECT_EQ(ParseId3Tags("ID3\3\0\0"s + syncSafe(past.size() - 1) + past + std::string(16, '\0'), "").Title, "");
    EXPECT_EQ(ParseId3Tags(tag(3, frame(3, "TIT2", "\7Odd"s)), "").Title, "");
    EXPECT_EQ(ParseId3Tags(tag(3, "tit2" + frame(3, "TIT2", "\0Late"s)), "").Title, "");

    // Every cut of a good tag, and every byte of it flipped, reads without
    // fault and gives valid UTF-8.
    const std::string good = tag(4, frame(4, "TIT2", "\1\xFF\xFEH\0i\0"s, '\x03') + frame(4, "TPE1", "\3A\0B"s) +
                                        frame(4, "TALB", "\2\0x"s), '\xD0', 0);
    for (std::size_t n = 0; n <= good.size(); ++n)
        EXPECT_TRUE(allValid(ParseId3Tags(good.substr(0, n), good.substr(n)))) << "cut at " << n;
    for (std::size_t i = 0; i < good.size(); ++i) {
        std::string flipped = good;
        flipped[i] = char(flipped[i] ^ 0xA5);
        EXPECT_TRUE(allValid(ParseId3Tags(flipped, flipped))) << "byte " << i;
    }
}

TEST(Id3Tags, TagSizeCountsHeaderFramesPaddingAndFooter)
{
    EXPECT_EQ(Id3v2TagSize(tag(3, "", 0, 100)), 110u);
    EXPECT_EQ(Id3v2TagSize("ID3\4\0\x10"s + syncSafe(20)), 40u);
    EXPECT_EQ(Id3v2TagSize("ID3\3\0\0\0\0\x80\0"s), 0u); // a size byte with its high bit
    EXPECT_EQ(Id3v2TagSize("ID3\5\0\0\0\0\0\1"s), 0u);   // an unknown version
    EXPECT_EQ(Id3v2TagSize("ID3\3\0\0\0"s), 0u);         // cut inside the header
}

TEST(Id3Tags, ReadsTheTagsOfARegularFileOnly)
{
    quellora::test::TempDir dir;
    const std::string path = dir.file("song.mp3");
    quellora::test::WriteBytes(path, tag(3, frame(3, "TIT2", "\0Head"s)) + std::string(5000, '\x55') +
                                         v1("", "Tail artist", ""));
    EXPECT_EQ(ReadTrackTags(path), (TTrackTags{"Head", {"Tail artist"}, ""}));

    // A tag that claims more than the file holds reads what the file has.
    const std::string big = dir.file("big.mp3");
    quellora::test::WriteBytes(big, "ID3\3\0\0"s + syncSafe(1 << 26) + frame(3, "TIT2", "\0Big"s));
    EXPECT_EQ(ReadTrackTags(big).Title, "Big");

    // A picture of 200 MB (a hole in a sparse file) is stepped over, not
    // read: the artist behind it is found. A huge title is read only in part.
    const std::string picture = dir.file("picture.mp3");
    const std::size_t pictureSize = 200 << 20;
    const std::string before = frame(3, "TIT2", "\0"s + std::string(1 << 20, 'a')) + "APIC" +
                               bigEndian(pictureSize, 4) + "\0\0"s;
    const std::string after = frame(3, "TPE1", "\0Behind"s);
    const std::string head = "ID3\3\0\0"s + syncSafe(before.size() + pictureSize + after.size()) + before;
    quellora::test::WriteBytes(picture, head);
    ASSERT_EQ(truncate(picture.c_str(), off_t(head.size() + pictureSize)), 0);
    std::FILE* f = std::fopen(picture.c_str(), "ab");
    ASSERT_NE(f, nullptr);
    std::fwrite(after.data(), 1, after.size(), f);
    std::fclose(f);
    const TTrackTags tags = ReadTrackTags(picture);
    EXPECT_EQ(tags.Artists, std::vector<std::string>{"Behind"});
    EXPECT_GT(tags.Title.size(), 1000u);
    EXPECT_LT(tags.Title.size(), 100000u);

    EXPECT_EQ(ReadTrackTags(dir.file("missing.mp3")), TTrackTags{});
    EXPECT_EQ(ReadTrackTags(dir.path()), TTrackTags{});
    // A FIFO is not waited on.
    const std::string fifo = dir.file("fifo.mp3");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_EQ(ReadTrackTags(fifo), TTrackTags{});
}
