#include "Id3Text.h"

#include "Utf8.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>

namespace quellora {

namespace {

std::uint8_t byteAt(std::string_view data, std::size_t at)
{
    return static_cast<std::uint8_t>(data[at]);
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

// UTF-8 as it claims to be; what is not (overlong forms, surrogates, cut
// sequences, stray bytes) becomes U+FFFD, so the result is always valid.
std::string fromUtf8(std::string_view text)
{
    std::string out;
    for (std::size_t i = 0; i < text.size();) {
        const TUtf8Step step = Utf8StepAt(text, i);
        if (step.Valid)
            out.append(text.substr(i, step.Length));
        else
            appendUtf8(out, Replacement);
        i += step.Length;
    }
    return out;
}

// UTF-16 in the given byte order, or in the order its byte-order mark says.
std::string fromUtf16(std::string_view text, bool bigEndianOrder)
{
    std::size_t i = 0;
    if (text.size() >= 2) {
        const std::uint32_t mark = std::uint32_t(byteAt(text, 0)) << 8 | byteAt(text, 1);
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

} // namespace

std::string Id3FromLatin1(std::string_view text)
{
    std::string out;
    for (char c : text)
        appendUtf8(out, static_cast<std::uint8_t>(c));
    return out;
}

std::vector<std::string> Id3TextValues(std::string_view frame)
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
        std::string value = encoding == 0   ? Id3FromLatin1(raw)
                            : encoding == 3 ? fromUtf8(raw)
                                            : fromUtf16(raw, encoding == 2);
        if (!value.empty())
            values.push_back(std::move(value));
        start = end + (wide ? 2 : 1);
    }
    return values;
}

} // namespace quellora
