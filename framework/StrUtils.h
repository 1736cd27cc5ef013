#pragma once
// Byte-string helpers.

#include <string_view>

namespace quellora {

// Equal but for the case of the ASCII letters; other bytes compare exactly,
// so that no locale or Unicode folding lets a foreign name pass as ours.
inline bool SameText(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; };
    for (size_t i = 0; i < a.size(); ++i)
        if (lower(a[i]) != lower(b[i]))
            return false;
    return true;
}

} // namespace quellora
