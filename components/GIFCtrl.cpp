#include "GIFCtrl.h"

#include "Exceptions.h"
#include "Forms.h"
#include "Handler.h"

#include <QCoreApplication>
#include <QFile>
#include <QThread>

#include <algorithm>
#include <sstream>

namespace quellora {

TRxGIFAnimator::TRxGIFAnimator(QWidget* parent)
    : TRxImageControl(parent), timer_(std::make_unique<TRxTimer>()), image_(std::make_unique<TGIFImage>())
{
    Graphic = image_.get();
    image_->OnChange = [this](TGraphic&) { ImageChanged(); };
    timer_->SetSuspended(!OnScreen());
}

TRxGIFAnimator::~TRxGIFAnimator()
{
    OnChange = nullptr;
    OnFrameChanged = nullptr;
    OnStart = nullptr;
    OnStop = nullptr;
    Destroying = true;
    SetAnimate(false);
    // The worker ends before anything it could reach goes; a tick handed
    // to this thread and not run yet is dropped.
    timer_->Shutdown();
    timer_.reset();
    dropCache();
    image_->OnChange = nullptr;
    Graphic = nullptr;
    image_.reset();
}

void TRxGIFAnimator::SetAnimate(bool animate)
{
    if (animate == animate_)
        return;
    if (animate) {
        timer_->SetOnTimer([this] { TimerTick(); });
        timer_->SetEnabled(true);
        animate_ = timer_->Enabled();
        if (OnStart)
            OnStart();
    } else {
        timer_->SetEnabled(false);
        timer_->SetOnTimer(nullptr);
        animate_ = false;
        if (OnStop)
            OnStop();
        RefreshAfterChange();
    }
}

void TRxGIFAnimator::SetAsyncDrawing(bool async)
{
    if (async == asyncDrawing_)
        return;
    std::lock_guard hold(DrawLock);
    asyncDrawing_ = async;
    timer_->SetSyncEvent(!async);
}

void TRxGIFAnimator::SetAutoSize(bool autoSize)
{
    if (autoSize == autoSize_)
        return;
    autoSize_ = autoSize;
    AdjustAutoSize();
}

void TRxGIFAnimator::setFlag(bool& field, bool value)
{
    if (field == value)
        return;
    {
        std::lock_guard hold(DrawLock);
        field = value;
    }
    dropPictures();
    RefreshAfterChange();
    if (animate_)
        PaintNow();
}

void TRxGIFAnimator::SetCenter(bool center)
{
    setFlag(center_, center);
}

void TRxGIFAnimator::SetStretch(bool stretch)
{
    setFlag(stretch_, stretch);
}

void TRxGIFAnimator::SetTransparent(bool transparent)
{
    if (transparent == transparent_)
        return;
    // The composite carries the key colour as its transparency: built anew,
    // the change shows at once rather than after the next full rebuild.
    {
        std::lock_guard hold(DrawLock);
        dropCache();
    }
    setFlag(transparent_, transparent);
}

void TRxGIFAnimator::SetFrameIndex(int index)
{
    if (index == frameIndex_ || index < 0 || index >= image_->Count())
        return;
    {
        std::lock_guard hold(DrawLock);
        frameIndex_ = index;
        timer_->SetInterval(FrameDelay());
    }
    if (OnFrameChanged)
        OnFrameChanged();
    RefreshAfterChange();
}

void TRxGIFAnimator::SetImage(const TGIFImage& image)
{
    std::lock_guard hold(DrawLock);
    image_->Assign(image);
}

void TRxGIFAnimator::LoadFromFile(const std::string& path)
{
    std::lock_guard hold(DrawLock);
    image_->LoadFromFile(path);
}

void TRxGIFAnimator::SetImageData(const QString& name)
{
    imageData_ = name;
    if (name.isEmpty())
        return;
    // Read while the window is built: a failure is reported and the window is still made.
    RunHandler([&] {
        QFile file(name);
        if (!file.open(QIODevice::ReadOnly))
            throw EFOpenError(Format("Cannot open file %s", name.toLocal8Bit().constData()));
        const QByteArray bytes = file.readAll();
        std::istringstream data(std::string(bytes.constData(), size_t(bytes.size())));
        std::lock_guard hold(DrawLock);
        image_->LoadFromStream(data);
    });
}

std::uint32_t TRxGIFAnimator::FrameDelay() const
{
    const int index = frameIndex_;
    if (index < 0 || index >= image_->Count() || image_->Count() < 2)
        return 0;
    return std::clamp<std::uint32_t>(image_->Frames(index).DelayMs(), 50, 10000);
}

bool TRxGIFAnimator::ScreenFits(const TGIFImage& image)
{
    return std::uint64_t(image.LogicalWidth()) * std::uint64_t(image.LogicalHeight()) <= MaxScreenPixels;
}

void TRxGIFAnimator::ImageChanged()
{
    if (!ScreenFits(*image_)) {
        // The control and its composite take the logical screen's size: a
        // screen this large is refused before either is made, and the
        // control shows nothing.
        {
            std::lock_guard hold(DrawLock);
            image_->Assign(TGIFImage());
        }
        throw EInvalidGraphicOperation("Cannot change the Size of a GIF image");
    }
    {
        std::lock_guard hold(DrawLock);
        dropCache();
        dropPictures();
        frameIndex_ = image_->CurrentFrame();
        if (frameIndex_ >= 0 && image_->Count() > 0)
            timer_->SetInterval(FrameDelay());
    }
    RefreshAfterChange();
    if (OnChange)
        OnChange();
}

void TRxGIFAnimator::AdjustAutoSize()
{
    if (!autoSize_ || TForm::FormLoading(this) || image_->Empty() || !ScreenFits(*image_))
        return;
    setGeometry(x(), y(), image_->LogicalWidth(), image_->LogicalHeight());
}

QSize TRxGIFAnimator::sizeHint() const
{
    if (image_->Empty() || !ScreenFits(*image_))
        return TRxImageControl::sizeHint();
    return QSize(image_->LogicalWidth(), image_->LogicalHeight());
}

void TRxGIFAnimator::OnScreenChanged(bool onScreen)
{
    // Off the screen a tick would change nothing: the worker sleeps until
    // the banner is back, and goes on from the frame it showed.
    if (timer_)
        timer_->SetSuspended(!onScreen);
}

void TRxGIFAnimator::showEvent(QShowEvent* event)
{
    shown_ = true;
    TRxImageControl::showEvent(event);
}

void TRxGIFAnimator::hideEvent(QHideEvent* event)
{
    shown_ = false;
    TRxImageControl::hideEvent(event);
}

bool TRxGIFAnimator::canStep() const
{
    return !PaintingCopy() && shown_ && image_->Count() >= 2 && parentWidget();
}

int TRxGIFAnimator::nextIndex() const
{
    const int next = frameIndex_ + 1;
    return next < image_->Count() ? next : 0;
}

void TRxGIFAnimator::TimerTick()
{
    if (!canStep())
        return;
    const QCoreApplication* app = QCoreApplication::instance();
    if (asyncDrawing_ && app && QThread::currentThread() != app->thread()) {
        asyncTick();
        return;
    }
    std::lock_guard hold(DrawLock);
    frameIndex_ = nextIndex();
    TCanvas& canvas = Canvas();
    canvas.Lock();
    try {
        if (OnFrameChanged)
            OnFrameChanged();
        paintStep();
    } catch (...) {
        canvas.Unlock();
        if (frameIndex_ < image_->Count())
            timer_->SetInterval(FrameDelay());
        throw;
    }
    canvas.Unlock();
    if (frameIndex_ < image_->Count())
        timer_->SetInterval(FrameDelay());
    if (!loop_ && frameIndex_ == 0)
        StopAnimation();
}

void TRxGIFAnimator::asyncTick()
{
    // Composed here, in the timer's thread; the paint on the user-interface
    // thread then only copies the composite. Calls into that thread wait
    // for it, so they are made without holding a lock its setters take.
    bool stop = false;
    {
        std::lock_guard hold(DrawLock);
        frameIndex_ = nextIndex();
        TCanvas& canvas = Canvas();
        canvas.Lock();
        try {
            TColor key = clNone;
            std::lock_guard cache(cacheLock_);
            ComposeFrame(frameIndex_, key);
        } catch (...) {
            canvas.Unlock();
            timer_->SetInterval(FrameDelay());
            throw;
        }
        canvas.Unlock();
        timer_->SetInterval(FrameDelay());
        stop = !loop_ && frameIndex_ == 0;
    }
    if (OnFrameChanged)
        timer_->Synchronize([this] {
            if (OnFrameChanged)
                OnFrameChanged();
        });
    PaintNow();
    if (stop)
        timer_->Synchronize([this] { StopAnimation(); });
}

void TRxGIFAnimator::StopAnimation()
{
    SetAnimate(false);
}

} // namespace quellora
