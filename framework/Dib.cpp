#include "Dib.h"

#include <QtEndian>

#include <bit>
#include <cstring>

namespace quellora {

namespace {

constexpr qint64 kMaxPixels = qint64(1) << 28; // refuse absurd sizes before allocating

quint32 U32(const QByteArray& b, qsizetype at)
{
    return qFromLittleEndian<quint32>(b.constData() + at);
}

quint16 U16(const QByteArray& b, qsizetype at)
{
    return qFromLittleEndian<quint16>(b.constData() + at);
}

constexpr quint32 BiRgb = 0;
constexpr quint32 BiBitFields = 3;
constexpr quint32 BiAlphaBitFields = 6;

// One colour channel of a 16- or 32-bit pixel, given by its mask.
class TChannel {
public:
    explicit TChannel(quint32 mask) : mask_(mask)
    {
        if (mask == 0)
            return;
        shift_ = std::countr_zero(mask);
        width_ = std::bit_width(mask >> shift_);
    }

    // The channel's value widened (or narrowed) to 8 bits. Narrow values
    // repeat their high bits below them, so full intensity becomes 255 and
    // the key colour of a 5-bit skin stays the key colour.
    int Value(quint32 pixel) const
    {
        if (width_ == 0)
            return 0;
        const quint32 v = (pixel & mask_) >> shift_;
        if (width_ >= 8)
            return int(v >> (width_ - 8));
        quint32 result = 0;
        for (int at = 8 - width_; at > -width_; at -= width_)
            result |= at >= 0 ? v << at : v >> -at;
        return int(result & 0xFF);
    }

private:
    quint32 mask_;
    int shift_ = 0;
    int width_ = 0;
};

} // namespace

TDibResult ReadDib(const QByteArray& bytes, QImage& image, int& bitsPerPixel)
{
    constexpr qsizetype kFileHeader = 14;
    if (bytes.size() < kFileHeader + 12 || bytes[0] != 'B' || bytes[1] != 'M')
        return TDibResult::Invalid;
    const quint32 pixelOffset = U32(bytes, 10);
    const quint32 headerSize = U32(bytes, 14);
    if (headerSize < 12 || kFileHeader + qsizetype(headerSize) > bytes.size())
        return TDibResult::Invalid;

    qint64 width, height;
    int bits, entrySize;
    quint32 compression = 0, colorsUsed = 0;
    if (headerSize == 12) { // the old core header
        width = U16(bytes, 18);
        height = qint16(U16(bytes, 20));
        bits = U16(bytes, 24);
        entrySize = 3;
    } else {
        if (headerSize < 40)
            return TDibResult::Invalid;
        width = qint32(U32(bytes, 18));
        height = qint32(U32(bytes, 22));
        bits = U16(bytes, 28);
        compression = U32(bytes, 30);
        colorsUsed = U32(bytes, 46);
        entrySize = 4;
    }
    bitsPerPixel = bits;
    const bool topDown = height < 0;
    if (topDown)
        height = -height;
    if (width <= 0 || height <= 0 || width * height > kMaxPixels)
        return TDibResult::Invalid;
    if (bits != 1 && bits != 4 && bits != 8 && bits != 16 && bits != 24 && bits != 32)
        return TDibResult::Unsupported;
    const bool bitFields = compression == BiBitFields || compression == BiAlphaBitFields;
    if (bitFields ? bits != 16 && bits != 32 : compression != BiRgb)
        return TDibResult::Unsupported;
    // Red, green and blue masks: in the header from its second version on,
    // else right after it; 16 bits without bit fields are 5-5-5.
    quint32 masks[3] = {0x7C00, 0x03E0, 0x001F};
    qsizetype tableAt = kFileHeader + qsizetype(headerSize);
    if (bitFields) {
        if (headerSize < 52) {
            tableAt += compression == BiAlphaBitFields ? 16 : 12;
            if (tableAt > bytes.size() || qint64(pixelOffset) < tableAt)
                return TDibResult::Invalid;
        }
        for (int i = 0; i < 3; ++i)
            masks[i] = U32(bytes, kFileHeader + 40 + 4 * i);
    }
    const TChannel red(masks[0]), green(masks[1]), blue(masks[2]);

    QList<QRgb> table;
    if (bits <= 8) {
        const qint64 maxEntries = qint64(1) << bits;
        const qint64 entries = colorsUsed == 0 ? maxEntries : std::min<qint64>(colorsUsed, maxEntries);
        const qsizetype at = tableAt;
        if (at + entries * entrySize > bytes.size())
            return TDibResult::Invalid;
        for (qint64 i = 0; i < entries; ++i) {
            const auto* e = reinterpret_cast<const uchar*>(bytes.constData() + at + i * entrySize);
            table.append(qRgb(e[2], e[1], e[0]));
        }
        while (table.size() < maxEntries)
            table.append(qRgb(0, 0, 0));
    }

    const qint64 stride = ((width * bits + 31) / 32) * 4;
    if (qint64(pixelOffset) + stride * height > bytes.size())
        return TDibResult::Invalid;

    const QImage::Format format = bits == 1   ? QImage::Format_Mono
                                  : bits <= 8 ? QImage::Format_Indexed8
                                              : QImage::Format_RGB32;
    QImage result(int(width), int(height), format);
    if (result.isNull())
        return TDibResult::Invalid;
    if (!table.isEmpty())
        result.setColorTable(table);
    for (qint64 row = 0; row < height; ++row) {
        const auto* from = reinterpret_cast<const uchar*>(bytes.constData() + pixelOffset + row * stride);
        uchar* to = result.scanLine(int(topDown ? row : height - 1 - row));
        switch (bits) {
        case 1:
            std::memcpy(to, from, std::size_t((width + 7) / 8));
            break;
        case 4:
            for (qint64 x = 0; x < width; ++x)
                to[x] = (x & 1) ? (from[x / 2] & 0x0F) : (from[x / 2] >> 4);
            break;
        case 8:
            std::memcpy(to, from, std::size_t(width));
            break;
        case 16: {
            QRgb* pixels = reinterpret_cast<QRgb*>(to);
            for (qint64 x = 0; x < width; ++x) {
                const quint32 p = qFromLittleEndian<quint16>(from + 2 * x);
                pixels[x] = qRgb(red.Value(p), green.Value(p), blue.Value(p));
            }
            break;
        }
        case 32:
            if (bitFields) {
                QRgb* pixels = reinterpret_cast<QRgb*>(to);
                for (qint64 x = 0; x < width; ++x) {
                    const quint32 p = qFromLittleEndian<quint32>(from + 4 * x);
                    pixels[x] = qRgb(red.Value(p), green.Value(p), blue.Value(p));
                }
                break;
            }
            [[fallthrough]];
        default: {
            QRgb* pixels = reinterpret_cast<QRgb*>(to);
            const int step = bits / 8;
            for (qint64 x = 0; x < width; ++x)
                pixels[x] = qRgb(from[x * step + 2], from[x * step + 1], from[x * step]);
            break;
        }
        }
    }
    image = result;
    return TDibResult::Ok;
}

} // namespace quellora
