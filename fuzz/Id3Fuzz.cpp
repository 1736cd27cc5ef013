// Reads arbitrary bytes as the head and the tail of an MP3 file (the tag
// reader behind the track's title, artists and album). Whatever the bytes,
// the reader must neither fault nor give text that is not valid UTF-8: the
// text goes onto the session bus, which refuses invalid UTF-8.

#include "Id3Tags.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

using namespace quellora;

namespace {

bool validUtf8(const std::string& s)
{
    for (std::size_t i = 0; i < s.size();) {
        const auto b = static_cast<unsigned char>(s[i]);
        std::size_t n = 0;
        std::uint32_t code = 0;
        if (b < 0x80)
            n = 1, code = b;
        else if ((b & 0xE0) == 0xC0)
            n = 2, code = b & 0x1F;
        else if ((b & 0xF0) == 0xE0)
            n = 3, code = b & 0x0F;
        else if ((b & 0xF8) == 0xF0)
            n = 4, code = b & 0x07;
        else
            return false;
        if (i + n > s.size())
            return false;
        for (std::size_t k = 1; k < n; ++k) {
            const auto c = static_cast<unsigned char>(s[i + k]);
            if ((c & 0xC0) != 0x80)
                return false;
            code = (code << 6) | (c & 0x3F);
        }
        const std::uint32_t minimum[] = {0, 0, 0x80, 0x800, 0x10000};
        if (code < minimum[n] || code > 0x10FFFF || (code >= 0xD800 && code < 0xE000))
            return false;
        i += n;
    }
    return true;
}

void check(const TTrackTags& tags)
{
    bool ok = validUtf8(tags.Title) && validUtf8(tags.Album);
    for (const std::string& artist : tags.Artists)
        ok = ok && !artist.empty() && validUtf8(artist);
    if (!ok)
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    // The whole input as the head, its last 128 bytes as a possible ID3v1 tag.
    check(ParseId3Tags(bytes, bytes));
    // The tag as far as its own size says, as the file reader takes it.
    const std::size_t tag = Id3v2TagSize(bytes);
    if (tag > 0 && tag < size)
        check(ParseId3Tags(bytes.substr(0, tag), {}));
    return 0;
}
