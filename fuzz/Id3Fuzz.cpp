// Reads arbitrary bytes as the head and the tail of an MP3 file (the tag
// reader behind the track's title, artists and album). Whatever the bytes,
// the reader must neither fault nor give text that is not valid UTF-8: the
// text goes onto the session bus, which refuses invalid UTF-8.

#include "Id3Tags.h"
#include "ValidUtf8.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

using namespace quellora;

namespace {

void check(const TTrackTags& tags)
{
    bool ok = ValidUtf8(tags.Title) && ValidUtf8(tags.Album);
    for (const std::string& artist : tags.Artists)
        ok = ok && !artist.empty() && ValidUtf8(artist);
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
