#pragma once
// Bitmaps and their canvases. A TBitmap holds its pixels in a QImage:
// true colour (pfDevice, pf24bit, pf32bit: QImage::Format_RGB32),
// monochrome (pf1bit: Format_Mono, bit 1 = the second colour-table entry,
// white unless a stream said otherwise) or palette based (pf4bit, pf8bit:
// Format_Indexed8 with a table of 16 or 256 colours).
// A TCanvas draws on its bitmap with a pen, a brush and a font, and copies
// other bitmaps onto it through the raster operations of RasterOps.h.

#include "Colors.h"
#include "Geometry.h"
#include "RasterOps.h"

#include <QByteArray>
#include <QFont>
#include <QImage>

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

class QPainter;

namespace quellora {

class TBitmap;

enum TPenStyle { psSolid, psDash, psDot, psDashDot, psDashDotDot, psClear, psInsideFrame };

struct TPen {
    TColor Color = clBlack;
    int Width = 1;
    TPenStyle Style = psSolid;
};

enum TBrushStyle { bsSolid, bsClear };

struct TBrush {
    TColor Color = clWhite;
    TBrushStyle Style = bsSolid;
};

enum TFontStyle : unsigned { fsBold = 1, fsItalic = 2, fsUnderline = 4, fsStrikeOut = 8 };
using TFontStyles = unsigned;

constexpr int DEFAULT_CHARSET = 1;

struct TFont {
    std::string Name = "MS Sans Serif";
    // Negative: the character height in pixels; positive: the cell height.
    int Height = -11;
    TColor Color = clWindowText;
    TFontStyles Style = 0;
    int Charset = DEFAULT_CHARSET;

    // Points at 96 pixels per inch.
    int Size() const;
    void SetSize(int points);

    // Text is drawn without smoothing, so every glyph pixel has the font's colour.
    QFont ToQFont() const;
    // Name, height and style of a widget's font; the colour is not part of a QFont.
    static TFont FromQFont(const QFont& font, TColor color = clWindowText);
};

enum TPixelFormat { pfDevice, pf1bit, pf4bit, pf8bit, pf24bit, pf32bit };
enum THandleType { bmDIB, bmDDB };

class TCanvas {
public:
    explicit TCanvas(TBitmap& bitmap);
    TCanvas(const TCanvas&) = delete;
    TCanvas& operator=(const TCanvas&) = delete;

    TPen Pen;
    TBrush Brush;
    TFont Font;
    // Raster operation of CopyRect, Draw and StretchDraw.
    TRasterOp CopyMode = SRCCOPY;
    TPoint PenPos;

    TBitmap& Bitmap() const { return bitmap_; }
    TRect ClipRect() const;

    // Shapes. Rectangles exclude their right and bottom edges.
    void FillRect(const TRect& rect);            // brush only
    void FrameRect(const TRect& rect);           // one-pixel border in the brush colour
    void Rectangle(int x1, int y1, int x2, int y2); // pen outline, brush inside
    void Rectangle(const TRect& r) { Rectangle(r.Left, r.Top, r.Right, r.Bottom); }
    void Ellipse(int x1, int y1, int x2, int y2);
    // Counter-clockwise from the radial through (x3, y3) to the one through
    // (x4, y4); equal radials give the whole ellipse.
    void Pie(int x1, int y1, int x2, int y2, int x3, int y3, int x4, int y4);
    void Arc(int x1, int y1, int x2, int y2, int x3, int y3, int x4, int y4);
    void Polygon(const std::vector<TPoint>& points);
    void MoveTo(int x, int y);
    // Draws from PenPos up to, not including, (x, y).
    void LineTo(int x, int y);

    // Text: bytes in the system code page. (x, y) is the top-left of the text
    // cell. A solid brush fills the cell behind the text first.
    int TextWidth(const std::string& text) const;
    int TextHeight(const std::string& text) const;
    TSize TextExtent(const std::string& text) const;
    void TextOut(int x, int y, const std::string& text);
    // As TextOut, clipped to `clip`; a solid brush fills all of `clip`.
    void TextRect(const TRect& clip, int x, int y, const std::string& text);

    TColor Pixel(int x, int y) const;          // clNone outside the bitmap
    void SetPixel(int x, int y, TColor color); // ignored outside the bitmap

    // Copies with CopyMode; the source rectangle is stretched to `dest`. Onto
    // a monochrome bitmap, source pixels of the source canvas's brush colour
    // become white; PAT* modes use this canvas's brush colour.
    void CopyRect(const TRect& dest, const TCanvas& source, const TRect& sourceRect);
    // Whole bitmaps with CopyMode; a bitmap marked Transparent leaves its
    // transparent colour's pixels out.
    void Draw(int x, int y, const TBitmap& graphic);
    void StretchDraw(const TRect& dest, const TBitmap& graphic);

    // Re-entrant lock that guards drawing from several threads.
    void Lock();
    void Unlock();
    bool TryLock();
    int LockCount() const { return lockCount_.load(); }

    // Raised before and after every drawing operation.
    std::function<void()> OnChanging;
    std::function<void()> OnChange;

private:
    friend class TBitmap;
    void changing();
    void changed();
    // Runs `draw` with a QPainter on the bitmap (palette and monochrome
    // bitmaps are drawn through a true-colour copy and mapped back).
    void paint(const std::function<void(QPainter&)>& draw);
    QPen qpen() const;
    void drawTransparent(const TRect& dest, const TBitmap& graphic);

    TBitmap& bitmap_;
    std::recursive_mutex lock_;
    std::atomic<int> lockCount_{0};
};

class TBitmap {
public:
    TBitmap();
    TBitmap(int width, int height, TPixelFormat format = pfDevice);
    virtual ~TBitmap();
    TBitmap(const TBitmap&) = delete;
    TBitmap& operator=(const TBitmap&) = delete;

    // Copies pixels, format, colour table and transparency of `source`.
    void Assign(const TBitmap& source);

    int Width() const { return width_; }
    int Height() const { return height_; }
    // New areas are white; the pixels that stay keep their colour.
    void SetWidth(int width);
    void SetHeight(int height);
    void SetSize(int width, int height);
    // True while either side is 0.
    bool Empty() const { return image_.isNull(); }

    TPixelFormat PixelFormat() const { return format_; }
    void SetPixelFormat(TPixelFormat format);
    bool Monochrome() const { return format_ == pf1bit; }
    void SetMonochrome(bool mono);
    THandleType HandleType() const { return handleType_; }
    // bmDDB turns palette bitmaps into true colour; monochrome ones stay.
    void SetHandleType(THandleType type);

    // The colour table of monochrome and palette bitmaps (empty for true colour).
    std::vector<TColor> Palette() const;
    void SetPalette(const std::vector<TColor>& colors);
    // True for palette bitmaps, and for monochrome ones whose two colours are
    // not black and white.
    bool HasPalette() const;
    bool PaletteModified = false;

    bool Transparent = false;
    // The colour left out by Draw when Transparent is set; by default the
    // bottom-left pixel's colour.
    TColor TransparentColor() const;
    void SetTransparentColor(TColor color);
    void ResetTransparentColor();

    TCanvas& Canvas() { return *canvas_; }
    const TCanvas& Canvas() const { return *canvas_; }

    const QImage& Image() const { return image_; }
    // Adopts an image: Mono stays monochrome, Indexed8 becomes pf8bit, any
    // other format becomes pfDevice.
    void SetImage(const QImage& image);
    // Direct pixel access for decoders; call Changed() afterwards.
    std::uint8_t* ScanLine(int row);
    const std::uint8_t* ScanLine(int row) const;

    // The pixel's colour (colour tables resolved); clNone outside the bitmap.
    TColor Pixel(int x, int y) const;

    // A BMP image (1, 4, 8, 16, 24 or 32 bits per pixel); EInvalidGraphic
    // "Bitmap image is not valid" when it cannot be read. A 1-bit image
    // becomes monochrome, 4 and 8 bits palette bitmaps (bmDIB); others pfDevice.
    void LoadFromBytes(const QByteArray& bytes);
    void LoadFromFile(const std::string& path);
    QByteArray SaveToBytes() const; // BMP

    // Raised when the pixels or the format change.
    std::function<void()> OnChange;
    void Changed();

private:
    friend class TCanvas;
    friend void BitBlt(TBitmap&, int, int, int, int, const TBitmap*, int, int, TRasterOp, const TBltColors&);
    friend void StretchBlt(TBitmap&, int, int, int, int, const TBitmap*, int, int, int, int, TRasterOp,
                           const TBltColors&);
    void resize(int width, int height);
    void adopt(QImage image, TPixelFormat format);
    // The colour table in force, also while the bitmap has no pixels.
    QList<QRgb> table() const;

    QImage image_;
    int width_ = 0;
    int height_ = 0;
    QList<QRgb> palette_;
    TPixelFormat format_ = pfDevice;
    THandleType handleType_ = bmDDB;
    TColor transparentColor_ = clDefault;
    std::unique_ptr<TCanvas> canvas_;
};

// The image format that holds a pixel format's pixels.
QImage::Format ImageFormatOf(TPixelFormat format);

// A BMP file's pixels in true colour (Format_RGB32), whatever its depth;
// the errors of TBitmap::LoadFromFile.
QImage LoadBitmapFile(const std::string& path);

} // namespace quellora
