// Composing the animation's frames and painting the composite.

#include "GIFCtrl.h"

#include "Exceptions.h"
#include "SurfaceCopy.h"

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

// The steps kept are a cache: a long or large animation keeps what fits and
// makes the others anew at each step.
constexpr std::size_t MaxPictureBytes = std::size_t(32) << 20;
// What of them the X server keeps for the player: the steps shown most.
constexpr std::size_t MaxServerBytes = std::size_t(4) << 20;

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
    paintedIndex_ = -1;
    if (image_->Transparent() || image_->Empty())
        PaintParentBackground(canvas.Bitmap());
    if (image_->Empty() || image_->LogicalWidth() == 0 || image_->LogicalHeight() == 0)
        return;
    TColor key = clNone;
    paintedIndex_ = frameIndex_;
    TBitmap& composite = ComposeFrame(paintedIndex_, key);
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

void TRxGIFAnimator::dropPictures()
{
    steps_.clear();
    stepBytes_ = 0;
    serverBytes_ = 0;
    shownIndex_ = -1;
}

TRxGIFAnimator::TKeptStep* TRxGIFAnimator::keptStep(int index)
{
    // Valid while the picture shown is that of the frame the step starts
    // from, made over the background of now, at the control's size of now.
    if (shownIndex_ < 0 || shownGeneration_ != BackgroundGeneration() || size_t(index) >= steps_.size())
        return nullptr;
    TKeptStep& step = steps_[size_t(index)];
    if (step.From != shownIndex_ || step.Generation != BackgroundGeneration() || step.Size != size())
        return nullptr;
    return &step;
}

void TRxGIFAnimator::paintStep()
{
    // Composed in the timer's thread, or not on screen yet: painted whole.
    if (asyncDrawing_ || ShownPicture().isNull()) {
        PaintNow();
        return;
    }
    const int index = frameIndex_;
    if (TKeptStep* step = keptStep(index)) {
        // Made a second time: it comes round with every loop, and the
        // server keeps its pixels from now on.
        if (!step->ServerAsked && serverBytes_ + std::size_t(step->Pixels.sizeInBytes()) <= MaxServerBytes) {
            step->ServerAsked = true;
            step->OnServer = TServerPicture::Make(window()->windowHandle(), step->Pixels);
            if (step->OnServer)
                serverBytes_ += step->OnServer->Bytes();
        }
        PaintStep(step->Area, step->Pixels, step->OnServer.get());
        noteShown(index);
        return;
    }
    // The first time from this picture: the whole picture of the frame is
    // made, and what differs from the picture shown is kept for the next time.
    const std::uint64_t generation = BackgroundGeneration();
    QImage picture;
    try {
        picture = RenderPicture();
    } catch (...) {
        // Painted whole, the failure is reported as a paint's failures are.
        PaintNow();
        return;
    }
    const QImage& shown = ShownPicture();
    const QRect area = picture.size() == shown.size() ? ChangedRegion(shown, picture).boundingRect() : picture.rect();
    const QImage pixels = picture.copy(area);
    const bool sameBackground = generation == BackgroundGeneration() && shownGeneration_ == generation;
    if (sameBackground && shownIndex_ >= 0 && index < image_->Count()) {
        const std::size_t bytes = std::size_t(pixels.sizeInBytes());
        if (size_t(index) >= steps_.size())
            steps_.resize(size_t(image_->Count()));
        TKeptStep& step = steps_[size_t(index)];
        stepBytes_ -= std::size_t(step.Pixels.sizeInBytes());
        if (step.OnServer)
            serverBytes_ -= step.OnServer->Bytes();
        if (stepBytes_ + bytes <= MaxPictureBytes) {
            step = {shownIndex_, generation, size(), area, pixels, nullptr, false};
            stepBytes_ += bytes;
        } else {
            step = {};
        }
    }
    PaintStep(area, pixels);
    noteShown(index);
}

void TRxGIFAnimator::noteShown(int index)
{
    // A step to a picture of another size painted the control whole.
    if (ShownPicture().size() != size())
        return;
    shownIndex_ = index;
    shownGeneration_ = BackgroundGeneration();
}

void TRxGIFAnimator::PicturePainted(bool whole)
{
    // Whole, the paint shows the current frame over the background of now,
    // as a step to it would.
    shownIndex_ = whole ? paintedIndex_ : -1;
    shownGeneration_ = BackgroundGeneration();
}

} // namespace quellora
