#pragma once
// The title, artists and album of an MP3 file from its ID3 tags: an ID3v2
// tag (versions 2.2, 2.3 and 2.4) at the start of the file, an ID3v1 tag in
// its last 128 bytes. ID3v2 values win; ID3v1 fills what ID3v2 leaves out.
// Tag text may be Latin-1, UTF-16 (with or without a byte-order mark) or
// UTF-8; it comes back as valid UTF-8 whatever bytes the file holds.

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace quellora {

struct TTrackTags {
    std::string Title;
    std::vector<std::string> Artists;
    std::string Album;

    bool operator==(const TTrackTags&) const = default;
};

// The whole size of the ID3v2 tag that starts `head` (header, frames,
// padding and footer), or 0 when `head` does not start with one.
std::size_t Id3v2TagSize(std::string_view head);

// The tags from the first bytes of a file (`head`, the ID3v2 tag or as much
// of it as was read) and its last bytes (`tail`, whose last 128 bytes may be
// an ID3v1 tag). A tag cut short gives what can be read of it; a damaged
// frame (a bad id or size, a size that runs past the tag) ends the tag.
TTrackTags ParseId3Tags(std::string_view head, std::string_view tail);

// The tags of the file at `path` (bytes). A file that cannot be read, or is
// no regular file, has none. Of the ID3v2 tag only frame headers and the
// shown text frames are read, the other frames stepped over by their size,
// at most about a megabyte in all however large the tag; then the last 128
// bytes.
TTrackTags ReadTrackTags(const std::string& path);

} // namespace quellora
