#pragma once
// The animated GIF control: shows a TGIFImage and, while Animate is on,
// steps through its frames on a timer of its own, composing each frame over
// the frames before it by their disposal methods, so that partial and
// transparent frames animate as the GIF means them to.

#include "RxGIF.h"
#include "RxImageCtrl.h"
#include "RxTimer.h"
#include "ServerPicture.h"

#include <QImage>
#include <QString>

#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace quellora {

class TRxGIFAnimator : public TRxImageControl {
    Q_OBJECT
    // For the stored window definition.
    Q_PROPERTY(bool Animate READ Animate WRITE SetAnimate)
    Q_PROPERTY(bool AsyncDrawing READ AsyncDrawing WRITE SetAsyncDrawing)
    Q_PROPERTY(bool AutoSize READ AutoSize WRITE SetAutoSize)
    Q_PROPERTY(bool Center READ Center WRITE SetCenter)
    Q_PROPERTY(int FrameIndex READ FrameIndex WRITE SetFrameIndex)
    Q_PROPERTY(bool Loop READ Loop WRITE SetLoop)
    Q_PROPERTY(bool Stretch READ Stretch WRITE SetStretch)
    Q_PROPERTY(bool Transparent READ Transparent WRITE SetTransparent)
    // GIF data stored with the window: a resource or file name, read while the window is built.
    Q_PROPERTY(QString ImageData READ ImageData WRITE SetImageData)

public:
    explicit TRxGIFAnimator(QWidget* parent = nullptr);
    ~TRxGIFAnimator() override;

    bool Animate() const { return animate_; }
    void SetAnimate(bool animate);
    // The tick runs, and the control is composed, in the timer's thread.
    bool AsyncDrawing() const { return asyncDrawing_; }
    void SetAsyncDrawing(bool async);
    bool AutoSize() const { return autoSize_; }
    void SetAutoSize(bool autoSize);
    bool Center() const { return center_; }
    void SetCenter(bool center);
    int FrameIndex() const { return frameIndex_; }
    // Ignored for the current index, a negative one and one past the last frame.
    void SetFrameIndex(int index);
    bool Loop() const { return loop_; }
    void SetLoop(bool loop) { loop_ = loop; }
    bool Stretch() const { return stretch_; }
    void SetStretch(bool stretch);
    bool Transparent() const { return transparent_; }
    void SetTransparent(bool transparent);

    // The owned image. SetImage copies the given one into it.
    TGIFImage& Image() { return *image_; }
    void SetImage(const TGIFImage& image);
    // Loads the owned image from a GIF file; the load's errors go to the caller.
    void LoadFromFile(const std::string& path);
    QString ImageData() const { return imageData_; }
    void SetImageData(const QString& name);

    TRxTimer& Timer() { return *timer_; }

    // The current frame's delay for the timer: 0 without a frame to move
    // from, else the delay clamped to 50..10000 ms.
    std::uint32_t FrameDelay() const;

    // The timer's handler while animating: the next frame, painted at once.
    void TimerTick();

    // The picture of the animation at frame `index` (clamped to the frames),
    // at the image's logical screen size, and its key colour (clNone when it
    // has none). Kept until the next step; a step to the next frame draws
    // only that frame on it.
    TBitmap& ComposeFrame(int index, TColor& key);
    int CachedIndex() const { return cachedIndex_; }

    std::function<void()> OnChange;
    std::function<void()> OnFrameChanged;
    std::function<void()> OnStart;
    std::function<void()> OnStop;

    QSize sizeHint() const override;

    // Logical screens of more than 16 M pixels (4096 x 4096) are refused:
    // loading one fails with "Cannot change the Size of a GIF image".
    static constexpr std::uint64_t MaxScreenPixels = std::uint64_t(1) << 24;
    static bool ScreenFits(const TGIFImage& image);

protected:
    void PaintFrame(TCanvas& canvas) override;
    void PicturePainted(bool whole) override;
    void AdjustAutoSize() override;
    // The timer runs only while somebody can see the banner.
    void OnScreenChanged(bool onScreen) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    void ImageChanged();
    void StopAnimation();
    void setFlag(bool& field, bool value);
    void dropCache();
    // A tick does nothing while the control is hidden, is painted as
    // another's background, or has no second frame to move to.
    bool canStep() const;
    int nextIndex() const;
    void asyncTick();
    // The frame's place on the logical screen (decoding the frame if needed).
    TRect frameRect(int index) const;
    // Fills a new composite with the background; sets the key colour when it has one.
    void fillBackground(TCanvas& canvas, TColor& key) const;
    // The frame a full rebuild of frame `index` starts drawing from.
    int startFrame(int index) const;
    // Shows the frame a tick moved to by repainting only what changed.
    void paintStep();
    // What a step to frame `index` repaints and with which pixels, kept from
    // the first time the step was made from the picture shown now.
    struct TKeptStep {
        int From = -1;
        std::uint64_t Generation = 0;
        QSize Size;
        QRect Area;
        QImage Pixels;
        // The pixels as the X server keeps them, from the second time the
        // step is made: the server copies them to the screen itself.
        std::unique_ptr<TServerPicture> OnServer;
        bool ServerAsked = false;
    };
    TKeptStep* keptStep(int index);
    // The picture shown is now that of frame `index`, as a step or a paint left it.
    void noteShown(int index);
    void dropPictures();

    std::unique_ptr<TRxTimer> timer_;
    std::unique_ptr<TGIFImage> image_;
    // The composite and its fields are shared by the timer's thread (with
    // AsyncDrawing) and the paint: cacheLock_ guards them.
    std::recursive_mutex cacheLock_;
    std::unique_ptr<TBitmap> cachedComposite_;
    int cachedIndex_ = -1;
    TColor cachedKeyColor_ = clNone;
    // The steps kept, by the frame they go to, and the frame whose picture
    // is shown (-1: unknown), with the background's generation it was made
    // with: used on the user-interface thread only.
    std::vector<TKeptStep> steps_;
    std::size_t stepBytes_ = 0;
    std::size_t serverBytes_ = 0;
    int shownIndex_ = -1;
    std::uint64_t shownGeneration_ = 0;
    // The frame the last whole paint drew: the timer's thread may have moved
    // on by the time the paint is over.
    int paintedIndex_ = -1;
    // Read by the paint while the timer's thread steps it (AsyncDrawing).
    std::atomic<int> frameIndex_{0};
    std::atomic<bool> shown_{false};
    bool animate_ = false;
    bool asyncDrawing_ = false;
    bool autoSize_ = true;
    bool center_ = false;
    bool loop_ = true;
    bool stretch_ = false;
    bool transparent_ = true;
    QString imageData_;
};

} // namespace quellora
