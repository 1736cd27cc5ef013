#include "MinimalGifWriter.h"

#include <fstream>

namespace quellora::skin {

namespace {

void put16(std::string& out, int v)
{
    out.push_back(char(v & 0xFF));
    out.push_back(char((v >> 8) & 0xFF));
}

// Nine-bit codes with a clear code before the table would grow: larger than
// a real LZW stream, but every decoder reads it.
std::string encodePixels(const QImage& image)
{
    constexpr int Clear = 256, End = 257;
    std::string bytes;
    uint32_t acc = 0;
    int bits = 0;
    auto putCode = [&](int code) {
        acc |= uint32_t(code) << bits;
        bits += 9;
        while (bits >= 8) {
            bytes.push_back(char(acc & 0xFF));
            acc >>= 8;
            bits -= 8;
        }
    };
    int count = 0;
    for (int y = 0; y < image.height(); ++y) {
        const uchar* row = image.constScanLine(y);
        for (int x = 0; x < image.width(); ++x) {
            if (count++ % 254 == 0)
                putCode(Clear);
            putCode(row[x]);
        }
    }
    putCode(End);
    if (bits > 0)
        bytes.push_back(char(acc & 0xFF));

    std::string blocks;
    blocks.push_back(char(8));
    for (size_t i = 0; i < bytes.size(); i += 255) {
        const size_t n = std::min<size_t>(255, bytes.size() - i);
        blocks.push_back(char(n));
        blocks.append(bytes, i, n);
    }
    blocks.push_back('\0');
    return blocks;
}

} // namespace

bool WriteGif(const GifFrames& gif, const std::string& path, std::string& error)
{
    if (gif.palette.size() != 256) {
        error = "the palette must have 256 colours";
        return false;
    }
    std::string out = "GIF89a";
    put16(out, gif.width);
    put16(out, gif.height);
    out.push_back(char(0xF7)); // global table, 8 bits of colour resolution, 256 entries
    out.push_back('\0');
    out.push_back('\0');
    for (QRgb c : gif.palette) {
        out.push_back(char(qRed(c)));
        out.push_back(char(qGreen(c)));
        out.push_back(char(qBlue(c)));
    }
    out += "\x21\xFF\x0BNETSCAPE2.0";
    out.push_back(3);
    out.push_back(1);
    put16(out, gif.loops);
    out.push_back('\0');
    for (const GifFrame& f : gif.frames) {
        if (f.image.format() != QImage::Format_Indexed8) {
            error = "frames must be 8-bit indexed images";
            return false;
        }
        out += "\x21\xF9\x04";
        out.push_back(char((f.disposal << 2) | (f.transparent ? 1 : 0)));
        put16(out, f.delayCs);
        out.push_back('\0');
        out.push_back('\0');
        out.push_back(',');
        put16(out, f.left);
        put16(out, f.top);
        put16(out, f.image.width());
        put16(out, f.image.height());
        out.push_back('\0');
        out += encodePixels(f.image);
    }
    out.push_back(';');
    std::ofstream file(path, std::ios::binary);
    file.write(out.data(), std::streamsize(out.size()));
    if (!file) {
        error = "write failed";
        return false;
    }
    return true;
}

} // namespace quellora::skin
