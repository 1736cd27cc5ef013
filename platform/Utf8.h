#pragma once
// Reading UTF-8 one character at a time, strictly: overlong forms,
// surrogates, code points past U+10FFFF and cut sequences are no characters.

#include <cstddef>
#include <string_view>

namespace quellora {

// A character and its bytes; or, for bytes that are none, how many of them
// belong to the broken sequence (its lead byte and the continuation bytes
// that follow it).
struct TUtf8Step {
    char32_t Code = 0;
    std::size_t Length = 1;
    bool Valid = false;
};

// The character that starts at `at` (less than text.size()).
TUtf8Step Utf8StepAt(std::string_view text, std::size_t at);

} // namespace quellora
