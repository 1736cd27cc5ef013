#include "Utf8.h"

#include <cstdint>

namespace quellora {

TUtf8Step Utf8StepAt(std::string_view text, std::size_t at)
{
    const auto byte = [&](std::size_t i) { return static_cast<std::uint8_t>(text[i]); };
    const std::uint8_t lead = byte(at);
    if (lead < 0x80)
        return {lead, 1, true};
    std::size_t length = 0;
    char32_t code = 0;
    char32_t minimum = 0;
    if ((lead & 0xE0) == 0xC0) {
        length = 2, code = lead & 0x1F, minimum = 0x80;
    } else if ((lead & 0xF0) == 0xE0) {
        length = 3, code = lead & 0x0F, minimum = 0x800;
    } else if ((lead & 0xF8) == 0xF0) {
        length = 4, code = lead & 0x07, minimum = 0x10000;
    } else {
        return {};
    }
    std::size_t n = 1;
    for (; n < length && at + n < text.size() && (byte(at + n) & 0xC0) == 0x80; ++n)
        code = (code << 6) | (byte(at + n) & 0x3F);
    if (n < length || code < minimum || code > 0x10FFFF || (code >= 0xD800 && code < 0xE000))
        return {0, n, false};
    return {code, length, true};
}

} // namespace quellora
