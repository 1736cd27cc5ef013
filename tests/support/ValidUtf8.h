#pragma once
// Whether text is well-formed UTF-8: no stray or missing continuation bytes,
// no overlong forms, no surrogates and nothing past U+10FFFF. Tag text goes
// onto the session bus, which refuses anything else.

#include <cstddef>
#include <cstdint>
#include <string>

namespace quellora {

inline bool ValidUtf8(const std::string& s)
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

} // namespace quellora
