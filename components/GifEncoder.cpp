#include "GifEncoder.h"

#include "Exceptions.h"
#include "GifLzw.h"

#include <algorithm>
#include <cstring>

namespace quellora {

namespace {

constexpr int MaxCodeSize = 12;
constexpr int TableLimit = 1 << MaxCodeSize;

// Codes packed least significant bit first, cut into sub-blocks at the end.
class TCodeWriter {
public:
    void Put(int code, int size)
    {
        acc_ |= std::uint32_t(code) << bits_;
        bits_ += size;
        while (bits_ >= 8) {
            bytes_.push_back(char(acc_ & 0xFF));
            acc_ >>= 8;
            bits_ -= 8;
        }
    }

    void Finish(std::string& out)
    {
        if (bits_ > 0)
            bytes_.push_back(char(acc_ & 0xFF));
        for (std::size_t at = 0; at < bytes_.size(); at += 255) {
            const std::size_t n = std::min<std::size_t>(255, bytes_.size() - at);
            out.push_back(char(n));
            out.append(bytes_, at, n);
        }
        out.push_back('\0');
    }

private:
    std::string bytes_;
    std::uint32_t acc_ = 0;
    int bits_ = 0;
};

// Strings of the table as (prefix code, next pixel) -> code, open addressing.
class TStringTable {
public:
    TStringTable() { Clear(); }
    void Clear() { std::memset(keys_, 0xFF, sizeof keys_); }

    // The slot of `key`: either holding it, or empty.
    int Find(std::uint32_t key) const
    {
        std::uint32_t slot = (key * 2654435761u) >> (32 - SlotBits);
        while (keys_[slot] != Empty && keys_[slot] != key)
            slot = (slot + 1) & (Slots - 1);
        return int(slot);
    }
    bool Holds(int slot) const { return keys_[slot] != Empty; }
    int Code(int slot) const { return codes_[slot]; }
    void Insert(int slot, std::uint32_t key, int code)
    {
        keys_[slot] = key;
        codes_[slot] = std::uint16_t(code);
    }

private:
    static constexpr int SlotBits = 13;
    static constexpr int Slots = 1 << SlotBits;
    static constexpr std::uint32_t Empty = 0xFFFFFFFFu;
    std::uint32_t keys_[Slots];
    std::uint16_t codes_[Slots];
};

void Put16(std::string& out, int v)
{
    out.push_back(char(v & 0xFF));
    out.push_back(char((v >> 8) & 0xFF));
}

// The 2^bits entries of a frame's table as stored in the file.
std::string ColorTableBytes(const TGifEncodeFrame& frame)
{
    std::string table(std::size_t(3) << frame.BitsPerPixel, '\0');
    for (std::size_t i = 0; i < frame.Palette.size(); ++i) {
        const TColor c = ColorToRGB(frame.Palette[i]);
        table[3 * i] = char(GetRValue(c));
        table[3 * i + 1] = char(GetGValue(c));
        table[3 * i + 2] = char(GetBValue(c));
    }
    return table;
}

void CheckFrame(const TGifEncodeFrame& frame)
{
    const bool sizesFit = frame.Width >= 0 && frame.Width <= 0xFFFF && frame.Height >= 0 && frame.Height <= 0xFFFF &&
                          frame.Left >= 0 && frame.Left <= 0xFFFF && frame.Top >= 0 && frame.Top <= 0xFFFF;
    if (!sizesFit || frame.BitsPerPixel < 1 || frame.BitsPerPixel > 8 ||
        frame.Palette.size() > (std::size_t(1) << frame.BitsPerPixel) ||
        frame.TransparentIndex >= (1 << frame.BitsPerPixel))
        GifEncodingError();
    if (!frame.Compressed.empty())
        return;
    if (frame.Pixels.size() != std::size_t(frame.Width) * std::size_t(frame.Height))
        GifEncodingError();
    const int limit = 1 << frame.BitsPerPixel;
    if (std::any_of(frame.Pixels.begin(), frame.Pixels.end(), [limit](std::uint8_t p) { return p >= limit; }))
        GifEncodingError();
}

void WriteSubBlocks(std::string& out, const std::string& bytes)
{
    for (std::size_t at = 0; at < bytes.size(); at += 255) {
        const std::size_t n = std::min<std::size_t>(255, bytes.size() - at);
        out.push_back(char(n));
        out.append(bytes, at, n);
    }
}

// True when the sub-blocks after the minimum code size end with a zero-length one.
bool Terminated(const std::vector<std::uint8_t>& compressed)
{
    std::size_t at = 1;
    while (at < compressed.size()) {
        if (compressed[at] == 0)
            return true;
        at += std::size_t(compressed[at]) + 1;
    }
    return false;
}

} // namespace

void GifEncodingError()
{
    throw EInvalidGraphicOperation("GIF image encoding error");
}

std::string LzwEncode(const std::uint8_t* pixels, std::size_t count, int bitsPerPixel)
{
    const int m = std::max(2, bitsPerPixel);
    const int clear = 1 << m;
    const int end = clear + 1;
    std::string out(1, char(m));
    TCodeWriter writer;
    auto table = std::make_unique<TStringTable>();
    int codeSize = m + 1;
    int nextCode = clear + 2;
    writer.Put(clear, codeSize);
    if (count > 0) {
        int prefix = pixels[0];
        for (std::size_t i = 1; i < count; ++i) {
            const std::uint32_t key = (std::uint32_t(prefix) << 8) | pixels[i];
            const int slot = table->Find(key);
            if (table->Holds(slot)) {
                prefix = table->Code(slot);
                continue;
            }
            writer.Put(prefix, codeSize);
            table->Insert(slot, key, nextCode++);
            // The decoder makes each entry one code later, so it widens its
            // codes when the entry after the newest no longer fits.
            if (nextCode > (1 << codeSize) && codeSize < MaxCodeSize)
                ++codeSize;
            if (nextCode == TableLimit) {
                writer.Put(clear, codeSize);
                table->Clear();
                codeSize = m + 1;
                nextCode = clear + 2;
            }
            prefix = pixels[i];
        }
        writer.Put(prefix, codeSize);
        if (nextCode == (1 << codeSize) && codeSize < MaxCodeSize)
            ++codeSize;
    }
    writer.Put(end, codeSize);
    writer.Finish(out);
    return out;
}

std::vector<std::uint8_t> InterlaceRows(const std::vector<std::uint8_t>& pixels, int width, int height)
{
    std::vector<std::uint8_t> out;
    out.reserve(pixels.size());
    int pass = 0;
    for (int y = 0; y < height; y = NextInterlacedRow(y, pass, height))
        out.insert(out.end(), pixels.begin() + std::ptrdiff_t(y) * width, pixels.begin() + std::ptrdiff_t(y + 1) * width);
    return out;
}

std::string EncodeGif(const TGifEncodeImage& image)
{
    if (image.Frames.empty())
        throw EInvalidGraphicOperation("No GIF Data to write");
    for (const TGifEncodeFrame& frame : image.Frames)
        CheckFrame(frame);
    if (image.Width < 0 || image.Width > 0xFFFF || image.Height < 0 || image.Height > 0xFFFF)
        GifEncodingError();

    const TGifEncodeFrame& first = image.Frames.front();
    const std::string global = ColorTableBytes(first);
    std::string out = "GIF89a";
    Put16(out, image.Width);
    Put16(out, image.Height);
    out.push_back(char(0x80 | ((first.BitsPerPixel - 1) << 4) | (first.BitsPerPixel - 1)));
    out.push_back('\0'); // background index
    out.push_back('\0'); // aspect ratio
    out += global;

    if (image.Loop) {
        out += "\x21\xFF\x0BNETSCAPE2.0";
        out.push_back(3);
        out.push_back(1);
        Put16(out, std::clamp(image.LoopCount, 0, 0xFFFF));
        out.push_back('\0');
    }
    if (!image.Comment.empty()) {
        out += "\x21\xFE";
        for (const std::string& line : image.Comment)
            WriteSubBlocks(out, line);
        out.push_back('\0');
    }

    for (const TGifEncodeFrame& frame : image.Frames) {
        if (frame.TransparentIndex >= 0 || frame.DelayCs > 0 || frame.Disposal != 0) {
            out += "\x21\xF9\x04";
            out.push_back(char(((frame.Disposal & 7) << 2) | (frame.TransparentIndex >= 0 ? 1 : 0)));
            Put16(out, std::clamp(frame.DelayCs, 0, 0xFFFF));
            out.push_back(char(std::max(frame.TransparentIndex, 0)));
            out.push_back('\0');
        }
        const std::string table = ColorTableBytes(frame);
        const bool local = table != global;
        out.push_back(',');
        Put16(out, frame.Left);
        Put16(out, frame.Top);
        Put16(out, frame.Width);
        Put16(out, frame.Height);
        out.push_back(char((local ? 0x80 | (frame.BitsPerPixel - 1) : 0) | (frame.Interlaced ? 0x40 : 0)));
        if (local)
            out += table;
        if (!frame.Compressed.empty()) {
            out.append(reinterpret_cast<const char*>(frame.Compressed.data()), frame.Compressed.size());
            if (!Terminated(frame.Compressed))
                out.push_back('\0');
        } else if (frame.Interlaced) {
            const std::vector<std::uint8_t> rows = InterlaceRows(frame.Pixels, frame.Width, frame.Height);
            out += LzwEncode(rows.data(), rows.size(), frame.BitsPerPixel);
        } else {
            out += LzwEncode(frame.Pixels.data(), frame.Pixels.size(), frame.BitsPerPixel);
        }
    }
    out.push_back(';');
    return out;
}

} // namespace quellora
