#include "Id3Tags.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>

namespace quellora {

namespace {

constexpr std::size_t HeaderSize = 10;
constexpr std::size_t V1Size = 128;
// A tag with a large picture before its text frames is cut here; the text
// frames of the usual tag lie well within it.
constexpr std::size_t HeadReadLimit = 1 << 20;

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

void appendUtf8(std::string& out, std::uint32_t code)
{
    if (code < 0x80) {
        out += char(code);
    } else if (code < 0x800) {
        out += char(0xC0 | (code >> 6));
        out += char(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
        out += char(0xE0 | (code >> 12));
        out += char(0x80 | ((code >> 6) & 0x3F));
        out += char(0x80 | (code & 0x3F));
    } else {
        out += char(0xF0 | (code >> 18));
        out += char(0x80 | ((code >> 12) & 0x3F));
        out += char(0x80 | ((code >> 6) & 0x3F));
        out += char(0x80 | (code & 0x3F));
    }
}

constexpr std::uint32_t Replacement = 0xFFFD;

std::string fromLatin1(std::string_view text)
{
    std::string out;
    for (char c : text)
        appendUtf8(out, static_cast<std::uint8_t>(c));
    return out;
}

// UTF-8 as it claims to be; what is not (overlong forms, surrogates, cut
// sequences, stray bytes) becomes U+FFFD, so the result is always valid.
std::string fromUtf8(std::string_view text)
{
    std::string out;
    std::size_t i = 0;
    while (i < text.size()) {
        const std::uint8_t lead = byteAt(text, i);
        std::size_t length = 0;
        std::uint32_t code = 0;
        std::uint32_t minimum = 0;
        if (lead < 0x80) {
            out += char(lead);
            ++i;
            continue;
        }
        if ((lead & 0xE0) == 0xC0) {
            length = 2, code = lead & 0x1F, minimum = 0x80;
        } else if ((lead & 0xF0) == 0xE0) {
            length = 3, code = lead & 0x0F, minimum = 0x800;
        } else if ((lead & 0xF8) == 0xF0) {
            length = 4, code = lead & 0x07, minimum = 0x10000;
        } else {
            appendUtf8(out, Replacement);
            ++i;
            continue;
        }
        std::size_t n = 1;
        for (; n < length && i + n < text.size() && (byteAt(text, i + n) & 0xC0) == 0x80; ++n)
            code = (code << 6) | (byteAt(text, i + n) & 0x3F);
        if (n < length || code < minimum || code > 0x10FFFF || (code >= 0xD800 && code < 0xE000)) {
            appendUtf8(out, Replacement);
            i += n;
            continue;
        }
        out.append(text.substr(i, length));
        i += length;
    }
    return out;
}

// UTF-16 in the given byte order, or in the order its byte-order mark says.
std::string fromUtf16(std::string_view text, bool bigEndianOrder)
{
    std::size_t i = 0;
    if (text.size() >= 2) {
        const std::uint32_t mark = bigEndian(text, 0, 2);
        if (mark == 0xFEFF || mark == 0xFFFE) {
            bigEndianOrder = mark == 0xFEFF;
            i = 2;
        }
    }
    auto unit = [&](std::size_t at) -> std::uint32_t {
        const std::uint32_t a = byteAt(text, at), b = byteAt(text, at + 1);
        return bigEndianOrder ? (a << 8) | b : (b << 8) | a;
    };
    std::string out;
    for (; i + 1 < text.size(); i += 2) {
        const std::uint32_t u = unit(i);
        if (u >= 0xD800 && u < 0xDC00 && i + 3 < text.size()) {
            const std::uint32_t low = unit(i + 2);
            if (low >= 0xDC00 && low < 0xE000) {
                appendUtf8(out, 0x10000 + ((u - 0xD800) << 10) + (low - 0xDC00));
                i += 2;
                continue;
            }
        }
        appendUtf8(out, (u >= 0xD800 && u < 0xE000) ? Replacement : u);
    }
    if (i < text.size())
        appendUtf8(out, Replacement); // an odd byte left over
    return out;
}

// The values of a text frame (encoding byte, then strings separated by
// terminators), as UTF-8; empty values are left out.
std::vector<std::string> textValues(std::string_view frame)
{
    std::vector<std::string> values;
    if (frame.empty())
        return values;
    const std::uint8_t encoding = byteAt(frame, 0);
    const std::string_view body = frame.substr(1);
    const bool wide = encoding == 1 || encoding == 2;
    if (encoding > 3)
        return values;
    std::size_t start = 0;
    while (start < body.size()) {
        std::size_t end = start;
        if (wide) {
            while (end + 1 < body.size() && (body[end] != 0 || body[end + 1] != 0))
                end += 2;
            if (end + 1 >= body.size())
                end = body.size();
        } else {
            end = std::min(body.find('\0', start), body.size());
        }
        const std::string_view raw = body.substr(start, end - start);
        std::string value = encoding == 0   ? fromLatin1(raw)
                            : encoding == 3 ? fromUtf8(raw)
                                            : fromUtf16(raw, encoding == 2);
        if (!value.empty())
            values.push_back(std::move(value));
        start = end + (wide ? 2 : 1);
    }
    return values;
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

void take(TTrackTags& tags, TField field, std::string_view frame)
{
    if (field == TField::None)
        return;
    std::vector<std::string> values = textValues(frame);
    if (values.empty())
        return;
    if (field == TField::Title && tags.Title.empty())
        tags.Title = std::move(values.front());
    else if (field == TField::Album && tags.Album.empty())
        tags.Album = std::move(values.front());
    else if (field == TField::Artist && tags.Artists.empty())
        tags.Artists = std::move(values);
}

bool validFrameId(std::string_view id)
{
    return std::all_of(id.begin(), id.end(), [](char c) { return (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9'); });
}

// The frames of an ID3v2 tag of `version` (2, 3 or 4), the header and any
// extended header already taken off.
void parseFrames(std::string_view frames, int version, bool allUnsynchronised, TTrackTags& tags)
{
    const std::size_t idSize = version == 2 ? 3 : 4;
    const std::size_t frameHeader = version == 2 ? 6 : 10;
    std::size_t at = 0;
    while (at + frameHeader <= frames.size()) {
        const std::string_view id = frames.substr(at, idSize);
        if (!validFrameId(id))
            return; // padding, or damage: nothing after it can be trusted
        std::uint32_t size = 0;
        if (version == 2)
            size = bigEndian(frames, at + 3, 3);
        else if (version == 3)
            size = bigEndian(frames, at + 4, 4);
        else if (!syncSafe(frames, at + 4, size))
            return;
        const std::uint8_t format = version == 2 ? 0 : byteAt(frames, at + 9);
        at += frameHeader;
        if (size > frames.size() - at)
            size = std::uint32_t(frames.size() - at); // cut short: read what is there
        std::string_view data = frames.substr(at, size);
        at += size;

        const TField field = fieldOf(id);
        if (field == TField::None)
            continue;
        std::string unsynchronised;
        if (version == 3) {
            if (format & 0xC0) // compressed or encrypted
                continue;
            if (format & 0x20)
                data.remove_prefix(std::min<std::size_t>(1, data.size()));
        } else if (version == 4) {
            if (format & 0x0C) // compressed or encrypted
                continue;
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

void parseId3v2(std::string_view head, TTrackTags& tags)
{
    const std::size_t whole = Id3v2TagSize(head);
    if (whole == 0)
        return;
    const int version = byteAt(head, 3);
    const std::uint8_t flags = byteAt(head, 5);
    std::uint32_t size = 0;
    syncSafe(head, 6, size);
    std::string_view body = head.substr(HeaderSize, std::min<std::size_t>(size, head.size() - HeaderSize));

    const bool unsynchronised = flags & 0x80;
    std::string resynchronised;
    if (unsynchronised && version < 4) {
        // Before 2.4 the scheme covers the whole tag, extended header included.
        resynchronised = resynchronise(body);
        body = resynchronised;
    }
    if (version == 2 && (flags & 0x40))
        return; // compressed, with no defined method
    if (version == 3 && (flags & 0x40)) {
        if (body.size() < 4)
            return;
        const std::size_t skip = std::size_t(bigEndian(body, 0, 4)) + 4;
        body.remove_prefix(std::min(skip, body.size()));
    } else if (version == 4 && (flags & 0x40)) {
        std::uint32_t extended = 0;
        if (body.size() < 4 || !syncSafe(body, 0, extended))
            return;
        body.remove_prefix(std::min<std::size_t>(extended, body.size()));
    }
    parseFrames(body, version, unsynchronised && version == 4, tags);
}

// An ID3v1 field: Latin-1, cut at its first NUL, without trailing spaces.
std::string v1Field(std::string_view tag, std::size_t at, std::size_t length)
{
    std::string_view field = tag.substr(at, length);
    field = field.substr(0, field.find('\0'));
    while (!field.empty() && field.back() == ' ')
        field.remove_suffix(1);
    return fromLatin1(field);
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

bool readAt(int fd, std::string& out, std::size_t count, off_t offset)
{
    out.resize(count);
    std::size_t done = 0;
    while (done < count) {
        const ssize_t n = pread(fd, out.data() + done, count - done, offset + off_t(done));
        if (n < 0)
            return false;
        if (n == 0)
            break;
        done += std::size_t(n);
    }
    out.resize(done);
    return true;
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
    parseId3v2(head, tags);
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
    std::string head, tail;
    if (fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && readAt(fd, head, HeaderSize, 0)) {
        const std::size_t tagSize = std::min(Id3v2TagSize(head), HeadReadLimit);
        if (tagSize > HeaderSize)
            readAt(fd, head, tagSize, 0);
        const std::size_t fileSize = std::size_t(info.st_size);
        if (fileSize >= V1Size)
            readAt(fd, tail, V1Size, off_t(fileSize - V1Size));
        tags = ParseId3Tags(head, tail);
    }
    close(fd);
    return tags;
}

} // namespace quellora
