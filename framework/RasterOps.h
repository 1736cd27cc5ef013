#pragma once
// Copies between bitmaps with the classic raster operations, plain and
// stretched. A raster operation combines, bit for bit, the source (S), the
// destination (D) and a pattern colour (P); its code's third byte is the
// truth table, indexed by P*4 + S*2 + D.
//
// Colour rules, per destination kind:
// - true-colour destination: the 24 colour bits are combined. A monochrome
//   or palette source is read through its colour table, unless MonoZero /
//   MonoOne override the colours of a monochrome source's 0 and 1 bits.
// - monochrome destination: a colour source pixel becomes 1 (white) when it
//   equals SourceBack, else 0; a monochrome source gives its bits as they
//   are; the pattern is 1 when its colour is light. The bits are combined.
// - palette (4 or 8 bit) destination: first turned into a true-colour bitmap.
// Stretching picks the nearest source pixel (each destination pixel takes
// the source pixel at offset * sourceExtent / destExtent), so enlarging by a
// whole factor repeats each pixel and shrinking drops rows and columns.
// A negative extent mirrors along that axis. Pixels whose source lies
// outside the source bitmap, or which fall outside the destination, are
// left alone.

#include "Colors.h"

#include <cstdint>
#include <optional>

namespace quellora {

class TBitmap;

using TRasterOp = std::uint32_t;

constexpr TRasterOp BLACKNESS = 0x00000042;
constexpr TRasterOp NOTSRCERASE = 0x001100A6;
constexpr TRasterOp NOTSRCCOPY = 0x00330008;
constexpr TRasterOp SRCERASE = 0x00440328;
constexpr TRasterOp DSTINVERT = 0x00550009;
constexpr TRasterOp PATINVERT = 0x005A0049;
constexpr TRasterOp SRCINVERT = 0x00660046;
constexpr TRasterOp SRCAND = 0x008800C6;
constexpr TRasterOp MERGEPAINT = 0x00BB0226;
constexpr TRasterOp MERGECOPY = 0x00C000CA;
constexpr TRasterOp SRCCOPY = 0x00CC0020;
constexpr TRasterOp SRCPAINT = 0x00EE0086;
constexpr TRasterOp PATCOPY = 0x00F00021;
constexpr TRasterOp PATPAINT = 0x00FB0A09;
constexpr TRasterOp WHITENESS = 0x00FF0062;

// True when the operation reads the source / the pattern.
constexpr bool RopUsesSource(TRasterOp rop)
{
    const unsigned t = (rop >> 16) & 0xFF;
    return ((t >> 2) & 0x33) != (t & 0x33);
}
constexpr bool RopUsesPattern(TRasterOp rop)
{
    const unsigned t = (rop >> 16) & 0xFF;
    return ((t >> 4) & 0x0F) != (t & 0x0F);
}

// The device-context colours that take part in a copy.
struct TBltColors {
    // Colour that turns into white (1) when a colour source goes to a monochrome destination.
    TColor SourceBack = clWhite;
    // Colours of a monochrome source's 0 and 1 bits on a colour destination;
    // unset means the source's own colour table.
    std::optional<TColor> MonoZero;
    std::optional<TColor> MonoOne;
    // The pattern (brush) colour of the PAT* operations.
    TColor Pattern = clBlack;
};

// Copies w x h pixels from (sx, sy) of `source` to (x, y) of `dest`. `source`
// may be null for operations that do not read it, and may be `dest` itself
// (overlapping areas are copied as if through a buffer).
void BitBlt(TBitmap& dest, int x, int y, int w, int h, const TBitmap* source, int sx, int sy, TRasterOp rop,
            const TBltColors& colors = {});

// Copies the source rectangle (sx, sy, sw x sh) into the destination
// rectangle (dx, dy, dw x dh), nearest pixel.
void StretchBlt(TBitmap& dest, int dx, int dy, int dw, int dh, const TBitmap* source, int sx, int sy, int sw, int sh,
                TRasterOp rop, const TBltColors& colors = {});

} // namespace quellora
