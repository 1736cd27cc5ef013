#include "RasterOps.h"

#include "Graphics.h"

#include <cstring>
#include <vector>

namespace quellora {

namespace {

// Any raster operation from its truth table; the common ones have fast cases below.
std::uint32_t GenericRop(unsigned table, std::uint32_t p, std::uint32_t s, std::uint32_t d)
{
    std::uint32_t result = 0;
    for (unsigned i = 0; i < 8; ++i) {
        if ((table >> i) & 1)
            result |= ((i & 4) ? p : ~p) & ((i & 2) ? s : ~s) & ((i & 1) ? d : ~d);
    }
    return result;
}

// Calls f with a functor (p, s, d) -> result for the operation's truth table.
template <class F>
void WithRop(unsigned table, F&& f)
{
    using u32 = std::uint32_t;
    switch (table) {
    case 0x00: f([](u32, u32, u32) { return u32(0); }); break;
    case 0xFF: f([](u32, u32, u32) { return ~u32(0); }); break;
    case 0xCC: f([](u32, u32 s, u32) { return s; }); break;
    case 0x33: f([](u32, u32 s, u32) { return ~s; }); break;
    case 0x66: f([](u32, u32 s, u32 d) { return s ^ d; }); break;
    case 0x88: f([](u32, u32 s, u32 d) { return s & d; }); break;
    case 0xEE: f([](u32, u32 s, u32 d) { return s | d; }); break;
    case 0x55: f([](u32, u32, u32 d) { return ~d; }); break;
    case 0x44: f([](u32, u32 s, u32 d) { return s & ~d; }); break;
    case 0x11: f([](u32, u32 s, u32 d) { return ~(s | d); }); break;
    case 0xBB: f([](u32, u32 s, u32 d) { return ~s | d; }); break;
    case 0xF0: f([](u32 p, u32, u32) { return p; }); break;
    case 0x5A: f([](u32 p, u32, u32 d) { return p ^ d; }); break;
    case 0xC0: f([](u32 p, u32 s, u32) { return p & s; }); break;
    default: f([table](u32 p, u32 s, u32 d) { return GenericRop(table, p, s, d); }); break;
    }
}

// For each destination offset along one axis, the source offset, or -1
// when the pixel is outside either bitmap.
struct AxisMap {
    int first = 0;           // first destination coordinate inside the destination
    std::vector<int> source; // source coordinate per destination coordinate from `first`
    bool contiguous = false; // source runs up by one from source[0], all inside
};

AxisMap MapAxis(int d0, int dn, int s0, int sn, bool mirror, int destLimit, int sourceLimit, bool identity)
{
    AxisMap map;
    const int from = std::max(d0, 0), to = std::min(d0 + dn, destLimit);
    map.first = from;
    for (int d = from; d < to; ++d) {
        const long long i = mirror ? (dn - 1 - (d - d0)) : (d - d0);
        const int s = identity ? s0 + int(i) : s0 + int(i * sn / dn);
        map.source.push_back(sourceLimit < 0 || (s >= 0 && s < sourceLimit) ? s : -1);
    }
    map.contiguous = !map.source.empty() && map.source.front() >= 0 && map.source.back() >= 0 &&
                     map.source.back() - map.source.front() == int(map.source.size()) - 1 &&
                     (identity && !mirror);
    return map;
}

inline int MonoBit(const std::uint8_t* line, int x)
{
    return (line[x >> 3] >> (7 - (x & 7))) & 1;
}

inline void SetMonoBit(std::uint8_t* line, int x, int bit)
{
    const std::uint8_t mask = std::uint8_t(0x80 >> (x & 7));
    if (bit)
        line[x >> 3] |= mask;
    else
        line[x >> 3] &= std::uint8_t(~mask);
}

// The source row's pixels as colours, per mapped column.
void FetchColors(const QImage& src, int sy, const AxisMap& cols, const TBltColors& colors, std::vector<QRgb>& out)
{
    const std::uint8_t* line = src.constScanLine(sy);
    out.resize(cols.source.size());
    switch (src.format()) {
    case QImage::Format_Mono: {
        const QList<QRgb> table = src.colorTable();
        const QRgb zero = colors.MonoZero ? ColorToQRgb(*colors.MonoZero) : table.value(0, qRgb(0, 0, 0));
        const QRgb one = colors.MonoOne ? ColorToQRgb(*colors.MonoOne) : table.value(1, qRgb(255, 255, 255));
        for (std::size_t i = 0; i < out.size(); ++i)
            out[i] = cols.source[i] < 0 ? 0 : MonoBit(line, cols.source[i]) ? one : zero;
        break;
    }
    case QImage::Format_Indexed8: {
        const QList<QRgb> table = src.colorTable();
        for (std::size_t i = 0; i < out.size(); ++i)
            out[i] = cols.source[i] < 0 ? 0 : table.value(line[cols.source[i]], qRgb(0, 0, 0));
        break;
    }
    default: {
        const QRgb* pixels = reinterpret_cast<const QRgb*>(line);
        if (cols.contiguous) {
            std::memcpy(out.data(), pixels + cols.source.front(), out.size() * sizeof(QRgb));
            break;
        }
        for (std::size_t i = 0; i < out.size(); ++i)
            out[i] = cols.source[i] < 0 ? 0 : pixels[cols.source[i]];
        break;
    }
    }
}

// The source row's pixels as all-ones / all-zeros words for a monochrome destination.
void FetchBits(const QImage& src, int sy, const AxisMap& cols, const TBltColors& colors, std::vector<QRgb>& out)
{
    if (src.format() == QImage::Format_Mono) {
        const std::uint8_t* line = src.constScanLine(sy);
        out.resize(cols.source.size());
        for (std::size_t i = 0; i < out.size(); ++i)
            out[i] = cols.source[i] >= 0 && MonoBit(line, cols.source[i]) ? ~0u : 0u;
        return;
    }
    FetchColors(src, sy, cols, colors, out);
    const QRgb back = ColorToQRgb(colors.SourceBack) & 0xFFFFFF;
    for (QRgb& v : out)
        v = (v & 0xFFFFFF) == back ? ~0u : 0u;
}

} // namespace

void StretchBlt(TBitmap& dest, int dx, int dy, int dw, int dh, const TBitmap* source, int sx, int sy, int sw, int sh,
                TRasterOp rop, const TBltColors& colors)
{
    const bool usesSource = RopUsesSource(rop);
    if (dw == 0 || dh == 0 || dest.Empty())
        return;
    if (usesSource && (source == nullptr || source->Empty() || sw == 0 || sh == 0))
        return;
    if (!usesSource)
        sw = dw, sh = dh, sx = 0, sy = 0;
    if (dest.format_ == pf4bit || dest.format_ == pf8bit)
        dest.SetPixelFormat(pfDevice);

    bool mirrorX = false, mirrorY = false;
    if (dw < 0)
        dx += dw, dw = -dw, mirrorX = !mirrorX;
    if (dh < 0)
        dy += dh, dh = -dh, mirrorY = !mirrorY;
    if (sw < 0)
        sx += sw, sw = -sw, mirrorX = !mirrorX;
    if (sh < 0)
        sy += sh, sh = -sh, mirrorY = !mirrorY;

    // A shallow copy: writing the destination detaches it, so a bitmap copied onto itself reads its old pixels.
    const QImage src = usesSource ? source->image_ : QImage();
    const AxisMap cols = MapAxis(dx, dw, sx, sw, mirrorX, dest.Width(), usesSource ? src.width() : -1, sw == dw);
    const AxisMap rows = MapAxis(dy, dh, sy, sh, mirrorY, dest.Height(), usesSource ? src.height() : -1, sh == dh);
    if (cols.source.empty() || rows.source.empty())
        return;

    const bool monoDest = dest.image_.format() == QImage::Format_Mono;
    const unsigned table = (rop >> 16) & 0xFF;
    QRgb pattern = ColorToQRgb(colors.Pattern);
    if (monoDest)
        pattern = qGray(pattern) >= 128 ? ~0u : 0u;

    // Plain true-colour copies are row copies.
    if (table == 0xCC && !monoDest && src.format() == QImage::Format_RGB32 && cols.contiguous) {
        for (std::size_t r = 0; r < rows.source.size(); ++r) {
            if (rows.source[r] < 0)
                continue;
            std::memcpy(reinterpret_cast<QRgb*>(dest.image_.scanLine(rows.first + int(r))) + cols.first,
                        reinterpret_cast<const QRgb*>(src.constScanLine(rows.source[r])) + cols.source.front(),
                        cols.source.size() * sizeof(QRgb));
        }
        dest.Changed();
        return;
    }

    // Ones that need no source, and true-colour ones whose source runs
    // along the destination's rows, go row by row over the pixels as they
    // are: a gauge's paint makes several such passes.
    const bool rowWise = !monoDest && cols.contiguous && (!usesSource || src.format() == QImage::Format_RGB32);
    if (rowWise) {
        WithRop(table, [&](auto op) {
            for (std::size_t r = 0; r < rows.source.size(); ++r) {
                if (usesSource && rows.source[r] < 0)
                    continue;
                QRgb* d = reinterpret_cast<QRgb*>(dest.image_.scanLine(rows.first + int(r))) + cols.first;
                const QRgb* from =
                    usesSource ? reinterpret_cast<const QRgb*>(src.constScanLine(rows.source[r])) + cols.source.front()
                               : nullptr;
                for (std::size_t c = 0; c < cols.source.size(); ++c)
                    d[c] = (op(pattern, from ? from[c] : 0u, d[c]) & 0xFFFFFF) | 0xFF000000u;
            }
        });
        dest.Changed();
        return;
    }

    std::vector<QRgb> sourceRow(cols.source.size(), 0);
    WithRop(table, [&](auto op) {
        for (std::size_t r = 0; r < rows.source.size(); ++r) {
            const int srcY = rows.source[r];
            if (usesSource && srcY < 0)
                continue;
            if (usesSource) {
                if (monoDest)
                    FetchBits(src, srcY, cols, colors, sourceRow);
                else
                    FetchColors(src, srcY, cols, colors, sourceRow);
            }
            std::uint8_t* line = dest.image_.scanLine(rows.first + int(r));
            for (std::size_t c = 0; c < cols.source.size(); ++c) {
                if (usesSource && cols.source[c] < 0)
                    continue;
                const int x = cols.first + int(c);
                if (monoDest) {
                    const std::uint32_t d = MonoBit(line, x) ? ~0u : 0u;
                    SetMonoBit(line, x, int(op(pattern, sourceRow[c], d) & 1));
                } else {
                    QRgb& d = reinterpret_cast<QRgb*>(line)[x];
                    d = (op(pattern, sourceRow[c], d) & 0xFFFFFF) | 0xFF000000u;
                }
            }
        }
    });
    dest.Changed();
}

void BitBlt(TBitmap& dest, int x, int y, int w, int h, const TBitmap* source, int sx, int sy, TRasterOp rop,
            const TBltColors& colors)
{
    if (w <= 0 || h <= 0)
        return;
    StretchBlt(dest, x, y, w, h, source, sx, sy, w, h, rop, colors);
}

} // namespace quellora
