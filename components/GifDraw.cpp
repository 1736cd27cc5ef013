#include "RxGIF.h"

#include <utility>

namespace quellora {

namespace {

// Holds a bitmap's canvas locked, without its on-changing notification.
class TQuietCanvasLock {
public:
    explicit TQuietCanvasLock(TCanvas& canvas) : canvas_(canvas), changing_(std::move(canvas.OnChanging))
    {
        canvas_.OnChanging = nullptr;
        canvas_.Lock();
    }
    ~TQuietCanvasLock()
    {
        canvas_.Unlock();
        canvas_.OnChanging = std::move(changing_);
    }
    TQuietCanvasLock(const TQuietCanvasLock&) = delete;
    TQuietCanvasLock& operator=(const TQuietCanvasLock&) = delete;

private:
    TCanvas& canvas_;
    std::function<void()> changing_;
};

} // namespace

TColor ToPaletteRGB(TColor color)
{
    return ColorToRGB(color) | 0x02000000;
}

void DrawTransparentStretched(TCanvas& canvas, const TRect& dest, TBitmap& bitmap, const TRect& source, TColor key)
{
    TQuietCanvasLock hold(bitmap.Canvas());
    if (key == clNone) {
        canvas.CopyRect(dest, bitmap.Canvas(), source);
        return;
    }
    // The key is the frame's key colour for every kind of bitmap, monochrome
    // ones included: their two colours come from the frame's table too.
    const TColor keyRgb = ColorToRGB(key);
    const int sw = source.Width(), sh = source.Height();
    const int dw = dest.Width(), dh = dest.Height();
    if (sw <= 0 || sh <= 0 || dw <= 0 || dh <= 0)
        return;

    TBitmap sourceCopy(sw, sh, pfDevice);
    BitBlt(sourceCopy, 0, 0, sw, sh, &bitmap, source.Left, source.Top, SRCCOPY);

    // White where the source has the key colour.
    TBitmap mask(sw, sh, pf1bit);
    TBltColors keyed;
    keyed.SourceBack = ToPaletteRGB(keyRgb);
    BitBlt(mask, 0, 0, sw, sh, &sourceCopy, 0, 0, SRCCOPY, keyed);
    TBitmap inverse(sw, sh, pf1bit);
    BitBlt(inverse, 0, 0, sw, sh, &mask, 0, 0, NOTSRCCOPY);

    TBitmap buffer(dw, dh, pfDevice);
    BitBlt(buffer, 0, 0, dw, dh, &canvas.Bitmap(), dest.Left, dest.Top, SRCCOPY);
    StretchBlt(buffer, 0, 0, dw, dh, &mask, 0, 0, sw, sh, SRCAND);
    BitBlt(sourceCopy, 0, 0, sw, sh, &inverse, 0, 0, SRCAND);
    StretchBlt(buffer, 0, 0, dw, dh, &sourceCopy, 0, 0, sw, sh, SRCPAINT);

    const TRasterOp mode = canvas.CopyMode;
    canvas.CopyMode = SRCCOPY;
    canvas.CopyRect(dest, buffer.Canvas(), Rect(0, 0, dw, dh));
    canvas.CopyMode = mode;
}

} // namespace quellora
