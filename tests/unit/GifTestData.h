#pragma once
// Builds GIF data block by block for the GIF tests, and loads it.

#include "GifEncoder.h"
#include "RxGIF.h"

#include <cstdint>
#include <sstream>
#include <string>
#include <vector>

namespace quellora::test {

inline std::string Word(int v)
{
    return {char(v & 0xFF), char((v >> 8) & 0xFF)};
}

// Table entry i is (i * 40 + 10, i * 20 + 30, 250 - i) for tables that are not given.
inline std::string Table(int bits)
{
    std::string table;
    for (int i = 0; i < (1 << bits); ++i) {
        table.push_back(char((i * 40 + 10) & 0xFF));
        table.push_back(char((i * 20 + 30) & 0xFF));
        table.push_back(char((250 - i) & 0xFF));
    }
    return table;
}

inline TColor TableColor(int index)
{
    return RGB((index * 40 + 10) & 0xFF, (index * 20 + 30) & 0xFF, (250 - index) & 0xFF);
}

// Signature, logical screen and, with tableBits > 0, a global table.
inline std::string Header(int width, int height, int tableBits, int background = 0, const char* signature = "GIF89a")
{
    std::string out = signature;
    out += Word(width) + Word(height);
    out.push_back(char(tableBits > 0 ? 0x80 | ((tableBits - 1) << 4) | (tableBits - 1) : 0));
    out.push_back(char(background));
    out.push_back('\0');
    if (tableBits > 0)
        out += Table(tableBits);
    return out;
}

inline std::string SubBlocks(const std::string& payload)
{
    std::string out;
    for (size_t at = 0; at < payload.size(); at += 255) {
        const size_t n = std::min<size_t>(255, payload.size() - at);
        out.push_back(char(n));
        out.append(payload, at, n);
    }
    out.push_back('\0');
    return out;
}

inline std::string GraphicControl(int disposal, int delayCs, int transparentIndex = -1)
{
    std::string out = "\x21\xF9\x04";
    out.push_back(char((disposal << 2) | (transparentIndex >= 0 ? 1 : 0)));
    out += Word(delayCs);
    out.push_back(char(transparentIndex >= 0 ? transparentIndex : 0));
    out.push_back('\0');
    return out;
}

inline std::string Looping(int count, const char* identifier = "NETSCAPE2.0", int firstByte = 1)
{
    std::string out = "\x21\xFF\x0B";
    out += identifier;
    std::string block(1, char(firstByte));
    block += Word(count);
    return out + SubBlocks(block);
}

inline std::string Comment(const std::string& text)
{
    return "\x21\xFE" + SubBlocks(text);
}

inline std::string PlainText(const std::string& text)
{
    return "\x21\x01\x0C" + std::string(12, '\x01') + SubBlocks(text);
}

// An image descriptor, an optional local table, and the given compressed data.
inline std::string ImageBlock(int left, int top, int width, int height, const std::string& compressed,
                              int localBits = 0, bool interlaced = false)
{
    std::string out = ",";
    out += Word(left) + Word(top) + Word(width) + Word(height);
    out.push_back(char((localBits > 0 ? 0x80 | (localBits - 1) : 0) | (interlaced ? 0x40 : 0)));
    if (localBits > 0)
        out += Table(localBits);
    return out + compressed;
}

// Pixels compressed by the encoder, stored in interlaced row order when asked.
inline std::string Compressed(const std::vector<std::uint8_t>& pixels, int width, int height, int bits,
                              bool interlaced = false)
{
    const std::vector<std::uint8_t> order = interlaced ? InterlaceRows(pixels, width, height) : pixels;
    return LzwEncode(order.data(), order.size(), bits);
}

// Codes of the given widths packed least significant bit first, after the
// minimum code size byte; with `terminate`, sub-blocks and a terminator.
inline std::string Codes(int minimumCodeSize, const std::vector<std::pair<int, int>>& codes, bool terminate = true)
{
    std::string bytes;
    std::uint32_t acc = 0;
    int bits = 0;
    for (auto [code, width] : codes) {
        acc |= std::uint32_t(code) << bits;
        bits += width;
        while (bits >= 8) {
            bytes.push_back(char(acc & 0xFF));
            acc >>= 8;
            bits -= 8;
        }
    }
    if (bits > 0)
        bytes.push_back(char(acc & 0xFF));
    std::string out(1, char(minimumCodeSize));
    if (!terminate) {
        out.push_back(char(bytes.size()));
        return out + bytes;
    }
    return out + SubBlocks(bytes);
}

inline void Load(TGIFImage& image, const std::string& bytes, bool decodeFirst = true)
{
    std::istringstream stream(bytes);
    image.LoadGIF(stream, std::int64_t(bytes.size()), decodeFirst);
}

// The colour indices of a decoded frame, read back through its bitmap's
// colours and the frame's table.
inline std::vector<TColor> FrameColors(TGIFFrame& frame)
{
    TBitmap& bitmap = frame.FrameBitmap();
    std::vector<TColor> colors;
    for (int y = 0; y < bitmap.Height(); ++y)
        for (int x = 0; x < bitmap.Width(); ++x)
            colors.push_back(bitmap.Pixel(x, y));
    return colors;
}

inline std::vector<TColor> ColorsOf(const std::vector<std::uint8_t>& indices)
{
    std::vector<TColor> colors;
    for (std::uint8_t i : indices)
        colors.push_back(TableColor(i));
    return colors;
}

} // namespace quellora::test
