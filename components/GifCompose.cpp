// Composing the animation's frames and painting the composite.

#include "GIFCtrl.h"

#include "Exceptions.h"

#include <algorithm>

namespace quellora {

namespace {

// Holds a canvas locked for a scope.
class TCanvasHold {
public:
    explicit TCanvasHold(TCanvas& canvas) : canvas_(canvas) { canvas_.Lock(); }
    ~TCanvasHold() { canvas_.Unlock(); }
    TCanvasHold(const TCanvasHold&) = delete;
    TCanvasHold& operator=(const TCanvasHold&) = delete;

private:
    TCanvas& canvas_;
};

} // namespace

void TRxGIFAnimator::dropCache()
{
    std::lock_guard hold(cacheLock_);
    cachedComposite_.reset();
    cachedIndex_ = -1;
    cachedKeyColor_ = clNone;
}

TRect TRxGIFAnimator::frameRect(int index) const
{
    TGIFFrame& frame = image_->Frames(index);
    return Bounds(frame.Origin().X, frame.Origin().Y, frame.Width(), frame.Height());
}

void TRxGIFAnimator::fillBackground(TCanvas& canvas, TColor& key) const
{
    const int current = image_->CurrentFrame();
    const TColor currentKey = current >= 0 && current < image_->Count() ? image_->Frames(current).KeyColor() : clNone;
    if (currentKey != clNone) {
        // A true-colour composite shows every colour as it is.
        key = ColorToRGB(currentKey);
        canvas.Brush.Color = ToPaletteRGB(key);
    } else if (image_->BackdropColor() != clNone && image_->Transparent()) {
        canvas.Brush.Color = ToPaletteRGB(image_->BackdropColor());
    } else {
        canvas.Brush.Color = ToPaletteRGB(clWindow);
    }
    canvas.Brush.Style = bsSolid;
    canvas.FillRect(Rect(0, 0, canvas.Bitmap().Width(), canvas.Bitmap().Height()));
}

int TRxGIFAnimator::startFrame(int index) const
{
    const int width = image_->LogicalWidth();
    const int height = image_->LogicalHeight();
    for (int i = index; i >= 1; --i) {
        TGIFFrame& frame = image_->Frames(i);
        if (frame.Width() != width || frame.Height() != height)
            continue;
        // A frame undone after it leaves the picture of the frames before it.
        if (i < index && frame.Disposal() >= 3)
            continue;
        // An opaque frame hides all before it; a cleared one leaves the background.
        if (frame.KeyColor() == clNone || (frame.Disposal() == 2 && i < index))
            return i;
    }
    return 0;
}

TBitmap& TRxGIFAnimator::ComposeFrame(int index, TColor& key)
{
    std::lock_guard hold(cacheLock_);
    const int count = image_->Count();
    if (count == 0) {
        dropCache();
        cachedComposite_ = std::make_unique<TBitmap>();
        return *cachedComposite_;
    }
    index = std::clamp(index, 0, count - 1);
    // A repaint of the frame shown draws nothing anew.
    if (cachedComposite_ && cachedIndex_ == index) {
        key = cachedKeyColor_;
        return *cachedComposite_;
    }
    const bool reuse = cachedComposite_ && cachedIndex_ >= 0 && cachedIndex_ == index - 1 &&
                       image_->Frames(cachedIndex_).Disposal() != 3;
    std::unique_ptr<TBitmap> fresh;
    TBitmap* composite = cachedComposite_.get();
    if (reuse) {
        key = cachedKeyColor_;
    } else {
        dropCache();
        if (!ScreenFits(*image_))
            throw EInvalidGraphicOperation("Cannot change the Size of a GIF image");
        fresh = std::make_unique<TBitmap>(image_->LogicalWidth(), image_->LogicalHeight(), pfDevice);
        composite = fresh.get();
    }
    TCanvas& canvas = composite->Canvas();
    {
        // On failure a new composite goes, a reused one stays for the next try.
        TCanvasHold locked(canvas);
        if (reuse) {
            // The brush still holds the background chosen when the composite was built.
            if (image_->Frames(cachedIndex_).Disposal() == 2)
                canvas.FillRect(frameRect(cachedIndex_));
        } else {
            fillBackground(canvas, key);
            const int start = startFrame(index);
            for (int j = start; j < index; ++j) {
                TGIFFrame& frame = image_->Frames(j);
                if (frame.Disposal() <= 1)
                    frame.DrawFrame(canvas, frameRect(j), true);
                else if (frame.Disposal() == 2 && j > start)
                    canvas.FillRect(frameRect(j));
                // Restore-previous frames leave the picture as it was before them.
            }
        }
        image_->Frames(index).DrawFrame(canvas, frameRect(index), true);
        if (fresh && key != clNone && transparent_) {
            fresh->SetTransparentColor(ToPaletteRGB(key));
            fresh->Transparent = true;
        }
    }
    if (fresh)
        cachedComposite_ = std::move(fresh);
    cachedIndex_ = index;
    cachedKeyColor_ = key;
    return *cachedComposite_;
}

void TRxGIFAnimator::PaintFrame(TCanvas& canvas)
{
    std::lock_guard hold(cacheLock_);
    if (image_->Transparent() || image_->Empty())
        PaintParentBackground(canvas.Bitmap());
    if (image_->Empty() || image_->LogicalWidth() == 0 || image_->LogicalHeight() == 0)
        return;
    TColor key = clNone;
    TBitmap& composite = ComposeFrame(frameIndex_, key);
    TCanvasHold locked(composite.Canvas());
    const int w = composite.Width();
    const int h = composite.Height();
    TRect dest = Bounds(0, 0, w, h);
    if (stretch_)
        dest = Rect(0, 0, width(), height());
    else if (center_)
        dest = Bounds((width() - w) / 2, (height() - h) / 2, w, h);
    if (key != clNone && transparent_)
        DrawTransparentStretched(canvas, dest, composite, Rect(0, 0, w, h), key);
    else
        canvas.StretchDraw(dest, composite);
}

} // namespace quellora
