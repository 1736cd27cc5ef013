#include "RxImageCtrl.h"

#include "Forms.h"
#include "Handler.h"
#include "OnScreen.h"
#include "SurfaceCopy.h"

#include <QCoreApplication>
#include <QPaintEvent>
#include <QPainter>
#include <QThread>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <mutex>
#include <vector>

namespace quellora {

namespace {

// The widgets being painted as another control's background. A frame step
// asks at every tick, and almost always none is: the count answers that
// without a lock.
std::mutex paintCopyLock;
std::vector<const QWidget*> paintCopies;
std::atomic<int> paintCopyCount{0};

bool IsPaintingCopy(const QWidget* widget)
{
    if (paintCopyCount.load(std::memory_order_acquire) == 0)
        return false;
    std::lock_guard hold(paintCopyLock);
    return std::find(paintCopies.begin(), paintCopies.end(), widget) != paintCopies.end();
}

// Marks a widget as being painted as another control's background.
class TPaintCopyMark {
public:
    explicit TPaintCopyMark(QWidget* widget) : widget_(widget)
    {
        std::lock_guard hold(paintCopyLock);
        paintCopies.push_back(widget_);
        paintCopyCount.store(int(paintCopies.size()), std::memory_order_release);
    }
    ~TPaintCopyMark()
    {
        std::lock_guard hold(paintCopyLock);
        paintCopies.erase(std::find(paintCopies.begin(), paintCopies.end(), widget_));
        paintCopyCount.store(int(paintCopies.size()), std::memory_order_release);
    }
    TPaintCopyMark(const TPaintCopyMark&) = delete;
    TPaintCopyMark& operator=(const TPaintCopyMark&) = delete;

private:
    const QWidget* widget_;
};

// Lets `widget` paint the part `area` (in its parent's coordinates) of
// itself into `painter`, whose origin is the point `origin` of the parent.
void RenderPart(QWidget* widget, QPainter& painter, const QPoint& origin, const QRect& area,
                QWidget::RenderFlags flags)
{
    TPaintCopyMark mark(widget);
    const QPoint at = widget->isWindow() ? QPoint() : widget->pos();
    widget->render(&painter, area.topLeft() - origin, QRegion(area.translated(-at)), flags);
}

} // namespace

TRxImageControl::TRxImageControl(QWidget* parent) : QWidget(parent), onScreen_(new TOnScreen(this))
{
    onScreen_->OnChange = [this](bool onScreen) { OnScreenChanged(onScreen); };
    resize(105, 105);
    // The paint covers every pixel itself, what lies beneath included.
    setAttribute(Qt::WA_OpaquePaintEvent);
    setAutoFillBackground(false);
}

TRxImageControl::~TRxImageControl()
{
    // The widget's own destruction hides it: nothing derived is left to tell.
    onScreen_->OnChange = nullptr;
}

bool TRxImageControl::OnScreen() const
{
    return onScreen_->OnScreen();
}

bool TRxImageControl::PaintingCopy() const
{
    return IsPaintingCopy(this);
}

void TRxImageControl::PaintNow()
{
    const QCoreApplication* app = QCoreApplication::instance();
    if (!app || QThread::currentThread() == app->thread())
        repaint();
    else
        QMetaObject::invokeMethod(this, [this] { update(); }, Qt::QueuedConnection);
}

void TRxImageControl::RefreshAfterChange()
{
    if (Destroying)
        return;
    AdjustAutoSize();
    if (Graphic)
        paletteStep();
    if (!drawing_)
        update();
}

void TRxImageControl::paletteStep()
{
    // Colours are true colour here: no palette is ever realised, the flag
    // only says that the picture's colours were taken in.
    if (isVisible() && !TForm::FormLoading(this))
        Graphic->PaletteModified = false;
}

void TRxImageControl::PaintParentBackground(TBitmap& target)
{
    QWidget* parent = parentWidget();
    if (!parent)
        return;
    if (!backgroundStale_ && background_.size() == target.Image().size()) {
        target.SetImage(background_);
        return;
    }
    QImage picture = target.Image().convertToFormat(QImage::Format_RGB32);
    {
        QPainter painter(&picture);
        const QRect mine = geometry();
        const QRect visible = mine & parent->rect();
        if (!visible.isEmpty()) {
            // The parent's own surface, without its controls.
            RenderPart(parent, painter, mine.topLeft(), visible, QWidget::DrawWindowBackground);
            for (QObject* child : parent->children()) {
                auto* control = qobject_cast<QWidget*>(child);
                if (control == this)
                    break; // the rest lie above this control
                if (!control || control->isWindow() || !control->isVisibleTo(parent))
                    continue;
                const QRect area = control->geometry() & visible;
                if (!area.isEmpty())
                    RenderPart(control, painter, mine.topLeft(), area,
                               QWidget::DrawWindowBackground | QWidget::DrawChildren);
            }
        }
    }
    if (picture != background_)
        ++backgroundGeneration_;
    background_ = picture;
    backgroundStale_ = false;
    target.SetImage(picture);
}

void TRxImageControl::moveEvent(QMoveEvent* event)
{
    backgroundStale_ = true;
    QWidget::moveEvent(event);
}

void TRxImageControl::changeEvent(QEvent* event)
{
    // The control's colour lies under every picture it painted.
    if (event->type() == QEvent::PaletteChange) {
        backgroundStale_ = true;
        ++backgroundGeneration_;
    }
    QWidget::changeEvent(event);
}

void TRxImageControl::paintEvent(QPaintEvent* event)
{
    if (buffered_)
        return;
    const QRect area = event->rect();
    TCanvas& canvas = Canvas();
    canvas.Lock();
    if (stepping_ && stepArea_.contains(area)) {
        // The step has already put its pixels into the picture shown: they
        // are opaque and lie within the control, and go to the window's
        // surface as they are.
        if (!CopyToSurface(this, redirected(nullptr), event->region(), shown_)) {
            QPainter painter(this);
            painter.setCompositionMode(QPainter::CompositionMode_Source);
            painter.drawImage(area.topLeft(), shown_, area);
        }
    } else {
        // Anything but a frame step may come from a change beneath the control.
        backgroundStale_ = true;
        buffered_ = true;
        bool whole = false;
        try {
            paintInto(buffer_);
            whole = true;
        } catch (const std::exception& e) {
            reportPaintFailure(e.what());
        } catch (...) {
            reportPaintFailure("Unknown exception");
        }
        buffered_ = false;
        shown_ = buffer_.Image();
        PicturePainted(whole);
        QPainter painter(this);
        painter.setCompositionMode(QPainter::CompositionMode_Source);
        painter.drawImage(area.topLeft(), shown_, area);
    }
    canvas.Unlock();
}

void TRxImageControl::paintInto(TBitmap& target)
{
    QImage client(size(), QImage::Format_RGB32);
    client.fill(palette().color(backgroundRole()));
    target.SetImage(client);
    const bool wasDrawing = drawing_;
    drawing_ = true;
    try {
        PaintFrame(target.Canvas());
    } catch (...) {
        drawing_ = wasDrawing;
        throw;
    }
    drawing_ = wasDrawing;
}

QImage TRxImageControl::RenderPicture()
{
    TBitmap picture;
    paintInto(picture);
    return picture.Image();
}

void TRxImageControl::PaintStep(const QRect& area, const QImage& pixels, const TServerPicture* onServer)
{
    // Until the control has been painted whole, the screen holds nothing to step from.
    if (shown_.isNull() || shown_.size() != size() || shown_.format() != QImage::Format_RGB32) {
        PaintNow();
        return;
    }
    stepArea_ = area & rect();
    if (stepArea_.isEmpty() || pixels.size() != area.size() || pixels.format() != QImage::Format_RGB32)
        return;
    // The picture shown takes the step's pixels first: the paint copies them from it.
    const QPoint from = stepArea_.topLeft() - area.topLeft();
    const size_t bytes = size_t(stepArea_.width()) * sizeof(QRgb);
    for (int y = 0; y < stepArea_.height(); ++y)
        std::memcpy(shown_.scanLine(stepArea_.top() + y) + stepArea_.left() * sizeof(QRgb),
                    pixels.constScanLine(from.y() + y) + from.x() * sizeof(QRgb), bytes);
    // Straight to the window's surface and the screen, as a paint of the
    // control through the window's own drawing context would; pixels the X
    // server keeps need no paint at all, only the surface's copy.
    if (onServer && stepArea_ == area && ShowOnSurface(this, stepArea_, shown_, onServer))
        return;
    stepping_ = true;
    if (!RepaintOnSurface(this, stepArea_))
        repaint(stepArea_);
    stepping_ = false;
}

void TRxImageControl::reportPaintFailure(const std::string& message)
{
    if (paintFailureReported_)
        return;
    paintFailureReported_ = true;
    // Not from inside the paint: a modal box would run the loop in it.
    QMetaObject::invokeMethod(
        this, [message] { RunHandler([&] { ShowErrorReport(message); }); }, Qt::QueuedConnection);
}

} // namespace quellora
