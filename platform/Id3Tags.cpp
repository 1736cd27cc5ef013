#include "Id3Tags.h"

#include "Id3Text.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>

namespace quellora {

namespace {

constexpr std::size_t HeaderSize = 10;
constexpr std::size_t V1Size = 128;
// What one file's ID3v2 tag may cost: the bytes read of it. Frames that are
// not shown (pictures, lyrics, private data) are stepped over by their size
// and never read, so a tag of any size costs at most this; text frames behind
// more than this of other small frames go unread.
constexpr std::size_t ReadBudget = 1 << 20;
// A shown text frame is read this far; a longer value is cut.
constexpr std::size_t TextFrameLimit = 64 << 10;
// A file is read a window at a time, so that small frames cost no call each.
constexpr std::size_t WindowSize = 64 << 10;

std::uint8_t byteAt(std::string_view data, std::size_t at)
{
    return static_cast<std::uint8_t>(data[at]);
}

std::uint32_t bigEndian(std::string_view data, std::size_t at, std::size_t count)
{
    std::uint32_t value = 0;
    for (std::size_t i = 0; i < count; ++i)
        value = (value << 8) | byteAt(data, at + i);
    return value;
}

// Seven bits a byte; a byte with its high bit set makes the number invalid.
bool syncSafe(std::string_view data, std::size_t at, std::uint32_t& value)
{
    value = 0;
    for (std::size_t i = 0; i < 4; ++i) {
        const std::uint8_t b = byteAt(data, at + i);
        if (b & 0x80)
            return false;
        value = (value << 7) | b;
    }
    return true;
}

// Takes back the unsynchronisation scheme: every 0xFF 0x00 becomes 0xFF.
std::string resynchronise(std::string_view data)
{
    std::string out;
    out.reserve(data.size());
    for (std::size_t i = 0; i < data.size(); ++i) {
        out += data[i];
        if (byteAt(data, i) == 0xFF && i + 1 < data.size() && data[i + 1] == 0)
            ++i;
    }
    return out;
}

bool readAt(int fd, std::string& out, std::size_t count, off_t offset)
{
    out.resize(count);
    std::size_t done = 0;
    while (done < count) {
        const ssize_t n = pread(fd, out.data() + done, count - done, offset + off_t(done));
        if (n < 0) {
            out.clear();
            return false;
        }
        if (n == 0)
            break;
        done += std::size_t(n);
    }
    out.resize(done);
    return true;
}

// The bytes of a tag: held in memory, or read from a file a window at a time
// within the read budget.
class TTagBytes {
public:
    explicit TTagBytes(std::string_view memory) : data_(memory), size_(memory.size()) {}
    TTagBytes(int fd, std::uint64_t fileSize) : fd_(fd), size_(fileSize) {}

    // Up to `count` bytes at `offset`: fewer where the data end or the budget
    // is spent. Valid until the next call.
    std::string_view At(std::uint64_t offset, std::size_t count)
    {
        if (offset >= size_)
            return {};
        count = std::size_t(std::min<std::uint64_t>(count, size_ - offset));
        if (fd_ >= 0 && (offset < windowAt_ || offset + count > windowAt_ + window_.size())) {
            const std::size_t want = std::min({std::max(count, WindowSize), budget_, std::size_t(size_ - offset)});
            readAt(fd_, window_, want, off_t(offset));
            windowAt_ = offset;
            budget_ -= window_.size();
            data_ = window_;
        }
        const std::uint64_t skip = offset - (fd_ >= 0 ? windowAt_ : 0);
        return skip >= data_.size() ? std::string_view() : data_.substr(std::size_t(skip), count);
    }

private:
    std::string_view data_; // the memory, or the file's current window
    int fd_ = -1;
    std::uint64_t size_ = 0;
    std::string window_;
    std::uint64_t windowAt_ = 0;
    std::size_t budget_ = ReadBudget;
};

enum class TField { None, Title, Artist, Album };

TField fieldOf(std::string_view id)
{
    if (id == "TIT2" || id == "TT2")
        return TField::Title;
    if (id == "TPE1" || id == "TP1")
        return TField::Artist;
    if (id == "TALB" || id == "TAL")
        return TField::Album;
    return TField::None;
}

// The first frame that gives a field a value wins.
bool taken(const TTrackTags& tags, TField field)
{
    switch (field) {
    case TField::Title:
        return !tags.Title.empty();
    case TField::Artist:
        return !tags.Artists.empty();
    case TField::Album:
        return !tags.Album.empty();
    case TField::None:
        break;
    }
    return true;
}

void take(TTrackTags& tags, TField field, std::string_view frame)
{
    std::vector<std::string> values = Id3TextValues(frame);
    if (values.empty())
        return;
    if (field == TField::Title)
        tags.Title = std::move(values.front());
    else if (field == TField::Album)
        tags.Album = std::move(values.front());
    else
        tags.Artists = std::move(values);
}

bool validFrameId(std::string_view id)
{
    return std::all_of(id.begin(), id.end(), [](char c) { return (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9'); });
}

// The frames of an ID3v2 tag of `version` (2, 3 or 4) from `at` to the tag's
// own end `end`, the header and any extended header already stepped over.
void parseFrames(TTagBytes& bytes, std::uint64_t at, std::uint64_t end, int version, bool allUnsynchronised,
                 TTrackTags& tags)
{
    const std::size_t idSize = version == 2 ? 3 : 4;
    const std::size_t frameHeader = version == 2 ? 6 : 10;
    while (at + frameHeader <= end &&
           !(taken(tags, TField::Title) && taken(tags, TField::Artist) && taken(tags, TField::Album))) {
        const std::string_view header = bytes.At(at, frameHeader);
        if (header.size() < frameHeader)
            return; // the data end here
        const std::string_view id = header.substr(0, idSize);
        if (!validFrameId(id))
            return; // padding, or damage: nothing after it can be trusted
        std::uint32_t size = 0;
        if (version == 2)
            size = bigEndian(header, 3, 3);
        else if (version == 3)
            size = bigEndian(header, 4, 4);
        else if (!syncSafe(header, 4, size))
            return;
        // A frame that runs past the tag is damage too, and never text.
        if (size > end - at - frameHeader)
            return;
        const std::uint8_t format = version == 2 ? 0 : byteAt(header, 9);
        const TField field = fieldOf(id);
        const std::uint64_t dataAt = at + frameHeader;
        at = dataAt + size;
        if (field == TField::None || taken(tags, field))
            continue; // stepped over unread
        if ((version == 3 && (format & 0xC0)) || (version == 4 && (format & 0x0C)))
            continue; // compressed or encrypted

        // A file cut inside the frame gives what is there.
        std::string_view data = bytes.At(dataAt, std::min<std::size_t>(size, TextFrameLimit));
        std::string unsynchronised;
        if (version == 3) {
            if (format & 0x20)
                data.remove_prefix(std::min<std::size_t>(1, data.size()));
        } else if (version == 4) {
            if (format & 0x40)
                data.remove_prefix(std::min<std::size_t>(1, data.size()));
            if (format & 0x01)
                data.remove_prefix(std::min<std::size_t>(4, data.size()));
            if ((format & 0x02) || allUnsynchronised) {
                unsynchronised = resynchronise(data);
                data = unsynchronised;
            }
        }
        take(tags, field, data);
    }
}

// The extended header, if the tag has one, then the frames.
void parseBody(TTagBytes& bytes, std::uint64_t at, std::uint64_t end, int version, std::uint8_t flags,
               TTrackTags& tags)
{
    if (version == 3 && (flags & 0x40)) {
        const std::string_view extended = bytes.At(at, 4);
        if (extended.size() < 4)
            return;
        at += std::uint64_t(bigEndian(extended, 0, 4)) + 4;
    } else if (version == 4 && (flags & 0x40)) {
        const std::string_view extended = bytes.At(at, 4);
        std::uint32_t size = 0;
        if (extended.size() < 4 || !syncSafe(extended, 0, size))
            return;
        at += size;
    }
    parseFrames(bytes, at, end, version, version == 4 && (flags & 0x80), tags);
}

void parseId3v2(TTagBytes& bytes, TTrackTags& tags)
{
    const std::string header(bytes.At(0, HeaderSize));
    if (Id3v2TagSize(header) == 0)
        return;
    const int version = byteAt(header, 3);
    const std::uint8_t flags = byteAt(header, 5);
    std::uint32_t size = 0;
    syncSafe(header, 6, size);
    if (version == 2 && (flags & 0x40))
        return; // compressed, with no defined method
    if (version < 4 && (flags & 0x80)) {
        // Before 2.4 unsynchronisation covers the whole tag, extended header
        // included, and frame sizes count the bytes as taken back: the tag
        // must be read (as far as the budget goes) before it can be walked.
        const std::string_view stored = bytes.At(HeaderSize, std::min<std::size_t>(size, ReadBudget));
        const bool whole = stored.size() == size;
        const std::string body = resynchronise(stored);
        TTagBytes resynchronised(body);
        parseBody(resynchronised, 0, whole ? body.size() : size, version, flags, tags);
        return;
    }
    parseBody(bytes, HeaderSize, HeaderSize + std::uint64_t(size), version, flags, tags);
}

// An ID3v1 field: Latin-1, cut at its first NUL, without trailing spaces.
std::string v1Field(std::string_view tag, std::size_t at, std::size_t length)
{
    std::string_view field = tag.substr(at, length);
    field = field.substr(0, field.find('\0'));
    while (!field.empty() && field.back() == ' ')
        field.remove_suffix(1);
    return Id3FromLatin1(field);
}

void parseId3v1(std::string_view tail, TTrackTags& tags)
{
    if (tail.size() < V1Size)
        return;
    const std::string_view tag = tail.substr(tail.size() - V1Size);
    if (tag.substr(0, 3) != "TAG")
        return;
    if (tags.Title.empty())
        tags.Title = v1Field(tag, 3, 30);
    if (tags.Artists.empty()) {
        std::string artist = v1Field(tag, 33, 30);
        if (!artist.empty())
            tags.Artists.push_back(std::move(artist));
    }
    if (tags.Album.empty())
        tags.Album = v1Field(tag, 63, 30);
}

} // namespace

std::size_t Id3v2TagSize(std::string_view head)
{
    if (head.size() < HeaderSize || head.substr(0, 3) != "ID3")
        return 0;
    const int version = byteAt(head, 3);
    if (version < 2 || version > 4 || byteAt(head, 4) == 0xFF)
        return 0;
    std::uint32_t size = 0;
    if (!syncSafe(head, 6, size))
        return 0;
    const bool footer = version == 4 && (byteAt(head, 5) & 0x10);
    return HeaderSize + size + (footer ? HeaderSize : 0);
}

TTrackTags ParseId3Tags(std::string_view head, std::string_view tail)
{
    TTrackTags tags;
    TTagBytes bytes(head);
    parseId3v2(bytes, tags);
    parseId3v1(tail, tags);
    return tags;
}

TTrackTags ReadTrackTags(const std::string& path)
{
    // Non-blocking, so that a FIFO in place of the file cannot hold us here.
    const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return {};
    TTrackTags tags;
    struct stat info {};
    if (fstat(fd, &info) == 0 && S_ISREG(info.st_mode)) {
        const auto fileSize = std::uint64_t(info.st_size);
        TTagBytes bytes(fd, fileSize);
        parseId3v2(bytes, tags);
        std::string tail;
        if (fileSize >= V1Size)
            readAt(fd, tail, V1Size, off_t(fileSize - V1Size));
        parseId3v1(tail, tags);
    }
    close(fd);
    return tags;
}

} // namespace quellora
