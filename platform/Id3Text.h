#pragma once
// The text of ID3 tags: Latin-1, UTF-16 (with or without a byte-order mark)
// and UTF-8, always turned into valid UTF-8.

#include <string>
#include <string_view>
#include <vector>

namespace quellora {

std::string Id3FromLatin1(std::string_view text);

// The values of a text frame (encoding byte, then strings separated by
// terminators), as UTF-8; empty values are left out, and so is everything
// of an encoding the tags do not define.
std::vector<std::string> Id3TextValues(std::string_view frame);

} // namespace quellora
